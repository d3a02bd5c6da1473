// UTF-8 lower-casing, character cutting and form shapes.
#include "analyser/text_shape.h"

namespace vexta {

namespace {

// Decodes the character at sz[ich]: its code point and length, or -1 and 1
// for a byte that does not start a well-formed sequence.
long Decode(std::string_view sz, std::size_t ich, std::size_t& cch) {
    const auto b0 = static_cast<unsigned char>(sz[ich]);
    cch = 1;
    if (b0 < 0x80) return b0;
    std::size_t cTail = 0;
    long cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        cTail = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        cTail = 2;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        cTail = 3;
        cp = b0 & 0x07;
    } else {
        return -1;
    }
    if (ich + cTail >= sz.size()) return -1;
    for (std::size_t k = 1; k <= cTail; ++k) {
        const auto b = static_cast<unsigned char>(sz[ich + k]);
        if ((b & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms and surrogates are not well formed.
    if ((cTail == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (cTail == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
        return -1;
    cch = cTail + 1;
    return cp;
}

void Encode(long cp, std::string& szOut) {
    if (cp < 0x80) {
        szOut += static_cast<char>(cp);
    } else if (cp < 0x800) {
        szOut += static_cast<char>(0xC0 | (cp >> 6));
        szOut += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        szOut += static_cast<char>(0xE0 | (cp >> 12));
        szOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        szOut += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        szOut += static_cast<char>(0xF0 | (cp >> 18));
        szOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        szOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        szOut += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool In(long cp, long cpFirst, long cpLast) {
    return cp >= cpFirst && cp <= cpLast;
}

// Pairs of capital and small letter on neighbouring code points: the capital
// on the even (fEven) or odd one.
long PairLower(long cp, bool fEven) {
    return ((cp % 2 == 0) == fEven) ? cp + 1 : cp;
}

// The small letter of a Latin, Greek or Cyrillic capital; cp itself otherwise.
long LowerOf(long cp) {
    if (cp < 0x80) return In(cp, 'A', 'Z') ? cp + 32 : cp;
    if (cp < 0x100) return In(cp, 0xC0, 0xDE) && cp != 0xD7 ? cp + 32 : cp;
    if (cp < 0x180) {
        if (cp == 0x130) return 'i';
        if (cp == 0x178) return 0xFF;
        if (In(cp, 0x100, 0x137) || In(cp, 0x14A, 0x177)) return PairLower(cp, true);
        if (In(cp, 0x139, 0x148) || In(cp, 0x179, 0x17E)) return PairLower(cp, false);
        return cp;
    }
    if (cp < 0x250) {
        if (In(cp, 0x1CD, 0x1DC)) return PairLower(cp, false);
        if (In(cp, 0x1DE, 0x1EF) || In(cp, 0x1F8, 0x21F) || In(cp, 0x222, 0x233))
            return PairLower(cp, true);
        return cp;
    }
    if (cp < 0x400) {
        if (cp == 0x386) return 0x3AC;
        if (In(cp, 0x388, 0x38A)) return cp + 37;
        if (cp == 0x38C) return 0x3CC;
        if (In(cp, 0x38E, 0x38F)) return cp + 63;
        if (In(cp, 0x391, 0x3AB) && cp != 0x3A2) return cp + 32;
        return cp;
    }
    if (cp < 0x530) {
        if (cp < 0x410) return cp + 80;
        if (cp < 0x430) return cp + 32;
        if (In(cp, 0x460, 0x481) || In(cp, 0x48A, 0x4BF) || In(cp, 0x4D0, 0x52F))
            return PairLower(cp, true);
        if (cp == 0x4C0) return 0x4CF;
        if (In(cp, 0x4C1, 0x4CE)) return PairLower(cp, false);
        return cp;
    }
    if (In(cp, 0x1E00, 0x1E95) || In(cp, 0x1EA0, 0x1EFF)) return PairLower(cp, true);
    return cp;
}

bool IsDigit(long cp) {
    return In(cp, '0', '9');
}

// Letters: ASCII letters and, above U+00BF, everything but the signs,
// punctuation and symbol blocks that forms of running text meet.
bool IsLetter(long cp) {
    if (cp < 0x80) return In(cp, 'A', 'Z') || In(cp, 'a', 'z');
    if (cp < 0xC0 || cp == 0xD7 || cp == 0xF7) return false;
    return !(In(cp, 0x2000, 0x2BFF) || In(cp, 0x3000, 0x303F) || In(cp, 0xFE30, 0xFE4F) ||
             In(cp, 0xFF00, 0xFF0F));
}

bool IsNumberSeparator(long cp) {
    return cp == '.' || cp == ',' || cp == ':' || cp == '-' || cp == '/' || cp == ' ' || cp == '+';
}

} // namespace

std::size_t CharLength(std::string_view sz, std::size_t ich) {
    std::size_t cch = 1;
    Decode(sz, ich, cch);
    return cch;
}

bool AppendLower(std::string_view szForm, std::string& szOut) {
    bool fChanged = false;
    for (std::size_t ich = 0; ich < szForm.size();) {
        std::size_t cch = 1;
        const long cp = Decode(szForm, ich, cch);
        const long cpLower = cp < 0 ? cp : LowerOf(cp);
        if (cpLower == cp) {
            szOut.append(szForm.substr(ich, cch));
        } else {
            Encode(cpLower, szOut);
            fChanged = true;
        }
        ich += cch;
    }
    return fChanged;
}

void AppendLowerFirst(std::string_view sz, std::string& szOut) {
    if (sz.empty()) return;
    const std::size_t cch = CharLength(sz, 0);
    AppendLower(sz.substr(0, cch), szOut);
    szOut.append(sz.substr(cch));
}

bool StartsWithCapital(std::string_view sz) {
    if (sz.empty()) return false;
    std::size_t cch = 1;
    const long cp = Decode(sz, 0, cch);
    return cp >= 0 && LowerOf(cp) != cp;
}

std::size_t CharCount(std::string_view sz) {
    std::size_t c = 0;
    for (std::size_t ich = 0; ich < sz.size(); ich += CharLength(sz, ich)) ++c;
    return c;
}

std::string_view LastChars(std::string_view sz, std::size_t cch) {
    const std::size_t cAll = CharCount(sz);
    if (cch >= cAll) return sz;
    std::size_t ich = 0;
    for (std::size_t k = 0; k < cAll - cch; ++k) ich += CharLength(sz, ich);
    return sz.substr(ich);
}

std::string_view CutLastChars(std::string_view sz, std::size_t cch) {
    const std::size_t cAll = CharCount(sz);
    if (cch >= cAll) return sz.substr(0, 0);
    std::size_t ich = 0;
    for (std::size_t k = 0; k < cAll - cch; ++k) ich += CharLength(sz, ich);
    return sz.substr(0, ich);
}

FormShape ShapeOf(std::string_view szForm) {
    bool fLetter = false;
    bool fDigit = false;
    bool fOther = false;
    for (std::size_t ich = 0; ich < szForm.size();) {
        std::size_t cch = 1;
        const long cp = Decode(szForm, ich, cch);
        if (IsDigit(cp))
            fDigit = true;
        else if (cp >= 0 && IsLetter(cp))
            fLetter = true;
        else if (!IsNumberSeparator(cp))
            fOther = true;
        ich += cch;
    }
    if (!fLetter) {
        if (!fDigit) return FormShape::Punctuation;
        return fOther ? FormShape::Mixed : FormShape::Number;
    }
    if (fDigit) return FormShape::Mixed;
    return StartsWithCapital(szForm) ? FormShape::Capital : FormShape::Lower;
}

} // namespace vexta
