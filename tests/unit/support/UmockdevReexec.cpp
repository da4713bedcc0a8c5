#include "tests/unit/support/UmockdevReexec.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Set in the re-executed program, so that it does not start a wrapper of its own.
const char kDone[] = "CV_NO_UMOCKDEV_REEXEC";

void sAppendAsanOption(const char* option)
{
    const char* current = getenv("ASAN_OPTIONS");
    std::string options = current != nullptr ? current : "";
    if (!options.empty())
        options += ":";
    setenv("ASAN_OPTIONS", (options + option).c_str(), 1);
}

} // namespace

bool UmockdevReexec()
{
    const char* preload = getenv("LD_PRELOAD");
    if ((preload != nullptr && strstr(preload, "umockdev") != nullptr) || getenv(kDone) != nullptr)
        return true;
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return false;
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> args = {"umockdev-wrapper", self};
    std::string arg;
    std::getline(in, arg, '\0'); // our own name
    while (std::getline(in, arg, '\0'))
        args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv(kDone, "1", 1);
    // The preload library comes before the sanitizer runtime in the initial library list.
    sAppendAsanOption("verify_asan_link_order=0");
    execvp(argv[0], argv.data());
    return false; // no umockdev-wrapper
}
