// Value probabilities: smoothing, the modes' feature sources, the result
// codes, and equality of the fast computation with the traced one.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <tuple>

#include "features/feature_chains.h"
#include "features/tag_probs.h"
#include "test_model_util.h"
#include "test_util.h"

namespace vexta {
namespace {

using test::TinyModel;

// One tag element with the values N and V counted 30 and 10 in training.
class TagProbsTest : public ::testing::Test {
protected:
    void SetUp() override {
        tm.SetClasses(0, "NVX", {});
        tm.m.rgteTagElem[0].rgclSubtagCnt['N'] = 30;
        tm.m.rgteTagElem[0].rgclSubtagCnt['V'] = 10;
        tm.SetLines({"N|NV/|w|w|>N/V/", "N|N/|w|w|>N/"});
    }
    // A feature that would turn any decision to V if it were used.
    FeatureDesc& Spoiler(int t, AmbClass& ac) {
        std::vector<long> rgcl(std::strlen(ac.pszAmbClass), 0);
        rgcl[std::string_view(ac.pszAmbClass).rfind('V')] = 1000;
        return tm.AddFeature(t, ac, rgcl, 5.0);
    }
    // Reads iBest after the call given as iRes has set it.
    void ExpectWorkedExample(int iRes, const TagProbs& probs) {
        EXPECT_EQ(kProbsFired, iRes);
        EXPECT_EQ('N', iBest);
        EXPECT_NEAR(0.8125, probs['N'], 1e-8);
        EXPECT_NEAR(0.1875, probs['V'], 1e-8);
    }
    TinyModel tm{1};
    int iBest = -1;
};

TEST_F(TagProbsTest, WorkedExampleAndPrior) {
    std::unique_ptr<TagProbs> pProbs;
    // Without any feature: (w + H) u + G W.
    EXPECT_EQ(kProbsNoFeature, GetTagProbs(0, nullptr, &pProbs, iBest, tm.m, 0, tm.dt, 0));
    EXPECT_NEAR(0.55 * 0.5 + 0.45 * 0.75, (*pProbs)['N'], 1e-12);
    EXPECT_NEAR(0.55 * 0.5 + 0.45 * 0.25, (*pProbs)['V'], 1e-12);

    // The class NV has no record: the all-data class's feature applies.
    tm.AddFeature(0, tm.AllData(0), {0, 0, 9, 1, 0}, 1.0);
    for (int fMode : {0, 2}) {
        const int iRes = GetTagProbs(fMode, nullptr, &pProbs, iBest, tm.m, 0, tm.dt, 0);
        ExpectWorkedExample(iRes, *pProbs);
        EXPECT_EQ(0.0, (*pProbs)['X']);
        EXPECT_EQ(0.0, (*pProbs)['A']);
    }
    // A value the feature's class does not hold counts 0, like a value never seen.
    FeatureDesc& fd = tm.m.rgfdFeatureArea[0];
    fd.rgclCntTagElemGivenFeature = {0, 0, 9, 0, 1};
    GetTagProbs(0, nullptr, &pProbs, iBest, tm.m, 0, tm.dt, 0);
    const TagProbs probsZero = *pProbs;
    fd.pszACFeature = tm.Intern("!!NX");
    fd.rgclCntTagElemGivenFeature = {0, 0, 9, 1};
    GetTagProbs(0, nullptr, &pProbs, iBest, tm.m, 0, tm.dt, 0);
    EXPECT_EQ(probsZero['V'], (*pProbs)['V']);
    EXPECT_EQ(probsZero['N'], (*pProbs)['N']);

    // One value: the answer without any array.
    EXPECT_EQ(kProbsSingleValue, GetTagProbs(0, nullptr, &pProbs, iBest, tm.m, 0, tm.dt, 1));
    EXPECT_EQ('N', iBest);
    EXPECT_EQ(nullptr, pProbs);
}

TEST_F(TagProbsTest, ClassRecordGivesTheUnigramsAndTiesKeepTheEarlierValue) {
    tm.SetClasses(0, "NV", {"NV"});
    AmbClass& ac = tm.Class(0, "NV");
    ac.rgclJointCnt[0] = 1;
    ac.rgclJointCnt[1] = 3;
    ac.clAmbClassCnt = 4;
    TagProbs probs{};
    EXPECT_EQ(kProbsNoFeature, GetTagProbsInto(0, nullptr, &probs, iBest, tm.m, 0, tm.dt, 0));
    EXPECT_EQ('V', iBest);
    EXPECT_NEAR(0.55 * 0.5 + 0.45 * 0.75, probs['V'], 1e-12);
    ac.rgclJointCnt = {};
    ac.clAmbClassCnt = 0;
    GetTagProbsInto(0, nullptr, &probs, iBest, tm.m, 0, tm.dt, 0);
    EXPECT_EQ(probs['N'], probs['V']);
    EXPECT_EQ('N', iBest);
}

TEST_F(TagProbsTest, ModesTakeTheirOwnFeatures) {
    tm.SetClasses(0, "NV", {"NV", "NVA"});
    AmbClass& ac = tm.Class(0, "NV");
    ac.rgclJointCnt[0] = 30;
    ac.rgclJointCnt[1] = 10;
    ac.clAmbClassCnt = 40;
    FeatureDesc fdOtherTE = Spoiler(0, ac); // older than the candidate
    fdOtherTE.iTagElem = 1;
    tm.AddFeature(0, ac, {9, 1}, 1.0); // the candidate heads the chain
    FeatureDesc& fdAll = tm.AddFeature(0, tm.AllData(0), {0, 0, 9, 1}, 1.0);
    tm.Link(0, fdOtherTE, 0); // misplaced: passed over
    tm.Link(0, Spoiler(0, tm.Class(0, "NVA")));
    TagProbs probs{};

    ExpectWorkedExample(GetTagProbsInto(1, &ac, &probs, iBest, tm.m, 0, tm.dt, 0), probs);
    // An all-data argument: the line's class record, the argument's head.
    ExpectWorkedExample(GetTagProbsInto(1, &tm.AllData(0), &probs, iBest, tm.m, 0, tm.dt, 0),
                        probs);
    // Links only; a link of the all-data class qualifies, the chains are not used.
    tm.Link(0, fdAll);
    ExpectWorkedExample(GetTagProbsInto(3, nullptr, &probs, iBest, tm.m, 0, tm.dt, 0), probs);
}

TEST_F(TagProbsTest, FastComputationEqualsTracedOne) {
    tm.SetClasses(0, "NV", {"NV"});
    tm.SetLines({"N|NV/|w|w|>N/V/", "V|NV/|x|w|>N/V/", "N|NV/|w|y|>N/V/", "V|NV/|w|w|>N/V/"});
    for (long il = 0; il < 4; ++il) tm.SetItem(il, 0, tm.dt.rgdl[il].pszTag, 0);
    AmbClass& ac = tm.Class(0, "NV");
    tm.AddFeature(0, ac, {5, 2}, 0.37, {tm.Term(-1, 0, "V")});
    tm.AddFeature(0, ac, {1, 8}, 2.5, {tm.Term(0, 126, "w")});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 3, 3, 1}, 1.0);
    tm.AddFeature(0, tm.AllData(0), {0, 0, 4, 1, 0}, 0.0, {tm.Term(1, 127, "y")});
    tm.AddFeature(0, ac, {9, 0}, 4000.0, {tm.Term(0, 127, "y")}); // overflows N's score

    const auto Run = [&](int fMode, long il, TagProbs& probs) {
        probs.fill(0.0);
        tm.dt.iBeamPrev = 0;
        return GetTagProbsInto(fMode, nullptr, &probs, iBest, tm.m, 0, tm.dt, il);
    };
    for (int fMode : {0, 2}) {
        for (long il = 0; il < 4; ++il) {
            TagProbs probsFast{}, probsTraced{};
            int iFast = 0, iTraced = 0;
            const std::string szFastErr = test::Stderr([&] { iFast = Run(fMode, il, probsFast); });
            tm.m.trace.fDebug5 = 1;
            const std::string szTrace =
                test::Stderr([&] { iTraced = Run(fMode, il, probsTraced); });
            tm.m.trace.fDebug5 = 0;
            EXPECT_EQ(iFast, iTraced);
            EXPECT_EQ(0, std::memcmp(&probsFast, &probsTraced, sizeof(TagProbs)));
            EXPECT_TRUE(test::Contains(szTrace, "best tag: tagelem/AC 0/NV"));
            if (il == 2) {
                // The huge weight overflows N's score: repaired and reported once.
                const std::string szRepair = "dProb ==> 5555.00000000 (not fin)";
                EXPECT_TRUE(test::Contains(szFastErr, szRepair));
                EXPECT_EQ(szFastErr.find(szRepair), szFastErr.rfind(szRepair));
                EXPECT_EQ('N', iBest);
            } else {
                EXPECT_EQ("", szFastErr);
            }
        }
    }
}

TEST_F(TagProbsTest, LaidOutChainsGiveTheSameBits) {
    // The chains laid out for tagging (their factors, their probabilities
    // without a firing feature, whole-tag conditions, the all-data class's
    // chain) against the walk of the chains, line by line: lines where
    // features fire, where none does, and where a score overflows (the
    // laid-out computation hands that line to the general one, which
    // reports it).
    tm.SetClasses(0, "NV", {"NV"});
    tm.SetLines({"N|NV/|w|w|>N/V/", "V|NV/|x|w|>N/V/", "N|NV/|w|y|>N/V/", "V|NV/|z|w|>N/V/"});
    for (long il = 0; il < 4; ++il) tm.SetItem(il, 0, tm.dt.rgdl[il].pszTag, 0);
    AmbClass& ac = tm.Class(0, "NV");
    tm.AddFeature(0, ac, {5, 2}, 0.37, {tm.Term(-1, 0, "V")});
    tm.AddFeature(0, ac, {1, 8}, 2.5, {tm.Term(0, kElemForm, "w")});
    tm.AddFeature(0, ac, {3, 1}, 1.0, {tm.Term(-1, kElemTag, "N"), tm.Term(0, kElemForm, "x")});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 4, 1, 0}, 0.0, {tm.Term(1, kElemLemma, "y")});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 5, 1, 0}, 1.3, {tm.Term(0, kElemForm, "x")});
    tm.AddFeature(0, ac, {9, 0}, 4000.0, {tm.Term(0, kElemLemma, "y")}); // overflows N's score

    int cNoFeature = 0;
    for (long il = 0; il < 4; ++il) {
        std::array<TagProbs, 2> rgprobs{};
        std::array<int, 2> rgiRes{};
        std::array<int, 2> rgiBest{};
        std::array<std::string, 2> rgszErr;
        for (const int fLaidOut : {0, 1}) {
            if (fLaidOut != 0) tm.m.pChains = BuildFeatureChains(tm.m);
            tm.dt.iBeamPrev = 0;
            rgszErr[fLaidOut] = test::Stderr([&] {
                rgiRes[fLaidOut] = GetTagProbsInto(kProbsModeTag, nullptr, &rgprobs[fLaidOut],
                                                   rgiBest[fLaidOut], tm.m, 0, tm.dt, il);
            });
            tm.m.pChains = nullptr;
        }
        EXPECT_EQ(rgiRes[0], rgiRes[1]) << il;
        EXPECT_EQ(rgiBest[0], rgiBest[1]) << il;
        EXPECT_EQ(0, std::memcmp(&rgprobs[0], &rgprobs[1], sizeof(TagProbs))) << il;
        EXPECT_EQ(rgszErr[0], rgszErr[1]) << il; // the overflow reported once
        if (rgiRes[0] == kProbsNoFeature) ++cNoFeature;
    }
    EXPECT_EQ(1, cNoFeature); // line 3
}

TEST_F(TagProbsTest, IndexedChainsFindTheFeaturesTheWalkFinds) {
    // 73 features (two blocks of the index) whose first conditions share
    // places and values: forms, AC strings and members, tags of the path and
    // of later lines, whole tags, closest lines (up to the table's ends),
    // lemmas. Every line and both beam paths give the walk's bits, and the
    // same path reads, with the lines around a line kept between the
    // computations and without.
    tm.m.rgfdFeatureArea.resize(80);
    tm.m.clFeatureAreaSize = 80;
    tm.SetClasses(0, "NV", {"NV"});
    tm.SetLines({"N|NV/|a|a|>N/V/", "V|V/|b|b|>V/", "N|NV/|c|y|>N/V/", "V|N/|a|a|>N/",
                 "N|NV/|b|b|>N/V/", "V|NV/|a|y|>N/V/", "N|V/|c|c|>V/", "V|NV/|b|b|>N/V/"});
    for (long il = 0; il < 8; ++il) {
        tm.SetItem(il, 0, tm.dt.rgdl[il].pszTag, 0);
        tm.SetItem(il, 1, il % 2 == 0 ? "V" : "N", 1);
    }
    const std::array<const char*, 3> rgszForm = {"a", "b", "c"};
    const std::array<const char*, 3> rgszValue = {"N", "V", "X"};
    const std::array<int, 4> rgiClosestElem = {kElemForm, 0, kElemACMember, kElemAC};
    for (int i = 0; i < 70; ++i) {
        const int p = i % 3 - 1; // -1, 0, 1
        const std::array<FeatureTerm, 8> rgft = {
            tm.Term(p, kElemForm, rgszForm[(i / 3) % 3]),
            tm.Term(p, kElemAC, (i / 4) % 2 != 0 ? "NV" : "V"),
            tm.Term(p, kElemACMember, rgszValue[(i / 5) % 3]),
            tm.Term(p - 1, 0, rgszValue[(i / 2) % 2]),
            tm.Term(-1, kElemTag, rgszValue[(i / 3) % 2]),
            tm.Closest(i % 2 != 0 ? kPosClosestLeft : kPosClosestRight, kElemAC,
                       (i / 3) % 2 != 0 ? "N" : "V", rgiClosestElem[(i / 8) % 4],
                       (i / 8) % 4 == 0 ? rgszForm[(i / 2) % 3] : rgszValue[(i / 2) % 2]),
            tm.Term(p, kElemLemma, "y"),
            tm.Term(1, 0, rgszValue[(i / 7) % 2])};
        FeatureTerm ftFirst = rgft[static_cast<std::size_t>(i % 8)];
        FeatureTerm ftSecond = rgft[static_cast<std::size_t>((i / 8 + 3 * i) % 8)];
        // Terms in the order they are tested (conditions that read no tag
        // of the path, then tags of the path, then closest lines), so that
        // the whole match reads the tags the tagging reads.
        const auto Rank = [](const FeatureTerm& ft) {
            if (ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight) return 2;
            return ft.iPos < 0 && (ft.iConditionElem < kElemAC || ft.iConditionElem == kElemTag)
                       ? 1
                       : 0;
        };
        const bool fTwo = i % 3 != 0;
        if (fTwo && Rank(ftSecond) < Rank(ftFirst)) std::swap(ftFirst, ftSecond);
        FeatureDesc& fd = tm.AddFeature(0, tm.Class(0, "NV"), {i % 5 + 1, 7 - i % 7},
                                        0.3 + 0.1 * (i % 9), {ftFirst});
        if (fTwo) fd.rgftTerm[fd.cTerms++] = ftSecond;
    }
    // Forms, AC strings and tag values at closest lines that hold somewhere.
    for (const FeatureTerm& ft : {tm.Closest(kPosClosestLeft, kElemAC, "N", kElemForm, "a"),
                                  tm.Closest(kPosClosestRight, kElemAC, "V", kElemAC, "V"),
                                  tm.Closest(kPosClosestLeft, kElemAC, "V", 0, "V"),
                                  // at the first and the last line
                                  tm.Closest(kPosClosestLeft, kElemAC, "NV", kElemForm, "a"),
                                  tm.Closest(kPosClosestRight, kElemAC, "NV", kElemForm, "b")})
        tm.AddFeature(0, tm.Class(0, "NV"), {2, 3}, 0.8, {ft});
    using ReadSet = std::set<std::tuple<int, int, std::string>>;
    int cFired = 0;
    ClosestLines closest; // kept from line to line, as tagging keeps it
    for (long il = 0; il < 8; ++il) {
        for (int iPrev : {0, 1}) {
            std::array<TagProbs, 3> rgprobs{};
            std::array<int, 3> rgiRes{};
            std::array<int, 3> rgiBest{};
            std::array<ReadSet, 3> rgreads;
            std::array<bool, 3> rgfRead{};
            for (const int fLaidOut : {0, 1, 2}) { // 2: laid out, no lines kept
                if (fLaidOut != 0) tm.m.pChains = BuildFeatureChains(tm.m);
                tm.dt.iBeamPrev = iPrev;
                PathReads reads;
                TagProbsNote note;
                note.pReads = &reads;
                note.pClosest = fLaidOut == 1 ? &closest : nullptr;
                rgiRes[fLaidOut] = GetTagProbsInto(kProbsModeTag, nullptr, &rgprobs[fLaidOut],
                                                   rgiBest[fLaidOut], tm.m, 0, tm.dt, il, &note);
                tm.m.pChains = nullptr;
                for (int k = 0; k < reads.cRead; ++k) {
                    const PathReads::Read& rd = reads.rgRead[static_cast<std::size_t>(k)];
                    rgreads[fLaidOut].emplace(rd.d, rd.iElem, rd.pszTag ? rd.pszTag : "-");
                }
                rgfRead[fLaidOut] = note.fPathRead;
            }
            for (const std::size_t k : {1, 2}) {
                EXPECT_EQ(rgiRes[0], rgiRes[k]) << il << " " << k;
                EXPECT_EQ(rgiBest[0], rgiBest[k]) << il << " " << k;
                EXPECT_EQ(0, std::memcmp(&rgprobs[0], &rgprobs[k], sizeof(TagProbs))) << il;
                EXPECT_EQ(rgreads[0], rgreads[k]) << il << " " << iPrev << " " << k;
                EXPECT_EQ(rgfRead[0], rgfRead[k]) << il << " " << k;
            }
            if (rgiRes[0] == kProbsFired) ++cFired;
        }
    }
    EXPECT_EQ(10, cFired); // the five lines of the class, on both paths
}

TEST_F(TagProbsTest, ScoresThatAllVanishGiveTheUniformRawEstimate) {
    TagProbs probsPrior{};
    GetTagProbsInto(0, nullptr, &probsPrior, iBest, tm.m, 0, tm.dt, 0);
    tm.AddFeature(0, tm.AllData(0), {0, 0, 1, 0, 0}, 1000.0); // V's score underflows
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 1, 0}, 1000.0); // and N's
    TagProbs probs{};
    EXPECT_EQ(kProbsFired, GetTagProbsInto(0, nullptr, &probs, iBest, tm.m, 0, tm.dt, 0));
    EXPECT_EQ(probsPrior['N'], probs['N']);
    EXPECT_EQ(probsPrior['V'], probs['V']);
    EXPECT_EQ('N', iBest);
}

TEST_F(TagProbsTest, UnknownModeIsFatal) {
    EXPECT_FATAL(GetTagProbsInto(4, nullptr, nullptr, iBest, tm.m, 0, tm.dt, 0), 18032,
                 "unknown mode 4");
}

} // namespace
} // namespace vexta
