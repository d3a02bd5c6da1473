// Template lists, the training set-up keys and the ambiguity classes built
// from the training data.
#include <gtest/gtest.h>

#include <string>

#include "features/templates.h"
#include "pool_test_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::PoolSetup;

TEST(ParseFT, ListsBecomeMarkerStrings) {
    struct Case {
        const char* pszValue;
        const char* pszMarkers;
    };
    for (const Case& c : {Case{"base+base3", "=base==base3="}, Case{"base3,base", "=base3==base="},
                          Case{"base.base4", "=base==base4="}, Case{"base+", "=base="},
                          Case{"base2+base2", "=base2==base2="}, Case{"", ""}}) {
        std::string sz = "stale";
        EXPECT_EQ(ParseFT(sz, c.pszValue), 0) << c.pszValue;
        EXPECT_EQ(sz, c.pszMarkers) << c.pszValue;
    }
    std::string sz;
    std::string szList = "base";
    for (int i = 1; i < 41; ++i) szList += "+base";
    EXPECT_EQ(ParseFT(sz, szList), 0); // 41 markers, 246 characters
    EXPECT_EQ(sz.size(), 246u);
}

TEST(ParseFT, UnknownItemsAndLongListsAreFatal) {
    for (const char* pszValue : {"+base", "base++base2", "Base", "base,base5"}) {
        std::string sz;
        EXPECT_EXIT(ParseFT(sz, pszValue), testing::ExitedWithCode(18032 & 255),
                    "App: Fatal\\(18032\\): tag: feature template value \\(of FeatureTemplates\\) "
                    "unknown: ")
            << pszValue;
    }
    std::string sz;
    std::string szList = "base";
    for (int i = 1; i < 42; ++i) szList += "+base";
    EXPECT_EXIT(ParseFT(sz, szList), testing::ExitedWithCode(18032 & 255),
                "feature template values \\(of FeatureTemplates\\): too long: =base=");
}

TEST(ParseUIT, ContextKinds) {
    std::string sz;
    EXPECT_EQ(ParseUIT(sz, "Forms.Tags"), 0);
    EXPECT_EQ(sz, "=Forms==Tags=");
    EXPECT_EQ(ParseUIT(sz, "ACs+SetElements"), 0);
    EXPECT_EQ(sz, "=ACs==SetElements=");
    EXPECT_EXIT(ParseUIT(sz, "ACs+tags"), testing::ExitedWithCode(18032 & 255),
                "Feature context template value \\(of UseInFeatures\\) unknown: tags");
}

// Three tag elements; element 0 sees the classes NV (twice) and AN, element
// 1 only one-value fields, element 2 the class xy with a true value outside it.
const std::vector<std::string> kLines = {"Nsy|NV/s/xy/|a|a|", "Vpy|NV/p/xy/|b|b|",
                                         "Aqy|AN/q/y/|c|c|", "Nsz|N/s/xy/|d|d|"};

TEST(InitModelTraining, BuildsClassesWithJointCounts) {
    PoolSetup ps(3);
    ps.Init(kLines, GenerationArgs());
    const Model& m = ps.m;

    // Element 0: the all-data class, then NV and AN in order of first occurrence.
    const TagElem& te0 = m.rgteTagElem[0];
    ASSERT_EQ(te0.clAmbClass, 3);
    const AmbClass& acAll = m.rgacAmbClassArea[te0.ilAmbClassFirst];
    EXPECT_STREQ(acAll.pszAmbClass, "--ANV");
    EXPECT_EQ(acAll.fACIgnore, 1);
    EXPECT_EQ(acAll.clAmbClassCnt, 4);
    EXPECT_EQ(acAll.rgclJointCnt[0], 0);
    EXPECT_EQ(acAll.rgclJointCnt[1], 0);
    EXPECT_EQ(acAll.rgclJointCnt[2], 1); // A
    EXPECT_EQ(acAll.rgclJointCnt[3], 2); // N
    EXPECT_EQ(acAll.rgclJointCnt[4], 1); // V
    const AmbClass& acNV = m.rgacAmbClassArea[te0.ilAmbClassFirst + 1];
    EXPECT_STREQ(acNV.pszAmbClass, "NV");
    EXPECT_EQ(acNV.fACIgnore, 0);
    EXPECT_EQ(acNV.clAmbClassCnt, 2);
    EXPECT_EQ(acNV.rgclJointCnt[0], 1);
    EXPECT_EQ(acNV.rgclJointCnt[1], 1);
    EXPECT_EQ(acNV.ilPacFeatureFirst, -1);
    EXPECT_EQ(acNV.ilSuggFirst, -1);
    EXPECT_EQ(acNV.ilSuggLast, -1);
    EXPECT_STREQ(m.rgacAmbClassArea[te0.ilAmbClassFirst + 2].pszAmbClass, "AN");
    EXPECT_EQ(te0.rgclSubtagCnt['N'], 2);

    // Element 1 has only one-value fields: just its all-data class.
    const TagElem& te1 = m.rgteTagElem[1];
    EXPECT_EQ(te1.clAmbClass, 1);
    EXPECT_EQ(te1.ilAmbClassFirst, 3);
    EXPECT_STREQ(m.rgacAmbClassArea[te1.ilAmbClassFirst].pszAmbClass, "--pqs");

    // Element 2: z is not in xy, so it is counted at joint index 0.
    const AmbClass& acXY = m.rgacAmbClassArea[m.rgteTagElem[2].ilAmbClassFirst + 1];
    EXPECT_STREQ(acXY.pszAmbClass, "xy");
    EXPECT_EQ(acXY.clAmbClassCnt, 3);
    EXPECT_EQ(acXY.rgclJointCnt[0], 1);
    EXPECT_EQ(acXY.rgclJointCnt[1], 2);
    EXPECT_STREQ(m.rgacAmbClassArea[m.rgteTagElem[2].ilAmbClassFirst].pszAmbClass, "--yz");
    EXPECT_EQ(m.clAmbClassAreaUsed, 6);

    // Names, flags and the pool settings.
    EXPECT_STREQ(m.rgpszTagElemName[2], "E3");
    EXPECT_EQ(m.rgteTagElem[2].fSignPlus, 1);
    EXPECT_EQ(m.iFeatureMode, 0);
    EXPECT_EQ(m.szFeaturePoolFile, "");
    EXPECT_EQ(m.iCountMode, 1);
    EXPECT_EQ(m.fModelAC, 1);
    EXPECT_EQ(m.fModelGeneral, 0);
    EXPECT_EQ(m.iSortSugg, 1);
    EXPECT_EQ(m.dSuggEntropyThr, -1.0);
    EXPECT_EQ(m.szFeatureTemplates, "=base=");
    EXPECT_EQ(m.fUITACs, 1);
    EXPECT_EQ(m.fUITForms, 0);
    EXPECT_EQ(m.clTrainingSize, 4);
    EXPECT_EQ(m.rgfdFeatureArea.size(), 1000u);
    EXPECT_EQ(m.clFeatureSuggUsed, 0);
    EXPECT_GE(m.rgfdFeatureSugg.capacity(), 10000u);
}

TEST(InitModelTraining, ReportsEveryClass) {
    PoolSetup ps(3);
    ps.SetupArgs(GenerationArgs());
    ps.SetLines(kLines);
    testing::internal::CaptureStderr();
    ASSERT_EQ(InitModelTraining(&ps.dtT, &ps.m), 0);
    const std::string sz = testing::internal::GetCapturedStderr();
    EXPECT_NE(sz.find("elem 0, class: --ANV, count: 4\n 0, -, cnt 0; 1, -, cnt 0; 2, A, cnt 1; "
                      "3, N, cnt 2; 4, V, cnt 1;\n"),
              std::string::npos)
        << sz;
    EXPECT_NE(sz.find("elem 2, class: xy, count: 3\n 0, x, cnt 1; 1, y, cnt 2;\n"),
              std::string::npos)
        << sz;
}

TEST(InitModelTraining, SettingsOfTheKeys) {
    PoolSetup ps(1);
    const std::vector<std::string> rgszLine = {"N|NV/|a|a|"};
    ps.Init(rgszLine, GenerationArgs("FeatureMode = GenerateOut\nFeatureSugg = pool.txt\n"
                                     "CountMode = Individual\nModels = Both\n"
                                     "SortSuggestions = Entropy\nCutSuggestions = no\n"
                                     "UseInFeatures = Forms.Tags\nSubTag1 = POS\n"));
    EXPECT_EQ(ps.m.iFeatureMode, 1);
    EXPECT_EQ(ps.m.szFeaturePoolFile, "pool.txt");
    EXPECT_EQ(ps.m.iCountMode, 2);
    EXPECT_EQ(ps.m.fModelAC, 1);
    EXPECT_EQ(ps.m.fModelGeneral, 1);
    EXPECT_EQ(ps.m.iSortSugg, 2);
    EXPECT_EQ(ps.m.dSuggEntropyThr, 1024.0);
    EXPECT_EQ(ps.m.fUITForms + ps.m.fUITTags, 2);
    EXPECT_EQ(ps.m.fUITACs + ps.m.fUITSetElements, 0);
    EXPECT_STREQ(ps.m.rgpszTagElemName[0], "OS");
    EXPECT_EQ(ps.m.rgteTagElem[0].fSignPlus, 0);

    for (const char* pszCut : {"32", "0.5"}) {
        ps.Init(rgszLine, GenerationArgs(std::string("SortSuggestions = Entropy\n"
                                                     "CutSuggestions = ") +
                                         pszCut + "\n"));
        EXPECT_EQ(ps.m.dSuggEntropyThr, std::stod(pszCut));
    }

    // Mode Read needs none of the generation keys.
    PoolSetup psRead(1);
    psRead.Init(rgszLine, "FeatureMode = Read\nFeatureSugg = pool.txt\nFeatures = m\n"
                          "AmbClassIgnore = -\n");
    EXPECT_EQ(psRead.m.iFeatureMode, 2);
    EXPECT_EQ(psRead.m.iSortSugg, 0);
    EXPECT_EQ(psRead.m.fModelAC + psRead.m.fModelGeneral, 0);
}

TEST(InitModelTraining, ReturnCodes) {
    struct Case {
        const char* pszArgs;
        int iCode;
        const char* pszMessage;
    };
    const std::string szKeys = "Features = m\nAmbClassIgnore = -\n";
    for (const Case& c : {
             Case{"", 971, "vexta: GetValue (feature sugg mode) FeatureMode failed\n"},
             Case{"FeatureMode = generate\n", 972,
                  "vexta: GetValue (feature sugg mode) FeatureMode: wrong value (generate)\n"},
             Case{"FeatureMode = Read\n", 991,
                  "vexta: GetValue (feature sugg input file, from gorvo) FeatureSugg failed\n"},
             Case{"FeatureMode = Generate\n", 932,
                  "vexta: GetValue (max feature suggestions) MaxFeaturesGenerate failed\n"},
         }) {
        PoolSetup ps(1);
        ps.SetupArgs(c.pszArgs + szKeys);
        ps.SetLines({"N|NV/|a|a|"});
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), c.iCode) << c.pszArgs;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.pszMessage);
    }

    PoolSetup ps(2);
    test::UseArgs(ps.dir, "SubTag1 = +A\n" + GenerationArgs());
    ps.SetLines({"Ns|NV/s/|a|a|"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 949);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "vexta: GetValue SubTag2 failed\n");

    ps.SetupArgs("FeatureMode = Read\nFeatureSugg = p\nAmbClassIgnore = -\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 992);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexta: GetValue (feature file) Features failed\n");
    ps.SetupArgs("FeatureMode = Read\nFeatureSugg = p\nFeatures = m\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 990);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexta: GetValue (Amb Class Ignore) AmbClassIgnore failed\n");
}

TEST(InitModelTraining, MalformedLinesAndFullAreas) {
    struct Case {
        const char* pszLine;
        int iCode;
    };
    for (const Case& c : {Case{"NsNVs", 904}, Case{"Ns|NV/s", 907}, Case{"Ns|NV/|a|a|", 906},
                          Case{"Ns|NV/s/", 906}}) {
        PoolSetup ps(2);
        ps.SetupArgs(GenerationArgs());
        ps.SetLines({"Ns|NV/s/|a|a|"});
        ps.dtT.rgpszDataLine[0] = c.pszLine; // as if the table had been filled otherwise
        testing::internal::CaptureStderr();
        EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), c.iCode) << c.pszLine;
        testing::internal::GetCapturedStderr();
    }

    PoolSetup ps(1);
    ps.m.clAmbClassAreaSize = 2;
    ps.SetupArgs(GenerationArgs());
    ps.SetLines({"N|NV/|a|a|", "N|AN/|a|a|"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 909);
    ps.m.clAmbClassAreaSize = 0;
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 1909);
    testing::internal::GetCapturedStderr();
}

// Class strings must fit the joint-count array (75 characters): longer ones
// are refused with a message instead of overflowing it.
TEST(InitModelTraining, RefusesClassesLongerThanTheJointCounts) {
    std::string szAC;
    for (int v = 0; v < 76; ++v) szAC += static_cast<char>('0' + v);
    PoolSetup ps(1);
    ps.SetupArgs(GenerationArgs());
    ps.SetLines({"0|" + szAC + "/|a|a|"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 908);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "ambiguity class of tag element 0 has 76 characters, more than 75"),
              std::string::npos);

    // 74 distinct values make an all-data class of 76 characters.
    std::vector<std::string> rgszLine;
    for (int v = 0; v < 74; ++v) {
        rgszLine.push_back(std::string(1, static_cast<char>('0' + v)) + "|" + szAC.substr(0, 75) +
                           "/|a|a|");
    }
    ps.SetLines(rgszLine);
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 908);
    testing::internal::GetCapturedStderr();
    rgszLine.pop_back(); // 73 values: 75 characters fit
    ps.SetLines(rgszLine);
    testing::internal::CaptureStderr();
    EXPECT_EQ(InitModelTraining(&ps.dtT, &ps.m), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(ps.m.rgacAmbClassArea[0].pszAmbClass).size(), 75u);
    EXPECT_EQ(ps.m.rgacAmbClassArea[1].clAmbClassCnt, 73);
}

TEST(InitModelTraining, InvalidGenerationValuesEndTheProcess) {
    struct Case {
        const char* pszExtra;
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
         }) {
        PoolSetup ps(1);
        ps.SetupArgs(GenerationArgs(c.pszExtra));
        ps.SetLines({"N|NV/|a|a|"});
        EXPECT_EXIT(InitModelTraining(&ps.dtT, &ps.m), testing::ExitedWithCode(c.iStatus & 255),
                    c.pszMessage)
            << c.pszExtra;
    }
    // Missing keys.
    for (const Case& c : {Case{"CountMode", 124, "GetValue CountMode failed"},
                          Case{"Models", 524, "GetValue Models failed"},
                          Case{"SortSuggestions", 529, "GetValue SortSuggestions failed"},
                          Case{"FeatureTemplates", 126, "GetValue FeatureTemplates failed"},
                          Case{"UseInFeatures", 126, "GetValue UseInFeatures failed"}}) {
        std::string szArgs = GenerationArgs();
        const std::size_t ich = szArgs.find(c.pszExtra);
        szArgs.erase(ich, szArgs.find('\n', ich) + 1 - ich);
        PoolSetup ps(1);
        ps.SetupArgs(szArgs);
        ps.SetLines({"N|NV/|a|a|"});
        EXPECT_EXIT(InitModelTraining(&ps.dtT, &ps.m), testing::ExitedWithCode(c.iStatus & 255),
                    c.pszMessage)
            << c.pszExtra;
    }
}

} // namespace
} // namespace vexta
