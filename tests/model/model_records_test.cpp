#include <gtest/gtest.h>

#include "model/model.h"
#include "model_test_util.h"

namespace vexta {
namespace {

using namespace test;

// Tag element 0 with the classes NV and --NV- (its all-data class, "-"
// marking), tag element 1 with a class AV of its own.
struct RecordsTest : testing::Test {
    Model m;
    void SetUp() override {
        m.szAmbClassIgnore.assign(1, '-');
        InitModel(m, {"POS", "CASE"});
        AddAmbClass(m, 0, "NV", 0);
        AddAmbClass(m, 0, "--NV-", 0);
        AddAmbClass(m, 1, "AV", 0);
    }
};

TEST_F(RecordsTest, FindAmbClassRecSearchesOnlyTheGivenTagElement) {
    const auto& rgac = m.rgacAmbClassArea;
    EXPECT_EQ(FindAmbClassRec("NV", m.rgteTagElem[0], m), &rgac[0]);
    EXPECT_EQ(FindAmbClassRec(std::string("--NV-"), m.rgteTagElem[0], m), &rgac[1]); // by bytes
    EXPECT_EQ(FindAmbClassRec("AV", m.rgteTagElem[0], m), nullptr);
    EXPECT_EQ(FindAmbClassRec("AV", m.rgteTagElem[1], m), &rgac[2]);
    // A prefix of an interned string is not that string.
    EXPECT_EQ(FindAmbClassRec(std::string_view(rgac[0].pszAmbClass, 1), m.rgteTagElem[0], m),
              nullptr);
    EXPECT_EQ(FindAmbClassRec("NV", TagElem{}, m), nullptr);
    TagElem teBroken;
    teBroken.ilAmbClassFirst = 2;
    teBroken.clAmbClass = 50; // runs past the area: the search stops at its end
    EXPECT_EQ(FindAmbClassRec("NV", teBroken, m), nullptr);
}

TEST_F(RecordsTest, GetTagIndexInAmbClassCountsFromTheStringStart) {
    const FeatureDesc& fd = AddFeature(m, 0, 0, "*", 1.0, 0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', fd), 0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'V', fd), 1);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'A', fd), -1);
    EXPECT_EQ(GetTagIndexInAmbClass(m, '\0', fd), -1);
    // All-data class: the marker characters are skipped but counted.
    const FeatureDesc& fdAll = AddFeature(m, 0, 1, "*", 1.0, 0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', fdAll), 2);
    EXPECT_EQ(GetTagIndexInAmbClass(m, '-', fdAll), 4);
    // A value that occurs twice gives its first index.
    const long iAC = AddAmbClass(m, 1, "NVN", 0);
    EXPECT_EQ(GetTagIndexInAmbClass(m, 'N', AddFeature(m, 1, iAC, "*", 1.0, 0)), 0);
}

TEST_F(RecordsTest, FeatureComponentCmpOrdersFieldByField) {
    const FeatureTerm a = Term(m, -1, 0, "N");
    FeatureTerm b = a;
    EXPECT_EQ(FeatureComponentCmp(a, "", b, "", m), 0);
    b.iPos = 1;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);
    EXPECT_GT(FeatureComponentCmp(b, "", a, "", m), 0);
    b = a;
    b.iClosestConditionElem = 32;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);
    // Closest values count only for closest terms, and before the condition.
    const FeatureTerm c = Term(m, -127, 5, "N", 32, "AB");
    const FeatureTerm d = Term(m, -127, 0, "N", 32, "AC");
    EXPECT_LT(FeatureComponentCmp(c, "", d, "", m), 0);
    b = a;
    b.pszClosestValue = Intern(m, "ZZ");
    EXPECT_EQ(FeatureComponentCmp(a, "", b, "", m), 0);
    b = a;
    b.iConditionElem = 32;
    EXPECT_LT(FeatureComponentCmp(a, "", b, "", m), 0);
    // Values: an empty override means the term's own value.
    const FeatureTerm e = Term(m, 0, 126, "m");
    const FeatureTerm f = Term(m, 0, 126, "a");
    EXPECT_GT(FeatureComponentCmp(e, "", f, "", m), 0);
    EXPECT_LT(FeatureComponentCmp(e, "", f, "x", m), 0);
    EXPECT_EQ(FeatureComponentCmp(e, "x", f, "x", m), 0);
    EXPECT_EQ(FeatureComponentCmp(e, nullptr, e, nullptr, m), 0);
    EXPECT_GT(FeatureComponentCmp(e, "\xe9", f, "z", m), 0); // bytes compare unsigned
}

TEST_F(RecordsTest, PrintFeatureWritesOneLine) {
    FeatureDesc& fd = AddFeature(m, 2, AddAmbClass(m, 1, "NV", 0), "*", 1.5, 4);
    fd.cTerms = 1;
    fd.rgftTerm[0] = Term(m, -1, 0, "N");
    fd.rgclCntTagElemGivenFeature = {3, 1};
    fd.ilNextFeature = 7;
    const auto Print = [&](const FeatureDesc& fdP) {
        return CaptureStream([&](std::FILE* pf) { PrintFeature(pf, m, fdP); });
    };
    EXPECT_EQ(Print(fd), "@2/NV(NV),#1,y=*,[0]-1,-1,<>,0,<N>;{1.500000},[2],S=4,3/1/,^7");

    FeatureDesc& fdBare = AddFeature(m, 1, 2, "A", 0.25, 9);
    fdBare.rgclCntTagElemGivenFeature.clear();
    EXPECT_EQ(Print(fdBare), "@1/AV(AV),#0,y=A,{0.250000},[2],S=9,,^-1");
    fdBare.cTerms = 2;
    fdBare.rgftTerm[0] = Term(m, -128, -1, "");
    fdBare.rgftTerm[1] = Term(m, 127, 33, "AV", 126, "of");
    EXPECT_EQ(
        Print(fdBare),
        "@1/AV(AV),#2,y=A,[0]-128,-1,<>,-1,<>;[1]127,126,<of>,33,<AV>;{0.250000},[2],S=9,,^-1");
}

TEST(FreeModelTest, ReleasesWhatIsPresentAndNothingElse) {
    Model mEmpty;
    FreeModel(mEmpty); // never filled: nothing to release
    EXPECT_EQ(mEmpty.phashStr, nullptr);

    Model m;
    InitModel(m, {"POS"});
    m.rgfdFeatureSugg.resize(2);
    m.pacSuggLast = &m.rgacAmbClassArea[0];
    FreeModel(m);
    EXPECT_EQ(m.phashStr, nullptr);
    EXPECT_EQ(m.pszEmpty, nullptr);
    EXPECT_EQ(m.pacSuggLast, nullptr); // nothing points into released arrays
    EXPECT_TRUE(m.rgpszTagElemName.empty() && m.rgteTagElem.empty());
    EXPECT_TRUE(m.rgacAmbClassArea.empty() && m.rgfdFeatureArea.empty());
    EXPECT_EQ(m.clFeatureAreaSize + m.clAmbClassAreaSize, 0);
    EXPECT_EQ(m.rgfdFeatureSugg.size(), 2u); // the pool is not released here
}

} // namespace
} // namespace vexta
