#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Cindervex2/common/linkType.h"
#include "app/UpdaterDisplayInterface.h"
#include "updater/DeviceInfo.h"
#include "updater/Fingerprint.h"

/* The serial number under which a module without a programmed serial number enumerates. */
constexpr uint32_t DEFAULT_SERIAL_NUMBER = 0xDEADDEAD;

/* Build number text -> version text. */
using BuildList = std::map<std::string, std::string>;

// Carries out every command of the program. Each operation reports its own failures
// through the display and returns its result; none throws. The operations are virtual so
// that the dispatch can be exercised against a double.
class Updater {
public:
    /* Keeps copies of the two texts and a reference to `display`, which must outlive this. */
    Updater(const char* serverAddress, const char* storeDirectory, UpdaterDisplayInterface& display);
    virtual ~Updater() = default;
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    /* Whether firmware blocks go to the module as UEI byte blocks. */
    virtual void Set_UEIBytes_Load(bool on);

    /* Reads the fingerprint of the chip in bootloader mode on `port` into `fingerprint`.
     * True when the chip answered and the fingerprint was filled. */
    virtual bool Get_Fingerprint(Fingerprint& fingerprint, const std::string& port, uint32_t serial,
                                 const std::string& birdFile, uint32_t baud, bool resetAfter);

    /* Downloads build `build` (empty: the latest) for the module into the store.
     * The build number now stored, 0 on failure. */
    virtual uint32_t Download_Firmware(uint32_t serial, const std::string& build, bool overrideBuildCheck,
                                       bool noCal);

    /* The modules on the network of routing module `routerSerial`; type 0 finds its link. */
    virtual std::vector<DeviceInfo> Discover_CVNetwork_Devices(uint32_t routerSerial, linkType type);

    /* The modules attached over `type`; 0 searches USB, then TCP/IP. */
    virtual std::vector<DeviceInfo> Discover_Devices(linkType type);

    /* Brings back a module through its chip's bootloader on `port`. True on success. */
    virtual bool Recover_Firmware(const std::string& port, uint32_t build, uint32_t baud, uint32_t serial,
                                  const std::string& birdFile, bool overrideModelCheck);

    /* Reprograms a running module with build `build` (0: the latest) or `birdFile`.
     * True on success. */
    virtual bool Update_Firmware(uint32_t serial, uint32_t build, const std::string& birdFile,
                                 uint8_t moduleAddress, uint32_t routerSerial, bool overrideModelCheck);

    /* The builds the update server offers for the module; empty on failure. */
    virtual BuildList Get_BuildList(uint32_t serial);

    /* The builds in the local store for the module; empty on failure. */
    virtual BuildList Get_BuildListLocal(uint32_t serial);

    /* The module's entitlement token from the update server; empty on failure. */
    virtual std::string Get_JWT(uint32_t serial);

protected:
    std::string serverAddress;
    std::string storeDirectory;
    UpdaterDisplayInterface& display;
    uint8_t chipFamily = 0;
    bool ueiBytesLoad = false;
};
