// Event reader: turns the corpus, SGML or a file of data lines, into a stream
// of data lines, one per token:
//
//   tag "|" AC part "|" form "|" lemma "|" ">" candidate part
//
// where the AC part holds, per tag element, the sorted distinct values the
// candidate tags have there, each followed by "/", and the candidate part the
// distinct candidate tags, each followed by "/", most recently first seen
// first. Every <s> and the end of the input become boundary tokens. Outside
// Train mode the SGML pieces of each token (its gap) are kept so that tagged
// output can reproduce the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/sgml_lexer.h"

namespace vexta {

struct Model;

inline constexpr int kDataLineSize = 7998;  // line and rest buffers of every caller
inline constexpr int kTokenFieldSize = 248; // a form must be shorter than this to be stored

// The form field of a token whose form is kTokenFieldSize bytes or longer:
// the token is still read and tagged, and its text stays in the gap, so it
// is written out unchanged. A data line with this form points at this array
// itself, which is never interned: no form condition (always interned) can
// name it, and training makes none from it.
inline constexpr char szFormTooLong[] = "<long-form>";
inline constexpr int kLemmaMax = 251; // longest lemma accepted

// A line's gap in its table's store: entries iFirst .. iFirst + cEntries - 1.
struct GapSpan {
    std::size_t iFirst = 0;
    std::size_t cEntries = 0;
};

// Walks entries of a gap list one after another: each step loads one end
// and keeps it as the next entry's start, so a walk reloads nothing else.
class GapCursor {
public:
    GapCursor(const char* pch, const std::size_t* pichEnd, std::size_t ichStart)
        : pch_(pch), pichEnd_(pichEnd), ichStart_(ichStart) {}
    // The entry at the cursor; the cursor moves to the next one. Callers
    // step no further than their list's last entry.
    std::string_view Next() {
        const std::size_t ichEnd = *pichEnd_++;
        const std::string_view sz(pch_ + ichStart_, ichEnd - ichStart_);
        ichStart_ = ichEnd;
        return sz;
    }

private:
    const char* pch_;
    const std::size_t* pichEnd_;
    std::size_t ichStart_;
};

// The gap of one token: its SGML pieces in input order, each an entry of
// an SGML tag exactly as read followed by its text (or the converted tag)
// and a suffix ("" or "\n"). The entries lie one after another in one text
// with their ends beside it. Emptying the list keeps both buffers, so the
// reader fills the same storage for token after token. A data table keeps
// the gaps of all its lines in one such list (its store), each line naming
// its run of entries there (GapSpan).
class gapRecType {
public:
    gapRecType() = default;
    gapRecType(const gapRecType& other)
        : cchCap_(other.cch_), cch_(other.cch_), rgichEnd_(other.rgichEnd_) {
        if (cch_ > 0) {
            rgch_ = std::make_unique_for_overwrite<char[]>(cch_);
            std::memcpy(rgch_.get(), other.rgch_.get(), cch_);
        }
    }
    gapRecType(gapRecType&& other) noexcept { swap(other); }
    gapRecType& operator=(gapRecType other) noexcept {
        swap(other);
        return *this;
    }
    ~gapRecType() = default;

    bool Empty() const { return rgichEnd_.empty(); }
    std::size_t Count() const { return rgichEnd_.size(); }
    // Entry k (k < Count()).
    std::string_view Entry(std::size_t k) const {
        return {rgch_.get() + Start(k), rgichEnd_[k] - Start(k)};
    }
    // A cursor at entry k (k <= Count()).
    GapCursor CursorAt(std::size_t k) const {
        return {rgch_.get(), rgichEnd_.data() + k, Start(k)};
    }
    // Entries k .. kEnd - 1 as one text (k < kEnd <= Count()).
    std::string_view Text(std::size_t k, std::size_t kEnd) const {
        return {rgch_.get() + Start(k), rgichEnd_[kEnd - 1] - Start(k)};
    }
    // Appends the entry sz1 + sz2 + sz3. A tag and its text that lie side by
    // side in the reader's block are appended in one piece.
    void Add(std::string_view sz1, std::string_view sz2 = {}, std::string_view sz3 = {}) {
        char* pch = Room(sz1.size() + sz2.size() + sz3.size());
        if (!sz2.empty() && sz1.data() + sz1.size() == sz2.data()) {
            pch = Put(pch, {sz1.data(), sz1.size() + sz2.size()});
        } else {
            pch = Put(pch, sz1);
            pch = Put(pch, sz2);
        }
        pch = Put(pch, sz3);
        cch_ = static_cast<std::size_t>(pch - rgch_.get());
        rgichEnd_.push_back(cch_);
    }
    // Appends szText cut into entries at rgichEnd: entry k ends at
    // rgichEnd[k] (ascending; the last one is szText.size()).
    void AddCut(std::string_view szText, std::span<const std::uint32_t> rgichEnd) {
        const std::size_t ichBase = cch_;
        cch_ = static_cast<std::size_t>(Put(Room(szText.size()), szText) - rgch_.get());
        for (const std::uint32_t ich : rgichEnd) rgichEnd_.push_back(ichBase + ich);
    }
    // Appends entries k .. kEnd - 1 of gapFrom (another list).
    void AddEntries(const gapRecType& gapFrom, std::size_t k, std::size_t kEnd) {
        if (k >= kEnd) return;
        const std::size_t ichFrom = gapFrom.Start(k);
        const std::size_t ichShift = cch_;
        const std::string_view szFrom = gapFrom.Text(k, kEnd);
        cch_ = static_cast<std::size_t>(Put(Room(szFrom.size()), szFrom) - rgch_.get());
        for (; k < kEnd; ++k) rgichEnd_.push_back(gapFrom.rgichEnd_[k] - ichFrom + ichShift);
    }
    // Keeps only entries iFirst .. iFirst + cEntries - 1 of each run, in
    // that order at the front of the list, and points each run at its new
    // place. The runs lie in ascending order and do not overlap.
    void KeepRuns(std::span<GapSpan> rgspan);
    // Keeps the first cEntries entries (cEntries <= Count()).
    void Truncate(std::size_t cEntries) {
        cch_ = Start(cEntries);
        rgichEnd_.resize(cEntries);
    }
    void Clear() {
        cch_ = 0;
        rgichEnd_.clear();
    }
    void swap(gapRecType& other) noexcept {
        rgch_.swap(other.rgch_);
        std::swap(cchCap_, other.cchCap_);
        std::swap(cch_, other.cch_);
        rgichEnd_.swap(other.rgichEnd_);
    }

private:
    std::size_t Start(std::size_t k) const { return k == 0 ? 0 : rgichEnd_[k - 1]; }
    // Where cch more characters go, after the ones in use.
    // The buffer grows without being filled first, so its pages are taken
    // only as entries reach them.
    char* Room(std::size_t cch) {
        if (cchCap_ - cch_ < cch) {
            const std::size_t cchNew = std::max(2 * cchCap_, cch_ + cch + 256);
            auto rgchNew = std::make_unique_for_overwrite<char[]>(cchNew);
            if (cch_ > 0) std::memcpy(rgchNew.get(), rgch_.get(), cch_);
            rgch_ = std::move(rgchNew);
            cchCap_ = cchNew;
        }
        return rgch_.get() + cch_;
    }
    static char* Put(char* pch, std::string_view sz) {
        if (sz.empty()) return pch;
        std::memcpy(pch, sz.data(), sz.size());
        return pch + sz.size();
    }

    std::unique_ptr<char[]> rgch_;      // the entries, one after another, in the first cch_
    std::size_t cchCap_ = 0;            // characters rgch_ holds
    std::size_t cch_ = 0;               // characters in use
    std::vector<std::size_t> rgichEnd_; // end of each entry in rgch_
};

// The gap of one line read through its table's store.
class GapView {
public:
    GapView(const gapRecType& store, GapSpan span) : store_(store), span_(span) {}
    bool Empty() const { return span_.cEntries == 0; }
    std::size_t Count() const { return span_.cEntries; }
    std::string_view Entry(std::size_t k) const { return store_.Entry(span_.iFirst + k); }
    // A cursor at entry k (k <= Count()).
    GapCursor CursorAt(std::size_t k) const { return store_.CursorAt(span_.iFirst + k); }
    // Entries k .. Count() - 1 as one text (k < Count()).
    std::string_view TextFrom(std::size_t k) const {
        return store_.Text(span_.iFirst + k, span_.iFirst + span_.cEntries);
    }

private:
    const gapRecType& store_;
    GapSpan span_;
};

// Delivers the next token. 0 with the data line in szLine and the
// unrecognised tags of the token in szRest; -1 at the end of the input;
// kEventNoRoom for buffers of fewer than 3 characters.
// gap receives the token's gap list (none in Train mode, except the
// "<<virtualend>>" entry of the end-of-input token, and none for line-format
// input). Both buffers have the same size (kDataLineSize from all callers).
// Every error is a line-numbered fatal error.
int GetEvent(std::span<char> szLine, std::span<char> szRest, gapRecType& gap, pdfRecType& pdf,
             const Model& m);

// As GetEvent, but the token's gap entries are appended to gap after the
// entries it holds, so that a table's gap store takes them without a copy.
int GetEventOntoGap(std::span<char> szLine, std::span<char> szRest, gapRecType& gap,
                    pdfRecType& pdf, const Model& m);

// The data line GetEventOntoGap has just put into szLine: its first
// pdf.lineParts.cch characters when they hold no zero byte, else the text up
// to the first one.
inline std::string_view EventLine(std::span<const char> szLine, const pdfRecType& pdf) {
    return pdf.lineParts.fNoZeroByte ? std::string_view(szLine.data(), pdf.lineParts.cch)
                                     : std::string_view(szLine.data());
}

// Results of ConvertTag besides 0 (the tag is a source tag, szOut its target).
inline constexpr int kTagNoTable = -1;  // no table loaded: szOut is the tag
inline constexpr int kTagIsTarget = -2; // a target tag already: szOut is the tag
inline constexpr int kTagUnknown = 1;   // in neither direction

// Converts a tag through the reader's tag table: 0 or one of the codes above.
int ConvertTag(pdfRecType& pdf, std::string_view& szOut, std::string_view szTag);

// Result of InsertEvent (and of GetEvent) when the line buffer is too small.
inline constexpr int kEventNoRoom = 2;

// Assembles a data line into szLine: 0, or kEventNoRoom when it would not fit
// (at most size - 2 characters). With pparts, where its pieces end goes there
// (fKnown false when it does not fit).
int InsertEvent(std::span<char> szLine, std::string_view szTag, std::string_view szACPart,
                std::string_view szForm, std::string_view szLemma, std::string_view szMMtPart,
                DataLineParts* pparts = nullptr);

// Appends the entry of the reader's current tag (svTag) followed by szText
// (its own text or what replaces it) and szSuffix to the list. 0.
int AddToGap(const pdfRecType& pdf, std::string_view szText, gapRecType& gap,
             std::string_view szSuffix);

// Empties the list (its storage stays for reuse). 0.
int FreeGap(gapRecType& gap);

} // namespace vexta
