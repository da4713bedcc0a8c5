// Link: factory data, read and written in chunks and finished by an end message carrying the
// byte count.

#include <cstring>

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qCommands.h"
#include "Cindervex2/common/qLink.h"

namespace Quorvel::Cindervex {

namespace {

constexpr uint8_t kKindMask = 0x0F;
constexpr uint8_t kWrite = 0x10;
constexpr uint8_t kEnd = 0x20;
constexpr uint8_t kFirst = 0x40;
constexpr uint8_t kError = 0x80;
constexpr size_t COMMAND_OVERHEAD = 2; // command and kind byte of every factory packet
constexpr size_t kChunk = qPACKET_MAX_DATA - COMMAND_OVERHEAD;

// Replies carry the request's kind (the end message is answered under kind 0).
uint8_t sFactoryFilter(const qPacket* packet, void* reference)
{
    uint8_t requestKind = *static_cast<const uint8_t*>(reference) & kKindMask;
    return packet->length > 1 && packet->data[0] == cmdFACTORY &&
           (packet->data[1] & ~kError) == requestKind;
}

qPacketPtr sExchange(Link::impl& d, uint8_t module, const uint8_t* data, uint8_t length,
                     qErr* sent)
{
    *sent = d.put(module, length, data);
    if (*sent != qErrNone)
        return nullptr;
    uint8_t kindByte = data[1];
    return qPacketPtr(qLink_AwaitFirst(d.linkId, sFactoryFilter, &kindByte, kReplyTimeoutMs));
}

qErr sErrorCode(const qPacket* reply)
{
    return reply->length > 2 ? qErr(reply->data[2]) : qErrPacket;
}

qErr sSendEnd(Link::impl& d, uint8_t module, size_t total)
{
    const uint8_t data[] = {cmdFACTORY, kEnd, uint8_t(total >> 8), uint8_t(total)};
    qErr sent;
    qPacketPtr reply = sExchange(d, module, data, sizeof data, &sent);
    if (!reply)
        return sent != qErrNone ? sent : qErrTimeout;
    return (reply->data[1] & kError) ? sErrorCode(reply.get()) : qErrNone;
}

} // namespace

qErr Link::getFactoryData(uint8_t module, uint8_t kind, uint8_t* buffer, size_t capacity,
                          size_t* count)
{
    if (!d->connected())
        return qErrConnection;
    if (!buffer || !count || kind > kKindMask)
        return qErrParam;
    size_t received = 0;
    bool more = true;
    for (bool first = true; more; first = false) {
        const uint8_t data[] = {cmdFACTORY, uint8_t(kind | (first ? kFirst : 0))};
        qErr sent;
        qPacketPtr reply = sExchange(*d, module, data, sizeof data, &sent);
        if (!reply)
            return sent != qErrNone ? sent : qErrTimeout;
        size_t payload = reply->length - COMMAND_OVERHEAD;
        if (received + payload >= capacity)
            return qErrOverrun; // an exact fit is refused too
        if (reply->data[1] & kError)
            return sErrorCode(reply.get());
        memcpy(buffer + received, reply->data + COMMAND_OVERHEAD, payload);
        received += payload;
        more = reply->length == qPACKET_MAX_DATA;
    }
    qErr result = sSendEnd(*d, module, received);
    if (result == qErrNone)
        *count = received;
    return result;
}

qErr Link::setFactoryData(uint8_t module, uint8_t kind, const uint8_t* data, size_t length)
{
    if (!d->connected())
        return qErrConnection;
    if ((!data && length) || kind > kKindMask || length > UINT16_MAX)
        return qErrParam;
    for (size_t sent = 0; sent < length;) {
        size_t chunk = std::min(kChunk, length - sent);
        uint8_t bytes[qPACKET_MAX_DATA] = {cmdFACTORY,
                                           uint8_t(kind | kWrite | (sent == 0 ? kFirst : 0))};
        memcpy(bytes + COMMAND_OVERHEAD, data + sent, chunk);
        qErr put;
        qPacketPtr reply = sExchange(*d, module, bytes, uint8_t(COMMAND_OVERHEAD + chunk), &put);
        if (!reply)
            return put != qErrNone ? put : qErrTimeout;
        if (reply->length != COMMAND_OVERHEAD)
            return qErrSize; // also for an error reply: its length is 3
        sent += chunk;
    }
    return sSendEnd(*d, module, length);
}

} // namespace Quorvel::Cindervex
