// Placeholders for the pipelines until they are built: reaching one is
// reported as a failure, never as a finished run.
#include "app/pipelines.h"

#include "app/globals.h"

#include <cstdio>
#include <cstdlib>

namespace vexta {

int RunTrainingPipeline() {
    std::fprintf(stderr, "%s: training pipeline not available in this build\n", szPN.c_str());
    std::exit(2);
}

int RunTestTagPipeline() {
    std::fprintf(stderr, "%s: test and tag pipeline not available in this build\n", szPN.c_str());
    std::exit(2);
}

} // namespace vexta
