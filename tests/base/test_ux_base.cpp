// Message service, log redirection, memory and file wrappers.
#include "base/ux_base.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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

// A scratch directory removed at the end of the test. Death tests re-run the
// test body in a child process, so the name must be the same there: it is
// made from the test's name and the id of the process that runs the test.
class TempDir {
public:
    TempDir() {
        const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        const int idOwner = testing::internal::InDeathTestChild() ? getppid() : getpid();
        path_ = fs::temp_directory_path() /
                ("vexta_base_" + std::string(pInfo->name()) + "_" + std::to_string(idOwner));
        fs::create_directories(path_);
    }
    ~TempDir() {
        if (!testing::internal::InDeathTestChild()) fs::remove_all(path_);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

TEST(Messages, LinesOfWarningsAndLogs) {
    testing::internal::CaptureStderr();
    ux_Warning(kModHash, 34, "key");
    ux_Warning(kModBase, 38, "x");
    ux_Log(kModBase, 12, "4000");
    ux_Log(kModBase, 40, "z");
    ux_LnWarning(kModApp, kMsgApp, 17, "x");
    ux_LnLog(kModApp, kMsgApp, -1, "q");
    ux_LnLog(kModArg, 201, 3, "bad");
    ux_Warning(kModBase, 37, "only detail");
    ux_Warning(42, 12, "1");
    ux_Warning(kModBase, -1, "negative");
    const int rc = ux_Error("prog", "a ", "b", 0);
    EXPECT_EQ(rc, static_cast<int>(std::string("prog: a b\n").size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ux_hash: Warn(17034): Hash table over 80% full; inserting key key\n"
              "ux_base: Warn(13038): undefined code/x\n"
              "ux_base Cannot allocate memory; bytes == 4000\n"
              "ux_base: Log(13040): undefined code/z\n"
              "App: Warn(18032): tag: [ln 17] x\n"
              "App tag: q\n"
              "ux_arg: Log(16201): undefined code/[ln 3] bad\n"
              "ux_base: Warn(13037): only detail\n"
              "Unknown: Warn(52012): Cannot allocate memory; bytes == 1\n"
              "ux_base: Warn(12999): undefined code/negative\n"
              "prog: a b\n");
}

TEST(Messages, DetailMayHoldAnyBytes) {
    const std::string szLong(5000, 'x');
    testing::internal::CaptureStderr();
    ux_LnWarning(kModApp, kMsgApp, 123456789L, szLong);
    ux_Warning(kModApp, kMsgApp, "100% %s %d");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "App: Warn(18032): tag: [ln 123456789] " +
                                                          szLong +
                                                          "\nApp: Warn(18032): tag: 100% %s %d\n");
}

TEST(MessagesDeathTest, FatalErrorsExitWithTheirCode) {
    EXPECT_EXIT(ux_FatalError(kModBase, 12, "4000"), testing::ExitedWithCode(13012 & 255),
                "^ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == 4000\n$");
    EXPECT_EXIT(ux_FatalError(kModArg, 201, "too long result string"),
                testing::ExitedWithCode(16201 & 255),
                "^ux_arg: Fatal\\(16201\\): undefined error/too long result string\n$");
    EXPECT_EXIT(ux_FatalError(kModApp, kMsgApp, "cannot open x"),
                testing::ExitedWithCode(18032 & 255),
                "^App: Fatal\\(18032\\): tag: cannot open x\n$");
    EXPECT_EXIT(ux_LnFatalError(kModArg, 25, 12, "x = "), testing::ExitedWithCode(16025 & 255),
                "^ux_arg: Fatal\\(16025\\): Parse error at line \\[ln 12\\] x = \n$");
    EXPECT_EXIT(ux_LnFatalError(kModHash, 702, -1, "k"), testing::ExitedWithCode(17702 & 255),
                "^ux_hash: Fatal\\(17702\\): undefined error/k\n$");
}

TEST(MessagesDeathTest, ErrorWithStatusExits) {
    EXPECT_EXIT(ux_Error("vexta", "cannot ", "go on", 5), testing::ExitedWithCode(5),
                "^vexta: cannot go on\n$");
}

TEST(MessagesDeathTest, LogRedirectionAppendsAndCloseRestoresStderr) {
    TempDir dir;
    const fs::path pathLog = dir.path() / "run.log";
    { std::ofstream(pathLog) << "earlier\n"; }
    EXPECT_EXIT(
        {
            ux_OpenLog(pathLog.c_str());
            ux_Warning(kModBase, 37, "in log");
            if (std::string(ux_GetLogFileName()) != pathLog.string()) std::_Exit(3);
            ux_CloseLog();
            if (*ux_GetLogFileName() != '\0') std::_Exit(4);
            ux_Warning(kModBase, 37, "after close");
            std::exit(0);
        },
        testing::ExitedWithCode(0), "^ux_base: Warn\\(13037\\): after close\n$");
    EXPECT_EQ(ReadFile(pathLog), "earlier\nux_base: Warn(13037): in log\n");

    // An empty name, or one that cannot be opened, falls back to stderr.log
    // in the working directory.
    EXPECT_EXIT(
        {
            if (chdir(dir.path().c_str()) != 0) std::_Exit(2);
            ux_OpenLog("");
            ux_Log(kModBase, 37, "first");
            ux_OpenLog((dir.path() / "missing" / "x.log").c_str());
            ux_Log(kModBase, 37, "second");
            std::exit(std::string(ux_GetLogFileName()) == "stderr.log" ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(dir.path() / "stderr.log"), "ux_base first\nux_base second\n");
}

TEST(MessagesDeathTest, LogFallsBackToStderrWhenNothingCanBeOpened) {
    TempDir dir;
    EXPECT_EXIT(
        {
            if (chdir(dir.path().c_str()) != 0) std::_Exit(2);
            fs::create_directory("stderr.log"); // a directory cannot be appended to
            ux_OpenLog(nullptr);
            ux_Warning(kModBase, 37, "still on stderr");
            std::exit(std::string(ux_GetLogFileName()) == "<stderr>" ? 0 : 3);
        },
        testing::ExitedWithCode(0), "ux_base: Warn\\(13037\\): still on stderr");
}

TEST(Memory, LongAndShortBlocks) {
    auto* pb = static_cast<unsigned char*>(ux_LongAlloc(70000));
    pb[0] = 1;
    pb[69999] = 2;
    pb = static_cast<unsigned char*>(ux_LongReAlloc(pb, 140000));
    EXPECT_EQ(pb[69999], 2);
    pb[139999] = 3;
    ux_Free(pb);
    std::unique_ptr<void, ux_FreeDeleter> pv(ux_Alloc(65535));
    pv.reset(ux_ReAlloc(pv.release(), 10));
    EXPECT_NE(pv.get(), nullptr);
    ux_Free(nullptr);
}

TEST(MemoryDeathTest, SizesOutsideTheirRangeAreFatal) {
    EXPECT_EXIT(ux_Alloc(70000), testing::ExitedWithCode(13012 & 255),
                "^ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == 70000\n$");
    EXPECT_EXIT(ux_LongAlloc(-5), testing::ExitedWithCode(13012 & 255),
                "^ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == -5\n$");
    EXPECT_EXIT(ux_ReAlloc(nullptr, 65536), testing::ExitedWithCode(13033 & 255),
                "^ux_base: Fatal\\(13033\\): Cannot reallocate memory; bytes == 65536\n$");
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(MemoryDeathTest, ContainerAllocationFailureIsFatal13012) {
    EXPECT_EXIT(
        {
            ux_InstallNewHandler();
            std::vector<char> rg;
            rg.reserve(rg.max_size() / 2);
            std::exit(0);
        },
        testing::ExitedWithCode(13012 & 255),
        "^ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == unknown\n$");
}
#endif

TEST(Files, WriteReadSeekAndLines) {
    TempDir dir;
    const std::string szPath = (dir.path() / "f.txt").string();
    int h = ux_Open(szPath, "wt");
    const std::string szData = "one\ntwo\r\nlast";
    EXPECT_EQ(ux_Write(h, szData.data(), static_cast<long>(szData.size())), 13);
    EXPECT_EQ(ux_Write(h, szData.data(), 0), 0);
    EXPECT_EQ(ux_Close(h), 0);

    h = ux_Open(szPath, "rb");
    char szLine[16];
    EXPECT_EQ(ux_ReadLn(h, szLine), 3);
    EXPECT_STREQ(szLine, "one");
    EXPECT_EQ(ux_ReadLn(h, szLine), 4);
    EXPECT_STREQ(szLine, "two\r");
    EXPECT_EQ(ux_ReadLn(h, szLine), 4);
    EXPECT_STREQ(szLine, "last");
    EXPECT_EQ(ux_ReadLn(h, szLine), 0);
    EXPECT_STREQ(szLine, "");

    EXPECT_EQ(ux_Seek(h, 4, SEEK_SET), 4);
    char szShort[3];
    EXPECT_EQ(ux_ReadLn(h, std::span<char>(szShort)), 2); // cut at size - 1
    EXPECT_STREQ(szShort, "tw");

    EXPECT_EQ(ux_Seek(h, 0, SEEK_SET), 0);
    char rgb[32];
    EXPECT_EQ(ux_Read(h, rgb, 4), 4);
    EXPECT_EQ(std::string(rgb, 4), "one\n");
    EXPECT_EQ(ux_ReadMax(h, rgb, 32), 9);
    EXPECT_EQ(std::string(rgb, 9), "two\r\nlast");
    EXPECT_EQ(ux_Read(h, rgb, 1), 0); // end of file
    EXPECT_EQ(ux_Read(h, rgb, 0), 0);
    EXPECT_EQ(ux_Close(h), 0);
}

TEST(FilesDeathTest, FailuresAreFatal) {
    TempDir dir;
    const std::string szMissing = (dir.path() / "missing.txt").string();
    EXPECT_EXIT(ux_Open(szMissing, "r"), testing::ExitedWithCode(13010 & 255),
                "^ux_base: Fatal\\(13010\\): Cannot open input file: " + szMissing + "\n$");
    const std::string szBad = (dir.path() / "no" / "out.txt").string();
    EXPECT_EXIT(ux_Open(szBad, "wt"), testing::ExitedWithCode(13011 & 255),
                "^ux_base: Fatal\\(13011\\): Cannot open output file: " + szBad + "\n$");
    EXPECT_EXIT(ux_Open(szMissing, "a"), testing::ExitedWithCode(13010 & 255),
                "Cannot open input file: .*unknown open mode");

    const std::string szPath = (dir.path() / "four").string();
    { std::ofstream(szPath) << "abcd"; }
    EXPECT_EXIT(
        {
            const int h = ux_Open(szPath, "r");
            char rgb[10];
            ux_Read(h, rgb, 10);
        },
        testing::ExitedWithCode(13014 & 255),
        "^ux_base: Fatal\\(13014\\): Cannot read from file with handle: [0-9]+, bytes 10, "
        "remaining 0, read 4\n$");
    const int h = ux_Open(szPath, "r");
    char rgb[10];
    EXPECT_EQ(ux_ReadMax(h, rgb, 10), 4);
    ux_Close(h);

    EXPECT_EXIT(ux_Close(9999), testing::ExitedWithCode(13013 & 255),
                "^ux_base: Fatal\\(13013\\): Cannot close file with handle: 9999\n$");
    EXPECT_EXIT(ux_Write(9999, "x", 1), testing::ExitedWithCode(13015 & 255),
                "^ux_base: Fatal\\(13015\\): Cannot write to file with handle: 9999, bytes to "
                "write 1, remaining 0, written -1\n$");
    EXPECT_EXIT(ux_Seek(9999, 0, SEEK_SET), testing::ExitedWithCode(13016 & 255),
                "^ux_base: Fatal\\(13016\\): Cannot seek in file with handle: 9999\n$");
}

} // namespace
} // namespace vexta
