#pragma once
// What the link benchmarks share: a private network namespace, the simulated module (the
// unit tests' launcher) and a TCP link to it.
#include <arpa/inet.h>
#include <sys/resource.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Cindervex2/common/qLink.h"
#include "tests/unit/support/NetLab.h"
#include "tests/unit/support/SimModule.h"

namespace bench {

/* CPU seconds used by this whole process (every thread) so far. */
inline double ProcessCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

/* Moves this process into a network namespace of its own, so nothing it sends can leave the
 * machine, starts the simulated module there on loopback TCP with `args` added, and links to
 * it. Returns the link, or 0 after saying on stderr which step failed. */
inline uint32_t LinkToSim(std::unique_ptr<SimModule>* sim, std::vector<std::string> args) {
    std::string why;
    if (!EnterPrivateNetwork(&why)) {
        fprintf(stderr, "no private network: %s\n", why.c_str());
        return 0;
    }
    args.insert(args.begin(), {"--tcp", "127.0.0.1:0"});
    *sim = std::make_unique<SimModule>(args);
    if (!(*sim)->ready()) {
        fprintf(stderr, "the simulated module did not start\n");
        return 0;
    }
    uint32_t link = qLink_CreateTCPIP(inet_addr("127.0.0.1"), static_cast<uint16_t>(std::stoi((*sim)->word("port"))));
    if (link == 0) fprintf(stderr, "no link to the simulated module\n");
    return link;
}

}  // namespace bench
