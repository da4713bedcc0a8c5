#pragma once
// Inside the stream only: the ring of bytes given back to a stream's reader. It is made on
// first use with 512 bytes and grows by 512 (keeping the byte order) when it would become
// full, so it holds 511 bytes before its first growth.
#include <cstddef>
#include <cstdint>

#include "Cindervex2/common/qErr.h"

class qPushbackRing {
public:
    qPushbackRing() = default;
    ~qPushbackRing();
    qPushbackRing(const qPushbackRing&) = delete;
    qPushbackRing& operator=(const qPushbackRing&) = delete;

    uint32_t count() const { return count_; }
    size_t capacity() const { return capacity_; }
    /* Adds `byte` behind the bytes held. qErrMemory: no room (the byte is lost). */
    qErr pushBack(uint8_t byte);
    /* Puts `n` bytes, in their order, before the bytes held. qErrMemory: no room (the bytes
     * that did not fit are lost). */
    qErr pushFront(const uint8_t* bytes, size_t n);
    /* Takes the first byte; false when empty. */
    bool popFront(uint8_t* byte);

private:
    qErr makeRoom();

    uint8_t* buffer_ = nullptr;
    uint32_t count_ = 0;
    size_t capacity_ = 0;
    size_t head_ = 0;
    size_t tail_ = 0;
};
