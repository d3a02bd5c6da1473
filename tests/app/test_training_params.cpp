// Training parameters: bounds, flag words, statuses, and the per-iteration
// records with their defaults and overrides.
#include <gtest/gtest.h>

#include <string>

#include "app/globals.h"
#include "app/training_params.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "model/iteration_params.h"
#include "model/model.h"
#include "test_util.h"

namespace vexta {
namespace {

const std::string kArgs = "MinThrAddFeature = 3\nMinThrPoolFeature = 4\nMinThrClosestFeature = 10\n"
                          "CombiThr = 10\nLeftOnly = no\nFeatureArea = 200000\n"
                          "FeatureSuggSize = 2000000\nAmbClassArea = 100000\n"
                          "LambdaIterations = 0\nHeavySmoothing = yes\nMultiPass = Y\n"
                          "TrainingIterationsMax = 2\nLambdaMax = 8\nLambdaMin = 0.125\n"
                          "TrainCat = -1\n";

// Both groups, szExtra last (so that it overrides), and a model as the
// training set-up leaves it.
class TrainingParams : public testing::Test {
protected:
    test::TempDir dir;
    Model m;

    void SetUp() override {
        // The messages start with the program name, which a test run before
        // this one in the same process may have set.
        ux_SetProgName("vexta");
        m.cTagElem = 15;
        m.ilMaxFSG = 5000;
        m.szFeatureTemplates = "=base==base2=";
        m.fModelAC = m.fUITACs = m.fUITTags = 1;
        m.iSortSugg = 1;
        m.dSuggEntropyThr = -1.0;
    }

    // szExtra holding no "=" names a key to remove.
    void Args(const std::string& szExtra) {
        std::string sz = kArgs;
        if (szExtra.find('=') == std::string::npos && !szExtra.empty()) {
            const std::size_t ich = sz.find(szExtra + " =");
            sz.erase(ich, sz.find('\n', ich) + 1 - ich);
        } else {
            sz += szExtra;
        }
        szArgs = dir.Write("test.args", sz);
        ux_ArgClose();
        ux_ArgOpen(szArgs);
    }
};

TEST_F(TrainingParams, GlobalValuesAndDefaultRecords) {
    Args("LambdaMax = 10000\nLeftOnly = YES\n");
    EXPECT_EQ(ReadTrainingParamsBeforeSetup(&m), 0);
    EXPECT_EQ(m.cThrMin * 100 + m.cPoolThr * 10 + m.fLeftOnly, 341);
    EXPECT_EQ(m.cClosestThr + m.cCombiThr, 20);
    EXPECT_EQ(m.clFeatureAreaSize + m.clFeatureSuggSize + m.clAmbClassAreaSize, 2300000);
    EXPECT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
    EXPECT_EQ(m.iLambdaIterations * 100 + m.iHeavySmoothing * 10 + m.iMultiPass, 11);
    EXPECT_DOUBLE_EQ(m.dLambdaMax, 9999.9999);
    EXPECT_EQ(m.dLambdaMin, 0.125);
    EXPECT_EQ(m.iTrainCat, -1);
    // Record 1 takes the global values and what the set-up left in the
    // model; the global maximum weight is accepted again.
    ASSERT_EQ(m.rgipFG.size(), 2u);
    EXPECT_EQ(test::Stderr([&] { EXPECT_EQ(PrintIterationParams(m.rgipFG[1]), 0); }),
              "----- Params for iteration 1:\n"
              "ipcThrMin = 3, ipcPoolThr = 4, ipcClosestThr = 10\n"
              "ipdLambdaMax = 9999.99990000, ipdLambdaMin =   0.12500000\n"
              "ipszFeatureTemplates = =base==base2=, ipilMaxFSG = 5000\n"
              "ipiHeavySmoothing = 1, ipiMultiPass = 1\n"
              "ipfModelAC = 1, ipfModelGeneral = 0\n"
              "ipfUITForms = 0, ipfUITACs = 1, ipfUITTags = 1, ipfUITSetElements = 0\n"
              "ipiSortSugg = 1, ipdSuggEntropyThr =  -1.00000000, ipfLeftOnly = 1\n");

    Args("TrainingIterationsMax = 0\nModels0 = bogus\n"); // no record, nothing per iteration read
    ReadTrainingParamsAfterSetup(&m);
    EXPECT_TRUE(m.rgipFG.empty());
}

TEST_F(TrainingParams, PerIterationOverrides) {
    Args("TrainingIterationsMax = 4\nLeftOnly3 = Yes\nMinThrPoolFeature0 = 300000\n"
         "MinThrAddFeature1 = 7\nLambdaMax2 = 2\nLambdaMin2 = 0.5\n"
         "FeatureTemplates1 = base3\nUseInFeatures1 = Forms\nHeavySmoothing2 = 0\nMultiPass2 = n\n"
         "Models0 = General\nModels3 = Both\n"
         "CutSuggestions1 = 0\n" // ignored: record 1 sorts by count
         "SortSuggestions2 = Entropy\nCutSuggestions2 = none\n"
         "SortSuggestions3 = Entropy\nCutSuggestions3 = 32\nMaxFeaturesGenerate3 = 10000000\n"
         "LeftOnly4 = bogus\n"); // beyond the last record: never read
    ReadTrainingParamsBeforeSetup(&m);
    ASSERT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
    const auto& rg = m.rgipFG;
    EXPECT_EQ(rg[0].ipfLeftOnly + rg[1].ipfLeftOnly * 10 + rg[2].ipfLeftOnly * 100, 0);
    EXPECT_EQ(rg[3].ipfLeftOnly, 1);
    EXPECT_EQ(rg[0].ipcPoolThr, 300000);
    EXPECT_EQ(rg[1].ipcPoolThr * 10 + rg[1].ipcThrMin, 47);
    EXPECT_DOUBLE_EQ(rg[2].ipdLambdaMax, 1.9999);
    EXPECT_EQ(rg[2].ipdLambdaMin, 0.5);
    EXPECT_EQ(rg[1].ipszFeatureTemplates, "=base3=");
    EXPECT_EQ(rg[1].ipfUITForms * 10 + rg[1].ipfUITACs + rg[1].ipfUITTags, 10);
    EXPECT_EQ(rg[2].ipiHeavySmoothing + rg[2].ipiMultiPass, 0);
    EXPECT_EQ(rg[0].ipfModelAC * 10 + rg[0].ipfModelGeneral, 1);
    EXPECT_EQ(rg[3].ipfModelAC * 10 + rg[3].ipfModelGeneral, 11);
    EXPECT_EQ(rg[1].ipdSuggEntropyThr, -1.0);
    EXPECT_EQ(rg[2].ipiSortSugg * 10000 + rg[2].ipdSuggEntropyThr, 21024.0);
    EXPECT_EQ(rg[3].ipdSuggEntropyThr, 32.0);
    EXPECT_EQ(rg[3].ipilMaxFSG, 10000000);

    m.iSortSugg = 2; // the global cut is the default of a record sorting by entropy
    m.dSuggEntropyThr = 1.5;
    m.iFeatureMode = 2; // mode Read: no generation limit is read
    Args("MaxFeaturesGenerate0 = 0\n");
    ReadTrainingParamsAfterSetup(&m);
    EXPECT_EQ(m.rgipFG[1].ipdSuggEntropyThr, 1.5);
    EXPECT_EQ(m.rgipFG[0].ipilMaxFSG, 5000);
}

TEST_F(TrainingParams, BoundsAndStatuses) {
    struct Case {
        const char* pszArgs; // appended, or the name of a key to remove
        int iStatus;
        const char* pszMessage;
        bool fFirstGroup;
    };
    const Case rgCase[] = {
        {"MinThrAddFeature = 0\n", 32, "^vexta: model.cThrMin out of bounds <1,2000000>: 0\n$", 1},
        {"MinThrAddFeature = 2000001\n", 32, "cThrMin out of bounds", 1},
        {"MinThrPoolFeature = 30001\n", 34, "model.cPoolThr out of bounds <1,30000>: 30001", 1},
        {"MinThrPoolFeature = x\n", 34, "cPoolThr out of bounds <1,30000>: 0", 1},
        {"MinThrClosestFeature = -1\n", 34, "model.cClosestThr out of bounds <1,2000000>", 1},
        {"CombiThr = 1000000000\n", 18032,
         "App: Fatal\\(18032\\): tag: vextaCombiThr out of bounds <1..1000000000>: "
         "1000000000",
         1},
        {"LeftOnly = maybe\n", 872,
         "^vexta: LeftOnly = \"maybe\" is not yes or no\n"
         "vexta: model.fLeftOnly out of bounds <0,1>: -1\n$",
         1},
        // Text after a number, or no number where the preset would pass:
        // refused, after a line that names the key and the value.
        {"MinThrAddFeature = 50x\n", 32,
         "^vexta: MinThrAddFeature = \"50x\" is not a whole number\n"
         "vexta: model.cThrMin out of bounds <1,2000000>: 0\n$",
         1},
        {"FeatureArea = 999\n", 42, "model.clFeatureAreaSize out of bounds <1000,8000000>: 999", 1},
        // Beyond the range of int: refused, not cut to 32 bits.
        {"FeatureSuggSize = 4294977296\n", 44,
         "model.clFeatureSuggSize out of bounds <10000,90000000>", 1},
        {"AmbClassArea = 800001\n", 46, "clAmbClassAreaSize out of bounds <100,800000>: 800001", 1},
        {"MinThrAddFeature", 31, "^vexta: GetValue \\(segments\\) MinThrAddFeature failed\n$", 1},
        {"MinThrPoolFeature", 33, "GetValue \\(segments\\) MinThrPoolFeature failed", 1},
        {"MinThrClosestFeature", 33, "GetValue \\(segments\\) MinThrClosestFeature", 1},
        {"CombiThr", 18032, "App: Fatal\\(18032\\): tag: vexta: GetValue CombiThr failed", 1},
        {"LeftOnly", 871, "^vexta: GetValue LeftOnly failed\n$", 1},
        {"FeatureArea", 41, "GetValue FeatureArea failed", 1},
        {"FeatureSuggSize", 43, "GetValue FeatureSuggSize failed", 1},
        {"AmbClassArea", 45, "GetValue AmbClassArea failed", 1},
        {"LambdaIterations = 1000\n", 844,
         "^vexta: model.iLambdaIterations out of bounds <0,999>: 1000\n$", 0},
        {"HeavySmoothing = ja\n", 823, "model.iHeavySmoothing out of bounds <0,1>: -1", 0},
        {"MultiPass = 3\n", 823, "model.iMultiPass out of bounds <0,1>: 3", 0},
        {"TrainingIterationsMax = 51\n", 822, "iTrainingIterationsMax out of bounds <0,50>: 51", 0},
        {"TrainingIterationsMax = -1\n", 822, "iTrainingIterationsMax out of bounds", 0},
        {"LambdaMax = 0.5\n", 878, "^vexta: Wrong LambdaMax <1.0..10000.0>: 0.5\n$", 0},
        {"LambdaMin = 0.00001\n", 879, "^vexta: Wrong LambdaMin <0.0001..1.0>: 0.00001\n$", 0},
        {"TrainCat = 15\n", 875, "^vexta: Wrong TrainCat <-1..14>: 15\n$", 0},
        {"TrainCat = all\n", 875, "TrainCat = \"all\" is not a whole number", 0},
        {"LambdaMax = big\n", 878,
         "^vexta: LambdaMax = \"big\" is not a number\nvexta: Wrong LambdaMax <1.0..10000.0>: "
         "big\n$",
         0},
        {"LambdaIterations", 43, "^vexta: GetValue LambdaIterations failed\n$", 0},
        {"HeavySmoothing", 820, "GetValue HeavySmoothing failed", 0},
        {"MultiPass", 820, "GetValue MultiPass failed", 0},
        {"TrainingIterationsMax", 821, "GetValue TrainingIterationsMax failed", 0},
        {"LambdaMax", 877, "GetValue LambdaMax failed", 0},
        {"LambdaMin", 880, "GetValue LambdaMin failed", 0},
        {"TrainCat", 876, "GetValue TrainCat failed", 0},
        {"MinThrAddFeature1 = 0\n", 332,
         "^vexta: MinThrAddFeature1 value out of bounds <1,2000000>: 0\n$", 0},
        {"MinThrPoolFeature0 = 300001\n", 334,
         "MinThrPoolFeature0 value out of bounds <1,300000>: 300001", 0},
        {"MinThrClosestFeature1 = abc\n", 333,
         "MinThrClosestFeature1 value out of bounds <1,2000000>: 0", 0},
        {"LambdaMax0 = 20000.7\n", 335,
         "^vexta: LambdaMax0 value out of bounds <1.0,10000.0>: 20000\n$", 0},
        {"LambdaMin1 = 2\n", 336, "LambdaMin1 value out of bounds <0.0001,1.0>: 2", 0},
        {"FeatureTemplates1 = base9\n", 18032,
         "feature template value \\(of FeatureTemplates\\) unknown: base9", 0},
        {"UseInFeatures0 = Lemmas\n", 18032,
         "context template value \\(of UseInFeatures\\) unknown: Lemmas", 0},
        {"HeavySmoothing1 = 2\n", 339, "vexta: HeavySmoothing1 out of bounds <0,1>: 2\n$", 0},
        {"MultiPass0 = -\n", 340, "MultiPass0 out of bounds <0,1>: -1", 0},
        {"Models1 = ac\n", 341, "^vexta: Wrong Models1: ac\n$", 0},
        {"SortSuggestions0 = entropy\n", 342, "Wrong SortSuggestions0: entropy", 0},
        {"SortSuggestions1 = Entropy\nCutSuggestions1 = 0\n", 343,
         "^vexta: Wrong CutSuggestions1 \\(0.0..32.0>: 0\n$", 0},
        // An iteration sorting by entropy while the global settings do
        // not has no cut-off to inherit (the placeholder -1.0 would cut
        // its whole pool): it needs its own.
        {"SortSuggestions1 = Entropy\n", 343, "^vexta: GetValue CutSuggestions1 failed\n$", 0},
        {"LeftOnly0 = 5\n", 344, "vexta: i out of bounds <0,1>: 5\n$", 0},
        {"MaxFeaturesGenerate1 = 0\n", 346,
         "^vexta: Wrong MaxFeaturesGenerate1 <1..10000000>: 0\n$", 0},
    };
    for (const Case& c : rgCase) {
        SCOPED_TRACE(c.pszArgs);
        Args(c.pszArgs);
        if (!c.fFirstGroup) ReadTrainingParamsBeforeSetup(&m);
        EXPECT_FATAL(c.fFirstGroup ? ReadTrainingParamsBeforeSetup(&m)
                                   : ReadTrainingParamsAfterSetup(&m),
                     c.iStatus, c.pszMessage);
    }
}

} // namespace
} // namespace vexta
