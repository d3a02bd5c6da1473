// Writing tagged lines.
//
// For now every line is written in line format (the data line with its tag
// replaced), and windowed tagging of a whole input is not available yet; the
// SGML form, which re-emits the token's gap with <MDl> and <MDt> inserted,
// and the windowed tagger replace these bodies.

#include "tagging/tagged_output.h"

#include <cstdio>

namespace vexta {

int WriteTaggedLine(const DataTable& dt, const Model& /*m*/, long il, std::string_view szTag,
                    int iOutLevel, bool /*fLineErr*/, std::string_view szErrNote) {
    const std::string_view szLine = dt.rgpszDataLine[static_cast<std::size_t>(il)];
    const std::size_t iBar = szLine.find('|');
    const std::string_view szAfterTag =
        iBar == std::string_view::npos ? std::string_view() : szLine.substr(iBar);
    std::fwrite(szTag.data(), 1, szTag.size(), stdout);
    std::fwrite(szAfterTag.data(), 1, szAfterTag.size(), stdout);
    if (iOutLevel > 100) {
        std::fputc(' ', stdout);
        std::fwrite(szErrNote.data(), 1, szErrNote.size(), stdout);
    }
    std::fputc('\n', stdout);
    return 0;
}

int TagDataVTC(std::string_view /*szArgFile*/, Model& /*m*/, int /*fDebug*/,
               std::string_view /*szPrefix*/) {
    std::fprintf(stderr, "TagDataVTC: tagging of a whole input is not available yet\n");
    return 2404;
}

} // namespace vexta
