// The process-wide model and the small operations on its records.
#include "model/model.h"

#include <algorithm>
#include <cstring>

#include "base/ux_hash.h"

namespace vexta {

Model model;

Model::Model() = default;
Model::~Model() = default;
Model::Model(Model&&) noexcept = default;
Model& Model::operator=(Model&&) noexcept = default;

void FreeModel(Model& m) {
    // Releasing a vector's storage: swapping with an empty one gives the
    // capacity back, which clear() would not.
    std::vector<const char*>().swap(m.rgpszTagElemName);
    if (m.phashStr) ux_HashFree(&m.phashStr);
    std::vector<FeatureDesc>().swap(m.rgfdFeatureArea);
    std::vector<AmbClass>().swap(m.rgacAmbClassArea);
    std::vector<TagElem>().swap(m.rgteTagElem);

    // Nothing may keep pointing into what was released, and the sizes must
    // not promise records that are gone.
    m.pszEmpty = nullptr;
    m.rgszUnamb.fill(nullptr);
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;
    m.clFeatureAreaSize = m.clFeatureAreaUsed = 0;
    m.clAmbClassAreaSize = m.clAmbClassAreaUsed = 0;
}

namespace {

// Compares a zero-terminated string with a view without measuring it first,
// so that a mismatch costs only the bytes up to the first difference.
bool EqualsCString(const char* psz, std::string_view sz) {
    for (const char ch : sz) {
        if (ch == '\0' || *psz != ch) return false;
        ++psz;
    }
    return *psz == '\0';
}

} // namespace

AmbClass* FindAmbClassRec(std::string_view szAmbClass, const TagElem& te, Model& m) {
    const long cAreaRecs = static_cast<long>(m.rgacAmbClassArea.size());
    const long ilFirst = te.ilAmbClassFirst;
    const long ilEnd = std::min(ilFirst + te.clAmbClass, cAreaRecs);
    for (long il = std::max(ilFirst, 0L); il < ilEnd; ++il) {
        AmbClass& ac = m.rgacAmbClassArea[il];
        const char* psz = ac.pszAmbClass;
        if (psz == nullptr) continue;
        // Interned strings match by address; anything else by its bytes.
        if (psz == szAmbClass.data() && psz[szAmbClass.size()] == '\0') return &ac;
        if (EqualsCString(psz, szAmbClass)) return &ac;
    }
    return nullptr;
}

int GetTagIndexInAmbClass(const Model& /*m*/, char chValue, const FeatureDesc& fd) {
    const char* psz = fd.pszACFeature;
    if (psz == nullptr) return -1;
    int i = 0;
    if (fd.pacOfFeature != nullptr && fd.pacOfFeature->fACIgnore) {
        // The two marker characters of an all-data AC are not values.
        if (psz[0] == '\0' || psz[1] == '\0') return -1;
        i = 2;
    }
    for (; psz[i] != '\0'; ++i) {
        if (psz[i] == chValue) return i;
    }
    return -1;
}

namespace {

int CmpNumbers(int a, int b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

const char* StrOrEmpty(const char* psz) {
    return psz != nullptr ? psz : "";
}

} // namespace

int FeatureComponentCmp(const FeatureTerm& ftA, const char* pszOverrideA, const FeatureTerm& ftB,
                        const char* pszOverrideB, const Model& /*m*/) {
    if (int i = CmpNumbers(ftA.iPos, ftB.iPos)) return i;
    if (int i = CmpNumbers(ftA.iClosestConditionElem, ftB.iClosestConditionElem)) return i;
    if (ftA.iClosestConditionElem != -1 && ftA.pszClosestValue != ftB.pszClosestValue) {
        if (int i = std::strcmp(StrOrEmpty(ftA.pszClosestValue), StrOrEmpty(ftB.pszClosestValue)))
            return i;
    }
    if (int i = CmpNumbers(ftA.iConditionElem, ftB.iConditionElem)) return i;
    const char* pszA =
        (pszOverrideA != nullptr && pszOverrideA[0] != '\0') ? pszOverrideA : ftA.pszValue;
    const char* pszB =
        (pszOverrideB != nullptr && pszOverrideB[0] != '\0') ? pszOverrideB : ftB.pszValue;
    return std::strcmp(StrOrEmpty(pszA), StrOrEmpty(pszB));
}

void PrintFeature(std::FILE* pf, const Model& m, const FeatureDesc& fd) {
    PrintFeatureBody(pf, m, fd);
    std::fprintf(pf, ",^%ld", fd.ilNextFeature);
}

void PrintFeatureBody(std::FILE* pf, const Model& m, const FeatureDesc& fd) {
    std::fprintf(pf, "@%ld/%s(%s),", static_cast<long>(fd.iTagElem), StrOrEmpty(fd.pszACFeature),
                 fd.pacOfFeature != nullptr ? StrOrEmpty(fd.pacOfFeature->pszAmbClass) : "");
    std::fprintf(pf, "#%d,", fd.cTerms);
    if (fd.pszY == m.pszEmpty) {
        std::fputs("y=*,", pf);
    } else {
        std::fprintf(pf, "y=%s,", StrOrEmpty(fd.pszY));
    }
    const int cTerms = std::clamp(fd.cTerms, 0, kTermsMax);
    for (int i = 0; i < cTerms; ++i) {
        const FeatureTerm& ft = fd.rgftTerm[i];
        std::fprintf(pf, "[%d]%d,%d,<%s>,%d,<%s>;", i, ft.iPos, ft.iClosestConditionElem,
                     StrOrEmpty(ft.pszClosestValue), ft.iConditionElem, StrOrEmpty(ft.pszValue));
    }
    std::fprintf(pf, "{%f},", fd.dLambda);
    std::fprintf(pf, "[%d],", fd.cCntTagElemGivenFeature);
    std::fprintf(pf, "S=%ld,", fd.clCnt);
    const size_t cCnt = std::min(static_cast<size_t>(std::max(fd.cCntTagElemGivenFeature, 0)),
                                 fd.rgclCntTagElemGivenFeature.size());
    for (size_t i = 0; i < cCnt; ++i) std::fprintf(pf, "%ld/", fd.rgclCntTagElemGivenFeature[i]);
}

} // namespace vexta
