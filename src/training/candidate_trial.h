// The trial of a candidate feature at several weights: the class's error
// count with the candidate in the model, as ErrorRateAmbClassFeature gives
// it, for one weight after another.
//
// Only the candidate's own factor depends on its weight. What the
// probability model computes from everything else on the lines where the
// candidate fires (the value distribution of the line's class and the
// factors of the features linked to the line) is worked out once per
// candidate, and each weight then costs a few multiplications per line. The
// factors are multiplied in the probability model's order (the candidate's
// first, then the linked features' in list order), so every score, and
// therefore every decision, is the same number as from the probability
// model itself. A line whose scores stop being finite, or any trial with a
// diagnostic trace switched on, goes through the probability model itself.
#pragma once

#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

class CandidateTrial {
public:
    // Forgets what is kept about the lines: to be called whenever features
    // are linked to lines (an accepted feature). A trial on another class or
    // tag element forgets by itself.
    void Forget() { ++uStamp_; }

    // Gathers what does not depend on the weight of the candidate at the head
    // of the chain of class ac (tag element iTE), on the lines of the chain
    // that starts at ilFirst and continues through dt.rgilNextFeature.
    void Prepare(DataTable& dt, Model& m, AmbClass& ac, long ilFirst, int iTE);

    // With the candidate at its current weight: sets ac.clErrAmbClass to
    // ac.clErrBefore plus the lines turned wrong minus the lines turned right,
    // exactly as ErrorRateAmbClassFeature does, and returns its result (0, or
    // 77 when the probability model fails).
    int Measure(DataTable& dt, Model& m, AmbClass& ac, int iTE);

    // With the candidate at its current weight, prepared on lines that are
    // all mis-tagged: sets clCorrected to the number of them it tags right,
    // as Measure decides them. False, with nothing computed, when a line is
    // left to the probability model itself (which Measure would call) or
    // the trial is to go through it altogether.
    bool Corrected(const Model& m, const AmbClass& ac, long& clCorrected);

private:
    // What the probability model uses at a line besides the candidate: the
    // values of the line's class with their probabilities in the class, and
    // the weighted gains of the features linked to the line. It depends on
    // the class tried (which linked features count) and on the links, so it
    // is kept while neither changes.
    struct LineData {
        const char* pszAC = nullptr;
        int n = 0;           // values of the line's class
        bool fModel = false; // decided by the probability model itself
        long iValue = 0;     // first entry of the line in rgdW_
        long iFactor = 0;    // first factor of the line in rgdFactor_
        int cFactor = 0;     // factors per value (linked features)
    };
    // One line where the candidate fires.
    struct Line {
        long il = 0;
        int chTrue = 0;         // true value, as an unsigned byte
        bool fWasWrong = false; // mis-tagged before the candidate
        long iData = 0;         // its LineData
        long iGain = 0;         // first entry of the candidate's gains for it
    };

    const LineData& DataOf(DataTable& dt, Model& m, const AmbClass& ac, long il, int iTE);

    // The candidate's weighted gains for a class candidate (fShared), worked
    // out once per weight.
    void StartWeight(const AmbClass& ac, double dLambda);
    // The value the scores choose at the line, as an unsigned byte, or -1
    // when a score is not finite and the probability model is to decide.
    int Choice(const Line& line, const LineData& data, bool fShared, double dLambda, double dRaw,
               double dG, double dH);

    bool fModelOnly_ = false; // every line through the probability model
    long ilFirst_ = -1;
    std::vector<Line> rgLine_;
    std::vector<double> rgdGainCand_; // per value: the candidate's gain before its weight
    std::vector<double> rgdT_;        // raw scores of one line
    std::vector<double> rgdCandPow_;  // per value: the candidate's weighted gain (class candidate)
    std::vector<const FeatureDesc*> rgpfdLinked_; // features linked to one line

    // Kept line data, valid while its stamp is the current one.
    unsigned uStamp_ = 1;
    unsigned uStampStore_ = 0; // stamp of what rgLineData_ and the stores hold
    const AmbClass* pacKept_ = nullptr;
    const DataTable* pdtKept_ = nullptr;
    int iTEKept_ = -1;
    std::vector<unsigned> rguLineStamp_; // per table line
    std::vector<long> rgiLineData_;      // per table line: its entry of rgLineData_
    std::vector<LineData> rgLineData_;
    std::vector<double> rgdW_;      // per value: its probability in the line's class
    std::vector<double> rgdFactor_; // per value and linked feature: its weighted gain
};

} // namespace vexta
