#include "Cindervex2/common/qMulticast.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "Cindervex2/common/LanvexConfig.h"

struct qMulticast {
    int fd;
    sockaddr_in destination;
    in_addr interfaceAddress;
    bool sender;
};

namespace {

bool sConfigure(qMulticast* m, uint32_t group)
{
    int off = 0, on = 1, ttl = 1;
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = group;
    membership.imr_interface = m->interfaceAddress;
    timeval timeout{1, 0};
    return setsockopt(m->fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0 &&
           setsockopt(m->fd, IPPROTO_IP, IP_MULTICAST_IF, &m->interfaceAddress,
                      sizeof m->interfaceAddress) == 0 &&
           setsockopt(m->fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
           setsockopt(m->fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0 &&
           setsockopt(m->fd, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on) == 0 &&
           setsockopt(m->fd, SOL_SOCKET, SO_REUSEADDR, &off, sizeof off) == 0;
}

bool sBindReceiver(qMulticast* m, uint16_t port)
{
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(port);
    return bind(m->fd, reinterpret_cast<sockaddr*>(&any), sizeof any) == 0;
}

} // namespace

qMulticast* qMulticast_Create(uint32_t interfaceAddress, uint32_t group, uint16_t port,
                              bool sender)
{
    auto* m = static_cast<qMulticast*>(calloc(1, sizeof(qMulticast)));
    if (!m)
        return nullptr;
    m->sender = sender;
    m->interfaceAddress.s_addr = interfaceAddress ? interfaceAddress : LANVEX_LOOPBACK_ADDRESS;
    m->destination.sin_family = AF_INET;
    m->destination.sin_addr.s_addr = group;
    m->destination.sin_port = htons(port);
    m->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m->fd < 0 || !sConfigure(m, group) || (!sender && !sBindReceiver(m, port))) {
        qMulticast_Destroy(&m);
        return nullptr;
    }
    return m;
}

int64_t qMulticast_Send(qMulticast* socket, const void* data, uint32_t length)
{
    if (!socket || !data)
        return -2;
    if (!socket->sender)
        return -3;
    ssize_t sent = sendto(socket->fd, data, length, 0,
                          reinterpret_cast<const sockaddr*>(&socket->destination),
                          sizeof socket->destination);
    return sent < 0 ? -1 : sent;
}

int64_t qMulticast_Receive(qMulticast* socket, void* buffer, int size)
{
    if (!socket || !buffer || size < 0)
        return -2;
    if (socket->sender)
        return -3;
    ssize_t got = recv(socket->fd, buffer, size_t(size), 0);
    return got < 0 ? -1 : got;
}

int qMulticast_Destroy(qMulticast** socket)
{
    if (!socket || !*socket)
        return -2;
    if ((*socket)->fd >= 0)
        close((*socket)->fd);
    free(*socket);
    *socket = nullptr;
    return 0;
}
