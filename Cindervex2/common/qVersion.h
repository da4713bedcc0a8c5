#pragma once
// Packed 32-bit firmware version numbers, in two layouts:
//   current: 0x2F, major, minor, patch (one byte each, most significant first), for 2.15 and up;
//   legacy:  major in bits 31-28, minor in bits 27-24, patch in bits 23-0.
// The marker 0x2F reads as major 2, minor 15 in the legacy layout, which legacy never uses.

#include <cstddef>
#include <cstdint>

/* Packs a version: current layout when major > 2 or (major == 2 and minor > 14), else legacy. */
uint32_t qVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch);

/* True when the top nibble is below 2, or is 2 while bits 27-24 are below 15. */
bool qVersion_IsLegacyFormat(uint32_t version);

/* Major, minor and patch of a packed version in either layout (legacy patch: 24 bits). */
uint8_t qVersion_ParseMajor(uint32_t version);
uint8_t qVersion_ParseMinor(uint32_t version);
uint32_t qVersion_ParsePatch(uint32_t version);

/* Writes "major.minor.patch" into buffer, bounded by size (always terminated when size > 0).
 * Returns the formatter's count (the full length, even when truncated). */
int qVersion_ParseString(uint32_t version, char* buffer, size_t size);

/* The library's own version, 2.11.4. */
uint8_t qVersion_GetMajor();
uint8_t qVersion_GetMinor();
uint8_t qVersion_GetPatch();

/* The library version as text ("2.11.4"), from a static buffer filled on the first call. */
const char* qVersion_GetString();

/* True when (major, minor, patch) is at least (reqMajor, reqMinor, reqPatch), compared element
 * by element, most significant first. */
bool qVersion_IsAtLeastCompare(uint8_t major, uint8_t minor, uint8_t patch, uint8_t reqMajor,
                               uint8_t reqMinor, uint8_t reqPatch);

/* True when the library's own version is at least the given one. */
bool qVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch);

/* True when `name` is one of the library's feature names; false for null. */
bool qVersion_HasFeature(const char* name);

/* Newly allocated text, one "name - description" line per feature joined by "\n"; the caller
 * frees it with qVersion_DestroyFeatureList. Null when memory runs out. */
char* qVersion_GetFeatureList();

/* Frees a feature list and sets *text to null; accepts null. */
void qVersion_DestroyFeatureList(char** text);
