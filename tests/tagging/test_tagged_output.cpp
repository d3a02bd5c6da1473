// Tagged output: the line writer on hand-built tables, and windowed tagging
// of small inputs with a model that decides every element by its value
// counts (no context), so that the expected output is known.
#include "tagging/tagged_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"

namespace vexta {
namespace {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::string sz = (fs::temp_directory_path() / "vexta_tagout_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        szPath_ = sz;
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(szPath_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Write(std::string_view szName, std::string_view szText) const {
        const std::string szFile = szPath_ + "/" + std::string(szName);
        std::ofstream(szFile, std::ios::binary) << szText;
        return szFile;
    }

private:
    std::string szPath_;
};

// Value counts of one tag element: the most frequent value of a line's
// ambiguity class is chosen.
using ValueCounts = std::vector<std::pair<char, long>>;

// A model without ambiguity classes or features: every element is decided by
// its value counts alone.
std::unique_ptr<Model> MakeCountModel(std::initializer_list<ValueCounts> rgCounts, int cBeam = 3) {
    auto pm = std::make_unique<Model>();
    pm->fProgMode = kModeTag;
    pm->cTagElem = static_cast<int>(rgCounts.size());
    pm->cBeam = cBeam;
    pm->dRawExpWeight = 0.5;
    pm->phashStr = ux_HashNew(8192, 65536, 4000);
    ux_HashMemberPtr(pm->phashStr.get(), "", &pm->pszEmpty);
    for (const ValueCounts& counts : rgCounts) {
        TagElem& te = pm->rgteTagElem.emplace_back();
        te.fSignPlus = 1;
        for (const auto& [ch, cl] : counts) te.rgclSubtagCnt[static_cast<unsigned char>(ch)] = cl;
    }
    return pm;
}

// A gap list holding the given entries in order.
std::unique_ptr<gapRecType> MakeGap(std::initializer_list<std::string_view> rgszEntry) {
    std::unique_ptr<gapRecType> pgapHead;
    std::unique_ptr<gapRecType>* ppgapNext = &pgapHead;
    for (std::string_view sz : rgszEntry) {
        *ppgapNext = std::make_unique<gapRecType>();
        (*ppgapNext)->pszGapText = std::make_unique<char[]>(sz.size() + 1);
        sz.copy((*ppgapNext)->pszGapText.get(), sz.size());
        ppgapNext = &(*ppgapNext)->pgapNext;
    }
    return pgapHead;
}

// A table of one line for the writer.
DataTable OneLineTable(std::string_view szLine, std::unique_ptr<gapRecType> pgap,
                       std::string_view szRest = "", long iInputState = 3) {
    DataTable dt;
    dt.iInputState = iInputState;
    dt.rgpszDataLine.assign(2, std::string());
    dt.rgpszDataLine[0] = szLine;
    dt.rgpszRest.assign(2, std::string());
    dt.rgpszRest[0] = szRest;
    dt.rgpgap.resize(3);
    dt.rgpgap[0] = std::move(pgap);
    return dt;
}

struct WriteResult {
    int rc = 0;
    std::string szOut;
};

WriteResult Write(const DataTable& dt, std::string_view szTag, int iOutLevel = 1,
                  bool fLineErr = false, std::string_view szNote = "") {
    const Model m;
    testing::internal::CaptureStdout();
    WriteResult res;
    res.rc = WriteTaggedLine(dt, m, 0, szTag, iOutLevel, fLineErr, szNote);
    res.szOut = testing::internal::GetCapturedStdout();
    return res;
}

class TaggedOutputTest : public testing::Test {
protected:
    void SetUp() override {
        ux_ArgClose();
        szTaggerIDSaved_ = szTaggerID;
    }
    void TearDown() override {
        ux_ArgClose();
        szTaggerID = szTaggerIDSaved_;
    }

    // Writes the input and an argument file naming it, and opens the latter.
    std::string Prepare(std::string_view szInput, std::string_view szSentTag) {
        const std::string szIn = dir_.Write("in.txt", szInput);
        std::string szArgs = "InData = " + szIn + "\nSentTag = " + std::string(szSentTag) +
                             "\nSentForm = ###\nSentLemma = ###\nTagTable = \n";
        const std::string szArgFile = dir_.Write("t.args", szArgs);
        EXPECT_EQ(ux_ArgOpen(szArgFile), 0);
        return szArgFile;
    }

    struct TagResult {
        int rc = 0;
        std::string szOut;
    };
    TagResult Tag(Model& m, std::string_view szArgFile, int fDebug, const VtcWindow& win) {
        DataTable dt;
        m.pdtS = &dt;
        testing::internal::CaptureStdout();
        TagResult res;
        res.rc = TagDataVTC(szArgFile, m, fDebug, "", win);
        res.szOut = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(dt.rgpszDataLine.empty()); // the window storage is released
        m.pdtS = nullptr;
        return res;
    }

    ScratchDir dir_;
    std::string szTaggerIDSaved_;
};

// Line-format input: "B|AB/|w<i>|=|>B/A/"; the counts choose A.
std::string LineInput(long cLines, std::string_view szTag) {
    std::string sz;
    for (long i = 0; i < cLines; ++i)
        sz += std::string(szTag) + "|AB/|w" + std::to_string(i) + "|=|>B/A/\n";
    return sz;
}

TEST_F(TaggedOutputTest, WindowsWriteEveryLineOnceInOrder) {
    // Windows of 10 lines, 4 carried over, output from line 2 of a later
    // window: windows end inside, at and just after each boundary.
    const VtcWindow win{10, 4, 2};
    for (const long cLines : {1L, 5L, 7L, 8L, 9L, 10L, 11L, 13L, 14L, 15L, 16L, 17L, 29L, 40L}) {
        auto pm = MakeCountModel({{{'A', 10}, {'B', 1}}});
        const std::string szArgFile = Prepare(LineInput(cLines, "B"), "Z");
        const auto res = Tag(*pm, szArgFile, 0, win);
        EXPECT_EQ(res.rc, -2) << cLines; // no feature fired: a note, not a failure
        EXPECT_EQ(res.szOut, LineInput(cLines, "A")) << cLines;
        ux_ArgClose();
    }
}

TEST_F(TaggedOutputTest, InputOfExactlyOneFullWindow) {
    // The input ends exactly when the first window is full: a second window
    // reads nothing and writes the last 50 lines.
    for (const long cLines : {kVtcWindow.clCapacity, kVtcWindow.clCapacity + 1}) {
        auto pm = MakeCountModel({{{'A', 10}, {'B', 1}}}, 1);
        const std::string szArgFile = Prepare(LineInput(cLines, "B"), "Z");
        const auto res = Tag(*pm, szArgFile, 0, kVtcWindow);
        EXPECT_EQ(res.rc, -2);
        EXPECT_TRUE(res.szOut == LineInput(cLines, "A")) << cLines;
        ux_ArgClose();
    }
}

constexpr std::string_view kSgmlIn = "<csts>\n"
                                     "<doc id=\"d1\">\n"
                                     "<s id=\"s1\">\n"
                                     "<f>Dogs<l>dog<t>NP<MMl>dog<MMt>NP<MMt>VB"
                                     "<MDl src=\"other\">x<MDt src=\"other\">VB<x>1\n"
                                     "<f>bark<t>VB<MDl src=\"me\">old<MDt src=\"me\">NP"
                                     "<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
                                     "</doc>\n"
                                     "</csts>\n";

// Counts that choose V in element 0 and B in element 1.
std::unique_ptr<Model> SgmlModel() {
    return MakeCountModel({{{'N', 1}, {'V', 10}}, {{'B', 10}, {'P', 1}}});
}

TEST_F(TaggedOutputTest, SgmlInputComesBackWithTheChoicesInserted) {
    szTaggerID = "me";
    auto pm = SgmlModel();
    const auto res = Tag(*pm, Prepare(kSgmlIn, "ZZ"), 0, kVtcWindow);
    EXPECT_EQ(res.rc, -1); // the end line has a single value: a note, not a failure
    // The boundary line gets nothing; the lemma is that of the <MMl> group
    // holding the chosen tag; foreign <MDl>/<MDt> stay, this tagger's own
    // earlier ones are replaced; the unrecognised <x> moves to the end of
    // its line; the end of the input adds no line end.
    EXPECT_EQ(res.szOut, "<csts>\n"
                         "<doc id=\"d1\">\n"
                         "<s id=\"s1\">\n"
                         "<f>Dogs<l>dog<t>NP<MDl src=\"me\">dog<MDt src=\"me\">VB"
                         "<MMl>dog<MMt>NP<MMt>VB<MDl src=\"other\">x<MDt src=\"other\">VB<x>1\n"
                         "<f>bark<t>VB<MDl src=\"me\">barks<MDt src=\"me\">VB"
                         "<MMl>bark<MMt>NP<MMl>barks<MMt>VB\n"
                         "</doc>\n"
                         "</csts>\n");
}

TEST_F(TaggedOutputTest, TagDebugMarksWrongLines) {
    szTaggerID = "me";
    auto pm = SgmlModel();
    testing::internal::CaptureStderr();
    const auto res = Tag(*pm, Prepare(kSgmlIn, "ZZ"), 1, kVtcWindow);
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(res.rc, -1);
    EXPECT_NE(szErr.find("setting fOut to OUTDEBUGINFO in TagDataVTC...\n"), std::string::npos);
    // Dogs is NP, tagged VB; bark is VB, tagged VB.
    EXPECT_NE(res.szOut.find("<MDt src=\"other\">VB<x>1 ALOFLAG\n"), std::string::npos);
    EXPECT_NE(res.szOut.find("<MMl>barks<MMt>VB\n"), std::string::npos);
    EXPECT_EQ(res.szOut.find("<MMl>barks<MMt>VB ALOFLAG"), std::string::npos);
    EXPECT_NE(res.szOut.find("true: "), std::string::npos); // full debug lines among them
}

TEST_F(TaggedOutputTest, RefusedWindowsAndLines) {
    auto pm = SgmlModel();
    // The second line's tag is too long: nothing is tagged or written.
    const std::string szArgFile = Prepare("VB|NV/BP/|a|=|>VB/\nVBX|NV/BP/|b|=|>VB/\n", "ZZ");
    const auto res = Tag(*pm, szArgFile, 0, kVtcWindow);
    EXPECT_EQ(res.rc, kTagVtcInsert);
    EXPECT_EQ(res.szOut, "");
    // Windows that would skip or repeat lines are refused.
    for (const VtcWindow& win : {VtcWindow{10, 10, 2}, VtcWindow{10, 4, 5}, VtcWindow{10, 4, -1}})
        EXPECT_EQ(Tag(*pm, szArgFile, 0, win).rc, kTagVtcParams);
}

TEST(TaggedLineWriter, LineFormatReplacesOnlyTheTag) {
    const DataTable dt = OneLineTable("NP|NV/BP/|Dogs|dog|>VB/NP/", nullptr, "", 1);
    EXPECT_EQ(Write(dt, "VB").szOut, "VB|NV/BP/|Dogs|dog|>VB/NP/\n");
    EXPECT_EQ(Write(dt, "VB", 2, true, "ErrInfo: 0(N)").szOut, "VB|NV/BP/|Dogs|dog|>VB/NP/\n");
    EXPECT_EQ(Write(dt, "VB", 101, true, "ErrInfo: 0(N)").szOut,
              "VB|NV/BP/|Dogs|dog|>VB/NP/ ErrInfo: 0(N)\n");
}

TEST(TaggedLineWriter, ErrorMarkAndRest) {
    // Without a tagger identifier the inserted tags have no attribute.
    const DataTable dt =
        OneLineTable("NP|N/P/|a|a|>NP/", MakeGap({"<f>a", "<MMl>a", "<MMt>NP"}), "<x>1<y>");
    EXPECT_EQ(Write(dt, "NP", 1, true).szOut, "<f>a<MDl>a<MDt>NP<MMl>a<MMt>NP<x>1<y>\n");
    EXPECT_EQ(Write(dt, "NP", 2, false).szOut, "<f>a<MDl>a<MDt>NP<MMl>a<MMt>NP<x>1<y>\n");
    EXPECT_EQ(Write(dt, "NP", 2, true).szOut, "<f>a<MDl>a<MDt>NP<MMl>a<MMt>NP<x>1<y> ALOFLAG\n");
}

TEST(TaggedLineWriter, BoundaryLines) {
    // "<s" followed by ">" or white space is a sentence boundary; "<sc>" is not.
    for (const std::string_view sz : {"<s>", "<s id=1>", "<s\tid=1>", "<s\rx>", "<s\n>"}) {
        const DataTable dt = OneLineTable("ZZ|Z/Z/|###|###|>ZZ/", MakeGap({"<p>\n", sz}));
        EXPECT_EQ(Write(dt, "ZZ").szOut, "<p>\n" + std::string(sz) + "\n");
    }
    const DataTable dtSc = OneLineTable("ZZ|Z/Z/|x|x|>ZZ/", MakeGap({"<sc>"}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Write(dtSc, "ZZ").rc, kOutNoLemma);
    testing::internal::GetCapturedStderr();

    // The end of the input: the tags after the last token, no line end.
    const DataTable dtEnd =
        OneLineTable("ZZ|Z/Z/|###|###|>ZZ/", MakeGap({"</doc>\n", "</csts>\n", "<<virtualend>>"}));
    EXPECT_EQ(Write(dtEnd, "ZZ").szOut, "</doc>\n</csts>\n");
}

TEST(TaggedLineWriter, LemmaSearch) {
    // The lemma is the last <MMl> before the <MMt> that matches; an entry
    // without ">" where a lemma or tag text is needed is a failure.
    const DataTable dt = OneLineTable(
        "VB|NV/BP/|x|x|>VB/NP/",
        MakeGap({"<f>x", "<MMl>a", "<MMt>NP", "<MMl>b", "<MMt>VB", "<MMl>c", "<MMt>VB"}));
    EXPECT_EQ(Write(dt, "VB").szOut, "<f>x<MDl>b<MDt>VB<MMl>a<MMt>NP<MMl>b<MMt>VB<MMl>c<MMt>VB\n");

    const DataTable dtNoLemmaText =
        OneLineTable("VB|NV/BP/|x|x|>VB/", MakeGap({"<f>x", "<MMl", "<MMt>VB"}));
    EXPECT_EQ(Write(dtNoLemmaText, "VB").rc, kOutLemmaNoText);
    const DataTable dtNoTagText =
        OneLineTable("VB|NV/BP/|x|x|>VB/", MakeGap({"<f>x", "<MMl>x", "<MMt"}));
    EXPECT_EQ(Write(dtNoTagText, "VB").rc, kOutTagNoText);

    const DataTable dtNoLemma = OneLineTable("VB|NV/BP/|x|x|>VB/", MakeGap({"<f>x", "<MMt>VB"}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Write(dtNoLemma, "VB").rc, kOutNoLemma);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "VTC: int error: selected tag not found among MMt??? line: VB|NV/BP/|x|x|>VB/\n");
}

} // namespace
} // namespace vexta
