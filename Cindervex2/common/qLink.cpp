// A link's life: initialise, start and stop its threads, synchronise, reset.
#include "Cindervex2/common/qLink.h"

#include "Cindervex2/common/qLinkRecord.h"
#include "Cindervex2/platform/qUSBStream.h"

namespace {

constexpr int kStartPolls = 200; /* 10 ms apart: 2 s */
constexpr uint32_t kPollMs = 10;
constexpr int kResetAttempts = 20;
constexpr uint32_t kResetPauseMs = 100;
constexpr uint32_t kSyncSettleMs = 100;

uint8_t drainAll(const qPacket*, void*) { return 1; }

bool sPollFor(bool (*done)(qLinkRecord*), qLinkRecord* link) {
    for (int i = 0; i < kStartPolls; i++) {
        if (done(link)) return true;
        qTime_MSSleep(kPollMs);
    }
    return done(link);
}

bool sThreadsRunning(qLinkRecord* link) {
    return link->readerStarted && link->writerStarted && link->status == kLinkStatusRunning;
}

bool sInSync(qLinkRecord* link) { return link->status == kLinkStatusRunning; }

qErr sNewStream(uint32_t kind, uint32_t identifier, uint32_t port, qStream** stream) {
    if (kind == kLinkKindUSB) return qStream_CreateUSB(identifier, stream);
    return qStream_CreateSocket(identifier, static_cast<uint16_t>(port), stream);
}

}  // namespace

uint32_t qLink_Init(uint32_t id, qStream* stream) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    if (link == nullptr) return 0;
    link->tag = qLINK_TAG;
    link->id = id;
    link->running = 0;
    link->stream = stream;
    link->status = stream != nullptr ? kLinkStatusStopped : kLinkStatusInvalid;
    link->inbound = qPacketFifo_Create();
    link->outbound = qPacketFifo_Create();
    link->reader = link->writer = nullptr;
    link->readerStarted = link->writerStarted = 0;
    if (link->accumulator == nullptr) link->accumulator = qPacket_Create();
    qPacket_Reset(link->accumulator);
    link->pooled = 0;
    if (link->filterMutex == nullptr) link->filterMutex = qMutex_Create(nullptr);
    {
        qMutexGuard guard(link->filterMutex);
        link->userFilter = nullptr;
        link->userFilterReference = nullptr;
    }
    bool complete = link->inbound != 0 && link->outbound != 0 && link->accumulator != nullptr &&
                    link->filterMutex != nullptr;
    return complete ? id : 0;
}

qErr qLink_Start(uint32_t id) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    if (link == nullptr || link->tag != qLINK_TAG) return qErrParam;
    if (link->running) return qErrNone;
    if (link->stream == nullptr) return qErrParam;
    link->running = 1;
    link->status = kLinkStatusStarting;
    link->readerStarted = link->writerStarted = 0;
    link->reader = qThread_Create(sInPipeProcess, link);
    if (link->reader != nullptr) link->writer = qThread_Create(sOutPipeProcess, link);
    if (link->writer == nullptr) {
        qLink_Stop(link);
        return qErrResource;
    }
    if (!sPollFor(sThreadsRunning, link)) return qErrIndexRange;
    return qLink_ForceRoute(id, 1);
}

qErr qLink_Stop(qLinkRecord* link) {
    if (link == nullptr) return qErrParam;
    uint32_t status = link->status;
    if (status == kLinkStatusStopping || status == kLinkStatusStopped) return qErrNone;
    link->status = kLinkStatusStopping;
    qErr result = qErrNone;
    if (link->writer != nullptr) result = qLink_QueueRoute(link, 0);
    link->running = 0;
    // The writer would notice `running` only at the end of its 1 s wait: wake it now.
    qPacket* wake = qPacket_Create();
    if (wake != nullptr) {
        qPacketFifo_Put(link->outbound, wake);
        qPacket_Destroy(&wake);
    }
    if (link->reader != nullptr && qThread_Destroy(&link->reader) != qErrNone) result = qErrUnknown;
    if (link->writer != nullptr && qThread_Destroy(&link->writer) != qErrNone) result = qErrUnknown;
    link->readerStarted = link->writerStarted = 0;
    if (link->accumulator != nullptr) qPacket_Reset(link->accumulator);
    link->status = link->stream != nullptr ? kLinkStatusStopped : kLinkStatusInvalid;
    return result;
}

void qLink_ReleaseResources(qLinkRecord* link) {
    uint64_t fifo = link->inbound.exchange(0);
    qPacketFifo_Destroy(&fifo);
    fifo = link->outbound.exchange(0);
    qPacketFifo_Destroy(&fifo);
    if (link->accumulator != nullptr) qPacket_Destroy(&link->accumulator);
    qPacketLog* log = link->packetLog.exchange(nullptr);
    if (log != nullptr) qPacketLog_Destroy(&log);
    if (link->logMutex != nullptr) qMutex_Destroy(&link->logMutex);
    if (link->filterMutex != nullptr) qMutex_Destroy(&link->filterMutex);
    if (link->stream != nullptr) qStream_Destroy(&link->stream);
}

qErr qLink_Sync(uint32_t id) {
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    if (link == nullptr || link->tag != qLINK_TAG) return qErrParam;
    // The burst goes out now: a USB reader may sit in a 1 s read before it could send one.
    bool queued = link->running && qLink_QueueSyncBurst(link);
    link->syncState = queued ? kSyncStateByte1 : kSyncStateSynced;
    link->status = kLinkStatusSyncing;
    qErr result = sPollFor(sInSync, link) ? qErrNone : qErrNotReady;
    // Surplus sync replies arrive as empty packets after the handshake: drop them.
    qPacketFifo_DrainPackets(link->outbound, drainAll, nullptr);
    qTime_MSSleep(kSyncSettleMs);
    qPacketFifo_DrainPackets(link->inbound, drainAll, nullptr);
    return result;
}

qErr qLink_Reset(uint32_t id) {
    uint32_t kind = 0, identifier = 0, port = 0;
    qLinkRecord* link = qLinkRegistry_GetLink(id);
    if (link == nullptr || !qLinkRegistry_Describe(id, &kind, &identifier, &port)) return qErrParam;
    // Refuse before touching anything: a serial or caller's stream cannot be made again.
    if (kind != kLinkKindUSB && kind != kLinkKindTCPIP) return qErrParam;
    qLink_Stop(link);
    uint64_t fifo = link->inbound.exchange(0);
    qPacketFifo_Destroy(&fifo);
    fifo = link->outbound.exchange(0);
    qPacketFifo_Destroy(&fifo);
    if (link->stream != nullptr) qStream_Destroy(&link->stream);
    qStream* stream = nullptr;
    qErr made = qErrNone;
    for (int attempt = 0; attempt < kResetAttempts; attempt++) {
        made = sNewStream(kind, identifier, port, &stream);
        if (made == qErrNone) break;
        if (attempt + 1 < kResetAttempts) qTime_MSSleep(kResetPauseMs);
    }
    if (made != qErrNone) {
        // Keep the link usable for waiters and later resets: FIFOs, no stream, no threads.
        qLink_Init(id, nullptr);
        return made;
    }
    if (qLink_Init(id, stream) != id) return qErrResource;
    return qLink_Start(id);
}
