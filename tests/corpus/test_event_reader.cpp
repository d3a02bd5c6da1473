// Event reader: data lines from SGML and line-format input, boundary tokens,
// candidate order and ambiguity classes, gap lists, tag conversion and the
// fatal reports of malformed input.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "analyser/analyser.h"
#include "analyser/lexicon.h"
#include "corpus/event_reader.h"
#include "test_model_util.h"

namespace vexta::test {
namespace {

class EventReader : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Model> pm = MakeModel(2, kModeTest);

    std::vector<Event> Read(std::string_view szText, std::string_view szTagTable = "") {
        auto ppdf = OpenReader(dir.Write("in.txt", szText), szTagTable);
        return ReadAll(*ppdf, *pm);
    }
    // Reading that is expected to end the run with the application's status.
    void ReadFatal(std::string_view szText, const std::string& szRegex,
                   std::string_view szTagTable = "") {
        const std::string szFile = dir.Write("in.txt", szText);
        EXPECT_FATAL(
            {
                auto ppdf = OpenReader(szFile, szTagTable);
                ReadAll(*ppdf, *pm);
            },
            18032, szRegex);
    }
};

constexpr std::string_view kSmall = "<csts>\n<doc>\n<s>\n<f>A<MMl>a<MMt>NN<MMt>VB\n</csts>\n";

TEST_F(EventReader, BoundaryTokenLineAndEndLineWithTheirGaps) {
    const std::vector<Event> rgev = Read(kSmall);
    ASSERT_EQ(rgev.size(), 3u);
    EXPECT_EQ(Lines(rgev),
              (Strings{"ZZ|Z/Z/|###|###|>ZZ/", "NN|NV/BN/|A|=|>VB/NN/", "ZZ|Z/Z/|###|###|>ZZ/"}));
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<csts>\n", "<doc>\n", "<s>"}));
    EXPECT_EQ(rgev[1].rgszGap, (Strings{"<f>A", "<MMl>a", "<MMt>NN", "<MMt>VB"}));
    EXPECT_EQ(rgev[2].rgszGap, (Strings{"</csts>\n", "<<virtualend>>"}));
    EXPECT_EQ(rgev[0].fWord + rgev[1].fWord * 2 + rgev[2].fWord * 4, 2);

    // Train mode keeps only the end mark; later calls keep returning -1.
    pm->fProgMode = kModeTrain;
    auto ppdf = OpenReader(dir.Write("in.txt", kSmall));
    const std::vector<Event> rgevTrain = ReadAll(*ppdf, *pm);
    EXPECT_TRUE(rgevTrain[0].rgszGap.empty() && rgevTrain[1].rgszGap.empty());
    EXPECT_EQ(rgevTrain[2].rgszGap, (Strings{"<<virtualend>>"}));
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    gapRecType gap;
    EXPECT_EQ(GetEvent(szLine, szRest, gap, *ppdf, *pm), -1);

    pm->fProgMode = kModeTrainOut; // keeps gaps like the other modes
    EXPECT_EQ(Read(kSmall)[1].rgszGap.size(), 4u);
    // Read onto one list, the tokens' entries follow one another.
    ppdf = OpenReader(dir.Write("in.txt", kSmall));
    while (GetEventOntoGap(szLine, szRest, gap, *ppdf, *pm) == 0) {
    }
    EXPECT_EQ(GapTexts(gap).size(), 3u + 4u + 2u);
    gap.Truncate(3);
    EXPECT_EQ(GapTexts(gap), rgev[0].rgszGap);

    // Candidates most recent first without repeats, classes in byte order
    // (also for a set met before, in the same or another order); an input
    // that ends inside a token ends with it.
    const std::vector<Event> rgevCand =
        Read("<f>w<l>lem<t>BA<MMt>BA<MMt>AC<MMt>BA<MMt>aZ<f>v<MMt>BA<MMt>AC<MMt>aZ"
             "<f>u<MMt>aZ<MMt>AC<MMt>BA<d>.<MMt>Z:");
    EXPECT_EQ(Lines(rgevCand),
              (Strings{"BA|ABa/ACZ/|w|lem|>aZ/AC/BA/", "BA|ABa/ACZ/|v|=|>aZ/AC/BA/",
                       "aZ|ABa/ACZ/|u|=|>BA/AC/aZ/", "Z:|Z/:/|.|=|>Z:/"}));
    EXPECT_EQ(rgevCand[3].fWord, 0);

    // Eight candidates and nine give their classes the same way.
    std::string szIn = "<f>x";
    for (const char* psz : {"Ba", "Ab", "Ca",
                            "\xe9"
                            "b",
                            "Aa", "Bb", "Da", "Ea", "Fa"})
        szIn += std::string("<MMt>") + psz;
    const std::size_t ichNinth = szIn.rfind("<MMt>");
    const std::string szCands = "Ea/Da/Bb/Aa/\xe9"
                                "b/Ca/Ab/Ba/";
    EXPECT_EQ(Read(szIn.substr(0, ichNinth))[0].szLine, "Ba|ABCDE\xe9/ab/|x|=|>" + szCands);
    EXPECT_EQ(Read(szIn)[0].szLine, "Ba|ABCDEF\xe9/ab/|x|=|>Fa/" + szCands);

    // Longer tags are compared as words: repeats go all the same.
    pm = MakeModel(9, kModeTest);
    EXPECT_TRUE(
        Read("<f>x<MMt>AAAAAAAAB<MMt>AAAAAAAAA<MMt>AAAAAAAAB<MMt>BAAAAAAAA<MMt>AAAAAAAAA")[0]
            .szLine.ends_with(">BAAAAAAAA/AAAAAAAAA/AAAAAAAAB/"));
}

TEST_F(EventReader, SecondLemmaAndTagIgnoredForeignTagsKept) {
    pm->szTaggerID = "me";
    const std::vector<Event> rgev = Read("<f>w<l>a<l>b<t>NN<t>VB<Ct>x<MDl src=\"me\">old"
                                         "<MDt src=me>VB<MDt src=other>NV<MDl>x<zz a=1>z"
                                         "<q>r<comment><l>c</comment><MMl>a<MMt>NN</f>");
    ASSERT_EQ(rgev.size(), 2u);
    EXPECT_EQ(rgev[0].szLine, "NN|N/N/|w|a|>NN/");
    EXPECT_EQ(rgev[0].szRest, "<zz a=1>z<q>r");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<l>a", "<t>NN", "<MDt src=other>NV", "<MDl>x",
                                        "<MMl>a", "<MMt>NN"}));
    EXPECT_EQ(rgev[1].rgszGap, (Strings{"</f>\n", "<<virtualend>>"}));
}

TEST_F(EventReader, TagsThatEndAToken) {
    // After a token's candidate, a tag either ends the token (it is read
    // again between tokens, so it goes to the next line's gap) or belongs
    // to the token; only unknown ones go to the rest.
    for (const char* psz : {"f", "d", "s", "p", "w", "D", "c", "i", "/f", "/d", "/s", "/p", "/w",
                            "/c", "/i", "doc", "/doc", "csts", "/csts"}) {
        const std::vector<Event> rgev = Read(std::string("<f>a<MMt>NN<") + psz + ">x<MMt>VB");
        ASSERT_GE(rgev.size(), 2u) << psz;
        EXPECT_EQ(rgev[0].szRest, "") << psz;
    }
    for (const char* psz : {"/D", "x", "/x", "dd", "MMx", "MDx", "Mdl", "MXt", "/ct", "docs",
                            "/cst", "/cstss", "L", "T"}) {
        const std::vector<Event> rgev = Read(std::string("<f>a<MMt>NN<") + psz + ">x");
        ASSERT_EQ(rgev.size(), 1u) << psz;
        EXPECT_EQ(rgev[0].szRest, std::string("<") + psz + ">x") << psz;
    }
}

TEST_F(EventReader, EmptyTextsAndMissingCandidatesAreReplacedWithWarnings) {
    pm = MakeModel(1, kModeTest);
    std::vector<Event> rgev;
    std::string szErr = Stderr([&] { rgev = Read("<f>w\n<l><t><MMt><MMt>Y"); });
    ASSERT_EQ(rgev.size(), 1u);
    EXPECT_EQ(rgev[0].szLine, "X|XY/|w|=|>Y/X/");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<l>", "<t>X", "<MMt>X", "<MMt>Y"}));
    EXPECT_TRUE(Contains(
        szErr, "App: Warn(18032): tag: [ln 2] GetEvent: Empty lemma (form w) replaced by =\n"));
    EXPECT_TRUE(Contains(szErr, "[ln 2] GetEvent: Empty tag (form w) replaced by X\n"));
    EXPECT_TRUE(Contains(szErr, "[ln 2] GetEvent: Empty MMt tag (form w) replaced by X\n"));

    szErr = Stderr([&] { rgev = Read("<f>a<t>N\n<f>b<MMt>V"); });
    EXPECT_EQ(Lines(rgev), (Strings{"N|N/|a|=|>N/", "V|V/|b|=|>V/"}));
    EXPECT_TRUE(Contains(
        szErr, "[ln 2] GetEvent: No candidate tags (form a); true tag N is the only candidate"));
}

TEST_F(EventReader, TagTableConvertsSourceTagsAndAcceptsTargetTags) {
    const std::string szTable = dir.Write("tags.tab", "ab NN\ncd VB\n");
    const std::vector<Event> rgev = Read("<f>w<t>ab<MMt>cd<MMt>NN<MMt>ab", szTable);
    ASSERT_EQ(rgev.size(), 1u);
    EXPECT_EQ(rgev[0].szLine, "NN|NV/BN/|w|=|>NN/VB/");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<t>NN", "<MMt>VB", "<MMt>NN", "<MMt>NN"}));
    ReadFatal("<f>w\n<MMt>xy", "\\[ln 2\\] GetEvent: Tag xy not found in .*tags.tab", szTable);
}

TEST_F(EventReader, LineFormatPassesLinesUnchanged) {
    const std::vector<Event> rgev = Read("NN|N/N/|a|b|>NN/\n\n\tx\r\nlast");
    EXPECT_EQ(Lines(rgev), (Strings{"NN|N/N/|a|b|>NN/", "", "\tx\r", "last"}));
    for (const Event& ev : rgev) EXPECT_TRUE(ev.fWord == 1 && ev.rgszGap.empty());
    EXPECT_EQ(Lines(Read("\n")), (Strings{""}));
    EXPECT_EQ(Read(std::string(kDataLineSize - 2, 'x'))[0].szLine.size(), 7996u);
}

TEST_F(EventReader, MalformedInputIsFatalWithLineNumbers) {
    std::string szRest = "<f>a";
    for (int i = 0; i < 3; ++i) szRest += "<x>" + std::string(3000, 'r');
    const std::pair<std::string, std::string> rgCase[] = {
        {"<f>a\n\n<MMt>NNN", "\\[ln 3\\] GetEvent: Too short/long tag \\(!= 2\\): NNN, szForm"},
        // A tag error points at its token's line, not where the reader
        // looked ahead to.
        {"<f>a<MMt>NNN\n\n<f>b<MMt>NN", "\\[ln 1\\] GetEvent: Too short/long tag \\(!= 2\\): NNN"},
        {"<f>a<t>N<MMt>NN", "GetEvent: Too short/long tag \\(!= 2\\): N, form a"},
        {"<f>a<MMt>NN<f>b<" + std::string(250, 'x') + ">",
         "GetEvent: Tag/Text truncated or reading error, state 4: Tag \"<x+\", Text \"\": "
         "NN\\|N/N/\\|a\\|=\\|>NN/\n"},
        {"<f>a<l>" + std::string(252, 'l') + "<MMt>NN",
         "GetEvent: Lemma too long \\(252 > 251\\): l+"},
        {szRest, "GetEvent: Tag/Text too long \\(>= 3003\\): <x>r+"},
        {"<f>a<l>x\n<f>b<MMt>VB",
         "\\[ln 2\\] GetEvent: No candidate tags and no true tag \\(form a\\)"},
        {std::string(kDataLineSize - 1, 'x') + "\n",
         "GetEvent: Data line too long \\(>= 7998\\): x{20}\\.\\.\\."},
    };
    for (const auto& [szIn, szRegex] : rgCase) ReadFatal(szIn, szRegex);

    // At the limits: a form of 247 and a lemma of 251 characters.
    const std::string szForm(247, 'f');
    const std::string szLemma(251, 'l');
    EXPECT_EQ(Read("<f>" + szForm + "<l>" + szLemma + "<MMt>NN")[0].szLine,
              "NN|N/N/|" + szForm + "|" + szLemma + "|>NN/");
    // A longer form is kept in the gap only; the line holds a form no
    // condition can name.
    const std::vector<Event> rgevLong = Read("<f>" + szForm + "ff<MMt>NN");
    EXPECT_EQ(rgevLong[0].szLine, std::string("NN|N/N/|") + szFormTooLong + "|=|>NN/");
    EXPECT_EQ(rgevLong[0].rgszGap[0], "<f>" + szForm + "ff");
}

TEST_F(EventReader, CandidateSetBeyondTheDataLineIsFatal) {
    // 30 elements per tag: every candidate needs 31 characters of the line.
    pm = MakeModel(30, kModeTrain);
    std::string szOk = "<f>a";
    std::string szTooMany = "<f>a";
    std::string szEdge; // 253 candidates
    for (int i = 0; i < 300; ++i) {
        std::string szTag(30, '-');
        szTag[0] = static_cast<char>('A' + i % 26);
        szTag[1] = static_cast<char>('a' + i / 26);
        if (i < 200) szOk += "<MMt>" + szTag;
        if (i < 253) szEdge += "<MMt>" + szTag;
        szTooMany += "<MMt>" + szTag;
    }
    // Tag, AC part (26, 8 and 28 single values), form, lemma, 200 candidates.
    EXPECT_EQ(Read(szOk)[0].szLine.size(), 30 + 1 + 27 + 9 + 28 * 2 + 6 + 200 * 31);
    ReadFatal(szTooMany, "GetEvent: Cannot add tag to full tag list: [A-Z][a-z]-+");
    // The candidates fit, but the whole line holds at most 7996 characters:
    // the form decides. The message shows the line up to the part that did
    // not fit.
    EXPECT_EQ(Read("<f>" + std::string(23, 'f') + szEdge)[0].szLine.size(), 7996u);
    ReadFatal(
        "<f>" + std::string(24, 'f') + szEdge,
        "GetEvent: Output data line too long \\(>= 7998\\): Aa-{28}\\|[^|]+\\|f{24}\\|=\\|>\n");
}

TEST_F(EventReader, FormsLemmasAndTagsOfEveryShortLengthAreKeptWhole) {
    // Texts of distinct characters, and each length's differing from the
    // last, so that a character copied to the wrong place or not at all
    // shows; tags of 2 to 17 elements, around the lengths copied as words.
    const auto Text = [](std::size_t cch, char chFirst) {
        std::string sz;
        for (std::size_t k = 0; k < cch; ++k) sz += static_cast<char>(chFirst + k);
        return sz;
    };
    for (const int cTagElem : {2, 7, 8, 15, 16, 17}) {
        pm = MakeModel(cTagElem, kModeTest);
        for (std::size_t cch = 1; cch <= 20; ++cch) {
            const std::string szTag =
                Text(static_cast<std::size_t>(cTagElem), static_cast<char>('A' + cch % 7));
            std::string szAC;
            for (const char ch : szTag) szAC += std::string{ch, '/'};
            const auto chFirst = static_cast<char>('a' + cch % 4);
            const std::string szForm = Text(cch, chFirst), szLemma = Text(cch, chFirst + 1);
            const std::vector<Event> rgev =
                Read("<f>" + szForm + "<l>" + szLemma + "<t>" + szTag + "<MMt>" + szTag + "\n");
            ASSERT_FALSE(rgev.empty());
            EXPECT_EQ(rgev[0].szLine,
                      szTag + "|" + szAC + "|" + szForm + "|" + szLemma + "|>" + szTag + "/");
        }
    }
}

// Every tag a token repeats is kept once, in the order first seen (the
// candidate part lists them last first): many candidates, repeated near and
// far, among tags that differ in one character anywhere, of the lengths
// compared as words.
TEST_F(EventReader, RepeatedCandidatesAreKeptOnce) {
    for (const int cTagElem : {8, 15, 16}) {
        pm = MakeModel(cTagElem, kModeTest);
        const auto cch = static_cast<std::size_t>(cTagElem);
        const auto NthTag = [&](int i) {
            std::string sz(cch, '-');
            sz[static_cast<std::size_t>(i) % cch] = static_cast<char>('A' + i / 3 % 26);
            return sz;
        };
        for (const int cStep : {1, 7, 13}) {
            std::string szIn = "<f>a";
            std::vector<std::string> rgszSeen;
            for (int k = 0; k < 150; ++k) {
                const std::string szTag = NthTag(k * cStep % 97 % (20 + k));
                szIn += "<MMt>" + szTag + (k % 40 == 39 ? "\n" : "");
                if (std::find(rgszSeen.begin(), rgszSeen.end(), szTag) == rgszSeen.end())
                    rgszSeen.push_back(szTag);
            }
            std::string szPart;
            for (auto it = rgszSeen.rbegin(); it != rgszSeen.rend(); ++it) szPart += *it + "/";
            const std::vector<Event> rgev = Read(szIn + "\n<f>b<MMt>" + NthTag(0) + "\n");
            ASSERT_EQ(rgev.size(), 2u);
            const std::string& szLine = rgev[0].szLine;
            EXPECT_EQ(szLine.substr(szLine.find('>') + 1), szPart) << cTagElem << " " << cStep;
        }
    }
}

// A line goes on with its length only when none of its characters can be a
// zero byte: the input's never are, a tag from the analyser's lexicon may
// be. Taken with its length, the line is what its text up to the first
// zero byte is.
TEST_F(EventReader, LinesGoOnWithTheirLengthOnlyWithoutZeroBytes) {
    LexiconBuilder builder(2);
    builder.AddToken("dog", "dog", std::string_view("N\0", 2));
    builder.AddToken("cat", "cat", "NS");
    AnalyserUse use;
    use.from = CandidatesFrom::Lexicon;
    use.pAnalyser = std::make_unique<Analyser>(std::make_shared<Lexicon>(builder.Build()),
                                               GuessSettings{0.99, 0});
    auto ppdf = OpenReader(dir.Write("in.txt", "<s><f>dog<MMt>NN<f>cat<MMt>VB"));
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    gapRecType gap;
    std::string szWhole;
    for (const AnalyserUse* puse : std::array<const AnalyserUse*, 2>{nullptr, &use}) {
        ppdf->pAnalyserUse = puse;
        ASSERT_EQ(GetEvent(szLine, szRest, gap, *ppdf, *pm), 0);
        EXPECT_EQ(EventLine(szLine, *ppdf), szLine.data());
        szWhole += ppdf->lineParts.fNoZeroByte ? "1" : "0";
    }
    ASSERT_EQ(GetEvent(szLine, szRest, gap, *ppdf, *pm), 0);
    EXPECT_EQ(EventLine(szLine, *ppdf), "NS|N/S/|cat|=|>NS/");
    EXPECT_EQ(szWhole + (ppdf->lineParts.fNoZeroByte ? "1" : "0"), "100");
}

TEST_F(EventReader, PlainTokenTagsReadTheSameThroughTheShortPath) {
    // Everything a reading shows: the events (with the line number after
    // each), the status and standard error.
    const auto Reading = [&](const std::string& szFile, bool fPlain, std::string_view szTable) {
        std::string sz;
        const FatalResult res = Fatal([&] {
            auto ppdf = OpenReader(szFile, szTable);
            ppdf->fPlainPairs = fPlain;
            std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
            gapRecType gap;
            while (GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0) {
                sz += std::string(szLine.data()) + " rest=" + szRest.data() +
                      " w=" + std::to_string(ppdf->fWord) + " ln=" + std::to_string(ppdf->lLine);
                for (const std::string& szEntry : GapTexts(gap)) sz += " [" + szEntry + "]";
                sz += "\n";
            }
        });
        return sz + "status " + std::to_string(res.iStatus) + "\n" + res.szErr;
    };
    std::string szManyCands = "<f>a";
    const auto Letter = [](int k) { return static_cast<char>(k < 26 ? 'A' + k : 'a' + k - 26); };
    for (int i = 0; i < 2700; ++i)
        szManyCands += "<MMt>" + std::string{Letter(i % 52), Letter(i / 52)};
    const std::string szTok = "<f>a<l>b<t>NN<MMl>b<MMt>NN<MMt>VB\n";
    const std::string rgszIn[] = {
        szTok + "<f>c<MMt>NN<MMt>VB<MMt>NN\n<s>\n" + szTok + "<f>z<MMt>NNN",
        "<f>a\n<l>b\n\n<MMt>NN \n\t <MMt>VB  \n<f>z\n<MMt>NNN", // blanks, line numbers
        "<f>a<l>b<l>c<t>VB<t>NN<MMt>NN<MMt>VB<f>b<MMt>NN",      // second lemma and tag
        "<f>a<l><t><MMt>NN<MMt>",
        "<f>a<MMl><MMt>N<f>b<t>N<MMt>NN", // empty, short
        "<f>a<t>NNN<MMt>NN",
        "<f>a<l>" + std::string(252, 'l') + "<MMt>NN",
        "<f>a<l>x\ty<MMt>NN",
        "<f>a<l>x\ny<MMt>NN",
        "<f>a<l> x<MMt> NN<MMt>VB ",
        "<f>a<l>x>y<MMt>NN\x01",
        "<f>a<l>x\x01<MMt>NN",
        std::string("<f>a<l>x\0y<MMt>NN", 17),
        "<f>a<MMt>NN\r\n<f>b<MMt>VB\r\n",
        "<f>a<l x=1>b<MMt src=a>NN<MMt >VB<L>c<mmt>NN",
        "<f>a<comment><l>x</comment><MMt>NN<Ct>y<MDt src=o>NN<zz>r<MMt>VB<MMl>\n<f>b",
        "<f>a<MMl>" + std::string(3996, 'm') + "<MMt>NN",
        szManyCands,
        "<f>a<MMl>\n<MMt>NN<d>.<MMt>VB<MMt>NN<p><f>b<MMt>VB</f>",
        "<d>,<MMt>NN<d>.\n\n<l>x<d>\t;<MMt>VB<d> :<d>!\t<d>?<x><d>-\n<MMt>NN<d><f>b",
        "<f>a<f>\n<f> b<MMt>NN<f>"};
    const std::string szTable = dir.Write("tags.tab", "ab NN\n");
    for (const std::string& szIn : rgszIn) {
        const std::string szFile = dir.Write("in.txt", szIn);
        EXPECT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << szIn;
        EXPECT_EQ(Reading(szFile, true, szTable), Reading(szFile, false, szTable)) << szIn;
    }
    // Whole lines of a token's tags, and lines that are nearly such, with
    // tags of two elements and of fifteen (for which NN and VB stand).
    const std::string szA = "NNFS1-----A----", szB = "NNFS4-----A----";
    const auto Lines = [&](int cTagElem) {
        const auto Tag = [&](std::string_view sz) {
            return cTagElem == 2 ? std::string(sz) : sz == "NN" ? szA : szB;
        };
        const auto NthTag = [&](int i) {
            std::string sz(static_cast<std::size_t>(cTagElem), '-');
            sz[0] = Letter(i % 52);
            sz[1] = Letter(i / 52);
            return sz;
        };
        // More pairs on a line than are taken at once; more candidates, 60
        // to a line, than a token holds.
        std::string szLineOfMany, szLinesOfMany;
        for (int i = 0; i < 70; ++i) szLineOfMany += "<MMt>" + NthTag(i);
        for (int i = 0; i < 2700; ++i)
            szLinesOfMany += "<MMt>" + NthTag(i) + (i % 60 == 59 ? "\n" : "");
        const std::string szNN = Tag("NN"), szVB = Tag("VB");
        return std::vector<std::string>{
            "<f>a<l>b<l>c<MMt>" + szNN + "\n<f>b<t>" + szNN + "<MMt>" + szNN + "<t>" + szVB +
                "\n<f>c<MMt>" + szVB + "\n",
            "<f>a<t>" + szNN + "\n<l>b<t>" + szVB + "<MMt>" + szNN + "\n<l>c<MMt>" + szVB +
                "\n<f>b<MMt>" + szNN + "\n",
            "<f>a<l>b <MMt>" + szNN + "\n<f>b<MMt>" + szNN + " \n<f>c<MMl> x<MMt>" + szVB +
                "\n<f>d<MMt> " + szNN + "\n<f>e<t>" + szNN + "\t<MMt>" + szNN + "\n",
            "<f>a<MMl>x|y<l>p>q<MMt>" + szNN + "\n<f>b<MMl><MMt>" + szNN + "\n<f>c<l><MMt>" + szNN +
                "\n<f>d<MMt>" + szNN + "\n",
            "<f>a<MMt>" + szNN + "<f>b<MMt>" + szVB + "\n<f>c<MMt>" + szNN + "\r\n<f>d<MMt>" +
                szNN + "\n\n<f>e<MMt>" + szVB + "\n<s>\n",
            "<f>a<l>" + std::string(251, 'l') + "<MMt>" + szNN + "\n<f>b<l>" +
                std::string(252, 'l') + "<MMt>" + szNN + "\n<f>c<MMl>" + std::string(300, 'm') +
                "<MMt>" + szNN + "\n<f>d<MMt>" + szNN + "\n",
            "<f>a<MMt>" + szNN + "<MMt>N\n<f>b<MMt>" + szNN + "V\n<f>c<MMt>" + szNN + "\n",
            "<f>a" + szLineOfMany + "\n<f>b<MMt>" + szNN + "\n",
            "<f>a\n" + szLinesOfMany + "<f>b<MMt>" + szNN + "\n",
            "<f>a<l>b<t>" + szNN + "<MMl>b<MMt>" + szNN + "<MMt>" + szVB + "\n<f>b<l>c<t>" + szVB +
                "<MMt>" + szVB + "<MMt>" + szVB + "\n<f>c<MMt>" + szNN + "\n"};
    };
    for (const std::string& szIn : Lines(2)) {
        const std::string szFile = dir.Write("in.txt", szIn);
        EXPECT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << szIn;
    }
    // Candidates of 15 elements, taken two words at a time.
    pm = MakeModel(15, kModeTest);
    for (const std::string& szIn : Lines(15)) {
        const std::string szFile = dir.Write("in.txt", szIn);
        EXPECT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << szIn;
    }
    const std::string rgszLong[] = {
        "<f>a<l>b<t>" + szA + "<MMl>b<MMt>" + szA + "<MMt>" + szB + "<MMt>" + szA + "<MMt>" + szB +
            "\n<f>b<MMt>" + szB + "<MMt>" + szA,
        "<f>a<MMt> NFS1-----A----<MMt>NNFS1-----A--- <MMt>" + szA + " <MMt>" + szB,
        "<f>a<MMt>NNFS1--\x01--A----<MMt>NNFS1-----A---\t<MMt>" + szA + "\n\n<MMt>" + szB,
        "<f>a<MMt>" + szA + "-<MMt>" + szA.substr(1) + "<MMt>" + szA + "<MMT>" + szB + "<MMt>" +
            szA,
        "<f>a<MMt>" + szA + "<MMt>" + szB + "<f>b<MMt>" + szA};
    for (const std::string& szIn : rgszLong) {
        const std::string szFile = dir.Write("in.txt", szIn);
        EXPECT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << szIn;
    }
    const std::string szRun = "<f>a<MMt>" + szA + "<MMt>" + szB + "<MMt>" + szA + "<MMt>" + szB;
    for (std::size_t cchPad = kPdfBlockSize - szRun.size() - 4; cchPad <= kPdfBlockSize; ++cchPad) {
        const std::string szFile =
            dir.Write("in.txt", "<p>" + std::string(cchPad - 3, 'y') + szRun + "\n<f>z");
        ASSERT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << cchPad;
    }
    const std::string szTok15 = "<f>a<l>b<t>" + szA + "<MMl>b<MMt>" + szA + "<MMt>" + szB + "\n";
    const std::string szTail15 =
        szTok15 + "<f>b<l>c<MMl>x y<MMt>" + szB + "\n\n<t>" + szB + " <MMt>" + szA + "\n" + szTok15;
    for (std::size_t cchPad = kPdfBlockSize - szTail15.size() - 4; cchPad <= kPdfBlockSize;
         ++cchPad) {
        const std::string szFile =
            dir.Write("in.txt", "<p>" + std::string(cchPad - 3, 'y') + szTail15 + "<f>z<MMt>N");
        ASSERT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << cchPad;
    }
    pm = MakeModel(2, kModeTest);

    // Wherever a block ends.
    const std::string szTail =
        szTok + "<f>b<l>c<MMl>x y<MMt>VB\n\n<t>VB <MMt>NN\n<d>,<MMt>NN\n" + szTok;
    for (std::size_t cchPad = kPdfBlockSize - szTail.size() - 4; cchPad <= kPdfBlockSize;
         ++cchPad) {
        const std::string szFile =
            dir.Write("in.txt", "<p>" + std::string(cchPad - 3, 'y') + szTail + "<f>z<MMt>N");
        ASSERT_EQ(Reading(szFile, true, ""), Reading(szFile, false, "")) << cchPad;
    }
}

TEST(Gaps, EntriesStoresAndKeptRuns) {
    pdfRecType pdf;
    pdf.svTag = "<t>";
    gapRecType gap;
    AddToGap(pdf, "NN", gap, "\n");
    AddToGap(pdf, "", gap, "");
    gap.Add("");
    EXPECT_EQ(GapTexts(gap), (Strings{"<t>NN\n", "<t>", ""}));
    EXPECT_EQ(gap.Text(0, 2), "<t>NN\n<t>");

    // A store of three lines' gaps; the second and the last are kept, the
    // empty one between them too.
    gapRecType store;
    std::vector<GapSpan> rgspan;
    for (const Strings& rgsz :
         {Strings{"<a>1", "<b>2"}, Strings{"<c>3"}, Strings{}, Strings{"<d>4", "", "<e>5"}}) {
        FreeGap(gap);
        for (const std::string& sz : rgsz) gap.Add(sz);
        rgspan.push_back({store.Count(), gap.Count()});
        store.AddEntries(gap, 0, gap.Count());
    }
    EXPECT_EQ(GapTexts(GapView(store, rgspan[3])), (Strings{"<d>4", "", "<e>5"}));
    store.KeepRuns(std::span(rgspan).subspan(1));
    EXPECT_EQ(GapTexts(store), (Strings{"<c>3", "<d>4", "", "<e>5"}));
    EXPECT_EQ(GapTexts(GapView(store, rgspan[1])), (Strings{"<c>3"}));
    EXPECT_TRUE(GapView(store, rgspan[2]).Empty());
    EXPECT_EQ(GapView(store, rgspan[3]).TextFrom(1), "<e>5");
    // A cursor walks a line's entries from any of them, empty ones too.
    for (std::size_t k = 0; k <= 3; ++k) {
        GapCursor cursor = GapView(store, rgspan[3]).CursorAt(k);
        const Strings rgszWant{"<d>4", "", "<e>5"};
        for (std::size_t kNext = k; kNext < 3; ++kNext)
            EXPECT_EQ(cursor.Next(), rgszWant[kNext]) << k;
    }

    // Copies (tokens kept in a list) and moved-from lists stay usable on
    // their own: each takes new entries into its own storage.
    gapRecType copy = store;
    copy.Add(std::string(300, 'x'));
    store.Add("<f>6");
    EXPECT_EQ(GapTexts(copy), (Strings{"<c>3", "<d>4", "", "<e>5", std::string(300, 'x')}));
    gapRecType moved = std::move(copy);
    copy.Add("<g>7");
    EXPECT_EQ(GapTexts(copy), (Strings{"<g>7"}));
    EXPECT_EQ(GapTexts(store), (Strings{"<c>3", "<d>4", "", "<e>5", "<f>6"}));
    EXPECT_EQ(moved.Count(), 5u);
}

} // namespace
} // namespace vexta::test
