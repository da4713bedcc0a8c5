#pragma once
// Inside the link engine only: the link record, the registry and the engine's internal
// steps shared by its files.
//
// Shared without a lock between the caller and the pipe threads, hence atomic: running,
// status, the started flags, the sync state, the pooled flag, the FIFO ids (Reset renews
// them) and the packet-log pointer (published once, with its mutex made before it).
#include <atomic>
#include <cstdint>

#include "Cindervex2/common/qLink.h"
#include "Cindervex2/common/qPacketLog.h"
#include "Cindervex2/platform/qPlatform.h"

struct qLinkRecord {
    uint16_t tag;
    uint32_t id;
    std::atomic<uint8_t> running;
    std::atomic<uint32_t> status;
    std::atomic<uint64_t> inbound;
    qPacket* accumulator; /* the reader's alone (Stop resets it after the reader ended) */
    std::atomic<uint64_t> outbound;
    qThread* reader;
    qThread* writer;
    std::atomic<uint8_t> readerStarted;
    std::atomic<uint8_t> writerStarted;
    qStream* stream;
    std::atomic<uint32_t> syncState;
    uint8_t syncAddress;
    std::atomic<uint64_t> lastActivityMs; /* last byte or burst, for the resync pause */
    std::atomic<qPacketLog*> packetLog;
    uint32_t logSize;
    qMutex* logMutex;
    qLinkPacketFilter userFilter;
    void* userFilterReference;
    qMutex* filterMutex;
    std::atomic<uint8_t> pooled;
};

/* ---- registry (qLinkRegistry.cpp); the registry mutex is taken inside each call ---- */

/* New entry (use count 0) with a zeroed link record; returns its id, 0 without memory. */
uint32_t qLinkRegistry_Create(uint32_t identifier, uint32_t port, uint32_t kind);

/* Id of the entry of this kind, identifier and port, with one use added in the same
 * critical section; 0 when there is none. */
uint32_t qLinkRegistry_AcquireExisting(uint32_t identifier, uint32_t port, uint32_t kind);

/* Adds one use. False for an unknown id. */
bool qLinkRegistry_AddUse(uint32_t id);

/* Drops one use. qErrParam: unknown id. When no use is left (zero or below) the entry is
 * unlinked and freed, `*removed` set, and its link record (maybe null) handed to
 * `*extracted` for teardown. */
qErr qLinkRegistry_DropUse(uint32_t id, qLinkRecord** extracted, bool* removed);

/* The link record of `id`, or null. */
qLinkRecord* qLinkRegistry_GetLink(uint32_t id);

/* Kind, identifier and port of `id`. False for an unknown id. */
bool qLinkRegistry_Describe(uint32_t id, uint32_t* kind, uint32_t* identifier, uint32_t* port);

/* ---- engine steps ---- */

/* Readies the record of `id` over `stream` (the record owns it from now on, null allowed:
 * status Invalid): new FIFOs and accumulator, filter cleared. Returns the id, 0 if the
 * entry is missing or something cannot be made. */
uint32_t qLink_Init(uint32_t id, qStream* stream);

/* Starts the reader and writer; waits up to 2 s for both and for status Running, then
 * sends the route packet 1. qErrParam: unknown id. qErrResource: a thread cannot start.
 * qErrIndexRange: not running within 2 s. */
qErr qLink_Start(uint32_t id);

/* Stops whatever threads exist (route packet 0 first when the writer runs) and joins
 * them. qErrParam: null link. qErrUnknown: a join failed. */
qErr qLink_Stop(qLinkRecord* link);

/* Frees what qLink_Init made and the stream (threads must be stopped). */
void qLink_ReleaseResources(qLinkRecord* link);

/* Queues the route packet 0xAF 0x01 `flag` on `link` (which may already have left the
 * registry). qErrMemory: no packet; else the FIFO's result. */
qErr qLink_QueueRoute(qLinkRecord* link, uint8_t flag);

/* Thread entry points (qLinkReader.cpp, qLinkWriter.cpp). */
void sInPipeProcess(void* link);
void sOutPipeProcess(void* link);

/* Starts a handshake: status Syncing and a burst of six sync requests (reader thread). */
void sStartSync(qLinkRecord* link);

/* Queues a burst of six sync requests and notes the time. False if a put failed. */
bool qLink_QueueSyncBurst(qLinkRecord* link);

/* Records `length` wire bytes in the packet log, if there is one. */
void qLink_LogPacket(qLinkRecord* link, int direction, const uint8_t* bytes, uint32_t length);

/* A packet with address 0 is never sent: Stop queues one to wake the writer at once. */
bool qLink_IsWakeMarker(const qPacket* packet);
