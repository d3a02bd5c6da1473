// Feature chains laid out for tagging.

#include "features/feature_chains.h"

#include <algorithm>

namespace vexta {

namespace {

// The conditions of the feature's terms at a fixed position on a tag value,
// an AC string, a member of one or the form, in the order they are tested,
// and its other terms.
ChainFeature Lay(const Model& m, const FeatureDesc& fd) {
    ChainFeature cf;
    cf.pfd = &fd;
    std::array<ChainCond, kTermsMax> rgcondPath;
    int cPath = 0;
    const int cTerms = std::clamp(fd.cTerms, 0, kTermsMax);
    for (int iTerm = 0; iTerm < cTerms; ++iTerm) {
        const FeatureTerm& ft = fd.rgftTerm[static_cast<std::size_t>(iTerm)];
        if (ft.iPos == kPosEmpty) continue;
        const int iElem = ft.iConditionElem;
        const bool fValue = iElem >= kElemValue && iElem < m.cTagElem;
        const bool fKnown = fValue || (iElem >= kElemAC && iElem < kElemAC + m.cTagElem) ||
                            (iElem >= kElemACMember && iElem < kElemACMember + m.cTagElem) ||
                            iElem == kElemForm;
        if (ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight || ft.pszValue == nullptr ||
            !fKnown) {
            cf.rgpftRest[static_cast<std::size_t>(cf.cRest++)] = &ft;
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
    return cf;
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
    return pchains;
}

} // namespace vexta
