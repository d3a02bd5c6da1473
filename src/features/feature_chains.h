// The feature chains of a fixed model laid out for tagging: each class's
// chain as an array in chain order, every feature with the conditions of its
// terms that can be tested at a fixed position by a pointer or byte
// comparison (at a fixed position, or at the closest one with a given AC
// string), and its other terms. A feature fires when all its terms hold,
// so tagging tests the other terms only when those conditions hold; the
// features that fire, and their order, are those of the chain.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "model/model.h"

namespace vexta {

// A condition of a term at a fixed position, or at the closest position to
// the left or right (at most kClosestMax lines away) where the AC string of a
// tag element is a given one.
struct ChainCond {
    // What the condition tests at its line.
    enum Kind : int { kForm, kAC, kACMember, kValue, kTag };

    int iPos = 0;                     // position relative to the line (iDir 0)
    int iElem = -1;                   // a tag value, the whole tag, an AC string, an AC member
                                      // or the form
    const char* pszValue = nullptr;   // its value (never null)
    int iDir = 0;                     // -1 closest to the left, 1 to the right, 0 fixed
    int tClosest = 0;                 // the tag element whose AC string is searched for
    const char* pszClosest = nullptr; // that AC string
    Kind kind = kForm;                // what iElem names
    int t = 0;                        // its tag element (not for the form)
};

struct ChainFeature {
    const FeatureDesc* pfd = nullptr;
    // The conditions tested first: those at fixed positions that read no tag
    // of the beam path (one of them excludes the feature for every path),
    // then those on tags to the left, then those at closest positions, each
    // group in term order.
    std::array<ChainCond, kTermsMax> rgcond{};
    int cCond = 0;
    // The other terms that are not empty, in term order: tested one by one
    // as the whole match tests them, once the conditions hold.
    std::array<const FeatureTerm*, kTermsMax> rgpftRest{};
    int cRest = 0;
    // On the chain of a class other than the all-data one: where the factors
    // the feature gives the class's values when it fires start in
    // FeatureChains::rgdFactor (one per value, in AC string order); -1 else.
    long iFactor = -1;
};

struct ChainKey {
    // The value: a form or AC string by address, or a tag value or AC
    // member as an unsigned byte.
    std::uintptr_t key = 0;
    std::uint64_t mask = 0; // the features of the block that require it
};

// Where the first conditions of some features of a chain look (the
// condition without its value), and the values they require there, each
// with the features that require it.
struct ChainLocator {
    ChainCond cond;              // its pszValue is not used
    ChainKey key0;               // the first value
    std::uint32_t iKeyFirst = 0; // the others in FeatureChains::rgKey, from here
    std::uint32_t cKeyMore = 0;  // how many
};

// Up to kChainBlock consecutive features of a chain, with their first
// conditions grouped by locator: a line looks at each locator once, finds
// its value among the required ones, and tests the other conditions only
// of the features whose first condition holds, in chain order.
struct ChainBlock {
    static constexpr int kChainBlock = 64;
    // The locators by what they read, each group tested in a loop of its
    // own: forms, AC strings, tag values and AC members at fixed positions,
    // then everything at closest lines.
    enum Group : int { kGroupForm, kGroupAC, kGroupValue, kGroupACMember, kGroupClosest, kGroups };
    long iFeatureFirst = 0;      // in FeatureChains::rgcf
    std::uint64_t maskRest = 0;  // features whose first condition has no locator (tested whole)
    std::uint32_t iLocFirst = 0; // its locators in FeatureChains::rgLoc
    std::array<std::uint32_t, kGroups> rgiLocEnd{}; // where each group ends
};

struct FeatureChains {
    std::vector<ChainFeature> rgcf;            // the chains one after the other
    std::vector<std::pair<long, long>> rgSpan; // per class of the area: first, end in rgcf
    // The chains in blocks: per class of the area, first and end in rgBlock.
    std::vector<ChainBlock> rgBlock;
    std::vector<std::pair<long, long>> rgBlockSpan;
    std::vector<ChainLocator> rgLoc;
    std::vector<ChainKey> rgKey;
    // Per class of the area: the length of its AC string, and where its
    // values' unigram probabilities start in rgdW (as the probability model
    // computes them from the class's counts).
    std::vector<int> rgcchAC;
    std::vector<std::size_t> rgiW;
    std::vector<double> rgdW;
    // Per class, also from rgiW: its values' probabilities when no feature
    // fires, which depend on the class alone (for the raw estimate's weight
    // dRawNoFire), and the best value then.
    std::vector<double> rgdFactor; // see ChainFeature::iFactor
    std::vector<double> rgdPNoFire;
    std::vector<int> rgiBestNoFire;
    double dRawNoFire = 0.0;
    // What a computation at a line of a class reads of it, found with one
    // look-up: the class, its AC string's length, where its probabilities
    // start in rgdW and rgdPNoFire, its best value without a firing
    // feature, and its chain's blocks in rgBlock.
    struct ClassEntry {
        const char* pszAC = nullptr; // the key; null: an empty slot
        const AmbClass* pac = nullptr;
        int n = 0;
        int iBestNoFire = 0;
        std::size_t iW = 0;
        long iBlockFirst = 0;
        long iBlockEnd = 0;
    };
    // Per tag element: its classes other than the all-data one by AC string
    // address, open addressing in rgSlot from iFirst with mask + 1 slots;
    // the first class of a string, as a search in area order finds it.
    // And the blocks of the all-data class's chain.
    struct ElemIndex {
        std::size_t iFirst = 0;
        std::size_t mask = 0;
        long iAllDataBlockFirst = 0;
        long iAllDataBlockEnd = 0;
    };
    std::vector<ElemIndex> rgElemIndex;
    std::vector<ClassEntry> rgSlot;

    static std::size_t SlotOf(const char* psz, std::size_t mask) {
        auto x = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(psz));
        x ^= x >> 29;
        x *= 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(x >> 32) & mask;
    }
    // The class of tag element iTE (all-data one excluded) whose AC string is
    // pszAC (interned), or null.
    const ClassEntry* ClassOf(int iTE, const char* pszAC) const {
        // One comparison: a negative element wraps round to a large one.
        if (static_cast<std::size_t>(iTE) >= rgElemIndex.size()) return nullptr;
        const ElemIndex& ei = rgElemIndex[static_cast<std::size_t>(iTE)];
        for (std::size_t i = SlotOf(pszAC, ei.mask);; i = (i + 1) & ei.mask) {
            const ClassEntry& entry = rgSlot[ei.iFirst + i];
            if (entry.pszAC == pszAC) return &entry;
            if (entry.pszAC == nullptr) return nullptr;
        }
    }

    // The blocks of the chain of class pac, in order; empty for a class it
    // does not know.
    std::span<const ChainBlock> BlocksOf(const Model& m, const AmbClass* pac) const {
        if (pac == nullptr) return {};
        const auto k = static_cast<std::size_t>(pac - m.rgacAmbClassArea.data());
        if (k >= rgBlockSpan.size()) return {};
        const auto [iFirst, iEnd] = rgBlockSpan[k];
        return std::span<const ChainBlock>(rgBlock).subspan(
            static_cast<std::size_t>(iFirst), static_cast<std::size_t>(iEnd - iFirst));
    }
};

// Lays out the chains of every class of m. The model must not change while
// they are in use.
std::shared_ptr<const FeatureChains> BuildFeatureChains(const Model& m);

} // namespace vexta
