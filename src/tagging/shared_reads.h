// The path reads of the answers that serve one beam item, combined per
// distance, so that another item of the same beam can be checked against
// all of them in one walk of its path: at each line, one comparison of the
// characters read, 16 at once. An item whose path shows every read is served by
// the same answers.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "corpus/data_table.h"
#include "features/feature_match.h"
#include "model/model.h"

namespace vexta {

class SharedReads {
public:
    // Reads farther to the left than this make the combination unusable.
    static constexpr int kDepth = 4;

    // Starts an empty combination of reads taken on the path that ends at
    // item iItem of line il - 1.
    void Start(const DataTable& dt, long il, int iItem, int cTagElem) {
        pdt_ = &dt;
        il_ = il;
        ilWalk_ = il - 1;
        iItemWalk_ = iItem;
        cTagElem_ = cTagElem;
        cMaskable_ = static_cast<unsigned>(std::clamp(cTagElem, 0, 16));
        dMax_ = 0;
        dWalked_ = 0;
        fWalkInUse_ = true;
        fUsable_ = true;
    }
    // Makes the combination unusable (an answer that serves no other item,
    // or one that cannot be combined).
    void Drop() { fUsable_ = false; }
    bool Usable() const { return fUsable_; }

    // Adds the reads of one answer taken on the starting path. A read
    // farther than kDepth, of a line where the path has no tag, of a tag
    // other than the path's, or of characters beyond the first 16 drops the
    // combination.
    void Add(const PathReads& reads) {
        bool fUsable = fUsable_ && !reads.fLost;
        for (int i = 0; fUsable && i < reads.cRead; ++i) fUsable = AddRead(reads.rgRead[Idx(i)]);
        fUsable_ = fUsable;
    }

    // Whether the path that ends at item iItem of line il - 1, an item in
    // use, shows the value of every read added, as BeamPath::Shows checks
    // each answer.
    bool ShownBy(int iItem) const {
        long il = il_ - 1;
        for (int d = 1; d <= dMax_; ++d, --il) {
            if (d > 1 && !InUse(*pdt_, il, iItem)) return false;
            const VeItem& ve = pdt_->rgbeam[static_cast<std::size_t>(il)].rgve[Idx(iItem)];
            const Level& lv = rglevel_[Idx(d - 1)];
            // The same item: both paths go on alike.
            if (ve.pszTag.data() == lv.pszTag) return true;
            if (!lv.Matches(ve.pszTag)) return false;
            iItem = ve.iBack;
        }
        return true;
    }

private:
    static_assert(std::tuple_size_v<TagBuf> >= 16);
    static constexpr std::size_t Idx(int i) { return static_cast<std::size_t>(i); }

    // Bit i set where the first 16 bytes of the two TagBufs agree.
    static unsigned SameBytes(const char* pszA, const char* pszB) {
#if defined(__SSE2__)
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pszA));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pszB));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
#else
        unsigned u = 0;
        for (unsigned i = 0; i < 16; ++i) u |= static_cast<unsigned>(pszA[i] == pszB[i]) << i;
        return u;
#endif
    }

    // The characters of a tag that its reads compare (bit i: character i),
    // and the tag of the starting path at that distance.
    struct Level {
        unsigned uMask = 0;
        const char* pszTag = nullptr;

        bool Matches(const TagBuf& tag) const {
            return (SameBytes(tag.data(), pszTag) & uMask) == uMask;
        }
    };

    static bool InUse(const DataTable& dt, long il, int iItem) {
        if (il < 0) return false;
        const BeamLine& bl = dt.rgbeam[static_cast<std::size_t>(il)];
        return iItem >= 0 && iItem < bl.cBeam && Idx(iItem) < bl.rgve.size();
    }

    // Looks up the starting path's tags as far as d lines to the left, each
    // level cleared. Once the path leaves the items in use, it has no tags.
    void Walk(int d) {
        for (; dWalked_ < d; ++dWalked_, --ilWalk_) {
            Level& lv = rglevel_[Idx(dWalked_)];
            lv = Level{};
            fWalkInUse_ = fWalkInUse_ && InUse(*pdt_, ilWalk_, iItemWalk_);
            if (fWalkInUse_) {
                const VeItem& ve =
                    pdt_->rgbeam[static_cast<std::size_t>(ilWalk_)].rgve[Idx(iItemWalk_)];
                lv.pszTag = ve.pszTag.data();
                iItemWalk_ = ve.iBack;
            }
        }
    }

    // Adds one read; false when it cannot be combined.
    bool AddRead(const PathReads::Read& rd) {
        const auto iLevel = static_cast<unsigned>(rd.d - 1);
        if (iLevel >= static_cast<unsigned>(kDepth)) return false;
        if (rd.d > dWalked_) Walk(rd.d);
        Level& lv = rglevel_[iLevel];
        if (rd.pszTag != lv.pszTag || rd.pszTag == nullptr) return false;
        if (rd.d > dMax_) dMax_ = rd.d;
        if (static_cast<unsigned>(rd.iElem) < cMaskable_) {
            lv.uMask |= 1u << rd.iElem;
        } else if (rd.iElem == kElemTag) {
            // The whole tag as strncmp compares it over cTagElem characters:
            // up to its end, which is compared too when it comes before.
            if (cTagElem_ > 16) return false;
            static constexpr TagBuf kNone{};
            const int iEnd = std::countr_zero(SameBytes(rd.pszTag, kNone.data()) | 0x10000u);
            const int cch = std::min(iEnd + 1, cTagElem_);
            if (cch > 0) lv.uMask |= (2u << (cch - 1)) - 1;
        } else if (rd.iElem < cTagElem_) {
            return false; // below 0, or beyond the first 16 characters
        }                 // an element beyond the tag's agrees whatever the path shows
        return true;
    }

    const DataTable* pdt_ = nullptr;
    long il_ = 0;
    long ilWalk_ = 0; // the starting path's walk: the next line and item
    int iItemWalk_ = 0;
    int cTagElem_ = 0;
    unsigned cMaskable_ = 0; // value elements compared under the mask
    int dMax_ = 0;           // the farthest read added
    int dWalked_ = 0;        // levels of the starting path looked up
    bool fWalkInUse_ = true;
    bool fUsable_ = false;
    std::array<Level, kDepth> rglevel_;
};

} // namespace vexta
