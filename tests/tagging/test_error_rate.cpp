// Separate tagging with its output and error counts, the per-class passes
// of training, and the error-rate line.
#include <gtest/gtest.h>

#include <string>

#include "features/tag_probs.h"
#include "tagging/error_rate.h"
#include "test_model_util.h"
#include "test_util.h"

namespace vexta {
namespace {

using test::Contains;
using test::TinyModel;

// Four tag elements; element 3 (values N and V) is decided by the prior,
// which prefers V, while the true value is N.
TEST(ErrorRateData, SeparateAndTrueContextPasses) {
    TinyModel tm(4);
    for (int t = 0; t < 4; ++t) tm.SetClasses(t, "ABCNV", {});
    tm.m.rgteTagElem[3].rgclSubtagCnt['V'] = 10;
    tm.m.rgteTagElem[3].rgclSubtagCnt['N'] = 1;
    tm.SetLines({"ABCN|A/B/C/NV/|w|w|>ABCN/ABCV/", "ABCV|A/B/C/NV/|w|w|>ABCN/ABCV/"});
    const auto Run = [&](int (*pfnPass)(DataTable&, Model&, int), int iLevel) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(0, pfnPass(tm.dt, tm.m, iLevel));
        return testing::internal::GetCapturedStdout();
    };
    const std::string szLine = "ABCV|A/B/C/NV/|w|w|>ABCN/ABCV/";

    // With the true tags as context: no tags stored, every wrong element
    // makes the line count, and the diagnostic of element fDebug3.
    tm.m.trace.fDebug3 = 3;
    const std::string szDiag = test::Stderr([&] { EXPECT_EQ("", Run(ErrorRateData, 0)); });
    tm.m.trace.fDebug3 = -1;
    EXPECT_EQ(1, tm.m.clErr);
    EXPECT_EQ('\0', tm.dt.rgpszTagOut[0][0]);
    EXPECT_TRUE(Contains(szDiag, "best tag: tagelem/AC 3/NV, best = V(true N)"));
    EXPECT_TRUE(Contains(szDiag, "`+1: ABCV|") && !Contains(szDiag, "`-1:"));
    EXPECT_EQ(0, tm.m.trace.fDebug4 + tm.m.trace.fDebug5);

    // Separate tagging: only elements marked "+" make a line count.
    EXPECT_EQ(szLine + "\n" + szLine + "\n", Run(ErrorRateDataSeparate, 1));
    EXPECT_STREQ("ABCV", tm.dt.rgpszTagOut[0].data());
    EXPECT_EQ(1, tm.m.rgteTagElem[3].clErrTagElem);
    EXPECT_EQ(0, tm.m.clErr);
    EXPECT_EQ(szLine + " Err: Correct = \n" + szLine + " Err: Correct = \n",
              Run(ErrorRateDataSeparate, 101));
    tm.m.rgteTagElem[3].fSignPlus = 1;
    EXPECT_EQ(szLine + " Err: Correct =  3(N)\n" + szLine + " Err: Correct = \n",
              Run(ErrorRateDataSeparate, 101));
    EXPECT_EQ(1, tm.m.clErr);
    EXPECT_EQ("", Run(ErrorRateDataSeparate, 0));
}

TEST(SeparateContext, LinesToTheLeftAreSeenWithTheChosenTags) {
    TinyModel tm(1);
    tm.SetClasses(0, "NV", {});
    tm.m.rgteTagElem[0].rgclSubtagCnt['V'] = 10;
    tm.SetLines({"N|NV/|a|a|>N/V/", "V|NV/|b|b|>N/V/"});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 99, 1}, 2.0, {tm.Term(-1, 0, "V")});
    EXPECT_EQ(0, ErrorRateDataSeparate(tm.dt, tm.m, 0));
    EXPECT_EQ('V', tm.dt.rgpszTagOut[0][0]);
    EXPECT_EQ('N', tm.dt.rgpszTagOut[1][0]) << "its own V on the left";
    EXPECT_EQ(0, ErrorRateData(tm.dt, tm.m, 0));
    EXPECT_EQ(1, tm.m.rgteTagElem[0].clErrTagElem) << "the true N on the left";
}

TEST(PrintErrorRate, Format) {
    TinyModel tm(2);
    EXPECT_EQ(test::Stderr([&] {
                  PrintErrorRate(tm.m, "vexta", "msg", 5, 100, 120, -1);
                  PrintErrorRate(tm.m, "vexta", "e:", 0, 0, 0, 1);
                  PrintErrorRate(tm.m, "vexta", "e:", 1, 2, 4, 5);
              }),
              "vexta: msg  5.00:  4.17 (5/100:120), flat\n"
              "vexta: e:101.00:101.00 (0/0:0), cat 1 (SubTag2)\n"
              "vexta: e: 50.00: 25.00 (1/2:4), cat 5 (?\?\?)\n");
}

// Class NV of one tag element: the prior prefers N on every line.
void BuildClassNV(TinyModel& tm) {
    tm.SetClasses(0, "NV", {"NV"});
    tm.m.rgteTagElem[0].rgclSubtagCnt['N'] = 10;
    tm.SetLines({"N|NV/|a|a|>N/V/", "V|NV/|a|a|>N/V/", "N|N/|a|a|>N/", "N|NV/|a|a|>N/V/",
                 "V|NV/|a|a|>N/V/"});
    tm.ChainClasses(0);
}

TEST(ErrorRateAmbClass, HeavySmoothingDecidesWhetherThePriorCounts) {
    TinyModel tm(1);
    BuildClassNV(tm);
    AmbClass& ac = tm.Class(0, "NV");
    EXPECT_EQ(0, ErrorRateAmbClass(tm.dt, tm.m, ac, 0));
    EXPECT_EQ(4, ac.clErrAmbClass) << "no feature fired on any line";
    tm.m.iHeavySmoothing = 1;
    EXPECT_EQ(kProbsNoFeature, ErrorRateAmbClass(tm.dt, tm.m, ac, 0));
    EXPECT_EQ(2, ac.clErrAmbClass);
    EXPECT_EQ((std::vector<unsigned char>{0, 1, 0, 0, 1, 0}), tm.dt.rgrgfErr[0]);

    // The all-data class visits every stored line, ignoring its chain.
    tm.AllData(0).ilDataFirst = -1;
    tm.m.iHeavySmoothing = 0;
    tm.dt.rgrgfErr[0][2] = 1;
    ErrorRateAmbClass(tm.dt, tm.m, tm.AllData(0), 0);
    EXPECT_EQ(4, tm.AllData(0).clErrAmbClass);
    EXPECT_EQ(0, tm.dt.rgrgfErr[0][2]) << "the single-value line is right";
}

TEST(ErrorRateAmbClassFeature, TrialCountsNewErrorsAndCorrections) {
    TinyModel tm(1);
    BuildClassNV(tm);
    AmbClass& ac = tm.Class(0, "NV");
    tm.AddFeature(0, ac, {1, 99}, 2.0); // the candidate: V everywhere
    tm.dt.rgilNextFeature[0] = {1, 3, -1, 4, -1};
    tm.dt.rgrgfErr[0] = {0, 1, 0, 1, 1, 0};
    ac.clErrBefore = 5;
    tm.m.trace.fDebug8 = 1;
    const std::string szTrace =
        test::Stderr([&] { EXPECT_EQ(0, ErrorRateAmbClassFeature(tm.dt, tm.m, ac, 0, 0)); });
    tm.m.trace.fDebug8 = 0;
    EXPECT_EQ(4, ac.clErrAmbClass) << "5 + 1 new - 2 corrected";
    EXPECT_EQ((std::vector<unsigned char>{0, 1, 0, 1, 1, 0}), tm.dt.rgrgfErr[0]);
    EXPECT_TRUE(Contains(szTrace, "ERACF: bef: 5, new: 1, corr 2, err now: 4, dt chk 4\n"));
}

} // namespace
} // namespace vexta
