// The beam-search ("VTC") tagger: whole tags chosen among each line's
// candidate tags, scored by the product of their values' probabilities along
// the path, with the cBeam best paths kept per line and the best one traced
// back; then error counting and, when asked, tagged output.
#pragma once

#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"
#include "tagging/line_beam.h"

namespace vexta {

// Failure codes of the pass (the output step adds its own, 88, 394, 395).
inline constexpr int kVtcNoWorkArray = 1100;
inline constexpr int kVtcProbsFailed = 1107;
inline constexpr int kVtcNoProbArray = 1108;
inline constexpr int kVtcNoCandidates = 1109;

// Whether a pass counts its errors. A caller that reads no counts says so
// (kUnread): at output level 1 or less nothing is then marked or counted;
// the lines' error flags and the model's counts stay as they were, and
// VtcCounts is left empty. Higher output levels write error marks or notes,
// so they count as always.
enum class VtcErrors { kCount, kUnread };

// Tags lines ilFrom..ilTo-1 of the table. fTraining 0 matches features along
// the beam path (probability mode 2), 1 takes them from the line links (mode
// 3). Fills the beams, rgpszTagOut, rgfLineErr and rgrgfErr of those lines,
// each element's clErrTagElem and m.clErr (lines wrong in an element marked
// "+"); writes the lines ilOutFirst..ilOutLast when iOutLevel is not 0 (into
// dt.pszOut when set, emptied to standard output whenever it comes to
// dt.cchOutChunk characters).
// Output levels: above 1 the error mark, above 100 the error note, above 9999
// full debug output. A line without candidate tags is fatal. Returns the last
// code of the probability model (0 or negative), 1107 when it fails, or the
// output step's code. Traces follow the model's switches (m.trace), with
// fDebugFull on exactly when iOutLevel is above 9999. Lines
// ilFrom..ilEmptyEnd-1 (up to ilTo-1) are emptied as ClearDataLines does
// once they are written and counted, while they are still in the processor's
// caches, for a caller that reuses them.
//
// When every path of a line has probability 0 (possible only when no
// candidate's values are in the line's ambiguity classes), the line's items
// share the probability equally and keep their order.
int ErrorRateDataVTC(DataTable& dt, Model& m, int iOutLevel, int fTraining, long ilFrom, long ilTo,
                     long ilOutFirst, long ilOutLast, VtcErrors errors = VtcErrors::kCount,
                     long ilEmptyEnd = 0);

// Error counts of one pass: per tag element, and lines counted as wrong.
struct VtcCounts {
    std::vector<long> rgclErrTagElem;
    long clErr = 0;
};

// The same pass leaving the model untouched: the counts go to counts. Passes
// over different tables may run at the same time on different threads as long
// as no trace switch is on and iOutLevel <= 1.
int ErrorRateDataVTC(DataTable& dt, const Model& m, int iOutLevel, int fTraining, long ilFrom,
                     long ilTo, long ilOutFirst, long ilOutLast, VtcCounts& counts,
                     VtcErrors errors = VtcErrors::kCount, long ilEmptyEnd = 0);

} // namespace vexta
