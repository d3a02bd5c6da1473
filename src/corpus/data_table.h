// Data tables: one corpus segment in memory. The lines of the input's event
// stream are numbered from 0; a table holds the lines ilStart ..
// ilStart + clLines - 1, each as text, parsed into interned strings, and with
// the per-line work areas of tagging, error counting and training. Index i of
// every per-line array is the line number minus ilStart.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/out_text.h"
#include "base/pointer_arena.h"
#include "base/string_arena.h"
#include "base/string_lookup_cache.h"
#include "base/ux_hash.h"
#include "corpus/candidate_set_cache.h"
#include "corpus/event_reader.h"
#include "corpus/input_format.h"
#include "corpus/tag_spellings.h"
#include "corpus/ud_layout.h"
#include "model/model.h"

namespace vexta {

inline constexpr long kSegmentNotGiven = 2111222111; // ilStart of a segment not given

// A tag buffer of cTagElem + 1 characters, room for the longest tag.
using TagBuf = std::array<char, kTagElemMax + 1>;

// One data line parsed; every string is interned in the model's string table,
// so equal strings have equal addresses. In a table that only looks strings
// up (fModelStringsOnly), a string the model lacks is a copy in the table's
// ownStrings instead: it equals no model string by address and keeps its text.
// The lists are runs in the table's lineLists, shared by the lines with the
// same AC part and candidate part.
struct DlData {
    const char* pszTag = nullptr;          // true tag
    std::span<const char* const> rgpszAC;  // cTagElem AC strings
    std::uint32_t uMultiValued = 0;        // MultiValuedMask(rgpszAC), kept with it
    int cMMt = 0;                          // number of candidate tags
    const char* pszForm = nullptr;         // word form
    const char* pszLemma = nullptr;        // lemma
    std::span<const char* const> rgpszMMt; // candidates in line order (most recent first)
};

// One item of a beam: a path ending in the tag pszTag.
struct VeItem {
    TagBuf pszTag{};    // tag, zero-terminated
    int iBack = -1;     // item of the previous line that this path extends
    double dProb = 0.0; // path probability
};

// The beam of one line.
struct BeamLine {
    int cBeam = 0;            // items in use
    int iBeamBest = -1;       // item chosen for the line, -1 unset
    std::vector<VeItem> rgve; // model cBeam items, allocated on the line's first use
};

// Storage of link entries (stable addresses) and the chain of released
// entries, reused first.
struct LinkStore {
    std::deque<FeatureLink> rglink;
    FeatureLink* plinkFree = nullptr;
};

struct DataTable {
    std::string szDataPrefix; // prefix of the segment keys
    std::string szSegment;    // "Train", "Heldout" or "Test"
    std::string szStartValue; // text of the Start value
    std::string szLinesValue; // text of the Lines value
    long ilStart = 0;         // first line of the segment; kSegmentNotGiven: no segment
    long clLines = 0;         // lines of the segment = capacity of the per-line arrays
    long clData = 0;          // lines stored so far
    long clWords = 0;         // stored lines opened by <f> (all of them in line format)
    long clTokens = 0;        // stored lines that are not boundary tokens (after ReadData)
    std::string szFile;       // the file that is the whole segment; empty: lines of InData

    // Per line (clLines + 1 entries unless said otherwise). Empty strings and
    // empty lists stand for "none".
    std::vector<std::string> rgpszDataLine; // the data line as read
    std::vector<DlData> rgdl;               // the line parsed
    std::vector<TagBuf> rgpszTagOut;        // tag chosen by the tagger
    std::vector<BeamLine> rgbeam;           // beam of the beam-search tagger
    int iBeamPrev = 0;                      // beam item being extended (beam search)
    std::vector<std::string> rgpszRest;     // unrecognised tags of the token
    // Where the reader's pieces of a line stored by StoreLine end, for its
    // parse by ReparseLine (fKnown false: not known).
    std::vector<DataLineParts> rglineParts;
    std::vector<GapSpan> rgpgap; // gaps in gapStore; clLines + 2 entries
    // [t][i]: features of tag element t firing on line i, and the same kept
    // for probabilities; training table only (no entries elsewhere). Each
    // tag element has lists of its own so that elements can be trained side
    // by side.
    std::vector<std::vector<FeatureLink*>> rgplinkFeature;
    std::vector<std::vector<FeatureLink*>> rgplinkFeature2;
    std::vector<unsigned char> rgfLineErr;            // 1: last beam pass chose a wrong tag
    std::vector<std::vector<unsigned char>> rgrgfErr; // [t][i]: line i wrong in element t
    // [t][i], clData entries per tag element, training table only: next line
    // with the same AC of t (-1 ends), next line where a feature of t fires.
    std::vector<std::vector<long>> rgilNextAC;
    std::vector<std::vector<long>> rgilNextFeature;
    // The gap entries of the stored lines, in the order stored; one buffer
    // for the whole table, reused window after window.
    gapRecType gapStore;

    // Per tag element: count of each value byte over the stored lines, and
    // the entropy of the values in bits.
    std::array<std::array<long, kValueCnt>, kTagElemMax> rgrgclCntTE{};
    std::array<double, kTagElemMax> rgdEntTE{};
    long iInputState = 0;      // reader's iState when reading ended; 1 line format
    OutText* pszOut = nullptr; // tagged lines go here when set, else to standard output
    // When not 0, the tagging pass writes what pszOut holds to standard
    // output once it reaches this many characters, so that the buffer stays
    // in the processor's caches (0: the caller writes it).
    std::size_t cchOutChunk = 0;
    std::unique_ptr<HashTable> phashCnt; // Train mode: counts of AC and form keys
    // Lines look their strings up in the model's string table and copy those
    // it lacks into ownStrings, so that tagging adds nothing to the table
    // however large its input, and only reads it.
    bool fModelStringsOnly = false;
    StringArena ownStrings;
    // The AC and candidate lists of the parsed lines; they follow ownStrings
    // (cleared with it, as the strings they point to go).
    PointerArena lineLists;
    // The model's answers for short strings, so that a string seen before is
    // not hashed again; cleared whenever the table starts tagging.
    StringLookupCache modelLookups;
    // The strings of the AC and candidate parts met so far, each entry valid
    // while the string table and the store of copies it names are; cleared
    // with modelLookups and whenever the table is set up.
    CandidateSetCache candidateSets;

    // Output of CoNLL-U input: the spellings of padded tags, the tag column
    // and whether the LEMMA column is kept.
    TagSpellings tagSpell;
    TagColumn tagCol = TagColumn::kXpos;
    bool fKeepLemma = false;
    UdLayout udLayout; // with TagColumn UPOS+FEATS: composes the tags read, decodes those written

    // [t]: storage of the entries of tag element t's lists (a deque: the
    // stores never move).
    std::deque<LinkStore> rglinkStore;
    std::string szKeyWork; // scratch key of the Train-mode counts, reused
    // The analyser's work area when tagged output asks it for lemmas.
    mutable AnalysisList analysisWork;
};

// The training, heldout and test (or tagged) data.
extern DataTable dtT;
extern DataTable dtH;
extern DataTable dtS;

// Failure codes of ReadData.
// Two segments of InData overlap: the first line, then the last line of the
// second segment named lies in the first one.
inline constexpr int kDataHeldoutStartInTrain = 1;
inline constexpr int kDataHeldoutEndInTrain = 2;
inline constexpr int kDataTestStartInTrain = 3;
inline constexpr int kDataTestEndInTrain = 4;
inline constexpr int kDataTestStartInHeldout = 5;
inline constexpr int kDataTestEndInHeldout = 6;
// A line of the Train segment cannot be stored (InsertLine failed); the
// Heldout and Test segments have the next two codes.
inline constexpr int kDataInsertTrain = 11;
inline constexpr int kDataInsertHeldout = 12;
inline constexpr int kDataInsertTest = 13;
inline constexpr int kDataNoInput = 31;      // no input file named (also GetDataParams)
inline constexpr int kDataNotOpened = 32;    // the input file cannot be opened (also GetDataParams)
inline constexpr int kDataReadFailed = 49;   // the reader failed before the end of the input
inline constexpr int kDataTrainPastEnd = 57; // the input ends inside the Train segment
inline constexpr int kDataHeldoutPastEnd = 58; // ... inside the Heldout segment
inline constexpr int kDataTestPastEnd = 59;    // the Test segment starts past the input's end
// A segment's keys are missing or malformed (GetSegment failed).
inline constexpr int kDataNoHeldoutKeys = 102;
inline constexpr int kDataNoTestKeys = 103;
inline constexpr int kDataNoTrainKeys = 104;

// Reads the input file named by the key szPrefix + "InData" once and stores
// its lines in the tables of m.pdtT, m.pdtH, m.pdtS (pointed at dtT, dtH, dtS
// when not set) by their segments. A segment whose key szPrefix + segment +
// "Data" (TrainData, HeldoutData, TestData) names a file is that whole file
// instead, without its end-of-input token; InData is then read only for the
// segments still given by line numbers. 0 on success, or one of the codes
// above.
int ReadData(std::string_view szArgFile, Model& m, std::string_view szPrefix);

// Where the training tokens are: a whole file (TrainData) or the lines
// ilFirst .. ilEnd - 1 of InData.
struct TrainingLines {
    std::string szFile;
    bool fWholeFile = false;
    long ilFirst = 0;
    long ilEnd = LONG_MAX;
};

// Sets up pdf for the training data (TrainData, else InData) with the
// reading keys and opens it, for a pass before the training proper (the
// lexicon, the UPOS+FEATS layout). An error text when it cannot.
std::string OpenTrainingInput(std::string_view szArgFile, Model& m, pdfRecType& pdf,
                              TrainingLines& lines);

// Derives the UPOS+FEATS layout from the words of the Train segment
// (TrainData, else the Train lines of InData), chosen and ordered by the key
// TagFeatures when it is given. An error text when it cannot.
std::string DeriveUdLayout(std::string_view szArgFile, Model& m, UdLayout& layout);

// Sets up pdf for the input file (InData, else TestData) and the reading
// keys (boundary-token values, tag table, InputFormat, TagColumn, TagPad,
// KeepLemma) and opens it; names the test table's segment "Test". 0, 31
// (no input named) or 32 (the file cannot be opened).
int GetDataParams(std::string_view szArgFile, Model& m, pdfRecType& pdf, std::string_view szPrefix);

// Whether a token line is a boundary token (sentence start or end of input)
// as the reader pdf makes them.
bool IsBoundaryLine(const DlData& dl, const pdfRecType& pdf);

// Failure codes of GetSegment.
inline constexpr int kSegmentNoStart = 1;       // the Start key is missing
inline constexpr int kSegmentNoLines = 2;       // the Lines key is missing
inline constexpr int kSegmentBadStart = 3;      // the Start value is not a number
inline constexpr int kSegmentBadLines = 4;      // the Lines value is not a number, or negative
inline constexpr int kSegmentNoCountTable = 96; // the Train-mode count table (AllocSegment)

// Reads the segment keys szDataPrefix + szSegment + "Start" / "Lines" and
// allocates the per-line arrays. 0 or one of the codes above.
int GetSegment(std::string_view szArgFile, Model& m, DataTable& dt);

// Allocates the per-line arrays for dt.clLines lines (all entries empty) and,
// in Train mode, the count table. 0 or kSegmentNoCountTable.
int AllocSegment(const Model& m, DataTable& dt);

// Failure codes of InsertLine.
inline constexpr int kLineNotSetUp = 9;      // the table's per-line arrays were never set up
inline constexpr int kLineCountAC = 129;     // a Train-mode count of an AC string failed
inline constexpr int kLineCountForm = 130;   // the Train-mode count of the form failed
inline constexpr int kLineTagLength = 134;   // the tag is not cTagElem characters long
inline constexpr int kLineACCount = 135;     // not cTagElem AC strings
inline constexpr int kLineACPart = 137;      // an AC string without its "/", or nothing after them
inline constexpr int kLineNoForm = 138;      // no "|" after the form
inline constexpr int kLineNoLemma = 139;     // no "|" after the lemma
inline constexpr int kLineCandidate = 140;   // a candidate tag of the wrong length or without "/"
inline constexpr int kLineInternTag = 151;   // a string cannot be interned: the tag,
inline constexpr int kLineInternAC = 152;    // an AC string,
inline constexpr int kLineInternForm = 153;  // the form,
inline constexpr int kLineInternLemma = 154; // the lemma,
inline constexpr int kLineInternCandidate = 155; // a candidate tag

// Stores the data line number ilLine when it lies in the table's segment,
// with a copy of its gap list appended to the table's gap store; 0 also
// when it does not lie there, or one of the codes above.
int InsertLine(Model& m, DataTable& dt, std::string_view szLine, long ilLine,
               std::string_view szRest, const gapRecType& gap, int fWord);

// As InsertLine, for a line whose gap entries GetEventOntoGap has just
// appended to the table's gap store (spanGap, its last entries); they are
// dropped there when the line is not stored. pparts, where the reader's
// pieces of the line end (pdfRecType::lineParts), spares most lines the
// search for their separators; the line is stored the same either way.
int InsertLine(Model& m, DataTable& dt, std::string_view szLine, long ilLine,
               std::string_view szRest, GapSpan spanGap, int fWord,
               const DataLineParts* pparts = nullptr);

// Whether InsertLine would parse the line in a table of fModelStringsOnly
// (whose strings the model lacks are stored, not added): 0 or the InsertLine
// code it would fail with. Interns nothing; dlWork is scratch space. With
// pchecked, the AC and candidate parts of lines that passed are kept there,
// so that a line with parts met before is checked by its separators alone;
// pparts (as for InsertLine) spares such a line the search for them.
int CheckLine(const Model& m, std::string_view szLine, DlData& dlWork,
              CandidateSetCache* pchecked = nullptr, const DataLineParts* pparts = nullptr);

// Stores line ilLine as InsertLine does but leaves its record unparsed, for
// ReparseLine on another thread (tag mode only: nothing is counted; a line
// that passed CheckLine parses), and its beam items unset, for the beam pass
// that tags it. 0 also when the line does not lie in the segment, or
// kLineNotSetUp. pparts, where the reader's pieces of the line end, is kept
// for ReparseLine (as for InsertLine).
int StoreLine(const Model& m, DataTable& dt, std::string_view szLine, long ilLine,
              std::string_view szRest, const gapRecType& gap, int fWord,
              const DataLineParts* pparts = nullptr);

// As StoreLine, for a line whose gap entries are already in the table's gap
// store, as with InsertLine.
int StoreLine(const Model& m, DataTable& dt, std::string_view szLine, long ilLine,
              std::string_view szRest, GapSpan spanGap, int fWord,
              const DataLineParts* pparts = nullptr);

// The gap list of line i (an index into the per-line arrays).
inline GapView GapOf(const DataTable& dt, long i) {
    return {dt.gapStore, dt.rgpgap[static_cast<std::size_t>(i)]};
}

// Keeps in the table's gap store only the gaps of lines 0 .. clKeep - 1,
// whose gaps lie there in line order (as after MoveDataLine of the last
// lines of a window to its first ones).
void KeepGapsOfFirstLines(DataTable& dt, long clKeep);

// Gives line ilTo of dtTo a copy of the gap of line ilFrom of dtFrom.
void CopyLineGap(const DataTable& dtFrom, long ilFrom, DataTable& dtTo, long ilTo);

// Pointer to the form field of a data line, or null when the line has fewer
// than two "|".
const char* GetFormPtr(std::string_view szLine);

// Results of GetLemmaStr besides 0.
inline constexpr int kLemmaNoBar1 = 2; // the first "|" is missing (or nothing follows it)
inline constexpr int kLemmaNoBar2 = 3; // ... the second
inline constexpr int kLemmaNoBar3 = 4; // ... the third
inline constexpr int kLemmaCut = 5;    // the lemma does not fit: it is cut

// Copies the lemma field of a data line into szLemma: 0 or one of the codes
// above.
int GetLemmaStr(std::span<char> szLemma, std::string_view szLine);

// Pointer to the candidate part of a data line (after the ">" that follows the
// lemma's "|"), or null when there is none or it is empty.
const char* GetMMtPtr(std::string_view szLine);

// Parses the text of line il (again) into its record, as InsertLine does: for
// lines kept when a table of fModelStringsOnly clears its ownStrings, and for
// lines stored by StoreLine. 0 or an InsertLine code.
int ReparseLine(const Model& m, DataTable& dt, long il);

// Most bytes of copies of strings the model lacks (with the lists of the
// lines) that a table of fModelStringsOnly keeps from one window to the next.
inline constexpr std::size_t kCopiesKeptMax = 2 << 20;

// At the turn to a new window of a table of fModelStringsOnly, whose lines
// 0 .. clKept - 1 stay: the copies of strings the model lacks are kept for
// the new window while they take at most kCopiesKeptMax bytes, so that the
// strings and candidate sets seen before are not looked up and copied
// again; beyond that they go, and the lines kept are parsed again. 0 or the
// InsertLine code of a kept line that fails.
int RenewCopies(const Model& m, DataTable& dt, long clKept);

// Copies a parsed line as a whole (its lists stay where they are). 0.
int MoveDlData(DlData& dlTo, const DlData& dlFrom);

// Copies a beam item: the cTagElem + 1 characters of the tag, iBack, dProb.
void CopyVeItem(const Model& m, VeItem& veTo, const VeItem& veFrom);

// Empties line i of the table: text, parse, rest, gap list, chosen tag, beam
// count and choice, error flags and feature lists (beam items stay allocated).
void ClearDataLine(DataTable& dt, long i);

// Empties lines ilFirst .. ilEnd - 1 as ClearDataLine does each.
void ClearDataLines(DataTable& dt, long ilFirst, long ilEnd);

// ClearDataLines in two steps, for a pass that empties each line while it is
// at hand: the per-line entries of line i (all but the error flags and
// feature lists) ...
void ClearLineEntries(DataTable& dt, long i);
// ... and, for lines ilFirst .. ilEnd - 1 together, the error flags and
// feature lists.
void ClearLineFlags(DataTable& dt, long ilFirst, long ilEnd);

// Asks the processor for a line's beam items (the first four cache lines:
// all of them at the usual beam width). Null before the line's first beam
// pass; a prefetch never faults. Always inlined, as PrefetchLines below.
[[gnu::always_inline]] inline void PrefetchBeamItems(const BeamLine& bl) {
    const auto* const pve = reinterpret_cast<const char*>(bl.rgve.data());
    for (std::size_t cb = 0; cb < 4 * 64; cb += 64) __builtin_prefetch(pve + cb);
}

// Asks the processor for the storage of the lines a pass walking forward
// from line il reaches soon, up to line ilLast (il <= ilLast, both lines of
// the table): the per-line entries 16 lines ahead, and the text and beam
// items of the line 8 ahead, whose addresses those entries hold. A window's
// lines lie far beyond the core's own caches, and each pass over them
// (reading, parsing, the beam, writing, emptying) would otherwise wait for
// every line's memory in turn. Only the timing changes. Always inlined: a
// call that only prefetches has no effect the compiler must keep, and g++
// drops it.
[[gnu::always_inline]] inline void PrefetchLines(const DataTable& dt, long il, long ilLast) {
    const auto i = static_cast<std::size_t>(std::min(il + 16, ilLast));
    __builtin_prefetch(&dt.rgpszDataLine[i]);
    __builtin_prefetch(&dt.rgdl[i]);
    __builtin_prefetch(&dt.rgpszTagOut[i]);
    __builtin_prefetch(&dt.rgbeam[i]);
    __builtin_prefetch(&dt.rgpszRest[i]);
    __builtin_prefetch(&dt.rglineParts[i]);
    __builtin_prefetch(&dt.rgpgap[i]);
    const auto j = static_cast<std::size_t>(std::min(il + 8, ilLast));
    const char* const pch = dt.rgpszDataLine[j].data();
    __builtin_prefetch(pch);
    __builtin_prefetch(pch + 64);
    PrefetchBeamItems(dt.rgbeam[j]);
}

// Moves line ilFrom to line ilTo (text, parse, rest, gap list, chosen tag,
// beam count, choice and items); line ilFrom is left empty.
void MoveDataLine(const Model& m, DataTable& dt, long ilTo, long ilFrom);

// A link entry for tag element t's per-line feature lists; released entries
// are reused.
FeatureLink* NewFeatureLink(DataTable& dt, int t);

// Returns every entry of tag element t's list to its free entries;
// *pplinkHead becomes null.
void FreeFeatureLinks(DataTable& dt, int t, FeatureLink*& plinkHead);

// The features of tag element t linked to line i (for probabilities), null
// when none.
inline const FeatureLink* LinkedFeatures(const DataTable& dt, int t, long i) {
    const auto kt = static_cast<std::size_t>(t);
    const auto k = static_cast<std::size_t>(i);
    return kt < dt.rgplinkFeature2.size() && k < dt.rgplinkFeature2[kt].size()
               ? dt.rgplinkFeature2[kt][k]
               : nullptr;
}

// Gives the training table, for every tag element and stored line, a chain
// entry (rgilNextAC, rgilNextFeature; -1 when new) and link lists
// (rgplinkFeature, rgplinkFeature2; empty when new), and the element's link
// store; what is there is kept.
void SizeTrainingLists(DataTable& dt, int cTagElem);

// Returns the table to its initial, empty state (all storage released).
void ResetDataTable(DataTable& dt);

} // namespace vexta
