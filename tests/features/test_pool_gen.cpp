// Feature pool generation on tiny training tables whose pools are worked out
// by hand.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "features/pool_gen.h"
#include "test_model_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::TrainingSetup;
using Pool = std::map<std::string, long>;

// Two tag elements. Ambiguous positions: (line 0, element 0, NV, true N),
// (line 1, element 0, NV, true V), (line 1, element 1, ps, true p); line 2 is
// unambiguous. AC counts: NV 2, N 1 (element 0); s 2, ps 1 (element 1).
const std::vector<std::string> kLines = {"Ns|NV/s/|a|a|", "Vp|NV/ps/|b|b|", "Ns|N/s/|c|c|"};

Pool Generate(TrainingSetup& ps, int iBase, int fAll = 1) {
    ps.NewSugg();
    test::Stderr([&] { EXPECT_EQ(GenerateFSG5(&ps.m, &ps.dtT, iBase, 0, fAll), 0); });
    return ps.Sugg();
}

// Offset 0 gives the ACs of the position itself, -1 and +1 those of the
// neighbours; a value at -1 is counted twice (emission steps 1 and 4 give the
// same one-term feature); the unambiguous line 2 predicts nothing.
TEST(GenerateFSG5, BaseWithACsByHand) {
    TrainingSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    const Pool expected = {
        {"00 NV 01__00ff20__NV_", 2}, {"00 NV 01__00ff21__s_", 1},  {"00 NV 01__00ff21__ps_", 1},
        {"00 NV 01__01ff20__NV_", 1}, {"00 NV 01__01ff21__ps_", 1}, {"00 NV 01__01ff20__N_", 1},
        {"00 NV 01__01ff21__s_", 1},  {"00 NV 01__ffff20__NV_", 2}, {"00 NV 01__ffff21__s_", 2},
        {"01 ps 01__00ff20__NV_", 1}, {"01 ps 01__00ff21__ps_", 1}, {"01 ps 01__ffff20__NV_", 2},
        {"01 ps 01__ffff21__s_", 2},  {"01 ps 01__01ff20__N_", 1},  {"01 ps 01__01ff21__s_", 1},
    };
    EXPECT_EQ(Generate(ps, 1), expected);

    // ACs rarer than the pool threshold (N and ps) take their features along.
    ps.m.cPoolThr = 2;
    Pool pool = expected;
    std::erase_if(pool, [](const auto& kv) {
        return kv.first.ends_with("__N_") || kv.first.ends_with("__ps_");
    });
    EXPECT_EQ(Generate(ps, 1), pool);

    // After the first iteration only mis-tagged positions count.
    ps.m.cPoolThr = 1;
    EXPECT_TRUE(Generate(ps, 1, 0).empty());
    ps.dtT.rgrgfErr[0][1] = 1;
    pool = Generate(ps, 1, 0);
    EXPECT_EQ(pool.size(), 6u);
    EXPECT_EQ(pool.at("00 NV 01__ffff21__s_"), 2);
    ps.m.iTrainCat = 1; // only element 1 is trained
    EXPECT_EQ(Generate(ps, 1).size(), 6u);
}

TEST(GenerateFSG5, TagsOnlyToTheLeftFormsAndMembers) {
    TrainingSetup ps(2);
    ps.Init(kLines, GenerationArgs("UseInFeatures = Tags\n"));
    const Pool poolTags = {{"00 NV 01__ffff00__N_", 2},  {"00 NV 01__ffff01__s_", 2},
                           {"00 NV 01__ffff7c__Ns_", 2}, {"01 ps 01__ffff00__N_", 2},
                           {"01 ps 01__ffff01__s_", 2},  {"01 ps 01__ffff7c__Ns_", 2}};
    EXPECT_EQ(Generate(ps, 1), poolTags);

    // Members of the ignored value "-" are skipped; at offset 0 only forms.
    ps.Init({"N-|NV/-/|a|a|", "V-|NV/-/|b|b|"},
            GenerationArgs("UseInFeatures = Forms.SetElements\n"));
    const Pool poolForms = {{"00 NV 01__00ff7e__a_", 1}, {"00 NV 01__00ff7e__b_", 1},
                            {"00 NV 01__01ff40__N_", 1}, {"00 NV 01__01ff40__V_", 1},
                            {"00 NV 01__01ff7e__b_", 1}, {"00 NV 01__ffff40__N_", 2},
                            {"00 NV 01__ffff40__V_", 2}, {"00 NV 01__ffff7e__a_", 2}};
    EXPECT_EQ(Generate(ps, 1), poolForms);
    ps.m.fLeftOnly = 1;
    for (const auto& [sz, cl] : Generate(ps, 2))
        EXPECT_EQ(sz.find("01ff"), std::string::npos) << sz;
}

// The anchor of a closest term is the nearest earlier (later) position whose
// AC of element 0 is the anchor value, at most four positions away.
TEST(GenerateFSG5, ClosestAnchorsAtMostFourAway) {
    for (int ilAmbiguous : {5, 4}) {
        // Line 0 is an unambiguous A; element 1 is ambiguous at ilAmbiguous only.
        std::vector<std::string> rgszLine = {"As|A/s/|f0|l|"};
        for (int il = 1; il <= 5; ++il) {
            rgszLine.push_back(std::string("Ns|NV/") + (il == ilAmbiguous ? "ps" : "s") + "/|f" +
                               std::to_string(il) + "|l|");
        }
        TrainingSetup ps(2);
        ps.Init(rgszLine, GenerationArgs("UseInFeatures = Forms\n"));
        ps.m.cClosestThr = 1;
        const Pool pool = Generate(ps, 1);
        EXPECT_EQ(pool.at(ilAmbiguous == 5 ? "01 ps 01__81207e_NV_f4_" : "01 ps 01__81207e_NV_f3_"),
                  2);
        EXPECT_EQ(pool.count("01 ps 01__81207e_A_f0_"), ilAmbiguous == 4 ? 1u : 0u);
        if (ilAmbiguous == 4) {
            EXPECT_EQ(pool.at("01 ps 01__81207e_A_f0_"), 2);
            EXPECT_EQ(pool.at("01 ps 01__7f207e_NV_f5_"), 1); // closest right: once
        }
        for (const auto& [sz, cl] : pool) EXPECT_EQ(sz.find("_--"), std::string::npos) << sz;
    }
}

TEST(GenerateFSG5, CountModesAndModelKinds) {
    TrainingSetup ps(2);
    ps.Init({"Ns|NV/s/|a|a|", "Vs|NV/s/|a|a|", "Ns|NV/s/|a|a|"},
            GenerationArgs("CountMode = Individual\n"));
    Pool pool = Generate(ps, 1);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_|N"), 2);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_|V"), 1);
    ps.m.iCountMode = 1;
    pool = Generate(ps, 1);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_"), 3);

    ps.m.fModelGeneral = 1; // every feature once with "--" and once with its class
    const Pool poolBoth = Generate(ps, 1);
    EXPECT_EQ(poolBoth.size(), 2 * pool.size());
    for (const auto& [sz, cl] : pool) EXPECT_EQ(poolBoth.at("00 -- " + sz.substr(6)), cl) << sz;

    ps.m.iCountMode = 3;
    ps.NewSugg();
    // The first emission is at offset 0.
    test::Stderr([&] { EXPECT_EQ(GenerateFSG5(&ps.m, &ps.dtT, 1, 0, 1), 641); });
}

TEST(GenerateFSG5, LongerTemplates) {
    TrainingSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    // Base 2: with the AC or the value of element 0 at the same place (a
    // component equal to an earlier one is left out); base 3 adds the AC of
    // element 0 at the predicted position, base 4 a fourth term around it.
    const std::pair<int, const char*> rgCase[] = {
        {2, "00 NV 02__ffff21__s_ffff20__NV_"},
        {2, "00 NV 02__ffff21__s_ffff00__N_"},
        {2, "00 NV 02__ffff20__NV_ffff00__N_"},
        {3, "00 NV 03__ffff21__s_ffff20__NV_00ff20__NV_"},
        {4, "00 NV 04__ffff21__s_ffff20__NV_00ff20__NV_01ff21__s_"}};
    for (const auto& [iBase, pszKey] : rgCase) EXPECT_EQ(Generate(ps, iBase)[pszKey], 1) << pszKey;
    EXPECT_EQ(Generate(ps, 2).at("00 NV 01__00ff20__NV_"), 2);
}

TEST(GenerateFSG5, StopsOnceTheTableHoldsMaxFeatures) {
    TrainingSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    ps.m.ilMaxFSG = 1;
    ps.NewSugg();
    const std::string szErr =
        test::Stderr([&] { EXPECT_EQ(GenerateFSG5(&ps.m, &ps.dtT, 1, 0, 1), 0); });
    EXPECT_NE(szErr.find("Generating feature pool (base1); all: 1\nPOS: first: 0, count: 2\n"
                         "added into pm->rgszUnamb: N\nadded into pm->rgszUnamb: V\n"
                         "App: Warn(18032): tag: Feature Generation ended before data line 1.\n"),
              std::string::npos)
        << szErr;
    EXPECT_EQ(ps.Sugg().size(), 4u); // line 0 only
}

TEST(FXSuggString, ComponentTexts) {
    TrainingSetup ps(2);
    ps.Init({"Ns|NV/s/|a_b|a|", "Vp|NV/ps/||b|", "Ns|N/s/|c|c|"}, GenerationArgs());
    std::array<char, 100> sz;
    const char* pszNV = ps.m.rgacAmbClassArea[1].pszAmbClass;
    auto fnText = [&](FeatureTerm ft, const char* pszOverride, int cbRoom = 100) {
        const int rc = FXSuggString(&ft, pszOverride, std::span(sz.data(), cbRoom), &ps.m);
        return rc == 0 ? std::string(sz.data()) : std::to_string(rc);
    };
    EXPECT_EQ(fnText({-1, -1, ps.m.pszEmpty, 0, ps.m.pszEmpty}, "N"), "ffff00__N_");
    EXPECT_EQ(fnText({-127, 32, pszNV, 124, ps.m.pszEmpty}, "Vp"), "81207c_NV_Vp_");
    EXPECT_EQ(fnText({127, 32, pszNV, 33, pszNV}, ""), "-2"); // NV is no AC of element 1
    const FeatureTerm ftAC{1, -1, ps.m.pszEmpty, 33, ps.m.pszEmpty};
    EXPECT_EQ(fnText(ftAC, "ps"), "01ff21__ps_");
    ps.m.cPoolThr = 2;
    EXPECT_EQ(fnText(ftAC, "ps"), "-1");
    EXPECT_EQ(fnText(ftAC, "s", 10), "601"); // ten characters need a room of eleven
    EXPECT_EQ(fnText(ftAC, "s", 11), "01ff21__s_");

    // A pool line separates values by "_": a value that holds "_" (the corpus
    // has forms such as "§_1") or is empty could not be read back, so such
    // features are dropped instead of making the pool fail to load.
    const FeatureTerm ftForm{0, -1, ps.m.pszEmpty, 126, ps.m.pszEmpty};
    EXPECT_EQ(fnText(ftForm, "a_b"), "-3");
    EXPECT_EQ(fnText(ftForm, ""), "-3");
    EXPECT_EQ(fnText({-127, 32, ps.m.pszEmpty, 126, ps.m.pszEmpty}, "c"), "-3");
    ps.m.cPoolThr = 1;
    ps.m.fUITForms = 1;
    ps.m.fUITACs = 0;
    EXPECT_EQ(Generate(ps, 1), (Pool{{"00 NV 01__01ff7e__c_", 1}, {"01 ps 01__01ff7e__c_", 1}}));
}

TEST(FGSuggString, DuplicatesRemovedAndErrors) {
    TrainingSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    ps.NewSugg();
    const char* pszNV = ps.m.rgacAmbClassArea[1].pszAmbClass;
    std::array<FeatureComp, 2> rg;
    rg[0].ft = FeatureTerm{-1, -1, ps.m.pszEmpty, 32, ps.m.pszEmpty};
    rg[0].pszOverride = pszNV;
    rg[1].ft = FeatureTerm{-1, -1, ps.m.pszEmpty, 32, pszNV}; // the same through its own value
    EXPECT_EQ(FGSuggString(0, "NV", "N", 2, rg, &ps.m), 0);
    EXPECT_EQ(ps.Sugg(), (Pool{{"00 NV 01__ffff20__NV_", 1}}));

    // Longer than sorting takes (248 characters): dropped, not counted.
    std::string szLong(229, 'x');
    rg[0].ft.iConditionElem = 126;
    rg[0].pszOverride = szLong.c_str();
    EXPECT_EQ(FGSuggString(0, "NV", "N", 1, rg, &ps.m), 0); // 248 characters
    szLong += 'x';
    rg[0].pszOverride = szLong.c_str();
    EXPECT_EQ(FGSuggString(0, "NV", "N", 1, rg, &ps.m), kFeatureStrTooLong);
    EXPECT_EQ(ps.Sugg().size(), 2u);
    szLong.assign(4000, 'x');
    rg[0].pszOverride = szLong.c_str();
    EXPECT_TRUE(test::Contains(
        test::Stderr([&] { EXPECT_EQ(FGSuggStringModels(0, "NV", "--", "N", 1, rg, &ps.m), 26); }),
        "vexta: cannot generate ctx string (26/i:0/val:xxx"));
}

} // namespace
} // namespace vexta
