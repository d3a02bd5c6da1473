// Helpers of the corpus tests: scratch files, a small model, readers opened
// on a text, and the data lines and gaps a reader delivers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ux_hash.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "model/model.h"

namespace vexta::test {

// A fresh directory for scratch files, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string sz = (std::filesystem::temp_directory_path() / "vexta_corpus_XXXXXX").string();
        if (mkdtemp(sz.data()) == nullptr) std::abort();
        szPath_ = sz;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(szPath_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes szText into the file szName of the directory; returns its path.
    std::string Write(std::string_view szName, std::string_view szText) const {
        const std::string szFile = Path(szName);
        std::ofstream os(szFile, std::ios::binary);
        os << szText;
        return szFile;
    }
    std::string Path(std::string_view szName) const { return szPath_ + "/" + std::string(szName); }

private:
    std::string szPath_;
};

// A model with cTagElem tag elements, a string table and the run mode.
inline std::unique_ptr<Model> MakeModel(int cTagElem, int fProgMode, int cBeam = 3) {
    auto pm = std::make_unique<Model>();
    pm->cTagElem = cTagElem;
    pm->fProgMode = fProgMode;
    pm->cBeam = cBeam;
    pm->phashStr = ux_HashNew(1000, 50000, 4000);
    const char* psz = nullptr;
    ux_HashMemberPtr(pm->phashStr.get(), "", &psz);
    pm->pszEmpty = psz;
    return pm;
}

// A reader opened on the file szFile with the boundary values given.
inline std::unique_ptr<pdfRecType> OpenReader(const std::string& szFile,
                                              std::string_view szSentTag = "ZZ",
                                              std::string_view szTagTable = "") {
    auto ppdf = std::make_unique<pdfRecType>();
    ppdf->szFileName = szFile;
    ppdf->szSentTag = szSentTag;
    ppdf->szSentForm = "###";
    ppdf->szSentLemma = "###";
    ppdf->szTagTable = szTagTable;
    EXPECT_EQ(OpenData(*ppdf), 0);
    return ppdf;
}

// One delivered token: its data line, rest and gap entries.
struct Event {
    std::string szLine;
    std::string szRest;
    std::vector<std::string> rgszGap;
    int fWord = 0;
};

inline std::vector<std::string> GapTexts(const gapRecType* pgap) {
    std::vector<std::string> rgsz;
    for (; pgap; pgap = pgap->pgapNext.get()) rgsz.emplace_back(pgap->pszGapText.get());
    return rgsz;
}

// Every token the reader delivers until GetEvent returns -1.
inline std::vector<Event> ReadAll(pdfRecType& pdf, const Model& m) {
    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    std::vector<Event> rgev;
    std::unique_ptr<gapRecType> pgap;
    while (GetEvent(szLine, szRest, pgap, pdf, m) == 0)
        rgev.push_back({szLine.data(), szRest.data(), GapTexts(pgap.get()), pdf.fWord});
    return rgev;
}

inline std::vector<std::string> Lines(const std::vector<Event>& rgev) {
    std::vector<std::string> rgsz;
    for (const Event& ev : rgev) rgsz.push_back(ev.szLine);
    return rgsz;
}

// What fn() writes to standard error.
template <typename Fn> std::string Stderr(Fn fn) {
    ::testing::internal::CaptureStderr();
    fn();
    return ::testing::internal::GetCapturedStderr();
}

inline bool Contains(const std::string& sz, std::string_view szPart) {
    return sz.find(szPart) != std::string::npos;
}

} // namespace vexta::test
