// A direct-mapped cache of look-ups in a string table that does not change
// while the cache is used: short strings (up to kKeyMax bytes) to the
// address the table gave for them, or to none when the table lacks them.
// A slot keeps its whole key, so a hit is exact; a new key takes over the
// slot of an old one. Clear it whenever the table it caches may have changed.
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

    // True with the cached answer in psz (null: the table lacks sz) when sz
    // was looked up before and is still cached.
    bool Find(std::string_view sz, const char*& psz) const {
        if (sz.size() > kKeyMax || rgslot_.empty()) return false;
        const Key key = MakeKey(sz);
        const Slot& slot = rgslot_[SlotOf(key)];
        if (slot.key.w0 != key.w0 || slot.key.w1 != key.w1 || slot.key.cch != key.cch) return false;
        psz = slot.psz;
        return true;
    }

    // Remembers the answer psz (null: the table lacks sz) for sz.
    void Put(std::string_view sz, const char* psz) {
        if (sz.size() > kKeyMax) return;
        if (rgslot_.empty()) rgslot_.resize(kSlots);
        const Key key = MakeKey(sz);
        Slot& slot = rgslot_[SlotOf(key)];
        slot.key = key;
        slot.psz = psz;
    }

    // Forgets every answer (the slots stay allocated).
    void Clear() {
        for (Slot& slot : rgslot_) slot = Slot();
    }

private:
    static constexpr std::size_t kSlots = 4096;
    static constexpr int kSlotBits = 12;
    struct Key {
        std::uint64_t w0 = 0;
        std::uint64_t w1 = 0;
        std::uint64_t cch = ~std::uint64_t{0}; // no key has this length: an empty slot
    };
    struct Slot {
        Key key;
        const char* psz = nullptr;
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
