// Feature pool generation: walks the training data and, at every position
// and ambiguous tag element, enumerates the context conditions that hold
// around it, combines them into candidate features of one to four terms
// according to the active templates, writes each as a feature description
// string and counts it in the model's phashSugg.
#pragma once

#include <cstddef>
#include <span>

#include "model/model.h"

namespace vexta {

struct DataTable;

// Room of the buffer a feature description string is built in.
inline constexpr int kFeatureStrRoom = 4000;

// Result of FXSuggString for a component whose text does not fit.
inline constexpr int kFeatureStrNoRoom = 601;

// Result of FXSuggString for a component whose value (or closest value) is
// empty or holds "_", which a pool line cannot carry: the feature is dropped.
inline constexpr int kFeatureStrNoPoolValue = -3;

// Longest feature string that is counted; FGSuggString drops a longer one
// (kFeatureStrTooLong), since the pool sorting takes no longer strings.
inline constexpr std::size_t kFeatureStrMax = 248;
inline constexpr int kFeatureStrTooLong = -4;

// Failures of a feature string: it cannot be built (the class string or a
// component does not fit, or the tag element is out of range), CountMode is
// neither Batch nor Individual. (Counting itself cannot fail: a table that
// cannot take an entry ends the run.)
inline constexpr int kFeatureStrNotBuilt = 26;
inline constexpr int kFeatureStrNoCountMode = 30;

// GenerateFSG5: a value of tag element 0 cannot be interned.
inline constexpr int kPoolGenInternValue = 887;

// AC-frequency test of a component not done yet (FeatureComp::iAcCheck).
inline constexpr int kAcCheckPending = 1;

// One component of a feature under construction: a term and an override
// value that, when not empty, replaces the term's own pszValue.
struct FeatureComp {
    FeatureTerm ft;
    const char* pszOverride = nullptr;
    // Result of the AC-frequency test of this component when already known
    // (0 keep, -1 rare AC, -2 unknown AC), or kAcCheckPending.
    int iAcCheck = kAcCheckPending;
};

// Failure codes of GenerateFSG5: a feature of one of its templates cannot
// be counted. The first level (bases 1..3, then base 4) by the components
// around a position: a neighbour's value with the ACs, ...
inline constexpr int kGenNeighbour = 41;
inline constexpr int kGenNeighbour4 = 410;
// ... a value at the position itself with the ACs, ...
inline constexpr int kGenHere = 641;
inline constexpr int kGenHere4 = 412;
// ... a value left of the position with its tag, ...
inline constexpr int kGenLeftTag = 541;
inline constexpr int kGenLeftTag4 = 414;
// ... a closest value with the position's AC; and the fourth component of
// base 4.
inline constexpr int kGenClosest = 741;
inline constexpr int kGenFourth = 505;

// Generates the features of template base iBase (1..4) from the training
// table pdt into pm->phashSugg. fAll 1 uses every position, 0 only those
// where the tag element is currently mis-tagged. iUnused is ignored. 0 when
// done (also when stopped early by ilMaxFSG), else an error code (those
// above, kPoolGenInternValue, or that of a feature string). With
// cThreads above 1 the lines are split into up to that many parts
// generated side by side and merged: phashSugg ends exactly as after one
// run.
int GenerateFSG5(Model* pm, DataTable* pdt, int iBase, int iUnused, int fAll, int cThreads = 1);

// Counts the first cComp components as a general-model feature (AC text
// pszGeneral) when fModelGeneral is set, then as a feature of the class pszAC
// when fModelAC is set. The first result > 0, else the last result.
int FGSuggStringModels(int iTE, const char* pszAC, const char* pszGeneral, const char* pszY,
                       int cComp, std::span<const FeatureComp> rgComp, Model* pm);

// With exactly three components, enumerates a fourth around the predicted
// position ilPos and counts each four-component feature through
// FGSuggStringModels (505 when that fails); otherwise does nothing. 0.
int FGSuggStringModels4(DataTable* pdt, long ilPos, int iTE, const char* pszAC, const char* pszY,
                        int cComp, std::span<const FeatureComp> rgComp, Model* pm);

// Builds one feature description string from the first cComp components
// (duplicates removed) and counts it in phashSugg with the data string pszY
// ("Individual") or "" ("Batch"). 0 counted, < 0 dropped (also a string
// longer than kFeatureStrMax), 26 or 30 on failure.
int FGSuggString(int iTE, const char* pszAC, const char* pszY, int cComp,
                 std::span<const FeatureComp> rgComp, Model* pm);

// Writes the text of one component ("ffff00__N_") into szOut, terminated:
// 0; -1 when its AC occurs fewer than cPoolThr times in the training data;
// -2 when the training data does not have it; -3 when a value is empty or
// holds "_"; 601 when the text needs szOut.size() characters or more.
int FXSuggString(const FeatureTerm* pft, const char* pszOverride, std::span<char> szOut,
                 const Model* pm);

} // namespace vexta
