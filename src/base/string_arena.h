// Zero-terminated copies of strings kept in blocks that never move, so the
// copies keep their addresses until the arena is cleared. Clearing keeps the
// blocks for reuse: an arena filled and cleared over and over allocates only
// while it grows to its largest fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/stable_blocks.h"

namespace vexta {

class StringArena {
public:
    // A copy of sz followed by '\0'.
    const char* Add(std::string_view sz);

    // Forgets every copy; their addresses may be handed out again.
    void Clear() {
        blocks_.Clear();
        ++uGeneration_;
    }

    // Bytes taken by the copies since the last clearing (with what the
    // blocks left unused at their ends).
    std::size_t BytesUsed() const { return blocks_.CountUsed(); }

    // Counts the clearings: the copies handed out are valid while it stays.
    std::uint64_t Generation() const { return uGeneration_; }

private:
    StableBlocks<char, 64 * 1024> blocks_;
    std::uint64_t uGeneration_ = 0;
};

} // namespace vexta
