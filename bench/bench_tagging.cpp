// Tagging throughput: the whole real corpus tagged by beam search ("Tag"
// mode with "VTC"), with the tagged text written to a scratch file. Prints
// tokens per second for each run and the best run.
//
// Usage: bench_tagging [model file [runs]]. Without a model file (or with
// "-") a minimal model is used: the corpus's 15 tag elements and no
// ambiguity classes, so the figure measures reading, beam search over the
// candidate tags, the smoothed probabilities and writing rather than
// feature matching.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"
#include "model/model.h"
#include "model/model_reader.h"
#include "tagging/tagged_output.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::size_t Count(std::string_view sz, std::string_view szWhat) {
    std::size_t c = 0;
    for (std::size_t i = sz.find(szWhat); i != std::string_view::npos;
         i = sz.find(szWhat, i + szWhat.size()))
        ++c;
    return c;
}

std::string MinimalModel() {
    std::string sz = "<Dz>200000\n<Df>1\n<Da>1\n<Dc>15\n";
    for (int t = 0; t < 15; ++t) {
        char szLine[40];
        std::snprintf(szLine, sizeof szLine, "<st>%012d\n", t);
        sz += szLine;
    }
    return sz;
}

int ReadInt(const char* pszKey) {
    std::string sz;
    if (vexta::ux_ArgGetValue(vexta::szArgs, pszKey, sz) > 0) {
        std::fprintf(stderr, "bench_tagging: %s missing\n", pszKey);
        std::exit(1);
    }
    return std::atoi(sz.c_str());
}

} // namespace

int main(int argc, char** argv) {
    using namespace vexta;
    const fs::path pathCorpus = fs::path(VEXTA_SHARED_DIR) / "corpus";
    if (!fs::exists(pathCorpus / "cs-ud-dev.csts")) {
        std::printf("bench_tagging: no corpus in %s; nothing measured\n", pathCorpus.c_str());
        return 0;
    }
    ux_InstallNewHandler();

    std::string szDir = (fs::temp_directory_path() / "vexta_bench_tagging_XXXXXX").string();
    if (mkdtemp(szDir.data()) == nullptr) return 1;
    const fs::path dir(szDir);
    fs::path pathModel = dir / "min.model";
    const bool fOwnModel = argc > 1 && std::string_view(argv[1]) != "-";
    if (fOwnModel)
        pathModel = fs::absolute(argv[1]);
    else
        std::ofstream(pathModel, std::ios::binary) << MinimalModel();
    const int cRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    const fs::path pathArgs = dir / "tag.args";
    std::ofstream(pathArgs, std::ios::binary)
        << "#include " << (pathCorpus / "cs-ud-common.args").string()
        << "\nCorpusDir = " << pathCorpus.string() << "\nFeatures = " << pathModel.string()
        << "\nMode = Tag\n";
    szArgs = pathArgs.string();
    if (ux_ArgOpen(szArgs) > 0) return 1;
    ux_ArgGetValue(szArgs, "TaggerID", model.szTaggerID);

    model.fProgMode = fProgMode = kModeTag;
    model.cTagElem = cTagElem = ReadInt("TagElemMax");
    model.cBeam = cBeam = ReadInt("Beam");
    std::string szWeight;
    ux_ArgGetValue(szArgs, "RawExpWeight", szWeight);
    model.dRawExpWeight = dRawExpWeight = std::atof(szWeight.c_str());
    model.pdtT = &dtT;
    model.pdtH = &dtH;
    model.pdtS = &dtS;
    model.szModelFile = pathModel.string();
    if (const int rc = ReadModel(szArgs, model); rc != 0) {
        std::fprintf(stderr, "bench_tagging: cannot read the model %s: code %d\n",
                     model.szModelFile.c_str(), rc);
        return 1;
    }

    // Tagged text goes to a scratch file through standard output, with the
    // buffer the pipeline uses.
    const fs::path pathOut = dir / "tagged.out";
    std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{1} << 20);
    const int hStdout = ::dup(STDOUT_FILENO);
    const int hOut = ::open(pathOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (hStdout < 0 || hOut < 0 || ::dup2(hOut, STDOUT_FILENO) < 0) return 1;
    ::close(hOut);

    std::vector<double> rgdSeconds;
    std::vector<double> rgdCpuSeconds; // the machine may be shared: CPU time too
    int rc = 0;
    for (int i = 0; i < cRuns && rc <= 0; ++i) {
        if (::lseek(STDOUT_FILENO, 0, SEEK_SET) < 0 || ::ftruncate(STDOUT_FILENO, 0) < 0) return 1;
        const auto tStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        rc = TagDataVTC(szArgs, model, 0, "");
        std::fflush(stdout);
        const std::clock_t cpuEnd = std::clock();
        const auto tEnd = std::chrono::steady_clock::now();
        rgdSeconds.push_back(std::chrono::duration<double>(tEnd - tStart).count());
        rgdCpuSeconds.push_back(static_cast<double>(cpuEnd - cpuStart) / CLOCKS_PER_SEC);
    }
    if (::dup2(hStdout, STDOUT_FILENO) < 0) return 1;
    ::close(hStdout);
    const std::string szOut = ReadFile(pathOut);

    if (rc > 0) {
        std::printf("bench_tagging: tagging failed (RC %d)\n", rc);
        return 1;
    }
    const auto cTokens = static_cast<double>(Count(szOut, "<MDt"));
    std::printf("bench_tagging: %s, beam %d, %.0f tokens, %zu bytes written\n",
                fOwnModel ? model.szModelFile.c_str() : "minimal model", model.cBeam, cTokens,
                szOut.size());
    for (std::size_t i = 0; i < rgdSeconds.size(); ++i) {
        std::printf("  run %zu: %.3f s wall, %.3f s CPU, %.0f tokens/s\n", i + 1, rgdSeconds[i],
                    rgdCpuSeconds[i], cTokens / rgdSeconds[i]);
    }
    const double dBest = *std::min_element(rgdSeconds.begin(), rgdSeconds.end());
    const double dBestCpu = *std::min_element(rgdCpuSeconds.begin(), rgdCpuSeconds.end());
    std::printf(
        "tagging throughput: %.0f tokens/s (best of %zu runs; %.0f tokens per CPU second)\n",
        cTokens / dBest, rgdSeconds.size(), cTokens / dBestCpu);
    fs::remove_all(dir);
    return 0;
}
