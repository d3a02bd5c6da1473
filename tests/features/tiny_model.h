// A small hand-built model and data table for tests of matching,
// probabilities, tagging and training: interned strings, ambiguity classes
// per tag element (the all-data class first, its string "!!" + values),
// features in class chains, and data lines parsed into a table.
#pragma once

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

class TinyModel {
public:
    Model m;
    DataTable dt;

    explicit TinyModel(int cTagElem, int cBeam = 3, double dRawExpWeight = 0.5) {
        m.phashStr = ux_HashNew(8192, 65536, 4000);
        m.pszEmpty = Intern("");
        m.cTagElem = cTagElem;
        m.cBeam = cBeam;
        m.dRawExpWeight = dRawExpWeight;
        m.szAmbClassIgnore = "!";
        m.rgteTagElem.resize(static_cast<std::size_t>(cTagElem));
        for (int t = 0; t < cTagElem; ++t) {
            m.rgpszTagElemName.push_back(Intern("SubTag" + std::to_string(t + 1)));
        }
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
        TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        te.ilAmbClassFirst = m.clAmbClassAreaUsed;
        te.clAmbClass = 0;
        NewClass(te, "!!" + std::string(szAllValues)).fACIgnore = 1;
        for (std::string_view sz : rgsz) NewClass(te, sz);
    }
    AmbClass& AllData(int t) {
        return m.rgacAmbClassArea[static_cast<std::size_t>(
            m.rgteTagElem[static_cast<std::size_t>(t)].ilAmbClassFirst)];
    }
    AmbClass& Class(int t, std::string_view szAC) {
        return *FindAmbClassRec(szAC, m.rgteTagElem[static_cast<std::size_t>(t)], m);
    }

    // Adds a feature of tag element t at the front of the class's chain;
    // rgclCnt is indexed like the class string (two leading marker entries for
    // the all-data class); clCnt is their sum.
    FeatureDesc& AddFeature(int t, AmbClass& ac, std::vector<long> rgclCnt, double dLambda,
                            std::initializer_list<FeatureTerm> rgft = {}) {
        const long il = m.clFeatureAreaUsed++;
        FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(il)];
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
        for (const FeatureTerm& ft : rgft) fd.rgftTerm[static_cast<std::size_t>(fd.cTerms++)] = ft;
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

    // Fills the table with data lines "tag|AC/.../|form|lemma|>cand/.../".
    void SetLines(std::initializer_list<std::string_view> rgszLine) {
        const auto cLines = static_cast<long>(rgszLine.size());
        const auto cSlots = static_cast<std::size_t>(cLines + 1);
        dt.clLines = dt.clData = dt.clWords = cLines;
        dt.iInputState = 1;
        dt.rgpszDataLine.assign(cSlots, std::string());
        dt.rgdl.assign(cSlots, DlData());
        dt.rgpszTagOut.assign(cSlots, TagBuf{});
        dt.rgbeam.assign(cSlots, BeamLine());
        dt.rgplinkFeature.assign(cSlots, nullptr);
        dt.rgplinkFeature2.assign(cSlots, nullptr);
        dt.rgfLineErr.assign(cSlots, 0);
        dt.rgrgfErr.assign(static_cast<std::size_t>(m.cTagElem + 1),
                           std::vector<unsigned char>(cSlots, 0));
        dt.rgilNextAC.assign(static_cast<std::size_t>(cLines), -1);
        dt.rgilNextFeature.assign(static_cast<std::size_t>(cLines), -1);
        std::size_t i = 0;
        for (std::string_view sz : rgszLine) {
            dt.rgpszDataLine[i] = std::string(sz);
            DlData& dl = dt.rgdl[i];
            std::vector<std::string_view> rgszField;
            for (std::size_t iStart = 0;;) {
                const std::size_t iBar = sz.find('|', iStart);
                rgszField.push_back(sz.substr(iStart, iBar - iStart));
                if (iBar == std::string_view::npos) break;
                iStart = iBar + 1;
            }
            dl.pszTag = Intern(rgszField[0]);
            for (std::string_view szAC : Split(rgszField[1])) dl.rgpszAC.push_back(Intern(szAC));
            dl.pszForm = Intern(rgszField[2]);
            dl.pszLemma = Intern(rgszField[3]);
            if (rgszField.size() > 4 && !rgszField[4].empty()) {
                for (std::string_view szCand : Split(rgszField[4].substr(1))) {
                    dl.rgpszMMt.push_back(Intern(szCand));
                }
            }
            dl.cMMt = static_cast<long>(dl.rgpszMMt.size());
            dt.rgbeam[i].rgve.resize(static_cast<std::size_t>(m.cBeam));
            ++i;
        }
    }

    // Chains the lines of every class of tag element t (like training does).
    void ChainClasses(int t) {
        const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        for (long ia = 0; ia < te.clAmbClass; ++ia) {
            m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst + ia)].ilDataFirst = -1;
        }
        for (long il = 0; il < dt.clData; ++il) {
            AmbClass* pac = FindAmbClassRec(
                dt.rgdl[static_cast<std::size_t>(il)].rgpszAC[static_cast<std::size_t>(t)], te, m);
            if (pac == nullptr) continue;
            dt.rgilNextAC[static_cast<std::size_t>(il)] = pac->ilDataFirst;
            pac->ilDataFirst = il;
        }
    }

    // Puts the feature at the front of line il's probability links.
    void Link(long il, FeatureDesc& fd) {
        FeatureLink*& plinkHead = dt.rgplinkFeature2[static_cast<std::size_t>(il)];
        plinkHead = &dt.rglinkStore.emplace_back(FeatureLink{&fd, plinkHead, nullptr, il});
    }

    // Puts a beam item on line il.
    void SetItem(long il, int iItem, std::string_view szTag, int iBack, double dProb = 1.0) {
        BeamLine& bl = dt.rgbeam[static_cast<std::size_t>(il)];
        VeItem& ve = bl.rgve[static_cast<std::size_t>(iItem)];
        ve.pszTag = TagBuf{};
        szTag.copy(ve.pszTag.data(), szTag.size());
        ve.iBack = iBack;
        ve.dProb = dProb;
        bl.cBeam = std::max(bl.cBeam, iItem + 1);
    }

private:
    AmbClass& NewClass(TagElem& te, std::string_view sz) {
        AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(m.clAmbClassAreaUsed++)];
        ac.pszAmbClass = Intern(sz);
        ++te.clAmbClass;
        return ac;
    }
    static std::vector<std::string_view> Split(std::string_view sz) {
        std::vector<std::string_view> rgsz;
        for (std::size_t iStart = 0; iStart < sz.size();) {
            std::size_t iSlash = sz.find('/', iStart);
            if (iSlash == std::string_view::npos) iSlash = sz.size();
            rgsz.push_back(sz.substr(iStart, iSlash - iStart));
            iStart = iSlash + 1;
        }
        return rgsz;
    }
};

} // namespace vexta::test
