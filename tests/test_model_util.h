// Models, data tables and corpus readers built by hand for the tests: model
// records one by one, readers on a file, a tiny model with hand-made classes
// and features, and a model set up for training on data lines
// "tag|AC/.../|form|lemma|>cand/.../" through the pipeline's own steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "app/training_params.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "features/templates.h"
#include "model/model.h"
#include "tagging/error_rate.h"
#include "test_util.h"

namespace vexta::test {

// Model records built one by one, with the model's own string table.

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

// Corpus readers opened on a file and the tokens they deliver.

using Strings = std::vector<std::string>;

inline std::unique_ptr<Model> MakeModel(int cTagElem, int fProgMode, int cBeam = 3) {
    auto pm = std::make_unique<Model>();
    pm->cTagElem = cTagElem;
    pm->fProgMode = fProgMode;
    pm->cBeam = cBeam;
    pm->phashStr = ux_HashNew(1000, 50000, 4000);
    ux_HashMemberPtr(pm->phashStr.get(), "", &pm->pszEmpty);
    return pm;
}

inline std::unique_ptr<pdfRecType> OpenReader(const std::string& szFile,
                                              std::string_view szTagTable = "") {
    auto ppdf = std::make_unique<pdfRecType>();
    ppdf->szFileName = szFile;
    ppdf->szSentTag = "ZZ";
    ppdf->szSentForm = ppdf->szSentLemma = "###";
    ppdf->szTagTable = szTagTable;
    EXPECT_EQ(OpenData(*ppdf), 0);
    return ppdf;
}

template <typename Gap> Strings GapTexts(const Gap& gap) {
    Strings rgsz;
    for (std::size_t k = 0; k < gap.Count(); ++k) rgsz.emplace_back(gap.Entry(k));
    return rgsz;
}

// One delivered token: its data line, rest and gap entries.
struct Event {
    std::string szLine;
    std::string szRest;
    Strings rgszGap;
    int fWord = 0;
};

// Every token the reader delivers until GetEvent returns -1.
inline std::vector<Event> ReadAll(pdfRecType& pdf, const Model& m) {
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    std::vector<Event> rgev;
    gapRecType gap;
    while (GetEvent(szLine, szRest, gap, pdf, m) == 0)
        rgev.push_back({szLine.data(), szRest.data(), GapTexts(gap), pdf.fWord});
    return rgev;
}

inline Strings Lines(const std::vector<Event>& rgev) {
    Strings rgsz;
    for (const Event& ev : rgev) rgsz.push_back(ev.szLine);
    return rgsz;
}

// Data tables and models for matching, probabilities, tagging, the pool and training.

// Fills dt with the data lines "tag|AC/.../|form|lemma|>cand/.../" through
// the table's own allocation and parser.
inline void FillTable(Model& m, DataTable& dt, const std::vector<std::string>& rgszLine) {
    dt.ilStart = 0;
    dt.clLines = static_cast<long>(rgszLine.size());
    dt.clData = dt.clWords = 0;
    ASSERT_EQ(AllocSegment(m, dt), 0);
    gapRecType gap;
    for (long il = 0; il < dt.clLines; ++il)
        ASSERT_EQ(InsertLine(m, dt, rgszLine[il], il, "", gap, 1), 0) << rgszLine[il];
    SizeTrainingLists(dt, m.cTagElem);
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

    const char* Intern(std::string_view sz) { return test::Intern(m, sz); }

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
                dt.rgilNextAC[t][il] = pac->ilDataFirst;
                pac->ilDataFirst = il;
            }
        }
    }

    // Puts the feature at the front of line il's probability links of tag
    // element t (by default its own).
    void Link(long il, FeatureDesc& fd, int t = -1) {
        if (t < 0) t = fd.iTagElem;
        FeatureLink*& plinkHead = dt.rgplinkFeature2[t][il];
        plinkHead =
            &dt.rglinkStore[t].rglink.emplace_back(FeatureLink{&fd, plinkHead, nullptr, il});
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

// The training keys of a run on hand-written lines: one iteration reading
// its pool from pool.txt, one pass at threshold 2, weights 1..8 and 0.125.
// Later definitions (szExtra) override these.
inline std::string TrainingArgs(std::string_view szPoolFile, std::string_view szExtra = "") {
    std::string sz = "FeatureMode = Read\n"
                     "FeatureSugg = " +
                     std::string(szPoolFile) +
                     "\n"
                     "Features = unused.model\n"
                     "AmbClassIgnore = -\n"
                     "MinThrAddFeature = 2\n"
                     "MinThrPoolFeature = 2\n"
                     "MinThrClosestFeature = 5\n"
                     "CombiThr = 10\n"
                     "LeftOnly = no\n"
                     "FeatureArea = 1000\n"
                     "FeatureSuggSize = 10000\n"
                     "AmbClassArea = 100\n"
                     "LambdaIterations = 0\n"
                     "HeavySmoothing = yes\n"
                     "MultiPass = no\n"
                     "TrainingIterationsMax = 1\n"
                     "LambdaMax = 8\n"
                     "LambdaMin = 0.125\n"
                     "TrainCat = -1\n"
                     // In mode Read only the keys of the iteration give the
                     // pool's model kind and order.
                     "SortSuggestions0 = Count\n"
                     "Models0 = AC\n";
    sz += szExtra;
    return sz;
}

// A model with a string table, training and heldout tables (and a test table
// for the training runs), and the
// area sizes and thresholds the training parameters would give it.
class TrainingSetup {
public:
    Model m;
    DataTable dtT;
    DataTable dtH;
    DataTable dtS;
    TempDir dir;

    explicit TrainingSetup(int cTagElem, double dRawExpWeight = 0.5) {
        m.cTagElem = cTagElem;
        m.fProgMode = kModeTrain;
        m.cBeam = 1;
        m.iTrainCat = -1;
        m.dRawExpWeight = dRawExpWeight;
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
        Stderr([&] { ASSERT_EQ(InitModelTraining(szArgs, &dtT, &m), 0); });
    }

    // Reads the parameters, sets training up and measures the initial error,
    // as the training pipeline does.
    void InitTraining(const std::vector<std::string>& rgszLine, std::string_view szArgText) {
        SetupArgs(szArgText);
        SetLines(rgszLine);
        FillTable(m, dtS, rgszLine);
        m.pdtS = &dtS;
        ASSERT_EQ(ReadTrainingParamsBeforeSetup(&m), 0);
        ASSERT_EQ(InitModelTraining(szArgs, &dtT, &m), 0);
        ASSERT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
        ASSERT_LE(ErrorRateData(dtT, m, 0), 0);
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
        AmbClass* pac = FindAmbClassRec(szAC, m.rgteTagElem[static_cast<std::size_t>(t)], m);
        EXPECT_NE(pac, nullptr) << szAC;
        return *pac;
    }

    // The features of the class's chain, newest first.
    std::vector<const FeatureDesc*> Chain(const AmbClass& ac) const {
        std::vector<const FeatureDesc*> rg;
        for (long il = ac.ilPacFeatureFirst; il >= 0; il = m.rgfdFeatureArea[il].ilNextFeature)
            rg.push_back(&m.rgfdFeatureArea[il]);
        return rg;
    }
};

// Lines of a one-element language where "saw" is a noun after "the" and a
// verb after "I": the class NV of "saw" is tagged N by its prior, so each
// verb "saw" is an error that a feature on the form to the left can fix.
inline std::vector<std::string> SawLines(int cNouns, int cVerbs) {
    std::vector<std::string> rg;
    for (int i = 0; i < cNouns; ++i) {
        rg.emplace_back("D|D/|the|the|>D/");
        rg.emplace_back("N|NV/|saw|saw|>N/V/");
    }
    for (int i = 0; i < cVerbs; ++i) {
        rg.emplace_back("P|P/|I|I|>P/");
        rg.emplace_back("V|NV/|saw|saw|>N/V/");
    }
    return rg;
}

} // namespace vexta::test
