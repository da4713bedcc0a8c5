#pragma once
#include <cstdint>

/* Block types of a bird file's payload. Other values (3, 6 to 31) are kept and ignored. */
enum BLOCK_TYPE : uint8_t {
    BLOCK_LOADER = 0,          /* load address + loader image */
    BLOCK_FIRMWARE = 1,        /* load address + firmware image */
    BLOCK_SERIAL_OFFSETS = 2,  /* serial number address, descriptor text address */
    BLOCK_INFO = 4,            /* 64-byte information record */
    BLOCK_LOADER_START = 5,    /* start address of the i.MX recovery loader */
};

constexpr uint8_t BIRD_FILE_TYPE_MASK = 0x1F;
constexpr uint8_t BIRD_FILE_FLAG_MASK = 0xE0;

/* One parsed block. It does not own its bytes: `data` points into the payload of the
 * BirdFile that produced it and is valid while that file lives and is not reassigned.
 * Loader and firmware blocks always have length >= 4 (shorter ones are dropped at load). */
struct BirdBlock {
    uint8_t type = 0;               /* 0-31 */
    uint8_t flags = 0;              /* 0-7, handed unchanged to the transfer preparation */
    uint32_t length = 0;            /* number of data bytes */
    uint32_t address = 0;           /* load address for loader and firmware blocks, else 0 */
    const uint8_t* data = nullptr;  /* first data byte (for images: the address word) */
};
