// Argument files: the input is split at lines "%%" into the files main.args,
// a.args and b.args of a scratch directory (so that includes have something
// to find); main.args is opened, every defined key is requested and its
// fields are split.
#include <array>
#include <string>

#include "fuzz_util.h"

using namespace vexta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    std::string_view sz = fuzz::AsText(pb, cb);
    static constexpr std::array<const char*, 3> kNames = {"main.args", "a.args", "b.args"};
    std::string szMain;
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        const std::size_t iSep = sz.find("\n%%\n");
        const std::string_view szPart = i + 1 < kNames.size() ? sz.substr(0, iSep) : sz;
        const std::string szPath = fuzz::WriteScratch(kNames[i], szPart);
        if (i == 0) szMain = szPath;
        sz = iSep == std::string_view::npos ? std::string_view() : sz.substr(iSep + 4);
    }
    fuzz::Guarded([&] {
        ux_ArgOpen(szMain);
        const ArgKeyUse use = ux_ArgKeyUse(szMain);
        std::string szValue, szField;
        for (const std::string& szKey : use.rgszDefined) {
            if (ux_ArgGetValue(szMain, szKey, szValue) > 0) continue;
            const int cFields = ux_ArgCountFields(szValue);
            for (int i = 0; i < cFields && i < 8; ++i) ux_ArgGetField(szValue, i, szField);
        }
        for (const std::string& szKey : use.rgszReferenced)
            ux_ArgGetValue(szMain, szKey, szValue, 4000);
    });
    ux_ArgClose();
    return 0;
}
