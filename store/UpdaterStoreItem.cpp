#include "store/UpdaterStoreItem.h"

#include <cstring>
#include <stdexcept>

#include "store/AtomicFile.h"
#include "store/BuildPath.h"
#include "store/StoreSearch.h"

UpdaterStoreItem::UpdaterStoreItem(const char* base, const char* itemName, store_item_t itemKind)
    : basePath(base ? base : ""), name(itemName ? itemName : ""), kind(itemKind)
{
    attributes.Load(BuildPath(basePath.c_str(), name.c_str(), KeyValueStore::DEFAULT_FILENAME, nullptr).c_str());
}

bool UpdaterStoreItem::IsValid() const
{
    return !basePath.empty() && !name.empty();
}

std::string UpdaterStoreItem::Path() const
{
    return BuildPath(basePath.c_str(), name.c_str(), nullptr);
}

qErr UpdaterStoreItem::WriteFile(const char* fileName, const uint8_t* bytes, size_t length) const
{
    if (!bytes)
        return qErrNotFound;
    if (!IsValid() || !fileName || !fileName[0] || strchr(fileName, '/'))
        return qErrParam;
    return AtomicFile_Write(BuildPath(basePath.c_str(), name.c_str(), fileName, nullptr).c_str(), bytes, length);
}

BirdFile UpdaterStoreItem::ReadBirdFile(const char* fileName) const
{
    std::string path = BuildPath(basePath.c_str(), name.c_str(), fileName ? fileName : "", nullptr);
    if (!IsValid() || !BirdFile::VerifyFile(path.c_str()))
        throw std::runtime_error("Invalid bird " + path);
    return BirdFile(path.c_str());
}

bool UpdaterStoreItem::FileExists(const char* fileName) const
{
    result_t result;
    result.target = fileName ? fileName : "";
    return StoreSearch_Find(Path(), result);
}
