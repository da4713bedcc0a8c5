#pragma once
#include <cstdint>

/* Display name of a module's one-byte model number ("Varnel" for 4); "Unknown" for a
 * number without a name. The text is static: never freed. */
const char* qDefs_GetModelName(uint8_t model);
