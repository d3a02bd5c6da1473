// The feature pool file reader: the input is read as the pool file of a
// model set up for training on three lines of one tag element, and what it
// loads is sorted into classes.
#include <memory>
#include <string>

#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/pool_file.h"
#include "features/templates.h"
#include "fuzz_util.h"
#include "model/model.h"

using namespace vexta;

namespace {

constexpr const char* kArgs = "SubTag1 = +E1\n"
                              "FeatureMode = Generate\nMaxFeaturesGenerate = 1000000\n"
                              "CountMode = Batch\nModels = AC\nSortSuggestions = Count\n"
                              "FeatureTemplates = base\nUseInFeatures = ACs\n"
                              "Features = test.model\nAmbClassIgnore = -\n";
constexpr const char* kLines[] = {"N|N/|p|p|", "N|NV/|a|a|", "V|NV/|b|b|"};

void FillTable(Model& m, DataTable& dt) {
    dt.ilStart = 0;
    dt.clLines = static_cast<long>(std::size(kLines));
    dt.clData = dt.clWords = 0;
    AllocSegment(m, dt);
    const gapRecType gap;
    for (long il = 0; il < dt.clLines; ++il) InsertLine(m, dt, kLines[il], il, "", gap, 1);
    SizeTrainingLists(dt, m.cTagElem);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    static const std::string szArgFile = fuzz::WriteScratch("pool.args", kArgs);
    const std::string szPath = fuzz::WriteScratch("pool.txt", fuzz::AsText(pb, cb));
    fuzz::Guarded([&] {
        ux_ArgOpen(szArgFile);
        auto pm = std::make_unique<Model>();
        auto pdtT = std::make_unique<DataTable>();
        auto pdtH = std::make_unique<DataTable>();
        Model& m = *pm;
        m.cTagElem = 1;
        m.fProgMode = kModeTrain;
        m.cBeam = 1;
        m.iTrainCat = -1;
        m.dRawExpWeight = 0.5;
        m.phashStr = ux_HashNew(8192, 65536, 4000);
        ux_HashMemberPtr(m.phashStr.get(), "", &m.pszEmpty);
        m.pdtT = pdtT.get();
        m.pdtH = pdtH.get();
        m.clFeatureAreaSize = 1000;
        m.clFeatureSuggSize = 10000;
        m.clAmbClassAreaSize = 100;
        m.cPoolThr = 2;
        m.cThrMin = 1;
        m.cClosestThr = 1000;
        FillTable(m, *pdtT);
        FillTable(m, *pdtH);
        if (InitModelTraining(szArgFile, pdtT.get(), &m) != 0) return;
        m.cPoolThr = 2;
        m.szFeaturePoolFile = szPath;
        if (ReadFeaturesPool(&m) == 0) SortFeatureSugg(&m);
    });
    ux_ArgClose();
    return 0;
}
