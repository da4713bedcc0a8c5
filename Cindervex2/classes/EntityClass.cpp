#include "Cindervex2/classes/EntityClass.h"

#include <cstring>

#include "Cindervex2/classes/Module.h"
#include "Cindervex2/common/qUEI.h"

namespace Quorvel::Cindervex {

struct EntityClass::impl {
    EntityClass* entity;
    Module* module = nullptr;
    uint8_t entityClass = 0;
    uint8_t index = 0;

    Link* link() const { return module ? module->getLink() : nullptr; }
    uint8_t address() const { return module->getModuleAddress(); }
};

namespace {

qErr sReplyCode(const uei& u, qErr received)
{
    if (received == qErrNone && (u.specifier & UEI_SPEC_ERROR))
        return qErr(u.byteValue);
    return received;
}

bool sCopies(qErr result) { return result == qErrNone || result == qErrStreamStale; }

} // namespace

EntityClass::EntityClass() : d(std::make_unique<impl>()) { d->entity = this; }
EntityClass::~EntityClass() = default;

void EntityClass::init(Module* module, uint8_t entityClass, uint8_t index)
{
    d->module = module;
    d->entityClass = entityClass;
    d->index = index;
}

uint8_t EntityClass::getIndex() const { return d->index; }

qErr EntityClass::getUEI(uint8_t option, uei* u)
{
    Link* link = d->link();
    if (!link)
        return qErrResource;
    if (!u)
        return qErrParam;
    bool subindexForm = u->type == ueiTypeByte;
    uint8_t subindex = subindexForm ? u->byteValue : 0;
    uint32_t cached = 0;
    qErr result =
        link->getStreamValue(d->address(), d->entityClass, option, d->index, subindex, &cached);
    if (result != qErrNotFound) {
        u->intValue = cached;
        return result;
    }
    u->module = d->address();
    u->command = d->entityClass;
    u->option = uint8_t(option | UEI_OPTION_GET);
    u->specifier = uint8_t(d->index | UEI_SPEC_REQUEST);
    if (!subindexForm)
        u->type = ueiTypeVoid;
    result = link->sendUEI(*u);
    if (result != qErrNone)
        return result;
    u->option = option;
    u->specifier = d->index;
    u->intValue = 0; // a reply of another kind must not leave the request's bytes behind
    result = link->receiveUEI(u->module, u->command, u->option, u->specifier, u);
    return sReplyCode(*u, result);
}

qErr EntityClass::_set(uint8_t option, uei* u, const uint8_t* subindex)
{
    impl& e = *d;
    Link* link = e.link();
    if (!link)
        return qErrResource;
    if (!u)
        return qErrParam;
    u->module = e.address();
    u->command = e.entityClass;
    u->option = uint8_t(option | UEI_OPTION_SET);
    u->specifier = uint8_t(e.index | UEI_SPEC_REQUEST);
    qErr result = subindex ? link->sendUEI(*u, *subindex) : link->sendUEI(*u);
    if (result != qErrNone)
        return result;
    u->option = uint8_t(option | UEI_OPTION_GET | UEI_OPTION_SET);
    u->specifier = e.index;
    result = link->receiveUEI(u->module, u->command, u->option, u->specifier, u);
    return sReplyCode(*u, result);
}

qErr EntityClass::setUEI(uint8_t option, uei* u) { return _set(option, u, nullptr); }

qErr EntityClass::setUEI(uint8_t option, uint8_t subindex, uei* u)
{
    return _set(option, u, &subindex);
}

qErr EntityClass::callUEI(uint8_t option)
{
    uei u{};
    u.type = ueiTypeVoid;
    return setUEI(option, &u);
}

qErr EntityClass::setUEI8(uint8_t option, uint8_t value)
{
    uei u{};
    u.type = ueiTypeByte;
    u.byteValue = value;
    return setUEI(option, &u);
}

qErr EntityClass::setUEI16(uint8_t option, uint16_t value)
{
    uei u{};
    u.type = ueiTypeShort;
    u.shortValue = value;
    return setUEI(option, &u);
}

qErr EntityClass::setUEI32(uint8_t option, uint32_t value)
{
    uei u{};
    u.type = ueiTypeInt;
    u.intValue = value;
    return setUEI(option, &u);
}

qErr EntityClass::setUEI8(uint8_t option, uint8_t subindex, uint8_t value)
{
    uei u{};
    u.type = ueiTypeByte;
    u.byteValue = value;
    return setUEI(option, subindex, &u);
}

qErr EntityClass::setUEI16(uint8_t option, uint8_t subindex, uint16_t value)
{
    uei u{};
    u.type = ueiTypeShort;
    u.shortValue = value;
    return setUEI(option, subindex, &u);
}

qErr EntityClass::setUEI32(uint8_t option, uint8_t subindex, uint32_t value)
{
    uei u{};
    u.type = ueiTypeInt;
    u.intValue = value;
    return setUEI(option, subindex, &u);
}

qErr EntityClass::setUEIBytes(uint8_t option, const uint8_t* data, size_t length)
{
    if (!data && length)
        return qErrParam;
    uei u{};
    u.type = ueiTypeBytes;
    u.bytes.data = const_cast<uint8_t*>(data); // only read when sending
    u.bytes.length = length;
    return setUEI(option, &u);
}

// Typed gets: `subindex` null for the plain form.
template <typename T, typename Read>
static qErr sGet(EntityClass& entity, uint8_t option, const uint8_t* subindex, T* out, Read read)
{
    if (!out)
        return qErrParam;
    uei u{};
    u.type = subindex ? ueiTypeByte : ueiTypeVoid;
    if (subindex)
        u.byteValue = *subindex;
    qErr result = entity.getUEI(option, &u);
    if (sCopies(result))
        *out = read(u);
    return result;
}

qErr EntityClass::getUEI8(uint8_t option, uint8_t* out)
{
    return sGet(*this, option, nullptr, out, [](const uei& u) { return uint8_t(u.intValue); });
}

qErr EntityClass::getUEI16(uint8_t option, uint16_t* out)
{
    return sGet(*this, option, nullptr, out, [](const uei& u) { return uint16_t(u.intValue); });
}

qErr EntityClass::getUEI32(uint8_t option, uint32_t* out)
{
    return sGet(*this, option, nullptr, out, [](const uei& u) { return u.intValue; });
}

qErr EntityClass::getUEI8(uint8_t option, uint8_t subindex, uint8_t* out)
{
    return sGet(*this, option, &subindex, out, [](const uei& u) { return uint8_t(u.intValue); });
}

qErr EntityClass::getUEI16(uint8_t option, uint8_t subindex, uint16_t* out)
{
    return sGet(*this, option, &subindex, out, [](const uei& u) { return uint16_t(u.intValue); });
}

qErr EntityClass::getUEI32(uint8_t option, uint8_t subindex, uint32_t* out)
{
    return sGet(*this, option, &subindex, out, [](const uei& u) { return u.intValue; });
}

uint8_t EntityClass::sUEIBytesFilter(const qPacket* packet, void* reference)
{
    auto* u = static_cast<uei*>(reference);
    if (!uei_IsReplyTo(packet, *u))
        return 0;
    if (uei_TakeErrorReply(packet, *u)) {
        u->bytes.more = 0;
        return 1;
    }
    const uint8_t* data = packet->data;
    // Without a trailer byte there is no payload: taken as a malformed reply.
    if (packet->length < UEI_BYTES_HEADER + 1) {
        u->specifier |= UEI_SPEC_ERROR;
        u->byteValue = qErrPacket;
        return 1;
    }
    if (qUEI_getBytesSequence(packet) != u->bytes.sequence)
        return 0;
    size_t payload = packet->length - UEI_BYTES_HEADER - 1;
    if (u->bytes.length < *u->bytes.written + payload) {
        u->specifier |= UEI_SPEC_ERROR;
        u->byteValue = qErrMemory;
        return 1;
    }
    if (payload) {
        memcpy(u->bytes.data, data + UEI_BYTES_HEADER, payload);
        u->bytes.data += payload;
    }
    *u->bytes.written += payload;
    u->bytes.more = qUEI_getBytesContinue(packet);
    return 1;
}

qErr EntityClass::getUEIBytes(uint8_t option, uint8_t* buffer, size_t capacity, size_t* count)
{
    Link* link = d->link();
    if (!link)
        return qErrResource;
    if (!buffer || !count || capacity == 0)
        return qErrParam;
    *count = 0;
    uei u{};
    u.module = d->address();
    u.command = d->entityClass;
    u.option = uint8_t(option | UEI_OPTION_GET);
    u.specifier = uint8_t(d->index | UEI_SPEC_REQUEST);
    u.type = ueiTypeVoid;
    qErr result = link->sendUEI(u);
    if (result != qErrNone)
        return result;
    u.option = option;
    u.specifier = d->index;
    u.type = ueiTypeBytes;
    u.bytes = ueiBytes{buffer, 0, 0, capacity, count};
    for (;;) {
        result = link->receiveUEI(u.module, u.command, u.option, u.specifier, &u, sUEIBytesFilter);
        if (result != qErrNone)
            return result;
        if (u.specifier & UEI_SPEC_ERROR)
            return qErr(u.byteValue);
        if (!u.bytes.more)
            return qErrNone;
        u.bytes.sequence = uint8_t((u.bytes.sequence + 1) & 0x7F);
    }
}

qErr EntityClass::getUEIBytesCheck(size_t* count, size_t unit)
{
    if (!count || unit == 0)
        return qErrParam;
    if (*count % unit)
        return qErrMemory;
    *count /= unit;
    return qErrNone;
}

uint8_t EntityClass::getUEIBytesSequence(const qPacket* packet) { return qUEI_getBytesSequence(packet); }
uint8_t EntityClass::getUEIBytesContinue(const qPacket* packet) { return qUEI_getBytesContinue(packet); }

qErr EntityClass::sendPacket(uint8_t command, uint8_t length, const uint8_t* data)
{
    Link* link = d->link();
    return link ? link->sendPacket(d->address(), command, length, data) : qErrResource;
}

qErr EntityClass::receivePacket(const uint8_t* match, uint8_t* length, uint8_t* data)
{
    Link* link = d->link();
    return link ? link->receivePacket(d->address(), match, length, data) : qErrResource;
}

qErr EntityClass::awaitUEI32Val(uint8_t option, uint32_t* value, uint32_t)
{
    Link* link = d->link();
    if (!link)
        return qErrResource;
    if (!value)
        return qErrParam;
    uei u{};
    u.module = d->address();
    u.command = d->entityClass;
    u.option = option;
    u.specifier = d->index;
    u.type = ueiTypeInt;
    qErr result = sReplyCode(u, link->receiveUEI(u.module, u.command, u.option, u.specifier, &u));
    if (result == qErrNone)
        *value = u.intValue;
    return result;
}

qErr EntityClass::drainUEI(uint8_t option)
{
    Link* link = d->link();
    return link ? link->dropMatchingUEIPackets(d->address(), d->entityClass, option, d->index)
                : qErrResource;
}

qErr EntityClass::setStreamEnabled(bool enable)
{
    Link* link = d->link();
    return link ? link->enableStream(d->address(), d->entityClass, 255, d->index, enable)
                : qErrResource;
}

qErr EntityClass::registerOptionCallback(uint8_t option, bool enable, StreamCallback callback,
                                         void* ref)
{
    Link* link = d->link();
    return link ? link->registerStreamCallback(d->address(), d->entityClass, option, d->index,
                                               enable, std::move(callback), ref)
                : qErrResource;
}

qErr EntityClass::getStreamStatus(Link::StreamStatusEntry* entries, size_t capacity, size_t* count)
{
    Link* link = d->link();
    return link ? link->getStreamStatus(d->address(), d->entityClass, 255, d->index, 255, entries,
                                        capacity, count)
                : qErrResource;
}

} // namespace Quorvel::Cindervex
