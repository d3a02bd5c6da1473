// The beam-search tagger: forward pass over the lines with sorted beams,
// backward pass choosing the best path, evaluation and output.

#include "tagging/beam_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "base/ux_base.h"
#include "base/ux_index.h"
#include "features/tag_probs.h"
#include "tagging/error_rate.h"
#include "tagging/shared_reads.h"
#include "tagging/tagged_output.h"

namespace vexta {

namespace {

constexpr std::string_view kNoteOpening = "ErrInfo:";

// The length of the tag as it is kept: at most cTagElem characters.
std::size_t TagLength(const Model& m, const char* pszTag) {
    const auto cchMax = static_cast<std::size_t>(m.cTagElem);
    const void* pEnd = std::memchr(pszTag, '\0', cchMax);
    return pEnd ? static_cast<std::size_t>(static_cast<const char*>(pEnd) - pszTag) : cchMax;
}

// Copies the first cch characters of the tag (its kept length, below the
// buffer's size). Two copies of a fixed size that overlap as needed cover
// 8 to 32 characters without a call.
void SetTag(TagBuf& tag, const char* pszTag, std::size_t cch) {
    static_assert(std::tuple_size_v<TagBuf> <= 32);
    char* const pDst = tag.data();
    if (cch >= 16) {
        std::memcpy(pDst, pszTag, 16);
        std::memcpy(pDst + cch - 16, pszTag + cch - 16, 16);
    } else if (cch >= 8) {
        std::memcpy(pDst, pszTag, 8);
        std::memcpy(pDst + cch - 8, pszTag + cch - 8, 8);
    } else {
        for (std::size_t i = 0; i < cch; ++i) pDst[i] = pszTag[i];
    }
    tag[cch] = '\0';
}

[[noreturn]] void NoCandidates(long il, const std::string& szLine) {
    std::string szMsg = "ErrorRateDataVTC: Set of possible tags missing at data line ";
    szMsg += std::to_string(il);
    szMsg += ": ";
    szMsg += szLine;
    szMsg += "\n";
    ux_FatalError(kModApp, kMsgApp, szMsg);
}

// The traces of the pass (fDebug10 to standard error, fDebugFull to
// standard output). Each is called only when one of the two is on.
bool BeamTraceOn(const TraceSettings& tr) {
    return tr.fDebug10 || tr.fDebugFull;
}

// Line il is extended from previous item k; cCount items are in its beam.
void TraceItem(const TraceSettings& tr, long il, int k, int cCount) {
    if (tr.fDebug10)
        std::fprintf(stderr, "ilData %ld, pdt->iBeamPrev %d, cBeam %d\n", il, k, cCount);
    if (tr.fDebugFull) std::printf("ilData %ld, pdt->iBeamPrev %d, cBeam %d\n", il, k, cCount);
}

void TraceProbsSet(const TraceSettings& tr) {
    if (tr.fDebugFull) std::printf("Probs set.\n");
}

// A candidate tag before its probability is computed ...
void TraceCandidate(const TraceSettings& tr, const char* pszCand) {
    if (tr.fDebugFull) std::printf("computing prob for: %s: ", pszCand);
    if (tr.fDebug10) std::fprintf(stderr, "Working on tag: %s: ", pszCand);
}

// ... and after: the tag's probability and that of its path.
void TraceCandidateProb(const TraceSettings& tr, double dTagProb, double dP) {
    if (tr.fDebugFull) std::printf("%18.15f %18.15f\n", dTagProb, dP);
    if (tr.fDebug10) std::fprintf(stderr, "dTagProb %12.9f, dTagPathProb %12.9f\n", dTagProb, dP);
}

// The beam after normalisation.
void TraceBeam(const TraceSettings& tr, const BeamLine& bl) {
    if (tr.fDebug10) {
        for (int j = 0; j < bl.cBeam; ++j) {
            const VeItem& ve = bl.rgve[Idx(j)];
            std::fprintf(stderr, "norm: iBeam %d, tag %s, back %d, prob %12.9f\n", j,
                         ve.pszTag.data(), ve.iBack, ve.dProb);
        }
    }
    if (tr.fDebugFull) {
        std::printf("Beam state after normalization:\n");
        for (int j = 0; j < bl.cBeam; ++j) {
            const VeItem& ve = bl.rgve[Idx(j)];
            std::printf("Beam[%d]: tag %s, back %d, prob %18.15f\n", j, ve.pszTag.data(), ve.iBack,
                        ve.dProb);
        }
    }
}

// One answer of the probability model at the current line: the value
// probabilities (zero outside the line's AC values), the result and the tags
// of the beam path it read.
struct VtcAnswer {
    TagProbs probs{};
    int iRes = 0;
    bool fShared = false; // may serve other items: no warning, no read lost
    PathReads reads;
    // The AC string whose values probs may hold; every other entry is 0.
    const char* pszACHeld = nullptr;

    // Readies probs for the values of pszAC. The model writes every value of
    // its AC, so the entries of the same AC string are simply overwritten;
    // those of another are cleared first.
    void HoldAC(const char* pszAC) {
        if (pszACHeld == pszAC) return;
        if (pszACHeld != nullptr)
            for (const char* p = pszACHeld; *p != '\0'; ++p) probs[Byte(*p)] = 0.0;
        pszACHeld = pszAC;
    }
};

// The answers of one tag element computed at the current line, and the one
// that serves the current item.
struct ElemAnswers {
    std::vector<VtcAnswer> rgAnswer;
    int cAnswer = 0; // in use at the current line
    int iCur = 0;

    const VtcAnswer& Cur() const { return rgAnswer[Idx(iCur)]; }
};

// Work areas of one call: per tag element its answers and the error
// counter.
struct VtcWork {
    explicit VtcWork(int cTagElem) : rgelem(Idx(cTagElem)), rgclErr(Idx(cTagElem)) {}
    std::vector<ElemAnswers> rgelem;
    std::vector<long> rgclErr;
    std::vector<double> rgdTagProb; // per candidate tag of the line: its probability
    LineBeam beam;                  // the beam of the current line
    ClosestLines closest;           // for the model's computations at the current line
    SharedReads shared;             // the reads of the answers of the line's first item
};

// The beam path of an item, built when it is first looked at. Most items
// never look at theirs, and the path is large.
class LazyPath {
public:
    LazyPath() {}
    LazyPath(const LazyPath&) = delete;
    LazyPath& operator=(const LazyPath&) = delete;
    ~LazyPath() {}
    BeamPath& Get(const DataTable& dt, long il, int k) {
        if (!fBuilt_) {
            new (&path_) BeamPath(dt, il, k);
            fBuilt_ = true;
        }
        return path_;
    }

private:
    static_assert(std::is_trivially_destructible_v<BeamPath>);
    union {
        BeamPath path_;
    };
    bool fBuilt_ = false;
};

// The answer already computed at this line that serves item k of the
// previous line (tag pszPrev), or -1. An answer serves every item whose path
// shows the tag values it read; the one of the last item is tried first.
// Most answers read only the line before, where the path shows the item's
// own tag; the path is walked only for the others.
int SharedAnswer(const ElemAnswers& elem, LazyPath& path, const DataTable& dt, long il, int k,
                 const char* pszPrev, int cTagElem) {
    const VtcAnswer* const rgAnswer = elem.rgAnswer.data();
    const int cAnswer = elem.cAnswer;
    const int iCur = elem.iCur;
    for (int j = 0; j < cAnswer; ++j) {
        const int i = j == 0 ? iCur : (j <= iCur ? j - 1 : j);
        const VtcAnswer& ans = rgAnswer[i];
        if (!ans.fShared) continue;
        if (ans.reads.dMax <= 1 ? ans.reads.ShownByPrev(pszPrev, cTagElem)
                                : path.Get(dt, il, k).Shows(ans.reads, cTagElem))
            return i;
    }
    return -1;
}

// Stores the line's beam in the table, each item's probability divided by
// their sum. A sum of 0 cannot be divided by: the items then share the
// probability equally, so the first (earliest) path stays the choice and
// later lines are still scored.
[[gnu::always_inline]] inline void StoreBeam(BeamLine& bl, const LineBeam& beam, const DlData& dl,
                                             const Model& m) {
    const int cCount = beam.Count();
    bl.cBeam = cCount;
    double dSum = 0.0;
    for (int j = 0; j < cCount; ++j) dSum += beam[j].dProb;
    // Items often extend paths by the same candidate (all of them on a
    // line with one): its length is found once for a run of them.
    int iCandLast = -1;
    std::size_t cchLast = 0;
    VeItem* const rgve = bl.rgve.data();
    for (int j = 0; j < cCount; ++j) {
        const LineBeam::Slot& slot = beam[j];
        VeItem& ve = rgve[j];
        const char* pszCand = dl.rgpszMMt[Idx(slot.iCand)];
        if (slot.iCand != iCandLast) {
            iCandLast = slot.iCand;
            cchLast = TagLength(m, pszCand);
        }
        SetTag(ve.pszTag, pszCand, cchLast);
        ve.iBack = slot.iBack;
        ve.dProb = dSum > 0.0 ? slot.dProb / dSum : 1.0 / cCount;
    }
}

// StoreBeam for a line with one candidate tag whose paths keep the order
// and the probabilities of the previous beam's items
// (LineBeam::KeepsOrder).
void StoreInOrder(BeamLine& bl, const BeamLine& blPrev, const char* pszCand, const Model& m) {
    const int cCount = blPrev.cBeam;
    const VeItem* const rgvePrev = blPrev.rgve.data();
    bl.cBeam = cCount;
    double dSum = 0.0;
    for (int k = 0; k < cCount; ++k) dSum += rgvePrev[k].dProb;
    const std::size_t cch = TagLength(m, pszCand);
    VeItem* const rgve = bl.rgve.data();
    for (int k = 0; k < cCount; ++k) {
        VeItem& ve = rgve[k];
        SetTag(ve.pszTag, pszCand, cch);
        ve.iBack = k;
        ve.dProb = dSum > 0.0 ? rgvePrev[k].dProb / dSum : 1.0 / cCount;
    }
}

// Forward step for line il: extends every item of the previous beam (one
// empty path on the first line) by every candidate tag. Returns 0 or the
// failure of the probability model; iRet receives the model's last result.
int ExtendBeam(DataTable& dt, const Model& m, int fMode, long ilFrom, long il, VtcWork& work,
               int& iRet, const TraceSettings& tr) {
    const std::string& szLine = dt.rgpszDataLine[Idx(il)];
    const DlData& dl = dt.rgdl[Idx(il)];
    const BeamLine* pblPrev = il == ilFrom ? nullptr : &dt.rgbeam[Idx(il - 1)];
    const int cPrev = pblPrev != nullptr ? pblPrev->cBeam : 1;
    BeamLine& bl = dt.rgbeam[Idx(il)];
    if (bl.rgve.size() < Idx(m.cBeam)) bl.rgve.resize(Idx(m.cBeam));
    const std::size_t cTE = Idx(m.cTagElem);
    const bool fTrace = BeamTraceOn(tr);
    const bool fDebug10 = tr.fDebug10 != 0;
    const bool fProbsTrace = tr.ProbsOn();
    LineBeam& beam = work.beam;
    beam.Start(m.cBeam);
    ElemAnswers* const rgelem = work.rgelem.data();

    // The elements the model is asked about: those with two values or more
    // at the line (marked when it was read), in element order; traced runs
    // ask about every element.
    std::array<std::size_t, kTagElemMax> rgtAsk;
    int cAsk = 0;
    if (fProbsTrace) {
        for (std::size_t t = 0; t < cTE; ++t) rgtAsk[Idx(cAsk++)] = t;
    } else {
        for (std::uint32_t u = dl.uMultiValued; u != 0; u &= u - 1)
            rgtAsk[Idx(cAsk++)] = static_cast<std::size_t>(std::countr_zero(u));
    }
    const bool fLastAsked = cAsk > 0 && rgtAsk[Idx(cAsk - 1)] == cTE - 1;
    const std::size_t cCand = dl.rgpszMMt.size();
    const char* const* rgpszCand = dl.rgpszMMt.data();
    if (work.rgdTagProb.size() < cCand) work.rgdTagProb.resize(cCand);
    double* const rgdTagProb = work.rgdTagProb.data();

    if (cCand == 0 && cPrev > 0) {
        dt.iBeamPrev = 0;
        if (fTrace) TraceItem(tr, il, 0, beam.Count());
        NoCandidates(il, szLine);
    }

    if (cAsk == 0 && !fTrace) {
        // Nothing to ask: every candidate's probability is the empty
        // product 1, so each path keeps the probability of the item it
        // extends (1 on the first line).
        dt.iBeamPrev = cPrev - 1;
        if (cTE > 0) iRet = kProbsSingleValue;
        if (pblPrev != nullptr && cCand == 1 &&
            LineBeam::KeepsOrder(cPrev, m.cBeam,
                                 [pblPrev](int k) { return pblPrev->rgve[Idx(k)].dProb; })) {
            // Most such lines: the new beam is the previous one's paths,
            // each extended by the line's tag, in their order.
            StoreInOrder(bl, *pblPrev, rgpszCand[0], m);
            return 0;
        }
        if (pblPrev == nullptr) {
            for (std::size_t c = 0; c < cCand; ++c) beam.Add(static_cast<int>(c), 0, 1.0, false);
        } else {
            const VeItem* const rgvePrev = pblPrev->rgve.data();
            for (int k = 0; k < cPrev; ++k) {
                const double dPrev = rgvePrev[k].dProb;
                for (std::size_t c = 0; c < cCand; ++c)
                    beam.Add(static_cast<int>(c), k, dPrev, false);
            }
        }
        StoreBeam(bl, beam, dl, m);
        return 0;
    }

    std::array<std::size_t, kTagElemMax> rgtVary;
    int cVary = 0;
    SharedReads& shared = work.shared;

    // Each item of the previous beam (an empty path on the first line) ...
    const VeItem* const rgvePrev = pblPrev != nullptr ? pblPrev->rgve.data() : nullptr;
    for (int k = 0; k < cPrev; ++k) {
        dt.iBeamPrev = k;
        // The probabilities depend on the item only through the tags of its
        // path that they read: an answer is shared by the items whose paths
        // show the same values there. Nearly always, the later items are
        // served by the answers of the first, whose reads are combined and
        // checked once per item: nothing changes for them, and untraced
        // they go straight to their candidates.
        const bool fServed = k > 0 && shared.Usable() && shared.ShownBy(k);
        if (fServed && !fTrace) {
            const double dPrev = rgvePrev[k].dProb;
            for (std::size_t c = 0; c < cCand; ++c)
                beam.Add(static_cast<int>(c), k, rgdTagProb[c] * dPrev, false);
            continue;
        }
        if (fTrace) TraceItem(tr, il, k, beam.Count());

        if (!fServed) {
            // Otherwise each element's answers are looked at, the path only
            // when needed. Elements whose first answer read no path tag keep it
            // for every item: later items look only at the others.
            const bool fMayShare = k > 0 && !fProbsTrace;
            const std::size_t* const prgt = fMayShare ? rgtVary.data() : rgtAsk.data();
            const int cT = fMayShare ? cVary : cAsk;
            LazyPath path;
            bool fChanged = k == 0;
            for (int a = 0; a < cT; ++a) {
                const std::size_t t = prgt[Idx(a)];
                if (fMayShare) {
                    const VtcAnswer& ansCur = rgelem[t].Cur();
                    if (ansCur.fShared && ansCur.reads.cRead == 0) continue; // serves every item
                    const int i = SharedAnswer(rgelem[t], path, dt, il, k,
                                               rgvePrev[k].pszTag.data(), m.cTagElem);
                    if (i >= 0) {
                        fChanged = fChanged || i != rgelem[t].iCur;
                        rgelem[t].iCur = i;
                        continue;
                    }
                }
                fChanged = true;
                ElemAnswers& elem = rgelem[t];
                const int iNew = elem.cAnswer++;
                if (Idx(iNew) == elem.rgAnswer.size()) elem.rgAnswer.emplace_back();
                VtcAnswer& ans = elem.rgAnswer[Idx(iNew)];
                elem.iCur = iNew;
                ans.HoldAC(dl.rgpszAC[t]);
                int iBest = 0;
                TagProbsNote note;
                note.pReads = &ans.reads;
                note.pClosest = &work.closest;
                ans.iRes = GetTagProbsInto(fMode, nullptr, &ans.probs, iBest, m,
                                           static_cast<int>(t), dt, il, &note, &tr);
                if (ans.iRes > 0) return kVtcProbsFailed;
                ans.fShared = !note.fWarned && !ans.reads.fLost;
                if (k == 0 && !(ans.fShared && ans.reads.cRead == 0)) rgtVary[Idx(cVary++)] = t;
            }
            if (k == 0 && cPrev > 1 && !fProbsTrace) {
                shared.Start(dt, il, 0, m.cTagElem);
                for (int a = 0; a < cVary && shared.Usable(); ++a) {
                    const VtcAnswer& ans = rgelem[rgtVary[Idx(a)]].Cur();
                    if (ans.fShared)
                        shared.Add(ans.reads);
                    else
                        shared.Drop();
                }
            } else if (fChanged) {
                shared.Drop(); // other answers serve from here on
            }

            // The probability of each candidate tag: the product of its values'
            // probabilities over the elements that have them, in element order
            // (a single-valued element contributes a factor 1 and is left out).
            // Unchanged answers give the products of the item before.
            if (fChanged) {
                std::array<const TagProbs*, kTagElemMax> rgpProbs;
                std::array<std::size_t, kTagElemMax> rgt;
                std::size_t cHas = 0;
                for (int a = 0; a < cAsk; ++a) {
                    const std::size_t t = rgtAsk[Idx(a)];
                    const VtcAnswer& ans = rgelem[t].Cur();
                    if (ans.iRes == kProbsSingleValue) continue;
                    rgpProbs[cHas] = &ans.probs;
                    rgt[cHas++] = t;
                }
                for (std::size_t c = 0; c < cCand; ++c) {
                    const char* pszCand = rgpszCand[c];
                    double dTagProb = 1.0;
                    for (std::size_t i = 0; i < cHas; ++i)
                        dTagProb *= (*rgpProbs[i])[Byte(pszCand[rgt[i]])];
                    rgdTagProb[c] = dTagProb;
                }
            }
        }
        if (fTrace) TraceProbsSet(tr);

        // ... is extended by each candidate tag of the line (the path
        // probability on the first line is the tag's).
        const double* const pdPrev = pblPrev != nullptr ? &pblPrev->rgve[Idx(k)].dProb : nullptr;
        if (fTrace) {
            for (std::size_t c = 0; c < cCand; ++c) {
                TraceCandidate(tr, rgpszCand[c]);
                const double dTagProb = rgdTagProb[c];
                const double dP = pdPrev != nullptr ? dTagProb * *pdPrev : dTagProb;
                TraceCandidateProb(tr, dTagProb, dP);
                beam.Add(static_cast<int>(c), k, dP, fDebug10);
            }
        } else if (pdPrev == nullptr) {
            for (std::size_t c = 0; c < cCand; ++c)
                beam.Add(static_cast<int>(c), k, rgdTagProb[c], false);
        } else {
            const double dPrev = *pdPrev;
            for (std::size_t c = 0; c < cCand; ++c)
                beam.Add(static_cast<int>(c), k, rgdTagProb[c] * dPrev, false);
        }
    }
    // The model's result for the last element, as the last item saw it.
    if (cPrev > 0 && cTE > 0) iRet = fLastAsked ? rgelem[cTE - 1].Cur().iRes : kProbsSingleValue;
    for (int a = 0; a < cAsk; ++a) rgelem[rgtAsk[Idx(a)]].cAnswer = 0;
    StoreBeam(bl, beam, dl, m);
    if (fTrace) TraceBeam(tr, bl);
    return 0;
}

// Chooses the best item of the last line and follows the paths back; the
// chosen items of lines ilFrom+1..ilTo-1 are relinked to point forward.
void TraceBack(DataTable& dt, long ilFrom, long ilTo, const TraceSettings& tr) {
    if (tr.fDebug10) std::fprintf(stderr, "Going backwards...\n");
    dt.rgbeam[Idx(ilTo - 1)].iBeamBest = 0;
    if (tr.fDebug10) std::fprintf(stderr, "best at %ld: %d\n", ilTo - 1, 0);
    for (long il = ilTo - 2; il >= ilFrom; --il) {
        // Each step's item is named by the step before, so each would wait
        // for its line's items without asking for them ahead.
        PrefetchBeamItems(dt.rgbeam[Idx(std::max(il - 16, ilFrom))]);
        BeamLine& blNext = dt.rgbeam[Idx(il + 1)];
        VeItem& ve = blNext.rgve[Idx(blNext.iBeamBest)];
        dt.rgbeam[Idx(il)].iBeamBest = ve.iBack;
        if (tr.fDebug10) std::fprintf(stderr, "best at %ld: %d\n", il, ve.iBack);
        ve.iBack = il + 2 <= ilTo - 1 ? dt.rgbeam[Idx(il + 2)].iBeamBest : -1;
    }
}

// Marks line il wrong in each element where the chosen tag differs from the
// true one (rgrgfErr, rgfLineErr) and counts it in rgclErr. Whether the line
// counts as wrong: an element marked "+" differs. Those elements go into the
// note above output level 100.
bool MarkErrors(DataTable& dt, const Model& m, long il, const TagBuf& tagChosen, int iOutLevel,
                std::vector<long>& rgclErr, ErrNote& note) {
    const std::string& szLine = dt.rgpszDataLine[Idx(il)];
    dt.rgfLineErr[Idx(il)] = 0;
    bool fCounted = false;
    for (int t = 0; t < m.cTagElem; ++t) {
        unsigned char& fErr = dt.rgrgfErr[Idx(t)][Idx(il)];
        fErr = 0;
        if (tagChosen[Idx(t)] == szLine[Idx(t)]) continue;
        fErr = 1;
        dt.rgfLineErr[Idx(il)] = 1;
        ++rgclErr[Idx(t)];
        if (m.rgteTagElem[Idx(t)].fSignPlus) {
            fCounted = true;
            if (iOutLevel > 100) note.Add(t, szLine[Idx(t)]);
        }
    }
    return fCounted;
}

} // namespace

int ErrorRateDataVTC(DataTable& dt, Model& m, int iOutLevel, int fTraining, long ilFrom, long ilTo,
                     long ilOutFirst, long ilOutLast, VtcErrors errors, long ilEmptyEnd) {
    VtcCounts counts;
    const int iRet = ErrorRateDataVTC(dt, m, iOutLevel, fTraining, ilFrom, ilTo, ilOutFirst,
                                      ilOutLast, counts, errors, ilEmptyEnd);
    if (counts.rgclErrTagElem.size() == static_cast<std::size_t>(m.cTagElem)) {
        for (int t = 0; t < m.cTagElem; ++t)
            m.rgteTagElem[Idx(t)].clErrTagElem = counts.rgclErrTagElem[Idx(t)];
        m.clErr = counts.clErr;
    }
    return iRet;
}

int ErrorRateDataVTC(DataTable& dt, const Model& m, int iOutLevel, int fTraining, long ilFrom,
                     long ilTo, long ilOutFirst, long ilOutLast, VtcCounts& counts,
                     VtcErrors errors, long ilEmptyEnd) {
    counts.rgclErrTagElem.clear();
    counts.clErr = 0;
    const int fMode = kProbsModeTag + fTraining;
    ilFrom = std::max(ilFrom, 0L);
    ilTo = std::min(ilTo, dt.clLines);
    VtcWork work(m.cTagElem);
    int iRet = 0;
    // The highest output level traces the whole pass on standard output.
    TraceSettings tr = m.trace;
    tr.fDebugFull = iOutLevel > 9999 ? 1 : 0;

    for (long il = ilFrom; il < ilTo; ++il) {
        if (tr.fDebugFull) {
            std::fprintf(stderr, "Setting fDebugFull at data line %ld.\n", il);
            const char* pszLine = dt.rgpszDataLine[Idx(il)].c_str();
            std::printf("true: %s\n", pszLine);
            std::fprintf(stderr, "true: %s\n", pszLine);
        }
        PrefetchLines(dt, il, ilTo - 1);
        if (ExtendBeam(dt, m, fMode, ilFrom, il, work, iRet, tr) > 0) return kVtcProbsFailed;
    }

    long clLineErr = 0;
    if (ilFrom < ilTo) TraceBack(dt, ilFrom, ilTo, tr);
    // Error marks and counts, unless nothing reads them: the caller reads no
    // counts, and the output carries neither mark nor note.
    const bool fErrors = errors == VtcErrors::kCount || iOutLevel > 1;
    ErrNote note(kNoteOpening);
    for (long il = ilFrom; il < ilTo; ++il) {
        PrefetchLines(dt, il, ilTo - 1);
        const std::string& szLine = dt.rgpszDataLine[Idx(il)];
        const BeamLine& bl = dt.rgbeam[Idx(il)];
        const TagBuf& tagChosen = bl.rgve[Idx(bl.iBeamBest)].pszTag;
        if (iOutLevel > 9999) std::printf("true: %s\n", szLine.c_str());
        if (tr.fDebug10) {
            std::printf("data %ld, beam %d, tag %s; true: %s\n", il, bl.iBeamBest, tagChosen.data(),
                        szLine.c_str());
        }
        note.Clear();
        const bool fCounted =
            fErrors && MarkErrors(dt, m, il, tagChosen, iOutLevel, work.rgclErr, note);
        dt.rgpszTagOut[Idx(il)] = tagChosen;
        if (iOutLevel != 0 && il >= ilOutFirst && il <= ilOutLast) {
            const int iOut =
                WriteTaggedLine(dt, m, il, std::string_view(tagChosen.data(), Idx(m.cTagElem)),
                                iOutLevel, fCounted, note.View());
            if (iOut > 0) return iOut;
            if (dt.cchOutChunk != 0 && dt.pszOut != nullptr &&
                dt.pszOut->size() >= dt.cchOutChunk) {
                ux_OutWrite(dt.pszOut->View());
                dt.pszOut->clear();
            }
        }
        if (fCounted) ++clLineErr;
        if (il < ilEmptyEnd) ClearLineEntries(dt, il);
    }
    ClearLineFlags(dt, ilFrom, std::min(ilEmptyEnd, ilTo));
    if (!fErrors) return iRet;
    counts.rgclErrTagElem = work.rgclErr;
    counts.clErr = clLineErr;
    return iRet;
}

} // namespace vexta
