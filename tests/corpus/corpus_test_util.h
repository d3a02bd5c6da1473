// Helpers of the corpus tests: a small model, readers opened on a file, and
// the data lines and gaps a reader delivers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ux_hash.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "model/model.h"
#include "test_util.h"

namespace vexta::test {

using Strings = std::vector<std::string>;

inline std::unique_ptr<Model> MakeModel(int cTagElem, int fProgMode, int cBeam = 3) {
    auto pm = std::make_unique<Model>();
    pm->cTagElem = cTagElem;
    pm->fProgMode = fProgMode;
    pm->cBeam = cBeam;
    pm->phashStr = ux_HashNew(1000, 50000, 4000);
    ux_HashMemberPtr(pm->phashStr.get(), "", &pm->pszEmpty);
    return pm;
}

inline std::unique_ptr<pdfRecType> OpenReader(const std::string& szFile,
                                              std::string_view szTagTable = "") {
    auto ppdf = std::make_unique<pdfRecType>();
    ppdf->szFileName = szFile;
    ppdf->szSentTag = "ZZ";
    ppdf->szSentForm = ppdf->szSentLemma = "###";
    ppdf->szTagTable = szTagTable;
    EXPECT_EQ(OpenData(*ppdf), 0);
    return ppdf;
}

inline Strings GapTexts(const gapRecType* pgap) {
    Strings rgsz;
    for (; pgap; pgap = pgap->pgapNext.get()) rgsz.emplace_back(pgap->pszGapText.get());
    return rgsz;
}

// One delivered token: its data line, rest and gap entries.
struct Event {
    std::string szLine;
    std::string szRest;
    Strings rgszGap;
    int fWord = 0;
};

// Every token the reader delivers until GetEvent returns -1.
inline std::vector<Event> ReadAll(pdfRecType& pdf, const Model& m) {
    std::vector<char> szLine(kDataLineSize), szRest(kDataLineSize);
    std::vector<Event> rgev;
    std::unique_ptr<gapRecType> pgap;
    while (GetEvent(szLine, szRest, pgap, pdf, m) == 0)
        rgev.push_back({szLine.data(), szRest.data(), GapTexts(pgap.get()), pdf.fWord});
    return rgev;
}

inline Strings Lines(const std::vector<Event>& rgev) {
    Strings rgsz;
    for (const Event& ev : rgev) rgsz.push_back(ev.szLine);
    return rgsz;
}

} // namespace vexta::test
