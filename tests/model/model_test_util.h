// Helpers shared by the model tests: a model with its own string table and a
// way to capture what a function prints to a stream.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ux_hash.h"
#include "model/model.h"

namespace vexta::test {

// Interns szText in the model's string table.
inline const char* Intern(Model& m, std::string_view szText) {
    const char* psz = nullptr;
    ux_HashMemberPtr(m.phashStr.get(), szText, &psz);
    return psz;
}

// Gives the model a string table and the interned empty string.
inline void InitStrings(Model& m) {
    m.phashStr = ux_HashNew(1000, 20000, 4000);
    m.pszEmpty = Intern(m, "");
}

// Runs fn(FILE*) on a memory stream and returns what it wrote.
template <typename Fn> std::string CaptureStream(Fn fn) {
    char* pBuf = nullptr;
    size_t cb = 0;
    std::FILE* pf = open_memstream(&pBuf, &cb);
    fn(pf);
    std::fclose(pf);
    std::string s(pBuf, cb);
    std::free(pBuf);
    return s;
}

// A scratch directory for the current test. A death test runs the test again
// in a child process; the child works in its parent's directory, so that what
// the parent looks at afterwards is what the child left behind.
inline std::string MakeTempDir() {
    const bool fDeathTestChild = !GTEST_FLAG_GET(internal_run_death_test).empty();
    const long lPid = fDeathTestChild ? static_cast<long>(getppid()) : static_cast<long>(getpid());
    const std::string sz = "/tmp/vexta_model_" + std::to_string(lPid) + "_" +
                           testing::UnitTest::GetInstance()->current_test_info()->name();
    if (mkdir(sz.c_str(), 0700) != 0 && errno != EEXIST) std::abort();
    return sz;
}

inline std::string ReadFile(const std::string& szName) {
    std::ifstream is(szName, std::ios::binary);
    std::ostringstream os;
    os << is.rdbuf();
    return os.str();
}

inline void WriteFile(const std::string& szName, std::string_view szText) {
    std::ofstream os(szName, std::ios::binary);
    os << szText;
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

// An empty model with room for the given numbers of classes and features and
// the named tag elements.
inline void InitModel(Model& m, std::initializer_list<const char*> rgszNames, long cAC = 8,
                      long cFeatures = 8) {
    InitStrings(m);
    m.cTagElem = static_cast<int>(rgszNames.size());
    for (const char* psz : rgszNames) m.rgpszTagElemName.push_back(Intern(m, psz));
    m.rgteTagElem.resize(rgszNames.size());
    m.clAmbClassAreaSize = cAC + 1;
    m.rgacAmbClassArea.resize(static_cast<size_t>(cAC + 1));
    m.clFeatureAreaSize = cFeatures + 1;
    m.rgfdFeatureArea.resize(static_cast<size_t>(cFeatures + 1));
}

} // namespace vexta::test
