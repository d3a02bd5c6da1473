// Separate tagging, error counting passes and the error-rate line.

#include "tagging/error_rate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ux_base.h"
#include "base/ux_index.h"
#include "features/tag_probs.h"

namespace vexta {

namespace {

// Error notes of the two full passes.
constexpr std::string_view kNoteOpening = "Err: Correct = ";
// At most this many diagnostics of ErrorRateData per pass.
constexpr int kDiagMax = 20;

// The true value of tag element iTE on line il: character iTE of its text.
char TrueValue(const DataTable& dt, long il, int iTE) {
    return dt.rgpszDataLine[static_cast<std::size_t>(il)][static_cast<std::size_t>(iTE)];
}

// Writes the chosen tag followed by the data line from its first "|" on,
// then the note above output level 100, then a line end.
void WriteLine(std::string_view szTag, std::string_view szLine, int iOutLevel,
               const ErrNote& note) {
    const std::size_t iBar = szLine.find('|');
    const std::string_view szAfterTag =
        iBar == std::string_view::npos ? std::string_view() : szLine.substr(iBar);
    ux_OutWrite(szTag);
    ux_OutWrite(szAfterTag);
    if (iOutLevel > 100) {
        ux_OutChar(' ');
        ux_OutWrite(note.View());
    }
    ux_OutChar('\n');
}

// The separate tagger sees lines to the left with the tags it chose for them:
// line il becomes a beam of one item holding its tag, which extends item 0 of
// the line before.
void KeepOwnChoice(const Model& m, DataTable& dt, long il, const TagBuf& tag) {
    BeamLine& bl = dt.rgbeam[static_cast<std::size_t>(il)];
    if (bl.rgve.empty()) bl.rgve.resize(static_cast<std::size_t>(std::max(m.cBeam, 1)));
    bl.cBeam = 1;
    bl.iBeamBest = 0;
    VeItem& ve = bl.rgve.front();
    ve.pszTag = tag;
    ve.iBack = 0;
    ve.dProb = 1.0;
}

// Diagnostic of ErrorRateData for a wrong element: the detailed trace of the
// decision and the neighbouring lines. 0, or the failure of the re-run.
int Diagnose(const Model& m, const DataTable& dt, long il, int iTE, int iBest) {
    std::fprintf(stderr, "`te/tag out: %d/%c\n", iTE, iBest);
    // The decision again, with its detailed trace.
    TraceSettings tr = m.trace;
    tr.fDebug4 = 1;
    tr.fDebug5 = 1;
    int iBestAgain = 0;
    const int iRes = GetTagProbsInto(kProbsModeTrainCtx, nullptr, nullptr, iBestAgain, m, iTE, dt,
                                     il, nullptr, &tr);
    if (iRes > 0) return iRes;
    const auto Line = [&dt](long i) {
        return dt.rgpszDataLine[static_cast<std::size_t>(i)].c_str();
    };
    if (il > 1) std::fprintf(stderr, "`-2: %s\n", Line(il - 2));
    if (il > 0) std::fprintf(stderr, "`-1: %s\n", Line(il - 1));
    std::fprintf(stderr, "`tr: %s\n", Line(il));
    if (il < dt.clLines - 1) std::fprintf(stderr, "`+1: %s\n", Line(il + 1));
    if (il < dt.clLines - 2) std::fprintf(stderr, "`+2: %s\n", Line(il + 2));
    return 0;
}

// The full pass of ErrorRateDataSeparate (fSeparate) and ErrorRateData.
int ErrorRatePass(DataTable& dt, Model& m, int iOutLevel, bool fSeparate) {
    const int fMode = fSeparate ? kProbsModeTag : kProbsModeTrainCtx;
    std::vector<long> rgclErr(static_cast<std::size_t>(m.cTagElem), 0L);
    long clLineErr = 0;
    int cDiag = 0;
    int iRet = 0;
    for (long il = 0; il < dt.clLines; ++il) {
        const std::string& szLine = dt.rgpszDataLine[static_cast<std::size_t>(il)];
        TagBuf tagOut{};
        ErrNote note(kNoteOpening);
        bool fLineErr = false;
        dt.iBeamPrev = 0;
        for (int t = 0; t < m.cTagElem; ++t) {
            int iBest = 0;
            int iRes = FindBestTag(fMode, nullptr, iBest, m, t, dt, il);
            if (iRes > 0) return kErrRateProbsFailed;
            if (iRes == kProbsNoFeature) iRes = 0;
            iRet = iRes;
            tagOut[static_cast<std::size_t>(t)] = static_cast<char>(iBest);
            const char chTrue = TrueValue(dt, il, t);
            if (iBest == Byte(chTrue)) continue;
            if (!fSeparate || m.rgteTagElem[static_cast<std::size_t>(t)].fSignPlus) {
                fLineErr = true;
                if (iOutLevel > 100) note.Add(t, chTrue);
            }
            ++rgclErr[static_cast<std::size_t>(t)];
            if (!fSeparate && t == m.trace.fDebug3 && cDiag < kDiagMax) {
                ++cDiag;
                if (Diagnose(m, dt, il, t, iBest) > 0) return kErrRateDiagFailed;
            }
        }
        if (fSeparate) {
            dt.rgpszTagOut[static_cast<std::size_t>(il)] = tagOut;
            KeepOwnChoice(m, dt, il, tagOut);
        }
        if (iOutLevel != 0) {
            WriteLine(std::string_view(tagOut.data(), static_cast<std::size_t>(m.cTagElem)), szLine,
                      iOutLevel, note);
        }
        if (fLineErr) ++clLineErr;
    }
    for (int t = 0; t < m.cTagElem; ++t) {
        m.rgteTagElem[static_cast<std::size_t>(t)].clErrTagElem =
            rgclErr[static_cast<std::size_t>(t)];
    }
    m.clErr = clLineErr;
    return iRet;
}

// Lines of the AC: every stored line for the all-data AC, else its chain.
template <typename Fn>
int ForEachLineOfAC(const DataTable& dt, int iTE, const AmbClass& ac, Fn fn) {
    if (ac.fACIgnore) {
        for (long il = 0; il < dt.clData; ++il) {
            if (const int iRes = fn(il); iRes != 0) return iRes;
        }
        return 0;
    }
    const std::vector<long>& rgilNext = dt.rgilNextAC[static_cast<std::size_t>(iTE)];
    for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData;
         il = rgilNext[static_cast<std::size_t>(il)]) {
        if (const int iRes = fn(il); iRes != 0) return iRes;
    }
    return 0;
}

} // namespace

ErrNote::ErrNote(std::string_view szOpening) {
    cchOpening_ = std::min(szOpening.size(), rgch_.size() - 1);
    std::copy_n(szOpening.data(), cchOpening_, rgch_.data());
    cch_ = cchOpening_;
}

void ErrNote::Add(int iTE, char chTrue) {
    const std::size_t cchFree = rgch_.size() - cch_;
    const int cch = std::snprintf(rgch_.data() + cch_, cchFree, " %d(%c)", iTE, chTrue);
    if (cch > 0) cch_ += std::min(static_cast<std::size_t>(cch), cchFree - 1);
}

int FindBestTag(int fTraining, const AmbClass* pac, int& iBest, const Model& m, int iTE,
                const DataTable& dt, long ilData) {
    return GetTagProbsInto(fTraining, pac, nullptr, iBest, m, iTE, dt, ilData);
}

int ErrorRateDataSeparate(DataTable& dt, Model& m, int iOutLevel) {
    return ErrorRatePass(dt, m, iOutLevel, true);
}

int ErrorRateData(DataTable& dt, Model& m, int iOutLevel) {
    return ErrorRatePass(dt, m, iOutLevel, false);
}

int ErrorRateAmbClass(DataTable& dt, Model& m, AmbClass& ac, int iTE) {
    std::vector<unsigned char>& rgfErr = dt.rgrgfErr[static_cast<std::size_t>(iTE)];
    long clErr = 0;
    int iRet = 0;
    const int iFail = ForEachLineOfAC(dt, iTE, ac, [&](long il) {
        unsigned char& fErr = rgfErr[static_cast<std::size_t>(il)];
        fErr = 0;
        TraceSettings::Clear(m.trace.fDebug7);
        int iBest = 0;
        int iRes = FindBestTag(kProbsModeLinks, &ac, iBest, m, iTE, dt, il);
        if (iRes > 0) return kErrRateClassFailed;
        TraceSettings::Clear(m.trace.fDebug7);
        if (iRes == kProbsNoFeature && m.iHeavySmoothing != 1) {
            // Without heavy smoothing the prior alone never counts as right.
            fErr = 1;
            ++clErr;
            iRes = 0;
        } else if (iBest != Byte(TrueValue(dt, il, iTE))) {
            fErr = 1;
            ++clErr;
            if (m.trace.fDebug8) {
                std::fprintf(stderr, "+best: %c, err %ld at: %ld: iTE %d, line %s\n", iBest, clErr,
                             il, iTE, dt.rgpszDataLine[static_cast<std::size_t>(il)].c_str());
            }
        }
        iRet = iRes;
        return 0;
    });
    if (iFail != 0) return iFail;
    ac.clErrAmbClass = clErr;
    return iRet;
}

int ErrorRateAmbClassFeature(DataTable& dt, Model& m, AmbClass& ac, long ilFirst, int iTE) {
    const std::vector<unsigned char>& rgfErr = dt.rgrgfErr[static_cast<std::size_t>(iTE)];
    const long clBefore = ac.clErrBefore;
    long clNew = 0;
    long clCorrected = 0;
    long clVisited = 0;
    int iRet = 0;
    const std::vector<long>& rgilNext = dt.rgilNextFeature[static_cast<std::size_t>(iTE)];
    for (long il = ilFirst; il >= 0 && il < dt.clData;
         il = rgilNext[static_cast<std::size_t>(il)]) {
        ++clVisited;
        int iBest = 0;
        int iRes = FindBestTag(kProbsModeTrial, &ac, iBest, m, iTE, dt, il);
        if (iRes > 0) return kErrRateClassFailed;
        if (iRes == kProbsNoFeature) iRes = 0;
        iRet = iRes;
        TraceSettings::Clear(m.trace.fDebug7);
        const bool fWrong = iBest != Byte(TrueValue(dt, il, iTE));
        const bool fWasWrong = rgfErr[static_cast<std::size_t>(il)] != 0;
        if (fWrong == fWasWrong) continue;
        if (fWrong) {
            ++clNew;
        } else {
            ++clCorrected;
        }
        if (m.trace.fDebug8) {
            std::fprintf(stderr, "%s: %c, data %ld at: %ld: iTE %d, line %s\n",
                         fWrong ? "++ERR" : "--ERR", iBest, clVisited, il, iTE,
                         dt.rgpszDataLine[static_cast<std::size_t>(il)].c_str());
        }
    }
    ac.clErrAmbClass = clBefore + clNew - clCorrected;
    if (m.trace.fDebug8) {
        std::fprintf(stderr, "ERACF: bef: %ld, new: %ld, corr %ld, err now: %ld, dt chk %ld\n",
                     clBefore, clNew, clCorrected, ac.clErrAmbClass, clVisited);
    }
    return iRet;
}

int PrintErrorRate(const Model& m, std::string_view szName, std::string_view szMsg, long clErr,
                   long clWords, long clLines, int iTE) {
    // 101.00 marks a rate over an empty denominator.
    const double dPerWord = clWords == 0 ? 101.0 : 100.0 * static_cast<double>(clErr) / clWords;
    const double dPerLine = clLines == 0 ? 101.0 : 100.0 * static_cast<double>(clErr) / clLines;
    std::fprintf(stderr, "%.*s: %.*s%6.2f:%6.2f (%ld/%ld:%ld)", static_cast<int>(szName.size()),
                 szName.data(), static_cast<int>(szMsg.size()), szMsg.data(), dPerWord, dPerLine,
                 clErr, clWords, clLines);
    if (iTE < 0) {
        std::fprintf(stderr, ", flat");
    } else {
        const char* pszName = static_cast<std::size_t>(iTE) < m.rgpszTagElemName.size()
                                  ? m.rgpszTagElemName[static_cast<std::size_t>(iTE)]
                                  : nullptr;
        std::fprintf(stderr, ", cat %d (%s)", iTE, pszName != nullptr ? pszName : "???");
    }
    std::fprintf(stderr, "\n");
    return 0;
}

} // namespace vexta
