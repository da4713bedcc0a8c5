#pragma once
// One packet of the module protocol: address, length and up to 28 data bytes. On the wire
// a packet is exactly address, length, then `length` data bytes. A packet has one holder
// at a time; queues and links keep copies. None of these functions locks.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Cindervex2/common/qErr.h"

#define qPACKET_TAG 0xBEEF
#define qPACKET_MAX_DATA 28
#define qPACKET_MAX_WIRE (qPACKET_MAX_DATA + 2)

typedef struct qPacket {
    uint16_t tag;      /* qPACKET_TAG while the packet lives */
    uint8_t filled;    /* wire bytes accumulated so far (address, length and data) */
    uint8_t address;   /* module address; 0 until an accumulator has its first byte */
    uint8_t length;    /* data bytes, 0 to 28 */
    uint8_t data[qPACKET_MAX_DATA];
} qPacket;

/* True for a non-null packet whose tag is live. */
static inline bool qVALIDPACKET(const qPacket* packet) { return packet != nullptr && packet->tag == qPACKET_TAG; }

/* New empty packet (an accumulator: every field but the tag 0). Null if memory runs out.
 * The caller frees it with qPacket_Destroy. */
qPacket* qPacket_Create(void);

/* New complete packet holding a copy of `length` bytes at `data` (unused data bytes 0).
 * Null when `data` is null (even for length 0: pass any non-null pointer for an empty
 * packet), when length > 28, or when memory runs out. Any address is accepted. */
qPacket* qPacket_CreateWithData(uint8_t address, uint8_t length, const uint8_t* data);

/* New complete copy of `packet` (filled = length + 2); null if `packet` is invalid or
 * memory runs out. The caller keeps `packet` and frees the copy. */
qPacket* qPacket_Copy(const qPacket* packet);

/* Empties `packet` for reuse as an accumulator. qErrParam if it is invalid. */
qErr qPacket_Reset(qPacket* packet);

/* Adds one received wire byte to the accumulator `packet`.
 * qErrParam: invalid packet. qErrOverrun: more than 30 bytes fed. qErrPacket: an address
 * byte that is 0 or odd, a length byte above 28, or a byte beyond the announced length.
 * `filled` counts every byte fed, even a rejected one: after any error the caller resets
 * the packet before feeding it again. */
qErr qPacket_AddByte(qPacket* packet, uint8_t byte);

/* True when `packet` is valid and holds all length + 2 wire bytes. */
bool qPacket_IsComplete(const qPacket* packet);

/* Command byte (data[0]). qErrParam: `out` null. qErrPacket: invalid packet or no data. */
qErr qPacket_GetCmd(const qPacket* packet, uint8_t* out);

/* Option (low 6 bits of data[1]). qErrParam: `out` null. qErrPacket: invalid packet or
 * fewer than 2 data bytes. */
qErr qPacket_GetOption(const qPacket* packet, uint8_t* out);

/* Index (low 5 bits of data[2]). qErrParam: `out` null. qErrPacket: invalid packet or
 * fewer than 3 data bytes. */
qErr qPacket_GetIndex(const qPacket* packet, uint8_t* out);

/* Writes the wire form of `packet` (length + 2 bytes) to `buffer` and its size to `*count`.
 * qErrParam: invalid packet, null buffer or count, or length above 28. qErrSize: `size`
 * is too small; nothing is written then. */
qErr qPacket_GetWireBytes(const qPacket* packet, uint8_t* buffer, size_t size, size_t* count);

/* Frees `*packet` and sets `*packet` to null. qErrParam if `packet` or `*packet` is null.
 * The tag is cleared before the memory is freed, so a stale copy of the pointer fails
 * every validity check instead of reading reused memory by luck. */
qErr qPacket_Destroy(qPacket** packet);

/* Deleter for holding packets in std::unique_ptr. */
struct qPacketDeleter {
    void operator()(qPacket* packet) const { qPacket_Destroy(&packet); }
};
using qPacketPtr = std::unique_ptr<qPacket, qPacketDeleter>;
