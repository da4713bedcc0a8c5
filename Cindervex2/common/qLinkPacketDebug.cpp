// The packet debug log of a link: a ring under the link's log mutex, made on demand.
#include "Cindervex2/common/qLink.h"

#include "Cindervex2/common/qLinkRecord.h"

namespace {

constexpr int32_t kMaxLogSize = 0x4000000;
constexpr uint32_t kDefaultLogSize = 0x10000;

qLinkRecord* sLink(uint32_t id) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    return link != nullptr && link->tag == qLINK_TAG ? link : nullptr;
}

}  // namespace

void qLink_LogPacket(qLinkRecord* link, int direction, const uint8_t* bytes, uint32_t length) {
    qPacketLog* log = link->packetLog.load(std::memory_order_acquire);
    if (log == nullptr) return;
    qMutexGuard guard(link->logMutex);
    if (guard.locked()) qPacketLog_Put(log, direction, length, bytes);
}

qErr qLink_PacketDebug_SetLogSize(uint32_t id, int32_t size) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr || size > kMaxLogSize) return qErrParam;
    if (link->packetLog.load() != nullptr) return qErrBusy;
    link->logSize = size < 0 ? 0 : static_cast<uint32_t>(size);
    return qErrNone;
}

qErr qLink_PacketDebug_Enable(uint32_t id) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr) return qErrParam;
    qPacketLog* log = link->packetLog.load(std::memory_order_acquire);
    if (log == nullptr) {
        // The mutex exists before the log is published: pipe threads take it once they see the log.
        if (link->logMutex == nullptr) link->logMutex = qMutex_Create(nullptr);
        if (link->logMutex == nullptr) return qErrResource;
        log = qPacketLog_Create(link->logSize != 0 ? link->logSize : kDefaultLogSize);
        if (log == nullptr) return qErrResource;
        link->packetLog.store(log, std::memory_order_release);
    }
    qMutexGuard guard(link->logMutex);
    log->enabled = 1;
    return qErrNone;
}

qErr qLink_PacketDebug_Disable(uint32_t id) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr) return qErrParam;
    qPacketLog* log = link->packetLog.load(std::memory_order_acquire);
    if (log == nullptr) return qErrNotReady;
    qMutexGuard guard(link->logMutex);
    log->enabled = 0;
    return qErrNone;
}

qErr qLink_PacketDebug_Read(uint32_t id, int32_t* direction, uint32_t* length, uint8_t* buffer) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr || direction == nullptr || length == nullptr || buffer == nullptr) return qErrParam;
    qPacketLog* log = link->packetLog.load(std::memory_order_acquire);
    if (log == nullptr) return qErrNotReady;
    qMutexGuard guard(link->logMutex);
    return qPacketLog_Get(log, direction, length, buffer);
}

qErr qLink_PacketDebug_Write(uint32_t id, int32_t direction, uint32_t length, const uint8_t* bytes) {
    qLinkRecord* link = sLink(id);
    if (link == nullptr || bytes == nullptr || length >= 256) return qErrParam;
    qPacketLog* log = link->packetLog.load(std::memory_order_acquire);
    if (log == nullptr) return qErrNotReady;
    qMutexGuard guard(link->logMutex);
    return qPacketLog_Put(log, direction, length, bytes);
}
