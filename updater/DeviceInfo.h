#pragma once
#include <cstdint>
#include <string>

#include "Cindervex2/common/linkType.h"

// One row of a discovery result; copied freely.
struct DeviceInfo {
    linkSpec spec{};            /* how the device is reached */
    uint8_t networkAddress = 0; /* address on a routing module's network; network discovery only */
    uint32_t build = 0;         /* firmware build the device reports */
    uint8_t major = 0;
    uint8_t minor = 0;
    uint32_t patch = 0;
    std::string modelName;
    std::string deviceName; /* user-assigned name; empty before firmware 2.10.4 */
    int32_t error = 0;      /* qErr of the first failing query, 0 when all succeeded */
};
