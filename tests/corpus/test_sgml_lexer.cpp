// SGML lexer: opening and format detection, raw characters with push-back,
// tag/text pairs with comments and buffer limits, tag parts and numbers.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "corpus/sgml_lexer.h"
#include "test_model_util.h"

namespace vexta::test {
namespace {

struct TagText {
    int rc;
    std::string szTag;
    std::string szText;
};

// The next pair as copied, or with fViews as handed out in views (which
// must give the same pairs).
TagText Next(pdfRecType& pdf, bool fViews = false) {
    const auto szTag = std::span(pdf.szTag).first(kSgmlTagLen);
    const auto szText = std::span(pdf.szText).first(kSgmlTextLen);
    if (fViews) {
        const int rc = GetSGMLTagTextView(szTag, szText, pdf, pdf.svTag, pdf.svText);
        return {rc, std::string(pdf.svTag), std::string(pdf.svText)};
    }
    const int rc = GetSGMLTagText(szTag, szText, pdf);
    return {rc, pdf.szTag.data(), pdf.szText.data()};
}

class SgmlLexer : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<pdfRecType> Open(std::string_view szText) {
        return OpenReader(dir.Write("in.txt", szText));
    }
};

TEST_F(SgmlLexer, OpeningAndRawCharacters) {
    pdfRecType pdf;
    pdf.szFileName = dir.Path("missing");
    EXPECT_EQ(OpenData(pdf), 1);
    pdf.szFileName = dir.Write("empty", "");
    EXPECT_EQ(OpenData(pdf), 2);
    EXPECT_EQ(Open("\n<csts>")->iState, 1);

    auto ppdf = Open("<a\tb\nc\r");
    EXPECT_EQ(ppdf->iState, 2);
    EXPECT_EQ(GetPDFChar(*ppdf), '<'); // pushed back by OpenData
    EXPECT_EQ(PutPDFChar(*ppdf, 'x'), 0);
    EXPECT_EQ(PutPDFChar(*ppdf, 'y'), 0);
    std::string sz;
    for (int i = 0; i < 8; ++i) sz += GetSGMLChar(*ppdf);
    EXPECT_EQ(sz, "xya b c\r");
    EXPECT_EQ(ppdf->lLine, 2);
    EXPECT_EQ(GetSGMLChar(*ppdf), kChEndOfInput);
    EXPECT_EQ(GetPDFChar(*ppdf), '\0');

    // Once everything was read again the store starts empty: 250 fit.
    for (int i = 0; i < kPdfPushBackMax; ++i) ASSERT_EQ(PutPDFChar(*ppdf, 'p'), 0);
    EXPECT_EQ(PutPDFChar(*ppdf, 'q'), 1);
}

TEST_F(SgmlLexer, TextsCrossBlockBoundariesAndZeroBytesAreFatal) {
    std::string sz;
    for (int i = 0; i < 5000; ++i) sz += "<f>word" + std::to_string(i) + "\n";
    auto ppdf = Open(sz);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(Next(*ppdf).szText, "word" + std::to_string(i));
    EXPECT_EQ(Next(*ppdf).rc, 26);
    EXPECT_EQ(ppdf->lLine, 5001);

    ppdf = Open(std::string("<f>ab\n<f>c\0d<l>x", 16));
    EXPECT_EQ(Next(*ppdf).szText, "ab");
    EXPECT_FATAL(Next(*ppdf), 18032, "\\[ln 2\\] GetPDFChar: zero byte in input file .*in.txt");
}

// A pair is viewed in the block buffer or copied from it when it lies there
// in one piece, else read character by character: every way gives the same
// pairs and line numbers wherever a block ends. A control-Z byte (26, the
// value that stands for the end of the input) is a character like any other.
TEST_F(SgmlLexer, PairsReadTheSameWhereverABlockEnds) {
    const std::string szTricky = "<s\nid=1>\t<f>  a\tb \n<comment>\n<f>x</comment><l>\n\n"
                                 "<MMt src=\"a b\">NN\t\n<f>z \n<t> \t12345678901\n"
                                 "<l>x\r \n<l>\x01y\t\n<d\x1a>\x1a"
                                 "u\x1a\n<f>";
    const auto ReadAllPairs = [](pdfRecType& pdf, bool fViews) {
        std::vector<std::string> rgsz;
        for (TagText tt = Next(pdf, fViews); tt.rc == 0; tt = Next(pdf, fViews))
            rgsz.push_back(tt.szTag + "|" + tt.szText + "|" + std::to_string(pdf.lLine));
        return rgsz;
    };
    const std::vector<std::string> rgszWant = ReadAllPairs(*Open(szTricky), false);
    ASSERT_EQ(rgszWant.size(), 10u);
    EXPECT_EQ(rgszWant[1], "<f>|a b|3");
    EXPECT_EQ(rgszWant[5], "<t>|12345678901|9");
    EXPECT_EQ(rgszWant[6], "<l>|x\r|10"); // a carriage return is no blank
    EXPECT_EQ(rgszWant[8], "<d\x1a>|\x1au\x1a|12");
    for (const bool fViews : {false, true}) {
        for (std::size_t cchPad = kPdfBlockSize - szTricky.size() - 4; cchPad <= kPdfBlockSize;
             ++cchPad) {
            auto ppdf = Open("<p>" + std::string(cchPad - 3, 'y') + szTricky);
            Next(*ppdf, fViews);
            ASSERT_EQ(ReadAllPairs(*ppdf, fViews), rgszWant) << cchPad << fViews;
        }
    }
}

TEST_F(SgmlLexer, TagTextTrimsOuterBlanksOnly) {
    auto ppdf = Open("<f>   two\t words  \n <t>\n<MMt src=\"a b\">NN");
    TagText tt = Next(*ppdf);
    EXPECT_EQ(tt.szTag, "<f>");
    EXPECT_EQ(tt.szText, "two  words");
    EXPECT_EQ(Next(*ppdf).szText, "");
    // The last tag without a following "<" is returned whole; then the end.
    tt = Next(*ppdf);
    EXPECT_EQ(tt.rc, 0);
    EXPECT_EQ(tt.szTag, "<MMt src=\"a b\">");
    EXPECT_EQ(tt.szText, "NN");
    EXPECT_EQ(Next(*ppdf).rc + Next(*ppdf).rc, 52);

    EXPECT_EQ(Next(*Open("text<f>")).rc, 101);
    ppdf = Open("<f>a<l");
    Next(*ppdf);
    EXPECT_EQ(Next(*ppdf).rc, 26); // a tag cut by the end of the input
}

TEST_F(SgmlLexer, BufferLimitsOfTagsAndTexts) {
    const std::string szTag245 = "<" + std::string(243, 'a') + ">";
    const std::string szText3995(3995, 'x');
    for (const bool fViews : {false, true}) {
        auto ppdf = Open(szTag245 + szText3995 + "<" + std::string(244, 'a') + ">y" + "<f>" +
                         std::string(3996, 'x') + "<t>  " + szText3995 + "   <f>");
        TagText tt = Next(*ppdf, fViews);
        EXPECT_EQ(tt.rc, 0);
        EXPECT_EQ(tt.szTag, szTag245);
        EXPECT_EQ(tt.szText, szText3995);
        tt = Next(*ppdf, fViews);
        EXPECT_EQ(tt.rc, 1);
        EXPECT_EQ(tt.szTag.size(), 246u);
        tt = Next(*ppdf, fViews);
        EXPECT_EQ(tt.rc, 2);
        EXPECT_EQ(tt.szText.size(), 3996u);
        // Trailing blanks beyond the limit do not count as a cut.
        tt = Next(*ppdf, fViews);
        EXPECT_EQ(tt.rc, 0);
        EXPECT_EQ(tt.szText, szText3995);
    }
}

TEST_F(SgmlLexer, CommentsNestAndAreSkipped) {
    auto ppdf = Open("<comment><f>a<comment><f>b</comment><f>c</comment><f>d"
                     "<comment/>\n</comment>\n<l>e");
    EXPECT_EQ(Next(*ppdf).szText, "d");
    EXPECT_EQ(Next(*ppdf).szTag, "<comment/>"); // not a comment tag
    TagText tt;
    EXPECT_EQ(Stderr([&] { tt = Next(*ppdf); }),
              "App: Warn(18032): tag: [ln 3] GetSGMLTagText: extra </comment> ignored\n");
    EXPECT_EQ(tt.szTag, "<l>");
}

TEST(SgmlTagParts, NamesAndSrcAttributes) {
    std::array<char, 250> sz{};
    EXPECT_EQ(SGMLTagName("<s\tid=1>"), "s");
    EXPECT_EQ(SGMLTagName("</f>"), "/f");
    EXPECT_EQ(SGMLTagName("<MMt src=x>"), "MMt");
    EXPECT_EQ(SGMLTagName("<abc"), "abc");

    const struct {
        std::string_view szTag, szValue;
    } rgCase[] = {
        {"<MDt src=\"vexta\">", "vexta"},
        {"<MDt src=abc>", "abc"},
        {"<MDt id=1 w=2 src=\"t1\" x=y>", "t1"},
        {"<MDt id=\"a b\" src=t2>", "t2"}, // quoted values are stepped over
        {"<MDt>", ""},
        {"<MDt SRC=x>", ""},
        {"<MDt src=\">", ""},
    };
    for (const auto& c : rgCase) {
        EXPECT_EQ(GetSGMLTagSrcAttr(sz, c.szTag), 0) << c.szTag;
        EXPECT_EQ(sz.data(), c.szValue) << c.szTag;
    }
    EXPECT_EQ(GetSGMLTagSrcAttr(std::span(sz).first(4), "<MDt src=ab>"), 0);
    EXPECT_EQ(GetSGMLTagSrcAttr(std::span(sz).first(4), "<MDt src=abc>"), 1);
}

TEST(SgmlTagParts, CheckNumber) {
    const std::pair<std::string_view, int> rgCase[] = {{" -42 \t", 0}, {"+7", 0},  {"12a", 1},
                                                       {"12 3", 1},    {"", 2},    {"  \n", 2},
                                                       {"+", 3},       {"--1", 3}, {"x", 3}};
    for (const auto& [sz, rc] : rgCase) EXPECT_EQ(CheckNumber(sz), rc) << sz;
}

} // namespace
} // namespace vexta::test
