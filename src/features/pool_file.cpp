// The feature pool file and the loading of pool features into the model.
#include "features/pool_file.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/globals.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/entropy_sort.h"
#include "features/feature_match.h"
#include "model/model.h"

namespace vexta {

namespace {

// Size of the buffers of AC texts and term values read from a pool line.
constexpr int kPoolStrSize = 249;

// Longest key and data string a generated feature may have when sorted.
constexpr std::size_t kSortStrMax = 248;

[[noreturn]] void FatalApp(const std::string& szDetail) {
    ux_FatalError(kModApp, kMsgApp, szDetail);
}

std::string StrPrintf(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
std::string StrPrintf(const char* pszFormat, ...) {
    std::va_list args;
    va_start(args, pszFormat);
    std::va_list args2;
    va_copy(args2, args);
    const int cch = std::vsnprintf(nullptr, 0, pszFormat, args);
    va_end(args);
    std::string sz(cch > 0 ? static_cast<std::size_t>(cch) : 0, '\0');
    if (cch > 0) std::vsnprintf(sz.data(), sz.size() + 1, pszFormat, args2);
    va_end(args2);
    return sz;
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return 0;
}

const char* SkipBlanks(const char* psz) {
    while (*psz == ' ' || *psz == '\t') ++psz;
    return psz;
}

// Skips one character unless the string has ended.
const char* SkipOne(const char* psz) {
    return *psz != '\0' ? psz + 1 : psz;
}

// Element code of a term checked against the tag elements of the model:
// 0 when it is fine, else the code given for that range.
int CheckElemCode(int iElem, int cTagElem, int iErrValue, int iErrAC, int iErrMember) {
    if (iElem >= kElemValue && iElem < kElemAC) return iElem < cTagElem ? 0 : iErrValue;
    if (iElem >= kElemAC && iElem < kElemACMember) return iElem - kElemAC < cTagElem ? 0 : iErrAC;
    if (iElem >= kElemACMember && iElem < kElemUnassigned)
        return iElem - kElemACMember < cTagElem ? 0 : iErrMember;
    return 0;
}

// Chains the training lines of every class of tag element te through the
// training table's rgilNextAC, from the last line to the first.
void ChainClassLines(Model& m, TagElem& te, int t) {
    std::unordered_map<std::string_view, AmbClass*> mpClass;
    for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
        AmbClass& ac = m.rgacAmbClassArea[il];
        ac.ilDataFirst = -1;
        // The first class of a string wins, as in FindAmbClassRec.
        if (ac.pszAmbClass != nullptr) mpClass.try_emplace(ac.pszAmbClass, &ac);
    }
    if (m.pdtT == nullptr) return;
    DataTable& dt = *m.pdtT;
    if (static_cast<long>(dt.rgilNextAC.size()) < dt.clData) {
        dt.rgilNextAC.resize(static_cast<std::size_t>(dt.clData), -1);
    }
    for (long il = 0; il < dt.clData; ++il) {
        const auto it = mpClass.find(dt.rgdl[il].rgpszAC[t]);
        if (it == mpClass.end()) continue;
        dt.rgilNextAC[il] = it->second->ilDataFirst;
        it->second->ilDataFirst = il;
    }
}

// Prints the pool range of every class.
void PrintPoolRanges(const Model& m) {
    for (int t = 0; t < static_cast<int>(m.rgteTagElem.size()); ++t) {
        const TagElem& te = m.rgteTagElem[t];
        for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
            const AmbClass& ac = m.rgacAmbClassArea[il];
            std::fprintf(stderr, "E %02d, %s: %ld -- %ld\n", t, ac.pszAmbClass, ac.ilSuggFirst,
                         ac.ilSuggLast);
        }
    }
}

// The record that the next pool line fills, with its defaults. The pool is
// reserved at its full capacity when training is set up and records are
// created as they are first needed, so no reallocation ever moves them.
FeatureDesc& NextPoolRecord(Model& m) {
    if (static_cast<long>(m.rgfdFeatureSugg.size()) <= m.clFeatureSuggUsed) {
        m.rgfdFeatureSugg.resize(static_cast<std::size_t>(m.clFeatureSuggUsed) + 1);
    }
    return m.rgfdFeatureSugg[m.clFeatureSuggUsed];
}

} // namespace

int GetHex(const char** ppsz) {
    const char* psz = *ppsz;
    int b = 0;
    for (int i = 0; i < 2; ++i) {
        b <<= 4;
        if (*psz != '\0') b |= HexValue(*psz++);
    }
    *ppsz = psz;
    return static_cast<signed char>(static_cast<unsigned char>(b));
}

int GetStr(std::span<char> szOut, const char** ppsz, char chDelim) {
    const char* psz = *ppsz;
    if (*psz == chDelim) ++psz;
    const char* pszStart = psz;
    std::size_t cch = 0;
    while (*psz != '\0' && *psz != chDelim) {
        if (cch + 1 >= szOut.size()) {
            ux_FatalError(kModApp, kMsgApp,
                          std::string("Too long string in feature pool: ") + pszStart);
        }
        szOut[cch++] = *psz++;
    }
    if (!szOut.empty()) szOut[cch] = '\0';
    if (*psz == chDelim) {
        *ppsz = psz + 1;
        return 0;
    }
    *ppsz = psz;
    return 2;
}

int AddFeatureFromStr(Model* pm, const char* pszLine) {
    Model& m = *pm;
    if (m.clFeatureSuggUsed >= m.clFeatureSuggSize) {
        FatalApp(StrPrintf("%sInsuff. space in rgfdFeatureSugg (%ld); increase %s",
                           "AddFeatureFromStr: ", m.clFeatureSuggSize, "FeatureSuggSize"));
    }

    const char* psz = SkipBlanks(pszLine);
    char* pszEnd = nullptr;
    const long clCount = std::strtol(psz, &pszEnd, 10);
    psz = pszEnd;
    if (clCount < m.cPoolThr) return -1;

    psz = SkipOne(psz);
    const int t = GetHex(&psz);
    psz = SkipOne(psz);
    std::array<char, kPoolStrSize> szAC;
    if (GetStr(szAC, &psz, ' ') == 2) return 11;

    // The class of the feature.
    const bool fGeneral = std::strcmp(szAC.data(), "--") == 0;
    if (fGeneral ? m.fModelGeneral == 0 : m.fModelAC == 0) return -1;
    if (t < 0 || t >= m.cTagElem || t >= static_cast<int>(m.rgteTagElem.size())) {
        std::fprintf(stderr, "AddFeatureFromStr: tag element %d outside 0..%d: %s\n", t,
                     m.cTagElem - 1, pszLine);
        return kPoolBadTagElem;
    }
    TagElem& te = m.rgteTagElem[t];
    AmbClass* pac = nullptr;
    const char* pszACText = szAC.data();
    if (fGeneral) {
        if (te.clAmbClass > 0) {
            pac = &m.rgacAmbClassArea[te.ilAmbClassFirst];
            pszACText = pac->pszAmbClass;
        }
    } else if (m.pteSuggLast == &te && m.pacSuggLast != nullptr &&
               std::strcmp(m.pacSuggLast->pszAmbClass, pszACText) == 0) {
        pac = m.pacSuggLast; // lines of one class come together
    } else {
        pac = FindAmbClassRec(pszACText, te, m);
    }
    if (pac == nullptr) {
        std::fprintf(stderr, "AC not found in data while adding feature to pool: %d/%s\n", t,
                     pszACText);
        return 0;
    }

    // Chains of the class lines, rebuilt when the tag element changes.
    if (m.pteSuggLast != &te) {
        ChainClassLines(m, te, t);
        m.pteSuggLast = &te;
    }

    // Pool range of the class.
    if (pac != m.pacSuggLast) {
        pac->ilSuggFirst = m.clFeatureSuggUsed;
        m.pacSuggLast = pac;
    }
    if (pac->ilSuggFirst == -1) pac->ilSuggFirst = m.clFeatureSuggUsed;
    pac->ilSuggLast = m.clFeatureSuggUsed;

    psz = SkipBlanks(psz);
    const int cTerms = GetHex(&psz);
    if (cTerms < 0 || cTerms > kTermsMax) return 2;

    FeatureDesc& fd = NextPoolRecord(m);
    std::vector<long> rgclCounts = std::move(fd.rgclCntTagElemGivenFeature);
    fd = FeatureDesc{};
    fd.iTagElem = t;
    fd.pacOfFeature = pac;
    fd.cTerms = cTerms;
    fd.pszY = m.pszEmpty;
    fd.dLambda = 0.0;
    fd.clCnt = clCount;
    fd.ilNextFeature = 0;

    if (*psz != '_') return 3;
    ++psz;
    if (*psz != '_' && *psz != '\0') {
        const char szY[2] = {*psz++, '\0'};
        if (ux_HashMemberPtr(m.phashStr.get(), szY, &fd.pszY) > 0) return 8;
    }
    if (*psz != '_') return 4;
    ++psz;

    std::array<char, kPoolStrSize> szClosest;
    std::array<char, kPoolStrSize> szValue;
    for (int it = 0; it < cTerms; ++it) {
        FeatureTerm& ft = fd.rgftTerm[it];
        ft.iPos = GetHex(&psz);
        ft.iClosestConditionElem = GetHex(&psz);
        ft.iConditionElem = GetHex(&psz);
        if (GetStr(szClosest, &psz, '_') == 2) return 5;
        if (GetStr(szValue, &psz, '_') == 2) return 7;
        if (int rc = CheckElemCode(ft.iClosestConditionElem, m.cTagElem, 9, 17, 26)) return rc;
        if (int rc = CheckElemCode(ft.iConditionElem, m.cTagElem, 10, 12, 28)) return rc;
        if (ux_HashMemberPtr(m.phashStr.get(), szClosest.data(), &ft.pszClosestValue) > 0)
            return 27;
        if (ux_HashMemberPtr(m.phashStr.get(), szValue.data(), &ft.pszValue) > 0) return 8;
    }

    fd.dLambda = 1.0;
    fd.cCntTagElemGivenFeature = static_cast<int>(std::strlen(pszACText));
    fd.pszACFeature = pac->pszAmbClass;
    if (std::strcmp(pszACText, pac->pszAmbClass) != 0) {
        FatalApp(
            StrPrintf("%sDifferent AC vs. phashStr?? Feature: %s", "AddFeatureFromStr: ", pszLine));
    }
    rgclCounts.assign(static_cast<std::size_t>(fd.cCntTagElemGivenFeature), 0);
    fd.rgclCntTagElemGivenFeature = std::move(rgclCounts);

    long clErr = 0;
    if (m.pdtT == nullptr || m.pdtH == nullptr ||
        ComputeFeatureCounts(m, *m.pdtT, *m.pdtH, t, *pac, clErr, fd) != 0) {
        FatalApp(StrPrintf("%sComputeFeatureCounts failed at feature %s",
                           "AddFeatureFromStr: ", pszLine));
    }
    if (ComputeFeatureEntropy(&m, &fd) != 0) {
        FatalApp(StrPrintf("%sComputeFeatureEntropy failed at feature %s",
                           "AddFeatureFromStr: ", pszLine));
    }

    // Entropy cut: the record is reused by the next line.
    if (m.iSortSugg != 1 && (fd.dLambda > m.dSuggEntropyThr || std::isnan(fd.dLambda))) {
        --pac->ilSuggLast;
        if (pac->ilSuggLast < pac->ilSuggFirst) {
            pac->ilSuggFirst = -1;
            pac->ilSuggLast = -1;
        }
        return -1;
    }
    ++m.clFeatureSuggUsed;
    return 0;
}

int ReadFeaturesPool(Model* pm) {
    Model& m = *pm;
    if (m.hFeaturePool != 0) {
        ux_Close(m.hFeaturePool);
        m.hFeaturePool = 0;
    }
    m.hFeaturePool = ux_Open(m.szFeaturePoolFile, "rt");
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;

    // Read in blocks; a last line without a line feed is not used.
    std::vector<char> rgchBlock(1 << 16);
    std::string szLine;
    szLine.reserve(kPoolLineMax + 1);
    long ilLine = 0;
    bool fTooLong = false;
    int rc = 0;
    for (;;) {
        const long cb =
            ux_ReadMax(m.hFeaturePool, rgchBlock.data(), static_cast<long>(rgchBlock.size()));
        if (cb <= 0) break;
        for (long ib = 0; ib < cb; ++ib) {
            const char ch = rgchBlock[ib];
            if (ch != '\n') {
                if (szLine.size() < static_cast<std::size_t>(kPoolLineMax)) {
                    szLine += ch;
                } else {
                    fTooLong = true;
                }
                continue;
            }
            if (fTooLong) {
                std::fprintf(stderr,
                             "%s: line %ld of feature pool %s is longer than %d characters\n",
                             szPN.c_str(), ilLine + 1, m.szFeaturePoolFile.c_str(), kPoolLineMax);
                return kPoolLineTooLong;
            }
            rc = AddFeatureFromStr(&m, szLine.c_str());
            if (rc > 0) return 3300 + rc;
            szLine.clear();
            ++ilLine;
        }
    }
    // Nothing reads the file after the pool is loaded.
    ux_Close(m.hFeaturePool);
    m.hFeaturePool = 0;
    PrintPoolRanges(m);
    return 0;
}

int StrCmpRef(const char* const& psz1, const char* const& psz2) {
    return std::strcmp(psz1, psz2);
}

int SortFeatureSugg(Model* pm) {
    Model& m = *pm;
    std::fprintf(stderr, "FS hash: %s\n",
                 m.phashSugg != nullptr ? ux_HashStatText(m.phashSugg.get()).c_str() : "");

    // Group the generated features by class key ("te AC"). Each entry keeps
    // pointers to the strings stored in phashSugg, which lives until the
    // pool is loaded. Within a class, the entries are taken newest first.
    struct SortEntry {
        const char* pszBody; // the feature from the term count on
        const char* pszData; // the data string ("" or the true value)
        long lCount;
    };
    const std::size_t cClassMax = static_cast<std::size_t>(std::max(m.clAmbClassAreaSize, 0L));
    std::vector<const char*> rgpszClass;
    rgpszClass.reserve(cClassMax + 1);
    std::unordered_map<std::string_view, std::size_t> mpClass;
    std::vector<std::vector<SortEntry>> rgrgEntry;

    const char* pszKey = nullptr;
    const char* pszData = nullptr;
    long lCount = 0;
    HashTable* phashSugg = m.phashSugg.get();
    for (int rc = phashSugg != nullptr ? ux_HashFirstDataPtr(phashSugg, &pszKey, &pszData, &lCount)
                                       : -1;
         rc != -1; rc = ux_HashNextDataPtr(phashSugg, &pszKey, &pszData, &lCount)) {
        const std::size_t cchKey = std::strlen(pszKey);
        if (cchKey > kSortStrMax || std::strlen(pszData) > kSortStrMax) {
            FatalApp(StrPrintf("feature/y truncated when sorting (%s/%s)",
                               std::string(pszKey, std::min(cchKey, kSortStrMax)).c_str(),
                               std::string(pszData).substr(0, kSortStrMax).c_str()));
        }
        const char* pchBlank1 = std::strchr(pszKey, ' ');
        const char* pchBlank2 = pchBlank1 != nullptr ? std::strchr(pchBlank1 + 1, ' ') : nullptr;
        if (cchKey == 0 || pchBlank2 == nullptr) {
            FatalApp(StrPrintf("wrong feature format (sort input): (%s/%ld/%s)", pszKey, lCount,
                               pszData));
        }
        const std::string_view szClassKey(pszKey, static_cast<std::size_t>(pchBlank2 - pszKey));
        auto it = mpClass.find(szClassKey);
        if (it == mpClass.end()) {
            if (rgpszClass.size() >= cClassMax) {
                FatalApp(StrPrintf("cannot add tag elem + AC (%s) to sort array; small "
                                   "AmbClassAreaSize (%ld)!",
                                   std::string(szClassKey).c_str(), m.clAmbClassAreaSize));
            }
            const char* pszClass = nullptr;
            if (ux_HashMemberPtr(m.phashStr.get(), szClassKey, &pszClass) > 0) {
                FatalApp("cannot add tag elem + AC string to hash area!");
            }
            rgpszClass.push_back(pszClass);
            it = mpClass.emplace(std::string_view(pszClass), rgrgEntry.size()).first;
            rgrgEntry.emplace_back();
        }
        rgrgEntry[it->second].push_back(SortEntry{pchBlank2 + 1, pszData, lCount});
    }

    std::vector<std::size_t> rgiOrder(rgpszClass.size());
    for (std::size_t i = 0; i < rgiOrder.size(); ++i) rgiOrder[i] = i;
    std::sort(rgiOrder.begin(), rgiOrder.end(), [&](std::size_t i1, std::size_t i2) {
        return StrCmpRef(rgpszClass[i1], rgpszClass[i2]) < 0;
    });
    std::fprintf(stderr, "Features sorted (%ld classes).\n", static_cast<long>(rgpszClass.size()));
    std::fprintf(stderr, "Moving features to training position.\n");

    struct FileCloser {
        void operator()(std::FILE* pf) const { std::fclose(pf); }
    };
    std::unique_ptr<std::FILE, FileCloser> pfOut;
    if (m.iFeatureMode == 1) {
        pfOut.reset(std::fopen(m.szFeaturePoolFile.c_str(), "w"));
        if (pfOut == nullptr) {
            FatalApp(StrPrintf("cannot open output fsugg file (%s)", m.szFeaturePoolFile.c_str()));
        }
        std::fprintf(stderr, "Writing features to %s.\n", m.szFeaturePoolFile.c_str());
    }

    long cAdded = 0;
    std::string szLine;
    for (std::size_t c = 0; c < rgiOrder.size(); ++c) {
        const char* pszClass = rgpszClass[rgiOrder[c]];
        std::fprintf(stderr, "Moving features te/AC: %s (%ld)\n", pszClass, static_cast<long>(c));
        const std::vector<SortEntry>& rgEntry = rgrgEntry[rgiOrder[c]];
        for (auto it = rgEntry.rbegin(); it != rgEntry.rend(); ++it) {
            szLine = std::to_string(it->lCount);
            szLine += ' ';
            szLine += pszClass;
            szLine += ' ';
            szLine += it->pszBody;
            szLine += ' ';
            szLine += it->pszData;
            if (pfOut != nullptr) {
                if (std::fputs(szLine.c_str(), pfOut.get()) < 0 ||
                    std::fputc('\n', pfOut.get()) == EOF) {
                    FatalApp(StrPrintf("cannot write to output fsugg file (%s)",
                                       m.szFeaturePoolFile.c_str()));
                }
            }
            const int rc = AddFeatureFromStr(&m, szLine.c_str());
            if (rc > 0) {
                FatalApp(
                    StrPrintf("cannot add generated feature (%s), code %d", szLine.c_str(), rc));
            }
            if (rc == 0) ++cAdded;
        }
    }
    if (pfOut != nullptr && std::fclose(pfOut.release()) != 0) {
        FatalApp(StrPrintf("cannot write to output fsugg file (%s)", m.szFeaturePoolFile.c_str()));
    }

    std::fprintf(stderr, "~~~ FEATURE POOL SIZE: %d\n", static_cast<int>(cAdded));
    PrintPoolRanges(m);
    rgrgEntry.clear();
    if (m.phashSugg != nullptr) ux_HashFree(&m.phashSugg);
    m.phashSort.reset();
    return 0;
}

} // namespace vexta
