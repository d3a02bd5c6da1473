// The corpus through the event reader: the input is read as a corpus file
// (SGML when it starts with "<", else data lines) of two tag elements, in
// Test mode (gaps kept) and in Train mode, token by token to its end. In
// Test mode each line is also stored in a tagger's table: the check of the
// tagger's reading thread must accept exactly the lines that parse, and a
// table told where the reader's pieces of each line end must store it as
// one that splits the text itself. The
// reader's short path for plain token tags is checked against its general
// scanner: both must read the input the same way; and SGML read in pieces,
// as the threaded tagger reads it, must give the lines of the whole input.
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"
#include "corpus/input_pieces.h"
#include "corpus/sgml_lexer.h"
#include "fuzz_util.h"
#include "model/model.h"

using namespace vexta;

namespace {

// The fields of a stored line, each followed by a space.
std::string Fields(const DlData& dl) {
    std::string sz;
    const auto Add = [&sz](const char* psz) { sz.append(psz ? psz : "(none)").append(" "); };
    for (const char* psz : {dl.pszTag, dl.pszForm, dl.pszLemma}) Add(psz);
    for (const char* psz : dl.rgpszAC) Add(psz);
    sz.append("> ");
    for (const char* psz : dl.rgpszMMt) Add(psz);
    return sz;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    const std::string szPath = fuzz::WriteScratch("in.txt", fuzz::AsText(pb, cb));
    static std::array<char, kDataLineSize> szLine;
    static std::array<char, kDataLineSize> szRest;
    for (const int fMode : {kModeTest, kModeTrain}) {
        fuzz::Guarded([&] {
            auto pm = std::make_unique<Model>();
            pm->cTagElem = 2;
            pm->fProgMode = fMode;
            pm->cBeam = 3;
            pm->phashStr = ux_HashNew(1000, 50000, 4000);
            ux_HashMemberPtr(pm->phashStr.get(), "", &pm->pszEmpty);
            auto ppdf = std::make_unique<pdfRecType>();
            ppdf->szFileName = szPath;
            ppdf->szSentTag = "ZZ";
            ppdf->szSentForm = ppdf->szSentLemma = "###";
            if (OpenData(*ppdf) != 0) return;
            DataTable dt;
            DataTable dtParts;
            for (DataTable* pdt : {&dt, &dtParts}) {
                pdt->clLines = 1;
                pdt->fModelStringsOnly = true;
                if (AllocSegment(*pm, *pdt) != 0) return;
            }
            // As with one thread's tagger, the reader asks ahead for the
            // look-ups of the table the lines go to.
            if (fMode == kModeTest) ppdf->plookupsAhead = &dtParts.modelLookups;
            DlData dlCheck;
            gapRecType gap;
            // Each call consumes input or ends it; the bound only stops a
            // reader that would deliver tokens for ever.
            for (long i = 0; i < 1000000 && GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0; ++i) {
                // A line said to hold no zero byte is its first cch
                // characters.
                if (EventLine(szLine, *ppdf) != szLine.data()) std::abort();
                if (fMode == kModeTest) {
                    const std::string_view svLine = szLine.data();
                    const bool fParses = InsertLine(*pm, dt, svLine, 0, "", gap, 0) == 0;
                    if (fParses != (CheckLine(*pm, svLine, dlCheck) == 0)) std::abort();
                    const bool fParsesAtPieces = InsertLine(*pm, dtParts, svLine, 0, "", GapSpan{},
                                                            0, &ppdf->lineParts) == 0;
                    if (fParses != fParsesAtPieces ||
                        (fParses && Fields(dt.rgdl[0]) != Fields(dtParts.rgdl[0])))
                        std::abort();
                    // The copies of strings stay, so that later lines of a
                    // set met before take it from the tables' caches.
                    for (DataTable* pdt : {&dt, &dtParts}) {
                        ClearDataLine(*pdt, 0);
                        pdt->clData = 0;
                        pdt->gapStore.Clear();
                    }
                }
                FreeGap(gap);
            }
        });
    }
    // The reader's short path for plain token tags must read exactly as
    // the general scanner does: the same tokens, gaps and line numbers, and
    // the same fatal status at the same place; with tags of 8 elements too,
    // which it compares as words.
    const auto Transcript = [&](bool fPlain, int cTagElem) {
        std::string sz;
        auto pm = std::make_unique<Model>();
        pm->cTagElem = cTagElem;
        pm->fProgMode = kModeTest;
        auto ppdf = std::make_unique<pdfRecType>();
        ppdf->szFileName = szPath;
        ppdf->szSentTag = "ZZ";
        ppdf->szSentForm = ppdf->szSentLemma = "###";
        ppdf->fPlainPairs = fPlain;
        gapRecType gap;
        try {
            if (OpenData(*ppdf) != 0) return sz;
            for (long i = 0; i < 1000000 && GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0; ++i) {
                sz.append(szLine.data()).append("|").append(szRest.data());
                sz.append("|").append(std::to_string(ppdf->lLine));
                sz.append("|").append(std::to_string(ppdf->fWord));
                for (std::size_t k = 0; k < gap.Count(); ++k) sz.append("|").append(gap.Entry(k));
                sz.append("\n");
            }
        } catch (const ux_FatalExit& e) {
            sz.append("fatal ").append(std::to_string(e.Status()));
            sz.append(" at ").append(std::to_string(ppdf->lLine));
        }
        return sz;
    };
    for (const int cTagElem : {2, 8})
        if (Transcript(true, cTagElem) != Transcript(false, cTagElem)) std::abort();

    // SGML cut into pieces before <s> lines, each read on its own in give-up
    // mode, and their lines joined (a piece's first line dropped, its last
    // one taken once the next piece is read): the lines up to the first piece
    // given up or line that fails the check are the whole input's, and all
    // of them when there is none, and then the whole input reads without a
    // fatal error.
    const auto NewModel = [] {
        auto pm = std::make_unique<Model>();
        pm->cTagElem = 2;
        pm->fProgMode = kModeTest;
        pm->phashStr = ux_HashNew(1000, 50000, 4000);
        ux_HashMemberPtr(pm->phashStr.get(), "", &pm->pszEmpty);
        return pm;
    };
    const auto NewReader = [&] {
        auto ppdf = std::make_unique<pdfRecType>();
        ppdf->szFileName = szPath;
        ppdf->szSentTag = "ZZ";
        ppdf->szSentForm = ppdf->szSentLemma = "###";
        return ppdf;
    };
    const auto LineText = [](std::string_view szLine, std::string_view szRest, int fWord,
                             const gapRecType& gap, std::size_t k, std::size_t kEnd) {
        std::string sz(szLine);
        sz.append("|").append(szRest).append("|").append(std::to_string(fWord));
        for (; k < kEnd; ++k) sz.append("|").append(gap.Entry(k));
        return sz.append("\n");
    };
    auto pm = NewModel();
    std::string szWhole;
    bool fWholeFatal = false;
    {
        auto ppdf = NewReader();
        gapRecType gap;
        try {
            if (OpenData(*ppdf) != 0 || !CanReadInPieces(*ppdf)) return 0;
            for (long i = 0; i < 1000000 && GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0; ++i)
                szWhole += LineText(szLine.data(), szRest.data(), ppdf->fWord, gap, 0, gap.Count());
        } catch (const ux_FatalExit&) {
            fWholeFatal = true;
        }
    }
    std::string szJoined;
    bool fAll = true;
    {
        auto ppdf = NewReader();
        try {
            if (OpenData(*ppdf) != 0) return 0;
        } catch (const ux_FatalExit&) {
            return 0;
        }
        InputCutter cutter(*ppdf, 1 + (cb > 0 ? pb[0] % 97 : 0));
        PieceReader reader;
        InputPiece piece;
        std::string szHeld;
        while (fAll && cutter.Next(piece)) {
            reader.Read(*pm, *ppdf, piece);
            if (!piece.fRead) {
                fAll = false;
                break;
            }
            szJoined += szHeld;
            szHeld.clear();
            for (std::size_t k = piece.FirstLine(); k < piece.rglines.size(); ++k) {
                const PieceLine& line = piece.rglines[k];
                std::string sz = LineText(piece.Line(line), piece.Rest(line), line.fWord,
                                          piece.gapStore, line.iGap, line.iGap + line.cGap);
                if (line.rcCheck != 0) fAll = false;
                if (k + 1 == piece.rglines.size() && !piece.fLast && fAll)
                    szHeld = std::move(sz);
                else
                    szJoined += sz;
            }
        }
    }
    if (fAll ? (fWholeFatal || szJoined != szWhole) : !szWhole.starts_with(szJoined)) std::abort();
    return 0;
}
