// The feature pool: feature description strings, the pool file made of them,
// and loading them class by class into the model's rgfdFeatureSugg.
//
// A feature description string (one pool line):
//   <count> <te> <AC text> <term count>_<predicted value>_<terms><rest>
// e.g. "17 03 NV 02__ffff00__N_ffff20__Ag_": count 17, tag element 3, class
// NV, two terms (value N of tag element 0 at offset -1; AC Ag of tag element
// 0 at offset -1). Each term is six hex digits (low bytes of iPos,
// iClosestConditionElem and iConditionElem), the closest value between
// underscores, then the value and "_". The AC text "--" stands for the
// general model (the all-data class of the tag element).
#pragma once

#include <span>

namespace vexta {

struct Model;

// Longest pool line read from a pool file.
inline constexpr int kPoolLineMax = 3999;

// Failure codes of AddFeatureFromStr: a malformed pool line.
inline constexpr int kPoolBadTermCount = 2;        // a term count outside 0..kTermsMax
inline constexpr int kPoolNoValueSep = 3;          // no "_" before the predicted value
inline constexpr int kPoolNoTermsSep = 4;          // no "_" after the predicted value
inline constexpr int kPoolNoClosestValue = 5;      // a term ends before its closest value
inline constexpr int kPoolNoValue = 7;             // a term ends before its value
inline constexpr int kPoolInternValue = 8;         // a value cannot be interned
inline constexpr int kPoolBadClosestTag = 9;       // closest element: a tag element the model lacks
inline constexpr int kPoolBadConditionTag = 10;    // condition element: the same
inline constexpr int kPoolNoClass = 11;            // the line ends in its class string
inline constexpr int kPoolBadConditionAC = 12;     // condition element: an AC the model lacks
inline constexpr int kPoolBadTagElem = 13;         // the line names a tag element the model lacks
inline constexpr int kPoolBadClosestAC = 17;       // closest element: an AC the model lacks
inline constexpr int kPoolBadClosestMember = 26;   // closest element: an AC member the model lacks
inline constexpr int kPoolInternClosest = 27;      // a closest value cannot be interned
inline constexpr int kPoolBadConditionMember = 28; // condition element: the same as 26

// Result of GetStr when the end of the string came before a delimiter.
inline constexpr int kStrNoDelim = 2;

// ReadFeaturesPool: a malformed line gives kPoolFileLine + the code of
// AddFeatureFromStr; a line longer than kPoolLineMax characters gives
// kPoolLineTooLong.
inline constexpr int kPoolFileLine = 3300;
inline constexpr int kPoolLineTooLong = kPoolFileLine + 99;

// Reads two characters at *ppsz as hex digits (others count as 0) and returns
// the byte as a signed value (-128..127). Advances the cursor by two, but
// never past the end of the string.
int GetHex(const char** ppsz);

// Skips one chDelim at the cursor when there is one, copies up to the next
// chDelim or the end of the string into szOut and moves the cursor past the
// delimiter. 0 when a delimiter ended the string, kStrNoDelim when the end did. A string
// that does not fit (szOut.size() - 1 characters) is fatal.
int GetStr(std::span<char> szOut, const char** ppsz, char chDelim);

// Parses one pool line into the next free pool record, filters it and
// computes its counts and entropy. 0 added (also when its class is not in the
// training data, which is reported and skipped); -1 skipped (count below
// cPoolThr, model kind switched off, or cut by entropy); > 0 malformed line
// (the codes above).
int AddFeatureFromStr(Model* pm, const char* pszLine);

// Loads the pool file szFeaturePoolFile. <= 0 done; kPoolFileLine + the code
// of the first line that fails, or kPoolLineTooLong.
int ReadFeaturesPool(Model* pm);

// Regroups the generated features of phashSugg by tag element and class
// (classes in byte order of their keys), writes them to the pool file in mode
// GenerateOut, loads them, and frees phashSugg. 0; every failure is fatal.
// The counts of the features over the training data are taken on up to
// cThreads threads; the pool is the same for any number.
int SortFeatureSugg(Model* pm, int cThreads = 1);

// Byte-string order of the two strings referred to.
int StrCmpRef(const char* const& psz1, const char* const& psz2);

} // namespace vexta
