#include "tests/unit/support/SimModule.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/unit/support/SimProcess.h"

std::string SimWord(const std::string& line, const std::string& key) {
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return "";
    at += key.size() + 2;
    size_t end = line.find_first_of(" ,}", at);
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

SimModule::SimModule(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::string script = SourceRoot() + "/sim/module.py";
    std::vector<std::string> all = {"/usr/bin/python3", script};
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
    toChild_ = in[1];
    fromChild_ = out[0];
    std::string line = readLine(10000);
    if (line.rfind("ready ", 0) == 0) readyLine_ = line;
}

SimModule::~SimModule() {
    if (toChild_ >= 0) {
        command("quit");
        close(toChild_);
    }
    if (fromChild_ >= 0) close(fromChild_);
    if (pid_ <= 0) return;
    for (int i = 0; i < 100; i++) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::string SimModule::word(const std::string& key) const { return SimWord(" " + readyLine_, key); }

std::string SimModule::readLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        size_t nl = buffered_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered_.substr(0, nl);
            buffered_.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || fromChild_ < 0) return "";
        pollfd p = {fromChild_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        ssize_t n = read(fromChild_, chunk, sizeof chunk);
        if (n <= 0) return "";
        buffered_.append(chunk, static_cast<size_t>(n));
    }
}

std::string SimModule::command(const std::string& line) {
    if (toChild_ < 0) return "";
    std::string text = line + "\n";
    if (write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "";
    return readLine(5000);
}

std::string SimModule::value(const std::string& line) {
    std::string reply = command(line);
    return reply.rfind("ok ", 0) == 0 ? reply.substr(3) : "";
}

long SimModule::stat(const std::string& key, const std::string& module) {
    std::string json = value(module + "stats");
    size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return 0;
    return strtol(json.c_str() + at + key.size() + 4, nullptr, 10);
}

long SimModule::awaitStat(const std::string& key, long atLeast, int timeoutMs, const std::string& module) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    long v = stat(key, module);
    while (v < atLeast && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        v = stat(key, module);
    }
    return v;
}
