// SGML lexer: opening and format detection, raw characters with push-back,
// tag/text pairs with comments, names, src attributes and numbers.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "corpus/sgml_lexer.h"
#include "corpus_test_util.h"

namespace vexta::test {
namespace {

struct TagText {
    int rc;
    std::string szTag;
    std::string szText;
};

TagText NextTagText(pdfRecType& pdf, int cbTag = kSgmlTagLen, int cbText = kSgmlTextLen) {
    const int rc =
        GetSGMLTagText(std::span(pdf.szTag).first(cbTag), std::span(pdf.szText).first(cbText), pdf);
    return {rc, pdf.szTag.data(), pdf.szText.data()};
}

class SgmlLexer : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<pdfRecType> Open(std::string_view szText) {
        return OpenReader(dir.Write("in.txt", szText));
    }
};

TEST_F(SgmlLexer, OpenDecidesFormatAndReportsMissingOrEmptyFiles) {
    pdfRecType pdf;
    pdf.szFileName = dir.Path("missing");
    EXPECT_EQ(OpenData(pdf), 1);
    pdf.szFileName = dir.Write("empty", "");
    EXPECT_EQ(OpenData(pdf), 2);

    auto ppdf = Open("<csts>\n");
    EXPECT_EQ(ppdf->iState, 2);
    EXPECT_EQ(ppdf->lLine, 1);
    EXPECT_EQ(Open("\n<csts>")->iState, 1);
    EXPECT_EQ(Open("NN|N/|a|b|>NN/\n")->iState, 1);
    // The first character was pushed back and is read again.
    EXPECT_EQ(GetPDFChar(*ppdf), '<');
}

TEST_F(SgmlLexer, PushBackIsFirstInFirstOutAndLimited) {
    auto ppdf = Open("xyz");
    pdfRecType& pdf = *ppdf;
    EXPECT_EQ(GetPDFChar(pdf), 'x');
    EXPECT_EQ(PutPDFChar(pdf, 'a'), 0);
    EXPECT_EQ(PutPDFChar(pdf, 'b'), 0);
    EXPECT_EQ(GetPDFChar(pdf), 'a');
    EXPECT_EQ(GetPDFChar(pdf), 'b');
    EXPECT_EQ(GetPDFChar(pdf), 'y');

    // Once everything was read again the store starts empty: 250 fit, not 251.
    for (int i = 0; i < kPdfPushBackMax; ++i) ASSERT_EQ(PutPDFChar(pdf, 'p'), 0) << i;
    EXPECT_EQ(PutPDFChar(pdf, 'q'), 1);
    for (int i = 0; i < kPdfPushBackMax; ++i) ASSERT_EQ(GetPDFChar(pdf), 'p');
    EXPECT_EQ(PutPDFChar(pdf, 'q'), 0);
    EXPECT_EQ(GetPDFChar(pdf), 'q');

    EXPECT_EQ(GetPDFChar(pdf), 'z');
    EXPECT_EQ(GetPDFChar(pdf), '\0');
    EXPECT_EQ(pdf.fEOF, 1);
    EXPECT_EQ(GetPDFChar(pdf), '\0');
}

TEST_F(SgmlLexer, SgmlCharactersMapBlanksAndCountLines) {
    auto ppdf = Open("a\tb\nc\r");
    pdfRecType& pdf = *ppdf;
    EXPECT_EQ(GetSGMLChar(pdf), 'a');
    EXPECT_EQ(GetSGMLChar(pdf), ' ');
    EXPECT_EQ(GetSGMLChar(pdf), 'b');
    EXPECT_EQ(GetSGMLChar(pdf), ' ');
    EXPECT_EQ(pdf.lLine, 2);
    EXPECT_EQ(GetSGMLChar(pdf), 'c');
    EXPECT_EQ(GetSGMLChar(pdf), '\r');
    EXPECT_EQ(GetSGMLChar(pdf), kChEndOfInput);
    EXPECT_EQ(GetSGMLChar(pdf), kChEndOfInput);
}

TEST_F(SgmlLexer, BlocksAreJoinedSeamlessly) {
    // Texts cross the block boundary of the buffer.
    std::string sz;
    for (int i = 0; i < 5000; ++i) sz += "<f>word" + std::to_string(i) + "\n";
    auto ppdf = Open(sz);
    for (int i = 0; i < 5000; ++i) {
        const TagText tt = NextTagText(*ppdf);
        ASSERT_EQ(tt.rc, 0);
        ASSERT_EQ(tt.szText, "word" + std::to_string(i));
    }
    EXPECT_EQ(NextTagText(*ppdf).rc, 26);
    EXPECT_EQ(ppdf->lLine, 5001);
}

TEST_F(SgmlLexer, ZeroByteIsFatal) {
    auto ppdf = Open(std::string("<f>ab\n<f>c\0d<l>x", 16));
    EXPECT_EQ(NextTagText(*ppdf).szText, "ab");
    EXPECT_EXIT(NextTagText(*ppdf), ::testing::ExitedWithCode(18032 & 255),
                "\\[ln 2\\] GetPDFChar: zero byte in input file .*in.txt");
}

TEST_F(SgmlLexer, TagTextTrimsOuterBlanksOnly) {
    auto ppdf = Open("<f>   two\t words  \n <l>x<t>\n<MMt src=\"a b\">NN");
    TagText tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 0);
    EXPECT_EQ(tt.szTag, "<f>");
    EXPECT_EQ(tt.szText, "two  words");
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.szTag, "<l>");
    EXPECT_EQ(tt.szText, "x");
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.szTag, "<t>");
    EXPECT_EQ(tt.szText, "");
    // The last tag without a following "<" is returned whole; then the end.
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 0);
    EXPECT_EQ(tt.szTag, "<MMt src=\"a b\">");
    EXPECT_EQ(tt.szText, "NN");
    EXPECT_EQ(NextTagText(*ppdf).rc, 26);
    EXPECT_EQ(NextTagText(*ppdf).rc, 26);
}

TEST_F(SgmlLexer, TagTextFailures) {
    EXPECT_EQ(NextTagText(*Open("text<f>")).rc, 101);
    // A tag cut by the end of the input.
    EXPECT_EQ(NextTagText(*Open("<f>a<l")).rc, 0);
    auto ppdf = Open("<f>a<l");
    NextTagText(*ppdf);
    EXPECT_EQ(NextTagText(*ppdf).rc, 26);

    // The push-back store is full when the text ends with "<".
    ppdf = Open("<x>");
    for (const char ch : std::string_view("a>b<")) ASSERT_EQ(PutPDFChar(*ppdf, ch), 0);
    while (PutPDFChar(*ppdf, 'c') == 0) {
    }
    EXPECT_EQ(NextTagText(*ppdf).rc, 102);
}

TEST_F(SgmlLexer, BufferLimitsOfTagsAndTexts) {
    const std::string szTag245 = "<" + std::string(243, 'a') + ">";
    const std::string szTag246 = "<" + std::string(244, 'a') + ">";
    const std::string szText3995(3995, 'x');
    const std::string szText3996(3996, 'x');
    auto ppdf = Open(szTag245 + szText3995 + szTag246 + "y" + "<f>" + szText3996 + "<f>" +
                     std::string(5000, 'z') + "<t>  " + szText3995 + "   ");
    TagText tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 0);
    EXPECT_EQ(tt.szTag, szTag245);
    EXPECT_EQ(tt.szText, szText3995);
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 1);
    EXPECT_EQ(tt.szText, "y");
    EXPECT_EQ(NextTagText(*ppdf).rc, 2);
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 2);
    EXPECT_EQ(tt.szText.size(), 3996u);
    // Trailing blanks beyond the limit do not count as a cut.
    tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.rc, 0);
    EXPECT_EQ(tt.szText, szText3995);
}

TEST_F(SgmlLexer, CommentsNestAndAreSkipped) {
    auto ppdf = Open("<comment><f>a<comment><f>b</comment><f>c</comment><f>d"
                     "<comment/><x>\n</comment>\n<l>e");
    TagText tt = NextTagText(*ppdf);
    EXPECT_EQ(tt.szTag, "<f>");
    EXPECT_EQ(tt.szText, "d");
    // A comment tag with attributes (or a slash) is an ordinary tag.
    EXPECT_EQ(NextTagText(*ppdf).szTag, "<comment/>");
    EXPECT_EQ(NextTagText(*ppdf).szTag, "<x>");
    ::testing::internal::CaptureStderr();
    tt = NextTagText(*ppdf);
    const std::string szErr = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(tt.szTag, "<l>");
    EXPECT_EQ(tt.szText, "e");
    EXPECT_EQ(szErr, "App: Warn(18032): tag: [ln 3] GetSGMLTagText: extra </comment> ignored\n");
}

TEST(SgmlTagParts, TagName) {
    std::array<char, 250> sz{};
    EXPECT_EQ(GetSGMLTagName(sz, "<MMt src=\"x\">"), 0);
    EXPECT_STREQ(sz.data(), "MMt");
    EXPECT_EQ(GetSGMLTagName(sz, "</f>"), 0);
    EXPECT_STREQ(sz.data(), "/f");
    EXPECT_EQ(GetSGMLTagName(sz, "<s\tid=1>"), 0);
    EXPECT_STREQ(sz.data(), "s");
    EXPECT_EQ(GetSGMLTagName(std::span(sz).first(5), "<abc>"), 0);
    EXPECT_EQ(GetSGMLTagName(std::span(sz).first(5), "<abcd>"), 1);
}

TEST(SgmlTagParts, SrcAttribute) {
    std::array<char, 250> sz{};
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt src=\"vexta\">"), 0);
    EXPECT_STREQ(sz.data(), "vexta");
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt src=abc>"), 0);
    EXPECT_STREQ(sz.data(), "abc");
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt id=1 w=2 src=\"t1\" x=y>"), 0);
    EXPECT_STREQ(sz.data(), "t1");
    // Quoted values of other attributes, with blanks, are stepped over.
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt id=\"a b\" src=t2>"), 0);
    EXPECT_STREQ(sz.data(), "t2");
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt>"), 0);
    EXPECT_STREQ(sz.data(), "");
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt SRC=x>"), 0);
    EXPECT_STREQ(sz.data(), "");
    EXPECT_EQ(GetSGMLTagSrcAttr(sz, "<MDt src=\">"), 0);
    EXPECT_STREQ(sz.data(), "");
    EXPECT_EQ(GetSGMLTagSrcAttr(std::span(sz).first(4), "<MDt src=ab>"), 0);
    EXPECT_EQ(GetSGMLTagSrcAttr(std::span(sz).first(4), "<MDt src=abc>"), 1);
}

TEST(SgmlTagParts, AddCharToStringKeepsTwoBytesSpare) {
    std::array<char, 5> sz{};
    int ich = 0;
    EXPECT_EQ(AddCharToString('a', sz, ich), 0);
    EXPECT_EQ(AddCharToString('b', sz, ich), 0);
    EXPECT_EQ(AddCharToString('c', sz, ich), 0);
    EXPECT_EQ(AddCharToString('d', sz, ich), 1);
    EXPECT_EQ(ich, 3);
    EXPECT_STREQ(sz.data(), "abc");
}

TEST(SgmlTagParts, CheckNumber) {
    EXPECT_EQ(CheckNumber(" -42 \t"), 0);
    EXPECT_EQ(CheckNumber("+7"), 0);
    EXPECT_EQ(CheckNumber("12a"), 1);
    EXPECT_EQ(CheckNumber("12 3"), 1);
    EXPECT_EQ(CheckNumber(""), 2);
    EXPECT_EQ(CheckNumber("  \n"), 2);
    EXPECT_EQ(CheckNumber("+"), 3);
    EXPECT_EQ(CheckNumber("--1"), 3);
    EXPECT_EQ(CheckNumber("x"), 3);
}

TEST_F(SgmlLexer, TagTablesLoadedInBothDirections) {
    const std::string szTable = dir.Write("tags.tab", "AB NN\nCD VB\n");
    auto ppdf = OpenReader(dir.Write("in.txt", "<f>x"), "ZZ", szTable);
    ASSERT_TRUE(ppdf->phashTag);
    ASSERT_TRUE(ppdf->phashTagInv);
    std::array<char, 248> sz{};
    long l = 0;
    int fFound = 0;
    EXPECT_EQ(ux_HashFindFirst(ppdf->phashTag.get(), "CD", sz, &l, &fFound), 0);
    EXPECT_STREQ(sz.data(), "VB");
    EXPECT_EQ(ux_HashFindFirst(ppdf->phashTagInv.get(), "NN", sz, &l, &fFound), 0);
    EXPECT_STREQ(sz.data(), "AB");
    EXPECT_EQ(ux_HashFindFirst(ppdf->phashTag.get(), "NN", sz, &l, &fFound), 1);
}

} // namespace
} // namespace vexta::test
