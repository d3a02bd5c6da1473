// The log of greedy selection, direct or buffered per tag element.

#include "training/selection_log.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace vexta {

void FlushStderrToFile() {
    std::fflush(stderr);
    // Standard error may be a terminal or a pipe, which cannot be synced.
    static_cast<void>(fsync(fileno(stderr)));
}

SelectionLog::~SelectionLog() {
    if (Buffered()) std::fclose(pf_);
    std::free(pch_);
}

bool SelectionLog::Buffer() {
    if (Buffered()) std::fclose(pf_);
    std::free(pch_);
    pch_ = nullptr;
    cch_ = 0;
    rgFill_.clear();
    std::FILE* pf = open_memstream(&pch_, &cch_);
    pf_ = pf != nullptr ? pf : stderr;
    return pf != nullptr;
}

void SelectionLog::Index(long il) {
    if (!Buffered() || !IsStagedIndex(il)) {
        std::fprintf(pf_, "%ld", il);
        return;
    }
    rgFill_.push_back({Size(), il});
}

void SelectionLog::LineDone() const {
    if (!Buffered()) FlushStderrToFile();
}

std::size_t SelectionLog::Size() {
    std::fflush(pf_);
    return Buffered() ? cch_ : 0;
}

void SelectionLog::Write(long ilBase, std::size_t cch) {
    if (!Buffered()) return;
    const bool fAll = cch >= Size();
    const std::size_t cchEnd = fAll ? cch_ : cch;
    std::size_t iFrom = 0;
    for (const Fill& fill : rgFill_) {
        // An index at the cut was printed after it.
        if (fill.iAt > cchEnd || (fill.iAt == cchEnd && !fAll)) break;
        std::fwrite(pch_ + iFrom, 1, fill.iAt - iFrom, stderr);
        iFrom = fill.iAt;
        std::fprintf(stderr, "%ld", ilBase + (fill.il - kStagedIndexBase));
    }
    std::fwrite(pch_ + iFrom, 1, cchEnd - iFrom, stderr);
    FlushStderrToFile();
}

} // namespace vexta
