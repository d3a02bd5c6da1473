// Copying and comparing the short texts of a line (tags, forms, lemmas)
// without a call.
#pragma once

#include <string_view>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vexta {

// Copies cch characters from pchFrom to pchTo (which do not overlap); their
// end at pchTo. A text of up to 32 characters is copied as two pieces of the
// largest size not above its length that together hold every character of
// it (overlapping when it is shorter than twice their size); a longer one by
// memcpy.
inline char* CopyShort(char* pchTo, const char* pchFrom, std::size_t cch) {
    const auto Two = [&]<std::size_t N>() {
        char rgch1[N], rgch2[N];
        std::memcpy(rgch1, pchFrom, N);
        std::memcpy(rgch2, pchFrom + cch - N, N);
        std::memcpy(pchTo, rgch1, N);
        std::memcpy(pchTo + cch - N, rgch2, N);
    };
    if (cch >= 8) {
        if (cch <= 16)
            Two.template operator()<8>();
        else if (cch <= 32)
            Two.template operator()<16>();
        else
            std::memcpy(pchTo, pchFrom, cch);
    } else if (cch >= 4) {
        Two.template operator()<4>();
    } else if (cch > 0) {
        const char ch0 = pchFrom[0], ch1 = pchFrom[cch / 2], ch2 = pchFrom[cch - 1];
        pchTo[0] = ch0;
        pchTo[cch / 2] = ch1;
        pchTo[cch - 1] = ch2;
    }
    return pchTo + cch;
}

// Whether sz1 and sz2 are the same text. Texts of 8 to 16 characters, as
// tags mostly are, are compared as two words each.
inline bool SameShort(std::string_view sz1, std::string_view sz2) {
    const std::size_t cch = sz1.size();
    if (cch != sz2.size()) return false;
    if (cch < 8 || cch > 16) return sz1 == sz2;
    std::uint64_t w1, w2, w3, w4;
    std::memcpy(&w1, sz1.data(), 8);
    std::memcpy(&w2, sz2.data(), 8);
    std::memcpy(&w3, sz1.data() + cch - 8, 8);
    std::memcpy(&w4, sz2.data() + cch - 8, 8);
    return ((w1 ^ w2) | (w3 ^ w4)) == 0;
}

// Whether sz1 and sz2 are the same text, compared without a call when they
// have at most 16 characters, as forms and lemmas mostly do: as two
// overlapping pieces of 8 or 4 characters, or (up to 3) character by
// character.
inline bool SameText(std::string_view sz1, std::string_view sz2) {
    const std::size_t cch = sz1.size();
    if (cch != sz2.size()) return false;
    if (cch >= 8) return SameShort(sz1, sz2);
    const char* pch1 = sz1.data();
    const char* pch2 = sz2.data();
    if (cch >= 4) {
        std::uint32_t w1, w2, w3, w4;
        std::memcpy(&w1, pch1, 4);
        std::memcpy(&w2, pch2, 4);
        std::memcpy(&w3, pch1 + cch - 4, 4);
        std::memcpy(&w4, pch2 + cch - 4, 4);
        return ((w1 ^ w2) | (w3 ^ w4)) == 0;
    }
    return cch == 0 ||
           (pch1[0] == pch2[0] && pch1[cch / 2] == pch2[cch / 2] && pch1[cch - 1] == pch2[cch - 1]);
}

} // namespace vexta
