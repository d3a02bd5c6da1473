// The files a run reads and writes, checked at start-up before any of them
// is opened: hours of training must not end in an output that cannot be
// written, and no output may overwrite an input.
#pragma once

#include <string_view>

namespace vexta {

// Checks the files named in the argument file szArgFile for the run mode
// szMode ("Train", "Test", ...):
// - an output (LogFile, InputAC; in the training modes Features and, with
//   FeatureMode GenerateOut, FeatureSugg) that is the same file as an input
//   (the argument file, InData, TrainData, HeldoutData, TestData, TagTable;
//   Features in the other modes; FeatureSugg with FeatureMode Read), by device
//   and inode whatever the path or link, is fatal 18032 ("tag: <key> <file>
//   is the same file as the input <key> <file>");
// - in the training modes, a model file (or GenerateOut pool file) that could
//   not be written is fatal 13011 ("Cannot open output file: <file>: <reason>").
// Nothing is created or changed.
void CheckRunFiles(std::string_view szArgFile, std::string_view szMode);

} // namespace vexta
