// Feature matching at data lines, feature counts and per-line feature links.

#include "features/feature_match.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vexta {

namespace {

// Value and whole-tag conditions are the only ones that read a tag.
constexpr bool ReadsTag(int iElem) {
    return (iElem >= kElemValue && iElem < kElemAC) || iElem == kElemTag;
}

// The fourth "|"-separated field of a line text, or false when the line has
// fewer than four fields.
bool LemmaOfLine(std::string_view szLine, std::string_view& szLemma) {
    std::size_t iStart = 0;
    for (int cBar = 0; cBar < 3; ++cBar) {
        const std::size_t iBar = szLine.find('|', iStart);
        if (iBar == std::string_view::npos) return false;
        iStart = iBar + 1;
    }
    const std::size_t iEnd = szLine.find('|', iStart);
    szLemma = szLine.substr(iStart, iEnd == std::string_view::npos ? iEnd : iEnd - iStart);
    return true;
}

bool LemmaHolds(std::string_view szLine, const DlData& dl, const char* pszValue) {
    if (pszValue == nullptr) return false;
    if (dl.pszLemma != nullptr) {
        // The stored lemma is the fourth field of the line, interned.
        return dl.pszLemma == pszValue || std::strcmp(dl.pszLemma, pszValue) == 0;
    }
    std::string_view szLemma;
    return LemmaOfLine(szLine, szLemma) && szLemma == pszValue;
}

// Whether the line's AC string of tag element t is pszValue (interned).
bool ACIs(const DlData& dl, std::size_t t, const char* pszValue) {
    return t < dl.rgpszAC.size() && dl.rgpszAC[t] == pszValue;
}

// The condition test shared by tagging and training. Conditions on tag
// elements or AC strings that the line does not have never hold.
[[gnu::always_inline]] inline bool CondHolds(const Model& m, std::string_view szLine,
                                             const DlData& dl, int iElem, const char* pszValue,
                                             const char* pszTag) {
    if (iElem >= kElemValue && iElem < kElemAC) {
        return iElem < m.cTagElem && pszTag != nullptr && pszValue != nullptr &&
               pszValue[0] == pszTag[iElem];
    }
    if (iElem >= kElemAC && iElem < kElemACMember)
        return ACIs(dl, static_cast<std::size_t>(iElem - kElemAC), pszValue);
    if (iElem >= kElemACMember && iElem < kElemUnassigned) {
        const auto t = static_cast<std::size_t>(iElem - kElemACMember);
        if (t >= dl.rgpszAC.size() || pszValue == nullptr || dl.rgpszAC[t] == nullptr) return false;
        const char chValue = pszValue[0];
        if (chValue == '\0') return false;
        for (const char* p = dl.rgpszAC[t]; *p != '\0'; ++p) {
            if (*p == chValue) return true;
        }
        return false;
    }
    switch (iElem) {
    case kElemTag:
        return pszTag != nullptr && pszValue != nullptr &&
               (pszTag == pszValue ||
                std::strncmp(pszTag, pszValue, static_cast<std::size_t>(m.cTagElem)) == 0);
    case kElemLemmaAC:
        return false;
    case kElemForm:
        return pszValue == dl.pszForm;
    case kElemLemma:
        return LemmaHolds(szLine, dl, pszValue);
    default:
        return true; // any tag (123) and the unassigned codes
    }
}

[[gnu::always_inline]] inline bool CondAtLine(const Model& m, const DataTable& dt, long il,
                                              int iElem, const char* pszValue, const char* pszTag) {
    const auto i = static_cast<std::size_t>(il);
    return CondHolds(m, dt.rgpszDataLine[i], dt.rgdl[i], iElem, pszValue, pszTag);
}

// The tag element of a condition on an AC string, or -1 for other
// conditions.
long IndexOfAC(int iElem) {
    return iElem >= kElemAC && iElem < kElemACMember ? iElem - kElemAC : -1;
}

// Whether the AC string of element t at line r is pszValue (interned), as
// CondHolds tests it; the closest searches make this test most often.
bool HasAC(const DataTable& dt, long r, long t, const char* pszValue) {
    return ACIs(dt.rgdl[static_cast<std::size_t>(r)], static_cast<std::size_t>(t), pszValue);
}

// Whether the term holds at line il. In tagging (kTagging) the tags of lines
// to the left come from the beam path.
template <bool kTagging>
[[gnu::always_inline]] inline bool TermHolds(const Model& m, const FeatureTerm& ft,
                                             const DataTable& dt, long il, BeamPath* ppath) {
    const auto TrueTag = [&dt](long r) { return dt.rgdl[static_cast<std::size_t>(r)].pszTag; };
    long r = 0;
    const char* pszTag = nullptr;
    if (ft.iPos == kPosEmpty) return true;
    if (ft.iPos == kPosClosestLeft) {
        bool fFound = false;
        const long tAC = IndexOfAC(ft.iClosestConditionElem);
        for (r = il - 1; r >= 0 && il - r <= kClosestMax; --r) {
            if (tAC >= 0) {
                if (!HasAC(dt, r, tAC, ft.pszClosestValue)) continue;
                fFound = true;
                break;
            }
            const char* pszTagR = nullptr;
            if (ReadsTag(ft.iClosestConditionElem)) {
                if constexpr (kTagging) {
                    pszTagR = ppath->TagAt(r, ft.iClosestConditionElem);
                } else {
                    pszTagR = TrueTag(r);
                }
            }
            if (CondAtLine(m, dt, r, ft.iClosestConditionElem, ft.pszClosestValue, pszTagR)) {
                fFound = true;
                break;
            }
        }
        if (!fFound) return false;
        if (ReadsTag(ft.iConditionElem)) {
            if constexpr (kTagging) {
                pszTag = ppath->TagAt(r, ft.iConditionElem);
            } else {
                pszTag = TrueTag(r);
            }
        }
    } else {
        if (ft.iPos == kPosClosestRight) {
            bool fFound = false;
            const long tAC = IndexOfAC(ft.iClosestConditionElem);
            for (r = il + 1; r < dt.clLines && r - il <= kClosestMax; ++r) {
                if (tAC >= 0) {
                    if (!HasAC(dt, r, tAC, ft.pszClosestValue)) continue;
                    fFound = true;
                    break;
                }
                const char* pszTagR = ReadsTag(ft.iClosestConditionElem) ? TrueTag(r) : nullptr;
                if (CondAtLine(m, dt, r, ft.iClosestConditionElem, ft.pszClosestValue, pszTagR)) {
                    fFound = true;
                    break;
                }
            }
            if (!fFound) return false;
        } else {
            r = il + ft.iPos;
            if (r < 0 || r >= dt.clLines) return false;
        }
        if (ReadsTag(ft.iConditionElem)) {
            if (kTagging && r < il) {
                pszTag = ppath->TagAt(r, ft.iConditionElem);
            } else {
                pszTag = TrueTag(r);
            }
        }
    }
    return CondAtLine(m, dt, r, ft.iConditionElem, ft.pszValue, pszTag);
}

// Matches the feature at line il: every term holds.
template <bool kTagging>
bool MatchFeature(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il,
                  BeamPath* ppath) {
    for (int iTerm = 0; iTerm < fd.cTerms; ++iTerm) {
        const FeatureTerm& ft = fd.rgftTerm[static_cast<std::size_t>(iTerm)];
        if (!TermHolds<kTagging>(m, ft, dt, il, ppath)) return false;
    }
    return true;
}

// Calls fn(il) for every line of the AC in the table: all stored lines for
// the all-data AC, else the chain from ilDataFirst through rgilNextAC.
template <typename Fn>
void ForEachLineOfAC(const DataTable& dt, int iTE, const AmbClass& ac, Fn fn) {
    if (ac.fACIgnore) {
        for (long il = 0; il < dt.clData; ++il) fn(il);
        return;
    }
    const std::vector<long>& rgilNext = dt.rgilNextAC[static_cast<std::size_t>(iTE)];
    for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData;
         il = rgilNext[static_cast<std::size_t>(il)]) {
        fn(il);
    }
}

bool IsMistagged(const DataTable& dt, int iTE, long il) {
    return dt.rgrgfErr[static_cast<std::size_t>(iTE)][static_cast<std::size_t>(il)] != 0;
}

} // namespace

int FeatureCmpTag(const Model& m, const DataTable& dt, long il, int iElem, const char* pszValue,
                  const char* pszTag) {
    return CondAtLine(m, dt, il, iElem, pszValue, pszTag) ? 1 : 0;
}

int FeatureCmpTrain(const Model& m, std::string_view szLine, const DlData& dl, int iElem,
                    const char* pszValue) {
    return CondHolds(m, szLine, dl, iElem, pszValue, dl.pszTag) ? 1 : 0;
}

const char* BeamPath::TagBeyondKept(long r) {
    const long d = il_ - r;
    if (!fRead_) {
        // The first request starts the walk (the table is not read before).
        fRead_ = true;
        fValid_ = ItemInUse(dt_, ilCur_, iItemCur_);
    }
    if (d > kKept) {
        // Farther than any term reaches: a walk of its own, nothing kept.
        long il = il_ - 1;
        int iItem = iItemFirst_;
        for (; il > r && ItemInUse(dt_, il, iItem); --il) iItem = Item(il, iItem).iBack;
        return ItemInUse(dt_, il, iItem) ? Item(il, iItem).pszTag.data() : nullptr;
    }
    // Walk on from the farthest line reached, keeping each tag passed.
    while (true) {
        const char* pszTag = fValid_ ? Item(ilCur_, iItemCur_).pszTag.data() : nullptr;
        if (il_ - ilCur_ > cKept_) rgpszTag_[static_cast<std::size_t>(cKept_++)] = pszTag;
        if (ilCur_ <= r) return pszTag;
        if (fValid_) iItemCur_ = Item(ilCur_, iItemCur_).iBack;
        --ilCur_;
        fValid_ = fValid_ && ItemInUse(dt_, ilCur_, iItemCur_);
    }
}

int Feature(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il) {
    BeamPath path(dt, il);
    return MatchFeature<true>(m, fd, dt, il, &path) ? 1 : 0;
}

int FeatureOnPath(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il,
                  BeamPath& path) {
    return MatchFeature<true>(m, fd, dt, il, &path) ? 1 : 0;
}

bool TermOnPath(const Model& m, const FeatureTerm& ft, const DataTable& dt, long il,
                BeamPath& path) {
    return TermHolds<true>(m, ft, dt, il, &path);
}

int FeatureTrain(const Model& m, const FeatureDesc& fd, const DataTable& dt, long il) {
    return MatchFeature<false>(m, fd, dt, il, nullptr) ? 1 : 0;
}

int ComputeFeatureCounts(const Model& m, const DataTable& dtTrain, const DataTable& /*dtHeldout*/,
                         int iTE, const AmbClass& ac, long& clErr, FeatureDesc& fd) {
    fd.clCntNoFire = 0;
    fd.clCnt = 0;
    if (fd.cCntTagElemGivenFeature > 0 &&
        fd.rgclCntTagElemGivenFeature.size() <
            static_cast<std::size_t>(fd.cCntTagElemGivenFeature)) {
        fd.rgclCntTagElemGivenFeature.resize(static_cast<std::size_t>(fd.cCntTagElemGivenFeature));
    }
    std::fill(fd.rgclCntTagElemGivenFeature.begin(), fd.rgclCntTagElemGivenFeature.end(), 0L);
    clErr = 0;
    ForEachLineOfAC(dtTrain, iTE, ac, [&](long il) {
        if (!MatchFeature<false>(m, fd, dtTrain, il, nullptr)) {
            ++fd.clCntNoFire;
            return;
        }
        ++fd.clCnt;
        if (IsMistagged(dtTrain, iTE, il)) ++clErr;
        const char chTrue = dtTrain.rgdl[static_cast<std::size_t>(il)].pszTag[iTE];
        const int k = GetTagIndexInAmbClass(m, chTrue, fd);
        if (k >= 0 && static_cast<std::size_t>(k) < fd.rgclCntTagElemGivenFeature.size()) {
            ++fd.rgclCntTagElemGivenFeature[static_cast<std::size_t>(k)];
        }
    });
    return 0;
}

int LinkFeature(const Model& m, DataTable& dt, const DataTable& /*dt2*/, int iTE,
                const AmbClass& ac, long& clErr, long& ilFirst, const FeatureDesc& fd) {
    ilFirst = -1;
    clErr = 0;
    ForEachLineOfAC(dt, iTE, ac, [&](long il) {
        const char* pszAC =
            dt.rgdl[static_cast<std::size_t>(il)].rgpszAC[static_cast<std::size_t>(iTE)];
        if (pszAC[0] == '\0' || pszAC[1] == '\0') return; // nothing to decide on this line
        if (!MatchFeature<false>(m, fd, dt, il, nullptr)) return;
        dt.rgilNextFeature[static_cast<std::size_t>(iTE)][static_cast<std::size_t>(il)] = ilFirst;
        ilFirst = il;
        if (IsMistagged(dt, iTE, il)) ++clErr;
    });
    return 0;
}

int LinkTrainFeature(const Model& /*m*/, DataTable& dt, const DataTable& /*dt2*/, long ilFirst,
                     FeatureDesc& fd, std::FILE* pfLog, bool fTemporary) {
    std::fprintf(pfLog, "Allocating (both) links from %ld... ", ilFirst);
    const int t = fd.iTagElem;
    const auto kt = static_cast<std::size_t>(t);
    const std::vector<long>& rgilNext = dt.rgilNextFeature[kt];
    std::vector<FeatureLink*>& rgplink = dt.rgplinkFeature[kt];
    std::vector<FeatureLink*>& rgplink2 = dt.rgplinkFeature2[kt];
    long cLinked = 0;
    for (long il = ilFirst; il >= 0 && il < dt.clData;
         il = rgilNext[static_cast<std::size_t>(il)]) {
        const auto i = static_cast<std::size_t>(il);
        if (fTemporary) {
            FeatureLink* plink = NewFeatureLink(dt, t);
            *plink = FeatureLink{&fd, rgplink[i], nullptr, il};
            rgplink[i] = plink;
        }
        FeatureLink* plink2 = NewFeatureLink(dt, t);
        *plink2 = FeatureLink{&fd, rgplink2[i], nullptr, il};
        rgplink2[i] = plink2;
        if (cLinked < 4) std::fprintf(pfLog, "%ld,", il);
        ++cLinked;
    }
    std::fprintf(pfLog, "[[%ld]]\n", cLinked);
    return 0;
}

} // namespace vexta
