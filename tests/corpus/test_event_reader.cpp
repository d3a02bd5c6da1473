// Event reader: data lines from SGML and line-format input, boundary tokens,
// candidate order and ambiguity classes, gap lists, tag conversion and the
// fatal reports of malformed input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/globals.h"
#include "corpus/event_reader.h"
#include "corpus_test_util.h"

namespace vexta::test {
namespace {

using Strings = std::vector<std::string>;

class EventReader : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Model> pm = MakeModel(2, kModeTest);

    std::vector<Event> Read(std::string_view szText, std::string_view szTagTable = "") {
        auto ppdf = OpenReader(dir.Write("in.txt", szText), "ZZ", szTagTable);
        return ReadAll(*ppdf, *pm);
    }
    // Reading that is expected to end the process.
    void ReadFatal(std::string_view szText, const std::string& szRegex) {
        const std::string szFile = dir.Write("in.txt", szText);
        EXPECT_EXIT(
            {
                auto ppdf = OpenReader(szFile);
                ReadAll(*ppdf, *pm);
            },
            ::testing::ExitedWithCode(18032 & 255), szRegex);
    }
};

constexpr std::string_view kSmall = "<csts>\n<doc>\n<s>\n<f>A<MMl>a<MMt>NN<MMt>VB\n</csts>\n";

TEST_F(EventReader, SmallDocumentGivesBoundaryTokenLineAndEndLine) {
    const std::vector<Event> rgev = Read(kSmall);
    ASSERT_EQ(rgev.size(), 3u);
    EXPECT_EQ(Lines(rgev),
              (Strings{"ZZ|Z/Z/|###|###|>ZZ/", "NN|NV/BN/|A|=|>VB/NN/", "ZZ|Z/Z/|###|###|>ZZ/"}));
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<csts>\n", "<doc>\n", "<s>"}));
    EXPECT_EQ(rgev[1].rgszGap, (Strings{"<f>A", "<MMl>a", "<MMt>NN", "<MMt>VB"}));
    EXPECT_EQ(rgev[2].rgszGap, (Strings{"</csts>\n", "<<virtualend>>"}));
    EXPECT_EQ(rgev[0].fWord, 0);
    EXPECT_EQ(rgev[1].fWord, 1);
    EXPECT_EQ(rgev[2].fWord, 0);
}

TEST_F(EventReader, TrainModeKeepsOnlyTheEndMarkAndFurtherCallsReturnEnd) {
    pm->fProgMode = kModeTrain;
    auto ppdf = OpenReader(dir.Write("in.txt", kSmall));
    const std::vector<Event> rgev = ReadAll(*ppdf, *pm);
    ASSERT_EQ(rgev.size(), 3u);
    EXPECT_TRUE(rgev[0].rgszGap.empty());
    EXPECT_TRUE(rgev[1].rgszGap.empty());
    EXPECT_EQ(rgev[2].rgszGap, (Strings{"<<virtualend>>"}));

    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    std::unique_ptr<gapRecType> pgap;
    EXPECT_EQ(GetEvent(szLine, szRest, pgap, *ppdf, *pm), -1);
    EXPECT_EQ(GetEvent(szLine, szRest, pgap, *ppdf, *pm), -1);

    // TrainOut keeps gaps like the other modes.
    pm->fProgMode = kModeTrainOut;
    EXPECT_EQ(Read(kSmall)[1].rgszGap, (Strings{"<f>A", "<MMl>a", "<MMt>NN", "<MMt>VB"}));
}

TEST_F(EventReader, CandidatesMostRecentFirstAndSortedClasses) {
    const std::vector<Event> rgev = Read("<f>w<l>lem<t>BA<MMt>BA<MMt>AC<MMt>BA<MMt>aZ<d>.<MMt>Z:");
    // The input ends inside the last token: it is the last line.
    ASSERT_EQ(rgev.size(), 2u);
    EXPECT_EQ(rgev[0].szLine, "BA|ABa/ACZ/|w|lem|>aZ/AC/BA/");
    EXPECT_EQ(rgev[1].szLine, "Z:|Z/:/|.|=|>Z:/");
    EXPECT_EQ(rgev[1].fWord, 0);
}

TEST_F(EventReader, SecondLemmaAndTagIgnoredForeignTagsKept) {
    szTaggerID = "me";
    const std::vector<Event> rgev = Read("<f>w<l>a<l>b<t>NN<t>VB<Ct>x<MDl src=\"me\">old"
                                         "<MDt src=me>VB<MDt src=other>NV<MDl>x<zz a=1>z"
                                         "<q>r<MMl>a<MMt>NN</f>");
    szTaggerID.clear();
    ASSERT_EQ(rgev.size(), 2u);
    EXPECT_EQ(rgev[0].szLine, "NN|N/N/|w|a|>NN/");
    EXPECT_EQ(rgev[0].szRest, "<zz a=1>z<q>r");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<l>a", "<t>NN", "<MDt src=other>NV", "<MDl>x",
                                        "<MMl>a", "<MMt>NN"}));
    EXPECT_EQ(rgev[1].rgszGap, (Strings{"</f>\n", "<<virtualend>>"}));
}

TEST_F(EventReader, EmptyTextsAreReplacedWithWarnings) {
    pm = MakeModel(1, kModeTest);
    ::testing::internal::CaptureStderr();
    const std::vector<Event> rgev = Read("<f>w\n<l><t><MMt><MMt>Y");
    const std::string szErr = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(rgev.size(), 1u); // the input ends inside the token
    EXPECT_EQ(rgev[0].szLine, "X|XY/|w|=|>Y/X/");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<l>", "<t>X", "<MMt>X", "<MMt>Y"}));
    EXPECT_NE(szErr.find("App: Warn(18032): tag: [ln 2] GetEvent: Empty lemma (form w) "
                         "replaced by =\n"),
              std::string::npos);
    EXPECT_NE(szErr.find("[ln 2] GetEvent: Empty tag (form w) replaced by X\n"), std::string::npos);
    EXPECT_NE(szErr.find("[ln 2] GetEvent: Empty MMt tag (form w) replaced by X\n"),
              std::string::npos);
}

TEST_F(EventReader, CommentsAreInvisible) {
    const std::vector<Event> rgev =
        Read("<s><comment><f>hidden<MMt>XX</comment><f>a<MMt>NN<comment><l>x</comment>");
    EXPECT_EQ(Lines(rgev), (Strings{"ZZ|Z/Z/|###|###|>ZZ/", "NN|N/N/|a|=|>NN/"}));
}

TEST_F(EventReader, TagTableConvertsSourceTagsAndAcceptsTargetTags) {
    const std::string szTable = dir.Write("tags.tab", "ab NN\ncd VB\n");
    const std::vector<Event> rgev = Read("<f>w<t>ab<MMt>cd<MMt>NN<MMt>ab", szTable);
    ASSERT_EQ(rgev.size(), 1u);
    EXPECT_EQ(rgev[0].szLine, "NN|NV/BN/|w|=|>NN/VB/");
    EXPECT_EQ(rgev[0].rgszGap, (Strings{"<f>w", "<t>NN", "<MMt>VB", "<MMt>NN", "<MMt>NN"}));

    const std::string szFile = dir.Write("bad.txt", "<f>w\n<MMt>xy");
    EXPECT_EXIT(
        {
            auto ppdf = OpenReader(szFile, "ZZ", szTable);
            ReadAll(*ppdf, *pm);
        },
        ::testing::ExitedWithCode(18032 & 255),
        "\\[ln 2\\] GetEvent: Tag xy not found in .*tags.tab");
}

TEST_F(EventReader, LineFormatPassesLinesUnchanged) {
    const std::vector<Event> rgev = Read("NN|N/N/|a|b|>NN/\n\n\tx\r\nlast");
    EXPECT_EQ(Lines(rgev), (Strings{"NN|N/N/|a|b|>NN/", "", "\tx\r", "last"}));
    for (const Event& ev : rgev) {
        EXPECT_EQ(ev.fWord, 1);
        EXPECT_TRUE(ev.rgszGap.empty());
        EXPECT_EQ(ev.szRest, "");
    }
    EXPECT_EQ(Lines(Read("\n")), (Strings{""}));
}

TEST_F(EventReader, LineFormatLengthLimit) {
    EXPECT_EQ(Read(std::string(kDataLineSize - 2, 'x'))[0].szLine.size(),
              static_cast<std::size_t>(kDataLineSize - 2));
    ReadFatal(std::string(kDataLineSize - 1, 'x') + "\n",
              "GetEvent: Data line too long \\(>= 7998\\): x{20}\\.\\.\\.");
}

TEST_F(EventReader, TokenWithoutCandidatesUsesItsTrueTag) {
    ::testing::internal::CaptureStderr();
    const std::vector<Event> rgev = Read("<f>a<t>NN\n<f>b<MMt>VB");
    const std::string szErr = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Lines(rgev), (Strings{"NN|N/N/|a|=|>NN/", "VB|V/B/|b|=|>VB/"}));
    EXPECT_NE(szErr.find("[ln 2] GetEvent: No candidate tags (form a); true tag NN is the only "
                         "candidate"),
              std::string::npos);
    ReadFatal("<f>a<l>x\n<f>b<MMt>VB",
              "\\[ln 2\\] GetEvent: No candidate tags and no true tag \\(form a\\)");
}

TEST_F(EventReader, MalformedTokensAreFatalWithLineNumbers) {
    ReadFatal("<f>\n" + std::string(248, 'w') + "<MMt>NN",
              "App: Fatal\\(18032\\): tag: \\[ln 2\\] GetEvent: Form too long \\(>= 248\\): w+");
    ReadFatal("<s>" + std::string(300, 's'), "GetEvent: Form too long \\(>= 300\\)");
    ReadFatal("<f>a\n\n<MMt>NNN",
              "\\[ln 3\\] GetEvent: Too short/long tag \\(!= 2\\): NNN, szForm");
    ReadFatal("<f>a<t>N<MMt>NN", "GetEvent: Too short/long tag \\(!= 2\\): N, form a");
    ReadFatal("<f>a<MMt>NN<f>b<" + std::string(250, 'x') + ">",
              "GetEvent: Tag/Text truncated or reading error, state 4: Tag \"<x+\", Text \"\": "
              "NN\\|N/N/\\|a\\|=\\|>NN/");
    ReadFatal("<f>a<MMt>NN\n<f>b<MMt>" + std::string(4000, 'x'),
              "\\[ln 2\\] GetEvent: Tag/Text truncated or reading error, state 4: .*: "
              "NN\\|N/N/\\|a\\|=\\|>NN/\n");
    ReadFatal("<f>a<l>" + std::string(252, 'l') + "<MMt>NN",
              "GetEvent: Lemma too long \\(252 > 251\\): l+");
    std::string szRest = "<f>a";
    for (int i = 0; i < 3; ++i) szRest += "<x>" + std::string(3000, 'r');
    ReadFatal(szRest, "GetEvent: Tag/Text too long \\(>= 3003\\): <x>r+");
}

TEST_F(EventReader, LongTokensUpToTheLimits) {
    // A 251-character lemma and a form of 247 characters are accepted.
    const std::string szForm(247, 'f');
    const std::string szLemma(251, 'l');
    const std::vector<Event> rgev = Read("<f>" + szForm + "<l>" + szLemma + "<MMt>NN");
    ASSERT_EQ(rgev.size(), 1u);
    EXPECT_EQ(rgev[0].szLine, "NN|N/N/|" + szForm + "|" + szLemma + "|>NN/");
}

TEST_F(EventReader, CandidateSetBeyondTheDataLineIsFatal) {
    // 30 elements per tag: every candidate needs 31 characters of the line.
    pm = MakeModel(30, kModeTrain);
    std::string szOk = "<f>a";
    std::string szTooMany = "<f>a";
    for (int i = 0; i < 300; ++i) {
        std::string szTag(30, '-');
        szTag[0] = static_cast<char>('A' + i % 26);
        szTag[1] = static_cast<char>('a' + i / 26);
        if (i < 200) szOk += "<MMt>" + szTag;
        szTooMany += "<MMt>" + szTag;
    }
    const std::vector<Event> rgev = Read(szOk);
    ASSERT_EQ(rgev.size(), 1u);
    EXPECT_EQ(rgev[0].szLine.size(), 30 + 1 + (26 + 1) + (8 + 1) + 28 * 2 + 6 + 200 * 31);
    ReadFatal(szTooMany, "GetEvent: Cannot add tag to full tag list: [A-Z][a-z]-+");
}

TEST(Gaps, AddCopyAndFree) {
    pdfRecType pdf;
    std::snprintf(pdf.szTag.data(), pdf.szTag.size(), "<t>");
    std::snprintf(pdf.szText.data(), pdf.szText.size(), "text");
    std::unique_ptr<gapRecType> pgap;
    gapRecType* pgapTail = nullptr;
    AddToGap(pdf, nullptr, pgap, pgapTail, "\n");
    AddToGap(pdf, "NN", pgap, pgapTail, "");
    EXPECT_EQ(GapTexts(pgap.get()), (Strings{"<t>text\n", "<t>NN"}));
    const std::unique_ptr<gapRecType> pgapCopy = CopyGap(pgap.get());
    EXPECT_EQ(FreeGap(pgap), 0);
    EXPECT_EQ(pgap, nullptr);
    EXPECT_EQ(GapTexts(pgapCopy.get()), (Strings{"<t>text\n", "<t>NN"}));

    // A very long list is freed without a deep recursion.
    pgapTail = nullptr;
    for (int i = 0; i < 300000; ++i) AddToGap(pdf, "", pgap, pgapTail, "");
    FreeGap(pgap);
}

TEST(InsertEventTest, AssemblesWithinTheBuffer) {
    std::vector<char> sz(20);
    EXPECT_EQ(InsertEvent(sz, "NN", "N/N/", "a", "b", "NN/"), 0);
    EXPECT_STREQ(sz.data(), "NN|N/N/|a|b|>NN/");
    // 18 characters need 20 bytes; 19 do not fit.
    EXPECT_EQ(InsertEvent(sz, "NN", "N/N/", "abc", "b", "NN/"), 0);
    EXPECT_EQ(InsertEvent(sz, "NN", "N/N/", "abcd", "b", "NN/"), 2);
}

} // namespace
} // namespace vexta::test
