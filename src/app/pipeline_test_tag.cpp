// The test and tag pipeline: modes "Test", "TestOut", "TestDebug", "Tag" and
// "TagDebug". The argument file is limited to the test segment, the model
// file is read, and then either the error rates of the model on the test
// segment are reported or the input is tagged onto standard output.
#include "app/composed_tags.h"
#include "app/driver.h"
#include "app/globals.h"
#include "app/pipelines.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"
#include "features/feature_chains.h"
#include "model/model.h"
#include "model/model_reader.h"
#include "tagging/beam_search.h"
#include "tagging/error_rate.h"
#include "tagging/tagged_output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vexta {

namespace {

// The reason a file could not be opened for reading: the system's, or that
// it is empty (there is nothing to read), on a line of its own.
void SayWhyNotOpened(const std::string& szFile) {
    const int h = ::open(szFile.c_str(), O_RDONLY);
    if (h < 0) {
        const int iErr = errno;
        std::fprintf(stderr, "%s: %s: %s\n", ux_ProgName().c_str(), szFile.c_str(),
                     std::strerror(iErr));
        return;
    }
    ::close(h);
    std::fprintf(stderr, "%s: %s: the file is empty\n", ux_ProgName().c_str(), szFile.c_str());
}

// Tagged text can be large: standard output gets a buffer of its own.
constexpr std::size_t kStdoutBufferSize = std::size_t{1} << 20;

// Output levels of the test modes.
constexpr int kOutLevelTest = 0;
constexpr int kOutLevelTestOut = 1;
constexpr int kOutLevelTestDebug = 10000;
// Output level of separate tagging.
constexpr int kOutLevelTagSeparate = 1;

// The value the data tables take as a segment that is not given.
constexpr const char* kTestStartNotGiven = "2111222111";

[[noreturn]] void AppFatal(const std::string& szText) {
    std::fflush(stdout);
    ux_FatalError(kModApp, kMsgApp, szText);
}

bool IsPresent(const char* pszKey) {
    std::array<char, kArgValueLen> sz{};
    return ux_ArgGetValue(szArgs, pszKey, sz) <= 0;
}

// A key that names a file: present and not empty.
bool IsFileGiven(const char* pszKey) {
    std::array<char, kArgValueLen> sz{};
    return ux_ArgGetValue(szArgs, pszKey, sz) <= 0 && sz[0] != '\0';
}

// Training and heldout segments are emptied whatever the argument file says;
// a missing test segment is marked as not given.
void LimitToTestSegment() {
    for (const char* pszKey : {"TrainStart", "TrainLines", "HeldoutStart", "HeldoutLines"}) {
        if (const int rc = ux_ArgSetValue(szArgs, pszKey, "0"); rc != 0)
            AppFatal(ux_StrPrintf(" set arg value of %s failed (RC %d)", pszKey, rc));
    }
    // Segments given as files of their own are emptied the same way.
    for (const char* pszKey : {"TrainData", "HeldoutData"}) {
        if (!IsFileGiven(pszKey)) continue;
        if (const int rc = ux_ArgSetValue(szArgs, pszKey, ""); rc != 0)
            AppFatal(ux_StrPrintf(" set arg value of %s failed (RC %d)", pszKey, rc));
    }
    if (IsFileGiven("TestData") || IsPresent("TestLines")) return;
    if (IsPresent("TestStart"))
        AppFatal(ux_StrPrintf(" %s%s not present, and %s is?!?", "Test", "Lines", "TestStart"));
    if (const int rc = ux_ArgSetValue(szArgs, "TestStart", kTestStartNotGiven); rc != 0) {
        AppFatal(ux_StrPrintf(" set arg value of %s=%s failed (RC %d)", "TestStart",
                              kTestStartNotGiven, rc));
    }
}

void ReadModelFile() {
    model.hModelFile = 0;
    if (ux_ArgGetValue(szArgs, "Features", model.szModelFile) > 0) {
        std::fprintf(stderr, "%s: GetValue (feature file) %s failed\n", ux_ProgName().c_str(),
                     "Features");
        ux_Exit(892);
    }
    LoadComposedTags(model);
    if (const int rc = ReadModel(szArgs, model); rc != 0) {
        if (rc == kModelNotOpened) SayWhyNotOpened(model.szModelFile);
        std::fprintf(stderr, "%s: cannot read in the model %s: code %d\n", ux_ProgName().c_str(),
                     model.szModelFile.c_str(), rc);
        ux_Exit(816);
    }
    // A file that ends before its first tag element section is accepted by
    // the reader; nothing can be tagged with it.
    if (!model.phashStr || model.rgteTagElem.size() < static_cast<std::size_t>(model.cTagElem)) {
        std::fprintf(stderr, "%s: model %s has no tag element sections\n", ux_ProgName().c_str(),
                     model.szModelFile.c_str());
        ux_Exit(816);
    }
}

void PrintErrorRates(const DataTable& dt, const char* pszLabel) {
    for (int t = 0; t < model.cTagElem; ++t) {
        PrintErrorRate(model, ux_ProgName(), pszLabel,
                       model.rgteTagElem[static_cast<std::size_t>(t)].clErrTagElem, dt.clWords,
                       dt.clLines, t);
    }
    PrintErrorRate(model, ux_ProgName(), pszLabel, model.clErr, dt.clWords, dt.clLines, -1);
}

// Whole-tag accuracy over the tokens of the table, boundary tokens left out
// (their one candidate is never wrong).
void PrintAccuracy(const DataTable& dt) {
    const long clRight = std::max(0L, dt.clTokens - model.clErr);
    const double dAcc = dt.clTokens == 0 ? 0.0 : 100.0 * static_cast<double>(clRight) / dt.clTokens;
    std::fprintf(stderr, "%s: accuracy: %.2f%% (%ld/%ld)\n", ux_ProgName().c_str(), dAcc, clRight,
                 dt.clTokens);
    // Composed tags: the first element alone is the UPOS.
    if (!dt.udLayout.Empty() && !model.rgteTagElem.empty()) {
        const long clUpos = std::max(0L, dt.clTokens - model.rgteTagElem[0].clErrTagElem);
        const double dUpos =
            dt.clTokens == 0 ? 0.0 : 100.0 * static_cast<double>(clUpos) / dt.clTokens;
        std::fprintf(stderr, "%s: UPOS accuracy: %.2f%% (%ld/%ld)\n", ux_ProgName().c_str(), dUpos,
                     clUpos, dt.clTokens);
    }
}

int OutLevelOfTestMode() {
    switch (fProgMode) {
    case kModeTestOut:
        return kOutLevelTestOut;
    case kModeTestDebug:
        return kOutLevelTestDebug;
    default:
        return kOutLevelTest;
    }
}

} // namespace

int RunTestTagPipeline() {
    std::setvbuf(stdout, nullptr, _IOFBF, kStdoutBufferSize);

    SetUpModel(model);

    LimitToTestSegment();
    const AnalyserKeys analyserKeys = ReadAnalyserKeys();
    // The model first: with tags composed from UPOS and FEATS it gives the
    // tag length the lexicon is read with.
    ReadModelFile();
    SetUpAnalyser(model, analyserKeys);
    // The model is final: its chains are laid out for the tagger.
    model.pChains = BuildFeatureChains(model);

    const int cThreads = ReadThreads();
    const bool fTagMode = fProgMode == kModeTag || fProgMode == kModeTagDebug;
    const bool fVTC = szTagMode == "VTC";
    if (!(fTagMode && fVTC)) {
        if (const int rc = ReadData(szArgs, model, ""); rc > 0) {
            ExplainReadDataFailure(rc);
            AppFatal(ux_StrPrintf("ReadData failed (RC %d)", rc));
        }
    }

    // The phases return 0 or a negative note (such as "no feature fired for
    // the last decision") on success; the run then ends with status 0.
    int rc = 0;
    if (fTagMode) {
        if (!fVTC) {
            rc = ErrorRateDataSeparate(dtS, model, kOutLevelTagSeparate);
            if (rc > 0) AppFatal(ux_StrPrintf(" Separate tagging failed (RC %d)", rc));
        } else {
            rc = TagDataVTC(szArgs, model, fProgMode == kModeTagDebug ? 1 : 0, "", kVtcWindow,
                            cThreads);
            if (rc > 0) AppFatal(ux_StrPrintf(" VTC tagging failed (RC %d)", rc));
        }
    } else {
        const int iOutLevel = OutLevelOfTestMode();
        if (!fVTC)
            rc = ErrorRateDataSeparate(dtS, model, iOutLevel);
        else
            rc = ErrorRateDataVTC(dtS, model, iOutLevel, 0, 0, dtS.clLines, 0, dtS.clLines - 1);
        if (rc > 0) AppFatal(ux_StrPrintf(" test data error rate computation failed (RC %d)", rc));
        ux_OutFlush();
        PrintErrorRates(dtS, "final test data error:");
        PrintAccuracy(dtS);
    }
    ux_OutFlush();
    return 0;
}

} // namespace vexta
