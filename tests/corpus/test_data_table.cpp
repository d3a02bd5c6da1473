// Data tables: reading segments from small corpora and the real one, the
// return codes of segment set-up and reading, data-line parsing, the line
// helpers, and the per-element counts and entropies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "corpus/corpus_stats.h"
#include "corpus/data_table.h"
#include "corpus_test_util.h"

namespace vexta::test {
namespace {

using Strings = std::vector<std::string>;

// Nine event lines: 0 <s>, 1 The, 2 dog, 3 runs, 4 ., 5 <s>, 6 dog, 7 ., 8 end.
constexpr std::string_view kCorpus = "<csts>\n<doc>\n<s>\n"
                                     "<f>The<l>the<t>DT<MMt>DT\n"
                                     "<f>dog<l>dog<t>NN<MMt>NN<MMt>VB\n"
                                     "<f>runs<l>run<t>VB<MMt>NN<MMt>VB\n"
                                     "<d>.<l>.<t>Z:<MMt>Z:\n"
                                     "<s>\n"
                                     "<f>dog<l>dog<t>NN<MMt>NN<MMt>VB\n"
                                     "<d>.<l>.<t>Z:<MMt>Z:\n"
                                     "</doc>\n</csts>\n";

constexpr std::string_view kSegments = "TrainStart = 0\nTrainLines = 5\n"
                                       "HeldoutStart = 5\nHeldoutLines = 3\n"
                                       "TestStart = 8\nTestLines = 1\n";

class DataTables : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<Model> pm = MakeModel(2, kModeTrain);
    std::string szArgs;

    void SetUp() override {
        for (DataTable* pdt : {&dtT, &dtH, &dtS}) ResetDataTable(*pdt);
        pm->pdtT = &dtT;
        pm->pdtH = &dtH;
        pm->pdtS = &dtS;
    }
    void TearDown() override {
        ux_ArgClose();
        for (DataTable* pdt : {&dtT, &dtH, &dtS}) ResetDataTable(*pdt);
    }

    // Writes the corpus and an argument file with the common keys plus szKeys,
    // and opens the argument file.
    void Setup(std::string_view szCorpus, std::string_view szKeys,
               std::string_view szCommon = "SentTag = ZZ\nSentForm = ###\nSentLemma = ###\n"
                                           "TagTable = \n") {
        const std::string szIn = dir.Write("corpus.txt", szCorpus);
        szArgs = dir.Write("test.args",
                           "InData = " + szIn + "\n" + std::string(szCommon) + std::string(szKeys));
        ux_ArgOpen(szArgs);
    }
    int Read() { return ReadData(szArgs, *pm, ""); }
};

TEST_F(DataTables, SegmentsAreStoredParsedAndInterned) {
    Setup(kCorpus, kSegments);
    ASSERT_EQ(Read(), 0);
    EXPECT_EQ(dtT.clData, 5);
    EXPECT_EQ(dtH.clData, 3);
    EXPECT_EQ(dtS.clData, 1);
    EXPECT_EQ(dtT.clWords, 3);
    EXPECT_EQ(dtH.clWords, 1);
    EXPECT_EQ(dtS.clWords, 0);
    EXPECT_EQ(dtT.rgpszDataLine[0], "ZZ|Z/Z/|###|###|>ZZ/");
    EXPECT_EQ(dtT.rgpszDataLine[2], "NN|NV/BN/|dog|dog|>VB/NN/");
    EXPECT_EQ(dtS.rgpszDataLine[0], "ZZ|Z/Z/|###|###|>ZZ/");
    EXPECT_EQ(pm->szTrainingData, dir.Path("corpus.txt"));

    const DlData& dl = dtT.rgdl[2];
    EXPECT_STREQ(dl.pszTag, "NN");
    ASSERT_EQ(dl.rgpszAC.size(), 2u);
    EXPECT_STREQ(dl.rgpszAC[0], "NV");
    EXPECT_STREQ(dl.rgpszAC[1], "BN");
    EXPECT_STREQ(dl.pszForm, "dog");
    EXPECT_STREQ(dl.pszLemma, "dog");
    ASSERT_EQ(dl.cMMt, 2);
    EXPECT_STREQ(dl.rgpszMMt[0], "VB");
    EXPECT_STREQ(dl.rgpszMMt[1], "NN");
    // Equal strings are one interned string, across tables too.
    EXPECT_EQ(dl.pszForm, dtH.rgdl[1].pszForm);
    EXPECT_EQ(dl.pszForm, dl.pszLemma);
    EXPECT_EQ(dl.rgpszAC[0], dtT.rgdl[3].rgpszAC[0]);
    EXPECT_EQ(dl.rgpszMMt[1], dl.pszTag);
    EXPECT_EQ(dl.rgpszMMt[0], dtT.rgdl[3].pszTag);

    // Work areas are ready for the taggers.
    EXPECT_EQ(dtT.rgbeam[2].rgve.size(), 3u);
    EXPECT_EQ(dtT.rgbeam[2].iBeamBest, -1);
    EXPECT_EQ(dtT.rgrgfErr.size(), 2u);
    EXPECT_EQ(dtT.rgrgfErr[1].size(), 6u);
    EXPECT_EQ(dtT.rgilNextAC, (std::vector<long>(5, -1)));
    EXPECT_EQ(dtS.rgilNextFeature.size(), 1u);
    EXPECT_EQ(dtT.iInputState, 3);
}

TEST_F(DataTables, TrainModeCountsClassesAndFormsAndKeepsNoGaps) {
    Setup(kCorpus, kSegments);
    ASSERT_EQ(Read(), 0);
    for (long i = 0; i < dtT.clData; ++i) EXPECT_EQ(dtT.rgpgap[i], nullptr);
    ASSERT_NE(dtS.rgpgap[0], nullptr);
    EXPECT_EQ(GapTexts(dtS.rgpgap[0].get()), (Strings{"<<virtualend>>"}));

    ASSERT_TRUE(dtT.phashCnt);
    const auto Count = [](const char* pszKey) {
        long l = 0;
        int fFound = 0;
        std::array<char, 8> sz{};
        ux_HashFindFirst(dtT.phashCnt.get(), pszKey, sz, &l, &fFound);
        return fFound ? l : 0L;
    };
    EXPECT_EQ(Count("20NV"), 2);
    EXPECT_EQ(Count("21BN"), 2);
    EXPECT_EQ(Count("20Z"), 2);
    EXPECT_EQ(Count("7edog"), 1);
    EXPECT_EQ(Count("7e###"), 1);
    EXPECT_EQ(Count("7e."), 1);
}

TEST_F(DataTables, TestModeKeepsGapsAndRests) {
    pm->fProgMode = kModeTest;
    Setup("<s><f>a<x>rest<MMt>NN</csts>", "TrainStart = 0\nTrainLines = 0\n"
                                          "HeldoutStart = 0\nHeldoutLines = 0\n"
                                          "TestStart = 0\nTestLines = 3\n");
    ASSERT_EQ(Read(), 0);
    ASSERT_EQ(dtS.clData, 3);
    EXPECT_FALSE(dtS.phashCnt);
    EXPECT_EQ(GapTexts(dtS.rgpgap[0].get()), (Strings{"<s>"}));
    EXPECT_EQ(GapTexts(dtS.rgpgap[1].get()), (Strings{"<f>a", "<MMt>NN"}));
    EXPECT_EQ(GapTexts(dtS.rgpgap[2].get()), (Strings{"</csts>\n", "<<virtualend>>"}));
    EXPECT_EQ(dtS.rgpszRest[1], "<x>rest");
    EXPECT_EQ(dtS.rgpszRest[0], "");
}

TEST_F(DataTables, InputTraceAndLineFormat) {
    pm->fProgMode = kModeTest;
    Setup("NN|N/N/|a|b|>NN/\n|N/N/|x|y|>NN/\nVB|V/B/|c|d|>VB/\n",
          "TrainStart = 0\nTrainLines = 0\nHeldoutStart = 0\nHeldoutLines = 0\n"
          "TestStart = 0\nTestLines = 2\n");
    std::FILE* pfTrace = std::tmpfile();
    fInputAC = pfTrace;
    ::testing::internal::CaptureStderr();
    const int rc = Read();
    const std::string szErr = ::testing::internal::GetCapturedStderr();
    fInputAC = nullptr;
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(dtS.clData, 2);
    EXPECT_EQ(dtS.clWords, 2);
    EXPECT_EQ(dtS.iInputState, 1);
    EXPECT_EQ(dtS.rgpszDataLine[1], "VB|V/B/|c|d|>VB/");
    EXPECT_EQ(dtS.rgpgap[0], nullptr);
    EXPECT_NE(szErr.find("null input data (line 1): |N/N/|x|y|>NN/, rest \n"), std::string::npos);
    EXPECT_EQ(szErr.find("Reading data \n"), 0u);
    EXPECT_NE(szErr.find("Data read in.\n"), std::string::npos);

    std::rewind(pfTrace);
    std::array<char, 200> sz{};
    std::string szTrace;
    while (std::fgets(sz.data(), sz.size(), pfTrace)) szTrace += sz.data();
    std::fclose(pfTrace);
    EXPECT_EQ(szTrace, "000000000 NN|N/N/|a|b|>NN/\n000000001 VB|V/B/|c|d|>VB/\n");
}

TEST_F(DataTables, MissingKeysAndBadInput) {
    Setup(kCorpus, kSegments, "");
    EXPECT_EXIT(Read(), ::testing::ExitedWithCode(18032 & 255),
                "App: Fatal\\(18032\\): tag: vexta: GetValue SentTag failed");
    ux_ArgClose();

    szArgs = dir.Write("none.args", "TrainStart = 0\n");
    ux_ArgOpen(szArgs);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Read(), 31);
    EXPECT_NE(
        ::testing::internal::GetCapturedStderr().find("vexta: GetValue (segments) InData failed\n"),
        std::string::npos);
    ux_ArgClose();

    szArgs = dir.Write("nofile.args", "InData = " + dir.Path("nothere") +
                                          "\nSentTag = ZZ\nSentForm = x\nSentLemma = y\n");
    ux_ArgOpen(szArgs);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Read(), 32);
    const std::string szErr = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(szErr.find("App: Warn(18032): tag: argument TagTable not found; tags not converted"),
              std::string::npos);
    EXPECT_NE(szErr.find("vexta: Cannot open input file " + dir.Path("nothere") + "\n"),
              std::string::npos);
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
        {"TrainStart = 0\nTrainLines = 5\nHeldoutStart = 5\nHeldoutLines = 3\n"
         "TestStart = x\nTestLines = 1\n",
         103, "strtol (TestStart) failed"},
    };
    for (const auto& c : rgCase) {
        Setup(kCorpus, c.szKeys);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Read(), c.rc) << c.szKeys;
        EXPECT_NE(::testing::internal::GetCapturedStderr().find(c.szMsg), std::string::npos)
            << c.szKeys;
        ux_ArgClose();
    }
}

std::string Segments(long ilTr, long clTr, long ilHe, long clHe, long ilTe, long clTe) {
    char sz[300];
    std::snprintf(sz, sizeof sz,
                  "TrainStart = %ld\nTrainLines = %ld\nHeldoutStart = %ld\nHeldoutLines = "
                  "%ld\nTestStart = %ld\nTestLines = %ld\n",
                  ilTr, clTr, ilHe, clHe, ilTe, clTe);
    return sz;
}

TEST_F(DataTables, OverlappingSegmentsAreRejected) {
    const struct {
        long rgl[6];
        int rc;
    } rgCase[] = {
        {{2, 4, 5, 3, 0, 1}, 1}, // heldout start inside training (2..5)
        {{2, 4, 0, 3, 8, 1}, 2}, // heldout end inside training
        {{2, 4, 7, 1, 3, 1}, 3}, // test start inside training
        {{2, 4, 7, 1, 0, 3}, 4}, // test end inside training
        {{0, 2, 4, 3, 5, 1}, 5}, // test start inside heldout (4..6)
        {{0, 2, 4, 3, 3, 2}, 6}, // test end inside heldout
        {{0, 2, 4, 3, 2, 2}, 0}, // adjacent segments in any order
    };
    for (const auto& c : rgCase) {
        Setup(kCorpus, Segments(c.rgl[0], c.rgl[1], c.rgl[2], c.rgl[3], c.rgl[4], c.rgl[5]));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Read(), c.rc) << c.rgl[0] << " " << c.rgl[2] << " " << c.rgl[4];
        ::testing::internal::GetCapturedStderr();
        ux_ArgClose();
    }
}

TEST_F(DataTables, EnclosedSegmentGetsItsOwnGapList) {
    pm->fProgMode = kModeTest;
    // The heldout segment encloses the training segment (not detected).
    Setup(kCorpus, Segments(2, 2, 0, 8, 8, 1));
    ASSERT_EQ(Read(), 0);
    EXPECT_EQ(dtT.clData, 2);
    EXPECT_EQ(dtH.clData, 8);
    EXPECT_EQ(dtT.rgpszDataLine[0], dtH.rgpszDataLine[2]);
    ASSERT_NE(dtT.rgpgap[0], nullptr);
    EXPECT_NE(dtT.rgpgap[0].get(), dtH.rgpgap[2].get());
    EXPECT_EQ(GapTexts(dtT.rgpgap[0].get()), GapTexts(dtH.rgpgap[2].get()));
}

TEST_F(DataTables, ShortInput) {
    Setup(kCorpus, Segments(0, 10, 20, 1, 30, 1));
    EXPECT_EQ(Read(), 57);
    ux_ArgClose();

    Setup(kCorpus, Segments(0, 5, 5, 7, 30, 1));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Read(), 58);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "READ: 9, less than 12\nREAD: 9, less than 12\n"),
              std::string::npos);
    ux_ArgClose();

    Setup(kCorpus, Segments(0, 5, 5, 2, 7, 10));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Read(), 0);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "App: Warn(18032): tag: ReadData: shrinking test/tag data size 10 -> 2\n"),
              std::string::npos);
    EXPECT_EQ(dtS.clLines, 2);
    EXPECT_EQ(dtS.clData, 2);
    ux_ArgClose();

    // A test segment that is not given keeps its size (0 in a fresh table)
    // and cannot shrink.
    ResetDataTable(dtS);
    Setup(kCorpus, "TrainStart = 0\nTrainLines = 0\nHeldoutStart = 0\nHeldoutLines = 0\n"
                   "TestStart = 2111222111\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Read(), 59);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "shrinking test/tag data size 0 -> -2111222102"),
              std::string::npos);
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
        return InsertLine(*pm, dt, szLine, il, "", nullptr, 1);
    }
};

TEST_F(DataLines, MalformedLinesAreRejectedWithTheirCodes) {
    EXPECT_EQ(Insert("NNN|N/N/|a|b|>NN/"), 134);
    EXPECT_EQ(Insert("N|N/N/|a|b|>NN/"), 134);
    EXPECT_EQ(Insert("NN|N/|a|b|>NN/"), 135);
    EXPECT_EQ(Insert("NN|N/N/N/|a|b|>NN/"), 135);
    EXPECT_EQ(Insert("NN|N/N|a|b|>NN/"), 137);
    EXPECT_EQ(Insert("NN|N/N/"), 137);
    EXPECT_EQ(Insert("NN|N/N/|a"), 138);
    EXPECT_EQ(Insert("NN|N/N/|a|b"), 139);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NNN/"), 140);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN"), 140);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN/V/"), 140);
    EXPECT_EQ(dt.clData, 0);

    EXPECT_EQ(Insert("NN|N/N/|a|b|"), 0);
    EXPECT_EQ(dt.rgdl[0].cMMt, 0);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>", 11), 0);
    EXPECT_EQ(dt.rgdl[1].cMMt, 0);
    EXPECT_EQ(dt.clData, 2);
}

TEST_F(DataLines, LinesOutsideTheSegmentAreNotStored) {
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN/", 9), 0);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN/", 14), 0);
    EXPECT_EQ(dt.clData, 0);
    EXPECT_EQ(dt.clWords, 0);
    EXPECT_EQ(Insert("NN|N/N/|a|b|>NN/", 13), 0);
    EXPECT_EQ(dt.rgpszDataLine[3], "NN|N/N/|a|b|>NN/");
}

TEST_F(DataLines, FieldHelpers) {
    EXPECT_STREQ(GetFormPtr("NN|A/B/|dog|lem|>NN/"), "dog|lem|>NN/");
    EXPECT_EQ(GetFormPtr("NN|A/B/"), nullptr);

    std::array<char, 16> sz{};
    EXPECT_EQ(GetLemmaStr(sz, "NN|A/|f|lem|>X/"), 0);
    EXPECT_STREQ(sz.data(), "lem");
    EXPECT_EQ(GetLemmaStr(sz, "NN|A/|f|lem"), 0);
    EXPECT_STREQ(sz.data(), "lem");
    EXPECT_EQ(GetLemmaStr(sz, "NN"), 2);
    EXPECT_EQ(GetLemmaStr(sz, "NN|"), 2);
    EXPECT_EQ(GetLemmaStr(sz, "NN|A/"), 3);
    EXPECT_EQ(GetLemmaStr(sz, "NN|A/|f"), 4);
    EXPECT_EQ(GetLemmaStr(sz, "NN|A/|f|"), 4);
    EXPECT_EQ(GetLemmaStr(std::span(sz).first(4), "NN|A/|f|lemma|"), 5);
    EXPECT_STREQ(sz.data(), "lem");

    EXPECT_STREQ(GetMMtPtr("NN|A/|f|l|>NN/VB/"), "NN/VB/");
    EXPECT_EQ(GetMMtPtr("NN|A/|f|l|"), nullptr);
    EXPECT_EQ(GetMMtPtr("NN|A/|f|l|>"), nullptr);
    EXPECT_EQ(GetMMtPtr("NN|A/|f|l|NN/"), nullptr);
}

TEST_F(DataLines, MovingClearingAndCopyingLines) {
    gapRecType* pgapRaw = nullptr;
    {
        auto pgap = std::make_unique<gapRecType>();
        pgap->pszGapText = std::make_unique<char[]>(4);
        std::snprintf(pgap->pszGapText.get(), 4, "<s>");
        pgapRaw = pgap.get();
        ASSERT_EQ(InsertLine(*pm, dt, "NN|N/N/|a|b|>NN/", 10, "", nullptr, 1), 0);
        ASSERT_EQ(InsertLine(*pm, dt, "VB|VN/B/|c|d|>VB/NB/", 12, "<r>x", std::move(pgap), 0), 0);
    }
    dt.rgbeam[2].cBeam = 2;
    dt.rgbeam[2].iBeamBest = 1;
    std::snprintf(dt.rgbeam[2].rgve[1].pszTag.data(), 3, "VB");
    dt.rgbeam[2].rgve[1].iBack = 4;
    dt.rgbeam[2].rgve[1].dProb = 0.25;
    std::snprintf(dt.rgpszTagOut[2].data(), 3, "VB");
    const DlData dlBefore = dt.rgdl[2];

    MoveDataLine(*pm, dt, 0, 2);
    EXPECT_EQ(dt.rgpszDataLine[0], "VB|VN/B/|c|d|>VB/NB/");
    EXPECT_EQ(dt.rgdl[0].pszForm, dlBefore.pszForm);
    EXPECT_EQ(dt.rgdl[0].rgpszMMt, dlBefore.rgpszMMt);
    EXPECT_EQ(dt.rgpszRest[0], "<r>x");
    EXPECT_EQ(dt.rgpgap[0].get(), pgapRaw);
    EXPECT_STREQ(dt.rgpszTagOut[0].data(), "VB");
    EXPECT_EQ(dt.rgbeam[0].cBeam, 2);
    EXPECT_EQ(dt.rgbeam[0].iBeamBest, 1);
    EXPECT_STREQ(dt.rgbeam[0].rgve[1].pszTag.data(), "VB");
    EXPECT_EQ(dt.rgbeam[0].rgve[1].iBack, 4);
    EXPECT_EQ(dt.rgbeam[0].rgve[1].dProb, 0.25);

    EXPECT_EQ(dt.rgpszDataLine[2], "");
    EXPECT_EQ(dt.rgpgap[2], nullptr);
    EXPECT_EQ(dt.rgdl[2].cMMt, 0);
    EXPECT_EQ(dt.rgbeam[2].cBeam, 0);
    EXPECT_EQ(dt.rgbeam[2].iBeamBest, -1);
    EXPECT_EQ(dt.rgpszTagOut[2][0], '\0');

    VeItem ve;
    CopyVeItem(*pm, ve, dt.rgbeam[0].rgve[1]);
    EXPECT_STREQ(ve.pszTag.data(), "VB");
    EXPECT_EQ(ve.iBack, 4);
    EXPECT_EQ(ve.dProb, 0.25);
}

TEST_F(DataLines, FeatureLinksAreReused) {
    FeatureLink* plink1 = NewFeatureLink(dt);
    FeatureLink* plink2 = NewFeatureLink(dt);
    plink2->pNext = plink1;
    plink2->ilLine = 7;
    dt.rgplinkFeature[1] = plink2;
    FreeFeatureLinks(dt, dt.rgplinkFeature[1]);
    EXPECT_EQ(dt.rgplinkFeature[1], nullptr);
    FeatureLink* plinkA = NewFeatureLink(dt);
    FeatureLink* plinkB = NewFeatureLink(dt);
    EXPECT_TRUE((plinkA == plink1 && plinkB == plink2) || (plinkA == plink2 && plinkB == plink1));
    EXPECT_EQ(plinkA->pNext, nullptr);
    EXPECT_EQ(plinkB->ilLine, 0);
    EXPECT_NE(NewFeatureLink(dt), plink1);
}

TEST_F(DataLines, UnigramCountsAndEntropies) {
    ASSERT_EQ(Insert("NA|N/A/|a|b|>NA/", 10), 0);
    ASSERT_EQ(Insert("NB|N/B/|a|b|>NB/", 11), 0);
    ASSERT_EQ(Insert("NA|N/A/|a|b|>NA/", 12), 0);
    ASSERT_EQ(Insert("NB|N/B/|a|b|>NB/", 13), 0);
    EXPECT_EQ(GetUnigramCounts(*pm, dt), 0);
    EXPECT_EQ(GetUnigramEnt(*pm, dt), 0);
    EXPECT_EQ(dt.rgrgclCntTE[0]['N'], 4);
    EXPECT_EQ(dt.rgrgclCntTE[1]['A'], 2);
    EXPECT_EQ(dt.rgdEntTE[0], 0.0);
    EXPECT_DOUBLE_EQ(dt.rgdEntTE[1], 1.0);

    DataTable dtEmpty;
    dtEmpty.rgdEntTE[0] = 5.0;
    EXPECT_EQ(GetUnigramCounts(*pm, dtEmpty), 0);
    EXPECT_EQ(GetUnigramEnt(*pm, dtEmpty), 0);
    EXPECT_EQ(dtEmpty.rgdEntTE[0], 0.0);
    EXPECT_EQ(dtEmpty.rgdEntTE[1], 0.0);
}

TEST_F(DataTables, EntropiesOfTheSmallCorpus) {
    Setup(kCorpus, kSegments);
    ASSERT_EQ(Read(), 0);
    GetUnigramCounts(*pm, dtT);
    GetUnigramEnt(*pm, dtT);
    // Element 0 over Z D N V Z: 0.4, 0.2, 0.2, 0.2.
    const double dH = -(0.4 * std::log2(0.4) + 3 * 0.2 * std::log2(0.2));
    EXPECT_NEAR(dtT.rgdEntTE[0], dH, 1e-12);
    EXPECT_EQ(dtT.rgrgclCntTE[0]['Z'], 2);
}

TEST(TagElements, TablesHaveRoomForThirtyOneElements) {
    auto pm = MakeModel(31, kModeTest);
    DataTable dt;
    dt.ilStart = 0;
    dt.clLines = 1;
    ASSERT_EQ(AllocSegment(*pm, dt), 0);
    std::string szTag(31, 'a');
    szTag[30] = '\xe9';
    std::string szLine = szTag + "|";
    for (int t = 0; t < 31; ++t) szLine += std::string(1, szTag[t]) + "/";
    szLine += "|f|l|>" + szTag + "/";
    ASSERT_EQ(InsertLine(*pm, dt, szLine, 0, "", nullptr, 0), 0);
    GetUnigramCounts(*pm, dt);
    GetUnigramEnt(*pm, dt);
    EXPECT_EQ(dt.rgrgclCntTE[30][0xe9], 1);
    EXPECT_EQ(dt.rgdEntTE[30], 0.0);
}

// The real corpus with the segments of its common argument file.
class RealCorpus : public DataTables {
protected:
    std::string szCorpus = std::string(VEXTA_SHARED_DIR) + "/corpus/cs-ud-dev.csts";
    void SetUp() override {
        if (!std::filesystem::exists(szCorpus)) GTEST_SKIP() << "no shared corpus";
        DataTables::SetUp();
        pm = MakeModel(15, kModeTrain, 5);
        pm->pdtT = &dtT;
        pm->pdtH = &dtH;
        pm->pdtS = &dtS;
        szArgs = dir.Write("real.args", "InData = " + szCorpus +
                                            "\nSentTag = Z#-------------\nSentForm = ###\n"
                                            "SentLemma = ###\nTagTable =\n"
                                            "TrainStart = 0\nTrainLines = 44043\n"
                                            "HeldoutStart = 44043\nHeldoutLines = 5570\n"
                                            "TestStart = 49613\nTestLines = 5544\n");
        ux_ArgOpen(szArgs);
    }
};

TEST_F(RealCorpus, SegmentsOfTheCommonArguments) {
    ::testing::internal::CaptureStderr();
    const int rc = Read();
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(dtT.clData, 44043);
    EXPECT_EQ(dtH.clData, 5570);
    EXPECT_EQ(dtS.clData, 5544);
    EXPECT_EQ(dtT.rgpszDataLine[0],
              "Z#-------------|Z/#/-/-/-/-/-/-/-/-/-/-/-/-/-/|###|###|>Z#-------------/");
    EXPECT_EQ(dtT.rgpszDataLine[1], "NNFS1-----A----|N/N/F/S/14/-/-/-/-/-/A/-/-/-/-/|ČÁST|část|"
                                    ">NNFS4-----A----/NNFS1-----A----/");
}

TEST_F(RealCorpus, EventStreamEndsWithTheEndOfInputLine) {
    pdfRecType pdf;
    ::testing::internal::CaptureStderr();
    const int rc = GetDataParams(szArgs, *pm, pdf, "");
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(rc, 0);
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    std::unique_ptr<gapRecType> pgap;
    long cLines = 0;
    std::string szLast;
    Strings rgszLastGap;
    while (GetEvent(szLine, szRest, pgap, pdf, *pm) == 0) {
        ++cLines;
        if (pgap) rgszLastGap = GapTexts(pgap.get());
        szLast = szLine.data();
    }
    EXPECT_EQ(cLines, 55158);
    EXPECT_EQ(szLast, "Z#-------------|Z/#/-/-/-/-/-/-/-/-/-/-/-/-/-/|###|###|>Z#-------------/");
    EXPECT_EQ(rgszLastGap, (Strings{"<<virtualend>>"}));
    EXPECT_EQ(dtS.szSegment, "Test");
}

} // namespace
} // namespace vexta::test
