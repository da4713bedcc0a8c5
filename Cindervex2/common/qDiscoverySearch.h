#pragma once
// The searches behind qDiscovery_EnumerateModules, one per transport, and what they share.
// Each returns the number of modules counted by the callback.

#include <cstdint>

#include "Cindervex2/common/linkType.h"

/* Fixed network values of the searches. */
constexpr uint16_t DISCOVERY_TCPIP_REQUEST_PORT = 9888;
constexpr uint16_t DISCOVERY_TCPIP_REPLY_PORT = 9889;
constexpr uint32_t DISCOVERY_TCPIP_GROUP = 0x020202E8u; /* 232.2.2.2, network byte order */
constexpr uint32_t DISCOVERY_LOCAL_GROUP = 0x070000E0u; /* 224.0.0.7, network byte order */
constexpr uint16_t DISCOVERY_LOCAL_REQUEST_PORT = 9850;
constexpr uint16_t DISCOVERY_LOCAL_REPLY_PORT = 9950;
constexpr int DISCOVERY_LOCAL_PORT_COUNT = 50;
constexpr uint32_t DISCOVERY_LOCAL_REQUEST = 0xABCDDCBAu; /* sent little-endian */
constexpr uint16_t DISCOVERY_BEACON_PORT = 8585;
constexpr char DISCOVERY_BEACON_TEXT[] = "Cindervex2-Discovery"; /* sent without terminator */
constexpr int DISCOVERY_MAX_INTERFACES = 50;

/* Calls callback for one module, clearing *success first; adds one to *count (saturating at
 * 255) when the callback set it. Returns the callback's "go on" answer. */
bool qDiscovery_Report(qDiscovery_Callback callback, void* ref, const linkSpec* found,
                       uint8_t* count);

/* Modules on the USB device list of the process-wide libusb context whose serial text is
 * exactly eight upper-case hexadecimal digits. */
uint8_t qDiscovery_EnumerateUSB(qDiscovery_Callback callback, void* ref);

/* Modules answering the multicast request on every IPv4 interface but loopback. Replies are
 * read until none came for 2 s, for at most about 10 s and 255 replies in all. */
uint8_t qDiscovery_EnumerateTCPIP(qDiscovery_Callback callback, void* ref);

/* Sharing servers on this host, found through the request ports they hold. With localMode on,
 * only records announcing 127.0.0.1 count. */
uint8_t qDiscovery_EnumerateLocal(qDiscovery_Callback callback, void* ref, bool localMode);

/* Sharing servers answering a beacon on the interface selected through the beacon interface
 * guard (the caller holds it). With localMode on, only records announcing 127.0.0.1 or this
 * host's beacon address count. Ends after 22 receive attempts of up to 100 ms. */
uint8_t qDiscovery_EnumerateBeacon(qDiscovery_Callback callback, void* ref, bool localMode);

/* Duplicate filter of one LANVEX search: true when `spec` is acceptable (type LANVEX; its
 * bytes 32-127 are then zeroed) and its serial number was not seen before by this filter. */
class qDiscovery_SeenSerials {
public:
    bool acceptNew(linkSpec* spec);

private:
    uint32_t serials_[256] = {};
    int count_ = 0;
};
