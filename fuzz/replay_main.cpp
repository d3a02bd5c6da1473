// Runs a harness over files without libFuzzer: each argument is a file or a
// directory of files (read in name order), and each file is one input. The
// test suite builds every harness this way with the ordinary compiler, so a
// harness that no longer compiles, or a seed that now fails, shows up there
// and not only in a fuzzing run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> rgpath;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) rgpath.push_back(entry.path());
        } else {
            rgpath.push_back(path);
        }
    }
    std::sort(rgpath.begin(), rgpath.end());
    for (const std::filesystem::path& path : rgpath) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::string sz((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(sz.data()), sz.size());
    }
    std::printf("%zu inputs\n", rgpath.size());
    return rgpath.empty() ? 1 : 0;
}
