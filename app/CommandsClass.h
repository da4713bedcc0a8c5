#pragma once
#include <cstdint>

// Command bits of a request; a command is requested by setting its bit.
enum COMMANDS : uint32_t {
    COMMAND_DISCOVER = 0x1,
    COMMAND_UPDATE = 0x2,
    COMMAND_LIST_BUILDS = 0x4,
    COMMAND_GET_BUILD = 0x8,
    COMMAND_VIEW_INFO = 0x10,
    COMMAND_CHECK_BIRDFILE = 0x20,
    COMMAND_FINGERPRINT = 0x40,
    COMMAND_Z = 0x80,
    COMMAND_GET_JWT = 0x100,
    COMMAND_LIST_LOCAL_BUILDS = 0x200,
    COMMAND_HELP = 0x80000000,
    // Also covers the reserved bits 0x400, 0x10000 and 0x20000, which no option sets.
    COMMAND_MASK_ANY = 0x307FF,
};

// The set of requested commands; empty after construction.
class CommandsClass {
public:
    /* Adds the given bits. */
    void Set(uint32_t bits) { value |= bits; }
    /* True when the set shares at least one bit with `mask`. */
    bool IsSet(uint32_t mask) const { return (value & mask) != 0; }

private:
    uint32_t value = 0;
};
