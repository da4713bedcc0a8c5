#include "tests/unit/support/SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

std::string SourceRoot()
{
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path().string();
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "updater-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    dir = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir, ignored);
}

namespace {

std::vector<char*> sArgv(std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

bool sWaitExit(pid_t pid, std::chrono::milliseconds limit, int* status)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

bool RunPython(const std::vector<std::string>& args)
{
    std::vector<std::string> all{"/usr/bin/python3"};
    all.insert(all.end(), args.begin(), args.end());
    pid_t child = fork();
    if (child == 0) {
        auto argv = sArgv(all);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || !sWaitExit(child, std::chrono::seconds(60), &status)) {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SimProcess::SimProcess(const std::string& script, const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe(fds) != 0)
        return;
    std::vector<std::string> all{"/usr/bin/python3", SourceRoot() + "/" + script};
    all.insert(all.end(), args.begin(), args.end());
    pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        auto argv = sArgv(all);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0 || read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        ready += c;
    }
    if (c != '\n')
        ready.clear();
    close(fds[0]);
}

SimProcess::~SimProcess()
{
    if (pid <= 0)
        return;
    int status = 0;
    kill(pid, SIGTERM);
    if (!sWaitExit(pid, std::chrono::seconds(3), &status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
}

int SimProcess::port() const
{
    size_t at = ready.find("port=");
    return at == std::string::npos ? 0 : atoi(ready.c_str() + at + 5);
}
