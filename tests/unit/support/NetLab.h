#pragma once
// Private networks for discovery tests: this test process moves into a network namespace of
// its own, and simulated modules run in further namespaces joined to it by veth pairs, so no
// datagram of a test ever reaches a real network.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

/* Moves this process (single-threaded at that point) into a new network namespace with its
 * loopback up. False, with the reason, when that is not possible (not root, no `ip`). */
bool EnterPrivateNetwork(std::string* reason);

/* Peer namespaces joined to this process's namespace: peer i (1 to 250) gets 10.77.i.2/24,
 * this side of its veth pair 10.77.i.1/24. The destructor stops every process started here
 * and deletes every namespace. */
class NetLab {
public:
    NetLab() = default;
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    /* Creates peer i; false when a command failed. */
    bool addPeer(int i);

    static std::string hostAddress(int i) { return "10.77." + std::to_string(i) + ".1"; }
    static std::string peerAddress(int i) { return "10.77." + std::to_string(i) + ".2"; }
    static std::string broadcastAddress(int i) { return "10.77." + std::to_string(i) + ".255"; }
    /* An address in network byte order, as the discovery records hold it. */
    static uint32_t networkOrder(const std::string& dotted);

    /* Starts /usr/bin/python3 <source root>/<script> <args> inside peer i (in this process's
     * namespace for i = 0) and returns its ready line, or "" when none came within 10 s.
     * The process runs until the NetLab ends. */
    std::string start(int i, const std::string& script, const std::vector<std::string>& args);

private:
    std::vector<std::string> namespaces_;
    struct Child {
        pid_t pid;
        int input;  // kept open: simulators run until their input ends
        int output; // kept open: a later line must not kill the simulator with SIGPIPE
    };
    std::vector<Child> children_;
};
