#pragma once
// Discovery: finds the modules this host can reach and describes each by a linkSpec.
// USB reads the USB device list; TCPIP asks by UDP multicast on every interface; LANVEX finds
// modules shared by a sharing server, by loopback multicast (local) or by a CZMQ beacon.
// Searches report no error codes: the count, or a null record, is the whole result.

#include <cstdint>

#include "Cindervex2/common/linkType.h"

/* Runs the search of `type` (USB, TCPIP or LANVEX) and hands each module found to callback.
 * networkInterface (IPv4, network byte order) selects the LANVEX mode. Any other type finds
 * nothing. Returns the number of callbacks that set their success flag (at most 255).
 * Blocks: TCPIP at least 2 s and at most about 10 s; LANVEX up to about 2.2 s (beacon) or
 * 1 s per sharing server found on this host (local). */
uint8_t qDiscovery_EnumerateModules(linkType type, qDiscovery_Callback callback, void* ref,
                                    uint32_t networkInterface);

/* The LANVEX search: local multicast when networkInterface is 0 or 127.0.0.1 or the host has
 * no IPv4 interface, else the beacon search on that interface. Only records of type LANVEX
 * are reported (bytes 32-127 zeroed), each serial number once. Returns the count as above. */
uint8_t qDiscovery_Enumerate_LanvexModules(qDiscovery_Callback callback, void* ref,
                                           uint32_t networkInterface);

/* The first module of `type` with that serial number, as a new record the caller frees with
 * qLinkSpec_Destroy; null if none. Blocks like qDiscovery_EnumerateModules. */
linkSpec* qDiscovery_FindModule(linkType type, uint32_t serialNumber, uint32_t networkInterface);

/* The first module of `type` whose serial number is nonzero, as for qDiscovery_FindModule. */
linkSpec* qDiscovery_FindFirstModule(linkType type, uint32_t networkInterface);

/* Stores up to `capacity` IPv4 addresses (network byte order) of the host's interfaces, as
 * CZMQ lists them (up, non-loopback), into list. Returns how many; 0 for a null list. */
int qDiscovery_GetIPv4Interfaces(uint32_t* list, int capacity);

/* Writes the dotted text of a network-order IPv4 address into text. Returns the text's length,
 * or 0 when text is null, size is below 16 or the conversion fails. */
int qDiscovery_ConvertIPv4Interface(uint32_t address, char* text, int size);
