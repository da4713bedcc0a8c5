#include "app/GetParams.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Cindervex2/common/linkType.h"
#include "Cindervex2/platform/qDirectory.h"
#include "app/Log.h"
#include "app/Options.h"
#include "server/UpdateServerRequest.h"

namespace {

constexpr auto Error = UpdaterDisplayInterface::Error;

bool sAllOf(const char* text, const char* allowed)
{
    return strspn(text, allowed) == strlen(text);
}

bool sStartsWith(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

bool sHasHexPrefix(const char* text)
{
    return text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

std::string sApplicationName(const char* argv0)
{
    const char* name = argv0 ? argv0 : "";
    for (const char* p = name; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

void sSetDefaults(Parameters* out, const char* argv0)
{
    *out = Parameters{};
    out->serverAddress = UpdateServerRequest::DEFAULT_SERVER;
    out->applicationName = sApplicationName(argv0);
    char home[2048];
    if (qDirectory_GetHomeDirectory(home, sizeof home) == qErrNone)
        out->homeDirectory = home;
}

void sSetCommand(UpdaterDisplayInterface& display, const char* text, Parameters* out, int* result)
{
    switch (text[1]) {
    case 'B': out->commands.Set(COMMAND_LIST_BUILDS); break;
    case 'L': out->commands.Set(COMMAND_LIST_LOCAL_BUILDS); break;
    case 'D': out->commands.Set(COMMAND_DISCOVER); break;
    case 'G': out->commands.Set(COMMAND_GET_BUILD); break;
    case 'I': out->commands.Set(COMMAND_VIEW_INFO); break;
    case 'U': out->commands.Set(COMMAND_UPDATE); break;
    case 'O': out->overrideModelCheck = true; break;
    case 'N': out->commands.Set(COMMAND_FINGERPRINT); break;
    case 'C': out->commands.Set(COMMAND_CHECK_BIRDFILE); break;
    case 'J': out->commands.Set(COMMAND_GET_JWT); break;
    default:
        display.message(Error, "Unhandled command: [%s]", text);
        *result = 1;
    }
}

// -d and -r: a serial number must fit 32 bits; a cut value would address another module.
uint32_t sSerialArg(const char* arg, const char* prefixNote, const char* invalidFormat,
                    UpdaterDisplayInterface& display, int* result)
{
    if (sHasHexPrefix(arg)) {
        Log::log(DEBUG_Updater, "%s", prefixNote);
        arg += 2;
    }
    uint32_t serial = _get_hex_arg(arg, nullptr);
    if (serial == 0) {
        display.message(Error, invalidFormat, arg);
        *result = 1;
    }
    return serial;
}

void sTransportArg(UpdaterDisplayInterface& display, const char* arg, Parameters* out, int* result)
{
    out->transportGiven = true;
    if (sStartsWith(arg, "USB")) {
        out->transport = USB;
    } else if (sStartsWith(arg, "TCP")) {
        out->transport = TCPIP;
    } else if (sStartsWith(arg, "RECOVER")) {
        out->transport = TRANSPORT_RECOVER;
    } else {
        display.message(Error, "Invalid transport type:[%s]\nMust be one of the following: USB, TCPIP, RECOVER", arg);
        out->transport = 0;
        *result = 1;
    }
}

void sLogMaskArg(UpdaterDisplayInterface& display, const char* text, const char* arg, Parameters* out)
{
    out->logMaskGiven = true;
    char* end = nullptr;
    out->logPackageMask = static_cast<uint32_t>(strtoul(arg, &end, sHasHexPrefix(arg) ? 16 : 10));
    if (*end != '\0') {
        display.message(Error, "Invalid format for \"%s\" parameter, unprocessed characters [%s]", text, end);
        return;
    }
    // At once, so that the debug lines of later options already print.
    Log::ActivatePackage(out->logPackageMask);
}

void sSetParameter(UpdaterDisplayInterface& display, const char* text, char* arg, Parameters* out, int* result)
{
    switch (text[1]) {
    case 'd':
        out->serialNumber = sSerialArg(arg, "Discarding '0x' serial number prefix\n",
                                       "Invalid serial number obtained from argument [%s]", display, result);
        break;
    case 'r':
        out->routerSerialNumber =
            sSerialArg(arg, "Discarding '0x' router serial number prefix\n",
                       "Invalid router serial number obtained from argument [%s]", display, result);
        break;
    case 'b': out->buildNumber = std::to_string(_get_int_arg(arg, nullptr)); break;
    case 'o': out->baudRate = _get_int_arg(arg, nullptr); break;
    case 't': sTransportArg(display, arg, out, result); break;
    case 'm': out->useUEIBytes = arg[0] == '1' || sStartsWith(arg, "true"); break;
    case 'X': sLogMaskArg(display, text, arg, out); break;
    case 'Z': out->commands.Set(COMMAND_Z); break;
    case 'e': out->echoBytes = true; break;
    case 'n': out->flagN = true; break;
    case 'f': out->birdFile = arg; break;
    case 'i': out->storeDirectory = arg; break;
    case 'k': out->logFileName = arg; break;
    case 'l': out->historyMessage = arg; break;
    case 's': out->serialPort = arg; break;
    case 'u': out->serverAddress = arg; break;
    }
}

} // namespace

uint32_t _get_hex_arg(const char* text, char** end)
{
    if (!sAllOf(text, "0123456789ABCDEFabcdef"))
        return 0;
    errno = 0;
    unsigned long value = strtoul(text, end, 16);
    return errno == 0 && value <= UINT32_MAX ? static_cast<uint32_t>(value) : 0;
}

uint32_t _get_int_arg(const char* text, char** end)
{
    if (!sAllOf(text, "0123456789"))
        return 0;
    return static_cast<uint32_t>(strtoul(text, end, 10));
}

int _get_params(UpdaterDisplayInterface& display, int argc, char** argv, Parameters* out)
{
    sSetDefaults(out, argc > 0 ? argv[0] : nullptr);
    int result = 0;
    CSimpleOptTempl args(argc, argv, g_rgOptions, 0);
    while (args.Next()) {
        if (args.LastError() != SO_SUCCESS)
            continue;
        switch (args.OptionId()) {
        case OPT_HELP:
            out->commands.Set(COMMAND_HELP);
            out->helpRequested = true;
            return 0;
        case OPT_COMMAND: sSetCommand(display, args.OptionText(), out, &result); break;
        case OPT_PARAM: sSetParameter(display, args.OptionText(), args.OptionArg(), out, &result); break;
        }
    }
    Log::log(DEBUG_APP, "\nApplication parameters:[%s]\n", out->applicationName.c_str());
    for (int i = 0; i < argc; ++i)
        Log::log(DEBUG_APP, "\t[%s]\n", argv[i]);
    return result;
}
