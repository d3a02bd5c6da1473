// The model file reader: the input is read as a model file of two tag
// elements, whole and allowed to end anywhere.
#include <memory>

#include "fuzz_util.h"
#include "model/model.h"
#include "model/model_reader.h"

using namespace vexta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    static const std::string szArgFile =
        fuzz::WriteScratch("model.args", "SubTag1 = +POS\nSubTag2 = -CASE\n");
    const std::string szPath = fuzz::WriteScratch("in.model", fuzz::AsText(pb, cb));
    for (const ModelEnd end : {ModelEnd::kWhole, ModelEnd::kAnywhere}) {
        fuzz::Guarded([&] {
            ux_ArgOpen(szArgFile);
            auto pm = std::make_unique<Model>();
            pm->cTagElem = 2;
            pm->szModelFile = szPath;
            ReadModel(szArgFile, *pm, end);
        });
        ux_ArgClose();
    }
    return 0;
}
