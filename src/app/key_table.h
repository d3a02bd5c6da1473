// The keys of the argument file: one table of every key that some run mode
// reads, with the modes that read it, its default, its bounds and its meaning.
// The parameter checks take their bounds from it, the key reference
// (docs/keys.md, "vexta --keys") is printed from it, and a defined key that
// is not in it is reported as unknown with the closest known key.
//
// Adding a key is one entry in kKeys (key_table.cpp).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vexta {

// Run modes that read a key (a bit set).
enum KeyModes : unsigned {
    kReadInTrain = 1, // Train, TrainOut
    kReadInTest = 2,  // Test, TestOut, TestDebug
    kReadInTag = 4,   // Tag, TagDebug
    kReadInAll = 7,
};

// How the key is written.
enum class KeyForm : unsigned char {
    kPlain,    // the name alone
    kIterated, // the name, and the name + iteration number (from 0) for one iteration
    kNumbered, // only the name + a number from 1 (SubTag1, SubTag2, ...)
};

// What the value is.
enum class KeyType : unsigned char {
    kText, // a file name or free text
    kWord, // one of the words in szValues
    kFlag, // yes/no: y, Y, yes, Yes, YES, n, N, no, No, NO, or 0/1
    kInt,  // a whole number within dMin..dMax
    kReal, // a number within dMin..dMax
};

struct KeyInfo {
    std::string_view szName;
    unsigned fModes = kReadInAll;
    KeyForm form = KeyForm::kPlain;
    KeyType type = KeyType::kText;
    std::string_view szDefault = {}; // empty: the key is required
    double dMin = 0;                 // bounds of kInt and kReal keys
    double dMax = 0;
    double dMaxIterated = 0;        // upper bound of the per-iteration form when it differs
    std::string_view szValues = {}; // the words of a kWord key, or bounds in words
    std::string_view szMeaning = {};
};

// Every key, in the order of the reference.
std::span<const KeyInfo> KnownKeys();

// The entry of szName (the plain name, without an iteration number). A name
// that is not in the table is a programming error: the process aborts.
const KeyInfo& KeyEntry(std::string_view szName);

// True when some mode reads the key szKey as defined in an argument file:
// a plain name, or a name of a kIterated / kNumbered entry with its number.
bool IsKnownKey(std::string_view szKey);

// The known key closest to szKey (with the same number appended when szKey
// ends in one and the entry takes numbers), or "" when none is close.
std::string ClosestKey(std::string_view szKey);

// A bound as the messages write it: "1.0", "0.0001", "10000.0".
std::string BoundText(double d);

// The key reference in Markdown: the text of docs/keys.md.
std::string KeyReference();

} // namespace vexta
