// Training parameters and the per-iteration parameter records.
#include "app/training_params.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/driver.h"
#include "app/globals.h"
#include "app/key_table.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "features/templates.h"
#include "model/iteration_params.h"
#include "model/model.h"

namespace vexta {

namespace {

// Request buffer of the training keys.
constexpr int kParamValueLen = 248;

// Value of a key; false when it is missing (the text is then empty).
bool GetParam(const std::string& szKey, std::string& szValue) {
    return ux_ArgGetValue(szArgs, szKey, szValue, kParamValueLen) <= 0;
}

[[noreturn]] void ExitMissing(const char* pszFormat, const std::string& szKey, int iStatus) {
    std::fprintf(stderr, pszFormat, ux_ProgName().c_str(), szKey.c_str());
    ux_Exit(iStatus);
}

// Reads a whole number as "%d" / "%ld" would: true when the text begins with
// one. Values beyond the range of int are pinned to its ends instead of being
// cut to 32 bits, so they fail every bound instead of wrapping into one.
bool ScanInt(const std::string& szValue, long long* pll) {
    const char* psz = szValue.c_str();
    char* pszEnd = nullptr;
    const long long ll = std::strtoll(psz, &pszEnd, 10);
    if (pszEnd == psz) return false;
    *pll = ll;
    return true;
}

int PinToInt(long long ll) {
    if (ll < INT_MIN) return INT_MIN;
    if (ll > INT_MAX) return INT_MAX;
    return static_cast<int>(ll);
}

bool ScanDouble(const std::string& szValue, double* pd) {
    const char* psz = szValue.c_str();
    char* pszEnd = nullptr;
    const double d = std::strtod(psz, &pszEnd);
    if (pszEnd == psz) return false;
    *pd = d;
    return true;
}

// A double printed as a whole number in a bounds message.
int WholeNumber(double d) {
    if (std::isnan(d)) return 0;
    if (d <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (d >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(d);
}

// Flag word: "y"/"Y"/"yes"/"Yes"/"YES" 1, "n"/"N"/"no"/"No"/"NO" 0, else the
// number read (-1 when there is none, so that it fails the check).
// A value that is neither says so, naming the key, before the check's own
// message.
int ReadFlagWord(const std::string& szKey, const std::string& szValue) {
    static constexpr std::array<std::string_view, 5> kYes{"y", "Y", "yes", "Yes", "YES"};
    static constexpr std::array<std::string_view, 5> kNo{"n", "N", "no", "No", "NO"};
    for (std::string_view sz : kYes) {
        if (szValue == sz) return 1;
    }
    for (std::string_view sz : kNo) {
        if (szValue == sz) return 0;
    }
    long long ll = -1;
    if (IsNumberText(szValue, false)) ScanInt(szValue, &ll);
    if (ll != 0 && ll != 1) ReportNotANumber(szKey, szValue, "yes or no");
    return PinToInt(ll);
}

// Reads a number of the key szKey into *pll (int) or *pd (double) when the
// whole text is one: true. Otherwise says so and leaves the target as it is
// (the value is then reported as an unreadable one is); the caller refuses
// it even where the preset would pass its bounds.
bool ReadNumber(const std::string& szKey, const std::string& szValue, long long* pll) {
    if (IsNumberText(szValue, false)) return ScanInt(szValue, pll);
    ReportNotANumber(szKey, szValue, "a whole number");
    return false;
}
bool ReadNumber(const std::string& szKey, const std::string& szValue, double* pd) {
    if (IsNumberText(szValue, true)) return ScanDouble(szValue, pd);
    ReportNotANumber(szKey, szValue, "a number");
    return false;
}

long long IntBound(double d) {
    return static_cast<long long>(d);
}

// A required integer key of the global parameters within the bounds of its
// table entry: missing prints pszMissingFormat ("%s" program, "%s" key) and
// exits iMissing; outside the bounds prints "model.<field> out of bounds"
// with the bounds and the value, and exits iWrong.
int ReadBoundedInt(const char* pszKey, int iPreset, const char* pszMissingFormat, int iMissing,
                   const char* pszField, int iWrong) {
    const KeyInfo& key = KeyEntry(pszKey);
    std::string szValue;
    if (!GetParam(pszKey, szValue)) ExitMissing(pszMissingFormat, pszKey, iMissing);
    long long ll = iPreset;
    const bool fNumber = ReadNumber(pszKey, szValue, &ll);
    if (!fNumber || ll < IntBound(key.dMin) || ll > IntBound(key.dMax)) {
        std::fprintf(stderr, "%s: model.%s out of bounds <%lld,%lld>: %d\n", ux_ProgName().c_str(),
                     pszField, IntBound(key.dMin), IntBound(key.dMax), PinToInt(ll));
        ux_Exit(iWrong);
    }
    return static_cast<int>(ll);
}

int ReadFlagParam(const char* pszKey, int iMissing, const char* pszWrongFormat, int iWrong) {
    std::string szValue;
    if (!GetParam(pszKey, szValue)) ExitMissing("%s: GetValue %s failed\n", pszKey, iMissing);
    const int f = ReadFlagWord(pszKey, szValue);
    if (f != 0 && f != 1) {
        std::fprintf(stderr, pszWrongFormat, ux_ProgName().c_str(), f);
        ux_Exit(iWrong);
    }
    return f;
}

// Fills record i from the global values and the keys "<global key><i>".
void FillIterationParams(Model& m, int i, double dLambdaMaxRead, IterationParams& ip) {
    std::string szKey;
    std::string szValue;
    auto fPresent = [&](const char* pszGlobalKey) {
        szKey = pszGlobalKey;
        szKey += std::to_string(i);
        return GetParam(szKey, szValue);
    };

    ip.ipiIteration = i;

    // Thresholds: a present value that is not a number fails its bounds.
    struct Threshold {
        const char* pszKey;
        int Model::*piGlobal;
        int IterationParams::*piRecord;
        int iStatus;
    };
    static constexpr std::array<Threshold, 3> kThresholds{{
        {"MinThrAddFeature", &Model::cThrMin, &IterationParams::ipcThrMin, 332},
        {"MinThrPoolFeature", &Model::cPoolThr, &IterationParams::ipcPoolThr, 334},
        {"MinThrClosestFeature", &Model::cClosestThr, &IterationParams::ipcClosestThr, 333},
    }};
    for (const Threshold& thr : kThresholds) {
        const KeyInfo& key = KeyEntry(thr.pszKey);
        const long long llHi = IntBound(key.dMaxIterated != 0 ? key.dMaxIterated : key.dMax);
        long long ll = m.*thr.piGlobal;
        bool fNumber = true;
        if (fPresent(thr.pszKey)) {
            ll = 0;
            fNumber = ReadNumber(szKey, szValue, &ll);
        }
        if (!fNumber || ll < IntBound(key.dMin) || ll > llHi) {
            std::fprintf(stderr, "%s: %s value out of bounds <%lld,%lld>: %d\n",
                         ux_ProgName().c_str(), szKey.c_str(), IntBound(key.dMin), llHi,
                         PinToInt(ll));
            ux_Exit(thr.iStatus);
        }
        ip.*thr.piRecord = static_cast<int>(ll);
    }

    // The lambda range; an absent key takes the global value.
    auto ReadLambda = [&](const char* pszKey, double dGlobal, int iStatus) {
        const KeyInfo& key = KeyEntry(pszKey);
        double d = dGlobal;
        bool fNumber = true;
        if (fPresent(pszKey)) {
            d = 0.0;
            fNumber = ReadNumber(szKey, szValue, &d);
        }
        if (!fNumber || !(d >= key.dMin && d <= key.dMax)) {
            std::fprintf(stderr, "%s: %s value out of bounds <%s,%s>: %d\n", ux_ProgName().c_str(),
                         szKey.c_str(), BoundText(key.dMin).c_str(), BoundText(key.dMax).c_str(),
                         WholeNumber(d));
            ux_Exit(iStatus);
        }
        return d;
    };
    ip.ipdLambdaMax = ReadLambda("LambdaMax", dLambdaMaxRead, 335) - 0.0001;
    ip.ipdLambdaMin = ReadLambda("LambdaMin", m.dLambdaMin, 336);

    if (fPresent("FeatureTemplates")) {
        ParseFT(ip.ipszFeatureTemplates, szValue);
    } else {
        ip.ipszFeatureTemplates = m.szFeatureTemplates;
    }

    if (fPresent("UseInFeatures")) {
        std::string szMarkers;
        ParseUIT(szMarkers, szValue);
        ip.ipfUITForms = szMarkers.find("=Forms=") != std::string::npos;
        ip.ipfUITACs = szMarkers.find("=ACs=") != std::string::npos;
        ip.ipfUITTags = szMarkers.find("=Tags=") != std::string::npos;
        ip.ipfUITSetElements = szMarkers.find("=SetElements=") != std::string::npos;
    } else {
        ip.ipfUITForms = m.fUITForms;
        ip.ipfUITACs = m.fUITACs;
        ip.ipfUITTags = m.fUITTags;
        ip.ipfUITSetElements = m.fUITSetElements;
    }

    ip.ipiHeavySmoothing = m.iHeavySmoothing;
    if (fPresent("HeavySmoothing")) {
        ip.ipiHeavySmoothing = ReadFlagWord(szKey, szValue);
        if (ip.ipiHeavySmoothing != 0 && ip.ipiHeavySmoothing != 1) {
            std::fprintf(stderr, "%s: %s out of bounds <0,1>: %d\n", ux_ProgName().c_str(),
                         szKey.c_str(), ip.ipiHeavySmoothing);
            ux_Exit(339);
        }
    }
    ip.ipiMultiPass = m.iMultiPass;
    if (fPresent("MultiPass")) {
        ip.ipiMultiPass = ReadFlagWord(szKey, szValue);
        if (ip.ipiMultiPass != 0 && ip.ipiMultiPass != 1) {
            std::fprintf(stderr, "%s: %s out of bounds <0,1>: %d\n", ux_ProgName().c_str(),
                         szKey.c_str(), ip.ipiMultiPass);
            ux_Exit(340);
        }
    }

    ip.ipfModelAC = m.fModelAC;
    ip.ipfModelGeneral = m.fModelGeneral;
    if (fPresent("Models")) {
        ip.ipfModelAC = 0;
        ip.ipfModelGeneral = 0;
        if (szValue == "AC") {
            ip.ipfModelAC = 1;
        } else if (szValue == "General") {
            ip.ipfModelGeneral = 1;
        } else if (szValue == "Both") {
            ip.ipfModelAC = 1;
            ip.ipfModelGeneral = 1;
        } else {
            std::fprintf(stderr, "%s: Wrong %s: %s\n", ux_ProgName().c_str(), szKey.c_str(),
                         szValue.c_str());
            ux_Exit(341);
        }
    }

    ip.ipiSortSugg = m.iSortSugg;
    if (fPresent("SortSuggestions")) {
        if (szValue == "Count") {
            ip.ipiSortSugg = 1;
        } else if (szValue == "Entropy") {
            ip.ipiSortSugg = 2;
        } else {
            std::fprintf(stderr, "%s: Wrong %s: %s\n", ux_ProgName().c_str(), szKey.c_str(),
                         szValue.c_str());
            ux_Exit(342);
        }
    }

    ip.ipdSuggEntropyThr = -1.0;
    if (ip.ipiSortSugg == 2) {
        if (fPresent("CutSuggestions")) {
            if (!ParseCutSuggestions(szValue, &ip.ipdSuggEntropyThr)) {
                std::fprintf(stderr, "%s: Wrong %s (0.0..32.0>: %s\n", ux_ProgName().c_str(),
                             szKey.c_str(), szValue.c_str());
                ux_Exit(343);
            }
        } else if (m.iSortSugg == 2) {
            ip.ipdSuggEntropyThr = m.dSuggEntropyThr;
        } else {
            // The global settings do not sort by entropy, so no cut-off was
            // read; inheriting their placeholder would cut every feature of
            // this iteration's pool. Ask for the iteration's own value.
            ExitMissing("%s: GetValue %s failed\n", szKey, 343);
        }
    }

    ip.ipfLeftOnly = m.fLeftOnly;
    if (fPresent("LeftOnly")) {
        ip.ipfLeftOnly = ReadFlagWord(szKey, szValue);
        if (ip.ipfLeftOnly != 0 && ip.ipfLeftOnly != 1) {
            std::fprintf(stderr, "%s: i out of bounds <0,1>: %d\n", ux_ProgName().c_str(),
                         ip.ipfLeftOnly);
            ux_Exit(344);
        }
    }

    // Only generation uses the limit; in mode Read the record keeps the
    // model's value so that it is defined.
    ip.ipilMaxFSG = m.ilMaxFSG;
    if (m.iFeatureMode == 0 || m.iFeatureMode == 1) {
        const KeyInfo& key = KeyEntry("MaxFeaturesGenerate");
        long long ll = m.ilMaxFSG;
        bool fNumber = true;
        if (fPresent("MaxFeaturesGenerate")) {
            ll = 0;
            fNumber = ReadNumber(szKey, szValue, &ll);
        }
        if (!fNumber || ll < IntBound(key.dMin) || ll > IntBound(key.dMax)) {
            std::fprintf(stderr, "%s: Wrong %s <%lld..%lld>: %s\n", ux_ProgName().c_str(),
                         szKey.c_str(), IntBound(key.dMin), IntBound(key.dMax), szValue.c_str());
            ux_Exit(346);
        }
        ip.ipilMaxFSG = static_cast<long>(ll);
    }
}

} // namespace

int ReadTrainingParamsBeforeSetup(Model* pm) {
    Model& m = *pm;
    m.cThrMin = ReadBoundedInt("MinThrAddFeature", 0, "%s: GetValue (segments) %s failed\n", 31,
                               "cThrMin", 32);
    m.cPoolThr = ReadBoundedInt("MinThrPoolFeature", 0, "%s: GetValue (segments) %s failed\n", 33,
                                "cPoolThr", 34);
    m.cClosestThr = ReadBoundedInt("MinThrClosestFeature", 0, "%s: GetValue (segments) %s failed\n",
                                   33, "cClosestThr", 34);

    // CombiThr is only validated and stored; its failures are fatal. The
    // message names the first number above the bounds.
    const KeyInfo& keyCombi = KeyEntry("CombiThr");
    std::string szValue;
    if (!GetParam("CombiThr", szValue)) {
        ux_FatalError(kModApp, kMsgApp, ux_ProgName() + ": GetValue CombiThr failed\n");
    }
    long long ll = 0;
    const bool fNumber = ReadNumber("CombiThr", szValue, &ll);
    if (!fNumber || ll < IntBound(keyCombi.dMin) || ll > IntBound(keyCombi.dMax)) {
        char szMsg[300];
        std::snprintf(szMsg, sizeof szMsg, "%s%s out of bounds <%lld..%lld>: %d\n",
                      ux_ProgName().c_str(), "CombiThr", IntBound(keyCombi.dMin),
                      IntBound(keyCombi.dMax) + 1, PinToInt(ll));
        ux_FatalError(kModApp, kMsgApp, szMsg);
    }
    m.cCombiThr = static_cast<int>(ll);

    m.fLeftOnly =
        ReadFlagParam("LeftOnly", 871, "%s: model.fLeftOnly out of bounds <0,1>: %d\n", 872);
    m.clFeatureAreaSize =
        ReadBoundedInt("FeatureArea", 0, "%s: GetValue %s failed\n", 41, "clFeatureAreaSize", 42);
    m.clFeatureSuggSize = ReadBoundedInt("FeatureSuggSize", 0, "%s: GetValue %s failed\n", 43,
                                         "clFeatureSuggSize", 44);
    m.clAmbClassAreaSize =
        ReadBoundedInt("AmbClassArea", 0, "%s: GetValue %s failed\n", 45, "clAmbClassAreaSize", 46);
    return 0;
}

int ReadTrainingParamsAfterSetup(Model* pm) {
    Model& m = *pm;
    m.iLambdaIterations = ReadBoundedInt("LambdaIterations", -1, "%s: GetValue %s failed\n", 43,
                                         "iLambdaIterations", 844);
    m.iHeavySmoothing = ReadFlagParam("HeavySmoothing", 820,
                                      "%s: model.iHeavySmoothing out of bounds <0,1>: %d\n", 823);
    m.iMultiPass =
        ReadFlagParam("MultiPass", 820, "%s: model.iMultiPass out of bounds <0,1>: %d\n", 823);
    m.iTrainingIterationsMax =
        ReadBoundedInt("TrainingIterationsMax", -1, "%s: GetValue %s failed\n", 821,
                       "iTrainingIterationsMax", 822);

    // The global lambda range: "Wrong <key> <lo..hi>: <value as written>".
    auto ReadLambda = [](const char* pszKey, int iMissing, int iWrong) {
        const KeyInfo& key = KeyEntry(pszKey);
        std::string szValue;
        if (!GetParam(pszKey, szValue)) ExitMissing("%s: GetValue %s failed\n", pszKey, iMissing);
        double d = 1.0;
        const bool fNumber = ReadNumber(pszKey, szValue, &d);
        if (!fNumber || !(d >= key.dMin && d <= key.dMax)) {
            std::fprintf(stderr, "%s: Wrong %s <%s..%s>: %s\n", ux_ProgName().c_str(), pszKey,
                         BoundText(key.dMin).c_str(), BoundText(key.dMax).c_str(), szValue.c_str());
            ux_Exit(iWrong);
        }
        return d;
    };
    const double dLambdaMaxRead = ReadLambda("LambdaMax", 877, 878);
    m.dLambdaMax = dLambdaMaxRead - 0.0001;
    m.dLambdaMin = ReadLambda("LambdaMin", 880, 879);

    std::string szValue;
    if (!GetParam("TrainCat", szValue)) ExitMissing("%s: GetValue %s failed\n", "TrainCat", 876);
    long long ll = -1;
    const bool fNumber = ReadNumber("TrainCat", szValue, &ll);
    if (!fNumber || ll < IntBound(KeyEntry("TrainCat").dMin) || ll > m.cTagElem - 1) {
        std::fprintf(stderr, "%s: Wrong %s <-1..%d>: %s\n", ux_ProgName().c_str(), "TrainCat",
                     m.cTagElem - 1, szValue.c_str());
        ux_Exit(875);
    }
    m.iTrainCat = static_cast<int>(ll);

    // One record per iteration, each filled completely before the next.
    m.rgipFG.clear();
    if (m.iTrainingIterationsMax > 0) {
        m.rgipFG.resize(static_cast<std::size_t>(m.iTrainingIterationsMax));
        for (int i = 0; i < m.iTrainingIterationsMax; ++i) {
            FillIterationParams(m, i, dLambdaMaxRead, m.rgipFG[i]);
        }
    }
    return 0;
}

} // namespace vexta
