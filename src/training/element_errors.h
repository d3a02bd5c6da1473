// The training error after each tag element, kept line by line instead of
// recounted over every tag element.
//
// With the true tags as context (ErrorRateData's mode) the decision for tag
// element t at a line depends only on the features of t's classes that fire
// there, on the class counts and on the line itself. So when selection for t
// has ended, only lines of the classes of t that gained features can change,
// and only in t: the other tag elements' flags still hold. Each tag element
// keeps one flag per line (wrong with the true context); the per-element
// error counts and the count of lines wrong in any element follow from them
// and equal those of a full ErrorRateData pass.
#pragma once

#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

class ElementErrors {
public:
    // Before selection for tag element iTE: notes each class's feature count,
    // so that Update can tell which classes gained features.
    void NoteClasses(const Model& m, int iTE);

    // Evaluates every element in full unless done before, as the first
    // Update would (before tag elements are selected side by side, when
    // the first Update would see the others already changed). 0, or 1101
    // when the probability model fails (nothing is kept then).
    int Start(const DataTable& dt, const Model& m);

    // After selection for iTE: brings the flags of iTE up to date (every
    // element is evaluated in full the first time), then sets clErrTagElem
    // of every element and m.clErr as ErrorRateData does. 0, or 1101 when
    // the probability model fails.
    int Update(const DataTable& dt, Model& m, int iTE);

    // The flags of iTE recounted over every line: whether they equal the
    // kept ones (a check for debug builds and tests).
    bool MatchesRecount(const DataTable& dt, const Model& m, int iTE) const;

private:
    // Decides iTE at line il with the true context: 1 wrong, 0 right, -1 failure.
    static int Wrong(const DataTable& dt, const Model& m, int iTE, long il);
    int EvaluateAll(const DataTable& dt, int iTE, const Model& m);
    bool Evaluated(const DataTable& dt, const Model& m) const;

    std::vector<std::vector<unsigned char>> rgrgfWrong_; // [t][il]; empty: not evaluated yet
    std::vector<std::vector<long>> rgrgclFeatureBefore_; // [t]: feature count per class
    std::vector<unsigned char> rgcWrong_;                // per line: elements wrong there
    long clLines_ = -1;
};

} // namespace vexta
