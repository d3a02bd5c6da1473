// What the parse of a data line made of its AC part and candidate part,
// kept for the lines that follow. Both parts follow from the token's
// candidate set, and a corpus has few distinct sets (about 1,300 in 53,000
// tokens of Czech), so most lines find their parts here and skip splitting
// and interning them again. A direct-mapped cache: a slot keeps both parts'
// whole text, so a hit is exact; a new pair takes over the slot of an old
// one. An entry names the string table its strings were interned in and
// how long they stay valid (a copy of a string the table lacks lives until
// its store is cleared); an entry of another table or time is no hit.
// Clear it whenever that table may have been replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vexta {

class CandidateSetCache {
public:
    // Parts of at most this many characters together are kept.
    static constexpr std::size_t kTextMax = 512;

    struct Entry {
        std::string szText;             // the AC part, then the candidate part
        std::size_t cchAC = 0;          // length of the AC part in szText
        std::size_t cAC = 0;            // AC strings, then the candidates, in rgpsz
        const void* pvOwner = nullptr;  // string table the strings belong to
        std::uint64_t uValid = 0;       // while the strings are valid (see Find)
        std::vector<const char*> rgpsz; // interned AC strings, then candidates
    };

    // The entry of the pair of parts with cAC AC strings, or null. pvOwner
    // is the string table the caller interns into and uValid the present
    // state of the store of copies (its generation); an entry put with
    // other values is no hit.
    const Entry* Find(std::string_view szAC, std::string_view szMMt, std::size_t cAC,
                      const void* pvOwner, std::uint64_t uValid) const {
        if (rgslot_.empty() || szAC.size() + szMMt.size() > kTextMax) return nullptr;
        const Entry& e = rgslot_[SlotOf(szMMt, szAC.size())];
        if (e.pvOwner != pvOwner || e.uValid != uValid || e.cAC != cAC || e.cchAC != szAC.size() ||
            e.szText.size() != szAC.size() + szMMt.size() ||
            std::memcmp(e.szText.data(), szAC.data(), szAC.size()) != 0 ||
            std::memcmp(e.szText.data() + szAC.size(), szMMt.data(), szMMt.size()) != 0)
            return nullptr;
        return &e;
    }

    // Keeps the pair with its AC strings and candidates (in line order).
    void Put(std::string_view szAC, std::string_view szMMt, const void* pvOwner,
             std::uint64_t uValid, const std::vector<const char*>& rgpszAC,
             const std::vector<const char*>& rgpszMMt) {
        if (szAC.size() + szMMt.size() > kTextMax) return;
        if (rgslot_.empty()) rgslot_.resize(kSlots);
        Entry& e = rgslot_[SlotOf(szMMt, szAC.size())];
        e.szText.assign(szAC).append(szMMt);
        e.cchAC = szAC.size();
        e.cAC = rgpszAC.size();
        e.pvOwner = pvOwner;
        e.uValid = uValid;
        e.rgpsz.assign(rgpszAC.begin(), rgpszAC.end());
        e.rgpsz.insert(e.rgpsz.end(), rgpszMMt.begin(), rgpszMMt.end());
    }

    // Forgets every entry (the slots stay allocated).
    void Clear() {
        for (Entry& e : rgslot_) e.pvOwner = nullptr;
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr int kSlotBits = 12;

    // By the candidate part (the AC part follows from it) and the AC part's
    // length, eight bytes at a time.
    static std::size_t SlotOf(std::string_view szMMt, std::size_t cchAC) {
        std::uint64_t h = cchAC * 0x9E3779B97F4A7C15ULL;
        std::size_t ich = 0;
        for (; ich + 8 <= szMMt.size(); ich += 8) {
            std::uint64_t w = 0;
            std::memcpy(&w, szMMt.data() + ich, 8);
            h = (h ^ w) * 0xC2B2AE3D27D4EB4FULL;
        }
        std::uint64_t w = 0;
        std::memcpy(&w, szMMt.data() + ich, szMMt.size() - ich);
        h = (h ^ w ^ szMMt.size()) * 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(h >> (64 - kSlotBits));
    }

    std::vector<Entry> rgslot_; // kSlots once the first entry is put
};

} // namespace vexta
