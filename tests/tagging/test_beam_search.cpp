// The beam-search tagger: beam width, ties, the traced-back path, error
// counts and output, and the lines it cannot score normally.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/globals.h"
#include "features/tag_probs.h"
#include "features/tiny_model.h"
#include "tagging/beam_search.h"

namespace vexta {
namespace {

using test::TinyModel;

std::vector<std::string> TagsOut(const TinyModel& tm) {
    std::vector<std::string> rgsz;
    for (long il = 0; il < tm.dt.clData; ++il) rgsz.emplace_back(tm.dt.rgpszTagOut[il].data());
    return rgsz;
}

// Line 0 prefers N slightly; after V, a feature makes A on line 1 very
// likely, so the best whole path is V A although N is better on line 0.
class GreedyTest : public ::testing::Test {
protected:
    void Build(int cBeam) {
        tm.m.cBeam = cBeam;
        tm.SetClasses(0, "NVAB", {});
        TagElem& te = tm.m.rgteTagElem[0];
        te.rgclSubtagCnt['N'] = 6;
        te.rgclSubtagCnt['V'] = 4;
        te.fSignPlus = 1;
        tm.SetLines({"V|NV/|a|a|>N/V/", "A|AB/|b|b|>A/B/", "A|A/|c|c|>A/"});
        tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 99, 1}, 1.0, {tm.Term(-1, 0, "V")});
    }
    int Run(int fTraining = 0) {
        return ErrorRateDataVTC(tm.dt, tm.m, 0, fTraining, 0, tm.dt.clLines, 0, tm.dt.clLines - 1);
    }
    TinyModel tm{1};
};

TEST_F(GreedyTest, WidthOneKeepsOnlyTheBestExtension) {
    Build(1);
    EXPECT_EQ(kProbsSingleValue, Run()) << "the result of the last line's decision";
    EXPECT_EQ((std::vector<std::string>{"N", "A", "A"}), TagsOut(tm));
    EXPECT_EQ(1, tm.m.clErr);
}

TEST_F(GreedyTest, WiderBeamFindsTheBestPathAndRelinksIt) {
    Build(2);
    Run();
    EXPECT_EQ((std::vector<std::string>{"V", "A", "A"}), TagsOut(tm));
    EXPECT_EQ(0, tm.m.clErr);
    for (long il = 0; il < 3; ++il) {
        const BeamLine& bl = tm.dt.rgbeam[il];
        EXPECT_EQ(tm.dt.rgpszTagOut[il], bl.rgve[bl.iBeamBest].pszTag);
    }
    // The chosen items now point forward; the last one nowhere.
    EXPECT_EQ(tm.dt.rgbeam[2].iBeamBest, tm.dt.rgbeam[1].rgve[tm.dt.rgbeam[1].iBeamBest].iBack);
    EXPECT_EQ(-1, tm.dt.rgbeam[2].rgve[tm.dt.rgbeam[2].iBeamBest].iBack);

    // From the links (training flag 1) the feature counts after either tag.
    tm.Link(1, tm.m.rgfdFeatureArea[0]);
    Run(1);
    EXPECT_EQ((std::vector<std::string>{"N", "A", "A"}), TagsOut(tm));
}

TEST_F(GreedyTest, ReusedProbabilitiesEqualRecomputedOnes) {
    Build(3);
    tm.SetLines({"V|NV/|a|a|>N/V/", "A|AB/|b|b|>A/B/", "N|NV/|a|a|>N/V/", "B|AB/|b|b|>A/B/",
                 "A|AB/|d|d|>B/A/"});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 3, 5}, 0.7, {tm.Term(0, 126, "b")});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 1, 4}, 1.3, {tm.Term(-2, 0, "N")});
    const auto Snapshot = [&] {
        std::vector<double> rgd;
        for (long il = 0; il < tm.dt.clData; ++il) {
            const BeamLine& bl = tm.dt.rgbeam[il];
            rgd.push_back(bl.cBeam);
            rgd.push_back(bl.iBeamBest);
            for (int j = 0; j < bl.cBeam; ++j) {
                rgd.insert(rgd.end(), {bl.rgve[j].dProb, double(bl.rgve[j].iBack),
                                       double(bl.rgve[j].pszTag[0])});
            }
        }
        return rgd;
    };
    Run();
    const std::vector<double> rgdReused = Snapshot();
    fDebug2 = 1; // traced calls are never reused
    testing::internal::CaptureStderr();
    Run();
    testing::internal::GetCapturedStderr();
    fDebug2 = 0;
    EXPECT_EQ(rgdReused, Snapshot());
}

TEST(BeamSearch, TiesKeepInputOrderAndASingleCandidateGetsAllTheProbability) {
    TinyModel tm(1, 2);
    tm.SetClasses(0, "NVA", {});
    TagElem& te = tm.m.rgteTagElem[0];
    te.rgclSubtagCnt['N'] = 1000000000001; // N better than V by about 2e-13
    te.rgclSubtagCnt['V'] = 1000000000000;
    tm.SetLines({"A|A/|a|a|>A/", "N|NV/|b|b|>V/N/"});
    ErrorRateDataVTC(tm.dt, tm.m, 0, 0, 0, 2, 0, 1);
    EXPECT_EQ(1, tm.dt.rgbeam[0].cBeam);
    EXPECT_EQ(1.0, tm.dt.rgbeam[0].rgve[0].dProb);
    EXPECT_STREQ("V", tm.dt.rgbeam[1].rgve[0].pszTag.data());
    EXPECT_STREQ("N", tm.dt.rgbeam[1].rgve[1].pszTag.data());
    EXPECT_EQ('V', tm.dt.rgpszTagOut[1][0]);

    te.rgclSubtagCnt['N'] = 3;
    te.rgclSubtagCnt['V'] = 1;
    ErrorRateDataVTC(tm.dt, tm.m, 0, 0, 0, 2, 0, 1);
    EXPECT_STREQ("N", tm.dt.rgbeam[1].rgve[0].pszTag.data());
}

TEST(BeamSearch, OnlyElementsMarkedPlusMakeTheLineCountAndOnlyTheRangeIsWritten) {
    TinyModel tm(2);
    tm.SetClasses(0, "NV", {});
    tm.SetClasses(1, "AB", {});
    tm.m.rgteTagElem[0].rgclSubtagCnt['N'] = 3;
    tm.m.rgteTagElem[1].rgclSubtagCnt['A'] = 3;
    tm.SetLines({"NB|NV/AB/|w|w|>NA/NB/VB/", "NA|NV/AB/|w|w|>NA/VB/"});
    const auto Run = [&] {
        testing::internal::CaptureStdout();
        EXPECT_EQ(kProbsNoFeature, ErrorRateDataVTC(tm.dt, tm.m, 101, 0, 0, 2, 0, 0));
        return testing::internal::GetCapturedStdout();
    };
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/ ErrInfo:\n", Run());
    EXPECT_EQ(1, tm.dt.rgfLineErr[0]);
    EXPECT_EQ(1, tm.dt.rgrgfErr[1][0]);
    EXPECT_EQ(0, tm.dt.rgrgfErr[0][0]);
    EXPECT_EQ(1, tm.m.rgteTagElem[1].clErrTagElem);
    EXPECT_EQ(0, tm.m.clErr);

    tm.m.rgteTagElem[1].fSignPlus = 1;
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/ ErrInfo: 1(B)\n", Run());
    EXPECT_EQ(1, tm.m.clErr);
}

TEST(BeamSearch, PathsOfProbabilityZeroShareEqually) {
    TinyModel tm(1, 2);
    tm.SetClasses(0, "NVXY", {});
    tm.SetLines({"N|NV/|w|w|>X/Y/", "N|NV/|w|w|>N/V/"});
    ErrorRateDataVTC(tm.dt, tm.m, 0, 0, 0, 2, 0, 1);
    EXPECT_EQ(0.5, tm.dt.rgbeam[0].rgve[0].dProb);
    EXPECT_EQ(0.5, tm.dt.rgbeam[0].rgve[1].dProb);
    EXPECT_EQ('X', tm.dt.rgpszTagOut[0][0]);
    EXPECT_FALSE(std::isnan(tm.dt.rgbeam[1].rgve[0].dProb));
}

TEST(BeamSearch, MissingCandidatesAreFatal) {
    TinyModel tm(1);
    tm.SetClasses(0, "NV", {});
    tm.SetLines({"N|NV/|w|w|"});
    EXPECT_EXIT(
        ErrorRateDataVTC(tm.dt, tm.m, 0, 0, 0, 1, 0, 0), testing::ExitedWithCode(18032 & 255),
        "ErrorRateDataVTC: Set of possible tags missing at data line 0: N\\|NV/\\|w\\|w\\|");
}

} // namespace
} // namespace vexta
