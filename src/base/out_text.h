#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace vexta {

// Text built up at its end, as an output buffer. Room taken at the end is
// not filled first: the caller writes every character of it.
class OutText {
public:
    std::size_t size() const { return cch_; }
    bool empty() const { return cch_ == 0; }
    // The text; never a null pointer, so that it may go to fwrite and the
    // like even before anything has been taken.
    std::string_view View() const { return {rgch_ ? rgch_.get() : "", cch_}; }
    // The next cch characters at the end, counted in at once.
    char* Extend(std::size_t cch) {
        if (cchCap_ - cch_ < cch) Grow(cch);
        char* p = rgch_.get() + cch_;
        cch_ += cch;
        return p;
    }
    void append(std::string_view sz) {
        if (!sz.empty()) std::memcpy(Extend(sz.size()), sz.data(), sz.size());
    }
    void push_back(char ch) { *Extend(1) = ch; }
    // Empties the text; its storage stays for reuse.
    void clear() { cch_ = 0; }

private:
    void Grow(std::size_t cch) {
        const std::size_t cchNew = std::max(2 * cchCap_, cch_ + cch + 4096);
        auto rgchNew = std::make_unique_for_overwrite<char[]>(cchNew);
        if (cch_ > 0) std::memcpy(rgchNew.get(), rgch_.get(), cch_);
        rgch_ = std::move(rgchNew);
        cchCap_ = cchNew;
    }

    std::unique_ptr<char[]> rgch_; // the text in the first cch_ characters
    std::size_t cchCap_ = 0;       // characters rgch_ holds
    std::size_t cch_ = 0;          // characters in use
};

} // namespace vexta
