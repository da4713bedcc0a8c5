// The writer thread: sends the outbound FIFO's packets, one write each or pooled.
#include "Cindervex2/common/qLinkRecord.h"

namespace {

constexpr uint32_t kAwaitMs = 1000;
constexpr uint32_t kPoolSize = 4096;
constexpr uint32_t kPoolGatherLimit = kPoolSize - qPACKET_MAX_WIRE; /* a full packet still fits */

uint32_t sAppendWire(const qPacket* packet, uint8_t* buffer, uint32_t used) {
    size_t count = 0;
    qPacket_GetWireBytes(packet, buffer + used, kPoolSize - used, &count);
    return used + static_cast<uint32_t>(count);
}

// Sends `first` and, in pooled mode, whatever else is queued, in one write. Only the
// first packet goes to the packet log.
void sSend(qLinkRecord* link, qPacket* first, bool pooled) {
    uint8_t buffer[kPoolSize];
    uint32_t used = sAppendWire(first, buffer, 0);
    qLink_LogPacket(link, kPacketLogSent, buffer, used);
    while (pooled && used <= kPoolGatherLimit) {
        qPacket* next = qPacketFifo_Get(link->outbound);
        if (next == nullptr) break;
        if (!qLink_IsWakeMarker(next)) used = sAppendWire(next, buffer, used);
        qPacket_Destroy(&next);
    }
    qStream_Write(link->stream, buffer, used);  // a failed write loses the packets
}

}  // namespace

bool qLink_IsWakeMarker(const qPacket* packet) { return packet->address == 0; }

void sOutPipeProcess(void* argument) {
    auto* link = static_cast<qLinkRecord*>(argument);
    link->writerStarted = 1;
    while (link->running) {
        qPacket* packet = qPacketFifo_Await(link->outbound, kAwaitMs);
        if (packet == nullptr) continue;
        if (!qLink_IsWakeMarker(packet)) sSend(link, packet, link->pooled != 0);
        qPacket_Destroy(&packet);
    }
    // The route-off packet of a stop is among these: it still reaches the module.
    while (qPacket* packet = qPacketFifo_Get(link->outbound)) {
        if (!qLink_IsWakeMarker(packet)) sSend(link, packet, false);
        qPacket_Destroy(&packet);
    }
}
