#include "Cindervex2/common/qPacketFifo.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>

#include "Cindervex2/platform/qPlatform.h"

namespace {

constexpr size_t kCapacity = 1000;

// One queued packet with its put number in this FIFO.
struct SerialPacket {
    int64_t serial;
    qPacketPtr packet;
};

class packetFifo {
public:
    packetFifo() : changed(qCond_Create()), lock(qMutex_Create("qPacketFifo")) {}
    ~packetFifo() {
        qCond_Destroy(&changed);
        qMutex_Destroy(&lock);
    }
    packetFifo(const packetFifo&) = delete;
    packetFifo& operator=(const packetFifo&) = delete;

    bool usable() const { return changed && lock; }

    // The window start is the serial id of the oldest element, or the next id when empty.
    void syncWindow() { windowStart = packets.empty() ? nextId.load() : packets.front().serial; }

    void clearAndSyncWindow() {
        packets.clear();
        syncWindow();
    }

    // Copies first: when the copy fails the element stays queued and the caller gets null.
    qPacket* take(std::deque<SerialPacket>::iterator it) {
        qPacket* copy = qPacket_Copy(it->packet.get());
        if (!copy) return nullptr;
        packets.erase(it);
        syncWindow();
        return copy;
    }

    // First element from the front that `filter` accepts, offering each element only once
    // per caller: elements with a serial id up to `*examined` were offered before.
    std::deque<SerialPacket>::iterator findNew(qPacketFilter filter, void* reference, int64_t* examined) {
        for (auto it = packets.begin(); it != packets.end(); ++it) {
            if (it->serial <= *examined) continue;
            *examined = it->serial;
            if (filter(it->packet.get(), reference)) return it;
        }
        return packets.end();
    }

    // Waits until `ready` holds, the FIFO dies or the monotonic `deadline` passes; the
    // predicate is run once more after a timeout. Returns the predicate's last result.
    template <typename Ready>
    bool waitUntil(uint64_t deadline, Ready ready) {
        while (!ready()) {
            if (!alive) return false;
            if (qCond_WaitUntil(changed, lock, deadline) == qErrTimeout) return ready();
        }
        return true;
    }

    std::deque<SerialPacket> packets;
    qCond* changed;
    qMutex* lock;
    std::atomic<bool> alive{true};
    std::atomic<int64_t> windowStart{0};
    std::atomic<int64_t> nextId{0};
};

using FifoRef = std::shared_ptr<packetFifo>;

// The registry. Its mutex is only ever held alone: taken and released inside these
// helpers, never while a FIFO's own lock is held.
std::map<uint64_t, FifoRef> gpPacketFifoDictionary;
std::atomic<uint64_t> gpSequentialId{1};

qMutex* sRegistryMutex() {
    static qMutex* mutex = qMutex_Create("qPacketFifo registry");
    return mutex;
}

// A shared reference keeps the FIFO alive for the caller even if it is destroyed meanwhile.
FifoRef sLookup(uint64_t id) {
    qMutex* mutex = sRegistryMutex();
    if (!mutex || id == 0) return nullptr;
    qMutexGuard hold(mutex);
    if (!hold.locked()) return nullptr;
    auto it = gpPacketFifoDictionary.find(id);
    return it == gpPacketFifoDictionary.end() ? nullptr : it->second;
}

uint64_t sNextId() {
    uint64_t id = gpSequentialId++;
    return id != 0 ? id : gpSequentialId++;
}

}  // namespace

uint64_t qPacketFifo_Create(void) {
    try {
        qMutex* mutex = sRegistryMutex();
        if (!mutex) return 0;
        auto fifo = std::make_shared<packetFifo>();
        if (!fifo->usable()) return 0;
        qMutexGuard hold(mutex);
        if (!hold.locked()) return 0;
        uint64_t id = sNextId();
        gpPacketFifoDictionary.emplace(id, std::move(fifo));
        return id;
    } catch (...) {
        return 0;
    }
}

qErr qPacketFifo_Destroy(uint64_t* id) {
    if (!id) return qErrParam;
    uint64_t wanted = *id;
    *id = 0;
    try {
        FifoRef fifo;
        {
            qMutex* mutex = sRegistryMutex();
            if (!mutex) return qErrUnknown;
            qMutexGuard hold(mutex);
            if (!hold.locked()) return qErrUnknown;
            auto it = gpPacketFifoDictionary.find(wanted);
            if (it == gpPacketFifoDictionary.end()) return qErrNotFound;
            fifo = std::move(it->second);
            gpPacketFifoDictionary.erase(it);
        }
        {
            qMutexGuard hold(fifo->lock);
            if (!hold.locked()) return qErrUnknown;
            fifo->clearAndSyncWindow();
            fifo->alive = false;
        }
        qCond_Broadcast(fifo->changed);
        return qErrNone;
    } catch (...) {
        return qErrUnknown;
    }
}

size_t qPacketFifo_GetLength(uint64_t id) {
    FifoRef fifo = sLookup(id);
    if (!fifo) return 0;
    qMutexGuard hold(fifo->lock);
    return hold.locked() ? fifo->packets.size() : 0;
}

qErr qPacketFifo_Put(uint64_t id, const qPacket* packet) {
    FifoRef fifo = sLookup(id);
    if (!fifo || !qVALIDPACKET(packet)) return qErrParam;
    {
        qMutexGuard hold(fifo->lock);
        if (!hold.locked()) return qErrParam;
        int64_t serial = fifo->nextId++;
        qPacketPtr copy(qPacket_Copy(packet));
        if (!copy) return qErrParam;
        try {
            fifo->packets.push_back(SerialPacket{serial, std::move(copy)});
        } catch (...) {
            return qErrResource;
        }
        fifo->syncWindow();
        // Nobody reads this queue: drop everything rather than grow without bound.
        if (fifo->packets.size() > kCapacity) {
            fifo->clearAndSyncWindow();
            return qErrNone;
        }
    }
    qCond_Broadcast(fifo->changed);
    return qErrNone;
}

qPacket* qPacketFifo_Get(uint64_t id) { return qPacketFifo_Await(id, 0); }

qPacket* qPacketFifo_Await(uint64_t id, uint32_t timeoutMs) {
    uint64_t deadline = qTime_GetMonotonicMS() + timeoutMs;
    FifoRef fifo = sLookup(id);
    if (!fifo) return nullptr;
    qMutexGuard hold(fifo->lock);
    if (!hold.locked()) return nullptr;
    if (!fifo->waitUntil(deadline, [&] { return !fifo->packets.empty(); })) return nullptr;
    return fifo->take(fifo->packets.begin());
}

qPacket* qPacketFifo_GetFirst(uint64_t id, qPacketFilter filter, void* reference) {
    return qPacketFifo_AwaitFirst(id, filter, reference, 0);
}

qPacket* qPacketFifo_AwaitFirst(uint64_t id, qPacketFilter filter, void* reference, uint32_t timeoutMs) {
    uint64_t deadline = qTime_GetMonotonicMS() + timeoutMs;
    FifoRef fifo = sLookup(id);
    if (!fifo || !filter) return nullptr;
    qMutexGuard hold(fifo->lock);
    if (!hold.locked()) return nullptr;
    int64_t examined = fifo->windowStart - 1;
    auto match = fifo->packets.end();
    auto found = [&] {
        match = fifo->findNew(filter, reference, &examined);
        return match != fifo->packets.end();
    };
    if (!fifo->waitUntil(deadline, found)) return nullptr;
    return fifo->take(match);
}

size_t qPacketFifo_DrainPackets(uint64_t id, qPacketFilter filter, void* reference) {
    FifoRef fifo = sLookup(id);
    if (!fifo || !filter) return 0;
    qMutexGuard hold(fifo->lock);
    if (!hold.locked()) return 0;
    size_t before = fifo->packets.size();
    std::erase_if(fifo->packets, [&](const SerialPacket& e) { return filter(e.packet.get(), reference) != 0; });
    fifo->syncWindow();
    return before - fifo->packets.size();
}
