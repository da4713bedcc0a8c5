#pragma once
// Stream packets: UEI values a module sends on its own after a subscription. A sample carries
// command, option, index | 0x40, kind, [subindex,] a 64-bit timestamp, the value (1, 2 or 4
// bytes, most significant first) and a zero trailer. A nonzero trailer marks part of a
// streamed byte array instead.

#include <cstdint>

#include "Cindervex2/common/qErr.h"
#include "Cindervex2/common/qPacket.h"

typedef enum STREAM_PACKET {
    STREAM_PACKET_NONE = 0,
    STREAM_PACKET_U8 = 1,
    STREAM_PACKET_U16 = 2,
    STREAM_PACKET_U32 = 3,
    STREAM_PACKET_BYTES = 4,
    STREAM_PACKET_SUBINDEX_U8 = 5,
    STREAM_PACKET_SUBINDEX_U16 = 6,
    STREAM_PACKET_SUBINDEX_U32 = 7,
} STREAM_PACKET;

/* Kind of a stream packet: BYTES when the trailer is nonzero, else data[3] when it is 1 to 7.
 * False (kind NONE) for anything else, including packets that are not stream packets.
 * `kind` may be null. */
bool qStreamPacket_GetType(const qPacket* packet, STREAM_PACKET* kind);

/* True for the sub-element kinds 5, 6 and 7. */
bool qStreamPacket_IsSubindexType(STREAM_PACKET kind);

/* True when the packet is a sample: a kind other than BYTES, a zero trailer and exactly the
 * data length of its kind (14, 15, 17; 15, 16, 18 with a subindex). */
bool qStreamPacket_IsSample(const qPacket* packet);

/* Parses a sample; each out pointer may be null. qErrPacket: not a stream packet, or not a
 * sample. qErrSize: part of a byte array. */
qErr qStreamPacket_GetSample(const qPacket* packet, uint64_t* timestamp, uint32_t* value,
                             uint8_t* subindex);

/* Splits a timestamp into its 32-bit halves; null pointers are skipped. */
void qStreamPacket_GetTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low);
