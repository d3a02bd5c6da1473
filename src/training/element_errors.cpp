// Per-element training error flags with the true context.

#include "training/element_errors.h"

#include <algorithm>

#include "base/ux_index.h"
#include "features/tag_probs.h"
#include "tagging/error_rate.h"

namespace vexta {

int ElementErrors::Wrong(const DataTable& dt, const Model& m, int iTE, long il) {
    int iBest = 0;
    if (FindBestTag(kProbsModeTrainCtx, nullptr, iBest, m, iTE, dt, il) > 0) return -1;
    const char chTrue = dt.rgpszDataLine[Idx(il)][Idx(iTE)];
    return iBest != static_cast<unsigned char>(chTrue) ? 1 : 0;
}

void ElementErrors::NoteClasses(const Model& m, int iTE) {
    const TagElem& te = m.rgteTagElem[Idx(iTE)];
    rgclFeatureBefore_.resize(Idx(std::max(te.clAmbClass, 0L)));
    for (long i = 0; i < te.clAmbClass; ++i) {
        rgclFeatureBefore_[Idx(i)] = m.rgacAmbClassArea[Idx(te.ilAmbClassFirst + i)].clFeatureCnt;
    }
}

int ElementErrors::EvaluateAll(const DataTable& dt, int iTE, const Model& m) {
    std::vector<unsigned char>& rgfWrong = rgrgfWrong_[Idx(iTE)];
    rgfWrong.assign(Idx(clLines_), 0);
    for (long il = 0; il < clLines_; ++il) {
        const int iWrong = Wrong(dt, m, iTE, il);
        if (iWrong < 0) return kErrRateProbsFailed;
        rgfWrong[Idx(il)] = static_cast<unsigned char>(iWrong);
    }
    return 0;
}

int ElementErrors::Update(const DataTable& dt, Model& m, int iTE) {
    const auto cTE = Idx(std::max(m.cTagElem, 0));
    if (clLines_ != dt.clLines || rgrgfWrong_.size() != cTE) {
        clLines_ = dt.clLines;
        rgrgfWrong_.assign(cTE, {});
    }
    const auto SetWrong = [&](int t, long il, unsigned char fWrong) {
        unsigned char& f = rgrgfWrong_[Idx(t)][Idx(il)];
        if (f == fWrong) return;
        f = fWrong;
        if (fWrong != 0) {
            ++rgcWrong_[Idx(il)];
        } else {
            --rgcWrong_[Idx(il)];
        }
    };
    if (std::any_of(rgrgfWrong_.begin(), rgrgfWrong_.end(),
                    [](const auto& rgf) { return rgf.empty(); })) {
        // First use: every element in full.
        for (std::size_t t = 0; t < cTE; ++t) {
            if (const int iRes = EvaluateAll(dt, static_cast<int>(t), m); iRes != 0) return iRes;
        }
        rgcWrong_.assign(Idx(clLines_), 0);
        for (const auto& rgfWrong : rgrgfWrong_) {
            for (long il = 0; il < clLines_; ++il) rgcWrong_[Idx(il)] += rgfWrong[Idx(il)];
        }
    } else {
        // Only the lines of the classes that gained features can change.
        const TagElem& te = m.rgteTagElem[Idx(iTE)];
        for (long i = 0; i < te.clAmbClass; ++i) {
            const AmbClass& ac = m.rgacAmbClassArea[Idx(te.ilAmbClassFirst + i)];
            const long clBefore =
                Idx(i) < rgclFeatureBefore_.size() ? rgclFeatureBefore_[Idx(i)] : -1;
            if (ac.clFeatureCnt == clBefore) continue;
            const bool fAllLines = ac.fACIgnore || i == 0;
            if (fAllLines) {
                for (long il = 0; il < clLines_; ++il) {
                    const int iWrong = Wrong(dt, m, iTE, il);
                    if (iWrong < 0) return kErrRateProbsFailed;
                    SetWrong(iTE, il, static_cast<unsigned char>(iWrong));
                }
                break;
            }
            for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData && il < clLines_;
                 il = dt.rgilNextAC[Idx(il)]) {
                const int iWrong = Wrong(dt, m, iTE, il);
                if (iWrong < 0) return kErrRateProbsFailed;
                SetWrong(iTE, il, static_cast<unsigned char>(iWrong));
            }
        }
    }
    for (std::size_t t = 0; t < cTE; ++t) {
        const auto& rgfWrong = rgrgfWrong_[t];
        m.rgteTagElem[t].clErrTagElem = std::count(rgfWrong.begin(), rgfWrong.end(), 1);
    }
    m.clErr = static_cast<long>(
        std::count_if(rgcWrong_.begin(), rgcWrong_.end(), [](unsigned char c) { return c != 0; }));
    return 0;
}

bool ElementErrors::MatchesRecount(const DataTable& dt, const Model& m, int iTE) const {
    if (Idx(iTE) >= rgrgfWrong_.size()) return false;
    const std::vector<unsigned char>& rgfWrong = rgrgfWrong_[Idx(iTE)];
    if (static_cast<long>(rgfWrong.size()) != dt.clLines) return false;
    for (long il = 0; il < dt.clLines; ++il) {
        if (Wrong(dt, m, iTE, il) != rgfWrong[Idx(il)]) return false;
    }
    return true;
}

} // namespace vexta
