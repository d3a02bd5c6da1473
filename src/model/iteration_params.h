// One set of training parameters per training iteration (the model's rgipFG).
// Global keys give the defaults; a key followed by the iteration number
// overrides them for that iteration. The training parameter reader fills
// these records; the training loop installs one set into the model per
// iteration.
#pragma once

#include <string>

namespace vexta {

struct IterationParams {
    int ipiIteration = 0;             // iteration index, from 0
    int ipcThrMin = 0;                // add threshold
    int ipcPoolThr = 0;               // pool threshold
    int ipcClosestThr = 0;            // closest threshold
    long ipilMaxFSG = 0;              // most features generated
    double ipdLambdaMax = 0.0;        // upper lambda bound, stored minus 0.0001
    double ipdLambdaMin = 0.0;        // lower lambda bound
    std::string ipszFeatureTemplates; // template marker string, at most 248 characters
    int ipiHeavySmoothing = 0;        // 0 or 1
    int ipiMultiPass = 0;             // 0 or 1
    int ipfModelAC = 0;               // ambiguity-class features on
    int ipfModelGeneral = 0;          // general features on
    int ipfUITForms = 0;              // forms used in features
    int ipfUITACs = 0;                // ambiguity classes used in features
    int ipfUITTags = 0;               // tags used in features
    int ipfUITSetElements = 0;        // morphology-set elements used in features
    int ipiSortSugg = 0;              // pool sorting: 1 Count, 2 Entropy
    double ipdSuggEntropyThr = 0.0;   // entropy cut-off; -1.0 when not sorting by entropy
    int ipfLeftOnly = 0;              // 0 or 1
};

// Writes one iteration record to standard error. 0.
int PrintIterationParams(const IterationParams& ip);

} // namespace vexta
