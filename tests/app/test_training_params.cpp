// Training parameters: bounds, flag words, statuses, and the per-iteration
// records with their defaults and overrides.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/training_params.h"
#include "features/pool_test_util.h"
#include "model/iteration_params.h"
#include "model/model.h"

namespace vexta {
namespace {

const char* const kFirstGroup = "MinThrAddFeature = 3\n"
                                "MinThrPoolFeature = 4\n"
                                "MinThrClosestFeature = 10\n"
                                "CombiThr = 10\n"
                                "LeftOnly = no\n"
                                "FeatureArea = 200000\n"
                                "FeatureSuggSize = 2000000\n"
                                "AmbClassArea = 100000\n";

const char* const kSecondGroup = "LambdaIterations = 0\n"
                                 "HeavySmoothing = yes\n"
                                 "MultiPass = Y\n"
                                 "TrainingIterationsMax = 2\n"
                                 "LambdaMax = 8\n"
                                 "LambdaMin = 0.125\n"
                                 "TrainCat = -1\n";

// The parameters of both groups, szExtra last (so that it overrides), and a
// model as the training set-up leaves it.
class TrainingParams : public testing::Test {
protected:
    test::ScratchDir dir;
    Model m;

    void SetUp() override {
        m.cTagElem = 15;
        m.iFeatureMode = 0;
        m.ilMaxFSG = 5000;
        m.szFeatureTemplates = "=base==base2=";
        m.fModelAC = 1;
        m.fUITACs = 1;
        m.fUITTags = 1;
        m.iSortSugg = 1;
        m.dSuggEntropyThr = -1.0;
    }

    void Args(const std::string& szExtra) {
        test::UseArgs(dir, std::string(kFirstGroup) + kSecondGroup + szExtra);
    }

    // The whole key "Name = ..." removed from the argument text.
    void ArgsWithout(const std::string& szKey) {
        std::string sz = std::string(kFirstGroup) + kSecondGroup;
        const std::size_t ich = sz.find(szKey + " =");
        sz.erase(ich, sz.find('\n', ich) + 1 - ich);
        test::UseArgs(dir, sz);
    }
};

TEST_F(TrainingParams, FirstGroupIntoTheModel) {
    Args("LeftOnly = YES\n");
    EXPECT_EQ(ReadTrainingParamsBeforeSetup(&m), 0);
    EXPECT_EQ(m.cThrMin, 3);
    EXPECT_EQ(m.cPoolThr, 4);
    EXPECT_EQ(m.cClosestThr, 10);
    EXPECT_EQ(m.cCombiThr, 10);
    EXPECT_EQ(m.fLeftOnly, 1);
    EXPECT_EQ(m.clFeatureAreaSize, 200000);
    EXPECT_EQ(m.clFeatureSuggSize, 2000000);
    EXPECT_EQ(m.clAmbClassAreaSize, 100000);
}

TEST_F(TrainingParams, FirstGroupBoundsAndStatuses) {
    struct Case {
        const char* pszArgs; // appended: overrides the valid value
        int iStatus;
        const char* pszMessage;
    };
    for (const Case& c : {
             Case{"MinThrAddFeature = 0\n", 32,
                  "^vexta: model.cThrMin out of bounds <1,2000000>: 0\n$"},
             Case{"MinThrAddFeature = 2000001\n", 32, "cThrMin out of bounds"},
             Case{"MinThrPoolFeature = 30001\n", 34,
                  "^vexta: model.cPoolThr out of bounds <1,30000>: 30001\n$"},
             Case{"MinThrPoolFeature = x\n", 34, "cPoolThr out of bounds <1,30000>: 0"},
             Case{"MinThrClosestFeature = -1\n", 34, "model.cClosestThr out of bounds"},
             Case{"CombiThr = 1000000000\n", 18032,
                  "App: Fatal\\(18032\\): tag: vextaCombiThr out of bounds <1..1000000000>: "
                  "1000000000"},
             Case{"LeftOnly = maybe\n", 872, "^vexta: model.fLeftOnly out of bounds <0,1>: -1\n$"},
             Case{"LeftOnly = 2\n", 872, "fLeftOnly out of bounds <0,1>: 2"},
             Case{"FeatureArea = 999\n", 42,
                  "^vexta: model.clFeatureAreaSize out of bounds <1000,8000000>: 999\n$"},
             Case{"FeatureSuggSize = 90000001\n", 44, "clFeatureSuggSize out of bounds"},
             // Beyond the range of int: refused, not cut to 32 bits.
             Case{"FeatureSuggSize = 4294977296\n", 44, "clFeatureSuggSize out of bounds"},
             Case{"AmbClassArea = 800001\n", 46,
                  "model.clAmbClassAreaSize out of bounds <100,800000>: 800001"},
         }) {
        Args(c.pszArgs);
        EXPECT_EXIT(ReadTrainingParamsBeforeSetup(&m), testing::ExitedWithCode(c.iStatus & 255),
                    c.pszMessage)
            << c.pszArgs;
    }
    struct Missing {
        const char* pszKey;
        int iStatus;
        const char* pszMessage;
    };
    for (const Missing& c : {
             Missing{"MinThrAddFeature", 31,
                     "^vexta: GetValue \\(segments\\) MinThrAddFeature "
                     "failed\n$"},
             Missing{"MinThrPoolFeature", 33, "GetValue \\(segments\\) MinThrPoolFeature"},
             Missing{"MinThrClosestFeature", 33, "GetValue \\(segments\\) MinThrClosestFeature"},
             Missing{"CombiThr", 18032,
                     "App: Fatal\\(18032\\): tag: vexta: GetValue CombiThr "
                     "failed"},
             Missing{"LeftOnly", 871, "^vexta: GetValue LeftOnly failed\n$"},
             Missing{"FeatureArea", 41, "GetValue FeatureArea failed"},
             Missing{"FeatureSuggSize", 43, "GetValue FeatureSuggSize failed"},
             Missing{"AmbClassArea", 45, "GetValue AmbClassArea failed"},
         }) {
        ArgsWithout(c.pszKey);
        EXPECT_EXIT(ReadTrainingParamsBeforeSetup(&m), testing::ExitedWithCode(c.iStatus & 255),
                    c.pszMessage)
            << c.pszKey;
    }
}

TEST_F(TrainingParams, SecondGroupAndDefaultRecords) {
    Args("LambdaMax = 10000\n");
    ReadTrainingParamsBeforeSetup(&m);
    EXPECT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
    EXPECT_EQ(m.iLambdaIterations, 0);
    EXPECT_EQ(m.iHeavySmoothing, 1);
    EXPECT_EQ(m.iMultiPass, 1);
    EXPECT_EQ(m.iTrainingIterationsMax, 2);
    EXPECT_DOUBLE_EQ(m.dLambdaMax, 9999.9999);
    EXPECT_EQ(m.dLambdaMin, 0.125);
    EXPECT_EQ(m.iTrainCat, -1);
    ASSERT_EQ(m.rgipFG.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const IterationParams& ip = m.rgipFG[i];
        EXPECT_EQ(ip.ipiIteration, i);
        EXPECT_EQ(ip.ipcThrMin, 3);
        EXPECT_EQ(ip.ipcPoolThr, 4);
        EXPECT_EQ(ip.ipcClosestThr, 10);
        EXPECT_EQ(ip.ipilMaxFSG, 5000);
        EXPECT_EQ(ip.ipdLambdaMax, m.dLambdaMax); // the global maximum is accepted again
        EXPECT_EQ(ip.ipdLambdaMin, 0.125);
        EXPECT_EQ(ip.ipszFeatureTemplates, "=base==base2=");
        EXPECT_EQ(ip.ipiHeavySmoothing, 1);
        EXPECT_EQ(ip.ipiMultiPass, 1);
        EXPECT_EQ(ip.ipfModelAC, 1);
        EXPECT_EQ(ip.ipfModelGeneral, 0);
        EXPECT_EQ(ip.ipfUITACs + ip.ipfUITTags, 2);
        EXPECT_EQ(ip.ipfUITForms + ip.ipfUITSetElements, 0);
        EXPECT_EQ(ip.ipiSortSugg, 1);
        EXPECT_EQ(ip.ipdSuggEntropyThr, -1.0);
        EXPECT_EQ(ip.ipfLeftOnly, 0);
    }
}

TEST_F(TrainingParams, PerIterationOverrides) {
    Args("TrainingIterationsMax = 4\n"
         "LeftOnly3 = Yes\n"
         "MinThrPoolFeature0 = 300000\n"
         "MinThrAddFeature1 = 7\n"
         "LambdaMax2 = 2\nLambdaMin2 = 0.5\n"
         "FeatureTemplates1 = base3\nUseInFeatures1 = Forms\n"
         "HeavySmoothing2 = 0\nMultiPass2 = n\n"
         "Models0 = General\nModels3 = Both\n"
         "CutSuggestions1 = 0\n" // ignored: record 1 sorts by count
         "SortSuggestions2 = Entropy\nCutSuggestions2 = none\n"
         "SortSuggestions3 = Entropy\nCutSuggestions3 = 32\n"
         "MaxFeaturesGenerate3 = 10000000\n"
         "LeftOnly4 = bogus\n"); // beyond the last record: never read
    ReadTrainingParamsBeforeSetup(&m);
    ASSERT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
    ASSERT_EQ(m.rgipFG.size(), 4u);
    const auto& rg = m.rgipFG;
    EXPECT_EQ(rg[3].ipfLeftOnly, 1);
    EXPECT_EQ(rg[0].ipfLeftOnly + rg[1].ipfLeftOnly + rg[2].ipfLeftOnly, 0);
    EXPECT_EQ(rg[0].ipcPoolThr, 300000);
    EXPECT_EQ(rg[1].ipcPoolThr, 4);
    EXPECT_EQ(rg[1].ipcThrMin, 7);
    EXPECT_EQ(rg[2].ipcThrMin, 3);
    EXPECT_DOUBLE_EQ(rg[2].ipdLambdaMax, 1.9999);
    EXPECT_EQ(rg[2].ipdLambdaMin, 0.5);
    EXPECT_EQ(rg[1].ipszFeatureTemplates, "=base3=");
    EXPECT_EQ(rg[1].ipfUITForms, 1);
    EXPECT_EQ(rg[1].ipfUITACs + rg[1].ipfUITTags, 0);
    EXPECT_EQ(rg[2].ipiHeavySmoothing + rg[2].ipiMultiPass, 0);
    EXPECT_EQ(rg[0].ipfModelAC, 0);
    EXPECT_EQ(rg[0].ipfModelGeneral, 1);
    EXPECT_EQ(rg[3].ipfModelAC + rg[3].ipfModelGeneral, 2);
    EXPECT_EQ(rg[1].ipiSortSugg, 1);
    EXPECT_EQ(rg[1].ipdSuggEntropyThr, -1.0);
    EXPECT_EQ(rg[2].ipiSortSugg, 2);
    EXPECT_EQ(rg[2].ipdSuggEntropyThr, 1024.0);
    EXPECT_EQ(rg[3].ipdSuggEntropyThr, 32.0);
    EXPECT_EQ(rg[3].ipilMaxFSG, 10000000);
    EXPECT_EQ(rg[0].ipilMaxFSG, 5000);
}

TEST_F(TrainingParams, RecordsInheritTheGlobalEntropyCut) {
    m.iSortSugg = 2;
    m.dSuggEntropyThr = 1.5;
    Args("");
    ReadTrainingParamsBeforeSetup(&m);
    ReadTrainingParamsAfterSetup(&m);
    EXPECT_EQ(m.rgipFG[1].ipdSuggEntropyThr, 1.5);

    // Mode Read: the generation limit is not read, the record keeps the model's.
    m.iFeatureMode = 2;
    Args("MaxFeaturesGenerate0 = 0\n");
    ReadTrainingParamsAfterSetup(&m);
    EXPECT_EQ(m.rgipFG[0].ipilMaxFSG, 5000);
}

// An iteration sorting by entropy while the global settings do not has no
// cut-off to inherit; taking the placeholder -1.0 would cut its whole pool,
// so its own value is required.
TEST_F(TrainingParams, EntropyIterationWithoutCutNeedsItsOwnValue) {
    Args("SortSuggestions1 = Entropy\n");
    ReadTrainingParamsBeforeSetup(&m);
    EXPECT_EXIT(ReadTrainingParamsAfterSetup(&m), testing::ExitedWithCode(343 & 255),
                "^vexta: GetValue CutSuggestions1 failed\n$");
}

TEST_F(TrainingParams, NoIterations) {
    Args("TrainingIterationsMax = 0\nModels0 = bogus\n");
    ReadTrainingParamsBeforeSetup(&m);
    EXPECT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
    EXPECT_TRUE(m.rgipFG.empty());
}

TEST_F(TrainingParams, SecondGroupBoundsAndStatuses) {
    struct Case {
        const char* pszArgs;
        int iStatus;
        const char* pszMessage;
    };
    for (const Case& c : {
             Case{"LambdaIterations = 1000\n", 844,
                  "^vexta: model.iLambdaIterations out of bounds <0,999>: 1000\n$"},
             Case{"LambdaIterations = none\n", 844, "iLambdaIterations out of bounds <0,999>: -1"},
             Case{"HeavySmoothing = ja\n", 823, "model.iHeavySmoothing out of bounds <0,1>: -1"},
             Case{"MultiPass = 3\n", 823, "model.iMultiPass out of bounds <0,1>: 3"},
             Case{"TrainingIterationsMax = 51\n", 822,
                  "model.iTrainingIterationsMax out of bounds <0,50>: 51"},
             Case{"TrainingIterationsMax = -1\n", 822, "iTrainingIterationsMax out of bounds"},
             Case{"LambdaMax = 0.5\n", 878, "^vexta: Wrong LambdaMax <1.0..10000.0>: 0.5\n$"},
             Case{"LambdaMax = 10000.5\n", 878, "Wrong LambdaMax"},
             Case{"LambdaMin = 0.00001\n", 879,
                  "^vexta: Wrong LambdaMin <0.0001..1.0>: 0.00001\n$"},
             Case{"LambdaMin = 1.5\n", 879, "Wrong LambdaMin"},
             Case{"TrainCat = 15\n", 875, "^vexta: Wrong TrainCat <-1..14>: 15\n$"},
             Case{"TrainCat = -2\n", 875, "Wrong TrainCat"},
             // Per-iteration keys.
             Case{"MinThrAddFeature1 = 0\n", 332,
                  "^vexta: MinThrAddFeature1 value out of bounds <1,2000000>: 0\n$"},
             Case{"MinThrPoolFeature0 = 300001\n", 334,
                  "MinThrPoolFeature0 value out of bounds <1,300000>: 300001"},
             Case{"MinThrClosestFeature1 = abc\n", 333,
                  "MinThrClosestFeature1 value out of bounds <1,2000000>: 0"},
             Case{"LambdaMax0 = 20000.7\n", 335,
                  "^vexta: LambdaMax0 value out of bounds <1.0,10000.0>: 20000\n$"},
             Case{"LambdaMin1 = 2\n", 336, "LambdaMin1 value out of bounds <0.0001,1.0>: 2"},
             Case{"FeatureTemplates1 = base9\n", 18032,
                  "feature template value \\(of FeatureTemplates\\) unknown: base9"},
             Case{"UseInFeatures0 = Lemmas\n", 18032,
                  "Feature context template value \\(of UseInFeatures\\) unknown: Lemmas"},
             Case{"HeavySmoothing1 = 2\n", 339,
                  "^vexta: HeavySmoothing1 out of bounds <0,1>: 2\n$"},
             Case{"MultiPass0 = -\n", 340, "MultiPass0 out of bounds <0,1>: -1"},
             Case{"Models1 = ac\n", 341, "^vexta: Wrong Models1: ac\n$"},
             Case{"SortSuggestions0 = entropy\n", 342, "Wrong SortSuggestions0: entropy"},
             Case{"SortSuggestions1 = Entropy\nCutSuggestions1 = 0\n", 343,
                  "^vexta: Wrong CutSuggestions1 \\(0.0..32.0>: 0\n$"},
             Case{"SortSuggestions1 = Entropy\nCutSuggestions1 = 32.5\n", 343,
                  "Wrong CutSuggestions1"},
             Case{"LeftOnly0 = 5\n", 344, "^vexta: i out of bounds <0,1>: 5\n$"},
             Case{"MaxFeaturesGenerate1 = 0\n", 346,
                  "^vexta: Wrong MaxFeaturesGenerate1 <1..10000000>: 0\n$"},
         }) {
        Args(c.pszArgs);
        ReadTrainingParamsBeforeSetup(&m);
        EXPECT_EXIT(ReadTrainingParamsAfterSetup(&m), testing::ExitedWithCode(c.iStatus & 255),
                    c.pszMessage)
            << c.pszArgs;
    }
    struct Missing {
        const char* pszKey;
        int iStatus;
    };
    for (const Missing& c :
         {Missing{"LambdaIterations", 43}, Missing{"HeavySmoothing", 820},
          Missing{"MultiPass", 820}, Missing{"TrainingIterationsMax", 821},
          Missing{"LambdaMax", 877}, Missing{"LambdaMin", 880}, Missing{"TrainCat", 876}}) {
        ArgsWithout(c.pszKey);
        ReadTrainingParamsBeforeSetup(&m);
        EXPECT_EXIT(ReadTrainingParamsAfterSetup(&m), testing::ExitedWithCode(c.iStatus & 255),
                    std::string("^vexta: GetValue ") + c.pszKey + " failed\n$")
            << c.pszKey;
    }
}

TEST(PrintIterationParams, Format) {
    IterationParams ip;
    ip.ipiIteration = 1;
    ip.ipcThrMin = 3;
    ip.ipcPoolThr = 4;
    ip.ipcClosestThr = 10;
    ip.ipdLambdaMax = 7.9999;
    ip.ipdLambdaMin = 0.125;
    ip.ipszFeatureTemplates = "=base=";
    ip.ipilMaxFSG = 2000000;
    ip.ipiHeavySmoothing = 1;
    ip.ipfModelAC = 1;
    ip.ipfUITACs = 1;
    ip.ipiSortSugg = 2;
    ip.ipdSuggEntropyThr = 1024.0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(PrintIterationParams(ip), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "----- Params for iteration 1:\n"
              "ipcThrMin = 3, ipcPoolThr = 4, ipcClosestThr = 10\n"
              "ipdLambdaMax =   7.99990000, ipdLambdaMin =   0.12500000\n"
              "ipszFeatureTemplates = =base=, ipilMaxFSG = 2000000\n"
              "ipiHeavySmoothing = 1, ipiMultiPass = 0\n"
              "ipfModelAC = 1, ipfModelGeneral = 0\n"
              "ipfUITForms = 0, ipfUITACs = 1, ipfUITTags = 0, ipfUITSetElements = 0\n"
              "ipiSortSugg = 2, ipdSuggEntropyThr = 1024.00000000, ipfLeftOnly = 0\n");
}

} // namespace
} // namespace vexta
