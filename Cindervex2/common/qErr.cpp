#include "Cindervex2/common/qErr.h"

namespace {

struct ErrText {
    const char* name;
    const char* description;
};

// Indexed by code; the last row doubles as the text of every unknown code.
constexpr ErrText kTexts[] = {
    {"qErrNone", "Success, no error"},
    {"qErrMemory", "Memory allocation"},
    {"qErrParam", "Invalid parameter"},
    {"qErrNotFound", "Not found"},
    {"qErrFileNameLength", "File name too long"},
    {"qErrBusy", "Resource busy"},
    {"qErrIO", "Input/Output error"},
    {"qErrMode", "Invalid Mode"},
    {"qErrWrite", "Write error"},
    {"qErrRead", "Read error"},
    {"qErrEOF", "End of file"},
    {"qErrNotReady", "Not ready, no bytes available"},
    {"qErrPermission", "Insufficient permissions"},
    {"qErrRange", "Value out of range"},
    {"qErrSize", "Invalid Size"},
    {"qErrOverrun", "Buffer/queue overrun"},
    {"qErrParse", "Parse error"},
    {"qErrConfiguration", "Configuration error"},
    {"qErrTimeout", "Timeout occurred"},
    {"qErrInitialization", "Initialization error"},
    {"qErrVersion", "Invalid version"},
    {"qErrUnimplemented", "Functionality unimplemented"},
    {"qErrDuplicate", "Duplicate request"},
    {"qErrCancel", "Cancellation occurred, or did not complete"},
    {"qErrPacket", "Packet byte invalid"},
    {"qErrConnection", "Connection error"},
    {"qErrIndexRange", "Index out of range"},
    {"qErrShortCommand", "Cindervex command to short"},
    {"qErrInvalidEntity", "Invalid entity error"},
    {"qErrInvalidOption", "Invalid option code"},
    {"qErrResource", "Resource unavailable"},
    {"qErrMedia", "Media error"},
    {"qErrAsyncReturn", "Asynchronous return error"},
    {"qErrStreamStale", "Stream value is stale"},
    {"qErrUnknown", "Unknown error"},
};

static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == qErrUnknown + 1, "one row per code");

const ErrText& sRow(unsigned int code)
{
    const unsigned int last = qErrUnknown;
    return kTexts[code > last ? last : code];
}

} // namespace

const char* qError_GetErrorText(unsigned int code)
{
    return sRow(code).name;
}

const char* qError_GetErrorDescription(unsigned int code)
{
    return sRow(code).description;
}
