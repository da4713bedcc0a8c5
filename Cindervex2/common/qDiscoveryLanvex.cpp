// LANVEX search: sharing servers on this host by loopback multicast, or on a network by beacon.

#include <arpa/inet.h>

#include <cstring>

#include "Cindervex2/classes/zBeaconInterface.h"
#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/qDiscovery.h"
#include "Cindervex2/common/qDiscoverySearch.h"
#include "Cindervex2/common/qMulticast.h"

namespace {

// Asks the server that holds request port `k` for its record. False when no record came.
bool sAskServer(int k, linkSpec* answer)
{
    qMulticast* reply = qMulticast_Create(LANVEX_LOOPBACK_ADDRESS, DISCOVERY_LOCAL_GROUP,
                                          uint16_t(DISCOVERY_LOCAL_REPLY_PORT + k), false);
    qMulticast* request = qMulticast_Create(LANVEX_LOOPBACK_ADDRESS, DISCOVERY_LOCAL_GROUP,
                                            uint16_t(DISCOVERY_LOCAL_REQUEST_PORT + k), true);
    const uint8_t message[4] = {uint8_t(DISCOVERY_LOCAL_REQUEST), uint8_t(DISCOVERY_LOCAL_REQUEST >> 8),
                                uint8_t(DISCOVERY_LOCAL_REQUEST >> 16),
                                uint8_t(DISCOVERY_LOCAL_REQUEST >> 24)}; // little-endian
    bool answered = false;
    if (reply && request && qMulticast_Send(request, message, sizeof message) == sizeof message)
        answered = qMulticast_Receive(reply, answer, sizeof(linkSpec)) == sizeof(linkSpec);
    qMulticast_Destroy(&request);
    qMulticast_Destroy(&reply);
    return answered;
}

// A server holds its request port without address reuse, so a port we can bind is free.
bool sPortHeld(int k)
{
    qMulticast* probe = qMulticast_Create(LANVEX_LOOPBACK_ADDRESS, DISCOVERY_LOCAL_GROUP,
                                          uint16_t(DISCOVERY_LOCAL_REQUEST_PORT + k), false);
    if (!probe)
        return true;
    qMulticast_Destroy(&probe);
    return false;
}

} // namespace

uint8_t qDiscovery_EnumerateLocal(qDiscovery_Callback callback, void* ref, bool localMode)
{
    qDiscovery_SeenSerials seen;
    uint8_t count = 0;
    for (int k = 0; k < DISCOVERY_LOCAL_PORT_COUNT; ++k) {
        linkSpec answer{};
        if (!sPortHeld(k) || !sAskServer(k, &answer))
            continue;
        if (localMode && answer.ipAddress != LANVEX_LOOPBACK_ADDRESS)
            continue;
        if (seen.acceptNew(&answer) && !qDiscovery_Report(callback, ref, &answer, &count))
            break;
    }
    return count;
}

uint8_t qDiscovery_Enumerate_LanvexModules(qDiscovery_Callback callback, void* ref,
                                           uint32_t networkInterface)
{
    if (!callback)
        return 0;
    bool localMode = networkInterface == 0 || networkInterface == LANVEX_LOOPBACK_ADDRESS;
    uint32_t interfaces[DISCOVERY_MAX_INTERFACES];
    if (localMode || qDiscovery_GetIPv4Interfaces(interfaces, DISCOVERY_MAX_INTERFACES) == 0)
        return qDiscovery_EnumerateLocal(callback, ref, true);
    char text[INET_ADDRSTRLEN];
    if (qDiscovery_ConvertIPv4Interface(networkInterface, text, sizeof text) == 0 ||
        !zBeaconInterface_backupSetAndLock(text))
        return 0;
    uint8_t count = qDiscovery_EnumerateBeacon(callback, ref, false);
    zBeaconInterface_restoreAndUnlock();
    return count;
}
