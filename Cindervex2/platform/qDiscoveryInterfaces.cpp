#include <arpa/inet.h>
#include <czmq.h>

#include "Cindervex2/common/qDiscovery.h"

int qDiscovery_GetIPv4Interfaces(uint32_t* list, int capacity)
{
    if (!list || capacity <= 0)
        return 0;
    ziflist_t* interfaces = ziflist_new();
    if (!interfaces)
        return 0;
    int count = 0;
    for (const char* name = ziflist_first(interfaces); name && count < capacity;
         name = ziflist_next(interfaces)) {
        in_addr address{};
        if (inet_pton(AF_INET, ziflist_address(interfaces), &address) == 1)
            list[count++] = address.s_addr;
    }
    ziflist_destroy(&interfaces);
    return count;
}
