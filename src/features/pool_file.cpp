// The feature pool file and the loading of pool features into the model.
#include "features/pool_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/entropy_sort.h"
#include "features/feature_match.h"
#include "model/model.h"

namespace vexta {

namespace {

// Size of the buffers of AC texts and term values read from a pool line.
constexpr int kPoolStrSize = 249;

// Longest key and data string a generated feature may have when sorted.
constexpr std::size_t kSortStrMax = 248;

[[noreturn]] void FatalApp(const std::string& szDetail) {
    ux_FatalError(kModApp, kMsgApp, szDetail);
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return 0;
}

const char* SkipBlanks(const char* psz) {
    while (*psz == ' ' || *psz == '\t') ++psz;
    return psz;
}

// Skips one character unless the string has ended.
const char* SkipOne(const char* psz) {
    return *psz != '\0' ? psz + 1 : psz;
}

// Element code of a term checked against the tag elements of the model:
// 0 when it is fine, else the code given for that range.
int CheckElemCode(int iElem, int cTagElem, int iErrValue, int iErrAC, int iErrMember) {
    if (iElem >= kElemValue && iElem < kElemAC) return iElem < cTagElem ? 0 : iErrValue;
    if (iElem >= kElemAC && iElem < kElemACMember) return iElem - kElemAC < cTagElem ? 0 : iErrAC;
    if (iElem >= kElemACMember && iElem < kElemUnassigned)
        return iElem - kElemACMember < cTagElem ? 0 : iErrMember;
    return 0;
}

// Chains the training lines of every class of tag element te through the
// training table's rgilNextAC, from the last line to the first. The chains
// of the other elements are released (they are made again when needed).
void ChainClassLines(Model& m, TagElem& te, int t) {
    std::unordered_map<std::string_view, AmbClass*> mpClass;
    for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
        AmbClass& ac = m.rgacAmbClassArea[il];
        ac.ilDataFirst = -1;
        // The first class of a string wins, as in FindAmbClassRec.
        if (ac.pszAmbClass != nullptr) mpClass.try_emplace(ac.pszAmbClass, &ac);
    }
    if (m.pdtT == nullptr) return;
    DataTable& dt = *m.pdtT;
    if (dt.rgilNextAC.size() < static_cast<std::size_t>(m.cTagElem)) {
        dt.rgilNextAC.resize(static_cast<std::size_t>(m.cTagElem));
    }
    std::vector<long>& rgilNext = dt.rgilNextAC[static_cast<std::size_t>(t)];
    if (static_cast<long>(rgilNext.size()) < dt.clData) {
        rgilNext.resize(static_cast<std::size_t>(dt.clData), -1);
    }
    for (long il = 0; il < dt.clData; ++il) {
        const auto it = mpClass.find(dt.rgdl[il].rgpszAC[t]);
        if (it == mpClass.end()) continue;
        rgilNext[il] = it->second->ilDataFirst;
        it->second->ilDataFirst = il;
    }
    for (std::size_t tOther = 0; tOther < dt.rgilNextAC.size(); ++tOther) {
        if (static_cast<int>(tOther) == t || dt.rgilNextAC[tOther].empty()) continue;
        std::vector<long>().swap(dt.rgilNextAC[tOther]);
        if (tOther >= m.rgteTagElem.size()) continue;
        const TagElem& teOther = m.rgteTagElem[tOther];
        for (long il = teOther.ilAmbClassFirst; il < teOther.ilAmbClassFirst + teOther.clAmbClass;
             ++il) {
            m.rgacAmbClassArea[il].ilDataFirst = -1;
        }
    }
}

// Prints the pool range of every class.
void PrintPoolRanges(const Model& m) {
    for (int t = 0; t < static_cast<int>(m.rgteTagElem.size()); ++t) {
        const TagElem& te = m.rgteTagElem[t];
        for (long il = te.ilAmbClassFirst; il < te.ilAmbClassFirst + te.clAmbClass; ++il) {
            const AmbClass& ac = m.rgacAmbClassArea[il];
            std::fprintf(stderr, "E %02d, %s: %ld -- %ld\n", t, ac.pszAmbClass, ac.ilSuggFirst,
                         ac.ilSuggLast);
        }
    }
}

// How the first term of a record is looked up at a line.
enum class FirstTerm {
    kScan,     // not indexed: matched at every line
    kValue,    // value of a tag element: the tag's character
    kAC,       // AC of a tag element: the interned AC string
    kMember,   // member of an AC: each character of the AC string
    kWholeTag, // the whole tag, as long as the tag: the interned tag
    kForm,     // word form: the interned form
};

// The records of a run indexed by the condition of their first term: by the
// place the term looks at (a fixed offset, or a closest search), then by its
// element code, then by the value it needs there.
class FirstTermIndex {
public:
    FirstTermIndex(const Model& m, const DataTable& dt, std::span<FeatureDesc> rgfd)
        : m_(m), dt_(dt), rgfd_(rgfd), rgiNext_(rgfd.size(), -1) {
        for (std::size_t j = 0; j < rgfd.size(); ++j) Insert(static_cast<int>(j));
    }

    // Calls fn(record) for every record whose first term may hold at line il
    // (each at most once), and for every record that is not indexed.
    template <class Fn> void ForEachCandidate(long il, Fn&& fn) {
        for (Place& place : rgplace_) {
            const long r = Locate(place, il);
            if (r < 0) continue;
            const DlData& dl = dt_.rgdl[static_cast<std::size_t>(r)];
            for (Slot& slot : place.rgslot) ForEachAtSlot(slot, dl, fn);
        }
        for (const int j : rgiScan_) fn(rgfd_[j]);
    }

private:
    struct Slot {
        int iElem = 0;
        FirstTerm kind = FirstTerm::kScan;
        std::unordered_map<std::uintptr_t, int> mpHead; // value key -> first record
        std::vector<int> rgiAll;                        // every record of the slot
    };
    struct Place {
        int iPos = 0;
        int iClosestElem = -1; // closest searches only
        const char* pszClosestValue = nullptr;
        std::vector<Slot> rgslot;
    };

    FirstTerm KindOf(const FeatureDesc& fd) const {
        if (fd.cTerms < 1) return FirstTerm::kScan;
        const FeatureTerm& ft = fd.rgftTerm[0];
        const int e = ft.iConditionElem;
        const char* psz = ft.pszValue;
        if (ft.iPos == kPosEmpty || psz == nullptr) return FirstTerm::kScan;
        if (e >= kElemValue && e < kElemAC)
            return e < m_.cTagElem ? FirstTerm::kValue : FirstTerm::kScan;
        if (e >= kElemAC && e < kElemACMember) return FirstTerm::kAC;
        if (e >= kElemACMember && e < kElemUnassigned) {
            return psz[0] != '\0' ? FirstTerm::kMember : FirstTerm::kScan;
        }
        if (e == kElemTag) {
            return std::strlen(psz) == static_cast<std::size_t>(m_.cTagElem) ? FirstTerm::kWholeTag
                                                                             : FirstTerm::kScan;
        }
        if (e == kElemForm) return FirstTerm::kForm;
        return FirstTerm::kScan;
    }

    static std::uintptr_t KeyOf(FirstTerm kind, const char* psz) {
        if (kind == FirstTerm::kValue || kind == FirstTerm::kMember) {
            return static_cast<unsigned char>(psz[0]);
        }
        return reinterpret_cast<std::uintptr_t>(psz);
    }

    void Insert(int j) {
        const FeatureDesc& fd = rgfd_[j];
        const FirstTerm kind = KindOf(fd);
        if (kind == FirstTerm::kScan) {
            rgiScan_.push_back(j);
            return;
        }
        const FeatureTerm& ft = fd.rgftTerm[0];
        const bool fClosest = ft.iPos == kPosClosestLeft || ft.iPos == kPosClosestRight;
        const auto keyPlace = std::make_tuple(
            ft.iPos, fClosest ? ft.iClosestConditionElem : -1,
            reinterpret_cast<std::uintptr_t>(fClosest ? ft.pszClosestValue : nullptr));
        auto [itPlace, fNewPlace] = mpPlace_.try_emplace(keyPlace, rgplace_.size());
        if (fNewPlace) {
            Place& place = rgplace_.emplace_back();
            place.iPos = ft.iPos;
            place.iClosestElem = std::get<1>(keyPlace);
            place.pszClosestValue = fClosest ? ft.pszClosestValue : nullptr;
        }
        Place& place = rgplace_[itPlace->second];
        auto itSlot = std::find_if(place.rgslot.begin(), place.rgslot.end(), [&](const Slot& slot) {
            return slot.iElem == ft.iConditionElem;
        });
        if (itSlot == place.rgslot.end()) {
            itSlot = place.rgslot.insert(place.rgslot.end(), Slot{});
            itSlot->iElem = ft.iConditionElem;
            itSlot->kind = kind;
        }
        auto [itHead, fNew] = itSlot->mpHead.try_emplace(KeyOf(kind, ft.pszValue), j);
        if (!fNew) {
            rgiNext_[j] = itHead->second;
            itHead->second = j;
        }
        itSlot->rgiAll.push_back(j);
    }

    // The line a first term looks at from line il, or -1 (as the matching
    // locates it: fixed offsets within the table, closest searches at most
    // kClosestMax lines away).
    long Locate(const Place& place, long il) const {
        if (place.iPos == kPosClosestLeft) {
            for (long r = il - 1; r >= 0 && il - r <= kClosestMax; --r) {
                if (ClosestHolds(place, r)) return r;
            }
            return -1;
        }
        if (place.iPos == kPosClosestRight) {
            for (long r = il + 1; r < dt_.clLines && r - il <= kClosestMax; ++r) {
                if (ClosestHolds(place, r)) return r;
            }
            return -1;
        }
        const long r = il + place.iPos;
        return r >= 0 && r < dt_.clLines ? r : -1;
    }

    bool ClosestHolds(const Place& place, long r) const {
        const auto i = static_cast<std::size_t>(r);
        return FeatureCmpTrain(m_, dt_.rgpszDataLine[i], dt_.rgdl[i], place.iClosestElem,
                               place.pszClosestValue) != 0;
    }

    template <class Fn> void ForChain(const Slot& slot, std::uintptr_t key, Fn& fn) {
        const auto it = slot.mpHead.find(key);
        if (it == slot.mpHead.end()) return;
        for (int j = it->second; j >= 0; j = rgiNext_[j]) fn(rgfd_[j]);
    }

    template <class Fn> void ForEachAtSlot(const Slot& slot, const DlData& dl, Fn& fn) {
        switch (slot.kind) {
        case FirstTerm::kValue:
            if (dl.pszTag != nullptr)
                ForChain(slot, static_cast<unsigned char>(dl.pszTag[slot.iElem]), fn);
            return;
        case FirstTerm::kAC: {
            const auto t = static_cast<std::size_t>(slot.iElem - kElemAC);
            if (t < dl.rgpszAC.size())
                ForChain(slot, reinterpret_cast<std::uintptr_t>(dl.rgpszAC[t]), fn);
            return;
        }
        case FirstTerm::kMember: {
            const auto t = static_cast<std::size_t>(slot.iElem - kElemACMember);
            if (t >= dl.rgpszAC.size() || dl.rgpszAC[t] == nullptr) return;
            std::array<bool, kValueCnt> rgfSeen{};
            for (const char* pch = dl.rgpszAC[t]; *pch != '\0'; ++pch) {
                const auto ch = static_cast<unsigned char>(*pch);
                if (rgfSeen[ch]) continue;
                rgfSeen[ch] = true;
                ForChain(slot, ch, fn);
            }
            return;
        }
        case FirstTerm::kWholeTag:
            if (dl.pszTag == nullptr) return;
            if (strnlen(dl.pszTag, static_cast<std::size_t>(m_.cTagElem) + 1) ==
                static_cast<std::size_t>(m_.cTagElem)) {
                ForChain(slot, reinterpret_cast<std::uintptr_t>(dl.pszTag), fn);
            } else {
                for (const int j : slot.rgiAll) fn(rgfd_[j]); // not indexed by this tag
            }
            return;
        case FirstTerm::kForm:
            ForChain(slot, reinterpret_cast<std::uintptr_t>(dl.pszForm), fn);
            return;
        case FirstTerm::kScan:
            return;
        }
    }

    const Model& m_;
    const DataTable& dt_;
    std::span<FeatureDesc> rgfd_;
    std::vector<int> rgiNext_; // next record with the same slot and value
    std::vector<Place> rgplace_;
    std::map<std::tuple<int, int, std::uintptr_t>, std::size_t> mpPlace_;
    std::vector<int> rgiScan_;
};

// Result of PoolLoader::Add for a line whose outcome (kept or cut) is known
// only once its run of lines has been counted.
constexpr int kPoolPending = -100;

// Lines of one class counted together at most.
constexpr long kPendingMax = 1L << 16;

// A run is counted in parts when its class lines times its records reach
// kCountPartWork, each part with at least kCountPartLines class lines.
constexpr std::size_t kCountPartWork = 1U << 20;
constexpr std::size_t kCountPartLines = 256;

// Loads pool lines into the pool with the result of loading them one by one.
// Each line is parsed as it comes; the counts over the training data, which
// dominate the loading time, are computed for runs of lines of one class
// together, so that every class line is visited once per group of features
// while its neighbourhood is in the cache. Counting, the entropy and the cut
// then finish the lines of a run in their order.
class PoolLoader {
public:
    // fBatch false: every line is finished at once, its counts taken with
    // ComputeFeatureCounts. With fBatch, the lines of a large run are
    // counted in up to cThreads parts side by side.
    PoolLoader(Model& m, bool fBatch, int cThreads = 1)
        : m_(m), fBatch_(fBatch), cThreads_(std::max(cThreads, 1)) {}

    // -1 skipped; 0 class not in the data (reported); > 0 malformed line;
    // kPoolPending parsed (with fBatch false already finished: see
    // iLastResult).
    int Add(const char* pszLine);

    // Counts and finishes the pending lines.
    void Flush();

    long cKept() const { return cKept_; }
    int iLastResult() const { return iLastResult_; }

    // Whether Add skips a line with count lCount at once, before it flushes
    // or checks anything.
    bool SkipsCount(long lCount) const {
        return lCount < m_.cPoolThr && m_.clFeatureSuggUsed + cPending_ < m_.clFeatureSuggSize;
    }

private:
    // The pool range of the class as a line of it is added.
    void ExtendRange(AmbClass* pac) {
        if (pac != m_.pacSuggLast) {
            pac->ilSuggFirst = m_.clFeatureSuggUsed;
            m_.pacSuggLast = pac;
        }
        if (pac->ilSuggFirst == -1) pac->ilSuggFirst = m_.clFeatureSuggUsed;
        pac->ilSuggLast = m_.clFeatureSuggUsed;
    }

    FeatureDesc& Record(long il) {
        if (static_cast<long>(m_.rgfdFeatureSugg.size()) <= il) {
            m_.rgfdFeatureSugg.resize(static_cast<std::size_t>(il) + 1);
        }
        return m_.rgfdFeatureSugg[static_cast<std::size_t>(il)];
    }

    const char* PendingLine(long j) const { return szLines_.c_str() + rgichLine_[j]; }
    int ParseTerms(const char* psz, FeatureDesc& fd);
    void CountRun(long ilFirst);

    Model& m_;
    const bool fBatch_;
    const int cThreads_;
    AmbClass* pacPending_ = nullptr; // class of the pending lines
    int tPending_ = 0;
    long cPending_ = 0;   // pending lines: records clFeatureSuggUsed + 0 .. cPending_ - 1
    std::string szLines_; // their texts, for messages
    std::vector<std::size_t> rgichLine_;
    std::vector<long> rgilClass_; // scratch: the class lines and their value indexes
    std::vector<int> rgiValue_;
    long cKept_ = 0;
    int iLastResult_ = 0;
};

// Steps of a line after its class: term count, predicted value and terms.
int PoolLoader::ParseTerms(const char* psz, FeatureDesc& fd) {
    psz = SkipBlanks(psz);
    const int cTerms = GetHex(&psz);
    if (cTerms < 0 || cTerms > kTermsMax) return kPoolBadTermCount;
    fd.cTerms = cTerms;

    if (*psz != '_') return kPoolNoValueSep;
    ++psz;
    if (*psz != '_' && *psz != '\0') {
        const char szY[2] = {*psz++, '\0'};
        if (ux_HashMemberPtr(m_.phashStr.get(), szY, &fd.pszY) > 0) return kPoolInternValue;
    }
    if (*psz != '_') return kPoolNoTermsSep;
    ++psz;

    std::array<char, kPoolStrSize> szClosest;
    std::array<char, kPoolStrSize> szValue;
    for (int it = 0; it < cTerms; ++it) {
        FeatureTerm& ft = fd.rgftTerm[it];
        ft.iPos = GetHex(&psz);
        ft.iClosestConditionElem = GetHex(&psz);
        ft.iConditionElem = GetHex(&psz);
        if (GetStr(szClosest, &psz, '_') == kStrNoDelim) return kPoolNoClosestValue;
        if (GetStr(szValue, &psz, '_') == kStrNoDelim) return kPoolNoValue;
        if (int rc = CheckElemCode(ft.iClosestConditionElem, m_.cTagElem, kPoolBadClosestTag,
                                   kPoolBadClosestAC, kPoolBadClosestMember))
            return rc;
        if (int rc = CheckElemCode(ft.iConditionElem, m_.cTagElem, kPoolBadConditionTag,
                                   kPoolBadConditionAC, kPoolBadConditionMember))
            return rc;
        if (ux_HashMemberPtr(m_.phashStr.get(), szClosest.data(), &ft.pszClosestValue) > 0)
            return kPoolInternClosest;
        if (ux_HashMemberPtr(m_.phashStr.get(), szValue.data(), &ft.pszValue) > 0)
            return kPoolInternValue;
    }
    return 0;
}

int PoolLoader::Add(const char* pszLine) {
    Model& m = m_;
    if (m.clFeatureSuggUsed + cPending_ >= m.clFeatureSuggSize) Flush();
    if (m.clFeatureSuggUsed >= m.clFeatureSuggSize) {
        FatalApp(ux_StrPrintf("%sInsuff. space in rgfdFeatureSugg (%ld); increase %s",
                              "AddFeatureFromStr: ", m.clFeatureSuggSize, "FeatureSuggSize"));
    }

    const char* psz = SkipBlanks(pszLine);
    char* pszEnd = nullptr;
    const long clCount = std::strtol(psz, &pszEnd, 10);
    psz = pszEnd;
    if (clCount < m.cPoolThr) return -1;

    psz = SkipOne(psz);
    const int t = GetHex(&psz);
    psz = SkipOne(psz);
    std::array<char, kPoolStrSize> szAC;
    if (GetStr(szAC, &psz, ' ') == kStrNoDelim) {
        Flush();
        return kPoolNoClass;
    }

    // The class of the feature.
    const bool fGeneral = std::strcmp(szAC.data(), "--") == 0;
    if (fGeneral ? m.fModelGeneral == 0 : m.fModelAC == 0) return -1;
    if (t < 0 || t >= m.cTagElem || t >= static_cast<int>(m.rgteTagElem.size())) {
        Flush();
        std::fprintf(stderr, "AddFeatureFromStr: tag element %d outside 0..%d: %s\n", t,
                     m.cTagElem - 1, pszLine);
        return kPoolBadTagElem;
    }
    TagElem& te = m.rgteTagElem[t];
    AmbClass* pac = nullptr;
    const char* pszACText = szAC.data();
    auto fnSameClass = [&](const AmbClass* pacLast) {
        return pacLast != nullptr && pacLast >= &m.rgacAmbClassArea[te.ilAmbClassFirst] &&
               pacLast < &m.rgacAmbClassArea[te.ilAmbClassFirst] + te.clAmbClass &&
               std::strcmp(pacLast->pszAmbClass, pszACText) == 0;
    };
    if (fGeneral) {
        if (te.clAmbClass > 0) {
            pac = &m.rgacAmbClassArea[te.ilAmbClassFirst];
            pszACText = pac->pszAmbClass;
        }
    } else if (fnSameClass(pacPending_)) {
        pac = pacPending_; // lines of one class come together
    } else if (fnSameClass(m.pacSuggLast)) {
        pac = m.pacSuggLast;
    } else {
        pac = FindAmbClassRec(pszACText, te, m);
    }
    if (pac == nullptr) {
        std::fprintf(stderr, "AC not found in data while adding feature to pool: %d/%s\n", t,
                     pszACText);
        return 0;
    }
    if (pac != pacPending_) Flush();

    // Chains of the class lines, rebuilt when the tag element changes.
    if (m.pteSuggLast != &te) {
        ChainClassLines(m, te, t);
        m.pteSuggLast = &te;
    }

    // The record with its defaults, then the terms.
    FeatureDesc& fd = Record(m.clFeatureSuggUsed + cPending_);
    std::vector<long> rgclCounts = std::move(fd.rgclCntTagElemGivenFeature);
    fd = FeatureDesc{};
    fd.iTagElem = t;
    fd.pacOfFeature = pac;
    fd.pszY = m.pszEmpty;
    fd.dLambda = 0.0;
    fd.clCnt = clCount;
    fd.ilNextFeature = 0;
    if (int rc = ParseTerms(psz, fd); rc > 0) {
        Flush();
        ExtendRange(pac);
        return rc;
    }

    fd.dLambda = 1.0;
    fd.cCntTagElemGivenFeature = static_cast<int>(std::strlen(pszACText));
    fd.pszACFeature = pac->pszAmbClass;
    if (std::strcmp(pszACText, pac->pszAmbClass) != 0) {
        FatalApp(ux_StrPrintf("%sDifferent AC vs. phashStr?? Feature: %s",
                              "AddFeatureFromStr: ", pszLine));
    }
    rgclCounts.assign(static_cast<std::size_t>(fd.cCntTagElemGivenFeature), 0);
    fd.rgclCntTagElemGivenFeature = std::move(rgclCounts);

    pacPending_ = pac;
    tPending_ = t;
    rgichLine_.push_back(szLines_.size());
    szLines_ += pszLine;
    szLines_ += '\0';
    ++cPending_;
    if (!fBatch_ || cPending_ >= kPendingMax) Flush();
    return kPoolPending;
}

// The counts of the pending records over the lines of their class, as
// ComputeFeatureCounts gives them. Instead of matching every record at every
// class line, the records are indexed by their first term: at each line the
// value each indexed first term would need is looked up, and only the records
// whose first term holds there are matched in full (with FeatureTrain). A
// record whose first term holds is always among those looked up, so the
// counts are exactly those of matching every record; records whose first
// term cannot be indexed this way are matched at every line.
void PoolLoader::CountRun(long ilFirst) {
    const DataTable& dt = *m_.pdtT;
    const AmbClass& ac = *pacPending_;
    rgilClass_.clear();
    if (ac.fACIgnore) {
        for (long il = 0; il < dt.clData; ++il) rgilClass_.push_back(il);
    } else {
        const std::vector<long>& rgilNext =
            dt.rgilNextAC[static_cast<std::size_t>(m_.rgfdFeatureSugg[ilFirst].iTagElem)];
        for (long il = ac.ilDataFirst; il >= 0 && il < dt.clData;
             il = rgilNext[static_cast<std::size_t>(il)]) {
            rgilClass_.push_back(il);
        }
    }
    const std::span<FeatureDesc> rgfd(m_.rgfdFeatureSugg.data() + ilFirst,
                                      static_cast<std::size_t>(cPending_));
    FirstTermIndex index(m_, dt, rgfd);
    // Every pending record has the class string: the index of a line's true
    // value in it is the same for all of them.
    const FeatureDesc& fdFirst = rgfd.front();
    std::size_t cValueMax = 0;
    for (FeatureDesc& fd : rgfd) {
        fd.clCnt = 0;
        std::fill(fd.rgclCntTagElemGivenFeature.begin(), fd.rgclCntTagElemGivenFeature.end(), 0L);
        cValueMax = std::max(cValueMax, fd.rgclCntTagElemGivenFeature.size());
    }
    // Counts the class lines iFrom .. iTo-1: fnHit(record, value index) for
    // every record that fires there.
    const auto CountLines = [&](std::size_t iFrom, std::size_t iTo, auto&& fnHit) {
        for (std::size_t i = iFrom; i < iTo; ++i) {
            const long il = rgilClass_[i];
            const int k = GetTagIndexInAmbClass(
                m_, dt.rgdl[static_cast<std::size_t>(il)].pszTag[tPending_], fdFirst);
            index.ForEachCandidate(il, [&](FeatureDesc& fd) {
                if (FeatureTrain(m_, fd, dt, il)) fnHit(fd, k);
            });
        }
    };
    const auto AddHit = [](FeatureDesc& fd, int k) {
        ++fd.clCnt;
        if (k >= 0 && static_cast<std::size_t>(k) < fd.rgclCntTagElemGivenFeature.size()) {
            ++fd.rgclCntTagElemGivenFeature[static_cast<std::size_t>(k)];
        }
    };

    // A large run is counted in parts side by side: the first part into the
    // records, the others into arrays of their own (per record its count,
    // then its counts by value), added to the records afterwards. The counts
    // are sums of ones, so they come out the same however the lines are split.
    const std::size_t cLines = rgilClass_.size();
    const std::size_t cParts =
        cLines * rgfd.size() < kCountPartWork
            ? 1
            : std::min<std::size_t>(static_cast<std::size_t>(cThreads_), cLines / kCountPartLines);
    if (cParts <= 1) {
        CountLines(0, cLines, AddHit);
    } else {
        const std::size_t cStride = cValueMax + 1;
        std::vector<std::vector<long>> rgrgclPart(cParts);
        std::vector<std::exception_ptr> rgpexc(cParts);
        {
            std::vector<std::jthread> rgThread;
            for (std::size_t p = 1; p < cParts; ++p) {
                rgThread.emplace_back([&, p] {
                    try {
                        std::vector<long>& rgcl = rgrgclPart[p];
                        rgcl.assign(rgfd.size() * cStride, 0);
                        CountLines(cLines * p / cParts, cLines * (p + 1) / cParts,
                                   [&](FeatureDesc& fd, int k) {
                                       const std::size_t j =
                                           static_cast<std::size_t>(&fd - rgfd.data()) * cStride;
                                       ++rgcl[j];
                                       if (k >= 0 && static_cast<std::size_t>(k) <
                                                         fd.rgclCntTagElemGivenFeature.size()) {
                                           ++rgcl[j + 1 + static_cast<std::size_t>(k)];
                                       }
                                   });
                    } catch (...) {
                        rgpexc[p] = std::current_exception();
                    }
                });
            }
            CountLines(0, cLines / cParts, AddHit);
        }
        for (std::size_t p = 1; p < cParts; ++p) {
            if (rgpexc[p]) std::rethrow_exception(rgpexc[p]);
            const std::vector<long>& rgcl = rgrgclPart[p];
            for (std::size_t j = 0; j < rgfd.size(); ++j) {
                FeatureDesc& fd = rgfd[j];
                fd.clCnt += rgcl[j * cStride];
                for (std::size_t k = 0; k < fd.rgclCntTagElemGivenFeature.size(); ++k)
                    fd.rgclCntTagElemGivenFeature[k] += rgcl[j * cStride + 1 + k];
            }
        }
    }
    const long clLines = static_cast<long>(rgilClass_.size());
    for (FeatureDesc& fd : rgfd) fd.clCntNoFire = clLines - fd.clCnt;
}

void PoolLoader::Flush() {
    if (cPending_ == 0) return;
    Model& m = m_;
    const long ilFirst = m.clFeatureSuggUsed;
    if (m.pdtT == nullptr || m.pdtH == nullptr) {
        FatalApp(ux_StrPrintf("%sComputeFeatureCounts failed at feature %s",
                              "AddFeatureFromStr: ", PendingLine(0)));
    }
    if (fBatch_) {
        CountRun(ilFirst);
    } else {
        for (long j = 0; j < cPending_; ++j) {
            long clErr = 0;
            if (ComputeFeatureCounts(m, *m.pdtT, *m.pdtH, tPending_, *pacPending_, clErr,
                                     m.rgfdFeatureSugg[ilFirst + j]) != 0) {
                FatalApp(ux_StrPrintf("%sComputeFeatureCounts failed at feature %s",
                                      "AddFeatureFromStr: ", PendingLine(j)));
            }
        }
    }

    // Finish the lines in order: the pool range, the entropy and the cut (a
    // cut record's place is taken by the next kept one).
    for (long j = 0; j < cPending_; ++j) {
        FeatureDesc& fd = m.rgfdFeatureSugg[ilFirst + j];
        ExtendRange(pacPending_);
        if (ComputeFeatureEntropy(&m, &fd) != 0) {
            FatalApp(ux_StrPrintf("%sComputeFeatureEntropy failed at feature %s",
                                  "AddFeatureFromStr: ", PendingLine(j)));
        }
        if (m.iSortSugg != 1 && (fd.dLambda > m.dSuggEntropyThr || std::isnan(fd.dLambda))) {
            AmbClass& ac = *pacPending_;
            --ac.ilSuggLast;
            if (ac.ilSuggLast < ac.ilSuggFirst) {
                ac.ilSuggFirst = -1;
                ac.ilSuggLast = -1;
            }
            iLastResult_ = -1;
            continue;
        }
        if (ilFirst + j != m.clFeatureSuggUsed) {
            std::swap(fd, m.rgfdFeatureSugg[m.clFeatureSuggUsed]);
        }
        ++m.clFeatureSuggUsed;
        ++cKept_;
        iLastResult_ = 0;
    }
    cPending_ = 0;
    szLines_.clear();
    rgichLine_.clear();
}

} // namespace

int GetHex(const char** ppsz) {
    const char* psz = *ppsz;
    int b = 0;
    for (int i = 0; i < 2; ++i) {
        b <<= 4;
        if (*psz != '\0') b |= HexValue(*psz++);
    }
    *ppsz = psz;
    return static_cast<signed char>(static_cast<unsigned char>(b));
}

int GetStr(std::span<char> szOut, const char** ppsz, char chDelim) {
    const char* psz = *ppsz;
    if (*psz == chDelim) ++psz;
    const char* pszStart = psz;
    std::size_t cch = 0;
    while (*psz != '\0' && *psz != chDelim) {
        if (cch + 1 >= szOut.size()) {
            ux_FatalError(kModApp, kMsgApp,
                          std::string("Too long string in feature pool: ") + pszStart);
        }
        szOut[cch++] = *psz++;
    }
    if (!szOut.empty()) szOut[cch] = '\0';
    if (*psz == chDelim) {
        *ppsz = psz + 1;
        return 0;
    }
    *ppsz = psz;
    return kStrNoDelim;
}

int AddFeatureFromStr(Model* pm, const char* pszLine) {
    PoolLoader loader(*pm, false);
    const int rc = loader.Add(pszLine);
    return rc == kPoolPending ? loader.iLastResult() : rc;
}

int ReadFeaturesPool(Model* pm) {
    Model& m = *pm;
    if (m.hFeaturePool != 0) {
        ux_Close(m.hFeaturePool);
        m.hFeaturePool = 0;
    }
    m.hFeaturePool = ux_Open(m.szFeaturePoolFile, "rt");
    m.pteSuggLast = nullptr;
    m.pacSuggLast = nullptr;

    // Read in blocks; a last line without a line feed is not used.
    std::vector<char> rgchBlock(1 << 16);
    std::string szLine;
    szLine.reserve(kPoolLineMax + 1);
    long ilLine = 0;
    bool fTooLong = false;
    PoolLoader loader(m, true);
    for (;;) {
        const long cb =
            ux_ReadMax(m.hFeaturePool, rgchBlock.data(), static_cast<long>(rgchBlock.size()));
        if (cb <= 0) break;
        for (long ib = 0; ib < cb; ++ib) {
            const char ch = rgchBlock[ib];
            if (ch != '\n') {
                if (szLine.size() < static_cast<std::size_t>(kPoolLineMax)) {
                    szLine += ch;
                } else {
                    fTooLong = true;
                }
                continue;
            }
            if (fTooLong) {
                loader.Flush();
                std::fprintf(
                    stderr, "%s: line %ld of feature pool %s is longer than %d characters\n",
                    ux_ProgName().c_str(), ilLine + 1, m.szFeaturePoolFile.c_str(), kPoolLineMax);
                return kPoolLineTooLong;
            }
            const int rc = loader.Add(szLine.c_str());
            if (rc > 0) return kPoolFileLine + rc;
            szLine.clear();
            ++ilLine;
        }
    }
    loader.Flush();
    // Nothing reads the file after the pool is loaded.
    ux_Close(m.hFeaturePool);
    m.hFeaturePool = 0;
    PrintPoolRanges(m);
    return 0;
}

int StrCmpRef(const char* const& psz1, const char* const& psz2) {
    return std::strcmp(psz1, psz2);
}

int SortFeatureSugg(Model* pm, int cThreads) {
    Model& m = *pm;
    std::fprintf(stderr, "FS hash: %s\n",
                 m.phashSugg != nullptr ? ux_HashStatText(m.phashSugg.get()).c_str() : "");

    // Group the generated features by class key ("te AC"). Each entry keeps
    // pointers to the strings stored in phashSugg, which lives until the
    // pool is loaded. Within a class, the entries are taken newest first.
    struct SortEntry {
        const char* pszBody; // the feature from the term count on
        const char* pszData; // the data string ("" or the true value)
        long lCount;
    };
    const std::size_t cClassMax = static_cast<std::size_t>(std::max(m.clAmbClassAreaSize, 0L));
    std::vector<const char*> rgpszClass;
    rgpszClass.reserve(cClassMax + 1);
    std::unordered_map<std::string_view, std::size_t> mpClass;
    std::vector<std::vector<SortEntry>> rgrgEntry;

    const char* pszKey = nullptr;
    const char* pszData = nullptr;
    long lCount = 0;
    HashTable* phashSugg = m.phashSugg.get();
    for (int rc = phashSugg != nullptr ? ux_HashFirstDataPtr(phashSugg, &pszKey, &pszData, &lCount)
                                       : -1;
         rc != -1; rc = ux_HashNextDataPtr(phashSugg, &pszKey, &pszData, &lCount)) {
        const std::size_t cchKey = std::strlen(pszKey);
        if (cchKey > kSortStrMax || std::strlen(pszData) > kSortStrMax) {
            FatalApp(ux_StrPrintf("feature/y truncated when sorting (%s/%s)",
                                  std::string(pszKey, std::min(cchKey, kSortStrMax)).c_str(),
                                  std::string(pszData).substr(0, kSortStrMax).c_str()));
        }
        const char* pchBlank1 = std::strchr(pszKey, ' ');
        const char* pchBlank2 = pchBlank1 != nullptr ? std::strchr(pchBlank1 + 1, ' ') : nullptr;
        if (cchKey == 0 || pchBlank2 == nullptr) {
            FatalApp(ux_StrPrintf("wrong feature format (sort input): (%s/%ld/%s)", pszKey, lCount,
                                  pszData));
        }
        const std::string_view szClassKey(pszKey, static_cast<std::size_t>(pchBlank2 - pszKey));
        auto it = mpClass.find(szClassKey);
        if (it == mpClass.end()) {
            if (rgpszClass.size() >= cClassMax) {
                FatalApp(ux_StrPrintf("cannot add tag elem + AC (%s) to sort array; small "
                                      "AmbClassAreaSize (%ld)!",
                                      std::string(szClassKey).c_str(), m.clAmbClassAreaSize));
            }
            const char* pszClass = nullptr;
            if (ux_HashMemberPtr(m.phashStr.get(), szClassKey, &pszClass) > 0) {
                FatalApp("cannot add tag elem + AC string to hash area!");
            }
            rgpszClass.push_back(pszClass);
            it = mpClass.emplace(std::string_view(pszClass), rgrgEntry.size()).first;
            rgrgEntry.emplace_back();
        }
        rgrgEntry[it->second].push_back(SortEntry{pchBlank2 + 1, pszData, lCount});
    }

    std::vector<std::size_t> rgiOrder(rgpszClass.size());
    for (std::size_t i = 0; i < rgiOrder.size(); ++i) rgiOrder[i] = i;
    std::sort(rgiOrder.begin(), rgiOrder.end(), [&](std::size_t i1, std::size_t i2) {
        return StrCmpRef(rgpszClass[i1], rgpszClass[i2]) < 0;
    });
    std::fprintf(stderr, "Features sorted (%ld classes).\n", static_cast<long>(rgpszClass.size()));
    std::fprintf(stderr, "Moving features to training position.\n");

    struct FileCloser {
        void operator()(std::FILE* pf) const { std::fclose(pf); }
    };
    std::unique_ptr<std::FILE, FileCloser> pfOut;
    if (m.iFeatureMode == 1) {
        pfOut.reset(std::fopen(m.szFeaturePoolFile.c_str(), "w"));
        if (pfOut == nullptr) {
            FatalApp(
                ux_StrPrintf("cannot open output fsugg file (%s)", m.szFeaturePoolFile.c_str()));
        }
        std::fprintf(stderr, "Writing features to %s.\n", m.szFeaturePoolFile.c_str());
    }

    long cAdded = 0; // lines of classes the data does not have; the kept ones follow
    PoolLoader loader(m, true, cThreads);
    std::string szLine;
    for (std::size_t c = 0; c < rgiOrder.size(); ++c) {
        const char* pszClass = rgpszClass[rgiOrder[c]];
        std::fprintf(stderr, "Moving features te/AC: %s (%ld)\n", pszClass, static_cast<long>(c));
        const std::vector<SortEntry>& rgEntry = rgrgEntry[rgiOrder[c]];
        for (auto it = rgEntry.rbegin(); it != rgEntry.rend(); ++it) {
            // Most generated features occur too rarely for the pool; their
            // lines are made only for the pool file.
            if (pfOut == nullptr && loader.SkipsCount(it->lCount)) continue;
            szLine = std::to_string(it->lCount);
            szLine += ' ';
            szLine += pszClass;
            szLine += ' ';
            szLine += it->pszBody;
            szLine += ' ';
            szLine += it->pszData;
            if (pfOut != nullptr) {
                if (std::fputs(szLine.c_str(), pfOut.get()) < 0 ||
                    std::fputc('\n', pfOut.get()) == EOF) {
                    FatalApp(ux_StrPrintf("cannot write to output fsugg file (%s): %s",
                                          m.szFeaturePoolFile.c_str(), std::strerror(errno)));
                }
            }
            const int rc = loader.Add(szLine.c_str());
            if (rc > 0) {
                FatalApp(
                    ux_StrPrintf("cannot add generated feature (%s), code %d", szLine.c_str(), rc));
            }
            if (rc == 0) ++cAdded;
        }
    }
    loader.Flush();
    cAdded += loader.cKept();
    if (pfOut != nullptr) {
        errno = 0;
        const bool fOk = !std::ferror(pfOut.get());
        if (std::fclose(pfOut.release()) != 0 || !fOk) {
            FatalApp(ux_StrPrintf("cannot write to output fsugg file (%s): %s",
                                  m.szFeaturePoolFile.c_str(),
                                  errno != 0 ? std::strerror(errno) : "write error"));
        }
    }

    std::fprintf(stderr, "~~~ FEATURE POOL SIZE: %d\n", static_cast<int>(cAdded));
    PrintPoolRanges(m);
    rgrgEntry.clear();
    if (m.phashSugg != nullptr) ux_HashFree(&m.phashSugg);
    m.phashSort.reset();
    return 0;
}

} // namespace vexta
