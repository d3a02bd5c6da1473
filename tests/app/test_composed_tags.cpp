// Tags composed from UPOS and FEATS, end to end: a small treebank trained,
// tested and tagged; the layout kept in the model; the runs that must stop
// with a clear error.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "test_util.h"

namespace vexta {
namespace {

// Multi-item values, a layered feature and features out of canonical order
// (Number before NumType only when compared without case).
constexpr std::string_view kTreebank =
    "# sent_id = 1\n"
    "1\tKdo\tkdo\tPRON\tPQ\tPronType=Int,Rel|Case=Nom|Animacy=Anim\t2\tnsubj\t_\t_\n"
    "2\tvidi\tvidet\tVERB\tVB\tVerbForm=Fin|Number=Sing\t0\troot\t_\t_\n"
    "3\tjeho\tjeho\tDET\tPS\tPoss=Yes|Gender[psor]=Masc,Neut|PronType=Prs\t4\tdet\t_\t_\n"
    "4\tdva\tdva\tNUM\tCn\tNumType=Card|Number=Plur\t2\tobj\t_\t_\n"
    "5\t.\t.\tPUNCT\tZ:\t_\t2\tpunct\t_\t_\n"
    "\n"
    "# sent_id = 2\n"
    "1-2\tvidis\t_\t_\t_\t_\t_\t_\t_\t_\n"
    "1\tvidi\tvidet\tVERB\tVB\tNumber=Sing|VerbForm=Fin\t0\troot\t_\t_\n"
    "2\ts\ts\tPRON\tPP\tCase=Nom\t1\tnsubj\t_\t_\n"
    "3\tdva\tdva\tNUM\tCn\tNumber=Plur|NumType=Card\t1\tobj\t_\t_\n"
    "\n";

// The same, as tagging writes it: FEATS in canonical order, all else kept.
std::string Canonical(std::string sz) {
    for (const auto& [pszFrom, pszTo] :
         {std::pair{"PronType=Int,Rel|Case=Nom|Animacy=Anim",
                    "Animacy=Anim|Case=Nom|PronType=Int,Rel"},
          std::pair{"VerbForm=Fin|Number=Sing", "Number=Sing|VerbForm=Fin"},
          std::pair{"Poss=Yes|Gender[psor]=Masc,Neut|PronType=Prs",
                    "Gender[psor]=Masc,Neut|Poss=Yes|PronType=Prs"},
          std::pair{"NumType=Card|Number=Plur", "Number=Plur|NumType=Card"}}) {
        for (std::size_t i; (i = sz.find(pszFrom)) != std::string::npos;)
            sz.replace(i, std::string_view(pszFrom).size(), pszTo);
    }
    return sz;
}

// A model of two tag elements with nothing but value counts.
constexpr std::string_view kXposModel = "<Dz>1000\n<Df>1\n<Da>1\n<Dc>2\n"
                                        "<st>000000000000<d>POS\n<sc>POS<t>N<c>1\n"
                                        "<st>000000000001<d>NUM\n<sc>NUM<t>B<c>1\n";

constexpr int kApp = 18032 & 255;

class ComposedTagsTest : public testing::Test {
protected:
    void SetUp() override { dir_.Write("tb.conllu", kTreebank); }

    // Runs the program in the project root on the example settings with
    // UPOS+FEATS tags and the files of this test.
    test::RunResult Run(std::string_view szExample, std::string_view szExtra) {
        const std::string szArgs = dir_.Write(
            "a.args", "#include " + std::string(szExample) +
                          "\nTagColumn = UPOS+FEATS\nFeatures = " + dir_.Path("ud.model") +
                          "\nTrainData = " + dir_.Path("tb.conllu") + "\nHeldoutData = " +
                          dir_.Path("tb.conllu") + "\nTestData = " + dir_.Path("tb.conllu") +
                          "\nInData =\n" + std::string(szExtra));
        std::string szWord = "'";
        szWord += szArgs;
        szWord += '\'';
        return test::RunProgram(VEXTA_SOURCE_DIR, szWord);
    }

    test::TempDir dir_;
};

TEST_F(ComposedTagsTest, TrainTestTagRoundTrip) {
    auto res = Run("examples/velan-train.args", "");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "UPOS+FEATS tags of 9 positions: UPOS Animacy Case "
                                          "Gender[psor] Number NumType Poss PronType VerbForm\n"))
        << res.szErr;
    // The layout rides in the model file's header; the elements are named by
    // the features.
    const std::string szModel = test::ReadFile(dir_.Path("ud.model"));
    EXPECT_TRUE(test::Contains(szModel, "<Dn>layout UPOS+FEATS 1 9 all\n"));
    EXPECT_TRUE(test::Contains(szModel, "<Dn>layout-value 7 A Int,Rel\n"));
    EXPECT_TRUE(test::Contains(szModel, "<d>Gender[psor]\n"));

    // Test mode: error-rate lines named by the features, whole and UPOS
    // accuracy. Without an analyser a word's own tag is its only candidate.
    res = Run("examples/velan-test.args", "");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    for (const char* psz : {"(0/7:10), cat 0 (UPOS)\n", "(0/7:10), cat 3 (Gender[psor])\n",
                            ": accuracy: 100.00% (8/8)\n", ": UPOS accuracy: 100.00% (8/8)\n"})
        EXPECT_TRUE(test::Contains(res.szErr, psz)) << psz << res.szErr;

    // Tagging writes the treebank back with UPOS and FEATS decoded, FEATS in
    // canonical order; from standard input the same.
    res = Run("examples/velan-tag.args", "InData = " + dir_.Path("tb.conllu") + "\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, Canonical(std::string(kTreebank)));
}

TEST_F(ComposedTagsTest, LayoutsThatDoNotFitStopTheRun) {
    ASSERT_EQ(Run("examples/velan-train.args", "").iStatus, 0);
    // The model's tags read as XPOS, other TagFeatures, or a model without a
    // layout read as UPOS+FEATS.
    auto res = Run("examples/velan-test.args", "TagColumn = XPOS\n");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "was trained on tags composed from UPOS and FEATS"))
        << res.szErr;
    res = Run("examples/velan-test.args", "TagFeatures = Case+Number\n");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "TagFeatures Case+Number differs from the features"))
        << res.szErr;
    dir_.Write("ud.model", kXposModel);
    res = Run("examples/velan-test.args", "");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "holds no UPOS+FEATS layout")) << res.szErr;

    // More features than a tag holds: named in the error, and TagFeatures
    // chooses among them.
    std::string szFeats;
    for (int i = 0; i < 31; ++i) szFeats += (i ? "|F" : "F") + std::to_string(100 + i) + "=Yes";
    dir_.Write("tb.conllu", "1\tx\tx\tX\tX\t" + szFeats + "\t0\troot\t_\t_\n\n");
    res = Run("examples/velan-train.args", "");
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "31 features, more than the 30")) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "F129, F130); choose at most 30 with TagFeatures"));
    res = Run("examples/velan-train.args", "TagFeatures = F130+F100\n");
    EXPECT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "tags of 3 positions: UPOS F130 F100\n")) << res.szErr;
}

// The analyser with composed tags: the lexicon keeps the layout (and a run
// whose model has another one stops), a dictionary of UPOS and FEATS columns
// adds analyses, and raw text gets UPOS, FEATS and lemma. With XPOS tags
// shorter than the tag length, output spells them as the training data did.
TEST_F(ComposedTagsTest, AnalyserCandidatesAndTheirLexicon) {
    dir_.Write("d.tsv", "vidime\tvidet\tVERB\tVerbForm=Fin|Number=Plur\nhm\thm\tINTJ\t_\n");
    const std::string szLex = "Candidates = lexicon\nLexicon = " + dir_.Path("ud.lex") +
                              "\nDictionary = " + dir_.Path("d.tsv") + "\n";
    auto res = Run("examples/velan-common.args", "Mode = Lexicon\n" + szLex);
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "1 lines skipped: their UPOS or features")) << res.szErr;
    EXPECT_TRUE(
        test::Contains(test::ReadFile(dir_.Path("ud.lex")), "vexta-lexicon\t2\ntag-length\t9\n"));
    res = Run("examples/velan-train.args", szLex);
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    dir_.Write("raw.conllu", "1\tvidime\t_\t_\t_\t_\t_\t_\t_\t_\n\n");
    res = Run("examples/velan-tag.args", szLex + "InData = " + dir_.Path("raw.conllu") + "\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, "1\tvidime\tvidet\tVERB\t_\tNumber=Plur|VerbForm=Fin\t_\t_\t_\t_\n\n");

    const std::string szOther = "Candidates = lexicon\nLexicon = " + dir_.Path("other.lex") + "\n";
    ASSERT_EQ(Run("examples/velan-common.args",
                  "Mode = Lexicon\nTagFeatures = "
                  "VerbForm+Animacy+Case+Gender[psor]+Number+NumType+Poss+PronType\n" +
                      szOther)
                  .iStatus,
              0);
    res = Run("examples/velan-test.args", szOther);
    EXPECT_EQ(res.iStatus, kApp);
    EXPECT_TRUE(test::Contains(res.szErr, "its UPOS+FEATS layout differs from the model's"))
        << res.szErr;

    // XPOS tags of two characters in tags of four.
    const std::string szXpos =
        "TagColumn = XPOS\nCandidates = lexicon\nLexicon = " + dir_.Path("x.lex") + "\n";
    ASSERT_EQ(Run("examples/velan-common.args", "Mode = Lexicon\n" + szXpos).iStatus, 0);
    EXPECT_TRUE(test::Contains(test::ReadFile(dir_.Path("x.lex")), "spellings\t6\nCn--\tCn\n"))
        << test::ReadFile(dir_.Path("x.lex"));
    ASSERT_EQ(Run("examples/velan-train.args", szXpos).iStatus, 0);
    dir_.Write("raw.conllu", "1\tvidi\t_\t_\t_\t_\t_\t_\t_\t_\n\n");
    res = Run("examples/velan-tag.args", szXpos + "InData = " + dir_.Path("raw.conllu") + "\n");
    ASSERT_EQ(res.iStatus, 0) << res.szErr;
    EXPECT_EQ(res.szOut, "1\tvidi\tvidet\t_\tVB\t_\t_\t_\t_\t_\n\n");
}

} // namespace
} // namespace vexta
