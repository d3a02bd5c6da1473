// Feature templates and the training set-up: the template and context-kind
// lists of the argument file, the model's working areas, the feature-pool
// settings and the ambiguity classes of the training data.
#pragma once

#include <string>
#include <string_view>

namespace vexta {

struct Model;
struct DataTable;

// Longest template or context-kind marker string.
inline constexpr std::size_t kTemplateMarkersMax = 248;

// Splits a list such as "base+base2" (items separated by '+', ',' or '.'; a
// trailing separator is accepted) into the marker string "=base==base2=". An
// unknown item, or a result longer than 248 characters, ends the run with
// a fatal error (18032). 0, and szOut holds the markers.
int ParseFT(std::string& szOut, std::string_view szValue);

// The same for the kinds of context used in features: "ACs", "Forms", "Tags"
// and "SetElements" give "=ACs=", "=Forms=", "=Tags=" and "=SetElements=".
int ParseUIT(std::string& szOut, std::string_view szValue);

// Reads "n", "N", "no", "No", "NO", "none", "None", "NONE" as no cut (1024.0)
// and anything else as a number; true when the result lies in (0.0, 32.0].
bool ParseCutSuggestions(std::string_view szValue, double* pdThr);

// Threshold that stands for "no entropy cut".
inline constexpr double kSuggEntropyNoCut = 1024.0;

// Sets up training once the data tables are loaded and the area sizes are in
// the model: allocates the feature, pool, class and tag element areas, reads
// the tag element names and the feature-pool and template keys of the
// argument file szArgFile, and builds
// the ambiguity classes of pdt (the training table) with their joint counts,
// reporting each on standard error. 0, or a code > 0 (see the source); a few
// invalid values end the run directly.
int InitModelTraining(std::string_view szArgFile, DataTable* pdt, Model* pm);

} // namespace vexta
