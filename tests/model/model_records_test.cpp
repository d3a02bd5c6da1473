#include <gtest/gtest.h>

#include "model/model.h"
#include "model_test_util.h"

namespace vexta {
namespace {

using test::CaptureStream;
using test::InitStrings;
using test::Intern;

// Two tag elements: element 0 with the ACs "NV" and "--NV-" (its all-data
// class, "-" marking), element 1 with the AC "NV" of its own.
struct RecordsTest : testing::Test {
    Model m;
    void SetUp() override {
        InitStrings(m);
        m.szAmbClassIgnore.assign(1, '-');
        m.cTagElem = 2;
        m.rgteTagElem.resize(2);
        m.rgacAmbClassArea.resize(4);
        m.clAmbClassAreaSize = 4;
        m.rgacAmbClassArea[0].pszAmbClass = Intern(m, "NV");
        m.rgacAmbClassArea[1].pszAmbClass = Intern(m, "--NV-");
        m.rgacAmbClassArea[1].fACIgnore = 1;
        m.rgacAmbClassArea[2].pszAmbClass = Intern(m, "AV");
        m.rgteTagElem[0].ilAmbClassFirst = 0;
        m.rgteTagElem[0].clAmbClass = 2;
        m.rgteTagElem[1].ilAmbClassFirst = 2;
        m.rgteTagElem[1].clAmbClass = 1;
        m.clAmbClassAreaUsed = 3;
    }
    FeatureDesc FeatureOf(int iAC) {
        FeatureDesc fd;
        fd.pacOfFeature = &m.rgacAmbClassArea[iAC];
        fd.pszACFeature = fd.pacOfFeature->pszAmbClass;
        fd.cCntTagElemGivenFeature = static_cast<int>(std::string_view(fd.pszACFeature).size());
        fd.pszY = m.pszEmpty;
        return fd;
    }
};

TEST_F(RecordsTest, FindAmbClassRecSearchesOnlyTheGivenTagElement) {
    EXPECT_EQ(FindAmbClassRec("NV", m.rgteTagElem[0], m), &m.rgacAmbClassArea[0]);
    // A copy that is not interned is found by its bytes.
    const std::string szCopy = "--NV-";
    EXPECT_EQ(FindAmbClassRec(szCopy, m.rgteTagElem[0], m), &m.rgacAmbClassArea[1]);
    // "AV" belongs to element 1 only.
    EXPECT_EQ(FindAmbClassRec("AV", m.rgteTagElem[0], m), nullptr);
    EXPECT_EQ(FindAmbClassRec("AV", m.rgteTagElem[1], m), &m.rgacAmbClassArea[2]);
    // A prefix of an interned string is not that string.
    EXPECT_EQ(FindAmbClassRec(std::string_view(m.rgacAmbClassArea[0].pszAmbClass, 1),
                              m.rgteTagElem[0], m),
              nullptr);
    TagElem teEmpty;
    teEmpty.ilAmbClassFirst = 0;
    EXPECT_EQ(FindAmbClassRec("NV", teEmpty, m), nullptr);
}

TEST_F(RecordsTest, FindAmbClassRecStaysInsideTheArea) {
    TagElem teBroken;
    teBroken.ilAmbClassFirst = 3;
    teBroken.clAmbClass = 50; // runs past the area: the search must stop at its end
    EXPECT_EQ(FindAmbClassRec("NV", teBroken, m), nullptr);
}

TEST_F(RecordsTest, GetTagIndexInAmbClassCountsFromTheStringStart) {
    FeatureDesc fd = FeatureOf(0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', fd), 0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'V', fd), 1);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'A', fd), -1);
    EXPECT_EQ(GetTagIndexInAmbClass(m, '\0', fd), -1);

    // All-data AC: the marker characters are skipped but counted.
    FeatureDesc fdAll = FeatureOf(1);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', fdAll), 2);
    EXPECT_EQ(GetTagIndexInAmbClass(m, '-', fdAll), 4);

    // A value that occurs twice gives its first index.
    m.rgacAmbClassArea[3].pszAmbClass = Intern(m, "NVN");
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', FeatureOf(3)), 0);

    // A too short all-data string has no values at all.
    m.rgacAmbClassArea[3].pszAmbClass = Intern(m, "-");
    m.rgacAmbClassArea[3].fACIgnore = 1;
    EXPECT_EQ(GetTagIndexInAmbClass(m, '-', FeatureOf(3)), -1);
}

TEST_F(RecordsTest, FeatureComponentCmpOrdersFieldByField) {
    FeatureTerm a{.iPos = -1,
                  .iClosestConditionElem = -1,
                  .pszClosestValue = m.pszEmpty,
                  .iConditionElem = 0,
                  .pszValue = Intern(m, "N")};
    FeatureTerm b = a;
    EXPECT_EQ(FeatureComponentCmp(a, "", b, "", m), 0);

    b.iPos = 1;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);
    EXPECT_GT(FeatureComponentCmp(b, "", a, "", m), 0);

    b = a;
    b.iClosestConditionElem = 32;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);

    // Closest values count only for closest terms, and before the condition.
    FeatureTerm c = a;
    c.iPos = -127;
    c.iClosestConditionElem = 32;
    c.pszClosestValue = Intern(m, "AB");
    c.iConditionElem = 5;
    FeatureTerm d = c;
    d.pszClosestValue = Intern(m, "AC");
    d.iConditionElem = 0;
    EXPECT_LT(FeatureComponentCmp(c, "", d, "", m), 0);
    FeatureTerm e = a;
    e.pszClosestValue = Intern(m, "ZZ"); // ignored: not a closest term
    EXPECT_EQ(FeatureComponentCmp(a, "", e, "", m), 0);

    b = a;
    b.iConditionElem = 32;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);
}

TEST_F(RecordsTest, FeatureComponentCmpUsesOverrideValues) {
    FeatureTerm a{.iPos = 0,
                  .iClosestConditionElem = -1,
                  .pszClosestValue = m.pszEmpty,
                  .iConditionElem = 126,
                  .pszValue = Intern(m, "m")};
    FeatureTerm b = a;
    b.pszValue = Intern(m, "a");
    EXPECT_GT(FeatureComponentCmp(a, "", b, "", m), 0);
    // Empty override A: A's own value "m" against the override "x" of B.
    EXPECT_LT(FeatureComponentCmp(a, "", b, "x", m), 0);
    EXPECT_EQ(FeatureComponentCmp(a, "x", b, "x", m), 0);
    EXPECT_EQ(FeatureComponentCmp(a, nullptr, a, nullptr, m), 0);
    // Byte order: a high byte sorts after ASCII.
    EXPECT_GT(FeatureComponentCmp(a, "\xe9", b, "z", m), 0);
}

TEST_F(RecordsTest, PrintFeatureMatchesTheDocumentedLine) {
    m.rgacAmbClassArea[0].pszAmbClass = Intern(m, "NV");
    FeatureDesc fd = FeatureOf(0);
    fd.iTagElem = 2;
    fd.cTerms = 1;
    fd.rgftTerm[0] = FeatureTerm{.iPos = -1,
                                 .iClosestConditionElem = -1,
                                 .pszClosestValue = m.pszEmpty,
                                 .iConditionElem = 0,
                                 .pszValue = Intern(m, "N")};
    fd.dLambda = 1.5;
    fd.clCnt = 4;
    fd.rgclCntTagElemGivenFeature = {3, 1};
    fd.ilNextFeature = 7;
    EXPECT_EQ(CaptureStream([&](std::FILE* pf) { PrintFeature(pf, m, fd); }),
              "@2/NV(NV),#1,y=*,[0]-1,-1,<>,0,<N>;{1.500000},[2],S=4,3/1/,^7");
}

TEST_F(RecordsTest, PrintFeatureWithoutTermsOrCounts) {
    FeatureDesc fd = FeatureOf(2);
    fd.iTagElem = 1;
    fd.pszY = Intern(m, "A");
    fd.dLambda = 0.25;
    fd.clCnt = 9;
    EXPECT_EQ(CaptureStream([&](std::FILE* pf) { PrintFeature(pf, m, fd); }),
              "@1/AV(AV),#0,y=A,{0.250000},[2],S=9,,^-1");

    // Two terms, the second a closest one.
    fd.cTerms = 2;
    fd.rgftTerm[0] = FeatureTerm{-128, -1, m.pszEmpty, -1, m.pszEmpty};
    fd.rgftTerm[1] = FeatureTerm{127, 126, Intern(m, "of"), 33, Intern(m, "AV")};
    EXPECT_EQ(
        CaptureStream([&](std::FILE* pf) { PrintFeature(pf, m, fd); }),
        "@1/AV(AV),#2,y=A,[0]-128,-1,<>,-1,<>;[1]127,126,<of>,33,<AV>;{0.250000},[2],S=9,,^-1");
}

TEST(FreeModelTest, ReleasesWhatIsPresentAndNothingElse) {
    Model mEmpty;
    FreeModel(mEmpty); // never filled: nothing to release
    EXPECT_EQ(mEmpty.phashStr, nullptr);
    EXPECT_TRUE(mEmpty.rgfdFeatureArea.empty());

    Model m;
    InitStrings(m);
    m.cTagElem = 1;
    m.rgpszTagElemName.assign(1, Intern(m, "POS"));
    m.rgteTagElem.resize(1);
    m.rgacAmbClassArea.resize(3);
    m.clAmbClassAreaSize = 3;
    m.rgfdFeatureArea.resize(5);
    m.clFeatureAreaSize = 5;
    m.rgfdFeatureSugg.resize(2);
    m.pacSuggLast = &m.rgacAmbClassArea[0];
    FreeModel(m);
    EXPECT_EQ(m.phashStr, nullptr);
    EXPECT_EQ(m.pszEmpty, nullptr);
    EXPECT_EQ(m.pacSuggLast, nullptr);
    EXPECT_TRUE(m.rgpszTagElemName.empty());
    EXPECT_TRUE(m.rgteTagElem.empty());
    EXPECT_TRUE(m.rgacAmbClassArea.empty());
    EXPECT_TRUE(m.rgfdFeatureArea.empty());
    EXPECT_EQ(m.clFeatureAreaSize, 0);
    EXPECT_EQ(m.clAmbClassAreaSize, 0);
    EXPECT_EQ(m.rgfdFeatureSugg.size(), 2u); // the pool is not the model's to release here
}

} // namespace
} // namespace vexta
