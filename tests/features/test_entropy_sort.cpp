// Entropy of pool features and the orders of a class's pool range.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "features/entropy_sort.h"
#include "test_model_util.h"

namespace vexta {
namespace {

TEST(ComputeFeatureEntropy, SmoothedByThePoolThreshold) {
    Model m;
    FeatureDesc fd;
    fd.cCntTagElemGivenFeature = 2;
    fd.rgclCntTagElemGivenFeature = {8, 0};
    fd.clCnt = 8;
    m.cPoolThr = 2; // p = (1 + 8) / 10 and (1 + 0) / 10
    EXPECT_EQ(ComputeFeatureEntropy(&m, &fd), 0);
    EXPECT_NEAR(fd.dLambda, 0.4690, 0.0001);
    m.cPoolThr = 0; // smoothed with 1: p = 8.5 / 9 and 0.5 / 9
    ComputeFeatureEntropy(&m, &fd);
    EXPECT_NEAR(fd.dLambda, -(8.5 / 9 * std::log2(8.5 / 9) + 0.5 / 9 * std::log2(0.5 / 9)), 1e-12);
    fd.clCnt = -5;
    EXPECT_EQ(ComputeFeatureEntropy(&m, &fd), 1);
}

TEST(CmpFeature, Orders) {
    auto fnFeature = [](double dEntropy, long clCnt, int cTerms, int iPos) {
        FeatureDesc fd;
        fd.dLambda = dEntropy;
        fd.clCnt = clCnt;
        fd.cTerms = cTerms;
        for (int it = 0; it < cTerms; ++it) fd.rgftTerm[it] = FeatureTerm{iPos, -1, "", 0, "a"};
        return fd;
    };
    const FeatureDesc fd = fnFeature(0.5, 3, 1, 0);
    EXPECT_LT(CmpFeatureEntropy(fd, fnFeature(0.9, 9, 1, 0)), 0);
    EXPECT_GT(CmpFeatureCount(fd, fnFeature(0.9, 9, 1, 0)), 0);
    EXPECT_GT(CmpFeatureEntropy(fd, fnFeature(0.5, 4, 1, 0)), 0);  // then by count
    EXPECT_LT(CmpFeatureEntropy(fd, fnFeature(0.5, 3, 2, 0)), 0);  // then fewer terms
    EXPECT_GT(CmpFeatureEntropy(fd, fnFeature(0.5, 3, 1, -1)), 0); // then the terms
    EXPECT_EQ(CmpFeatureEntropy(fd, fnFeature(0.5, 3, 1, 0)), 0);
    EXPECT_EQ(CmpFeatureCountOnly(fd, fnFeature(0.1, 3, 2, 0)), 0);
    EXPECT_LT(CmpFeatureEntropy(fnFeature(std::nan(""), 9, 1, 0), fd), 0); // unordered: count
}

TEST(ReSortFeatureSugg, SortsEachClassRange) {
    test::TrainingSetup ps(1);
    ps.Init({"N|NV/|a|a|", "V|NV/|a|a|", "A|AN/|a|a|"}, test::GenerationArgs());
    Model& m = ps.m;
    AmbClass& acNV = ps.Class(0, "NV");
    for (auto [dEntropy, clCnt] : {std::pair{0.9, 3L}, std::pair{0.5, 2L}, std::pair{0.5, 7L}}) {
        FeatureDesc& fd = m.rgfdFeatureSugg.emplace_back();
        fd.dLambda = dEntropy;
        fd.clCnt = clCnt;
        fd.pacOfFeature = &acNV;
        fd.pszACFeature = acNV.pszAmbClass;
    }
    m.clFeatureSuggUsed = 3;
    acNV.ilSuggFirst = 0;
    acNV.ilSuggLast = 2;
    // The counts in pool order after sorting, then what was reported.
    const auto Sorted = [&](int iSortSugg) {
        m.iSortSugg = iSortSugg;
        const std::string szErr =
            test::Stderr([&] { EXPECT_EQ(ReSortFeatureSugg(&ps.dtT, &ps.dtH, &m), 0); });
        std::string sz;
        for (int il = 0; il < 3; ++il) sz += std::to_string(m.rgfdFeatureSugg[il].clCnt) + " ";
        return sz + szErr;
    };
    const std::string sz = Sorted(2); // entropy, then count
    EXPECT_TRUE(sz.starts_with("7 2 3 Re-sorting features based on training data "
                               "(ReSortFeatureSugg: ).\n(Entropy) Working on class --ANV, te 0.\n"
                               "sstart: -1, send: -1\n(Entropy) Working on class NV, te 0.\n"
                               "sstart: 0, send: 2\nsorted 0..2:\n"))
        << sz;
    EXPECT_TRUE(Sorted(1).starts_with("7 3 2 "));
}

} // namespace
} // namespace vexta
