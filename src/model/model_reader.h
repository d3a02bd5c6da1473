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

// Reads the file named m.szModelFile into m (m.cTagElem must be set; the
// argument file is the driver's szArgs). Returns 0 on success, also when the
// file ends early; 99 when the file cannot be opened or is empty; the SGML
// reader's codes 1..3 (tag or text too long) and above 100 (malformed input);
// or a string-table failure code (931, 867, 866, 865, 64..58). Every other
// failure ends the process.
int ReadModel(Model& m);

} // namespace vexta
