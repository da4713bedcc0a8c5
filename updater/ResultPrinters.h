#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/UpdaterDisplayInterface.h"
#include "updater/Updater.h"

// The tables main prints for the commands' results, all at info level.

/* "Discovered Devices: (USB)" and one line per device, or "    No devices found.". */
void _display_device_list(UpdaterDisplayInterface& display, const std::vector<DeviceInfo>& list, uint32_t type);

/* The builds newest version first under a heading, or "No builds found for device [..]". */
void _display_builds(UpdaterDisplayInterface& display, const BuildList& builds, uint32_t serial);

/* "[ W0 W1 W2 W3 ]" in hexadecimal. */
void _display_fingerprint(UpdaterDisplayInterface& display, const Fingerprint& fingerprint);

/* The token as is. */
void _display_jwt(UpdaterDisplayInterface& display, const std::string& token);
