// Input formats of the corpus reader and the state of reading CoNLL-U.
//
// Without an InputFormat key a file whose name ends in ".conllu" is read as
// CoNLL-U and any other input is decided by its first character ("<": SGML,
// else a file of data lines), as it always was; standard input, which has
// no name, is CoNLL-U when its first line is a CoNLL-U comment or word line.
#pragma once

#include <string>
#include <string_view>

#include "corpus/ud_layout.h"

namespace vexta {

class TagSpellings;

enum class InputFormat {
    kAuto,   // by file name and first character
    kSgml,   // SGML tokens
    kLine,   // data lines, one per line
    kConllu, // CoNLL-U: one word per line, sentences separated by blank lines
};

// Parses a value of InputFormat ("sgml", "line", "conllu"); false otherwise.
bool ParseInputFormat(std::string_view szValue, InputFormat& fmt);

// The CoNLL-U column that holds the tag: XPOS, or a tag composed from UPOS
// and FEATS by a layout (corpus/ud_layout.h).
enum class TagColumn {
    kXpos,
    kUposFeats,
};

// Parses a value of TagColumn ("XPOS", "UPOS+FEATS"); false otherwise.
bool ParseTagColumn(std::string_view szValue, TagColumn& col);

// 0-based CoNLL-U columns.
inline constexpr int kConlluColumns = 10;
inline constexpr int kConlluId = 0;
inline constexpr int kConlluForm = 1;
inline constexpr int kConlluLemma = 2;
inline constexpr int kConlluUpos = 3;
inline constexpr int kConlluXpos = 4;
inline constexpr int kConlluFeats = 5;

// The column a tag column is written to on output.
int ConlluColumnOf(TagColumn col);

// Reading state of a CoNLL-U input, kept in the reader record. The strings
// are reused from token to token.
struct ConlluScan {
    TagColumn col = TagColumn::kXpos;
    char chTagPad = '-';               // pads tags shorter than the tag length
    bool fInSentence = false;          // a word or comment line was read since the last blank line
    bool fLineHeld = false;            // szLine is read but not yet handled
    bool fWarnedNoCands = false;       // the note on missing candidates was given
    long lLinesRead = 0;               // lines read so far; the current one is this number
    long lNextId = 1;                  // ID the next word of the sentence must have
    std::string szLine;                // the current raw line with its line end
    std::string szPending;             // raw lines waiting for the next token's gap
    TagSpellings* ptagSpell = nullptr; // where padded tags remember their spelling
    // UPOS+FEATS: the layout that composes the tags, or, while a layout is
    // derived, the builder that collects the words (only while fCollect).
    const UdLayout* playout = nullptr;
    UdLayout::Builder* pbuilder = nullptr;
    bool fCollect = false;
    UdLayout::Misses misses; // what the layout had no place for
};

} // namespace vexta
