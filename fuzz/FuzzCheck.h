#pragma once
// A fuzz target's check: it stops the run with the property the input broke.

#include <cstdio>
#include <cstdlib>

namespace qz::fuzz {

inline void Check(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

} // namespace qz::fuzz
