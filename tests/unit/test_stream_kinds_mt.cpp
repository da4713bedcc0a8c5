#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "Cindervex2/common/qStream.h"
#include "support/LoopbackServer.h"
#include "support/PtyPair.h"
#include "support/SimProcess.h"
#include "support/StreamConformance.h"

namespace {

using Clock = std::chrono::steady_clock;

class FilePeer : public StreamPeer {
public:
    qErr openReader(const std::string& input, qStream** stream) override {
        std::ofstream(dir.file("in"), std::ios::binary) << input;
        return qStream_CreateFileInput(dir.file("in").c_str(), stream);
    }
    qErr openWriter(qStream** stream) override { return qStream_CreateFileOutput(dir.file("out").c_str(), stream); }
    void finishWriting(qStream** stream) override { qStream_Destroy(stream); }
    std::string received(size_t, int) override {
        std::ifstream in(dir.file("out"), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    bool inputEnds() const override { return true; }

private:
    TempDir dir;
};

class SocketPeer : public StreamPeer {
public:
    qErr openReader(const std::string& input, qStream** stream) override {
        qErr result = openWriter(stream);
        if (result == qErrNone && !input.empty()) server.send(input);
        return result;
    }
    qErr openWriter(qStream** stream) override {
        qErr result = qStream_CreateSocket(LoopbackServer::address(), server.port(), stream);
        if (result == qErrNone && !server.waitForConnections(1, 2000)) return qErrTimeout;
        return result;
    }
    std::string received(size_t count, int timeoutMs) override {
        server.waitForReceived(count, timeoutMs);
        return server.received();
    }
    bool inputEnds() const override { return false; }

private:
    LoopbackServer server;
};

class SerialPeer : public StreamPeer {
public:
    qErr openReader(const std::string& input, qStream** stream) override {
        qErr result = openWriter(stream);
        if (result == qErrNone && !input.empty()) pty.send(input);
        return result;
    }
    qErr openWriter(qStream** stream) override { return qStream_CreateSerial(pty.slavePath().c_str(), 6, 0, 0, 0, stream); }
    std::string received(size_t count, int timeoutMs) override { return pty.receive(count, timeoutMs); }
    bool inputEnds() const override { return false; }

private:
    PtyPair pty;
};

INSTANTIATE_TEST_SUITE_P(Kinds, StreamConformanceTest,
                         ::testing::Values(StreamKind{"File", [] { return std::make_unique<FilePeer>(); }},
                                           StreamKind{"Socket", [] { return std::make_unique<SocketPeer>(); }},
                                           StreamKind{"Serial", [] { return std::make_unique<SerialPeer>(); }}),
                         [](const auto& i) { return i.param.name; });

// ---------------------------------------------------------------- file streams

TEST(FileStreamTest, FailuresLeaveNoStream) {
    qStream* stream = reinterpret_cast<qStream*>(1);
    EXPECT_EQ(qStream_CreateFileInput("/nonexistent/file", &stream), qErrResource);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(qStream_CreateFileOutput("/nonexistent/dir/file", &stream), qErrResource);
    EXPECT_EQ(qStream_CreateFileInput(nullptr, &stream), qErrResource);
    EXPECT_EQ(qStream_CreateFileInput("/dev/null", nullptr), qErrResource);
}

// ---------------------------------------------------------------- socket streams

class SocketStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(server.port(), 0);
        ASSERT_EQ(qStream_CreateSocket(LoopbackServer::address(), server.port(), &stream), qErrNone);
        ASSERT_TRUE(server.waitForConnections(1, 2000));
    }
    void TearDown() override {
        if (stream) qStream_Destroy(&stream);
    }
    // Reads one byte the way the link reader does, for at most timeoutMs.
    qErr readByte(uint8_t* byte, int timeoutMs) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        qErr result;
        while ((result = qStream_Read(stream, byte, 1)) != qErrNone && Clock::now() < deadline) {
            if (result == qErrNotReady) {
                qStream_WaitReadable(stream, 50);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));  // as the link reader on errors
            }
        }
        return result;
    }
    bool write(const std::string& bytes) {
        return qStream_Write(stream, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size())) ==
               qErrNone;
    }
    LoopbackServer server;
    qStream* stream = nullptr;
};

TEST(SocketStreamCreateTest, RefusedConnectionLeavesNoStream) {
    uint16_t port;
    {
        LoopbackServer gone;
        port = gone.port();
    }
    qStream* stream = reinterpret_cast<qStream*>(1);
    EXPECT_EQ(qStream_CreateSocket(LoopbackServer::address(), port, &stream), qErrConnection);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(qStream_CreateSocket(LoopbackServer::address(), port, nullptr), qErrParam);
}

class SocketReaderReconnectTest : public SocketStreamTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SocketReaderReconnectTest, ReconnectsWhenThePeerClosesOrResets) {
    server.send("a");
    uint8_t byte = 0;
    ASSERT_EQ(readByte(&byte, 2000), qErrNone);
    EXPECT_EQ(byte, 'a');
    server.dropClient(GetParam());
    ASSERT_EQ(readByte(&byte, 300), qErrNotReady) << "a lost peer is no end of input";
    ASSERT_TRUE(server.waitForConnections(2, 2000)) << "the reader connected again";
    server.send("b");
    ASSERT_EQ(readByte(&byte, 2000), qErrNone);
    EXPECT_EQ(byte, 'b');
}

INSTANTIATE_TEST_SUITE_P(Close, SocketReaderReconnectTest, ::testing::Bool(),
                         [](const auto& i) { return i.param ? "Reset" : "Orderly"; });

TEST_F(SocketStreamTest, ComesBackWhenTheServerDoes) {
    server.stop();
    uint8_t byte;
    auto start = Clock::now();
    EXPECT_EQ(readByte(&byte, 500), qErrConnection);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
    EXPECT_EQ(qStream_Write(stream, reinterpret_cast<const uint8_t*>("xy"), 2), qErrConnection);
    ASSERT_TRUE(server.restart());
    ASSERT_TRUE(write("hello")) << "the writer reconnects";
    ASSERT_TRUE(server.waitForReceived(5, 2000));
    EXPECT_EQ(server.received(), "hello");
    server.send("c");
    ASSERT_EQ(readByte(&byte, 2000), qErrNone);
    EXPECT_EQ(byte, 'c');
}

TEST_F(SocketStreamTest, WriterReconnectsAfterAReset) {
    server.dropClient(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The first send may still be taken by the kernel; one of these meets the reset.
    ASSERT_TRUE(write("1"));
    ASSERT_TRUE(write("2"));
    ASSERT_TRUE(server.waitForConnections(2, 2000));
    ASSERT_TRUE(server.waitForReceived(1, 2000));
    EXPECT_EQ(server.received().back(), '2');
}

TEST_F(SocketStreamTest, WriteGivesUpWhenThePeerStopsReading) {
    server.setReading(false);
    std::string block(1 << 20, 'z');
    qErr result = qErrNone;
    for (int i = 0; i < 64 && result == qErrNone; i++) {
        auto start = Clock::now();
        result = qStream_Write(stream, reinterpret_cast<const uint8_t*>(block.data()), static_cast<uint32_t>(block.size()));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    }
    EXPECT_EQ(result, qErrTimeout);
}

TEST_F(SocketStreamTest, ReaderAndWriterBothReconnectSafely) {
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            uint8_t byte;
            if (qStream_Read(stream, &byte, 1) == qErrNotReady) qStream_WaitReadable(stream, 20);
        }
    });
    std::thread writer([&] {
        while (!done) {
            write("p");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    for (int i = 0; i < 5; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        server.dropClient(i % 2 == 1);
        server.send("x");
    }
    done = true;
    reader.join();
    writer.join();
    // Let the last drop take effect: bytes sent into a closing connection are lost anyway.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    size_t before = server.received().size();
    ASSERT_TRUE(write("END"));
    ASSERT_TRUE(server.waitForReceived(before + 3, 3000));
    EXPECT_EQ(server.received().substr(server.received().size() - 3), "END");
    EXPECT_GE(server.connections(), 3);
}

// A process started with standard input closed gets descriptor 0 for its first socket.
TEST(SocketStreamDescriptorTest, WorksOnDescriptorZero) {
    LoopbackServer server;
    int savedInput = dup(0);
    close(0);
    qStream* stream = nullptr;
    qErr created = qStream_CreateSocket(LoopbackServer::address(), server.port(), &stream);
    bool onZero = fcntl(0, F_GETFD) != -1;
    if (created == qErrNone && server.waitForConnections(1, 2000)) {
        server.send("z");
        uint8_t byte = 0;
        qErr result = qErrNotReady;
        for (int i = 0; i < 40 && (result = qStream_Read(stream, &byte, 1)) == qErrNotReady; i++)
            qStream_WaitReadable(stream, 50);
        EXPECT_EQ(result, qErrNone);
        EXPECT_EQ(byte, 'z');
        EXPECT_EQ(qStream_Write(stream, reinterpret_cast<const uint8_t*>("ok"), 2), qErrNone);
        EXPECT_TRUE(server.waitForReceived(2, 2000));
    }
    qStream_Destroy(&stream);
    dup2(savedInput, 0);
    close(savedInput);
    ASSERT_EQ(created, qErrNone);
    EXPECT_TRUE(onZero) << "the socket took descriptor 0";
}

// ---------------------------------------------------------------- serial streams

struct SerialRefusal {
    const char* name;
    int baud, dataBits, stopBits;
    bool existingPath;
    qErr want;
};

class SerialRefusalTest : public ::testing::TestWithParam<SerialRefusal> {};

TEST_P(SerialRefusalTest, LeavesNoStream) {
    const SerialRefusal& c = GetParam();
    PtyPair pty;
    TempDir dir;
    std::ofstream(dir.file("plain")) << "not a terminal";
    std::string path = c.existingPath ? pty.slavePath() : dir.file("missing");
    if (c.want == qErrIO) path = dir.file("plain");
    qStream* stream = reinterpret_cast<qStream*>(1);
    EXPECT_EQ(qStream_CreateSerial(path.c_str(), c.baud, 0, c.dataBits, c.stopBits, &stream), c.want);
    EXPECT_EQ(stream, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, SerialRefusalTest,
                         ::testing::Values(SerialRefusal{"StopBitsTwo", 6, 0, 2, true, qErrParam},
                                           SerialRefusal{"DataBitsTwo", 6, 2, 0, true, qErrParam},
                                           SerialRefusal{"BaudSelectorEight", 8, 0, 0, true, qErrParam},
                                           SerialRefusal{"MissingDevice", 6, 0, 0, false, qErrNotFound},
                                           SerialRefusal{"NotATerminal", 6, 0, 0, true, qErrIO}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(SerialStreamTest, AppliesRawSettingsAndRestoresThemAtClose) {
    PtyPair pty;
    int watcher = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(watcher, 0);
    termios original;
    ASSERT_EQ(tcgetattr(watcher, &original), 0);
    qStream* stream = nullptr;
    // A pty keeps speed and the input, output and local flags; it fixes the control flags.
    ASSERT_EQ(qStream_CreateSerial(pty.slavePath().c_str(), 3, 1, 1, 1, &stream), qErrNone);
    termios applied;
    ASSERT_EQ(tcgetattr(watcher, &applied), 0);
    EXPECT_EQ(cfgetospeed(&applied), B19200);
    EXPECT_EQ(cfgetispeed(&applied), B19200);
    EXPECT_TRUE(applied.c_iflag & IGNPAR);
    EXPECT_TRUE(applied.c_iflag & IGNBRK);
    EXPECT_EQ(applied.c_oflag, 0u);
    EXPECT_FALSE(applied.c_lflag & (ICANON | ECHO));
    EXPECT_EQ(applied.c_cc[VMIN], 0);
    EXPECT_EQ(applied.c_cc[VTIME], 0);
    EXPECT_EQ(qStream_Destroy(&stream), qErrNone);
    termios restored;
    ASSERT_EQ(tcgetattr(watcher, &restored), 0);
    EXPECT_EQ(restored.c_lflag, original.c_lflag);
    EXPECT_EQ(restored.c_cflag, original.c_cflag);
    close(watcher);
}

TEST(SerialStreamTest, WriteIsBoundedWhenNobodyReads) {
    PtyPair pty;
    qStream* stream = nullptr;
    ASSERT_EQ(qStream_CreateSerial(pty.slavePath().c_str(), 6, 0, 0, 0, &stream), qErrNone);
    std::string block(1 << 16, 'w');
    qErr result = qErrNone;
    auto start = Clock::now();
    for (int i = 0; i < 64 && result == qErrNone; i++)
        result = qStream_Write(stream, reinterpret_cast<const uint8_t*>(block.data()), static_cast<uint32_t>(block.size()));
    EXPECT_EQ(result, qErrTimeout);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    qStream_Destroy(&stream);
}

TEST(SerialStreamTest, WorksOnDescriptorZero) {
    PtyPair pty;
    int savedInput = dup(0);
    close(0);
    qStream* stream = nullptr;
    qErr created = qStream_CreateSerial(pty.slavePath().c_str(), 6, 0, 0, 0, &stream);
    bool onZero = fcntl(0, F_GETFD) != -1;
    qErr written = created == qErrNone ? qStream_Write(stream, reinterpret_cast<const uint8_t*>("ok"), 2) : created;
    qStream_Destroy(&stream);
    bool closed = fcntl(0, F_GETFD) == -1;
    dup2(savedInput, 0);
    close(savedInput);
    ASSERT_EQ(created, qErrNone);
    EXPECT_TRUE(onZero);
    EXPECT_EQ(written, qErrNone);
    EXPECT_EQ(pty.receive(2, 2000), "ok");
    EXPECT_TRUE(closed) << "destroy closed descriptor 0 like any other";
}

}  // namespace
