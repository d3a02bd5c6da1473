// Runs of items kept in blocks that never move, so a run keeps its address
// until the store is cleared. Clearing keeps the blocks for reuse: a store
// filled and cleared over and over allocates only while it grows to its
// largest fill. The arenas of copied strings and of pointer lists are built
// on it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace vexta {

template <typename T, std::size_t kBlockSize> class StableBlocks {
public:
    // Room for c items after the last run kept, in one piece: filled by the
    // caller and kept with Keep. Valid until the next Room or Clear.
    T* Room(std::size_t c) {
        if (iBlock_ < rgblock_.size() && cUsed_ + c > rgblock_[iBlock_].c) {
            ++iBlock_;
            cUsed_ = 0;
        }
        if (iBlock_ == rgblock_.size()) rgblock_.emplace_back();
        Block& block = rgblock_[iBlock_];
        if (block.c < c) {
            // A new block, or a kept one too small for a long run (its runs
            // were forgotten: only a cleared store comes back to a kept block).
            block.c = std::max(kBlockSize, c);
            block.p = std::make_unique_for_overwrite<T[]>(block.c);
        }
        return block.p.get() + cUsed_;
    }

    // Keeps the first c items of the room asked for last (c at most its
    // size) as a run.
    std::span<T> Keep(std::size_t c) {
        T* const p = rgblock_[iBlock_].p.get() + cUsed_;
        cUsed_ += c;
        return {p, c};
    }

    // Items taken by the runs since the last clearing (with what the blocks
    // left unused at their ends).
    std::size_t CountUsed() const {
        std::size_t c = cUsed_;
        for (std::size_t k = 0; k < iBlock_ && k < rgblock_.size(); ++k) c += rgblock_[k].c;
        return c;
    }

    // Forgets every run; their addresses may be handed out again.
    void Clear() {
        iBlock_ = 0;
        cUsed_ = 0;
    }

private:
    struct Block {
        std::unique_ptr<T[]> p;
        std::size_t c = 0;
    };
    std::vector<Block> rgblock_;
    std::size_t iBlock_ = 0; // block being filled
    std::size_t cUsed_ = 0;  // items kept in it
};

} // namespace vexta
