// Speed of the probability model and the taggers on the real corpus: a
// model is built here from the training segment (value and class counts,
// and a few hand-made features per tag element and frequent class, counted
// over the training data), then the benchmark times GetTagProbs calls in
// the true-context and the beam-path modes, beam-search tagging of the test
// segment, and the training-time passes over the links.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/feature_match.h"
#include "features/tag_probs.h"
#include "model/model.h"
#include "tagging/beam_search.h"
#include "tagging/error_rate.h"

namespace {

using namespace vexta;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

const char* Intern(Model& m, std::string_view sz) {
    const char* psz = nullptr;
    ux_HashMemberPtr(m.phashStr.get(), sz, &psz);
    return psz;
}

// Value and class counts of the training table, the all-data class of every
// tag element first, and the features.
void BuildModel(Model& m, DataTable& dt) {
    const auto cTE = static_cast<std::size_t>(m.cTagElem);
    std::vector<std::map<const char*, long>> rgmapAC(cTE); // class -> positions
    for (long il = 0; il < dt.clData; ++il) {
        const DlData& dl = dt.rgdl[static_cast<std::size_t>(il)];
        for (std::size_t t = 0; t < cTE; ++t) {
            ++rgmapAC[t][dl.rgpszAC[t]];
            ++m.rgteTagElem[t].rgclSubtagCnt[static_cast<unsigned char>(dl.pszTag[t])];
        }
    }
    long cAC = 1;
    for (const auto& mapAC : rgmapAC) cAC += static_cast<long>(mapAC.size()) + 1;
    m.rgacAmbClassArea.resize(static_cast<std::size_t>(cAC));
    m.clAmbClassAreaSize = cAC;
    std::vector<std::unordered_map<const char*, AmbClass*>> rgmapRec(cTE);
    for (std::size_t t = 0; t < cTE; ++t) {
        TagElem& te = m.rgteTagElem[t];
        te.ilAmbClassFirst = m.clAmbClassAreaUsed;
        std::string szAll = "--";
        for (int v = 0; v < kValueCnt; ++v) {
            if (te.rgclSubtagCnt[static_cast<std::size_t>(v)] > 0) szAll += static_cast<char>(v);
        }
        AmbClass& acAll = m.rgacAmbClassArea[static_cast<std::size_t>(m.clAmbClassAreaUsed++)];
        acAll.fACIgnore = 1;
        acAll.pszAmbClass = Intern(m, szAll);
        for (const auto& [pszAC, cl] : rgmapAC[t]) {
            AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(m.clAmbClassAreaUsed++)];
            ac.pszAmbClass = pszAC;
            rgmapRec[t][pszAC] = &ac;
        }
        te.clAmbClass = m.clAmbClassAreaUsed - te.ilAmbClassFirst;
    }
    for (long il = 0; il < dt.clData; ++il) {
        const DlData& dl = dt.rgdl[static_cast<std::size_t>(il)];
        for (std::size_t t = 0; t < cTE; ++t) {
            AmbClass& ac = *rgmapRec[t][dl.rgpszAC[t]];
            const char* p = std::strchr(ac.pszAmbClass, dl.pszTag[t]);
            if (p != nullptr && p - ac.pszAmbClass < kJointCntSize)
                ++ac.rgclJointCnt[p - ac.pszAmbClass];
            ++ac.clAmbClassCnt;
        }
    }

    // Features: for the all-data class of every tag element, the POS and the
    // element's own value one and two lines to the left and the closest
    // verb's case; for the 8 largest classes, the POS to the left and right
    // and the form itself for the 10 most frequent forms.
    const std::string szPOS = "ACDIJNPRTVXZ";
    m.rgfdFeatureArea.resize(20000);
    m.clFeatureAreaSize = 20000;
    const double rgdLambda[] = {1.0, 0.5, 2.0, 1.0, 0.75};
    const auto Add = [&](std::size_t t, AmbClass& ac, std::initializer_list<FeatureTerm> rgft) {
        const long ilF = m.clFeatureAreaUsed++;
        FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(ilF)];
        fd.iFeature = static_cast<int>(ilF);
        fd.iTagElem = static_cast<int>(t);
        fd.pacOfFeature = &ac;
        fd.pszY = m.pszEmpty;
        fd.dLambda = rgdLambda[ilF % 5];
        fd.pszACFeature = ac.pszAmbClass;
        fd.cCntTagElemGivenFeature = static_cast<int>(std::strlen(ac.pszAmbClass));
        for (const FeatureTerm& ft : rgft) fd.rgftTerm[static_cast<std::size_t>(fd.cTerms++)] = ft;
        fd.ilNextFeature = ac.ilPacFeatureFirst;
        ac.ilPacFeatureFirst = ilF;
        ++ac.clFeatureCnt;
    };
    const auto Term = [&](int iPos, int iElem, std::string_view sz) {
        return FeatureTerm{iPos, -1, m.pszEmpty, iElem, Intern(m, sz)};
    };
    for (std::size_t t = 0; t < cTE; ++t) {
        TagElem& te = m.rgteTagElem[t];
        AmbClass& acAll = m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst)];
        for (char ch : szPOS) {
            Add(t, acAll, {Term(-1, 0, std::string(1, ch))});
            Add(t, acAll, {Term(-2, 0, std::string(1, ch))});
        }
        for (const char* p = acAll.pszAmbClass + 2; *p != '\0'; ++p) {
            Add(t, acAll, {Term(-1, static_cast<int>(t), std::string(1, *p))});
        }
        Add(t, acAll, {FeatureTerm{kPosClosestLeft, 0, Intern(m, "V"), 4, Intern(m, "1")}});
        std::vector<std::pair<long, const char*>> rgBig;
        for (const auto& [pszAC, pac] : rgmapRec[t]) rgBig.emplace_back(-pac->clAmbClassCnt, pszAC);
        std::sort(rgBig.begin(), rgBig.end());
        for (std::size_t i = 0; i < std::min<std::size_t>(8, rgBig.size()); ++i) {
            AmbClass& ac = *rgmapRec[t][rgBig[i].second];
            if (std::strlen(ac.pszAmbClass) < 2) continue;
            std::map<const char*, long> mapForm;
            for (long il = 0; il < dt.clData; ++il) {
                const DlData& dl = dt.rgdl[static_cast<std::size_t>(il)];
                if (dl.rgpszAC[t] == ac.pszAmbClass) ++mapForm[dl.pszForm];
            }
            std::vector<std::pair<long, const char*>> rgForm;
            for (const auto& [pszForm, cl] : mapForm) rgForm.emplace_back(-cl, pszForm);
            std::sort(rgForm.begin(), rgForm.end());
            for (std::size_t j = 0; j < std::min<std::size_t>(10, rgForm.size()); ++j) {
                Add(t, ac, {FeatureTerm{0, -1, m.pszEmpty, kElemForm, rgForm[j].second}});
            }
            for (char ch : szPOS) {
                Add(t, ac, {Term(-1, 0, std::string(1, ch))});
                Add(t, ac, {Term(1, kElemACMember, std::string(1, ch))});
            }
        }
    }

    // Counts over the training data, tag element by tag element (the class
    // chains of the table serve one tag element at a time).
    SizeTrainingLists(dt, m.cTagElem);
    for (std::size_t t = 0; t < cTE; ++t) {
        const TagElem& te = m.rgteTagElem[t];
        for (long ia = 0; ia < te.clAmbClass; ++ia) {
            m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst + ia)].ilDataFirst = -1;
        }
        for (long il = dt.clData - 1; il >= 0; --il) {
            AmbClass& ac = *rgmapRec[t][dt.rgdl[static_cast<std::size_t>(il)].rgpszAC[t]];
            dt.rgilNextAC[t][static_cast<std::size_t>(il)] = ac.ilDataFirst;
            ac.ilDataFirst = il;
        }
        for (long ia = 0; ia < te.clAmbClass; ++ia) {
            AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst + ia)];
            for (long ilF = ac.ilPacFeatureFirst; ilF >= 0;) {
                FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(ilF)];
                long clErr = 0;
                ComputeFeatureCounts(m, dt, dt, static_cast<int>(t), ac, clErr, fd);
                ilF = fd.ilNextFeature;
            }
        }
    }
}

} // namespace

int main() {
    const std::string szCorpus = std::string(VEXTA_SHARED_DIR) + "/corpus/cs-ud-dev.csts";
    if (!std::filesystem::exists(szCorpus)) {
        std::printf("bench_probs: %s not found; skipped\n", szCorpus.c_str());
        return 0;
    }
    const std::string szArgFile =
        (std::filesystem::temp_directory_path() / "bench_probs.args").string();
    {
        std::ofstream os(szArgFile);
        os << "InData = " << szCorpus << "\n"
           << "SentTag = Z#-------------\nSentForm = ###\nSentLemma = ###\nTagTable =\n"
           << "TrainStart = 0\nTrainLines = 44043\nHeldoutStart = 44043\nHeldoutLines = 5570\n"
           << "TestStart = 49613\nTestLines = 5544\n";
    }
    ux_ArgOpen(szArgFile);
    Model& m = model;
    m.cTagElem = 15;
    m.cBeam = 5;
    m.dRawExpWeight = 0.95;
    m.fProgMode = kModeTrain;
    m.phashStr = ux_HashNew(200000, 4000000, 4000);
    m.pszEmpty = Intern(m, "");
    m.rgteTagElem.resize(15);
    for (TagElem& te : m.rgteTagElem) te.fSignPlus = 1;
    m.pdtT = &dtT;
    m.pdtH = &dtH;
    m.pdtS = &dtS;
    std::FILE* pfErr = std::freopen("/dev/null", "w", stderr); // progress lines of the callees
    const int rc = ReadData(szArgFile, m, "");
    std::filesystem::remove(szArgFile);
    if (rc != 0) {
        std::printf("bench_probs: ReadData failed (RC %d)\n", rc);
        return 1;
    }
    auto t0 = Clock::now();
    BuildModel(m, dtT);
    std::printf("model: %ld features, %ld classes, built and counted in %.2f s\n",
                m.clFeatureAreaUsed, m.clAmbClassAreaUsed, Seconds(t0));

    // Beam search over the test segment; it also leaves beams for mode 2.
    const int cRuns = 3;
    t0 = Clock::now();
    for (int i = 0; i < cRuns; ++i) {
        ErrorRateDataVTC(dtS, m, 0, 0, 0, dtS.clLines, 0, dtS.clLines - 1);
    }
    double dSec = Seconds(t0);
    std::printf("beam search (beam %d, own context): %.0f lines/s; test line errors %ld of %ld\n",
                m.cBeam, cRuns * dtS.clLines / dSec, m.clErr, dtS.clLines);

    for (int fMode : {kProbsModeTrainCtx, kProbsModeTag}) {
        TagProbs probs{};
        long cCalls = 0;
        long lCheck = 0;
        t0 = Clock::now();
        for (int i = 0; i < cRuns; ++i) {
            for (long il = 0; il < dtS.clLines; ++il) {
                dtS.iBeamPrev = 0;
                for (int t = 0; t < m.cTagElem; ++t) {
                    int iBest = 0;
                    GetTagProbsInto(fMode, nullptr, &probs, iBest, m, t, dtS, il);
                    lCheck += iBest;
                    ++cCalls;
                }
            }
        }
        dSec = Seconds(t0);
        std::printf("GetTagProbs mode %d: %.2f M calls/s (%ld calls, check %ld)\n", fMode,
                    cCalls / dSec / 1e6, cCalls, lCheck);
    }

    // Training-time passes: every feature linked to the training lines where
    // it fires, then the whole-tag pass and the per-class passes from links.
    t0 = Clock::now();
    for (int t = 0; t < m.cTagElem; ++t) {
        const TagElem& te = m.rgteTagElem[static_cast<std::size_t>(t)];
        for (long ia = 0; ia < te.clAmbClass; ++ia) {
            AmbClass& ac = m.rgacAmbClassArea[static_cast<std::size_t>(te.ilAmbClassFirst + ia)];
            for (long ilF = ac.ilPacFeatureFirst; ilF >= 0;) {
                FeatureDesc& fd = m.rgfdFeatureArea[static_cast<std::size_t>(ilF)];
                long clErr = 0;
                long ilFirst = -1;
                // All-data chains only: the class chains of the table serve
                // the last tag element counted.
                if (ac.fACIgnore) {
                    LinkFeature(m, dtT, dtH, t, ac, clErr, ilFirst, fd);
                    LinkTrainFeature(m, dtT, dtH, ilFirst, fd);
                }
                ilF = fd.ilNextFeature;
            }
        }
    }
    std::printf("linking all-data features: %.2f s\n", Seconds(t0));
    t0 = Clock::now();
    ErrorRateDataVTC(dtT, m, 0, 1, 0, dtT.clData, 0, dtT.clData - 1);
    dSec = Seconds(t0);
    std::printf("beam search (beam %d, links): %.0f lines/s; training line errors %ld of %ld\n",
                m.cBeam, dtT.clData / dSec, m.clErr, dtT.clData);
    t0 = Clock::now();
    long cLines = 0;
    for (int t = 0; t < m.cTagElem; ++t) {
        AmbClass& acAll = m.rgacAmbClassArea[static_cast<std::size_t>(
            m.rgteTagElem[static_cast<std::size_t>(t)].ilAmbClassFirst)];
        ErrorRateAmbClass(dtT, m, acAll, t);
        cLines += dtT.clData;
    }
    dSec = Seconds(t0);
    std::printf("per-class pass from links: %.2f M line decisions/s\n", cLines / dSec / 1e6);
    (void)pfErr;
    return 0;
}
