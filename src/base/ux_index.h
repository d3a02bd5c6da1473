// Conversions of every indexing site: a line, count or element number held in
// a signed type (lines are long so that -1 can end a chain) as a container
// index, and a value character as the unsigned byte that indexes per-value
// tables (0..255).
#pragma once

#include <cstddef>

namespace vexta {

// A non-negative index held in a signed type, as a container index.
constexpr std::size_t Idx(long il) {
    return static_cast<std::size_t>(il);
}

// A value character as the byte that indexes per-value tables.
constexpr unsigned char Byte(char ch) {
    return static_cast<unsigned char>(ch);
}

} // namespace vexta
