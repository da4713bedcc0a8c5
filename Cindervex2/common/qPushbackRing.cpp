#include "Cindervex2/common/qPushbackRing.h"

#include <cstdlib>

static constexpr size_t kStep = 512;

qPushbackRing::~qPushbackRing() { free(buffer_); }

// Grows when one free slot is left, copying the bytes in ring order to the start.
qErr qPushbackRing::makeRoom() {
    if (buffer_ && count_ + 1u < capacity_) return qErrNone;
    size_t grown = capacity_ + kStep;
    uint8_t* bigger = static_cast<uint8_t*>(malloc(grown));
    if (!bigger) return qErrMemory;
    for (size_t i = 0; i < count_; i++) bigger[i] = buffer_[(head_ + i) % capacity_];
    free(buffer_);
    buffer_ = bigger;
    capacity_ = grown;
    head_ = 0;
    tail_ = count_;
    return qErrNone;
}

qErr qPushbackRing::pushBack(uint8_t byte) {
    qErr room = makeRoom();
    if (room != qErrNone) return room;
    buffer_[tail_] = byte;
    tail_ = (tail_ + 1) % capacity_;
    count_++;
    return qErrNone;
}

qErr qPushbackRing::pushFront(const uint8_t* bytes, size_t n) {
    for (size_t i = n; i-- > 0;) {
        qErr room = makeRoom();
        if (room != qErrNone) return room;
        head_ = (head_ + capacity_ - 1) % capacity_;
        buffer_[head_] = bytes[i];
        count_++;
    }
    return qErrNone;
}

bool qPushbackRing::popFront(uint8_t* byte) {
    if (count_ == 0) return false;
    *byte = buffer_[head_];
    head_ = (head_ + 1) % capacity_;
    count_--;
    return true;
}
