// The driver's settings of a run: the argument file, the log file, the run
// mode, the common run parameters, the input trace stream and the tagger
// identifier. Only the driver and its pipelines read them; each pipeline
// hands what the other subsystems need down in the model (SetUpModel) or as
// arguments.
#pragma once

#include <cstdio>
#include <string>

#include "model/model.h"

namespace vexta {

inline std::string szArgs;    // argument file; every value request names it
inline std::string szLogFile; // value of LogFile, empty when absent
inline std::FILE* fLogFile = nullptr;
inline std::string szInputAC;         // value of InputAC, empty when absent
inline std::FILE* fInputAC = nullptr; // input trace: every data line read, "%09ld %s\n"
inline std::string szProgMode;        // value of Mode
inline int fProgMode = 0;             // decoded run mode (0 Train .. 7 Lexicon)
inline std::string szTagMode;         // "Separate" or "VTC"
inline std::string szTaggerID;        // src attribute of output tags; empty when absent
inline int iRC = 0;                   // code of the last phase

// Common run parameters checked at start-up; each pipeline copies them into
// the model before its first step.
inline int cTagElem = 0;           // TagElemMax: tag length, 1..31
inline int cBeam = 0;              // Beam: beam width, 1..126
inline double dRawExpWeight = 1.0; // RawExpWeight: 1e-9..0.999999999

} // namespace vexta
