// The beam-search tagger: beam width, ties, the traced-back path, error
// counts and output, the answers items share, and the lines it cannot score
// normally.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "features/tag_probs.h"
#include "tagging/beam_search.h"
#include "tagging/shared_reads.h"
#include "test_model_util.h"
#include "test_util.h"

namespace vexta {
namespace {

using test::TinyModel;
using Strings = std::vector<std::string>;

Strings TagsOut(const TinyModel& tm) {
    Strings rgsz;
    for (long il = 0; il < tm.dt.clData; ++il) rgsz.emplace_back(tm.dt.rgpszTagOut[il].data());
    return rgsz;
}

int Tag(TinyModel& tm, int fTraining = 0) {
    return ErrorRateDataVTC(tm.dt, tm.m, 0, fTraining, 0, tm.dt.clLines, 0, tm.dt.clLines - 1);
}

// Line 0 prefers N slightly; after V, a feature makes A on line 1 very
// likely, so the best whole path is V A although N is better on line 0.
void BuildGreedyTrap(TinyModel& tm) {
    tm.SetClasses(0, "NVAB", {});
    TagElem& te = tm.m.rgteTagElem[0];
    te.rgclSubtagCnt['N'] = 6;
    te.rgclSubtagCnt['V'] = 4;
    te.fSignPlus = 1;
    tm.SetLines({"V|NV/|a|a|>N/V/", "A|AB/|b|b|>A/B/", "A|A/|c|c|>A/"});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 99, 1}, 1.0, {tm.Term(-1, 0, "V")});
}

// The probability of a whole path of candidate tags (one per line): the
// product over lines of its tag's value probabilities, each line seeing the
// path's own tags on its left, as the beam search scores it.
double PathProb(TinyModel& tm, const Strings& rgszPath) {
    double dP = 1.0;
    for (long il = 0; il < static_cast<long>(rgszPath.size()); ++il) {
        for (long r = 0; r < il; ++r) tm.SetItem(r, 0, rgszPath[r], 0);
        tm.dt.iBeamPrev = 0;
        for (int t = 0; t < tm.m.cTagElem; ++t) {
            TagProbs probs{};
            int iBest = 0;
            if (GetTagProbsInto(kProbsModeTag, nullptr, &probs, iBest, tm.m, t, tm.dt, il) !=
                kProbsSingleValue)
                dP *= probs[static_cast<unsigned char>(rgszPath[il][t])];
        }
    }
    return dP;
}

TEST(BeamSearch, AWideBeamFindsTheMostProbablePath) {
    // Random short inputs of two-element tags with features on the tags one
    // and two lines to the left: a beam that holds every path must choose
    // the path that exhaustive search finds most probable.
    unsigned uSeed = 12345;
    const auto Rand = [&uSeed](unsigned n) {
        uSeed = uSeed * 1103515245u + 12345u;
        return (uSeed >> 16) % n;
    };
    long cBetter = 0; // paths more probable than the beam's, over all cases
    for (int iCase = 0; iCase < 40; ++iCase) {
        TinyModel tm(2, 126);
        tm.SetClasses(0, "ABC", {"AB", "ABC"});
        tm.SetClasses(1, "xy", {"xy"});
        for (const char* pszAC : {"AB", "ABC"}) {
            const std::size_t n = std::string_view(pszAC).size();
            for (int k = 0; k < 3; ++k) {
                std::vector<long> rgcl(n);
                for (long& cl : rgcl) cl = 1 + Rand(20);
                const char* rgszValue[] = {"A", "B", "C"};
                tm.AddFeature(0, tm.Class(0, pszAC), rgcl, 0.5 + Rand(4) * 0.5,
                              {tm.Term(-1 - static_cast<int>(Rand(2)), static_cast<int>(Rand(2)),
                                       rgszValue[Rand(3)])});
            }
        }
        tm.AddFeature(1, tm.Class(1, "xy"), {1 + static_cast<long>(Rand(9)), 3}, 1.0,
                      {tm.Term(-1, 0, "A")});
        tm.m.rgteTagElem[0].rgclSubtagCnt['A'] = 5;
        tm.m.rgteTagElem[0].rgclSubtagCnt['B'] = 3;
        tm.m.rgteTagElem[0].rgclSubtagCnt['C'] = 2;
        // 3 to 4 lines of 2 or 3 candidates: at most 81 paths, all in the beam.
        const char* rgszLine[] = {"Ax|AB/xy/|a|a|>Ax/By/", "Bx|ABC/x/|b|b|>Ax/Bx/Cx/",
                                  "Ay|AB/xy/|c|c|>Ay/Bx/Ax/", "Cy|ABC/y/|d|d|>Cy/Ay/By/"};
        Strings rgszIn;
        const int cLines = 3 + static_cast<int>(Rand(2));
        for (int i = 0; i < cLines; ++i) rgszIn.push_back(rgszLine[Rand(4)]);
        tm.SetLines(rgszIn);
        ASSERT_LE(Tag(tm), 0);
        const Strings rgszBeam = TagsOut(tm);

        // Every path, best first; the check is skipped on a near tie.
        std::vector<std::pair<double, Strings>> rgPath{{1.0, {}}};
        for (long il = 0; il < tm.dt.clData; ++il) {
            std::vector<std::pair<double, Strings>> rgNext;
            for (const auto& [dP, rgsz] : rgPath) {
                for (const char* pszCand : tm.dt.rgdl[il].rgpszMMt) {
                    Strings rgszLonger = rgsz;
                    rgszLonger.emplace_back(pszCand, 2);
                    rgNext.emplace_back(dP, rgszLonger);
                }
            }
            rgPath = rgNext;
        }
        double dBest = 0.0;
        for (auto& [dP, rgsz] : rgPath) dBest = std::max(dBest, dP = PathProb(tm, rgsz));
        // The beam's path is the best one, or one of those tied with it.
        const double dBeam = PathProb(tm, rgszBeam);
        EXPECT_GE(dBeam, dBest * (1 - 1e-9)) << "case " << iCase;
        cBetter += std::count_if(rgPath.begin(), rgPath.end(),
                                 [dBeam](const auto& path) { return path.first > dBeam; });
    }
    EXPECT_EQ(cBetter, 0);
}

TEST(BeamSearch, WidthDecidesWhetherTheBestPathIsFound) {
    TinyModel tmNarrow(1, 1);
    BuildGreedyTrap(tmNarrow);
    EXPECT_EQ(kProbsSingleValue, Tag(tmNarrow)) << "the result of the last line's decision";
    EXPECT_EQ((Strings{"N", "A", "A"}), TagsOut(tmNarrow));
    EXPECT_EQ(1, tmNarrow.m.clErr);

    TinyModel tm(1, 2);
    BuildGreedyTrap(tm);
    Tag(tm);
    EXPECT_EQ((Strings{"V", "A", "A"}), TagsOut(tm));
    EXPECT_EQ(0, tm.m.clErr);
    for (long il = 0; il < 3; ++il) {
        const BeamLine& bl = tm.dt.rgbeam[il];
        EXPECT_EQ(tm.dt.rgpszTagOut[il], bl.rgve[bl.iBeamBest].pszTag);
    }
    // The chosen items now point forward; the last one nowhere.
    EXPECT_EQ(tm.dt.rgbeam[2].iBeamBest, tm.dt.rgbeam[1].rgve[tm.dt.rgbeam[1].iBeamBest].iBack);
    EXPECT_EQ(-1, tm.dt.rgbeam[2].rgve[tm.dt.rgbeam[2].iBeamBest].iBack);

    // From the links (training flag 1) the feature counts after either tag.
    tm.Link(1, tm.m.rgfdFeatureArea[0]);
    Tag(tm, 1);
    EXPECT_EQ((Strings{"N", "A", "A"}), TagsOut(tm));
}

// The beams of all lines: width, best item, and each item's probability,
// back link and tag.
std::vector<double> Beams(const TinyModel& tm) {
    std::vector<double> rgd;
    for (long il = 0; il < tm.dt.clData; ++il) {
        const BeamLine& bl = tm.dt.rgbeam[il];
        rgd.insert(rgd.end(), {double(bl.cBeam), double(bl.iBeamBest)});
        for (int j = 0; j < bl.cBeam; ++j) {
            rgd.insert(rgd.end(), {bl.rgve[j].dProb, double(bl.rgve[j].iBack)});
            for (int t = 0; t < tm.m.cTagElem; ++t) rgd.push_back(bl.rgve[j].pszTag[t]);
        }
    }
    return rgd;
}

// The beams of a pass, and those of a traced pass, which computes every
// answer afresh for every item.
std::pair<std::vector<double>, std::vector<double>> SharedAndFresh(TinyModel& tm) {
    Tag(tm);
    const std::vector<double> rgdShared = Beams(tm);
    tm.m.trace.fDebug2 = 1;
    test::Stderr([&] { Tag(tm); });
    tm.m.trace.fDebug2 = 0;
    return {rgdShared, Beams(tm)};
}

TEST(BeamSearch, ReusedProbabilitiesEqualRecomputedOnes) {
    TinyModel tm(1, 3);
    BuildGreedyTrap(tm);
    tm.SetLines({"V|NV/|a|a|>N/V/", "A|AB/|b|b|>A/B/", "N|NV/|a|a|>N/V/", "B|AB/|b|b|>A/B/",
                 "A|AB/|d|d|>B/A/"});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 3, 5}, 0.7, {tm.Term(0, 126, "b")});
    tm.AddFeature(0, tm.AllData(0), {0, 0, 0, 0, 1, 4}, 1.3, {tm.Term(-2, 0, "N")});
    const auto [rgdShared, rgdFresh] = SharedAndFresh(tm);
    EXPECT_EQ(rgdShared, rgdFresh);

    // Items share an answer where their paths show the same values at the
    // tags it read: features on one element, on the whole tag and on the
    // closest tag to the left, over random inputs with many shared values.
    unsigned uSeed = 4242;
    const auto Rand = [&uSeed](unsigned n) {
        uSeed = uSeed * 1103515245u + 12345u;
        return (uSeed >> 16) % n;
    };
    for (int iCase = 0; iCase < 30; ++iCase) {
        TinyModel tmR(2, 6);
        tmR.SetClasses(0, "ABC", {"AB", "ABC"});
        tmR.SetClasses(1, "xy", {"xy"});
        const FeatureTerm rgft[] = {tmR.Term(-1, 0, "A"),
                                    tmR.Term(-1, 1, "x"),
                                    tmR.Term(-2, 1, "y"),
                                    tmR.Term(-3, 0, "C"),
                                    tmR.Term(-1, kElemTag, "Bx"),
                                    tmR.Term(-2, kElemTag, "Ay"),
                                    tmR.Closest(kPosClosestLeft, 1, "y", 0, "B"),
                                    tmR.Closest(kPosClosestLeft, 0, "C", 1, "x"),
                                    tmR.Term(0, kElemForm, "b")};
        const auto AnyTerm = [&] { return rgft[Rand(std::size(rgft))]; };
        for (const auto& [t, pszAC] : {std::pair{0, "AB"}, {0, "ABC"}, {1, "xy"}}) {
            for (int k = 0; k < 3; ++k) {
                std::vector<long> rgcl(std::string_view(pszAC).size());
                for (long& cl : rgcl) cl = 1 + Rand(20);
                if (Rand(2) == 0) {
                    tmR.AddFeature(t, tmR.Class(t, pszAC), rgcl, 1.0, {AnyTerm()});
                } else {
                    tmR.AddFeature(t, tmR.Class(t, pszAC), rgcl, 0.5 + Rand(4) * 0.5,
                                   {AnyTerm(), AnyTerm()});
                }
            }
        }
        const char* rgszLine[] = {"Ax|AB/xy/|a|a|>Ax/By/Bx/Ay/", "Bx|ABC/x/|b|b|>Ax/Bx/Cx/",
                                  "Ay|AB/xy/|c|c|>Ay/Bx/Ax/", "Cy|ABC/xy/|d|d|>Cy/Ay/By/Cx/"};
        Strings rgszIn;
        const int cLines = 5 + static_cast<int>(Rand(4));
        for (int i = 0; i < cLines; ++i) rgszIn.push_back(rgszLine[Rand(4)]);
        tmR.SetLines(rgszIn);
        const auto [rgdShared, rgdFresh] = SharedAndFresh(tmR);
        EXPECT_EQ(rgdShared, rgdFresh) << "case " << iCase;
    }
}

TEST(BeamSearch, TiesKeepInputOrderAndVanishingPathsShareEqually) {
    TinyModel tm(1, 2);
    tm.SetClasses(0, "NVAXY", {});
    TagElem& te = tm.m.rgteTagElem[0];
    te.rgclSubtagCnt['N'] = 1000000000001; // N better than V by about 2e-13
    te.rgclSubtagCnt['V'] = 1000000000000;
    tm.SetLines({"A|A/|a|a|>A/", "N|NV/|b|b|>V/N/"});
    Tag(tm);
    EXPECT_EQ(1, tm.dt.rgbeam[0].cBeam);
    EXPECT_EQ(1.0, tm.dt.rgbeam[0].rgve[0].dProb) << "a single candidate";
    EXPECT_STREQ("V", tm.dt.rgbeam[1].rgve[0].pszTag.data());
    EXPECT_STREQ("N", tm.dt.rgbeam[1].rgve[1].pszTag.data());
    EXPECT_EQ('V', tm.dt.rgpszTagOut[1][0]);
    te.rgclSubtagCnt['N'] = 3;
    te.rgclSubtagCnt['V'] = 1;
    Tag(tm);
    EXPECT_STREQ("N", tm.dt.rgbeam[1].rgve[0].pszTag.data());

    // No candidate's value is in the line's class: every path has probability 0.
    tm.SetLines({"N|NV/|w|w|>X/Y/", "N|NV/|w|w|>N/V/"});
    Tag(tm);
    EXPECT_EQ(0.5, tm.dt.rgbeam[0].rgve[0].dProb);
    EXPECT_EQ(0.5, tm.dt.rgbeam[0].rgve[1].dProb);
    EXPECT_EQ('X', tm.dt.rgpszTagOut[0][0]);
    EXPECT_FALSE(std::isnan(tm.dt.rgbeam[1].rgve[0].dProb));

    // A candidate outside its line's class scores 0, also where the line
    // before gave its value a probability.
    tm.SetLines({"N|NV/|w|w|>N/V/", "A|AB/|w|w|>N/A/"});
    Tag(tm);
    for (int j = 0; j < tm.dt.rgbeam[1].cBeam; ++j)
        EXPECT_STREQ("A", tm.dt.rgbeam[1].rgve[j].pszTag.data()) << j;
}

TEST(BeamSearch, OnlyElementsMarkedPlusMakeTheLineCountAndOnlyTheRangeIsWritten) {
    TinyModel tm(2);
    tm.SetClasses(0, "NV", {});
    tm.SetClasses(1, "AB", {});
    tm.m.rgteTagElem[0].rgclSubtagCnt['N'] = 3;
    tm.m.rgteTagElem[1].rgclSubtagCnt['A'] = 3;
    tm.SetLines({"NB|NV/AB/|w|w|>NA/NB/VB/", "NA|NV/AB/|w|w|>NA/VB/"});
    const auto Output = [&](int iOutLevel = 101, VtcErrors errors = VtcErrors::kCount) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(kProbsNoFeature, ErrorRateDataVTC(tm.dt, tm.m, iOutLevel, 0, 0, 2, 0, 0, errors));
        return testing::internal::GetCapturedStdout();
    };
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/ ErrInfo:\n", Output());
    EXPECT_EQ(1, tm.dt.rgfLineErr[0]);
    EXPECT_EQ(1, tm.dt.rgrgfErr[1][0]);
    EXPECT_EQ(0, tm.dt.rgrgfErr[0][0]);
    EXPECT_EQ(1, tm.m.rgteTagElem[1].clErrTagElem);
    EXPECT_EQ(0, tm.m.clErr);

    tm.m.rgteTagElem[1].fSignPlus = 1;
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/ ErrInfo: 1(B)\n", Output());
    EXPECT_EQ(1, tm.m.clErr);

    // A caller that reads no counts: the note is still written where the
    // output level shows it; at level 1 nothing is marked or counted.
    tm.m.clErr = 0;
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/ ErrInfo: 1(B)\n", Output(101, VtcErrors::kUnread));
    EXPECT_EQ(1, tm.m.clErr);
    tm.m.clErr = 7;
    tm.m.rgteTagElem[1].clErrTagElem = 7;
    tm.dt.rgrgfErr[1][0] = 0;
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/NB/VB/\n", Output(1, VtcErrors::kUnread));
    EXPECT_EQ(7, tm.m.clErr);
    EXPECT_EQ(7, tm.m.rgteTagElem[1].clErrTagElem);
    EXPECT_EQ(0, tm.dt.rgrgfErr[1][0]);
    EXPECT_STREQ("NA", tm.dt.rgpszTagOut[0].data());

    // A caller that reuses the first line has it emptied once it is written
    // and counted; the output and the counts are those of a pass that
    // empties nothing.
    const auto Both = [&](long ilEmptyEnd) {
        testing::internal::CaptureStdout();
        VtcCounts counts;
        ErrorRateDataVTC(tm.dt, tm.m, 101, 0, 0, 2, 0, 1, counts, VtcErrors::kCount, ilEmptyEnd);
        return testing::internal::GetCapturedStdout() + std::to_string(counts.clErr);
    };
    const std::string szWhole = Both(0);
    EXPECT_EQ(szWhole, Both(1));
    EXPECT_TRUE(tm.dt.rgpszDataLine[0].empty());
    EXPECT_EQ(0, tm.dt.rgbeam[0].cBeam);
    EXPECT_EQ(0, tm.dt.rgrgfErr[1][0]);
    EXPECT_EQ('\0', tm.dt.rgpszTagOut[0][0]);
    EXPECT_EQ("NA|NV/AB/|w|w|>NA/VB/", tm.dt.rgpszDataLine[1]);
    EXPECT_GT(tm.dt.rgbeam[1].cBeam, 0);
}

TEST(BeamSearch, MissingCandidatesAreFatal) {
    TinyModel tm(1);
    tm.SetClasses(0, "NV", {});
    tm.SetLines({"N|NV/|w|w|"});
    EXPECT_FATAL(
        Tag(tm), 18032,
        "ErrorRateDataVTC: Set of possible tags missing at data line 0: N\\|NV/\\|w\\|w\\|");
}

// Paths into line 5 from the items of line 4:
//   0: NAx  NAx  NBx  AAA  ZZZ
//   1: NAy  (joins path 0 at line 3)
//   2: N    VAx  NBx  AAB  ZZZ   (a short tag; other items with equal tags)
//   3: VBx  (leaves the items in use at line 3)
// The reads of the answers taken on one beam path, combined: another item is
// served exactly when its path shows every answer's reads.
TEST(SharedReads, AnItemIsServedWhenItsPathShowsEveryRead) {
    TinyModel tm(3, 4);
    tm.SetClasses(0, "NVAZ", {});
    tm.SetClasses(1, "ABZ", {});
    tm.SetClasses(2, "xyABZ", {});
    std::vector<std::string> rgszLine(6, "ZZZ|Z/Z/Z/|a|l|>ZZZ/");
    tm.SetLines(rgszLine);
    tm.SetItem(0, 0, "ZZZ", 0);
    tm.SetItem(1, 0, "AAA", 0);
    tm.SetItem(1, 1, "AAB", 0);
    tm.SetItem(2, 0, "NBx", 0);
    tm.SetItem(2, 1, "NBx", 1);
    tm.SetItem(3, 0, "NAx", 0);
    tm.SetItem(3, 1, "VAx", 1);
    tm.SetItem(4, 0, "NAx", 0);
    tm.SetItem(4, 1, "NAy", 0);
    tm.SetItem(4, 2, "N", 1);
    tm.SetItem(4, 3, "VBx", 2);
    tm.dt.rgbeam[4].rgve[2].pszTag[2] = 'x'; // what follows the end of a tag
    tm.dt.rgbeam[3].cBeam = 2;

    const struct {
        int d;
        int iElem;
    } rgCase[] = {{1, 0}, {1, 1},        {1, 2}, {1, kElemTag}, {2, 0}, {2, kElemTag},
                  {3, 1}, {3, kElemTag}, {4, 2}, {4, kElemTag}, {1, 7}, {5, 0}};
    // Reads noted on the path of item s, combined and checked for every item.
    for (int s = 0; s <= 3; ++s) {
        tm.dt.iBeamPrev = s;
        for (std::size_t i = 0; i < std::size(rgCase); ++i) {
            for (std::size_t j = i; j < std::size(rgCase); ++j) {
                // Each read as a condition at line 5 notes it.
                PathReads readsA, readsB;
                BeamPath pathA(tm.dt, 5, &readsA), pathB(tm.dt, 5, &readsB);
                TermOnPath(tm.m, tm.Term(-rgCase[i].d, rgCase[i].iElem, "Z"), tm.dt, 5, pathA);
                TermOnPath(tm.m, tm.Term(-rgCase[j].d, rgCase[j].iElem, "Z"), tm.dt, 5, pathB);
                ASSERT_EQ(1, readsA.cRead);
                ASSERT_EQ(1, readsB.cRead);
                const bool fTagged =
                    readsA.rgRead[0].pszTag != nullptr && readsB.rgRead[0].pszTag != nullptr;
                SharedReads shared;
                shared.Start(tm.dt, 5, s, tm.m.cTagElem);
                shared.Add(readsA);
                shared.Add(readsB);
                const bool fUsable = fTagged && rgCase[i].d <= SharedReads::kDepth &&
                                     rgCase[j].d <= SharedReads::kDepth;
                ASSERT_EQ(fUsable, shared.Usable()) << s << ": " << i << " " << j;
                if (!fUsable) continue;
                for (int k = 0; k <= 3; ++k) {
                    BeamPath path(tm.dt, 5, k);
                    EXPECT_EQ(path.Shows(readsA, 3) && path.Shows(readsB, 3), shared.ShownBy(k))
                        << s << ": " << i << " " << j << " item " << k;
                }
            }
        }
    }

    // A tag other than the path's does not combine.
    PathReads reads;
    SharedReads shared;
    reads.Clear();
    reads.Add(1, 0, tm.dt.rgbeam[4].rgve[1].pszTag.data());
    shared.Start(tm.dt, 5, 0, 3);
    shared.Add(reads);
    EXPECT_FALSE(shared.Usable());
}

} // namespace
} // namespace vexta
