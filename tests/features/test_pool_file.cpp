// Pool lines, the pool file, the entropy cut and the loading of the pool
// class by class.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "features/pool_file.h"
#include "features/pool_gen.h"
#include "test_model_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::TrainingSetup;

// Every field of a pool record that loading sets.
std::string Describe(const FeatureDesc& fd) {
    std::ostringstream os;
    os << fd.pszACFeature << " te" << fd.iTagElem << " cnt" << fd.clCnt << "/" << fd.clCntNoFire
       << " w" << fd.dLambda << fd.pszY << " {";
    for (long cl : fd.rgclCntTagElemGivenFeature) os << cl << ",";
    os << "}";
    for (int it = 0; it < fd.cTerms; ++it) {
        const FeatureTerm& ft = fd.rgftTerm[it];
        os << " " << ft.iPos << ":" << ft.iClosestConditionElem << ft.pszClosestValue << ":"
           << ft.iConditionElem << ft.pszValue;
    }
    return os.str();
}

TEST(GetHexGetStr, ReadTheFieldsOfALine) {
    const std::tuple<const char*, int, int> rgCase[] = {
        {"ff", -1, 2}, {"FF", -1, 2}, {"7f_", 127, 2}, {"81", -127, 2},
        {"zz", 0, 2},  {"5", 80, 1},  {"", 0, 0}};
    for (const auto& [psz, iValue, cchRead] : rgCase) {
        const char* pszCursor = psz;
        EXPECT_EQ(GetHex(&pszCursor), iValue) << psz;
        EXPECT_EQ(pszCursor - psz, cchRead) << psz; // never past the end of the string
    }
    std::array<char, 8> sz;
    const char* psz = "_ab_cd";
    EXPECT_EQ(GetStr(sz, &psz, '_'), 0);
    EXPECT_STREQ(sz.data(), "ab");
    EXPECT_EQ(GetStr(sz, &psz, '_'), 2);
    EXPECT_STREQ(sz.data(), "cd");
    psz = "12345678";
    EXPECT_FATAL(GetStr(sz, &psz, ' '), 18032, "tag: Too long string in feature pool: 12345678");
}

// Four tag elements; element 3 has the class NV at lines 0, 1 and 2 with the
// true values N, V, N.
const std::vector<std::string> kLines4 = {"NsxN|NV/s/x/NV/|a|a|", "VsxV|NV/s/x/NV/|b|b|",
                                          "NsxN|N/s/x/NV/|c|c|"};

TEST(AddFeatureFromStr, TheExampleLineAndSkippedLines) {
    TrainingSetup ps(4);
    ps.Init(kLines4, GenerationArgs());
    Model& m = ps.m;
    EXPECT_EQ(AddFeatureFromStr(&m, "17 03 NV 02__ffff00__N_ffff20__Ag_ rest"), 0);
    EXPECT_EQ(AddFeatureFromStr(&m, "\t 3 03 NV 01__FFFF20__NV_"), 0);
    ASSERT_EQ(m.clFeatureSuggUsed, 2);
    // The line's count gives way to the count over the training data (no
    // line follows the AC Ag); the weight holds the entropy, 1 bit.
    AmbClass& acNV = ps.Class(3, "NV");
    EXPECT_EQ(Describe(m.rgfdFeatureSugg[0]), "NV te3 cnt0/3 w1 {0,0,} -1:-1:0N -1:-1:32Ag");
    EXPECT_EQ(Describe(m.rgfdFeatureSugg[1]), "NV te3 cnt2/1 w1 {1,1,} -1:-1:32NV");
    EXPECT_TRUE(m.rgfdFeatureSugg[0].pacOfFeature == &acNV &&
                m.rgfdFeatureSugg[0].pszACFeature == acNV.pszAmbClass &&
                m.rgfdFeatureSugg[0].pszY == m.pszEmpty);
    EXPECT_EQ(std::pair(acNV.ilSuggFirst, acNV.ilSuggLast), std::pair(0L, 1L));
    EXPECT_EQ(acNV.ilDataFirst, 2); // the class lines, chained from the last
    EXPECT_EQ(ps.dtT.rgilNextAC[3][2], 1);

    m.cPoolThr = 3;
    for (const char* pszLine : {"", "2 03 NV 01__ffff20__NV_", "5 03 -- 01__ffff20__NV_"})
        EXPECT_EQ(AddFeatureFromStr(&m, pszLine), -1) << pszLine;
    EXPECT_EQ(test::Stderr([&] { EXPECT_EQ(AddFeatureFromStr(&m, "5 03 XY 01__ffff20__NV_"), 0); }),
              "AC not found in data while adding feature to pool: 3/XY\n");
    m.fModelGeneral = 1;
    m.fModelAC = 0;
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 NV 01__ffff20__NV_"), -1);
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 -- 01__ffff20__NV_"), 0);
    EXPECT_STREQ(m.rgfdFeatureSugg[2].pszACFeature, "--NV");
    EXPECT_EQ(m.rgfdFeatureSugg[2].rgclCntTagElemGivenFeature, (std::vector<long>{0, 0, 1, 1}));
    EXPECT_EQ(m.clFeatureSuggUsed, 3);
}

TEST(AddFeatureFromStr, MalformedLines) {
    // Four tag elements: the codes 4, 36 and 68 are the first ones out of range.
    const std::pair<const char*, int> rgCase[] = {
        {"5 03 NV 06__00ff20__N_00ff20__N_00ff20__N_00ff20__N_00ff20__N_00ff20__N_", 2},
        {"5 03 NV ff__", 2},
        {"5 03 NV 01x__00ff20__NV_", 3},
        {"5 03 NV 01_xy_00ff20__NV_", 4},
        {"5 03 NV 01__00ff20_", 5},
        {"5 03 NV 01__00ff20__NV", 7},
        {"5 03 NV 01__810420_N_NV_", 9},
        {"5 03 NV 01__812420_NV_NV_", 17},
        {"5 03 NV 01__814420_N_NV_", 26},
        {"5 03 NV 01__00ff04__N_", 10},
        {"5 03 NV 01__00ff24__NV_", 12},
        {"5 03 NV 01__00ff44__N_", 28},
        {"5 03 NV", 11},
        {"5 04 NV 01__00ff20__NV_", kPoolBadTagElem}, // no tag element 4
        {"5 ff NV 01__00ff20__NV_", kPoolBadTagElem},
        {"5 03 NV 02__00ff7b__x_80ff7f__y_", 0}, // codes beyond 95 are not checked
    };
    for (const auto& [pszLine, iCode] : rgCase) {
        TrainingSetup ps(4);
        ps.Init(kLines4, GenerationArgs());
        test::Stderr([&] { EXPECT_EQ(AddFeatureFromStr(&ps.m, pszLine), iCode) << pszLine; });
    }
    TrainingSetup ps(4);
    ps.Init(kLines4, GenerationArgs());
    ps.m.clFeatureSuggSize = 0;
    EXPECT_FATAL(AddFeatureFromStr(&ps.m, "5 03 NV 01__00ff20__NV_"), 18032,
                 "AddFeatureFromStr: Insuff. space in rgfdFeatureSugg \\(0\\); increase "
                 "FeatureSuggSize");
}

// The class NV at lines 1, 3 and 5 (true N, V, N): "previous value N" fires
// at lines 1 and 5 (counts 2/0, entropy 0.650 bits), "own AC NV" at all
// three (counts 2/1, entropy 0.954 bits).
TEST(AddFeatureFromStr, EntropyCut) {
    for (auto [iSortSugg, dThr, cKept] :
         {std::tuple{1, -1.0, 2}, {2, 1024.0, 2}, {2, 0.8, 1}, {2, 0.5, 0}, {0, -1.0, 0}}) {
        TrainingSetup ps(1);
        ps.Init({"N|N/|p|p|", "N|NV/|a|a|", "V|V/|q|q|", "V|NV/|b|b|", "N|N/|r|r|", "N|NV/|c|c|"},
                GenerationArgs());
        ps.m.iSortSugg = iSortSugg;
        ps.m.dSuggEntropyThr = dThr;
        EXPECT_EQ(AddFeatureFromStr(&ps.m, "1 00 NV 01__ffff00__N_"), cKept > 0 ? 0 : -1);
        AddFeatureFromStr(&ps.m, "1 00 NV 01__00ff20__NV_");
        EXPECT_EQ(ps.m.clFeatureSuggUsed, cKept) << iSortSugg << " " << dThr;
        const AmbClass& ac = ps.Class(0, "NV");
        EXPECT_EQ(ac.ilSuggFirst, cKept > 0 ? 0 : -1);
        EXPECT_EQ(ac.ilSuggLast, cKept - 1);
        EXPECT_NEAR(cKept > 0 ? ps.m.rgfdFeatureSugg[0].dLambda : 0.650022, 0.650022, 1e-6);
    }
}

// A pool generated in mode GenerateOut: the file and the loaded ranges.
TEST(SortFeatureSugg, GenerateOutThenRead) {
    TrainingSetup ps(2);
    ps.Init({"Ns|NV/s/|a|a|", "Vp|NV/ps/|b|b|", "As|AN/s/|c|c|", "Ns|N/s/|d|d|"},
            GenerationArgs("FeatureMode = GenerateOut\nFeatureSugg = unused\n"));
    Model& m = ps.m;
    m.szFeaturePoolFile = ps.dir.Path("pool.txt");
    m.cPoolThr = 2;
    ps.NewSugg();
    testing::internal::CaptureStderr();
    ASSERT_EQ(GenerateFSG5(&m, &ps.dtT, 1, 0, 1), 0);
    const long cGenerated = m.phashSugg->cRecs;
    ASSERT_EQ(SortFeatureSugg(&m), 0);
    const std::string szErr = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m.phashSugg, nullptr);
    // Classes in byte order of their keys; the pool holds what was counted twice.
    EXPECT_NE(szErr.find("Features sorted (3 classes).\nMoving features to training position.\n"
                         "Writing features to " +
                         m.szFeaturePoolFile +
                         ".\nMoving features te/AC: 00 AN (0)\nMoving features te/AC: 00 NV (1)\n"
                         "Moving features te/AC: 01 ps (2)\n~~~ FEATURE POOL SIZE: 6\n"
                         "E 00, --ANV: -1 -- -1\nE 00, NV: 1 -- 3\nE 00, AN: 0 -- 0\n"
                         "E 01, --ps: -1 -- -1\nE 01, ps: 4 -- 5\n"),
              std::string::npos)
        << szErr;
    // The file holds every generated feature, also those below cPoolThr.
    std::ifstream is(m.szFeaturePoolFile);
    std::vector<std::string> rgszPool;
    for (std::string sz; std::getline(is, sz);) rgszPool.push_back(sz);
    ASSERT_EQ(static_cast<long>(rgszPool.size()), cGenerated);
    EXPECT_NE(std::find(rgszPool.begin(), rgszPool.end(), "2 00 NV 01__ffff20__NV_ "),
              rgszPool.end());
    EXPECT_TRUE(
        std::is_sorted(rgszPool.begin(), rgszPool.end(), [](const auto& sz1, const auto& sz2) {
            return sz1.substr(sz1.find(' ') + 1, 5) < sz2.substr(sz2.find(' ') + 1, 5);
        }));
}

TEST(ReadFeaturesPool, FileLinesAndFailures) {
    TrainingSetup ps(1);
    ps.Init({"N|N/|p|p|", "N|NV/|a|a|", "V|NV/|b|b|"}, GenerationArgs());
    Model& m = ps.m;
    m.cPoolThr = 2;
    // "Individual" counts: the same terms once per true value, each its own
    // record; the last line has no line feed and is not used.
    m.szFeaturePoolFile =
        ps.dir.Write("pool.txt", "\n1 00 NV 01__00ff20__NV_ V\n2 00 NV 01__00ff20__NV_ N\n"
                                 "3 00 NV 01__00ff20__NV_ V\n4 00 NV 01__ffff00__N_ N");
    EXPECT_EQ(test::Stderr([&] { EXPECT_EQ(ReadFeaturesPool(&m), 0); }),
              "E 00, --NV: -1 -- -1\nE 00, NV: 0 -- 1\n");
    EXPECT_EQ(m.clFeatureSuggUsed, 2);
    EXPECT_EQ(m.rgfdFeatureSugg[1].rgftTerm[0].pszValue, m.rgfdFeatureSugg[0].rgftTerm[0].pszValue);
    EXPECT_EQ(m.hFeaturePool, 0);

    m.szFeaturePoolFile = ps.dir.Write("bad.txt", "2 00 NV 01__00ff20__NV_\n2 00 NV 09__\n");
    EXPECT_EQ(ReadFeaturesPool(&m), 3302);
    // Lines longer than 3999 characters are refused, not cut.
    m.szFeaturePoolFile =
        ps.dir.Write("long.txt", "2 00 NV 01__00ff7e__" + std::string(3990, 'x') + "_\n");
    EXPECT_TRUE(
        test::Contains(test::Stderr([&] { EXPECT_EQ(ReadFeaturesPool(&m), kPoolLineTooLong); }),
                       "is longer than 3999 characters"));
    m.szFeaturePoolFile = ps.dir.Path("missing.txt");
    EXPECT_FATAL(ReadFeaturesPool(&m), 13010, "Cannot open input file: ");
}

TEST(SortFeatureSugg, FatalInputs) {
    const std::pair<std::string, const char*> rgCase[] = {
        {"00 NV", "wrong feature format \\(sort input\\): \\(00 NV/1/\\)"},
        {"00 NV 01__00ff7e__" + std::string(233, 'x') + "_", "feature/y truncated when sorting"},
        {"00 NV 09__", "cannot add generated feature \\(1 00 NV 09__ \\), code 2"},
    };
    for (const auto& [szKey, pszMessage] : rgCase) {
        TrainingSetup ps(1);
        ps.Init({"N|NV/|a|a|"}, GenerationArgs());
        ps.NewSugg();
        ux_HashIncr(ps.m.phashSugg.get(), szKey, 0, "");
        EXPECT_FATAL(SortFeatureSugg(&ps.m), 18032, pszMessage);
    }
    TrainingSetup ps(1);
    ps.Init({"N|NV/|a|a|"}, GenerationArgs());
    ps.NewSugg();
    ps.m.clAmbClassAreaSize = 1;
    ux_HashIncr(ps.m.phashSugg.get(), "00 NV 01__00ff20__NV_", 0, "");
    ux_HashIncr(ps.m.phashSugg.get(), "00 XY 01__00ff20__NV_", 0, "");
    EXPECT_FATAL(SortFeatureSugg(&ps.m), 18032, "small AmbClassAreaSize \\(1\\)!");
    const char* psz1 = "00 NV";
    const char* psz2 = "00 \xe1";
    EXPECT_LT(StrCmpRef(psz1, psz2), 0); // bytes compare unsigned
}

// The loaders count the features of a class together; the result must be
// that of counting every feature on its own (AddFeatureFromStr, one line at a
// time, with ComputeFeatureCounts).
class LoadedAlike : public testing::Test {
protected:
    // Element 0 with the classes NV, AN and NVA, element 1 with ps and pq;
    // unambiguous A and N lines anchor closest terms.
    const std::vector<std::string> rgszLine = {
        "Ns|NV/s/|a|a|",  "Vp|NV/ps/|b|b|", "As|A/s/|c|c|",  "Nq|NVA/pq/|d|l|",
        "Ap|AN/ps/|a|a|", "Vs|NV/s/|e|e|",  "Nq|N/pq/|b|b|", "Vs|NVA/ps/|c|c|",
        "As|AN/s/|f|f|",  "Np|NV/ps/|a|l|", "Ns|N/s/|g|g|",  "Vq|NV/pq/|e|e|"};

    // The pool records and the class ranges.
    static std::vector<std::string> Snapshot(const Model& m) {
        std::vector<std::string> rg;
        for (long il = 0; il < m.clFeatureSuggUsed; ++il)
            rg.push_back(Describe(m.rgfdFeatureSugg[il]));
        for (const AmbClass& ac : m.rgacAmbClassArea) {
            if (ac.pszAmbClass == nullptr) break;
            rg.push_back(std::string(ac.pszAmbClass) + " " + std::to_string(ac.ilSuggFirst) + " " +
                         std::to_string(ac.ilSuggLast));
        }
        return rg;
    }

    static void ResetPool(Model& m) {
        m.clFeatureSuggUsed = 0;
        m.pteSuggLast = nullptr;
        m.pacSuggLast = nullptr;
        for (AmbClass& ac : m.rgacAmbClassArea) ac.ilSuggFirst = ac.ilSuggLast = -1;
    }

    static std::vector<std::string> LoadOneByOne(Model& m) {
        ResetPool(m);
        std::ifstream is(m.szFeaturePoolFile);
        for (std::string sz; std::getline(is, sz);)
            EXPECT_LE(AddFeatureFromStr(&m, sz.c_str()), 0) << sz;
        return Snapshot(m);
    }
};

TEST_F(LoadedAlike, GeneratedPools) {
    for (const char* pszArgs :
         {"SortSuggestions = Count\n", "SortSuggestions = Entropy\nCutSuggestions = 0.9\n"
                                       "CountMode = Individual\nModels = Both\n"}) {
        TrainingSetup ps(2);
        ps.Init(rgszLine,
                GenerationArgs(std::string("FeatureMode = GenerateOut\nFeatureSugg = p\n"
                                           "UseInFeatures = ACs+Tags+Forms+SetElements\n") +
                               pszArgs));
        Model& m = ps.m;
        m.szFeaturePoolFile = ps.dir.Path("pool.txt");
        m.cClosestThr = 2;
        ps.NewSugg();
        test::Stderr([&] {
            for (int iBase = 1; iBase <= 3; ++iBase)
                ASSERT_EQ(GenerateFSG5(&m, &ps.dtT, iBase, 0, 1), 0);
            SortFeatureSugg(&m);
        });
        const std::vector<std::string> rgszSorted = Snapshot(m);
        EXPECT_GT(m.clFeatureSuggUsed, 100);
        test::Stderr([&] {
            EXPECT_EQ(LoadOneByOne(m), rgszSorted) << pszArgs;
            ResetPool(m);
            EXPECT_EQ(ReadFeaturesPool(&m), 0);
        });
        EXPECT_EQ(Snapshot(m), rgszSorted) << pszArgs;
    }
}

// Terms that generation does not write: lemmas, any tag, never, empty terms,
// far offsets, closest searches on tags, members, whole tags of the wrong
// length, features without terms.
TEST_F(LoadedAlike, HandWrittenPool) {
    TrainingSetup ps(2);
    ps.Init(rgszLine, GenerationArgs("Models = Both\n"));
    ps.m.szFeaturePoolFile = ps.dir.Write(
        "pool.txt", "1 00 NV 01__ffff7f__l_\n1 00 NV 02__ffff7b__x_01ff40__V_\n"
                    "1 00 NV 01__00ff7d__x_\n1 00 NV 02__80ff20__x_ffff20__NV_\n"
                    "1 00 NV 01__05ff21__s_\n1 00 NV 01__fbff00__N_\n1 00 NV 01__810000_A_A_\n"
                    "1 00 NV 01__7f0000_N_s_\n1 00 NV 01__8140ff_V_x_\n1 00 NV 00__\n"
                    "1 00 NV 01__ffff7c__Ns_\n1 00 NV 01__ffff7c__N_\n1 00 NV 01__ffff7c__Nsx_\n"
                    "1 00 NV 01__0a2141_ps_p_\n1 00 NV 01__00ff00__x_\n1 00 -- 01__ffff7e__a_\n"
                    "1 00 -- 01__01ff41__q_\n1 01 ps 02__ffff41__p_00ff20__NV_\n"
                    "1 01 ps 01__0020ff__x_\n");
    test::Stderr([&] { ASSERT_EQ(ReadFeaturesPool(&ps.m), 0); });
    EXPECT_EQ(ps.m.clFeatureSuggUsed, 19);
    const std::vector<std::string> rgszRead = Snapshot(ps.m);
    EXPECT_EQ(LoadOneByOne(ps.m), rgszRead);
}

} // namespace
} // namespace vexta
