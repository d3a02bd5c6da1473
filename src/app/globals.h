// Process-wide settings owned by the driver and read by the other subsystems:
// the program path used as message prefix, the argument file, the run mode,
// the common run parameters, the input trace stream, the tagger identifier
// and the diagnostic switches.
#pragma once

#include <cstdio>
#include <string>

namespace vexta {

inline std::string szPN = "vexta"; // program path, prefix of most messages
inline std::string szArgs;         // argument file; every value request names it
inline std::string szLogFile;      // value of LogFile, empty when absent
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

// Diagnostic switches.
inline int fDebug1 = 0, fDebug2 = 0, fDebug3 = -1, fDebug4 = 0, fDebug5 = 0;
inline int fDebug6 = 0, fDebug7 = 0, fDebug8 = 0, fDebug9 = 0, fDebug10 = 0;
inline int fDebugFull = 0;

// Run modes (values of fProgMode).
inline constexpr int kModeTrain = 0;
inline constexpr int kModeTest = 1;
inline constexpr int kModeTag = 2;
inline constexpr int kModeTagDebug = 3;
inline constexpr int kModeTrainOut = 4;
inline constexpr int kModeTestOut = 5;
inline constexpr int kModeTestDebug = 6;
inline constexpr int kModeLexicon = 7; // builds the analyser's lexicon file

} // namespace vexta
