// What follows from a token's candidate set, kept for the tokens that
// follow: the AC part the event reader makes of it, and what the parse of a
// data line makes of its AC part and candidate part. A corpus has few
// distinct sets (about 1,300 in 53,000 tokens of Czech), so most tokens
// find theirs here. A slot keeps its whole key, so a hit is exact; a new
// key takes over the slot of an old one (the reader's cache has one slot to
// a hash value, the parse's two).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexta {

// A hash of sz and a number, eight bytes at a time.
inline std::uint64_t HashText(std::string_view sz, std::uint64_t n) {
    std::uint64_t h = n * 0x9E3779B97F4A7C15ULL;
    std::size_t ich = 0;
    for (; ich + 8 <= sz.size(); ich += 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, sz.data() + ich, 8);
        h = (h ^ w) * 0xC2B2AE3D27D4EB4FULL;
    }
    std::uint64_t w = 0;
    if (ich < sz.size()) std::memcpy(&w, sz.data() + ich, sz.size() - ich);
    return (h ^ w ^ sz.size()) * 0x9E3779B97F4A7C15ULL;
}

// Bit t set: the AC string of tag element t has two values or more, that is
// a choice is left in the element (elements from 32 on are not marked).
inline std::uint32_t MultiValuedMask(std::span<const char* const> rgpszAC) {
    std::uint32_t u = 0;
    for (std::size_t t = 0; t < rgpszAC.size() && t < 32; ++t) {
        const char* psz = rgpszAC[t];
        if (psz != nullptr && psz[0] != '\0' && psz[1] != '\0') u |= std::uint32_t{1} << t;
    }
    return u;
}

// What the parse of a data line makes of its AC part and candidate part:
// the interned AC strings and candidates, valid as long as the string table
// pvOwner is the one interned into and the store of copies is in the state
// uValid (see CandidateSetCache::Find). pvOwner null: nothing is kept.
struct CandidateSetParse {
    const void* pvOwner = nullptr;         // string table the strings belong to
    std::uint64_t uValid = 0;              // while the strings and lists are valid
    std::span<const char* const> rgpszAC;  // interned AC strings
    std::span<const char* const> rgpszMMt; // interned candidates
    std::uint32_t uMultiValued = 0;        // MultiValuedMask of the AC strings

    bool ValidFor(const void* pvTable, std::uint64_t uNow) const {
        return pvOwner != nullptr && pvOwner == pvTable && uValid == uNow;
    }
};

// The parse of the AC part and candidate part of data lines: the interned
// AC strings and candidates. An entry names the string table its strings
// were interned in and how long they stay valid (a copy of a string the
// table lacks lives until its store is cleared); an entry of another table
// or time is no hit. Clear it whenever that table may have been replaced.
class CandidateSetCache {
public:
    // Parts of at most this many characters together are kept.
    static constexpr std::size_t kTextMax = 512;

    struct Entry : CandidateSetParse {
        std::string szText;    // the AC part, then the candidate part
        std::size_t cchAC = 0; // length of the AC part in szText
    };

    // The entry of the pair of parts with cAC AC strings, or null. pvOwner
    // is the string table the caller interns into and uValid the present
    // state of the store of copies (its generation); an entry put with
    // other values is no hit.
    const Entry* Find(std::string_view szAC, std::string_view szMMt, std::size_t cAC,
                      const void* pvOwner, std::uint64_t uValid) const {
        if (rgslot_.empty() || szAC.size() + szMMt.size() > kTextMax) return nullptr;
        const Entry* pe = &rgslot_[SetOf(szMMt, szAC.size()) * kWays];
        for (std::size_t k = 0; k < kWays; ++k, ++pe)
            if (pe->pvOwner == pvOwner && pe->uValid == uValid && pe->rgpszAC.size() == cAC &&
                pe->cchAC == szAC.size() && pe->szText.size() == szAC.size() + szMMt.size() &&
                std::memcmp(pe->szText.data(), szAC.data(), szAC.size()) == 0 &&
                std::memcmp(pe->szText.data() + szAC.size(), szMMt.data(), szMMt.size()) == 0)
                return pe;
        return nullptr;
    }

    // Keeps the pair with its AC strings and candidates (in line order), in
    // the first slot of its set; the other slots' entries move on by one and
    // the last one is dropped. The lists are not copied: they must stay
    // where they are as long as uValid says the entry is valid.
    void Put(std::string_view szAC, std::string_view szMMt, const void* pvOwner,
             std::uint64_t uValid, std::span<const char* const> rgpszAC,
             std::span<const char* const> rgpszMMt) {
        if (szAC.size() + szMMt.size() > kTextMax) return;
        if (rgslot_.empty()) rgslot_.resize(kSets * kWays);
        Entry* const pset = &rgslot_[SetOf(szMMt, szAC.size()) * kWays];
        for (std::size_t k = kWays - 1; k > 0; --k) std::swap(pset[k], pset[k - 1]);
        Entry& e = pset[0];
        e.szText.assign(szAC).append(szMMt);
        e.cchAC = szAC.size();
        e.pvOwner = pvOwner;
        e.uValid = uValid;
        e.rgpszAC = rgpszAC;
        e.rgpszMMt = rgpszMMt;
        e.uMultiValued = MultiValuedMask(rgpszAC);
    }

    // Forgets every entry (the slots stay allocated).
    void Clear() {
        for (Entry& e : rgslot_) e.pvOwner = nullptr;
    }

private:
    // Several times the distinct sets of a corpus (see above), two slots to
    // a hash value: with fewer slots, or one to a value, sets sharing a
    // value were often parsed again.
    static constexpr std::size_t kWays = 2;
    static constexpr std::size_t kSets = 4096;
    static constexpr int kSetBits = 12;

    static std::size_t SetOf(std::string_view szMMt, std::size_t cchAC) {
        return HashText(szMMt, cchAC) >> (64 - kSetBits);
    }

    std::vector<Entry> rgslot_; // kSets * kWays once the first entry is put
};

// The AC parts the event reader made of candidate sets met before, by the
// candidates' text (each followed by "/", in the order first seen) when
// every candidate has cTagElem characters: the text then says what the
// candidates are. One slot to a hash value. A slot also keeps the parse of
// the set that a data table made last (CandidateSetParse), so that a line
// the reader has just put together from the set is parsed without looking
// its parts up again; a new set in the slot starts without one.
class AcPartCache {
public:
    static constexpr std::size_t kTextMax = 512;

    // True with the AC part in szAC (valid until the next Put), the flag put
    // with it and the parse kept with it (pparse, valid until the next Put
    // or ForgetParses) when the candidates szCands of cElem characters each
    // were met before.
    bool Find(std::string_view szCands, std::size_t cElem, std::string_view& szAC, bool& fPlain,
              CandidateSetParse*& pparse) {
        if (rgslot_.empty() || szCands.size() > kTextMax) return false;
        Entry& e = rgslot_[HashText(szCands, cElem) >> (64 - kSlotBits)];
        if (e.cElem != cElem || e.szCands != szCands) return false;
        szAC = e.szAC;
        fPlain = e.fPlain;
        pparse = &e.parse;
        return true;
    }

    // Keeps the set; the parse of the set (none yet) for the caller to
    // fill, or null when the set is too long to be kept.
    CandidateSetParse* Put(std::string_view szCands, std::size_t cElem, std::string_view szAC,
                           bool fPlain) {
        if (szCands.size() > kTextMax) return nullptr;
        if (rgslot_.empty()) rgslot_.resize(kSlots);
        Entry& e = rgslot_[HashText(szCands, cElem) >> (64 - kSlotBits)];
        e.szCands.assign(szCands);
        e.szAC.assign(szAC);
        e.cElem = cElem;
        e.fPlain = fPlain;
        e.parse = {};
        return &e.parse;
    }

    // Forgets the parses kept with the sets: for a reader whose lines go to
    // another data table from now on.
    void ForgetParses() {
        for (Entry& e : rgslot_) e.parse = {};
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr int kSlotBits = 12;
    struct Entry {
        std::string szCands;
        std::string szAC;
        std::size_t cElem = ~std::size_t{0}; // no cTagElem: an empty slot
        bool fPlain = false;
        CandidateSetParse parse;
    };
    std::vector<Entry> rgslot_; // kSlots once the first entry is put
};

} // namespace vexta
