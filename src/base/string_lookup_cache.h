// A cache of look-ups in a string table that does not change while the
// cache is used, in sets of a few slots per hash value: short strings (up to
// kKeyMax bytes) to the address the table gave for them or, for a string the
// table lacks, to the copy the caller made of it, which stays valid while
// the store of copies is in the state it was in then. A slot keeps its whole
// key, so a hit is exact; a new key takes the place of the one its set got
// longest ago. Clear it whenever the table it caches may have changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vexta {

class StringLookupCache {
public:
    static constexpr std::size_t kKeyMax = 16;

    // True with the cached string in psz when sz was looked up before, is
    // still cached and, when psz is a copy, the store of copies is still in
    // the state uNow it was in when the copy was put.
    [[gnu::always_inline]] bool Find(std::string_view sz, std::uint64_t uNow,
                                     const char*& psz) const {
        if (sz.size() > kKeyMax || rgslot_.empty()) return false;
        const Key key = MakeKey(sz);
        const Slot* pslot = &rgslot_[SetOf(key) * kWays];
        for (std::size_t k = 0; k < kWays; ++k, ++pslot) {
            if (!Holds(*pslot, key)) continue;
            const std::uint64_t uValid = pslot->uMeta >> kCchBits;
            if (uValid != 0 && uValid != uNow + 1) return false;
            psz = pslot->psz;
            return true;
        }
        return false;
    }

    // Asks the processor for the set that a look-up of sz reads, for one
    // that comes soon. Only the timing changes.
    [[gnu::always_inline]] void Prefetch(std::string_view sz) const {
        if (sz.size() > kKeyMax || rgslot_.empty()) return;
        const auto* const pch = reinterpret_cast<const char*>(&rgslot_[SetOf(MakeKey(sz)) * kWays]);
        __builtin_prefetch(pch);
        __builtin_prefetch(pch + sizeof(Slot) * kWays - 1);
    }

    // True when sz was looked up before, is still cached and the table
    // lacks it (what was put for it was a copy), whatever the state of the
    // store of copies now.
    bool Lacks(std::string_view sz) const {
        if (sz.size() > kKeyMax || rgslot_.empty()) return false;
        const Key key = MakeKey(sz);
        const Slot* pslot = &rgslot_[SetOf(key) * kWays];
        for (std::size_t k = 0; k < kWays; ++k, ++pslot)
            if (Holds(*pslot, key)) return (pslot->uMeta >> kCchBits) != 0;
        return false;
    }

    // Remembers psz for sz: the table's string, or (fCopy) a copy that stays
    // valid while the store of copies is in the state uNow. A key new to
    // its set takes the place of the one put longest ago.
    void Put(std::string_view sz, const char* psz, bool fCopy, std::uint64_t uNow) {
        if (sz.size() > kKeyMax) return;
        if (rgslot_.empty()) rgslot_.resize(kSets * kWays);
        const Key key = MakeKey(sz);
        Slot* const pset = &rgslot_[SetOf(key) * kWays];
        std::size_t k = 0;
        while (k + 1 < kWays && !Holds(pset[k], key)) ++k;
        // A key not in the set goes first; the last slot's key is dropped.
        if (!Holds(pset[k], key))
            for (; k > 0; --k) pset[k] = pset[k - 1];
        pset[k] = {key.w0, key.w1, psz, key.cch | ((fCopy ? uNow + 1 : 0) << kCchBits)};
    }

    // Forgets every answer (the slots stay allocated).
    void Clear() {
        for (Slot& slot : rgslot_) slot = Slot();
    }

private:
    // Room for the forms and lemmas a corpus repeats (some 12,700 distinct
    // in 53,000 tokens of Czech), in sets of two slots: with one slot per
    // hash value, or fewer of them, many strings collide and are looked up
    // in the table again.
    static constexpr std::size_t kWays = 2;
    static constexpr std::size_t kSets = 16384;
    static constexpr int kSetBits = 14;
    // A slot's length and the validity of its copy share one word.
    static constexpr int kCchBits = 8;
    static constexpr std::uint64_t kCchMask = (std::uint64_t{1} << kCchBits) - 1;
    // The text of a key as two words that together hold every byte of it
    // (they overlap for keys shorter than 16 bytes), and its length.
    struct Key {
        std::uint64_t w0 = 0;
        std::uint64_t w1 = 0;
        std::uint64_t cch = 0;
    };
    struct Slot {
        std::uint64_t w0 = 0;
        std::uint64_t w1 = 0;
        const char* psz = nullptr;
        // The length in the low kCchBits (all ones: an empty slot), above
        // it 0 when psz is the table's string, else the store's state + 1.
        std::uint64_t uMeta = ~std::uint64_t{0};
    };

    static std::uint64_t Load32(const char* pch) {
        std::uint32_t u = 0;
        std::memcpy(&u, pch, 4);
        return u;
    }
    static std::uint64_t Load64(const char* pch) {
        std::uint64_t u = 0;
        std::memcpy(&u, pch, 8);
        return u;
    }
    // For a given length the words are the same only for the same text: from
    // 8 bytes on, the first eight and the last eight bytes; from 4 on, the
    // first four and the last four; below that, the first, middle and last
    // byte.
    [[gnu::always_inline]] static Key MakeKey(std::string_view sz) {
        const char* const pch = sz.data();
        const std::size_t cch = sz.size();
        Key key;
        key.cch = cch;
        if (cch >= 8) {
            key.w0 = Load64(pch);
            key.w1 = Load64(pch + cch - 8);
        } else if (cch >= 4) {
            key.w0 = Load32(pch) | (Load32(pch + cch - 4) << 32);
        } else if (cch > 0) {
            key.w0 = static_cast<unsigned char>(pch[0]) |
                     (std::uint64_t{static_cast<unsigned char>(pch[cch / 2])} << 8) |
                     (std::uint64_t{static_cast<unsigned char>(pch[cch - 1])} << 16);
        }
        return key;
    }
    static bool Holds(const Slot& slot, const Key& key) {
        return slot.w0 == key.w0 && slot.w1 == key.w1 && (slot.uMeta & kCchMask) == key.cch;
    }
    static std::size_t SetOf(const Key& key) {
        const std::uint64_t h =
            (key.w0 * 0x9E3779B97F4A7C15ULL) ^ ((key.w1 + key.cch) * 0xC2B2AE3D27D4EB4FULL);
        return static_cast<std::size_t>(h >> (64 - kSetBits));
    }

    std::vector<Slot> rgslot_; // kSets * kWays once the first answer is put
};

} // namespace vexta
