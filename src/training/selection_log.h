// Where the lines of greedy selection go.
//
// A tag element selected on its own prints straight to standard error. A tag
// element selected beside others prints into a buffer of its own, which is
// written to standard error later, in tag element order, so that the log is
// the same as when the elements are selected one after another. Such an
// element does not know yet where its new features will stand in the
// feature area (that depends on how many the elements before it add): it
// numbers them kStagedIndexBase + k (its k-th new feature), prints every
// area index through Index, and the buffer is written with those numbers
// turned into area indexes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace vexta {

// Staged index of the first new feature of a tag element selected beside
// others; far above any area index.
inline constexpr long kStagedIndexBase = 1L << 40;

inline bool IsStagedIndex(long il) {
    return il >= kStagedIndexBase;
}

class SelectionLog {
public:
    SelectionLog() = default;
    ~SelectionLog();
    SelectionLog(const SelectionLog&) = delete;
    SelectionLog& operator=(const SelectionLog&) = delete;

    // From now on into an empty buffer. False when no buffer can be made
    // (the lines then go straight to standard error).
    bool Buffer();
    bool Buffered() const { return pf_ != stderr; }

    std::FILE* File() const { return pf_; }

    // Prints an area index (or a count of features, which is the index of
    // the next one): now, or, for a staged index, when the buffer is
    // written.
    void Index(long il);

    // After a line worth seeing at once in a log followed while training
    // runs: pushes standard error down to its file (nothing for a buffer).
    void LineDone() const;

    // Bytes buffered so far.
    std::size_t Size();

    // Writes the first cch bytes of the buffer (all of it by default) to
    // standard error, staged indexes kStagedIndexBase + k as ilBase + k,
    // and pushes them down to the file.
    void Write(long ilBase, std::size_t cch = static_cast<std::size_t>(-1));

private:
    struct Fill {
        std::size_t iAt; // where in the buffer the index goes
        long il;
    };
    std::FILE* pf_ = stderr;
    char* pch_ = nullptr; // the buffer, owned by the stream until it is closed
    std::size_t cch_ = 0;
    std::vector<Fill> rgFill_;
};

// Pushes what was written to standard error down to its file, so that a log
// can be followed while training runs.
void FlushStderrToFile();

} // namespace vexta
