// Error counts kept line by line during training: the class counts of
// selection and the per-element counts after it equal full recounts.

#include <gtest/gtest.h>

#include <string>

#include "features/pool_file.h"
#include "tagging/error_rate.h"
#include "test_model_util.h"
#include "training/element_errors.h"
#include "training/train_model.h"

namespace vexta {
namespace {

using test::SawLines;
using test::TrainingArgs;
using test::TrainingSetup;

// "I" fixes every verb "saw"; "saw" and "the" are turned down.
constexpr const char* kPool = "9 00 NV 01__00ff7e__saw_\n"
                              "6 00 NV 01__ffff7e__the_\n"
                              "3 00 NV 01__ffff7e__I_\n";

TEST(KeptErrors, EqualRecountsThroughSelectionAndCatchAStaleFlag) {
    TrainingSetup s(1);
    const std::string szPool = s.dir.Write("pool.txt", kPool);
    s.InitTraining(SawLines(6, 3), TrainingArgs(szPool, "MultiPass = yes\n"));
    ElementErrors errors;
    ASSERT_EQ(errors.Update(s.dtT, s.m, 0), 0); // the first use counts every element
    EXPECT_EQ(s.m.rgteTagElem[0].clErrTagElem, 3);
    errors.NoteClasses(s.m, 0);

    InstallIterationParams(s.m, s.m.rgipFG[0]);
    ASSERT_LE(test::Stderr([&] { EXPECT_LE(ReadFeaturesPool(&s.m), 0); }).find("Fatal"),
              std::string::npos);
    SelectionWork work;
    work.fCheckErrors = true; // a kept count that differs from a recount ends the run
    int iRes = -1;
    const std::string szErr =
        test::Stderr([&] { iRes = SelectFeatures(s.dtT, s.dtH, s.m, 0, 0, work); });
    ASSERT_EQ(iRes, 0) << szErr;
    ASSERT_EQ(s.Chain(s.Class(0, "NV")).size(), 1u) << szErr;
    // Later passes take the kept count of the class.
    EXPECT_NE(szErr.find("err rate: NV: 0, thr 2\n"), std::string::npos) << szErr;
    EXPECT_TRUE(work.classErrors.MatchesRecount(s.dtT, s.m, 0));

    // Only the lines of the class that gained a feature are decided again.
    ASSERT_EQ(errors.Update(s.dtT, s.m, 0), 0);
    EXPECT_TRUE(errors.MatchesRecount(s.dtT, s.m, 0));
    const long clErr = s.m.clErr;
    ASSERT_LE(ErrorRateData(s.dtT, s.m, 0), 0);
    EXPECT_EQ(s.m.clErr, clErr);
    EXPECT_EQ(s.m.rgteTagElem[0].clErrTagElem, 0);

    // A flag that no longer matches its line is caught.
    s.dtT.rgrgfErr[0][1] ^= 1;
    EXPECT_FALSE(work.classErrors.MatchesRecount(s.dtT, s.m, 0));
}

} // namespace
} // namespace vexta
