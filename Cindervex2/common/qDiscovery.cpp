#include "Cindervex2/common/qDiscovery.h"

#include <arpa/inet.h>

#include <cstring>

#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/qDiscoverySearch.h"

namespace {

struct Probe {
    linkSpec* spec;
    bool anySerial;
};

bool sMatchCallback(const linkSpec* found, bool* success, void* ref)
{
    auto* probe = static_cast<Probe*>(ref);
    if (probe->anySerial ? found->serialNumber == 0
                         : found->serialNumber != probe->spec->serialNumber)
        return true;
    memcpy(probe->spec, found, sizeof(linkSpec));
    *success = true;
    return false;
}

linkSpec* sFind(linkType type, uint32_t serialNumber, bool anySerial, uint32_t networkInterface)
{
    Probe probe{qLinkSpec_Create(type), anySerial};
    if (!probe.spec)
        return nullptr;
    probe.spec->serialNumber = serialNumber;
    if (qDiscovery_EnumerateModules(type, sMatchCallback, &probe, networkInterface) == 0)
        qLinkSpec_Destroy(&probe.spec);
    return probe.spec;
}

} // namespace

bool qDiscovery_Report(qDiscovery_Callback callback, void* ref, const linkSpec* found,
                       uint8_t* count)
{
    bool success = false;
    bool goOn = callback(found, &success, ref);
    if (success && *count < UINT8_MAX)
        ++*count;
    return goOn;
}

bool qDiscovery_SeenSerials::acceptNew(linkSpec* spec)
{
    if (!qLinkSpec_AcceptNetworkRecord(spec))
        return false;
    for (int i = 0; i < count_; ++i)
        if (serials_[i] == spec->serialNumber)
            return false;
    if (count_ == int(sizeof serials_ / sizeof serials_[0]))
        return false; // more servers than a search can report
    serials_[count_++] = spec->serialNumber;
    return true;
}

uint8_t qDiscovery_EnumerateModules(linkType type, qDiscovery_Callback callback, void* ref,
                                    uint32_t networkInterface)
{
    if (!callback)
        return 0;
    switch (type) {
    case USB:
        return qDiscovery_EnumerateUSB(callback, ref);
    case TCPIP:
        return qDiscovery_EnumerateTCPIP(callback, ref);
    case LANVEX:
        return qDiscovery_Enumerate_LanvexModules(callback, ref, networkInterface);
    default:
        return 0;
    }
}

linkSpec* qDiscovery_FindModule(linkType type, uint32_t serialNumber, uint32_t networkInterface)
{
    return sFind(type, serialNumber, false, networkInterface);
}

linkSpec* qDiscovery_FindFirstModule(linkType type, uint32_t networkInterface)
{
    return sFind(type, 0, true, networkInterface);
}

int qDiscovery_ConvertIPv4Interface(uint32_t address, char* text, int size)
{
    if (!text || size < INET_ADDRSTRLEN)
        return 0;
    in_addr a{address};
    if (!inet_ntop(AF_INET, &a, text, socklen_t(size)))
        return 0;
    return int(strlen(text));
}
