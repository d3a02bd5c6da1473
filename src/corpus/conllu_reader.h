// CoNLL-U input: every syntactic word (a line with an integer ID) becomes a
// token with its form, lemma and the tag of the chosen tag column; a blank
// line ends a sentence, and every sentence starts with a boundary token as an
// SGML <s> does. Comment lines, multiword-token lines ("1-2") and empty nodes
// ("8.1") are not tokens: outside Train mode their bytes, and those of blank
// lines, are kept in the gap of the token that follows them, and the word's
// own line (with its line end) is the token's rest, so that tagged output can
// reproduce the input byte for byte.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "corpus/event_reader.h"

namespace vexta {

struct Model;

// Delivers the next token of a CoNLL-U input as GetEvent does: 0 with the
// data line in szLine; -1 after the end-of-input token. The token's own
// candidate is its tag; a tag shorter than the tag length is padded with the
// pad character. Malformed lines are line-numbered fatal errors.
int GetConlluEvent(std::span<char> szLine, std::span<char> szRest, gapRecType& gap, pdfRecType& pdf,
                   const Model& m);

// Splits a CoNLL-U line (without its line end) at its tabs: the columns go
// into rgsz as far as it has room; returns the number of columns.
int SplitConlluColumns(std::string_view szLine, std::span<std::string_view> rgsz);

// The line without its line end ("\n" or "\r\n").
std::string_view ConlluLineContent(std::string_view szRaw);

} // namespace vexta
