#pragma once
// The behaviour every stream kind owes the link engine, as one parameterized suite. A test
// file includes this header once, defines a StreamPeer for its kind and instantiates:
//
//   INSTANTIATE_TEST_SUITE_P(Usb, StreamConformanceTest,
//                            ::testing::Values(StreamKind{"Usb", [] { return makeUsbPeer(); }}),
//                            [](const auto& i) { return i.param.name; });
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "Cindervex2/common/qStream.h"

// The far side of a stream under test.
class StreamPeer {
public:
    virtual ~StreamPeer() = default;
    /* Opens a stream whose get will deliver `input` (sent now or arranged beforehand). */
    virtual qErr openReader(const std::string& input, qStream** stream) = 0;
    /* Opens a stream whose writes reach this peer. */
    virtual qErr openWriter(qStream** stream) = 0;
    /* Makes everything written so far visible to the peer (a file stream is destroyed). */
    virtual void finishWriting(qStream** stream) { (void)stream; }
    /* What the peer received, waiting up to timeoutMs for `count` bytes. */
    virtual std::string received(size_t count, int timeoutMs) = 0;
    /* True when get answers qErrEOF after the input (files); false for live streams that
     * answer qErrNotReady and can be waited on. */
    virtual bool inputEnds() const = 0;
};

struct StreamKind {
    std::string name;
    std::function<std::unique_ptr<StreamPeer>()> make;
};

class StreamConformanceTest : public ::testing::TestWithParam<StreamKind> {
protected:
    void SetUp() override { peer = GetParam().make(); }
    void TearDown() override {
        if (stream) qStream_Destroy(&stream);
    }

    // Reads `count` bytes in reads of `chunk` bytes, waiting whenever the source is slow.
    std::string readAll(size_t count, uint32_t chunk, int timeoutMs) {
        std::string got;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            uint8_t buffer[64];
            uint32_t want = static_cast<uint32_t>(std::min<size_t>(chunk, count - got.size()));
            qErr result = qStream_Read(stream, buffer, want);
            if (result == qErrNone) {
                got.append(reinterpret_cast<char*>(buffer), want);
            } else if (result == qErrNotReady) {
                qStream_WaitReadable(stream, 100);
            } else {
                ADD_FAILURE() << "read failed with " << result;
                break;
            }
        }
        return got;
    }

    std::unique_ptr<StreamPeer> peer;
    qStream* stream = nullptr;
};

inline std::string sEveryByteValue(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; i++) bytes[i] = static_cast<char>((i * 7) & 0xFF);
    return bytes;
}

TEST_P(StreamConformanceTest, ReadsThePeersBytesInOrder) {
    std::string input = sEveryByteValue(300);
    ASSERT_EQ(peer->openReader(input, &stream), qErrNone);
    EXPECT_EQ(readAll(input.size(), 7, 5000), input);
}

TEST_P(StreamConformanceTest, ReadsRecords) {
    ASSERT_EQ(peer->openReader(std::string("one\ntwo\n", 8), &stream), qErrNone);
    char text[16];
    for (const char* want : {"one", "two"}) {
        qErr result = qErrNotReady;
        for (int i = 0; i < 50 && result == qErrNotReady; i++) {
            result = qStream_ReadCStringRecord(stream, text, sizeof text, "\n");
            if (result == qErrNotReady) qStream_WaitReadable(stream, 100);
        }
        ASSERT_EQ(result, qErrNone);
        EXPECT_STREQ(text, want);
    }
}

TEST_P(StreamConformanceTest, WritesReachThePeerInOrder) {
    ASSERT_EQ(peer->openWriter(&stream), qErrNone);
    std::string block = sEveryByteValue(1000);
    ASSERT_EQ(qStream_Write(stream, reinterpret_cast<const uint8_t*>(block.data()), 1000), qErrNone);
    const uint8_t last = 0xA5;
    ASSERT_EQ(qStream_Write(stream, &last, 1), qErrNone);
    peer->finishWriting(&stream);
    EXPECT_EQ(peer->received(1001, 5000), block + "\xA5");
}

TEST_P(StreamConformanceTest, AnIdleStreamIsWaitedOnNotPolled) {
    ASSERT_EQ(peer->openReader("", &stream), qErrNone);
    uint8_t byte;
    if (peer->inputEnds()) {
        EXPECT_EQ(qStream_Read(stream, &byte, 1), qErrEOF);
        return;
    }
    rusage before, after;
    getrusage(RUSAGE_THREAD, &before);
    auto start = std::chrono::steady_clock::now();
    // What the link reader does while nothing arrives.
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400)) {
        ASSERT_EQ(qStream_Read(stream, &byte, 1), qErrNotReady);
        qErr waited = qStream_WaitReadable(stream, 100);
        ASSERT_TRUE(waited == qErrTimeout || waited == qErrNone) << waited;
    }
    getrusage(RUSAGE_THREAD, &after);
    auto cpuUs = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec + r.ru_stime.tv_usec;
    };
    EXPECT_LT(cpuUs(after) - cpuUs(before), 40000L) << "CPU time spent idling 400 ms";
}
