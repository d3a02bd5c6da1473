// Reading the model file back into the model: a state machine over the file's
// items that allocates the model's arrays from the header sizes, sets up the
// tag elements from the argument file (keys "SubTag1", "SubTag2", ...),
// rebuilds the ambiguity classes and the feature chains, and checks every
// item. Malformed or inconsistent input is a line-numbered fatal error
// ("model: ..."); duplicated header items and some redundant counts are
// repaired or ignored with a warning.
#pragma once

#include "model/model.h"

namespace vexta {

// How much of a model file a read requires.
enum class ModelEnd {
    // Every subtag section, class and feature the header declares (<Dc>,
    // <Da>, <Df>), each record complete, and the line end the writer puts
    // after the last one (or a closing </tagmodel>). Anything less is a file
    // cut short: a line-numbered fatal error ("model: file cut short...").
    kWhole,
    // The file may end anywhere; what was read is kept, an incomplete last
    // term is dropped with a warning.
    kAnywhere,
};

// ReadModel's code for a model file that cannot be opened or is empty.
inline constexpr int kModelNotOpened = 99;

// Reads the file named m.szModelFile into m (m.cTagElem must be set); the
// tag element names come from the keys "SubTag<n>" of the argument file
// szArgFile. Returns 0 on success; kModelNotOpened when
// the file cannot be opened or is empty; the SGML reader's codes 1..3 (tag or
// text too long) and above 100 (malformed input); or a string-table failure
// code (931, 867, 866, 865, 64..58). Every other failure ends the run.
int ReadModel(std::string_view szArgFile, Model& m, ModelEnd end = ModelEnd::kWhole);

} // namespace vexta
