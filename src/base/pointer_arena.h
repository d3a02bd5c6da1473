// Runs of string pointers kept in blocks that never move, so a run keeps its
// address until the arena is cleared: the lists of a table's parsed lines,
// shared by the lines that have the same list. Clearing keeps the blocks for
// reuse, as StringArena does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/stable_blocks.h"

namespace vexta {

class PointerArena {
public:
    // Room for c pointers after the last run kept, in one piece: filled by
    // the caller and kept with Keep. Valid until the next Room or Clear.
    const char** Room(std::size_t c) { return blocks_.Room(c); }

    // Keeps the first c pointers of the room asked for last (c at most its
    // size) as a run.
    std::span<const char* const> Keep(std::size_t c) { return blocks_.Keep(c); }

    // Bytes taken by the runs since the last clearing (with what the blocks
    // left unused at their ends).
    std::size_t BytesUsed() const { return blocks_.CountUsed() * sizeof(const char*); }

    // Forgets every run; their addresses may be handed out again.
    void Clear() { blocks_.Clear(); }

    // Clears the arena when its runs were kept for another state than
    // uState of what they point to (the generation of a store of strings),
    // and notes uState.
    void Follow(std::uint64_t uState) {
        if (uState == uState_) return;
        Clear();
        uState_ = uState;
    }

private:
    StableBlocks<const char*, 8 * 1024> blocks_;
    std::uint64_t uState_ = 0;
};

} // namespace vexta
