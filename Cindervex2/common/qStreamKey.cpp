#include "Cindervex2/common/qStreamKey.h"

namespace {

constexpr int kShift[] = {24, 16, 8, 0, 32}; // by STREAM_KEY

} // namespace

uint64_t qStreamKey_Create(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                           uint8_t subindex)
{
    return (uint64_t(subindex) << 32) | (uint64_t(module) << 24) | (uint64_t(command) << 16) |
           (uint64_t(option) << 8) | index;
}

uint8_t qStreamKey_GetElement(uint64_t key, int element)
{
    if (element < STREAM_KEY_MODULE_ADDRESS || element > STREAM_KEY_SUBINDEX)
        return 0;
    return uint8_t(key >> kShift[element]);
}

uint64_t qStreamKey_GenericMask(int m)
{
    if (m < 0 || m >= STREAM_KEY_MASK_COUNT)
        return 0;
    // Bit order of m + 1, lowest first: index, option, command, subindex.
    static constexpr STREAM_KEY kByBit[] = {STREAM_KEY_INDEX, STREAM_KEY_OPTION, STREAM_KEY_CMD,
                                            STREAM_KEY_SUBINDEX};
    uint64_t mask = 0;
    for (int bit = 0; bit < 4; ++bit)
        if ((m + 1) & (1 << bit))
            mask |= uint64_t(0xFF) << kShift[kByBit[bit]];
    return mask;
}
