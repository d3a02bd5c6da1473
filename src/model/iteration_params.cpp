// The text form of an iteration's parameters, printed before training and
// at the start of each iteration.
#include "model/iteration_params.h"

#include <cstdio>

namespace vexta {

int PrintIterationParams(const IterationParams& ip) {
    std::fprintf(stderr, "----- Params for iteration %d:\n", ip.ipiIteration);
    std::fprintf(stderr, "ipcThrMin = %d, ipcPoolThr = %d, ipcClosestThr = %d\n", ip.ipcThrMin,
                 ip.ipcPoolThr, ip.ipcClosestThr);
    std::fprintf(stderr, "ipdLambdaMax = %12.8f, ipdLambdaMin = %12.8f\n", ip.ipdLambdaMax,
                 ip.ipdLambdaMin);
    std::fprintf(stderr, "ipszFeatureTemplates = %s, ipilMaxFSG = %ld\n",
                 ip.ipszFeatureTemplates.c_str(), ip.ipilMaxFSG);
    std::fprintf(stderr, "ipiHeavySmoothing = %d, ipiMultiPass = %d\n", ip.ipiHeavySmoothing,
                 ip.ipiMultiPass);
    std::fprintf(stderr, "ipfModelAC = %d, ipfModelGeneral = %d\n", ip.ipfModelAC,
                 ip.ipfModelGeneral);
    std::fprintf(stderr,
                 "ipfUITForms = %d, ipfUITACs = %d, ipfUITTags = %d, ipfUITSetElements = %d\n",
                 ip.ipfUITForms, ip.ipfUITACs, ip.ipfUITTags, ip.ipfUITSetElements);
    std::fprintf(stderr, "ipiSortSugg = %d, ipdSuggEntropyThr = %12.8f, ipfLeftOnly = %d\n",
                 ip.ipiSortSugg, ip.ipdSuggEntropyThr, ip.ipfLeftOnly);
    return 0;
}

} // namespace vexta
