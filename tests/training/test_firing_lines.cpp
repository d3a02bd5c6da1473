// The firing lines found through the class index are those LinkFeature
// finds, in the same order and with the same error count, for every
// candidate generated from a small corpus of two tag elements, also when
// the indexes are kept from an earlier pass over the classes; and the
// columns the lines are matched on give what FeatureTrain gives.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/ux_hash.h"
#include "features/feature_match.h"
#include "features/pool_file.h"
#include "features/pool_gen.h"
#include "test_model_util.h"
#include "training/firing_lines.h"

namespace vexta {
namespace {

using test::TrainingArgs;
using test::TrainingSetup;

// Sentences of a language with parts of speech D, N, V, A and cases 1, 2:
// "saw" is N or V, "old" A or N, "the" D, "dogs" N in either case.
std::vector<std::string> Corpus() {
    struct Word {
        const char* pszForm;
        std::vector<std::string> rgszTag;
    };
    const std::vector<Word> rgWord = {
        {"the", {"D1", "D2"}},
        {"saw", {"N1", "N2", "V1"}},
        {"old", {"A1", "A2", "N1"}},
        {"dogs", {"N1", "N2"}},
        {"ran", {"V1"}},
        {"a", {"D1"}},
    };
    std::mt19937 rng(7);
    std::vector<std::string> rgszLine;
    for (int iSent = 0; iSent < 60; ++iSent) {
        rgszLine.emplace_back("Z#|Z/#/|###|###|>Z#/");
        const int cWords = 2 + static_cast<int>(rng() % 5);
        for (int i = 0; i < cWords; ++i) {
            const Word& w = rgWord[rng() % rgWord.size()];
            const std::string& szTag = w.rgszTag[rng() % w.rgszTag.size()];
            std::string szAC0;
            std::string szAC1;
            for (const std::string& sz : w.rgszTag) {
                if (szAC0.find(sz[0]) == std::string::npos) szAC0 += sz[0];
                if (szAC1.find(sz[1]) == std::string::npos) szAC1 += sz[1];
            }
            std::string szLine =
                szTag + "|" + szAC0 + "/" + szAC1 + "/|" + w.pszForm + "|" + w.pszForm + "|>";
            for (const std::string& sz : w.rgszTag) szLine += sz + "/";
            rgszLine.push_back(szLine);
        }
    }
    return rgszLine;
}

// The chain from ilFirst through rgilNextFeature.
std::vector<long> ChainOf(const DataTable& dt, long ilFirst) {
    std::vector<long> rg;
    for (long il = ilFirst; il >= 0; il = dt.rgilNextFeature[0][static_cast<std::size_t>(il)]) {
        rg.push_back(il);
    }
    return rg;
}

TEST(FiringLines, SameLinesAsLinkFeatureForEveryGeneratedCandidate) {
    TrainingSetup s(2);
    s.InitTraining(Corpus(), TrainingArgs("", "FeatureMode = Generate\n"
                                              "MaxFeaturesGenerate = 1000000\n"
                                              "CountMode = Batch\n"
                                              "Models = Both\n"
                                              "SortSuggestions = Count\n"
                                              "FeatureTemplates = base+base2\n"
                                              "UseInFeatures = ACs+Tags+Forms+SetElements\n"
                                              "MinThrAddFeature = 1\n"
                                              "MinThrPoolFeature = 1\n"
                                              "MinThrClosestFeature = 2\n"));
    Model& m = s.m;
    DataTable& dt = s.dtT;
    for (int t = 0; t < 2; ++t) {
        for (long il = 0; il < dt.clData; ++il) {
            dt.rgrgfErr[static_cast<std::size_t>(t)][static_cast<std::size_t>(il)] =
                (il + t) % 3 == 0 ? 1 : 0;
        }
    }
    m.phashSugg = ux_HashNew(10000, 200000, 4000);
    test::Stderr([&] {
        ASSERT_EQ(GenerateFSG5(&m, &dt, 1, 0, 1), 0);
        ASSERT_EQ(GenerateFSG5(&m, &dt, 2, 0, 1), 0);
        ASSERT_EQ(SortFeatureSugg(&m), 0);
    });
    ASSERT_GT(m.clFeatureSuggUsed, 200);

    // Loading the pool keeps only the chains of the last element it counted.
    SizeTrainingLists(dt, m.cTagElem);
    long cCompared = 0;
    FiringLines firing;
    LineColumns columns;
    columns.Build(m, dt);
    for (int t = 0; t < 2; ++t) {
        // The classes' line chains of tag element t, as selection makes them.
        const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        for (long ilAC = te.ilAmbClassFirst; ilAC < te.ilAmbClassFirst + te.clAmbClass; ++ilAC) {
            m.rgacAmbClassArea[static_cast<std::size_t>(ilAC)].ilDataFirst = -1;
        }
        for (long il = 0; il < dt.clData; ++il) {
            AmbClass* pac = FindAmbClassRec(
                dt.rgdl[static_cast<std::size_t>(il)].rgpszAC[static_cast<std::size_t>(t)], te, m);
            if (pac == nullptr) continue;
            dt.rgilNextAC[static_cast<std::size_t>(t)][static_cast<std::size_t>(il)] =
                pac->ilDataFirst;
            pac->ilDataFirst = il;
        }
        // Two passes over the classes, with other lines mis-tagged in the
        // second: the indexes kept from the first must still answer.
        for (int iPass = 0; iPass < 2; ++iPass) {
            if (iPass == 1) {
                for (unsigned char& f : dt.rgrgfErr[static_cast<std::size_t>(t)]) f = f == 0;
            }
            for (long ilAC = te.ilAmbClassFirst; ilAC < te.ilAmbClassFirst + te.clAmbClass;
                 ++ilAC) {
                AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(ilAC)];
                if (ac.ilSuggFirst < 0) continue;
                firing.SetClass(dt, ac, t);
                for (long j = ac.ilSuggFirst; j <= ac.ilSuggLast; ++j) {
                    const FeatureDesc& fd = m.rgfdFeatureSugg[static_cast<std::size_t>(j)];
                    long clErrA = 0;
                    long ilFirstA = -1;
                    ASSERT_EQ(LinkFeature(m, dt, s.dtH, t, ac, clErrA, ilFirstA, fd), 0);
                    const std::vector<long> rgilA = ChainOf(dt, ilFirstA);
                    long clErrB = -1;
                    long ilFirstB = -2;
                    ASSERT_EQ(firing.Link(m, dt, s.dtH, t, ac, clErrB, ilFirstB, fd, columns), 0);
                    EXPECT_EQ(ChainOf(dt, ilFirstB), rgilA) << ac.pszAmbClass << " " << j;
                    EXPECT_EQ(clErrB, clErrA) << ac.pszAmbClass << " " << j;
                    // The columns match it as FeatureTrain does at every line.
                    LineColumns::Compiled cf;
                    columns.Compile(m, fd, cf);
                    for (long il = 0; il < dt.clData && iPass == 0; ++il) {
                        ASSERT_EQ(columns.Fires(m, dt, cf, il), FeatureTrain(m, fd, dt, il) != 0)
                            << ac.pszAmbClass << " " << j << " " << il;
                    }
                    ++cCompared;
                }
            }
        }
    }
    EXPECT_GT(cCompared, 400);
}

} // namespace
} // namespace vexta
