// CoNLL-U input: words, boundary tokens, the lines kept for output, padding,
// the fatal reports of malformed lines, segments read from files of their
// own, and the event stream of the real CoNLL-U files against the SGML one.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/ux_arg.h"
#include "corpus/conllu_reader.h"
#include "corpus/data_table.h"
#include "test_model_util.h"

namespace vexta::test {
namespace {

// Two sentences: a byte-order mark, comments, a multiword token, an empty
// node, a form with a space, "_" as lemma, a short tag, punctuation and CRLF
// line ends.
constexpr std::string_view kConllu = "\xEF\xBB\xBF# sent_id = 1\n"
                                     "# text = Dogs bark.\n"
                                     "1\tDogs\tdog\tNOUN\tNP\t_\t2\tnsubj\t_\t_\n"
                                     "2-3\tbarkit\t_\t_\t_\t_\t_\t_\t_\t_\n"
                                     "2\tbark\t_\tVERB\tVB\tMood=Ind\t0\troot\t_\t_\n"
                                     "3\tit\tit\tPRON\tP\t_\t2\tobj\t_\tSpaceAfter=No\n"
                                     "3.1\tbark\tbark\tVERB\tVB\t_\t_\t_\t2:conj\t_\n"
                                     "4\t.\t.\tPUNCT\tZZ\t_\t2\tpunct\t_\t_\n"
                                     "\n"
                                     "# sent_id = 2\r\n"
                                     "1\tNew York\tNew York\tPROPN\tNP\t_\t0\troot\t_\t_\r\n"
                                     "\r\n";

class ConlluReader : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Model> pm = MakeModel(2, kModeTest);

    std::vector<Event> Read(std::string_view szText, TagSpellings* ptagSpell = nullptr) {
        auto ppdf = OpenReader(dir.Write("in.conllu", szText));
        ppdf->conllu.ptagSpell = ptagSpell;
        EXPECT_EQ(ppdf->iState, kStateConllu);
        return ReadAll(*ppdf, *pm);
    }
};

TEST_F(ConlluReader, WordsBoundariesAndTheLinesKeptForOutput) {
    TagSpellings spell;
    const std::vector<Event> rgev = Read(kConllu, &spell);
    EXPECT_EQ(Lines(rgev),
              (Strings{"ZZ|Z/Z/|###|###|>ZZ/", "NP|N/P/|Dogs|dog|>NP/", "VB|V/B/|bark|=|>VB/",
                       "P-|P/-/|it|it|>P-/", "ZZ|Z/Z/|.|.|>ZZ/", "ZZ|Z/Z/|###|###|>ZZ/",
                       "NP|N/P/|New York|New York|>NP/", "ZZ|Z/Z/|###|###|>ZZ/"}));
    // Punctuation is not a word.
    for (std::size_t i = 0; i < rgev.size(); ++i)
        EXPECT_EQ(rgev[i].fWord, i == 1 || i == 2 || i == 3 || i == 6 ? 1 : 0) << i;
    // Every byte of the input is in a gap or a rest, in order.
    std::string szAll;
    for (const Event& ev : rgev) {
        for (const std::string& sz : ev.rgszGap) szAll += sz;
        szAll += ev.szRest;
    }
    EXPECT_EQ(szAll, kConllu);
    EXPECT_EQ(rgev[0].rgszGap, Strings{"\xEF\xBB\xBF"});
    EXPECT_EQ(rgev[1].rgszGap, Strings{"# sent_id = 1\n# text = Dogs bark.\n"});
    EXPECT_EQ(rgev[2].rgszGap, Strings{"2-3\tbarkit\t_\t_\t_\t_\t_\t_\t_\t_\n"});
    EXPECT_EQ(rgev[6].szRest, "1\tNew York\tNew York\tPROPN\tNP\t_\t0\troot\t_\t_\r\n");
    EXPECT_EQ(rgev[7].rgszGap, Strings{"\r\n"});
    // The padded tag keeps its spelling for output.
    EXPECT_EQ(spell.Original("P-"), "P");
    EXPECT_EQ(spell.Original("NP"), "NP");

    // Train mode keeps nothing for output.
    pm->fProgMode = kModeTrain;
    for (const Event& ev : Read(kConllu)) EXPECT_TRUE(ev.szRest.empty() && ev.rgszGap.empty());

    // A file without a final blank line or line end still ends its sentence;
    // a file of comments only has its boundary and end tokens.
    EXPECT_EQ(Lines(Read("1\ta\ta\tX\tNP\t_\t0\troot\t_\t_")).size(), 3u);
    EXPECT_EQ(Lines(Read("# only a comment\n")).size(), 2u);
}

TEST_F(ConlluReader, MalformedLinesAreFatalWithTheirLineNumbers) {
    const std::string szGood = "# c\n1\ta\ta\tX\tNP\t_\t0\troot\t_\t_\n";
    struct Case {
        std::string szLine;
        const char* pszRegex;
    };
    const Case rgcase[] = {
        {"2\tb\tb\tX\tNP\t_\t0\troot\t_\n", "ln 3.*has 9 columns, not 10"},
        {"2\tb\tb\tX\tNP\t_\t0\troot\t_\t_\tz\n", "ln 3.*has 11 columns, not 10"},
        {"x\tb\tb\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*ID \"x\" is not a word number"},
        {"3-2\tb\tb\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*ID \"3-2\" is not a word number"},
        {"02\tb\tb\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*ID \"02\""},
        {"3\tb\tb\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*word ID 3 out of sequence \\(expected 2\\)"},
        {"2\tb\t\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*column 3 is empty"},
        {"2\tb\tb\tX\tNPX\t_\t0\troot\t_\t_\n", "ln 3.*Too long tag \\(> 2\\): NPX, form b"},
        {"2\tb\tb\tX\t_\t_\t0\troot\t_\t_\n", "ln 3.*No tag in the tag column"},
        {"2\ta|b\tb\tX\tNP\t_\t0\troot\t_\t_\n", "ln 3.*holds \"\\|\""},
    };
    for (const Case& c : rgcase) {
        const std::string szFile = dir.Write("bad.conllu", szGood + c.szLine);
        EXPECT_FATAL(
            {
                auto ppdf = OpenReader(szFile);
                ReadAll(*ppdf, *pm);
            },
            18032, c.pszRegex)
            << c.szLine;
    }
}

// The keys of a reading run over files in dir; szExtra comes last.
std::string ReadingArgs(std::string_view szExtra) {
    return "SentTag = ZZ\nSentForm = ###\nSentLemma = ###\nTagTable =\n" + std::string(szExtra);
}

TEST_F(ConlluReader, SegmentsReadFromFilesOfTheirOwn) {
    // The same two sentences as SGML and as CoNLL-U; every segment a whole
    // file of either format without its end-of-input token.
    dir.Write("a.csts", "<csts>\n<s>\n<f>Dogs<l>dog<t>NP<MMl>dog<MMt>NP\n"
                        "<d>.<l>.<t>ZZ<MMl>.<MMt>ZZ\n<s>\n<f>run<l>run<t>VB<MMl>run<MMt>VB\n"
                        "</csts>\n");
    dir.Write("b.conllu", "1\tDogs\tdog\tNOUN\tNP\t_\t0\troot\t_\t_\n"
                          "2\t.\t.\tPUNCT\tZZ\t_\t1\tpunct\t_\t_\n\n"
                          "1\trun\trun\tVERB\tVB\t_\t0\troot\t_\t_\n\n");
    dir.Write("c.lines", "NP|N/P/|Dogs|dog|>NP/\n");
    pm->fProgMode = kModeTrain;
    UseArgs(dir, ReadingArgs("TrainData = " + dir.Path("a.csts") + "\nHeldoutData = " +
                             dir.Path("b.conllu") + "\nTestData = " + dir.Path("c.lines") + "\n"));
    DataTable dtTr, dtHe, dtTe;
    pm->pdtT = &dtTr;
    pm->pdtH = &dtHe;
    pm->pdtS = &dtTe;
    ASSERT_EQ(ReadData(szArgs, *pm, ""), 0);
    ASSERT_EQ(dtTr.clData, 5);
    ASSERT_EQ(dtHe.clData, 5);
    for (long i = 0; i < 5; ++i) EXPECT_EQ(dtTr.rgpszDataLine[i], dtHe.rgpszDataLine[i]) << i;
    EXPECT_EQ(dtTr.clTokens, 3);
    EXPECT_EQ(dtHe.clTokens, 3);
    EXPECT_EQ(dtHe.clWords, 2);
    EXPECT_EQ(dtTe.clData, 1);
    EXPECT_EQ(dtHe.iInputState, kStateConllu);

    // Line-number segments of InData go on working beside a file segment.
    ResetDataTable(dtTr);
    ResetDataTable(dtHe);
    ResetDataTable(dtTe);
    UseArgs(dir, ReadingArgs("InData = " + dir.Path("a.csts") +
                             "\nTrainStart = 0\nTrainLines = 3\nHeldoutStart = 3\n"
                             "HeldoutLines = 2\nTestData = " +
                             dir.Path("b.conllu") + "\n"));
    ASSERT_EQ(ReadData(szArgs, *pm, ""), 0);
    EXPECT_EQ(dtTr.clData, 3);
    EXPECT_EQ(dtHe.clData, 2);
    EXPECT_EQ(dtTe.clData, 5);
    EXPECT_EQ(dtTe.iInputState, kStateConllu);

    // A file that cannot be opened, and keys with values they cannot have.
    UseArgs(dir, ReadingArgs("TrainData = nothing.conllu\n"));
    EXPECT_EQ(Stderr([&] { EXPECT_EQ(ReadData(szArgs, *pm, ""), 32); }),
              "Reading data \nvexta: nothing.conllu: No such file or directory\n"
              "vexta: Cannot open input file nothing.conllu\n");
    for (const char* psz :
         {"InputFormat = xml\n", "TagColumn = FEATS\n", "TagPad = --\n", "KeepLemma = maybe\n"}) {
        UseArgs(dir, ReadingArgs("TrainData = " + dir.Path("b.conllu") + "\n" + psz));
        EXPECT_FATAL(ReadData(szArgs, *pm, ""), 18032, "must be") << psz;
    }
    pm->pdtT = pm->pdtH = pm->pdtS = nullptr;
}

// The CoNLL-U files of the shared corpus hold the sentences of the three
// segments of its SGML file: the same tokens in form, lemma and tag.
TEST_F(ConlluReader, RealCorpusMatchesTheSgmlSegments) {
    const std::string szCorpus = std::string(VEXTA_SHARED_DIR) + "/corpus";
    if (!std::filesystem::exists(szCorpus + "/cs-ud-train.conllu"))
        GTEST_SKIP() << "no shared corpus";
    pm = MakeModel(15, kModeTrain);
    auto Fields = [](std::string_view szLine) {
        // tag, form and lemma: the fields 0, 2 and 3 of the data line
        const std::size_t i1 = szLine.find('|'), i2 = szLine.find('|', i1 + 1),
                          i3 = szLine.find('|', i2 + 1), i4 = szLine.find('|', i3 + 1);
        return std::string(szLine.substr(0, i1)) + "|" +
               std::string(szLine.substr(i2 + 1, i4 - i2 - 1));
    };
    auto ppdfSgml = OpenReader(szCorpus + "/cs-ud-dev.csts");
    ppdfSgml->szSentTag = "Z#-------------";
    std::vector<std::string> rgszSgml;
    for (const Event& ev : ReadAll(*ppdfSgml, *pm)) rgszSgml.push_back(Fields(ev.szLine));
    ASSERT_EQ(rgszSgml.size(), 55158u);
    rgszSgml.pop_back(); // the end-of-input token

    std::vector<std::string> rgszConllu;
    for (const char* pszPart : {"train", "dev", "test"}) {
        auto ppdf = OpenReader(szCorpus + "/cs-ud-" + pszPart + ".conllu");
        ppdf->szSentTag = "Z#-------------";
        std::vector<Event> rgev = ReadAll(*ppdf, *pm);
        rgev.pop_back();
        for (const Event& ev : rgev) rgszConllu.push_back(Fields(ev.szLine));
        // The segment boundaries of the SGML file.
        EXPECT_EQ(rgszConllu.size(), std::string_view(pszPart) == "train" ? 44043u
                                     : std::string_view(pszPart) == "dev" ? 49613u
                                                                          : 55157u);
    }
    ASSERT_EQ(rgszConllu.size(), rgszSgml.size());
    for (std::size_t i = 0; i < rgszSgml.size(); ++i)
        ASSERT_EQ(rgszConllu[i], rgszSgml[i]) << "event line " << i;
}

} // namespace
} // namespace vexta::test
