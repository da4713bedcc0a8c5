#pragma once
// Stream keys: one 64-bit number addresses one streamed UEI value by module, command, option,
// index and subindex. In a subscription key, 255 in any element but the module means "any".
//   bits 24-31 module, 16-23 command, 8-15 option, 0-7 index, 32-39 subindex; 40-63 zero.

#include <cstdint>

typedef enum STREAM_KEY {
    STREAM_KEY_MODULE_ADDRESS = 0,
    STREAM_KEY_CMD = 1,
    STREAM_KEY_OPTION = 2,
    STREAM_KEY_INDEX = 3,
    STREAM_KEY_SUBINDEX = 4,
} STREAM_KEY;

/* Number of wildcard masks (qStreamKey_GenericMask accepts 0 to this minus one). */
constexpr int STREAM_KEY_MASK_COUNT = 15;

/* Builds the key of (module, command, option, index, subindex). */
uint64_t qStreamKey_Create(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                           uint8_t subindex);

/* One element of a key; 0 for an element outside STREAM_KEY. */
uint8_t qStreamKey_GetElement(uint64_t key, int element);

/* Wildcard mask m (0 to 14): 0xFF in the bytes of the elements whose bits are set in m + 1
 * (bit 0 index, bit 1 option, bit 2 command, bit 3 subindex); never the module byte. Masks are
 * tried in this order after the exact key. Any other m gives 0. */
uint64_t qStreamKey_GenericMask(int m);
