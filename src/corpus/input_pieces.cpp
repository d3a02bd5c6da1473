// Cutting SGML input into pieces and reading a piece ahead of its turn.
#include "corpus/input_pieces.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include <sys/types.h>

#include "model/model.h"

namespace vexta {

namespace {

// Bytes read beyond the piece size at a time, to find the cut after it.
constexpr std::size_t kCutterSlack = std::size_t{1} << 14;
// A piece that finds no cut within this many times the piece size ends the
// cutting.
constexpr std::size_t kMaxPieceFactor = 64;

// Whether the bytes at pch (n of them) start with "<s>" or "<s ", a tag
// named "s"; -1 when there are too few bytes to tell.
int SentenceTagAt(const char* pch, std::size_t n) {
    if (n >= 1 && pch[0] != '<') return 0;
    if (n >= 2 && pch[1] != 's') return 0;
    if (n < 3) return -1;
    return pch[2] == '>' || pch[2] == ' ' ? 1 : 0;
}

} // namespace

long NewlinesOwn(const InputPiece& piece, long clNewlinesAll) {
    long cl = clNewlinesAll;
    const std::span<const char> rgch = piece.bytes.Span().subspan(piece.cbOwn);
    for (const char* pch = rgch.data(); pch != nullptr;) {
        pch = static_cast<const char*>(
            std::memchr(pch, '\n', static_cast<std::size_t>(rgch.data() + rgch.size() - pch)));
        if (pch != nullptr) {
            --cl;
            ++pch;
        }
    }
    return cl;
}

bool CanReadInPieces(const pdfRecType& pdf) {
    return pdf.iState == 2 && pdf.pf && !pdf.phashTag && !pdf.pAnalyserUse;
}

char* PieceBytes::Room(std::size_t cb) {
    if (cbCap_ < cb_ + cb + 1) {
        const std::size_t cbNew = std::max(2 * cbCap_, cb_ + cb + 1);
        auto pNew = std::make_unique_for_overwrite<char[]>(cbNew);
        if (cb_ > 0) std::memcpy(pNew.get(), p_.get(), cb_);
        p_ = std::move(pNew);
        cbCap_ = cbNew;
    }
    return p_.get() + cb_;
}

bool EndsBetweenTags(const InputPiece& piece) {
    const std::string_view sv(piece.bytes.Span().data(), piece.cbOwn);
    const std::size_t ichLt = sv.rfind('<');
    return sv.find("<comment>") == std::string_view::npos &&
           (ichLt == std::string_view::npos || sv.find('>', ichLt) != std::string_view::npos);
}

InputCutter::InputCutter(pdfRecType& pdf, std::size_t cbPiece)
    : pdf_(pdf), cbPiece_(std::max<std::size_t>(cbPiece, 1)) {
    // What the reader holds and has not delivered: the characters pushed
    // back, then the rest of its block.
    const char* const pchWaitingEnd = pdf.szPushBack.data() + pdf.cchPushBack;
    if (pdf.pchPushBack < pchWaitingEnd)
        tail_.Append({pdf.pchPushBack, static_cast<std::size_t>(pchWaitingEnd - pdf.pchPushBack)});
    pdf.pchPushBack = pchWaitingEnd;
    tail_.Append({pdf.pchBuf, static_cast<std::size_t>(pdf.pchBufEnd - pdf.pchBuf)});
    pdf.pchBuf = pdf.pchBufEnd;
    fEOF_ = pdf.fEOF != 0 || !pdf.pf;
}

bool InputCutter::ReadInto(PieceBytes& bytes, std::size_t cb) {
    if (fEOF_) return false;
    const std::size_t cbRead = std::fread(bytes.Room(cb), 1, cb, pdf_.pf.get());
    bytes.Commit(cbRead);
    if (cbRead == 0) {
        fEOF_ = true;
        pdf_.fEOF = 1;
        fReadFailed_ = std::ferror(pdf_.pf.get()) != 0;
        return false;
    }
    return true;
}

bool InputCutter::FindCut(std::span<const char> rgch, std::size_t& ichSearch, std::size_t& ichCut,
                          std::size_t& ichEnd) const {
    const char* const pch = rgch.data();
    const std::size_t cb = rgch.size();
    std::size_t ich = std::max(ichSearch, cbPiece_ - 1);
    while (ich < cb) {
        const auto* pchNl = static_cast<const char*>(std::memchr(pch + ich, '\n', cb - ich));
        if (pchNl == nullptr) break;
        ich = static_cast<std::size_t>(pchNl - pch);
        const std::size_t ichTag = ich + 1;
        const int fTag = SentenceTagAt(pch + ichTag, cb - ichTag);
        if (fTag == 0) {
            ++ich;
            continue;
        }
        // The tag, its text and the "<" after them must be held; else wait
        // for more (at the end of the input there is no cut here, nor later).
        ichSearch = ich;
        if (fTag < 0) return false;
        const auto* pchGt =
            static_cast<const char*>(std::memchr(pch + ichTag + 2, '>', cb - (ichTag + 2)));
        if (pchGt == nullptr) return false;
        const auto* pchLt = static_cast<const char*>(
            std::memchr(pchGt + 1, '<', cb - static_cast<std::size_t>(pchGt + 1 - pch)));
        if (pchLt == nullptr) return false;
        ichCut = ichTag;
        ichEnd = static_cast<std::size_t>(pchLt - pch);
        return true;
    }
    ichSearch = std::max(ichSearch, cb);
    return false;
}

bool InputCutter::Next(InputPiece& piece) {
    if (fDone_) return false;
    PieceBytes& bytes = piece.bytes;
    bytes.Truncate(0);
    bytes.Append(tail_.Span());
    tail_.Truncate(0);
    std::size_t ichSearch = 0;
    std::size_t ichCut = 0;
    std::size_t ichEnd = 0;
    bool fLast = false;
    bool fOpenEnded = false;
    for (;;) {
        if (FindCut(bytes.Span(), ichSearch, ichCut, ichEnd)) break;
        // Input without <s> lines for long is not held: the rest of it is
        // one piece, read by one reader from what is held on.
        fOpenEnded = !fEOF_ && bytes.Size() >= kMaxPieceFactor * cbPiece_;
        const std::size_t cbWant =
            (bytes.Size() < cbPiece_ ? cbPiece_ - bytes.Size() : 0) + kCutterSlack;
        if (fOpenEnded || !ReadInto(bytes, cbWant)) {
            fLast = true;
            ichCut = ichEnd = bytes.Size();
            break;
        }
    }
    if (!fLast) {
        tail_.Append(bytes.Span().subspan(ichCut));
        bytes.Truncate(ichEnd);
    }
    piece.cbOwn = ichCut;
    piece.fFirst = fFirst_;
    piece.fLast = fLast;
    piece.fReadFailed = fLast && fReadFailed_;
    piece.fOpenEnded = fOpenEnded;
    piece.clNewlines = 0;
    piece.fRead = false;
    piece.clSentences = 0;
    piece.szText.clear();
    piece.gapStore.Clear();
    piece.rglines.clear();
    fFirst_ = false;
    fDone_ = fLast;
    return true;
}

void OpenPiece(pdfRecType& pdf, const pdfRecType& pdfRun, const InputPiece& piece, long lLine,
               std::string_view szPrevLine, std::unique_ptr<std::FILE, FileCloser> pfAfter) {
    pdf.szFileName = pdfRun.szFileName;
    pdf.fmt = pdfRun.fmt;
    pdf.szSentTag = pdfRun.szSentTag;
    pdf.szSentForm = pdfRun.szSentForm;
    pdf.szSentLemma = pdfRun.szSentLemma;
    pdf.fPlainPairs = pdfRun.fPlainPairs;
    pdf.pAnalyserUse = nullptr;
    pdf.fTrainingLine = pdfRun.fTrainingLine;
    // The piece's bytes are read where they lie, then the file after them.
    pdf.pf = std::move(pfAfter);
    RestartScan(pdf, piece.bytes.Span(), piece.fReadFailed, lLine);
    pdf.iState = 2;
    pdf.clSentences = 0;
    pdf.fBoundary = 0;
    pdf.lineParts = {};
    pdf.fGiveUp = false;
    const std::size_t cchPrev = std::min<std::size_t>(szPrevLine.size(), kPdfPrevLineShown);
    if (cchPrev > 0) std::memcpy(pdf.szPrevLine.data(), szPrevLine.data(), cchPrev);
    pdf.szPrevLine[cchPrev] = '\0';
}

PieceReader::PieceReader()
    : ppdf_(std::make_unique<pdfRecType>()), szLine_(kDataLineSize, '\0'),
      szRest_(kDataLineSize, '\0') {}

void PieceReader::Read(const Model& m, const pdfRecType& pdfRun, InputPiece& piece) {
    piece.fRead = false;
    piece.clSentences = 0;
    piece.szText.clear();
    piece.gapStore.Clear();
    piece.rglines.clear();
    if (piece.fReadFailed || piece.fOpenEnded) return;

    pdfRecType& pdf = *ppdf_;
    OpenPiece(pdf, pdfRun, piece, 1, {});
    pdf.fGiveUp = true;
    bool fChecked = true;
    int fLastBoundary = 0;
    try {
        for (;;) {
            const std::size_t kGap = piece.gapStore.Count();
            const int rc = GetEventOntoGap(szLine_, szRest_, piece.gapStore, pdf, m);
            if (rc == -1) {
                piece.gapStore.Truncate(kGap);
                break;
            }
            if (rc != 0) return;
            const std::string_view svLine = EventLine(szLine_, pdf);
            const std::string_view svRest = szRest_.data();
            PieceLine line;
            line.ichLine = static_cast<std::uint32_t>(piece.szText.size());
            line.cchLine = static_cast<std::uint32_t>(svLine.size());
            line.cchRest = static_cast<std::uint32_t>(svRest.size());
            piece.szText.append(svLine);
            piece.szText.append(svRest);
            line.iGap = static_cast<std::uint32_t>(kGap);
            line.cGap = static_cast<std::uint32_t>(piece.gapStore.Count() - kGap);
            line.fWord = static_cast<std::uint16_t>(pdf.fWord);
            line.parts = pdf.lineParts;
            fLastBoundary = pdf.fBoundary != 0 && pdf.fEndToken == 0 ? 1 : 0;
            // A later piece starts with the boundary token of its first tag.
            if (piece.rglines.empty() && !piece.fFirst && !fLastBoundary) return;
            const int rcCheck = CheckLine(m, svLine, dlCheck_, &checked_, &pdf.lineParts);
            line.rcCheck = rcCheck == 0 ? 0 : 1;
            piece.rglines.push_back(line);
            // The run stops at a line that fails; nothing after it is read.
            if (rcCheck != 0) {
                fChecked = false;
                break;
            }
        }
    } catch (const ReadGivenUp&) {
        return;
    }
    // Unless the input ends in it, a piece ends with the boundary token of
    // the next piece's first tag, after the lines that count.
    if (fChecked && !piece.fLast &&
        (!fLastBoundary || piece.rglines.size() < piece.FirstLine() + 1))
        return;
    piece.clSentences = pdf.clSentences - (piece.fFirst ? 0 : 1);
    piece.clNewlines = NewlinesOwn(piece, pdf.lLine - 1);
    piece.fRead = true;
}

} // namespace vexta
