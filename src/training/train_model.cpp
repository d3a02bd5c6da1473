// The training loop: iterations, pool building, greedy feature selection
// with the weight search, the reports, and the lambda-variation iterations.

#include "training/train_model.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>

#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "base/ux_index.h"
#include "features/entropy_sort.h"
#include "features/feature_match.h"
#include "features/pool_file.h"
#include "features/pool_gen.h"
#include "tagging/beam_search.h"
#include "tagging/error_rate.h"
#include "training/element_errors.h"
#include "training/lambda_variation.h"

namespace vexta {

namespace {

// Exit statuses of the report passes and of the pool.
constexpr int kExitInitTrain = 1550;
constexpr int kExitInitHeldout = 1558;
constexpr int kExitInitTest = 1551;
constexpr int kExitPoolRead = 19;
constexpr int kExitPoolMode = 192;
constexpr int kExitTrainErrorRate = 15;
constexpr int kExitFinalTrain = 155;
constexpr int kExitFinalHeldout = 156;
constexpr int kExitFinalTest = 157;
constexpr int kExitShiftPass = 154;
constexpr int kExitVary = 153;
constexpr int kExitShiftTrain = 131;
constexpr int kExitShiftHeldout = 132;
constexpr int kExitLastTest = 158;

// Size arguments of the table that counts generated features.
constexpr long kSuggStrSpace = 200000;
constexpr long kSuggWork = 4000;

// Template markers in the order the generator runs them, with the status a
// failure of each ends the run with.
struct TemplateBase {
    std::string_view szMarker;
    int iBase;
    int iExit;
};
constexpr std::array<TemplateBase, 4> kTemplateBases{{
    {"=base=", 1, 191},
    {"=base2=", 2, 193},
    {"=base3=", 3, 190},
    {"=base4=", 4, 176},
}};

// Beam-search passes: training flag 1 takes the features linked to each line
// (true context), 0 matches them along the tagger's own choices.
constexpr int kTrueContext = 1;
constexpr int kOwnContext = 0;

const char* Str(const char* psz) {
    return psz != nullptr ? psz : "(none)";
}

// A beam-search pass over lines 0..ilTo-1 of the table; a failure ends the
// process with iExit.
int VtcPass(DataTable& dt, Model& m, int fTraining, long ilTo, int iExit) {
    const int iRes = ErrorRateDataVTC(dt, m, 0, fTraining, 0, ilTo, 0, ilTo - 1);
    if (iRes > 0) {
        std::fprintf(stderr, "%s: VTC error rate failed: code %d\n", ux_ProgName().c_str(), iRes);
        ux_Exit(iExit);
    }
    return iRes;
}

// A pass over every stored line of the table and its error-rate line.
int VtcReport(DataTable& dt, Model& m, int fTraining, std::string_view szLabel, int iExit) {
    const int iRes = VtcPass(dt, m, fTraining, dt.clData, iExit);
    PrintErrorRate(m, ux_ProgName(), szLabel, m.clErr, dt.clWords, dt.clData, -1);
    return iRes;
}

DataTable& TestTable(Model& m) {
    if (m.pdtS == nullptr) {
        ux_FatalError(kModApp, kMsgApp, "TrainModel: no test data table");
    }
    return *m.pdtS;
}

// The classes of tag element te, in area order.
template <typename Fn> void ForEachClass(Model& m, const TagElem& te, Fn fn) {
    const long ilEnd =
        std::min(te.ilAmbClassFirst + te.clAmbClass, static_cast<long>(m.rgacAmbClassArea.size()));
    for (long il = std::max(te.ilAmbClassFirst, 0L); il < ilEnd; ++il) {
        fn(il, m.rgacAmbClassArea[Idx(il)]);
    }
}

// At the start of an iteration: where training, heldout and test data stand.
void ReportIterationStart(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iIteration) {
    std::array<char, 256> szLabel{};
    std::snprintf(szLabel.data(), szLabel.size(),
                  "<<i %d>> thr(%ld), pool(%d), f#(%ld): init VTC tr (pft links) error:",
                  iIteration, static_cast<long>(m.cThrMin), m.cPoolThr, m.clFeatureAreaUsed);
    VtcReport(dtTrain, m, kTrueContext, szLabel.data(), kExitInitTrain);
    VtcReport(dtHeldout, m, kOwnContext, "- VTC heldout error:", kExitInitHeldout);
    VtcReport(TestTable(m), m, kOwnContext, "- and VTC test error:", kExitInitTest);
}

// Before a pool is built: an empty pool, no class with pool features.
void ResetPool(Model& m) {
    m.clFeatureSuggUsed = 0;
    // The pool file of the previous iteration is not read any more.
    if (m.hFeaturePool != 0) ux_Close(m.hFeaturePool);
    m.hFeaturePool = 0;
    m.hModelFile = 0;
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;
    for (const TagElem& te : m.rgteTagElem) {
        ForEachClass(m, te, [](long, AmbClass& ac) {
            ac.ilSuggFirst = -1;
            ac.ilSuggLast = -1;
            ac.ilSuggAct = -1;
        });
    }
}

// The pool of iteration iIteration, generated (on cThreads threads) or read.
void BuildPool(DataTable& dtTrain, Model& m, int iIteration, int cThreads) {
    if (m.iFeatureMode == 2) {
        const int iRes = ReadFeaturesPool(&m);
        if (iRes > 0) {
            std::fprintf(stderr, "%s: cannot read feature pool: code %d\n", ux_ProgName().c_str(),
                         iRes);
            ux_Exit(kExitPoolRead);
        }
        return;
    }
    if (m.iFeatureMode != 0 && m.iFeatureMode != 1) {
        std::fprintf(stderr, "%s: wrong feature i/o mode: %d\n", ux_ProgName().c_str(),
                     m.iFeatureMode);
        ux_Exit(kExitPoolMode);
    }
    m.phashSugg = ux_HashNew(m.clFeatureSuggSize, kSuggStrSpace, kSuggWork);
    if (!m.phashSugg) {
        ux_FatalError(kModApp, kMsgApp,
                      "init feature hash table (generation) failed: features " +
                          std::to_string(m.clFeatureSuggSize) + ", str " +
                          std::to_string(kSuggStrSpace) + ")");
    }
    const int fAll = iIteration == 0 ? 1 : 0;
    for (const TemplateBase& base : kTemplateBases) {
        if (m.szFeatureTemplates.find(base.szMarker) == std::string::npos) continue;
        const int iRes = GenerateFSG5(&m, &dtTrain, base.iBase, 0, fAll, cThreads);
        if (iRes > 0) {
            std::fprintf(stderr, "%s: cannot generate feature pool (%s): code %d\n",
                         ux_ProgName().c_str(), m.szFeatureTemplates.c_str(), iRes);
            ux_Exit(base.iExit);
        }
    }
    if (SortFeatureSugg(&m, cThreads) != 0) {
        ux_FatalError(kModApp, kMsgApp,
                      "cannot sort/write/prepare for training the generated feature pool.");
    }
}

// What only the selection of tag element iTE uses goes: the temporary links
// and the per-line lists and chains they and the firing lines use.
void ReleaseSelectionLines(DataTable& dtTrain, int iTE) {
    std::vector<FeatureLink*>& rgplink = dtTrain.rgplinkFeature[Idx(iTE)];
    for (FeatureLink*& plinkHead : rgplink) FreeFeatureLinks(dtTrain, iTE, plinkHead);
    std::vector<FeatureLink*>().swap(rgplink);
    std::vector<long>().swap(dtTrain.rgilNextFeature[Idx(iTE)]);
}

// Releases the class-line chains of tag element iTE; its classes have no
// lines chained then.
void ReleaseClassLines(DataTable& dtTrain, Model& m, int iTE) {
    ForEachClass(m, m.rgteTagElem[Idx(iTE)], [](long, AmbClass& ac) { ac.ilDataFirst = -1; });
    std::vector<long>().swap(dtTrain.rgilNextAC[Idx(iTE)]);
}

// After the selection for tag element iTE: the temporary links go, and the
// training error is reported. The error counts are those of a full
// true-context pass (ErrorRateData), kept up to date line by line.
void EndOfTagElem(DataTable& dtTrain, Model& m, int iTE, ElementErrors& errors) {
    std::fprintf(stderr, "Freeing memory for pft links.\n");
    ReleaseSelectionLines(dtTrain, iTE);

    const auto Check = [&](int iRes) {
        if (iRes > 0) {
            std::fprintf(stderr, "%s: cannot compute tr error rate: code %d\n",
                         ux_ProgName().c_str(), iRes);
            ux_Exit(kExitTrainErrorRate);
        }
    };
    // The diagnostics of the full pass are printed when they are switched on.
    Check(m.trace.fDebug3 >= 0 ? ErrorRateData(dtTrain, m, 0) : errors.Update(dtTrain, m, iTE));
    assert(m.trace.fDebug3 >= 0 || errors.MatchesRecount(dtTrain, m, iTE));
    PrintErrorRate(m, ux_ProgName(),
                   "*** training data error:", m.rgteTagElem[Idx(iTE)].clErrTagElem,
                   dtTrain.clWords, dtTrain.clLines, iTE);
    PrintErrorRate(m, ux_ProgName(), "*** training data error:", m.clErr, dtTrain.clWords,
                   dtTrain.clLines, -1);
    // The pass is repeated on unchanged data; it gives the same counts, so it
    // only needs to run again when its diagnostics are switched on.
    if (m.trace.fDebug3 >= 0) Check(ErrorRateData(dtTrain, m, 0));
    ReleaseClassLines(dtTrain, m, iTE);
}

// Chains the training lines of every class of tag element iTE (from the last
// line to the first) and empties the lines' temporary links.
void ChainClassLines(DataTable& dtTrain, Model& m, int iTE, SelectionWork& work) {
    TagElem& te = m.rgteTagElem[Idx(iTE)];
    work.mpClassByAC.clear();
    ForEachClass(m, te, [&](long, AmbClass& ac) {
        ac.ilDataFirst = -1;
        // Class strings are interned like the lines' classes; the first class
        // of a string is the one found.
        if (ac.pszAmbClass != nullptr) work.mpClassByAC.try_emplace(ac.pszAmbClass, &ac);
    });
    std::vector<long>& rgilNext = dtTrain.rgilNextAC[Idx(iTE)];
    std::vector<FeatureLink*>& rgplink = dtTrain.rgplinkFeature[Idx(iTE)];
    // The lists only the element's selection uses (ReleaseSelectionLines).
    const auto cLines = Idx(std::max(dtTrain.clData, 0L));
    if (rgilNext.size() < cLines) rgilNext.resize(cLines, -1);
    if (rgplink.size() < cLines) rgplink.resize(cLines, nullptr);
    if (dtTrain.rgilNextFeature[Idx(iTE)].size() < cLines) {
        dtTrain.rgilNextFeature[Idx(iTE)].resize(cLines, -1);
    }
    for (long il = 0; il < dtTrain.clData; ++il) {
        const auto it = work.mpClassByAC.find(dtTrain.rgdl[Idx(il)].rgpszAC[Idx(iTE)]);
        if (it != work.mpClassByAC.end()) {
            rgilNext[Idx(il)] = it->second->ilDataFirst;
            it->second->ilDataFirst = il;
        }
        FreeFeatureLinks(dtTrain, iTE, rgplink[Idx(il)]);
    }
}

// The lines of class ac that are mis-tagged in iTE and have two or more
// values there: the only lines where a candidate can remove an error.
void CollectErrorLines(const DataTable& dtTrain, const AmbClass& ac, int iTE,
                       std::vector<long>& rgilErrLines) {
    rgilErrLines.clear();
    const std::vector<unsigned char>& rgfErr = dtTrain.rgrgfErr[Idx(iTE)];
    const auto Take = [&](long il) {
        const char* pszAC = dtTrain.rgdl[Idx(il)].rgpszAC[Idx(iTE)];
        if (rgfErr[Idx(il)] != 0 && pszAC[0] != '\0' && pszAC[1] != '\0')
            rgilErrLines.push_back(il);
    };
    if (ac.fACIgnore) {
        for (long il = 0; il < dtTrain.clData; ++il) Take(il);
        return;
    }
    const std::vector<long>& rgilNext = dtTrain.rgilNextAC[Idx(iTE)];
    for (long il = ac.ilDataFirst; il >= 0 && il < dtTrain.clData; il = rgilNext[Idx(il)]) {
        Take(il);
    }
}

// True when the candidate fires on at least clThr of the class's mis-tagged
// lines, the count LinkFeature reports; those lines are then in
// rgilFiring. Stops once the threshold cannot be reached.
bool FiresOnEnoughErrors(const Model& m, const DataTable& dtTrain, const FeatureDesc& fd,
                         const std::vector<long>& rgilErrLines, long clThr,
                         const LineColumns& columns, std::vector<long>& rgilFiring) {
    rgilFiring.clear();
    if (static_cast<long>(rgilErrLines.size()) < clThr) return false;
    LineColumns::Compiled cf;
    columns.Compile(m, fd, cf);
    long clLeft = static_cast<long>(rgilErrLines.size());
    for (const long il : rgilErrLines) {
        if (columns.Fires(m, dtTrain, cf, il)) rgilFiring.push_back(il);
        // Not enough lines left to reach the threshold.
        if (static_cast<long>(rgilFiring.size()) + --clLeft < clThr) return false;
    }
    return static_cast<long>(rgilFiring.size()) >= clThr;
}

// Whether the candidate at the head of the chain of ac can be turned down
// from its mis-tagged firing lines alone: the weight search keeps a
// candidate whose improvement (lines corrected less lines newly wrong)
// reaches clThr at some weight, and no weight corrects more than it finds
// among those lines. Their trial costs a tenth of the whole one, which most
// candidates do not pass. False when it cannot tell (a line left to the
// probability model, or its traces on).
bool FailsOnErrorLines(DataTable& dtTrain, Model& m, int iTE, AmbClass& ac, long clThr,
                       SelectionWork& work) {
    if (m.trace.ProbsOn() || m.trace.fDebug8) return false;
    long ilFirst = -1;
    std::vector<long>& rgilNext = dtTrain.rgilNextFeature[Idx(iTE)];
    for (auto it = work.rgilErrFiring.rbegin(); it != work.rgilErrFiring.rend(); ++it) {
        rgilNext[Idx(*it)] = ilFirst;
        ilFirst = *it;
    }
    FeatureDesc& fd = m.rgfdFeatureArea[Idx(ac.ilPacFeatureFirst)];
    work.trial.Prepare(dtTrain, m, ac, ilFirst, iTE);
    WeightSearch search(m.dLambdaMax, m.dLambdaMin);
    for (double dLambda = 0.0; search.Next(dLambda);) {
        fd.dLambda = dLambda;
        long clCorrected = 0;
        if (!work.trial.Corrected(m, ac, clCorrected) || clCorrected >= clThr) return false;
    }
    return true;
}

void ReportMismatch(std::FILE* pf, const Model& m, const AmbClass& ac, const FeatureDesc& fd) {
    std::fprintf(pf, "MISMATCH: pac->pszAmbClass == %s, ", Str(ac.pszAmbClass));
    std::fprintf(pf, "fdSuggested.pszACFeature == %s, ", Str(fd.pszACFeature));
    std::fprintf(pf, "fdSuggested.pacOfFeature->pszAmbClass == %s\n",
                 fd.pacOfFeature != nullptr ? Str(fd.pacOfFeature->pszAmbClass) : Str(nullptr));
    PrintFeature(pf, m, fd);
    std::fprintf(pf, " (end of mismatch report)\n");
}

// Puts the candidate fd at the head of the chain of ac: in the area (AddFeature),
// or for a staged tag element in its own area entry, failing where one run
// could not add it: when the element alone has filled the free area. 0, or
// kAddFeatureAreaFull.
int AddCandidate(const FeatureDesc& fd, Model& m, AmbClass& ac, SelectionWork& work) {
    FeatureStage& stage = work.stage;
    if (stage.ilSlot < 0) return AddFeature(fd, m, ac);
    const auto k = stage.rgfd.size();
    if (stage.rgcchAdd.size() == k) stage.rgcchAdd.push_back(work.log.Size());
    if (static_cast<long>(k) >= stage.clFree) return kAddFeatureAreaFull;
    FeatureDesc& fdNew = m.rgfdFeatureArea[Idx(stage.ilSlot)];
    fdNew = fd;
    fdNew.iFeature = static_cast<int>(stage.ilSlot);
    fdNew.plinkData = nullptr;
    fdNew.ilNextFeature = ac.ilPacFeatureFirst;
    ac.ilPacFeatureFirst = stage.ilSlot;
    ++ac.clFeatureCnt;
    return 0;
}

// Removes the candidate at the head of the chain of ac, as DelFeature does.
int RemoveCandidate(Model& m, AmbClass& ac, SelectionWork& work) {
    const FeatureStage& stage = work.stage;
    if (stage.ilSlot < 0) return DelFeature(m, ac);
    if (ac.ilPacFeatureFirst != stage.ilSlot) return kDelFeatureNotHead;
    FeatureDesc& fd = m.rgfdFeatureArea[Idx(stage.ilSlot)];
    fd.rgclCntTagElemGivenFeature.clear();
    ac.ilPacFeatureFirst = fd.ilNextFeature;
    --ac.clFeatureCnt;
    return ac.clFeatureCnt < 0 ? kDelFeatureCountNegative : 0;
}

// The accepted candidate at the head of the chain of ac, where it stays: in
// the area, or for a staged tag element moved from its area entry to the
// stage, and known by its staged index from now on.
FeatureDesc& KeepCandidate(Model& m, AmbClass& ac, SelectionWork& work) {
    FeatureStage& stage = work.stage;
    if (stage.ilSlot < 0) return m.rgfdFeatureArea[Idx(ac.ilPacFeatureFirst)];
    const auto k = static_cast<long>(stage.rgfd.size());
    FeatureDesc& fd = stage.rgfd.emplace_back(std::move(m.rgfdFeatureArea[Idx(stage.ilSlot)]));
    fd.iFeature = static_cast<int>(k);
    ac.ilPacFeatureFirst = kStagedIndexBase + k;
    return fd;
}

// Features accepted so far, as SelectionLog::Index prints it.
long FeaturesNow(const Model& m, const SelectionWork& work) {
    if (work.stage.ilSlot < 0) return m.clFeatureAreaUsed;
    return kStagedIndexBase + static_cast<long>(work.stage.rgfd.size());
}

// Tries the candidate in work.fdSuggested on class ac of tag element iTE at
// threshold clThr. 0, or a training failure code.
int TryCandidate(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iTE, AmbClass& ac,
                 long clThr, SelectionWork& work) {
    std::FILE* const pfLog = work.log.File();
    const FeatureDesc& fdSugg = work.fdSuggested;
    if (ac.pszAmbClass != fdSugg.pszACFeature || fdSugg.pacOfFeature != &ac ||
        ac.pszAmbClass != fdSugg.pacOfFeature->pszAmbClass) {
        ReportMismatch(pfLog, m, ac, fdSugg);
    }
    if (fdSugg.clCnt < clThr) return 0;
    // A candidate that fires on too few mis-tagged lines is turned down
    // without being added; with the feature trace on it goes the whole way.
    if (!m.trace.fDebug8 && !FiresOnEnoughErrors(m, dtTrain, fdSugg, work.rgilErrLines, clThr,
                                                 *work.pcolumns, work.rgilErrFiring))
        return 0;

    if (const int iRes = AddCandidate(fdSugg, m, ac, work); iRes > 0) {
        return kTrainErrAddFeature + iRes;
    }
    if (FailsOnErrorLines(dtTrain, m, iTE, ac, clThr, work)) {
        const int iRes = RemoveCandidate(m, ac, work);
        return iRes > 0 ? kTrainErrDelWeak + iRes : 0;
    }
    FeatureDesc& fd = m.rgfdFeatureArea[Idx(ac.ilPacFeatureFirst)];
    long clErrFiring = 0;
    long ilFirst = -1;
    if (const int iRes = work.firing.Link(m, dtTrain, dtHeldout, iTE, ac, clErrFiring, ilFirst, fd,
                                          *work.pcolumns);
        iRes > 0) {
        return kTrainErrAmbClass + iRes;
    }
    if (m.trace.fDebug8) {
        PrintFeature(pfLog, m, fd);
        std::fprintf(pfLog, "\n");
    }
    if (clErrFiring < clThr) {
        const int iRes = RemoveCandidate(m, ac, work);
        return iRes > 0 ? kTrainErrDelUnfit + iRes : 0;
    }

    WeightSearch search(m.dLambdaMax, m.dLambdaMin);
    work.trial.Prepare(dtTrain, m, ac, ilFirst, iTE);
    for (double dLambda = 0.0; search.Next(dLambda);) {
        fd.dLambda = dLambda;
        if (m.trace.fDebug8) {
            PrintFeature(pfLog, m, fd);
            std::fprintf(pfLog, "\n");
        }
        if (const int iRes = work.trial.Measure(dtTrain, m, ac, iTE); iRes > 0) {
            return kTrainErrTrial + iRes;
        }
        search.Record(ac.clErrBefore - ac.clErrAmbClass);
    }
    if (search.Best() < clThr) {
        const int iRes = RemoveCandidate(m, ac, work);
        return iRes > 0 ? kTrainErrDelWeak + iRes : 0;
    }

    FeatureDesc& fdKept = KeepCandidate(m, ac, work);
    fdKept.dLambda = search.BestWeight();
    std::fprintf(pfLog, "___Max improvement %ld, (bef %ld), max lambda: %f\n", search.Best(),
                 ac.clErrBefore, fdKept.dLambda);
    // The temporary links of a staged element would only be released unread
    // (and held meanwhile beside those of every other element).
    if (const int iRes =
            LinkTrainFeature(m, dtTrain, dtHeldout, ilFirst, fdKept, pfLog, work.stage.ilSlot < 0);
        iRes > 0) {
        return kTrainErrLinkTrain + iRes;
    }
    // The lines where it fires now carry one more feature.
    work.trial.Forget();
    if (const int iRes = work.classErrors.Accepted(dtTrain, m, ac, iTE, ilFirst); iRes > 0) {
        return kTrainErrAmbClassAfter + iRes;
    }
    if (work.fCheckErrors && !work.classErrors.MatchesRecount(dtTrain, m, iTE)) {
        ux_FatalError(kModApp, kMsgApp, "kept class error counts differ from a recount");
    }
    if (ac.ilPacFeatureFirst != -1) {
        std::fputc('<', pfLog);
        work.log.Index(ac.ilPacFeatureFirst);
        std::fputs(">: ", pfLog);
        PrintFeatureBody(pfLog, m, fdKept);
        std::fputs(",^", pfLog);
        work.log.Index(fdKept.ilNextFeature);
        std::fputc('\n', pfLog);
        work.log.LineDone();
    }
    std::fprintf(pfLog, "___improvement %ld, new error rate: %ld\n",
                 ac.clErrBefore - ac.clErrAmbClass, ac.clErrAmbClass);
    ac.clErrBefore = ac.clErrAmbClass;
    CollectErrorLines(dtTrain, ac, iTE, work.rgilErrLines);
    return 0;
}

// One pass over the classes of tag element iTE at threshold clThr;
// clErrMax receives the largest class error met. 0, or a failure code.
int SelectionPass(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iTE, long clThr,
                  long& clErrMax, SelectionWork& work) {
    clErrMax = 0;
    const TagElem& te = m.rgteTagElem[Idx(iTE)];
    const long ilEnd = te.ilAmbClassFirst + te.clAmbClass;
    for (long ilAC = te.ilAmbClassFirst; ilAC < ilEnd; ++ilAC) {
        AmbClass& ac = m.rgacAmbClassArea[Idx(ilAC)];
        if (const int iRes = work.classErrors.Count(dtTrain, m, ac, iTE); iRes > 0) {
            return kTrainErrAmbClass + iRes;
        }
        ac.clErrBefore = ac.clErrAmbClass;
        clErrMax = std::max(clErrMax, ac.clErrAmbClass);
        std::fprintf(work.log.File(), "err rate: %s: %ld, thr %ld\n", Str(ac.pszAmbClass),
                     ac.clErrAmbClass, clThr);
        work.log.LineDone();
        if (ac.clErrAmbClass < clThr) continue;

        CollectErrorLines(dtTrain, ac, iTE, work.rgilErrLines);
        work.firing.SetClass(dtTrain, ac, iTE);
        work.trial.Forget();
        ClearSuggested(work.fdSuggested);
        int iRes = SuggestFeature(work.fdSuggested, dtTrain, dtHeldout, m, iTE, ac);
        if (iRes > 0) return kTrainErrSuggestFirst + iRes;
        while (iRes == 0) {
            if (const int iTry = TryCandidate(dtTrain, dtHeldout, m, iTE, ac, clThr, work);
                iTry > 0) {
                return iTry;
            }
            iRes = SuggestFeature(work.fdSuggested, dtTrain, dtHeldout, m, iTE, ac);
            if (iRes > 0) return kTrainErrSuggestNext + iRes;
        }
    }
    return 0;
}

// One lambda-variation iteration.
void LambdaIteration(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int k, LambdaWork& work) {
    std::fprintf(stderr, "Varying lambdas: iteration %d ^^^^^^^\n", k);
    VtcReport(dtTrain, m, kOwnContext, "VTC training data (cont.) error:", kExitFinalTrain);
    VtcReport(dtHeldout, m, kOwnContext, "VTC heldout data error:", kExitFinalHeldout);
    VtcReport(TestTable(m), m, kOwnContext, "VTC test data error:", kExitFinalTest);
    VtcReport(dtTrain, m, kTrueContext, "VTC training data (true ctx) error:", kExitFinalTrain);

    std::fprintf(stderr, "---------------------------- data shift: %ld\n", 0L);
    // The weights are measured on lines 0..clData-2. A table of fewer than
    // two lines leaves no line to measure on: no pass, no weight changes.
    const long ilEnd = dtTrain.clData - 1;
    if (ilEnd > 0) VtcPass(dtTrain, m, kTrueContext, ilEnd, kExitShiftPass);

    long clFeature = 0;
    for (int t = 0; t < m.cTagElem; ++t) {
        ForEachClass(m, m.rgteTagElem[Idx(t)], [&](long ilAC, AmbClass& ac) {
            for (long il = ac.ilPacFeatureFirst; il >= 0 && il < m.clFeatureAreaUsed;
                 il = m.rgfdFeatureArea[Idx(il)].ilNextFeature) {
                FeatureDesc& fd = m.rgfdFeatureArea[Idx(il)];
                std::fprintf(stderr, "%ld: ", clFeature);
                PrintFeature(stderr, m, fd);
                std::fprintf(stderr, "\n");
                ++clFeature;
                const int iRes = VaryLambdaVTC(dtTrain, m, t, ilAC, fd, 0, ilEnd, work);
                if (iRes > 0) {
                    std::fprintf(stderr, "%s: lambda variation err: code %d\n",
                                 ux_ProgName().c_str(), iRes);
                    ux_Exit(kExitVary);
                }
            }
        });
    }

    VtcReport(dtTrain, m, kTrueContext, "end-of-shift VTC tr (true ctx) error:", kExitShiftTrain);
    VtcReport(dtTrain, m, kOwnContext, "end-of-shift VTC tr (cont.) error:", kExitShiftTrain);
    VtcReport(dtHeldout, m, kOwnContext, "end-of-shift VTC ho error:", kExitShiftHeldout);
}

} // namespace

void ClearSuggested(FeatureDesc& fdSuggested) {
    fdSuggested.cTerms = 0;
    fdSuggested.pacOfFeature = nullptr;
}

int SuggestFeature(FeatureDesc& fdSuggested, DataTable& /*dtTrain*/, DataTable& /*dtHeldout*/,
                   Model& m, int /*iTE*/, AmbClass& ac) {
    const auto cPool = static_cast<long>(m.rgfdFeatureSugg.size());
    const auto InWalk = [&](long il) {
        return il >= 0 && il >= ac.ilSuggFirst && il <= ac.ilSuggLast && il < cPool;
    };
    // A term-less pool feature copied here must not start the walk again.
    const bool fTermlessCopy = fdSuggested.cTerms == 0 && fdSuggested.pacOfFeature == &ac &&
                               InWalk(ac.ilSuggAct) &&
                               m.rgfdFeatureSugg[Idx(ac.ilSuggAct)].cTerms == 0;
    if (fdSuggested.cTerms == 0 && !fTermlessCopy) {
        ac.ilSuggAct = ac.ilSuggFirst;
    } else {
        ++ac.ilSuggAct;
    }
    if (ac.ilSuggAct == -1 || ac.ilSuggAct > ac.ilSuggLast || !InWalk(ac.ilSuggAct)) return -1;
    // Assignment reuses the record's count array.
    fdSuggested = m.rgfdFeatureSugg[Idx(ac.ilSuggAct)];
    return 0;
}

int AddFeature(const FeatureDesc& fd, Model& m, AmbClass& ac) {
    if (m.clFeatureAreaUsed >= m.clFeatureAreaSize ||
        m.clFeatureAreaUsed >= static_cast<long>(m.rgfdFeatureArea.size())) {
        return kAddFeatureAreaFull;
    }
    const long il = m.clFeatureAreaUsed;
    FeatureDesc& fdNew = m.rgfdFeatureArea[Idx(il)];
    // Assignment gives the feature its own count array, reusing the storage
    // a rejected candidate left in this entry.
    fdNew = fd;
    fdNew.iFeature = static_cast<int>(il);
    fdNew.plinkData = nullptr;
    fdNew.ilNextFeature = ac.ilPacFeatureFirst;
    ac.ilPacFeatureFirst = il;
    ++ac.clFeatureCnt;
    ++m.clFeatureAreaUsed;
    return 0;
}

int DelFeature(Model& m, AmbClass& ac) {
    if (m.clFeatureAreaUsed <= 0) return kDelFeatureNone;
    const long il = m.clFeatureAreaUsed - 1;
    // Removing a feature that is not the head of the chain would leave the
    // chain pointing at an entry the next candidate overwrites.
    if (il != ac.ilPacFeatureFirst) return kDelFeatureNotHead;
    --m.clFeatureAreaUsed;
    FeatureDesc& fd = m.rgfdFeatureArea[Idx(il)];
    fd.rgclCntTagElemGivenFeature.clear();
    ac.ilPacFeatureFirst = fd.ilNextFeature;
    --ac.clFeatureCnt;
    return ac.clFeatureCnt < 0 ? kDelFeatureCountNegative : 0;
}

void InstallIterationParams(Model& m, const IterationParams& ip) {
    m.cThrMin = ip.ipcThrMin;
    m.cPoolThr = ip.ipcPoolThr;
    m.cClosestThr = ip.ipcClosestThr;
    m.dLambdaMax = ip.ipdLambdaMax;
    m.dLambdaMin = ip.ipdLambdaMin;
    m.szFeatureTemplates = ip.ipszFeatureTemplates;
    m.iHeavySmoothing = ip.ipiHeavySmoothing;
    m.iMultiPass = ip.ipiMultiPass;
    m.fModelAC = ip.ipfModelAC;
    m.fModelGeneral = ip.ipfModelGeneral;
    m.fUITForms = ip.ipfUITForms;
    m.fUITACs = ip.ipfUITACs;
    m.fUITTags = ip.ipfUITTags;
    m.fUITSetElements = ip.ipfUITSetElements;
    m.iSortSugg = ip.ipiSortSugg;
    m.dSuggEntropyThr = ip.ipdSuggEntropyThr;
    m.fLeftOnly = ip.ipfLeftOnly;
    m.ilMaxFSG = ip.ipilMaxFSG;
    if (m.cPoolThr < m.cThrMin) m.cPoolThr = m.cThrMin;
}

ThresholdSchedule::ThresholdSchedule(long clData, int cThrMin, bool fHalving)
    : clThr_(fHalving ? clData : 0), clThrPrev_(clData + 1), clErrMax_(clData), cThrMin_(cThrMin) {}

bool ThresholdSchedule::Next(long& clThr) {
    if (fDone_) return false;
    clThr_ /= 2;
    if (clThr_ > clErrMax_) clThr_ = clErrMax_;
    if (clThr_ < cThrMin_) {
        if (cThrMin_ >= clThrPrev_) {
            fDone_ = true;
            return false;
        }
        clThr_ = cThrMin_;
    }
    clThrPrev_ = clThr_;
    clErrMax_ = 0;
    clThr = clThr_;
    return true;
}

void ThresholdSchedule::PassDone(long clErrMax) {
    clErrMax_ = clErrMax;
    if (clThr_ <= cThrMin_) fDone_ = true;
}

bool WeightSearch::Next(double& dLambda) {
    if (fDone_) return false;
    if (dPrev_ < 0) {
        dLambda = 1.0;
    } else if (dPrev_ > 0.999) {
        dLambda = dPrev_ <= dLambdaMax_ ? 2.0 * dPrev_ : 0.5;
    } else {
        dLambda = dPrev_ / 2.0;
    }
    dPrev_ = dLambda;
    // The first weight at or below the lower bound is the last one; a weight
    // of 0 (reachable only through a non-positive previous weight) ends it too.
    if (dLambda <= dLambdaMin_ || !(dLambda > 0.0)) fDone_ = true;
    return true;
}

void WeightSearch::Record(long clImprovement) {
    if (clImprovement > clBest_) {
        clBest_ = clImprovement;
        dBest_ = dPrev_;
    } else if (clImprovement == clBest_ && std::fabs(1.0 - dPrev_) < std::fabs(1.0 - dBest_)) {
        dBest_ = dPrev_;
    }
}

void LinkFeatureLineLists(DataTable& dtTrain, Model& m) {
    for (const TagElem& te : m.rgteTagElem) {
        ForEachClass(m, te, [&](long, AmbClass& ac) {
            for (long il = ac.ilPacFeatureFirst; il >= 0 && il < m.clFeatureAreaUsed;
                 il = m.rgfdFeatureArea[Idx(il)].ilNextFeature) {
                m.rgfdFeatureArea[Idx(il)].plinkData = nullptr;
            }
        });
    }
    for (std::vector<FeatureLink*>& rgplink : dtTrain.rgplinkFeature2) {
        for (long il = 0; il < dtTrain.clData && il < static_cast<long>(rgplink.size()); ++il) {
            for (FeatureLink* plink = rgplink[Idx(il)]; plink != nullptr; plink = plink->pNext) {
                plink->pNextData = plink->pfd->plinkData;
                plink->pfd->plinkData = plink;
                plink->ilLine = il;
            }
        }
    }
}

int SelectFeatures(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iTE, int iIteration,
                   SelectionWork& work) {
    ChainClassLines(dtTrain, m, iTE, work);
    work.firing.Forget();
    // The lines do not change during training: the columns are built once.
    if (!work.pcolumns->For(dtTrain)) work.pcolumns->Build(m, dtTrain);
    work.classErrors.Start(dtTrain, m, iTE);
    ThresholdSchedule schedule(dtTrain.clData, m.cThrMin, iIteration == 0 && m.iMultiPass == 1);
    for (long clThr = 0; schedule.Next(clThr);) {
        work.progress.Print(work.log, m, iTE, clThr, FeaturesNow(m, work));
        long clErrMax = 0;
        if (const int iRes = SelectionPass(dtTrain, dtHeldout, m, iTE, clThr, clErrMax, work);
            iRes > 0) {
            return iRes;
        }
        schedule.PassDone(clErrMax);
    }
    return 0;
}

// An empty pool makes the iteration add nothing and the run still ends
// well: say so, naming the keys that would fill it.
void WarnEmptyPool(const Model& m, int i) {
    if (m.clFeatureSuggUsed > 0) return;
    if (m.iFeatureMode == 2) {
        std::fprintf(stderr,
                     "%s: warning: the feature pool of iteration %d is empty: no line of %s was "
                     "kept. With FeatureMode = Read the keys Models, UseInFeatures and "
                     "SortSuggestions are not read: give them per iteration (Models%d, "
                     "UseInFeatures%d, SortSuggestions%d), or lower MinThrPoolFeature%d\n",
                     ux_ProgName().c_str(), i, m.szFeaturePoolFile.c_str(), i, i, i, i);
    } else {
        std::fprintf(stderr,
                     "%s: warning: the feature pool of iteration %d is empty: no candidate "
                     "feature occurs MinThrPoolFeature%d times; lower it, or widen "
                     "FeatureTemplates%d, UseInFeatures%d or Models%d\n",
                     ux_ProgName().c_str(), i, i, i, i, i);
    }
}

TrainingProgress::TrainingProgress() : tStart_(std::chrono::steady_clock::now()) {}

void TrainingProgress::StartIteration(const Model& m) {
    clClassesDone_ = 0;
    clClassesAll_ = 0;
    for (const TagElem& te : m.rgteTagElem) clClassesAll_ += std::max(te.clAmbClass, 0L);
}

void TrainingProgress::ElementDone(const Model& m, int iTE) {
    clClassesDone_ += std::max(m.rgteTagElem[Idx(iTE)].clAmbClass, 0L);
}

void TrainingProgress::Print(SelectionLog& log, const Model& m, int iTE, long clThr,
                             long clFeatures) const {
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart_).count();
    const char* pszName =
        Idx(iTE) < m.rgpszTagElemName.size() ? m.rgpszTagElemName[Idx(iTE)] : nullptr;
    std::array<char, 32> szThr{};
    if (clThr >= 0) std::snprintf(szThr.data(), szThr.size(), ", pass thr %ld", clThr);
    std::fprintf(log.File(), "Progress: tag element %d (%s)%s, classes %ld of %ld, features ", iTE,
                 Str(pszName), szThr.data(), clClassesDone_, clClassesAll_);
    log.Index(clFeatures);
    std::fprintf(log.File(), ", %.1f s\n", dSeconds);
}

namespace {

// The area entries the model file can hold: those below it are features or free.
long AreaEnd(const Model& m) {
    return std::min(m.clFeatureAreaSize, static_cast<long>(m.rgfdFeatureArea.size()));
}

// Whether the tag elements of the iteration can be selected side by side
// with the result of selecting them one after another: more than one
// thread and tag element, no trace (traces are printed as they are
// computed), and a free area entry for every element's candidate.
bool SideBySide(const Model& m, int cThreads) {
    if (cThreads < 2 || m.cTagElem < 2) return false;
    if (m.trace.ProbsOn() || m.trace.fDebug8 != 0 || m.trace.fDebug3 >= 0) return false;
    return AreaEnd(m) - m.clFeatureAreaUsed >= m.cTagElem;
}

// Places the staged features of tag element iTE in the area from its first
// free entry on, in the order they were accepted, and turns staged indexes
// into area indexes: in the features' chains, at the heads of the element's
// classes and in the element's line links.
void PlaceStagedFeatures(DataTable& dtTrain, Model& m, int iTE, FeatureStage& stage) {
    const long ilBase = m.clFeatureAreaUsed;
    const auto Resolve = [ilBase](long il) {
        return IsStagedIndex(il) ? ilBase + (il - kStagedIndexBase) : il;
    };
    const FeatureDesc* pfdArea = m.rgfdFeatureArea.data();
    const FeatureDesc* pfdAreaEnd = pfdArea + m.rgfdFeatureArea.size();
    const auto InArea = [&](const FeatureDesc* pfd) {
        return std::less_equal<const FeatureDesc*>()(pfdArea, pfd) &&
               std::less<const FeatureDesc*>()(pfd, pfdAreaEnd);
    };
    // A staged feature knows its place in the stage by iFeature.
    for (auto* prgplink : {&dtTrain.rgplinkFeature[Idx(iTE)], &dtTrain.rgplinkFeature2[Idx(iTE)]}) {
        for (FeatureLink* plinkHead : *prgplink) {
            for (FeatureLink* plink = plinkHead; plink != nullptr; plink = plink->pNext) {
                if (InArea(plink->pfd)) break; // the older links follow
                plink->pfd = &m.rgfdFeatureArea[Idx(ilBase + plink->pfd->iFeature)];
            }
        }
    }
    for (std::size_t k = 0; k < stage.rgfd.size(); ++k) {
        FeatureDesc& fd = m.rgfdFeatureArea[Idx(ilBase) + k];
        fd = std::move(stage.rgfd[k]);
        fd.iFeature = static_cast<int>(ilBase + static_cast<long>(k));
        fd.ilNextFeature = Resolve(fd.ilNextFeature);
    }
    ForEachClass(m, m.rgteTagElem[Idx(iTE)],
                 [&](long, AmbClass& ac) { ac.ilPacFeatureFirst = Resolve(ac.ilPacFeatureFirst); });
    m.clFeatureAreaUsed += static_cast<long>(stage.rgfd.size());
    stage.rgfd.clear();
}

// What one tag element's selection ended with.
struct ElementResult {
    int iRes = 0;
    std::exception_ptr pexc;
};

// Selects the tag elements of iteration iIteration side by side on cThreads
// threads, then finishes them in order: prints each one's log, places its
// features and reports its training error, as one run would. 0, or the
// first failure (in element order) of one run.
int SelectSideBySide(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iIteration,
                     int cThreads, SelectionWork& work, ElementErrors& errors) {
    const int cTE = m.cTagElem;
    const long ilFirstFree = m.clFeatureAreaUsed;
    // The candidates stand in the last entries of the area, so that the
    // features of finished elements can be placed while others still run.
    const long ilSlotFirst = AreaEnd(m) - cTE;
    std::vector<std::unique_ptr<SelectionWork>> rgpwork;
    TrainingProgress progress = work.progress;
    for (int t = 0; t < cTE; ++t) {
        errors.NoteClasses(m, t);
        auto pwork = std::make_unique<SelectionWork>();
        pwork->progress = progress;
        progress.ElementDone(m, t);
        pwork->pcolumns = work.pcolumns;
        pwork->fCheckErrors = work.fCheckErrors;
        pwork->log.Buffer();
        pwork->stage.ilSlot = ilSlotFirst + t;
        pwork->stage.clFree = AreaEnd(m) - ilFirstFree;
        rgpwork.push_back(std::move(pwork));
    }
    // What the elements read and nobody writes while they run.
    if (!work.pcolumns->For(dtTrain)) work.pcolumns->Build(m, dtTrain);

    // The elements with the most training errors, which tend to take the
    // longest, start first, so that no long one is left for the end.
    std::vector<int> rgtOrder(Idx(cTE));
    std::iota(rgtOrder.begin(), rgtOrder.end(), 0);
    std::stable_sort(rgtOrder.begin(), rgtOrder.end(), [&m](int a, int b) {
        return m.rgteTagElem[Idx(a)].clErrTagElem > m.rgteTagElem[Idx(b)].clErrTagElem;
    });
    std::vector<ElementResult> rgresult(Idx(cTE));
    std::mutex mutexDone;
    std::condition_variable cvDone;
    std::vector<char> rgfDone(Idx(cTE), 0); // under mutexDone
    long cDone = 0;                         // under mutexDone
    std::atomic<int> iNext{0};
    std::atomic<bool> fStop{false};
    const auto Select = [&](int t) {
        SelectionWork& w = *rgpwork[Idx(t)];
        try {
            w.progress.Print(w.log, m, t, -1, FeaturesNow(m, w));
            rgresult[Idx(t)].iRes = SelectFeatures(dtTrain, dtHeldout, m, t, iIteration, w);
        } catch (...) {
            rgresult[Idx(t)].pexc = std::current_exception();
        }
        // Only the log and the stage are needed from here on.
        ReleaseSelectionLines(dtTrain, t);
        ReleaseClassLines(dtTrain, m, t);
        w.trial = CandidateTrial();
        w.firing = FiringLines();
        w.classErrors = ClassErrors();
        w.mpClassByAC = {};
        w.rgilErrLines = {};
        w.rgilErrFiring = {};
        {
            const std::lock_guard lock(mutexDone);
            rgfDone[Idx(t)] = 1;
            ++cDone;
        }
        cvDone.notify_all();
    };

    // Finishes element t, whose selection has ended, as one run would: its
    // log, its failure, its features, its training error. 0 or the failure.
    const auto Finish = [&](int t) {
        SelectionWork& w = *rgpwork[Idx(t)];
        const long ilBase = m.clFeatureAreaUsed;
        // One run finds the area full at the first candidate that would
        // stand past its end.
        for (std::size_t k = 0; k < w.stage.rgcchAdd.size(); ++k) {
            if (ilBase + static_cast<long>(k) >= AreaEnd(m)) {
                w.log.Write(ilBase, w.stage.rgcchAdd[k]);
                return kTrainErrAddFeature + kAddFeatureAreaFull;
            }
        }
        w.log.Write(ilBase);
        const ElementResult& result = rgresult[Idx(t)];
        if (result.pexc) std::rethrow_exception(result.pexc);
        if (result.iRes > 0) return result.iRes;
        PlaceStagedFeatures(dtTrain, m, t, w.stage);
        // The error report walks the element's class lines.
        ChainClassLines(dtTrain, m, t, work);
        EndOfTagElem(dtTrain, m, t, errors);
        work.progress.ElementDone(m, t);
        return 0;
    };
    // Finishes the elements in order as far as their selection has ended
    // (with fWait, all of them). Features that would reach the candidates'
    // entries wait until every element has ended.
    int tFinish = 0;
    const auto FinishReady = [&](bool fWait) {
        while (tFinish < cTE) {
            const long clNew = [&] {
                std::unique_lock lock(mutexDone);
                if (fWait) cvDone.wait(lock, [&] { return rgfDone[Idx(tFinish)] != 0; });
                if (rgfDone[Idx(tFinish)] == 0) return -1L;
                const auto cl = static_cast<long>(rgpwork[Idx(tFinish)]->stage.rgfd.size());
                if (m.clFeatureAreaUsed + cl <= ilSlotFirst) return cl;
                if (fWait) cvDone.wait(lock, [&] { return cDone == cTE; });
                return cDone == cTE ? cl : -1L;
            }();
            if (clNew < 0) return 0;
            if (const int iRes = Finish(tFinish); iRes > 0) return iRes;
            ++tFinish;
        }
        return 0;
    };

    // Stops the other threads from taking further elements however this
    // ends; they are joined first.
    struct StopAtExit {
        std::atomic<bool>& fStop;
        ~StopAtExit() { fStop = true; }
    };
    std::vector<std::jthread> rgthread;
    const StopAtExit stopAtExit{fStop};
    for (int i = 1; i < std::min(cThreads, cTE); ++i) {
        rgthread.emplace_back([&] {
            for (int j = iNext++; j < cTE && !fStop; j = iNext++) Select(rgtOrder[Idx(j)]);
        });
    }
    for (int j = iNext++; j < cTE; j = iNext++) {
        Select(rgtOrder[Idx(j)]);
        if (const int iRes = FinishReady(false); iRes > 0) return iRes;
    }
    if (const int iRes = FinishReady(true); iRes > 0) return iRes;
    rgthread.clear();
    // The entries the candidates stood in and no feature took.
    for (long il = std::max(m.clFeatureAreaUsed, ilSlotFirst); il < AreaEnd(m); ++il) {
        m.rgfdFeatureArea[Idx(il)].rgclCntTagElemGivenFeature.clear();
    }
    return 0;
}

} // namespace

int TrainModel(DataTable& dtTrain, DataTable& dtHeldout, Model& m, const TrainingOptions& options) {
    SelectionWork work;
    ElementErrors errors;
    SizeTrainingLists(dtTrain, m.cTagElem);
    for (int t = 0; t < m.cTagElem; ++t) ReleaseSelectionLines(dtTrain, t);
    const int cIterations = std::min(m.iTrainingIterationsMax, static_cast<int>(m.rgipFG.size()));
    for (int i = 0; i < cIterations; ++i) {
        PrintIterationParams(m.rgipFG[Idx(i)]);
        InstallIterationParams(m, m.rgipFG[Idx(i)]);
        ReportIterationStart(dtTrain, dtHeldout, m, i);
        ResetPool(m);
        BuildPool(dtTrain, m, i, options.cThreads);
        std::fprintf(stderr, "features pool size: %ld\n", m.clFeatureSuggUsed);
        WarnEmptyPool(m, i);
        if (m.iCountMode == 1 && ReSortFeatureSugg(&dtTrain, &dtHeldout, &m) != 0) {
            ux_FatalError(kModApp, kMsgApp, "cannot re-sort feature pool for training.");
        }
        work.progress.StartIteration(m);
        // The training errors of every element are needed before any is
        // changed when they are selected side by side.
        if (SideBySide(m, options.cThreads) && errors.Start(dtTrain, m) == 0) {
            if (const int iRes =
                    SelectSideBySide(dtTrain, dtHeldout, m, i, options.cThreads, work, errors);
                iRes > 0) {
                return iRes;
            }
            continue;
        }
        for (int t = 0; t < m.cTagElem; ++t) {
            work.progress.Print(work.log, m, t, -1, FeaturesNow(m, work));
            errors.NoteClasses(m, t);
            if (const int iRes = SelectFeatures(dtTrain, dtHeldout, m, t, i, work); iRes > 0) {
                return iRes;
            }
            EndOfTagElem(dtTrain, m, t, errors);
            work.progress.ElementDone(m, t);
        }
    }

    if (m.iLambdaIterations > 0) {
        VtcReport(dtTrain, m, kTrueContext,
                  "BVL: VTC training data (true ctx) error:", kExitFinalTrain);
        LinkFeatureLineLists(dtTrain, m);
    } else {
        VtcReport(dtTrain, m, kTrueContext,
                  "EOT: VTC training data (true ctx) error:", kExitFinalTrain);
        VtcReport(dtTrain, m, kOwnContext,
                  "EOT: VTC training data (cont.) error:", kExitFinalTrain);
        VtcReport(dtHeldout, m, kOwnContext, "EOT: VTC heldout data error:", kExitFinalHeldout);
        VtcReport(TestTable(m), m, kOwnContext,
                  "EOT: VTC test (cont, dbg) data error:", kExitFinalTest);
    }
    LambdaWork lambdaWork;
    for (int k = 0; k < m.iLambdaIterations; ++k)
        LambdaIteration(dtTrain, dtHeldout, m, k, lambdaWork);

    const int iRes =
        VtcReport(TestTable(m), m, kOwnContext, "after lambda chg: VTC test:", kExitLastTest);
    std::fprintf(stderr, "Exitting TrainModel.\n");
    return iRes;
}

} // namespace vexta
