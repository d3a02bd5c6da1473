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
    if (rgrgclFeatureBefore_.size() <= Idx(iTE)) rgrgclFeatureBefore_.resize(Idx(iTE) + 1);
    std::vector<long>& rgclBefore = rgrgclFeatureBefore_[Idx(iTE)];
    rgclBefore.resize(Idx(std::max(te.clAmbClass, 0L)));
    for (long i = 0; i < te.clAmbClass; ++i) {
        rgclBefore[Idx(i)] = m.rgacAmbClassArea[Idx(te.ilAmbClassFirst + i)].clFeatureCnt;
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

bool ElementErrors::Evaluated(const DataTable& dt, const Model& m) const {
    return clLines_ == dt.clLines && rgrgfWrong_.size() == Idx(std::max(m.cTagElem, 0)) &&
           std::none_of(rgrgfWrong_.begin(), rgrgfWrong_.end(),
                        [](const auto& rgf) { return rgf.empty(); });
}

int ElementErrors::Start(const DataTable& dt, const Model& m) {
    if (Evaluated(dt, m)) return 0;
    const auto cTE = Idx(std::max(m.cTagElem, 0));
    clLines_ = dt.clLines;
    rgrgfWrong_.assign(cTE, {});
    for (std::size_t t = 0; t < cTE; ++t) {
        if (const int iRes = EvaluateAll(dt, static_cast<int>(t), m); iRes != 0) {
            rgrgfWrong_.assign(cTE, {});
            return iRes;
        }
    }
    rgcWrong_.assign(Idx(clLines_), 0);
    for (const auto& rgfWrong : rgrgfWrong_) {
        for (long il = 0; il < clLines_; ++il) rgcWrong_[Idx(il)] += rgfWrong[Idx(il)];
    }
    return 0;
}

int ElementErrors::Update(const DataTable& dt, Model& m, int iTE) {
    const auto cTE = Idx(std::max(m.cTagElem, 0));
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
    if (!Evaluated(dt, m)) {
        // First use: every element in full.
        if (const int iRes = Start(dt, m); iRes != 0) return iRes;
    } else {
        // Only the lines of the classes that gained features can change.
        const TagElem& te = m.rgteTagElem[Idx(iTE)];
        const std::vector<long>* prgclBefore =
            Idx(iTE) < rgrgclFeatureBefore_.size() ? &rgrgclFeatureBefore_[Idx(iTE)] : nullptr;
        for (long i = 0; i < te.clAmbClass; ++i) {
            const AmbClass& ac = m.rgacAmbClassArea[Idx(te.ilAmbClassFirst + i)];
            const long clBefore = prgclBefore != nullptr && Idx(i) < prgclBefore->size()
                                      ? (*prgclBefore)[Idx(i)]
                                      : -1;
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
                 il = dt.rgilNextAC[Idx(iTE)][Idx(il)]) {
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
