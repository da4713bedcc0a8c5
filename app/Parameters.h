#pragma once
#include <cstdint>
#include <string>

#include "app/CommandsClass.h"

/* -t RECOVER: talk to the chip's bootloader instead of the module firmware. */
constexpr int32_t TRANSPORT_RECOVER = 255;

// Everything the command line asks for; filled by _get_params, owned by main.
struct Parameters {
    CommandsClass commands;
    uint32_t serialNumber = 0;       /* -d; 0 = none */
    uint32_t routerSerialNumber = 0; /* -r; 0 = direct connection */
    int32_t transport = 1;           /* -t: 1 USB, 2 TCP/IP, TRANSPORT_RECOVER, 0 after a bad -t */
    bool transportGiven = false;
    std::string serialPort;          /* -s */
    uint32_t baudRate = 115200;      /* -o */
    uint8_t moduleAddress = 0;
    std::string birdFile;            /* -f */
    std::string historyMessage;      /* -l; no command reads it */
    std::string buildNumber;         /* -b as decimal text; empty = latest */
    bool echoBytes = false;          /* -e; no command reads it */
    std::string serverAddress;       /* -u; the default server when not given */
    bool flagN = false;              /* -n; no command reads it */
    std::string storeDirectory;      /* -i; main completes it */
    std::string applicationName;     /* argv[0] after its last separator */
    std::string homeDirectory;
    std::string logMode = "a+";      /* no command reads it */
    std::string logFileName = "Updater.log"; /* -k; no command reads it */
    bool overrideModelCheck = false; /* -OVERRIDE */
    bool useUEIBytes = true;         /* -m */
    uint32_t logPackageMask = 0;     /* -X */
    bool logMaskGiven = false;
    bool helpRequested = false;
};
