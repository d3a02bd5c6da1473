// Per-tag-element value counts and entropies of a data table.
#include "corpus/corpus_stats.h"

#include <algorithm>
#include <cmath>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

namespace {

int TagElemCount(const Model& m) {
    return std::clamp(m.cTagElem, 0, kTagElemMax);
}

} // namespace

int GetUnigramCounts(const Model& m, DataTable& dt) {
    const int cTagElem = TagElemCount(m);
    const auto clData =
        std::min(static_cast<std::size_t>(std::max(dt.clData, 0L)), dt.rgpszDataLine.size());
    for (std::size_t i = 0; i < clData; ++i) {
        const std::string& szLine = dt.rgpszDataLine[i];
        const auto cch = std::min(static_cast<std::size_t>(cTagElem), szLine.size());
        for (std::size_t t = 0; t < cch; ++t)
            ++dt.rgrgclCntTE[t][static_cast<unsigned char>(szLine[t])];
    }
    return 0;
}

int GetUnigramEnt(const Model& m, DataTable& dt) {
    const int cTagElem = TagElemCount(m);
    const auto dN = static_cast<double>(dt.clData);
    for (int t = 0; t < cTagElem; ++t) {
        double dH = 0.0;
        if (dt.clData > 0) {
            for (const long cl : dt.rgrgclCntTE[static_cast<std::size_t>(t)]) {
                if (cl == 0) continue;
                const double dP = static_cast<double>(cl) / dN;
                dH = dH - dP * std::log(dP) * 1.4426950408889634;
            }
        }
        dt.rgdEntTE[static_cast<std::size_t>(t)] = dH;
    }
    return 0;
}

} // namespace vexta
