// What callers do with a running link: queue and take packets, filters, pooled mode,
// the route packet, and the module-address and model queries.
#include "Cindervex2/common/qLink.h"

#include "Cindervex2/common/qLinkRecord.h"

namespace {

constexpr uint32_t kQueryWaitMs = 1000;

qLinkRecord* sLink(uint32_t id) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    return link != nullptr && link->tag == qLINK_TAG ? link : nullptr;
}

// Sends `packet`, then waits for the next received one.
qPacket* sAsk(uint32_t id, uint8_t address, uint8_t length, const uint8_t* data) {
    qPacket* request = qPacket_CreateWithData(address, length, data);
    qErr put = request == nullptr ? qErrMemory : qLink_PutPacket(id, request);
    qPacket_Destroy(&request);
    return put == qErrNone ? qLink_AwaitPacket(id, kQueryWaitMs) : nullptr;
}

}  // namespace

uint32_t qLink_GetStatus(uint32_t id) {
    qLinkRecord* link = sLink(id);
    return link == nullptr ? static_cast<uint32_t>(kLinkStatusInvalid) : link->status.load();
}

qErr qLink_PutPacket(uint32_t id, const qPacket* packet) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr) return qErrParam;
    return qPacketFifo_Put(link->outbound, packet);
}

qPacket* qLink_GetPacket(uint32_t id) {
    qLinkRecord* link = sLink(id);
    return link == nullptr ? nullptr : qPacketFifo_Get(link->inbound);
}

qPacket* qLink_AwaitPacket(uint32_t id, uint32_t timeoutMs) {
    qLinkRecord* link = sLink(id);
    return link == nullptr ? nullptr : qPacketFifo_Await(link->inbound, timeoutMs);
}

qPacket* qLink_GetFirst(uint32_t id, qPacketFilter filter, void* reference) {
    qLinkRecord* link = sLink(id);
    return link == nullptr ? nullptr : qPacketFifo_GetFirst(link->inbound, filter, reference);
}

qPacket* qLink_AwaitFirst(uint32_t id, qPacketFilter filter, void* reference, uint32_t timeoutMs) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr || !link->running || link->status != kLinkStatusRunning) return nullptr;
    return qPacketFifo_AwaitFirst(link->inbound, filter, reference, timeoutMs);
}

size_t qLink_DrainPackets(uint32_t id, qPacketFilter filter, void* reference) {
    qLinkRecord* link = sLink(id);
    return link == nullptr ? 0 : qPacketFifo_DrainPackets(link->inbound, filter, reference);
}

qErr qLink_InstallUserPacketFilter(uint32_t id, qLinkPacketFilter filter, void* reference) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr) return qErrParam;
    qMutexGuard guard(link->filterMutex);
    if (!guard.locked()) return qErrUnknown;
    link->userFilter = filter;
    link->userFilterReference = reference;
    return qErrNone;
}

qErr qLink_EnablePooledPackets(uint32_t id, uint8_t flag) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr) return qErrParam;
    link->pooled = flag ? 1 : 0;
    return qErrNone;
}

qErr qLink_ForceRoute(uint32_t id, uint8_t flag) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    if (link == nullptr) return qErrNotFound;
    if (link->tag != qLINK_TAG) return qErrParam;
    return qLink_QueueRoute(link, flag);
}

qErr qLink_QueueRoute(qLinkRecord* link, uint8_t flag) {
    qPacket* packet = qPacket_CreateWithData(cmdFORCEROUTE, 1, &flag);
    if (packet == nullptr) return qErrMemory;
    qErr result = qPacketFifo_Put(link->outbound, packet);
    qPacket_Destroy(&packet);
    return result;
}

qErr _qLink_GetModuleAddress(uint32_t id, uint8_t* address) {
    if (address == nullptr || sLink(id) == nullptr) return qErrParam;
    const uint8_t none = 0;
    qPacket* reply = sAsk(id, ADDRESS_QUERY_MAGIC, 0, &none);
    if (reply == nullptr) return qErrTimeout;
    qErr result = reply->length != 0 || reply->address == 0 ? qErrIO : qErrNone;
    if (result == qErrNone) *address = reply->address;
    qPacket_Destroy(&reply);
    return result;
}

qErr _qLink_GetModel(uint32_t id, uint8_t address, uint8_t* model) {
    if (model == nullptr || sLink(id) == nullptr) return qErrParam;
    const uint8_t query[3] = {0x03, 0x48, 0x20};  // system entity: get the model
    qPacket* reply = sAsk(id, address, sizeof query, query);
    if (reply == nullptr) return qErrTimeout;
    bool ok = reply->length == 4 && reply->address == address && reply->data[0] == 0x03;
    if (ok) *model = reply->data[3];
    qPacket_Destroy(&reply);
    return ok ? qErrNone : qErrIO;
}
