// Entropy of pool features and the re-sorting of the pool before selection.
#include "features/entropy_sort.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "model/model.h"

namespace vexta {

namespace {

template <class T> int Cmp3(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Interned strings compared by address: a fixed, repeatable order.
int CmpAddress(const char* psz1, const char* psz2) {
    const std::less<const char*> less;
    return less(psz1, psz2) ? -1 : (less(psz2, psz1) ? 1 : 0);
}

} // namespace

int ComputeFeatureEntropy(const Model* pm, FeatureDesc* pfd) {
    const double a = pm->cPoolThr > 0 ? pm->cPoolThr : 1;
    const double dTotal = a + static_cast<double>(pfd->clCnt);
    if (dTotal <= 0) return 1;
    const int n = std::min<int>(pfd->cCntTagElemGivenFeature,
                                static_cast<int>(pfd->rgclCntTagElemGivenFeature.size()));
    double dSum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double p = (a / pfd->cCntTagElemGivenFeature +
                          static_cast<double>(pfd->rgclCntTagElemGivenFeature[i])) /
                         dTotal;
        dSum -= p * std::log(p);
    }
    pfd->dLambda = dSum * 1.4426950408889634;
    return 0;
}

int CmpFeatureEntropy(const FeatureDesc& fd1, const FeatureDesc& fd2) {
    // Unordered entropies (not a number) compare as equal here.
    if (fd1.dLambda < fd2.dLambda) return -1;
    if (fd2.dLambda < fd1.dLambda) return 1;
    if (int i = Cmp3(fd2.clCnt, fd1.clCnt)) return i;
    if (int i = Cmp3(fd1.cTerms, fd2.cTerms)) return i;
    const int cTerms = std::clamp(fd1.cTerms, 0, kTermsMax);
    for (int it = 0; it < cTerms; ++it) {
        const FeatureTerm& ft1 = fd1.rgftTerm[it];
        const FeatureTerm& ft2 = fd2.rgftTerm[it];
        if (int i = Cmp3(ft1.iPos, ft2.iPos)) return i;
        if (int i = Cmp3(ft1.iClosestConditionElem, ft2.iClosestConditionElem)) return i;
        if (int i = CmpAddress(ft1.pszClosestValue, ft2.pszClosestValue)) return i;
        if (int i = Cmp3(ft1.iConditionElem, ft2.iConditionElem)) return i;
        if (int i = CmpAddress(ft1.pszValue, ft2.pszValue)) return i;
    }
    return 0;
}

int CmpFeatureCount(const FeatureDesc& fd1, const FeatureDesc& fd2) {
    if (int i = Cmp3(fd2.clCnt, fd1.clCnt)) return i;
    return CmpFeatureEntropy(fd1, fd2);
}

int CmpFeatureCountOnly(const FeatureDesc& fd1, const FeatureDesc& fd2) {
    return Cmp3(fd2.clCnt, fd1.clCnt);
}

int ReSortFeatureSugg(DataTable* /*pdtT*/, DataTable* /*pdtH*/, Model* pm) {
    Model& m = *pm;
    std::fprintf(stderr, "Re-sorting features based on training data (%s).\n",
                 "ReSortFeatureSugg: ");
    int (*pfnCmp)(const FeatureDesc&, const FeatureDesc&) = CmpFeatureCountOnly;
    if (m.iSortSugg == 2) {
        pfnCmp = CmpFeatureEntropy;
    } else if (m.iSortSugg == 1) {
        pfnCmp = CmpFeatureCount;
    }
    const long clPool = std::min(m.clFeatureSuggUsed, static_cast<long>(m.rgfdFeatureSugg.size()));
    for (int t = 0; t < static_cast<int>(m.rgteTagElem.size()); ++t) {
        const TagElem& te = m.rgteTagElem[t];
        for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
            AmbClass& ac = m.rgacAmbClassArea[il];
            std::fprintf(stderr, "(Entropy) Working on class %s, te %d.\n", ac.pszAmbClass, t);
            std::fprintf(stderr, "sstart: %ld, send: %d\n", ac.ilSuggFirst,
                         static_cast<int>(ac.ilSuggLast));
            if (ac.ilSuggFirst < 0) continue;
            // Stable, so that records that compare equal keep their pool order.
            const long ilEnd = std::min(ac.ilSuggLast + 1, clPool);
            if (ilEnd > ac.ilSuggFirst) {
                std::stable_sort(m.rgfdFeatureSugg.begin() + ac.ilSuggFirst,
                                 m.rgfdFeatureSugg.begin() + ilEnd,
                                 [pfnCmp](const FeatureDesc& fd1, const FeatureDesc& fd2) {
                                     return pfnCmp(fd1, fd2) < 0;
                                 });
            }
            std::fprintf(stderr, "sorted %ld..%ld:\n", ac.ilSuggFirst, ac.ilSuggLast);
            for (long ilf = ac.ilSuggFirst; ilf < ilEnd; ++ilf) {
                const FeatureDesc& fd = m.rgfdFeatureSugg[ilf];
                const char* pszOfFeature =
                    fd.pacOfFeature != nullptr ? fd.pacOfFeature->pszAmbClass : nullptr;
                if (fd.pszACFeature == pszOfFeature && fd.pszACFeature == ac.pszAmbClass) continue;
                std::fprintf(stderr, "ReSort MISMATCH: pac->pszAmbClass == %s, ", ac.pszAmbClass);
                std::fprintf(stderr, "pfd->pszACFeature == %s, ",
                             fd.pszACFeature != nullptr ? fd.pszACFeature : "");
                std::fprintf(stderr, "pfd->pacOfFeature->pszAmbClass == %s\n",
                             pszOfFeature != nullptr ? pszOfFeature : "");
                PrintFeature(stderr, m, fd);
                std::fputs(" (end of re-sort mismatch report)\n", stderr);
            }
        }
    }
    return 0;
}

} // namespace vexta
