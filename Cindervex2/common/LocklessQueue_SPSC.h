#pragma once
// Single-producer single-consumer ring without locks: exactly one thread pushes and exactly
// one thread pops. `head` is the slot written last and `tail` the slot read last, so one slot
// always stays empty and the ring holds at most capacity - 1 elements.

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

template <typename T>
class LocklessQueue_SPSC {
public:
    /* A ring of `capacity` slots (2 to 65535). */
    explicit LocklessQueue_SPSC(uint16_t capacity)
        : slots_(std::make_unique<T[]>(capacity)), capacity_(capacity)
    {
    }
    LocklessQueue_SPSC(const LocklessQueue_SPSC&) = delete;
    LocklessQueue_SPSC& operator=(const LocklessQueue_SPSC&) = delete;

    /* Producer only. Moves `item` into the ring; false (item untouched) when the ring is full. */
    bool push(T& item)
    {
        uint16_t head = head_.load(std::memory_order_relaxed);
        uint16_t next = sNext(head);
        if (next == tail_.load(std::memory_order_acquire))
            return false;
        slots_[next] = std::move(item);
        head_.store(next, std::memory_order_release); // publishes the slot to the consumer
        return true;
    }

    /* Consumer only. Moves the oldest element into `out`; false when the ring is empty. */
    bool pop(T& out)
    {
        uint16_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire))
            return false;
        uint16_t next = sNext(tail);
        out = std::move(slots_[next]);
        tail_.store(next, std::memory_order_release); // hands the slot back to the producer
        return true;
    }

    /* Consumer only: true when nothing waits to be popped. */
    bool empty() const
    {
        return tail_.load(std::memory_order_relaxed) == head_.load(std::memory_order_acquire);
    }

    /* Number of slots; capacity() - 1 elements fit. */
    uint16_t capacity() const { return capacity_; }

private:
    uint16_t sNext(uint16_t i) const { return uint16_t(i + 1 == capacity_ ? 0 : i + 1); }

    std::unique_ptr<T[]> slots_;
    const uint16_t capacity_;
    std::atomic<uint16_t> head_{0};
    std::atomic<uint16_t> tail_{0};
};
