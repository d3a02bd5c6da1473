// Tag probabilities: the exponential model of the tagger. For one tag element
// at one data line it gives the smoothed probability of every value of the
// line's ambiguity class and the most probable value.
//
// Each firing feature f multiplies the raw score of value v by
// (n * P_f(v)) ^ f.dLambda, where P_f(v) is the feature's estimate of v with
// every count raised by 1e-9 and n the number of values; the normalised
// scores are mixed with the AC's value distribution and the uniform one.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "corpus/data_table.h"
#include "features/feature_match.h"
#include "model/model.h"

namespace vexta {

// Results of GetTagProbs besides a positive failure code.
inline constexpr int kProbsFired = 0;        // at least one feature fired
inline constexpr int kProbsSingleValue = -1; // one value only: it is the answer, nothing computed
inline constexpr int kProbsNoFeature = -2;   // no feature fired: the smoothed prior

// Modes (fTraining): how the features are found and matched.
inline constexpr int kProbsModeTrainCtx = 0; // AC chains, matched on the true tags
inline constexpr int kProbsModeTrial = 1;    // candidate at the head of the AC's chain + line links
inline constexpr int kProbsModeTag = 2;      // AC chains, matched along the beam path
inline constexpr int kProbsModeLinks = 3;    // line links only

// Probabilities indexed by the value byte taken as unsigned.
using TagProbs = std::array<double, kValueCnt>;

// The AC strings of one tag element at the lines on either side of one
// line, as far as a closest search looks, nearest first: gathered by the
// first search at a line and kept for the others there, which then compare
// at most eight pointers. A caller that computes line by line over a table
// that does not change keeps one for its computations.
class ClosestLines {
public:
    // Whether one of the lines il + d * iDir (d = 1..kClosestMax, within
    // the table) has pszAC as its AC string of element t, as the search of
    // the table finds it; r receives the nearest.
    bool Find(const DataTable& dt, long il, int iDir, std::size_t t, const char* pszAC, long& r) {
        if (il != il_ || t != t_) Gather(dt, il, t);
        const std::array<const char*, kClosestMax>& rgpsz = iDir < 0 ? rgpszLeft_ : rgpszRight_;
        for (long d = 0; d < kClosestMax; ++d) {
            if (rgpsz[static_cast<std::size_t>(d)] == pszAC) {
                r = il + (d + 1) * iDir;
                return true;
            }
        }
        return false;
    }

private:
    void Gather(const DataTable& dt, long il, std::size_t t) {
        il_ = il;
        t_ = t;
        // A line out of the table or without the element matches nothing.
        const long cLeft = std::min(kClosestMax, il);
        const long cRight = std::min(kClosestMax, dt.clLines - 1 - il);
        const DlData* const pdl = dt.rgdl.data() + il;
        std::array<const char*, kClosestMax> rgpszLeft;
        std::array<const char*, kClosestMax> rgpszRight;
        for (long d = 1; d <= kClosestMax; ++d) {
            const char* pszLeft = &kNone;
            if (d <= cLeft && t < pdl[-d].rgpszAC.size()) pszLeft = pdl[-d].rgpszAC[t];
            const char* pszRight = &kNone;
            if (d <= cRight && t < pdl[d].rgpszAC.size()) pszRight = pdl[d].rgpszAC[t];
            rgpszLeft[static_cast<std::size_t>(d - 1)] = pszLeft;
            rgpszRight[static_cast<std::size_t>(d - 1)] = pszRight;
        }
        rgpszLeft_ = rgpszLeft;
        rgpszRight_ = rgpszRight;
    }
    static constexpr char kNone = '\0'; // its address is no interned string

    long il_ = -1;
    std::size_t t_ = 0;
    std::array<const char*, kClosestMax> rgpszLeft_{};
    std::array<const char*, kClosestMax> rgpszRight_{};
};

// What a call noticed besides its result; lets a caller that asks the same
// question again for another beam item reuse an answer that cannot differ.
struct TagProbsNote {
    bool fPathRead = false; // a feature condition read a tag of the beam path
    bool fWarned = false;   // a non-finite score was reported
    // Set by the caller, or null: receives the tags of the beam path read
    // (cleared first), so that an answer can serve every beam item whose
    // path shows the same values there.
    PathReads* pReads = nullptr;
    // Set by the caller, or null: the lines around the line computed at, for
    // the closest searches, kept from the computation before.
    ClosestLines* pClosest = nullptr;
};

// Computes the value probabilities of tag element iTE at line ilData of the
// table. pac is the candidate's AC in mode 1 (else ignored; may be null).
// iBest receives the best value as an unsigned byte (0 before anything is
// found). When ppProbs is given it receives a new zeroed array holding P(v)
// for the AC's values, or null when the result is kProbsSingleValue.
// Returns kProbsFired, kProbsNoFeature or kProbsSingleValue.
int GetTagProbs(int fTraining, const AmbClass* pac, std::unique_ptr<TagProbs>* ppProbs, int& iBest,
                const Model& m, int iTE, const DataTable& dt, long ilData);

// The same computation writing into a caller-owned array: only the entries of
// the AC's values are written (a caller that wants zeros elsewhere keeps the
// array cleared); nothing is written for kProbsSingleValue. pProbs may be
// null. pNote, when given, is filled in (its pReads is the caller's). The traces follow pTrace when
// given, else the model's switches (m.trace). Allocates nothing.
int GetTagProbsInto(int fTraining, const AmbClass* pac, TagProbs* pProbs, int& iBest,
                    const Model& m, int iTE, const DataTable& dt, long ilData,
                    TagProbsNote* pNote = nullptr, const TraceSettings* pTrace = nullptr);

// The arithmetic of a feature's estimate, shared with the training loop's
// candidate trials, which must reproduce GetTagProbs to the last bit.
inline constexpr double kProbsCountEps = 1e-9;    // added to every count of a feature's estimate
inline constexpr double kProbsUnigramShare = 0.9; // of what the raw estimate leaves to smoothing
inline constexpr double kProbsMinWeight = 1e-9;   // smoothing weight used instead of a negative one

// The feature's count of the value at index k of its class string (0 outside).
inline long ProbsCountAt(const FeatureDesc& fd, int k) {
    if (k < 0 || static_cast<std::size_t>(k) >= fd.rgclCntTagElemGivenFeature.size()) return 0;
    return fd.rgclCntTagElemGivenFeature[static_cast<std::size_t>(k)];
}

// The unigram probability of value i of class ac, whose AC string has n
// values (u = 1/n): its share of the class's training positions, or u when
// the class has none.
inline double ClassUnigram(const AmbClass& ac, int i, double u) {
    const long clTotal = ac.clAmbClassCnt;
    const long cl = i < kJointCntSize ? ac.rgclJointCnt[static_cast<std::size_t>(i)] : 0;
    return clTotal == 0 ? u : static_cast<double>(cl) / static_cast<double>(clTotal);
}

// The feature's gain of a value over the uniform choice u: P_f(v) / u.
inline double ProbsGain(const FeatureDesc& fd, long c, int n, double u) {
    const double dPf = (static_cast<double>(c) + kProbsCountEps) /
                       (static_cast<double>(fd.clCnt) + n * kProbsCountEps);
    return dPf / u;
}

// gain ^ lambda; a weight of exactly 1 is the common case and pow(g, 1) == g.
inline double ProbsPower(double dGain, double dLambda) {
    return dLambda == 1.0 ? dGain : std::pow(dGain, dLambda);
}

// Smoothing weights: dG for the class's unigram distribution and dH for the
// uniform one, out of what the raw estimate's weight dRaw leaves.
inline void ProbsSmoothingWeights(double dRaw, double& dG, double& dH) {
    const double x = 1.0 - dRaw;
    dG = kProbsUnigramShare * x;
    if (dG < 0) dG = kProbsMinWeight;
    dH = x - dG;
    if (dH < 0) dH = kProbsMinWeight;
}

} // namespace vexta
