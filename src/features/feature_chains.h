// The feature chains of a fixed model laid out for tagging: each class's
// chain as an array in chain order, every feature with the conditions of its
// terms that can be tested at a fixed position by a pointer or byte
// comparison, and its other terms. A feature fires when all its terms hold,
// so tagging tests the other terms only when those conditions hold; the
// features that fire, and their order, are those of the chain.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "model/model.h"

namespace vexta {

// A condition of a term at a fixed position.
struct ChainCond {
    int iPos = 0;                   // position relative to the line
    int iElem = -1;                 // a tag value, an AC string, an AC member or the form
    const char* pszValue = nullptr; // its value (never null)
};

struct ChainFeature {
    const FeatureDesc* pfd = nullptr;
    // The conditions tested before the whole match: those that read no tag
    // of the beam path first (one of them excludes the feature for every
    // path), then those on tags to the left, each group in term order.
    std::array<ChainCond, kTermsMax> rgcond{};
    int cCond = 0;
    // The other terms that are not empty, in term order: tested one by one
    // as the whole match tests them, once the conditions hold.
    std::array<const FeatureTerm*, kTermsMax> rgpftRest{};
    int cRest = 0;
};

struct FeatureChains {
    std::vector<ChainFeature> rgcf;            // the chains one after the other
    std::vector<std::pair<long, long>> rgSpan; // per class of the area: first, end in rgcf

    // The chain of class pac, in order; empty for a class it does not know.
    std::span<const ChainFeature> Of(const Model& m, const AmbClass* pac) const {
        if (pac == nullptr) return {};
        const auto k = static_cast<std::size_t>(pac - m.rgacAmbClassArea.data());
        if (k >= rgSpan.size()) return {};
        const auto [iFirst, iEnd] = rgSpan[k];
        return std::span<const ChainFeature>(rgcf).subspan(static_cast<std::size_t>(iFirst),
                                                           static_cast<std::size_t>(iEnd - iFirst));
    }
};

// Lays out the chains of every class of m. The model must not change while
// they are in use.
std::shared_ptr<const FeatureChains> BuildFeatureChains(const Model& m);

} // namespace vexta
