// Driver start-up: the built program run on small argument files (messages
// and exit statuses), and the accepted parameters checked in-process.
#include "app/driver.h"
#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "test_util.h"

namespace vexta {
namespace {

// Start-up keys that pass, with the line of szKey replaced by szLine.
std::string Args(const std::string& szKey = "", const std::string& szLine = "") {
    std::string sz = "Mode = Test\nTagMode = VTC\nTagElemMax = 4\nBeam = 5\nRawExpWeight = 0.9\n";
    if (const std::size_t i = sz.find(szKey + " ="); !szKey.empty())
        sz.replace(i, sz.find('\n', i) - i, szLine);
    return sz;
}

constexpr int kApp = 18032 & 255;
const std::string kBin = VEXTA_BINARY;

TEST(Driver, StartUpFailuresEndWithTheirStatusAndMessage) {
    test::TempDir dir;
    auto res = test::RunProgram(dir.Path(), "");
    EXPECT_EQ(res.iStatus, 1);
    EXPECT_EQ(res.szErr, kBin + ": usage: " + kBin + " <argfile> > <output>\n");
    res = test::RunProgram(dir.Path(), "missing.args");
    EXPECT_EQ(res.iStatus, 13010 & 255);
    EXPECT_EQ(res.szErr, "ux_base: cannot open missing.args: No such file or directory\n"
                         "ux_base: Fatal(13010): Cannot open input file: missing.args\n");

    const std::string szFatal = "App: Fatal(18032): tag: " + kBin;
    const std::string szWeight = kBin + ": Wrong RawExpWeight <0.000000001..0.999999999>: ";
    const std::tuple<std::string, std::string, int, std::string> rgCase[] = {
        {"Mode", "", 39, kBin + ": GetValue Mode failed\n"},
        {"Mode", "Mode = train", 38, kBin + ": wrong Mode: train\n"},
        {"Mode", "Mode = 'Train '", 38, kBin + ": wrong Mode: Train \n"},
        {"Mode", "Mode = TrainX", 38, kBin + ": wrong Mode: TrainX\n"},
        {"TagMode", "", 139, kBin + ": GetValue TagMode failed\n"},
        {"TagMode", "TagMode = vtc", 817 & 255, kBin + ": unknown tag mode vtc: code 817\n"},
        {"TagElemMax", "", kApp, szFatal + ": GetValue TagElemMax failed\n\n"},
        {"TagElemMax", "TagElemMax = 32", kApp,
         szFatal + "TagElemMax out of bounds <1..31>: 32\n\n"},
        {"TagElemMax", "TagElemMax = 0", kApp, szFatal + "TagElemMax out of bounds <1..31>: 0\n\n"},
        {"TagElemMax", "TagElemMax = four", kApp,
         kBin + ": TagElemMax = \"four\" is not a whole number\n" + szFatal +
             "TagElemMax out of bounds <1..31>: 0\n\n"},
        {"Beam", "Beam = 5x", kApp,
         kBin + ": Beam = \"5x\" is not a whole number\n" + szFatal +
             "Beam out of bounds <1..126>: 0\n\n"},
        {"RawExpWeight", "RawExpWeight = 0.5.", 531 & 255,
         kBin + ": RawExpWeight = \"0.5.\" is not a number\n" + szWeight + "0.5.\n"},
        {"Beam", "Beam = 127", kApp, szFatal + "Beam out of bounds <1..126>: 127\n\n"},
        {"Beam", "Beam = 0", kApp, szFatal + "Beam out of bounds <1..126>: 0\n\n"},
        {"Beam", "", kApp, szFatal + ": GetValue Beam failed\n\n"},
        {"RawExpWeight", "", 530 & 255, kBin + ": GetValue RawExpWeight failed\n"},
        {"RawExpWeight", "RawExpWeight = 1", 531 & 255, szWeight + "1\n"},
        {"RawExpWeight", "RawExpWeight = 0", 531 & 255, szWeight + "0\n"},
        {"RawExpWeight", "RawExpWeight = nan", 531 & 255, szWeight + "nan\n"},
    };
    for (const auto& [szKey, szLine, iStatus, szMsg] : rgCase) {
        res = test::RunArgs(dir, Args(szKey, szLine));
        EXPECT_EQ(res.iStatus, iStatus) << szLine;
        EXPECT_EQ(res.szErr, szMsg) << szLine;
    }
}

TEST(Driver, LogAndTraceFiles) {
    test::TempDir dir;
    dir.Write("run.log", "old contents\n");
    auto res = test::RunArgs(dir, "LogFile = run.log\n" + Args("TagMode", "TagMode = vtc"));
    EXPECT_EQ(res.iStatus, 817 & 255);
    EXPECT_EQ(res.szErr, "");
    EXPECT_EQ(dir.Read("run.log"), kBin + ": unknown tag mode vtc: code 817\n");

    res = test::RunArgs(dir, "LogFile =\n" + Args());
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_EQ(res.szErr, kBin + ": cannot open : No such file or directory\n" +
                             "App: Fatal(18032): tag: vextaCannot open output log file \n\n");

    res = test::RunArgs(dir, "InputAC = no/such/dir/trace\n" + Args("Mode", ""));
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_EQ(res.szErr, kBin + ": cannot open no/such/dir/trace: No such file or directory\n" +
                             "App: Fatal(18032): tag: vextaCannot open output \"InputAC\" file "
                             "no/such/dir/trace\n\n");
    res = test::RunArgs(dir, "InputAC = trace.txt\n" + Args("Mode", ""));
    EXPECT_EQ(res.iStatus, 39);
    EXPECT_TRUE(std::filesystem::exists(dir.Path("trace.txt")));
}

TEST(Driver, ArgumentFileSyntaxReachesTheDriver) {
    test::TempDir dir;
    // The rejected TagMode shows the value the argument file produced.
    dir.Write("common.args", "Kind = 'V T'\nTagElemMax = 4\n");
    auto res = test::RunArgs(dir, "#include common.args\n# comment\n" +
                                      Args("TagMode", "TagMode = ${Kind}\\\n   C"));
    EXPECT_EQ(res.iStatus, 817 & 255);
    EXPECT_EQ(res.szErr, kBin + ": unknown tag mode V T\x06"
                                "C: code 817\n");

    // Standard input as the argument file.
    dir.Write("b.args", Args("Mode", "Mode = Tagging"));
    res = test::RunProgram(dir.Path(), "stdin < b.args");
    EXPECT_EQ(res.iStatus, 38);
    EXPECT_EQ(res.szErr, kBin + ": wrong Mode: Tagging\n");

    EXPECT_EQ(test::RunArgs(dir, "Mode = ${Undefined}\n").iStatus, 39);
    res = test::RunArgs(dir, "Mode Test\n", "a.args");
    EXPECT_EQ(res.iStatus, 16025 & 255);
    EXPECT_EQ(res.szErr,
              "ux_arg: Fatal(16025): Parse error at line 1 of file(par) a.args (no = after attr "
              "name Mode Test)\n");
}

TEST(Driver, AcceptedParametersAreKept) {
    test::TempDir dir;
    std::string szArgFile = dir.Write(
        "a.args", "TaggerID = my tagger\nTagMode = Separate\nTagElemMax = 31\nBeam = 126\n");
    const std::pair<std::string, int> rgMode[] = {
        {"Train", kModeTrain},         {"Test", kModeTest},         {"Tag", kModeTag},
        {"TagDebug", kModeTagDebug},   {"TrainOut", kModeTrainOut}, {"TestOut", kModeTestOut},
        {"TestDebug", kModeTestDebug},
    };
    for (const auto& [szMode, fMode] : rgMode) {
        for (const std::string szWeight : {"0.000000001", "0.999999999"}) {
            ux_ArgClose();
            std::ofstream(szArgFile, std::ios::app)
                << "Mode = " << szMode << "\nRawExpWeight = " << szWeight << "\n";
            model.trace.fDebug3 = 7;
            std::vector<char*> rgszArgv = {const_cast<char*>("prog"), szArgFile.data()};
            DriverStartUp(rgszArgv);
            EXPECT_EQ(fProgMode, fMode);
            EXPECT_EQ(dRawExpWeight, std::stod(szWeight));
            EXPECT_EQ(ux_ProgName() + szTaggerID + szTagMode + szLogFile,
                      "progmy\x06taggerSeparate");
            EXPECT_EQ(cTagElem * 1000 + cBeam + model.trace.fDebug3, 31125);
            EXPECT_EQ(fInputAC, nullptr);
        }
    }
    ux_ArgClose();
}

TEST(Driver, NumbersAreScannedLikeFormattedInput) {
    const std::pair<std::string, int> rgCase[] = {{" \t15abc", 15},
                                                  {"+7", 7},
                                                  {"-3", -3},
                                                  {"99999999999999999999", INT_MAX},
                                                  {"-99999999999999999999", INT_MIN},
                                                  {"four", -5},
                                                  {"", -5},
                                                  {"-", -5}};
    for (const auto& [sz, iExpected] : rgCase) {
        int i = -5;
        EXPECT_EQ(ScanInt(sz, i), iExpected != -5) << sz;
        EXPECT_EQ(i, iExpected) << sz;
    }
    double d = 1.0;
    EXPECT_FALSE(ScanDouble("x0.5", d));
    EXPECT_EQ(d, 1.0);
    EXPECT_TRUE(ScanDouble(" 0.95\x06y", d));
    EXPECT_EQ(d, 0.95);
}

TEST(Driver, FinishPrintsStartDoneAndDuration) {
    ux_SetProgName("prog");
    const std::time_t tStart = 1700000000;
    for (const auto& [lSeconds, szDuration] : {std::pair{59L, "0:00:00"},
                                               {86400L + 3600 + 60 + 1, "1:01:01"},
                                               {3 * 86400L + 23 * 3600 + 59 * 60, "3:23:59"}}) {
        char* pBuf = nullptr;
        size_t cb = 0;
        std::FILE* pf = open_memstream(&pBuf, &cb);
        PrintFinishLines(pf, tStart, tStart + lSeconds);
        std::fclose(pf);
        const std::string sz(pBuf, cb);
        std::free(pBuf);
        EXPECT_TRUE(testing::internal::RE::FullMatch(
            sz, testing::internal::RE("prog: start [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
                                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n"
                                      "prog: done  .{24}\n"
                                      "prog: duration: \\(days:hours:minutes\\) " +
                                      std::string(szDuration) + "\\.\n")))
            << sz;
    }
}

} // namespace
} // namespace vexta
