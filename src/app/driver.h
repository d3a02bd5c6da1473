// Driver: start-up from the argument file, hand-over to the training or the
// test/tag pipeline, and the finish with start, done and duration lines.
#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vexta {

// The program: start-up, one pipeline, finish. Returns the exit status; a
// run ended by a fatal error returns its status. May be called again in the
// same process: each call starts from a clean state.
int vextawZ(int argc, char** argv);

// The options that replace the argument file: "--help" and "--version"
// (standard output, 0), "--keys" (the key reference, 0); another word
// starting with "--" is refused (1). Nothing for an argument file name.
std::optional<int> RunInfoOption(std::string_view szOption);

// Start-up: program path, argument file, log and input trace files, run mode,
// tag mode, tagger identifier and the common run parameters (globals.h).
// Every failure prints its message and ends the run (ux_FatalExit). Returns the start time.
std::time_t DriverStartUp(std::span<char* const> rgszArgv);

// Finish after a successful pipeline: flushes and closes standard output and
// the input trace file, prints the start, done and duration lines and returns
// iRC. A write to standard output, the input trace or the log file that
// failed at any time during the run is fatal here (13015, naming the file and
// the system's reason); a failed log is reported where standard error pointed
// before the log took it over.
int DriverFinish(std::time_t tStart);

// The three finish lines for a run from tStart to tEnd; the system error of
// the first line that could not be written, 0 when all were.
int PrintFinishLines(std::FILE* pf, std::time_t tStart, std::time_t tEnd);

// Numbers as the formatted-input conversions "%d" and "%lf" read them: leading
// white space, then a number at the start of the text; the rest is ignored.
// Returns false (and leaves the target alone) when no number is there. An
// integer beyond the int range is clamped to it.
bool ScanInt(std::string_view sz, int& iOut);
// True when the whole text is one number (trailing blanks allowed): a whole
// number, or with fReal any number strtod reads. "5x" and "abc" are not.
bool IsNumberText(std::string_view sz, bool fReal);
// The line that explains the refusal of such a value, before the check's own
// message: "<program>: Beam = "5x" is not a whole number".
void ReportNotANumber(std::string_view szKey, std::string_view szValue, const char* pszWhat);
bool ScanDouble(const std::string& sz, double& dOut);

} // namespace vexta
