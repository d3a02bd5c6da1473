// Helpers shared by the tests: scratch directories, whole files, what a call
// writes to standard error, and runs of the built program.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "base/ux_base.h"

namespace vexta::test {

inline std::string ReadFile(const std::string& szName) {
    std::ifstream is(szName, std::ios::binary);
    std::ostringstream os;
    os << is.rdbuf();
    return os.str();
}

inline void WriteFile(const std::string& szName, std::string_view szText) {
    std::ofstream(szName, std::ios::binary) << szText;
}

// What fn() writes to standard error.
template <typename Fn> std::string Stderr(Fn fn) {
    testing::internal::CaptureStderr();
    fn();
    return testing::internal::GetCapturedStderr();
}

// How a call that should end the run with a fatal error ended: its status
// (-1 when it returned normally) and what it wrote to standard error.
struct FatalResult {
    int iStatus = -1;
    std::string szErr;
};

template <typename Fn> FatalResult Fatal(Fn fn) {
    FatalResult res;
    testing::internal::CaptureStderr();
    try {
        fn();
    } catch (const ux_FatalExit& e) {
        res.iStatus = e.Status();
    }
    res.szErr = testing::internal::GetCapturedStderr();
    return res;
}

// Whether the run ended with the status and a standard-error text matched by
// the regular expression (anywhere in it).
inline testing::AssertionResult EndedWith(const FatalResult& res, int iStatus,
                                          const std::string& szRegex) {
    if (res.iStatus != iStatus)
        return testing::AssertionFailure() << "status " << res.iStatus << " instead of " << iStatus
                                           << "; stderr: " << res.szErr;
    if (!testing::internal::RE::PartialMatch(res.szErr, testing::internal::RE(szRegex)))
        return testing::AssertionFailure()
               << "stderr " << res.szErr << " does not match " << szRegex;
    return testing::AssertionSuccess();
}

// Expects the statement to end the run by a fatal error with the status and
// a standard-error text matched by the regular expression.
#define EXPECT_FATAL(statement, status, regex)                                                     \
    EXPECT_TRUE(::vexta::test::EndedWith(::vexta::test::Fatal([&] { statement; }), status, regex))

inline bool Contains(std::string_view sz, std::string_view szPart) {
    return sz.find(szPart) != std::string_view::npos;
}

// A fresh directory (mkdtemp) removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::string sz = (std::filesystem::temp_directory_path() / "vexta_test_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        szPath_ = sz;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(szPath_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return szPath_; }
    std::string Path(std::string_view szName) const { return szPath_ + "/" + std::string(szName); }
    // Writes szText into the file szName of the directory; returns its path.
    std::string Write(std::string_view szName, std::string_view szText) const {
        WriteFile(Path(szName), szText);
        return Path(szName);
    }
    std::string Read(std::string_view szName) const { return ReadFile(Path(szName)); }

private:
    std::string szPath_;
};

struct RunResult {
    int iStatus = -1; // exit status as the shell sees it; -1 if killed
    std::string szOut;
    std::string szErr;
};

// Runs the built program in the directory szCwd with the command-line words
// szWords (quoted for the shell; redirections allowed).
inline RunResult RunProgram(const std::string& szCwd, std::string_view szWords) {
    const TempDir dirOut;
    const std::string szCmd = "cd '" + szCwd + "' && '" VEXTA_BINARY "' " + std::string(szWords) +
                              " >'" + dirOut.Path("out") + "' 2>'" + dirOut.Path("err") + "'";
    const int rc = std::system(szCmd.c_str());
    RunResult res;
    if (rc != -1 && WIFEXITED(rc)) res.iStatus = WEXITSTATUS(rc);
    res.szOut = dirOut.Read("out");
    res.szErr = dirOut.Read("err");
    return res;
}

// Writes the argument file szName of dir and runs the program on it there.
inline RunResult RunArgs(const TempDir& dir, std::string_view szArgText,
                         std::string_view szName = "run.args") {
    dir.Write(szName, szArgText);
    std::string szWord = "'";
    szWord += szName;
    szWord += '\'';
    return RunProgram(dir.Path(), szWord);
}

} // namespace vexta::test
