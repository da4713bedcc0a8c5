#pragma once
// Network-sharing configuration held by each Link: whether a USB connection is also served to
// other processes, and where shared links are looked for.

#include <cstdint>

/* 127.0.0.1 as an address in network byte order, as stored in memory on this host. */
constexpr uint32_t LANVEX_LOOPBACK_ADDRESS = 0x0100007Fu;

typedef struct LanvexConfig {
    uint8_t enabled = 1;   /* a USB connection also starts a sharing server; LANVEX specs usable */
    uint8_t fallback = 1;  /* discoverAndConnect may fall back between USB and LANVEX */
    uint8_t localOnly = 1; /* the sharing server serves this host only (loopback) */
    uint16_t assignedPort = 0;                          /* 0: the server chooses, written back */
    uint32_t networkInterface = LANVEX_LOOPBACK_ADDRESS; /* IPv4, network byte order */
} LanvexConfig;
