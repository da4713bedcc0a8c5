#pragma once
// A TCP server on 127.0.0.1 for stream and link tests. It serves one client at a time (a new
// connection replaces the old), records every byte it receives, and can drop the client,
// stop listening and come back on the same port. All methods are thread-safe.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class LoopbackServer {
public:
    LoopbackServer();  // listens on an ephemeral port; port() is 0 if that failed
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }
    /* 127.0.0.1 in network byte order. */
    static uint32_t address();

    /* Connections accepted so far. */
    int connections();
    /* Waits up to timeoutMs until at least `count` connections were accepted. */
    bool waitForConnections(int count, int timeoutMs);
    /* Sends to the current client; false without one. */
    bool send(const std::string& bytes);
    /* Every byte received so far, over all connections. */
    std::string received();
    /* Waits up to timeoutMs until `count` bytes were received in all. */
    bool waitForReceived(size_t count, int timeoutMs);
    /* Stops (false) or resumes (true) reading from clients, to let their sends back up. */
    void setReading(bool reading);
    /* Closes the current client: orderly (FIN) or by reset (RST). */
    void dropClient(bool reset = false);
    /* Closes the client and the listener: connects are refused until restart(). */
    void stop();
    /* Listens again on the same port. */
    bool restart();

private:
    bool listenOn(uint16_t port);
    void run();
    void closeClientLocked(bool reset);

    std::mutex mutex_;
    int listener_ = -1;
    int client_ = -1;
    uint16_t port_ = 0;
    int connections_ = 0;
    bool reading_ = true;
    std::string received_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};
