// Sets up training on the real corpus with its training argument file
// (templates base and base2), then generates, sorts and loads the feature
// pool of the first training iteration, printing the time of each phase, the
// number of features generated, the pool size and the peak memory.
//
// The argument file's paths are relative to a directory beside shared/, so
// the benchmark works from the shared directory itself. Diagnostics of the
// phases go to standard error; run with 2>/dev/null to see only the figures.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include "app/globals.h"
#include "app/training_params.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/pool_file.h"
#include "features/pool_gen.h"
#include "features/templates.h"
#include "model/model.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Wall-clock and processor seconds of a phase, printed as it ends.
void Report(const char* pszPhase, std::chrono::steady_clock::time_point t0, double dCpu0) {
    std::printf("bench_pool: %-14s %7.2f s (cpu %.2f s)\n", pszPhase, Seconds(t0),
                CpuSeconds() - dCpu0);
    std::fflush(stdout);
}

double PeakMB() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

} // namespace

int main() {
    using namespace vexta;
    const std::filesystem::path pathShared(VEXTA_SHARED_DIR);
    if (!std::filesystem::exists(pathShared / "corpus" / "cs-ud-train.args")) {
        std::printf("bench_pool: %s not found; skipped\n", (pathShared / "corpus").c_str());
        return 0;
    }
    std::filesystem::current_path(pathShared);
    ux_InstallNewHandler();
    szArgs = "corpus/cs-ud-train.args";
    ux_ArgOpen(szArgs);

    model.cTagElem = 15;
    model.cBeam = 5;
    model.fProgMode = kModeTrain;
    model.pdtT = &dtT;
    model.pdtH = &dtH;
    model.pdtS = &dtS;
    model.phashStr = ux_HashNew(200000, 400000, 4000);
    ux_HashMemberPtr(model.phashStr.get(), "", &model.pszEmpty);

    auto t0 = std::chrono::steady_clock::now();
    double dCpu0 = CpuSeconds();
    if (int rc = ReadData(szArgs, model, ""); rc != 0) {
        std::printf("bench_pool: ReadData failed (RC %d)\n", rc);
        return 1;
    }
    Report("read data", t0, dCpu0);

    t0 = std::chrono::steady_clock::now();
    dCpu0 = CpuSeconds();
    ReadTrainingParamsBeforeSetup(&model);
    if (int rc = InitModelTraining(szArgs, &dtT, &model); rc != 0) {
        std::printf("bench_pool: InitModelTraining failed (RC %d)\n", rc);
        return 1;
    }
    ReadTrainingParamsAfterSetup(&model);
    Report("set-up", t0, dCpu0);
    if (model.rgipFG.empty()) {
        std::printf("bench_pool: no training iteration configured\n");
        return 1;
    }

    // The settings of the first iteration, as the training loop installs them.
    const IterationParams& ip = model.rgipFG[0];
    model.cThrMin = ip.ipcThrMin;
    model.cPoolThr = std::max(ip.ipcPoolThr, ip.ipcThrMin);
    model.cClosestThr = ip.ipcClosestThr;
    model.szFeatureTemplates = ip.ipszFeatureTemplates;
    model.fModelAC = ip.ipfModelAC;
    model.fModelGeneral = ip.ipfModelGeneral;
    model.fUITForms = ip.ipfUITForms;
    model.fUITACs = ip.ipfUITACs;
    model.fUITTags = ip.ipfUITTags;
    model.fUITSetElements = ip.ipfUITSetElements;
    model.iSortSugg = ip.ipiSortSugg;
    model.dSuggEntropyThr = ip.ipdSuggEntropyThr;
    model.fLeftOnly = ip.ipfLeftOnly;
    model.ilMaxFSG = ip.ipilMaxFSG;
    model.clFeatureSuggUsed = 0;

    t0 = std::chrono::steady_clock::now();
    dCpu0 = CpuSeconds();
    model.phashSugg = ux_HashNew(model.clFeatureSuggSize, 200000, 4000);
    static constexpr const char* kMarkers[] = {"=base=", "=base2=", "=base3=", "=base4="};
    for (int iBase = 1; iBase <= 4; ++iBase) {
        if (model.szFeatureTemplates.find(kMarkers[iBase - 1]) == std::string::npos) continue;
        if (int rc = GenerateFSG5(&model, &dtT, iBase, 0, 1); rc > 0) {
            std::printf("bench_pool: GenerateFSG5 base%d failed (RC %d)\n", iBase, rc);
            return 1;
        }
    }
    const long cGenerated = model.phashSugg->cRecs;
    Report("generate", t0, dCpu0);

    t0 = std::chrono::steady_clock::now();
    dCpu0 = CpuSeconds();
    SortFeatureSugg(&model);
    Report("sort and load", t0, dCpu0);

    std::printf("bench_pool: templates %s\n", model.szFeatureTemplates.c_str());
    std::printf("bench_pool: features generated %ld, pool size %ld, peak memory %.1f MB\n",
                cGenerated, model.clFeatureSuggUsed, PeakMB());
    return 0;
}
