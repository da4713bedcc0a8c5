#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

#include "app/Application.h"
#include "app/CLI_Display.h"
#include "app/Log.h"

namespace {

// Several stream states use descriptor 0 for "closed"; a process started with a standard
// descriptor closed would hand a real file out as 0. /dev/null takes the free slots first.
void sFillStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            int opened = open("/dev/null", O_RDWR);
            if (opened > 2)
                close(opened);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    sFillStandardDescriptors();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CLI_Display display;
    Log::SetOutput(stderr);
    int code = 1;
    try {
        code = RunUpdater(argc, argv, display, [](const char* server, const char* store, UpdaterDisplayInterface& out) {
            return std::make_unique<Updater>(server, store, out);
        });
    } catch (const std::exception& e) {
        display.message(UpdaterDisplayInterface::Error, "Updater: %s", e.what());
    }
    curl_global_cleanup();
    return code;
}
