// Class error counts kept line by line during selection.

#include "training/class_errors.h"

#include <algorithm>

#include "base/ux_index.h"
#include "features/tag_probs.h"
#include "tagging/error_rate.h"

namespace vexta {

namespace {

// Traces of the per-line decisions come from ErrorRateAmbClass itself.
bool TraceOn(const Model& m) {
    return m.trace.ProbsOn() || m.trace.fDebug8 != 0;
}

} // namespace

int LineWrongFromLinks(const DataTable& dt, const Model& m, const AmbClass& ac, int iTE, long il) {
    int iBest = 0;
    const int iRes = FindBestTag(kProbsModeLinks, &ac, iBest, m, iTE, dt, il);
    if (iRes > 0) return -1;
    // Without heavy smoothing the prior alone never counts as right.
    if (iRes == kProbsNoFeature && m.iHeavySmoothing != 1) return 1;
    return iBest != static_cast<unsigned char>(dt.rgpszDataLine[Idx(il)][Idx(iTE)]) ? 1 : 0;
}

void ClassErrors::Start(const DataTable& dt, const Model& m, int iTE) {
    const TagElem& te = m.rgteTagElem[Idx(iTE)];
    ilACFirst_ = te.ilAmbClassFirst;
    const long cClass = std::max(te.clAmbClass, 0L);
    rgclErr_.assign(Idx(cClass), -1);
    rgiAllData_.clear();
    rgiClassOfLine_.assign(Idx(std::max(dt.clData, 0L)), -1);
    for (long c = 0; c < cClass; ++c) {
        const AmbClass& ac = m.rgacAmbClassArea[Idx(ilACFirst_ + c)];
        if (ac.fACIgnore) {
            rgiAllData_.push_back(c);
            continue;
        }
        for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData;
             il = dt.rgilNextAC[Idx(iTE)][Idx(il)]) {
            rgiClassOfLine_[Idx(il)] = c;
        }
    }
}

long ClassErrors::IndexOf(const Model& m, const AmbClass& ac) const {
    const long c = &ac - m.rgacAmbClassArea.data() - ilACFirst_;
    return c >= 0 && Idx(c) < rgclErr_.size() ? c : -1;
}

int ClassErrors::Count(DataTable& dt, Model& m, AmbClass& ac, int iTE) {
    const long c = IndexOf(m, ac);
    if (c >= 0 && rgclErr_[Idx(c)] >= 0 && !TraceOn(m)) {
        ac.clErrAmbClass = rgclErr_[Idx(c)];
        return 0;
    }
    const int iRes = ErrorRateAmbClass(dt, m, ac, iTE);
    if (c >= 0 && iRes <= 0) rgclErr_[Idx(c)] = ac.clErrAmbClass;
    return iRes;
}

int ClassErrors::Accepted(DataTable& dt, Model& m, AmbClass& ac, int iTE, long ilFirst) {
    const long c = IndexOf(m, ac);
    if (c < 0 || rgclErr_[Idx(c)] < 0 || TraceOn(m)) {
        // Nothing kept for the class: count it in full, and forget the rest.
        std::fill(rgclErr_.begin(), rgclErr_.end(), -1);
        return ErrorRateAmbClass(dt, m, ac, iTE);
    }
    std::vector<unsigned char>& rgfErr = dt.rgrgfErr[Idx(iTE)];
    const std::vector<long>& rgilNext = dt.rgilNextFeature[Idx(iTE)];
    for (long il = ilFirst; il >= 0 && il < dt.clData; il = rgilNext[Idx(il)]) {
        const int iWrong = LineWrongFromLinks(dt, m, ac, iTE, il);
        if (iWrong < 0) return kErrRateClassFailed;
        unsigned char& fErr = rgfErr[Idx(il)];
        if (fErr == iWrong) continue;
        fErr = static_cast<unsigned char>(iWrong);
        const long d = iWrong != 0 ? 1 : -1;
        const auto Move = [&](long cHolding) {
            if (cHolding >= 0 && rgclErr_[Idx(cHolding)] >= 0) rgclErr_[Idx(cHolding)] += d;
        };
        Move(rgiClassOfLine_[Idx(il)]);
        for (const long cAll : rgiAllData_) Move(cAll);
    }
    ac.clErrAmbClass = rgclErr_[Idx(c)];
    return 0;
}

bool ClassErrors::MatchesRecount(const DataTable& dt, const Model& m, int iTE) const {
    const std::vector<unsigned char>& rgfErr = dt.rgrgfErr[Idx(iTE)];
    for (std::size_t c = 0; c < rgclErr_.size(); ++c) {
        if (rgclErr_[c] < 0) continue;
        const AmbClass& ac = m.rgacAmbClassArea[Idx(ilACFirst_) + c];
        long clErr = 0;
        bool fSame = true;
        const auto Line = [&](long il) {
            const int iWrong = LineWrongFromLinks(dt, m, ac, iTE, il);
            fSame = fSame && iWrong >= 0 && rgfErr[Idx(il)] == iWrong;
            clErr += iWrong > 0 ? 1 : 0;
        };
        if (ac.fACIgnore) {
            for (long il = 0; il < dt.clData; ++il) Line(il);
        } else {
            for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData;
                 il = dt.rgilNextAC[Idx(iTE)][Idx(il)])
                Line(il);
        }
        if (!fSame || clErr != rgclErr_[c]) return false;
    }
    return true;
}

} // namespace vexta
