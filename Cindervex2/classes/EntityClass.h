#pragma once
// EntityClass: one entity (entity class, index) of a module, with the generic get, set and
// call operations on its UEIs. Gets are answered from the link's stream cache first. The
// accessor does not own its module; without init (or without a link) every operation that
// talks to the module gives qErrResource.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Cindervex2/classes/Link.h"

namespace Quorvel::Cindervex {

class Module;

class EntityClass {
public:
    EntityClass();
    virtual ~EntityClass();
    EntityClass(const EntityClass&) = delete;
    EntityClass& operator=(const EntityClass&) = delete;

    /* Binds the accessor to (module, entityClass, index). */
    void init(Module* module, uint8_t entityClass, uint8_t index);
    /* The entity index given to init. */
    uint8_t getIndex() const;

    /* Get: u->type (and u->byteValue, the subindex, for the subindex form: type byte) set by
     * the caller. A cached stream value answers first (qErrNone fresh, qErrStreamStale read
     * before). Else the request and its reply (1000 ms); an error reply gives its code. */
    qErr getUEI(uint8_t option, uei* u);
    /* Set or call with the kind and value in u; an error reply gives its code. */
    qErr setUEI(uint8_t option, uei* u);
    /* Set in subindex form. */
    qErr setUEI(uint8_t option, uint8_t subindex, uei* u);
    /* Call (a set without value) and typed sets, plain or in subindex form. */
    qErr callUEI(uint8_t option);
    qErr setUEI8(uint8_t option, uint8_t value);
    qErr setUEI16(uint8_t option, uint16_t value);
    qErr setUEI32(uint8_t option, uint32_t value);
    qErr setUEI8(uint8_t option, uint8_t subindex, uint8_t value);
    qErr setUEI16(uint8_t option, uint8_t subindex, uint16_t value);
    qErr setUEI32(uint8_t option, uint8_t subindex, uint32_t value);
    /* Set with a byte array (24 bytes per packet). */
    qErr setUEIBytes(uint8_t option, const uint8_t* data, size_t length);
    /* Typed gets; the value is copied for qErrNone and qErrStreamStale. qErrParam: null out. */
    qErr getUEI8(uint8_t option, uint8_t* out);
    qErr getUEI16(uint8_t option, uint16_t* out);
    qErr getUEI32(uint8_t option, uint32_t* out);
    qErr getUEI8(uint8_t option, uint8_t subindex, uint8_t* out);
    qErr getUEI16(uint8_t option, uint8_t subindex, uint16_t* out);
    qErr getUEI32(uint8_t option, uint8_t subindex, uint32_t* out);
    /* Get of a byte array into buffer; *count = bytes received. qErrMemory: the reply is
     * larger than capacity (what fitted stays, *count says how much). qErrParam: null
     * buffer or count, capacity 0. qErrPacket: a reply packet too short for a trailer. */
    qErr getUEIBytes(uint8_t option, uint8_t* buffer, size_t capacity, size_t* count);
    /* Converts *count from bytes to units. qErrMemory: not a multiple. qErrParam: null or 0. */
    static qErr getUEIBytesCheck(size_t* count, size_t unit);
    /* qUEI_getBytesSequence and qUEI_getBytesContinue. */
    static uint8_t getUEIBytesSequence(const qPacket* packet);
    static uint8_t getUEIBytesContinue(const qPacket* packet);
    /* Receive filter of byte arrays (reference: the uei being received). */
    static uint8_t sUEIBytesFilter(const qPacket* packet, void* reference);

    /* Raw packets to and from this accessor's module (Link::sendPacket, receivePacket). */
    qErr sendPacket(uint8_t command, uint8_t length, const uint8_t* data);
    qErr receivePacket(const uint8_t* match, uint8_t* length, uint8_t* data);
    /* Waits 1000 ms for an unsolicited int reply of this entity with the bare option. */
    qErr awaitUEI32Val(uint8_t option, uint32_t* value, uint32_t unused);
    /* Drops queued replies of this entity's option. */
    qErr drainUEI(uint8_t option);
    /* Streams of every option of this entity on or off. */
    qErr setStreamEnabled(bool enable);
    /* A callback for the streamed values of one option. */
    qErr registerOptionCallback(uint8_t option, bool enable, StreamCallback callback, void* ref);
    /* Cached stream values of this entity. */
    qErr getStreamStatus(Link::StreamStatusEntry* entries, size_t capacity, size_t* count);

private:
    /* Set in plain (subindex null) or subindex form. */
    qErr _set(uint8_t option, uei* u, const uint8_t* subindex);

    struct impl;
    std::unique_ptr<impl> d;
};

} // namespace Quorvel::Cindervex
