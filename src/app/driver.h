// Driver: start-up from the argument file, hand-over to the training or the
// test/tag pipeline, and the finish with start, done and duration lines.
#pragma once

#include <cstdio>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

namespace vexta {

// The program: start-up, one pipeline, finish. Returns the exit status.
int vextawZ(int argc, char** argv);

// Start-up: program path, argument file, log and input trace files, run mode,
// tag mode, tagger identifier and the common run parameters (globals.h).
// Every failure prints its message and ends the process. Returns the start time.
std::time_t DriverStartUp(std::span<char* const> rgszArgv);

// Finish after a successful pipeline: prints the start, done and duration
// lines, closes the log and input trace files and returns iRC.
int DriverFinish(std::time_t tStart);

// The three finish lines for a run from tStart to tEnd.
void PrintFinishLines(std::FILE* pf, std::time_t tStart, std::time_t tEnd);

// Numbers as the formatted-input conversions "%d" and "%lf" read them: leading
// white space, then a number at the start of the text; the rest is ignored.
// Returns false (and leaves the target alone) when no number is there. An
// integer beyond the int range is clamped to it.
bool ScanInt(std::string_view sz, int& iOut);
bool ScanDouble(const std::string& sz, double& dOut);

} // namespace vexta
