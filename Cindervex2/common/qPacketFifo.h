#pragma once
// A thread-safe FIFO of packets, named by a 64-bit id (0 = none) in a process-wide
// registry. Puts store copies; every retrieval hands out a new copy the caller frees with
// qPacket_Destroy. Holds at most 1000 packets: the put that makes 1001 empties the FIFO
// (and still succeeds), so an unread inbound queue cannot grow without bound.
//
// Locks: the registry mutex is taken alone, only inside the id lookup; each FIFO has one
// mutex and one condition variable. Filters run with the FIFO's mutex held: a filter must
// be short and must not call any function on the same FIFO. A caller may hold one other
// lock (e.g. a link's filter mutex) while calling these functions, never the reverse.
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"
#include "Cindervex2/common/qPacket.h"

/* Selects packets: nonzero means `packet` matches. `reference` is the caller's. */
typedef uint8_t (*qPacketFilter)(const qPacket* packet, void* reference);

/* New, empty, registered FIFO. Ids are 1, 2, 3, ... in creation order and never 0.
 * Returns 0 if the FIFO cannot be made. */
uint64_t qPacketFifo_Create(void);

/* Unregisters the FIFO, frees its packets and wakes every waiter (they return null).
 * Sets `*id` to 0. qErrParam: `id` null. qErrNotFound: no FIFO has that id (`*id` is
 * still set to 0). qErrUnknown: an internal failure. */
qErr qPacketFifo_Destroy(uint64_t* id);

/* Number of packets queued; 0 for an unknown id. */
size_t qPacketFifo_GetLength(uint64_t id);

/* Queues a copy of `packet`; the caller keeps its packet. Wakes all waiters.
 * qErrParam: unknown id, invalid packet, or the copy cannot be made. qErrResource: the
 * queue cannot grow. qErrNone also when the put overflowed and emptied the FIFO. */
qErr qPacketFifo_Put(uint64_t id, const qPacket* packet);

/* Removes and returns the oldest packet; null when empty or unknown. Never waits. */
qPacket* qPacketFifo_Get(uint64_t id);

/* As qPacketFifo_Get, but waits up to `timeoutMs` (monotonic clock) for a packet.
 * Null on timeout, unknown id, or when the FIFO is destroyed during the wait.
 * A timeout of 0 returns at once. */
qPacket* qPacketFifo_Await(uint64_t id, uint32_t timeoutMs);

/* Removes and returns the oldest packet `filter` accepts; null if none does, the id is
 * unknown or `filter` is null. Never waits. */
qPacket* qPacketFifo_GetFirst(uint64_t id, qPacketFilter filter, void* reference);

/* As qPacketFifo_GetFirst, but waits up to `timeoutMs` for a match. Each packet is offered
 * to `filter` at most once per call, however often the caller wakes. Null on timeout,
 * unknown id, null filter, or destruction during the wait. */
qPacket* qPacketFifo_AwaitFirst(uint64_t id, qPacketFilter filter, void* reference, uint32_t timeoutMs);

/* Removes and frees every packet `filter` accepts, keeping the others in order.
 * Returns how many were removed (0 for an unknown id or a null filter). */
size_t qPacketFifo_DrainPackets(uint64_t id, qPacketFilter filter, void* reference);
