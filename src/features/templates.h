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

// Failure codes of InitModelTraining.
inline constexpr int kSetupNoSubTag = 949;          // a key SubTag<n> is missing
inline constexpr int kSetupInternName = 950;        // a tag element name cannot be interned
inline constexpr int kSetupNoFeatureMode = 971;     // FeatureMode is missing
inline constexpr int kSetupBadFeatureMode = 972;    // FeatureMode is none of its words
inline constexpr int kSetupNoPoolFile = 991;        // FeatureSugg is missing (GenerateOut, Read)
inline constexpr int kSetupNoMaxGenerate = 932;     // MaxFeaturesGenerate is missing
inline constexpr int kSetupNoModelFile = 992;       // Features is missing
inline constexpr int kSetupNoAmbClassIgnore = 990;  // AmbClassIgnore is missing
inline constexpr int kSetupLineNoBar = 904;         // a training line without "|"
inline constexpr int kSetupLineACCount = 906;       // ... with not TagElemMax AC strings
inline constexpr int kSetupLineACPart = 907;        // ... with an AC string without "/"
inline constexpr int kSetupClassTooLong = 908;      // an AC string longer than kAmbClassLenMax
inline constexpr int kSetupClassAreaFull = 909;     // more classes than AmbClassArea
inline constexpr int kSetupClassAreaFullAll = 1909; // ... already at a tag element's first one
inline constexpr int kSetupInternClass = 910;       // an AC string cannot be interned
inline constexpr int kSetupInternAllData = 27;      // the all-data AC string cannot be interned

// Statuses of the invalid values that end the run directly.
inline constexpr int kExitNoCountMode = 124;
inline constexpr int kExitBadCountMode = 125;
inline constexpr int kExitNoTemplates = 126; // FeatureTemplates or UseInFeatures missing
inline constexpr int kExitNoModels = 524;
inline constexpr int kExitBadModels = 525;
inline constexpr int kExitBadSortSugg = 526;
inline constexpr int kExitBadCutSugg = 527;
inline constexpr int kExitNoCutSugg = 528;
inline constexpr int kExitNoSortSugg = 529;
inline constexpr int kExitBadMaxGenerate = 930;

// Sets up training once the data tables are loaded and the area sizes are in
// the model: allocates the feature, pool, class and tag element areas, reads
// the tag element names and the feature-pool and template keys of the
// argument file szArgFile, and builds the ambiguity classes of pdt (the
// training table) with their joint counts, reporting each on standard error.
// 0 or one of the codes above; the invalid values above end the run (ux_Exit).
int InitModelTraining(std::string_view szArgFile, DataTable* pdt, Model* pm);

} // namespace vexta
