#include "Cindervex2/common/qStreamPacket.h"

#include "Cindervex2/common/qUEI.h"

namespace {

constexpr int kKindByte = 3;
constexpr int kTimestampBytes = 8;

int sValueBytes(STREAM_PACKET kind)
{
    switch (kind) {
    case STREAM_PACKET_U8:
    case STREAM_PACKET_SUBINDEX_U8:
        return 1;
    case STREAM_PACKET_U16:
    case STREAM_PACKET_SUBINDEX_U16:
        return 2;
    case STREAM_PACKET_U32:
    case STREAM_PACKET_SUBINDEX_U32:
        return 4;
    default:
        return 0;
    }
}

// Offset of the timestamp: after the kind byte, and after the subindex for sub-elements.
int sTimestampOffset(STREAM_PACKET kind)
{
    return kKindByte + 1 + (qStreamPacket_IsSubindexType(kind) ? 1 : 0);
}

} // namespace

bool qStreamPacket_GetType(const qPacket* packet, STREAM_PACKET* kind)
{
    STREAM_PACKET found = STREAM_PACKET_NONE;
    if (qUEI_isStreamPacket(packet)) {
        uint8_t k = packet->data[kKindByte];
        if (packet->data[packet->length - 1] != 0)
            found = STREAM_PACKET_BYTES;
        else if (k >= STREAM_PACKET_U8 && k <= STREAM_PACKET_SUBINDEX_U32)
            found = STREAM_PACKET(k);
    }
    if (kind)
        *kind = found;
    return found != STREAM_PACKET_NONE;
}

bool qStreamPacket_IsSubindexType(STREAM_PACKET kind)
{
    return kind >= STREAM_PACKET_SUBINDEX_U8 && kind <= STREAM_PACKET_SUBINDEX_U32;
}

bool qStreamPacket_IsSample(const qPacket* packet)
{
    STREAM_PACKET kind;
    if (!qStreamPacket_GetType(packet, &kind) || kind == STREAM_PACKET_BYTES)
        return false;
    // Header, timestamp, value and the zero trailer (a BYTES kind was ruled out above).
    int expected = sTimestampOffset(kind) + kTimestampBytes + sValueBytes(kind) + 1;
    return packet->length == expected;
}

qErr qStreamPacket_GetSample(const qPacket* packet, uint64_t* timestamp, uint32_t* value,
                             uint8_t* subindex)
{
    STREAM_PACKET kind;
    if (!qStreamPacket_GetType(packet, &kind))
        return qErrPacket;
    if (kind == STREAM_PACKET_BYTES)
        return qErrSize;
    if (!qStreamPacket_IsSample(packet))
        return qErrPacket;
    const uint8_t* at = packet->data + sTimestampOffset(kind);
    if (timestamp)
        *timestamp = (uint64_t(qUEI_RetrieveInt(at)) << 32) | qUEI_RetrieveInt(at + 4);
    at += kTimestampBytes;
    if (value) {
        uint32_t v = 0;
        for (int i = 0; i < sValueBytes(kind); ++i)
            v = (v << 8) | at[i];
        *value = v;
    }
    if (subindex)
        *subindex = qStreamPacket_IsSubindexType(kind) ? packet->data[kKindByte + 1] : 0;
    return qErrNone;
}

void qStreamPacket_GetTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low)
{
    if (high)
        *high = uint32_t(timestamp >> 32);
    if (low)
        *low = uint32_t(timestamp);
}
