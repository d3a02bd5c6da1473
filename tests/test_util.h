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

inline bool Contains(std::string_view sz, std::string_view szPart) {
    return sz.find(szPart) != std::string_view::npos;
}

// A fresh directory (mkdtemp) removed with everything in it at the end.
//
// A death test runs the test body again in a child process. There the n-th
// scratch directory of the test is the parent's n-th one, which the parent
// passes on in the environment: so what the parent looks at afterwards is
// what the child left behind, and only the parent removes it.
class TempDir {
public:
    TempDir() {
        szKey_ = "VEXTA_TEST_DIR_" + std::to_string(NextOrdinal());
        const char* pszParent = std::getenv(szKey_.c_str());
        if (testing::internal::InDeathTestChild() && pszParent != nullptr) {
            szPath_ = pszParent;
            return;
        }
        std::string sz = (std::filesystem::temp_directory_path() / "vexta_test_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        szPath_ = sz;
        fOwner_ = true;
        if (!testing::internal::InDeathTestChild()) setenv(szKey_.c_str(), sz.c_str(), 1);
    }
    ~TempDir() {
        if (!fOwner_) return;
        if (!testing::internal::InDeathTestChild()) unsetenv(szKey_.c_str());
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
    // Counts the directories made in the current test (from 0).
    static int NextOrdinal() {
        struct Reset : testing::EmptyTestEventListener {
            void OnTestStart(const testing::TestInfo&) override { Count() = 0; }
        };
        static const bool fListening = [] {
            testing::UnitTest::GetInstance()->listeners().Append(new Reset);
            return true;
        }();
        (void)fListening;
        return Count()++;
    }
    static int& Count() {
        static int c = 0;
        return c;
    }

    std::string szKey_;
    std::string szPath_;
    bool fOwner_ = false;
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
