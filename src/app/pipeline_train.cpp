// The training pipeline (modes "Train" and "TrainOut"): string store, data,
// unigram entropies, training parameters and set-up, the initial error rate,
// training, the final error rate and the model file.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/composed_tags.h"
#include "app/globals.h"
#include "app/pipelines.h"
#include "app/training_params.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/corpus_stats.h"
#include "corpus/data_table.h"
#include "features/templates.h"
#include "model/model.h"
#include "model/model_writer.h"
#include "tagging/error_rate.h"
#include "training/train_model.h"

namespace vexta {

namespace {

// Creation arguments of the model's string store.
constexpr long kStrBuckets = 200000;
constexpr long kStrSpace = 400000;
constexpr long kStrWork = 4000;

// Exit statuses of the pipeline's phases.
constexpr int kExitNoStringStore = 931;
constexpr int kExitNoEmptyString = 9000; // plus the interning code
constexpr int kExitReadData = 1;
constexpr int kExitInitTraining = 14;
constexpr int kExitErrorRate = 15;
constexpr int kExitWriteModel = 16;
constexpr int kExitTrain = 17;

void CreateStringStore(Model& m) {
    m.phashStr = ux_HashNew(kStrBuckets, kStrSpace, kStrWork);
    if (!m.phashStr) {
        std::fprintf(stderr, "%s: cannot create the string store\n", ux_ProgName().c_str());
        ux_Exit(kExitNoStringStore);
    }
    const int iRes = ux_HashMemberPtr(m.phashStr.get(), "", &m.pszEmpty);
    if (iRes > 0) {
        std::fprintf(stderr, "%s: cannot store the empty string: code %d\n", ux_ProgName().c_str(),
                     iRes);
        ux_Exit(kExitNoEmptyString + iRes);
    }
}

// Value counts and entropies of the three tables, with one "tr" line per
// tag element and table.
void ReportEntropies(Model& m) {
    struct TableStep {
        DataTable* pdt;
        const char* pszName;
        int iExit;
    };
    const TableStep rgStep[] = {{&dtT, "training", 2}, {&dtH, "heldout", 3}, {&dtS, "test", 4}};
    for (const TableStep& step : rgStep) {
        if (GetUnigramCounts(m, *step.pdt) > 0) {
            std::fprintf(stderr, "%s: cannot count %s unigrams\n", ux_ProgName().c_str(),
                         step.pszName);
            ux_Exit(step.iExit);
        }
    }
    for (const TableStep& step : rgStep) {
        if (GetUnigramEnt(m, *step.pdt) > 0) {
            std::fprintf(stderr, "%s: cannot ent %s unigrams\n", ux_ProgName().c_str(),
                         step.pszName);
            ux_Exit(step.iExit);
        }
        for (int t = 0; t < m.cTagElem; ++t) {
            std::fprintf(stderr, "tr %02d %10.6f\n", t,
                         step.pdt->rgdEntTE[static_cast<std::size_t>(t)]);
        }
    }
}

// Stored training line il, or the empty string when the table has no such
// line.
const char* TrainingLine(long il) {
    const auto i = static_cast<std::size_t>(il);
    return i < dtT.rgpszDataLine.size() ? dtT.rgpszDataLine[i].c_str() : "";
}

// The error-rate lines of the last pass over the table: one per tag
// element, then the summary.
void PrintErrorRateLines(const Model& m, const DataTable& dt, std::string_view szLabel) {
    for (int t = 0; t < m.cTagElem; ++t) {
        PrintErrorRate(m, ux_ProgName(), szLabel,
                       m.rgteTagElem[static_cast<std::size_t>(t)].clErrTagElem, dt.clWords,
                       dt.clLines, t);
    }
    PrintErrorRate(m, ux_ProgName(), szLabel, m.clErr, dt.clWords, dt.clLines, -1);
}

void TrainingErrorRate(Model& m, const char* pszFailure, std::string_view szLabel) {
    std::fprintf(stderr, "training data error:\n");
    const int iRes = ErrorRateData(dtT, m, 0);
    if (iRes > 0) {
        std::fprintf(stderr, pszFailure, ux_ProgName().c_str(), iRes);
        ux_Exit(kExitErrorRate);
    }
    PrintErrorRateLines(m, dtT, szLabel);
}

} // namespace

int RunTrainingPipeline() {
    Model& m = model;
    SetUpModel(m);
    // Read first: a wrong value ends the run before the data is read.
    TrainingOptions options;
    options.cThreads = ReadThreads();
    CreateStringStore(m);
    m.hModelFile = 0;
    if (ComposedTags()) DeriveComposedTags(m);
    SetUpAnalyser(m, ReadAnalyserKeys());

    if (const int iRes = ReadData(szArgs, m, ""); iRes > 0) {
        ExplainReadDataFailure(iRes);
        std::fprintf(stderr, "%s: cannot read input data (%d)\n", ux_ProgName().c_str(), iRes);
        ux_Exit(kExitReadData);
    }
    ReportEntropies(m);
    std::fprintf(stderr, "pszDataLine %s;\n", TrainingLine(0));
    std::fprintf(stderr, "pszDataLine %s;\n", TrainingLine(1));

    ReadTrainingParamsBeforeSetup(&m);
    if (const int iRes = InitModelTraining(szArgs, &dtT, &m); iRes > 0) {
        std::fprintf(stderr, "%s: cannot init amb classes: code %d\n", ux_ProgName().c_str(), iRes);
        ux_Exit(kExitInitTraining);
    }
    ReadTrainingParamsAfterSetup(&m);
    for (const IterationParams& ip : m.rgipFG) PrintIterationParams(ip);

    TrainingErrorRate(m, "%s: cannot compute init error rate: code %d\n",
                      "init training data error:");
    for (TagElem& te : m.rgteTagElem) te.clTagElemWork2 = te.clErrTagElem;
    m.clErrInit = m.clErr;

    m.trace.fDebug1 = 1;
    std::fprintf(stderr, "training...\n");
    m.trace.fDebug10 = 0;
    if (const int iRes = TrainModel(dtT, dtH, m, options); iRes > 0) {
        std::fprintf(stderr, "%s: cannot train: code %d\n", ux_ProgName().c_str(), iRes);
        ux_Exit(kExitTrain);
    }
    std::fprintf(stderr, "trained.\n");
    m.trace.fDebug10 = 0;
    m.trace.fDebug1 = 0;
    m.trace.fDebug2 = 0;

    TrainingErrorRate(m, "%s: cannot compute train error rate: code %d\n",
                      "final training data error:");
    std::fprintf(stderr, "test data error:\n");

    const int iRes = WriteModel(m);
    if (iRes != 0) {
        std::fprintf(stderr, "%s: cannot write out the model: code %d\n", ux_ProgName().c_str(),
                     iRes);
        ux_Exit(kExitWriteModel);
    }
    return iRes;
}

} // namespace vexta
