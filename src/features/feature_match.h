// Feature matching: testing one term condition at a data line, matching a
// whole feature in training (against the true tags) and in tagging (against
// the tags of the beam path being extended), counting a feature over the
// training data, and linking the lines where a feature fires into the
// table's per-line feature lists.
//
// All strings compared here are interned in the model's string table, so the
// AC, form and whole-value tests are address comparisons. Nothing here
// allocates except LinkTrainFeature (one link entry per line and list).
#pragma once

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <tuple>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

// Closest-left and closest-right terms look at most this many lines away.
inline constexpr long kClosestMax = 4;

// 1 when the condition (element code iElem, value pszValue) holds at line il
// of the table, else 0. pszTag is the tag seen by value and whole-tag
// conditions (the beam path's or the line's own); null means no tag is known
// there, and those conditions then do not hold.
int FeatureCmpTag(const Model& m, const DataTable& dt, long il, int iElem, const char* pszValue,
                  const char* pszTag);

// The same test on one line with its own true tag: szLine is the line text,
// dl its parse.
int FeatureCmpTrain(const Model& m, std::string_view szLine, const DlData& dl, int iElem,
                    const char* pszValue);

// 1 when the feature fires at line il during tagging: lines to the left are
// seen with the tags of the path that ends at item dt.iBeamPrev of line il - 1
// (following iBack), lines from il on with their own tags.
int Feature(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il);

// 1 when the feature fires at line il with the true tags of the data.
int FeatureTrain(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il);

// Whether two tags held in TagBufs agree in their first n characters as
// strncmp compares them: up to the first difference or the end of the tag.
// Up to 16 characters, both buffers' first 16 bytes are compared at once
// (a TagBuf has them whatever the tag's length; what follows the end of the
// tag does not count).
inline bool SameTagStart(const char* pszA, const char* pszB, int n) {
#if defined(__SSE2__)
    static_assert(std::tuple_size_v<TagBuf> >= 16);
    if (n <= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pszA));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pszB));
        const unsigned uDiff =
            ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))) & 0xFFFFu;
        const unsigned uEnd =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_setzero_si128())));
        // The first position that differs or ends the tag decides.
        const int i = std::countr_zero(uDiff | uEnd | 0x10000u);
        return i >= n || ((uDiff >> i) & 1u) == 0;
    }
#endif
    return std::strncmp(pszA, pszB, static_cast<std::size_t>(n)) == 0;
}

// What a computation read of the beam path: each tag it asked for, as the
// distance to the left, the element read (a value element, or kElemTag for
// the whole tag) and the tag seen (null: the path has none there). Another
// path that shows the same values at every entry leads the same computation
// through the same steps to the same result.
struct PathReads {
    struct Read {
        int d = 0;
        int iElem = 0;
        const char* pszTag = nullptr;
    };
    static constexpr int kMax = 16;

    std::array<Read, kMax> rgRead{};
    int cRead = 0;
    bool fLost = false; // more reads than fit: the list says nothing
    int dMax = 0;       // the farthest distance listed (0: none)

    void Clear() {
        cRead = 0;
        fLost = false;
        dMax = 0;
    }
    // Adds a read unless one of the same tag and element is listed.
    void Add(int d, int iElem, const char* pszTag) {
        for (int i = 0; i < cRead; ++i) {
            const Read& rd = rgRead[static_cast<std::size_t>(i)];
            if (rd.d == d && rd.iElem == iElem) return;
        }
        if (cRead == kMax) {
            fLost = true;
            return;
        }
        rgRead[static_cast<std::size_t>(cRead++)] = {d, iElem, pszTag};
        if (d > dMax) dMax = d;
    }
    // Whether a path that shows pszTag (null: none) at the read's line
    // shows the value the read noted there.
    static bool Agrees(const Read& rd, const char* pszTag, int cTagElem) {
        if (pszTag == nullptr || rd.pszTag == nullptr) return pszTag == rd.pszTag;
        if (rd.iElem == kElemTag) {
            // The whole tag, over cTagElem characters (path tags are items'
            // TagBufs).
            return cTagElem <= 0 || SameTagStart(pszTag, rd.pszTag, cTagElem);
        }
        return rd.iElem >= cTagElem || pszTag[rd.iElem] == rd.pszTag[rd.iElem];
    }
    // For a list that reads no line but the one before (dMax <= 1): whether
    // a path whose tag there is pszPrev shows every entry.
    bool ShownByPrev(const char* pszPrev, int cTagElem) const {
        for (int i = 0; i < cRead; ++i)
            if (!Agrees(rgRead[static_cast<std::size_t>(i)], pszPrev, cTagElem)) return false;
        return true;
    }
};

// The tags of the beam path being extended at line il: item dt.iBeamPrev of
// line il - 1, then along iBack. Each line's tag is looked up once and kept,
// so all features matched at one line and beam item share the walk. A path
// that leaves the items in use (an index outside a line's cBeam) has no tags
// from there on.
class BeamPath {
public:
    // pReads, when given, receives every tag the conditions read.
    BeamPath(const DataTable& dt, long il, PathReads* pReads = nullptr)
        : BeamPath(dt, il, dt.iBeamPrev) {
        pReads_ = pReads;
    }
    // The same for the path that ends at item iItem of line il - 1.
    BeamPath(const DataTable& dt, long il, int iItem)
        : dt_(dt), il_(il), iItemFirst_(iItem), ilCur_(il - 1), iItemCur_(iItem) {}
    // The path's tag at line r < il, or null when the path has none there.
    const char* TagAt(long r) {
        const long d = il_ - r;
        if (d <= cKept_) return rgpszTag_[static_cast<std::size_t>(d - 1)];
        if (d == 1 && !fRead_) return TagFirst();
        return TagBeyondKept(r);
    }
    // The same, for a condition that reads element iElem of it (a value
    // element or kElemTag); the read is noted in the reads list.
    const char* TagAt(long r, int iElem) {
        const char* pszTag = TagAt(r);
        if (pReads_ != nullptr) pReads_->Add(static_cast<int>(il_ - r), iElem, pszTag);
        return pszTag;
    }
    // Whether a tag has been asked for.
    bool Read() const { return fRead_; }
    // Whether this path shows the values of every entry of the list.
    bool Shows(const PathReads& reads, int cTagElem) {
        for (int i = 0; i < reads.cRead; ++i) {
            const PathReads::Read& rd = reads.rgRead[static_cast<std::size_t>(i)];
            if (!PathReads::Agrees(rd, TagAt(il_ - rd.d), cTagElem)) return false;
        }
        return true;
    }

private:
    // TagAt for a line farther than the tags kept so far.
    const char* TagBeyondKept(long r);
    // The same for the first request, of line il - 1 (most are): the walk
    // starts and keeps that line's tag.
    const char* TagFirst() {
        fRead_ = true;
        fValid_ = ItemInUse(dt_, ilCur_, iItemCur_);
        const char* pszTag = fValid_ ? Item(ilCur_, iItemCur_).pszTag.data() : nullptr;
        rgpszTag_[0] = pszTag;
        cKept_ = 1;
        return pszTag;
    }
    static constexpr long kKept = 128; // beyond any term's reach to the left (124 + 4)

    static bool ItemInUse(const DataTable& dt, long il, int iItem) {
        if (il < 0) return false;
        const BeamLine& bl = dt.rgbeam[static_cast<std::size_t>(il)];
        return iItem >= 0 && iItem < bl.cBeam && static_cast<std::size_t>(iItem) < bl.rgve.size();
    }
    const VeItem& Item(long il, int iItem) const {
        return dt_.rgbeam[static_cast<std::size_t>(il)].rgve[static_cast<std::size_t>(iItem)];
    }

    const DataTable& dt_;
    long il_;
    int iItemFirst_;      // item of line il - 1 the path starts from
    long ilCur_;          // line of the farthest item reached
    int iItemCur_;        // that item
    bool fValid_ = false; // the item is in use
    long cKept_ = 0;
    bool fRead_ = false;
    PathReads* pReads_ = nullptr;
    std::array<const char*, kKept> rgpszTag_; // [d - 1]: tag d lines to the left
};

// As Feature, with the path of the caller (shared between the features
// matched at one line and beam item).
int FeatureOnPath(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il,
                  BeamPath& path);

// Whether one term of a feature holds at line il, read as FeatureOnPath
// reads it (a feature fires when all its terms hold).
bool TermOnPath(const Model& m, const FeatureTerm& ft, const DataTable& dt, long il,
                BeamPath& path);

// Fills the feature's counts over the lines of the AC in the training table:
// clCntNoFire, clCnt and rgclCntTagElemGivenFeature (sized to
// cCntTagElemGivenFeature when it is shorter); clErr receives the number of
// firing lines that are currently mis-tagged in tag element iTE. 0.
int ComputeFeatureCounts(const Model& m, const DataTable& dtTrain, const DataTable& dtHeldout,
                         int iTE, const AmbClass& ac, long& clErr, FeatureDesc& fd);

// Chains the lines of the AC where the feature fires and where the line's AC
// of iTE has at least two values through dt.rgilNextFeature, newest first;
// ilFirst receives the head (-1 none) and clErr the number of those lines
// that are mis-tagged in iTE. 0.
int LinkFeature(const Model& m, DataTable& dt, const DataTable& dt2, int iTE, const AmbClass& ac,
                long& clErr, long& ilFirst, const FeatureDesc& fd);

// Puts the feature at the front of both per-line lists (rgplinkFeature and
// rgplinkFeature2) of its tag element at every line of the chain that starts
// at ilFirst (through that element's rgilNextFeature), with progress on
// pfLog. With fTemporary false the first list, which is released when the
// element's selection ends, is left out. 0.
int LinkTrainFeature(const Model& m, DataTable& dt, const DataTable& dt2, long ilFirst,
                     FeatureDesc& fd, std::FILE* pfLog = stderr, bool fTemporary = true);

} // namespace vexta
