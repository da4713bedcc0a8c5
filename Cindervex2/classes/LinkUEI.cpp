// Link: UEI requests and replies, raw packets and the module-address query.

#include <cstring>

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qLink.h"
#include "Cindervex2/common/qUEI.h"
#include "Cindervex2/platform/qPlatform.h"

namespace Quorvel::Cindervex {

namespace {

constexpr uint32_t kLargeArrayTimeoutMs = 4000;
constexpr size_t kLargeArray = 1000;
constexpr uint8_t kMaxRawLength = qPACKET_MAX_DATA - 1;
// The outbound FIFO empties itself when it overflows; a long byte array is queued far faster
// than the writer sends it, so the sender waits while the FIFO is this long.
constexpr size_t kOutboundHighWater = 500;
constexpr uint64_t kOutboundWaitLimitMs = 10000;
constexpr uint32_t kOutboundPollMs = 2;

bool sValidModule(uint8_t module) { return module != 0 && (module & 1) == 0; }

qErr sCheck(const Link::impl& d, uint8_t module)
{
    if (!d.connected())
        return qErrConnection;
    return sValidModule(module) ? qErrNone : qErrPacket;
}

size_t sOutboundLength(uint32_t id)
{
    size_t count = 0;
    qLink_GetOutboundCount(id, &count);
    return count;
}

// Waits until the engine's outbound FIFO is below the high-water mark.
qErr sAwaitOutboundRoom(const Link::impl& d)
{
    uint64_t deadline = qTime_GetMonotonicMS() + kOutboundWaitLimitMs;
    while (sOutboundLength(d.linkId) > kOutboundHighWater) {
        if (!d.connected())
            return qErrConnection;
        if (qTime_GetMonotonicMS() >= deadline)
            return qErrTimeout;
        qTime_MSSleep(kOutboundPollMs);
    }
    return qErrNone;
}

// Appends the value of `u` (not a byte array) most significant byte first.
uint8_t sAppendValue(const uei& u, uint8_t* out)
{
    switch (u.type) {
    case ueiTypeByte:
        out[0] = u.byteValue;
        return 1;
    case ueiTypeShort:
        qUEI_StoreShort(out, u.shortValue);
        return 2;
    case ueiTypeInt:
        qUEI_StoreInt(out, u.intValue);
        return 4;
    default:
        return 0;
    }
}

bool sKnownScalar(int32_t type)
{
    return type == ueiTypeVoid || type == ueiTypeByte || type == ueiTypeShort ||
           type == ueiTypeInt;
}

qErr sSendBytes(Link::impl& d, const uei& u)
{
    uint8_t data[qPACKET_MAX_DATA] = {u.command, u.option, u.specifier};
    size_t sent = 0;
    uint8_t sequence = 0;
    bool more;
    qErr result;
    do {
        size_t chunk = std::min<size_t>(u.bytes.length - sent, UEI_BYTES_CHUNK);
        more = sent + chunk < u.bytes.length;
        if (chunk)
            memcpy(data + UEI_BYTES_HEADER, u.bytes.data + sent, chunk);
        data[UEI_BYTES_HEADER + chunk] = uint8_t((more ? 0x80 : 0) | (sequence & 0x7F));
        result = sAwaitOutboundRoom(d);
        if (result == qErrNone)
            result = d.put(u.module, uint8_t(UEI_BYTES_HEADER + chunk + 1), data);
        ++sequence;
        sent += chunk;
    } while (more && result == qErrNone);
    return result;
}

uint8_t sMatchMagic(const qPacket* packet, void*) { return packet->length == 0; }

struct CommandMatch {
    const uint8_t* bytes;
    uint8_t count;
};

uint8_t sCommandFilter(const qPacket* packet, void* reference)
{
    auto* match = static_cast<const CommandMatch*>(reference);
    return packet->length >= match->count && memcmp(packet->data, match->bytes, match->count) == 0;
}

} // namespace

bool uei_IsReplyTo(const qPacket* packet, const uei& u)
{
    return packet->address == u.module && packet->length > 2 && packet->data[0] == u.command &&
           packet->data[1] == u.option && (packet->data[2] & UEI_INDEX_MASK) == u.specifier;
}

bool uei_TakeErrorReply(const qPacket* packet, uei& u)
{
    if (!(packet->data[2] & UEI_SPEC_ERROR))
        return false;
    u.specifier = packet->data[2];
    u.byteValue = packet->length > 3 ? packet->data[3] : uint8_t(qErrPacket);
    return true;
}

uint8_t Link::sUEIFilter(const qPacket* packet, void* reference)
{
    auto* u = static_cast<uei*>(reference);
    if (!uei_IsReplyTo(packet, *u))
        return 0;
    if (uei_TakeErrorReply(packet, *u))
        return 1;
    const uint8_t* data = packet->data;
    switch (packet->length) {
    case 3:
        u->type = ueiTypeVoid;
        break;
    case 4:
        u->type = ueiTypeByte;
        u->byteValue = data[3];
        break;
    case 5:
        u->type = ueiTypeShort;
        u->shortValue = qUEI_RetrieveShort(data + 3);
        break;
    case 7:
        u->type = ueiTypeInt;
        u->intValue = qUEI_RetrieveInt(data + 3);
        break;
    default:
        break; // accepted without a value
    }
    return 1;
}

qErr Link::sendUEI(uei u)
{
    qErr check = sCheck(*d, u.module);
    if (check != qErrNone)
        return check;
    if (u.type == ueiTypeBytes)
        return (u.bytes.data || u.bytes.length == 0) ? sSendBytes(*d, u) : qErrParam;
    if (!sKnownScalar(u.type))
        return qErrParam;
    uint8_t data[8] = {u.command, u.option, u.specifier};
    uint8_t length = uint8_t(3 + sAppendValue(u, data + 3));
    return d->put(u.module, length, data);
}

qErr Link::sendUEI(uei u, uint8_t subindex)
{
    qErr check = sCheck(*d, u.module);
    if (check != qErrNone)
        return check;
    if (!sKnownScalar(u.type))
        return qErrParam;
    uint8_t data[8] = {u.command, u.option, u.specifier, subindex};
    uint8_t length = uint8_t(4 + sAppendValue(u, data + 4));
    return d->put(u.module, length, data);
}

qErr Link::receiveUEI(uint8_t module, uint8_t command, uint8_t option, uint8_t specifier, uei* u)
{
    return receiveUEI(module, command, option, specifier, u, sUEIFilter);
}

qErr Link::receiveUEI(uint8_t module, uint8_t, uint8_t, uint8_t, uei* u, qPacketFilter filter)
{
    qErr check = sCheck(*d, module);
    if (check != qErrNone)
        return check;
    if (!u || !filter)
        return qErrParam;
    uint32_t timeout = (u->type == ueiTypeBytes && u->bytes.length > kLargeArray)
                           ? kLargeArrayTimeoutMs
                           : kReplyTimeoutMs;
    qPacketPtr reply(qLink_AwaitFirst(d->linkId, filter, u, timeout));
    return reply ? qErrNone : qErrTimeout;
}

qErr Link::dropMatchingUEIPackets(uint8_t module, uint8_t command, uint8_t option,
                                  uint8_t specifier)
{
    qErr check = sCheck(*d, module);
    if (check != qErrNone)
        return check;
    uei u{};
    u.module = module;
    u.command = command;
    u.option = option;
    u.specifier = specifier;
    qLink_DrainPackets(d->linkId, sUEIFilter, &u);
    return qErrNone;
}

qErr Link::sendPacket(uint8_t module, uint8_t command, uint8_t length, const uint8_t* data)
{
    if (!d->connected())
        return qErrConnection;
    if (length > kMaxRawLength || (length && !data))
        return qErrParam;
    if (!sValidModule(module))
        return qErrPacket;
    uint8_t bytes[qPACKET_MAX_DATA] = {command};
    if (length)
        memcpy(bytes + 1, data, length);
    d->put(module, uint8_t(length + 1), bytes);
    return qErrNone;
}

qErr Link::receivePacket(uint8_t module, const uint8_t* match, uint8_t* length, uint8_t* data)
{
    qErr check = sCheck(*d, module);
    if (check != qErrNone)
        return check;
    if (!match || !length || !data || *length > qPACKET_MAX_DATA)
        return qErrParam;
    CommandMatch filter{match, *length};
    qPacketPtr reply(qLink_AwaitFirst(d->linkId, sCommandFilter, &filter, kReplyTimeoutMs));
    if (!reply)
        return qErrTimeout;
    *length = reply->length;
    memcpy(data, reply->data, reply->length);
    return qErrNone;
}

qErr Link::getModuleAddress(uint8_t* address)
{
    if (!address)
        return qErrParam;
    *address = 0;
    if (!d->connected())
        return qErrNotReady;
    d->put(ADDRESS_QUERY_MAGIC, 0, nullptr);
    qPacketPtr reply(qLink_AwaitFirst(d->linkId, sMatchMagic, nullptr, kReplyTimeoutMs));
    if (!reply)
        return qErrNotReady;
    *address = reply->address;
    return qErrNone;
}

} // namespace Quorvel::Cindervex
