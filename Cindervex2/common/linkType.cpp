#include "Cindervex2/common/linkType.h"

#include <cstdlib>
#include <cstring>

linkSpec* qLinkSpec_Create(linkType type)
{
    auto* spec = static_cast<linkSpec*>(calloc(1, sizeof(linkSpec)));
    if (spec)
        spec->type = type;
    return spec;
}

linkSpec* qLinkSpec_Copy(linkSpec spec)
{
    auto* copy = static_cast<linkSpec*>(malloc(sizeof(linkSpec)));
    if (copy)
        memcpy(copy, &spec, sizeof(linkSpec));
    return copy;
}

qErr qLinkSpec_Destroy(linkSpec** spec)
{
    if (!spec || !*spec)
        return qErrParam;
    free(*spec);
    *spec = nullptr;
    return qErrNone;
}

bool qLinkSpec_AcceptNetworkRecord(linkSpec* spec)
{
    if (!spec || spec->type != LANVEX)
        return false;
    // Only the 16-bit port lives past offset 28; a sender's leftovers must not reach anyone
    // who reads the record as a serial device name.
    auto* bytes = reinterpret_cast<unsigned char*>(spec);
    memset(bytes + 32, 0, LINKSPEC_SIZE - 32);
    return true;
}

const char* qLinkSpec_GetPortName(const linkSpec* spec)
{
    if (!spec || !memchr(spec->portName, 0, LINKSPEC_PORTNAME_SIZE))
        return nullptr;
    return spec->portName;
}
