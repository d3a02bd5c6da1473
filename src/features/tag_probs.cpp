// The probability model: raw exponential scores of the values of one tag
// element at one line, normalised and smoothed.
//
// Whether a feature fires does not depend on the value, so the fast path
// matches every feature once and multiplies its factors into all values.
// Each value still receives the same factors in the same order as in the
// value-by-value computation, so the numbers are identical. The diagnostic
// traces follow the value-by-value order; when any of them is switched on,
// or a score has to be repaired (which is reported per value), the
// value-by-value computation runs instead.

#include "features/tag_probs.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/ux_base.h"
#include "base/ux_index.h"
#include "features/feature_chains.h"
#include "features/feature_match.h"

namespace vexta {

namespace {

// Whether r is a line of a table of clLines lines, in one comparison: a
// line before the first wraps round to a large one.
[[gnu::always_inline]] inline bool IsTableLine(long r, long clLines) {
    return static_cast<unsigned long>(r) < static_cast<unsigned long>(clLines);
}

constexpr double kNonFiniteScore = 5555.0; // replaces a score that is no longer finite

// What one call works on, found before any score is computed.
struct ProbsSetup {
    int fTraining = 0;
    const char* pszAC = nullptr;          // the AC string whose values are scored
    int n = 0;                            // its length
    const AmbClass* pacRec = nullptr;     // its record, or null
    const AmbClass* pacAllData = nullptr; // the tag element's all-data AC, or null
    long ilChainFirst = -1;               // first feature of the chain walked first
    const double* pdWClass = nullptr;     // the unigram probabilities, when laid out
    const double* pdPNoFire = nullptr;    // the probabilities when no feature fires, when laid out
    int iBestNoFire = 0;                  // the best value then
};

// Fills the setup; returns kProbsSingleValue (iBest set) when nothing is to
// be computed, else kProbsFired.
[[gnu::always_inline]] inline int Prepare(ProbsSetup& s, int fTraining, const AmbClass* pac,
                                          int& iBest, const Model& m, int iTE, const DataTable& dt,
                                          long ilData) {
    s.fTraining = fTraining;
    const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(iTE)];
    if (te.clAmbClass > 0) {
        s.pacAllData = &m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst)];
    }
    if (fTraining == kProbsModeTrial && pac != nullptr && !pac->fACIgnore) {
        s.pacRec = pac;
        s.pszAC = pac->pszAmbClass;
    } else {
        s.pszAC = dt.rgdl[static_cast<std::size_t>(ilData)].rgpszAC[static_cast<std::size_t>(iTE)];
        if (s.pszAC[0] == '\0' || s.pszAC[1] == '\0') {
            // One value (or, for a malformed line, none): nothing to choose.
            iBest = Byte(s.pszAC[0]);
            return kProbsSingleValue;
        }
        if (fTraining == kProbsModeTag && m.pChains) {
            // The laid-out chains know the classes by AC string.
            const FeatureChains& chains = *m.pChains;
            const FeatureChains::ClassEntry* pentry = chains.ClassOf(iTE, s.pszAC);
            if (pentry != nullptr) {
                s.pacRec = pentry->pac;
                s.n = pentry->n;
                s.pdWClass = chains.rgdW.data() + pentry->iW;
                if (chains.dRawNoFire == m.dRawExpWeight) {
                    s.pdPNoFire = chains.rgdPNoFire.data() + pentry->iW;
                    s.iBestNoFire = pentry->iBestNoFire;
                }
                s.ilChainFirst = s.pacRec->ilPacFeatureFirst;
                return kProbsFired;
            }
        } else {
            // The first AC of the tag element is the all-data AC, never the line's.
            const long ilEnd = te.ilAmbClassFirst + te.clAmbClass;
            for (long il = te.ilAmbClassFirst + 1; il < ilEnd; ++il) {
                const AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(il)];
                if (ac.pszAmbClass == s.pszAC) {
                    s.pacRec = &ac;
                    break;
                }
            }
        }
    }
    s.n = static_cast<int>(std::strlen(s.pszAC));
    if (fTraining == kProbsModeTrial) {
        // The candidate under trial is the head of the argument's chain.
        if (pac != nullptr) s.ilChainFirst = pac->ilPacFeatureFirst;
    } else if (s.pacRec != nullptr) {
        s.ilChainFirst = s.pacRec->ilPacFeatureFirst;
    }
    return kProbsFired;
}

long FeatureIndex(const Model& m, const FeatureDesc& fd) {
    const FeatureDesc* pfdArea = m.rgfdFeatureArea.data();
    const std::less_equal<const FeatureDesc*> le;
    if (le(pfdArea, &fd) &&
        std::less<const FeatureDesc*>()(&fd, pfdArea + m.rgfdFeatureArea.size())) {
        return &fd - pfdArea;
    }
    return fd.iFeature;
}

// Calls fn(feature) for the features of the mode, in order: the chain (all of
// it, or its head in mode 1) and the all-data AC's chain in modes 0 and 2;
// the head and the qualifying line links in mode 1; the links in mode 3.
template <typename Fn>
void ForEachFeature(const ProbsSetup& s, const Model& m, int iTE, const DataTable& dt, long ilData,
                    Fn fn) {
    const auto cArea = static_cast<long>(m.rgfdFeatureArea.size());
    const auto WalkChain = [&](long il, bool fHeadOnly) {
        while (il >= 0 && il < cArea) {
            const FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(il)];
            fn(fd);
            if (fHeadOnly) break;
            il = fd.ilNextFeature;
        }
    };
    if (s.fTraining == kProbsModeTrainCtx || s.fTraining == kProbsModeTag) {
        WalkChain(s.ilChainFirst, false);
        if (s.pacAllData != nullptr) WalkChain(s.pacAllData->ilPacFeatureFirst, false);
        return;
    }
    if (s.fTraining == kProbsModeTrial) WalkChain(s.ilChainFirst, true);
    for (const FeatureLink* plink = LinkedFeatures(dt, iTE, ilData); plink != nullptr;
         plink = plink->pNext) {
        const FeatureDesc& fd = *plink->pfd;
        if (fd.iTagElem != iTE || fd.pacOfFeature == nullptr) continue;
        if (fd.pacOfFeature == s.pacRec || fd.pacOfFeature->fACIgnore) fn(fd);
    }
}

bool Fires(const ProbsSetup& s, const Model& m, const FeatureDesc& fd, const DataTable& dt,
           long ilData, BeamPath& path) {
    switch (s.fTraining) {
    case kProbsModeTrainCtx:
        return FeatureTrain(m, fd, dt, ilData) != 0;
    case kProbsModeTag:
        return FeatureOnPath(m, fd, dt, ilData, path) != 0;
    default:
        return true; // links and the candidate were matched when they were made
    }
}

// Unigram probabilities W of the values of the AC string.
void Unigrams(const ProbsSetup& s, const Model& m, int iTE, double u, double* pdW) {
    if (s.pacRec != nullptr) {
        for (int i = 0; i < s.n; ++i) pdW[i] = ClassUnigram(*s.pacRec, i, u);
        return;
    }
    const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(iTE)];
    long clTotal = 0;
    for (int i = 0; i < s.n; ++i) clTotal += te.rgclSubtagCnt[Byte(s.pszAC[i])];
    for (int i = 0; i < s.n; ++i) {
        const long cl = te.rgclSubtagCnt[Byte(s.pszAC[i])];
        pdW[i] = clTotal == 0 ? u : static_cast<double>(cl) / static_cast<double>(clTotal);
    }
}

// Indexes of the AC string's values in the AC strings of the features that
// fire, computed once per distinct feature AC and call. Two slots cover the
// usual case (the line's own AC and the all-data AC).
class IndexCache {
public:
    IndexCache(const Model& m, const ProbsSetup& s) : m_(m), s_(s) {}

    const short* For(const FeatureDesc& fd) {
        const int fIgnore = fd.pacOfFeature != nullptr && fd.pacOfFeature->fACIgnore ? 1 : 0;
        for (Slot& slot : rgslot_) {
            if (slot.pszAC == fd.pszACFeature && slot.fIgnore == fIgnore) return slot.rgk.data();
        }
        Slot& slot = rgslot_[iNext_];
        iNext_ = (iNext_ + 1) % rgslot_.size();
        slot.pszAC = fd.pszACFeature;
        slot.fIgnore = fIgnore;
        for (int i = 0; i < s_.n; ++i) {
            slot.rgk[static_cast<std::size_t>(i)] =
                static_cast<short>(GetTagIndexInAmbClass(m_, s_.pszAC[i], fd));
        }
        return slot.rgk.data();
    }

private:
    // The index arrays are filled before they are read; left uninitialised
    // so that a call does not clear them.
    struct Slot {
        const char* pszAC = nullptr;
        int fIgnore = -1;
        std::array<short, kValueCnt> rgk;
    };
    const Model& m_;
    const ProbsSetup& s_;
    std::array<Slot, 2> rgslot_;
    std::size_t iNext_ = 0;
};

// The line a condition looks at from line il into r: at its position, or
// the closest line with its AC string as the whole match finds it; false
// when there is none.
[[gnu::always_inline]] inline bool LineOf(const ChainCond& cond, const DataTable& dt, long il,
                                          long& r, ClosestLines* pClosest) {
    if (cond.iDir != 0 && pClosest != nullptr) {
        return pClosest->Find(dt, il, cond.iDir, static_cast<std::size_t>(cond.tClosest),
                              cond.pszClosest, r);
    }
    if (cond.iDir != 0) {
        // The lines within reach on that side, nearest first.
        const auto t = static_cast<std::size_t>(cond.tClosest);
        const long cReach = std::min(kClosestMax, cond.iDir < 0 ? il : dt.clLines - 1 - il);
        const DlData* pdl = dt.rgdl.data() + il;
        for (long d = 1; d <= cReach; ++d) {
            pdl += cond.iDir;
            if (t < pdl->rgpszAC.size() && pdl->rgpszAC[t] == cond.pszClosest) {
                r = il + d * cond.iDir;
                return true;
            }
        }
        return false;
    }
    r = il + cond.iPos;
    return IsTableLine(r, dt.clLines);
}

// Whether the feature fires at line il: its laid-out conditions hold from
// condition iCondFirst on (the ones before are known to hold), each read as
// the whole match reads it, and then its other terms. (The tags of the beam
// path read are noted as the whole match notes them; which were read only
// decides which other beam items may reuse the answer.)
bool FiresLaidOut(const Model& m, const ChainFeature& cf, const DataTable& dt, long il,
                  BeamPath& path, int iCondFirst, ClosestLines* pClosest) {
    for (int i = iCondFirst; i < cf.cCond; ++i) {
        const ChainCond& cond = cf.rgcond[static_cast<std::size_t>(i)];
        long r = 0;
        if (!LineOf(cond, dt, il, r, pClosest)) return false;
        const DlData& dl = dt.rgdl[static_cast<std::size_t>(r)];
        const auto t = static_cast<std::size_t>(cond.t);
        bool fHolds = false;
        switch (cond.kind) {
        case ChainCond::kForm:
            fHolds = cond.pszValue == dl.pszForm;
            break;
        case ChainCond::kAC:
            fHolds = t < dl.rgpszAC.size() && cond.pszValue == dl.rgpszAC[t];
            break;
        case ChainCond::kACMember:
            fHolds = t < dl.rgpszAC.size() && dl.rgpszAC[t] != nullptr &&
                     cond.pszValue[0] != '\0' &&
                     std::strchr(dl.rgpszAC[t], cond.pszValue[0]) != nullptr;
            break;
        case ChainCond::kValue: {
            const char* pszTag = r < il ? path.TagAt(r, cond.iElem) : dl.pszTag;
            fHolds = cond.iElem < m.cTagElem && pszTag != nullptr &&
                     cond.pszValue[0] == pszTag[cond.iElem];
            break;
        }
        case ChainCond::kTag: {
            // The first cTagElem characters are compared; most tags differ
            // in the first.
            const char* pszTag = r < il ? path.TagAt(r, kElemTag) : dl.pszTag;
            fHolds =
                pszTag != nullptr &&
                (pszTag == cond.pszValue || m.cTagElem <= 0 ||
                 (pszTag[0] == cond.pszValue[0] &&
                  std::strncmp(pszTag, cond.pszValue, static_cast<std::size_t>(m.cTagElem)) == 0));
            break;
        }
        }
        if (!fHolds) return false;
    }
    for (int i = 0; i < cf.cRest; ++i)
        if (!TermOnPath(m, *cf.rgpftRest[static_cast<std::size_t>(i)], dt, il, path)) return false;
    return true;
}

// The features of a locator that require the value key.
[[gnu::always_inline]] inline std::uint64_t KeyMask(const FeatureChains& chains,
                                                    const ChainLocator& loc, std::uintptr_t key) {
    if (key == loc.key0.key) return loc.key0.mask;
    if (loc.cKeyMore == 0) return 0; // most locators require one value
    const ChainKey* const pk = chains.rgKey.data() + loc.iKeyFirst;
    for (std::uint32_t i = 0; i < loc.cKeyMore; ++i) {
        if (pk[i].key == key) return pk[i].mask;
    }
    return 0;
}

// The features of a locator of kind kKind whose first condition holds at
// line r (dl) of the computation at line il.
template <ChainCond::Kind kKind>
[[gnu::always_inline]] inline std::uint64_t MaskAt(const FeatureChains& chains,
                                                   const ChainLocator& loc, const DlData& dl,
                                                   long r, long il, BeamPath& path) {
    const auto t = static_cast<std::size_t>(loc.cond.t);
    if constexpr (kKind == ChainCond::kForm) {
        return KeyMask(chains, loc, reinterpret_cast<std::uintptr_t>(dl.pszForm));
    } else if constexpr (kKind == ChainCond::kAC) {
        if (t >= dl.rgpszAC.size()) return 0;
        return KeyMask(chains, loc, reinterpret_cast<std::uintptr_t>(dl.rgpszAC[t]));
    } else if constexpr (kKind == ChainCond::kValue) {
        const char* pszTag = r < il ? path.TagAt(r, loc.cond.iElem) : dl.pszTag;
        if (pszTag == nullptr) return 0;
        return KeyMask(chains, loc, Byte(pszTag[loc.cond.iElem]));
    } else {
        // Every value of the line's AC string is a member.
        if (t >= dl.rgpszAC.size() || dl.rgpszAC[t] == nullptr) return 0;
        std::uint64_t mask = 0;
        for (const char* p = dl.rgpszAC[t]; *p != '\0'; ++p) mask |= KeyMask(chains, loc, Byte(*p));
        return mask;
    }
}

// The features of the block whose first condition holds at line il, as
// bits, with those tested whole: each locator's value at the line is found
// among the values its features require. The tags of the beam path a
// locator reads are noted as each of its features' first condition would
// note them.
[[gnu::always_inline]] inline std::uint64_t Candidates(const FeatureChains& chains,
                                                       const ChainBlock& blk, const DataTable& dt,
                                                       long il, BeamPath& path,
                                                       ClosestLines* pClosest) {
    std::uint64_t mask = blk.maskRest;
    const DlData* pdl = dt.rgdl.data();
    const long clLines = dt.clLines;
    // The block's locators, group after group: ploc runs over them all.
    const ChainLocator* const plocArea = chains.rgLoc.data();
    const ChainLocator* ploc = plocArea + blk.iLocFirst;
    const auto EndOf = [&](int iGroup) {
        return plocArea + blk.rgiLocEnd[static_cast<std::size_t>(iGroup)];
    };
    // The locators at fixed positions, a loop per kind.
    const auto Fixed = [&]<ChainCond::Kind kKind>(int iGroup) {
        for (const ChainLocator* const plocEnd = EndOf(iGroup); ploc < plocEnd; ++ploc) {
            const ChainLocator& loc = *ploc;
            const long r = il + loc.cond.iPos;
            if (!IsTableLine(r, clLines)) continue;
            mask |= MaskAt<kKind>(chains, loc, pdl[r], r, il, path);
        }
    };
    Fixed.template operator()<ChainCond::kForm>(ChainBlock::kGroupForm);
    Fixed.template operator()<ChainCond::kAC>(ChainBlock::kGroupAC);
    Fixed.template operator()<ChainCond::kValue>(ChainBlock::kGroupValue);
    Fixed.template operator()<ChainCond::kACMember>(ChainBlock::kGroupACMember);
    // The locators at closest lines.
    const auto At = [&](const ChainLocator& loc, long r) {
        const DlData& dl = pdl[r];
        switch (loc.cond.kind) {
        case ChainCond::kForm:
            mask |= MaskAt<ChainCond::kForm>(chains, loc, dl, r, il, path);
            break;
        case ChainCond::kAC:
            mask |= MaskAt<ChainCond::kAC>(chains, loc, dl, r, il, path);
            break;
        case ChainCond::kValue:
            mask |= MaskAt<ChainCond::kValue>(chains, loc, dl, r, il, path);
            break;
        case ChainCond::kACMember:
            mask |= MaskAt<ChainCond::kACMember>(chains, loc, dl, r, il, path);
            break;
        case ChainCond::kTag:
            break; // not a locator
        }
    };
    const ChainLocator* const plocEnd = EndOf(ChainBlock::kGroupClosest);
    if (pClosest != nullptr) {
        // Every locator of the group looks to one side (iDir is not 0).
        for (; ploc < plocEnd; ++ploc) {
            const ChainLocator& loc = *ploc;
            long r = 0;
            if (pClosest->Find(dt, il, loc.cond.iDir, static_cast<std::size_t>(loc.cond.tClosest),
                               loc.cond.pszClosest, r))
                At(loc, r);
        }
        return mask;
    }
    for (; ploc < plocEnd; ++ploc) {
        const ChainLocator& loc = *ploc;
        long r = 0;
        if (LineOf(loc.cond, dt, il, r, nullptr)) At(loc, r);
    }
    return mask;
}

// Raw scores, feature by feature. Returns false (scores unusable) when a
// score stopped being finite, which the value-by-value computation reports.
bool ScoresFast(const ProbsSetup& s, const Model& m, int iTE, const DataTable& dt, long ilData,
                double u, double* pdT, bool& fFired, TagProbsNote& note) {
    for (int i = 0; i < s.n; ++i) pdT[i] = 1.0;
    IndexCache cache(m, s);
    BeamPath path(dt, ilData, note.pReads);
    bool fFinite = true;
    fFired = false;
    // fMatched: the feature is known to fire.
    // pdFactor: the feature's factors for the values, when laid out.
    const auto Add = [&](const FeatureDesc& fd, bool fMatched = false,
                         const double* pdFactor = nullptr) {
        if (!fFinite || !(fMatched || Fires(s, m, fd, dt, ilData, path))) return;
        fFired = true;
        if (pdFactor != nullptr) {
            for (int i = 0; i < s.n; ++i) {
                pdT[i] *= pdFactor[i];
                if (!std::isfinite(pdT[i])) fFinite = false;
            }
            return;
        }
        const short* pk = cache.For(fd);
        for (int i = 0; i < s.n; ++i) {
            pdT[i] *= ProbsPower(ProbsGain(fd, ProbsCountAt(fd, pk[i]), s.n, u), fd.dLambda);
            if (!std::isfinite(pdT[i])) fFinite = false;
        }
    };
    if (s.fTraining == kProbsModeTag && m.pChains) {
        // The class's chain, then the all-data class's, as ForEachFeature
        // walks them; a feature fires when its laid-out conditions and its
        // other terms hold.
        const FeatureChains& chains = *m.pChains;
        for (const AmbClass* pac : {s.ilChainFirst >= 0 ? s.pacRec : nullptr, s.pacAllData}) {
            for (const ChainBlock& blk : chains.BlocksOf(m, pac)) {
                // Only the features whose first condition holds, in order.
                for (std::uint64_t mask = Candidates(chains, blk, dt, ilData, path, nullptr);
                     mask != 0; mask &= mask - 1) {
                    const int iBit = std::countr_zero(mask);
                    const ChainFeature& cf =
                        chains.rgcf[static_cast<std::size_t>(blk.iFeatureFirst + iBit)];
                    const int iCondFirst = (blk.maskRest >> iBit) & 1U ? 0 : 1;
                    // The class's own chain has the factors of its values.
                    if (FiresLaidOut(m, cf, dt, ilData, path, iCondFirst, nullptr))
                        Add(*cf.pfd, true,
                            cf.iFactor >= 0 && pac == s.pacRec
                                ? chains.rgdFactor.data() + cf.iFactor
                                : nullptr);
                }
            }
        }
    } else {
        ForEachFeature(s, m, iTE, dt, ilData, Add);
    }
    note.fPathRead = path.Read();
    return fFinite;
}

// The probabilities of the n values of pszAC from their raw scores pdT
// (normalised) and unigram probabilities pdW, mixed with weights dRaw, dG
// and dH (uniform u); the best value goes to iBest (unchanged unless one
// is above 0). onValue(i, dExp, dP) sees each value's normalised score and
// probability. Returns the best probability.
template <typename Fn>
[[gnu::always_inline]] inline double Smooth(const char* pszAC, int n, double u, const double* pdT,
                                            const double* pdW, double dRaw, double dG, double dH,
                                            TagProbs* pProbs, int& iBest, Fn onValue) {
    double dZ = 0.0;
    for (int i = 0; i < n; ++i) dZ += pdT[i];
    double dBest = 0.0;
    for (int i = 0; i < n; ++i) {
        const char chValue = pszAC[i];
        // Scores that all underflowed to 0 say nothing: the raw estimate is
        // then uniform rather than 0/0.
        const double dExp = dZ > 0.0 ? pdT[i] / dZ : u;
        const double dP = dRaw * dExp + dH * u + dG * pdW[i];
        onValue(i, dExp, dP);
        if (dP > dBest) {
            dBest = dP;
            iBest = Byte(chValue);
        }
        if (pProbs != nullptr) (*pProbs)[Byte(chValue)] = dP;
    }
    return dBest;
}

// A firing feature's factors for the values of pszAC when they are not laid
// out: its gain for each value, as the index cache finds the value's index.
[[gnu::noinline]] void MultiplyGains(const Model& m, const FeatureDesc& fd, const char* pszAC,
                                     int n, double* pdT, bool& fFinite) {
    const double u = 1.0 / n;
    for (int i = 0; i < n; ++i) {
        const short k = static_cast<short>(GetTagIndexInAmbClass(m, pszAC[i], fd));
        pdT[i] *= ProbsPower(ProbsGain(fd, ProbsCountAt(fd, k), n, u), fd.dLambda);
        if (!std::isfinite(pdT[i])) fFinite = false;
    }
}

// Returned by LaidOutProbs when the general computation has to run.
constexpr int kProbsGeneral = -100;

// The usual computation of the beam search, untraced, on the laid-out
// chains: what Prepare, ScoresFast and ComputeProbs do for it, with the
// same operations in the same order. The scores stay unset until a feature
// fires, and a line where none does takes its class's stored
// probabilities. Returns kProbsGeneral, having written nothing but reads,
// when the general computation has to run: for a class the chains do not
// know or with more values than the value range, for another weight of
// the raw estimate than the stored probabilities were made with, and when
// a score stops being finite (the general computation reports it).
[[gnu::always_inline]] inline int LaidOutProbs(TagProbs* pProbs, int& iBest, const Model& m,
                                               int iTE, const DataTable& dt, long ilData,
                                               PathReads* pReads, ClosestLines* pClosest,
                                               bool& fPathRead) {
    const FeatureChains& chains = *m.pChains;
    const char* const pszAC =
        dt.rgdl[static_cast<std::size_t>(ilData)].rgpszAC[static_cast<std::size_t>(iTE)];
    if (pszAC[0] == '\0' || pszAC[1] == '\0') {
        iBest = Byte(pszAC[0]);
        return kProbsSingleValue;
    }
    const FeatureChains::ClassEntry* const pentry = chains.ClassOf(iTE, pszAC);
    if (pentry == nullptr || chains.dRawNoFire != m.dRawExpWeight) return kProbsGeneral;
    const int n = pentry->n;
    if (n > kValueCnt) return kProbsGeneral;

    std::array<double, kValueCnt> rgdT; // set by the first feature that fires
    double* const pdT = rgdT.data();
    bool fFired = false;
    bool fFinite = true;
    BeamPath path(dt, ilData, pReads);
    // The class's chain, then the all-data class's; only the class's own
    // chain has the factors of its values.
    const ChainBlock* const rgblk = chains.rgBlock.data();
    const FeatureChains::ElemIndex& ei = chains.rgElemIndex[static_cast<std::size_t>(iTE)];
    // The blocks of the class's chain, then those of the all-data chain.
    long iBlk = pentry->iBlockFirst;
    long iBlkEnd = pentry->iBlockEnd;
    bool fOwn = true;
    for (;; ++iBlk) {
        if (iBlk >= iBlkEnd) {
            if (!fOwn) break;
            fOwn = false;
            iBlk = ei.iAllDataBlockFirst - 1; // the loop's step makes it the first
            iBlkEnd = ei.iAllDataBlockEnd;
            continue;
        }
        const ChainBlock& blk = rgblk[iBlk];
        for (std::uint64_t mask = Candidates(chains, blk, dt, ilData, path, pClosest); mask != 0;
             mask &= mask - 1) {
            const int iBit = std::countr_zero(mask);
            const ChainFeature& cf =
                chains.rgcf[static_cast<std::size_t>(blk.iFeatureFirst + iBit)];
            const int iCondFirst = (blk.maskRest >> iBit) & 1U ? 0 : 1;
            if (!FiresLaidOut(m, cf, dt, ilData, path, iCondFirst, pClosest)) continue;
            if (cf.iFactor >= 0 && fOwn) {
                // The first factors are the scores (1 times each).
                const double* const pdFactor = chains.rgdFactor.data() + cf.iFactor;
                for (int i = 0; i < n; ++i) {
                    pdT[i] = fFired ? pdT[i] * pdFactor[i] : pdFactor[i];
                    if (!std::isfinite(pdT[i])) fFinite = false;
                }
            } else {
                if (!fFired)
                    for (int i = 0; i < n; ++i) pdT[i] = 1.0;
                MultiplyGains(m, *cf.pfd, pszAC, n, pdT, fFinite);
            }
            fFired = true;
            if (!fFinite) return kProbsGeneral;
        }
    }
    fPathRead = path.Read();
    const std::size_t iW = pentry->iW;
    if (!fFired) {
        const double* const pdPNoFire = chains.rgdPNoFire.data() + iW;
        if (pProbs != nullptr) {
            for (int i = 0; i < n; ++i) (*pProbs)[Byte(pszAC[i])] = pdPNoFire[i];
        }
        iBest = pentry->iBestNoFire;
        return kProbsNoFeature;
    }
    const double dRaw = m.dRawExpWeight;
    double dG = 0.0;
    double dH = 0.0;
    ProbsSmoothingWeights(dRaw, dG, dH);
    Smooth(pszAC, n, 1.0 / n, pdT, chains.rgdW.data() + iW, dRaw, dG, dH, pProbs, iBest,
           [](int, double, double) {});
    return kProbsFired;
}

// The traces of the probability model. Each is called only when a switch
// of its group is on (TraceSettings::ProbsOn), outside the arithmetic.

// Before the scores: the class's feature count and what the call works on.
void TraceSetup(const TraceSettings& tr, const ProbsSetup& s, long ilData) {
    if (tr.fDebug5)
        std::fprintf(stderr, "features count %ld\n", s.pacRec ? s.pacRec->clFeatureCnt : 0L);
    if (tr.fDebug6 || tr.fDebug7) {
        std::fprintf(stderr, "ilData %ld, fTr %d, AC: %s, ilPacFeatureFirst: %ld\n", ilData,
                     s.fTraining, s.pszAC, s.ilChainFirst);
    }
}

// A value whose score is computed, with its unigram probability.
void TraceValue(const TraceSettings& tr, char chValue, double dW) {
    if (tr.fDebug5 || tr.fDebug7) std::fprintf(stderr, "tag %c(%18.15f): ", chValue, dW);
}

// A feature that fires while the beam search scores one of the first lines.
void TraceFires(const TraceSettings& tr, const ProbsSetup& s, const Model& m, const DataTable& dt,
                long ilData, const FeatureDesc& fd) {
    if (tr.fDebug10 && s.fTraining == kProbsModeTag && ilData < 100) {
        std::fprintf(stderr, "F ok at iBeam (prev) %d: ", dt.iBeamPrev);
        PrintFeature(stderr, m, fd);
        std::fprintf(stderr, "\n");
    }
}

// The term a firing feature contributes to the value: its count of the
// value (index k in its class) and its total count.
void TraceTerm(const TraceSettings& tr, const ProbsSetup& s, const Model& m, const FeatureDesc& fd,
               char chValue, int k, long c) {
    if (tr.fDebug5 || tr.fDebug6 || tr.fDebug7) {
        std::fprintf(stderr, "<%c(%d)/%ld:%8.4f/%8.4f> ", chValue, k, FeatureIndex(m, fd),
                     static_cast<double>(c) + kProbsCountEps,
                     static_cast<double>(fd.clCnt) + s.n * kProbsCountEps);
    }
}

// The raw score of a value once all its terms are in.
void TraceScore(const TraceSettings& tr, double dT) {
    if (tr.fDebug5) std::fprintf(stderr, "b=%18.15f\n", dT);
}

// What the smoothing makes of one value's score.
struct SmoothingTrace {
    int iTE;
    char chValue;
    bool fFired; // a feature fired at the line
    double dT;   // raw score
    double u;    // uniform probability
    double dW;   // unigram probability
    double dExp; // normalised raw score
    double dP;   // the value's probability
    double dH;   // weight of the uniform probability
    double dG;   // weight of the unigram probability
    double dRaw; // weight of the raw estimate
};

void TraceSmoothing(const TraceSettings& tr, const SmoothingTrace& t) {
    if ((tr.fDebug2 && t.fFired) || tr.fDebug7) {
        std::fprintf(stderr, "base prob <%c> = %10.6f\n", t.chValue, t.dT);
    }
    if (tr.fDebug2 && t.fFired) {
        std::fprintf(stderr, "adding smoothing: l = %10.6f\n", t.dG);
        std::fprintf(stderr, "adding smoothing: uni prob = %10.6f\n", t.dW);
        std::fprintf(stderr, "after smoothing: prob = %10.6f\n", t.dP);
    }
    if (tr.fDebugFull) {
        std::printf("smoothing[cat %d/%c]: unif %8.5f, unig %8.5f, raw(norm.) %8.5f\n", t.iTE,
                    t.chValue, t.u, t.dW, t.dExp);
        std::printf("res: %8.5f; w/unif %8.5f, w/unig %8.5f, w/raw %8.5f\n", t.dP, t.dH, t.dG,
                    t.dRaw);
    }
}

// The chosen value, next to the line's true one.
void TraceBest(const TraceSettings& tr, const ProbsSetup& s, const DataTable& dt, long ilData,
               int iTE, int iBest, double dBest) {
    if (!(tr.fDebug4 || tr.fDebug5 || tr.fDebug6 || tr.fDebugFull)) return;
    const char* pszTrue = dt.rgdl[static_cast<std::size_t>(ilData)].pszTag;
    const char chTrue = pszTrue != nullptr ? pszTrue[iTE] : ' ';
    if (tr.fDebug4 || tr.fDebug5 || tr.fDebug6) {
        std::fprintf(stderr, "best tag: tagelem/AC %d/%s, best = %c(true %c), prob = %18.15f\n",
                     iTE, s.pszAC, iBest, chTrue, dBest);
    }
    if (tr.fDebugFull) {
        std::printf("best tag: tagelem/AC %d/%s, best = %c(true %c), prob = %18.15f\n", iTE,
                    s.pszAC, iBest, chTrue, dBest);
    }
}

// Raw scores, value by value, with the diagnostic traces.
void ScoresByValue(const ProbsSetup& s, const Model& m, int iTE, const DataTable& dt, long ilData,
                   double u, const double* pdW, double* pdT, bool& fFired, TagProbsNote& note,
                   const TraceSettings& tr) {
    fFired = false;
    if (note.pReads != nullptr) note.pReads->Clear();
    BeamPath path(dt, ilData, note.pReads);
    for (int i = 0; i < s.n; ++i) {
        const char chValue = s.pszAC[i];
        TraceValue(tr, chValue, pdW[i]);
        double dT = 1.0;
        ForEachFeature(s, m, iTE, dt, ilData, [&](const FeatureDesc& fd) {
            if (!Fires(s, m, fd, dt, ilData, path)) return;
            fFired = true;
            TraceFires(tr, s, m, dt, ilData, fd);
            const int k = GetTagIndexInAmbClass(m, chValue, fd);
            const long c = ProbsCountAt(fd, k);
            TraceTerm(tr, s, m, fd, chValue, k, c);
            const double dGain = ProbsGain(fd, c, s.n, u);
            dT *= ProbsPower(dGain, fd.dLambda);
            if (!std::isfinite(dT)) {
                dT = kNonFiniteScore;
                note.fWarned = true;
                std::fprintf(stderr,
                             "%s: dProb ==> %10.8f (not fin) (term %10.8f, lambda %10.8f).\n",
                             ux_ProgName().c_str(), kNonFiniteScore, dGain, fd.dLambda);
            }
        });
        TraceScore(tr, dT);
        pdT[i] = dT;
    }
    note.fPathRead = path.Read();
}

[[gnu::always_inline]] inline int ComputeProbs(const ProbsSetup& s, TagProbs* pProbs, int& iBest,
                                               const Model& m, int iTE, const DataTable& dt,
                                               long ilData, TagProbsNote& note,
                                               const TraceSettings& tr) {
    const bool fTrace = tr.ProbsOn();
    if (fTrace) TraceSetup(tr, s, ilData);
    const double u = 1.0 / s.n;

    // Working arrays on the stack; an AC string longer than the value range
    // (possible only with repeated values in hand-made input) gets heap ones.
    std::array<double, kValueCnt> rgdWLocal;
    std::array<double, kValueCnt> rgdTLocal;
    std::vector<double> rgdWLong;
    std::vector<double> rgdTLong;
    double* pdWOwn = rgdWLocal.data();
    double* pdT = rgdTLocal.data();
    const bool fLong = s.n > kValueCnt;
    if (fLong) {
        rgdWLong.resize(static_cast<std::size_t>(s.n));
        rgdTLong.resize(static_cast<std::size_t>(s.n));
        pdWOwn = rgdWLong.data();
        pdT = rgdTLong.data();
    }
    const double* pdW = pdWOwn;
    if (s.pdWClass != nullptr && !fLong)
        pdW = s.pdWClass;
    else
        Unigrams(s, m, iTE, u, pdWOwn);

    bool fFired = false;
    if (fLong || fTrace || !ScoresFast(s, m, iTE, dt, ilData, u, pdT, fFired, note)) {
        ScoresByValue(s, m, iTE, dt, ilData, u, pdW, pdT, fFired, note, tr);
    }
    if (!fFired && s.pdPNoFire != nullptr && !fTrace && !fLong) {
        // Every score is 1: the class's probabilities without a feature.
        if (pProbs != nullptr) {
            for (int i = 0; i < s.n; ++i) (*pProbs)[Byte(s.pszAC[i])] = s.pdPNoFire[i];
        }
        iBest = s.iBestNoFire;
        return kProbsNoFeature;
    }
    const double dRaw = m.dRawExpWeight;
    double dG = 0.0;
    double dH = 0.0;
    ProbsSmoothingWeights(dRaw, dG, dH);
    const double dBest = Smooth(s.pszAC, s.n, u, pdT, pdW, dRaw, dG, dH, pProbs, iBest,
                                [&](int i, double dExp, double dP) {
                                    if (fTrace) {
                                        TraceSmoothing(tr, {.iTE = iTE,
                                                            .chValue = s.pszAC[i],
                                                            .fFired = fFired,
                                                            .dT = pdT[i],
                                                            .u = u,
                                                            .dW = pdW[i],
                                                            .dExp = dExp,
                                                            .dP = dP,
                                                            .dH = dH,
                                                            .dG = dG,
                                                            .dRaw = dRaw});
                                    }
                                });
    if (fTrace) TraceBest(tr, s, dt, ilData, iTE, iBest, dBest);
    return fFired ? kProbsFired : kProbsNoFeature;
}

// The line the beam search scores, for its first lines.
void TraceLine(const TraceSettings& tr, const DataTable& dt, long ilData) {
    if (tr.fDebug10 && ilData < 100) {
        const DlData& dl = dt.rgdl[static_cast<std::size_t>(ilData)];
        std::fprintf(stderr, "data %ld: %s/%s\n", ilData, dl.pszTag ? dl.pszTag : "",
                     dl.pszForm ? dl.pszForm : "");
    }
}

void CheckMode(int fTraining) {
    if (fTraining < kProbsModeTrainCtx || fTraining > kProbsModeLinks) {
        ux_FatalError(kModApp, kMsgApp,
                      "GetTagProbs: unknown mode " + std::to_string(fTraining) + "\n");
    }
}

// GetTagProbsInto's general computation: every mode, the traces, and the
// cases the laid-out path leaves to it. Kept out of line so that the usual
// computation does not pay for its frame and registers.
[[gnu::noinline]] int GeneralProbsInto(int fTraining, const AmbClass* pac, TagProbs* pProbs,
                                       int& iBest, const Model& m, int iTE, const DataTable& dt,
                                       long ilData, TagProbsNote* pNote, const TraceSettings& tr) {
    CheckMode(fTraining);
    iBest = 0;
    TagProbsNote note;
    if (pNote != nullptr && pNote->pReads != nullptr) {
        note.pReads = pNote->pReads;
        note.pReads->Clear();
    }
    if (pNote != nullptr) note.pClosest = pNote->pClosest;
    TraceLine(tr, dt, ilData);
    ProbsSetup s;
    int iRet = Prepare(s, fTraining, pac, iBest, m, iTE, dt, ilData);
    if (iRet != kProbsSingleValue)
        iRet = ComputeProbs(s, pProbs, iBest, m, iTE, dt, ilData, note, tr);
    if (pNote != nullptr) *pNote = note;
    return iRet;
}

} // namespace

int GetTagProbsInto(int fTraining, const AmbClass* pac, TagProbs* pProbs, int& iBest,
                    const Model& m, int iTE, const DataTable& dt, long ilData, TagProbsNote* pNote,
                    const TraceSettings* pTrace) {
    const TraceSettings& tr = pTrace != nullptr ? *pTrace : m.trace;
    if (fTraining == kProbsModeTag && m.pChains != nullptr && !tr.ProbsOn()) {
        PathReads* const pReads = pNote != nullptr ? pNote->pReads : nullptr;
        if (pReads != nullptr) pReads->Clear();
        iBest = 0;
        bool fPathRead = false;
        const int iRet = LaidOutProbs(pProbs, iBest, m, iTE, dt, ilData, pReads,
                                      pNote != nullptr ? pNote->pClosest : nullptr, fPathRead);
        if (iRet != kProbsGeneral) {
            if (pNote != nullptr) {
                pNote->fPathRead = fPathRead;
                pNote->fWarned = false;
            }
            return iRet;
        }
    }
    return GeneralProbsInto(fTraining, pac, pProbs, iBest, m, iTE, dt, ilData, pNote, tr);
}

int GetTagProbs(int fTraining, const AmbClass* pac, std::unique_ptr<TagProbs>* ppProbs, int& iBest,
                const Model& m, int iTE, const DataTable& dt, long ilData) {
    CheckMode(fTraining);
    iBest = 0;
    if (ppProbs != nullptr) ppProbs->reset();
    TraceLine(m.trace, dt, ilData);
    ProbsSetup s;
    if (Prepare(s, fTraining, pac, iBest, m, iTE, dt, ilData) == kProbsSingleValue) {
        return kProbsSingleValue;
    }
    TagProbs* pProbs = nullptr;
    if (ppProbs != nullptr) {
        ppProbs->reset(new (std::nothrow) TagProbs{});
        if (*ppProbs == nullptr) {
            ux_FatalError(kModApp, kMsgApp, "GetTagProbs Cannot allocate probs (value indexed)\n");
        }
        pProbs = ppProbs->get();
    }
    TagProbsNote note;
    return ComputeProbs(s, pProbs, iBest, m, iTE, dt, ilData, note, m.trace);
}

} // namespace vexta
