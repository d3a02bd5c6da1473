// The test and tag pipeline end to end: the built program run on argument
// files, model files and corpora written here, and on the real corpus when
// the shared folder is present.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>

#include "app/driver.h"
#include "test_util.h"

#include <unistd.h>

namespace vexta {
namespace {

// The text without the inserted tags "<MDl src="vexta">" and
// "<MDt src="vexta">" and their values; cInserted counts them.
std::string RemoveInserted(std::string_view sz, std::size_t& cInserted) {
    std::string szOut;
    std::size_t i = 0;
    for (std::size_t iSrc; (iSrc = sz.find(" src=\"vexta\">", i)) != sz.npos; ++cInserted) {
        szOut.append(sz.substr(i, iSrc - 4 - i));
        i = std::min(sz.find('<', iSrc), sz.size());
    }
    return szOut.append(sz.substr(i));
}

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
        dir_.Write("two.model", kModel);
        dir_.Write("corpus.csts", kCorpus);
    }
    // Runs the program on an argument file of the common settings followed by szArgs.
    test::RunResult Run(std::string_view szArgs, std::string_view szCommon = kCommon) {
        return test::RunArgs(dir_, std::string(szCommon) + std::string(szArgs), "a.args");
    }

    test::TempDir dir_;
};

constexpr int kApp = 18032 & 255;
const std::string kBin = VEXTA_BINARY;
constexpr std::string_view kTestSegment = "TestStart = 4\nTestLines = 4\n";

TEST_F(PipelineTest, TestModesReportErrorRatesAndWriteTheTestSegment) {
    // Training and heldout segments that overlap the test segment are
    // emptied, so they do not stop the run. Lines 4..7 hold two words; Cats
    // is wrong in NUM.
    const std::string szSegments = "TrainStart = 4\nTrainLines = 4\n"
                                   "HeldoutStart = 3\nHeldoutLines = 5\n" +
                                   std::string(kTestSegment);
    for (const char* pszTagMode : {"VTC", "Separate"}) {
        const auto res =
            Run("Mode = Test\nTagMode = " + std::string(pszTagMode) + "\n" + szSegments);
        EXPECT_EQ(res.iStatus, 0) << pszTagMode << res.szErr;
        EXPECT_EQ(res.szOut, "") << pszTagMode;
        for (const std::string sz : {": final test data error:  0.00:  0.00 (0/2:4), cat 0 (POS)\n",
                                     ": final test data error: 50.00: 25.00 (1/2:4), cat 1 (NUM)\n",
                                     ": final test data error: 50.00: 25.00 (1/2:4), flat\n",
                                     ": accuracy: 50.00% (1/2)\n", ": done  "})
            EXPECT_TRUE(test::Contains(res.szErr, kBin + sz)) << sz << res.szErr;
        EXPECT_TRUE(test::Contains(res.szErr, "No ambiguity classes -- global smoothing only"));
    }

    auto res = Run("Mode = TestOut\nTagMode = VTC\n" + std::string(kTestSegment));
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, kTagged.substr(kTagged.find("<s id=\"s2\">")));
    EXPECT_TRUE(test::Contains(res.szErr, "(1/2:4), flat\n"));

    // Full debug lines among the tagged ones, and the wrong line marked.
    res = Run("Mode = TestDebug\nTagMode = VTC\n" + std::string(kTestSegment));
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    for (const char* psz : {"true: NP|N/BP/|Cats|cat|>NB/NP/\n",
                            "Beam state after normalization:\n", "<MMt>NP<MMt>NB ALOFLAG\n"})
        EXPECT_TRUE(test::Contains(res.szOut, psz)) << psz;
    EXPECT_TRUE(test::Contains(res.szErr, "(1/2:4), flat\n"));
}

TEST_F(PipelineTest, TagModesWriteTheInputWithTheChosenTags) {
    // Beam-search tagging reads its input itself: no test segment needed.
    auto res = Run("Mode = Tag\nTagMode = VTC\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, kTagged);
    EXPECT_FALSE(test::Contains(res.szErr, "Reading data"));
    // TagDebug: the same tagging with the beam search's debug lines.
    res = Run("Mode = TagDebug\nTagMode = VTC\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szOut, "Beam state after normalization:\n"));
    EXPECT_TRUE(test::Contains(res.szOut, "<MDt src=\"t1\">NB<MMl>cat"));
    EXPECT_TRUE(test::Contains(res.szErr, "setting fOut to OUTDEBUGINFO in TagDataVTC...\n"));

    // Data lines, tagged separately or (line-format input) by beam search,
    // get only their tags replaced: Dogs VB, Cats NB.
    std::string szTaggedLines(kDataLines);
    szTaggedLines.replace(szTaggedLines.find("NP|NV/BP/|Dogs"), 2, "VB");
    szTaggedLines.replace(szTaggedLines.find("NP|N/BP/|Cats"), 2, "NB");
    dir_.Write("lines.txt", kDataLines);
    for (const char* pszArgs : {"Mode = Tag\nTagMode = Separate\nTestStart = 0\nTestLines = 8\n",
                                "Mode = Tag\nTagMode = VTC\nInData = lines.txt\n"}) {
        res = Run(pszArgs);
        EXPECT_EQ(res.iStatus, 0) << res.szErr;
        EXPECT_EQ(res.szOut, szTaggedLines) << pszArgs;
    }
}

// The corpus as CoNLL-U, with a short tag ("Z" for "ZZ") and the lines that
// are not words: a word's only candidate is its own tag, so tagging writes
// the input back unchanged.
constexpr std::string_view kConllu = "# sent_id = s1\n"
                                     "1\tDogs\tdog\tNOUN\tNP\t_\t2\tnsubj\t_\t_\n"
                                     "2-3\tbark.\t_\t_\t_\t_\t_\t_\t_\t_\n"
                                     "2\tbark\tbark\tVERB\tVB\t_\t0\troot\t_\t_\n"
                                     "2.1\tbark\tbark\tVERB\tVB\t_\t_\t_\t0:root\t_\n"
                                     "3\t.\t_\tPUNCT\tZ\t_\t2\tpunct\t_\t_\n"
                                     "\n"
                                     "# sent_id = s2\r\n"
                                     "1\tCats\tcat\tNOUN\tNP\t_\t2\tnsubj\t_\t_\r\n"
                                     "2\trun\trun\tVERB\tVB\t_\t0\troot\t_\t_\r\n"
                                     "\r\n";

TEST_F(PipelineTest, ConlluAndStandardInput) {
    dir_.Write("corpus.conllu", kConllu);
    // Test mode on a segment that is a whole file: the error-rate lines and
    // the accuracy over the five words (boundary tokens left out).
    auto res = Run("Mode = Test\nTagMode = VTC\nTestData = corpus.conllu\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, ": final test data error:  0.00:  0.00 (0/4:7), flat\n"))
        << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, ": accuracy: 100.00% (5/5)\n"));

    // Tagging it, from the file or from standard input (told by its first
    // line), writes every byte back, the short tag as it was spelled; SGML
    // and data lines come through standard input the same way.
    for (const char* pszArgs : {"InData = corpus.conllu\n", "InData = -\n",
                                "InData = -\nKeepLemma = yes\n", "InData = -\nThreads = 2\n"}) {
        dir_.Write("a.args", std::string(kCommon) + "Mode = Tag\nTagMode = VTC\n" + pszArgs);
        res = test::RunProgram(dir_.Path(), "a.args < corpus.conllu");
        EXPECT_EQ(res.iStatus, 0) << res.szErr;
        EXPECT_EQ(res.szOut, kConllu) << pszArgs;
    }
    dir_.Write("a.args", std::string(kCommon) + "Mode = Tag\nTagMode = VTC\nInData = -\n");
    res = test::RunProgram(dir_.Path(), "a.args < corpus.csts");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, kTagged);
    dir_.Write("one.txt", "NP|N/P/|Dogs|dog|>NP/");
    res = test::RunProgram(dir_.Path(), "a.args < one.txt");
    EXPECT_EQ(res.szOut, "NP|N/P/|Dogs|dog|>NP/\n") << res.szErr;
}

TEST_F(PipelineTest, FailuresEndTheRunWithTheirStatus) {
    const std::string szFatal = "App: Fatal(18032): tag: ";
    dir_.Write("empty.model", "<tagmodel>header only\n<Dz>100\n<Df>1\n<Da>1\n<Dc>2\n");
    dir_.Write("nomml.csts", "<csts>\n<s>\n<f>a<l>a<t>NP\n</csts>\n");
    std::string szNoFeatures(kCommon);
    szNoFeatures.erase(szNoFeatures.find("Features"));
    const std::string szTest = "Mode = Test\nTagMode = VTC\n";
    const std::tuple<std::string, int, std::string> rgCase[] = {
        {szTest + "TestStart = 4\n", kApp,
         szFatal + " TestLines not present, and TestStart is?!?\n"},
        {szTest, kApp, szFatal + "ReadData failed (RC 59)\n"},
        {"Mode = Tag\nTagMode = Separate\n", kApp, szFatal + "ReadData failed (RC 59)\n"},
        {szTest + "Features = none.model\n" + std::string(kTestSegment), 816 & 255,
         kBin + ": none.model: No such file or directory\n" + kBin +
             ": cannot read in the model none.model: code 99\n"},
        {szTest + "InData = none.csts\n" + std::string(kTestSegment), kApp,
         szFatal + "ReadData failed (RC 32)\n"},
        {"Mode = Tag\nTagMode = VTC\nInData = none.csts\n", kApp,
         szFatal + " VTC tagging failed (RC 2401)\n"},
        // A model file without tag element sections: nothing can be tagged.
        {"Mode = Tag\nTagMode = VTC\nFeatures = empty.model\n", kApp,
         "model: no subtag section (<st>) in the model file\n"},
    };
    for (const auto& [szArgs, iStatus, szMsg] : rgCase) {
        const auto res = Run(szArgs);
        EXPECT_EQ(res.iStatus, iStatus) << szArgs << res.szErr;
        EXPECT_TRUE(res.szErr.ends_with(szMsg)) << szArgs << res.szErr;
        EXPECT_EQ(res.szOut, "") << szArgs;
    }
    // A token without <MMl>: its chosen tag cannot be written; what was
    // written before it is kept.
    auto res =
        Run("Mode = TestOut\nTagMode = VTC\nInData = nomml.csts\nTestStart = 0\nTestLines = 3\n");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(
        res.szErr.ends_with(szFatal + " test data error rate computation failed (RC 88)\n"));
    EXPECT_EQ(res.szOut, "<csts>\n<s>\n<f>a<l>a<t>NP");
    // Without Features the model file is not named.
    res = Run(szTest + std::string(kTestSegment), szNoFeatures);
    EXPECT_EQ(res.iStatus, 892 & 255);
    EXPECT_TRUE(res.szErr.ends_with(kBin + ": GetValue (feature file) Features failed\n"))
        << res.szErr;
}

// The library inside a long-lived process: runs that end by fatal errors at
// different depths (start-up, model reader, data reader, tagged output) are
// caught, and each later run starts clean and gives what the program gives.
TEST_F(PipelineTest, RunsInOneProcessStartCleanAfterAFatalError) {
    dir_.Write("nomml.csts", "<csts>\n<s>\n<f>a<l>a<t>NP\n</csts>\n");
    const std::string szGood =
        std::string(kCommon) + "Mode = TestOut\nTagMode = VTC\n" + std::string(kTestSegment);
    const std::pair<std::string, int> rgRun[] = {
        {"Mode = Test\nTagMode = VTC\nBeam = 0\n", 18032},
        {szGood + "Features = none.model\n", 816},
        {szGood + "InData = none.csts\n", 18032},
        {szGood + "InData = nomml.csts\nTestStart = 0\nTestLines = 3\n", 18032},
        {szGood, 0},
        {"Mode = Tag\nTagMode = Separate\n", 18032},
        {szGood, 0},
    };
    const auto resProgram = test::RunArgs(dir_, szGood, "good.args");
    ASSERT_EQ(resProgram.iStatus, 0) << resProgram.szErr;
    char szCwd[4096];
    ASSERT_NE(getcwd(szCwd, sizeof szCwd), nullptr);
    ASSERT_EQ(chdir(dir_.Path().c_str()), 0);
    for (const auto& [szArgs, iStatus] : rgRun) {
        dir_.Write("a.args", szArgs);
        std::vector<char*> rgszArgv = {const_cast<char*>(VEXTA_BINARY), const_cast<char*>("a.args"),
                                       nullptr};
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int iResult = vextawZ(2, rgszArgv.data());
        const std::string szErr = testing::internal::GetCapturedStderr();
        const std::string szOut = testing::internal::GetCapturedStdout();
        EXPECT_EQ(iResult, iStatus) << szArgs << szErr;
        if (iStatus == 0) {
            EXPECT_EQ(szOut, resProgram.szOut);
            // Everything but the clock lines of the finish.
            EXPECT_EQ(szErr.substr(0, szErr.find(": start ")),
                      resProgram.szErr.substr(0, resProgram.szErr.find(": start ")));
        }
    }
    ASSERT_EQ(chdir(szCwd), 0);
}

// The real corpus with a model that has its 15 tag elements and nothing
// else: testing on the Test segment, and tagging the whole file across the
// window boundaries (55158 event lines make three windows).
TEST_F(PipelineTest, RealCorpus) {
    const std::string szCorpus = VEXTA_SHARED_DIR "/corpus";
    if (!std::filesystem::exists(szCorpus + "/cs-ud-dev.csts")) GTEST_SKIP() << "no shared corpus";

    std::string szModel = "<Dz>200000\n<Df>1\n<Da>1\n<Dc>15\n";
    for (int t = 0; t < 15; ++t) {
        char sz[40];
        std::snprintf(sz, sizeof sz, "<st>%012d\n", t);
        szModel += sz;
    }
    dir_.Write("min.model", szModel);
    const std::string szCommon = "#include " + szCorpus +
                                 "/cs-ud-common.args\nCorpusDir = " + szCorpus +
                                 "\nFeatures = " + dir_.Path("min.model") + "\n";

    auto res = Run("Mode = Test\n", szCommon);
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_NE(res.szErr.find("No ambiguity classes -- global smoothing only"), std::string::npos);
    EXPECT_NE(res.szErr.find(": final test data error:"), std::string::npos);
    EXPECT_NE(res.szErr.find(":5544), flat\n"), std::string::npos) << res.szErr;

    res = Run("Mode = Tag\n", szCommon);
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szOut, "<MDl src=\"vexta\">"));
    EXPECT_TRUE(test::Contains(res.szOut, "<MDt src=\"vexta\">"));
    std::size_t cInserted = 0;
    EXPECT_TRUE(RemoveInserted(res.szOut, cInserted) ==
                test::ReadFile(szCorpus + "/cs-ud-dev.csts"));
    EXPECT_EQ(cInserted, 2 * 52727u);

    // The Test segment as a CoNLL-U file of its own: the same lines.
    res = Run("Mode = Test\nTestData = ${CorpusDir}/cs-ud-test.conllu\n", szCommon);
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_NE(res.szErr.find(":5544), flat\n"), std::string::npos) << res.szErr;
    EXPECT_NE(res.szErr.find("/5301)\n"), std::string::npos) << res.szErr;
    // Tagging the training file through standard input, across windows,
    // writes it back unchanged (its words' only candidates are their tags).
    dir_.Write("a.args", szCommon + "Mode = Tag\nInData = -\nInputFormat = conllu\n");
    res = test::RunProgram(dir_.Path(), "a.args < " + szCorpus + "/cs-ud-train.conllu");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(res.szOut == test::ReadFile(szCorpus + "/cs-ud-train.conllu"));
}

} // namespace
} // namespace vexta
