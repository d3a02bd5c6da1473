// Message service, log redirection, memory and file wrappers.
#include "base/ux_base.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <csignal>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "test_util.h"

namespace vexta {
namespace {

TEST(Messages, LinesOfWarningsAndLogs) {
    const std::string szLong(5000, 'x');
    int rc = 0;
    const std::string szErr = test::Stderr([&] {
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
        ux_LnWarning(kModApp, kMsgApp, 123456789L, szLong); // details may hold any bytes
        ux_Warning(kModApp, kMsgApp, "100% %s %d");
        rc = ux_Error("prog", "a ", "b", 0);
    });
    EXPECT_EQ(rc, 10);
    EXPECT_EQ(szErr, "ux_hash: Warn(17034): Hash table over 80% full; inserting key key\n"
                     "ux_base: Warn(13038): undefined code/x\n"
                     "ux_base Cannot allocate memory; bytes == 4000\n"
                     "ux_base: Log(13040): undefined code/z\n"
                     "App: Warn(18032): tag: [ln 17] x\n"
                     "App tag: q\n"
                     "ux_arg: Log(16201): undefined code/[ln 3] bad\n"
                     "ux_base: Warn(13037): only detail\n"
                     "Unknown: Warn(52012): Cannot allocate memory; bytes == 1\n"
                     "ux_base: Warn(12999): undefined code/negative\n"
                     "App: Warn(18032): tag: [ln 123456789] " +
                         szLong +
                         "\nApp: Warn(18032): tag: 100% %s %d\n"
                         "prog: a b\n");
}

TEST(Messages, FatalErrorsEndTheRunWithTheirCode) {
    test::TempDir dir;
    const std::string szFour = dir.Write("four", "abcd");
    const std::vector<std::tuple<std::function<void()>, int, std::string>> rgCase = {
        {[] { ux_FatalError(kModBase, 12, "4000"); }, 13012,
         "ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == 4000"},
        {[] { ux_FatalError(kModArg, 201, "too long result string"); }, 16201,
         "ux_arg: Fatal\\(16201\\): undefined error/too long result string"},
        {[] { ux_FatalError(kModApp, kMsgApp, "cannot open x"); }, 18032,
         "App: Fatal\\(18032\\): tag: cannot open x"},
        {[] { ux_LnFatalError(kModArg, 25, 12, "x = "); }, 16025,
         "ux_arg: Fatal\\(16025\\): Parse error at line \\[ln 12\\] x = "},
        {[] { ux_LnFatalError(kModHash, 702, -1, "k"); }, 17702,
         "ux_hash: Fatal\\(17702\\): undefined error/k"},
        {[] { ux_Error("vexta", "cannot ", "go on", 5); }, 5, "vexta: cannot go on"},
        {[] { ux_Alloc(70000); }, 13012,
         "ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == 70000"},
        {[] { ux_LongAlloc(-5); }, 13012,
         "ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == -5"},
        {[] { ux_ReAlloc(nullptr, 65536); }, 13033,
         "ux_base: Fatal\\(13033\\): Cannot reallocate memory; bytes == 65536"},
        {[] { ux_Open("/nonexistent/in.txt", "r"); }, 13010,
         "ux_base: cannot open /nonexistent/in.txt: No such file or directory\n"
         "ux_base: Fatal\\(13010\\): Cannot open input file: /nonexistent/in.txt"},
        {[] { ux_Open("/nonexistent/out.txt", "wt"); }, 13011,
         "ux_base: cannot open /nonexistent/out.txt: No such file or directory\n"
         "ux_base: Fatal\\(13011\\): Cannot open output file: /nonexistent/out.txt"},
        {[szFour] {
             char rgb[10];
             ux_Read(ux_Open(szFour, "r"), rgb, 10);
         },
         13014,
         "ux_base: Fatal\\(13014\\): Cannot read from file with handle: [0-9]+, bytes 10, "
         "remaining 0, read 4"},
        {[] { ux_Close(9999); }, 13013,
         "ux_base: Fatal\\(13013\\): Cannot close file with handle: 9999"},
        {[] { ux_Write(9999, "x", 1); }, 13015,
         "ux_base: Fatal\\(13015\\): Cannot write to file with handle: 9999, bytes to write 1, "
         "remaining 0, written -1"},
        {[] { ux_Seek(9999, 0, SEEK_SET); }, 13016,
         "ux_base: Fatal\\(13016\\): Cannot seek in file with handle: 9999"},
#if !defined(__SANITIZE_ADDRESS__)
        {[] {
             ux_InstallNewHandler();
             std::vector<char> rg;
             rg.reserve(rg.max_size() / 2);
         },
         13012, "ux_base: Fatal\\(13012\\): Cannot allocate memory; bytes == unknown"},
#endif
    };
    for (const auto& [fn, iStatus, szMessage] : rgCase)
        EXPECT_FATAL(fn(), iStatus, "^" + szMessage + "\n$");
}

// Appends through the va_list form, as a printf-style function of the
// caller's own would.
[[gnu::format(printf, 2, 3)]] void Append(std::string& sz, const char* pszFormat, ...) {
    std::va_list args;
    va_start(args, pszFormat);
    ux_VStrPrintf(sz, pszFormat, args);
    va_end(args);
}

TEST(Messages, FormattingIntoStrings) {
    EXPECT_EQ(ux_StrPrintf("%s: %05d|%.3f", "tag", 42, 0.5), "tag: 00042|0.500");
    EXPECT_EQ(ux_StrPrintf("%s", ""), "");
    // Texts longer than the formatter's own buffer, appended and alone.
    const std::string szLong(1000, 'x');
    std::string sz = "model: ";
    Append(sz, "%s|%d", szLong.c_str(), 7);
    EXPECT_EQ(sz, "model: " + szLong + "|7");
    EXPECT_EQ(ux_StrPrintf("%1e", 1e300).size(), std::string("1.000000e+300").size());
    EXPECT_EQ(ux_StrPrintf("%.0f", 1e300).size(), 301u);
}

TEST(Messages, LogRedirection) {
    test::TempDir dir;
    const std::string szLog = dir.Write("run.log", "earlier\n");
    // Appends to the file; closing restores standard error.
    testing::internal::CaptureStderr();
    ux_OpenLog(szLog.c_str());
    ux_Warning(kModBase, 37, "in log");
    EXPECT_EQ(ux_GetLogFileName(), szLog);
    ux_CloseLog();
    EXPECT_STREQ(ux_GetLogFileName(), "");
    ux_Warning(kModBase, 37, "after close");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ux_base: Warn(13037): after close\n");
    EXPECT_EQ(dir.Read("run.log"), "earlier\nux_base: Warn(13037): in log\n");

    // An empty name, or one that cannot be opened, falls back to stderr.log
    // in the working directory; when even that fails, standard error stays
    // where it was.
    const auto pathCwd = std::filesystem::current_path();
    const int hStderr = dup(STDERR_FILENO);
    std::filesystem::current_path(dir.Path());
    ux_OpenLog("");
    ux_Log(kModBase, 37, "first");
    ux_OpenLog(dir.Path("missing/x.log").c_str());
    ux_Log(kModBase, 37, "second");
    EXPECT_STREQ(ux_GetLogFileName(), "stderr.log");
    std::filesystem::rename("stderr.log", "first.log");
    std::filesystem::create_directory("stderr.log"); // cannot be appended to
    ux_OpenLog(nullptr);
    ux_Warning(kModBase, 37, "still on stderr");
    EXPECT_STREQ(ux_GetLogFileName(), "<stderr>");
    ux_CloseLog();
    dup2(hStderr, STDERR_FILENO);
    close(hStderr);
    std::filesystem::current_path(pathCwd);
    EXPECT_EQ(dir.Read("first.log"),
              "ux_base first\nux_base second\nux_base: Warn(13037): still on stderr\n");
}

TEST(Files, ReadLinesAndReadMax) {
    test::TempDir dir;
    const int h = ux_Open(dir.Write("f.txt", "one\ntwo\r\nlast"), "rb");
    char szLine[16];
    std::string szLines;
    for (int i = 0; i < 4; ++i) {
        const long cch = ux_ReadLn(h, szLine);
        szLines += std::to_string(cch) + szLine + "|";
    }
    EXPECT_EQ(szLines, "3one|4two\r|4last|0|");
    EXPECT_EQ(ux_Seek(h, 4, SEEK_SET), 4);
    char rgb[32];
    EXPECT_EQ(ux_ReadMax(h, rgb, 32), 9);
    EXPECT_EQ(std::string(rgb, 9), "two\r\nlast");
    EXPECT_EQ(ux_Close(h), 0);
}

TEST(Files, FollowLinksAndCheckCreate) {
    const test::TempDir dir;
    const std::string szTarget = dir.Write("target", "x");
    std::filesystem::create_directory(dir.Path("sub"));
    std::filesystem::create_symlink("../target", dir.Path("sub/rel"));
    std::filesystem::create_symlink(dir.Path("sub/rel"), dir.Path("abs"));
    std::filesystem::create_symlink("loop", dir.Path("loop"));
    EXPECT_EQ(ux_FollowLinks(dir.Path("abs")), dir.Path("sub/../target"));
    EXPECT_EQ(ux_FollowLinks(dir.Path("new")), dir.Path("new"));
    EXPECT_EQ(ux_FollowLinks(dir.Path("loop")), dir.Path("loop"));

    EXPECT_EQ(ux_CheckCreate(szTarget), 0);
    EXPECT_EQ(test::ReadFile(szTarget), "x"); // not truncated
    EXPECT_EQ(ux_CheckCreate(dir.Path("new")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new"))); // the probe is gone
    EXPECT_EQ(ux_CheckCreate(dir.Path("sub")), EISDIR);
    EXPECT_EQ(ux_CheckCreate(dir.Path("none/new")), ENOENT);
}

// Each case runs in a child: the file exists, the guard is set up (or set
// up and gone again), the signal comes.
TEST(Files, ASignalRemovesTheGuardedFileThenEndsTheProcess) {
    const test::TempDir dir;
    struct Case {
        int iSignal;
        bool fIgnored, fGuardGone, fRemoved;
    };
    for (const Case c : {Case{SIGTERM, false, false, true}, Case{SIGINT, false, false, true},
                         Case{SIGHUP, true, false, false}, Case{SIGHUP, false, true, false}}) {
        const std::string szFile = dir.Write("tmp", "partial");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (c.fIgnored) std::signal(c.iSignal, SIG_IGN);
            auto pguard = std::make_unique<ux_RemoveOnSignal>(szFile);
            if (c.fGuardGone) pguard.reset();
            std::raise(c.iSignal);
            _exit(0);
        }
        int iStatus = 0;
        waitpid(pid, &iStatus, 0);
        if (c.fIgnored)
            EXPECT_TRUE(WIFEXITED(iStatus));
        else
            EXPECT_TRUE(WIFSIGNALED(iStatus) && WTERMSIG(iStatus) == c.iSignal) << c.iSignal;
        EXPECT_EQ(std::filesystem::exists(szFile), !c.fRemoved) << c.iSignal;
    }
}

} // namespace
} // namespace vexta
