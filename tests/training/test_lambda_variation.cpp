// Tests of lambda variation: a weight changes only for an improvement of at
// least four lines inside the range, ties keep the smaller weight, and
// features without lines or with weight 0 keep theirs.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "features/feature_match.h"
#include "tagging/beam_search.h"
#include "test_model_util.h"
#include "training/lambda_variation.h"
#include "training/train_model.h"

namespace vexta {
namespace {

using test::SawLines;
using test::TrainingArgs;
using test::TrainingSetup;

// 16 nouns and 5 verbs "saw" (lines 33, 35, ..., 41): the class prior makes
// every verb a noun. A feature of class NV whose counts lean weakly to V
// (4 N, 6 V) turns a verb right only with a weight above about 2.5.
class LambdaFixture : public ::testing::Test {
protected:
    TrainingSetup s{1};
    FeatureDesc* pfd = nullptr;

    void SetUp() override {
        const std::string szPool = s.dir.Write("pool.txt", "");
        s.InitTraining(SawLines(16, 5), TrainingArgs(szPool));
        AmbClass& ac = s.Class(0, "NV");
        FeatureDesc fd;
        fd.iTagElem = 0;
        fd.pacOfFeature = &ac;
        fd.pszY = s.m.pszEmpty;
        fd.dLambda = 1.0;
        fd.pszACFeature = ac.pszAmbClass;
        fd.cCntTagElemGivenFeature = 2;
        fd.rgclCntTagElemGivenFeature = {4, 6};
        fd.clCnt = 10;
        ASSERT_EQ(AddFeature(fd, s.m, ac), 0);
        pfd = &s.m.rgfdFeatureArea[0];
    }

    // Links the feature to the given lines (as training does for the lines
    // where it fires), builds its line list and sets the error flags with a
    // true-context pass over lines 0..clData-2.
    void LinkTo(const std::vector<long>& rgil) {
        long ilFirst = -1;
        for (const long il : rgil) {
            s.dtT.rgilNextFeature[0][static_cast<std::size_t>(il)] = ilFirst;
            ilFirst = il;
        }
        test::Stderr([&] { ASSERT_EQ(LinkTrainFeature(s.m, s.dtT, s.dtH, ilFirst, *pfd), 0); });
        LinkFeatureLineLists(s.dtT, s.m);
        ASSERT_LE(ErrorRateDataVTC(s.dtT, s.m, 0, 1, 0, s.dtT.clData - 1, 0, 0), 0);
    }

    int Vary(std::string* pszErr = nullptr) {
        int iRes = 0;
        const std::string szErr = test::Stderr(
            [&] { iRes = VaryLambdaVTC(s.dtT, s.m, 0, 0, *pfd, 0, s.dtT.clData - 1); });
        if (pszErr != nullptr) *pszErr = szErr;
        return iRes;
    }
};

// The k-th weight tried from weight 1.0, formed as the variation forms it.
double TriedWeight(int k) {
    double d = 1.0 * 0.001;
    for (int i = 0; i < k; ++i) d *= 1.6;
    return d;
}

TEST_F(LambdaFixture, FourImprovedLinesChangeTheWeightToTheFirstBest) {
    // Line 41 lies outside the range 0..clData-2: four lines count.
    LinkTo({33, 35, 37, 39, 41});
    EXPECT_EQ(s.dtT.rgfLineErr[33], 1);
    std::string szErr;
    EXPECT_LE(Vary(&szErr), 0);
    // Every weight from 0.001 * 1.6^17 = 2.95 on fixes all four; the first
    // (smallest) of them is kept.
    EXPECT_EQ(pfd->dLambda, TriedWeight(17)) << szErr;
    EXPECT_NE(szErr.find("##########  better lambda 2.95147905: improv 4\n"), std::string::npos)
        << szErr;
    EXPECT_NE(szErr.find("\n ~~~ lambda changed: 1.00000000 ---> 2.95147905\n\n\n"),
              std::string::npos);
}

TEST_F(LambdaFixture, ThreeImprovedLinesKeepTheWeight) {
    LinkTo({35, 37, 39});
    std::string szErr;
    EXPECT_LE(Vary(&szErr), 0);
    EXPECT_EQ(pfd->dLambda, 1.0);
    EXPECT_NE(szErr.find("better lambda 2.95147905: improv 3\n"), std::string::npos) << szErr;
    EXPECT_EQ(szErr.find("lambda changed"), std::string::npos);
}

TEST_F(LambdaFixture, LinesThatGetWorseCountAgainstTheBetterOnes) {
    // Four verbs get right with a large weight, but two nouns turn wrong:
    // the net improvement of 2 is not enough.
    LinkTo({1, 3, 33, 35, 37, 39});
    EXPECT_LE(Vary(), 0);
    EXPECT_EQ(pfd->dLambda, 1.0);
}

TEST_F(LambdaFixture, NoLineInRangeOrWeightZeroKeepsTheWeight) {
    LinkTo({33, 35, 37, 39, 41});
    std::string szErr;
    EXPECT_EQ(test::Stderr(
                  [&] { EXPECT_EQ(VaryLambdaVTC(s.dtT, s.m, 0, 0, *pfd, 41, s.dtT.clData), 0); }),
              "");
    EXPECT_EQ(pfd->dLambda, 1.0);
    pfd->dLambda = 0.0;
    EXPECT_EQ(Vary(&szErr), 0);
    EXPECT_EQ(pfd->dLambda, 0.0);
    EXPECT_EQ(szErr, "");
}

TEST_F(LambdaFixture, MissingCandidatesEndTheRun) {
    LinkTo({33, 35, 37, 39});
    // Line 35 loses its candidate tags.
    s.dtT.rgdl[35].rgpszMMt = {};
    s.dtT.rgdl[35].cMMt = 0;
    EXPECT_FATAL(VaryLambdaVTC(s.dtT, s.m, 0, 0, *pfd, 0, s.dtT.clData - 1), 18032,
                 "VaryLambdaVTC: Set of possible tags missing at data line 35");
}

} // namespace
} // namespace vexta
