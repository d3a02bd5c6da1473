// Helpers of the training set-up and feature pool tests: an argument file in
// a scratch directory, training tables filled through the table's own line
// parser, and the counted feature strings of phashSugg.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/templates.h"
#include "features/tiny_model.h"
#include "model/model.h"
#include "test_util.h"

namespace vexta::test {

// Makes szText the argument file that every value request reads.
inline void UseArgs(const TempDir& dir, std::string_view szText) {
    szArgs = dir.Write("test.args", szText);
    ux_ArgClose();
    ux_ArgOpen(szArgs);
}

// The keys of a generation run; szExtra comes last, so its definitions win.
inline std::string GenerationArgs(std::string_view szExtra = "") {
    return "FeatureMode = Generate\nMaxFeaturesGenerate = 1000000\nCountMode = Batch\n"
           "Models = AC\nSortSuggestions = Count\nFeatureTemplates = base\nUseInFeatures = ACs\n"
           "Features = test.model\nAmbClassIgnore = -\n" +
           std::string(szExtra);
}

// A model with a string table, a training and a heldout table, and the area
// sizes and thresholds the training parameters would give it.
class PoolSetup {
public:
    Model m;
    DataTable dtT;
    DataTable dtH;
    TempDir dir;

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
        m.cPoolThr = m.cThrMin = 1;
        m.cClosestThr = 1000;
    }

    // The argument file: "SubTag<n> = +E<n>" for every tag element, then szText.
    void SetupArgs(std::string_view szText) {
        std::string sz;
        for (int t = 1; t <= m.cTagElem; ++t)
            sz += "SubTag" + std::to_string(t) + " = +E" + std::to_string(t) + "\n";
        UseArgs(dir, sz + std::string(szText));
    }

    void SetLines(const std::vector<std::string>& rgszLine) {
        for (DataTable* pdt : {&dtT, &dtH}) FillTable(m, *pdt, rgszLine);
    }

    // Training set-up on the lines, its class report discarded.
    void Init(const std::vector<std::string>& rgszLine, std::string_view szArgText) {
        SetupArgs(szArgText);
        SetLines(rgszLine);
        Stderr([&] { ASSERT_EQ(InitModelTraining(&dtT, &m), 0); });
    }

    void NewSugg() { m.phashSugg = ux_HashNew(10000, 200000, 4000); }

    // Every counted feature string of phashSugg with its count, followed by
    // "|" and the data string when that is not empty.
    std::map<std::string, long> Sugg() const {
        std::map<std::string, long> mp;
        const char* pszKey = nullptr;
        const char* pszData = nullptr;
        long l = 0;
        for (int rc = ux_HashFirstDataPtr(m.phashSugg.get(), &pszKey, &pszData, &l); rc != -1;
             rc = ux_HashNextDataPtr(m.phashSugg.get(), &pszKey, &pszData, &l)) {
            mp[*pszData != '\0' ? std::string(pszKey) + "|" + pszData : pszKey] += l;
        }
        return mp;
    }

    AmbClass& Class(int t, std::string_view szAC) {
        return *FindAmbClassRec(szAC, m.rgteTagElem[t], m);
    }
};

} // namespace vexta::test
