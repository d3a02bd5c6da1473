// The line beam against the plain rule it keeps: a path goes in front of the
// first item it beats by more than the tie margin, else last; a full beam
// drops its last item.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tagging/line_beam.h"

namespace vexta {
namespace {

using Slot = LineBeam::Slot;

void AddPlainly(std::vector<Slot>& rgslot, int cBeam, Slot slot) {
    std::size_t j = 0;
    while (j < rgslot.size() && !(slot.dProb - kBeamTieEps > rgslot[j].dProb)) ++j;
    if (j == static_cast<std::size_t>(cBeam)) return;
    rgslot.insert(rgslot.begin() + static_cast<long>(j), slot);
    if (rgslot.size() > static_cast<std::size_t>(cBeam)) rgslot.pop_back();
}

bool SameSlots(const LineBeam& beam, const std::vector<Slot>& rgslot) {
    if (beam.Count() != static_cast<int>(rgslot.size())) return false;
    for (int j = 0; j < beam.Count(); ++j) {
        const Slot& a = beam[j];
        const Slot& b = rgslot[static_cast<std::size_t>(j)];
        if (std::memcmp(&a.dProb, &b.dProb, sizeof a.dProb) != 0 || a.iBack != b.iBack ||
            a.iCand != b.iCand)
            return false;
    }
    return true;
}

TEST(LineBeam, KeepsThePlainInsertionRuleWithTiesAndOddValues) {
    // Values close enough to tie, exactly equal, far apart, zero, tiny,
    // infinite and NaN.
    const double dNaN = std::numeric_limits<double>::quiet_NaN();
    const double dInf = std::numeric_limits<double>::infinity();
    const double rgd[] = {0.5,    0.5 + 4e-13, 0.5 - 4e-13, 0.5 + 9e-13, 0.5 + 2e-12,
                          0.25,   0.125,       1e-13,       0.0,         -0.0,
                          1e-300, 1.0,         dInf,        dNaN,        0.5 - 1.5e-12};
    unsigned uSeed = 77;
    const auto Rand = [&uSeed](unsigned n) {
        uSeed = uSeed * 1103515245u + 12345u;
        return (uSeed >> 16) % n;
    };
    for (const int cBeam : {1, 2, 3, 5, 8}) {
        for (int iCase = 0; iCase < 400; ++iCase) {
            LineBeam beam;
            std::vector<Slot> rgslot;
            beam.Start(cBeam);
            // Mostly ordinary values, sometimes the odd ones.
            const unsigned cValues = iCase % 4 == 0 ? std::size(rgd) : 7;
            const int cAdd = 1 + static_cast<int>(Rand(20));
            std::vector<Slot> rgslotAdded;
            for (int i = 0; i < cAdd; ++i) {
                const Slot slot{rgd[Rand(cValues)], i % 3, i};
                beam.Add(slot.iCand, slot.iBack, slot.dProb, false);
                AddPlainly(rgslot, cBeam, slot);
                ASSERT_TRUE(SameSlots(beam, rgslot))
                    << "beam " << cBeam << ", case " << iCase << ", add " << i;
                // The paths so far stay in their order exactly when
                // KeepsOrder says so.
                rgslotAdded.push_back(slot);
                const bool fKept = LineBeam::KeepsOrder(i + 1, cBeam, [&](int k) {
                    return rgslotAdded[static_cast<std::size_t>(k)].dProb;
                });
                EXPECT_EQ(SameSlots(beam, rgslotAdded), fKept)
                    << "beam " << cBeam << ", case " << iCase << ", add " << i;
            }
        }
    }
    // A beam is reused from line to line.
    LineBeam beam;
    beam.Start(2);
    beam.Add(0, 0, 0.25, false);
    beam.Add(1, 0, 0.75, false);
    beam.Start(2);
    beam.Add(0, 0, 0.5, false);
    beam.Add(1, 0, 0.125, false);
    beam.Add(2, 0, 0.25, false);
    std::vector<Slot> rgslot{{0.5, 0, 0}, {0.25, 0, 2}};
    EXPECT_TRUE(SameSlots(beam, rgslot));
}

} // namespace
} // namespace vexta
