#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "model/model.h"
#include "test_model_util.h"

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
}

TEST_F(RecordsTest, GetTagIndexInAmbClassCountsFromTheStringStart) {
    const auto Indexes = [&](const FeatureDesc& fd, std::string_view szValues) {
        std::string sz;
        for (const char ch : szValues) sz += std::to_string(GetTagIndexInAmbClass(m, ch, fd)) + " ";
        return sz;
    };
    EXPECT_EQ(Indexes(AddFeature(m, 0, 0, "*", 1.0, 0), std::string_view("NVA\0", 4)),
              "0 1 -1 -1 ");
    // All-data class: the marker characters are skipped but counted.
    EXPECT_EQ(Indexes(AddFeature(m, 0, 1, "*", 1.0, 0), "N-"), "2 4 ");
    // A value that occurs twice gives its first index.
    EXPECT_EQ(Indexes(AddFeature(m, 1, AddAmbClass(m, 1, "NVN", 0), "*", 1.0, 0), "N"), "0 ");
}

TEST_F(RecordsTest, FeatureComponentCmpOrdersFieldByField) {
    // Position, closest element, closest value (only for closest terms),
    // element, then the value, where an empty override means the term's own
    // value; bytes compare unsigned.
    const FeatureTerm a = Term(m, -1, 0, "N");
    const FeatureTerm m1 = Term(m, 0, 126, "m");
    const FeatureTerm a1 = Term(m, 0, 126, "a");
    using Case = std::tuple<FeatureTerm, const char*, FeatureTerm, const char*, int>;
    for (const auto& [ftA, pszA, ftB, pszB, iSign] : std::initializer_list<Case>{
             {a, "", a, "", 0},
             {a, "", Term(m, 1, 0, "N"), "", -1},
             {Term(m, 1, 0, "N"), "", a, "", 1},
             {a, "", Term(m, -1, 0, "N", 32), "", -1},
             {Term(m, -127, 5, "N", 32, "AB"), "", Term(m, -127, 0, "N", 32, "AC"), "", -1},
             {a, "", Term(m, -1, 0, "N", -1, "ZZ"), "", 0},
             {a, "", Term(m, -1, 32, "N"), "", -1},
             {m1, "", a1, "", 1},
             {m1, "", a1, "x", -1},
             {m1, "x", a1, "x", 0},
             {m1, nullptr, m1, nullptr, 0},
             {m1, "\xe9", a1, "z", 1},
         }) {
        const int i = FeatureComponentCmp(ftA, pszA, ftB, pszB, m);
        EXPECT_EQ((i > 0) - (i < 0), iSign) << ftA.iPos << ftA.pszValue << ftB.pszValue;
    }
}

TEST_F(RecordsTest, PrintFeatureWritesOneLine) {
    FeatureDesc& fd = AddFeature(m, 2, AddAmbClass(m, 1, "NV", 0), "*", 1.5, 4);
    SetTerms(fd, {Term(m, -1, 0, "N")});
    fd.rgclCntTagElemGivenFeature = {3, 1};
    fd.ilNextFeature = 7;
    const auto Print = [&](const FeatureDesc& fdP) {
        char* pBuf = nullptr;
        size_t cb = 0;
        std::FILE* pf = open_memstream(&pBuf, &cb);
        PrintFeature(pf, m, fdP);
        std::fclose(pf);
        const std::string sz(pBuf, cb);
        std::free(pBuf);
        return sz;
    };
    EXPECT_EQ(Print(fd), "@2/NV(NV),#1,y=*,[0]-1,-1,<>,0,<N>;{1.500000},[2],S=4,3/1/,^7");

    FeatureDesc& fdBare = AddFeature(m, 1, 2, "A", 0.25, 9);
    fdBare.rgclCntTagElemGivenFeature.clear();
    EXPECT_EQ(Print(fdBare), "@1/AV(AV),#0,y=A,{0.250000},[2],S=9,,^-1");
    SetTerms(fdBare, {Term(m, -128, -1, ""), Term(m, 127, 33, "AV", 126, "of")});
    EXPECT_EQ(
        Print(fdBare),
        "@1/AV(AV),#2,y=A,[0]-128,-1,<>,-1,<>;[1]127,126,<of>,33,<AV>;{0.250000},[2],S=9,,^-1");
}

} // namespace
} // namespace vexta
