// Condition tests, feature matching in training and along the beam path,
// feature counts and the links of firing lines.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "features/feature_match.h"
#include "test_model_util.h"
#include "test_util.h"

namespace vexta {
namespace {

using test::TinyModel;

TEST(FeatureCmp, EachElementCode) {
    TinyModel tm(2);
    tm.SetLines({"NA|NV/AB/|dog|dogl|>NA/VB/"});
    const std::string& szLine = tm.dt.rgpszDataLine[0];
    const DlData& dl = tm.dt.rgdl[0];
    const auto Cmp = [&](int iElem, std::string_view sz) {
        return FeatureCmpTrain(tm.m, szLine, dl, iElem, tm.Intern(sz));
    };
    const struct {
        int iElem;
        const char* psz;
        int fHolds;
    } rgCase[] = {{0, "N", 1},     {0, "V", 0},      {5, "N", 0},     {124, "NA", 1},
                  {124, "NB", 0},  {123, "x", 1},    {33, "AB", 1},   {32, "AB", 0},
                  {40, "NV", 0},   {64, "V", 1},     {64, "A", 0},    {64, "", 0},
                  {126, "dog", 1}, {126, "dogl", 0}, {125, "dog", 0}, {127, "dogl", 1},
                  {127, "dog", 0}, {100, "zz", 1}};
    for (const auto& c : rgCase) EXPECT_EQ(c.fHolds, Cmp(c.iElem, c.psz)) << c.iElem << c.psz;
    const std::string szCopy = "NV";
    EXPECT_EQ(0, FeatureCmpTrain(tm.m, szLine, dl, 32, szCopy.c_str())) << "ACs compare by address";

    // Without a stored lemma the fourth field of the text is used.
    DlData dlNoLemma = dl;
    dlNoLemma.pszLemma = nullptr;
    EXPECT_EQ(1, FeatureCmpTrain(tm.m, szLine, dlNoLemma, 127, tm.Intern("dogl")));
    EXPECT_EQ(0, FeatureCmpTrain(tm.m, "NA|NV/AB/|dog", dlNoLemma, 127, tm.Intern("")));

    // In tagging, value and whole-tag conditions read the tag they are given.
    EXPECT_EQ(1, FeatureCmpTag(tm.m, tm.dt, 0, 0, tm.Intern("V"), "VB"));
    EXPECT_EQ(1, FeatureCmpTag(tm.m, tm.dt, 0, 124, tm.Intern("VB"), "VB"));
    EXPECT_EQ(0, FeatureCmpTag(tm.m, tm.dt, 0, 0, tm.Intern("N"), nullptr));
}

TEST(FeatureMatch, PositionsAndClosestSearchesStopAtFourLines) {
    TinyModel tm(1);
    tm.SetClasses(0, "ABCX", {});
    tm.SetLines({"X|X/|f0|l|>X/", "A|A/|f1|l|>A/", "B|B/|f2|l|>B/", "B|B/|f3|l|>B/",
                 "B|B/|f4|l|>B/", "B|B/|f5|l|>B/", "C|C/|f6|l|>C/"});
    for (long il = 0; il < tm.dt.clData; ++il) tm.SetItem(il, 0, tm.dt.rgdl[il].pszTag, 0);
    FeatureDesc& fdLeft = tm.AddFeature(0, tm.AllData(0), {}, 1.0);
    fdLeft.rgftTerm[0] = tm.Closest(kPosClosestLeft, 0, "A", kElemForm, "f1");
    fdLeft.cTerms = 1;
    FeatureDesc fdRight = fdLeft;
    fdRight.rgftTerm[0] = tm.Closest(kPosClosestRight, 0, "C", kElemAnyTag, "");
    FeatureDesc fdNext = fdLeft;
    fdNext.rgftTerm[0] = tm.Term(1, 0, "C");
    FeatureDesc fdPrev = fdLeft;
    fdPrev.rgftTerm[0] = tm.Term(-1, kElemAnyTag, "");
    FeatureDesc fdOwnAC = fdLeft;
    fdOwnAC.rgftTerm[0] = tm.Term(0, kElemAC, "B");
    FeatureDesc fdEmpty = fdLeft;
    fdEmpty.rgftTerm[0] = FeatureTerm{kPosEmpty, -1, tm.m.pszEmpty, kElemLemmaAC, tm.m.pszEmpty};

    const auto Fires = [&](const FeatureDesc& fd, long il) {
        const int f = FeatureTrain(tm.m, fd, tm.dt, il);
        tm.dt.iBeamPrev = 0;
        EXPECT_EQ(f, Feature(tm.m, fd, tm.dt, il)) << "line " << il;
        return f;
    };
    EXPECT_EQ(1, Fires(fdLeft, 5)) << "4 lines away";
    EXPECT_EQ(0, Fires(fdLeft, 6)) << "5 lines away";
    EXPECT_EQ(0, Fires(fdLeft, 0));
    EXPECT_EQ(1, Fires(fdRight, 2));
    EXPECT_EQ(0, Fires(fdRight, 1));
    EXPECT_EQ(0, Fires(fdRight, 6)) << "no line to the right";
    EXPECT_EQ(1, Fires(fdNext, 5));
    EXPECT_EQ(0, Fires(fdNext, 6)) << "+1 on the last line";
    EXPECT_EQ(0, FeatureTrain(tm.m, fdPrev, tm.dt, 0));
    EXPECT_EQ(1, Fires(fdOwnAC, 3));
    EXPECT_EQ(0, Fires(fdOwnAC, 1));
    EXPECT_EQ(1, Fires(fdEmpty, 0)) << "an empty term holds";
}

TEST(FeatureMatch, TaggingReadsTheBeamPathBeingExtended) {
    TinyModel tm(1);
    tm.SetClasses(0, "Z", {});
    tm.SetLines({"Z|Z/|a|l|>Z/", "Z|Z/|b|l|>Z/", "Z|Z/|c|l|>Z/"});
    tm.SetItem(0, 0, "R", 0);
    tm.SetItem(0, 1, "P", 0);
    tm.SetItem(1, 0, "Q", 1);
    tm.SetItem(1, 1, "S", 0);
    tm.dt.rgbeam[0].iBeamBest = 0; // the line's best tag is not what the path sees
    FeatureDesc& fdTwoBack = tm.AddFeature(0, tm.AllData(0), {}, 1.0, {tm.Term(-2, 0, "P")});
    FeatureDesc& fdClosest =
        tm.AddFeature(0, tm.AllData(0), {}, 1.0, {tm.Closest(kPosClosestLeft, 0, "P", 126, "a")});
    FeatureDesc& fdForm = tm.AddFeature(0, tm.AllData(0), {}, 1.0, {tm.Term(-1, 126, "b")});

    tm.dt.iBeamPrev = 0; // Q, then P
    EXPECT_EQ(1, Feature(tm.m, fdTwoBack, tm.dt, 2));
    EXPECT_EQ(1, Feature(tm.m, fdClosest, tm.dt, 2));
    EXPECT_EQ(0, FeatureTrain(tm.m, fdTwoBack, tm.dt, 2));
    tm.dt.iBeamPrev = 1; // S, then R
    EXPECT_EQ(0, Feature(tm.m, fdTwoBack, tm.dt, 2));
    EXPECT_EQ(0, Feature(tm.m, fdClosest, tm.dt, 2));

    // A path outside the items in use has no tags; other conditions still hold.
    tm.dt.iBeamPrev = 2;
    EXPECT_EQ(0, Feature(tm.m, fdTwoBack, tm.dt, 2));
    EXPECT_EQ(1, Feature(tm.m, fdForm, tm.dt, 2));

    // One path serves all features of a line and beam item.
    tm.dt.iBeamPrev = 0;
    BeamPath path(tm.dt, 2);
    EXPECT_EQ(1, FeatureOnPath(tm.m, fdForm, tm.dt, 2, path));
    EXPECT_FALSE(path.Read());
    EXPECT_EQ(1, FeatureOnPath(tm.m, fdClosest, tm.dt, 2, path));
    EXPECT_EQ(1, FeatureOnPath(tm.m, fdTwoBack, tm.dt, 2, path));
    EXPECT_TRUE(path.Read());
    EXPECT_STREQ("Q", path.TagAt(1));
}

// A list of reads of the line before alone is checked against the tag of the
// item extended, as the path of that item checks it. Noted tags and item tags
// are TagBufs, as on a beam path: whole tags are compared 16 bytes at once.
TEST(FeatureMatch, ReadsOfTheLineBeforeAreShownByTheItemsTag) {
    TinyModel tm(2);
    tm.SetClasses(0, "NV", {});
    tm.SetLines({"NA|NV/AB/|a|l|>NA/", "NA|NV/AB/|b|l|>NA/"});
    const char* const rgpszItem[] = {"NA", "NB", "VA"};
    for (int k = 0; k < 3; ++k) tm.SetItem(0, k, rgpszItem[k], 0);
    const struct {
        int iElem;
        const char* pszTag; // as noted; null: the path had none
    } rgCase[] = {{0, "NA"},        {0, "VB"},       {1, "NA"}, {1, "NB"},   {kElemTag, "NA"},
                  {kElemTag, "NB"}, {kElemTag, "N"}, {5, "ZZ"}, {0, nullptr}};
    std::array<TagBuf, std::size(rgCase)> rgtagNoted{};
    const auto Noted = [&](std::size_t i) {
        if (rgCase[i].pszTag == nullptr) return static_cast<const char*>(nullptr);
        std::strcpy(rgtagNoted[i].data(), rgCase[i].pszTag);
        return static_cast<const char*>(rgtagNoted[i].data());
    };
    for (std::size_t i = 0; i <= std::size(rgCase); ++i) {
        for (std::size_t j = 0; j < std::size(rgCase); ++j) {
            PathReads reads; // the cases i and j; case i alone for j == i
            if (i < std::size(rgCase)) reads.Add(1, rgCase[i].iElem, Noted(i));
            reads.Add(1, rgCase[j].iElem, Noted(j));
            ASSERT_EQ(1, reads.dMax);
            for (int k = 0; k < 3; ++k) {
                BeamPath path(tm.dt, 1, k);
                const char* pszItem =
                    tm.dt.rgbeam[0].rgve[static_cast<std::size_t>(k)].pszTag.data();
                EXPECT_EQ(path.Shows(reads, tm.m.cTagElem),
                          reads.ShownByPrev(pszItem, tm.m.cTagElem))
                    << i << " " << j << " " << k;
            }
        }
    }
    PathReads reads;
    EXPECT_EQ(0, reads.dMax);
    EXPECT_TRUE(reads.ShownByPrev("NA", tm.m.cTagElem)) << "an empty list";
    reads.Add(1, 0, "NA");
    reads.Add(2, 0, "NA");
    EXPECT_EQ(2, reads.dMax);
    reads.Clear();
    EXPECT_EQ(0, reads.dMax);
}

// Whole tags of path items agree as strncmp says, whatever the buffers hold
// after the tag's end.
TEST(FeatureMatch, WholeTagsAgreeAsStrncmpSays) {
    const auto Buf = [](std::string_view sz, char chFill) {
        TagBuf tag;
        tag.fill(chFill);
        sz.copy(tag.data(), sz.size());
        tag[sz.size()] = '\0';
        return tag;
    };
    const struct {
        const char* pszA;
        const char* pszB;
    } rgCase[] = {{"NNMS1-----A----", "NNMS1-----A----"},
                  {"NNMS1-----A----", "NNMS1-----A---x"},
                  {"NNMS1-----A----", "VNMS1-----A----"},
                  {"NNMS1", "NNMS1-----A----"},
                  {"NNMS1", "NNMS1"},
                  {"", ""},
                  {"", "N"},
                  {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRSx"},
                  {"ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOx"}};
    for (const auto& c : rgCase) {
        for (const char chFill : {'\0', 'x'}) {
            const TagBuf a = Buf(c.pszA, chFill);
            const TagBuf b = Buf(c.pszB, chFill == 'x' ? 'y' : chFill);
            for (int n = 1; n <= 20; ++n) {
                EXPECT_EQ(std::strncmp(c.pszA, c.pszB, static_cast<std::size_t>(n)) == 0,
                          SameTagStart(a.data(), b.data(), n))
                    << c.pszA << " / " << c.pszB << " over " << n;
            }
        }
    }
}

class FeatureCounts : public ::testing::Test {
protected:
    void SetUp() override {
        tm.SetClasses(0, "NV", {"NV", "N"});
        tm.SetLines({"N|NV/|a|a|>N/V/", "V|NV/|b|b|>N/V/", "N|N/|a|a|>N/", "N|NV/|a|a|>N/V/",
                     "V|NV/|a|a|>N/V/"});
        tm.ChainClasses(0);
        tm.dt.rgrgfErr[0][3] = 1;
    }
    TinyModel tm{1};
};

TEST_F(FeatureCounts, CountsFiringLinesOfTheClass) {
    AmbClass& acNV = tm.Class(0, "NV");
    FeatureDesc& fd = tm.AddFeature(0, acNV, {7, 7}, 1.0, {tm.Term(0, 126, "a")});
    long clErr = -1;
    EXPECT_EQ(0, ComputeFeatureCounts(tm.m, tm.dt, tm.dt, 0, acNV, clErr, fd));
    EXPECT_EQ(3, fd.clCnt);
    EXPECT_EQ(1, fd.clCntNoFire);
    EXPECT_EQ((std::vector<long>{2, 1}), fd.rgclCntTagElemGivenFeature);
    EXPECT_EQ(1, clErr);

    // The all-data class walks every line; its counts skip the two markers.
    FeatureDesc& fdAll = tm.AddFeature(0, tm.AllData(0), {}, 1.0, {tm.Term(0, 126, "a")});
    EXPECT_EQ(0, ComputeFeatureCounts(tm.m, tm.dt, tm.dt, 0, tm.AllData(0), clErr, fdAll));
    EXPECT_EQ(4, fdAll.clCnt);
    EXPECT_EQ(1, fdAll.clCntNoFire);
    EXPECT_EQ((std::vector<long>{0, 0, 3, 1}), fdAll.rgclCntTagElemGivenFeature);
}

TEST_F(FeatureCounts, LinksSkipSingleValueLinesAndStackNewestFirst) {
    FeatureDesc& fd = tm.AddFeature(0, tm.AllData(0), {}, 1.0, {tm.Term(0, 126, "a")});
    long clErr = -1;
    long ilFirst = -2;
    EXPECT_EQ(0, LinkFeature(tm.m, tm.dt, tm.dt, 0, tm.AllData(0), clErr, ilFirst, fd));
    EXPECT_EQ(4, ilFirst);
    EXPECT_EQ(3, tm.dt.rgilNextFeature[0][4]);
    EXPECT_EQ(0, tm.dt.rgilNextFeature[0][3]);
    EXPECT_EQ(-1, tm.dt.rgilNextFeature[0][0]);
    EXPECT_EQ(1, clErr);

    EXPECT_EQ("Allocating (both) links from 4... 4,3,0,[[3]]\n", test::Stderr([&] {
                  EXPECT_EQ(0, LinkTrainFeature(tm.m, tm.dt, tm.dt, ilFirst, fd));
              }));
    // A newer feature's link comes first in both lists of the line.
    FeatureDesc& fdNewer = tm.AddFeature(0, tm.AllData(0), {}, 1.0);
    tm.dt.rgilNextFeature[0][3] = -1;
    test::Stderr([&] { LinkTrainFeature(tm.m, tm.dt, tm.dt, 3, fdNewer); });
    for (const auto* prglist : {&tm.dt.rgplinkFeature, &tm.dt.rgplinkFeature2}) {
        const FeatureLink* plink = (*prglist)[0][3];
        ASSERT_TRUE(plink != nullptr && plink->pNext != nullptr);
        EXPECT_TRUE(plink->pfd == &fdNewer && plink->pNext->pfd == &fd && !plink->pNext->pNext);
        EXPECT_EQ(nullptr, (*prglist)[0][2]);
    }
}

} // namespace
} // namespace vexta
