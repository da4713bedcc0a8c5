#include "Cindervex2/common/qVersion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr uint8_t kMajor = 2;
constexpr uint8_t kMinor = 11;
constexpr uint8_t kPatch = 4;
constexpr uint32_t kCurrentMarker = 0x2F;

struct Feature {
    const char* name;
    const char* description;
};
constexpr Feature kFeatures[] = {
    {"VERSION", "Version Query API"},
};

} // namespace

uint32_t qVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch)
{
    if (major > 2 || (major == 2 && minor > 14))
        return (kCurrentMarker << 24) | (uint32_t(major) << 16) | (uint32_t(minor) << 8) | patch;
    return (uint32_t(major) << 28) | (uint32_t(minor & 0x0F) << 24) | patch;
}

bool qVersion_IsLegacyFormat(uint32_t version)
{
    uint32_t top = version >> 28;
    return top < 2 || (top == 2 && ((version >> 24) & 0x0F) < 15);
}

uint8_t qVersion_ParseMajor(uint32_t version)
{
    return qVersion_IsLegacyFormat(version) ? uint8_t(version >> 28) : uint8_t(version >> 16);
}

uint8_t qVersion_ParseMinor(uint32_t version)
{
    return qVersion_IsLegacyFormat(version) ? uint8_t((version >> 24) & 0x0F)
                                            : uint8_t(version >> 8);
}

uint32_t qVersion_ParsePatch(uint32_t version)
{
    return qVersion_IsLegacyFormat(version) ? (version & 0xFFFFFF) : (version & 0xFF);
}

int qVersion_ParseString(uint32_t version, char* buffer, size_t size)
{
    return snprintf(buffer, buffer ? size : 0, "%d.%d.%u", qVersion_ParseMajor(version),
                    qVersion_ParseMinor(version), unsigned(qVersion_ParsePatch(version)));
}

uint8_t qVersion_GetMajor() { return kMajor; }
uint8_t qVersion_GetMinor() { return kMinor; }
uint8_t qVersion_GetPatch() { return kPatch; }

const char* qVersion_GetString()
{
    // Filled once, before any caller can see it (function-local static initialisation).
    static const std::string text = std::to_string(kMajor) + "." + std::to_string(kMinor) + "." +
                                    std::to_string(kPatch);
    return text.c_str();
}

bool qVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint8_t patch, uint8_t reqMajor,
                               uint8_t reqMinor, uint8_t reqPatch)
{
    if (major != reqMajor)
        return major > reqMajor;
    if (minor != reqMinor)
        return minor > reqMinor;
    return patch >= reqPatch;
}

bool qVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch)
{
    return qVersion_IsAtLeastCompare(kMajor, kMinor, kPatch, major, minor, patch);
}

bool qVersion_HasFeature(const char* name)
{
    if (!name)
        return false;
    for (const Feature& f : kFeatures)
        if (strcmp(f.name, name) == 0)
            return true;
    return false;
}

char* qVersion_GetFeatureList()
{
    std::string list;
    for (const Feature& f : kFeatures) {
        if (!list.empty())
            list += "\n";
        list += std::string(f.name) + " - " + f.description;
    }
    return strdup(list.c_str());
}

void qVersion_DestroyFeatureList(char** text)
{
    if (!text)
        return;
    free(*text);
    *text = nullptr;
}
