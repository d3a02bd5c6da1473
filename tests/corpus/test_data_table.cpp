// Data tables: segments read from small corpora and the real one, the return
// codes of segment set-up and reading, data-line parsing, the line helpers,
// and the per-element counts and entropies.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/ux_arg.h"
#include "corpus/corpus_stats.h"
#include "corpus/data_table.h"
#include "test_model_util.h"

namespace vexta::test {
namespace {

// Nine event lines: 0 <s>, 1 The, 2 dog, 3 runs, 4 ., 5 <s>, 6 dog, 7 ., 8 end.
constexpr std::string_view kCorpus = "<csts>\n<doc>\n<s>\n"
                                     "<f>The<l>the<t>DT<MMt>DT\n"
                                     "<f>dog<l>dog<t>NN<MMt>NN<MMt>VB\n"
                                     "<f>runs<l>run<x>rest<t>VB<MMt>NN<MMt>VB\n"
                                     "<d>.<l>.<t>Z:<MMt>Z:\n"
                                     "<s>\n"
                                     "<f>dog<l>dog<t>NN<MMt>NN<MMt>VB\n"
                                     "<d>.<l>.<t>Z:<MMt>Z:\n"
                                     "</doc>\n</csts>\n";

// Start and Lines of the training, heldout and test segments.
std::string Segments(std::array<long, 6> rgl) {
    const char* rgpszKey[] = {"TrainStart",   "TrainLines", "HeldoutStart",
                              "HeldoutLines", "TestStart",  "TestLines"};
    std::string sz;
    for (int i = 0; i < 6; ++i)
        sz += std::string(rgpszKey[i]) + " = " + std::to_string(rgl[i]) + "\n";
    return sz;
}

constexpr std::string_view kBoundaryKeys = "SentTag = ZZ\nSentForm = ###\nSentLemma = ###\n";

class DataTables : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Model> pm = MakeModel(2, kModeTrain);
    std::string szArgs;

    void SetUp() override { Reset(); }
    void TearDown() override {
        ux_ArgClose();
        for (DataTable* pdt : {&dtT, &dtH, &dtS}) ResetDataTable(*pdt);
    }
    void Reset() {
        for (DataTable* pdt : {&dtT, &dtH, &dtS}) ResetDataTable(*pdt);
        pm->pdtT = &dtT;
        pm->pdtH = &dtH;
        pm->pdtS = &dtS;
    }
    // Makes szText the open argument file.
    void UseArgs(const std::string& szText) {
        ux_ArgClose();
        szArgs = dir.Write("test.args", szText);
        ux_ArgOpen(szArgs);
    }
    // The corpus and an argument file naming it, with the boundary keys and szKeys.
    void Setup(std::string_view szCorpus, const std::string& szKeys) {
        UseArgs("InData = " + dir.Write("corpus.txt", szCorpus) + "\n" +
                std::string(kBoundaryKeys) + "TagTable = \n" + szKeys);
    }
    // Reads; the code and what went to standard error.
    std::pair<int, std::string> Read() {
        int rc = 0;
        const std::string szErr = Stderr([&] { rc = ReadData(szArgs, *pm, ""); });
        return {rc, szErr};
    }
};

TEST_F(DataTables, SegmentsAreStoredParsedInternedAndCounted) {
    Setup(kCorpus, Segments({0, 5, 5, 3, 8, 1}));
    ASSERT_EQ(Read().first, 0);
    EXPECT_EQ(dtT.clData * 100 + dtH.clData * 10 + dtS.clData, 531);
    EXPECT_EQ(dtT.clWords * 100 + dtH.clWords * 10 + dtS.clWords, 310);
    EXPECT_EQ(dtT.rgpszDataLine[2], "NN|NV/BN/|dog|dog|>VB/NN/");
    EXPECT_EQ(dtS.rgpszDataLine[0], "ZZ|Z/Z/|###|###|>ZZ/");
    EXPECT_EQ(dtT.rgpszRest[3] + dtT.rgpszRest[2], "<x>rest");
    EXPECT_EQ(pm->szTrainingData, dir.Path("corpus.txt"));
    EXPECT_EQ(dtT.iInputState, 3);

    const DlData& dl = dtT.rgdl[2];
    EXPECT_EQ(Strings({dl.pszTag, dl.rgpszAC[0], dl.rgpszAC[1], dl.pszForm, dl.rgpszMMt[0]}),
              (Strings{"NN", "NV", "BN", "dog", "VB"}));
    EXPECT_EQ(dl.cMMt, 2);
    // Equal strings are one interned string, across tables too.
    EXPECT_TRUE(dl.pszForm == dtH.rgdl[1].pszForm && dl.pszForm == dl.pszLemma &&
                dl.rgpszMMt[1] == dl.pszTag && dl.rgpszAC[0] == dtT.rgdl[3].rgpszAC[0]);

    // Train mode: no gaps but the end mark, and counts of classes and forms.
    for (long i = 0; i < dtT.clData; ++i) EXPECT_TRUE(GapOf(dtT, i).Empty());
    EXPECT_EQ(GapTexts(GapOf(dtS, 0)), (Strings{"<<virtualend>>"}));
    for (const auto& [pszKey, clExpected] :
         {std::pair{"20NV", 2L}, {"21BN", 2L}, {"20Z", 2L}, {"7edog", 1L}, {"7e###", 1L}}) {
        long cl = 0;
        int fFound = 0;
        std::array<char, 8> sz{};
        ux_HashFindFirst(dtT.phashCnt.get(), pszKey, sz, &cl, &fFound);
        EXPECT_EQ(fFound ? cl : 0L, clExpected) << pszKey;
    }
}

TEST_F(DataTables, InputTraceAndNullLinesInLineFormat) {
    Setup("NN|N/N/|a|b|>NN/\n|N/N/|x|y|>NN/\nVB|V/B/|c|d|>VB/\n", Segments({0, 0, 0, 0, 0, 2}));
    pm->fInputAC = std::fopen(dir.Path("trace").c_str(), "w");
    const auto [rc, szErr] = Read();
    std::fclose(pm->fInputAC);
    pm->fInputAC = nullptr;
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(dtS.clData * 10 + dtS.clWords, 22);
    EXPECT_EQ(dtS.iInputState, 1);
    EXPECT_EQ(dtS.rgpszDataLine[1], "VB|V/B/|c|d|>VB/");
    EXPECT_EQ(szErr, "Reading data \nnull input data (line 1): |N/N/|x|y|>NN/, rest \n"
                     "Data read in.\n");
    EXPECT_EQ(dir.Read("trace"), "000000000 NN|N/N/|a|b|>NN/\n000000001 VB|V/B/|c|d|>VB/\n");
}

TEST_F(DataTables, MissingKeysAndFiles) {
    UseArgs("InData = " + dir.Write("corpus.txt", kCorpus) + "\n" + Segments({0, 5, 5, 3, 8, 1}));
    EXPECT_FATAL(ReadData(szArgs, *pm, ""), 18032,
                 "App: Fatal\\(18032\\): tag: vexta: GetValue SentTag failed");

    UseArgs("TrainStart = 0\n");
    auto [rc, szErr] = Read();
    EXPECT_EQ(rc, 31);
    EXPECT_TRUE(Contains(szErr, "vexta: GetValue (segments) InData failed\n"));

    UseArgs("InData = " + dir.Path("nothere") + "\n" + std::string(kBoundaryKeys));
    std::tie(rc, szErr) = Read();
    EXPECT_EQ(rc, 32);
    EXPECT_TRUE(Contains(szErr, "App: Warn(18032): tag: argument TagTable not found; tags not "
                                "converted"));
    EXPECT_TRUE(Contains(szErr, "vexta: Cannot open input file " + dir.Path("nothere") + "\n"));
}

TEST_F(DataTables, SegmentKeyFailures) {
    const struct {
        std::string_view szKeys;
        int rc;
        std::string_view szMsg;
    } rgCase[] = {
        {"TrainLines = 5\n", 104, "vexta: GetValue (segments) TrainStart failed\n"},
        {"TrainStart = 1x\nTrainLines = 5\n", 104,
         "vexta: strtol (TrainStart) failed; not a number: 1x\n"},
        {"TrainStart = 0\nTrainLines = -5\n", 104, "vexta: TrainLines must not be negative: -5\n"},
        {"TrainStart = 0\nTrainLines = 99999999999\n", 104, "not a number: 99999999999\n"},
        {"TrainStart = 0\nTrainLines = 5\nHeldoutStart = 5\n", 102,
         "GetValue (segments) HeldoutLines failed"},
        {"TrainStart = 0\nTrainLines = 5\nHeldoutStart = 5\nHeldoutLines = 3\nTestLines = 1\n", 103,
         "GetValue (segments) TestStart failed"},
    };
    for (const auto& c : rgCase) {
        Setup(kCorpus, std::string(c.szKeys));
        const auto [rc, szErr] = Read();
        EXPECT_EQ(rc, c.rc) << c.szKeys;
        EXPECT_TRUE(Contains(szErr, c.szMsg)) << c.szKeys;
    }
}

TEST_F(DataTables, OverlappingSegmentsAreRejected) {
    const std::pair<std::array<long, 6>, int> rgCase[] = {
        {{2, 4, 5, 3, 0, 1}, 1}, // heldout start inside training (2..5)
        {{2, 4, 0, 3, 8, 1}, 2}, // heldout end inside training
        {{2, 4, 7, 1, 3, 1}, 3}, // test start inside training
        {{2, 4, 7, 1, 0, 3}, 4}, // test end inside training
        {{0, 2, 4, 3, 5, 1}, 5}, // test start inside heldout (4..6)
        {{0, 2, 4, 3, 3, 2}, 6}, // test end inside heldout
        {{0, 2, 4, 3, 2, 2}, 0}, // adjacent segments in any order
    };
    for (const auto& [rgl, rcExpected] : rgCase) {
        Setup(kCorpus, Segments(rgl));
        EXPECT_EQ(Read().first, rcExpected) << rgl[0] << " " << rgl[2] << " " << rgl[4];
    }

    // A heldout segment that encloses the training segment is not detected;
    // each table gets a gap list of its own.
    pm->fProgMode = kModeTest;
    Setup(kCorpus, Segments({2, 2, 0, 8, 8, 1}));
    ASSERT_EQ(Read().first, 0);
    EXPECT_EQ(dtT.rgpszDataLine[0], dtH.rgpszDataLine[2]);
    ASSERT_FALSE(GapOf(dtT, 0).Empty());
    EXPECT_EQ(GapTexts(GapOf(dtT, 0)), GapTexts(GapOf(dtH, 2)));
}

TEST_F(DataTables, ShortInput) {
    Setup(kCorpus, Segments({0, 10, 20, 1, 30, 1}));
    EXPECT_EQ(Read().first, 57);

    Setup(kCorpus, Segments({0, 5, 5, 7, 30, 1}));
    auto [rc, szErr] = Read();
    EXPECT_EQ(rc, 58);
    EXPECT_TRUE(Contains(szErr, "READ: 9, less than 12\nREAD: 9, less than 12\n"));

    Setup(kCorpus, Segments({0, 5, 5, 2, 7, 10}));
    std::tie(rc, szErr) = Read();
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(
        Contains(szErr, "App: Warn(18032): tag: ReadData: shrinking test/tag data size 10 -> 2\n"));
    EXPECT_EQ(dtS.clLines * 10 + dtS.clData, 22);

    // A test segment that is not given keeps its size (0 in a fresh table)
    // and cannot shrink.
    ResetDataTable(dtS);
    Setup(kCorpus, Segments({0, 0, 0, 0, 0, 0}) + "TestStart = 2111222111\n");
    std::tie(rc, szErr) = Read();
    EXPECT_EQ(rc, 59);
    EXPECT_TRUE(Contains(szErr, "shrinking test/tag data size 0 -> -2111222102"));
}

class DataLines : public ::testing::Test {
protected:
    std::unique_ptr<Model> pm = MakeModel(2, kModeTest);
    DataTable dt;
    void SetUp() override {
        dt.ilStart = 10;
        dt.clLines = 4;
        ASSERT_EQ(AllocSegment(*pm, dt), 0);
    }
    int Insert(std::string_view szLine, long il = 10) {
        gapRecType gap;
        return InsertLine(*pm, dt, szLine, il, "", gap, 1);
    }
};

TEST_F(DataLines, MalformedLinesAndLinesOutsideTheSegment) {
    const std::pair<std::string_view, int> rgCase[] = {
        {"NNN|N/N/|a|b|>NN/", 134},  {"N|N/N/|a|b|>NN/", 134},   {"NN|N/|a|b|>NN/", 135},
        {"NN|N/N/N/|a|b|>NN/", 135}, {"NN|N/N|a|b|>NN/", 137},   {"NN|N/N/", 137},
        {"NN|N/N/|a", 138},          {"NN|N/N/|a|b", 139},       {"NN|N/N/|a|b|>NNN/", 140},
        {"NN|N/N/|a|b|>NN", 140},    {"NN|N/N/|a|b|>NN/V/", 140}};
    // The tagger's reading thread checks lines that its workers parse, also
    // after a line with the same AC and candidate parts passed.
    DlData dlWork;
    CandidateSetCache checked;
    EXPECT_EQ(CheckLine(*pm, "NN|N/N/|x|y|>NN/", dlWork, &checked), 0);
    for (const auto& [sz, rc] : rgCase) {
        EXPECT_EQ(Insert(sz), rc) << sz;
        EXPECT_EQ(CheckLine(*pm, sz, dlWork), rc) << sz;
        EXPECT_EQ(CheckLine(*pm, sz, dlWork, &checked), rc) << sz;
    }
    for (const auto& [sz, rc] : {std::pair<std::string_view, int>{"NN|N/N/|a|b|>N|/", 140},
                                 {"NN|N/N/|a|b|>NN/N//", 140},
                                 {"NN|N/N/|a|b|>NN/NNNNNNNN/", 140},
                                 {"NN|N/N|/|a|b|>NN/", 137}})
        EXPECT_EQ(CheckLine(*pm, sz, dlWork), rc) << sz;
    for (const std::string_view sz : {"NN|N/N/|a|b|>NN/VB/", "NN|N/N/|a|b|", "NN|//|a|b|>",
                                      "N/|N/N/|a/|b|>NN/|rest", "NN|N/N/|a|b||>NN/"})
        EXPECT_EQ(CheckLine(*pm, sz, dlWork), 0) << sz;
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN/", 9) + Insert("NN|N/N/|a|b|>NN/", 14), 0);
    EXPECT_EQ(dt.clData, 0);

    EXPECT_EQ(Insert("NN|N/N/|a|b|", 10) + Insert("NN|N/N/|a|b|>", 13), 0);
    EXPECT_EQ(dt.rgdl[0].cMMt + dt.rgdl[3].cMMt, 0);
    EXPECT_EQ(dt.rgpszDataLine[3], "NN|N/N/|a|b|>");
    EXPECT_EQ(dt.clData, 2);
}

// At a window turn the copies of strings the model lacks stay while they
// take little room; beyond that they go, and the lines kept are parsed again.
TEST_F(DataLines, CopiesStayForTheNextWindowUpToABound) {
    dt.fModelStringsOnly = true;
    const auto Texts = [](const DlData& dl) {
        std::string sz = std::string(dl.pszTag) + "|" + dl.rgpszAC[0] + "/" + dl.rgpszAC[1] + "/|" +
                         dl.pszForm + "|" + dl.pszLemma + "|>";
        for (const char* psz : dl.rgpszMMt) sz += std::string(psz) + "/";
        return sz;
    };
    const std::string_view szKept = "VN|NV/N/|dog|cat|>NN/VN/";
    ASSERT_EQ(Insert(szKept, 10), 0);
    const std::uint64_t uFirst = dt.ownStrings.Generation();
    ASSERT_EQ(RenewCopies(*pm, dt, 1), 0);
    EXPECT_EQ(dt.ownStrings.Generation(), uFirst);
    const std::string szLong(1000, 'x');
    for (int i = 0; dt.ownStrings.BytesUsed() <= kCopiesKeptMax; ++i)
        ASSERT_EQ(Insert("NN|NV/N/|" + std::to_string(i) + szLong + "|=|>NN/VN/", 11), 0);
    const std::uint64_t uGeneration = dt.ownStrings.Generation();
    ASSERT_EQ(RenewCopies(*pm, dt, 1), 0);
    EXPECT_NE(dt.ownStrings.Generation(), uGeneration);
    EXPECT_LT(dt.ownStrings.BytesUsed(), std::size_t{1000});
    EXPECT_EQ(Texts(dt.rgdl[0]), szKept);
}

// Lines with the same AC and candidate parts take their strings from the
// first one; strings the model lacks are copies that last until the table
// clears its copies, and are not handed out after that.
TEST_F(DataLines, RecurringCandidateSetsAcrossClearedCopies) {
    dt.fModelStringsOnly = true;
    const auto Texts = [](const DlData& dl) {
        std::string sz = std::string(dl.pszTag) + "|";
        for (const char* psz : dl.rgpszAC) sz += std::string(psz) + "/";
        sz += std::string("|") + dl.pszForm + "|" + dl.pszLemma + "|>";
        for (const char* psz : dl.rgpszMMt) sz += std::string(psz) + "/";
        return sz;
    };
    for (const std::string_view sz :
         {"NN|NV/N/|dog|dog|>NN/VN/", "VN|NV/N/|cat|x|>NN/VN/", "XY|NV/N/|cat|=|>NN/VN/|r"})
        ASSERT_EQ(Insert(sz, 10 + dt.clData), 0) << sz;
    EXPECT_EQ(Texts(dt.rgdl[1]), "VN|NV/N/|cat|x|>NN/VN/");
    EXPECT_EQ(Texts(dt.rgdl[2]), "XY|NV/N/|cat|=|>NN/VN/");
    EXPECT_TRUE(std::ranges::equal(dt.rgdl[1].rgpszAC, dt.rgdl[0].rgpszAC) &&
                dt.rgdl[1].pszTag == dt.rgdl[0].rgpszMMt[1]);
    // The elements with a choice left are marked, also where the strings
    // come from the line before.
    for (long il = 0; il < dt.clData; ++il) EXPECT_EQ(dt.rgdl[il].uMultiValued, 1u) << il;

    // A new window: the copies go, and other strings take their place.
    for (long il = 0; il < dt.clData; ++il) ClearDataLine(dt, il);
    dt.clData = 0;
    dt.ownStrings.Clear();
    for (const std::string_view sz : {"ZZ|ZQ/ZZ/|qqq|rrr|>ZZ/QZ/", "VN|NV/N/|cat|x|>NN/VN/"})
        ASSERT_EQ(Insert(sz, 10 + dt.clData), 0) << sz;
    EXPECT_EQ(Texts(dt.rgdl[1]), "VN|NV/N/|cat|x|>NN/VN/");
    ASSERT_EQ(ReparseLine(*pm, dt, 1), 0);
    EXPECT_EQ(Texts(dt.rgdl[1]), "VN|NV/N/|cat|x|>NN/VN/");
    DlData dlMoved;
    MoveDlData(dlMoved, dt.rgdl[0]);
    EXPECT_EQ(dlMoved.uMultiValued, 3u);
    EXPECT_EQ(dt.rgdl[1].uMultiValued, 1u);
    ClearDataLine(dt, 1);
    EXPECT_EQ(dt.rgdl[1].uMultiValued, 0u);
}

// A run of lines is emptied as each line alone would be; the lines around
// it keep everything, their error flags too.
TEST_F(DataLines, ClearingARunOfLinesLeavesTheOthers) {
    for (const std::string_view sz : {"NN|NV/N/|a|a|>NN/VN/", "VN|NV/N/|b|b|>NN/VN/",
                                      "NN|NV/N/|c|c|>NN/VN/", "VN|NV/N/|d|d|>NN/VN/"})
        ASSERT_EQ(Insert(sz, 10 + dt.clData), 0) << sz;
    for (auto& rgfErr : dt.rgrgfErr) std::fill(rgfErr.begin(), rgfErr.begin() + 4, 1);
    for (long il = 0; il < 4; ++il) dt.rgfLineErr[il] = 1;
    ClearDataLines(dt, 1, 3);
    ClearDataLines(dt, 2, 2);
    for (long il = 0; il < 4; ++il) {
        const bool fKept = il == 0 || il == 3;
        EXPECT_EQ(dt.rgpszDataLine[il].empty(), !fKept) << il;
        EXPECT_EQ(dt.rgdl[il].pszForm != nullptr, fKept) << il;
        EXPECT_EQ(dt.rgfLineErr[il], fKept ? 1 : 0) << il;
        for (const auto& rgfErr : dt.rgrgfErr) EXPECT_EQ(rgfErr[il], fKept ? 1 : 0) << il;
    }
}

// The reader says where the pieces of the lines it puts together end; a
// piece may hold a "|", so the table must store every line as its text
// splits. Lines of a set met before come after the first one, with fields
// met before and new ones. The reader also keeps the parse of each set
// (one record per AC part and candidate part), which the table takes or
// fills; halfway the table's store of copies is cleared, which outdates
// every record.
TEST_F(DataLines, LinesSplitAtTheReadersPiecesAsTheirText) {
    const std::array<std::string_view, 5> rgrgszPieces[] = {
        {"NN", "NV/N/", "dog", "dog", "NN/VN/"}, {"VN", "NV/N/", "a|b", "x", "NN/VN/"},
        {"VN", "NV/N/", "a", "b|c", "NN/VN/"},   {"VN", "NV/N/", "|", "|", "NN/VN/"},
        {"N|", "NV/N/", "a", "b", "NN/VN/"},     {"NNN", "NV/N/", "a", "b", "NN/VN/"},
        {"N", "NV/N/", "a", "b", "NN/VN/"},      {"VN", "NV/N|/", "a", "b", "NN/VN/"},
        {"VN", "NV/N/", "a", "b", "NN/VN/|r"},   {"VN", "NV/N/", "a", "b", "NN/V|/"},
        {"VN", "NV/N/", "", "", "NN/VN/"},       {"VN", "", "a", "b", "NN/VN/"},
        {"VN", "NV/N/", "a", "b", ""},           {"VN", "NV/N/", "a|", "|>NN/VN/", "NN/VN/"},
        {"VN", "NV/N/", "x", "y", "NN/VN/"},     {"NV", "NV/N/", "dog", "b|c", "NN/VN/"},
        {"VN", "NV/N/", "dog", "y|", "NN/VN/"},  {"VN", "NV/N/", "|dog", "dog", "NN/VN/"},
        {"VN", "NV/N/", "x", "y", "NN/VN/"}};
    // The fields, each followed by a space (a field may hold any separator).
    const auto Texts = [](const DlData& dl) {
        std::string sz;
        const auto Add = [&sz](const char* psz) { sz.append(psz ? psz : "(none)").append(" "); };
        for (const char* psz : {dl.pszTag, dl.pszForm, dl.pszLemma}) Add(psz);
        for (const char* psz : dl.rgpszAC) Add(psz);
        sz.append("> ");
        for (const char* psz : dl.rgpszMMt) Add(psz);
        return sz;
    };
    const long cLines = std::ssize(rgrgszPieces);
    DataTable dtText;
    DlData dlWork;
    CandidateSetCache checked;
    CandidateSetCache checkedText;
    for (DataTable* pdt : {&dt, &dtText}) {
        pdt->ilStart = 0;
        pdt->clLines = cLines;
        ASSERT_EQ(AllocSegment(*pm, *pdt), 0);
        pdt->fModelStringsOnly = true;
    }
    std::map<std::pair<std::string_view, std::string_view>, CandidateSetParse> kept;
    for (long il = 0; il < cLines; ++il) {
        const auto& rgsz = rgrgszPieces[il];
        std::array<char, 128> szLine{};
        DataLineParts parts;
        ASSERT_EQ(InsertEvent(szLine, rgsz[0], rgsz[1], rgsz[2], rgsz[3], rgsz[4], &parts), 0);
        ASSERT_TRUE(parts.fKnown);
        parts.pparse = &kept[{rgsz[1], rgsz[4]}];
        if (il == cLines / 2) dt.ownStrings.Clear();
        const int rc = InsertLine(*pm, dt, szLine.data(), il, "", GapSpan{}, 1, &parts);
        EXPECT_EQ(rc, InsertLine(*pm, dtText, szLine.data(), il, "", GapSpan{}, 1)) << il;
        EXPECT_EQ(CheckLine(*pm, szLine.data(), dlWork, &checked, &parts),
                  CheckLine(*pm, szLine.data(), dlWork, &checkedText))
            << il;
        if (rc == 0) {
            EXPECT_EQ(Texts(dt.rgdl[il]), Texts(dtText.rgdl[il])) << szLine.data();
        }
    }
    // The set of most lines was recorded after the store was cleared.
    const CandidateSetParse& parseMost = kept[{"NV/N/", "NN/VN/"}];
    EXPECT_TRUE(parseMost.pvOwner != nullptr);
    EXPECT_EQ(parseMost.uValid, dt.ownStrings.Generation());
}

// The reader marks the lines whose AC and candidate parts parse as they
// stand; checked by their pieces they give what their text gives, whatever
// the tokens hold (a "|" or "/" in a form, lemma, tag or candidate).
TEST_F(DataLines, ReadLinesCheckByTheirPiecesAsByTheirText) {
    TempDir dir;
    const std::string szIn = "<s><f>a<MMt>NN<MMt>VN<f>a|b<MMt>NN<MMt>VN<f>c<l>x|y<MMt>NN<MMt>VN"
                             "<f>d<t>N|<MMt>VN<MMt>NN<f>e<MMt>N/<MMt>NN<f>f<MMt>NN<MMt>N/"
                             "<f>g<MMt>N|<f>h<MMt>N|<f>i<MMt>//<f>j<MMt>VN<MMt>NN";
    auto ppdf = OpenReader(dir.Write("in.txt", szIn));
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    gapRecType gap;
    DlData dlWork;
    int cLines = 0;
    int cPlain = 0;
    while (GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0) {
        ++cLines;
        cPlain += ppdf->lineParts.fClassPartsPlain ? 1 : 0;
        EXPECT_EQ(CheckLine(*pm, szLine.data(), dlWork, nullptr, &ppdf->lineParts),
                  CheckLine(*pm, szLine.data(), dlWork))
            << szLine.data();
    }
    EXPECT_EQ(cLines, 11);
    EXPECT_EQ(cPlain, 6);
}

TEST_F(DataLines, MovingLinesAndReusingLinks) {
    gapRecType gap;
    gap.Add("<f>c");
    ASSERT_EQ(InsertLine(*pm, dt, "VB|VN/B/|c|d|>VB/NB/", 12, "<r>x", gap, 0), 0);
    dt.rgpszTagOut[2] = {'V', 'B'};
    MoveDataLine(*pm, dt, 0, 2);
    EXPECT_EQ(dt.rgpszDataLine[0], "VB|VN/B/|c|d|>VB/NB/");
    EXPECT_STREQ(dt.rgdl[0].rgpszMMt[1], "NB");
    EXPECT_EQ(dt.rgpszRest[0], "<r>x");
    EXPECT_EQ(GapTexts(GapOf(dt, 0)), (Strings{"<f>c"}));
    EXPECT_STREQ(dt.rgpszTagOut[0].data(), "VB");
    EXPECT_TRUE(dt.rgpszDataLine[2].empty() && GapOf(dt, 2).Empty() && dt.rgdl[2].cMMt == 0);

    // Released links are reused, newest first, and come back cleared.
    SizeTrainingLists(dt, pm->cTagElem);
    FeatureLink* plink1 = NewFeatureLink(dt, 1);
    FeatureLink* plink2 = NewFeatureLink(dt, 1);
    *plink2 = {nullptr, plink1, nullptr, 7};
    dt.rgplinkFeature[1][1] = plink2;
    FreeFeatureLinks(dt, 1, dt.rgplinkFeature[1][1]);
    EXPECT_EQ(dt.rgplinkFeature[1][1], nullptr);
    EXPECT_NE(NewFeatureLink(dt, 0), plink1); // each tag element has its own store
    EXPECT_EQ(NewFeatureLink(dt, 1), plink1);
    FeatureLink* plink = NewFeatureLink(dt, 1);
    EXPECT_TRUE(plink == plink2 && plink->pNext == nullptr && plink->ilLine == 0);
}

TEST_F(DataLines, UnigramCountsAndEntropies) {
    for (long il = 10; il < 14; ++il)
        ASSERT_EQ(Insert(il % 2 ? "NB|N/B/|a|b|" : "NA|N/A/|a|b|", il), 0);
    EXPECT_EQ(GetUnigramCounts(*pm, dt) + GetUnigramEnt(*pm, dt), 0);
    EXPECT_EQ(dt.rgrgclCntTE[0]['N'] * 10 + dt.rgrgclCntTE[1]['A'], 42);
    EXPECT_EQ(dt.rgdEntTE[0], 0.0);
    EXPECT_DOUBLE_EQ(dt.rgdEntTE[1], 1.0);

    DataTable dtEmpty;
    dtEmpty.rgdEntTE[0] = 5.0;
    GetUnigramCounts(*pm, dtEmpty);
    GetUnigramEnt(*pm, dtEmpty);
    EXPECT_EQ(dtEmpty.rgdEntTE[0], 0.0);

    // Room for 31 tag elements; value bytes above 127 count as themselves.
    pm = MakeModel(31, kModeTest);
    DataTable dt31;
    dt31.clLines = 1;
    ASSERT_EQ(AllocSegment(*pm, dt31), 0);
    std::string szTag(31, 'a');
    szTag[30] = '\xe9';
    std::string szLine = szTag + "|";
    for (const char ch : szTag) szLine += std::string(1, ch) + "/";
    gapRecType gap;
    ASSERT_EQ(InsertLine(*pm, dt31, szLine + "|f|l|", 0, "", gap, 0), 0);
    GetUnigramCounts(*pm, dt31);
    GetUnigramEnt(*pm, dt31);
    EXPECT_EQ(dt31.rgrgclCntTE[30][0xe9], 1);
}

// The real corpus with the segments of its common argument file.
class RealCorpus : public DataTables {
protected:
    std::string szCorpus = std::string(VEXTA_SHARED_DIR) + "/corpus/cs-ud-dev.csts";
    const std::string szBoundary =
        "Z#-------------|Z/#/-/-/-/-/-/-/-/-/-/-/-/-/-/|###|###|>Z#-------------/";
    void SetUp() override {
        if (!std::filesystem::exists(szCorpus)) GTEST_SKIP() << "no shared corpus";
        pm = MakeModel(15, kModeTrain, 5);
        Reset();
        UseArgs("InData = " + szCorpus +
                "\nSentTag = Z#-------------\nSentForm = ###\nSentLemma = ###\nTagTable =\n" +
                Segments({0, 44043, 44043, 5570, 49613, 5544}));
    }
};

TEST_F(RealCorpus, SegmentsAndTheEventStream) {
    ASSERT_EQ(Read().first, 0);
    EXPECT_EQ(dtT.clData, 44043);
    EXPECT_EQ(dtH.clData, 5570);
    EXPECT_EQ(dtS.clData, 5544);
    EXPECT_EQ(dtT.rgpszDataLine[0], szBoundary);
    EXPECT_EQ(dtT.rgpszDataLine[1], "NNFS1-----A----|N/N/F/S/14/-/-/-/-/-/A/-/-/-/-/|ČÁST|část|"
                                    ">NNFS4-----A----/NNFS1-----A----/");

    pdfRecType pdf;
    Stderr([&] { ASSERT_EQ(GetDataParams(szArgs, *pm, pdf, ""), 0); });
    EXPECT_EQ(dtS.szSegment, "Test");
    std::vector<Event> rgev = ReadAll(pdf, *pm);
    EXPECT_EQ(rgev.size(), 55158u);
    EXPECT_EQ(rgev.back().szLine, szBoundary);
    EXPECT_EQ(rgev.back().rgszGap, (Strings{"<<virtualend>>"}));
}

} // namespace
} // namespace vexta::test
