#include "store/UpdaterStore.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Cindervex2/platform/qDirectory.h"
#include "app/Log.h"
#include "store/BuildPath.h"
#include "store/StoreSearch.h"

namespace {

std::string sSerialName(uint32_t serial)
{
    char text[9];
    snprintf(text, sizeof text, "%08X", serial);
    return text;
}

void sEnsureDirectory(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        qErr err = qDirectory_Ensure(path.c_str(), 0755);
        if (err != qErrNone)
            throw std::runtime_error("UpdaterStore: Could not create directory " + path + " error " +
                                     std::to_string(err));
        Log::log(DEBUG_Updater, "UpdaterStore: Created directory [%s].\n", path.c_str());
    } else if (S_ISDIR(info.st_mode)) {
        Log::log(DEBUG_Updater, "UpdaterStore: [%s] already exists.\n", path.c_str());
    } else {
        throw std::runtime_error("UpdaterStore: " + path + " exists and is a file");
    }
}

bool sNameOk(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

struct BuildListing {
    std::string directory;
    std::vector<UpdaterStoreItem>* builds;
};

bool _find_items(const qDirectoryListData* entry, void* user)
{
    auto* listing = static_cast<BuildListing*>(user);
    Log::log(DEBUG_Updater, "%s([%s], %d, %d)\n", "_find_items", entry->path, entry->isDirectory,
             static_cast<int>(entry->size));
    const char* slash = strrchr(entry->path, '/');
    const char* name = slash ? slash + 1 : entry->path;
    if (name[0] == '.')
        return true;
    UpdaterStoreItem item;
    item.basePath = listing->directory;
    item.name = name;
    item.kind = entry->isDirectory ? STORE_DIRECTORY : STORE_FILE;
    listing->builds->push_back(item);
    return true;
}

} // namespace

UpdaterStore::UpdaterStore(const char* path) : basePath(path ? path : "")
{
    sEnsureDirectory(basePath);
}

const char* UpdaterStore::BasePath() const
{
    return basePath.c_str();
}

UpdaterStoreItem UpdaterStore::AddDevice(uint32_t serial)
{
    return AddDevice(sSerialName(serial).c_str());
}

UpdaterStoreItem UpdaterStore::AddDevice(const char* name)
{
    std::string entry = name ? name : "";
    if (!sNameOk(entry))
        throw std::runtime_error("UpdaterStore: invalid device name [" + entry + "]");
    sEnsureDirectory(BuildPath(basePath.c_str(), entry.c_str(), nullptr));
    return UpdaterStoreItem(basePath.c_str(), entry.c_str(), STORE_DIRECTORY);
}

bool UpdaterStore::FindDevice(uint32_t serial, UpdaterStoreItem* item)
{
    return FindDevice(sSerialName(serial).c_str(), item);
}

bool UpdaterStore::FindDevice(const char* name, UpdaterStoreItem* item)
{
    result_t result;
    result.target = name ? name : "";
    result.directoryOnly = true;
    if (!StoreSearch_Find(basePath, result))
        return false;
    if (item)
        *item = UpdaterStoreItem(basePath.c_str(), result.target.c_str(), STORE_DIRECTORY);
    return true;
}

bool UpdaterStore::FindLocalBuilds(uint32_t serial, std::vector<UpdaterStoreItem>& builds)
{
    UpdaterStoreItem device;
    if (FindDevice(serial, &device)) {
        BuildListing listing{device.Path(), &builds};
        qDirectory_List(listing.directory.c_str(), _find_items, &listing);
    }
    return true;
}
