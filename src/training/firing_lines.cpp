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
    if (e >= kElemAC && e < kElemACMember) {
        return e - kElemAC < m.cTagElem ? Kind::kAC : Kind::kNone;
    }
    if (e >= kElemACMember && e < kElemUnassigned) {
        return e - kElemACMember < m.cTagElem ? Kind::kMember : Kind::kNone;
    }
    // A whole tag as long as the tags is found by its interned string.
    if (e == kElemTag) {
        return std::strlen(ft.pszValue) == static_cast<std::size_t>(m.cTagElem) ? Kind::kWholeTag
                                                                                : Kind::kNone;
    }
    if (e == kElemForm) return Kind::kForm;
    return Kind::kNone;
}

// The key a feature's first term needs at the line it looks at (0: none).
std::uintptr_t KeyOf(Kind kind, const FeatureTerm& ft, const LineColumns& columns) {
    switch (kind) {
    case Kind::kValue:
    case Kind::kMember:
        return static_cast<unsigned char>(ft.pszValue[0]);
    case Kind::kAC:
        return columns.ClassKeyOf(ft.iConditionElem - kElemAC, ft.pszValue);
    default:
        return Address(ft.pszValue);
    }
}

bool IsClosest(const FeatureTerm& ft) {
    return ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight;
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
    const std::vector<long>& rgilNext = dt.rgilNextAC[Idx(iTE)];
    for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData; il = rgilNext[Idx(il)]) Take(il);
    std::reverse(rgilClass.begin(), rgilClass.end());
}

void FiringLines::Build(const Model& m, const DataTable& dt, const FeatureTerm& ft,
                        const LineColumns::Compiled::Term& term, const LineColumns& columns,
                        Slot& slot) const {
    slot.fBuilt = true;
    const int iElem = ft.iConditionElem;
    const auto cchTag = static_cast<std::size_t>(m.cTagElem);
    std::vector<std::pair<std::uintptr_t, long>>& rgKeyLine = slot.rgKeyLine;
    const auto Add = [&rgKeyLine](std::uintptr_t key, long il) {
        if (key != 0) rgKeyLine.emplace_back(key, il);
    };
    for (const long il : pci_->rgilClass) {
        const long r = columns.Locate(m, dt, term, il);
        if (r < 0) continue;
        const bool fRegular = columns.Regular(r);
        const DlData& dl = dt.rgdl[Idx(r)];
        if (iElem >= kElemValue && iElem < kElemAC) {
            if (fRegular) {
                Add(Byte(columns.Value(r, iElem)), il);
            } else if (dl.pszTag != nullptr) {
                Add(Byte(dl.pszTag[iElem]), il);
            }
        } else if (iElem >= kElemAC && iElem < kElemACMember) {
            const int t = iElem - kElemAC;
            if (fRegular) {
                Add(columns.ClassKey(r, t), il);
            } else if (Idx(t) < dl.rgpszAC.size()) {
                Add(columns.ClassKeyOf(t, dl.rgpszAC[Idx(t)]), il);
            }
        } else if (iElem >= kElemACMember && iElem < kElemUnassigned) {
            const int t = iElem - kElemACMember;
            if (fRegular) {
                const std::bitset<kValueCnt>& values =
                    columns.ClassValues(t, columns.ClassKey(r, t));
                for (std::size_t ch = 1; ch < values.size(); ++ch) {
                    if (values.test(ch)) Add(ch, il);
                }
                continue;
            }
            if (Idx(t) >= dl.rgpszAC.size() || dl.rgpszAC[Idx(t)] == nullptr) continue;
            std::array<bool, kValueCnt> rgfSeen{};
            for (const char* pch = dl.rgpszAC[Idx(t)]; *pch != '\0'; ++pch) {
                const auto ch = Byte(*pch);
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
                rgKeyLine.clear();
                return;
            }
            Add(Address(dl.pszTag), il);
        } else if (iElem == kElemForm) {
            Add(Address(columns.Form(r)), il);
        }
    }
    std::sort(rgKeyLine.begin(), rgKeyLine.end());
    rgKeyLine.shrink_to_fit();
}

int FiringLines::Link(const Model& m, DataTable& dt, const DataTable& dt2, int iTE,
                      const AmbClass& ac, long& clErr, long& ilFirst, const FeatureDesc& fd,
                      const LineColumns& columns) {
    if (&ac != pac_) return LinkFeature(m, dt, dt2, iTE, ac, clErr, ilFirst, fd);
    ilFirst = -1;
    clErr = 0;
    LineColumns::Compiled cf;
    columns.Compile(m, fd, cf);
    const std::vector<unsigned char>& rgfErr = dt.rgrgfErr[Idx(iTE)];
    std::vector<long>& rgilNext = dt.rgilNextFeature[Idx(iTE)];
    // LinkFeature walks the class's lines from the last to the first (the
    // all-data class from the first to the last) and puts each line where
    // the feature fires in front of the chain.
    const auto Take = [&](long il) {
        if (!columns.Fires(m, dt, cf, il)) return;
        rgilNext[Idx(il)] = ilFirst;
        ilFirst = il;
        if (rgfErr[Idx(il)] != 0) ++clErr;
    };
    const auto TakeAll = [&](auto itFirst, auto itEnd, auto LineOf) {
        if (ac.fACIgnore) {
            for (auto it = itFirst; it != itEnd; ++it) Take(LineOf(*it));
        } else {
            for (auto it = itEnd; it != itFirst;) Take(LineOf(*--it));
        }
    };

    // Through the index only the lines where the first term holds are
    // matched.
    const Kind kind = fd.cTerms > 0 ? KindOf(m, fd.rgftTerm[0]) : Kind::kNone;
    if (kind != Kind::kNone) {
        const FeatureTerm& ft = fd.rgftTerm[0];
        const bool fClosest = IsClosest(ft);
        Slot& slot =
            pci_->mpSlot[SlotKey(ft.iPos, fClosest ? ft.iClosestConditionElem : -1,
                                 fClosest ? Address(ft.pszClosestValue) : 0, ft.iConditionElem)];
        // A neighbour asked for once is matched line by line; the index pays
        // from the second candidate on.
        if (slot.fBuilt || ++slot.cRequests >= 2) {
            if (!slot.fBuilt) Build(m, dt, ft, cf.rgTerm[0], columns, slot);
            if (!slot.fPrefixTags) {
                const std::uintptr_t key = KeyOf(kind, ft, columns);
                const auto [itFirst, itEnd] = std::equal_range(
                    slot.rgKeyLine.begin(), slot.rgKeyLine.end(), std::pair(key, 0L),
                    [](const auto& a, const auto& b) { return a.first < b.first; });
                TakeAll(itFirst, itEnd, [](const auto& kl) { return kl.second; });
                return 0;
            }
        }
    }
    const std::vector<long>& rgil = pci_->rgilClass;
    TakeAll(rgil.begin(), rgil.end(), [](long il) { return il; });
    return 0;
}

} // namespace vexta
