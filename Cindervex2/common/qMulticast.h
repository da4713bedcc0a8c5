#pragma once
// UDP multicast sockets for the local sharing-server discovery. A receiver is bound to its
// port and only receives; a sender is unbound and only sends to the group. Sockets are made
// without address reuse, so binding a port that a sharing server holds fails: that failure is
// how a server on this host is detected.

#include <cstdint>

typedef struct qMulticast qMulticast;

/* Creates a sender (sender true) or receiver on `group` and `port`, using the interface
 * `interfaceAddress` (IPv4, network byte order; 0 means 127.0.0.1) for membership and sends.
 * TTL 1, loopback on, receive time-out 1 s. Null on any failure, including a receiver whose
 * port cannot be bound. The caller frees the record with qMulticast_Destroy. */
qMulticast* qMulticast_Create(uint32_t interfaceAddress, uint32_t group, uint16_t port,
                              bool sender);

/* Sends `length` bytes to the group and port. Returns the bytes sent, -1 on a socket error,
 * -2 for a null record or null data, -3 for a receiver. */
int64_t qMulticast_Send(qMulticast* socket, const void* data, uint32_t length);

/* Receives one datagram into buffer (at most `size` bytes), waiting at most 1 s. Returns its
 * length, -1 on error or time-out, -2 for a null record or buffer, -3 for a sender. */
int64_t qMulticast_Receive(qMulticast* socket, void* buffer, int size);

/* Closes the socket, frees the record and sets *socket to null. Returns 0, or -2 when socket
 * or *socket is null. */
int qMulticast_Destroy(qMulticast** socket);
