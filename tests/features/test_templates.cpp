// Template lists, the training set-up keys and the ambiguity classes built
// from the training data.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>

#include "features/templates.h"
#include "test_model_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::TrainingSetup;

// The pool settings InitModelTraining takes from the keys.
std::string Settings(const Model& m) {
    return "mode " + std::to_string(m.iFeatureMode) + " count " + std::to_string(m.iCountMode) +
           " models " + std::to_string(m.fModelAC) + std::to_string(m.fModelGeneral) + " sort " +
           std::to_string(m.iSortSugg) + " cut " + std::to_string(m.dSuggEntropyThr) + " uit " +
           std::to_string(m.fUITACs) + std::to_string(m.fUITForms) + std::to_string(m.fUITTags) +
           std::to_string(m.fUITSetElements) + " " + m.szFeatureTemplates;
}

TEST(ParseFT, ListsBecomeMarkerStrings) {
    const std::pair<const char*, const char*> rgCase[] = {
        {"base+base3", "=base==base3="},
        {"base3,base.base4", "=base3==base==base4="},
        {"base+", "=base="},
        {"", ""}};
    for (const auto& [pszValue, pszMarkers] : rgCase) {
        std::string sz = "stale";
        EXPECT_EQ(ParseFT(sz, pszValue), 0);
        EXPECT_EQ(sz, pszMarkers) << pszValue;
    }
    std::string sz;
    EXPECT_EQ(ParseUIT(sz, "Forms.Tags"), 0);
    EXPECT_EQ(sz, "=Forms==Tags=");
    std::string szList = "base";
    for (int i = 1; i < 41; ++i) szList += "+base";
    EXPECT_EQ(ParseFT(sz, szList), 0); // 41 markers, 246 characters
    szList += "+base";
    EXPECT_FATAL(ParseFT(sz, szList), 18032,
                 "App: Fatal\\(18032\\): tag: feature template values \\(of FeatureTemplates\\): "
                 "too long: =base=");
    for (const char* pszValue : {"+base", "base++base2", "Base"}) {
        EXPECT_FATAL(ParseFT(sz, pszValue), 18032,
                     "feature template value \\(of FeatureTemplates\\) unknown: ")
            << pszValue;
    }
    EXPECT_FATAL(ParseUIT(sz, "ACs+tags"), 18032,
                 "Feature context template value \\(of UseInFeatures\\) unknown: tags");
}

// Element 0 sees the classes NV (twice) and AN, element 1 only one-value
// fields, element 2 the class xy, once with a true value outside it.
const std::vector<std::string> kLines = {"Nsy|NV/s/xy/|a|a|", "Vpy|NV/p/xy/|b|b|",
                                         "Aqy|AN/q/y/|c|c|", "Nsz|N/s/xy/|d|d|"};

TEST(InitModelTraining, BuildsClassesWithJointCounts) {
    TrainingSetup ps(3);
    ps.SetupArgs(GenerationArgs());
    ps.SetLines(kLines);
    const std::string szReport =
        test::Stderr([&] { ASSERT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), 0); });
    const Model& m = ps.m;
    // The all-data class first, then the classes in order of first occurrence.
    const AmbClass* pacAll = &m.rgacAmbClassArea[m.rgteTagElem[0].ilAmbClassFirst];
    EXPECT_EQ(m.rgteTagElem[0].clAmbClass * 10 + m.rgteTagElem[1].clAmbClass, 31);
    EXPECT_EQ(m.clAmbClassAreaUsed, 6);
    EXPECT_TRUE(pacAll[0].fACIgnore == 1 && pacAll[1].fACIgnore == 0 &&
                pacAll[1].ilSuggFirst == -1);
    EXPECT_NE(szReport.find("elem 0, class: --ANV, count: 4\n 0, -, cnt 0; 1, -, cnt 0; 2, A, cnt "
                            "1; 3, N, cnt 2; 4, V, cnt 1;\nelem 0, class: NV, count: 2\n 0, N, cnt "
                            "1; 1, V, cnt 1;\nelem 0, class: AN, count: 1\n"),
              std::string::npos)
        << szReport;
    // z is not in xy: counted at joint index 0.
    EXPECT_NE(szReport.find("elem 1, class: --pqs, count: 4\n 0, -, cnt 0; 1, -, cnt 0; 2, p, cnt "
                            "1; 3, q, cnt 1; 4, s, cnt 2;\nelem 2, class: --yz, count: 4\n 0, -, "
                            "cnt 0; 1, -, cnt 0; 2, y, cnt 3; 3, z, cnt 1;\nelem 2, class: xy, "
                            "count: 3\n 0, x, cnt 1; 1, y, cnt 2;\n"),
              std::string::npos)
        << szReport;

    EXPECT_STREQ(m.rgpszTagElemName[2], "E3");
    EXPECT_EQ(m.rgteTagElem[2].fSignPlus, 1);
    EXPECT_EQ(Settings(m), "mode 0 count 1 models 10 sort 1 cut -1.000000 uit 1000 =base=");
    EXPECT_EQ(m.clTrainingSize, 4);
    EXPECT_EQ(m.rgfdFeatureArea.size(), 1000u);
}

TEST(InitModelTraining, SettingsOfTheKeys) {
    TrainingSetup ps(1);
    const std::vector<std::string> rgszLine = {"N|NV/|a|a|"};
    ps.Init(rgszLine, GenerationArgs("FeatureMode = GenerateOut\nFeatureSugg = pool.txt\n"
                                     "CountMode = Individual\nModels = Both\n"
                                     "SortSuggestions = Entropy\nCutSuggestions = no\n"
                                     "UseInFeatures = Forms.Tags\nSubTag1 = POS\n"));
    EXPECT_EQ(ps.m.szFeaturePoolFile, "pool.txt");
    EXPECT_EQ(Settings(ps.m), "mode 1 count 2 models 11 sort 2 cut 1024.000000 uit 0110 =base=");
    EXPECT_STREQ(ps.m.rgpszTagElemName[0], "OS");
    EXPECT_EQ(ps.m.rgteTagElem[0].fSignPlus, 0);
    for (const char* pszCut : {"32", "0.5"}) {
        ps.Init(
            rgszLine,
            GenerationArgs(std::string("SortSuggestions = Entropy\nCutSuggestions = ") + pszCut));
        EXPECT_EQ(ps.m.dSuggEntropyThr, std::stod(pszCut));
    }
    // Mode Read reads none of the generation keys.
    TrainingSetup psRead(1);
    psRead.Init(rgszLine,
                "FeatureMode = Read\nFeatureSugg = p\nFeatures = m\nAmbClassIgnore = -\n");
    EXPECT_EQ(psRead.m.iFeatureMode, 2);
    EXPECT_EQ(psRead.m.iSortSugg + psRead.m.fModelAC + psRead.m.fModelGeneral, 0);
}

TEST(InitModelTraining, ReturnCodes) {
    const std::string szRead = "FeatureMode = Read\nFeatureSugg = p\n";
    const std::string szKeys = "Features = m\nAmbClassIgnore = -\n";
    const std::tuple<std::string, int, const char*> rgCase[] = {
        {szKeys, 971, "GetValue (feature sugg mode) FeatureMode failed"},
        {"FeatureMode = generate\n" + szKeys, 972,
         "GetValue (feature sugg mode) FeatureMode: wrong value (generate)"},
        {"FeatureMode = Read\n" + szKeys, 991,
         "GetValue (feature sugg input file, from gorvo) FeatureSugg failed"},
        {"FeatureMode = Generate\n" + szKeys, 932,
         "GetValue (max feature suggestions) MaxFeaturesGenerate failed"},
        {szRead + "AmbClassIgnore = -\n", 992, "GetValue (feature file) Features failed"},
        {szRead + "Features = m\n", 990, "GetValue (Amb Class Ignore) AmbClassIgnore failed"},
    };
    for (const auto& [szArgs, iCode, pszMessage] : rgCase) {
        TrainingSetup ps(1);
        ps.SetupArgs(szArgs);
        ps.SetLines({"N|NV/|a|a|"});
        EXPECT_EQ(test::Stderr(
                      [&] { EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), iCode); }),
                  "vexta: " + std::string(pszMessage) + "\n");
    }
    TrainingSetup ps(2);
    test::UseArgs(ps.dir, "SubTag1 = +A\n" + szRead + szKeys);
    ps.SetLines({"Ns|NV/s/|a|a|"});
    EXPECT_EQ(
        test::Stderr([&] { EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), 949); }),
        "vexta: GetValue SubTag2 failed\n");

    // Full class area: for a new class, then for the all-data class.
    ps.m.cTagElem = 1;
    ps.m.clAmbClassAreaSize = 2;
    ps.SetupArgs(szRead + szKeys);
    ps.SetLines({"N|NV/|a|a|", "N|AN/|a|a|"});
    test::Stderr([&] {
        EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), 909);
        ps.m.clAmbClassAreaSize = 0;
        EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), 1909);
    });
}

// Class strings must fit the joint counts of a class (75 characters): longer
// ones are refused with a message instead of overflowing the array.
TEST(InitModelTraining, RefusesClassesLongerThanTheJointCounts) {
    std::string szAC;
    for (int v = 0; v < 76; ++v) szAC += static_cast<char>('0' + v);
    TrainingSetup ps(1);
    ps.SetupArgs(GenerationArgs());
    ps.SetLines({"0|" + szAC + "/|a|a|"});
    EXPECT_TRUE(test::Contains(
        test::Stderr([&] { EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), 908); }),
        "vexta: ambiguity class of tag element 0 has 76 characters, more than 75: 01"));
    // 74 distinct values make an all-data class of 76 characters; 73 fit.
    std::vector<std::string> rgszLine;
    for (int v = 0; v < 74; ++v)
        rgszLine.push_back(szAC.substr(v, 1) + "|" + szAC.substr(0, 75) + "/|a|a|");
    for (int iCode : {908, 0}) {
        ps.SetLines(rgszLine);
        test::Stderr([&] { EXPECT_EQ(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), iCode); });
        rgszLine.pop_back();
    }
    EXPECT_EQ(ps.m.rgacAmbClassArea[1].clAmbClassCnt, 73);
}

TEST(InitModelTraining, InvalidGenerationValuesEndTheProcess) {
    struct Case {
        const char* pszArgs; // a key name alone: that key is removed
        int iStatus;
        const char* pszMessage;
    };
    for (const Case& c : {
             Case{"MaxFeaturesGenerate = 0\n", 930,
                  "vexta: Wrong MaxFeaturesGenerate <1..10000000>: 0"},
             Case{"MaxFeaturesGenerate = 10000001\n", 930, "Wrong MaxFeaturesGenerate"},
             Case{"CountMode = batch\n", 125, "vexta: Wrong CountMode: batch"},
             Case{"Models = ac\n", 525, "vexta: Wrong Models: ac"},
             Case{"SortSuggestions = Counts\n", 526, "vexta: Wrong SortSuggestions: Counts"},
             Case{"SortSuggestions = Entropy\n", 528, "vexta: GetValue CutSuggestions failed"},
             Case{"SortSuggestions = Entropy\nCutSuggestions = 0\n", 527,
                  "vexta: Wrong CutSuggestions \\(0.0..32.0>: 0"},
             Case{"SortSuggestions = Entropy\nCutSuggestions = 33\n", 527, "Wrong CutSuggestions"},
             Case{"CountMode", 124, "GetValue CountMode failed"},
             Case{"Models", 524, "GetValue Models failed"},
             Case{"SortSuggestions", 529, "GetValue SortSuggestions failed"},
             Case{"FeatureTemplates", 126, "GetValue FeatureTemplates failed"},
             Case{"UseInFeatures", 126, "GetValue UseInFeatures failed"},
         }) {
        std::string szArgs = GenerationArgs(c.pszArgs);
        if (std::string_view(c.pszArgs).find('=') == std::string_view::npos) {
            szArgs = GenerationArgs();
            const std::size_t ich = szArgs.find(c.pszArgs);
            szArgs.erase(ich, szArgs.find('\n', ich) + 1 - ich);
        }
        TrainingSetup ps(1);
        ps.SetupArgs(szArgs);
        ps.SetLines({"N|NV/|a|a|"});
        EXPECT_FATAL(InitModelTraining(vexta::szArgs, &ps.dtT, &ps.m), c.iStatus, c.pszMessage)
            << c.pszArgs;
    }
}

} // namespace
} // namespace vexta
