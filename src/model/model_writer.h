// Writing the model file: header items, then per tag element its value counts,
// its ambiguity classes with their joint counts and the features of each class
// with their weights, counts and context terms.
#pragma once

#include "model/model.h"

namespace vexta {

// Writes m to the file named m.szModelFile and returns 0. The file is written
// under a temporary name beside it and renamed into place once complete, so a
// failed write never leaves a truncated model under the model's name.
// A file that cannot be created ends the process (13011, "Cannot open output
// file: "); a failed write ends it with fatal 30 of the application module
// ("vexta: Cannot write features to " + file name); an element code without a
// notation in the file, or one naming a tag element the model does not have,
// ends it with fatal 31 ("vexta: Wrong iClosestConditionElem: " + code).
int WriteModel(Model& m);

} // namespace vexta
