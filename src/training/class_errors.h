// The error counts of the classes of one tag element during greedy
// selection, kept up to date line by line instead of recounted.
//
// ErrorRateAmbClass decides each line of a class from the features linked
// to the line (and the line's own class counts), whichever class asks, and
// stores the outcome in the line's error flag. During selection the links of
// a line change only when an accepted feature is linked to it, so once a
// class has been counted its count changes only on the lines where later
// accepted features fire: those lines are decided again, their flags set,
// and the counts of the classes holding them (the line's own class and the
// all-data classes) moved by the difference. Every count then equals a full
// recount; MatchesRecount checks that, and debug builds check it after
// every accepted feature.
#pragma once

#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

class ClassErrors {
public:
    // Before selection for tag element iTE, with the class lines chained
    // through dt.rgilNextAC: no class counted yet.
    void Start(const DataTable& dt, const Model& m, int iTE);

    // ac.clErrAmbClass for class ac of iTE: a full count (ErrorRateAmbClass)
    // the first time, the kept count later. ErrorRateAmbClass's result.
    int Count(DataTable& dt, Model& m, AmbClass& ac, int iTE);

    // After the feature at the head of ac's chain has been linked to the
    // lines chained from ilFirst through dt.rgilNextFeature: decides those
    // lines again and sets ac.clErrAmbClass. 0, or 77 when the probability
    // model fails.
    int Accepted(DataTable& dt, Model& m, AmbClass& ac, int iTE, long ilFirst);

    // Whether every kept count and the flags of the counted classes' lines
    // equal a recount.
    bool MatchesRecount(const DataTable& dt, const Model& m, int iTE) const;

private:
    long IndexOf(const Model& m, const AmbClass& ac) const;

    long ilACFirst_ = 0;
    std::vector<long> rgiClassOfLine_; // per line: the class chaining it, -1 none
    std::vector<long> rgclErr_;        // per class of the tag element: its count, -1 not counted
    std::vector<long> rgiAllData_;     // the all-data classes
};

// Whether line il counts as an error when decided from its links alone, as
// ErrorRateAmbClass decides it: 1 or 0, -1 when the probability model fails.
int LineWrongFromLinks(const DataTable& dt, const Model& m, const AmbClass& ac, int iTE, long il);

} // namespace vexta
