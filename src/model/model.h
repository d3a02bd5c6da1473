// The in-memory model: tag elements with their value counts, ambiguity
// classes with their joint counts, features with their context terms, counts
// and weights, the string table that interns every model and data string, and
// the run parameters read by training and tagging.
//
// Records refer to each other by array index (chains, -1 ends a chain) and by
// pointer (FeatureDesc::pacOfFeature, TagElem/AmbClass cursors). The arrays
// rgfdFeatureArea, rgacAmbClassArea, rgteTagElem and rgfdFeatureSugg are sized
// once, at full capacity, by whoever fills the model and never grow afterwards
// (never push_back or resize them later): pointers into them stay valid for
// the model's life. The one exception is the model file reader, which grows
// the feature and class areas record by record up to their declared sizes
// (so that a header cannot claim memory the file does not fill) and keeps
// pacOfFeature pointing at the moved classes; once read, they never grow.
//
// Every string a record points to is interned in phashStr, so two interned
// strings are equal exactly when their addresses are equal.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/iteration_params.h"
#include "model/trace_settings.h"

namespace vexta {

// Run modes (values of Model::fProgMode), decoded from Mode by the driver.
inline constexpr int kModeTrain = 0;
inline constexpr int kModeTest = 1;
inline constexpr int kModeTag = 2;
inline constexpr int kModeTagDebug = 3;
inline constexpr int kModeTrainOut = 4;
inline constexpr int kModeTestOut = 5;
inline constexpr int kModeTestDebug = 6;
inline constexpr int kModeLexicon = 7; // builds the analyser's lexicon file

struct HashTable;     // string-keyed table of the hash table module
struct DataTable;     // one data segment in memory (corpus subsystem)
struct AnalyserUse;   // where candidates come from (built-in analyser)
struct FeatureChains; // the chains laid out for tagging (feature subsystem)

// Limits of the records.
inline constexpr int kTagElemMax = 31;     // tag elements per tag
inline constexpr int kTermsMax = 5;        // context terms per feature
inline constexpr int kAmbClassLenMax = 75; // characters of an AC string
inline constexpr int kJointCntSize = 76;   // entries of AmbClass::rgclJointCnt
inline constexpr int kValueCnt = 256;      // value bytes, indexes of TagElem::rgclSubtagCnt

// Element codes of feature terms (FeatureTerm::iConditionElem and
// iClosestConditionElem).
inline constexpr int kElemValue = 0;       // 0..31: value of tag element t
inline constexpr int kElemAC = 32;         // 32 + t: AC string of tag element t
inline constexpr int kElemACMember = 64;   // 64 + t: value is a member of the AC of t
inline constexpr int kElemUnassigned = 96; // 96..122: unassigned, always hold
inline constexpr int kElemAnyTag = 123;    // any tag, always holds
inline constexpr int kElemTag = 124;       // whole tag
inline constexpr int kElemLemmaAC = 125;   // (lemma, AC form), never holds
inline constexpr int kElemForm = 126;      // word form
inline constexpr int kElemLemma = 127;     // lemma

// Special positions of feature terms (FeatureTerm::iPos); fixed positions run
// -kPosMax..kPosMax.
inline constexpr int kPosMax = 124;
inline constexpr int kPosEmpty = -128;       // empty term, always true
inline constexpr int kPosClosestLeft = -127; // closest satisfying position to the left
inline constexpr int kPosClosestRight = 127; // closest satisfying position to the right

struct FeatureDesc;
struct AmbClass;

// One entry of the per-line lists of firing features kept by a data table
// (rgplinkFeature: pfd and pNext; rgplinkFeature2 also pNextData and ilLine,
// which thread the entry into its feature's plinkData list). Owned by the data
// table's lists.
struct FeatureLink {
    FeatureDesc* pfd = nullptr;       // the feature that fires on the line
    FeatureLink* pNext = nullptr;     // next entry of the same line
    FeatureLink* pNextData = nullptr; // next entry of the feature's plinkData list
    long ilLine = 0;                  // line number of the entry
};

// One context term: a condition tested at one data position relative to the
// predicted one.
struct FeatureTerm {
    int iPos = 0;                          // -124..124, kPosEmpty or kPosClosest*
    int iClosestConditionElem = -1;        // for closest positions, else -1
    const char* pszClosestValue = nullptr; // value of the closest condition; pszEmpty unused
    int iConditionElem = -1;               // element code of the condition
    const char* pszValue = nullptr;        // value of the condition
};

// A feature: it fires at a position when all its terms hold there. The
// fields are ordered to keep the record compact (the pool holds millions).
struct FeatureDesc {
    int iFeature = 0;                 // own index in rgfdFeatureArea (set by training)
    int iTagElem = 0;                 // tag element predicted
    int cTerms = 0;                   // terms in use, 0..kTermsMax
    int cCntTagElemGivenFeature = 0;  // length of pszACFeature
    AmbClass* pacOfFeature = nullptr; // AC the feature belongs to
    std::array<FeatureTerm, kTermsMax> rgftTerm{};
    const char* pszY = nullptr;         // predicted value, or pszEmpty for "*"
    double dLambda = 0.0;               // weight
    const char* pszACFeature = nullptr; // AC string (== pacOfFeature->pszAmbClass)
    long clCntNoFire = 0;               // AC positions where the feature does not fire
    long clCnt = 0;                     // AC positions where it fires
    // Per AC character: firing positions whose true value is that character.
    std::vector<long> rgclCntTagElemGivenFeature;
    long ilNextFeature = -1;          // next feature of the same AC, -1 ends
    FeatureLink* plinkData = nullptr; // lines where the feature fires (training)
};

// An ambiguity class of one tag element; its features form a chain through
// ilNextFeature starting at ilPacFeatureFirst.
struct AmbClass {
    int fACIgnore = 0;                 // 1 for the all-data AC of its tag element
    const char* pszAmbClass = nullptr; // AC string, interned, at most 75 characters
    // Per AC character: training positions whose true value is that character.
    std::array<long, kJointCntSize> rgclJointCnt{};
    long clAmbClassCnt = 0;      // training positions with this AC
    long clFeatureCnt = 0;       // features added by training
    long ilPacFeatureFirst = -1; // first feature of the chain, -1 none
    long ilDataFirst = -1;       // first data line with this AC, -1 none
    long clErrBefore = 0;        // errors before the feature under trial
    long clErrAmbClass = 0;      // errors of the last per-class pass
    long ilSuggFirst = -1;       // first pool feature of this AC, -1 none
    long ilSuggLast = -1;        // last pool feature of this AC, -1 none
    long ilSuggAct = -1;         // pool feature under trial
};

// One tag element (tag position); its ACs are the clAmbClass records of
// rgacAmbClassArea starting at ilAmbClassFirst.
struct TagElem {
    long clAmbClass = 0;                         // number of ACs
    long ilAmbClassFirst = 0;                    // index of the first AC in rgacAmbClassArea
    std::array<long, kValueCnt> rgclSubtagCnt{}; // training count per value byte (unsigned)
    long clTagElemWork2 = 0;                     // work count of training
    long clErrTagElem = 0;                       // errors of the last error-rate pass
    int fSignPlus = 0;                           // 1: a wrong value makes the whole line wrong
};

// The model. Constructed all zero; whoever fills it (the model file reader or
// the training set-up) sizes the arrays. Movable so that a fresh model can be
// assigned, never copied.
struct Model {
    Model();
    ~Model();
    Model(Model&&) noexcept;
    Model& operator=(Model&&) noexcept;

    int fProgMode = 0;             // run mode chosen by the driver
    std::string szTaggerID;        // src attribute of this tagger's tags; may be empty
    std::FILE* fInputAC = nullptr; // input trace (not owned): "%09ld %s\n" per data line
    std::string szInputAC;         // its file name, for messages
    TraceSettings trace;           // diagnostic switches, all off by default
    int cTagElem = 0;              // tag length, 1..31
    int iTrainCat = 0;             // -1 all tag elements trained, else the only one
    std::vector<const char*> rgpszTagElemName; // cTagElem interned names
    std::unique_ptr<HashTable> phashStr;       // string table
    const char* pszEmpty = nullptr;            // interned ""
    long clStrAreaSize = 0;                    // string table size when read (<Dz> + 4)
    long clFeatureAreaSize = 0;                // capacity of rgfdFeatureArea
    long clFeatureAreaUsed = 0;                // features in use, < clFeatureAreaSize
    std::vector<FeatureDesc> rgfdFeatureArea;  // the model's features
    long clAmbClassAreaSize = 0;               // capacity of rgacAmbClassArea
    long clAmbClassAreaUsed = 0;               // ACs in use, <= clAmbClassAreaSize - 1
    std::vector<AmbClass> rgacAmbClassArea;    // ACs of all tag elements, one run per element
    std::vector<TagElem> rgteTagElem;          // cTagElem tag elements
    long clTrainingSize = 0;                   // training data lines
    long clErrInit = 0;                        // training errors before training
    long clErr = 0;                            // lines with an error in the last pass
    std::string szFeatureMode;                 // text of FeatureMode
    int iFeatureMode = 0;                      // 0 Generate, 1 GenerateOut, 2 Read
    std::string szFeaturePoolFile;             // feature pool file name
    int hFeaturePool = 0;                      // open pool file handle, 0 none
    std::string szModelFile;                   // model file name
    std::vector<std::string> rgszNotes;        // more <Dn> header lines, such as a tag layout
    int hModelFile = 0;                        // open model file handle, 0 none
    TagElem* pteSuggLast = nullptr;            // tag element of the last pool feature added
    AmbClass* pacSuggLast = nullptr;           // AC of the last pool feature added
    long clFeatureSuggSize = 0;                // capacity of rgfdFeatureSugg
    long clFeatureSuggUsed = 0;                // pool features in use
    std::vector<FeatureDesc> rgfdFeatureSugg;  // the feature pool
    int cThrMin = 0;                           // add threshold
    int cPoolThr = 0;                          // pool threshold
    int cClosestThr = 0;                       // closest threshold
    double dLambdaMax = 0.0;                   // upper bound of a weight
    double dLambdaMin = 0.0;                   // lower bound of a weight
    std::string szAmbClassIgnore;              // AmbClassIgnore; first char marks all-data ACs
    std::string szTrainingData;                // training data name
    int iCountMode = 0;                        // 1 Batch, 2 Individual
    std::string szCountMode;                   // text of CountMode
    std::unique_ptr<HashTable> phashSugg;      // generated pool features
    std::unique_ptr<HashTable> phashSort;      // work table of pool sorting
    std::string szFeatureTemplates;            // template markers of the current iteration
    double dRawExpWeight = 0.0;                // weight of the raw exponential estimate
    int iLambdaIterations = 0;                 // 0..999
    int iHeavySmoothing = 0;                   // 0 or 1
    int iMultiPass = 0;                        // 0 or 1
    int iTrainingIterationsMax = 0;            // entries of rgipFG, 0..50
    int fModelAC = 0;                          // current iteration's feature-generation switches
    int fModelGeneral = 0;
    int fUITForms = 0;
    int fUITACs = 0;
    int fUITTags = 0;
    int fUITSetElements = 0;
    int iSortSugg = 0;
    long ilMaxFSG = 0;
    double dSuggEntropyThr = 0.0;
    std::unique_ptr<HashTable> phashFC;             // combined features (never filled)
    int cBeam = 0;                                  // beam width 1..126
    int cCombiThr = 0;                              // CombiThr, stored only
    int fLeftOnly = 0;                              // 0 or 1
    std::vector<IterationParams> rgipFG;            // one per training iteration
    std::array<const char*, kValueCnt> rgszUnamb{}; // per value byte its 1-char string or pszEmpty
    DataTable* pdtT = nullptr;                      // training data
    DataTable* pdtH = nullptr;                      // heldout data
    DataTable* pdtS = nullptr;                      // test or tagged data
    // The built-in analyser of the run; none: candidates come from the input.
    std::shared_ptr<const AnalyserUse> pAnalyserUse;
    // The chains laid out for tagging a model that no longer changes; none:
    // tagging walks the chains themselves.
    std::shared_ptr<const FeatureChains> pChains;
};

// The process-wide model.
extern Model model;

// Releases the tag element names, the string table, the feature and AC areas
// and the tag elements (not the features' count arrays nor the pool).
void FreeModel(Model& m);

// The first AC of tag element te whose string equals szAmbClass, or nullptr.
AmbClass* FindAmbClassRec(std::string_view szAmbClass, const TagElem& te, Model& m);

// Index of value chValue in the feature's AC string (counting from the first
// character even for an all-data AC, whose two marker characters are never
// matched), or -1 when it is not a member.
int GetTagIndexInAmbClass(const Model& m, char chValue, const FeatureDesc& fd);

// Orders two feature terms (negative, 0, positive). A non-empty override value
// replaces the term's own pszValue in the final comparison; nullptr counts as
// empty.
int FeatureComponentCmp(const FeatureTerm& ftA, const char* pszOverrideA, const FeatureTerm& ftB,
                        const char* pszOverrideB, const Model& m);

// Writes the feature on one line, without a line end, for diagnostics.
void PrintFeature(std::FILE* pf, const Model& m, const FeatureDesc& fd);

// The same without its last part, ",^" and the index of the next feature.
void PrintFeatureBody(std::FILE* pf, const Model& m, const FeatureDesc& fd);

} // namespace vexta
