// SGML input cut into pieces that readers on several threads read at once.
//
// A piece ends just before a line that starts with an <s> tag. Where the
// reader reading the whole input meets such a tag, it is always between
// tokens: the tag ends the token before it (or follows other tags between
// tokens), and the next call makes the sentence's boundary token of it. A
// reader that starts at the tag, with no tag before it, makes the same
// boundary token and then the same lines as the whole-input reader. So the
// lines of the input are the lines of its pieces read one by one, joined:
//
// - each piece but the last is read together with the next piece's first
//   tag and its text (up to the next "<"), so that its last line is the
//   boundary token of that tag, with the tags between tokens before it in
//   its gap, exactly as the whole-input reader gives it;
// - each piece but the first starts with that same boundary token, which
//   is dropped (the piece before gave it, with its whole gap).
//
// A piece is read ahead of its turn in give-up mode (pdfRecType::fGiveUp):
// whatever would write a message or stop the run leaves the piece unread, to
// be read again in the ordinary mode when its turn comes, so that messages,
// their order and what is written before a failure stay the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corpus/candidate_set_cache.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"

namespace vexta {

struct Model;

// Bytes of input a piece holds at least (it ends at the next <s> line after
// them, or at the end of the input).
// Small, so that the pieces read ahead add little to the memory the windows
// take.
inline constexpr std::size_t kInputPieceSize = std::size_t{1} << 18;

// Bytes of input, followed by a zero byte; growing, they are not filled
// first.
class PieceBytes {
public:
    std::size_t Size() const { return cb_; }
    std::span<const char> Span() const { return {p_ ? p_.get() : "", cb_}; }
    // Room for cb more bytes after those held; Commit keeps those written.
    char* Room(std::size_t cb);
    void Commit(std::size_t cb) {
        cb_ += cb;
        p_[cb_] = '\0';
    }
    void Append(std::span<const char> rgch) {
        if (rgch.empty()) return;
        std::memcpy(Room(rgch.size()), rgch.data(), rgch.size());
        Commit(rgch.size());
    }
    void Truncate(std::size_t cb) {
        cb_ = cb;
        if (p_) p_[cb_] = '\0';
    }

private:
    std::unique_ptr<char[]> p_;
    std::size_t cb_ = 0;
    std::size_t cbCap_ = 0;
};

// One data line of a piece as the reader gave it.
struct PieceLine {
    std::uint32_t ichLine = 0; // the data line in InputPiece::szText,
    std::uint32_t cchLine = 0;
    std::uint32_t cchRest = 0; // then the unrecognised tags of the token
    std::uint32_t iGap = 0;    // its gap: entries iGap .. iGap + cGap - 1 of
    std::uint32_t cGap = 0;    // InputPiece::gapStore
    std::uint16_t fWord = 0;   // pdfRecType::fWord for the line
    std::uint16_t rcCheck = 0; // CheckLine's result for it
    DataLineParts parts;       // where the reader's pieces of the data line end
};

// A piece of the input and what reading it gave.
struct InputPiece {
    PieceBytes bytes;         // the piece, then (unless fLast) the next one's first tag and text
    std::size_t cbOwn = 0;    // bytes of the piece itself
    bool fFirst = false;      // the input's first piece
    bool fLast = false;       // the input's last piece: it ends where the input ends
    bool fReadFailed = false; // reading the file failed after the piece's bytes
    // The input goes on after the piece's bytes, in the run's file: the
    // piece is last and is read by a reader in the ordinary mode.
    bool fOpenEnded = false;
    long clNewlines = 0; // newlines in the piece itself (once read)
    // Set by PieceReader::Read.
    bool fRead = false;   // read whole; false: to be read again in the ordinary mode
    long clSentences = 0; // <s> tokens of its lines that are not dropped
    std::string szText;   // data lines and rests
    gapRecType gapStore;  // the lines' gaps
    std::vector<PieceLine> rglines;

    std::string_view Line(const PieceLine& line) const {
        return {szText.data() + line.ichLine, line.cchLine};
    }
    std::string_view Rest(const PieceLine& line) const {
        return {szText.data() + line.ichLine + line.cchLine, line.cchRest};
    }
    // The lines that count: all but a later piece's first.
    std::size_t FirstLine() const { return fFirst ? 0 : 1; }
};

// Whether a reader of the whole input is between tokens where the piece
// after this one starts, given that it is at the piece's start: the piece
// opens no comment ("<comment>") and every tag in it ends in it.
bool EndsBetweenTags(const InputPiece& piece);

// The newlines in the piece itself, when a reader that read the whole
// piece (with the next one's first tag and text) counted clNewlinesAll.
long NewlinesOwn(const InputPiece& piece, long clNewlinesAll);

// Whether the input of a reader just opened by OpenData can be cut into
// pieces: SGML, without tag table or analyser. Otherwise one reader reads it.
bool CanReadInPieces(const pdfRecType& pdf);

// Cuts the input of a reader just opened by OpenData into pieces: what the
// reader holds and has not delivered, then the rest of its file, read in
// large blocks.
class InputCutter {
public:
    InputCutter(pdfRecType& pdf, std::size_t cbPiece);

    // The next piece into piece (its bytes, cbOwn, fFirst, fLast; the rest
    // is emptied); false when the input has been cut to its end.
    bool Next(InputPiece& piece);

    // Ends the cutting: the bytes held and not yet cut. Whether the file
    // goes on after them, or its end was met by a failed read:
    std::span<const char> TakeRest() {
        fDone_ = true;
        return tail_.Span();
    }
    bool FileEnded() const { return fEOF_; }
    bool ReadFailed() const { return fReadFailed_; }

private:
    // Reads up to cb more bytes of the file into bytes; false at its end.
    bool ReadInto(PieceBytes& bytes, std::size_t cb);
    // Whether a piece can end in rgch: where (its own bytes) and where its
    // bytes with the next piece's first tag and text end. The search goes
    // on from ichSearch, which it moves on.
    bool FindCut(std::span<const char> rgch, std::size_t& ichSearch, std::size_t& ichCut,
                 std::size_t& ichEnd) const;

    pdfRecType& pdf_;
    std::size_t cbPiece_;
    PieceBytes tail_; // bytes read after the last cut
    bool fEOF_ = false;
    bool fReadFailed_ = false; // the read that found the end failed
    bool fDone_ = false;
    bool fFirst_ = true;
};

// Prepares pdf to read the bytes of piece as pdfRun, opened on the whole
// input, would read them from the piece's start (its first line lLine),
// szPrevLine being the start of the data line delivered last before. After
// the bytes, the reader finds the end of the input, a read failure
// (fReadFailed) or the rest of the file pfAfter (fOpenEnded: pdfRun's file).
void OpenPiece(pdfRecType& pdf, const pdfRecType& pdfRun, const InputPiece& piece, long lLine,
               std::string_view szPrevLine,
               std::unique_ptr<std::FILE, FileCloser> pfAfter = nullptr);

// Reads pieces ahead of their turn, in give-up mode.
class PieceReader {
public:
    PieceReader();

    // Reads piece (OpenPiece with pdfRun) into its lines, each checked by
    // CheckLine for m; stops after a line that fails the check. fRead false
    // when it gave up or the piece did not end as a piece must.
    void Read(const Model& m, const pdfRecType& pdfRun, InputPiece& piece);

private:
    std::unique_ptr<pdfRecType> ppdf_;
    std::vector<char> szLine_;
    std::vector<char> szRest_;
    DlData dlCheck_;
    CandidateSetCache checked_;
};

} // namespace vexta
