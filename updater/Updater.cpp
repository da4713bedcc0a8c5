#include "updater/Updater.h"

// Operations this build does not carry yet say so and fail; none pretends success.

Updater::Updater(const char* server, const char* store, UpdaterDisplayInterface& out)
    : serverAddress(server ? server : ""), storeDirectory(store ? store : ""), display(out)
{
}

void Updater::Set_UEIBytes_Load(bool on)
{
    ueiBytesLoad = on;
}

bool Updater::Get_Fingerprint(Fingerprint&, const std::string&, uint32_t, const std::string&, uint32_t, bool)
{
    display.message(UpdaterDisplayInterface::Error, "Fingerprinting is not available in this build");
    return false;
}

uint32_t Updater::Download_Firmware(uint32_t, const std::string&, bool, bool)
{
    display.message(UpdaterDisplayInterface::Error, "Downloading firmware is not available in this build");
    return 0;
}

std::vector<DeviceInfo> Updater::Discover_CVNetwork_Devices(uint32_t, linkType)
{
    display.message(UpdaterDisplayInterface::Error, "Network discovery is not available in this build");
    return {};
}

std::vector<DeviceInfo> Updater::Discover_Devices(linkType)
{
    display.message(UpdaterDisplayInterface::Error, "Discovery is not available in this build");
    return {};
}

bool Updater::Recover_Firmware(const std::string&, uint32_t, uint32_t, uint32_t, const std::string&, bool)
{
    display.message(UpdaterDisplayInterface::Error, "Recovery is not available in this build");
    return false;
}

bool Updater::Update_Firmware(uint32_t, uint32_t, const std::string&, uint8_t, uint32_t, bool)
{
    display.message(UpdaterDisplayInterface::Error, "Firmware update is not available in this build");
    return false;
}

BuildList Updater::Get_BuildList(uint32_t)
{
    display.message(UpdaterDisplayInterface::Error, "Listing the server's builds is not available in this build");
    return {};
}

BuildList Updater::Get_BuildListLocal(uint32_t)
{
    display.message(UpdaterDisplayInterface::Error, "Listing the stored builds is not available in this build");
    return {};
}

std::string Updater::Get_JWT(uint32_t)
{
    display.message(UpdaterDisplayInterface::Error, "Fetching a JWT is not available in this build");
    return {};
}
