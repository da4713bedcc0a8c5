#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

/* The source tree's root (where sim/ lives), found from this file's own path. */
std::string SourceRoot();

/* A fresh temporary directory, removed with everything in it by the destructor. */
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return dir; }
    std::string file(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

/* Runs /usr/bin/python3 with `args` and waits for it; true when it exited 0. */
bool RunPython(const std::vector<std::string>& args);

/* A simulator started as /usr/bin/python3 <script> <args>, whose first stdout line is its
 * ready line. Stopped (SIGTERM, then SIGKILL after 3 s) by the destructor. */
class SimProcess {
public:
    SimProcess(const std::string& script, const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    /* The ready line, empty when the simulator did not print one within 10 s. */
    const std::string& readyLine() const { return ready; }
    /* The number after "port=" in the ready line, 0 when there is none. */
    int port() const;

private:
    pid_t pid = -1;
    std::string ready;
};
