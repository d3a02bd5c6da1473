// Tag probabilities: the exponential model of the tagger. For one tag element
// at one data line it gives the smoothed probability of every value of the
// line's ambiguity class and the most probable value.
//
// Each firing feature f multiplies the raw score of value v by
// (n * P_f(v)) ^ f.dLambda, where P_f(v) is the feature's estimate of v with
// every count raised by 1e-9 and n the number of values; the normalised
// scores are mixed with the AC's value distribution and the uniform one.
#pragma once

#include <array>
#include <memory>

#include "corpus/data_table.h"
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

// What a call noticed besides its result; lets a caller that asks the same
// question again for another beam item reuse an answer that cannot differ.
struct TagProbsNote {
    bool fPathRead = false; // a feature condition read a tag of the beam path
    bool fWarned = false;   // a non-finite score was reported
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
// null. pNote, when given, is filled in. Allocates nothing.
int GetTagProbsInto(int fTraining, const AmbClass* pac, TagProbs* pProbs, int& iBest,
                    const Model& m, int iTE, const DataTable& dt, long ilData,
                    TagProbsNote* pNote = nullptr);

// Whether any switch is on under which the probability model writes traces;
// callers never skip or reuse a computation while it is.
bool ProbsTraceOn();

} // namespace vexta
