// Feature chains laid out for tagging.

#include "features/feature_chains.h"

#include <algorithm>

namespace vexta {

namespace {

// The first term's condition when it can be tested at a fixed position
// before the rest: a tag value, an AC string or the form.
ChainFeature Lay(const Model& m, const FeatureDesc& fd) {
    ChainFeature cf;
    cf.pfd = &fd;
    for (int iTerm = 0; iTerm < fd.cTerms; ++iTerm) {
        const FeatureTerm& ft = fd.rgftTerm[static_cast<std::size_t>(iTerm)];
        if (ft.iPos == kPosEmpty) continue;
        const int iElem = ft.iConditionElem;
        const bool fKnown = (iElem >= kElemValue && iElem < m.cTagElem) ||
                            (iElem >= kElemAC && iElem < kElemAC + m.cTagElem) ||
                            iElem == kElemForm;
        if (ft.iPos != kPosClosestLeft && ft.iPos != kPosClosestRight && fKnown &&
            ft.pszValue != nullptr) {
            cf.iPos = ft.iPos;
            cf.iElem = iElem;
            cf.pszValue = ft.pszValue;
        }
        break;
    }
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
