#pragma once
// The link engine: the host's connection to one module over one stream (USB, TCP/IP, a
// serial port, or a caller's stream). Links live in a process-wide registry, addressed by
// small integer ids that are never reused, with use counts: creating a link for a module
// that already has one adds a use and returns the same id; qLink_Destroy drops a use and
// tears the link down at zero.
//
// Per link a reader thread turns the incoming bytes into packets (heartbeats are answered
// at once, a user filter may consume packets, the rest go to the inbound FIFO) and a
// writer thread sends the packets of the outbound FIFO. The wire carries packets as they
// are (address, length, data); after a framing error the reader resynchronises with the
// module by the handshake: bursts of six 0xAD 0x00 sync requests until two empty packets
// from the same address arrive.
//
// Lock order: a link's filter mutex, then a FIFO's lock; the registry mutex and a link's
// log mutex are only ever held alone. User filters run on the reader thread under the
// filter mutex: keep them short and never call qLink_InstallUserPacketFilter from one.
#include <cstdint>

#include "Cindervex2/common/qErr.h"
#include "Cindervex2/common/qPacket.h"
#include "Cindervex2/common/qPacketFifo.h"
#include "Cindervex2/common/qStream.h"

#define qLINK_TAG 0xCEED

/* Packets with a special role on the wire. */
#define ADDRESS_QUERY_MAGIC 0xADu /* sync request and module-address query: 0xAD 0x00 */
#define cmdFORCEROUTE 0xAFu       /* route packet: 0xAF 0x01 flag */

/* Link kinds, numbered as the transports of discovery. */
enum qLinkKind {
    kLinkKindLegacy = 0, /* a caller's stream (qLink_Create) */
    kLinkKindUSB = 1,
    kLinkKindTCPIP = 2,
    kLinkKindSerial = 3,
    kLinkKindLanvex = 4, /* client of a sharing server */
};

enum qLinkStatus {
    kLinkStatusStopped = 0,  /* initialised with a stream, threads not running */
    kLinkStatusStarting = 1, /* qLink_Start is starting the threads */
    kLinkStatusRunning = 2,  /* reader running and in sync: packets flow */
    kLinkStatusStopping = 3, /* qLink_Stop in progress */
    kLinkStatusSyncing = 4,  /* handshake in progress: bytes go to the handshake */
    kLinkStatusInvalid = 5,  /* no such link, or no stream */
    kLinkStatusIOError = 6,  /* the last stream read failed */
    kLinkStatusError = 8,    /* a received packet could not be queued */
};

enum qLinkSyncState {
    kSyncStateSynced = 0,
    kSyncStateStart = 1,
    kSyncStateByte1 = 2, /* expects an even nonzero address A */
    kSyncStateByte2 = 3, /* expects 0x00 */
    kSyncStateByte3 = 4, /* expects A again */
    kSyncStateByte4 = 5, /* expects 0x00: then in sync */
};

/* Packet log directions. */
enum { kPacketLogSent = 1, kPacketLogReceived = 2, kPacketLogText = 3 };

/* A user packet filter: true consumes `packet` (it then goes nowhere else). Runs on the
 * reader thread for every received packet, before the heartbeat reply. */
typedef bool (*qLinkPacketFilter)(const qPacket* packet, void* reference);

/* ---------------------------------------------------------------- creating and destroying */

/* USB link to the module with serial number `serial`, synchronised (handshake done within
 * 2 s) before it is returned. An existing USB link for that serial gains a use and keeps
 * its id. Returns the id, 0 on failure (the
 * module is missing or busy, or does not answer the handshake); nothing is left behind. */
uint32_t qLink_CreateUSB(uint32_t serial);

/* TCP/IP link to `address` (IPv4, network byte order) and `port`. No handshake: the link
 * resynchronises only after a framing error. An existing TCP/IP link to the same address
 * and port gains a use. Returns the id, 0 when no connection can be made. */
uint32_t qLink_CreateTCPIP(uint32_t address, uint16_t port);

/* Serial link on the terminal `path` at `baud` (2400, 4800, 9600, 19200, 38400, 57600,
 * 115200 or 230400), 8 data bits, no parity, one stop bit. `identifier` (the module's
 * serial number) names the link: an existing serial link with it gains a use. No
 * handshake at creation. Returns the id, 0 for another rate or when the port cannot be
 * opened. */
uint32_t qLink_CreateSerial(uint32_t identifier, const char* path, uint32_t baud);

/* Link over a caller's `stream`, started but not synchronised; the link owns the stream
 * from this call on, also when it fails (the stream is then destroyed). Returns the id,
 * 0 on failure. */
uint32_t qLink_Create(qStream* stream);

/* Drops one use of `*id`; at zero stops the threads, wakes everyone waiting on the link
 * (they get null), frees everything. Sets `*id` to 0 in every case. Waits for the threads
 * to end: at most about 1 s, plus one read of the stream (USB: 1 s).
 * qErrParam: null address or unknown id. */
qErr qLink_Destroy(uint32_t* id);

/* Adds one use of `id`, for a second holder that destroys it too: the link ends with the
 * last qLink_Destroy. The lookup and the change happen under the registry mutex, so a
 * concurrent last destroy either comes first (qErrParam) or leaves the link alive.
 * qErrParam: unknown id. */
qErr qLink_AddUse(uint32_t id);

/* Recreates the stream of a USB or TCP/IP link (up to 20 attempts 100 ms apart) and
 * restarts the link without a handshake. The FIFOs are new (queued packets are lost), the
 * user filter and the pooled flag are cleared; the packet log stays. qErrParam: unknown
 * id, or a kind whose stream cannot be recreated (serial, legacy): the link is untouched.
 * When no stream can be made the link stays stopped with status kLinkStatusInvalid and
 * the stream's error is returned. Else qLink_Start's result. */
qErr qLink_Reset(uint32_t id);

/* ---------------------------------------------------------------- using */

/* Status (enum qLinkStatus); kLinkStatusInvalid for an unknown id. */
uint32_t qLink_GetStatus(uint32_t id);

/* Number of packets queued for sending and not yet taken by the writer, in `*count` (0 on
 * failure). Read under the registry mutex, so the link cannot be freed meanwhile.
 * qErrParam: null `count` or unknown id. */
qErr qLink_GetOutboundCount(uint32_t id, size_t* count);

/* Queues a copy of `packet` for sending; the caller keeps its packet. qErrParam: unknown
 * id; else the FIFO's result. Errors of the stream are not reported here. */
qErr qLink_PutPacket(uint32_t id, const qPacket* packet);

/* Oldest received packet (a copy the caller frees), or null. Never waits. */
qPacket* qLink_GetPacket(uint32_t id);

/* Oldest received packet, waiting up to `timeoutMs`; null on timeout, unknown id, or when
 * the link is destroyed or reset during the wait. */
qPacket* qLink_AwaitPacket(uint32_t id, uint32_t timeoutMs);

/* Oldest received packet that `filter` accepts, or null. Never waits. */
qPacket* qLink_GetFirst(uint32_t id, qPacketFilter filter, void* reference);

/* As qLink_GetFirst, waiting up to `timeoutMs`. Null at once unless the link runs with
 * status kLinkStatusRunning (e.g. while it resynchronises). */
qPacket* qLink_AwaitFirst(uint32_t id, qPacketFilter filter, void* reference, uint32_t timeoutMs);

/* Removes every received packet `filter` accepts; returns how many (0 for an unknown id). */
size_t qLink_DrainPackets(uint32_t id, qPacketFilter filter, void* reference);

/* Installs `filter` (null removes it) with its `reference`. Once this returns the old
 * filter is no longer running and will not be called again. qErrParam: unknown id. */
qErr qLink_InstallUserPacketFilter(uint32_t id, qLinkPacketFilter filter, void* reference);

/* Pooled mode (`flag` nonzero): the writer sends everything queued (up to 4096 bytes) in
 * one stream write. qErrParam: unknown id. */
qErr qLink_EnablePooledPackets(uint32_t id, uint8_t flag);

/* Puts the route packet 0xAF 0x01 `flag` into the outbound FIFO. qErrNotFound: unknown
 * id. qErrMemory: no packet. Else the FIFO's result. */
qErr qLink_ForceRoute(uint32_t id, uint8_t flag);

/* ---------------------------------------------------------------- packet debug log */

/* Size of the log ring to create (negative: 0 = default 0x10000). qErrParam: unknown id
 * or above 0x4000000 bytes. qErrBusy: the log exists already. */
qErr qLink_PacketDebug_SetLogSize(uint32_t id, int32_t size);

/* Creates the log (and its mutex) if missing and marks it enabled; from then on every
 * received packet and the first packet of every write are recorded. qErrParam: unknown
 * id. qErrResource: the log or its mutex cannot be made. */
qErr qLink_PacketDebug_Enable(uint32_t id);

/* Clears the enabled mark (recording goes on while the log exists). qErrParam: unknown
 * id. qErrNotReady: no log. */
qErr qLink_PacketDebug_Disable(uint32_t id);

/* Takes the oldest log entry: its direction to `*direction`, its bytes to `buffer`, whose
 * capacity `*length` gives and which receives the entry's length. qErrNotFound: empty.
 * qErrOverrun: `buffer` too small (the entry stays, `*length` tells its size). qErrParam:
 * unknown id or null argument. qErrNotReady: no log. */
qErr qLink_PacketDebug_Read(uint32_t id, int32_t* direction, uint32_t* length, uint8_t* buffer);

/* Appends an entry (direction, `length` bytes at `bytes`) to the log. qErrParam: unknown
 * id, null bytes, length 256 or more. qErrNotReady: no log. qErrOverrun: the entry can
 * never fit the ring. */
qErr qLink_PacketDebug_Write(uint32_t id, int32_t direction, uint32_t length, const uint8_t* bytes);

/* ---------------------------------------------------------------- inside the library */

/* Asks the module for its address with the sync request, waiting 1 s for the answer.
 * qErrTimeout: no answer. qErrIO: the answer is no empty packet from a module.
 * qErrParam: unknown id or null out. */
qErr _qLink_GetModuleAddress(uint32_t id, uint8_t* address);

/* Asks the module at `address` for its model (system entity query), waiting 1 s.
 * qErrTimeout: no answer. qErrIO: an answer of the wrong form. qErrParam: unknown id or
 * null out. */
qErr _qLink_GetModel(uint32_t id, uint8_t address, uint8_t* model);

/* Runs the handshake on a started link: one burst at once, more from the reader after
 * each quiet pause until the module answers; waits up to 2 s for that. Then empties the outbound FIFO, waits 100 ms and
 * empties the inbound FIFO (surplus sync replies), also on time-out.
 * qErrNone: in sync. qErrNotReady: not within 2 s. qErrParam: unknown id. */
qErr qLink_Sync(uint32_t id);
