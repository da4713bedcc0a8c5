// Link: stream subscriptions, the stream filter on the engine's reader thread, the cache of
// streamed values and the worker that runs stream callbacks.

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qCommands.h"
#include "Cindervex2/common/qLink.h"
#include "Cindervex2/common/qUEI.h"

namespace Quorvel::Cindervex {

namespace {

constexpr uint8_t kAny = 255;
constexpr uint8_t kStreamEnable = 0x81;
constexpr uint8_t kStreamDisable = 0x82;
constexpr uint8_t kStreamStateGet = 0x41;
constexpr auto kWorkerWakeCheck = std::chrono::milliseconds(1000);

bool sElementMatches(uint64_t key, STREAM_KEY element, uint8_t wanted)
{
    return wanted == kAny || qStreamKey_GetElement(key, element) == wanted;
}

bool sHasWildcard(uint64_t key)
{
    for (int e = STREAM_KEY_MODULE_ADDRESS; e <= STREAM_KEY_SUBINDEX; ++e)
        if (qStreamKey_GetElement(key, e) == kAny)
            return true;
    return false;
}

// Runs queued callbacks until told to stop. The only consumer of the ring.
void asyncWork(LocklessQueue_SPSC<asyncPacket>* queue, std::shared_ptr<AsyncSignal> signal)
{
    for (;;) {
        asyncPacket item;
        while (queue->pop(item)) {
            if (item.callback)
                item.callback(item.packet.get(), item.ref);
            item = asyncPacket();
        }
        std::unique_lock<std::mutex> lock(signal->mutex);
        signal->wake.wait_for(lock, kWorkerWakeCheck,
                              [&] { return signal->stop || !queue->empty(); });
        if (signal->stop)
            return;
    }
}

} // namespace

void Link::impl::queueAsyncCallback(const StreamEntry& entry, const qPacket* packet)
{
    if (!entry.callback)
        return;
    asyncPacket item{entry.callback, entry.ref, qPacketPtr(qPacket_Copy(packet))};
    if (!item.packet || !asyncQueue.push(item))
        return; // full: the callback is dropped, the value stays cached
    std::shared_ptr<AsyncSignal> signal = asyncStop;
    { std::lock_guard<std::mutex> wakeOrder(signal->mutex); }
    signal->wake.notify_one();
}

bool linkStreamFilter(const qPacket* packet, void* reference)
{
    auto* d = static_cast<Link::impl*>(reference);
    STREAM_PACKET kind;
    if (!qStreamPacket_GetType(packet, &kind))
        return false;
    uint8_t subindex = qStreamPacket_IsSubindexType(kind) ? packet->data[4] : 0;
    uint64_t key = qStreamKey_Create(packet->address, packet->data[0],
                                     packet->data[1] & UEI_OPTION_MASK,
                                     packet->data[2] & UEI_INDEX_MASK, subindex);
    uint32_t value = 0;
    bool sample = qStreamPacket_GetSample(packet, nullptr, &value, nullptr) == qErrNone;

    std::lock_guard<std::mutex> lock(d->streamLock);
    auto exact = d->streams.find(key);
    if (exact != d->streams.end()) {
        d->queueAsyncCallback(exact->second, packet);
        if (sample) {
            exact->second.value = value;
            exact->second.fresh = true;
        }
    }
    bool wildcard = false;
    for (int m = 0; m < STREAM_KEY_MASK_COUNT; ++m) {
        uint64_t general = key | qStreamKey_GenericMask(m);
        auto entry = general == key ? d->streams.end() : d->streams.find(general);
        if (entry != d->streams.end()) {
            d->queueAsyncCallback(entry->second, packet);
            wildcard = true;
        }
    }
    if (exact == d->streams.end() && wildcard && sample)
        d->streams[key] = StreamEntry{key, true, {}, nullptr, value};
    return true; // every stream packet is consumed while the filter is installed
}

void Link::impl::stopWorker()
{
    if (!asyncThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(asyncStop->mutex);
        asyncStop->stop = true;
    }
    asyncStop->wake.notify_one();
    if (asyncThread.get_id() == std::this_thread::get_id())
        return; // from a callback: joined by the next install or by the destructor
    asyncThread.join();
    asyncPacket left;
    while (asyncQueue.pop(left))
        left = asyncPacket();
    asyncStop = std::make_shared<AsyncSignal>();
}

qErr Link::impl::installStreamFilter(bool install)
{
    if (linkId == 0)
        return qErrConnection;
    qErr result =
        qLink_InstallUserPacketFilter(linkId, install ? linkStreamFilter : nullptr, this);
    if (result != qErrNone)
        return result;
    filterInstalled = install;
    if (install) {
        bool stopped;
        {
            std::lock_guard<std::mutex> lock(asyncStop->mutex);
            stopped = asyncStop->stop;
        }
        if (asyncThread.joinable() && stopped)
            stopWorker(); // a worker stopped from its own callback: join it first
        if (!asyncThread.joinable())
            asyncThread = std::thread(asyncWork, &asyncQueue, asyncStop);
        return qErrNone;
    }
    {
        std::lock_guard<std::mutex> lock(streamLock);
        streams.clear();
    }
    stopWorker();
    return qErrNone;
}

qErr Link::impl::streamRequest(uint8_t module, uint8_t option, uint8_t replyOption, uei* u)
{
    u->module = module;
    u->command = cmdSTREAM;
    u->option = option;
    u->specifier = UEI_SPEC_REQUEST;
    qErr result = owner->sendUEI(*u);
    if (result != qErrNone)
        return result;
    u->option = replyOption;
    u->specifier = 0;
    result = owner->receiveUEI(module, cmdSTREAM, replyOption, 0, u);
    if (result == qErrNone && (u->specifier & UEI_SPEC_ERROR))
        return qErr(u->byteValue);
    return result;
}

std::vector<uint64_t> Link::filterActiveStreamKeys(uint8_t module, uint8_t command,
                                                   uint8_t option, uint8_t index,
                                                   uint8_t subindex, bool lock)
{
    std::unique_lock<std::mutex> guard(d->streamLock, std::defer_lock);
    if (lock)
        guard.lock();
    std::vector<uint64_t> keys;
    for (const auto& [key, entry] : d->streams)
        if (sElementMatches(key, STREAM_KEY_MODULE_ADDRESS, module) &&
            sElementMatches(key, STREAM_KEY_CMD, command) &&
            sElementMatches(key, STREAM_KEY_OPTION, option) &&
            sElementMatches(key, STREAM_KEY_INDEX, index) &&
            sElementMatches(key, STREAM_KEY_SUBINDEX, subindex))
            keys.push_back(key);
    return keys;
}

qErr Link::registerStreamCallback(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                                  bool enable, StreamCallback callback, void* ref)
{
    if ((module & 1) || module == kAny)
        return qErrParam;
    uint64_t key = qStreamKey_Create(module, command, option, index, kAny);
    auto removeMatching = [&] {
        std::lock_guard<std::mutex> lock(d->streamLock);
        for (uint64_t k : filterActiveStreamKeys(module, command, option, index, kAny, false))
            d->streams.erase(k);
        return d->streams.empty();
    };
    bool empty;
    if (enable) {
        std::lock_guard<std::mutex> lock(d->streamLock);
        StreamEntry& entry = d->streams[key];
        entry.key = key;
        entry.callback = std::move(callback);
        entry.ref = ref;
        empty = false;
    } else {
        empty = removeMatching();
    }
    qErr result = d->installStreamFilter(!empty);
    if (result == qErrNone) {
        uei u{};
        u.type = ueiTypeInt;
        u.intValue = uint32_t(key);
        result = d->streamRequest(module, enable ? kStreamEnable : kStreamDisable,
                                  enable ? kStreamEnable | 0x40 : kStreamDisable | 0x40, &u);
    }
    if (result != qErrNone)
        removeMatching();
    return result;
}

qErr Link::enableStream(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                        bool enable)
{
    return registerStreamCallback(module, command, option, index, enable, StreamCallback(),
                                  nullptr);
}

qErr Link::isLinkStreaming(uint8_t module, uint8_t* streaming)
{
    if (!streaming)
        return qErrParam;
    uei u{};
    u.type = ueiTypeVoid;
    qErr result = d->streamRequest(module, kStreamStateGet, kStreamStateGet & UEI_OPTION_MASK, &u);
    if (result == qErrNone)
        *streaming = u.byteValue;
    return result;
}

qErr Link::getStreamValue(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                          uint8_t subindex, uint32_t* value)
{
    if (!value)
        return qErrParam;
    std::lock_guard<std::mutex> lock(d->streamLock);
    auto entry = d->streams.find(qStreamKey_Create(module, command, option, index, subindex));
    if (entry == d->streams.end())
        return qErrNotFound;
    *value = entry->second.value;
    if (!entry->second.fresh)
        return qErrStreamStale;
    entry->second.fresh = false;
    return qErrNone;
}

qErr Link::getStreamStatus(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                           uint8_t subindex, StreamStatusEntry* entries, size_t capacity,
                           size_t* count)
{
    if (!d->connected())
        return qErrConnection;
    if (!entries || !count || capacity == 0)
        return qErrParam;
    std::vector<uint64_t> keys = filterActiveStreamKeys(module, command, option, index, subindex, true);
    std::lock_guard<std::mutex> lock(d->streamLock);
    *count = 0;
    for (uint64_t key : keys) {
        auto entry = d->streams.find(key);
        if (sHasWildcard(key) || entry == d->streams.end())
            continue;
        if (*count == capacity)
            return qErrSize;
        entries[(*count)++] = {key, entry->second.value};
    }
    return qErrNone;
}

uint64_t Link::createStreamKey(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                               uint8_t subindex)
{
    return qStreamKey_Create(module, command, option, index, subindex);
}

uint8_t Link::getStreamKeyElement(uint64_t key, STREAM_KEY element)
{
    return qStreamKey_GetElement(key, element);
}

bool Link::isStreamPacket(const qPacket* packet) { return qUEI_isStreamPacket(packet); }

bool Link::getStreamPacketType(const qPacket* packet, STREAM_PACKET* kind)
{
    return qStreamPacket_GetType(packet, kind);
}

bool Link::isStreamSample(const qPacket* packet) { return qStreamPacket_IsSample(packet); }

bool Link::isSubindexType(STREAM_PACKET kind) { return qStreamPacket_IsSubindexType(kind); }

qErr Link::getStreamSample(const qPacket* packet, uint64_t* timestamp, uint32_t* value,
                           uint8_t* subindex)
{
    return qStreamPacket_GetSample(packet, timestamp, value, subindex);
}

void Link::getTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low)
{
    qStreamPacket_GetTimestampParts(timestamp, high, low);
}

} // namespace Quorvel::Cindervex
