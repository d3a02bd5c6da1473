// The test and tag pipeline end to end: the built program run on argument
// files, model files and corpora written here, and on the real corpus when
// the shared folder is present.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::size_t Count(std::string_view sz, std::string_view szWhat) {
    std::size_t c = 0;
    for (std::size_t i = sz.find(szWhat); i != std::string_view::npos;
         i = sz.find(szWhat, i + szWhat.size()))
        ++c;
    return c;
}

// Removes every inserted tag "<szName src=...>" together with its text.
std::string RemoveInserted(std::string_view sz, std::string_view szOpening) {
    std::string szOut;
    szOut.reserve(sz.size());
    std::size_t i = 0;
    for (std::size_t iTag = sz.find(szOpening); iTag != std::string_view::npos;
         iTag = sz.find(szOpening, i)) {
        szOut.append(sz.substr(i, iTag - i));
        i = sz.find('<', iTag + szOpening.size());
        if (i == std::string_view::npos) i = sz.size();
    }
    szOut.append(sz.substr(i));
    return szOut;
}

struct RunResult {
    int iStatus = -1; // exit status as the shell sees it
    std::string szOut;
    std::string szErr;
};

// Two tag elements (POS, NUM); the model knows only their value counts, which
// choose V over N and B over P.
constexpr std::string_view kModel = "<tagmodel>two elements\n"
                                    "<Dz>1000\n<Df>1\n<Da>1\n<Dc>2\n"
                                    "<st>000000000000<d>POS\n"
                                    "<sc>POS<t>N<c>1\n<sc>POS<t>V<c>10\n"
                                    "<st>000000000001<d>NUM\n"
                                    "<sc>NUM<t>B<c>10\n<sc>NUM<t>P<c>1\n";

// Event lines: 0 <s>, 1 Dogs, 2 bark, 3 ".", 4 <s>, 5 Cats, 6 run, 7 the end.
constexpr std::string_view kCorpus = "<csts>\n"
                                     "<doc id=\"d1\">\n"
                                     "<s id=\"s1\">\n"
                                     "<f>Dogs<l>dog<t>NP<MMl>dog<MMt>NP<MMt>VB\n"
                                     "<f>bark<l>bark<t>VB<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
                                     "<d>.<l>.<t>ZZ<MMl>.<MMt>ZZ\n"
                                     "<s id=\"s2\">\n"
                                     "<f>Cats<l>cat<t>NP<MMl>cat<MMt>NP<MMt>NB\n"
                                     "<f>run<l>run<t>VB<MMl>run<MMt>VB<MMt>VP\n"
                                     "</doc>\n"
                                     "</csts>\n";

// The corpus tagged: Dogs VB (wrong), bark VB, Cats NB (wrong), run VB.
constexpr std::string_view kTagged =
    "<csts>\n"
    "<doc id=\"d1\">\n"
    "<s id=\"s1\">\n"
    "<f>Dogs<l>dog<t>NP<MDl src=\"t1\">dog<MDt src=\"t1\">VB<MMl>dog<MMt>NP<MMt>VB\n"
    "<f>bark<l>bark<t>VB<MDl src=\"t1\">barks<MDt src=\"t1\">VB"
    "<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
    "<d>.<l>.<t>ZZ<MDl src=\"t1\">.<MDt src=\"t1\">ZZ<MMl>.<MMt>ZZ\n"
    "<s id=\"s2\">\n"
    "<f>Cats<l>cat<t>NP<MDl src=\"t1\">cat<MDt src=\"t1\">NB<MMl>cat<MMt>NP<MMt>NB\n"
    "<f>run<l>run<t>VB<MDl src=\"t1\">run<MDt src=\"t1\">VB<MMl>run<MMt>VB<MMt>VP\n"
    "</doc>\n"
    "</csts>\n";

// The same corpus as data lines.
constexpr std::string_view kDataLines = "ZZ|Z/Z/|###|###|>ZZ/\n"
                                        "NP|NV/BP/|Dogs|dog|>VB/NP/\n"
                                        "VB|NV/BP/|bark|bark|>VB/NP/\n"
                                        "ZZ|Z/Z/|.|.|>ZZ/\n"
                                        "ZZ|Z/Z/|###|###|>ZZ/\n"
                                        "NP|N/BP/|Cats|cat|>NB/NP/\n"
                                        "VB|V/BP/|run|run|>VP/VB/\n"
                                        "ZZ|Z/Z/|###|###|>ZZ/\n";

// Settings of every run; a test adds Mode, TagMode and the segment keys.
constexpr std::string_view kCommon = "TagElemMax = 2\nBeam = 3\nRawExpWeight = 0.5\n"
                                     "TaggerID = t1\nSentTag = ZZ\nSentForm = ###\n"
                                     "SentLemma = ###\nSubTag1 = +POS\nSubTag2 = +NUM\n"
                                     "InData = corpus.csts\nFeatures = two.model\n";

class PipelineTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vexta_pipeline_" + std::string(pInfo->name()) + "_" + std::to_string(getpid()));
        fs::create_directories(dir_);
        Write("two.model", kModel);
        Write("corpus.csts", kCorpus);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& szName, std::string_view szText) {
        std::ofstream((dir_ / szName).string(), std::ios::binary) << szText;
        return (dir_ / szName).string();
    }

    // Runs the program in the scratch directory on an argument file of the
    // common settings followed by szArgs.
    RunResult Run(std::string_view szArgs, std::string_view szCommon = kCommon) {
        Write("a.args", std::string(szCommon) + std::string(szArgs));
        const std::string szCmd =
            "cd '" + dir_.string() + "' && '" VEXTA_BINARY "' a.args >out.txt 2>err.txt";
        const int rc = std::system(szCmd.c_str());
        RunResult res;
        if (rc != -1 && WIFEXITED(rc)) res.iStatus = WEXITSTATUS(rc);
        res.szOut = ReadFile(dir_ / "out.txt");
        res.szErr = ReadFile(dir_ / "err.txt");
        return res;
    }

    fs::path dir_;
};

constexpr int kApp = 18032 & 255;
const std::string kBin = VEXTA_BINARY;
constexpr std::string_view kTestSegment = "TestStart = 4\nTestLines = 4\n";

TEST_F(PipelineTest, TestModeReportsErrorRates) {
    // Training and heldout segments that overlap the test segment are
    // emptied, so they do not stop the run.
    const std::string szSegments = "TrainStart = 4\nTrainLines = 4\n"
                                   "HeldoutStart = 3\nHeldoutLines = 5\n" +
                                   std::string(kTestSegment);
    for (const char* pszTagMode : {"VTC", "Separate"}) {
        const auto res =
            Run("Mode = Test\nTagMode = " + std::string(pszTagMode) + "\n" + szSegments);
        EXPECT_EQ(res.iStatus, 0) << pszTagMode << res.szErr;
        EXPECT_EQ(res.szOut, "") << pszTagMode;
        // Lines 4..7 hold two words; Cats is wrong in NUM.
        EXPECT_NE(
            res.szErr.find(kBin + ": final test data error:  0.00:  0.00 (0/2:4), cat 0 (POS)\n"),
            std::string::npos)
            << res.szErr;
        EXPECT_NE(
            res.szErr.find(kBin + ": final test data error: 50.00: 25.00 (1/2:4), cat 1 (NUM)\n"),
            std::string::npos)
            << res.szErr;
        EXPECT_NE(res.szErr.find(kBin + ": final test data error: 50.00: 25.00 (1/2:4), flat\n"),
                  std::string::npos)
            << res.szErr;
        EXPECT_NE(res.szErr.find("No ambiguity classes -- global smoothing only"),
                  std::string::npos);
        EXPECT_NE(res.szErr.find(kBin + ": done  "), std::string::npos);
    }
}

TEST_F(PipelineTest, TestOutAndTestDebugWriteTheTestSegment) {
    auto res = Run("Mode = TestOut\nTagMode = VTC\n" + std::string(kTestSegment));
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    const std::string szLast4 = std::string(kTagged.substr(kTagged.find("<s id=\"s2\">")));
    EXPECT_EQ(res.szOut, szLast4);
    EXPECT_NE(res.szErr.find("(1/2:4), flat\n"), std::string::npos);

    // Full debug lines among the tagged ones, and the wrong line marked.
    res = Run("Mode = TestDebug\nTagMode = VTC\n" + std::string(kTestSegment));
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_NE(res.szOut.find("true: NP|N/BP/|Cats|cat|>NB/NP/\n"), std::string::npos);
    EXPECT_NE(res.szOut.find("Beam state after normalization:\n"), std::string::npos);
    EXPECT_NE(res.szOut.find("<MMt>NP<MMt>NB ALOFLAG\n"), std::string::npos);
    EXPECT_NE(res.szErr.find("(1/2:4), flat\n"), std::string::npos);
}

TEST_F(PipelineTest, TagVtcReproducesTheInput) {
    // Beam-search tagging reads its input itself: no test segment needed.
    const auto res = Run("Mode = Tag\nTagMode = VTC\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, kTagged);
    EXPECT_EQ(res.szErr.find("Reading data"), std::string::npos);
}

TEST_F(PipelineTest, TagSeparateWritesTheDataLines) {
    const auto res = Run("Mode = Tag\nTagMode = Separate\nTestStart = 0\nTestLines = 8\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, "ZZ|Z/Z/|###|###|>ZZ/\n"
                         "VB|NV/BP/|Dogs|dog|>VB/NP/\n"
                         "VB|NV/BP/|bark|bark|>VB/NP/\n"
                         "ZZ|Z/Z/|.|.|>ZZ/\n"
                         "ZZ|Z/Z/|###|###|>ZZ/\n"
                         "NB|N/BP/|Cats|cat|>NB/NP/\n"
                         "VB|V/BP/|run|run|>VP/VB/\n"
                         "ZZ|Z/Z/|###|###|>ZZ/\n");
}

TEST_F(PipelineTest, LineFormatInputGetsOnlyItsTagsReplaced) {
    Write("lines.txt", kDataLines);
    const auto res = Run("Mode = Tag\nTagMode = VTC\nInData = lines.txt\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, "ZZ|Z/Z/|###|###|>ZZ/\n"
                         "VB|NV/BP/|Dogs|dog|>VB/NP/\n"
                         "VB|NV/BP/|bark|bark|>VB/NP/\n"
                         "ZZ|Z/Z/|.|.|>ZZ/\n"
                         "ZZ|Z/Z/|###|###|>ZZ/\n"
                         "NB|N/BP/|Cats|cat|>NB/NP/\n"
                         "VB|V/BP/|run|run|>VP/VB/\n"
                         "ZZ|Z/Z/|###|###|>ZZ/\n");
}

TEST_F(PipelineTest, FailuresEndTheRunWithTheirStatus) {
    const std::string szFatal = "App: Fatal(18032): tag: ";
    struct Case {
        std::string szArgs;
        int iStatus;
        std::string szMsg;
    };
    Write("empty.model", "<tagmodel>header only\n<Dz>100\n<Df>1\n<Da>1\n<Dc>2\n");
    Write("nomml.csts", "<csts>\n<s>\n<f>a<l>a<t>NP\n</csts>\n");
    const Case rgCase[] = {
        {"Mode = Test\nTagMode = VTC\nTestStart = 4\n", kApp,
         szFatal + " TestLines not present, and TestStart is?!?\n"},
        {"Mode = Test\nTagMode = VTC\n", kApp, szFatal + "ReadData failed (RC 59)\n"},
        {"Mode = Tag\nTagMode = Separate\n", kApp, szFatal + "ReadData failed (RC 59)\n"},
        {"Mode = Test\nTagMode = VTC\nFeatures = none.model\n" + std::string(kTestSegment),
         816 & 255, kBin + ": cannot read in the model none.model: code 99\n"},
        {"Mode = Test\nTagMode = VTC\nInData = none.csts\n" + std::string(kTestSegment), kApp,
         szFatal + "ReadData failed (RC 32)\n"},
        {"Mode = Tag\nTagMode = VTC\nInData = none.csts\n", kApp,
         szFatal + " VTC tagging failed (RC 2401)\n"},
        // A token without <MMl>: its chosen tag cannot be written.
        {"Mode = TestOut\nTagMode = VTC\nInData = nomml.csts\nTestStart = 0\nTestLines = 3\n", kApp,
         szFatal + " test data error rate computation failed (RC 88)\n"},
    };
    for (const Case& c : rgCase) {
        const auto res = Run(c.szArgs);
        EXPECT_EQ(res.iStatus, c.iStatus) << c.szArgs << res.szErr;
        EXPECT_TRUE(res.szErr.ends_with(c.szMsg)) << c.szArgs << res.szErr;
    }

    // A model file without tag element sections stops the run (in the
    // reader or right after it) before anything is tagged.
    auto res = Run("Mode = Tag\nTagMode = VTC\nFeatures = empty.model\n");
    EXPECT_TRUE(res.iStatus == (816 & 255) || res.iStatus == kApp) << res.szErr;
    EXPECT_EQ(res.szOut, "");

    // Without Features the model file is not named.
    std::string szCommon(kCommon);
    szCommon.erase(szCommon.find("Features"));
    res = Run("Mode = Test\nTagMode = VTC\n" + std::string(kTestSegment), szCommon);
    EXPECT_EQ(res.iStatus, 892 & 255);
    EXPECT_TRUE(res.szErr.ends_with(kBin + ": GetValue (feature file) Features failed\n"))
        << res.szErr;
}

// The real corpus with a model that has its 15 tag elements and nothing
// else: testing on the Test segment, and tagging the whole file across the
// window boundaries (55158 event lines make three windows).
TEST_F(PipelineTest, RealCorpus) {
    const fs::path pathCorpus = fs::path(VEXTA_SHARED_DIR) / "corpus";
    if (!fs::exists(pathCorpus / "cs-ud-dev.csts")) GTEST_SKIP() << "no shared corpus";

    std::string szModel = "<Dz>200000\n<Df>1\n<Da>1\n<Dc>15\n";
    for (int t = 0; t < 15; ++t) {
        char sz[40];
        std::snprintf(sz, sizeof sz, "<st>%012d\n", t);
        szModel += sz;
    }
    Write("min.model", szModel);
    const std::string szCommon = "#include " + (pathCorpus / "cs-ud-common.args").string() +
                                 "\nCorpusDir = " + pathCorpus.string() +
                                 "\nFeatures = " + (dir_ / "min.model").string() + "\n";

    auto res = Run("Mode = Test\n", szCommon);
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_NE(res.szErr.find("No ambiguity classes -- global smoothing only"), std::string::npos);
    EXPECT_NE(res.szErr.find(": final test data error:"), std::string::npos);
    EXPECT_NE(res.szErr.find(":5544), flat\n"), std::string::npos) << res.szErr;

    res = Run("Mode = Tag\n", szCommon);
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(Count(res.szOut, "<MDl src=\"vexta\">"), 52727u);
    EXPECT_EQ(Count(res.szOut, "<MDt src=\"vexta\">"), 52727u);
    const std::string szInput = ReadFile(pathCorpus / "cs-ud-dev.csts");
    EXPECT_TRUE(RemoveInserted(RemoveInserted(res.szOut, "<MDl "), "<MDt ") == szInput);
}

} // namespace
