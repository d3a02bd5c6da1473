// Compact per-line columns of the training lines, and features matched on them.

#include "training/line_columns.h"

#include <cstring>
#include <limits>

#include "base/ux_index.h"
#include "features/feature_match.h"

namespace vexta {

namespace {

// The number of a class string no training line has.
constexpr std::uint32_t kNoId = std::numeric_limits<std::uint32_t>::max();

} // namespace

void LineColumns::Build(const Model& m, const DataTable& dt) {
    pdt_ = &dt;
    clLines_ = dt.clLines;
    clData_ = dt.clData;
    cTE_ = static_cast<std::size_t>(std::max(m.cTagElem, 0));
    const std::size_t cLines = Idx(std::max(dt.clLines, 0L));
    rgchTag_.assign(cLines * cTE_, '\0');
    rgidAC_.assign(cLines * cTE_, 0);
    rgpszForm_.assign(cLines, nullptr);
    rgfRegular_.assign(cLines, 0);
    rgmpId_.assign(cTE_, {});
    rgrgValues_.assign(cTE_, {});
    for (std::size_t r = 0; r < cLines && r < dt.rgdl.size(); ++r) {
        const DlData& dl = dt.rgdl[r];
        rgpszForm_[r] = dl.pszForm;
        if (dl.pszTag == nullptr || strnlen(dl.pszTag, cTE_) != cTE_ || dl.rgpszAC.size() != cTE_) {
            continue;
        }
        rgfRegular_[r] = 1;
        std::memcpy(&rgchTag_[r * cTE_], dl.pszTag, cTE_);
        for (std::size_t t = 0; t < cTE_; ++t) {
            const char* pszAC = dl.rgpszAC[t];
            std::vector<std::bitset<kValueCnt>>& rgValues = rgrgValues_[t];
            const auto [it, fNew] =
                rgmpId_[t].try_emplace(pszAC, static_cast<std::uint32_t>(rgValues.size()));
            if (fNew) {
                std::bitset<kValueCnt>& values = rgValues.emplace_back();
                for (const char* pch = pszAC; pch != nullptr && *pch != '\0'; ++pch) {
                    values.set(Byte(*pch));
                }
            }
            rgidAC_[r * cTE_ + t] = it->second;
        }
    }
}

// The same cases, in the same order, as the condition test of matching.
LineColumns::Compiled::Test LineColumns::TestOf(const Model& m, int iElem,
                                                const char* pszValue) const {
    using Cond = Compiled::Cond;
    Compiled::Test test;
    test.iElem = iElem;
    test.pszValue = pszValue;
    const auto Record = [&] {
        test.cond = Cond::kRecord;
        return test;
    };
    const auto Fixed = [&](bool fHolds) {
        test.cond = fHolds ? Cond::kTrue : Cond::kFalse;
        return test;
    };
    const auto IdOf = [&](std::size_t t) {
        const auto it = rgmpId_[t].find(pszValue);
        return it != rgmpId_[t].end() ? it->second : kNoId;
    };
    if (iElem >= kElemValue && iElem < kElemAC) {
        if (iElem >= m.cTagElem || pszValue == nullptr) return Fixed(false);
        test.cond = Cond::kValue;
        test.t = iElem;
        test.chValue = Byte(pszValue[0]);
        return test;
    }
    if (iElem >= kElemAC && iElem < kElemACMember) {
        const auto t = static_cast<std::size_t>(iElem - kElemAC);
        if (t >= cTE_) return Record();
        test.cond = Cond::kAC;
        test.t = static_cast<int>(t);
        test.id = IdOf(t);
        return test;
    }
    if (iElem >= kElemACMember && iElem < kElemUnassigned) {
        const auto t = static_cast<std::size_t>(iElem - kElemACMember);
        if (t >= cTE_) return Record();
        if (pszValue == nullptr || pszValue[0] == '\0') return Fixed(false);
        test.cond = Cond::kMember;
        test.t = static_cast<int>(t);
        test.chValue = Byte(pszValue[0]);
        return test;
    }
    switch (iElem) {
    case kElemTag:
        if (pszValue == nullptr) return Fixed(false);
        test.cond = Cond::kWholeTag;
        // A value shorter than the tag elements equals no regular tag.
        test.id = strnlen(pszValue, cTE_) == cTE_ ? 1 : 0;
        return test;
    case kElemLemmaAC:
        return Fixed(false);
    case kElemForm:
        test.cond = Cond::kForm;
        return test;
    case kElemLemma:
        return Record();
    default:
        return Fixed(true);
    }
}

void LineColumns::Compile(const Model& m, const FeatureDesc& fd, Compiled& cf) const {
    using Where = Compiled::Where;
    cf.cTerms = std::min(std::max(fd.cTerms, 0), kTermsMax);
    for (int i = 0; i < cf.cTerms; ++i) {
        const FeatureTerm& ft = fd.rgftTerm[Idx(i)];
        Compiled::Term& term = cf.rgTerm[Idx(i)];
        term.iPos = ft.iPos;
        term.test = TestOf(m, ft.iConditionElem, ft.pszValue);
        if (ft.iPos == kPosEmpty) {
            term.where = Where::kAny;
        } else if (ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight) {
            term.where = ft.iPos == kPosClosestLeft ? Where::kClosestLeft : Where::kClosestRight;
            term.testClosest = TestOf(m, ft.iClosestConditionElem, ft.pszClosestValue);
        } else {
            term.where = Where::kAt;
        }
    }
}

bool LineColumns::Holds(const Model& m, const DataTable& dt, const Compiled::Test& test,
                        long r) const {
    using Cond = Compiled::Cond;
    const std::size_t i = Idx(r);
    switch (test.cond) {
    case Cond::kTrue:
        return true;
    case Cond::kFalse:
        return false;
    case Cond::kForm:
        return rgpszForm_[i] == test.pszValue;
    case Cond::kRecord:
        break;
    case Cond::kValue:
        if (rgfRegular_[i] == 0) break;
        return Byte(rgchTag_[i * cTE_ + Idx(test.t)]) == test.chValue;
    case Cond::kAC:
        if (rgfRegular_[i] == 0) break;
        return rgidAC_[i * cTE_ + Idx(test.t)] == test.id;
    case Cond::kMember:
        if (rgfRegular_[i] == 0) break;
        return rgrgValues_[Idx(test.t)][rgidAC_[i * cTE_ + Idx(test.t)]].test(test.chValue);
    case Cond::kWholeTag:
        if (rgfRegular_[i] == 0) break;
        return test.id != 0 && std::memcmp(&rgchTag_[i * cTE_], test.pszValue, cTE_) == 0;
    }
    return FeatureCmpTrain(m, dt.rgpszDataLine[i], dt.rgdl[i], test.iElem, test.pszValue) != 0;
}

std::uint32_t LineColumns::ClassKeyOf(int t, const char* pszAC) const {
    const auto it = rgmpId_[Idx(t)].find(pszAC);
    return it != rgmpId_[Idx(t)].end() ? it->second + 1 : 0;
}

long LineColumns::Locate(const Model& m, const DataTable& dt, const Compiled::Term& term,
                         long il) const {
    using Where = Compiled::Where;
    switch (term.where) {
    case Where::kAny:
        return il;
    case Where::kAt: {
        const long r = il + term.iPos;
        return r >= 0 && r < dt.clLines ? r : -1;
    }
    case Where::kClosestLeft:
        for (long r = il - 1; r >= 0 && il - r <= kClosestMax; --r) {
            if (Holds(m, dt, term.testClosest, r)) return r;
        }
        return -1;
    case Where::kClosestRight:
        for (long r = il + 1; r < dt.clLines && r - il <= kClosestMax; ++r) {
            if (Holds(m, dt, term.testClosest, r)) return r;
        }
        return -1;
    }
    return -1;
}

bool LineColumns::Fires(const Model& m, const DataTable& dt, const Compiled& cf, long il) const {
    for (int iTerm = 0; iTerm < cf.cTerms; ++iTerm) {
        const Compiled::Term& term = cf.rgTerm[Idx(iTerm)];
        if (term.where == Compiled::Where::kAny) continue;
        const long r = Locate(m, dt, term, il);
        if (r < 0 || !Holds(m, dt, term.test, r)) return false;
    }
    return true;
}

} // namespace vexta
