// Driver start-up: the built program run on small argument files (messages
// and exit statuses), and the accepted parameters checked in-process.
#include "app/driver.h"
#include "app/globals.h"
#include "base/ux_arg.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vexta {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct RunResult {
    int iStatus = -1; // exit status as the shell sees it
    std::string szErr;
};

class DriverTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vexta_driver_" + std::string(pInfo->name()) + "_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        ux_ArgClose();
    }
    void TearDown() override {
        ux_ArgClose();
        fs::remove_all(dir_);
    }

    std::string Write(const std::string& szName, std::string_view szText) {
        std::ofstream((dir_ / szName).string(), std::ios::binary) << szText;
        return (dir_ / szName).string();
    }

    // Runs the program in the scratch directory with the given command-line
    // words (already quoted for the shell).
    RunResult Run(const std::string& szWords) {
        const std::string szCmd =
            "cd '" + dir_.string() + "' && '" VEXTA_BINARY "' " + szWords + " >out.txt 2>err.txt";
        const int rc = std::system(szCmd.c_str());
        RunResult res;
        if (rc != -1 && WIFEXITED(rc)) res.iStatus = WEXITSTATUS(rc);
        res.szErr = ReadFile(dir_ / "err.txt");
        return res;
    }
    // Writes a.args and runs the program on it.
    RunResult RunArgs(std::string_view szText) {
        Write("a.args", szText);
        return Run("a.args");
    }

    fs::path dir_;
};

// Start-up keys that pass, with one of them replaced or left out.
std::string Args(const std::string& szKey = "", const std::string& szLine = "") {
    const std::vector<std::pair<std::string, std::string>> rgDefault = {
        {"Mode", "Mode = Test"},
        {"TagMode", "TagMode = VTC"},
        {"TagElemMax", "TagElemMax = 4"},
        {"Beam", "Beam = 5"},
        {"RawExpWeight", "RawExpWeight = 0.9"},
    };
    std::string sz;
    for (const auto& [szName, szDefault] : rgDefault)
        sz += (szName == szKey ? szLine : szDefault) + "\n";
    return sz;
}

constexpr int kApp = 18032 & 255;
const std::string kBin = VEXTA_BINARY;

TEST_F(DriverTest, CommandLine) {
    auto res = Run("");
    EXPECT_EQ(res.iStatus, 1);
    EXPECT_EQ(res.szErr, kBin + ": usage: " + kBin + " <argfile> > <output>\n");

    res = Run("missing.args");
    EXPECT_EQ(res.iStatus, 13010 & 255);
    EXPECT_EQ(res.szErr, "ux_base: Fatal(13010): Cannot open input file: missing.args\n");
}

TEST_F(DriverTest, ModeAndTagMode) {
    const std::vector<std::tuple<std::string, std::string, int, std::string>> rgCase = {
        {"Mode", "", 39, ": GetValue Mode failed\n"},
        {"Mode", "Mode = train", 38, ": wrong Mode: train\n"},
        {"Mode", "Mode = 'Train '", 38, ": wrong Mode: Train \n"},
        {"Mode", "Mode = TrainX", 38, ": wrong Mode: TrainX\n"},
        {"TagMode", "", 139, ": GetValue TagMode failed\n"},
        {"TagMode", "TagMode = vtc", 817 & 255, ": unknown tag mode vtc: code 817\n"},
    };
    for (const auto& [szKey, szLine, iStatus, szMsg] : rgCase) {
        const auto res = RunArgs(Args(szKey, szLine));
        EXPECT_EQ(res.iStatus, iStatus) << szLine;
        EXPECT_EQ(res.szErr, kBin + szMsg) << szLine;
    }
}

TEST_F(DriverTest, NumericParameters) {
    const std::string szFatal = "App: Fatal(18032): tag: " + kBin;
    const std::vector<std::tuple<std::string, std::string, int, std::string>> rgCase = {
        {"TagElemMax", "", kApp, szFatal + ": GetValue TagElemMax failed\n\n"},
        {"TagElemMax", "TagElemMax = 32", kApp,
         szFatal + "TagElemMax out of bounds <1..31>: 32\n\n"},
        {"TagElemMax", "TagElemMax = 0", kApp, szFatal + "TagElemMax out of bounds <1..31>: 0\n\n"},
        {"TagElemMax", "TagElemMax = four", kApp,
         szFatal + "TagElemMax out of bounds <1..31>: 0\n\n"},
        {"Beam", "Beam = 127", kApp, szFatal + "Beam out of bounds <1..126>: 127\n\n"},
        {"Beam", "Beam = 0", kApp, szFatal + "Beam out of bounds <1..126>: 0\n\n"},
        {"Beam", "", kApp, szFatal + ": GetValue Beam failed\n\n"},
        {"RawExpWeight", "", 530 & 255, kBin + ": GetValue RawExpWeight failed\n"},
        {"RawExpWeight", "RawExpWeight = 1", 531 & 255,
         kBin + ": Wrong RawExpWeight <0.000000001..0.999999999>: 1\n"},
        {"RawExpWeight", "RawExpWeight = 0", 531 & 255,
         kBin + ": Wrong RawExpWeight <0.000000001..0.999999999>: 0\n"},
        {"RawExpWeight", "RawExpWeight = nan", 531 & 255,
         kBin + ": Wrong RawExpWeight <0.000000001..0.999999999>: nan\n"},
    };
    for (const auto& [szKey, szLine, iStatus, szMsg] : rgCase) {
        const auto res = RunArgs(Args(szKey, szLine));
        EXPECT_EQ(res.iStatus, iStatus) << szLine;
        EXPECT_EQ(res.szErr, szMsg) << szLine;
    }
}

TEST_F(DriverTest, LogAndTraceFiles) {
    Write("run.log", "old contents\n");
    auto res = RunArgs("LogFile = run.log\n" + Args("TagMode", "TagMode = vtc"));
    EXPECT_EQ(res.iStatus, 817 & 255);
    EXPECT_EQ(res.szErr, "");
    EXPECT_EQ(ReadFile(dir_ / "run.log"), kBin + ": unknown tag mode vtc: code 817\n");

    res = RunArgs("LogFile =\n" + Args());
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_EQ(res.szErr, "App: Fatal(18032): tag: vextaCannot open output log file \n\n");

    res = RunArgs("InputAC = no/such/dir/trace\n" + Args("Mode", ""));
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_EQ(
        res.szErr,
        "App: Fatal(18032): tag: vextaCannot open output \"InputAC\" file no/such/dir/trace\n\n");

    res = RunArgs("InputAC = trace.txt\n" + Args("Mode", ""));
    EXPECT_EQ(res.iStatus, 39);
    EXPECT_TRUE(fs::exists(dir_ / "trace.txt"));
}

TEST_F(DriverTest, ArgumentFileSyntaxReachesTheDriver) {
    // The rejected TagMode shows the value the argument file produced.
    Write("common.args", "Kind = 'V T'\nTagElemMax = 4\n");
    auto res = RunArgs("#include common.args\n"
                       "# comment\n" +
                       Args("TagMode", "TagMode = ${Kind}\\\n   C"));
    EXPECT_EQ(res.iStatus, 817 & 255);
    EXPECT_EQ(res.szErr, kBin + ": unknown tag mode V T\x06"
                                "C: code 817\n");

    // Standard input as the argument file; further words are ignored.
    Write("b.args", Args("Mode", "Mode = Tagging"));
    res = Run("stdin ignored < b.args");
    EXPECT_EQ(res.iStatus, 38);
    EXPECT_EQ(res.szErr, kBin + ": wrong Mode: Tagging\n");

    res = RunArgs("Mode = ${Undefined}\n");
    EXPECT_EQ(res.iStatus, 39);
    res = RunArgs("Mode Test\n");
    EXPECT_EQ(res.iStatus, 16025 & 255);
    EXPECT_EQ(res.szErr,
              "ux_arg: Fatal(16025): Parse error at line 1 of file(par) a.args (no = after attr "
              "name Mode Test)\n");
}

TEST_F(DriverTest, AcceptedParametersAreKept) {
    const std::vector<std::pair<std::string, int>> rgMode = {
        {"Train", kModeTrain},         {"Test", kModeTest},         {"Tag", kModeTag},
        {"TagDebug", kModeTagDebug},   {"TrainOut", kModeTrainOut}, {"TestOut", kModeTestOut},
        {"TestDebug", kModeTestDebug},
    };
    std::string szArgFile =
        Write("a.args", "TaggerID = my tagger\nTagMode = Separate\nTagElemMax = 31\nBeam = 126\n");
    for (const auto& [szMode, fMode] : rgMode) {
        for (const std::string szWeight : {"0.000000001", "0.999999999"}) {
            ux_ArgClose();
            std::ofstream(szArgFile, std::ios::app)
                << "Mode = " << szMode << "\nRawExpWeight = " << szWeight << "\n";
            fDebug3 = 7;
            std::vector<char*> rgszArgv = {const_cast<char*>("prog"), szArgFile.data()};
            DriverStartUp(rgszArgv);
            EXPECT_EQ(fProgMode, fMode);
            EXPECT_EQ(szPN, "prog");
            EXPECT_EQ(fDebug3, -1);
            EXPECT_EQ(szTaggerID, "my\x06tagger");
            EXPECT_EQ(szTagMode, "Separate");
            EXPECT_EQ(cTagElem, 31);
            EXPECT_EQ(cBeam, 126);
            EXPECT_EQ(dRawExpWeight, std::stod(szWeight));
            EXPECT_EQ(szLogFile, "");
            EXPECT_EQ(fInputAC, nullptr);
        }
    }
}

TEST(DriverNumbers, ScanLikeFormattedInput) {
    const std::vector<std::pair<std::string, int>> rgCase = {{" \t15abc", 15},
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

TEST(DriverFinish, StartDoneAndDurationLines) {
    szPN = "prog";
    const std::time_t tStart = 1700000000;
    for (const auto& [lSeconds, szDuration] :
         std::vector<std::pair<long, std::string>>{{59, "0:00:00"},
                                                   {86400 + 3600 + 60 + 1, "1:01:01"},
                                                   {3 * 86400 + 23 * 3600 + 59 * 60, "3:23:59"}}) {
        std::FILE* pf = std::tmpfile();
        ASSERT_NE(pf, nullptr);
        PrintFinishLines(pf, tStart, tStart + lSeconds);
        std::rewind(pf);
        char rgch[512] = "";
        const std::size_t cb = std::fread(rgch, 1, sizeof rgch - 1, pf);
        std::fclose(pf);
        const std::string sz(rgch, cb);
        EXPECT_TRUE(testing::internal::RE::FullMatch(
            sz, testing::internal::RE("prog: start [A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] "
                                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n"
                                      "prog: done  .{24}\n"
                                      "prog: duration: \\(days:hours:minutes\\) " +
                                      szDuration + "\\.\n")))
            << sz;
    }
}

} // namespace
} // namespace vexta
