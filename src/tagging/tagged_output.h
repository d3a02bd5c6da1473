// Tagged output: the corpus written back with the chosen tags, line by line
// as the beam-search tagger decides them, and the windowed tagging of a
// whole input.
#pragma once

#include <string_view>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

// Failure codes of writing one line.
inline constexpr int kOutNoLemma = 88;      // the chosen tag has no <MMl> lemma in the gap
inline constexpr int kOutLemmaNoText = 394; // an <MMl> entry without ">"
inline constexpr int kOutTagNoText = 395;   // an <MMt> entry without ">"

// Writes line il of the table to standard output with the chosen tag szTag:
// for line-format input (dt.iInputState 1) the data line with its tag
// replaced, followed by " " and szErrNote when iOutLevel > 100; for SGML
// input the token's gap with the chosen lemma and tag inserted, and
// " ALOFLAG" when iOutLevel > 1 and fLineErr is set. 0, or one of the codes
// above.
int WriteTaggedLine(const DataTable& dt, const Model& m, long il, std::string_view szTag,
                    int iOutLevel, bool fLineErr, std::string_view szErrNote);

// Tags the input named by the argument file (key szPrefix + "InData") in
// windows with the beam-search tagger and writes it to standard output; a
// debug flag above 0 switches the debug output on. 0 (or the tagger's last
// non-positive result); 2401 reader set-up, 2402 a line not stored, 2403 the
// reader failed, 2404 the tagger failed.
int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix);

} // namespace vexta
