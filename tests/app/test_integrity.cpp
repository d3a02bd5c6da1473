// Runs of the built program in hostile surroundings: outputs that cannot be
// written, model files cut short, outputs naming an input, links and modes.
// Every failure must end with a non-zero status and a message naming the
// problem, and no good file may change.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "test_util.h"

namespace {

using vexta::test::Contains;
using vexta::test::ReadFile;
using vexta::test::TempDir;

// One model trained on the Velan example for the whole suite.
class Integrity : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        pdirModel_ = new TempDir;
        szModel_ = pdirModel_->Path("velan.model");
        const std::string szArgs = pdirModel_->Write(
            "train.args", "#include examples/velan-train.args\nFeatures = " + szModel_ + "\n");
        ASSERT_EQ(Shell("'" VEXTA_BINARY "' '" + szArgs + "' >/dev/null 2>&1"), 0);
        szModelText_ = ReadFile(szModel_);
    }
    static void TearDownTestSuite() {
        delete pdirModel_;
        pdirModel_ = nullptr;
    }

    // Runs szCmd with sh in the project root (the examples name their files
    // relative to it); the exit status, -1 when killed.
    static int Shell(const std::string& szCmd) {
        const std::string sz = "cd '" VEXTA_SOURCE_DIR "' && " + szCmd;
        const int rc = std::system(sz.c_str());
        return rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    // An argument file that includes the example file szExample and then
    // overrides with szExtra (the suite's model unless szExtra names one).
    std::string Args(std::string_view szExample, std::string_view szExtra) const {
        return dir_.Write("run.args", "#include " + std::string(szExample) +
                                          "\nFeatures = " + szModel_ + "\n" + std::string(szExtra));
    }

    // Runs the program on szArgFile with the shell words szPrefix before it
    // (limits) and szOut as the target of standard output; keeps standard
    // error and returns the status.
    int Run(const std::string& szArgFile, std::string_view szOut = "/dev/null",
            std::string_view szPrefix = "") {
        const int rc = Shell(std::string(szPrefix) + " '" VEXTA_BINARY "' '" + szArgFile + "' >" +
                             std::string(szOut) + " 2>'" + dir_.Path("err") + "'");
        szErr_ = dir_.Read("err");
        return rc;
    }

    static TempDir* pdirModel_;
    static std::string szModel_;
    static std::string szModelText_;
    TempDir dir_;
    std::string szErr_;
};

TempDir* Integrity::pdirModel_ = nullptr;
std::string Integrity::szModel_;
std::string Integrity::szModelText_;

TEST_F(Integrity, FailedWritesEndTheRunNamingTheFileAndTheReason) {
    const std::string szTag = "examples/velan-tag.args";
    const std::string szTrain = "examples/velan-train.args";
    struct Case {
        std::string szExample, szExtra, szOut, szPrefix, szMessage;
    };
    const Case rgCase[] = {
        {szTag, "", "/dev/full", "",
         "Fatal(13015): Cannot write to file with handle: 1 (standard output): No space left"},
        {szTag, "", dir_.Path("cut.out"), "ulimit -f 8;", "(standard output): File too large"},
        {"examples/velan-test.args", "InputAC = /dev/full\n", "/dev/null", "",
         "(/dev/full): No space left on device"},
        {szTrain,
         "Features = " + dir_.Path("m.model") + "\nFeatureMode = GenerateOut\n" +
             "FeatureSugg = /dev/full\n",
         "/dev/null", "", "cannot write to output fsugg file (/dev/full): No space left"},
    };
    for (const Case& c : rgCase) {
        EXPECT_NE(Run(Args(c.szExample, c.szExtra), c.szOut, c.szPrefix), 0) << c.szMessage;
        EXPECT_TRUE(Contains(szErr_, c.szMessage)) << szErr_;
    }
    // The output cut by the limit (8 blocks of 512 or 1024 bytes) is short.
    EXPECT_LE(std::filesystem::file_size(dir_.Path("cut.out")), 8192u);

    // A log file that fails is reported where standard error pointed before.
    EXPECT_NE(Run(Args("examples/velan-test.args", "LogFile = /dev/full\n")), 0);
    EXPECT_TRUE(Contains(szErr_, "Cannot write to file with handle: 2 (/dev/full): No space left"))
        << szErr_;
    EXPECT_EQ(ReadFile(szModel_), szModelText_);
}

TEST_F(Integrity, ModelFilesCutShortAreRefusedInTestAndTag) {
    const std::string szCut = dir_.Path("cut.model");
    const std::string szNoLastLine =
        szModelText_.substr(0, szModelText_.rfind('\n', szModelText_.size() - 2) + 1);
    for (const std::string& szText : {szNoLastLine, szModelText_.substr(0, 5000)}) {
        vexta::test::WriteFile(szCut, szText);
        for (const char* pszExample : {"examples/velan-test.args", "examples/velan-tag.args"}) {
            EXPECT_EQ(Run(Args(pszExample, "Features = " + szCut + "\n")), 18032 & 255);
            EXPECT_TRUE(Contains(szErr_, "model: file cut short")) << szErr_;
        }
    }
}

TEST_F(Integrity, OutputsThatAreInputsAreRefusedBeforeAnythingIsWritten) {
    namespace fs = std::filesystem;
    const std::string szCorpus = dir_.Path("corpus.csts");
    fs::copy_file(std::string(VEXTA_SOURCE_DIR) + "/examples/velan.csts", szCorpus);
    const std::string szCorpusText = ReadFile(szCorpus);
    fs::create_hard_link(szCorpus, dir_.Path("hard.model"));
    fs::create_symlink(szModel_, dir_.Path("link.log"));
    const std::string szData = "InData = " + szCorpus + "\n";
    struct Case {
        const char* pszExample;
        std::string szExtra, szMessage;
    };
    const Case rgCase[] = {
        {"examples/velan-train.args", szData + "Features = " + dir_.Path("hard.model") + "\n",
         "Features " + dir_.Path("hard.model") + " is the same file as the input InData " +
             szCorpus},
        {"examples/velan-test.args", "LogFile = " + dir_.Path("link.log") + "\n",
         "LogFile " + dir_.Path("link.log") + " is the same file as the input Features"},
        {"examples/velan-test.args", szData + "InputAC = " + dir_.Path("hard.model") + "\n",
         "InputAC " + dir_.Path("hard.model") + " is the same file as the input InData"},
    };
    for (const Case& c : rgCase) {
        EXPECT_EQ(Run(Args(c.pszExample, c.szExtra)), 18032 & 255) << c.szMessage;
        EXPECT_TRUE(Contains(szErr_, "App: Fatal(18032): tag: " + c.szMessage)) << szErr_;
        EXPECT_FALSE(Contains(szErr_, "start")) << szErr_;
    }
    EXPECT_EQ(ReadFile(szCorpus), szCorpusText);
    EXPECT_EQ(ReadFile(szModel_), szModelText_);
}

TEST_F(Integrity, OutputsThatCannotBeCreatedFailBeforeTheDataIsRead) {
    std::filesystem::create_directory(dir_.Path("dir.model"));
    const std::pair<std::string, std::string> rgCase[] = {
        {"Features = /nonexistent/dir/m.model\n",
         "/nonexistent/dir/m.model: No such file or directory"},
        {"Features = " + dir_.Path("dir.model") + "\n", "dir.model: Is a directory"},
        {"Features = " + dir_.Path("m.model") + "\nFeatureMode = GenerateOut\n" +
             "FeatureSugg = /nonexistent/p.pool\n",
         "/nonexistent/p.pool: No such file or directory"},
    };
    for (const auto& [szExtra, szMessage] : rgCase) {
        EXPECT_EQ(Run(Args("examples/velan-train.args", szExtra)), 13011 & 255) << szMessage;
        EXPECT_TRUE(Contains(szErr_, "ux_base: Fatal(13011): Cannot open output file: ")) << szErr_;
        EXPECT_TRUE(Contains(szErr_, szMessage)) << szErr_;
        EXPECT_FALSE(Contains(szErr_, "pszDataLine")) << szErr_; // no data read
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.Path("m.model")));
}

TEST_F(Integrity, ModelWritesKeepLinksAndTakeTheModeOfDataFiles) {
    namespace fs = std::filesystem;
    fs::create_directory(dir_.Path("real"));
    const std::string szTarget = dir_.Write("real/target.model", "old");
    fs::create_symlink("real/target.model", dir_.Path("link.model"));
    const std::string szLink = dir_.Path("link.model");
    EXPECT_EQ(Run(Args("examples/velan-train.args", "Features = " + szLink + "\n"), "/dev/null",
                  "umask 022;"),
              0)
        << szErr_;
    EXPECT_TRUE(fs::is_symlink(szLink));
    // The same model as the suite's, apart from the name in its first line.
    const auto Body = [](const std::string& sz) { return sz.substr(sz.find('\n')); };
    EXPECT_EQ(Body(ReadFile(szTarget)), Body(szModelText_));
    EXPECT_EQ(fs::directory_iterator(dir_.Path("real"))->path(), szTarget); // no temporary left

    for (const auto& [pszUmask, mode] :
         {std::pair{"umask 022;", 0644}, std::pair{"umask 002;", 0664}}) {
        const std::string szNew = dir_.Path(std::string("new") + pszUmask[7] + ".model");
        ASSERT_EQ(Run(Args("examples/velan-train.args", "Features = " + szNew + "\n"), "/dev/null",
                      pszUmask),
                  0);
        struct stat st {};
        ASSERT_EQ(stat(szNew.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(mode)) << pszUmask;
    }
}

// Replaces the form of the first token after szAfter with szForm.
std::string WithForm(std::string sz, std::string_view szAfter, const std::string& szForm) {
    const size_t ich = sz.find("<f>", sz.find(szAfter)) + 3;
    return sz.replace(ich, sz.find('<', ich) - ich, szForm);
}

// Removes the tags that tagging inserts.
std::string WithoutInsertedTags(std::string sz) {
    for (size_t ich; (ich = sz.find("<MD")) != std::string::npos;)
        sz.erase(ich, sz.find('<', ich + 1) - ich);
    return sz;
}

TEST_F(Integrity, LongFormsAreTrainedTaggedAndCopiedThrough) {
    std::string szCorpus = ReadFile(std::string(VEXTA_SOURCE_DIR) + "/examples/velan.csts");
    szCorpus = WithForm(szCorpus, "<doc id=\"train\">", std::string(300, 'x'));
    szCorpus = WithForm(szCorpus, "<doc id=\"test\">", std::string(3000, 'y'));
    const std::string szData = "InData = " + dir_.Write("long.csts", szCorpus) + "\n";
    const std::string szModel = "Features = " + dir_.Path("long.model") + "\n";
    ASSERT_EQ(Run(Args("examples/velan-train.args", szData + szModel)), 0) << szErr_;
    EXPECT_FALSE(Contains(ReadFile(dir_.Path("long.model")), "xxx")); // no form feature for it
    ASSERT_EQ(Run(Args("examples/velan-tag.args", szData + szModel), dir_.Path("tagged.csts")), 0)
        << szErr_;
    const std::string szTagged = dir_.Read("tagged.csts");
    EXPECT_EQ(WithoutInsertedTags(szTagged), szCorpus);
    EXPECT_TRUE(Contains(szTagged, std::string(3000, 'y') + "<l>")) << "copied unchanged";
    EXPECT_EQ(Run(Args("examples/velan-test.args", szData + szModel)), 0) << szErr_;
}

TEST_F(Integrity, MessagesPointAtTheProblem) {
    const std::string szHead = "<csts>\n<doc id=\"d\">\n<s id=\"1\">\n";
    const std::pair<std::string, std::string> rgCase[] = {
        {"", dir_.Path("c.csts") + ": the file is empty"},
        {szHead + "<f>Pes<l>pes<t>NMS<MMl>pes<MMt>NMS1\n<f>je<l>b<t>VB--<MMt>VB--\n",
         "[ln 4] GetEvent: Too short/long tag (!= 4): NMS"},
        {szHead + "<f>Pes<l>pes<t>NMS1<MMl>pes<MMt>NMS\n<f>je<l>b<t>VB--<MMt>VB--\n",
         "[ln 4] GetEvent: Too short/long tag (!= 4): NMS"},
    };
    for (const auto& [szText, szMessage] : rgCase) {
        dir_.Write("c.csts", szText);
        EXPECT_NE(Run(Args("examples/velan-tag.args", "InData = " + dir_.Path("c.csts") + "\n")),
                  0);
        EXPECT_TRUE(Contains(szErr_, szMessage)) << szErr_;
    }
}

} // namespace
