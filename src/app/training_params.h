// Training parameters: thresholds, area sizes, switches and lambda bounds
// read from the argument file into the model, and one parameter record per
// training iteration whose fields default to the global values and can be
// overridden by a key followed by the iteration number ("LambdaMax2").
#pragma once

namespace vexta {

struct Model;

// Reads the parameters the training set-up sizes its areas from:
// MinThrAddFeature, MinThrPoolFeature, MinThrClosestFeature, CombiThr,
// LeftOnly, FeatureArea, FeatureSuggSize and AmbClassArea. Called before
// InitModelTraining. A missing or invalid value ends the run with its own
// message and status; returns 0 otherwise.
int ReadTrainingParamsBeforeSetup(Model* pm);

// Reads LambdaIterations, HeavySmoothing, MultiPass, TrainingIterationsMax,
// LambdaMax, LambdaMin and TrainCat, then builds the iteration records
// (rgipFG) from the global values and their per-iteration overrides. Called
// after InitModelTraining, whose feature-generation settings are the
// defaults of the records. Ends the run on any failure; 0 otherwise.
int ReadTrainingParamsAfterSetup(Model* pm);

} // namespace vexta
