// Runs of string pointers in stable blocks.

#include "base/pointer_arena.h"

#include <algorithm>

namespace vexta {

const char** PointerArena::Room(std::size_t c) {
    if (iBlock_ < rgblock_.size() && cUsed_ + c > rgblock_[iBlock_].c) {
        ++iBlock_;
        cUsed_ = 0;
    }
    if (iBlock_ == rgblock_.size()) rgblock_.emplace_back();
    Block& block = rgblock_[iBlock_];
    if (block.c < c) {
        // A new block, or a kept one too small for a long run (its runs
        // were forgotten: only a cleared arena comes back to a kept block).
        block.c = std::max(kBlockSize, c);
        block.pp = std::make_unique_for_overwrite<const char*[]>(block.c);
    }
    return block.pp.get() + cUsed_;
}

} // namespace vexta
