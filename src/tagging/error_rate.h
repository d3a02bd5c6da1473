// Separate tagging (each tag element decided on its own) and the error
// counts built on it: full passes over a data table, the pass over the lines
// of one ambiguity class that keeps the per-line error flags, the trial pass
// of a candidate feature along the lines where it fires, and the one-line
// error-rate report.
#pragma once

#include <array>
#include <string_view>

#include "corpus/data_table.h"
#include "model/model.h"

namespace vexta {

// Failure codes of the passes.
inline constexpr int kErrRateNoCounters = 1100;  // counter array not allocated
inline constexpr int kErrRateProbsFailed = 1101; // the probability model failed
inline constexpr int kErrRateDiagFailed = 1191;  // the diagnostic re-run failed
inline constexpr int kErrRateClassFailed = 77;   // per-class passes

// The error note of one output line: a fixed opening text followed by
// " %d(%c)" (tag element, true value) for each counted wrong element. Built
// in place; it has room for every element of the longest tag.
class ErrNote {
public:
    explicit ErrNote(std::string_view szOpening);
    void Add(int iTE, char chTrue);
    // Back to the opening text alone.
    void Clear() { cch_ = cchOpening_; }
    std::string_view View() const { return {rgch_.data(), cch_}; }

private:
    std::array<char, 256> rgch_; // characters 0..cch_-1 are set; the rest is never read
    std::size_t cch_ = 0;
    std::size_t cchOpening_ = 0;
};

// The best value of tag element iTE at line ilData: what GetTagProbs returns
// for the same arguments without a probability array (> 0 failure, 0 decided
// with a firing feature, -1 single value, -2 no feature fired).
int FindBestTag(int fTraining, const AmbClass* pac, int& iBest, const Model& m, int iTE,
                const DataTable& dt, long ilData);

// Tags lines 0..clLines-1 element by element (mode 2), stores the chosen tags
// in rgpszTagOut, counts errors per element (clErrTagElem) and lines with an
// error in an element marked "+" (m.clErr), and with iOutLevel > 0 writes
// every line with its tag replaced (and the error note above level 100).
// Lines to the left are seen with the tags chosen for them. Returns 0 or the
// last negative code other than -2; 1101 when the probability model fails.
int ErrorRateDataSeparate(DataTable& dt, Model& m, int iOutLevel);

// The same pass with the true tags as context (mode 0), without storing the
// tags; every wrong element makes the line count. Writes a diagnostic for
// the element named by m.trace.fDebug3. 1101 or 1191 on failure.
int ErrorRateData(DataTable& dt, Model& m, int iOutLevel);

// Re-evaluates the lines of the AC in tag element iTE from the line links
// (mode 3), setting rgrgfErr[iTE] for them and ac.clErrAmbClass. Unless
// m.iHeavySmoothing is 1, a line where no feature fires counts as an error.
// 77 when the probability model fails, else the last code (0 or negative).
int ErrorRateAmbClass(DataTable& dt, Model& m, AmbClass& ac, int iTE);

// Trial of the candidate at the head of the AC's chain on the lines of the
// chain starting at ilFirst (through rgilNextFeature): ac.clErrAmbClass
// becomes clErrBefore plus the new errors minus the corrections. The per-line
// flags are not changed. 77 on failure.
int ErrorRateAmbClassFeature(DataTable& dt, Model& m, AmbClass& ac, long ilFirst, int iTE);

// Writes "name: message errors/words% : errors/lines% (e/w:l)" with ", flat"
// (iTE < 0) or ", cat t (name)" to standard error; 101.00 stands for an empty
// denominator. 0.
int PrintErrorRate(const Model& m, std::string_view szName, std::string_view szMsg, long clErr,
                   long clWords, long clLines, int iTE);

} // namespace vexta
