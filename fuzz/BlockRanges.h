#pragma once
// The property every parameter block that reaches the engine keeps.

#include "FuzzCheck.h"
#include "ParamBlock.h"
#include "ParamTable.h"

namespace qz::fuzz {

// Every field of the block lies within its range.
inline void CheckWithinRanges(const ParamBlock& block)
{
    for (int i = 0; i < kBlockFieldCount; ++i)
        if (block.field(i) != BlockField(i).clamp(block.field(i))) {
            std::fprintf(stderr, "%s is %d\n", BlockField(i).label, int(block.field(i)));
            Check(false, "every field within its range");
        }
}

} // namespace qz::fuzz
