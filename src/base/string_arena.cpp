// Zero-terminated string copies in stable blocks.

#include "base/string_arena.h"

#include <algorithm>

namespace vexta {

const char* StringArena::Add(std::string_view sz) {
    const std::size_t cbNeed = sz.size() + 1;
    if (iBlock_ < rgblock_.size() && cbUsed_ + cbNeed > rgblock_[iBlock_].cb) {
        ++iBlock_;
        cbUsed_ = 0;
    }
    if (iBlock_ == rgblock_.size()) rgblock_.emplace_back();
    Block& block = rgblock_[iBlock_];
    if (block.cb < cbNeed) {
        // A new block, or a kept one too small for a long string.
        block.cb = std::max(kBlockSize, cbNeed);
        block.pb = std::make_unique_for_overwrite<char[]>(block.cb);
    }
    char* const psz = block.pb.get() + cbUsed_;
    sz.copy(psz, sz.size());
    psz[sz.size()] = '\0';
    cbUsed_ += cbNeed;
    return psz;
}

} // namespace vexta
