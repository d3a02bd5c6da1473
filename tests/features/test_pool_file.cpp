// Pool lines, the pool file, the entropy cut and the loading of the pool
// class by class.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "features/pool_file.h"
#include "features/pool_gen.h"
#include "pool_test_util.h"

namespace vexta {
namespace {

using test::GenerationArgs;
using test::PoolSetup;

TEST(GetHex, SignedBytesInEitherCase) {
    struct Case {
        const char* psz;
        int iValue;
        int cchRead;
    };
    for (const Case& c :
         {Case{"ff", -1, 2}, Case{"FF", -1, 2}, Case{"7f_", 127, 2}, Case{"81", -127, 2},
          Case{"0a", 10, 2}, Case{"zz", 0, 2}, Case{"5", 80, 1}, Case{"", 0, 0}}) {
        const char* psz = c.psz;
        EXPECT_EQ(GetHex(&psz), c.iValue) << c.psz;
        // The cursor never passes the end of the string.
        EXPECT_EQ(psz - c.psz, c.cchRead) << c.psz;
    }
}

TEST(GetStr, CopiesUpToTheDelimiter) {
    std::array<char, 8> sz;
    const char* psz = "_ab_cd";
    EXPECT_EQ(GetStr(sz, &psz, '_'), 0);
    EXPECT_STREQ(sz.data(), "ab");
    EXPECT_STREQ(psz, "cd");
    EXPECT_EQ(GetStr(sz, &psz, '_'), 2);
    EXPECT_STREQ(sz.data(), "cd");
    EXPECT_STREQ(psz, "");
    psz = "__";
    EXPECT_EQ(GetStr(sz, &psz, '_'), 0);
    EXPECT_STREQ(sz.data(), "");
    psz = "1234567";
    EXPECT_EQ(GetStr(sz, &psz, ' '), 2);
    psz = "12345678";
    EXPECT_EXIT(GetStr(sz, &psz, ' '), testing::ExitedWithCode(18032 & 255),
                "tag: Too long string in feature pool: 12345678");
}

// Four tag elements; element 3 has the class NV at lines 0, 1 and 2 with the
// true values N, V, N.
const std::vector<std::string> kLines4 = {"NsxN|NV/s/x/NV/|a|a|", "VsxV|NV/s/x/NV/|b|b|",
                                          "NsxN|N/s/x/NV/|c|c|"};

TEST(AddFeatureFromStr, TheExampleLine) {
    PoolSetup ps(4);
    ps.Init(kLines4, GenerationArgs());
    Model& m = ps.m;
    testing::internal::CaptureStderr();
    EXPECT_EQ(AddFeatureFromStr(&m, "17 03 NV 02__ffff00__N_ffff20__Ag_ rest"), 0);
    EXPECT_EQ(AddFeatureFromStr(&m, "\t 3 03 NV 01__ffff20__NV_"), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(m.clFeatureSuggUsed, 2);

    AmbClass& acNV = ps.Class(3, "NV");
    const FeatureDesc& fd = m.rgfdFeatureSugg[0];
    EXPECT_EQ(fd.iTagElem, 3);
    EXPECT_EQ(fd.pacOfFeature, &acNV);
    EXPECT_EQ(fd.pszACFeature, acNV.pszAmbClass);
    EXPECT_EQ(fd.pszY, m.pszEmpty);
    EXPECT_EQ(fd.cCntTagElemGivenFeature, 2);
    ASSERT_EQ(fd.cTerms, 2);
    EXPECT_EQ(fd.rgftTerm[0].iPos, -1);
    EXPECT_EQ(fd.rgftTerm[0].iClosestConditionElem, -1);
    EXPECT_EQ(fd.rgftTerm[0].pszClosestValue, m.pszEmpty);
    EXPECT_EQ(fd.rgftTerm[0].iConditionElem, 0);
    EXPECT_STREQ(fd.rgftTerm[0].pszValue, "N");
    EXPECT_EQ(fd.rgftTerm[1].iConditionElem, 32);
    EXPECT_STREQ(fd.rgftTerm[1].pszValue, "Ag");
    // The count of the line is replaced by the count over the training data:
    // no line is preceded by the AC Ag. The weight holds the entropy (1 bit).
    EXPECT_EQ(fd.clCnt, 0);
    EXPECT_DOUBLE_EQ(fd.dLambda, 1.0);
    EXPECT_EQ(fd.ilNextFeature, 0);

    const FeatureDesc& fd2 = m.rgfdFeatureSugg[1];
    EXPECT_EQ(fd2.clCnt, 2); // lines 1 and 2 follow a line with the AC NV
    EXPECT_EQ(fd2.rgclCntTagElemGivenFeature, (std::vector<long>{1, 1}));
    EXPECT_EQ(acNV.ilSuggFirst, 0);
    EXPECT_EQ(acNV.ilSuggLast, 1);
    // The chain of the class lines, from the last line to the first.
    EXPECT_EQ(acNV.ilDataFirst, 2);
    EXPECT_EQ(ps.dtT.rgilNextAC[2], 1);
    EXPECT_EQ(ps.dtT.rgilNextAC[0], -1);
}

TEST(AddFeatureFromStr, SkippedLines) {
    PoolSetup ps(4);
    ps.Init(kLines4, GenerationArgs());
    Model& m = ps.m;
    m.cPoolThr = 3;
    EXPECT_EQ(AddFeatureFromStr(&m, ""), -1);
    EXPECT_EQ(AddFeatureFromStr(&m, "2 03 NV 01__ffff20__NV_"), -1);
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 -- 01__ffff20__NV_"), -1); // no general model
    m.fModelAC = 0;
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 NV 01__ffff20__NV_"), -1);
    EXPECT_EQ(m.clFeatureSuggUsed, 0);

    // A class the training data does not have is reported and skipped.
    m.fModelAC = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 XY 01__ffff20__NV_"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "AC not found in data while adding feature to pool: 3/XY\n");
    EXPECT_EQ(m.clFeatureSuggUsed, 0);

    // The general model: the all-data class of the element, upper-case hex.
    m.fModelGeneral = 1;
    EXPECT_EQ(AddFeatureFromStr(&m, "5 03 -- 01__FFFF20__NV_"), 0);
    const FeatureDesc& fd = m.rgfdFeatureSugg[0];
    EXPECT_STREQ(fd.pszACFeature, "--NV");
    EXPECT_EQ(fd.pacOfFeature->fACIgnore, 1);
    EXPECT_EQ(fd.cCntTagElemGivenFeature, 4);
    EXPECT_EQ(fd.rgclCntTagElemGivenFeature, (std::vector<long>{0, 0, 1, 1}));
    EXPECT_EQ(fd.rgftTerm[0].iPos, -1);
}

TEST(AddFeatureFromStr, MalformedLines) {
    struct Case {
        const char* pszLine;
        int iCode;
    };
    // Four tag elements: codes 4, 36 and 68 are the first ones out of range.
    for (const Case& c : {
             Case{"5 03 NV 06__00ff20__NV_00ff20__NV_00ff20__NV_00ff20__NV_00ff20__NV_00ff20__NV_",
                  2},
             Case{"5 03 NV ff__", 2},
             Case{"5 03 NV 01x__00ff20__NV_", 3},
             Case{"5 03 NV 01", 3},
             Case{"5 03 NV 01_xy_00ff20__NV_", 4},
             Case{"5 03 NV 01__00ff20", 5},
             Case{"5 03 NV 01__00ff20_", 5},
             Case{"5 03 NV 01__00ff20__NV", 7},
             Case{"5 03 NV 01__810420_N_NV_", 9},
             Case{"5 03 NV 01__812420_NV_NV_", 17},
             Case{"5 03 NV 01__814420_N_NV_", 26},
             Case{"5 03 NV 01__00ff04__N_", 10},
             Case{"5 03 NV 01__00ff24__NV_", 12},
             Case{"5 03 NV 01__00ff44__N_", 28},
             Case{"5 03 NV", 11},
             Case{"5 04 NV 01__00ff20__NV_", kPoolBadTagElem},
             Case{"5 ff NV 01__00ff20__NV_", kPoolBadTagElem},
         }) {
        PoolSetup ps(4);
        ps.Init(kLines4, GenerationArgs());
        testing::internal::CaptureStderr();
        EXPECT_EQ(AddFeatureFromStr(&ps.m, c.pszLine), c.iCode) << c.pszLine;
        testing::internal::GetCapturedStderr();
    }
    // Codes outside 0..95 are not element codes of tag elements.
    PoolSetup ps(4);
    ps.Init(kLines4, GenerationArgs());
    EXPECT_EQ(AddFeatureFromStr(&ps.m, "5 03 NV 02__00ff7b__x_80ff7f__y_"), 0);
    EXPECT_EQ(ps.m.rgfdFeatureSugg[0].rgftTerm[1].iPos, -128);

    ps.m.clFeatureSuggSize = 1;
    EXPECT_EXIT(AddFeatureFromStr(&ps.m, "5 03 NV 01__00ff20__NV_"),
                testing::ExitedWithCode(18032 & 255),
                "AddFeatureFromStr: Insuff. space in rgfdFeatureSugg \\(1\\); increase "
                "FeatureSuggSize");
}

// Element 0: the class NV at lines 1, 3 and 5 (true N, V, N). The feature
// "previous value N" fires at lines 1 and 5 (counts 2/0, entropy 0.650
// bits); "own AC NV" at all three (counts 2/1, entropy 0.954 bits).
const std::vector<std::string> kLinesCut = {"N|N/|p|p|",  "N|NV/|a|a|", "V|V/|q|q|",
                                            "V|NV/|b|b|", "N|N/|r|r|",  "N|NV/|c|c|"};
const char* const kPrevN = "1 00 NV 01__ffff00__N_";
const char* const kOwnNV = "1 00 NV 01__00ff20__NV_";

TEST(AddFeatureFromStr, EntropyCut) {
    struct Case {
        int iSortSugg;
        double dThr;
        int cKept;
    };
    for (const Case& c : {Case{1, -1.0, 2}, Case{2, 1024.0, 2}, Case{2, 0.8, 1}, Case{2, 0.5, 0},
                          Case{0, -1.0, 0}}) {
        PoolSetup ps(1);
        ps.Init(kLinesCut, GenerationArgs());
        ps.m.iSortSugg = c.iSortSugg;
        ps.m.dSuggEntropyThr = c.dThr;
        const int rcPrev = AddFeatureFromStr(&ps.m, kPrevN);
        AddFeatureFromStr(&ps.m, kOwnNV);
        EXPECT_EQ(ps.m.clFeatureSuggUsed, c.cKept) << c.iSortSugg << " " << c.dThr;
        const AmbClass& ac = ps.Class(0, "NV");
        if (c.cKept == 0) {
            EXPECT_EQ(rcPrev, -1);
            EXPECT_EQ(ac.ilSuggFirst, -1);
            EXPECT_EQ(ac.ilSuggLast, -1);
        } else {
            EXPECT_EQ(ac.ilSuggFirst, 0);
            EXPECT_EQ(ac.ilSuggLast, c.cKept - 1);
            EXPECT_NEAR(ps.m.rgfdFeatureSugg[0].dLambda, 0.650022, 1e-6);
        }
    }
}

// The pool file of mode GenerateOut, read back in mode Read.
TEST(SortFeatureSugg, GenerateOutThenRead) {
    // Element 0 has the classes NV and AN (first seen in that order), element 1 ps.
    const std::vector<std::string> rgszLine = {"Ns|NV/s/|a|a|", "Vp|NV/ps/|b|b|", "As|AN/s/|c|c|",
                                               "Ns|N/s/|d|d|"};
    PoolSetup ps(2);
    ps.Init(rgszLine, GenerationArgs("FeatureMode = GenerateOut\nFeatureSugg = unused\n"));
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
    EXPECT_NE(szErr.find("Features sorted (3 classes).\n"), std::string::npos) << szErr;
    EXPECT_NE(szErr.find("Moving features te/AC: 00 AN (0)\nMoving features te/AC: 00 NV (1)\n"),
              std::string::npos);

    // Every generated feature is in the file, also those below cPoolThr.
    std::ifstream is(m.szFeaturePoolFile);
    std::vector<std::string> rgszPool;
    for (std::string sz; std::getline(is, sz);) rgszPool.push_back(sz);
    ASSERT_EQ(static_cast<long>(rgszPool.size()), cGenerated);
    long cKept = 0;
    std::string szClassPrev;
    for (const std::string& sz : rgszPool) {
        std::istringstream iss(sz);
        long cl = 0;
        std::string szTE, szAC;
        iss >> cl >> szTE >> szAC;
        EXPECT_EQ(sz.back(), ' ') << sz;           // "Batch": an empty data string
        EXPECT_LE(szClassPrev, szTE + " " + szAC); // grouped, in byte order of the keys
        szClassPrev = szTE + " " + szAC;
        cKept += cl >= 2;
    }
    EXPECT_NE(rgszPool.front().find(" 00 AN "), std::string::npos);
    EXPECT_EQ(m.clFeatureSuggUsed, cKept);
    EXPECT_NE(szErr.find("~~~ FEATURE POOL SIZE: " + std::to_string(cKept) + "\n"),
              std::string::npos);

    const AmbClass& acAN = ps.Class(0, "AN");
    const AmbClass& acNV = ps.Class(0, "NV");
    const AmbClass& acPS = ps.Class(1, "ps");
    // Pool: AN 1 feature, NV 3, ps 2 (those counted at least twice).
    EXPECT_EQ(m.clFeatureSuggUsed, 6);
    EXPECT_EQ(acAN.ilSuggFirst, 0);
    EXPECT_EQ(acAN.ilSuggLast, 0);
    EXPECT_EQ(acNV.ilSuggFirst, 1);
    EXPECT_EQ(acNV.ilSuggLast, 3);
    EXPECT_EQ(acPS.ilSuggFirst, 4);
    EXPECT_EQ(acPS.ilSuggLast, 5);
    EXPECT_NE(szErr.find("E 00, --ANV: -1 -- -1\nE 00, NV: 1 -- 3\nE 00, AN: 0 -- 0\n"),
              std::string::npos);

    // Read it back.
    const std::vector<FeatureDesc> rgfdGenerated(m.rgfdFeatureSugg.begin(),
                                                 m.rgfdFeatureSugg.begin() + m.clFeatureSuggUsed);
    const std::array<long, 2> rgilNV{acNV.ilSuggFirst, acNV.ilSuggLast};
    const std::array<long, 2> rgilPS{acPS.ilSuggFirst, acPS.ilSuggLast};
    m.iFeatureMode = 2;
    m.clFeatureSuggUsed = 0;
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;
    for (AmbClass& ac : m.rgacAmbClassArea) ac.ilSuggFirst = ac.ilSuggLast = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadFeaturesPool(&m), 0);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(m.clFeatureSuggUsed, static_cast<long>(rgfdGenerated.size()));
    EXPECT_EQ(m.hFeaturePool, 0);
    for (std::size_t i = 0; i < rgfdGenerated.size(); ++i) {
        const FeatureDesc& fdA = rgfdGenerated[i];
        const FeatureDesc& fdB = m.rgfdFeatureSugg[i];
        EXPECT_EQ(fdA.pacOfFeature, fdB.pacOfFeature) << i;
        EXPECT_EQ(fdA.cTerms, fdB.cTerms) << i;
        for (int it = 0; it < fdA.cTerms; ++it) {
            EXPECT_EQ(fdA.rgftTerm[it].iPos, fdB.rgftTerm[it].iPos);
            EXPECT_EQ(fdA.rgftTerm[it].iConditionElem, fdB.rgftTerm[it].iConditionElem);
            EXPECT_EQ(fdA.rgftTerm[it].pszValue, fdB.rgftTerm[it].pszValue);
            EXPECT_EQ(fdA.rgftTerm[it].pszClosestValue, fdB.rgftTerm[it].pszClosestValue);
        }
        EXPECT_EQ(fdA.clCnt, fdB.clCnt) << i;
        EXPECT_EQ(fdA.dLambda, fdB.dLambda) << i;
        EXPECT_EQ(fdA.rgclCntTagElemGivenFeature, fdB.rgclCntTagElemGivenFeature) << i;
    }
    EXPECT_EQ(acNV.ilSuggFirst, rgilNV[0]);
    EXPECT_EQ(acNV.ilSuggLast, rgilNV[1]);
    EXPECT_EQ(acPS.ilSuggFirst, rgilPS[0]);
    EXPECT_EQ(acPS.ilSuggLast, rgilPS[1]);
}

TEST(ReadFeaturesPool, FileLinesAndFailures) {
    PoolSetup ps(1);
    ps.Init(kLinesCut, GenerationArgs("FeatureMode = Read\nFeatureSugg = unused\n"));
    Model& m = ps.m;
    m.cPoolThr = 2;
    m.iSortSugg = 1;
    m.fModelAC = 1; // mode Read reads no model kind; the iteration gives it
    // Individual counts: the same terms once per true value, each its own
    // record; the last line has no line feed and is not used.
    m.szFeaturePoolFile =
        ps.dir.Write("pool.txt", "\n1 00 NV 01__00ff20__NV_ V\n5 00 -- 01__00ff20__NV_ N\n"
                                 "2 00 NV 01__00ff20__NV_ N\n3 00 NV 01__00ff20__NV_ V\n"
                                 "4 00 NV 01__ffff00__N_ N");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadFeaturesPool(&m), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "E 00, --NV: -1 -- -1\nE 00, NV: 0 -- 1\n");
    EXPECT_EQ(m.clFeatureSuggUsed, 2);
    EXPECT_EQ(m.rgfdFeatureSugg[0].clCnt, 3);
    EXPECT_EQ(m.rgfdFeatureSugg[1].rgftTerm[0].pszValue, m.rgfdFeatureSugg[0].rgftTerm[0].pszValue);

    m.clFeatureSuggUsed = 0;
    m.szFeaturePoolFile = ps.dir.Write("bad.txt", "2 00 NV 01__00ff20__NV_\n2 00 NV 09__\n");
    EXPECT_EQ(ReadFeaturesPool(&m), 3302);

    // Lines longer than 3999 characters are refused, not cut.
    m.szFeaturePoolFile =
        ps.dir.Write("long.txt", "2 00 NV 01__00ff7e__" + std::string(3990, 'x') + "_\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadFeaturesPool(&m), kPoolLineTooLong);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("is longer than 3999 characters"),
              std::string::npos);

    m.szFeaturePoolFile = ps.dir.Path("missing.txt");
    EXPECT_EXIT(ReadFeaturesPool(&m), testing::ExitedWithCode(13010 & 255),
                "Cannot open input file: ");
}

TEST(SortFeatureSugg, FatalInputs) {
    PoolSetup ps(1);
    ps.Init(kLinesCut, GenerationArgs());
    ps.NewSugg();
    ux_HashIncr(ps.m.phashSugg.get(), "00 NV", 0, "");
    EXPECT_EXIT(SortFeatureSugg(&ps.m), testing::ExitedWithCode(18032 & 255),
                "wrong feature format \\(sort input\\): \\(00 NV/1/\\)");
    ps.NewSugg();
    ux_HashIncr(ps.m.phashSugg.get(), "00 NV 01__00ff7e__" + std::string(240, 'x') + "_", 0, "");
    EXPECT_EXIT(SortFeatureSugg(&ps.m), testing::ExitedWithCode(18032 & 255),
                "feature/y truncated when sorting");
    ps.NewSugg();
    ux_HashIncr(ps.m.phashSugg.get(), "00 NV 09__", 0, "");
    EXPECT_EXIT(SortFeatureSugg(&ps.m), testing::ExitedWithCode(18032 & 255),
                "cannot add generated feature \\(1 00 NV 09__ \\), code 2");
    ps.NewSugg();
    ps.m.clAmbClassAreaSize = 1;
    ux_HashIncr(ps.m.phashSugg.get(), "00 NV 01__00ff20__NV_", 0, "");
    ux_HashIncr(ps.m.phashSugg.get(), "00 XY 01__00ff20__NV_", 0, "");
    EXPECT_EXIT(SortFeatureSugg(&ps.m), testing::ExitedWithCode(18032 & 255),
                "small AmbClassAreaSize \\(1\\)!");
}

TEST(StrCmpRef, ByteOrder) {
    const char* psz1 = "00 NV";
    const char* psz2 = "01 AN";
    const char* psz3 = "00 \xe1";
    EXPECT_LT(StrCmpRef(psz1, psz2), 0);
    EXPECT_GT(StrCmpRef(psz3, psz1), 0); // bytes compare unsigned
    EXPECT_EQ(StrCmpRef(psz1, psz1), 0);
}

} // namespace
} // namespace vexta

namespace vexta {
namespace {

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

    // The pool records and class ranges of the model.
    static std::vector<std::string> Snapshot(const Model& m) {
        std::vector<std::string> rg;
        for (long il = 0; il < m.clFeatureSuggUsed; ++il) {
            const FeatureDesc& fd = m.rgfdFeatureSugg[il];
            std::string sz = std::to_string(fd.iTagElem);
            for (const std::string& szField :
                 {std::string(fd.pszACFeature), std::to_string(fd.clCnt),
                  std::to_string(fd.clCntNoFire), std::to_string(fd.dLambda),
                  std::string(fd.pszY == m.pszEmpty ? "*" : fd.pszY)}) {
                sz += ' ';
                sz += szField;
            }
            for (long cl : fd.rgclCntTagElemGivenFeature) {
                sz += ',';
                sz += std::to_string(cl);
            }
            for (int it = 0; it < fd.cTerms; ++it) {
                const FeatureTerm& ft = fd.rgftTerm[it];
                for (const std::string& szField :
                     {std::to_string(ft.iPos), std::to_string(ft.iClosestConditionElem),
                      std::string(ft.pszClosestValue), std::to_string(ft.iConditionElem),
                      std::string(ft.pszValue)}) {
                    sz += '/';
                    sz += szField;
                }
            }
            rg.push_back(sz);
        }
        for (const AmbClass& ac : m.rgacAmbClassArea) {
            if (ac.pszAmbClass == nullptr) break;
            std::string sz = ac.pszAmbClass;
            sz += ' ';
            sz += std::to_string(ac.ilSuggFirst);
            sz += ' ';
            sz += std::to_string(ac.ilSuggLast);
            rg.push_back(sz);
        }
        return rg;
    }

    static void ResetPool(Model& m) {
        m.clFeatureSuggUsed = 0;
        m.pteSuggLast = nullptr;
        m.pacSuggLast = nullptr;
        for (AmbClass& ac : m.rgacAmbClassArea) ac.ilSuggFirst = ac.ilSuggLast = -1;
    }

    // Loads the lines of the file one by one.
    static void LoadOneByOne(Model& m, const std::string& szFile) {
        ResetPool(m);
        std::ifstream is(szFile);
        for (std::string sz; std::getline(is, sz);) {
            ASSERT_LE(AddFeatureFromStr(&m, sz.c_str()), 0) << sz;
        }
    }
};

TEST_F(LoadedAlike, GeneratedPools) {
    for (const char* pszArgs :
         {"SortSuggestions = Count\n", "SortSuggestions = Entropy\nCutSuggestions = 0.9\n"
                                       "CountMode = Individual\nModels = Both\n"}) {
        PoolSetup ps(2);
        ps.Init(rgszLine,
                GenerationArgs(std::string("FeatureMode = GenerateOut\n"
                                           "FeatureSugg = p\n"
                                           "UseInFeatures = ACs+Tags+Forms+SetElements\n") +
                               pszArgs));
        Model& m = ps.m;
        m.szFeaturePoolFile = ps.dir.Path("pool.txt");
        m.cClosestThr = 2;
        ps.dtT.rgrgfErr[0][3] = 1;
        ps.NewSugg();
        testing::internal::CaptureStderr();
        for (int iBase = 1; iBase <= 3; ++iBase) {
            ASSERT_EQ(GenerateFSG5(&m, &ps.dtT, iBase, 0, 1), 0);
        }
        SortFeatureSugg(&m);
        const std::vector<std::string> rgszSorted = Snapshot(m);
        EXPECT_GT(m.clFeatureSuggUsed, 100);

        LoadOneByOne(m, m.szFeaturePoolFile);
        EXPECT_EQ(Snapshot(m), rgszSorted) << pszArgs;

        ResetPool(m);
        EXPECT_EQ(ReadFeaturesPool(&m), 0);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(Snapshot(m), rgszSorted) << pszArgs;
    }
}

// Terms that generation does not write: lemmas, any tag, never, empty terms,
// far offsets, closest searches on tags, members, whole tags of the wrong
// length, features without terms.
TEST_F(LoadedAlike, HandWrittenPool) {
    PoolSetup ps(2);
    ps.Init(rgszLine, GenerationArgs("FeatureMode = Read\nFeatureSugg = p\n"));
    Model& m = ps.m;
    m.fModelAC = m.fModelGeneral = 1;
    m.iSortSugg = 1;
    m.szFeaturePoolFile = ps.dir.Write("pool.txt", "1 00 NV 01__ffff7f__l_\n"
                                                   "1 00 NV 02__ffff7b__x_01ff40__V_\n"
                                                   "1 00 NV 01__00ff7d__x_\n"
                                                   "1 00 NV 02__80ff20__x_ffff20__NV_\n"
                                                   "1 00 NV 01__05ff21__s_\n"
                                                   "1 00 NV 01__fbff00__N_\n"
                                                   "1 00 NV 01__810000_A_A_\n"
                                                   "1 00 NV 01__7f0000_N_s_\n"
                                                   "1 00 NV 01__8140ff_V_x_\n"
                                                   "1 00 NV 00__\n"
                                                   "1 00 NV 01__ffff7c__Ns_\n"
                                                   "1 00 NV 01__ffff7c__N_\n"
                                                   "1 00 NV 01__ffff7c__Nsx_\n"
                                                   "1 00 NV 01__0a2141_ps_p_\n"
                                                   "1 00 NV 01__00ff00__x_\n"
                                                   "1 00 -- 01__ffff7e__a_\n"
                                                   "1 00 -- 01__01ff41__q_\n"
                                                   "1 01 ps 02__ffff41__p_00ff20__NV_\n"
                                                   "1 01 ps 01__0020ff__x_\n");
    testing::internal::CaptureStderr();
    ASSERT_EQ(ReadFeaturesPool(&m), 0);
    const std::vector<std::string> rgszRead = Snapshot(m);
    LoadOneByOne(m, m.szFeaturePoolFile);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Snapshot(m), rgszRead);
    EXPECT_EQ(m.clFeatureSuggUsed, 19);
}

} // namespace
} // namespace vexta
