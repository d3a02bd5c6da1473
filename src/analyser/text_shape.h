// Word forms as the analyser sees them: UTF-8 text lower-cased letter by
// letter (Latin, Greek and Cyrillic capitals; every other byte sequence is
// kept as it is), cut into trailing characters, and sorted into a few shapes
// (numbers, punctuation, capitalised and other words) that the guesser keeps
// apart. Malformed UTF-8 is never rejected: each byte that does not start a
// well-formed sequence counts as one character of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vexta {

// Shapes of word forms, written as one letter in guesser keys.
enum class FormShape : char {
    Number = 'n',      // digits, possibly with . , : - / and blanks, no letters
    Punctuation = 'p', // neither letters nor digits
    Mixed = 'm',       // letters and digits
    Capital = 'c',     // begins with a capital letter
    Lower = 'l',       // any other word
};

// Appends szForm lower-cased to szOut; true when anything changed.
bool AppendLower(std::string_view szForm, std::string& szOut);

// Length in bytes of the character that starts at sz[ich] (1 for a byte
// that does not start a well-formed sequence).
std::size_t CharLength(std::string_view sz, std::size_t ich);

// Number of characters of sz.
std::size_t CharCount(std::string_view sz);

// The last cch characters of sz (all of sz when it has fewer).
std::string_view LastChars(std::string_view sz, std::size_t cch);

// The text of sz without its last cch characters (empty when it has fewer).
std::string_view CutLastChars(std::string_view sz, std::size_t cch);

// The shape of a word form.
FormShape ShapeOf(std::string_view szForm);

// True when the first character of sz is a capital letter.
bool StartsWithCapital(std::string_view sz);

// Appends sz with its first character lower-cased to szOut.
void AppendLowerFirst(std::string_view sz, std::string& szOut);

} // namespace vexta
