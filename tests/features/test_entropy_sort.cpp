// Entropy of pool features and the orders of a class's pool range.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "features/entropy_sort.h"
#include "pool_test_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::PoolSetup;

FeatureDesc Counted(std::vector<long> rgcl) {
    FeatureDesc fd;
    fd.cCntTagElemGivenFeature = static_cast<int>(rgcl.size());
    for (long cl : rgcl) fd.clCnt += cl;
    fd.rgclCntTagElemGivenFeature = std::move(rgcl);
    return fd;
}

TEST(ComputeFeatureEntropy, SmoothedByThePoolThreshold) {
    Model m;
    m.cPoolThr = 2;
    FeatureDesc fd = Counted({8, 0});
    EXPECT_EQ(ComputeFeatureEntropy(&m, &fd), 0);
    // p = (1 + 8) / 10 and (1 + 0) / 10.
    EXPECT_NEAR(fd.dLambda, -(0.9 * std::log2(0.9) + 0.1 * std::log2(0.1)), 1e-12);
    EXPECT_NEAR(fd.dLambda, 0.469, 0.0005);

    // A threshold of 0 or below smooths with 1.
    for (int cPoolThr : {0, -3}) {
        m.cPoolThr = cPoolThr;
        EXPECT_EQ(ComputeFeatureEntropy(&m, &fd), 0);
        const double p0 = 8.5 / 9;
        const double p1 = 0.5 / 9;
        EXPECT_NEAR(fd.dLambda, -(p0 * std::log2(p0) + p1 * std::log2(p1)), 1e-12);
    }

    // Every entry counts, also the two marker entries of an all-data class.
    m.cPoolThr = 4;
    fd = Counted({0, 0, 2, 2});
    ComputeFeatureEntropy(&m, &fd);
    EXPECT_NEAR(fd.dLambda, -2 * (0.375 * std::log2(0.375) + 0.125 * std::log2(0.125)), 1e-12);

    fd.clCnt = -5;
    fd.dLambda = 7.0;
    EXPECT_EQ(ComputeFeatureEntropy(&m, &fd), 1);
    EXPECT_EQ(fd.dLambda, 7.0);
}

TEST(CmpFeature, Orders) {
    const char* const pszA = "a";
    const char* const pszB = "b";
    auto fnFeature = [&](double dEntropy, long clCnt, int cTerms, int iPos, const char* pszValue) {
        FeatureDesc fd;
        fd.dLambda = dEntropy;
        fd.clCnt = clCnt;
        fd.cTerms = cTerms;
        for (int it = 0; it < cTerms; ++it) {
            fd.rgftTerm[it] = FeatureTerm{iPos, -1, pszA, 0, pszValue};
        }
        return fd;
    };
    const FeatureDesc fdLow = fnFeature(0.5, 3, 1, 0, pszA);
    const FeatureDesc fdHigh = fnFeature(0.9, 9, 1, 0, pszA);
    EXPECT_LT(CmpFeatureEntropy(fdLow, fdHigh), 0);
    EXPECT_GT(CmpFeatureCount(fdLow, fdHigh), 0); // by count first
    EXPECT_GT(CmpFeatureCountOnly(fdLow, fdHigh), 0);

    // Equal entropies: larger count first, then fewer terms, then the terms.
    const FeatureDesc fdMore = fnFeature(0.5, 4, 1, 0, pszA);
    EXPECT_GT(CmpFeatureEntropy(fdLow, fdMore), 0);
    const FeatureDesc fdTwoTerms = fnFeature(0.5, 3, 2, 0, pszA);
    EXPECT_LT(CmpFeatureEntropy(fdLow, fdTwoTerms), 0);
    const FeatureDesc fdLeft = fnFeature(0.5, 3, 1, -1, pszA);
    EXPECT_GT(CmpFeatureEntropy(fdLow, fdLeft), 0);
    const FeatureDesc fdOther = fnFeature(0.5, 3, 1, 0, pszB);
    EXPECT_EQ(CmpFeatureEntropy(fdLow, fdOther), -CmpFeatureEntropy(fdOther, fdLow));
    EXPECT_NE(CmpFeatureEntropy(fdLow, fdOther), 0); // values by address
    EXPECT_EQ(CmpFeatureEntropy(fdLow, fnFeature(0.5, 3, 1, 0, pszA)), 0);
    EXPECT_EQ(CmpFeatureCountOnly(fdLow, fdTwoTerms), 0);

    // An entropy that is not a number goes on to the count.
    const FeatureDesc fdNaN = fnFeature(std::nan(""), 9, 1, 0, pszA);
    EXPECT_LT(CmpFeatureEntropy(fdNaN, fdLow), 0);
}

TEST(ReSortFeatureSugg, SortsEachClassRange) {
    PoolSetup ps(1);
    ps.Init({"N|NV/|a|a|", "V|NV/|a|a|", "A|AN/|a|a|"}, GenerationArgs());
    Model& m = ps.m;
    AmbClass& acNV = ps.Class(0, "NV");
    AmbClass& acAN = ps.Class(0, "AN");
    // The pool of NV: entropies 0.9, 0.5, 0.5 with counts 3, 2, 7.
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

    auto fnCounts = [&]() {
        std::vector<long> rg;
        for (long il = 0; il < 3; ++il) rg.push_back(m.rgfdFeatureSugg[il].clCnt);
        return rg;
    };
    m.iSortSugg = 2;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReSortFeatureSugg(&ps.dtT, &ps.dtH, &m), 0);
    std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(fnCounts(), (std::vector<long>{7, 2, 3}));
    EXPECT_NE(szErr.find("Re-sorting features based on training data (ReSortFeatureSugg: ).\n"),
              std::string::npos);
    EXPECT_NE(
        szErr.find("(Entropy) Working on class NV, te 0.\nsstart: 0, send: 2\nsorted 0..2:\n"),
        std::string::npos)
        << szErr;
    // A class without pool features is reported, not sorted.
    EXPECT_NE(szErr.find("(Entropy) Working on class --ANV, te 0.\nsstart: -1, send: -1\n"
                         "(Entropy) Working on class NV"),
              std::string::npos)
        << szErr;
    EXPECT_EQ(szErr.find("MISMATCH"), std::string::npos);

    m.iSortSugg = 1;
    testing::internal::CaptureStderr();
    ReSortFeatureSugg(&ps.dtT, &ps.dtH, &m);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fnCounts(), (std::vector<long>{7, 3, 2}));

    // A record that belongs to another class is reported.
    m.rgfdFeatureSugg[1].pacOfFeature = &acAN;
    m.iSortSugg = 0;
    testing::internal::CaptureStderr();
    ReSortFeatureSugg(&ps.dtT, &ps.dtH, &m);
    szErr = testing::internal::GetCapturedStderr();
    EXPECT_NE(szErr.find("ReSort MISMATCH: pac->pszAmbClass == NV, pfd->pszACFeature == NV, "
                         "pfd->pacOfFeature->pszAmbClass == AN\n@0/NV(AN),"),
              std::string::npos)
        << szErr;
    EXPECT_NE(szErr.find(" (end of re-sort mismatch report)\n"), std::string::npos);
}

} // namespace
} // namespace vexta
