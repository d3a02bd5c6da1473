// The lexicon file and the dictionary file.
//
// Lexicon file, version 2: UTF-8 text, one record a line, fields separated by
// a tab, lines ended by a line feed; L, S, N, R, F, A, K, E are decimal
// counts:
//
//   vexta-lexicon <TAB> 2
//   tag-length <TAB> characters per tag
//   rare-max <TAB> forms seen at most this often feed the guesser
//   suffix-max <TAB> longest ending of the guesser, in characters
//   theta <TAB> blending weight of the guesser (17 significant digits)
//   layout <TAB> L               then L lines: the layout of tags composed
//                                from UPOS and FEATS, as the model file keeps it
//   spellings <TAB> S            then S lines: padded tag <TAB> the tag as
//                                spelled in the data (sorted, distinct)
//   tags <TAB> N                 then N lines: a tag (sorted, distinct)
//   rules <TAB> R                then R lines: cut <TAB> case <TAB> appended text
//   forms <TAB> F <TAB> A        then A lines: form <TAB> lemma <TAB> tag <TAB> count,
//                                sorted by form (F distinct forms), then tag, then lemma
//   endings <TAB> K <TAB> E      then E lines: key <TAB> tag <TAB> count <TAB> rule,
//                                sorted by key (K distinct keys), then tag
//   end
//
// Version 1 is the same without the layout and spellings sections; a lexicon
// that has neither is written as version 1, so that such files stay as they
// were. Both versions are read.
//
// A lemma rule (see lexicon.h) changes the case of the form (case 0: none,
// 1: the first character lower-cased, 2: all of it), drops `cut`
// characters and appends the text. A guesser key is a
// shape letter (n number, p punctuation, m mixed, c capitalised, l other)
// followed by a lower-cased ending, or "*" for every shape. The file is
// written under a temporary name beside its target, synced and renamed into
// place, so a reader never sees a cut file; the reader checks every line
// and count and the closing "end" line.
//
// Dictionary file: lines of form <TAB> lemma <TAB> tag in the column order
// of DictionaryColumns, or form <TAB> lemma <TAB> UPOS <TAB> FEATS for tags
// composed from UPOS and FEATS; empty lines and lines starting with "#" are
// skipped, a carriage return before the line feed is ignored.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "analyser/lexicon.h"

namespace vexta {

inline constexpr int kLexiconVersion = 2;
inline constexpr int kLexiconVersionPlain = 1; // without layout and spellings

// Result codes of the file operations (0: success).
inline constexpr int kLexCannotOpen = 1;   // the file cannot be opened or read
inline constexpr int kLexNotALexicon = 2;  // the first line is not a lexicon header
inline constexpr int kLexVersion = 3;      // a version this program cannot read
inline constexpr int kLexTagLength = 4;    // tags of another length than the run's
inline constexpr int kLexBadLine = 5;      // a line with wrong fields or numbers
inline constexpr int kLexBadCount = 6;     // a section holds another number of lines
inline constexpr int kLexBadTag = 7;       // a tag not in the tag list or not storable
inline constexpr int kLexOrder = 8;        // records out of order or repeated
inline constexpr int kLexCannotWrite = 9;  // the file cannot be written
inline constexpr int kDictCannotOpen = 11; // the dictionary cannot be opened
inline constexpr int kDictFields = 12;     // a line without exactly three fields
inline constexpr int kDictTagLength = 13;  // a tag of the wrong length
inline constexpr int kDictTagValue = 14;   // a tag with a value a data line cannot hold
inline constexpr int kDictEmpty = 15;      // an empty form, lemma or tag

// What went wrong, and where (line -1: not tied to a line).
struct FileProblem {
    int iCode = 0;
    long lLine = -1;
    std::string szText;
};

// Column of form, lemma and tag in a dictionary line (0-based).
using DictionaryColumns = std::array<int, 3>;
inline constexpr DictionaryColumns kDictColumnsDefault{0, 1, 2};

// Parses a DictionaryColumns value: the words form, lemma and tag, each once,
// separated by "," or "+" in the order they stand in the file. False when
// the value is not such a list.
bool ParseDictionaryColumns(std::string_view szValue, DictionaryColumns& cols);

// True when every byte of the tag can stand in a data line: no blank or
// control character, no "|" and no "/".
bool IsStorableTag(std::string_view szTag);

// Writes the lexicon atomically. 0 or kLexCannotWrite.
int WriteLexicon(const Lexicon& lex, const std::string& szFile, FileProblem& problem);

// Lexicon text as written to the file.
std::string LexiconText(const Lexicon& lex);

// Reads a lexicon file whose tags must have cTagElem characters. 0 or one
// of the codes above with the problem described.
int ReadLexicon(const std::string& szFile, int cTagElem, Lexicon& lex, FileProblem& problem);

// The same from text in memory (szName names it in messages).
int ParseLexicon(std::string_view szText, std::string_view szName, int cTagElem, Lexicon& lex,
                 FileProblem& problem);

// How the tag of a dictionary line is made.
struct DictionaryTags {
    // Pads tags shorter than the tag length (their spelling goes to the
    // builder); 0: such tags are errors.
    char chPad = 0;
    // Set for tags composed from UPOS and FEATS (lines of four fields):
    // writes the tag into szTag, leaves it empty for a line whose values the
    // layout does not know (the line is skipped and counted), or returns an
    // error text.
    std::function<std::string(std::string_view szUpos, std::string_view szFeats,
                              std::string& szTag)>
        compose;
    long cSkipped = 0; // lines skipped by compose
};

// Adds every line of a dictionary file to the builder. 0 or a kDict code.
int ReadDictionary(const std::string& szFile, const DictionaryColumns& cols, int cTagElem,
                   LexiconBuilder& builder, FileProblem& problem);
int ReadDictionary(const std::string& szFile, const DictionaryColumns& cols, int cTagElem,
                   LexiconBuilder& builder, FileProblem& problem, DictionaryTags& tags);

} // namespace vexta
