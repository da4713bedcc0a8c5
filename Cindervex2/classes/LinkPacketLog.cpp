// Link: the packet log file, written on the log writer's thread from the engine's log ring.

#include "Cindervex2/classes/LinkImpl.h"
#include "Cindervex2/common/qLink.h"
#include "Cindervex2/platform/qPlatform.h"

namespace Quorvel::Cindervex {

namespace {

// A log entry may hold up to 255 bytes: a smaller buffer would leave one in the ring for ever.
constexpr uint32_t kEntryBuffer = 256;
constexpr uint32_t kIdleSleepMs = 5;
constexpr uint8_t kStartRecord[] = {'S', 'T', 'A', 'R', 'T', 0};

// One line per entry: "<count> <direction> " then the bytes, text as characters, packets as
// hexadecimal numbers.
qErr sReadDebugBuffer(qFile* file, int32_t id)
{
    uint8_t entry[kEntryBuffer];
    uint32_t length = sizeof entry;
    int32_t direction = 0;
    if (qLink_PacketDebug_Read(uint32_t(id), &direction, &length, entry) != qErrNone) {
        qTime_MSSleep(kIdleSleepMs);
        return qErrNone;
    }
    qFile_Printf(file, "%d %s ", int(length), direction == kPacketLogSent ? ">" : "<");
    for (uint32_t i = 0; i < length; ++i) {
        if (direction == kPacketLogText)
            qFile_Printf(file, "%c", entry[i]);
        else
            qFile_Printf(file, "0x%X ", entry[i]);
    }
    return qFile_Printf(file, "\r\n");
}

} // namespace

qErr Link::enablePacketLog(const char* path)
{
    if (d->linkId == 0)
        return qErrConfiguration;
    if (!path)
        return qErrParam;
    qErr result = qLink_PacketDebug_Enable(d->linkId);
    if (result != qErrNone)
        return result;
    if (!d->logger)
        d->logger = qLogger_Create(int32_t(d->linkId), sReadDebugBuffer, path);
    if (!d->logger)
        return qErrIO; // the file cannot be written: say so instead of logging nowhere
    result = qLogger_Enable(d->logger);
    if (result == qErrNone)
        qLink_PacketDebug_Write(d->linkId, kPacketLogText, sizeof kStartRecord, kStartRecord);
    return result;
}

qErr Link::disablePacketLog()
{
    if (d->linkId == 0)
        return qErrConfiguration;
    qLink_PacketDebug_Disable(d->linkId);
    return d->logger ? qLogger_Disable(d->logger) : qErrNone;
}

} // namespace Quorvel::Cindervex
