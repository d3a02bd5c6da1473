// The UPOS+FEATS layout: derivation, value codes, round trips, canonical
// order, its stored form and the limits that end in an error.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "corpus/ud_layout.h"

namespace vexta {
namespace {

struct Word {
    const char* pszUpos;
    const char* pszFeats;
    const char* pszCanonical; // FEATS as written back
};

// Multi-item values, a layered feature, names that sort differently with
// and without case (Number before NumType), features out of order.
constexpr Word kWords[] = {
    {"PRON", "PronType=Int,Rel|Case=Nom", "Case=Nom|PronType=Int,Rel"},
    {"DET", "Gender[psor]=Masc,Neut|Poss=Yes|Gender=Fem",
     "Gender=Fem|Gender[psor]=Masc,Neut|Poss=Yes"},
    {"NUM", "NumType=Card|Number=Plur", "Number=Plur|NumType=Card"},
    {"NOUN", "Case=Gen|Number=Sing", "Case=Gen|Number=Sing"},
    {"PUNCT", "_", "_"},
};

std::string Decoded(const UdLayout& layout, std::string_view szTag, std::string_view szOwnUpos = "",
                    std::string_view szOwnFeats = "_") {
    std::string szUpos;
    std::string szFeats;
    if (!layout.Decode(
            szTag, szOwnUpos, szOwnFeats, [&](std::string_view sz) { szUpos += sz; },
            [&](std::string_view sz) { szFeats += sz; }))
        return "(no decoding)";
    return szUpos + " " + szFeats;
}

UdLayout Derived(std::string_view szChosen = "") {
    UdLayout::Builder builder;
    for (const Word& w : kWords) EXPECT_EQ(builder.Add(w.pszUpos, w.pszFeats), "");
    UdLayout layout;
    EXPECT_EQ(builder.Build(szChosen, layout), "");
    return layout;
}

TEST(UdLayout, DerivationCodingAndRoundTrip) {
    const UdLayout layout = Derived();
    // UPOS, then the features case-insensitively by name.
    std::string szNames;
    for (int t = 0; t < layout.Size(); ++t) szNames += std::string(layout.Name(t)) + " ";
    EXPECT_EQ(szNames, "UPOS Case Gender Gender[psor] Number NumType Poss PronType ");

    // Values coded in their sorted order; "Int,Rel" and "Masc,Neut" are one
    // value each; absent features are "_".
    UdLayout::Misses misses;
    std::array<char, 32> szTag{};
    EXPECT_EQ(layout.Encode("PRON", "PronType=Int,Rel|Case=Nom", szTag, misses), "");
    EXPECT_EQ(std::string(szTag.data(), 8), "DB_____A");
    EXPECT_EQ(layout.Encode("DET", "Gender[psor]=Masc,Neut|Poss=Yes|Gender=Fem", szTag, misses),
              "");
    EXPECT_EQ(std::string(szTag.data(), 8), "A_AA__A_");

    for (const Word& w : kWords) {
        ASSERT_EQ(layout.Encode(w.pszUpos, w.pszFeats, szTag, misses), "");
        EXPECT_EQ(Decoded(layout, {szTag.data(), 8}),
                  std::string(w.pszUpos) + " " + w.pszCanonical);
    }
    EXPECT_EQ(misses.cUnknownValue + misses.cUnknownFeature, 0);

    // Stored and read back, the layout codes the same way.
    const std::vector<std::string> rgszLines = layout.Save();
    UdLayout layoutRead;
    ASSERT_EQ(layoutRead.Load(rgszLines), "");
    EXPECT_EQ(layoutRead.Save(), rgszLines);
    EXPECT_EQ(Decoded(layoutRead, "DB_____A"), "PRON Case=Nom|PronType=Int,Rel");
    // A byte that is no code of its position does not decode.
    EXPECT_EQ(Decoded(layoutRead, "EZ______"), "(no decoding)");

    // Broken stored forms are refused.
    std::vector<std::string> rgszBad = rgszLines;
    rgszBad.erase(rgszBad.begin() + 2);
    EXPECT_NE(layoutRead.Load(rgszBad), "");
    EXPECT_EQ(layoutRead.Load(std::vector<std::string>{"model.file"}), "no layout");
    EXPECT_NE(layoutRead.Load(std::vector<std::string>{"layout UPOS+FEATS 2 3 all"}), "");
}

TEST(UdLayout, UnseenValuesChosenFeaturesAndErrors) {
    const UdLayout layout = Derived();
    // A value the layout lacks is coded "?" and written from the word's own
    // columns; a feature it lacks is left out. Both are counted.
    UdLayout::Misses misses;
    std::array<char, 32> szTag{};
    EXPECT_EQ(layout.Encode("X", "Case=Abl|Foreign=Yes", szTag, misses), "");
    EXPECT_EQ(std::string(szTag.data(), 8), "??______");
    EXPECT_EQ(misses.cUnknownValue, 2);
    EXPECT_EQ(misses.cUnknownFeature, 1);
    EXPECT_EQ(misses.szFirstFeature, "Foreign");
    EXPECT_EQ(Decoded(layout, {szTag.data(), 8}, "X", "Foreign=Yes|Case=Abl"), "X Case=Abl");

    // Malformed or repeated features are errors.
    for (const char* pszFeats :
         {"Case", "=Nom", "Case=", "Case=Nom||Number=Sing", "Case=Nom|Case=Gen"})
        EXPECT_NE(layout.Encode("NOUN", pszFeats, szTag, misses), "") << pszFeats;
    UdLayout::Builder builder;
    EXPECT_NE(builder.Add("NOUN", "Case=Nom|Typo"), "");
    EXPECT_NE(builder.Add("NOUN", "Case=<Nom>"), "");

    // TagFeatures chooses and orders the positions; output stays canonical
    // and other features are left out without a count.
    const UdLayout layoutChosen = Derived("PronType+Case");
    EXPECT_TRUE(layoutChosen.Chosen());
    EXPECT_EQ(layoutChosen.FeatureList(), "PronType+Case");
    misses = {};
    EXPECT_EQ(layoutChosen.Encode("PRON", "PronType=Int,Rel|Case=Nom|Poss=Yes", szTag, misses), "");
    EXPECT_EQ(Decoded(layoutChosen, {szTag.data(), 3}), "PRON Case=Nom|PronType=Int,Rel");
    EXPECT_EQ(misses.cUnknownFeature, 0);

    // Too many features: the error names them and the key that chooses.
    UdLayout::Builder builderWide;
    std::string szFeats;
    for (int i = 0; i < 31; ++i) szFeats += (i ? "|F" : "F") + std::to_string(100 + i) + "=Yes";
    ASSERT_EQ(builderWide.Add("NOUN", szFeats), "");
    UdLayout layoutWide;
    const std::string szErr = builderWide.Build("", layoutWide);
    EXPECT_NE(szErr.find("31 features"), std::string::npos) << szErr;
    EXPECT_NE(szErr.find("F100, F101"), std::string::npos) << szErr;
    EXPECT_NE(szErr.find("TagFeatures"), std::string::npos) << szErr;
    EXPECT_EQ(builderWide.Build("F105+F100", layoutWide), "");
    EXPECT_EQ(layoutWide.Size(), 3);
    EXPECT_NE(builderWide.Build("F100+Case", layoutWide).find("Case"), std::string::npos);
}

} // namespace
} // namespace vexta
