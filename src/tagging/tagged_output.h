// Tagged output: the corpus written back with the chosen tags, line by line
// as the beam-search tagger decides them, and the windowed tagging of a
// whole input onto standard output.
#pragma once

#include <string_view>

#include <cstddef>

#include "corpus/data_table.h"
#include "corpus/input_pieces.h"
#include "model/model.h"

namespace vexta {

// Failure codes of writing one line.
inline constexpr int kOutNoLemma = 88;      // the chosen tag has no <MMl> lemma in the gap
inline constexpr int kOutBadTag = 89;       // the chosen tag does not decode into UPOS and FEATS
inline constexpr int kOutLemmaNoText = 394; // an <MMl> entry without ">"
inline constexpr int kOutTagNoText = 395;   // an <MMt> entry without ">"

// Failure codes of TagDataVTC.
inline constexpr int kTagVtcParams = 2401; // the input could not be set up or opened
inline constexpr int kTagVtcInsert = 2402; // a data line could not be stored
inline constexpr int kTagVtcRead = 2403;   // the reader failed
inline constexpr int kTagVtcTagger = 2404; // the beam-search tagger (or the writer) failed

// Output levels of the tag modes: "Tag", and "TagDebug" (full debug lines
// among the tagged ones, the error mark, and the error note of line-format
// input).
inline constexpr int kOutLevelTag = 1;
inline constexpr int kOutLevelTagDebug = 10001;

// How the input is cut into windows: each window holds up to clCapacity
// lines; a later window starts with the last clOverlap lines of the one
// before, re-tagged as left context, and writes from its line ilOutFirst on.
// A full window writes up to line clCapacity - clOverlap + ilOutFirst - 1, so
// every input line is written exactly once. Windows that break
// 0 <= ilOutFirst <= clOverlap < clCapacity are refused.
// With several threads, SGML input is read in pieces of at least cbPiece
// bytes (see input_pieces.h); the pieces do not change the output. One
// thread writes its tagged lines whenever they come to cchOutChunk
// characters (0: a window's at a time), so that its output buffer stays in
// the processor's caches and a reader downstream gets them sooner; the
// output is the same.
struct VtcWindow {
    long clCapacity;
    long clOverlap;
    long ilOutFirst;
    std::size_t cbPiece = kInputPieceSize;
    std::size_t cchOutChunk = 128 * 1024;
};

// The windows of the tagger: 20100 lines, 100 of them carried over, output
// of a later window from its line 50 (a full window writes up to line 20049).
inline constexpr VtcWindow kVtcWindow{20100, 100, 50};

// Writes line il of the table to standard output with the chosen tag szTag.
// Line-format input (dt.iInputState 1): szTag followed by the data line from
// its first "|" on, then " " and szErrNote when iOutLevel > 100. SGML input:
// the token's gap with <MDl> (the lemma of the <MMl> group holding szTag,
// or the analyser's lemma for szTag when the analyser gave the candidates)
// and <MDt> (szTag) inserted before its first <MMl> or <MDl>, marked with
// m.szTaggerID; nothing is inserted on a sentence-boundary or end-of-input
// line. Then the line's rest and " ALOFLAG" when iOutLevel > 1 and fLineErr
// is set, and a line end (none after the end of the input). 0, or one of
// the codes above.
int WriteTaggedLine(const DataTable& dt, const Model& m, long il, std::string_view szTag,
                    int iOutLevel, bool fLineErr, std::string_view szErrNote);

// Reads the input named by szPrefix + "InData" window by window into
// m.pdtS, tags every window with the beam-search tagger and writes each
// input line once to standard output. fDebug > 0 selects the "TagDebug"
// output level. 0 (or the tagger's last non-positive result) when all input
// was tagged; else one of the codes above. The table's line storage is
// released before returning.
int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix);

// The same with windows of the caller's choice (kTagVtcParams for windows
// that cannot write every line once), tagged by cThreads threads. Windows are
// independent: each is tagged from its first line, with the lines carried
// over from the window before as left context, so any number of threads
// writes the same output. Several threads are used only for "Tag" output
// with every trace switch off; the windows are then filled on the calling
// thread while the others tag them, and up to cThreads + 1 windows are held
// at once. SGML input (without tag table or analyser) is read in pieces by
// the other threads too, a few pieces ahead; a piece whose reading would
// write a message or fail is read on the calling thread at its turn, as one
// thread reads it.
int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix,
               const VtcWindow& win, int cThreads);

} // namespace vexta
