// Feature pool generation on tiny training tables whose pools are worked out
// by hand.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "features/pool_gen.h"
#include "pool_test_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::PoolSetup;
using Pool = std::map<std::string, long>;

// Two tag elements. Ambiguous positions: (line 0, element 0, NV, true N),
// (line 1, element 0, NV, true V), (line 1, element 1, ps, true p); line 2 is
// unambiguous. AC counts: NV 2, N 1 (element 0); s 2, ps 1 (element 1).
const std::vector<std::string> kLines = {"Ns|NV/s/|a|a|", "Vp|NV/ps/|b|b|", "Ns|N/s/|c|c|"};

// Generation with the model's switches set as the set-up leaves them.
Pool Generate(PoolSetup& ps, int iBase, int fAll = 1) {
    ps.NewSugg();
    testing::internal::CaptureStderr();
    const int rc = GenerateFSG5(&ps.m, &ps.dtT, iBase, 0, fAll);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, 0);
    return ps.Sugg();
}

// Base with ACs only: offset 0 gives the ACs of the position itself, -1 and
// +1 those of the neighbours; a value at -1 is counted twice (emission steps
// 1 and 4 give the same one-term feature).
TEST(GenerateFSG5, BaseWithACsByHand) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    const Pool expected = {
        {"00 NV 01__00ff20__NV_", 2}, {"00 NV 01__00ff21__s_", 1},  {"00 NV 01__00ff21__ps_", 1},
        {"00 NV 01__01ff20__NV_", 1}, {"00 NV 01__01ff21__ps_", 1}, {"00 NV 01__01ff20__N_", 1},
        {"00 NV 01__01ff21__s_", 1},  {"00 NV 01__ffff20__NV_", 2}, {"00 NV 01__ffff21__s_", 2},
        {"01 ps 01__00ff20__NV_", 1}, {"01 ps 01__00ff21__ps_", 1}, {"01 ps 01__ffff20__NV_", 2},
        {"01 ps 01__ffff21__s_", 2},  {"01 ps 01__01ff20__N_", 1},  {"01 ps 01__01ff21__s_", 1},
    };
    EXPECT_EQ(Generate(ps, 1), expected);

    // ACs rarer than the pool threshold take their whole feature with them
    // (N and ps occur once).
    ps.m.cPoolThr = 2;
    const Pool pool = Generate(ps, 1);
    EXPECT_EQ(pool.size(), 10u);
    for (const auto& [sz, cl] : pool) {
        EXPECT_EQ(sz.find("__N_"), std::string::npos) << sz;
        EXPECT_EQ(sz.find("__ps_"), std::string::npos) << sz;
    }
    EXPECT_EQ(pool.at("01 ps 01__ffff21__s_"), 2);
}

TEST(GenerateFSG5, OnlyMisTaggedPositionsAfterTheFirstIteration) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    EXPECT_TRUE(Generate(ps, 1, 0).empty());
    ps.dtT.rgrgfErr[0][1] = 1; // line 1 is wrong in element 0 only
    const Pool pool = Generate(ps, 1, 0);
    EXPECT_EQ(pool.size(), 6u);
    for (const auto& [sz, cl] : pool) EXPECT_EQ(sz.substr(0, 6), "00 NV ") << sz;
    EXPECT_EQ(pool.at("00 NV 01__ffff21__s_"), 2);

    // Training only element 1.
    ps.m.iTrainCat = 1;
    EXPECT_EQ(Generate(ps, 1).size(), 6u);
}

TEST(GenerateFSG5, TagValuesOnlyToTheLeft) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs("UseInFeatures = Tags\n"));
    const Pool pool = Generate(ps, 1);
    // Line 1 sees line 0: its two values and its whole tag, each twice.
    const Pool expected = {{"00 NV 01__ffff00__N_", 2},  {"00 NV 01__ffff01__s_", 2},
                           {"00 NV 01__ffff7c__Ns_", 2}, {"01 ps 01__ffff00__N_", 2},
                           {"01 ps 01__ffff01__s_", 2},  {"01 ps 01__ffff7c__Ns_", 2}};
    EXPECT_EQ(pool, expected);
}

TEST(GenerateFSG5, FormsSetElementsAndTheIgnoredValue) {
    PoolSetup ps(2);
    ps.Init({"N-|NV/-/|a|a|", "V-|NV/-/|b|b|"},
            GenerationArgs("UseInFeatures = Forms+SetElements\n"));
    const Pool expected = {
        {"00 NV 01__00ff7e__a_", 1}, {"00 NV 01__00ff7e__b_", 1}, {"00 NV 01__01ff40__N_", 1},
        {"00 NV 01__01ff40__V_", 1}, {"00 NV 01__01ff7e__b_", 1}, {"00 NV 01__ffff40__N_", 2},
        {"00 NV 01__ffff40__V_", 2}, {"00 NV 01__ffff7e__a_", 2},
    };
    // Element 1 has the one-value AC "-" only; its member "-" is the ignored value.
    EXPECT_EQ(Generate(ps, 1), expected);
}

TEST(GenerateFSG5, LeftOnlyDropsEverythingToTheRight) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    ps.m.fLeftOnly = 1;
    for (const auto& [sz, cl] : Generate(ps, 2)) {
        EXPECT_EQ(sz.find("__01ff"), std::string::npos) << sz;
        EXPECT_EQ(sz.find("_01ff"), std::string::npos) << sz;
        EXPECT_EQ(sz.find("7f20"), std::string::npos) << sz;
    }
}

// Closest terms: the anchor is the nearest earlier (later) position whose AC
// of element 0 is the anchor value, at most four positions away.
TEST(GenerateFSG5, ClosestAnchorsAtMostFourAway) {
    // Line 0: unambiguous A (an anchor value); lines 1..4: class NV; the
    // ambiguous element 1 sits at line 5 (A five away) or line 4 (four away).
    auto fnLines = [](int ilAmbiguous) {
        std::vector<std::string> rg = {"As|A/s/|f0|l|"};
        for (int il = 1; il <= 5; ++il) {
            rg.push_back(std::string("Ns|NV/") + (il == ilAmbiguous ? "ps" : "s") + "/|f" +
                         std::to_string(il) + "|l|");
        }
        return rg;
    };
    for (int ilAmbiguous : {5, 4}) {
        PoolSetup ps(2);
        ps.Init(fnLines(ilAmbiguous), GenerationArgs("UseInFeatures = Forms\n"));
        ps.m.cClosestThr = 1;
        const Pool pool = Generate(ps, 1);
        // Closest left with anchor NV: the previous line, counted twice.
        const char* const pszPrev =
            ilAmbiguous == 5 ? "01 ps 01__81207e_NV_f4_" : "01 ps 01__81207e_NV_f3_";
        EXPECT_EQ(pool.at(pszPrev), 2);
        const auto it = pool.find("01 ps 01__81207e_A_f0_");
        EXPECT_EQ(it != pool.end(), ilAmbiguous == 4) << ilAmbiguous;
        if (ilAmbiguous == 4) {
            EXPECT_EQ(it->second, 2);
            EXPECT_EQ(pool.at("01 ps 01__7f207e_NV_f5_"), 1); // closest right, once
        }
        // The all-data class never anchors anything.
        for (const auto& [sz, cl] : pool) EXPECT_EQ(sz.find("_--"), std::string::npos) << sz;
    }
}

TEST(GenerateFSG5, CountModesAndModelKinds) {
    PoolSetup ps(2);
    ps.Init({"Ns|NV/s/|a|a|", "Vs|NV/s/|a|a|", "Ns|NV/s/|a|a|"},
            GenerationArgs("CountMode = Individual\n"));
    Pool pool = Generate(ps, 1);
    // One count per true value of the predicted element.
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_|N"), 2);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_|V"), 1);

    ps.m.iCountMode = 1;
    pool = Generate(ps, 1);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_"), 3);
    EXPECT_EQ(pool.count("00 NV 01__00ff20__NV_|N"), 0u);

    // Both model kinds: every feature once with "--" and once with its class.
    ps.m.fModelGeneral = 1;
    const Pool poolBoth = Generate(ps, 1);
    EXPECT_EQ(poolBoth.size(), 2 * pool.size());
    for (const auto& [sz, cl] : pool) {
        EXPECT_EQ(poolBoth.at(sz), cl);
        EXPECT_EQ(poolBoth.at("00 -- " + sz.substr(6)), cl) << sz;
    }

    ps.m.iCountMode = 3;
    ps.NewSugg();
    testing::internal::CaptureStderr();
    EXPECT_EQ(GenerateFSG5(&ps.m, &ps.dtT, 1, 0, 1), 641); // the first emission is at offset 0
    testing::internal::GetCapturedStderr();
}

TEST(GenerateFSG5, LongerTemplates) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    // Base 2: the neighbour's AC with the AC of element 0 there (a duplicate
    // when both are the same condition).
    Pool pool = Generate(ps, 2);
    EXPECT_EQ(pool.at("00 NV 02__ffff21__s_ffff20__NV_"), 1);
    EXPECT_EQ(pool.at("00 NV 02__ffff21__s_ffff00__N_"), 1);
    EXPECT_EQ(pool.at("00 NV 01__ffff20__NV_"), 1);
    EXPECT_EQ(pool.at("00 NV 02__ffff20__NV_ffff00__N_"), 1);
    EXPECT_EQ(pool.at("00 NV 01__00ff20__NV_"), 2); // at offset 0 all three coincide

    // Base 3 adds the AC of element 0 at the predicted position.
    pool = Generate(ps, 3);
    EXPECT_EQ(pool.at("00 NV 03__ffff21__s_ffff20__NV_00ff20__NV_"), 1);
    EXPECT_EQ(pool.at("00 NV 02__00ff21__s_00ff20__NV_"), 1);

    // Base 4: a fourth term from the second enumeration around the position.
    pool = Generate(ps, 4);
    EXPECT_EQ(pool.at("00 NV 04__ffff21__s_ffff20__NV_00ff20__NV_01ff21__s_"), 1);
    int cFour = 0;
    for (const auto& [sz, cl] : pool) cFour += sz.substr(6, 4) == "04__";
    EXPECT_GT(cFour, 10);
}

TEST(GenerateFSG5, StopsOnceTheTableHoldsMaxFeatures) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    ps.m.ilMaxFSG = 1;
    ps.NewSugg();
    testing::internal::CaptureStderr();
    EXPECT_EQ(GenerateFSG5(&ps.m, &ps.dtT, 1, 0, 1), 0);
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_NE(szErr.find("App: Warn(18032): tag: Feature Generation ended before data line 1."),
              std::string::npos)
        << szErr;
    EXPECT_NE(szErr.find("Generating feature pool (base1); all: 1\n"), std::string::npos);
    EXPECT_NE(szErr.find("added into pm->rgszUnamb: V\n"), std::string::npos);
    EXPECT_EQ(ps.Sugg().size(), 4u); // line 0 only
}

TEST(FXSuggString, ComponentTexts) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    std::array<char, 100> sz;
    const FeatureTerm ftLeft{-1, -1, ps.m.pszEmpty, 0, ps.m.pszEmpty};
    EXPECT_EQ(FXSuggString(&ftLeft, "N", sz, &ps.m), 0);
    EXPECT_STREQ(sz.data(), "ffff00__N_");
    const char* pszNV = ps.m.rgacAmbClassArea[1].pszAmbClass;
    const FeatureTerm ftClosest{-127, 32, pszNV, 124, ps.m.pszEmpty};
    EXPECT_EQ(FXSuggString(&ftClosest, "Vp", sz, &ps.m), 0);
    EXPECT_STREQ(sz.data(), "81207c_NV_Vp_");
    const FeatureTerm ftRight{127, 32, pszNV, 33, pszNV}; // no override: the term's value
    EXPECT_EQ(FXSuggString(&ftRight, "", sz, &ps.m), -2); // NV is no AC of element 1
    const FeatureTerm ftAC{1, -1, ps.m.pszEmpty, 33, ps.m.pszEmpty};
    EXPECT_EQ(FXSuggString(&ftAC, "ps", sz, &ps.m), 0);
    ps.m.cPoolThr = 2;
    EXPECT_EQ(FXSuggString(&ftAC, "ps", sz, &ps.m), -1);
    EXPECT_EQ(FXSuggString(&ftAC, "s", sz, &ps.m), 0);
    // Ten characters need a room of eleven (the terminator).
    EXPECT_EQ(FXSuggString(&ftAC, "s", std::span<char>(sz.data(), 10), &ps.m), 601);
    EXPECT_EQ(FXSuggString(&ftAC, "s", std::span<char>(sz.data(), 11), &ps.m), 0);
    EXPECT_STREQ(sz.data(), "01ff21__s_");
}

TEST(FGSuggString, DuplicatesRemovedAndErrors) {
    PoolSetup ps(2);
    ps.Init(kLines, GenerationArgs());
    ps.NewSugg();
    const char* pszNV = ps.m.rgacAmbClassArea[1].pszAmbClass;
    FeatureComp comp;
    comp.ft = FeatureTerm{-1, -1, ps.m.pszEmpty, 32, ps.m.pszEmpty};
    comp.pszOverride = pszNV;
    FeatureComp compSame = comp;
    compSame.ft.pszValue = pszNV; // the same condition through the term's own value
    compSame.pszOverride = "";
    const std::array<FeatureComp, 2> rg{comp, compSame};
    EXPECT_EQ(FGSuggString(0, "NV", "N", 2, rg, &ps.m), 0);
    EXPECT_EQ(ps.Sugg(), (Pool{{"00 NV 01__ffff20__NV_", 1}}));

    std::string szLong(4000, 'x');
    comp.ft.iConditionElem = 126;
    comp.pszOverride = szLong.c_str();
    testing::internal::CaptureStderr();
    EXPECT_EQ(FGSuggString(0, "NV", "N", 1, std::span(&comp, 1), &ps.m), 26);
    EXPECT_EQ(FGSuggStringModels(0, "NV", "--", "N", 1, std::span(&comp, 1), &ps.m), 26);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(
                  "vexta: cannot generate ctx string (26/i:0/val:xxx"),
              std::string::npos);
}

} // namespace
} // namespace vexta
