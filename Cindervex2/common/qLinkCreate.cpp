// Creating and destroying links. A creation that fails destroys its half-made link
// before a use was added: the use count drops below one and the entry goes, so nothing
// is left in the registry and the next creation starts afresh.
#include "Cindervex2/common/qLink.h"

#include "Cindervex2/common/qLinkRecord.h"
#include "Cindervex2/platform/qUSBStream.h"

namespace {

constexpr uint32_t kLegacyIdentifier = 0xFFFFFFFFu;

uint32_t sFail(uint32_t id) {
    qLink_Destroy(&id);
    return 0;
}

// Initialises `id` over `stream` and adds its first use; 0 (link destroyed) on failure.
uint32_t sInitWithUse(uint32_t id, qStream* stream) {
    if (qLink_Init(id, stream) != id) return sFail(id);
    qLinkRegistry_AddUse(id);
    return id;
}

// Baud rate to the serial stream's selector; -1 for a rate it does not offer.
int sBaudSelector(uint32_t baud) {
    static const uint32_t kRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};
    for (int i = 0; i < 8; i++)
        if (kRates[i] == baud) return i;
    return -1;
}

}  // namespace

uint32_t qLink_CreateUSB(uint32_t serial) {
    if (serial == 0) return 0;
    uint32_t id = qLinkRegistry_AcquireExisting(serial, 0, kLinkKindUSB);
    if (id != 0) return id;
    id = qLinkRegistry_Create(serial, 0, kLinkKindUSB);
    if (id == 0) return 0;
    qStream* stream = nullptr;
    if (qStream_CreateUSB(serial, &stream) != qErrNone) return sFail(id);
    if (sInitWithUse(id, stream) == 0) return 0;
    if (qLink_Start(id) != qErrNone || qLink_Sync(id) != qErrNone) return sFail(id);
    return id;
}

uint32_t qLink_CreateTCPIP(uint32_t address, uint16_t port) {
    uint32_t id = qLinkRegistry_AcquireExisting(address, port, kLinkKindTCPIP);
    if (id != 0) return id;
    id = qLinkRegistry_Create(address, port, kLinkKindTCPIP);
    if (id == 0) return 0;
    qStream* stream = nullptr;
    if (qStream_CreateSocket(address, port, &stream) != qErrNone) return sFail(id);
    if (sInitWithUse(id, stream) == 0) return 0;
    if (qLink_Start(id) != qErrNone) return sFail(id);
    return id;
}

uint32_t qLink_CreateSerial(uint32_t identifier, const char* path, uint32_t baud) {
    int selector = sBaudSelector(baud);
    if (selector < 0 || path == nullptr) return 0;
    uint32_t id = qLinkRegistry_AcquireExisting(identifier, 0, kLinkKindSerial);
    if (id != 0) return id;
    id = qLinkRegistry_Create(identifier, 0, kLinkKindSerial);
    if (id == 0) return 0;
    qStream* stream = nullptr;
    if (qStream_CreateSerial(path, selector, 0, 0, 0, &stream) != qErrNone) return sFail(id);
    if (sInitWithUse(id, stream) == 0) return 0;
    if (qLink_Start(id) != qErrNone) return sFail(id);
    return id;
}

uint32_t qLink_Create(qStream* stream) {
    uint32_t id = qLinkRegistry_Create(kLegacyIdentifier, 0, kLinkKindLegacy);
    if (id == 0) {
        qStream_Destroy(&stream);
        return 0;
    }
    if (stream == nullptr) return sFail(id);
    if (sInitWithUse(id, stream) == 0) return 0;
    if (qLink_Start(id) != qErrNone) return sFail(id);
    return id;
}

qErr qLink_Destroy(uint32_t* id) {
    if (id == nullptr) return qErrParam;
    qLinkRecord* link = nullptr;
    bool removed = false;
    qErr result = qLinkRegistry_DropUse(*id, &link, &removed);
    *id = 0;
    if (result != qErrNone || !removed) return result;
    if (link == nullptr) return qErrUnknown;
    if (link->filterMutex != nullptr) {
        qMutexGuard guard(link->filterMutex);
        link->userFilter = nullptr;
    }
    qLink_Stop(link);
    // Destroying the inbound FIFO first wakes callers waiting for packets.
    uint64_t inbound = link->inbound.exchange(0);
    qPacketFifo_Destroy(&inbound);
    uint64_t outbound = link->outbound.exchange(0);
    result = qPacketFifo_Destroy(&outbound);
    qLink_ReleaseResources(link);
    link->tag = 0;
    delete link;
    return result;
}
