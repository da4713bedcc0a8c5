#include "store/StoreSearch.h"

#include <cstring>

#include "Cindervex2/platform/qDirectory.h"
#include "app/Log.h"

namespace {

const char* sEntryName(const char* fullPath)
{
    const char* slash = strrchr(fullPath, '/');
    return slash ? slash + 1 : fullPath;
}

bool _find_item(const qDirectoryListData* entry, void* user)
{
    auto* result = static_cast<result_t*>(user);
    Log::log(DEBUG_Updater, "%s([%s], %d, %d) searching for %s\n", "_find_item", entry->path, entry->isDirectory,
             static_cast<int>(entry->size), result->target.c_str());
    // Exact names only: a backup such as 0001A2B3.old is not the module's directory.
    if (result->target != sEntryName(entry->path) || (result->directoryOnly && !entry->isDirectory))
        return true;
    result->found = true;
    result->isDirectory = entry->isDirectory != 0;
    return false;
}

} // namespace

bool StoreSearch_Find(const std::string& path, result_t& result)
{
    result.found = false;
    if (!result.target.empty() && result.target != "." && result.target != "..")
        qDirectory_List(path.c_str(), _find_item, &result);
    Log::log(DEBUG_Updater, "UpdaterStore: FindDevice %s %s.\n", result.found ? "Found" : "Not Found",
             result.target.c_str());
    return result.found;
}
