// The link engine over TCP/IP and a serial pty against the simulated module.
#include <arpa/inet.h>

#include "tests/unit/link/LinkSuite.h"

namespace {

bool sOpenTcp(LinkTarget& t, std::string* why) {
    t.own = std::make_unique<SimModule>(std::vector<std::string>{"--tcp", "127.0.0.1:0"});
    t.sim = t.own.get();
    if (!t.sim->ready()) return *why = "simulator did not start", false;
    t.link = qLink_CreateTCPIP(inet_addr("127.0.0.1"), static_cast<uint16_t>(std::stoi(t.sim->word("port"))));
    return true;
}

bool sOpenSerial(LinkTarget& t, std::string* why) {
    t.own = std::make_unique<SimModule>(std::vector<std::string>{"--pty"});
    t.sim = t.own.get();
    if (!t.sim->ready()) return *why = "simulator did not start", false;
    t.link = qLink_CreateSerial(0x0A, t.sim->word("path").c_str(), 115200);
    return true;
}

const LinkTransport kTransports[] = {
    {"TCP", sOpenTcp, "close 300"},
    {"SerialPty", sOpenSerial, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Transports, LinkSuite, ::testing::ValuesIn(kTransports),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
