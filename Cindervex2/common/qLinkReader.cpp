// The reader thread: bytes to packets, the handshake, heartbeat replies, user filters.
#include "Cindervex2/common/qLinkRecord.h"

namespace {

constexpr uint32_t kReadWaitMs = 100;   /* bounds how late the reader notices a stop */
constexpr uint32_t kErrorPauseMs = 100; /* between reads of a failing stream */
constexpr uint64_t kResyncQuietMs = 100; /* silence before the next sync burst */
constexpr int kBurst = 6;

void sPutOutbound(qLinkRecord* link, uint8_t address, uint8_t length, const uint8_t* data, qErr* result) {
    qPacket* packet = qPacket_CreateWithData(address, length, data);
    *result = packet == nullptr ? qErrMemory : qPacketFifo_Put(link->outbound, packet);
    qPacket_Destroy(&packet);
}

// A heartbeat (length 2, data[0] 0) is answered with data[1] + 2 and consumed.
bool sHandleHBBackChannel(qLinkRecord* link, const qPacket* packet) {
    if (packet->length != 2 || packet->data[0] != 0x00) return false;
    const uint8_t reply[2] = {0x00, static_cast<uint8_t>(packet->data[1] + 2)};
    qErr ignored;
    sPutOutbound(link, packet->address, 2, reply, &ignored);
    return true;
}

qErr sHandlePacket(qLinkRecord* link) {
    qPacket* packet = link->accumulator;
    if (!qPacket_IsComplete(packet)) return qErrNone;
    qLink_LogPacket(link, kPacketLogReceived, &packet->address, packet->length + 2u);
    bool consumed = false;
    {
        qMutexGuard guard(link->filterMutex);
        if (link->userFilter != nullptr) consumed = link->userFilter(packet, link->userFilterReference);
    }
    if (!consumed) consumed = sHandleHBBackChannel(link, packet);
    qErr result = consumed ? qErrNone : qPacketFifo_Put(link->inbound, packet);
    qPacket_Reset(packet);
    return result;
}

void sSynced(qLinkRecord* link) {
    link->syncState = kSyncStateSynced;
    link->status = kLinkStatusRunning;
}

// Handshake: in sync after A 00 A 00 with one even nonzero A. A byte that breaks the
// pattern is tried as the start of a new one, so the replies of the burst already sent
// still count; a new burst goes out only after a quiet pause (see the read loop).
void sSyncByte(qLinkRecord* link, uint8_t byte) {
    link->lastActivityMs = qTime_GetMonotonicMS();
    uint32_t state = link->syncState;
    if (state == kSyncStateByte2 && byte == 0x00) {
        link->syncState = kSyncStateByte3;
    } else if (state == kSyncStateByte3 && byte == link->syncAddress) {
        link->syncState = kSyncStateByte4;
    } else if (state == kSyncStateByte4 && byte == 0x00) {
        sSynced(link);
    } else if (state >= kSyncStateByte1 && state <= kSyncStateByte4) {
        bool address = byte != 0 && (byte & 1) == 0;
        if (address) link->syncAddress = byte;
        link->syncState = address ? kSyncStateByte2 : kSyncStateByte1;
    } else {
        sStartSync(link);  // asked to sync (qLink_Sync) or no burst went out: send one
    }
}

// No byte now. While syncing, a burst is due when none is outstanding or the module has
// been quiet for a while; restarting on every empty read would flood it and never let a
// reply that arrives in pieces complete.
void sIdle(qLinkRecord* link) {
    if (link->status == kLinkStatusSyncing) {
        uint32_t state = link->syncState;
        bool outstanding = state >= kSyncStateByte1 && state <= kSyncStateByte4;
        if (!outstanding || qTime_GetMonotonicMS() - link->lastActivityMs >= kResyncQuietMs) sStartSync(link);
    }
    qStream_WaitReadable(link->stream, kReadWaitMs);
}

void sByte(qLinkRecord* link, uint8_t byte) {
    uint32_t status = link->status;
    if (status == kLinkStatusSyncing) {
        // qLink_Sync may have started the handshake mid-packet: drop the partial packet.
        if (link->accumulator->filled != 0) qPacket_Reset(link->accumulator);
        sSyncByte(link, byte);
        return;
    }
    // The stream works again after a failed read.
    if (status == kLinkStatusIOError) link->status = kLinkStatusRunning;
    if (qPacket_AddByte(link->accumulator, byte) != qErrNone) {
        sStartSync(link);  // out of step with the packet boundaries
        return;
    }
    if (sHandlePacket(link) != qErrNone) link->status = kLinkStatusError;
}

}  // namespace

bool qLink_QueueSyncBurst(qLinkRecord* link) {
    link->lastActivityMs = qTime_GetMonotonicMS();
    const uint8_t none = 0;
    qErr result = qErrNone;
    for (int i = 0; i < kBurst; i++) sPutOutbound(link, ADDRESS_QUERY_MAGIC, 0, &none, &result);
    return result == qErrNone;
}

void sStartSync(qLinkRecord* link) {
    link->status = kLinkStatusSyncing;
    link->syncState = kSyncStateStart;
    qPacket_Reset(link->accumulator);
    if (qLink_QueueSyncBurst(link)) link->syncState = kSyncStateByte1;
}

void sInPipeProcess(void* argument) {
    auto* link = static_cast<qLinkRecord*>(argument);
    link->syncState = kSyncStateSynced;
    link->syncAddress = 1;
    link->lastActivityMs = qTime_GetMonotonicMS();
    link->status = kLinkStatusRunning;
    link->readerStarted = 1;
    while (link->running) {
        uint8_t byte = 0;
        qErr result = qStream_Read(link->stream, &byte, 1);
        if (result == qErrNone) {
            sByte(link, byte);
        } else if (result == qErrNotReady) {
            sIdle(link);
        } else {
            link->status = kLinkStatusIOError;
            qPacket_Reset(link->accumulator);  // a packet cut by the failure is lost
            qTime_MSSleep(kErrorPauseMs);
        }
    }
}
