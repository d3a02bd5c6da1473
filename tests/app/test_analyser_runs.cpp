// The built-in analyser in runs of the built program: a lexicon built from
// the Velan example's training segment, training, testing and tagging with
// its candidates (also of a corpus without lemmas, tags or candidates),
// jackknifed candidates of the training tokens, and the failures of the
// analyser keys and files.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "test_util.h"

namespace vexta {
namespace {

constexpr int kApp = 18032 & 255;

// Runs the program in the project root on the argument file szName, which
// includes szExample and then sets szExtra.
test::RunResult RunExample(const test::TempDir& dir, std::string_view szName,
                           std::string_view szExample, std::string_view szExtra) {
    const std::string szFile =
        dir.Write(szName, "#include " + std::string(szExample) + "\n" + std::string(szExtra));
    return test::RunProgram(VEXTA_SOURCE_DIR, "'" + szFile + "'");
}

// Runs the program in dir on the argument file run.args holding szArgText.
test::RunResult RunIn(const test::TempDir& dir, const std::string& szArgText) {
    dir.Write("run.args", szArgText);
    return test::RunProgram(dir.Path(), "run.args");
}

// Each line of the corpus with its <l>, <t>, <MMl> and <MMt> tags removed.
std::string StripAnalyses(std::string_view sz) {
    std::string szOut;
    for (std::size_t i = 0; i < sz.size();) {
        const std::size_t iTag = sz.find('<', i);
        if (iTag == std::string_view::npos) {
            szOut.append(sz.substr(i));
            break;
        }
        szOut.append(sz.substr(i, iTag - i));
        const std::string_view szRest = sz.substr(iTag);
        bool fDrop = false;
        for (std::string_view szName : {"<l>", "<t>", "<MMl>", "<MMt>"})
            fDrop = fDrop || szRest.starts_with(szName);
        const std::size_t iNext = std::min(sz.find_first_of("<\n", iTag + 1), sz.size());
        if (!fDrop) szOut.append(sz.substr(iTag, iNext - iTag));
        i = iNext;
    }
    return szOut;
}

TEST(AnalyserRuns, VelanWithoutAnalyserCandidates) {
    const test::TempDir dir;
    const std::string szLex = dir.Path("velan.lex");
    const std::string szKeys = "Lexicon = " + szLex + "\nFeatures = " + dir.Path("velan.model") +
                               "\nCandidates = lexicon\n";
    auto res =
        RunExample(dir, "lex.args", "examples/velan-common.args", "Mode = Lexicon\n" + szKeys);
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "lexicon from 3622 training tokens")) << res.szErr;
    EXPECT_EQ(test::ReadFile(szLex).rfind("vexta-lexicon\t1\ntag-length\t4\n", 0), 0u);

    res = RunExample(dir, "train.args", "examples/velan-train.args", szKeys);
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "jackknifing in 10 folds")) << res.szErr;
    res = RunExample(dir, "test.args", "examples/velan-test.args", szKeys);
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "final test data error:")) << res.szErr;

    // Tagging text that has nothing but forms: every token gets a tag and
    // the lemma of the chosen candidate.
    const std::string szPlain = dir.Write(
        "plain.csts", StripAnalyses(test::ReadFile(VEXTA_SOURCE_DIR "/examples/velan.csts")));
    res = RunExample(dir, "tag.args", "examples/velan-tag.args",
                     szKeys + "InData = " + szPlain + "\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szOut, "<f>Ty<MDl src=\"velan\">ten<MDt src=\"velan\">D"))
        << res.szOut.substr(0, 300);
    std::size_t cTokens = 0, cTagged = 0;
    for (std::size_t i = 0; (i = res.szOut.find("\n<", i)) != std::string::npos; ++i) {
        const std::string_view sz = std::string_view(res.szOut).substr(i + 1, 3);
        cTokens += sz == "<f>" || sz == "<d>";
    }
    for (std::size_t i = 0; (i = res.szOut.find("<MDt", i)) != std::string::npos; ++i) ++cTagged;
    EXPECT_GT(cTokens, 4000u);
    EXPECT_EQ(cTagged, cTokens);
}

// The Velan example as CoNLL-U files gives the same lexicon and, trained
// with the analyser's candidates, the same model as the SGML corpus; tagged
// CoNLL-U takes the chosen tag and its lemma, also for words without a tag.
TEST(AnalyserRuns, ConlluGivesTheSameLexiconAndModelAsSgml) {
    const test::TempDir dir;
    const std::string szConllu = "InData =\nTrainData = examples/velan-train.conllu\n"
                                 "HeldoutData = examples/velan-heldout.conllu\n"
                                 "TestData = examples/velan-test.conllu\n";
    struct Run {
        std::string szName;
        std::string szData;
    };
    for (const Run& run : {Run{"sgml", ""}, Run{"conllu", szConllu}}) {
        const std::string szKeys = run.szData + "Lexicon = " + dir.Path(run.szName + ".lex") +
                                   "\nFeatures = " + dir.Path(run.szName + ".model") +
                                   "\nCandidates = lexicon\n";
        auto res = RunExample(dir, "lex.args", "examples/velan-common.args",
                              "Mode = Lexicon\n" + szKeys);
        ASSERT_EQ(res.iStatus, 0) << res.szErr;
        res = RunExample(dir, "train.args", "examples/velan-train.args", szKeys);
        ASSERT_EQ(res.iStatus, 0) << res.szErr;
        EXPECT_FALSE(test::Contains(res.szErr, "no candidate tags")) << res.szErr;
    }
    EXPECT_EQ(dir.Read("sgml.lex"), dir.Read("conllu.lex"));
    // The models differ in their own name and that of the training data.
    const auto body = [&dir](const std::string& szName) {
        std::string sz = dir.Read(szName + ".model");
        sz.erase(0, sz.find('\n', sz.find("<Dt>")));
        return sz;
    };
    EXPECT_EQ(body("sgml"), body("conllu"));

    // Tagging text whose tag and lemma columns are empty.
    std::string szText = "# text = Ty mosty\n1\tTy\t_\t_\t_\t_\t_\t_\t_\t_\n"
                         "2\tmosty\t_\t_\t_\t_\t_\t_\t_\t_\n\n";
    dir.Write("plain.conllu", szText);
    const auto res =
        RunExample(dir, "tag.args", "examples/velan-tag.args",
                   szConllu + "Lexicon = " + dir.Path("conllu.lex") + "\nFeatures = " +
                       dir.Path("conllu.model") + "\nCandidates = lexicon\nInData = " +
                       dir.Path("plain.conllu") + "\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, "# text = Ty mosty\n1\tTy\tten\t_\tDMP1\t_\t_\t_\t_\t_\n"
                         "2\tmosty\tmost\t_\tNMP4\t_\t_\t_\t_\t_\n\n");
}

// Two-element tags; "blick" is a noun in sentences 1 and 3 and a verb in
// sentence 2; with two folds sentences 1 and 3 form one fold.
constexpr std::string_view kFoldCorpus = "<csts>\n<doc id=\"d\">\n"
                                         "<s id=\"1\">\n<f>blick<l>blick<t>NS\n<d>.<l>.<t>ZP\n"
                                         "<s id=\"2\">\n<f>blick<l>blick<t>VS\n<d>.<l>.<t>ZP\n"
                                         "<s id=\"3\">\n<f>blick<l>blick<t>NS\n<d>.<l>.<t>ZP\n"
                                         "<s id=\"4\">\n<f>blick<l>blick<t>NS\n<d>.<l>.<t>ZP\n"
                                         "</doc>\n</csts>\n";

constexpr std::string_view kFoldKeys =
    "TagElemMax = 2\nBeam = 3\nRawExpWeight = 0.5\nTagMode = VTC\nSentTag = ZZ\nSentForm = ###\n"
    "SentLemma = ###\nSubTag1 = +POS\nSubTag2 = +NUM\nInData = c.csts\nLexicon = c.lex\n"
    "TrainStart = 0\nTrainLines = 9\nHeldoutStart = 9\nHeldoutLines = 3\nTestStart = 12\n"
    "TestLines = 1\nFeatures = c.model\nAmbClassIgnore = -\nFeatureMode = Generate\n"
    "MaxFeaturesGenerate = 1000\nCountMode = Batch\nModels = AC\nSortSuggestions = Count\n"
    "FeatureTemplates = base\nUseInFeatures = ACs+Tags+Forms\nMinThrAddFeature = 1\n"
    "MinThrPoolFeature = 1\nMinThrClosestFeature = 1\nCombiThr = 1\nLeftOnly = no\n"
    "FeatureArea = 20000\nFeatureSuggSize = 200000\nAmbClassArea = 10000\nLambdaIterations = 0\n"
    "HeavySmoothing = yes\nMultiPass = no\nTrainingIterationsMax = 1\nLambdaMax = 2\n"
    "LambdaMin = 0.5\nTrainCat = -1\nInputAC = trace.txt\nCandidates = lexicon\n";

TEST(AnalyserRuns, JackknifedTrainingCandidatesLeaveOutTheTokensOwnFold) {
    const test::TempDir dir;
    dir.Write("c.csts", kFoldCorpus);
    auto res = RunIn(dir, std::string(kFoldKeys) + "Mode = Lexicon\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    // Lines 1, 4, 7 of the training segment are the three first "blick"
    // tokens; line 10 (heldout) is analysed with the whole lexicon.
    const struct {
        std::string_view szFolds;
        std::string_view rgszLine[4];
    } rgCase[] = {
        {"LexiconFolds = 2\n",
         {"NS|V/S/|blick|blick|>VS/", "VS|N/S/|blick|blick|>NS/", "NS|V/S/|blick|blick|>VS/",
          "NS|NV/S/|blick|blick|>NS/VS/"}},
        {"LexiconFolds = 1\n",
         {"NS|NV/S/|blick|blick|>NS/VS/", "VS|NV/S/|blick|blick|>NS/VS/",
          "NS|NV/S/|blick|blick|>NS/VS/", "NS|NV/S/|blick|blick|>NS/VS/"}},
    };
    for (const auto& c : rgCase) {
        res = RunIn(dir, std::string(kFoldKeys) + "Mode = Train\n" + std::string(c.szFolds));
        ASSERT_EQ(res.iStatus, 0) << res.szErr;
        const std::string szTrace = dir.Read("trace.txt");
        const char* rgszNumber[] = {"000000001 ", "000000004 ", "000000007 ", "000000010 "};
        for (int k = 0; k < 4; ++k)
            EXPECT_TRUE(test::Contains(szTrace, std::string(rgszNumber[k]) +
                                                    std::string(c.rgszLine[k]) + "\n"))
                << c.szFolds << k << "\n"
                << szTrace;
    }
}

TEST(AnalyserRuns, BadKeysAndFilesEndTheRun) {
    const test::TempDir dir;
    dir.Write("c.csts", kFoldCorpus);
    dir.Write("bad.lex", "vexta-lexicon\t1\ntag-length\t3\n");
    dir.Write("bad.tsv", "blick\tblick\tNS\nblick\tblick\tN\n");
    const struct {
        std::string_view szArgs;
        std::string_view szMessage;
    } rgCase[] = {
        {"Mode = Test\nCandidates = all\n", "wrong Candidates (input, lexicon or fill): all"},
        {"Mode = Train\nLexicon =\n", "lexicon : cannot open"},
        {"Mode = Train\nLexicon = bad.lex\n",
         "[ln 2] lexicon bad.lex: tags of 3 characters, the run has 2"},
        {"Mode = Test\nGuessMass = 0\n", "Wrong GuessMass <0.01..1.0>: 0"},
        {"Mode = Test\nGuessMax = 2.5\n", "Wrong GuessMax <1..1000>: 2.5"},
        {"Mode = Train\nLexiconFolds = 101\n", "Wrong LexiconFolds <1..100>: 101"},
        {"Mode = Lexicon\nDictionary = bad.tsv\n",
         "[ln 2] dictionary bad.tsv: tag of 1 characters instead of 2: N"},
        {"Mode = Lexicon\nDictionary = bad.tsv\nDictionaryColumns = form,tag\n",
         "Wrong DictionaryColumns"},
        {"Mode = Lexicon\nLexicon = no/such/dir.lex\n", "lexicon no/such/dir.lex: cannot create"},
    };
    for (const auto& c : rgCase) {
        const auto res = RunIn(dir, std::string(kFoldKeys) + std::string(c.szArgs));
        EXPECT_EQ(res.iStatus, kApp) << c.szArgs << res.szErr;
        EXPECT_TRUE(test::Contains(res.szErr, "Fatal(18032)")) << res.szErr;
        EXPECT_TRUE(test::Contains(res.szErr, c.szMessage)) << c.szArgs << res.szErr;
    }
    // Candidates = lexicon without a lexicon.
    std::string szKeys(kFoldKeys);
    szKeys.erase(szKeys.find("Lexicon = c.lex\n"), 16);
    const auto res = RunIn(dir, szKeys + "Mode = Test\n");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "Candidates = lexicon needs the key Lexicon"))
        << res.szErr;
}

} // namespace
} // namespace vexta
