// Writing the model file: header items, then per tag element its value counts,
// its ambiguity classes with their joint counts and the features of each class
// with their weights, counts and context terms.
#pragma once

#include <string>
#include <string_view>

#include "model/model.h"

namespace vexta {

// Writes m to the file named m.szModelFile and returns 0. The file is written
// under a temporary name beside it and renamed into place once complete, so a
// failed write never leaves a truncated model under the model's name.
// A file that cannot be created ends the run (13011, "Cannot open output
// file: "); a failed write ends it with fatal 30 of the application module
// ("vexta: Cannot write features to " + file name); an element code without a
// notation in the file, or one naming a tag element the model does not have,
// ends it with fatal 31 ("vexta: Wrong iClosestConditionElem: " + code).
//
// A model path that is a symbolic link keeps it: the new file is written
// beside the link's target and renamed onto it. New model files are created
// 0666 under the file-creation mask. SIGINT, SIGTERM or SIGHUP while the
// temporary file exists remove it before the process ends.
int WriteModel(Model& m);

// The temporary file WriteModel writes the model named szModelFile into.
std::string ModelTmpFile(std::string_view szModelFile);

} // namespace vexta
