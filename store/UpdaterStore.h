#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "store/UpdaterStoreItem.h"

/* The local firmware store: root/"%08X" per module, holding BUILD".bird" files and the
 * attributes file ".settings". Lookups match directory names exactly. */
class UpdaterStore {
public:
    /* Remembers `basePath` and creates it (mode 0755, parents too) when missing.
     * Throws std::runtime_error "UpdaterStore: Could not create directory <path> error
     * <code>" or "UpdaterStore: <path> exists and is a file". */
    explicit UpdaterStore(const char* basePath);

    /* The store root given to the constructor. */
    const char* BasePath() const;

    /* Ensures root/"%08X" (or root/name) exists and returns its item, whose attributes
     * file is loaded or created. Throws as the constructor does, and for a name that is
     * empty, ".", ".." or holds "/". */
    UpdaterStoreItem AddDevice(uint32_t serial);
    UpdaterStoreItem AddDevice(const char* name);

    /* Looks for the directory root/"%08X" (or root/name), by exact name; a file of that
     * name does not count. On a match fills *item (when not null) with its attributes
     * loaded, created when absent, and returns true; otherwise leaves *item unchanged. */
    bool FindDevice(uint32_t serial, UpdaterStoreItem* item);
    bool FindDevice(const char* name, UpdaterStoreItem* item);

    /* Appends one item per entry of the module's directory whose name does not begin with
     * "." (files and directories, in directory order, attributes empty). Always true. */
    bool FindLocalBuilds(uint32_t serial, std::vector<UpdaterStoreItem>& builds);

private:
    std::string basePath;
};
