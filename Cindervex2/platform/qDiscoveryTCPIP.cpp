// TCP/IP search: a 16-byte multicast request on every IPv4 interface but loopback, then the
// modules' 16-byte replies on UDP 9889.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/qDiscoverySearch.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kDatagramSize = 16;
constexpr int kModelByte = 12;
// Replies are read until none came for kQuietWait; kSearchLimit and kMaxReplies stop a
// sender flooding the reply port from holding the search (and every fallback to TCP/IP).
constexpr milliseconds kQuietWait{2000};
constexpr milliseconds kSearchLimit{10000};
constexpr int kMaxReplies = 255;

int sOpenReplySocket()
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(DISCOVERY_TCPIP_REPLY_PORT);
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends the request with `source` as multicast interface (INADDR_ANY: the default one).
bool sSendRequest(in_addr source)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int on = 1;
    uint8_t request[kDatagramSize] = {1};
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_addr.s_addr = DISCOVERY_TCPIP_GROUP;
    group.sin_port = htons(DISCOVERY_TCPIP_REQUEST_PORT);
    bool sent = setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                (source.s_addr == htonl(INADDR_ANY) ||
                 setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &source, sizeof source) == 0) &&
                sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&group),
                       sizeof group) == sizeof request;
    close(fd);
    return sent;
}

int sSendRequests()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return sSendRequest(in_addr{htonl(INADDR_ANY)}) ? 1 : 0;
    int sent = 0;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        in_addr address = reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr;
        if (address.s_addr == 0 || address.s_addr == LANVEX_LOOPBACK_ADDRESS)
            continue;
        sent += sSendRequest(address) ? 1 : 0;
    }
    freeifaddrs(list);
    return sent;
}

linkSpec sParseReply(const uint8_t* reply, in_addr sender)
{
    linkSpec spec{};
    spec.type = TCPIP;
    spec.module = spec.router = reply[1];
    spec.port = uint32_t(reply[2] | (reply[3] << 8));
    spec.serialNumber = spec.routerSerialNumber = uint32_t(reply[4]) | (uint32_t(reply[5]) << 8) |
                                                  (uint32_t(reply[6]) << 16) |
                                                  (uint32_t(reply[7]) << 24);
    spec.model = reply[kModelByte];
    spec.ipAddress = sender.s_addr;
    return spec;
}

// Waits for one datagram until `deadline`; false on time-out or error.
bool sReceive(int fd, Clock::time_point deadline, uint8_t* reply, in_addr* sender)
{
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, int(left)) != 1)
        return false;
    // A short datagram leaves the rest zero, and the model 255 when it ends before byte 12.
    memset(reply, 0, kDatagramSize);
    reply[kModelByte] = 0xFF;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    if (recvfrom(fd, reply, kDatagramSize, 0, reinterpret_cast<sockaddr*>(&from), &fromLength) < 0)
        return false;
    *sender = from.sin_addr;
    return true;
}

} // namespace

uint8_t qDiscovery_EnumerateTCPIP(qDiscovery_Callback callback, void* ref)
{
    int fd = sOpenReplySocket();
    int requests = sSendRequests();
    uint8_t count = 0;
    if (fd >= 0 && requests > 0) {
        auto limit = Clock::now() + kSearchLimit;
        auto deadline = Clock::now() + kQuietWait;
        uint8_t reply[kDatagramSize];
        in_addr sender{};
        for (int replies = 0; replies < kMaxReplies && sReceive(fd, deadline, reply, &sender);
             ++replies) {
            linkSpec spec = sParseReply(reply, sender);
            if (!qDiscovery_Report(callback, ref, &spec, &count))
                break;
            deadline = std::min(Clock::now() + kQuietWait, limit);
        }
    }
    if (fd >= 0)
        close(fd);
    return count;
}
