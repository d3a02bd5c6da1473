// Reads the real corpus into the training, heldout and test tables with the
// segments of its common argument file, and prints the time taken and the
// peak memory of the process. With "conllu" the same tokens are read from
// the three CoNLL-U files, one segment each.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "model/model.h"

int main(int argc, char** argv) {
    using namespace vexta;
    const std::string szCorpus = std::string(VEXTA_SHARED_DIR) + "/corpus/cs-ud-dev.csts";
    if (!std::filesystem::exists(szCorpus)) {
        std::printf("bench_read_corpus: %s not found; skipped\n", szCorpus.c_str());
        return 0;
    }
    // Train mode also counts the classes and forms of every stored line; pass
    // "test" to measure reading as the test pipeline does.
    bool fTestMode = false;
    bool fConllu = false;
    for (int i = 1; i < argc; ++i) {
        fTestMode |= std::string(argv[i]) == "test";
        fConllu |= std::string(argv[i]) == "conllu";
    }
    const std::string szDir = std::string(VEXTA_SHARED_DIR) + "/corpus/cs-ud-";

    const std::string szArgFile =
        (std::filesystem::temp_directory_path() / "bench_read_corpus.args").string();
    {
        std::ofstream os(szArgFile);
        os << "SentTag = Z#-------------\nSentForm = ###\nSentLemma = ###\nTagTable =\n";
        if (fConllu)
            os << "TrainData = " << szDir << "train.conllu\nHeldoutData = " << szDir
               << "dev.conllu\nTestData = " << szDir << "test.conllu\n";
        else
            os << "InData = " << szCorpus << "\n"
               << "TrainStart = 0\nTrainLines = 44043\nHeldoutStart = 44043\n"
               << "HeldoutLines = 5570\nTestStart = 49613\nTestLines = 5544\n";
    }
    ux_ArgOpen(szArgFile);

    model.cTagElem = 15;
    model.cBeam = 5;
    model.fProgMode = fTestMode ? kModeTest : kModeTrain;
    model.phashStr = ux_HashNew(200000, 4000000, 4000);
    model.pdtT = &dtT;
    model.pdtH = &dtH;
    model.pdtS = &dtS;

    const auto tStart = std::chrono::steady_clock::now();
    const int rc = ReadData(szArgFile, model, "");
    const auto tEnd = std::chrono::steady_clock::now();
    std::filesystem::remove(szArgFile);
    if (rc != 0) {
        std::printf("bench_read_corpus: ReadData failed (RC %d)\n", rc);
        return 1;
    }

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double dSeconds = std::chrono::duration<double>(tEnd - tStart).count();
    std::printf("read_corpus %s mode %s: lines %ld/%ld/%ld, %.3f s, peak memory %.1f MB\n",
                fConllu ? "CoNLL-U" : "SGML", fTestMode ? "Test" : "Train", dtT.clData, dtH.clData,
                dtS.clData, dSeconds, static_cast<double>(ru.ru_maxrss) / 1024.0);
    return 0;
}
