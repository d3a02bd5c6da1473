// The beam of the line being extended by the beam-search tagger: the best
// paths so far, best first, each naming its candidate tag by index and the
// previous item it extends. The tags are copied into the table's beam once
// the line is done, so a path that is pushed out again costs no copy.
#pragma once

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

#include "base/ux_index.h"

namespace vexta {

// Two paths whose probabilities differ by at most this much keep their order.
inline constexpr double kBeamTieEps = 1e-12;

class LineBeam {
public:
    struct Slot {
        double dProb = 0.0;
        int iBack = -1;
        int iCand = 0;
    };

    void Start(int cBeam) {
        cBeam_ = cBeam;
        cCount_ = 0;
        dMin_ = std::numeric_limits<double>::infinity();
        if (rgitem_.size() < Idx(cBeam)) rgitem_.resize(Idx(cBeam));
    }
    int Count() const { return cCount_; }
    const Slot& operator[](int j) const { return rgitem_[Idx(j)].slot; }

    // Sorts the path (candidate iCand extending previous item k with
    // probability dP) in behind every item that is at most kBeamTieEps
    // worse, dropping the last item of a full beam. fDebug10: the steps are
    // traced.
    void Add(int iCand, int k, double dP, bool fDebug10) {
        Item* const pitem = rgitem_.data();
        const double dWorse = dP - kBeamTieEps;
        // Better than no item by more than the margin (a NaN never is): the
        // path goes last, which a full beam has no room for.
        if (!(dWorse > dMin_)) {
            if (cCount_ == cBeam_) return;
            pitem[cCount_].slot = {dP, k, iCand};
            if (fDebug10) std::fprintf(stderr, "sorted into item: %d, prob: %12.9f\n", cCount_, dP);
            if (dP < dMin_) dMin_ = dP;
            pitem[cCount_].dMinTo = dMin_;
            ++cCount_;
            return;
        }
        // The path goes in front of the first item it beats by more than
        // the margin. The minima up to each item fall from the first item to
        // the last, and the path beats an item's minimum exactly when it
        // beats that item or one before it: the items it goes in front of
        // are those at the end whose minimum it beats. They move back by one,
        // the last one of a full beam dropped, from the end; new paths
        // mostly go in near the end. Each item's minimum moves along: the
        // minimum up to an item it passes already counts an item below the
        // new path.
        const int iStart = std::min(cCount_, cBeam_ - 1);
        int j = iStart;
        while (j > 0 && dWorse > pitem[j - 1].dMinTo) {
            pitem[j].slot.dProb = pitem[j - 1].slot.dProb;
            pitem[j].slot.iBack = pitem[j - 1].slot.iBack;
            pitem[j].slot.iCand = pitem[j - 1].slot.iCand;
            pitem[j].dMinTo = pitem[j - 1].dMinTo;
            --j;
        }
        if (fDebug10) {
            const double dPassed = pitem[j < iStart ? j + 1 : j].slot.dProb;
            std::fprintf(stderr, "worse: %12.9f, at %d\n", dPassed, j);
        }
        pitem[j].slot = {dP, k, iCand};
        pitem[j].dMinTo = j > 0 && !(dP < pitem[j - 1].dMinTo) ? pitem[j - 1].dMinTo : dP;
        if (fDebug10) std::fprintf(stderr, "sorted into item: %d, prob: %12.9f\n", j, dP);
        if (cCount_ < cBeam_) ++cCount_;
        dMin_ = pitem[cCount_ - 1].dMinTo;
    }

    // Whether cPaths paths added in turn, with the probabilities dProbOf(0),
    // dProbOf(1), ..., stay in that order: each goes last, as none beats one
    // before it by more than the margin, and all fit.
    template <class F> static bool KeepsOrder(int cPaths, int cBeam, F dProbOf) {
        if (cPaths > cBeam) return false;
        double dMin = std::numeric_limits<double>::infinity();
        for (int k = 0; k < cPaths; ++k) {
            const double dP = dProbOf(k);
            if (dP - kBeamTieEps > dMin) return false;
            if (dP < dMin) dMin = dP;
        }
        return true;
    }

private:
    struct Item {
        Slot slot;
        // The smallest probability of the items up to this one (comparisons
        // with a NaN are false, as in the scan, so one never lowers it);
        // the last item's is the beam's.
        double dMinTo = 0.0;
    };
    std::vector<Item> rgitem_;
    int cBeam_ = 0;
    int cCount_ = 0;
    double dMin_ = std::numeric_limits<double>::infinity(); // infinity when empty
};

} // namespace vexta
