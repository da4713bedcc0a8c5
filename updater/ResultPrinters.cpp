#include "updater/ResultPrinters.h"

#include <cstdio>

#include "Cindervex2/common/qDefs.h"
#include "server/UpdateServerRequest.h"

namespace {

constexpr auto Info = UpdaterDisplayInterface::Info;

const char* sTypeName(uint32_t type)
{
    return type == USB ? "USB" : type == TCPIP ? "TCPIP" : "Unknown";
}

void sDisplayRow(UpdaterDisplayInterface& display, const DeviceInfo& row)
{
    const linkSpec& spec = row.spec;
    const char* model = qDefs_GetModelName(static_cast<uint8_t>(spec.model));
    if (spec.type == TCPIP) {
        // The address is kept in network order: its bytes print in memory order.
        const auto* ip = reinterpret_cast<const uint8_t*>(&spec.ipAddress);
        char address[20];
        snprintf(address, sizeof address, "[%d.%d.%d.%d]", ip[0], ip[1], ip[2], ip[3]);
        display.message(Info, "    %08X  %02X       %02X      %-12s %3d.%d.%d (%10u)        %-17s  %s",
                        spec.serialNumber, spec.module, spec.router, model, row.major, row.minor, row.patch,
                        row.build, address, row.deviceName.c_str());
    } else if (row.error != 0) {
        display.message(Info, "    %08X  [Error (%d): Is someone else connected to this device?]",
                        spec.serialNumber, row.error);
    } else {
        display.message(Info, "    %08X  %02X       %02X      %-12s %3d.%d.%d (%10u)         %s", spec.serialNumber,
                        spec.module, spec.router, model, row.major, row.minor, row.patch, row.build,
                        row.deviceName.c_str());
    }
}

} // namespace

void _display_device_list(UpdaterDisplayInterface& display, const std::vector<DeviceInfo>& list, uint32_t type)
{
    display.message(Info, "Discovered Devices: (%s)", sTypeName(type));
    if (list.empty()) {
        display.message(Info, "    No devices found.");
        return;
    }
    if (type == USB)
        display.message(Info, "    Device    Module   Router  Model          Firmware Version (Build)    Device Name");
    else
        display.message(Info, "    Device    Module   Router  Model          Firmware Version (Build)   "
                              "[IP address]       Device Name");
    for (const DeviceInfo& row : list)
        sDisplayRow(display, row);
}

void _display_builds(UpdaterDisplayInterface& display, const BuildList& builds, uint32_t serial)
{
    if (builds.empty()) {
        display.message(Info, "No builds found for device [%08X]", serial);
        return;
    }
    display.message(Info, "Build List for device [%08X]:\n", serial);
    display.message(Info, "%-15.15s\t%-15.15s", "Build", "Version");
    for (const auto& [build, version] : UpdateServerRequest::SortBuildsByVersion(builds))
        display.message(Info, "%-15.15s\t%-15.15s", build.c_str(), version.c_str());
}

void _display_fingerprint(UpdaterDisplayInterface& display, const Fingerprint& fingerprint)
{
    display.message(Info, "[ %08X %08X %08X %08X ]", fingerprint.word[0], fingerprint.word[1], fingerprint.word[2],
                    fingerprint.word[3]);
}

void _display_jwt(UpdaterDisplayInterface& display, const std::string& token)
{
    display.message(Info, "%s", token.c_str());
}
