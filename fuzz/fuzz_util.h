// What every harness shares: a scratch directory of its own, inputs written
// as files there, and calls whose fatal errors end only the one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/ux_arg.h"
#include "base/ux_base.h"

namespace vexta::fuzz {

// The scratch directory of this process (made once, removed at exit; the
// name is kept alive past the destruction of statics for that).
inline const std::string& ScratchDir() {
    static const std::string* const pszDir = [] {
        std::string sz = (std::filesystem::temp_directory_path() / "vexta_fuzz_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        return new std::string(sz);
    }();
    static const bool fRegistered = [] {
        return std::atexit([] {
                   std::error_code ec;
                   std::filesystem::remove_all(*pszDir, ec);
               }) == 0;
    }();
    static_cast<void>(fRegistered);
    return *pszDir;
}

// Writes szText into the file szName of the scratch directory; its path.
inline std::string WriteScratch(std::string_view szName, std::string_view szText) {
    const std::string szPath = ScratchDir() + "/" + std::string(szName);
    std::ofstream(szPath, std::ios::binary | std::ios::trunc) << szText;
    return szPath;
}

inline std::string_view AsText(const std::uint8_t* pb, std::size_t cb) {
    return {reinterpret_cast<const char*>(pb), cb};
}

// Runs fn; a fatal error ends the input, as it would end a run. Anything else
// that escapes is a finding.
template <typename Fn> void Guarded(Fn fn) {
    try {
        fn();
    } catch (const ux_FatalExit&) {
    }
}

} // namespace vexta::fuzz
