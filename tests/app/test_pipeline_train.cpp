// The training pipeline run as the built program: a model trained on the
// Velan example corpus is written identically twice and then used by test
// and tag runs; models and logs are the same for any number of threads;
// failing phases end with their statuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "test_util.h"

namespace {

using vexta::test::ReadFile;

class TrainRunFixture : public ::testing::Test {
protected:
    std::string Path(std::string_view szName) const { return dir_.Path(szName); }

    // An argument file that includes the example file szExample (relative to
    // the project root) and then overrides with szExtra.
    std::string Args(std::string_view szName, std::string_view szExample,
                     std::string_view szExtra) const {
        return dir_.Write(szName,
                          "#include " + std::string(szExample) + "\n" + std::string(szExtra));
    }

    // Runs the program in the project root (the examples name their files
    // relative to it); returns its exit status and keeps its output.
    int Run(const std::string& szArgFile) {
        const vexta::test::RunResult res =
            vexta::test::RunProgram(VEXTA_SOURCE_DIR, "'" + szArgFile + "'");
        szOut_ = res.szOut;
        szErr_ = res.szErr;
        EXPECT_FALSE(vexta::test::Contains(szErr_, "not in the key table")) << szErr_;
        return res.iStatus;
    }

    vexta::test::TempDir dir_;
    std::string szOut_;
    std::string szErr_;
};

TEST_F(TrainRunFixture, TrainsTheExampleIdenticallyTwiceThenTestsAndTagsWithIt) {
    const std::string szModel = Path("velan.model");
    ASSERT_EQ(Run(Args("train.args", "examples/velan-train.args", "Features = " + szModel + "\n")),
              0)
        << szErr_;
    // The run ends with the heading, the model writer and the finish lines.
    const std::size_t iHeading = szErr_.find("training data error:\n");
    const std::size_t iFinal = szErr_.find("final training data error:");
    const std::size_t iTest = szErr_.find("\ntest data error:\n");
    ASSERT_NE(iHeading, std::string::npos);
    ASSERT_NE(iFinal, std::string::npos);
    ASSERT_NE(iTest, std::string::npos) << szErr_;
    EXPECT_LT(iFinal, iTest);
    const std::string szTail = szErr_.substr(iTest + 1);
    EXPECT_EQ(szTail.rfind("test data error:\n", 0), 0u);
    EXPECT_NE(szTail.find("writing model to file " + szModel), std::string::npos) << szTail;
    EXPECT_NE(szTail.find(": start "), std::string::npos);
    EXPECT_NE(szTail.find(": duration: (days:hours:minutes) "), std::string::npos);
    EXPECT_NE(szErr_.find("init training data error:"), std::string::npos);
    EXPECT_NE(szErr_.find("tr 03 "), std::string::npos);
    const std::string szFirst = ReadFile(szModel);
    ASSERT_FALSE(szFirst.empty());

    // The model file names itself, so the second run writes to the same path.
    ASSERT_EQ(Run(Args("train.args", "examples/velan-train.args", "Features = " + szModel + "\n")),
              0);
    EXPECT_TRUE(ReadFile(szModel) == szFirst) << "two trainings wrote different model files";

    ASSERT_EQ(Run(Args("test.args", "examples/velan-test.args", "Features = " + szModel + "\n")), 0)
        << szErr_;
    EXPECT_NE(szErr_.find("final test data error:"), std::string::npos) << szErr_;

    ASSERT_EQ(Run(Args("tag.args", "examples/velan-tag.args", "Features = " + szModel + "\n")), 0)
        << szErr_;
    EXPECT_NE(szOut_.find("<MDt src=\"velan\">"), std::string::npos);
    EXPECT_NE(szOut_.find("<doc id=\"test\">"), std::string::npos);
}

// A corpus of five tag positions where each mostly repeats its value at the
// token before; the analyser allows both values A and B everywhere, so every
// position has errors that a feature on the left neighbour removes.
// Documents part0..part2 hold cSentences, then a tenth of that twice; the
// segment keys for them are added to szKeys.
std::string RepeatingCorpus(int cSentences, std::string& szKeys) {
    unsigned u = 20261207;
    const auto Next = [&u] {
        u = u * 1103515245u + 12345u;
        return (u >> 16) & 0x7fffu;
    };
    std::string sz = "<csts>\n";
    long clLines = 0;
    std::string szTag = "AAAAA";
    for (const int d : {0, 1, 2}) {
        const long ilStart = clLines;
        sz += "<doc id=\"part" + std::to_string(d) + "\">\n";
        for (int s = 0; s < (d == 0 ? cSentences : cSentences / 10); ++s) {
            sz += "<s id=\"s" + std::to_string(s) + "\">\n";
            ++clLines;
            for (unsigned n = 4 + Next() % 6; n > 0; --n, ++clLines) {
                std::string szOther = szTag;
                for (std::size_t p = 0; p < szTag.size(); ++p) {
                    if (Next() % 10 < 3) szTag[p] = "AB"[Next() % 2];
                    szOther[p] = szTag[p] == 'A' ? 'B' : 'A';
                }
                const std::string szForm = std::string(1, 'w').append(std::to_string(Next() % 30));
                sz += "<f>" + szForm + "<l>" + szForm + "<t>" + szTag + "<MMl>" + szForm + "<MMt>" +
                      szTag + "<MMt>" + szOther + "\n";
            }
        }
        sz += "</doc>\n";
        const std::string szSeg = d == 0 ? "Train" : d == 1 ? "Heldout" : "Test";
        szKeys += szSeg + "Start = " + std::to_string(ilStart) + "\n" + szSeg +
                  "Lines = " + std::to_string(clLines - ilStart) + "\n";
    }
    return sz + "</csts>\n";
}

// The log without the lines that tell the time, and the progress lines
// without their seconds.
std::string LogWithoutTimes(const std::string& szErr) {
    std::string szLog;
    std::istringstream in(szErr);
    for (std::string szLine; std::getline(in, szLine);) {
        if (szLine.find(": start ") != std::string::npos ||
            szLine.find(": done ") != std::string::npos ||
            szLine.find(": duration: ") != std::string::npos)
            continue;
        if (szLine.starts_with("Progress: ")) szLine.erase(szLine.rfind(", "));
        szLog += szLine;
        szLog += '\n';
    }
    return szLog;
}

TEST_F(TrainRunFixture, ModelsAndLogsAreTheSameForAnyNumberOfThreads) {
    std::string szRepeating = "TagElemMax = 5\nSubTag5 = +E5\nSentTag = Z#---\n";
    szRepeating += "InData = " + dir_.Write("rep.csts", RepeatingCorpus(300, szRepeating)) + "\n";
    const struct {
        std::string szKeys;
        int cElems; // tag elements that must gain features
    } rgCase[] = {
        {"", 4},
        // Generation stops at the limit: where, only a run over all lines knows.
        {"MaxFeaturesGenerate = 5000\nTrainingIterationsMax = 1\n", 4},
        // The weights are varied along the features' line links.
        {"LambdaIterations = 1\n", 4},
        {szRepeating, 5},
    };
    for (const auto& c : rgCase) {
        std::string szModelFirst;
        std::string szLogFirst;
        for (const int cThreads : {1, 2, 4}) {
            SCOPED_TRACE(c.szKeys + "Threads = " + std::to_string(cThreads));
            const std::string szModel = Path("threads.model");
            ASSERT_EQ(Run(Args("train.args", "examples/velan-train.args",
                               c.szKeys + "Threads = " + std::to_string(cThreads) +
                                   "\nFeatures = " + szModel + "\n")),
                      0)
                << szErr_;
            const std::string szLog = LogWithoutTimes(szErr_);
            if (cThreads > 1) {
                EXPECT_TRUE(ReadFile(szModel) == szModelFirst);
                EXPECT_TRUE(szLog == szLogFirst);
                continue;
            }
            szModelFirst = ReadFile(szModel);
            szLogFirst = szLog;
            // Every tag element gains features ("<n>: @<element>/...").
            for (int t = 0; t < c.cElems; ++t) {
                EXPECT_NE(szLog.find(">: @" + std::to_string(t) + "/"), std::string::npos)
                    << "no feature for tag element " << t;
            }
        }
    }
}

TEST_F(TrainRunFixture, ATrainingSegmentOfOneLineStillTrainsWithLambdaVariation) {
    // One stored line: no second line to show, and no line to vary weights on.
    ASSERT_EQ(
        Run(Args("one.args", "examples/velan-train.args",
                 "Features = " + Path("one.model") + "\nTrainLines = 1\nLambdaIterations = 1\n")),
        0)
        << szErr_;
    EXPECT_NE(szErr_.find("pszDataLine Z#--|Z/#/-/-/|###|###|>Z#--/;\npszDataLine ;\n"),
              std::string::npos)
        << szErr_;
    EXPECT_NE(szErr_.find("Varying lambdas: iteration 0 ^^^^^^^\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(Path("one.model")));
}

TEST_F(TrainRunFixture, EmptyResultsAreWarnedNamingTheKeys) {
    // With FeatureMode = Read the global Models etc. are not read: a pool
    // that loads nothing trains nothing, and says which keys would help.
    dir_.Write("empty.pool", "");
    ASSERT_EQ(Run(Args("read.args", "examples/velan-train.args",
                       "Features = " + Path("r.model") + "\nFeatureMode = Read\nFeatureSugg = " +
                           Path("empty.pool") + "\nTrainingIterationsMax = 1\n")),
              0);
    EXPECT_NE(szErr_.find("features pool size: 0\n" + std::string(VEXTA_BINARY) +
                          ": warning: the feature pool of iteration 0 is empty"),
              std::string::npos)
        << szErr_;
    EXPECT_NE(szErr_.find("(Models0, UseInFeatures0, SortSuggestions0)"), std::string::npos);

    // An input whose every line is skipped.
    dir_.Write("null.txt", "|a|b\n|c|d\n");
    EXPECT_EQ(Run(Args("null.args", "examples/velan-train.args",
                       "Features = " + Path("n.model") + "\nInData = " + Path("null.txt") +
                           "\nInputFormat = line\n")),
              1);
    EXPECT_NE(szErr_.find("warning: all 2 lines of " + Path("null.txt") +
                          " were skipped as null data lines"),
              std::string::npos)
        << szErr_;
    EXPECT_NE(szErr_.find("InData holds no data line (no sentence), but the Train segment"),
              std::string::npos);
}

TEST_F(TrainRunFixture, FailingPhasesEndWithTheirStatuses) {
    const std::string szModel = "Features = " + Path("x.model") + "\n";
    // Input that cannot be opened.
    EXPECT_EQ(Run(Args("nodata.args", "examples/velan-train.args",
                       szModel + "InData = " + Path("missing.csts") + "\n")),
              1);
    EXPECT_NE(szErr_.find("cannot read input data (32)"), std::string::npos) << szErr_;

    // Codes of the data reader come after a line in the user's terms.
    const std::pair<std::string, std::string> rgSegments[] = {
        {"HeldoutStart = 4000\n", "the Heldout (lines 4000..4622) segment overlaps the Train "
                                  "(lines 0..4021) segment: segments must not share lines\n"},
        {"TrainStart = 6000\nTrainLines = 10\n",
         "InData holds 5254 data lines, but the Train segment (lines 6000..6009) ends past it: "
         "check TrainStart and TrainLines\n"},
        {"HeldoutStart = 2111222111\nHeldoutStart = ${nothing}\n",
         "the Heldout segment is required: set HeldoutStart and HeldoutLines"},
    };
    for (const auto& [szKeys, szLine] : rgSegments) {
        EXPECT_EQ(Run(Args("seg.args", "examples/velan-train.args", szModel + szKeys)), 1);
        EXPECT_NE(szErr_.find(szLine), std::string::npos) << szErr_;
    }

    // A thread count out of bounds ends the run before the data is read.
    EXPECT_EQ(Run(Args("threads.args", "examples/velan-train.args", szModel + "Threads = -1\n")),
              18032 % 256);
    EXPECT_NE(szErr_.find("Threads out of bounds <0..1024>: -1"), std::string::npos) << szErr_;

    // A set-up key with a wrong value.
    EXPECT_EQ(
        Run(Args("mode.args", "examples/velan-train.args", szModel + "FeatureMode = Guess\n")), 14);
    EXPECT_NE(szErr_.find("cannot init amb classes: code 972"), std::string::npos) << szErr_;

    // A pool file with a line of six terms (class FM of GENDER exists).
    dir_.Write("bad.pool",
               "3 01 FM 06__ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_ffff7e__I_\n");
    EXPECT_EQ(Run(Args("pool.args", "examples/velan-train.args",
                       szModel + "FeatureMode = Read\nFeatureSugg = " + Path("bad.pool") +
                           "\nSortSuggestions0 = Count\nModels0 = AC\n")),
              19);
    EXPECT_NE(szErr_.find("cannot read feature pool: code 3302"), std::string::npos) << szErr_;
    EXPECT_FALSE(std::filesystem::exists(Path("x.model")));
}

} // namespace
