// The trial of a candidate weight after weight gives the same error counts as
// the probability model's own trial pass, with features of the class and of
// the all-data class linked to the lines, for a candidate of either kind and
// for weights whose scores overflow.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "features/feature_match.h"
#include "tagging/error_rate.h"
#include "test_model_util.h"
#include "training/candidate_trial.h"
#include "training/train_model.h"

namespace vexta {
namespace {

using test::SawLines;
using test::TrainingArgs;
using test::TrainingSetup;

class TrialFixture : public ::testing::Test {
protected:
    TrainingSetup s{1};

    void SetUp() override {
        const std::string szPool = s.dir.Write("pool.txt", "");
        s.InitTraining(SawLines(16, 5), TrainingArgs(szPool));
    }

    AmbClass& AllData() {
        return s.m.rgacAmbClassArea[static_cast<std::size_t>(s.m.rgteTagElem[0].ilAmbClassFirst)];
    }

    // A feature of class ac with the counts (indexed like its class string)
    // and weight, added at the head of the class's chain.
    FeatureDesc& Add(AmbClass& ac, std::vector<long> rgclCnt, double dLambda) {
        FeatureDesc fd;
        fd.iTagElem = 0;
        fd.pacOfFeature = &ac;
        fd.pszY = s.m.pszEmpty;
        fd.dLambda = dLambda;
        fd.pszACFeature = ac.pszAmbClass;
        fd.cCntTagElemGivenFeature = static_cast<int>(rgclCnt.size());
        for (const long cl : rgclCnt) fd.clCnt += cl;
        fd.rgclCntTagElemGivenFeature = std::move(rgclCnt);
        EXPECT_EQ(AddFeature(fd, s.m, ac), 0);
        return s.m.rgfdFeatureArea[static_cast<std::size_t>(ac.ilPacFeatureFirst)];
    }

    // Chains the lines through rgilNextFeature; returns the head.
    long Chain(const std::vector<long>& rgil) {
        long ilFirst = -1;
        for (const long il : rgil) {
            s.dtT.rgilNextFeature[0][static_cast<std::size_t>(il)] = ilFirst;
            ilFirst = il;
        }
        return ilFirst;
    }

    void Link(FeatureDesc& fd, const std::vector<long>& rgil) {
        test::Stderr([&] { ASSERT_EQ(LinkTrainFeature(s.m, s.dtT, s.dtH, Chain(rgil), fd), 0); });
    }

    // Compares both trials of the candidate heading ac's chain on the lines
    // rgil at every weight.
    void ExpectSameTrials(AmbClass& ac, const std::vector<long>& rgil) {
        ASSERT_LE(ErrorRateAmbClass(s.dtT, s.m, ac, 0), 0);
        ac.clErrBefore = ac.clErrAmbClass;
        FeatureDesc& fdCand = s.m.rgfdFeatureArea[static_cast<std::size_t>(ac.ilPacFeatureFirst)];
        const long ilFirst = Chain(rgil);
        CandidateTrial trial;
        trial.Prepare(s.dtT, s.m, ac, ilFirst, 0);
        // On lines taken as all mis-tagged, the trial counts the lines it
        // corrects.
        std::vector<unsigned char>& rgfErr = s.dtT.rgrgfErr[0];
        const std::vector<unsigned char> rgfErrKept = rgfErr;
        for (const long il : rgil) rgfErr[static_cast<std::size_t>(il)] = 1;
        CandidateTrial trialErr;
        for (const double dLambda : {1.0, 2.0, 4.0, 8.0, 0.5, 0.25, 0.125, 3.7, 0.0, 5000.0}) {
            fdCand.dLambda = dLambda;
            trialErr.Prepare(s.dtT, s.m, ac, Chain(rgil), 0);
            long clCorrected = -1;
            if (!trialErr.Corrected(s.m, ac, clCorrected)) continue;
            test::Stderr([&] { trialErr.Measure(s.dtT, s.m, ac, 0); });
            EXPECT_EQ(clCorrected, ac.clErrBefore - ac.clErrAmbClass) << dLambda;
        }
        rgfErr = rgfErrKept;
        trial.Prepare(s.dtT, s.m, ac, Chain(rgil), 0);
        for (const double dLambda : {1.0, 2.0, 4.0, 8.0, 0.5, 0.25, 0.125, 3.7, 0.0, 5000.0}) {
            fdCand.dLambda = dLambda;
            int iModel = 0;
            const std::string szModel = test::Stderr(
                [&] { iModel = ErrorRateAmbClassFeature(s.dtT, s.m, ac, ilFirst, 0); });
            const long clModel = ac.clErrAmbClass;
            ac.clErrAmbClass = -99;
            int iTrial = 0;
            const std::string szTrial =
                test::Stderr([&] { iTrial = trial.Measure(s.dtT, s.m, ac, 0); });
            EXPECT_EQ(iTrial, iModel) << dLambda;
            EXPECT_EQ(ac.clErrAmbClass, clModel) << dLambda;
            // Overflowing scores are reported alike.
            EXPECT_EQ(szTrial, szModel) << dLambda;
        }
    }
};

TEST_F(TrialFixture, ClassCandidateMatchesTheProbabilityModel) {
    AmbClass& acNV = s.Class(0, "NV");
    Link(Add(acNV, {4, 6}, 2.0), {1, 3, 33, 35, 37});
    // All-data counts are indexed like "--DNPV".
    Link(Add(AllData(), {0, 0, 3, 5, 1, 2}, 0.5), {1, 33, 39});
    Link(Add(acNV, {9, 1}, 1.0), {5, 7, 35});
    Add(acNV, {2, 5}, 1.0);
    ExpectSameTrials(acNV, {1, 3, 5, 7, 9, 33, 35, 37, 39, 41});
}

TEST_F(TrialFixture, AllDataCandidateMatchesTheProbabilityModel) {
    AmbClass& acNV = s.Class(0, "NV");
    Link(Add(acNV, {4, 6}, 2.0), {1, 3, 33, 35, 37});
    Add(AllData(), {0, 0, 1, 2, 3, 4}, 1.0);
    // Lines 0 and 32 have one value only.
    ExpectSameTrials(AllData(), {0, 1, 3, 32, 33, 35, 41});
}

TEST_F(TrialFixture, KeptLineDataFollowsCandidatesAndNewLinks) {
    AmbClass& acNV = s.Class(0, "NV");
    Link(Add(acNV, {4, 6}, 2.0), {1, 3, 33, 35, 37});
    const std::vector<long> rgil = {1, 3, 5, 33, 35, 37, 39};
    ASSERT_LE(ErrorRateAmbClass(s.dtT, s.m, acNV, 0), 0);
    acNV.clErrBefore = acNV.clErrAmbClass;
    CandidateTrial trial;
    // The error count of each candidate in turn, by the trial and by the
    // probability model, at weight 4.
    const auto Both = [&](std::vector<long> rgclCnt) {
        FeatureDesc& fd = Add(acNV, std::move(rgclCnt), 4.0);
        const long ilFirst = Chain(rgil);
        trial.Prepare(s.dtT, s.m, acNV, ilFirst, 0);
        EXPECT_LE(trial.Measure(s.dtT, s.m, acNV, 0), 0);
        const long clTrial = acNV.clErrAmbClass;
        EXPECT_LE(ErrorRateAmbClassFeature(s.dtT, s.m, acNV, ilFirst, 0), 0);
        EXPECT_EQ(clTrial, acNV.clErrAmbClass);
        return &fd;
    };
    Both({2, 5});
    ASSERT_EQ(DelFeature(s.m, acNV), 0);
    Both({1, 1});
    ASSERT_EQ(DelFeature(s.m, acNV), 0);
    // Accepted: it is linked to its lines, and what was kept is forgotten.
    FeatureDesc* pfd = Both({0, 9});
    Link(*pfd, rgil);
    trial.Forget();
    Both({5, 2});
    Both({3, 3});
}

} // namespace
} // namespace vexta
