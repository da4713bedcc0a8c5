#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "Cindervex2/common/qErr.h"
#include "store/BirdFile.h"
#include "store/KeyValueStore.h"
#include "store/store_item_t.h"

/* One module directory of the store (basePath = store root, name = "%08X"), or one entry
 * inside it (basePath = the module directory). Copied by value, attributes included. */
class UpdaterStoreItem {
public:
    /* An empty, invalid item. */
    UpdaterStoreItem() = default;
    /* An item that loads its attributes from basePath/name/".settings", creating that
     * file when it does not exist. */
    UpdaterStoreItem(const char* basePath, const char* name, store_item_t kind);

    /* True when both basePath and name are non-empty. */
    bool IsValid() const;

    /* Replaces basePath/name/fileName with `length` bytes atomically: an interrupted
     * write leaves the old file or the new one. qErrNone; qErrNotFound for null bytes or
     * when the file cannot be created; qErrParam for an invalid item or a file name that
     * is empty or holds "/"; qErrWrite when writing fails (the old file stays). */
    qErr WriteFile(const char* fileName, const uint8_t* bytes, size_t length) const;

    /* Loads basePath/name/fileName. Throws std::runtime_error "Invalid bird " + path
     * when the item is invalid or the header check fails, and "Failed to load bird data"
     * when the file does not load. */
    BirdFile ReadBirdFile(const char* fileName) const;

    /* True when basePath/name holds an entry named exactly `fileName`. */
    bool FileExists(const char* fileName) const;

    /* basePath/name. */
    std::string Path() const;

    std::string basePath;
    std::string name;
    store_item_t kind = STORE_NONE;
    KeyValueStore attributes;
};
