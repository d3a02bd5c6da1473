// A direct-mapped cache of look-ups in a string table that does not change
// while the cache is used: short strings (up to kKeyMax bytes) to the
// address the table gave for them or, for a string the table lacks, to the
// copy the caller made of it, which stays valid while the store of copies
// is in the state it was in then. A slot keeps its whole key, so a hit is
// exact; a new key takes over the slot of an old one. Clear it whenever the
// table it caches may have changed.
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
    bool Find(std::string_view sz, std::uint64_t uNow, const char*& psz) const {
        if (sz.size() > kKeyMax || rgslot_.empty()) return false;
        const Key key = MakeKey(sz);
        const Slot& slot = rgslot_[SlotOf(key)];
        if (slot.key.w0 != key.w0 || slot.key.w1 != key.w1 || slot.key.cch != key.cch ||
            (slot.uCopyValid != 0 && slot.uCopyValid != uNow + 1))
            return false;
        psz = slot.psz;
        return true;
    }

    // Remembers psz for sz: the table's string, or (fCopy) a copy that stays
    // valid while the store of copies is in the state uNow.
    void Put(std::string_view sz, const char* psz, bool fCopy, std::uint64_t uNow) {
        if (sz.size() > kKeyMax) return;
        if (rgslot_.empty()) rgslot_.resize(kSlots);
        const Key key = MakeKey(sz);
        Slot& slot = rgslot_[SlotOf(key)];
        slot.key = key;
        slot.psz = psz;
        slot.uCopyValid = fCopy ? uNow + 1 : 0;
    }

    // Forgets every answer (the slots stay allocated).
    void Clear() {
        for (Slot& slot : rgslot_) slot = Slot();
    }

private:
    // Room for the forms and lemmas a corpus repeats (some 12,700 distinct
    // in 53,000 tokens of Czech): with fewer slots, many collide and are
    // looked up in the table again.
    static constexpr std::size_t kSlots = 16384;
    static constexpr int kSlotBits = 14;
    struct Key {
        std::uint64_t w0 = 0;
        std::uint64_t w1 = 0;
        std::uint64_t cch = ~std::uint64_t{0}; // no key has this length: an empty slot
    };
    struct Slot {
        Key key;
        const char* psz = nullptr;
        std::uint64_t uCopyValid = 0; // 0: psz is the table's; else the store's state + 1
    };

    static Key MakeKey(std::string_view sz) {
        char rgch[kKeyMax] = {};
        std::memcpy(rgch, sz.data(), sz.size());
        Key key;
        std::memcpy(&key.w0, rgch, 8);
        std::memcpy(&key.w1, rgch + 8, 8);
        key.cch = sz.size();
        return key;
    }
    static std::size_t SlotOf(const Key& key) {
        const std::uint64_t h =
            (key.w0 * 0x9E3779B97F4A7C15ULL) ^ ((key.w1 + key.cch) * 0xC2B2AE3D27D4EB4FULL);
        return static_cast<std::size_t>(h >> (64 - kSlotBits));
    }

    std::vector<Slot> rgslot_; // kSlots once the first answer is put
};

} // namespace vexta
