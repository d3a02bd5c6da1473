// Firing lines of candidates through an index of the class's lines.

#include "training/firing_lines.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/ux_index.h"
#include "features/feature_match.h"

namespace vexta {

namespace {

std::uintptr_t Address(const char* psz) {
    return reinterpret_cast<std::uintptr_t>(psz);
}

// The kinds of first term the index serves: conditions whose holding at a
// line depends on one key the line has (or, for class members, one of a few).
enum class Kind { kNone, kValue, kAC, kMember, kWholeTag, kForm };

Kind KindOf(const Model& m, const FeatureTerm& ft) {
    const bool fPlace = (ft.iPos >= -kPosMax && ft.iPos <= kPosMax) || ft.iPos == kPosClosestLeft ||
                        ft.iPos == kPosClosestRight;
    if (!fPlace || ft.pszValue == nullptr) return Kind::kNone;
    const int e = ft.iConditionElem;
    if (e >= kElemValue && e < kElemAC) return e < m.cTagElem ? Kind::kValue : Kind::kNone;
    if (e >= kElemAC && e < kElemACMember) return Kind::kAC;
    if (e >= kElemACMember && e < kElemUnassigned) return Kind::kMember;
    // A whole tag as long as the tags is found by its interned string.
    if (e == kElemTag) {
        return std::strlen(ft.pszValue) == static_cast<std::size_t>(m.cTagElem) ? Kind::kWholeTag
                                                                                : Kind::kNone;
    }
    if (e == kElemForm) return Kind::kForm;
    return Kind::kNone;
}

// The key a feature's first term needs at the line it looks at.
std::uintptr_t KeyOf(Kind kind, const char* pszValue) {
    if (kind == Kind::kValue || kind == Kind::kMember) {
        return static_cast<unsigned char>(pszValue[0]);
    }
    return Address(pszValue);
}

bool IsClosest(const FeatureTerm& ft) {
    return ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight;
}

// The line the term looks at from line il, as matching locates it, or -1:
// a fixed offset inside the table, or the closest line at most kClosestMax
// away where the closest condition holds.
long Locate(const Model& m, const DataTable& dt, const FeatureTerm& ft, long il) {
    const auto Holds = [&](long r) {
        return FeatureCmpTrain(m, dt.rgpszDataLine[Idx(r)], dt.rgdl[Idx(r)],
                               ft.iClosestConditionElem, ft.pszClosestValue) != 0;
    };
    if (ft.iPos == kPosClosestLeft) {
        for (long r = il - 1; r >= 0 && il - r <= kClosestMax; --r) {
            if (Holds(r)) return r;
        }
        return -1;
    }
    if (ft.iPos == kPosClosestRight) {
        for (long r = il + 1; r < dt.clLines && r - il <= kClosestMax; ++r) {
            if (Holds(r)) return r;
        }
        return -1;
    }
    const long r = il + ft.iPos;
    return r >= 0 && r < dt.clLines ? r : -1;
}

} // namespace

void FiringLines::Forget() {
    pac_ = nullptr;
    pci_ = nullptr;
    iTE_ = -1;
    mpClass_.clear();
}

void FiringLines::SetClass(const DataTable& dt, const AmbClass& ac, int iTE) {
    if (iTE != iTE_) Forget();
    iTE_ = iTE;
    pac_ = &ac;
    const auto [it, fNew] = mpClass_.try_emplace(&ac);
    pci_ = &it->second;
    if (!fNew) return;
    std::vector<long>& rgilClass = pci_->rgilClass;
    const auto Take = [&](long il) {
        const char* pszAC = dt.rgdl[Idx(il)].rgpszAC[Idx(iTE)];
        if (pszAC[0] != '\0' && pszAC[1] != '\0') rgilClass.push_back(il);
    };
    if (ac.fACIgnore) {
        for (long il = 0; il < dt.clData; ++il) Take(il);
        return;
    }
    for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData; il = dt.rgilNextAC[Idx(il)]) Take(il);
    std::reverse(rgilClass.begin(), rgilClass.end());
}

void FiringLines::Build(const Model& m, const DataTable& dt, const FeatureTerm& ft,
                        Slot& slot) const {
    slot.fBuilt = true;
    const int iElem = ft.iConditionElem;
    const auto cchTag = static_cast<std::size_t>(m.cTagElem);
    const auto Add = [&slot](std::uintptr_t key, long il) {
        if (key != 0) slot.mpLines[key].push_back(il);
    };
    for (const long il : pci_->rgilClass) {
        const long r = Locate(m, dt, ft, il);
        if (r < 0) continue;
        const DlData& dl = dt.rgdl[Idx(r)];
        if (iElem >= kElemValue && iElem < kElemAC) {
            if (dl.pszTag != nullptr) Add(static_cast<unsigned char>(dl.pszTag[iElem]), il);
        } else if (iElem >= kElemAC && iElem < kElemACMember) {
            const auto t = Idx(iElem - kElemAC);
            if (t < dl.rgpszAC.size()) Add(Address(dl.rgpszAC[t]), il);
        } else if (iElem >= kElemACMember && iElem < kElemUnassigned) {
            const auto t = Idx(iElem - kElemACMember);
            if (t >= dl.rgpszAC.size() || dl.rgpszAC[t] == nullptr) continue;
            std::array<bool, kValueCnt> rgfSeen{};
            for (const char* pch = dl.rgpszAC[t]; *pch != '\0'; ++pch) {
                const auto ch = static_cast<unsigned char>(*pch);
                if (rgfSeen[ch]) continue;
                rgfSeen[ch] = true;
                Add(ch, il);
            }
        } else if (iElem == kElemTag) {
            if (dl.pszTag == nullptr) continue;
            // A tag of another length may hold for a whole-tag term by its
            // prefix: such a table is matched line by line.
            if (strnlen(dl.pszTag, cchTag + 1) != cchTag) {
                slot.fPrefixTags = true;
                return;
            }
            Add(Address(dl.pszTag), il);
        } else if (iElem == kElemForm) {
            Add(Address(dl.pszForm), il);
        }
    }
}

int FiringLines::Link(const Model& m, DataTable& dt, const DataTable& dt2, int iTE,
                      const AmbClass& ac, long& clErr, long& ilFirst, const FeatureDesc& fd) {
    const Kind kind = &ac == pac_ && fd.cTerms > 0 ? KindOf(m, fd.rgftTerm[0]) : Kind::kNone;
    if (kind == Kind::kNone) return LinkFeature(m, dt, dt2, iTE, ac, clErr, ilFirst, fd);
    const FeatureTerm& ft = fd.rgftTerm[0];
    const bool fClosest = IsClosest(ft);
    Slot& slot =
        pci_->mpSlot[SlotKey(ft.iPos, fClosest ? ft.iClosestConditionElem : -1,
                             fClosest ? Address(ft.pszClosestValue) : 0, ft.iConditionElem)];
    // A neighbour asked for once is matched line by line; the index pays
    // from the second candidate on.
    if (!slot.fBuilt && ++slot.cRequests < 2) {
        return LinkFeature(m, dt, dt2, iTE, ac, clErr, ilFirst, fd);
    }
    if (!slot.fBuilt) Build(m, dt, ft, slot);
    if (slot.fPrefixTags) return LinkFeature(m, dt, dt2, iTE, ac, clErr, ilFirst, fd);

    ilFirst = -1;
    clErr = 0;
    const auto it = slot.mpLines.find(KeyOf(kind, ft.pszValue));
    if (it == slot.mpLines.end()) return 0;
    const std::vector<unsigned char>& rgfErr = dt.rgrgfErr[Idx(iTE)];
    // LinkFeature walks the class's lines from the last to the first (the
    // all-data class from the first to the last) and puts each line where
    // the feature fires in front of the chain.
    const auto Take = [&](long il) {
        if (FeatureTrain(m, fd, dt, il) == 0) return;
        dt.rgilNextFeature[Idx(il)] = ilFirst;
        ilFirst = il;
        if (rgfErr[Idx(il)] != 0) ++clErr;
    };
    const std::vector<long>& rgil = it->second;
    if (ac.fACIgnore) {
        for (const long il : rgil) Take(il);
    } else {
        for (auto itLine = rgil.rbegin(); itLine != rgil.rend(); ++itLine) Take(*itLine);
    }
    return 0;
}

} // namespace vexta
