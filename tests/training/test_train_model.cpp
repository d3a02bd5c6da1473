// Tests of the training loop: the threshold schedule, the weight search, the
// pool walk and the feature area, and whole iterations on small data sets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tagging/error_rate.h"
#include "test_model_util.h"
#include "training/train_model.h"

namespace vexta {
namespace {

using test::SawLines;
using test::TrainingArgs;
using test::TrainingSetup;

// The thresholds of the passes of one tag element, given the largest class
// error each pass meets.
std::vector<long> Schedule(long clData, int cThrMin, bool fHalving,
                           const std::vector<long>& rgclErrMax) {
    ThresholdSchedule schedule(clData, cThrMin, fHalving);
    std::vector<long> rgclThr;
    long clThr = 0;
    while (schedule.Next(clThr)) {
        rgclThr.push_back(clThr);
        const std::size_t i = rgclThr.size() - 1;
        schedule.PassDone(i < rgclErrMax.size() ? rgclErrMax[i] : 0);
        if (rgclThr.size() > 64) break; // a schedule that never ends
    }
    return rgclThr;
}

TEST(ThresholdSchedule, OnePassAtTheMinimumWithoutHalving) {
    EXPECT_EQ(Schedule(1000, 3, false, {500}), (std::vector<long>{3}));
    EXPECT_EQ(Schedule(1000, 1, false, {0}), (std::vector<long>{1}));
    // A minimum above the training lines leaves nothing to select.
    EXPECT_EQ(Schedule(10, 11, false, {}), (std::vector<long>{}));
    EXPECT_EQ(Schedule(10, 10, false, {5}), (std::vector<long>{10}));
}

TEST(ThresholdSchedule, HalvesBelowTheWorstClassDownToTheMinimum) {
    // 1000 lines: 500, then min(250, worst 300) = 250, min(125, 400) = 125,
    // min(62, 40) = 40, 20, 10, 5, then 2 < 3 falls back to the minimum once.
    EXPECT_EQ(Schedule(1000, 3, true, {300, 400, 40, 40, 40, 40, 40, 40}),
              (std::vector<long>{500, 250, 125, 40, 20, 10, 5, 3}));
    // Classes with few errors pull the threshold down at once.
    EXPECT_EQ(Schedule(1000, 3, true, {7, 7}), (std::vector<long>{500, 7, 3}));
    // No errors at all: one pass at the minimum after the first.
    EXPECT_EQ(Schedule(1000, 3, true, {0}), (std::vector<long>{500, 3}));
    // A halved threshold that lands on the minimum is the last pass.
    EXPECT_EQ(Schedule(16, 2, true, {16, 16, 16}), (std::vector<long>{8, 4, 2}));
}

std::vector<double> Weights(double dLambdaMax, double dLambdaMin) {
    WeightSearch search(dLambdaMax, dLambdaMin);
    std::vector<double> rg;
    for (double d = 0; search.Next(d) && rg.size() < 100;) rg.push_back(d);
    return rg;
}

TEST(WeightSearch, DoublesUpToTheMaximumThenHalvesToTheMinimum) {
    // LambdaMax 8 is stored as 7.9999: 8 is tried, 16 is not.
    EXPECT_EQ(Weights(7.9999, 0.125), (std::vector<double>{1, 2, 4, 8, 0.5, 0.25, 0.125}));
    EXPECT_EQ(Weights(0.9999, 0.3), (std::vector<double>{1, 0.5, 0.25}));
    EXPECT_EQ(Weights(3.9999, 1.0), (std::vector<double>{1}));
}

// The weight chosen when weight k of the sequence 1, 2, 4, 8, 0.5, 0.25,
// 0.125 improves by rgcl[k].
double Chosen(const std::vector<long>& rgcl, long* pclBest = nullptr) {
    WeightSearch search(7.9999, 0.125);
    std::size_t i = 0;
    for (double d = 0; search.Next(d); ++i) search.Record(i < rgcl.size() ? rgcl[i] : 0);
    if (pclBest != nullptr) *pclBest = search.Best();
    return search.BestWeight();
}

TEST(WeightSearch, TakesTheLargestImprovementAndOnTiesTheWeightClosestToOne) {
    long clBest = 0;
    EXPECT_EQ(Chosen({1, 3, 5, 4, 0, 0, 0}, &clBest), 4.0);
    EXPECT_EQ(clBest, 5);
    // Equal at 2.0 and 0.5: 0.5 is closer to 1.0.
    EXPECT_EQ(Chosen({0, 5, 1, 1, 5, 0, 0}), 0.5);
    // Equal at 1.0 and 2.0: 1.0 stays.
    EXPECT_EQ(Chosen({5, 5, 0, 0, 0, 0, 0}), 1.0);
    // Equal at 2.0 and 0.5 and 4.0: 0.5 (distance 0.5) beats 2.0 (1.0).
    EXPECT_EQ(Chosen({0, 2, 2, 0, 2, 0, 0}), 0.5);
    // Nothing better than no change: weight 1.0 with improvement 0.
    EXPECT_EQ(Chosen({0, -1, -2, -2, -1, 0, 0}, &clBest), 1.0);
    EXPECT_EQ(clBest, 0);
}

// A model with room for three features and one class of tag element 0
// whose pool features are records 2..4 of a pool of six.
struct AreaFixture : ::testing::Test {
    Model m;
    AmbClass* pacA = nullptr;
    AmbClass* pacB = nullptr;

    void SetUp() override {
        m.clFeatureAreaSize = 3;
        m.rgfdFeatureArea.resize(3);
        m.rgacAmbClassArea.resize(2);
        pacA = &m.rgacAmbClassArea[0];
        pacB = &m.rgacAmbClassArea[1];
        m.rgfdFeatureSugg.resize(6);
        for (int i = 0; i < 6; ++i) {
            FeatureDesc& fd = m.rgfdFeatureSugg[static_cast<std::size_t>(i)];
            fd.cTerms = 1;
            fd.clCnt = 10 + i;
            fd.pacOfFeature = pacA;
            fd.rgclCntTagElemGivenFeature = {i, 10};
        }
        pacA->ilSuggFirst = 2;
        pacA->ilSuggLast = 4;
    }

    // The clCnt of each feature the walk over class A suggests.
    std::vector<long> Walk() {
        DataTable dt;
        FeatureDesc fd;
        ClearSuggested(fd);
        std::vector<long> rg;
        while (SuggestFeature(fd, dt, dt, m, 0, *pacA) == 0 && rg.size() < 20)
            rg.push_back(fd.clCnt);
        return rg;
    }
};

TEST_F(AreaFixture, SuggestWalksTheClassRangeOnceAndRestartsOnAClearedRecord) {
    EXPECT_EQ(Walk(), (std::vector<long>{12, 13, 14}));
    DataTable dt;
    FeatureDesc fd;
    ClearSuggested(fd);
    EXPECT_EQ(SuggestFeature(fd, dt, dt, m, 0, *pacB), -1); // no pool features
    ASSERT_EQ(SuggestFeature(fd, dt, dt, m, 0, *pacA), 0);
    ASSERT_EQ(SuggestFeature(fd, dt, dt, m, 0, *pacA), 0);
    fd.cTerms = 0; // clearing the term count starts the walk again
    ASSERT_EQ(SuggestFeature(fd, dt, dt, m, 0, *pacA), 0);
    EXPECT_EQ(fd.clCnt, 12);
    // A pool feature without terms (possible in a hand-made pool file) is
    // suggested once and the walk goes on past it instead of starting again.
    m.rgfdFeatureSugg[3].cTerms = 0;
    EXPECT_EQ(Walk(), (std::vector<long>{12, 13, 14}));
}

TEST_F(AreaFixture, AddAndDelKeepTheChainAndTheArea) {
    ASSERT_EQ(AddFeature(m.rgfdFeatureSugg[2], m, *pacA), 0);
    ASSERT_EQ(AddFeature(m.rgfdFeatureSugg[3], m, *pacA), 0);
    EXPECT_EQ(pacA->ilPacFeatureFirst, 1);
    EXPECT_EQ(m.rgfdFeatureArea[1].ilNextFeature, 0);
    m.rgfdFeatureSugg[3].rgclCntTagElemGivenFeature[0] = 99; // the feature has its own counts
    EXPECT_EQ(m.rgfdFeatureArea[1].rgclCntTagElemGivenFeature, (std::vector<long>{3, 10}));

    // Only the newest feature can go, through its own class; a refusal
    // changes nothing.
    EXPECT_EQ(DelFeature(m, *pacB), kDelFeatureNotHead);
    EXPECT_EQ(m.clFeatureAreaUsed, 2);
    EXPECT_EQ(DelFeature(m, *pacA), 0);
    EXPECT_EQ(m.clFeatureAreaUsed, 1);
    EXPECT_EQ(pacA->ilPacFeatureFirst, 0);
    EXPECT_EQ(pacA->clFeatureCnt, 1);

    ASSERT_EQ(AddFeature(m.rgfdFeatureSugg[4], m, *pacB), 0);
    ASSERT_EQ(AddFeature(m.rgfdFeatureSugg[5], m, *pacB), 0);
    EXPECT_EQ(AddFeature(m.rgfdFeatureSugg[2], m, *pacB), kAddFeatureAreaFull);
    pacB->clFeatureCnt = 0;
    EXPECT_EQ(DelFeature(m, *pacB), kDelFeatureCountNegative);
    Model mEmpty;
    EXPECT_EQ(DelFeature(mEmpty, *pacA), kDelFeatureNone);
}

// Pool of the "saw" lines, in trial order: the form "saw" itself fires on
// every error but points at the noun; "the" fires on no error; "I" fixes
// every error.
constexpr const char* kSawPool = "9 00 NV 01__00ff7e__saw_\n"
                                 "6 00 NV 01__ffff7e__the_\n"
                                 "3 00 NV 01__ffff7e__I_\n";

TEST(TrainModel, AcceptsTheFeatureThatFixesErrorsAndRejectsTheOthers) {
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", kSawPool);
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool));
    EXPECT_EQ(s.m.rgteTagElem[0].clErrTagElem, 3);

    int iRes = 0;
    const std::string szErr = test::Stderr([&] { iRes = TrainModel(s.dtT, s.dtH, s.m); });
    EXPECT_LE(iRes, 0);

    const std::vector<const FeatureDesc*> rgfd = s.Chain(s.Class(0, "NV"));
    ASSERT_EQ(rgfd.size(), 1u) << szErr;
    EXPECT_STREQ(rgfd[0]->rgftTerm[0].pszValue, "I");
    EXPECT_EQ(rgfd[0]->dLambda, 1.0);
    EXPECT_EQ(s.m.clFeatureAreaUsed, 1);
    EXPECT_NE(szErr.find("___Max improvement 3, (bef 3), max lambda: 1.000000\n"),
              std::string::npos)
        << szErr;
    EXPECT_NE(szErr.find("___improvement 3, new error rate: 0\n"), std::string::npos);
    // The "saw" candidate went through the weight search and was turned down.
    EXPECT_EQ(szErr.find("Max improvement 0"), std::string::npos);
    EXPECT_NE(szErr.find("features pool size: 3\n"), std::string::npos);
    EXPECT_NE(szErr.find("err rate: NV: 3, thr 2\n"), std::string::npos);
    EXPECT_NE(szErr.find("after lambda chg: VTC test:"), std::string::npos);

    ASSERT_LE(ErrorRateData(s.dtT, s.m, 0), 0);
    EXPECT_EQ(s.m.clErr, 0);
}

TEST(TrainModel, MultiPassStartsHighAndEndsAtTheMinimum) {
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", kSawPool);
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool, "MultiPass = yes\n"));
    const std::string szErr = test::Stderr([&] { EXPECT_LE(TrainModel(s.dtT, s.dtH, s.m), 0); });
    // 18 lines: threshold 9, then the worst class error 3 (where "I" is
    // accepted), then the minimum 2.
    const std::size_t i9 = szErr.find("err rate: NV: 3, thr 9\n");
    const std::size_t i3 = szErr.find("err rate: NV: 3, thr 3\n");
    const std::size_t i2 = szErr.find("err rate: NV: 0, thr 2\n");
    ASSERT_NE(i9, std::string::npos) << szErr;
    ASSERT_NE(i3, std::string::npos) << szErr;
    ASSERT_NE(i2, std::string::npos) << szErr;
    EXPECT_LT(i9, i3);
    EXPECT_LT(i3, i2);
    EXPECT_EQ(s.Chain(s.Class(0, "NV")).size(), 1u);
}

TEST(TrainModel, NoIterationsOnlyReports) {
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", kSawPool);
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool, "TrainingIterationsMax = 0\n"));
    const std::string szErr = test::Stderr([&] { EXPECT_LE(TrainModel(s.dtT, s.dtH, s.m), 0); });
    EXPECT_EQ(s.m.clFeatureAreaUsed, 0);
    EXPECT_EQ(szErr.find("Params for iteration"), std::string::npos);
    EXPECT_EQ(szErr.find("features pool size"), std::string::npos);
    for (const char* psz :
         {"EOT: VTC training data (true ctx) error:", "EOT: VTC training data (cont.) error:",
          "EOT: VTC heldout data error:", "EOT: VTC test (cont, dbg) data error:",
          "after lambda chg: VTC test:", "Exitting TrainModel.\n"}) {
        EXPECT_NE(szErr.find(psz), std::string::npos) << psz;
    }
    EXPECT_EQ(szErr.find("Varying lambdas"), std::string::npos);
}

TEST(TrainModel, AFullFeatureAreaFailsWithItsCode) {
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", kSawPool);
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool));
    s.m.clFeatureAreaSize = 0;
    test::Stderr([&] {
        EXPECT_EQ(TrainModel(s.dtT, s.dtH, s.m), kTrainErrAddFeature + kAddFeatureAreaFull);
    });
}

TEST(TrainModel, AnUnreadablePoolEndsTheRun) {
    TrainingSetup s(1);
    // Six terms are one too many.
    const std::string szPool = s.dir.Write(
        "pool.txt", "3 00 NV 06__ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_\n");
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool));
    EXPECT_FATAL(TrainModel(s.dtT, s.dtH, s.m), 19, "cannot read feature pool: code 3302");
}

TEST(TrainModel, LambdaVariationOnAOneLineTable) {
    // No line is left to measure weights on (lines 0..clData-2): the
    // iteration runs and the weight stays.
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", "1 00 NV 01__00ff7e__saw_\n");
    s.InitTraining({"V|NV/|saw|saw|>N/V/"},
                   TrainingArgs(szPool, "HeavySmoothing = no\nMinThrAddFeature = 1\n"
                                        "MinThrPoolFeature = 1\nLambdaIterations = 1\n"));
    const std::string szErr = test::Stderr([&] { EXPECT_LE(TrainModel(s.dtT, s.dtH, s.m), 0); });
    ASSERT_EQ(s.m.clFeatureAreaUsed, 1) << szErr;
    EXPECT_EQ(s.m.rgfdFeatureArea[0].dLambda, 1.0);
    EXPECT_NE(szErr.find("Varying lambdas: iteration 0 ^^^^^^^\n"), std::string::npos);
    EXPECT_NE(szErr.find("end-of-shift VTC ho error:"), std::string::npos);
    EXPECT_EQ(szErr.find("lambda changed"), std::string::npos);
}

} // namespace
} // namespace vexta
