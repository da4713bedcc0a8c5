// Link: store slots. A slot is opened for reading or writing and gets a one-byte handle,
// chunks move under the handle, and the handle is closed again on every path.

#include <cstring>

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qCommands.h"
#include "Cindervex2/common/qLink.h"

namespace Quorvel::Cindervex {

namespace {

enum SlotCommand : uint8_t {
    kSlotCapacity = 1,
    kSlotSize = 2,
    kSlotOpenRead = 3,
    kSlotOpenWrite = 4,
    kSlotRead = 6,
    kSlotWrite = 7,
    kSlotClose = 8,
};
constexpr uint8_t kSlotError = 0x80;
constexpr uint8_t kNoHandle = 255;
constexpr size_t kSlotChunk = 25;
constexpr uint32_t kOpenTimeoutMs = 3000;

// What a reply must match: the sub-command, and the store and slot (1-4) or the handle.
struct SlotRequest {
    uint8_t command;
    uint8_t store;
    uint8_t slot;
    uint8_t handle;
};

uint8_t sSlotFilter(const qPacket* packet, void* reference)
{
    auto* r = static_cast<const SlotRequest*>(reference);
    const uint8_t* data = packet->data;
    if (packet->length < 4 || data[0] != cmdSLOT || (data[1] & ~kSlotError) != r->command)
        return 0;
    if (r->command <= kSlotOpenWrite)
        return data[2] == r->store && data[3] == r->slot;
    return data[2] == r->handle;
}

bool sIsError(const qPacket* reply) { return reply->data[1] & kSlotError; }

// Sends `data` to `module` and awaits the reply matching `request`; null on time-out.
// `*sent` receives the engine's result of the send.
qPacketPtr sExchange(Link::impl& d, uint8_t module, const uint8_t* data, uint8_t length,
                     SlotRequest request, uint32_t timeoutMs, qErr* sent)
{
    *sent = d.put(module, length, data);
    if (*sent != qErrNone)
        return nullptr;
    return qPacketPtr(qLink_AwaitFirst(d.linkId, sSlotFilter, &request, timeoutMs));
}

uint8_t sOpenSlot(Link::impl& d, uint8_t module, uint8_t store, uint8_t slot, uint8_t mode)
{
    const uint8_t data[] = {cmdSLOT, mode, store, slot};
    qErr sent;
    qPacketPtr reply =
        sExchange(d, module, data, sizeof data, {mode, store, slot, 0}, kOpenTimeoutMs, &sent);
    if (!reply || sIsError(reply.get()) || reply->length < 5)
        return kNoHandle;
    return reply->data[4];
}

qErr sCloseSlot(Link::impl& d, uint8_t module, uint8_t handle)
{
    const uint8_t data[] = {cmdSLOT, kSlotClose, handle};
    qErr sent;
    qPacketPtr reply =
        sExchange(d, module, data, sizeof data, {kSlotClose, 0, 0, handle}, kReplyTimeoutMs, &sent);
    if (!reply)
        return sent; // a close without reply counts as done
    if (reply->length != 4)
        return qErrIO;
    return sIsError(reply.get()) ? qErr(reply->data[3]) : qErrNone;
}

qErr sSlotQuery(Link::impl& d, uint8_t module, uint8_t command, uint8_t store, uint8_t slot,
                size_t* value)
{
    if (!d.connected())
        return qErrConnection;
    if (!value)
        return qErrParam;
    const uint8_t data[] = {cmdSLOT, command, store, slot};
    qErr sent;
    qPacketPtr reply =
        sExchange(d, module, data, sizeof data, {command, store, slot, 0}, kReplyTimeoutMs, &sent);
    if (!reply)
        return sent != qErrNone ? sent : qErrTimeout;
    if (sIsError(reply.get()))
        return reply->length > 4 ? qErr(reply->data[4]) : qErrPacket;
    if (reply->length != 6)
        return qErrUnknown;
    *value = size_t(reply->data[4] << 8 | reply->data[5]);
    return qErrNone;
}

qErr sWriteChunks(Link::impl& d, uint8_t module, uint8_t handle, const uint8_t* bytes,
                  size_t length)
{
    for (size_t done = 0; done < length;) {
        size_t chunk = std::min(kSlotChunk, length - done);
        uint8_t data[3 + kSlotChunk] = {cmdSLOT, kSlotWrite, handle};
        memcpy(data + 3, bytes + done, chunk);
        uint8_t checksum = 0;
        for (size_t i = 0; i < chunk; ++i)
            checksum = uint8_t(checksum + bytes[done + i]);
        qErr sent;
        qPacketPtr reply = sExchange(d, module, data, uint8_t(3 + chunk),
                                     {kSlotWrite, 0, 0, handle}, kReplyTimeoutMs, &sent);
        if (!reply)
            return sent != qErrNone ? sent : qErrTimeout;
        // Acknowledgements of another length carry no checksum and pass unchecked.
        if (reply->length == 4) {
            if (sIsError(reply.get()))
                return qErr(reply->data[3]);
            if (reply->data[3] != checksum)
                return qErrIO;
        }
        done += chunk;
    }
    return qErrNone;
}

qErr sReadChunks(Link::impl& d, uint8_t module, uint8_t handle, uint8_t* buffer, size_t toRead)
{
    const uint8_t data[] = {cmdSLOT, kSlotRead, handle};
    for (size_t done = 0; done < toRead;) {
        qErr sent;
        qPacketPtr reply = sExchange(d, module, data, sizeof data, {kSlotRead, 0, 0, handle},
                                     kReplyTimeoutMs, &sent);
        if (!reply)
            return sent != qErrNone ? sent : qErrTimeout;
        if (sIsError(reply.get()))
            return qErr(reply->data[3]);
        // The filter takes only replies with data after the handle, so each adds a byte.
        size_t got = std::min<size_t>(reply->length - 3, toRead - done);
        memcpy(buffer + done, reply->data + 3, got);
        done += got;
    }
    return qErrNone;
}

} // namespace

qErr Link::storeSlotCapacity(uint8_t module, uint8_t store, uint8_t slot, size_t* capacity)
{
    return sSlotQuery(*d, module, kSlotCapacity, store, slot, capacity);
}

qErr Link::storeSlotSize(uint8_t module, uint8_t store, uint8_t slot, size_t* size)
{
    return sSlotQuery(*d, module, kSlotSize, store, slot, size);
}

qErr Link::loadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, const uint8_t* data,
                         size_t length)
{
    if (!d->connected())
        return qErrConnection;
    if (!data && length)
        return qErrParam;
    uint8_t handle = sOpenSlot(*d, module, store, slot, kSlotOpenWrite);
    if (handle == kNoHandle)
        return qErrMedia;
    qErr result = sWriteChunks(*d, module, handle, data, length);
    qErr closed = sCloseSlot(*d, module, handle);
    return result != qErrNone ? result : closed;
}

qErr Link::unloadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, uint8_t* buffer,
                           size_t capacity, size_t* count)
{
    if (!d->connected())
        return qErrConnection;
    if (!count || (!buffer && capacity))
        return qErrParam;
    size_t size = 0;
    qErr result = storeSlotSize(module, store, slot, &size);
    if (result != qErrNone)
        return result;
    uint8_t handle = sOpenSlot(*d, module, store, slot, kSlotOpenRead);
    if (handle == kNoHandle)
        return qErrMedia;
    size_t toRead = std::min(capacity, size);
    result = sReadChunks(*d, module, handle, buffer, toRead);
    qErr closed = sCloseSlot(*d, module, handle);
    if (result != qErrNone)
        return result;
    if (closed != qErrNone)
        return closed;
    *count = toRead;
    return capacity < size ? qErrOverrun : qErrNone;
}

} // namespace Quorvel::Cindervex
