#include "tests/unit/support/NetLab.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

std::string sSourceRoot()
{
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/unit/support/"));
}

bool sRun(const std::string& command)
{
    return system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string sNamespace(int i) { return "cvapi" + std::to_string(getpid()) + "p" + std::to_string(i); }

// Interface names: a deleted namespace takes its veth pair down asynchronously, so a name is
// never used twice in one process.
std::string sVethName(const char* side)
{
    static int sequence = 0;
    return side + std::to_string(++sequence);
}

std::string sReadLine(int fd, int timeoutMs)
{
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (line.empty() || line.back() != '\n') {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        char c;
        if (left.count() <= 0 || poll(&p, 1, int(left.count())) != 1 || read(fd, &c, 1) != 1)
            return "";
        line += c;
    }
    line.pop_back();
    return line;
}

void sStop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

bool EnterPrivateNetwork(std::string* reason)
{
    if (geteuid() != 0) {
        *reason = "needs root for network namespaces";
        return false;
    }
    if (unshare(CLONE_NEWNET) != 0) {
        *reason = std::string("unshare: ") + strerror(errno);
        return false;
    }
    if (!sRun("ip link set lo up")) {
        *reason = "ip link set lo up failed";
        return false;
    }
    return true;
}

NetLab::~NetLab()
{
    for (const Child& child : children_) {
        close(child.input);
        sStop(child.pid);
        close(child.output);
    }
    for (const std::string& ns : namespaces_)
        sRun("ip netns del " + ns);
}

bool NetLab::addPeer(int i)
{
    std::string ns = sNamespace(i), host = sVethName("vh"), peer = sVethName("vp");
    if (!sRun("ip netns add " + ns))
        return false;
    namespaces_.push_back(ns);
    std::string in = "ip netns exec " + ns + " ";
    return sRun("ip link add " + host + " type veth peer name " + peer + " netns " + ns) &&
           sRun("ip addr add " + hostAddress(i) + "/24 broadcast + dev " + host) &&
           sRun("ip link set " + host + " up") && sRun(in + "ip link set lo up") &&
           sRun(in + "ip addr add " + peerAddress(i) + "/24 broadcast + dev " + peer) &&
           sRun(in + "ip link set " + peer + " up");
}

uint32_t NetLab::networkOrder(const std::string& dotted)
{
    in_addr a{};
    inet_pton(AF_INET, dotted.c_str(), &a);
    return a.s_addr;
}

std::string NetLab::start(int i, const std::string& script, const std::vector<std::string>& args)
{
    std::vector<std::string> argv;
    if (i > 0)
        argv = {"ip", "netns", "exec", sNamespace(i)};
    argv.push_back("/usr/bin/python3");
    argv.push_back(sSourceRoot() + "/" + script);
    argv.insert(argv.end(), args.begin(), args.end());
    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return "";
    if (pipe2(in, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return "";
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(in[0], STDIN_FILENO);
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        execvp(raw[0], raw.data());
        _exit(127);
    }
    close(out[1]);
    close(in[0]);
    if (pid < 0) {
        close(out[0]);
        close(in[1]);
        return "";
    }
    children_.push_back({pid, in[1], out[0]});
    return sReadLine(out[0], 10000);
}
