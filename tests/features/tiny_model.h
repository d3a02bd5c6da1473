// A small hand-built model and data table for tests of matching,
// probabilities and tagging: ambiguity classes per tag element (the all-data
// class first, its string "!!" + values), features in class chains, and data
// lines stored through the table's own parser.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta::test {

// Fills dt with the data lines "tag|AC/.../|form|lemma|>cand/.../" through
// the table's own allocation and parser.
inline void FillTable(Model& m, DataTable& dt, const std::vector<std::string>& rgszLine) {
    dt.ilStart = 0;
    dt.clLines = static_cast<long>(rgszLine.size());
    dt.clData = dt.clWords = 0;
    ASSERT_EQ(AllocSegment(m, dt), 0);
    for (long il = 0; il < dt.clLines; ++il)
        ASSERT_EQ(InsertLine(m, dt, rgszLine[il], il, "", nullptr, 1), 0) << rgszLine[il];
    dt.rgilNextAC.assign(dt.clLines, -1);
    dt.rgilNextFeature.assign(dt.clLines, -1);
}

class TinyModel {
public:
    Model m;
    DataTable dt;

    explicit TinyModel(int cTagElem, int cBeam = 3) {
        m.phashStr = ux_HashNew(8192, 65536, 4000);
        m.pszEmpty = Intern("");
        m.cTagElem = cTagElem;
        m.cBeam = cBeam;
        m.dRawExpWeight = 0.5;
        m.szAmbClassIgnore = "!";
        m.rgteTagElem.resize(cTagElem);
        for (int t = 0; t < cTagElem; ++t)
            m.rgpszTagElemName.push_back(Intern("SubTag" + std::to_string(t + 1)));
        // Fixed capacity: records are referred to by pointer.
        m.clAmbClassAreaSize = m.clFeatureAreaSize = 64;
        m.rgacAmbClassArea.resize(64);
        m.rgfdFeatureArea.resize(64);
    }

    const char* Intern(std::string_view sz) {
        const char* psz = nullptr;
        ux_HashMemberPtr(m.phashStr.get(), sz, &psz);
        return psz;
    }

    // The classes of tag element t: the all-data class "!!" + szAllValues,
    // then the given AC strings. Call for t in ascending order.
    void SetClasses(int t, std::string_view szAllValues,
                    std::initializer_list<std::string_view> rgsz) {
        TagElem& te = m.rgteTagElem[t];
        te.ilAmbClassFirst = m.clAmbClassAreaUsed;
        te.clAmbClass = 0;
        NewClass(te, "!!" + std::string(szAllValues)).fACIgnore = 1;
        for (std::string_view sz : rgsz) NewClass(te, sz);
    }
    AmbClass& AllData(int t) { return m.rgacAmbClassArea[m.rgteTagElem[t].ilAmbClassFirst]; }
    AmbClass& Class(int t, std::string_view szAC) {
        return *FindAmbClassRec(szAC, m.rgteTagElem[t], m);
    }

    // Adds a feature of tag element t at the front of the class's chain;
    // rgclCnt is indexed like the class string (two leading marker entries for
    // the all-data class).
    FeatureDesc& AddFeature(int t, AmbClass& ac, std::vector<long> rgclCnt, double dLambda,
                            std::initializer_list<FeatureTerm> rgft = {}) {
        const long il = m.clFeatureAreaUsed++;
        FeatureDesc& fd = m.rgfdFeatureArea[il];
        fd.iFeature = static_cast<int>(il);
        fd.iTagElem = t;
        fd.pacOfFeature = &ac;
        fd.pszY = m.pszEmpty;
        fd.dLambda = dLambda;
        fd.pszACFeature = ac.pszAmbClass;
        fd.cCntTagElemGivenFeature = static_cast<int>(std::strlen(ac.pszAmbClass));
        fd.clCnt = 0;
        for (long cl : rgclCnt) fd.clCnt += cl;
        fd.rgclCntTagElemGivenFeature = std::move(rgclCnt);
        for (const FeatureTerm& ft : rgft) fd.rgftTerm[fd.cTerms++] = ft;
        fd.ilNextFeature = ac.ilPacFeatureFirst;
        ac.ilPacFeatureFirst = il;
        ++ac.clFeatureCnt;
        return fd;
    }
    FeatureTerm Term(int iPos, int iElem, std::string_view szValue) {
        return FeatureTerm{iPos, -1, m.pszEmpty, iElem, Intern(szValue)};
    }
    FeatureTerm Closest(int iPos, int iClosestElem, std::string_view szClosest, int iElem,
                        std::string_view szValue) {
        return FeatureTerm{iPos, iClosestElem, Intern(szClosest), iElem, Intern(szValue)};
    }

    void SetLines(const std::vector<std::string>& rgszLine) {
        dt.iInputState = 1;
        FillTable(m, dt, rgszLine);
    }

    // Chains the lines of every class of tag element t (like training does).
    void ChainClasses(int t) {
        const TagElem& te = m.rgteTagElem[t];
        for (long ia = 0; ia < te.clAmbClass; ++ia)
            m.rgacAmbClassArea[te.ilAmbClassFirst + ia].ilDataFirst = -1;
        for (long il = 0; il < dt.clData; ++il) {
            if (AmbClass* pac = FindAmbClassRec(dt.rgdl[il].rgpszAC[t], te, m)) {
                dt.rgilNextAC[il] = pac->ilDataFirst;
                pac->ilDataFirst = il;
            }
        }
    }

    // Puts the feature at the front of line il's probability links.
    void Link(long il, FeatureDesc& fd) {
        FeatureLink*& plinkHead = dt.rgplinkFeature2[il];
        plinkHead = &dt.rglinkStore.emplace_back(FeatureLink{&fd, plinkHead, nullptr, il});
    }

    // Puts a beam item on line il.
    void SetItem(long il, int iItem, std::string_view szTag, int iBack, double dProb = 1.0) {
        BeamLine& bl = dt.rgbeam[il];
        VeItem& ve = bl.rgve[iItem];
        ve.pszTag = TagBuf{};
        szTag.copy(ve.pszTag.data(), szTag.size());
        ve.iBack = iBack;
        ve.dProb = dProb;
        bl.cBeam = std::max(bl.cBeam, iItem + 1);
    }

private:
    AmbClass& NewClass(TagElem& te, std::string_view sz) {
        AmbClass& ac = m.rgacAmbClassArea[m.clAmbClassAreaUsed++];
        ac.pszAmbClass = Intern(sz);
        ++te.clAmbClass;
        return ac;
    }
};

} // namespace vexta::test
