// Feature chains laid out for tagging.

#include "features/feature_chains.h"

#include <algorithm>
#include <cstring>

#include "features/tag_probs.h"

namespace vexta {

namespace {

// The conditions of the feature's terms at a fixed position on a tag value,
// the whole tag, an AC string, a member of one or the form, at a fixed position or at the
// closest one with a given AC string, in the order they are tested, and its
// other terms.
ChainFeature Lay(const Model& m, const FeatureDesc& fd) {
    ChainFeature cf;
    cf.pfd = &fd;
    std::array<ChainCond, kTermsMax> rgcondPath;
    std::array<ChainCond, kTermsMax> rgcondClosest;
    int cPath = 0;
    int cClosest = 0;
    const int cTerms = std::clamp(fd.cTerms, 0, kTermsMax);
    for (int iTerm = 0; iTerm < cTerms; ++iTerm) {
        const FeatureTerm& ft = fd.rgftTerm[static_cast<std::size_t>(iTerm)];
        if (ft.iPos == kPosEmpty) continue;
        const int iElem = ft.iConditionElem;
        // Value and whole-tag conditions read the tag of their line.
        const bool fValue = (iElem >= kElemValue && iElem < m.cTagElem) || iElem == kElemTag;
        const bool fKnown = fValue || (iElem >= kElemAC && iElem < kElemAC + m.cTagElem) ||
                            (iElem >= kElemACMember && iElem < kElemACMember + m.cTagElem) ||
                            iElem == kElemForm;
        const bool fClosest = ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight;
        const bool fClosestAC =
            ft.iClosestConditionElem >= kElemAC && ft.iClosestConditionElem < kElemACMember;
        if (ft.pszValue == nullptr || !fKnown || (fClosest && !fClosestAC)) {
            cf.rgpftRest[static_cast<std::size_t>(cf.cRest++)] = &ft;
            continue;
        }
        if (fClosest) {
            rgcondClosest[static_cast<std::size_t>(cClosest++)] = {
                0,
                iElem,
                ft.pszValue,
                ft.iPos == kPosClosestLeft ? -1 : 1,
                ft.iClosestConditionElem - kElemAC,
                ft.pszClosestValue};
            continue;
        }
        const ChainCond cond{ft.iPos, iElem, ft.pszValue};
        if (fValue && ft.iPos < 0)
            rgcondPath[static_cast<std::size_t>(cPath++)] = cond;
        else
            cf.rgcond[static_cast<std::size_t>(cf.cCond++)] = cond;
    }
    for (int i = 0; i < cPath; ++i)
        cf.rgcond[static_cast<std::size_t>(cf.cCond++)] = rgcondPath[static_cast<std::size_t>(i)];
    for (int i = 0; i < cClosest; ++i)
        cf.rgcond[static_cast<std::size_t>(cf.cCond++)] =
            rgcondClosest[static_cast<std::size_t>(i)];
    for (int i = 0; i < cf.cCond; ++i) {
        ChainCond& cond = cf.rgcond[static_cast<std::size_t>(i)];
        if (cond.iElem == kElemForm) {
            cond.kind = ChainCond::kForm;
        } else if (cond.iElem == kElemTag) {
            cond.kind = ChainCond::kTag;
        } else if (cond.iElem >= kElemACMember) {
            cond.kind = ChainCond::kACMember;
            cond.t = cond.iElem - kElemACMember;
        } else if (cond.iElem >= kElemAC) {
            cond.kind = ChainCond::kAC;
            cond.t = cond.iElem - kElemAC;
        } else {
            cond.kind = ChainCond::kValue;
            cond.t = cond.iElem;
        }
    }
    return cf;
}

// Whether two first conditions look at the same place and read it alike.
bool SameLocator(const ChainCond& a, const ChainCond& b) {
    return a.kind == b.kind && a.iElem == b.iElem && a.t == b.t && a.iDir == b.iDir &&
           (a.iDir != 0 ? a.tClosest == b.tClosest && a.pszClosest == b.pszClosest
                        : a.iPos == b.iPos);
}

// The value a first condition requires at its locator, as the line's value
// there is looked up; false when no line can offer it (an AC member '\0').
bool KeyOf(const ChainCond& cond, std::uintptr_t& key) {
    switch (cond.kind) {
    case ChainCond::kForm:
    case ChainCond::kAC:
        key = reinterpret_cast<std::uintptr_t>(cond.pszValue);
        return true;
    case ChainCond::kValue:
        key = static_cast<unsigned char>(cond.pszValue[0]);
        return true;
    case ChainCond::kACMember:
        key = static_cast<unsigned char>(cond.pszValue[0]);
        return key != 0;
    case ChainCond::kTag:
        break;
    }
    return false;
}

// The group of a first condition's locator in its block.
int GroupOf(const ChainCond& cond) {
    if (cond.iDir != 0) return ChainBlock::kGroupClosest;
    switch (cond.kind) {
    case ChainCond::kForm:
        return ChainBlock::kGroupForm;
    case ChainCond::kAC:
        return ChainBlock::kGroupAC;
    case ChainCond::kValue:
        return ChainBlock::kGroupValue;
    default:
        return ChainBlock::kGroupACMember;
    }
}

// The locators of a block while it is built, and the values required at
// each (by locator), kept between blocks so that building allocates little.
struct BlockScratch {
    std::vector<ChainCond> rgcondLoc;
    std::vector<std::pair<std::size_t, ChainKey>> rgKey;
};

// Groups the features [iFirst, iEnd) of rgcf in blocks, each with its
// features' first conditions by locator. Whole-tag conditions compare tag
// contents, which no key stands for: those features are tested whole.
void AddBlocks(FeatureChains& chains, long iFirst, long iEnd, BlockScratch& scratch) {
    constexpr long kBlock = ChainBlock::kChainBlock;
    std::vector<ChainCond>& rgcondLoc = scratch.rgcondLoc;
    std::vector<std::pair<std::size_t, ChainKey>>& rgKey = scratch.rgKey;
    for (long iBlock = iFirst; iBlock < iEnd; iBlock += kBlock) {
        ChainBlock blk;
        blk.iFeatureFirst = iBlock;
        rgcondLoc.clear();
        rgKey.clear();
        for (long i = iBlock; i < std::min(iBlock + kBlock, iEnd); ++i) {
            const ChainFeature& cf = chains.rgcf[static_cast<std::size_t>(i)];
            const std::uint64_t bit = std::uint64_t{1} << (i - iBlock);
            if (cf.cCond == 0 || cf.rgcond[0].kind == ChainCond::kTag) {
                blk.maskRest |= bit;
                continue;
            }
            const ChainCond& cond = cf.rgcond[0];
            std::uintptr_t key = 0;
            if (!KeyOf(cond, key)) continue; // never holds: the feature never fires
            std::size_t iLoc = 0;
            while (iLoc < rgcondLoc.size() && !SameLocator(rgcondLoc[iLoc], cond)) ++iLoc;
            if (iLoc == rgcondLoc.size()) {
                rgcondLoc.push_back(cond);
                rgcondLoc.back().pszValue = "";
            }
            auto it = std::find_if(rgKey.begin(), rgKey.end(), [&](const auto& entry) {
                return entry.first == iLoc && entry.second.key == key;
            });
            if (it == rgKey.end()) it = rgKey.insert(rgKey.end(), {iLoc, ChainKey{key, 0}});
            it->second.mask |= bit;
        }
        blk.iLocFirst = static_cast<std::uint32_t>(chains.rgLoc.size());
        for (int iGroup = 0; iGroup < ChainBlock::kGroups; ++iGroup) {
            for (std::size_t iLoc = 0; iLoc < rgcondLoc.size(); ++iLoc) {
                if (GroupOf(rgcondLoc[iLoc]) != iGroup) continue;
                // Its values in the order they were met; the first inline.
                ChainLocator loc;
                loc.cond = rgcondLoc[iLoc];
                loc.iKeyFirst = static_cast<std::uint32_t>(chains.rgKey.size());
                bool fFirst = true;
                for (const auto& [iLocKey, key] : rgKey) {
                    if (iLocKey != iLoc) continue;
                    if (fFirst)
                        loc.key0 = key;
                    else
                        chains.rgKey.push_back(key);
                    fFirst = false;
                }
                loc.cKeyMore = static_cast<std::uint32_t>(chains.rgKey.size()) - loc.iKeyFirst;
                chains.rgLoc.push_back(loc);
            }
            blk.rgiLocEnd[static_cast<std::size_t>(iGroup)] =
                static_cast<std::uint32_t>(chains.rgLoc.size());
        }
        chains.rgBlock.push_back(blk);
    }
}

} // namespace

std::shared_ptr<const FeatureChains> BuildFeatureChains(const Model& m) {
    auto pchains = std::make_shared<FeatureChains>();
    const auto cArea = static_cast<long>(m.rgfdFeatureArea.size());
    std::size_t cClasses = 0;
    for (int t = 0; t < m.cTagElem; ++t) {
        const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        if (te.clAmbClass > 0)
            cClasses =
                std::max(cClasses, static_cast<std::size_t>(te.ilAmbClassFirst + te.clAmbClass));
    }
    cClasses = std::min(cClasses, m.rgacAmbClassArea.size());
    pchains->rgSpan.resize(cClasses);
    for (std::size_t k = 0; k < cClasses; ++k) {
        const auto iFirst = static_cast<long>(pchains->rgcf.size());
        for (long il = m.rgacAmbClassArea[k].ilPacFeatureFirst; il >= 0 && il < cArea;) {
            const FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(il)];
            pchains->rgcf.push_back(Lay(m, fd));
            il = fd.ilNextFeature;
        }
        pchains->rgSpan[k] = {iFirst, static_cast<long>(pchains->rgcf.size())};
    }
    pchains->rgBlockSpan.resize(cClasses);
    pchains->rgLoc.reserve(pchains->rgcf.size());
    BlockScratch scratch;
    for (std::size_t k = 0; k < cClasses; ++k) {
        const auto iFirst = static_cast<long>(pchains->rgBlock.size());
        AddBlocks(*pchains, pchains->rgSpan[k].first, pchains->rgSpan[k].second, scratch);
        pchains->rgBlockSpan[k] = {iFirst, static_cast<long>(pchains->rgBlock.size())};
    }
    // The AC strings' lengths and unigram probabilities.
    pchains->rgcchAC.resize(cClasses);
    pchains->rgiW.resize(cClasses);
    for (std::size_t k = 0; k < cClasses; ++k) {
        const AmbClass& ac = m.rgacAmbClassArea[k];
        const int n = ac.pszAmbClass != nullptr ? static_cast<int>(std::strlen(ac.pszAmbClass)) : 0;
        pchains->rgcchAC[k] = n;
        pchains->rgiW[k] = pchains->rgdW.size();
        const double u = n > 0 ? 1.0 / n : 0.0;
        for (int i = 0; i < n; ++i) pchains->rgdW.push_back(ClassUnigram(ac, i, u));
    }
    // The factors of the features of each class's chain: the gain of each
    // of the class's values, to the feature's weight, as the probability
    // model computes it for a line of that class.
    for (std::size_t k = 0; k < cClasses; ++k) {
        const AmbClass& ac = m.rgacAmbClassArea[k];
        const int n = pchains->rgcchAC[k];
        if (ac.fACIgnore || n == 0) continue;
        const double u = 1.0 / n;
        const auto [iFirst, iEnd] = pchains->rgSpan[k];
        for (long i = iFirst; i < iEnd; ++i) {
            ChainFeature& cf = pchains->rgcf[static_cast<std::size_t>(i)];
            const FeatureDesc& fd = *cf.pfd;
            cf.iFactor = static_cast<long>(pchains->rgdFactor.size());
            for (int iValue = 0; iValue < n; ++iValue) {
                const auto kValue =
                    static_cast<short>(GetTagIndexInAmbClass(m, ac.pszAmbClass[iValue], fd));
                pchains->rgdFactor.push_back(
                    ProbsPower(ProbsGain(fd, ProbsCountAt(fd, kValue), n, u), fd.dLambda));
            }
        }
    }
    // The probabilities without a firing feature, computed as the
    // probability model computes them: every raw score 1, so their sum is n
    // and each normalised score 1 / n.
    const double dRaw = m.dRawExpWeight;
    double dG = 0.0;
    double dH = 0.0;
    ProbsSmoothingWeights(dRaw, dG, dH);
    pchains->dRawNoFire = dRaw;
    pchains->rgdPNoFire.resize(pchains->rgdW.size());
    pchains->rgiBestNoFire.assign(cClasses, 0);
    for (std::size_t k = 0; k < cClasses; ++k) {
        const int n = pchains->rgcchAC[k];
        if (n == 0) continue;
        const double u = 1.0 / n;
        double dBest = 0.0;
        for (int i = 0; i < n; ++i) {
            const std::size_t iW = pchains->rgiW[k] + static_cast<std::size_t>(i);
            const double dP = dRaw * u + dH * u + dG * pchains->rgdW[iW];
            pchains->rgdPNoFire[iW] = dP;
            if (dP > dBest) {
                dBest = dP;
                pchains->rgiBestNoFire[k] =
                    static_cast<unsigned char>(m.rgacAmbClassArea[k].pszAmbClass[i]);
            }
        }
    }
    // Per tag element, its classes by AC string: a table at most half full.
    pchains->rgElemIndex.resize(static_cast<std::size_t>(std::max(m.cTagElem, 0)));
    for (int t = 0; t < m.cTagElem; ++t) {
        const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        const long ilFirst = std::max(te.ilAmbClassFirst + 1, 0L);
        const long ilEnd =
            std::min(te.ilAmbClassFirst + te.clAmbClass, static_cast<long>(cClasses));
        std::size_t cSlots = 2;
        while (cSlots < 2 * static_cast<std::size_t>(std::max(ilEnd - ilFirst, 0L))) cSlots *= 2;
        FeatureChains::ElemIndex& ei = pchains->rgElemIndex[static_cast<std::size_t>(t)];
        ei.iFirst = pchains->rgSlot.size();
        ei.mask = cSlots - 1;
        pchains->rgSlot.resize(ei.iFirst + cSlots);
        for (long il = ilFirst; il < ilEnd; ++il) {
            const AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(il)];
            if (ac.pszAmbClass == nullptr) continue;
            std::size_t i = FeatureChains::SlotOf(ac.pszAmbClass, ei.mask);
            while (pchains->rgSlot[ei.iFirst + i].pszAC != nullptr &&
                   pchains->rgSlot[ei.iFirst + i].pszAC != ac.pszAmbClass)
                i = (i + 1) & ei.mask;
            FeatureChains::ClassEntry& entry = pchains->rgSlot[ei.iFirst + i];
            if (entry.pszAC != nullptr) continue;
            const auto k = static_cast<std::size_t>(il);
            entry = {.pszAC = ac.pszAmbClass,
                     .pac = &ac,
                     .n = pchains->rgcchAC[k],
                     .iBestNoFire = pchains->rgiBestNoFire[k],
                     .iW = pchains->rgiW[k],
                     .iBlockFirst = pchains->rgBlockSpan[k].first,
                     .iBlockEnd = pchains->rgBlockSpan[k].second};
        }
        if (te.clAmbClass > 0 && te.ilAmbClassFirst >= 0 &&
            static_cast<std::size_t>(te.ilAmbClassFirst) < cClasses) {
            const auto [iFirst, iEnd] =
                pchains->rgBlockSpan[static_cast<std::size_t>(te.ilAmbClassFirst)];
            ei.iAllDataBlockFirst = iFirst;
            ei.iAllDataBlockEnd = iEnd;
        }
    }
    return pchains;
}

} // namespace vexta
