// The trial of a candidate feature, weight after weight.
//
// The scores follow the probability model's computation for a candidate
// under trial (its mode 1) stage by stage: the same gains, the same powers,
// the same order of multiplication, the same normalisation and smoothing.
// The tests compare the two on every weight the weight search tries.

#include "training/candidate_trial.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/ux_index.h"
#include "features/tag_probs.h"
#include "tagging/error_rate.h"

namespace vexta {

namespace {

// Any switch under which the probability model or the trial writes traces.
bool TraceOn(const Model& m) {
    return m.trace.ProbsOn() || m.trace.fDebug8;
}

// The feature heading the chain of ac, or null.
const FeatureDesc* ChainHead(const Model& m, const AmbClass& ac) {
    const long il = ac.ilPacFeatureFirst;
    if (il < 0 || il >= static_cast<long>(m.rgfdFeatureArea.size())) return nullptr;
    return &m.rgfdFeatureArea[Idx(il)];
}

} // namespace

const CandidateTrial::LineData& CandidateTrial::DataOf(DataTable& dt, Model& m, const AmbClass& ac,
                                                       long il, int iTE) {
    if (rguLineStamp_[Idx(il)] == uStamp_) return rgLineData_[Idx(rgiLineData_[Idx(il)])];
    rguLineStamp_[Idx(il)] = uStamp_;
    rgiLineData_[Idx(il)] = static_cast<long>(rgLineData_.size());
    LineData& data = rgLineData_.emplace_back();

    // The class whose values are scored: the candidate's own, or for a
    // candidate of the all-data class the line's class.
    const TagElem& te = m.rgteTagElem[Idx(iTE)];
    const AmbClass* pacRec = nullptr;
    if (!ac.fACIgnore) {
        pacRec = &ac;
        data.pszAC = ac.pszAmbClass;
    } else {
        data.pszAC = dt.rgdl[Idx(il)].rgpszAC[Idx(iTE)];
        const long ilEnd = te.ilAmbClassFirst + te.clAmbClass;
        for (long ilAC = te.ilAmbClassFirst + 1; ilAC < ilEnd; ++ilAC) {
            const AmbClass& acLine = m.rgacAmbClassArea[Idx(ilAC)];
            if (acLine.pszAmbClass == data.pszAC) {
                pacRec = &acLine;
                break;
            }
        }
    }
    data.n = data.pszAC != nullptr ? static_cast<int>(std::strlen(data.pszAC)) : 0;
    // One value leaves nothing to compute; more values than bytes only come
    // from malformed input.
    data.fModel = data.n < 2 || data.n > kValueCnt;
    if (data.fModel) return data;
    const int n = data.n;
    const double u = 1.0 / n;

    data.iValue = static_cast<long>(rgdW_.size());
    if (pacRec != nullptr) {
        const long clTotal = pacRec->clAmbClassCnt;
        for (int i = 0; i < n; ++i) {
            const long cl = i < kJointCntSize ? pacRec->rgclJointCnt[Idx(i)] : 0;
            rgdW_.push_back(clTotal == 0 ? u
                                         : static_cast<double>(cl) / static_cast<double>(clTotal));
        }
    } else {
        long clTotal = 0;
        for (int i = 0; i < n; ++i) clTotal += te.rgclSubtagCnt[Byte(data.pszAC[i])];
        for (int i = 0; i < n; ++i) {
            const long cl = te.rgclSubtagCnt[Byte(data.pszAC[i])];
            rgdW_.push_back(clTotal == 0 ? u
                                         : static_cast<double>(cl) / static_cast<double>(clTotal));
        }
    }

    // The weighted gains of the features linked to the line, value by value,
    // in list order.
    rgpfdLinked_.clear();
    for (const FeatureLink* plink = LinkedFeatures(dt, iTE, il); plink != nullptr;
         plink = plink->pNext) {
        const FeatureDesc& fd = *plink->pfd;
        if (fd.iTagElem != iTE || fd.pacOfFeature == nullptr) continue;
        if (fd.pacOfFeature == pacRec || fd.pacOfFeature->fACIgnore) rgpfdLinked_.push_back(&fd);
    }
    data.iFactor = static_cast<long>(rgdFactor_.size());
    data.cFactor = static_cast<int>(rgpfdLinked_.size());
    rgdFactor_.resize(rgdFactor_.size() + rgpfdLinked_.size() * Idx(n));
    for (int j = 0; j < data.cFactor; ++j) {
        const FeatureDesc& fd = *rgpfdLinked_[Idx(j)];
        for (int i = 0; i < n; ++i) {
            const int k = GetTagIndexInAmbClass(m, data.pszAC[i], fd);
            rgdFactor_[Idx(data.iFactor) + Idx(i) * Idx(data.cFactor) + Idx(j)] =
                ProbsPower(ProbsGain(fd, ProbsCountAt(fd, k), n, u), fd.dLambda);
        }
    }
    return data;
}

void CandidateTrial::Prepare(DataTable& dt, Model& m, AmbClass& ac, long ilFirst, int iTE) {
    rgLine_.clear();
    rgdGainCand_.clear();
    ilFirst_ = ilFirst;
    const FeatureDesc* pfdCand = ChainHead(m, ac);
    fModelOnly_ = TraceOn(m) || pfdCand == nullptr;
    if (fModelOnly_) return;

    // What is kept holds for one class and tag element, and for the links
    // as they were.
    if (&ac != pacKept_ || iTE != iTEKept_ || &dt != pdtKept_) Forget();
    pacKept_ = &ac;
    iTEKept_ = iTE;
    pdtKept_ = &dt;
    if (uStampStore_ != uStamp_) {
        uStampStore_ = uStamp_;
        rgLineData_.clear();
        rgdW_.clear();
        rgdFactor_.clear();
    }
    if (rguLineStamp_.size() < Idx(dt.clData)) {
        rguLineStamp_.resize(Idx(dt.clData), 0);
        rgiLineData_.resize(Idx(dt.clData), -1);
    }

    std::size_t nMax = 0;
    const char* pszGainAC = nullptr; // the class string the gains in rgdGainCand_ are for
    long iGain = 0;
    const std::vector<long>& rgilNext = dt.rgilNextFeature[Idx(iTE)];
    for (long il = ilFirst; il >= 0 && il < dt.clData; il = rgilNext[Idx(il)]) {
        Line line;
        line.il = il;
        line.chTrue = Byte(dt.rgpszDataLine[Idx(il)][Idx(iTE)]);
        line.fWasWrong = dt.rgrgfErr[Idx(iTE)][Idx(il)] != 0;
        const LineData& data = DataOf(dt, m, ac, il, iTE);
        line.iData = rgiLineData_[Idx(il)];
        if (!data.fModel) {
            // The candidate's gains depend on the class string only: a
            // class candidate has one set for all its lines.
            if (data.pszAC != pszGainAC) {
                pszGainAC = data.pszAC;
                iGain = static_cast<long>(rgdGainCand_.size());
                const double u = 1.0 / data.n;
                for (int i = 0; i < data.n; ++i) {
                    const int k = GetTagIndexInAmbClass(m, data.pszAC[i], *pfdCand);
                    rgdGainCand_.push_back(
                        ProbsGain(*pfdCand, ProbsCountAt(*pfdCand, k), data.n, u));
                }
            }
            line.iGain = iGain;
            nMax = std::max(nMax, Idx(data.n));
        }
        rgLine_.push_back(line);
    }
    if (rgdT_.size() < nMax) rgdT_.resize(nMax);
}

void CandidateTrial::StartWeight(const AmbClass& ac, double dLambda) {
    // A candidate of a class scores the same values on every line: its
    // weighted gains are worked out once.
    if (ac.fACIgnore) return;
    for (const Line& line : rgLine_) {
        const LineData& data = rgLineData_[Idx(line.iData)];
        if (data.fModel) continue;
        if (rgdCandPow_.size() < Idx(data.n)) rgdCandPow_.resize(Idx(data.n));
        for (int i = 0; i < data.n; ++i) {
            rgdCandPow_[Idx(i)] = ProbsPower(rgdGainCand_[Idx(line.iGain + i)], dLambda);
        }
        break;
    }
}

int CandidateTrial::Choice(const Line& line, const LineData& data, bool fShared, double dLambda,
                           double dRaw, double dG, double dH) {
    const int n = data.n;
    bool fFinite = true;
    for (int i = 0; i < n; ++i) {
        double t =
            fShared ? rgdCandPow_[Idx(i)] : ProbsPower(rgdGainCand_[Idx(line.iGain + i)], dLambda);
        const double* pdF = rgdFactor_.data() + Idx(data.iFactor) + Idx(i) * Idx(data.cFactor);
        for (int j = 0; j < data.cFactor; ++j) t *= pdF[j];
        // A product that was infinite or not a number at some step stays so
        // (inf * 0 is not a number): testing the result tests every step.
        fFinite = fFinite && std::isfinite(t);
        rgdT_[Idx(i)] = t;
    }
    // A score that is no longer finite is repaired and reported by the
    // probability model.
    if (!fFinite) return -1;
    const double u = 1.0 / n;
    double dZ = 0.0;
    for (int i = 0; i < n; ++i) dZ += rgdT_[Idx(i)];
    double dBest = 0.0;
    int iBest = 0;
    for (int i = 0; i < n; ++i) {
        // Scores that all underflowed to 0 give a uniform raw estimate.
        const double dExp = dZ > 0.0 ? rgdT_[Idx(i)] / dZ : u;
        const double dP = dRaw * dExp + dH * u + dG * rgdW_[Idx(data.iValue + i)];
        if (dP > dBest) {
            dBest = dP;
            iBest = Byte(data.pszAC[i]);
        }
    }
    return iBest;
}

int CandidateTrial::Measure(DataTable& dt, Model& m, AmbClass& ac, int iTE) {
    if (fModelOnly_) return ErrorRateAmbClassFeature(dt, m, ac, ilFirst_, iTE);

    const double dLambda = ChainHead(m, ac)->dLambda;
    const double dRaw = m.dRawExpWeight;
    double dG = 0.0;
    double dH = 0.0;
    ProbsSmoothingWeights(dRaw, dG, dH);
    const bool fShared = !ac.fACIgnore;
    StartWeight(ac, dLambda);

    long clNew = 0;
    long clCorrected = 0;
    int iRet = 0;
    for (const Line& line : rgLine_) {
        const LineData& data = rgLineData_[Idx(line.iData)];
        int iBest = 0;
        bool fByModel = data.fModel;
        if (!fByModel) {
            const int iChoice = Choice(line, data, fShared, dLambda, dRaw, dG, dH);
            fByModel = iChoice < 0;
            if (!fByModel) {
                iBest = iChoice;
                iRet = kProbsFired;
            }
        }
        if (fByModel) {
            int iRes = FindBestTag(kProbsModeTrial, &ac, iBest, m, iTE, dt, line.il);
            if (iRes > 0) return kErrRateClassFailed;
            if (iRes == kProbsNoFeature) iRes = 0;
            iRet = iRes;
        }
        const bool fWrong = iBest != line.chTrue;
        if (fWrong && !line.fWasWrong) ++clNew;
        if (!fWrong && line.fWasWrong) ++clCorrected;
    }
    TraceSettings::Clear(m.trace.fDebug7);
    ac.clErrAmbClass = ac.clErrBefore + clNew - clCorrected;
    return iRet;
}

bool CandidateTrial::Corrected(const Model& m, const AmbClass& ac, long& clCorrected) {
    clCorrected = 0;
    if (fModelOnly_) return false;
    const double dLambda = ChainHead(m, ac)->dLambda;
    const double dRaw = m.dRawExpWeight;
    double dG = 0.0;
    double dH = 0.0;
    ProbsSmoothingWeights(dRaw, dG, dH);
    const bool fShared = !ac.fACIgnore;
    StartWeight(ac, dLambda);
    for (const Line& line : rgLine_) {
        const LineData& data = rgLineData_[Idx(line.iData)];
        if (data.fModel) return false;
        const int iChoice = Choice(line, data, fShared, dLambda, dRaw, dG, dH);
        if (iChoice < 0) return false;
        if (iChoice == line.chTrue) ++clCorrected;
    }
    return true;
}

} // namespace vexta
