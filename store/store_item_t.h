#pragma once

/* What an UpdaterStoreItem stands for. */
enum store_item_t {
    STORE_FILE = 0,
    STORE_DIRECTORY = 1,
    STORE_NONE = 2, /* a default-constructed, empty item */
};
