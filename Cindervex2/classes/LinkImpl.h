#pragma once
// Private state of a Link, shared by the files that implement its operations.

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Cindervex2/classes/Link.h"
#include "Cindervex2/common/LocklessQueue_SPSC.h"
#include "Cindervex2/common/qLogger.h"

namespace Quorvel::Cindervex {

struct StreamEntry {
    uint64_t key = 0;
    bool fresh = false;
    StreamCallback callback;
    void* ref = nullptr;
    uint32_t value = 0;
};

/* One callback waiting for the worker; owns its packet copy. */
struct asyncPacket {
    StreamCallback callback;
    void* ref = nullptr;
    qPacketPtr packet;
};

/* The worker's stop signal and wake-up. The filter wakes the worker after each push; the
 * worker also looks again every few ms, so a missed wake-up only delays. */
struct AsyncSignal {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false; // guarded by mutex
};

struct Link::impl {
    explicit impl(Link* link, const char* linkName);

    Link* owner;
    uint32_t linkId = 0;
    qLogger* logger = nullptr;
    LanvexConfig config;
    std::map<uint64_t, StreamEntry> streams; // guarded by streamLock
    std::thread asyncThread;                 // joined on the caller's thread only
    LocklessQueue_SPSC<asyncPacket> asyncQueue{500};
    std::shared_ptr<AsyncSignal> asyncStop = std::make_shared<AsyncSignal>();
    std::mutex streamLock;
    bool filterInstalled = false; // this Link's stream filter sits in the engine link
    std::string name;
    std::optional<linkSpec> spec;

    bool connected() const;
    /* Queues `packet` (wire: module, data) on the engine link; the engine's result. */
    qErr put(uint8_t module, uint8_t length, const uint8_t* data);
    /* Installs (or removes) the stream filter; starts (or stops and joins) the worker. */
    qErr installStreamFilter(bool install);
    /* Stops the worker and joins it unless called from the worker itself. */
    void stopWorker();
    void queueAsyncCallback(const StreamEntry& entry, const qPacket* packet);
    /* A UEI exchange for the stream control: sends, awaits option | 0xC0 or the bare
     * option; the module's error code for an error reply. */
    qErr streamRequest(uint8_t module, uint8_t option, uint8_t replyOption, uei* u);
};

/* The user packet filter that takes stream packets out of the engine's receive path;
 * `reference` is the Link's impl. */
bool linkStreamFilter(const qPacket* packet, void* reference);

/* Timeouts of replies. */
constexpr uint32_t kReplyTimeoutMs = 1000;

} // namespace Quorvel::Cindervex
