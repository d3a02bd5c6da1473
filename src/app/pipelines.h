// The two pipelines the driver hands over to after start-up. Each returns the
// code of its last phase (0 or less on success); failures end the run
// with their own message and status.
#pragma once

#include <string>

#include "analyser/analyser.h"

namespace vexta {

struct Model;

// Copies the common run parameters (fProgMode, cTagElem, cBeam,
// dRawExpWeight) into the model and points it at the three data tables.
void SetUpModel(Model& m);

// The key Threads of tagging and training: 1 when absent, 0 for one thread
// per core of the machine; a value outside 0..kMaxThreads is fatal.
inline constexpr int kMaxThreads = 1024;
int ReadThreads();

// Prints one line that says in the user's terms why ReadData failed with rc
// (overlapping segments, a missing key); nothing for codes that the reader
// explains itself (a segment past the end of the data).
void ExplainReadDataFailure(int rc);

// Modes "Train" and "TrainOut": reads the data, trains and writes the model.
int RunTrainingPipeline();

// Modes "Test", "TestOut", "TestDebug", "Tag" and "TagDebug": reads the model
// and reports error rates on the test segment or writes tagged text.
int RunTestTagPipeline();

// Mode "Lexicon": builds the analyser's lexicon from the training segment
// (and the dictionary) and writes the lexicon file.
int RunLexiconPipeline();

// The analyser keys of a run, checked.
struct AnalyserKeys {
    CandidatesFrom from = CandidatesFrom::Input;
    std::string szLexicon;
    GuessSettings guess;
    int cFolds = 1;
};

// Reads and checks the analyser keys (Candidates, Lexicon, GuessMass,
// GuessMax, LexiconFolds): before anything is read, so that a mistake in
// them ends the run at once.
AnalyserKeys ReadAnalyserKeys();

// When the candidates come from the analyser, loads the lexicon into
// m.pAnalyserUse (its tags must have m.cTagElem characters); training also
// builds one lexicon per fold of the training data (with the Dictionary).
void SetUpAnalyser(Model& m, const AnalyserKeys& keys);

} // namespace vexta
