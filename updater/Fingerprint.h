#pragma once
#include <cstdint>

// Four words that identify a chip in bootloader mode: the update server's key for a
// recovery, and the key that descrambles an NXP LPC recovery image.
struct Fingerprint {
    uint32_t word[4] = {0, 0, 0, 0};
};
