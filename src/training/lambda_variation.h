// Lambda variation: retuning the weight of one accepted feature against
// whole-tag errors on the training lines where it fires.
#pragma once

#include <vector>

#include "corpus/data_table.h"
#include "features/tag_probs.h"
#include "model/model.h"

namespace vexta {

// Failure codes of VaryLambdaVTC.
inline constexpr int kVaryNoWorkArray = 1100;
inline constexpr int kVaryNoProbArray = 1108;
inline constexpr int kVaryProbsFailed = 1107;

// A weight changes only for an improvement of at least this many lines.
inline constexpr long kVaryMinImprovement = 4;

// Work areas of VaryLambdaVTC, kept between calls so that varying feature
// after feature allocates only when a feature fires on more lines than any
// before it.
struct LambdaWork {
    std::vector<long> rgilWindow;   // lines of the window, in list order
    std::vector<long> rgiCandFirst; // per window line: its first entry in rgdFactor
    std::vector<double> rgdFactor;  // per candidate and tag element: its probability
    std::vector<int> rgiResLast;    // per tag element: result at the last window line
    std::vector<TagProbs> rgProbs;  // per tag element: value probabilities of one line
};

// Tries the weights dLambda * 0.001 * 1.6^k below min(20 * dLambda, 32) for
// the feature fd of tag element iTE on its linked lines in ilFrom..ilTo-1,
// scoring each by the whole-tag errors it removes against the error flags
// of the last true-context pass (rgfLineErr, rgrgfErr). The feature keeps
// the first weight with the largest improvement when that is at least
// kVaryMinImprovement lines, else its weight. iAmbClass is not used. Returns
// the last result of the probability model (0 or negative) or
// kVaryProbsFailed. A window line without candidate tags ends the run.
int VaryLambdaVTC(DataTable& dt, Model& m, int iTE, long iAmbClass, FeatureDesc& fd, long ilFrom,
                  long ilTo, LambdaWork& work);

// The same with work areas of its own.
int VaryLambdaVTC(DataTable& dt, Model& m, int iTE, long iAmbClass, FeatureDesc& fd, long ilFrom,
                  long ilTo);

} // namespace vexta
