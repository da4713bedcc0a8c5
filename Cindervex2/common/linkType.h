#pragma once
// Transport kinds (linkType) and the link specifier (linkSpec), which describes how to
// reach one module. Sharing servers send this record, as laid out here, as their discovery
// answer, so it is a wire format: packed, 128 bytes, every multi-byte field little-endian
// except ipAddress, which is in network byte order.

#include <bit>
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"

/* Transport of a link. */
typedef enum linkType : uint32_t {
    USB = 1,    /* USB, by serial number */
    TCPIP = 2,  /* direct TCP/IP to a module's Ethernet port */
    SERIAL = 3, /* serial port */
    LANVEX = 4, /* client of a sharing server */
} linkType;

#define LINKSPEC_SIZE 128
#define LINKSPEC_PORTNAME_SIZE 100

#pragma pack(push, 1)
typedef struct linkSpec {
    uint32_t type;               /* linkType */
    uint32_t serialNumber;       /* module serial number */
    uint32_t module;             /* module address, 0 = not set */
    uint32_t router;             /* routing module's address, 0 = none */
    uint32_t routerSerialNumber; /* routing module's serial number, 0 = none */
    uint32_t model;              /* model number; 0 = any in search probes */
    union {
        uint32_t usbId;     /* USB: copy of the serial number */
        uint32_t ipAddress; /* TCPIP, LANVEX: IPv4 address, network byte order */
        uint32_t baudRate;  /* SERIAL */
    };
    union {
        uint32_t port;                         /* TCPIP, LANVEX: TCP port */
        char portName[LINKSPEC_PORTNAME_SIZE]; /* SERIAL: zero-terminated device name */
    };
} linkSpec;
#pragma pack(pop)

static_assert(std::endian::native == std::endian::little, "linkSpec is sent as stored in memory");
static_assert(sizeof(linkSpec) == LINKSPEC_SIZE);
static_assert(offsetof(linkSpec, type) == 0);
static_assert(offsetof(linkSpec, serialNumber) == 4);
static_assert(offsetof(linkSpec, module) == 8);
static_assert(offsetof(linkSpec, router) == 12);
static_assert(offsetof(linkSpec, routerSerialNumber) == 16);
static_assert(offsetof(linkSpec, model) == 20);
static_assert(offsetof(linkSpec, usbId) == 24);
static_assert(offsetof(linkSpec, ipAddress) == 24);
static_assert(offsetof(linkSpec, port) == 28);
static_assert(offsetof(linkSpec, portName) == 28);

/* Called by every enumeration for each module found. `found` is valid only during the call.
 * The enumerator clears *success before each call; the callback sets it to count the module,
 * and returns true to continue the search or false to stop it. */
typedef bool (*qDiscovery_Callback)(const linkSpec* found, bool* success, void* ref);

/* New zero-filled record with `type` set; the caller frees it with qLinkSpec_Destroy.
 * Null when memory runs out. */
linkSpec* qLinkSpec_Create(linkType type);

/* New record holding a copy of all 128 bytes of `spec`; the caller frees it with
 * qLinkSpec_Destroy. Null when memory runs out. */
linkSpec* qLinkSpec_Copy(linkSpec spec);

/* Frees the record and sets *spec to null. qErrParam when spec or *spec is null. */
qErr qLinkSpec_Destroy(linkSpec** spec);

/* Makes a record received from the network safe to use: true when its type is LANVEX, and
 * then bytes 32 to 127 (unused by network specifiers) are forced to zero. False leaves the
 * record untouched; the caller must drop it. */
bool qLinkSpec_AcceptNetworkRecord(linkSpec* spec);

/* The serial device name of a SERIAL specifier, or null when it is not zero-terminated
 * inside the record. */
const char* qLinkSpec_GetPortName(const linkSpec* spec);
