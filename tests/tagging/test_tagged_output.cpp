// Tagged output: the line writer on one-line tables, and windowed tagging
// with a model that decides every element by its value counts alone.
#include "tagging/tagged_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"
#include "features/feature_chains.h"
#include "test_model_util.h"
#include "test_util.h"

namespace vexta {
namespace {

using ValueCounts = std::vector<std::pair<char, long>>;

// No classes or features: each element takes its most frequent value.
std::unique_ptr<test::TinyModel> CountModel(std::initializer_list<ValueCounts> rgCounts,
                                            int cBeam = 3) {
    auto ptm = std::make_unique<test::TinyModel>(static_cast<int>(rgCounts.size()), cBeam);
    ptm->m.fProgMode = kModeTag;
    int t = 0;
    for (const ValueCounts& counts : rgCounts) {
        TagElem& te = ptm->m.rgteTagElem[t++];
        te.fSignPlus = 1;
        for (const auto& [ch, cl] : counts) te.rgclSubtagCnt[static_cast<unsigned char>(ch)] = cl;
    }
    return ptm;
}

// Counts that choose V in element 0 and B in element 1.
std::unique_ptr<test::TinyModel> SgmlModel() {
    return CountModel({{{'N', 1}, {'V', 10}}, {{'B', 10}, {'P', 1}}});
}

struct Written {
    int rc;
    std::string szOut;
    std::string szErr = {}; // when captured
};

// Writes a table of the SGML token szLine whose gap holds rgszGap.
Written WriteOne(std::string_view szLine, std::initializer_list<std::string_view> rgszGap,
                 std::string_view szTag, std::string_view szTaggerID = "") {
    DataTable dt;
    dt.iInputState = 3;
    dt.rgpszDataLine = {std::string(szLine), ""};
    dt.rgpszRest = {"", ""};
    dt.rgpgap.resize(3);
    for (std::string_view sz : rgszGap) dt.gapStore.Add(sz);
    dt.rgpgap[0] = {0, dt.gapStore.Count()};
    Model m;
    m.szTaggerID = szTaggerID;
    testing::internal::CaptureStdout();
    const int rc = WriteTaggedLine(dt, m, 0, szTag, 1, false, "");
    const Written res{rc, testing::internal::GetCapturedStdout()};
    // Written into an output buffer, the line is the same.
    OutText szOut;
    dt.pszOut = &szOut;
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteTaggedLine(dt, m, 0, szTag, 1, false, ""), rc);
    EXPECT_EQ(std::string(szOut.View()) + testing::internal::GetCapturedStdout(), res.szOut);
    return res;
}

class TagDataVtc : public testing::Test {
protected:
    void TearDown() override { ux_ArgClose(); }

    // Element 0 of a two-element model: B is likely after A and A after B,
    // so every choice hangs on the left context; element 1 is Z throughout,
    // as on boundaries.
    static void ChoicesOnTheLeft(test::TinyModel& tm) {
        tm.m.fProgMode = kModeTag;
        tm.SetClasses(0, "ABZ", {"AB"});
        tm.SetClasses(1, "Z", {});
        tm.AddFeature(0, tm.Class(0, "AB"), {1, 9}, 1.0, {tm.Term(-1, 0, "A")});
        tm.AddFeature(0, tm.Class(0, "AB"), {9, 1}, 1.0, {tm.Term(-1, 0, "B")});
    }

    // Tags szInput as the file named by an argument file.
    // With fStdin the file comes on standard input ("InData = -"); with
    // fErr standard error is captured too.
    Written Tag(Model& m, std::string_view szInput, int fDebug = 0,
                const VtcWindow& win = kVtcWindow, int cThreads = 1, bool fStdin = false,
                bool fErr = false) {
        ux_ArgClose();
        const std::string szIn = dir_.Write("in.txt", szInput);
        const std::string szArgs =
            dir_.Write("t.args", "InData = " + (fStdin ? "-" : szIn) + "\nSentTag = " + szSentTag_ +
                                     "\nSentForm = ###\nSentLemma = ###\n"
                                     "TagTable = \n" +
                                     (szInput.starts_with('#') ? "InputFormat = conllu\n" : ""));
        EXPECT_EQ(ux_ArgOpen(szArgs), 0);
        DataTable dt;
        m.pdtS = &dt;
        const int fdStdin = fStdin ? dup(STDIN_FILENO) : -1;
        if (fStdin) {
            const int fd = open(szIn.c_str(), O_RDONLY);
            dup2(fd, STDIN_FILENO);
            close(fd);
        }
        testing::internal::CaptureStdout();
        if (fErr) testing::internal::CaptureStderr();
        int rc = 0;
        try {
            rc = TagDataVTC(szArgs, m, fDebug, "", win, cThreads);
        } catch (const ux_FatalExit& e) {
            rc = e.Status(); // after its message
        }
        Written res{rc, testing::internal::GetCapturedStdout()};
        if (fErr) res.szErr = testing::internal::GetCapturedStderr();
        if (fStdin) {
            dup2(fdStdin, STDIN_FILENO);
            close(fdStdin);
        }
        EXPECT_TRUE(dt.rgpszDataLine.empty()); // the window storage is released
        m.pdtS = nullptr;
        return res;
    }

    test::TempDir dir_;
    std::string szSentTag_ = "ZZ"; // the tag of boundary tokens
};

// Line-format input "B|AB/|w<i>|=|>B/A/"; the counts choose A.
std::string LineInput(long cLines, std::string_view szTag) {
    std::string sz;
    for (long i = 0; i < cLines; ++i)
        sz += std::string(szTag) + "|AB/|w" + std::to_string(i) + "|=|>B/A/\n";
    return sz;
}

TEST_F(TagDataVtc, WindowsWriteEveryLineOnceInOrder) {
    // Windows of 10 lines, 4 carried over, output from line 2 of a later
    // window: inputs end inside, at and just after each boundary. Then the
    // real windows with an input that ends exactly when the first is full.
    const std::pair<VtcWindow, std::vector<long>> rgCase[] = {
        {{10, 4, 2}, {1, 5, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 29, 40}},
        {kVtcWindow, {kVtcWindow.clCapacity, kVtcWindow.clCapacity + 1}}};
    for (const auto& [win, rgcLines] : rgCase) {
        for (const long cLines : rgcLines) {
            auto ptm = CountModel({{{'A', 10}, {'B', 1}}}, 1);
            const Written res = Tag(ptm->m, LineInput(cLines, "B"), 0, win);
            EXPECT_EQ(res.rc, -2) << cLines; // no feature fired: a note, not a failure
            EXPECT_TRUE(res.szOut == LineInput(cLines, "A")) << cLines;
        }
    }
}

TEST_F(TagDataVtc, ThreadsWriteWhatOneThreadWrites) {
    // Every choice hangs on the left context (ChoicesOnTheLeft). Windows
    // of 10 lines (4 carried over, output from line 2) and of 7 cut the input
    // inside sentences and documents; inputs are shorter than a window, end
    // at a window edge or run over several.
    test::TinyModel tm(2, 3);
    ChoicesOnTheLeft(tm);
    // Features that the laid-out chains test by form, AC and tag values
    // alone, and with terms only the whole match tests (closest positions,
    // the whole tag), and at the closest line with an AC string.
    tm.AddFeature(0, tm.Class(0, "AB"), {1, 30}, 1.0, {tm.Term(0, kElemForm, "w1")});
    tm.AddFeature(0, tm.Class(0, "AB"), {4, 3}, 0.5,
                  {tm.Term(1, kElemAC, "AB"), tm.Term(-2, 0, "A")});
    tm.AddFeature(0, tm.Class(0, "AB"), {2, 40}, 1.0,
                  {tm.Term(-1, 0, "B"), tm.Term(0, kElemForm, "w2")});
    tm.AddFeature(0, tm.Class(0, "AB"), {30, 1}, 1.0,
                  {tm.Closest(kPosClosestLeft, 0, "B", 0, "B"), tm.Term(0, kElemACMember, "A")});
    tm.AddFeature(0, tm.Class(0, "AB"), {1, 20}, 2.0,
                  {tm.Term(-1, kElemTag, "AZ"), tm.Term(1, kElemACMember, "B")});
    tm.AddFeature(0, tm.Class(0, "AB"), {25, 2}, 1.0,
                  {tm.Closest(kPosClosestLeft, kElemAC + 1, "Z", 0, "A")});
    tm.AddFeature(0, tm.Class(0, "AB"), {1, 25}, 1.0,
                  {tm.Closest(kPosClosestRight, kElemAC, "AB", kElemForm, "w2")});
    std::vector<std::string> rgszIn;
    for (const int cLines : {3, 10, 23, 41}) {
        std::string sz;
        for (int i = 0; i < cLines; ++i) sz += "BZ|AB/Z/|w" + std::to_string(i) + "|=|>BZ/AZ/\n";
        rgszIn.push_back(sz);
    }
    for (const int cSent : {1, 4, 9}) {
        std::string sz = "<csts>\n<doc id=1>\n";
        for (int i = 0; i < cSent; ++i) {
            sz += "<s>\n";
            for (int k = 0; k < 1 + i % 4; ++k)
                sz += "<f>w" + std::to_string(k) + "<MMl>w<MMt>AZ<MMt>BZ\n";
            if (i == cSent / 2) sz += "</doc>\n<doc id=2>\n";
        }
        rgszIn.push_back(sz + "</doc>\n</csts>\n");
    }
    // CoNLL-U with one-letter tags, padded on reading and written as read: a
    // window must know the spellings read before and within it.
    for (const int cSent : {2, 5, 9}) {
        std::string sz = "# newdoc\n";
        for (int i = 0; i < cSent; ++i) {
            sz += "# sent_id = " + std::to_string(i) + "\n";
            for (int k = 1; k <= 1 + i % 4; ++k)
                sz += std::to_string(k) + "\tw\tw\t_\t" + (i < cSent / 2 ? "A" : "B") +
                      (k % 2 != 0 ? "" : "Z") + "\t_\t_\t_\t_\t_\n";
            sz += "\n";
        }
        rgszIn.push_back(sz);
    }
    std::string szAll;
    // One thread writes its lines as they come (an output chunk of one
    // character) or a window at a time.
    for (const VtcWindow& win :
         {VtcWindow{10, 4, 2}, VtcWindow{7, 3, 3}, kVtcWindow,
          VtcWindow{10, 4, 2, kInputPieceSize, 1}, VtcWindow{7, 3, 3, kInputPieceSize, 0}}) {
        for (const std::string& szIn : rgszIn) {
            const Written res1 = Tag(tm.m, szIn, 0, win, 1);
            szAll += res1.szOut;
            for (const int cThreads : {2, 4}) {
                const Written res = Tag(tm.m, szIn, 0, win, cThreads);
                EXPECT_EQ(res.rc, res1.rc);
                EXPECT_TRUE(res.szOut == res1.szOut) << cThreads << " threads:\n" << szIn;
            }
            // The chains laid out for tagging choose what the chains do.
            tm.m.pChains = BuildFeatureChains(tm.m);
            const Written resLaid = Tag(tm.m, szIn, 0, win, 2);
            tm.m.pChains = nullptr;
            EXPECT_TRUE(resLaid.szOut == res1.szOut) << "laid-out chains:\n" << szIn;
        }
    }
    // The words were looked up in the model's string table, never added.
    const char* psz = nullptr;
    EXPECT_FALSE(ux_HashFindKey(tm.m.phashStr.get(), "w3", &psz));
    // Both values are chosen, in both formats; short tags keep their spelling.
    for (const char* psz : {"AZ|", "BZ|", "<MDt>AZ", "<MDt>BZ", "_\tB\t_"})
        EXPECT_NE(szAll.find(psz), std::string::npos) << psz;
}

TEST_F(TagDataVtc, PiecesReadAheadChangeNothing) {
    // SGML read in pieces by the workers, pieces cut before every <s> line
    // (1 byte), every few sentences or not at all: standard output, standard
    // error and status are what one thread gives, also where a piece holds
    // what would write a message or stop the run, from a file and from
    // standard input.
    test::TinyModel tm(2, 3);
    ChoicesOnTheLeft(tm);
    const auto Tokens = [](int cTok, std::string_view szLast = {}) {
        std::string sz;
        for (int k = 0; k < cTok; ++k)
            sz += "<f>w" + std::to_string(k) + "<l>w<MMl>w<MMt>AZ<MMt>BZ\n";
        return sz + std::string(szLast);
    };
    std::string szMany = "<csts>\n<doc id=1>\n";
    for (int i = 0; i < 12; ++i)
        szMany += "<s id=" + std::to_string(i) + ">\n" + Tokens(1 + i % 3) + "</s>\n" +
                  (i % 4 == 3 ? "</p>\n<p>\n" : "");
    szMany += "</doc>\n</csts>\n";
    const std::string szHead = "<csts>\n<doc>\n<s>\n" + Tokens(9) + "<s>\n" + Tokens(9);
    const std::pair<const char*, std::string> rgCase[] = {
        {"sentences with tags between them", szMany},
        {"<s> first and last, no end tags", "<s>\n" + Tokens(3) + "<s>\n<s>\n" + Tokens(2)},
        {"no <s> at all", "<csts>\n" + Tokens(40) + "</csts>\n"},
        {"ends inside a token", szHead + "<s>\n<f>x<MMl>x<MMt>AZ"},
        {"a comment across cuts",
         szHead + "<comment>\n<s>\n" + Tokens(2) + "</comment>\n<s>\n" + Tokens(2)},
        {"a comment after <s>, across cuts",
         szHead + "<s>\n<comment>\n<s>\n" + Tokens(2) + "</comment>\n" + Tokens(2)},
        {"an extra </comment>", szHead + "</comment>\n<s>\n" + Tokens(2)},
        {"<s> inside text and inside a tag",
         szHead + "<s>\n<f>a<s>b<MMl>w<MMt>AZ\n<f x\n<s>\n<MMl>w<MMt>BZ\n<sx>\n" + Tokens(2)},
        {"an empty lemma", szHead + "<s>\n<f>x<l><MMl>x<MMt>AZ\n" + Tokens(9)},
        {"no candidates", szHead + "<s>\n<f>x<l>x<t>AZ\n" + Tokens(9)},
        {"an earlier tagger's choice", szHead + "<s>\n<f>x<MDt src=a>AZ<MMl>x<MMt>AZ\n"},
        {"a tag of a wrong length", szHead + "<s>\n<f>x<MMl>x<MMt>AZZ\n" + Tokens(9)},
        // The boundary token of the third <s> (line 20) ends a window of 21
        // lines, and reading on past it fails.
        {"a text too long after <s>",
         szHead + "<s>\n<f>" + std::string(4000, 'a') + "<MMl>x<MMt>AZ\n" + Tokens(9)},
        {"a line that does not parse", szHead + "<s>\n<f>x|y<MMl>x<MMt>A|\n" + Tokens(9)},
    };
    for (const auto& [pszCase, szIn] : rgCase) {
        for (const VtcWindow& win :
             {VtcWindow{10, 4, 2, 1}, VtcWindow{10, 4, 2, 30}, VtcWindow{7, 3, 3, 90},
              VtcWindow{7, 3, 3, 200}, VtcWindow{21, 4, 2, 1}, VtcWindow{kVtcWindow}}) {
            const Written res1 = Tag(tm.m, szIn, 0, win, 1, false, true);
            for (const int cThreads : {2, 4}) {
                for (const bool fStdin : {false, true}) {
                    const Written res = Tag(tm.m, szIn, 0, win, cThreads, fStdin, true);
                    const auto szWhat = std::string(pszCase) + ", " + std::to_string(cThreads) +
                                        " threads, piece " + std::to_string(win.cbPiece) +
                                        (fStdin ? ", standard input" : "");
                    EXPECT_EQ(res.rc, res1.rc) << szWhat;
                    EXPECT_EQ(res.szOut, res1.szOut) << szWhat;
                    EXPECT_EQ(res.szErr, res1.szErr) << szWhat;
                }
            }
        }
    }
    // The example corpus, with a model of its four tag elements that knows
    // no features.
    test::TinyModel tmVelan(4, 3);
    tmVelan.m.fProgMode = kModeTag;
    for (int t = 0; t < 4; ++t) tmVelan.SetClasses(t, "-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", {});
    const std::string szVelan = test::ReadFile(VEXTA_SOURCE_DIR "/examples/velan.csts");
    szSentTag_ = "Z---";
    const Written resVelan1 = Tag(tmVelan.m, szVelan, 0, kVtcWindow, 1, false, true);
    EXPECT_LE(resVelan1.rc, 0);
    EXPECT_NE(resVelan1.szOut.find("<MDt>"), std::string::npos);
    for (const int cThreads : {2, 4}) {
        const Written res =
            Tag(tmVelan.m, szVelan, 0, {20100, 100, 50, 4096}, cThreads, false, true);
        EXPECT_EQ(res.rc, resVelan1.rc);
        EXPECT_TRUE(res.szOut == resVelan1.szOut) << cThreads << " threads, example corpus";
        EXPECT_EQ(res.szErr, resVelan1.szErr);
    }
    szSentTag_ = "ZZ";
    // The runs that stop write the windows before the stop.
    const Written resStop = Tag(tm.m, rgCase[11].second, 0, {10, 4, 2, 1}, 2, false, true);
    EXPECT_EQ(resStop.rc, 18032);
    EXPECT_NE(resStop.szOut.find("<f>w8"), std::string::npos);
    EXPECT_NE(resStop.szErr.find("Too short/long tag"), std::string::npos);
}

TEST_F(TagDataVtc, AFaultyLineStopsEveryThreadCountWhereOneThreadStops) {
    // A line that does not parse (its tag is too long) and one without
    // candidates (fatal when its window is tagged), alone or one after the
    // other, in windows of 10 lines: the windows before go out, nothing after.
    auto ptm = CountModel({{{'A', 10}, {'B', 1}}}, 1);
    const std::string szNoParse = "BX|AB/|x|=|>B/A/";
    const std::string szNoCandidates = "B|AB/|y|=|";
    const std::vector<std::vector<std::pair<std::size_t, std::string>>> rgCase = {
        {{17, szNoParse}},
        {{17, szNoCandidates}},
        {{17, szNoParse}, {23, szNoCandidates}},
        {{17, szNoCandidates}, {23, szNoParse}}};
    for (const auto& rgFault : rgCase) {
        std::vector<std::string> rgszLine(41);
        for (std::size_t i = 0; i < rgszLine.size(); ++i)
            rgszLine[i] = "B|AB/|w" + std::to_string(i) + "|=|>B/A/";
        for (const auto& [i, sz] : rgFault) rgszLine[i] = sz;
        std::string szIn;
        for (const std::string& sz : rgszLine) szIn += sz + "\n";
        const Written res1 = Tag(ptm->m, szIn, 0, {10, 4, 2}, 1);
        EXPECT_GT(res1.rc, 0);
        EXPECT_NE(res1.szOut.find("|w12|"), std::string::npos);
        for (const int cThreads : {2, 4}) {
            const Written res = Tag(ptm->m, szIn, 0, {10, 4, 2}, cThreads);
            EXPECT_EQ(res.rc, res1.rc) << cThreads << " threads:\n" << szIn;
            EXPECT_TRUE(res.szOut == res1.szOut) << cThreads << " threads:\n" << szIn;
        }
    }
}

constexpr std::string_view kSgmlIn = "<csts>\n<doc id=\"d1\">\n<s id=\"s1\">\n"
                                     "<f>Dogs<l>dog<t>NP<MMl>dog<MMt>NP<MMt>VB"
                                     "<MDl src=\"other\">x<MDt src=\"other\">VB<x>1\n"
                                     "<f>bark<t>VB<MDl src=\"me\">old<MDt src=\"me\">NP"
                                     "<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
                                     "</doc>\n</csts>\n";

TEST_F(TagDataVtc, SgmlInputComesBackWithTheChoicesInserted) {
    auto ptm = SgmlModel();
    ptm->m.szTaggerID = "me";
    const Written res = Tag(ptm->m, kSgmlIn);
    EXPECT_EQ(res.rc, -1); // the end line has a single value: a note, not a failure
    // Nothing on the boundary line; the lemma of the <MMl> group holding the
    // chosen tag; foreign <MDl>/<MDt> stay, this tagger's own are replaced;
    // <x> moves to the end of its line; no line end after the input's end.
    EXPECT_EQ(res.szOut, "<csts>\n<doc id=\"d1\">\n<s id=\"s1\">\n"
                         "<f>Dogs<l>dog<t>NP<MDl src=\"me\">dog<MDt src=\"me\">VB"
                         "<MMl>dog<MMt>NP<MMt>VB<MDl src=\"other\">x<MDt src=\"other\">VB<x>1\n"
                         "<f>bark<t>VB<MDl src=\"me\">barks<MDt src=\"me\">VB"
                         "<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
                         "</doc>\n</csts>\n");
}

TEST_F(TagDataVtc, RefusedWindowsAndLines) {
    auto ptm = SgmlModel();
    // The second line's tag is too long: nothing is tagged or written.
    const std::string szIn = "VB|NV/BP/|a|=|>VB/\nVBX|NV/BP/|b|=|>VB/\n";
    EXPECT_EQ(Tag(ptm->m, szIn).rc, kTagVtcInsert);
    EXPECT_EQ(Tag(ptm->m, szIn).szOut, "");
    for (const VtcWindow& win : {VtcWindow{10, 10, 2}, VtcWindow{10, 4, 5}, VtcWindow{10, 4, -1}})
        EXPECT_EQ(Tag(ptm->m, szIn, 0, win).rc, kTagVtcParams);
}

TEST(WriteTaggedLine, BoundaryLinesAndLemmas) {
    // "<s" followed by ">" or white space is a sentence boundary; "<sc>" is not.
    for (const std::string_view sz : {"<s>", "<s id=1>", "<s\tid=1>", "<s\rx>", "<s\n>"})
        EXPECT_EQ(WriteOne("ZZ|Z/Z/|###|###|>ZZ/", {"<p>\n", sz}, "ZZ").szOut,
                  "<p>\n" + std::string(sz) + "\n");
    test::Stderr([] { EXPECT_EQ(WriteOne("ZZ|Z/Z/|x|x|>ZZ/", {"<sc>"}, "ZZ").rc, kOutNoLemma); });
    EXPECT_EQ(
        WriteOne("ZZ|Z/Z/|###|###|>ZZ/", {"</doc>\n", "</csts>\n", "<<virtualend>>"}, "ZZ").szOut,
        "</doc>\n</csts>\n");

    // The lemma is the last <MMl> before the first matching <MMt>; without a
    // tagger identifier the inserted tags have no attribute.
    const std::string_view szLine = "VB|NV/BP/|x|x|>VB/NP/";
    EXPECT_EQ(WriteOne(szLine,
                       {"<f>x", "<MMl>a", "<MMt>NP", "<MMl>b", "<MMt>VB", "<MMl>c", "<MMt>VB"},
                       "VB")
                  .szOut,
              "<f>x<MDl>b<MDt>VB<MMl>a<MMt>NP<MMl>b<MMt>VB<MMl>c<MMt>VB\n");
    // Attributes before the text; a lemma longer than most.
    const std::string szLong(600, 'l');
    EXPECT_EQ(
        WriteOne(szLine, {"<f>x", "<MMl a=\">\">b", "<MMt x>VB", "<MMl>" + szLong, "<MMt>NP"}, "NP")
            .szOut,
        "<f>x<MDl>" + szLong + "<MDt>NP<MMl a=\">\">b<MMt x>VB<MMl>" + szLong + "<MMt>NP\n");
    EXPECT_EQ(WriteOne(szLine, {"<f>x", "<MMl a=\">\">b", "<MMt x>VB"}, "VB").szOut,
              "<f>x<MDl>\">b<MDt>VB<MMl a=\">\">b<MMt x>VB\n");
    // A failing line leaves the tags before its analyses written.
    const Written lemmaNoText = WriteOne(szLine, {"<f>x", "<p>", "<MMl", "<MMt>VB"}, "VB");
    EXPECT_EQ(lemmaNoText.rc, kOutLemmaNoText);
    EXPECT_EQ(lemmaNoText.szOut, "<f>x<p>");
    const Written tagNoText = WriteOne(szLine, {"<f>x", "<MMl>x", "<MMt"}, "VB");
    EXPECT_EQ(tagNoText.rc, kOutTagNoText);
    EXPECT_EQ(tagNoText.szOut, "<f>x");
    Written noLemma{};
    // Once for each of WriteOne's two writings.
    const std::string szNote =
        "VTC: int error: selected tag not found among MMt??? line: VB|NV/BP/|x|x|>VB/NP/\n";
    EXPECT_EQ(test::Stderr([&] {
                  noLemma = WriteOne(szLine, {"<f>x", "<MMt>VB"}, "VB");
              }),
              szNote + szNote);
    EXPECT_EQ(noLemma.rc, kOutNoLemma);
    EXPECT_EQ(noLemma.szOut, "<f>x<MMt>VB");
}

TEST(WriteTaggedLine, OddGapEntries) {
    // Where the tags go in, and which lemma they take, when entry names are
    // short, near misses or not opened by "<"; lemmas and identifiers of
    // every length of a piece copied.
    const std::string_view szLine = "VB|NV/BP/|x|x|>VB/NP/";
    const std::string szL17(17, 'q');
    const std::string szL33(33, 'q');
    const std::string szMMl17 = "<MMl>" + szL17;
    const std::string szMMl33 = "<MMl>" + szL33;
    const struct {
        std::initializer_list<std::string_view> rgszGap;
        std::string_view szID;
        std::string szOut;
    } rgCase[] = {
        {{"<f>x", "<MM", "<MDt>y", "<MMx>z", "<MMl>a", "<MMt>", "<MMt>VB"},
         "",
         "<f>x<MM<MDt>y<MMx>z<MDl>a<MDt>VB<MMl>a<MMt><MMt>VB\n"},
        {{"<f>x", "xMMl>a", "<MMt>VB"}, "", "<f>x<MDl>a<MDt>VBxMMl>a<MMt>VB\n"},
        {{"<f>x", "<MDl>old", "<MMl>a", "<MMt>VB"},
         "id",
         "<f>x<MDl src=\"id\">a<MDt src=\"id\">VB<MDl>old<MMl>a<MMt>VB\n"},
        {{"<MMl>", "<MMtx>NP", "<MMt>VBx", szMMl17, "<MMt>VB"},
         "abcdefgh",
         "<MDl src=\"abcdefgh\">" + szL17 + "<MDt src=\"abcdefgh\">VB<MMl><MMtx>NP<MMt>VBx<MMl>" +
             szL17 + "<MMt>VB\n"},
        {{"<f>x", szMMl33, "<MMt>VB"},
         "t",
         "<f>x<MDl src=\"t\">" + szL33 + "<MDt src=\"t\">VB<MMl>" + szL33 + "<MMt>VB\n"},
        {{"<f>x", "<MMl>", "<MMt>VB"},
         "abcdefghijklmnopqrstuvwx",
         "<f>x<MDl src=\"abcdefghijklmnopqrstuvwx\"><MDt src=\"abcdefghijklmnopqrstuvwx\">VB<MMl>"
         "<MMt>VB\n"},
    };
    for (const auto& c : rgCase)
        EXPECT_EQ(WriteOne(szLine, c.rgszGap, "VB", c.szID).szOut, c.szOut);
}

} // namespace
} // namespace vexta
