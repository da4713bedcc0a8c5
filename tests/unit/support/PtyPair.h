#pragma once
// A pseudo-terminal for serial tests: the test plays the device on the master side while
// the code under test opens the slave path like a serial port.
#include <string>

class PtyPair {
public:
    PtyPair();  // master() is -1 if no pty could be made
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slave_; }
    /* Writes bytes for the slave side to read. */
    bool send(const std::string& bytes);
    /* Reads what the slave side wrote, waiting up to timeoutMs for `count` bytes. */
    std::string receive(size_t count, int timeoutMs);

private:
    int master_ = -1;
    std::string slave_;
};
