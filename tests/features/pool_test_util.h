// Helpers of the training set-up and feature pool tests: an argument file in
// a scratch directory, a training table filled from data lines through the
// table's own line parser, and the counted feature strings of phashSugg.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/templates.h"
#include "model/model.h"

namespace vexta::test {

// A fresh directory for scratch files, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        std::string sz = (std::filesystem::temp_directory_path() / "vexta_pool_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        szPath_ = sz;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(szPath_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string Write(std::string_view szName, std::string_view szText) const {
        const std::string szFile = Path(szName);
        std::ofstream os(szFile, std::ios::binary);
        os << szText;
        return szFile;
    }
    std::string Path(std::string_view szName) const { return szPath_ + "/" + std::string(szName); }

private:
    std::string szPath_;
};

// Makes szText the argument file that every value request reads.
inline void UseArgs(const ScratchDir& dir, std::string_view szText) {
    szArgs = dir.Write("test.args", szText);
    ux_ArgClose();
    ux_ArgOpen(szArgs);
}

// Settings of a generation run; SubTag keys for cTagElem tag elements are
// added by SetupArgs.
inline std::string GenerationArgs(std::string_view szExtra = "") {
    std::string sz = "FeatureMode = Generate\n"
                     "MaxFeaturesGenerate = 1000000\n"
                     "CountMode = Batch\n"
                     "Models = AC\n"
                     "SortSuggestions = Count\n"
                     "FeatureTemplates = base\n"
                     "UseInFeatures = ACs\n"
                     "Features = test.model\n"
                     "AmbClassIgnore = -\n";
    sz += szExtra; // later definitions win
    return sz;
}

// A model with a string table, a training and a heldout table, and area
// sizes as the training parameters would give them.
class PoolSetup {
public:
    Model m;
    DataTable dtT;
    DataTable dtH;
    ScratchDir dir;

    explicit PoolSetup(int cTagElem) {
        m.cTagElem = cTagElem;
        m.fProgMode = kModeTrain;
        m.cBeam = 1;
        m.iTrainCat = -1;
        m.phashStr = ux_HashNew(8192, 65536, 4000);
        ux_HashMemberPtr(m.phashStr.get(), "", &m.pszEmpty);
        m.pdtT = &dtT;
        m.pdtH = &dtH;
        m.clFeatureAreaSize = 1000;
        m.clFeatureSuggSize = 10000;
        m.clAmbClassAreaSize = 100;
        m.cPoolThr = 1;
        m.cClosestThr = 1000;
        m.cThrMin = 1;
    }

    // The argument file: SubTag1..n, then szText.
    void SetupArgs(std::string_view szText) {
        std::string sz;
        for (int t = 0; t < m.cTagElem; ++t) {
            sz += "SubTag" + std::to_string(t + 1) + " = +E" + std::to_string(t + 1) + "\n";
        }
        sz += szText;
        UseArgs(dir, sz);
    }

    // Fills the training table with data lines "tag|AC/.../|form|lemma|"
    // (and a heldout table with the same lines).
    void SetLines(const std::vector<std::string>& rgszLine) {
        Fill(dtT, rgszLine);
        Fill(dtH, rgszLine);
    }

    // Training set-up on the lines; fails the test on a non-zero code.
    void Init(const std::vector<std::string>& rgszLine, std::string_view szArgs) {
        SetupArgs(szArgs);
        SetLines(rgszLine);
        testing::internal::CaptureStderr(); // the class report
        const int rc = InitModelTraining(&dtT, &m);
        testing::internal::GetCapturedStderr();
        ASSERT_EQ(rc, 0);
    }

    // A fresh generation table.
    void NewSugg() { m.phashSugg = ux_HashNew(10000, 200000, 4000); }

    // Every counted (feature string, data string) of phashSugg with its count;
    // the key is the feature string, followed by "|" and the data string when
    // that is not empty.
    std::map<std::string, long> Sugg() const {
        std::map<std::string, long> mp;
        const char* pszKey = nullptr;
        const char* pszData = nullptr;
        long l = 0;
        for (int rc = ux_HashFirstDataPtr(m.phashSugg.get(), &pszKey, &pszData, &l); rc != -1;
             rc = ux_HashNextDataPtr(m.phashSugg.get(), &pszKey, &pszData, &l)) {
            std::string sz = pszKey;
            if (*pszData != '\0') sz += std::string("|") + pszData;
            mp[sz] += l;
        }
        return mp;
    }

    AmbClass& Class(int t, std::string_view szAC) {
        AmbClass* pac = FindAmbClassRec(szAC, m.rgteTagElem[t], m);
        EXPECT_NE(pac, nullptr) << szAC;
        return *pac;
    }

private:
    void Fill(DataTable& dt, const std::vector<std::string>& rgszLine) {
        dt.ilStart = 0;
        dt.clLines = static_cast<long>(rgszLine.size());
        ASSERT_EQ(AllocSegment(m, dt), 0);
        for (std::size_t i = 0; i < rgszLine.size(); ++i) {
            ASSERT_EQ(InsertLine(m, dt, rgszLine[i], static_cast<long>(i), "", nullptr, 1), 0)
                << rgszLine[i];
        }
        dt.rgilNextAC.assign(static_cast<std::size_t>(dt.clData), -1);
        dt.rgilNextFeature.assign(static_cast<std::size_t>(dt.clData), -1);
    }
};

} // namespace vexta::test
