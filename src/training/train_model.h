// The training loop: one iteration per iteration parameter set, each
// building a fresh feature pool and adding features greedily, tag element by
// tag element and class by class, when they remove enough training errors;
// then either the end-of-training reports or the lambda-variation
// iterations, and a last pass over the test data.
//
// A candidate is always appended to the model's feature area and linked at
// the head of its class's chain before it is measured, and removed again
// (DelFeature) when it is rejected, so only the newest feature can ever be
// removed.
//
// With more than one thread the tag elements of an iteration are selected
// side by side: selection for one element reads the true tags and touches
// only its own classes, per-line lists and chains. Each element then keeps
// its candidate in an area entry of its own and its accepted features in a
// stage (FeatureStage), and prints into a buffer (SelectionLog); afterwards
// the elements are finished in order, their features placed in the area
// after those of the elements before them, so that the model file and the
// log are those of one thread.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "corpus/data_table.h"
#include "model/model.h"
#include "training/candidate_trial.h"
#include "training/class_errors.h"
#include "training/firing_lines.h"
#include "training/selection_log.h"

namespace vexta {

// Offsets of the codes TrainModel returns; the failing callee's code is added.
inline constexpr int kTrainErrAmbClass = 7700;     // class error pass at a class start, LinkFeature
inline constexpr int kTrainErrSuggestFirst = 7800; // SuggestFeature, first call of a class
inline constexpr int kTrainErrSuggestNext = 7850;  // SuggestFeature, later calls
inline constexpr int kTrainErrAddFeature = 7900;   // AddFeature
inline constexpr int kTrainErrDelUnfit = 7950;     // DelFeature, too few errors where it fires
inline constexpr int kTrainErrDelWeak = 7940;      // DelFeature, too small an improvement
inline constexpr int kTrainErrTrial = 7500;        // ErrorRateAmbClassFeature
inline constexpr int kTrainErrLinkTrain = 7790;    // LinkTrainFeature
inline constexpr int kTrainErrAmbClassAfter = 7000; // class error pass after an accepted feature

// Results of AddFeature and DelFeature.
inline constexpr int kAddFeatureAreaFull = 1;
inline constexpr int kDelFeatureNone = 1;
inline constexpr int kDelFeatureNotHead = 2;
inline constexpr int kDelFeatureCountNegative = 4;

// How a training run may use the machine.
struct TrainingOptions {
    int cThreads = 1; // threads that generate the pool, and select tag elements side by side
};

// Trains the set-up model: runs the iterations of m.rgipFG, then the
// end-of-training reports or the lambda-variation iterations, then an
// own-context pass over the test table (m.pdtS, which must be set). Returns
// that pass's result (0 or negative), or a code above one of the kTrainErr*
// offsets; failures of the reports and of the pool end the run with
// their own status.
int TrainModel(DataTable& dtTrain, DataTable& dtHeldout, Model& m,
               const TrainingOptions& options = {});

// Copies the next pool feature of class ac into fdSuggested: 0, or -1 when
// the class has no further pool feature. A record with term count 0 starts
// the walk at the class's first pool feature, unless it is the copy of a
// term-less pool feature of this class just suggested (the walk then moves
// on instead of starting again); otherwise the walk moves one feature on.
int SuggestFeature(FeatureDesc& fdSuggested, DataTable& dtTrain, DataTable& dtHeldout, Model& m,
                   int iTE, AmbClass& ac);

// Marks fdSuggested as "nothing suggested yet": term count 0, no class.
void ClearSuggested(FeatureDesc& fdSuggested);

// Appends a copy of the pool record fd to the feature area, with its own
// count array, at the head of the chain of ac. 0, or kAddFeatureAreaFull.
int AddFeature(const FeatureDesc& fd, Model& m, AmbClass& ac);

// Removes the newest feature of the area, which must head the chain of ac.
// 0; kDelFeatureNone when the area is empty; kDelFeatureNotHead (nothing is
// changed then) when the newest feature is not the head of the chain;
// kDelFeatureCountNegative when the class's feature count falls below 0.
int DelFeature(Model& m, AmbClass& ac);

// Copies iteration parameter set ip into the model's current settings; the
// pool threshold is raised to the add threshold when it is smaller.
void InstallIterationParams(Model& m, const IterationParams& ip);

// The thresholds of the selection passes for one tag element. In the first
// iteration with halving (MultiPass) the threshold starts at half the
// training lines and halves each pass, never above the largest class error
// of the previous pass, down to cThrMin; otherwise there is one pass at
// cThrMin (none when cThrMin exceeds the training lines).
class ThresholdSchedule {
public:
    ThresholdSchedule(long clData, int cThrMin, bool fHalving);

    // The threshold of the next pass; false when selection ends.
    bool Next(long& clThr);

    // The largest class error seen in the pass just run.
    void PassDone(long clErrMax);

private:
    long clThr_;
    long clThrPrev_;
    long clErrMax_;
    long cThrMin_;
    bool fDone_ = false;
};

// The weights tried for a candidate: 1, 2, 4, ... while the previous one was
// at most dLambdaMax, then 0.5, 0.25, ... down to the first at or below
// dLambdaMin. The best is the largest improvement; among equal ones the
// weight closest to 1.0, the earlier one on equal distance.
class WeightSearch {
public:
    WeightSearch(double dLambdaMax, double dLambdaMin)
        : dLambdaMax_(dLambdaMax), dLambdaMin_(dLambdaMin) {}

    // The next weight to try; false when the search has ended.
    bool Next(double& dLambda);

    // The improvement measured at the weight last returned by Next.
    void Record(long clImprovement);

    long Best() const { return clBest_; }
    double BestWeight() const { return dBest_; }

private:
    double dLambdaMax_;
    double dLambdaMin_;
    double dPrev_ = -10.0;
    long clBest_ = 0;
    double dBest_ = 0.0;
    bool fDone_ = false;
};

// Where a training run stands, for its progress lines on standard error:
// "Progress: tag element <t> (<name>), pass thr <thr>, classes <done> of
// <all>, features <n>, <s> s" before each pass, and the same without the
// pass threshold before each tag element. Classes done are those of the tag
// elements finished in the current iteration; features are the accepted
// ones; the seconds run from the start of training.
class TrainingProgress {
public:
    TrainingProgress();
    // A new iteration over the classes of every tag element of m.
    void StartIteration(const Model& m);
    void ElementDone(const Model& m, int iTE);
    // Prints one line to log with clFeatures accepted features (an index as
    // SelectionLog::Index takes it); clThr < 0 leaves the pass threshold out.
    void Print(SelectionLog& log, const Model& m, int iTE, long clThr, long clFeatures) const;

private:
    std::chrono::steady_clock::time_point tStart_;
    long clClassesDone_ = 0;
    long clClassesAll_ = 0;
};

// The new features of a tag element selected beside others. Its candidate
// under trial stands in area entry ilSlot, kept for it alone; an accepted
// feature moves into rgfd and is known by its staged index
// (kStagedIndexBase + its place in rgfd) until it is placed in the area.
struct FeatureStage {
    long ilSlot = -1; // -1: not staged, features go straight into the area
    long clFree = 0;  // free area entries when selection started
    std::deque<FeatureDesc> rgfd;
    // [k]: log bytes at the first candidate added with k features accepted,
    // where one run may find the area full.
    std::vector<std::size_t> rgcchAdd;
};

// Buffers of greedy selection, reused from class to class and from tag
// element to tag element.
struct SelectionWork {
    TrainingProgress progress;
    SelectionLog log;
    FeatureStage stage;
    FeatureDesc fdSuggested;                                // the candidate under trial
    std::unordered_map<const char*, AmbClass*> mpClassByAC; // classes of one tag element by string
    std::vector<long> rgilErrLines; // mis-tagged lines of the current class with two or more values
    std::vector<long> rgilErrFiring; // those of them where the candidate fires
    CandidateTrial trial;            // the candidate's error count weight after weight
    // The training lines packed for matching; shared by the tag elements
    // selected side by side, who only read it.
    std::shared_ptr<LineColumns> pcolumns = std::make_shared<LineColumns>();
    FiringLines firing;      // lines of the current class where a candidate fires
    ClassErrors classErrors; // error counts of the classes, kept line by line
#ifdef NDEBUG
    bool fCheckErrors = false; // compare the kept counts with a recount after each feature
#else
    bool fCheckErrors = true;
#endif
};

// Greedy selection for tag element iTE in iteration iIteration: chains the
// training lines of its classes and runs the passes of the threshold
// schedule. 0, or a code above one of the kTrainErr* offsets.
int SelectFeatures(DataTable& dtTrain, DataTable& dtHeldout, Model& m, int iTE, int iIteration,
                   SelectionWork& work);

// Threads the per-line entries of the accepted features (rgplinkFeature2)
// into each feature's plinkData list, from its highest line to its lowest,
// for lambda variation.
void LinkFeatureLineLists(DataTable& dtTrain, Model& m);

} // namespace vexta
