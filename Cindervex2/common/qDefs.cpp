#include "Cindervex2/common/qDefs.h"

namespace {

// Models 13 to 27 are numbered without gaps; 4 and 5 are the two older ones.
constexpr const char* kModels13To27[] = {
    "Molbrin", "Quilfen", "Dravok", "Fenkar", "Gorlin", "Haskel", "Jorvane", "Keltin",
    "Luskar",  "Morvik",  "Niskel", "Pravon", "Rusvel", "Sornak", "Tavrel",
};

} // namespace

const char* qDefs_GetModelName(uint8_t model)
{
    if (model == 4)
        return "Varnel";
    if (model == 5)
        return "Teskar";
    if (model >= 13 && model <= 27)
        return kModels13To27[model - 13];
    return "Unknown";
}
