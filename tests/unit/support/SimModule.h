#pragma once
// The simulated module (sim/module.py) as a child process that a test steers through its
// command lines (see sim/cvmodule/control.py) and stops in its destructor.
#include <sys/types.h>

#include <string>
#include <vector>

class SimModule {
public:
    /* Starts /usr/bin/python3 sim/module.py <args> and waits up to 10 s for its ready line. */
    explicit SimModule(const std::vector<std::string>& args);
    ~SimModule();
    SimModule(const SimModule&) = delete;
    SimModule& operator=(const SimModule&) = delete;

    /* True once the ready line came. */
    bool ready() const { return !readyLine_.empty(); }
    /* The value of `key=` in the ready line ("" when absent). */
    std::string word(const std::string& key) const;

    /* Sends one command line and returns the reply line ("ok ...", "error ..."); "" when
     * no reply came within 5 s. */
    std::string command(const std::string& line);
    /* The value of an "ok <value>" reply ("" for another reply). */
    std::string value(const std::string& line);
    /* Counter `key` of the "stats" command (0 when absent). `module` may be "@SERIAL ". */
    long stat(const std::string& key, const std::string& module = "");
    /* Waits up to `timeoutMs` until stat(key) >= atLeast; returns the last value read. */
    long awaitStat(const std::string& key, long atLeast, int timeoutMs, const std::string& module = "");

private:
    std::string readLine(int timeoutMs);

    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffered_;
    std::string readyLine_;
};

/* The word `key=` of a "key=value key=value" line. */
std::string SimWord(const std::string& line, const std::string& key);
