// Feature templates and the training set-up.
#include "features/templates.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

namespace {

// Request buffer of the set-up keys: values of up to 248 characters.
constexpr int kSetupValueLen = 250;

struct ListWord {
    std::string_view szItem;
    std::string_view szMarker;
};

constexpr std::array<ListWord, 4> kTemplateWords{
    {{"base", "=base="}, {"base2", "=base2="}, {"base3", "=base3="}, {"base4", "=base4="}}};

constexpr std::array<ListWord, 4> kContextWords{
    {{"ACs", "=ACs="}, {"Forms", "=Forms="}, {"Tags", "=Tags="}, {"SetElements", "=SetElements="}}};

// Common list parser of ParseFT and ParseUIT. The first unknown item stops
// parsing; the length of the markers is checked only once the list is read.
int ParseList(std::string& szOut, std::string_view szValue, const std::array<ListWord, 4>& rgWords,
              const char* pszUnknownFormat, const char* pszKey) {
    std::string szMarkers;
    std::size_t ich = 0;
    while (!szValue.empty()) {
        const std::size_t ichSep = szValue.find_first_of("+,.", ich);
        const std::string_view szItem = szValue.substr(
            ich, ichSep == std::string_view::npos ? std::string_view::npos : ichSep - ich);
        const auto it = std::find_if(rgWords.begin(), rgWords.end(),
                                     [&](const ListWord& w) { return w.szItem == szItem; });
        if (it == rgWords.end()) {
            ux_FatalError(kModApp, kMsgApp,
                          ux_StrPrintf(pszUnknownFormat, pszKey, std::string(szItem).c_str()));
        }
        szMarkers += it->szMarker;
        if (ichSep == std::string_view::npos) break;
        ich = ichSep + 1;
        if (ich == szValue.size()) break; // a trailing separator ends the list
    }
    if (szMarkers.size() > kTemplateMarkersMax) {
        ux_FatalError(kModApp, kMsgApp,
                      ux_StrPrintf("feature template values (of %s): too long: %s", pszKey,
                                   szMarkers.c_str()));
    }
    szOut = szMarkers;
    return 0;
}

// Value of a set-up key; false when the key is missing.
bool GetSetupValue(std::string_view szArgFile, std::string_view szKey, std::string& szValue) {
    return ux_ArgGetValue(szArgFile, szKey, szValue, kSetupValueLen) <= 0;
}

void ReportMissing(const char* pszFormat, std::string_view szKey) {
    std::fprintf(stderr, pszFormat, ux_ProgName().c_str(), std::string(szKey).c_str());
}

[[noreturn]] void ExitMissing(std::string_view szKey, int iStatus) {
    ReportMissing("%s: GetValue %s failed\n", szKey);
    ux_Exit(iStatus);
}

[[noreturn]] void ExitWrong(std::string_view szKey, const std::string& szValue, int iStatus) {
    std::fprintf(stderr, "%s: Wrong %s: %s\n", ux_ProgName().c_str(), std::string(szKey).c_str(),
                 szValue.c_str());
    ux_Exit(iStatus);
}

// Reads a whole number as "%ld" does, without cutting it to the field's width:
// true and *pl set when the text begins with a number.
bool ScanLong(const std::string& szValue, long long* pll) {
    const char* psz = szValue.c_str();
    char* pszEnd = nullptr;
    const long long ll = std::strtoll(psz, &pszEnd, 10);
    if (pszEnd == psz) return false;
    *pll = ll;
    return true;
}

// Reads the generation keys (modes Generate and GenerateOut).
void ReadGenerationKeys(std::string_view szArgFile, Model& m) {
    std::string szValue;

    if (!GetSetupValue(szArgFile, "CountMode", m.szCountMode))
        ExitMissing("CountMode", kExitNoCountMode);
    if (m.szCountMode == "Batch") {
        m.iCountMode = 1;
    } else if (m.szCountMode == "Individual") {
        m.iCountMode = 2;
    } else {
        ExitWrong("CountMode", m.szCountMode, kExitBadCountMode);
    }

    if (!GetSetupValue(szArgFile, "Models", szValue)) ExitMissing("Models", kExitNoModels);
    if (szValue == "AC") {
        m.fModelAC = 1;
    } else if (szValue == "General") {
        m.fModelGeneral = 1;
    } else if (szValue == "Both") {
        m.fModelAC = 1;
        m.fModelGeneral = 1;
    } else {
        ExitWrong("Models", szValue, kExitBadModels);
    }

    if (!GetSetupValue(szArgFile, "SortSuggestions", szValue))
        ExitMissing("SortSuggestions", kExitNoSortSugg);
    if (szValue == "Count") {
        m.iSortSugg = 1;
    } else if (szValue == "Entropy") {
        m.iSortSugg = 2;
    } else {
        ExitWrong("SortSuggestions", szValue, kExitBadSortSugg);
    }

    m.dSuggEntropyThr = -1.0;
    if (m.iSortSugg == 2) {
        if (!GetSetupValue(szArgFile, "CutSuggestions", szValue))
            ExitMissing("CutSuggestions", kExitNoCutSugg);
        if (!ParseCutSuggestions(szValue, &m.dSuggEntropyThr)) {
            std::fprintf(stderr, "%s: Wrong %s (0.0..32.0>: %s\n", ux_ProgName().c_str(),
                         "CutSuggestions", szValue.c_str());
            ux_Exit(kExitBadCutSugg);
        }
    }

    if (!GetSetupValue(szArgFile, "FeatureTemplates", szValue))
        ExitMissing("FeatureTemplates", kExitNoTemplates);
    ParseFT(m.szFeatureTemplates, szValue);

    if (!GetSetupValue(szArgFile, "UseInFeatures", szValue))
        ExitMissing("UseInFeatures", kExitNoTemplates);
    std::string szMarkers;
    ParseUIT(szMarkers, szValue);
    m.fUITForms = szMarkers.find("=Forms=") != std::string::npos;
    m.fUITACs = szMarkers.find("=ACs=") != std::string::npos;
    m.fUITTags = szMarkers.find("=Tags=") != std::string::npos;
    m.fUITSetElements = szMarkers.find("=SetElements=") != std::string::npos;
}

// Fresh class record with the initial fields of the set-up.
void InitAmbClass(AmbClass& ac, int fACIgnore) {
    ac = AmbClass{};
    ac.fACIgnore = fACIgnore;
    ac.clFeatureCnt = 0;
    ac.ilPacFeatureFirst = -1;
    ac.ilSuggFirst = -1;
    ac.ilSuggLast = -1;
}

// Refuses a class string that the joint-count array cannot hold.
int CheckAmbClassLength(int t, std::string_view szAmbClass) {
    if (szAmbClass.size() <= static_cast<std::size_t>(kAmbClassLenMax)) return 0;
    std::fprintf(stderr,
                 "%s: ambiguity class of tag element %d has %zu characters, more than %d: %s\n",
                 ux_ProgName().c_str(), t, szAmbClass.size(), kAmbClassLenMax,
                 std::string(szAmbClass).c_str());
    return kSetupClassTooLong;
}

// Builds the classes of tag element t from the training lines.
int BuildAmbClasses(DataTable& dt, Model& m, int t) {
    TagElem& te = m.rgteTagElem[t];
    te.rgclSubtagCnt.fill(0);

    if (m.clAmbClassAreaUsed >= m.clAmbClassAreaSize) return kSetupClassAreaFullAll;
    const long ilAllData = m.clAmbClassAreaUsed++;
    te.ilAmbClassFirst = ilAllData;
    te.clAmbClass = 1;
    {
        AmbClass& acAll = m.rgacAmbClassArea[ilAllData];
        InitAmbClass(acAll, 1);
        acAll.pszAmbClass = m.pszEmpty;
        acAll.clAmbClassCnt = dt.clData;
    }

    // Classes of t by their (interned) strings, for the lookup by string.
    std::unordered_map<std::string_view, long> mpClass;
    const long clLines = std::min<long>(dt.clLines, static_cast<long>(dt.rgpszDataLine.size()));
    for (long il = 0; il < clLines; ++il) {
        const std::string& szLine = dt.rgpszDataLine[il];
        const unsigned char chValue =
            static_cast<std::size_t>(t) < szLine.size() ? static_cast<unsigned char>(szLine[t]) : 0;
        ++te.rgclSubtagCnt[chValue];

        std::size_t ich = szLine.find('|');
        if (ich == std::string::npos) return kSetupLineNoBar;
        ++ich;
        int j = 0;
        while (j < m.cTagElem && ich < szLine.size() && szLine[ich] != '|') {
            const std::size_t ichSlash = szLine.find('/', ich);
            if (ichSlash == std::string::npos) return kSetupLineACPart;
            if (j == t && ichSlash - ich >= 2) {
                const std::string_view szField(szLine.data() + ich, ichSlash - ich);
                const std::size_t ichValue = szField.find(static_cast<char>(chValue));
                const std::size_t iJoint = ichValue == std::string_view::npos ? 0 : ichValue;
                const auto it = mpClass.find(szField);
                if (it != mpClass.end()) {
                    AmbClass& ac = m.rgacAmbClassArea[it->second];
                    ++ac.clAmbClassCnt;
                    ++ac.rgclJointCnt[iJoint];
                } else {
                    ++te.clAmbClass;
                    if (m.clAmbClassAreaUsed >= m.clAmbClassAreaSize) return kSetupClassAreaFull;
                    if (int rc = CheckAmbClassLength(t, szField)) return rc;
                    const char* psz = nullptr;
                    if (ux_HashMemberPtr(m.phashStr.get(), szField, &psz) > 0)
                        return kSetupInternClass;
                    const long ilNew = m.clAmbClassAreaUsed++;
                    AmbClass& ac = m.rgacAmbClassArea[ilNew];
                    InitAmbClass(ac, 0);
                    ac.clAmbClassCnt = 1;
                    ac.rgclJointCnt[iJoint] = 1;
                    ac.pszAmbClass = psz;
                    mpClass.emplace(std::string_view(psz, szField.size()), ilNew);
                }
            }
            ich = ichSlash + 1;
            ++j;
        }
        if (j != m.cTagElem || ich >= szLine.size() || szLine[ich] != '|') return kSetupLineACCount;
    }

    // The all-data class: two marker characters, then every value seen.
    std::string szAll(2, m.szAmbClassIgnore.empty() ? '\0' : m.szAmbClassIgnore[0]);
    for (int v = 1; v < kValueCnt; ++v) {
        if (te.rgclSubtagCnt[v] > 0) szAll += static_cast<char>(v);
    }
    if (int rc = CheckAmbClassLength(t, szAll)) return rc;
    AmbClass& acAll = m.rgacAmbClassArea[ilAllData];
    InitAmbClass(acAll, 1);
    acAll.clAmbClassCnt = dt.clData;
    for (std::size_t k = 2; k < szAll.size(); ++k) {
        acAll.rgclJointCnt[k] = te.rgclSubtagCnt[static_cast<unsigned char>(szAll[k])];
    }
    if (ux_HashMemberPtr(m.phashStr.get(), szAll, &acAll.pszAmbClass) > 0)
        return kSetupInternAllData;

    // Report the classes of t.
    std::string szReport;
    for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
        const AmbClass& ac = m.rgacAmbClassArea[il];
        szReport =
            ux_StrPrintf("elem %d, class: %s, count: %ld\n", t, ac.pszAmbClass, ac.clAmbClassCnt);
        for (int k = 0; ac.pszAmbClass[k] != '\0'; ++k) {
            szReport += ux_StrPrintf(" %d, %c, cnt %ld;", k, ac.pszAmbClass[k], ac.rgclJointCnt[k]);
        }
        szReport += '\n';
        std::fputs(szReport.c_str(), stderr);
    }
    return 0;
}

} // namespace

int ParseFT(std::string& szOut, std::string_view szValue) {
    return ParseList(szOut, szValue, kTemplateWords, "feature template value (of %s) unknown: %s",
                     "FeatureTemplates");
}

int ParseUIT(std::string& szOut, std::string_view szValue) {
    return ParseList(szOut, szValue, kContextWords,
                     "Feature context template value (of %s) unknown: %s", "UseInFeatures");
}

bool ParseCutSuggestions(std::string_view szValue, double* pdThr) {
    static constexpr std::array<std::string_view, 8> kNoWords{"n",  "N",    "no",   "No",
                                                              "NO", "none", "None", "NONE"};
    if (std::find(kNoWords.begin(), kNoWords.end(), szValue) != kNoWords.end()) {
        *pdThr = kSuggEntropyNoCut;
        return true;
    }
    const std::string sz(szValue);
    char* pszEnd = nullptr;
    const double d = std::strtod(sz.c_str(), &pszEnd);
    if (pszEnd != sz.c_str()) *pdThr = d;
    return pszEnd != sz.c_str() && d > 0.0 && d <= 32.0;
}

int InitModelTraining(std::string_view szArgFile, DataTable* pdt, Model* pm) {
    DataTable& dt = *pdt;
    Model& m = *pm;
    const int cTagElem = std::max(m.cTagElem, 0);

    // 1-3. Working areas. Allocation failures end the run in the memory
    // service. The pool is reserved at its full capacity but its records are
    // created only as features are loaded, so memory follows the pool's real
    // size; no reallocation ever happens, so pointers into it stay valid.
    m.phashFC.reset();
    m.clFeatureAreaUsed = 0;
    m.rgfdFeatureArea.assign(static_cast<std::size_t>(std::max(m.clFeatureAreaSize, 0L)),
                             FeatureDesc{});
    m.clFeatureSuggUsed = 0;
    m.rgfdFeatureSugg.clear();
    m.rgfdFeatureSugg.shrink_to_fit();
    m.rgfdFeatureSugg.reserve(static_cast<std::size_t>(std::max(m.clFeatureSuggSize, 0L)));
    m.clAmbClassAreaUsed = 0;
    m.rgacAmbClassArea.assign(static_cast<std::size_t>(std::max(m.clAmbClassAreaSize, 0L)),
                              AmbClass{});
    m.rgteTagElem.assign(static_cast<std::size_t>(cTagElem), TagElem{});
    m.rgpszTagElemName.assign(static_cast<std::size_t>(cTagElem), nullptr);

    // 4. Tag element names and flags.
    std::string szKey;
    std::string szValue;
    for (int t = 0; t < cTagElem; ++t) {
        szKey = ux_StrPrintf("%s%d", "SubTag", t + 1);
        if (!GetSetupValue(szArgFile, szKey, szValue)) {
            ReportMissing("%s: GetValue %s failed\n", szKey);
            return kSetupNoSubTag;
        }
        const std::string_view szName =
            szValue.empty() ? std::string_view() : std::string_view(szValue).substr(1);
        if (ux_HashMemberPtr(m.phashStr.get(), szName, &m.rgpszTagElemName[t]) > 0)
            return kSetupInternName;
        TagElem& te = m.rgteTagElem[t];
        te.fSignPlus = !szValue.empty() && szValue[0] == '+';
        te.clAmbClass = 0;
        te.ilAmbClassFirst = 0;
    }

    // 5.
    m.clTrainingSize = dt.clLines;
    m.hFeaturePool = 0;
    m.hModelFile = 0;
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;

    // 6. Feature mode.
    szKey = dt.szDataPrefix + "FeatureMode";
    if (!GetSetupValue(szArgFile, szKey, m.szFeatureMode)) {
        ReportMissing("%s: GetValue (feature sugg mode) %s failed\n", szKey);
        return kSetupNoFeatureMode;
    }
    if (m.szFeatureMode == "Generate") {
        m.iFeatureMode = 0;
    } else if (m.szFeatureMode == "GenerateOut") {
        m.iFeatureMode = 1;
    } else if (m.szFeatureMode == "Read") {
        m.iFeatureMode = 2;
    } else {
        std::fprintf(stderr, "%s: GetValue (feature sugg mode) %s: wrong value (%s)\n",
                     ux_ProgName().c_str(), szKey.c_str(), m.szFeatureMode.c_str());
        return kSetupBadFeatureMode;
    }
    const bool fGenerate = m.iFeatureMode == 0 || m.iFeatureMode == 1;

    // 7. Pool file.
    if (m.iFeatureMode == 1 || m.iFeatureMode == 2) {
        szKey = dt.szDataPrefix + "FeatureSugg";
        if (!GetSetupValue(szArgFile, szKey, m.szFeaturePoolFile)) {
            ReportMissing("%s: GetValue (feature sugg input file, from gorvo) %s failed\n", szKey);
            return kSetupNoPoolFile;
        }
    } else {
        m.szFeaturePoolFile.clear();
    }

    // 8. Generation limit.
    if (fGenerate) {
        if (!GetSetupValue(szArgFile, "MaxFeaturesGenerate", szValue)) {
            ReportMissing("%s: GetValue (max feature suggestions) %s failed\n",
                          "MaxFeaturesGenerate");
            return kSetupNoMaxGenerate;
        }
        long long ll = 0;
        if (!ScanLong(szValue, &ll)) ll = 0;
        if (ll < 1 || ll > 10000000) {
            std::fprintf(stderr, "%s: Wrong %s <1..10000000>: %s\n", ux_ProgName().c_str(),
                         "MaxFeaturesGenerate", szValue.c_str());
            ux_Exit(kExitBadMaxGenerate);
        }
        m.ilMaxFSG = static_cast<long>(ll);
    }

    // 9-10. Model kinds and the generation keys.
    m.fModelAC = 0;
    m.fModelGeneral = 0;
    if (fGenerate) ReadGenerationKeys(szArgFile, m);

    // 11-12.
    szKey = dt.szDataPrefix + "Features";
    if (!GetSetupValue(szArgFile, szKey, m.szModelFile)) {
        ReportMissing("%s: GetValue (feature file) %s failed\n", szKey);
        return kSetupNoModelFile;
    }
    if (!GetSetupValue(szArgFile, "AmbClassIgnore", m.szAmbClassIgnore)) {
        ReportMissing("%s: GetValue (Amb Class Ignore) %s failed\n", "AmbClassIgnore");
        return kSetupNoAmbClassIgnore;
    }

    // 13. Ambiguity classes of every tag element.
    for (int t = 0; t < cTagElem; ++t) {
        if (int rc = BuildAmbClasses(dt, m, t)) return rc;
    }
    return 0;
}

} // namespace vexta
