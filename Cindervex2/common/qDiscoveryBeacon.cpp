// Beacon search: publish the discovery text on UDP 8585 and collect the 128-byte records that
// sharing servers publish in answer.

#include <arpa/inet.h>
#include <czmq.h>

#include <cstring>

#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/qDiscoverySearch.h"

namespace {

constexpr int kAttempts = 22;
constexpr int kAttemptMs = 100;
constexpr int kPublishIntervalMs = 100;
constexpr int kConfigureMs = 2000;

// One receive attempt; false when nothing arrived. A frame of another size than a record
// (another host's request, for one) leaves `found` false.
bool sReceiveOne(zactor_t* beacon, linkSpec* record, bool* found)
{
    char* sender = zstr_recv(beacon);
    if (!sender)
        return false;
    zframe_t* frame = zframe_recv(beacon);
    *found = frame && zframe_size(frame) == sizeof(linkSpec);
    if (*found)
        memcpy(record, zframe_data(frame), sizeof(linkSpec));
    zframe_destroy(&frame);
    zstr_free(&sender);
    return true;
}

} // namespace

uint8_t qDiscovery_EnumerateBeacon(qDiscovery_Callback callback, void* ref, bool localMode)
{
    zactor_t* beacon = zactor_new(zbeacon, nullptr);
    if (!beacon)
        return 0;
    // The actor answers CONFIGURE at once; the bound only keeps a broken one from hanging us.
    zsock_set_rcvtimeo(beacon, kConfigureMs);
    zsock_send(beacon, "si", "CONFIGURE", int(DISCOVERY_BEACON_PORT));
    char* host = zstr_recv(beacon);
    zsock_set_rcvtimeo(beacon, kAttemptMs);
    uint8_t count = 0;
    if (host && *host) {
        in_addr own{};
        inet_pton(AF_INET, host, &own);
        zsock_send(beacon, "sbi", "PUBLISH", DISCOVERY_BEACON_TEXT,
                   sizeof DISCOVERY_BEACON_TEXT - 1, kPublishIntervalMs);
        zsock_send(beacon, "sb", "SUBSCRIBE", "", size_t(0));
        qDiscovery_SeenSerials seen;
        bool goOn = true;
        for (int attempt = 0; attempt < kAttempts && goOn; ++attempt) {
            linkSpec record{};
            bool found = false;
            if (!sReceiveOne(beacon, &record, &found) || !found)
                continue;
            if (localMode && record.ipAddress != LANVEX_LOOPBACK_ADDRESS &&
                record.ipAddress != own.s_addr)
                continue;
            if (seen.acceptNew(&record))
                goOn = qDiscovery_Report(callback, ref, &record, &count);
        }
        zstr_sendx(beacon, "SILENCE", nullptr);
        zstr_sendx(beacon, "UNSUBSCRIBE", nullptr);
    }
    zstr_free(&host);
    zactor_destroy(&beacon);
    return count;
}
