#include "app/Application.h"

#include <string>

#include "Cindervex2/platform/qDirectory.h"
#include "app/GetParams.h"
#include "app/Log.h"
#include "app/Usage.h"
#include "store/BuildPath.h"
#include "updater/ResultPrinters.h"

namespace {

constexpr auto Info = UpdaterDisplayInterface::Info;
constexpr auto Error = UpdaterDisplayInterface::Error;

// "D/updater" for -i D, else ".quorvel/updater" under the home directory; false when the
// home directory cannot be read.
bool sCompleteStoreDirectory(Parameters& params)
{
    if (params.storeDirectory.empty()) {
        char home[2048];
        qErr err = qDirectory_GetHomeDirectory(home, sizeof home);
        if (err != qErrNone) {
            Log::log(DEBUG_APP, "Updater: FailedqDirectory_GetHomeDirectory()==> %d\n", err);
            return false;
        }
        params.storeDirectory = BuildPath(home, ".quorvel", nullptr);
    }
    params.storeDirectory = BuildPath(params.storeDirectory.c_str(), "updater", nullptr);
    return true;
}

// -N; false when the run must stop at once.
bool sFingerprint(UpdaterDisplayInterface& display, Updater& updater, const Parameters& params, int& pending)
{
    if (params.serialPort.empty()) {
        display.message(Error, "Must specify the serial port used for connecting");
        return false;
    }
    Fingerprint fingerprint;
    if (updater.Get_Fingerprint(fingerprint, params.serialPort, DEFAULT_SERIAL_NUMBER, params.birdFile,
                                params.baudRate, true)) {
        _display_fingerprint(display, fingerprint);
    } else {
        display.message(Error, "Got no response from chip");
        pending = 1;
    }
    return true;
}

// -G; false when the run must stop at once. A download replaces the build to update to.
bool sGetBuild(UpdaterDisplayInterface& display, Updater& updater, Parameters& params, int& pending)
{
    if (params.serialNumber == 0) {
        display.message(Error, "-G must specify a specific device via -d");
        display.message(Error, "--help for usage information");
        return false;
    }
    display.message(Info, "Retrieving firmware for device with serial number %08X", params.serialNumber);
    if (params.buildNumber.empty()) {
        display.message(Info, "No build specified");
        display.message(Info, "Using Latest build");
    } else {
        display.message(Info, "Retrieving firmware build %s", params.buildNumber.c_str());
    }
    // -OVERRIDE skips the server's build validation here.
    uint32_t build = updater.Download_Firmware(params.serialNumber, params.buildNumber, params.overrideModelCheck,
                                               false);
    if (build != 0)
        params.buildNumber = std::to_string(build);
    pending = build != 0 ? 0 : 1;
    return true;
}

int sDiscover(UpdaterDisplayInterface& display, Updater& updater, const Parameters& params)
{
    bool typeGiven = params.transportGiven && params.transport != TRANSPORT_RECOVER;
    auto type = static_cast<linkType>(typeGiven ? params.transport : 0);
    if (params.routerSerialNumber != 0) {
        display.message(Info, "Searching for Cindervex Network devices connected to %08X", params.routerSerialNumber);
        _display_device_list(display, updater.Discover_CVNetwork_Devices(params.routerSerialNumber, type), type);
        return 0;
    }
    display.message(Info, "Searching for Cindervex devices");
    if (type == 0)
        type = USB;
    _display_device_list(display, updater.Discover_Devices(type), type);
    return 0;
}

int sUpdate(UpdaterDisplayInterface& display, Updater& updater, const Parameters& params)
{
    uint32_t build = _get_int_arg(params.buildNumber.c_str(), nullptr);
    updater.Set_UEIBytes_Load(params.useUEIBytes);
    if (params.transport == TRANSPORT_RECOVER)
        return updater.Recover_Firmware(params.serialPort, build, params.baudRate, params.serialNumber,
                                        params.birdFile, params.overrideModelCheck)
                   ? 0
                   : 1;
    if (params.serialNumber == 0) {
        display.message(Error, "Must specify the specific device to be updated");
        return 1;
    }
    return updater.Update_Firmware(params.serialNumber, build, params.birdFile, params.moduleAddress,
                                   params.routerSerialNumber, params.overrideModelCheck)
               ? 0
               : 1;
}

// -B, -L, -J need a device; without one they print the short usage and fail.
bool sNeedsDevice(UpdaterDisplayInterface& display, const Parameters& params, const char* command)
{
    if (params.serialNumber != 0)
        return true;
    display.message(Error, "Error must supply a serial number for the %s command", command);
    _display_usage(false, false);
    return false;
}

int sRunCommands(UpdaterDisplayInterface& display, Updater& updater, Parameters& params)
{
    int pending = 0;
    if (params.commands.IsSet(COMMAND_FINGERPRINT) && !sFingerprint(display, updater, params, pending))
        return 1;
    if (params.commands.IsSet(COMMAND_GET_BUILD) && !sGetBuild(display, updater, params, pending))
        return 1;
    uint32_t serial = params.serialNumber;
    if (params.commands.IsSet(COMMAND_DISCOVER))
        return sDiscover(display, updater, params);
    if (params.commands.IsSet(COMMAND_UPDATE))
        return sUpdate(display, updater, params);
    if (params.commands.IsSet(COMMAND_LIST_BUILDS)) {
        if (!sNeedsDevice(display, params, "List Builds"))
            return 1;
        _display_builds(display, updater.Get_BuildList(serial), serial);
        return 0;
    }
    if (params.commands.IsSet(COMMAND_LIST_LOCAL_BUILDS)) {
        if (!sNeedsDevice(display, params, "List Local Builds"))
            return 1;
        _display_builds(display, updater.Get_BuildListLocal(serial), serial);
        return 0;
    }
    if (params.commands.IsSet(COMMAND_GET_JWT)) {
        if (!sNeedsDevice(display, params, "Get JWT"))
            return 1;
        _display_jwt(display, updater.Get_JWT(serial));
        return 0;
    }
    return pending;
}

} // namespace

int RunUpdater(int argc, char** argv, UpdaterDisplayInterface& display, const UpdaterFactory& makeUpdater)
{
    Parameters params;
    if (_get_params(display, argc, argv, &params) != 0) {
        _display_app_version(display);
        _display_notice(display);
        _display_usage(false, false);
        return 1;
    }
    _display_app_version(display);
    if (params.commands.IsSet(COMMAND_HELP) || !params.commands.IsSet(COMMAND_MASK_ANY)) {
        _display_notice(display);
        _display_usage(params.logMaskGiven, params.helpRequested);
        return 0;
    }
    if (!sCompleteStoreDirectory(params))
        return 1;
    if (qDirectory_Ensure(params.storeDirectory.c_str(), 0755) != qErrNone) {
        display.message(Error, "Could not find updater directory at %s", params.storeDirectory.c_str());
        return 1;
    }
    std::unique_ptr<Updater> updater =
        makeUpdater(params.serverAddress.c_str(), params.storeDirectory.c_str(), display);
    return sRunCommands(display, *updater, params);
}
