#pragma once
// What the link benchmarks share: a private network namespace and the simulated module.
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

/* Moves this process into a network namespace of its own with loopback up, so nothing it
 * sends can leave the machine. False (with a message) when that is not allowed. */
inline bool EnterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) {
        perror("unshare(CLONE_NEWNET) (run as root)");
        return false;
    }
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags |= IFF_UP;
    up = up && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    if (fd >= 0) close(fd);
    if (!up) perror("loopback up");
    return up;
}

/* CPU seconds used by this whole process (every thread) so far. */
inline double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/* The simulated module (sim/module.py of this source tree) as a child process. */
class Sim {
public:
    explicit Sim(const std::vector<std::string>& args) {
        std::string root = __FILE__;
        root = root.substr(0, root.rfind('/'));
        root = root.substr(0, root.rfind('/'));
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        std::vector<std::string> all = {"/usr/bin/python3", root + "/sim/module.py"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
        ready_ = line(10000);
    }
    ~Sim() {
        command("quit");
        close(to_);
        close(from_);
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& ready() const { return ready_; }
    /* The value of `key=` in the ready line. */
    std::string word(const std::string& key) const {
        size_t at = ready_.find(" " + key + "=");
        if (at == std::string::npos) return "";
        at += key.size() + 2;
        return ready_.substr(at, ready_.find(' ', at) - at);
    }
    std::string command(const std::string& c) {
        std::string text = c + "\n";
        if (write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
        return line(5000);
    }

private:
    std::string line(int timeoutMs) {
        std::string result;
        char ch = 0;
        pollfd p = {from_, POLLIN, 0};
        while (poll(&p, 1, timeoutMs) > 0 && read(from_, &ch, 1) == 1 && ch != '\n') result += ch;
        return result;
    }
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string ready_;
};

}  // namespace bench
