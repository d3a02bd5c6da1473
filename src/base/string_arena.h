// Zero-terminated copies of strings kept in blocks that never move, so the
// copies keep their addresses until the arena is cleared. Clearing keeps the
// blocks for reuse: an arena filled and cleared over and over allocates only
// while it grows to its largest fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vexta {

class StringArena {
public:
    // A copy of sz followed by '\0'.
    const char* Add(std::string_view sz);

    // Forgets every copy; their addresses may be handed out again.
    void Clear() {
        iBlock_ = 0;
        cbUsed_ = 0;
        ++uGeneration_;
    }

    // Bytes taken by the copies since the last clearing (with what the
    // blocks left unused at their ends).
    std::size_t BytesUsed() const {
        std::size_t cb = cbUsed_;
        for (std::size_t k = 0; k < iBlock_ && k < rgblock_.size(); ++k) cb += rgblock_[k].cb;
        return cb;
    }

    // Counts the clearings: the copies handed out are valid while it stays.
    std::uint64_t Generation() const { return uGeneration_; }

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;
    struct Block {
        std::unique_ptr<char[]> pb;
        std::size_t cb = 0;
    };
    std::vector<Block> rgblock_;
    std::size_t iBlock_ = 0; // block being filled
    std::size_t cbUsed_ = 0; // bytes used in it
    std::uint64_t uGeneration_ = 0;
};

} // namespace vexta
