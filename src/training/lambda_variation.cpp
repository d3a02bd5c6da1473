// Lambda variation of one feature against whole-tag errors.
//
// Only the probabilities of the feature's own tag element depend on its
// weight: the other tag elements' probabilities at a window line are
// computed once and their factors kept per candidate tag, so each weight
// costs one probability call per window line. Every product is still formed
// element by element from the left, so the scores are the same numbers as
// when everything is recomputed. With a diagnostic trace switched on,
// everything is recomputed per weight, in element order, so that the trace
// shows every call.

#include "training/lambda_variation.h"
#include "base/ux_index.h"
#include "features/tag_probs.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/ux_base.h"

namespace vexta {

namespace {

constexpr double kFirstWeightShare = 0.001; // the first weight tried, relative to the current one
constexpr double kWeightStep = 1.6;         // factor between two weights tried
constexpr double kUpperShare = 20.0;        // weights stay below this many times the current one
constexpr double kUpperMax = 32.0;          // and below this
constexpr double kScoreFloor = -1e-6;       // a candidate must score above this to be chosen

[[noreturn]] void NoCandidates(long il, const std::string& szLine) {
    std::string szMsg = "VaryLambdaVTC: Set of possible tags missing at data line ";
    szMsg += std::to_string(il);
    szMsg += ": ";
    szMsg += szLine;
    szMsg += "\n";
    ux_FatalError(kModApp, kMsgApp, szMsg);
}

// The window: from the first entry of the feature's line list inside
// ilFrom..ilTo-1 up to the next entry outside it.
void CollectWindow(const FeatureDesc& fd, long ilFrom, long ilTo, std::vector<long>& rgilWindow) {
    rgilWindow.clear();
    bool fInside = false;
    for (const FeatureLink* plink = fd.plinkData; plink != nullptr; plink = plink->pNextData) {
        const bool fInRange = plink->ilLine >= ilFrom && plink->ilLine < ilTo;
        if (!fInside && !fInRange) continue;
        if (!fInRange) break;
        fInside = true;
        rgilWindow.push_back(plink->ilLine);
    }
}

// Zeroes what the probability model wrote for line il, element iTE, so that
// values outside the line's class read as 0 next time.
void ClearProbs(const DataTable& dt, long il, int iTE, TagProbs& probs) {
    for (const char* p = dt.rgdl[Idx(il)].rgpszAC[Idx(iTE)]; *p != '\0'; ++p) probs[Byte(*p)] = 0.0;
}

// The weight variation proper, over the collected window.
class Variation {
public:
    Variation(DataTable& dt, Model& m, int iTE, const FeatureDesc& fd, LambdaWork& work)
        : dt_(dt), m_(m), iTE_(iTE), w_(work), cTE_(m.cTagElem), iTEVaried_(fd.iTagElem),
          fCache_(!m.trace.ProbsOn()) {
        w_.rgProbs.resize(Idx(cTE_));
        w_.rgiResLast.assign(Idx(cTE_), 0);
        rgfHas_.assign(Idx(cTE_), 0);
    }

    // Computes the factors of the elements that do not depend on the weight.
    // 0, or kVaryProbsFailed.
    int Prepare() {
        w_.rgiCandFirst.clear();
        w_.rgdFactor.clear();
        for (std::size_t j = 0; j < w_.rgilWindow.size(); ++j) {
            const long il = w_.rgilWindow[j];
            const DlData& dl = dt_.rgdl[Idx(il)];
            if (dl.rgpszMMt.empty()) NoCandidates(il, dt_.rgpszDataLine[Idx(il)]);
            w_.rgiCandFirst.push_back(static_cast<long>(w_.rgdFactor.size()));
            if (!fCache_) continue;
            const bool fLast = j + 1 == w_.rgilWindow.size();
            for (int t = 0; t < cTE_; ++t) {
                if (t != iTEVaried_ && Compute(il, t, fLast) > 0) return kVaryProbsFailed;
            }
            for (const char* pszCand : dl.rgpszMMt) {
                for (int t = 0; t < cTE_; ++t) {
                    w_.rgdFactor.push_back(t == iTEVaried_ ? 1.0 : Factor(t, pszCand));
                }
            }
            for (int t = 0; t < cTE_; ++t) {
                if (t != iTEVaried_) ClearProbs(dt_, il, t, w_.rgProbs[Idx(t)]);
            }
        }
        return 0;
    }

    // Improvement in lines at the feature's current weight: s. 0, or
    // kVaryProbsFailed.
    int Measure(long& clImprovement) {
        clImprovement = 0;
        const std::vector<unsigned char>& rgfErrTE = dt_.rgrgfErr[Idx(iTE_)];
        for (std::size_t j = 0; j < w_.rgilWindow.size(); ++j) {
            const long il = w_.rgilWindow[j];
            const bool fLast = j + 1 == w_.rgilWindow.size();
            for (int t = 0; t < cTE_; ++t) {
                if (!ComputedNow(t)) continue;
                if (Compute(il, t, fLast) > 0) return kVaryProbsFailed;
            }
            const double* pdFactor = fCache_ ? w_.rgdFactor.data() + w_.rgiCandFirst[j] : nullptr;
            const char* pszBest = BestCandidate(il, pdFactor);
            for (int t = 0; t < cTE_; ++t) {
                if (ComputedNow(t)) ClearProbs(dt_, il, t, w_.rgProbs[Idx(t)]);
            }

            const std::string& szLine = dt_.rgpszDataLine[Idx(il)];
            bool fLineWrong = false;
            for (int t = 0; t < cTE_ && !fLineWrong; ++t) fLineWrong = pszBest[t] != szLine[Idx(t)];
            const bool fTEWrong = pszBest[iTE_] != szLine[Idx(iTE_)];
            const long v = static_cast<long>(dt_.rgfLineErr[Idx(il)]) - (fLineWrong ? 1 : 0) +
                           static_cast<long>(rgfErrTE[Idx(il)]) - (fTEWrong ? 1 : 0);
            clImprovement += std::clamp(v, -1L, 1L);
        }
        return 0;
    }

    // The last result of the probability model in element order.
    int LastResult() const { return cTE_ > 0 ? w_.rgiResLast[Idx(cTE_ - 1)] : 0; }

private:
    bool ComputedNow(int t) const { return !fCache_ || t == iTEVaried_; }

    int Compute(long il, int t, bool fLast) {
        int iBest = 0;
        const int iRes =
            GetTagProbsInto(kProbsModeLinks, nullptr, &w_.rgProbs[Idx(t)], iBest, m_, t, dt_, il);
        rgfHas_[Idx(t)] = iRes != kProbsSingleValue;
        if (fLast) w_.rgiResLast[Idx(t)] = iRes;
        return iRes;
    }

    double Factor(int t, const char* pszCand) const {
        return rgfHas_[Idx(t)] ? w_.rgProbs[Idx(t)][Byte(pszCand[t])] : 1.0;
    }

    // The first candidate scoring above every earlier one; the product runs
    // over the tag elements from the left. pdFactor: the kept factors of the
    // line's candidates (null when nothing is kept).
    const char* BestCandidate(long il, const double* pdFactor) const {
        const DlData& dl = dt_.rgdl[Idx(il)];
        const char* pszBest = nullptr;
        double dBest = kScoreFloor;
        for (const char* pszCand : dl.rgpszMMt) {
            double dScore = 1.0;
            for (int t = 0; t < cTE_; ++t) {
                dScore *= ComputedNow(t) ? Factor(t, pszCand) : pdFactor[t];
            }
            if (pdFactor != nullptr) pdFactor += cTE_;
            if (dScore > dBest) {
                dBest = dScore;
                pszBest = pszCand;
            }
        }
        // Scores are never negative; only NaN scores leave no choice.
        return pszBest != nullptr ? pszBest : dl.rgpszMMt.front();
    }

    DataTable& dt_;
    Model& m_;
    int iTE_;
    LambdaWork& w_;
    int cTE_;
    int iTEVaried_;
    bool fCache_;
    std::vector<unsigned char> rgfHas_;
};

} // namespace

int VaryLambdaVTC(DataTable& dt, Model& m, int iTE, long /*iAmbClass*/, FeatureDesc& fd,
                  long ilFrom, long ilTo, LambdaWork& work) {
    TraceSettings::Clear(m.trace.fDebugFull);
    if (iTE < 0 || iTE >= m.cTagElem) return 0;
    CollectWindow(fd, ilFrom, ilTo, work.rgilWindow);

    const double dLambda0 = fd.dLambda;
    const double dUpper = std::min(kUpperShare * dLambda0, kUpperMax);
    double dLambda = dLambda0 * kFirstWeightShare;
    // Without a window line every weight improves nothing: the weight stays.
    if (work.rgilWindow.empty() || !(dLambda < dUpper)) return 0;

    Variation var(dt, m, iTE, fd, work);
    if (var.Prepare() > 0) return kVaryProbsFailed;
    long clBest = 0;
    double dBest = dLambda0;
    for (; dLambda < dUpper; dLambda *= kWeightStep) {
        fd.dLambda = dLambda;
        long clImprovement = 0;
        if (var.Measure(clImprovement) > 0) return kVaryProbsFailed;
        if (clImprovement > clBest) {
            std::fprintf(stderr, "##########  better lambda %10.8f: improv %ld\n", dLambda,
                         clImprovement);
            clBest = clImprovement;
            dBest = dLambda;
        }
    }
    if (clBest < kVaryMinImprovement) {
        fd.dLambda = dLambda0;
    } else {
        fd.dLambda = dBest;
        std::fprintf(stderr, "\n ~~~ lambda changed: %10.8f ---> %10.8f\n\n\n", dLambda0, dBest);
    }
    return var.LastResult();
}

int VaryLambdaVTC(DataTable& dt, Model& m, int iTE, long iAmbClass, FeatureDesc& fd, long ilFrom,
                  long ilTo) {
    LambdaWork work;
    return VaryLambdaVTC(dt, m, iTE, iAmbClass, fd, ilFrom, ilTo, work);
}

} // namespace vexta
