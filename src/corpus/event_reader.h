// Event reader: turns the corpus, SGML or a file of data lines, into a stream
// of data lines, one per token:
//
//   tag "|" AC part "|" form "|" lemma "|" ">" candidate part
//
// where the AC part holds, per tag element, the sorted distinct values the
// candidate tags have there, each followed by "/", and the candidate part the
// distinct candidate tags, each followed by "/", most recently first seen
// first. Every <s> and the end of the input become boundary tokens. Outside
// Train mode the SGML pieces of each token (its gap) are kept so that tagged
// output can reproduce the input.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "corpus/sgml_lexer.h"

namespace vexta {

struct Model;

inline constexpr int kDataLineSize = 7998;  // line and rest buffers of every caller
inline constexpr int kTokenFieldSize = 248; // a form must be shorter than this to be stored

// The form field of a token whose form is kTokenFieldSize bytes or longer:
// the token is still read and tagged, and its text stays in the gap, so it
// is written out unchanged. A data line with this form points at this array
// itself, which is never interned: no form condition (always interned) can
// name it, and training makes none from it.
inline constexpr char szFormTooLong[] = "<long-form>";
inline constexpr int kLemmaMax = 251; // longest lemma accepted

// One entry of a gap list: an SGML tag exactly as read followed by its text
// (or the converted tag) and a suffix ("" or "\n"). Lists are in input order
// and own their entries.
struct gapRecType {
    gapRecType() = default;
    gapRecType(const gapRecType&) = delete;
    gapRecType& operator=(const gapRecType&) = delete;
    ~gapRecType(); // frees the rest of the list without recursion

    std::unique_ptr<char[]> pszGapText;   // zero-terminated
    std::unique_ptr<gapRecType> pgapNext; // next entry or none
};

// Delivers the next token. 0 with the data line in szLine and the
// unrecognised tags of the token in szRest; -1 at the end of the input;
// kEventNoRoom for buffers of fewer than 3 characters.
// pgapHead receives the token's gap list (none in Train mode, except the
// "<<virtualend>>" entry of the end-of-input token, and none for line-format
// input). Both buffers have the same size (kDataLineSize from all callers).
// Every error is a line-numbered fatal error.
int GetEvent(std::span<char> szLine, std::span<char> szRest, std::unique_ptr<gapRecType>& pgapHead,
             pdfRecType& pdf, const Model& m);

// Results of ConvertTag besides 0 (the tag is a source tag, szOut its target).
inline constexpr int kTagNoTable = -1;  // no table loaded: szOut is the tag
inline constexpr int kTagIsTarget = -2; // a target tag already: szOut is the tag
inline constexpr int kTagUnknown = 1;   // in neither direction

// Converts a tag through the reader's tag table: 0 or one of the codes above.
int ConvertTag(pdfRecType& pdf, std::string_view& szOut, std::string_view szTag);

// Result of InsertEvent (and of GetEvent) when the line buffer is too small.
inline constexpr int kEventNoRoom = 2;

// Assembles a data line into szLine: 0, or kEventNoRoom when it would not fit
// (at most size - 2 characters).
int InsertEvent(std::span<char> szLine, std::string_view szTag, std::string_view szACPart,
                std::string_view szForm, std::string_view szLemma, std::string_view szMMtPart);

// Appends the entry szTag + (pszReplace, or szText when null) + szSuffix of
// the reader's current tag to the list ending at pgapTail. 0.
int AddToGap(const pdfRecType& pdf, const char* pszReplace, std::unique_ptr<gapRecType>& pgapHead,
             gapRecType*& pgapTail, std::string_view szSuffix);

// Frees every entry of the list and sets the head to none. 0.
int FreeGap(std::unique_ptr<gapRecType>& pgapHead);

// A deep copy of a gap list (none for none).
std::unique_ptr<gapRecType> CopyGap(const gapRecType* pgap);

} // namespace vexta
