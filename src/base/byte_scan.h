// Looking for bytes in a run eight bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vexta {

inline constexpr std::uint64_t kByteOnes = 0x0101010101010101;
inline constexpr std::uint64_t kByteHighs = 0x8080808080808080;

// The eight bytes at pch as one word.
inline std::uint64_t LoadWord(const char* pch) {
    std::uint64_t w = 0;
    std::memcpy(&w, pch, sizeof w);
    return w;
}

// Whether a byte of w is below n (n at most 128).
inline bool WordHasByteBelow(std::uint64_t w, unsigned n) {
    return ((w - kByteOnes * n) & ~w & kByteHighs) != 0;
}

// The bytes of w below n (n at most 128), exactly: the high bit of each such
// byte is set, every other bit is clear. (The high bit of a byte's low seven
// bits plus 128 - n is set when they are n or more.)
inline std::uint64_t WordBytesBelow(std::uint64_t w, unsigned n) {
    return ~(((w & ~kByteHighs) + kByteOnes * (128 - n)) | w) & kByteHighs;
}

// The bytes of w equal to ch, exactly, marked as by WordBytesBelow.
inline std::uint64_t WordBytesEqual(std::uint64_t w, char ch) {
    return WordBytesBelow(w ^ (kByteOnes * static_cast<unsigned char>(ch)), 1);
}

// Whether a byte of w equals ch.
inline bool WordHasByte(std::uint64_t w, char ch) {
    return WordHasByteBelow(w ^ (kByteOnes * static_cast<unsigned char>(ch)), 1);
}

// Whether pch[0 .. cch) holds a byte for which fByte holds; fWord(pch) tells
// the same of the eight bytes at pch. A run of eight or more is read in
// words, its last one overlapping the one before.
template <typename WordTest, typename ByteTest>
bool AnyByte(const char* pch, std::size_t cch, WordTest fWord, ByteTest fByte) {
    if (cch < 8) {
        for (std::size_t k = 0; k < cch; ++k)
            if (fByte(pch[k])) return true;
        return false;
    }
    for (std::size_t k = 0; k + 8 <= cch; k += 8)
        if (fWord(pch + k)) return true;
    return cch % 8 != 0 && fWord(pch + cch - 8);
}

} // namespace vexta
