// Helpers of the model tests: a model built by hand with its own string table.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "base/ux_hash.h"
#include "model/model.h"
#include "test_util.h"

namespace vexta::test {

// Interns szText in the model's string table.
inline const char* Intern(Model& m, std::string_view szText) {
    const char* psz = nullptr;
    ux_HashMemberPtr(m.phashStr.get(), szText, &psz);
    return psz;
}

// An empty model with room for the given numbers of classes and features and
// the named tag elements.
inline void InitModel(Model& m, std::initializer_list<const char*> rgszNames, long cAC = 8,
                      long cFeatures = 8) {
    m.phashStr = ux_HashNew(1000, 20000, 4000);
    m.pszEmpty = Intern(m, "");
    m.cTagElem = static_cast<int>(rgszNames.size());
    for (const char* psz : rgszNames) m.rgpszTagElemName.push_back(Intern(m, psz));
    m.rgteTagElem.resize(rgszNames.size());
    m.clAmbClassAreaSize = cAC + 1;
    m.rgacAmbClassArea.resize(static_cast<size_t>(cAC + 1));
    m.clFeatureAreaSize = cFeatures + 1;
    m.rgfdFeatureArea.resize(static_cast<size_t>(cFeatures + 1));
}

// Adds a class to tag element t (classes of one element must be added one
// after the other) and returns its index.
inline long AddAmbClass(Model& m, int t, std::string_view szAC, long clCnt) {
    const long il = m.clAmbClassAreaUsed++;
    AmbClass& ac = m.rgacAmbClassArea[static_cast<size_t>(il)];
    ac.pszAmbClass = Intern(m, szAC);
    ac.clAmbClassCnt = clCnt;
    ac.fACIgnore = szAC.size() >= 2 && !m.szAmbClassIgnore.empty() &&
                   szAC[0] == m.szAmbClassIgnore[0] && szAC[1] == szAC[0];
    TagElem& te = m.rgteTagElem[static_cast<size_t>(t)];
    if (te.clAmbClass++ == 0) te.ilAmbClassFirst = il;
    return il;
}

// Adds a feature at the head of class iAC's chain and returns it.
inline FeatureDesc& AddFeature(Model& m, int t, long iAC, std::string_view szY, double dLambda,
                               long clCnt) {
    const long il = m.clFeatureAreaUsed++;
    FeatureDesc& fd = m.rgfdFeatureArea[static_cast<size_t>(il)];
    AmbClass& ac = m.rgacAmbClassArea[static_cast<size_t>(iAC)];
    fd.iTagElem = t;
    fd.pacOfFeature = &ac;
    fd.pszACFeature = ac.pszAmbClass;
    fd.cCntTagElemGivenFeature = static_cast<int>(std::string_view(ac.pszAmbClass).size());
    fd.rgclCntTagElemGivenFeature.assign(static_cast<size_t>(fd.cCntTagElemGivenFeature), 0);
    fd.pszY = szY == "*" ? m.pszEmpty : Intern(m, szY);
    fd.dLambda = dLambda;
    fd.clCnt = clCnt;
    fd.ilNextFeature = ac.ilPacFeatureFirst;
    ac.ilPacFeatureFirst = il;
    return fd;
}

inline FeatureTerm Term(Model& m, int iPos, int iElem, std::string_view szValue,
                        int iClosestElem = -1, std::string_view szClosest = "") {
    return FeatureTerm{iPos, iClosestElem, Intern(m, szClosest), iElem, Intern(m, szValue)};
}

// Makes rgft the feature's terms.
inline void SetTerms(FeatureDesc& fd, std::initializer_list<FeatureTerm> rgft) {
    fd.cTerms = static_cast<int>(rgft.size());
    std::copy(rgft.begin(), rgft.end(), fd.rgftTerm.begin());
}

} // namespace vexta::test
