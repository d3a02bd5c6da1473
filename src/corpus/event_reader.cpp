// GetEvent: SGML tokens and data-line files to data lines, with tag
// conversion, ambiguity classes, boundary tokens, the rest buffer and the
// gap lists.
#include "corpus/event_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/byte_scan.h"
#include "base/short_text.h"
#include "base/ux_base.h"
#include "corpus/conllu_reader.h"
#include "model/model.h"

namespace vexta {

namespace {

constexpr const char* kGE = "GetEvent: ";
constexpr std::string_view kVirtualEnd = "<<virtualend>>";

[[noreturn]] void EventFatal(const pdfRecType& pdf, const std::string& szText) {
    GiveUpIfAsked(pdf);
    ux_LnFatalError(kModApp, kMsgApp, pdf.lLine, szText);
}

// The first characters of a line for messages, "..." when it has more.
std::string LineStart(std::string_view szLine) {
    std::string sz(szLine.substr(0, kPdfPrevLineShown));
    if (szLine.size() > kPdfPrevLineShown - 1) sz += "...";
    return sz;
}

std::string_view CStr(const std::array<char, kPdfTagSize>& sz) {
    return sz.data();
}

// Distinct candidate tags of one token in the order first seen, each stored
// followed by "/" in one buffer.
class CandidateSet {
public:
    explicit CandidateSet(std::size_t cchMax)
        : cchMax_(std::min(cchMax, static_cast<std::size_t>(kDataLineSize - 2))) {}

    int Count() const { return cCand_; }
    void Clear() {
        cCand_ = 0;
        cch_ = 0;
        cchEach_ = 0;
        wSeen_ = 0;
    }
    std::string_view At(int k) const {
        const int ich = rgich_[k];
        const int ichEnd = (k + 1 < cCand_ ? rgich_[k + 1] : cch_) - 1;
        return {szBuf_.data() + ich, static_cast<std::size_t>(ichEnd - ich)};
    }
    bool Contains(std::string_view szTag) const {
        const std::size_t cch = szTag.size();
        if (cch == cchEach_ && cch >= 8 && cch <= 16) {
            // Candidates of one length, as nearly always: one after another
            // at a fixed stride, each compared as two words.
            const std::uint64_t w1 = LoadWord(szTag.data());
            const std::uint64_t w2 = LoadWord(szTag.data() + cch - 8);
            return HasOfEachLength(w1, w2, Mark(w1, w2), cch);
        }
        for (int k = 0; k < cCand_; ++k)
            if (SameShort(At(k), szTag)) return true;
        return false;
    }
    // Contains(szTag) || Add(szTag): false when the tag is new and the
    // candidate part would no longer fit into a data line. A tag of the
    // length of all candidates so far (8 to 16 characters) is read once.
    // Always inlined: it runs for every candidate of every token, and the
    // reader's loop would otherwise call it.
    [[gnu::always_inline]] bool Take(std::string_view szTag) {
        const std::size_t cch = szTag.size();
        if (cch != cchEach_ || cch < 8 || cch > 16) return Contains(szTag) || Add(szTag);
        const std::uint64_t w1 = LoadWord(szTag.data());
        const std::uint64_t w2 = LoadWord(szTag.data() + cch - 8);
        const std::uint64_t wMark = Mark(w1, w2);
        if (HasOfEachLength(w1, w2, wMark, cch)) return true;
        char* const pchEnd = szBuf_.data() + cch_;
        if (static_cast<std::size_t>(cch_) + cch + 1 > cchMax_ ||
            static_cast<std::size_t>(cCand_) >= rgich_.size())
            return false;
        wSeen_ |= wMark;
        rgich_[cCand_++] = static_cast<std::uint16_t>(cch_);
        std::memcpy(pchEnd, &w1, 8);
        std::memcpy(pchEnd + cch - 8, &w2, 8);
        pchEnd[cch] = '/';
        cch_ += static_cast<int>(cch) + 1;
        return true;
    }
    // False when the candidate part would no longer fit into a data line.
    bool Add(std::string_view szTag) {
        if (static_cast<std::size_t>(cch_) + szTag.size() + 1 > cchMax_ ||
            static_cast<std::size_t>(cCand_) >= rgich_.size())
            return false;
        if (szTag.size() >= 8 && szTag.size() <= 16)
            wSeen_ |= Mark(LoadWord(szTag.data()), LoadWord(szTag.data() + szTag.size() - 8));
        cchEach_ = cCand_ == 0 || cchEach_ == szTag.size() ? szTag.size() : kMixed;
        rgich_[cCand_++] = static_cast<std::uint16_t>(cch_);
        CopyShort(szBuf_.data() + cch_, szTag.data(), szTag.size());
        cch_ += static_cast<int>(szTag.size());
        szBuf_[cch_++] = '/';
        return true;
    }

    // The candidates as stored: each followed by "/", in the order first
    // seen.
    std::string_view Text() const { return {szBuf_.data(), static_cast<std::size_t>(cch_)}; }
    // Whether every candidate has cch characters.
    bool AllOfLength(std::size_t cch) const { return cCand_ == 0 || cchEach_ == cch; }

    // The candidate part: every candidate followed by "/", the last one
    // first seen first.
    std::string_view BuildPart(std::span<char> szOut) const {
        std::size_t ich = 0;
        if (cchEach_ >= 8 && cchEach_ <= 16) {
            // Candidates of one length, as nearly always: each with its "/"
            // copied as a short text.
            const std::size_t cchStride = cchEach_ + 1;
            for (int k = cCand_ - 1; k >= 0; --k, ich += cchStride)
                CopyShort(szOut.data() + ich,
                          szBuf_.data() + static_cast<std::size_t>(k) * cchStride, cchStride);
            return {szOut.data(), ich};
        }
        for (int k = cCand_ - 1; k >= 0; --k) {
            const int ichFrom = rgich_[k];
            const int ichEnd = k + 1 < cCand_ ? rgich_[k + 1] : cch_;
            std::memcpy(szOut.data() + ich, szBuf_.data() + ichFrom,
                        static_cast<std::size_t>(ichEnd - ichFrom));
            ich += static_cast<std::size_t>(ichEnd - ichFrom);
        }
        return {szOut.data(), ich};
    }

private:
    static constexpr std::size_t kMixed = ~std::size_t{0};

    // Whether the tag of cch characters (8 to 16, the length of every
    // candidate), given as its first and its last eight and its Mark, is a
    // candidate. A tag whose Mark no candidate has is new: most are, and
    // the candidates are then not looked at.
    bool HasOfEachLength(std::uint64_t w1, std::uint64_t w2, std::uint64_t wMark,
                         std::size_t cch) const {
        if ((wSeen_ & wMark) == 0) return false;
        const char* const pchEnd = szBuf_.data() + cch_;
        for (const char* pch = szBuf_.data(); pch < pchEnd; pch += cch + 1)
            if (((LoadWord(pch) ^ w1) | (LoadWord(pch + cch - 8) ^ w2)) == 0) return true;
        return false;
    }

    // One of 64 bits for a tag of 8 to 16 characters, given as its first
    // and its last eight: every bit of them counts towards which.
    static std::uint64_t Mark(std::uint64_t w1, std::uint64_t w2) {
        return std::uint64_t{1} << (((w1 ^ std::rotl(w2, 29)) * 0x9E3779B97F4A7C15) >> 58);
    }

    std::size_t cchMax_;
    int cch_ = 0;
    int cCand_ = 0;
    std::size_t cchEach_ = 0; // the length of every candidate; kMixed when they differ
    std::uint64_t wSeen_ = 0; // the Marks of the candidates of 8 to 16 characters
    std::array<char, kDataLineSize> szBuf_;
    std::array<std::uint16_t, kDataLineSize / 2> rgich_;
};

// Whether candidates stored as CandidateSet::Text keeps them hold no "/" or
// "|" of their own: then no "|" is in their AC part or candidate part either,
// and the candidate part splits into them at every "/".
[[gnu::noinline]] bool PlainCandidates(std::string_view szCands, int cCands) {
    return szCands.find('|') == std::string_view::npos &&
           std::count(szCands.begin(), szCands.end(), '/') == cCands;
}

// The AC part with few candidates (at most kFewCandidates): per tag element
// the values are sorted into a short array. False when it does not fit.
constexpr int kFewCandidates = 8;
bool CreateACPartOfFew(const CandidateSet& cands, std::size_t cElem, std::span<char> szOut,
                       std::size_t& ich) {
    const int cCand = cands.Count();
    std::array<std::string_view, kFewCandidates> rgszCand;
    bool fFullLength = cCand > 0;
    for (int k = 0; k < cCand; ++k) {
        rgszCand[static_cast<std::size_t>(k)] = cands.At(k);
        fFullLength = fFullLength && cands.At(k).size() >= cElem;
    }
    // The elements where the candidates differ; where they all agree (most
    // elements) the value is the first candidate's.
    std::array<unsigned char, kTagElemMax> rgfDiffer;
    rgfDiffer.fill(1);
    if (fFullLength) {
        rgfDiffer.fill(0);
        const char* pszFirst = rgszCand[0].data();
        for (int k = 1; k < cCand; ++k) {
            const char* psz = rgszCand[static_cast<std::size_t>(k)].data();
            for (std::size_t t = 0; t < cElem; ++t) rgfDiffer[t] |= psz[t] != pszFirst[t] ? 1 : 0;
        }
    }
    for (std::size_t t = 0; t < cElem; ++t) {
        if (!rgfDiffer[t]) {
            if (ich + 2 >= szOut.size()) return false;
            szOut[ich++] = rgszCand[0][t];
            szOut[ich++] = '/';
            continue;
        }
        std::array<unsigned char, kFewCandidates> rgch;
        std::size_t cch = 0;
        for (int k = 0; k < cCand; ++k) {
            const std::string_view szCand = rgszCand[static_cast<std::size_t>(k)];
            if (t >= szCand.size()) continue;
            const auto ch = static_cast<unsigned char>(szCand[t]);
            std::size_t i = cch;
            while (i > 0 && rgch[i - 1] > ch) --i;
            if (i > 0 && rgch[i - 1] == ch) continue;
            for (std::size_t j = cch; j > i; --j) rgch[j] = rgch[j - 1];
            rgch[i] = ch;
            ++cch;
        }
        if (ich + cch + 1 >= szOut.size()) return false;
        for (std::size_t i = 0; i < cch; ++i) szOut[ich++] = static_cast<char>(rgch[i]);
        szOut[ich++] = '/';
    }
    return true;
}

// The AC part: per tag element the distinct values of the candidates at that
// position in ascending byte order, followed by "/". False when it does not
// fit into szOut.
bool CreateACPart(const CandidateSet& cands, int cTagElem, std::span<char> szOut,
                  std::string_view& szACPart) {
    const auto cElem = static_cast<std::size_t>(std::clamp(cTagElem, 0, kTagElemMax));
    std::size_t ich = 0;
    if (cands.Count() <= kFewCandidates) {
        if (!CreateACPartOfFew(cands, cElem, szOut, ich)) return false;
        szACPart = {szOut.data(), ich};
        return true;
    }
    // Per tag element the values met, as a set of bytes read out in
    // ascending order.
    using ByteSet = std::array<std::uint64_t, 4>;
    std::array<ByteSet, kTagElemMax> rgset{};
    std::array<std::size_t, kTagElemMax> rgcch{}; // values in each set
    for (int k = 0; k < cands.Count(); ++k) {
        const std::string_view szCand = cands.At(k);
        const std::size_t cch = std::min(szCand.size(), cElem);
        for (std::size_t t = 0; t < cch; ++t) {
            const auto ch = static_cast<unsigned char>(szCand[t]);
            std::uint64_t& w = rgset[t][ch >> 6];
            const std::uint64_t wBit = std::uint64_t{1} << (ch & 63);
            if ((w & wBit) == 0) ++rgcch[t];
            w |= wBit;
        }
    }
    for (std::size_t t = 0; t < cElem; ++t) {
        const ByteSet& set = rgset[t];
        if (ich + rgcch[t] + 1 >= szOut.size()) return false;
        for (std::size_t iw = 0; iw < set.size(); ++iw)
            for (std::uint64_t w = set[iw]; w != 0; w &= w - 1)
                szOut[ich++] =
                    static_cast<char>(iw * 64 + static_cast<std::size_t>(std::countr_zero(w)));
        szOut[ich++] = '/';
    }
    szACPart = {szOut.data(), ich};
    return true;
}

// Fixed buffer for one token field.
template <std::size_t N> struct FieldBuf {
    FieldBuf() { sz[0] = '\0'; }
    std::array<char, N> sz; // zero-terminated at cch
    std::size_t cch = 0;
    void Set(std::string_view szValue) {
        cch = std::min(szValue.size(), N - 1);
        CopyShort(sz.data(), szValue.data(), cch);
        sz[cch] = '\0';
    }
    std::string_view View() const { return {sz.data(), cch}; }
    bool Empty() const { return cch == 0; }
};

// What a tag does inside a token, by its name.
enum class InToken {
    kEnd,     // ends the token: f d s p w D c i, the closing forms of all but
              // D, doc, /doc, csts and /csts
    kMMl,     // a lemma of the analyser
    kMMt,     // a candidate tag
    kCt,      // dropped
    kMD,      // MDl or MDt: a disambiguation made earlier
    kLemma,   // l
    kTrueTag, // t
    kRest     // any other tag
};

// One look at the name's length and characters, as the tag of every
// candidate comes through here.
InToken ClassifyInToken(std::string_view szName) {
    const auto IsEndLetter = [](char ch, bool fClosing) {
        return (fClosing ? std::string_view("fdspwci") : std::string_view("fdspwDci")).find(ch) !=
               std::string_view::npos;
    };
    switch (szName.size()) {
    case 1:
        if (szName[0] == 'l') return InToken::kLemma;
        if (szName[0] == 't') return InToken::kTrueTag;
        return IsEndLetter(szName[0], false) ? InToken::kEnd : InToken::kRest;
    case 2:
        if (szName[0] == '/') return IsEndLetter(szName[1], true) ? InToken::kEnd : InToken::kRest;
        return szName == "Ct" ? InToken::kCt : InToken::kRest;
    case 3:
        if (szName[0] == 'M' && (szName[2] == 'l' || szName[2] == 't')) {
            if (szName[1] == 'M') return szName[2] == 'l' ? InToken::kMMl : InToken::kMMt;
            if (szName[1] == 'D') return InToken::kMD;
        }
        return szName == "doc" ? InToken::kEnd : InToken::kRest;
    case 4:
        return szName == "/doc" || szName == "csts" ? InToken::kEnd : InToken::kRest;
    case 5:
        return szName == "/csts" ? InToken::kEnd : InToken::kRest;
    default:
        return InToken::kRest;
    }
}

// The first "<" or byte below 11 in [pch, pchEnd), or pchEnd.
const char* FindLtOrLowByte(const char* pch, const char* pchEnd) {
    if constexpr (std::endian::native == std::endian::little) {
        for (; pchEnd - pch >= 8; pch += 8) {
            const std::uint64_t w = LoadWord(pch);
            const std::uint64_t wHits = WordBytesEqual(w, '<') | WordBytesBelow(w, 11);
            if (wHits != 0) return pch + std::countr_zero(wHits) / 8;
        }
    }
    for (; pch < pchEnd; ++pch)
        if (*pch == '<' || static_cast<unsigned char>(*pch) < 11) return pch;
    return pchEnd;
}

// A pair in its plainest form: the tag is exactly "<l>", "<t>", "<MMl>",
// "<MMt>" (a token's own tags), "<f>" or "<d>" (the next token's form, which
// ends this one), its text holds no byte below 11 and does not start with a
// blank, and only blanks follow it up to the next "<", all in the block
// buffer. GetSGMLTagTextView reads such a pair as views, the same tag and
// text; the event reader takes it without the general scanner.
struct PlainPair {
    InToken kind = InToken::kRest;
    std::string_view svTag;
    std::string_view svText;
    long cNewlines = 0;            // in the blanks after the text
    const char* pchNext = nullptr; // the "<" after them
};

// The next "<" after the pair at pch (before pchEnd) when it is "<MMt>" with
// a text of exactly cchText (8 to 16) bytes, none of them "<" or below 11,
// not starting or ending with a blank, followed by the next "<" or by a line
// end and then the next "<": the plain pair nearly every candidate is, as
// PlainPairAt would read it. Otherwise nullptr. Reads nothing.
constexpr std::size_t kcchMMt = 5;
const char* PlainMMtEnd(const char* pch, const char* pchEnd, std::size_t cchText) {
    constexpr std::uint64_t kwMMt = std::uint64_t{'<'} | std::uint64_t{'M'} << 8 |
                                    std::uint64_t{'M'} << 16 | std::uint64_t{'t'} << 24 |
                                    std::uint64_t{'>'} << 32;
    if (pchEnd - pch <= static_cast<std::ptrdiff_t>(kcchMMt + cchText) ||
        (LoadWord(pch) & 0xFFFFFFFFFF) != kwMMt)
        return nullptr;
    const char* const pchText = pch + kcchMMt;
    const std::uint64_t w1 = LoadWord(pchText);
    const std::uint64_t w2 = LoadWord(pchText + cchText - 8);
    if (pchText[0] == ' ' || pchText[cchText - 1] == ' ' ||
        (WordBytesEqual(w1, '<') | WordBytesBelow(w1, 11) | WordBytesEqual(w2, '<') |
         WordBytesBelow(w2, 11)) != 0)
        return nullptr;
    const char* const pchAfter = pchText + cchText;
    if (*pchAfter == '<') return pchAfter;
    if (*pchAfter == '\n' && pchEnd - pchAfter > 1 && pchAfter[1] == '<') return pchAfter + 1;
    return nullptr;
}

// Whether the pair whose "<" is at pch (before pchEnd) is a plain one; pp
// then says what it is. Reads nothing.
bool PlainPairAt(const char* pch, const char* pchEnd, PlainPair& pp) {
    if (pchEnd - pch < 6) return false;
    std::size_t cchTag = 0;
    if ((pch[1] == 'l' || pch[1] == 't' || pch[1] == 'f' || pch[1] == 'd') && pch[2] == '>') {
        cchTag = 3;
        pp.kind = pch[1] == 'l'   ? InToken::kLemma
                  : pch[1] == 't' ? InToken::kTrueTag
                                  : InToken::kEnd;
    } else if (pch[1] == 'M' && pch[2] == 'M' && (pch[3] == 'l' || pch[3] == 't') &&
               pch[4] == '>') {
        cchTag = 5;
        pp.kind = pch[3] == 'l' ? InToken::kMMl : InToken::kMMt;
    } else {
        return false;
    }
    const char* const pchText = pch + cchTag;
    const char* pchTextEnd = FindLtOrLowByte(pchText, pchEnd);
    const char* pchLt = pchTextEnd;
    long cNewlines = 0;
    for (; pchLt < pchEnd && *pchLt != '<'; ++pchLt) {
        if (*pchLt == '\n')
            ++cNewlines;
        else if (*pchLt != ' ' && *pchLt != '\t')
            return false; // more text after a line end, or a control byte
    }
    if (pchLt == pchEnd) return false;
    if (pchTextEnd > pchText && *pchText == ' ') return false;
    while (pchTextEnd > pchText && pchTextEnd[-1] == ' ') --pchTextEnd;
    if (pchTextEnd - pchText > kSgmlTextLen - 3) return false; // would be cut
    pp.svTag = {pch, cchTag};
    pp.svText = {pchText, static_cast<std::size_t>(pchTextEnd - pchText)};
    pp.cNewlines = cNewlines;
    pp.pchNext = pchLt;
    return true;
}

int GetLineFormat(std::span<char> szLine, pdfRecType& pdf) {
    pdf.fWord = 1;
    const std::size_t cchMax = szLine.size() - 2;
    std::size_t cch = 0;
    bool fNewline = false;
    for (;;) {
        const char ch = GetPDFChar(pdf);
        if (pdf.fEOF) break;
        if (ch == '\n') {
            fNewline = true;
            break;
        }
        if (cch >= cchMax) {
            szLine[cch] = '\0';
            EventFatal(pdf, ux_StrPrintf("%sData line too long (>= %ld): ", kGE,
                                         static_cast<long>(szLine.size())) +
                                LineStart({szLine.data(), cch}));
        }
        szLine[cch++] = ch;
    }
    szLine[cch] = '\0';
    if (cch == 0 && !fNewline) return -1;
    return 0;
}

} // namespace

int ConvertTag(pdfRecType& pdf, std::string_view& szOut, std::string_view szTag) {
    szOut = szTag;
    if (!pdf.phashTag) return kTagNoTable;
    const char* pszValue = nullptr;
    int fFound = 0;
    if (ux_HashFindFirstPtr(pdf.phashTag.get(), szTag, nullptr, &pszValue, nullptr, &fFound) == 0 &&
        fFound) {
        szOut = pszValue;
        return 0;
    }
    if (pdf.phashTagInv &&
        ux_HashFindFirstPtr(pdf.phashTagInv.get(), szTag, nullptr, nullptr, nullptr, &fFound) ==
            0 &&
        fFound)
        return kTagIsTarget;
    return kTagUnknown;
}

int InsertEvent(std::span<char> szLine, std::string_view szTag, std::string_view szACPart,
                std::string_view szForm, std::string_view szLemma, std::string_view szMMtPart,
                DataLineParts* pparts) {
    if (pparts) *pparts = {};
    if (szLine.empty()) return kEventNoRoom;
    szLine[0] = '\0';
    std::size_t cch = 0;
    const std::size_t cchLimit = szLine.size() - 1; // the total stays below this
    const std::size_t cchTotal =
        szTag.size() + szACPart.size() + szForm.size() + szLemma.size() + szMMtPart.size() + 5;
    if (cchTotal < cchLimit) {
        // Everything fits: the pieces, with the separators stored directly.
        char* pch = szLine.data();
        const auto Copy = [&pch](std::string_view sz, char chAfter) {
            CopyShort(pch, sz.data(), sz.size());
            pch += sz.size();
            *pch++ = chAfter;
        };
        Copy(szTag, '|');
        Copy(szACPart, '|');
        Copy(szForm, '|');
        Copy(szLemma, '|');
        *pch++ = '>';
        Copy(szMMtPart, '\0');
        if (pparts) {
            pparts->ichTagEnd = szTag.size();
            pparts->ichACEnd = pparts->ichTagEnd + 1 + szACPart.size();
            pparts->ichFormEnd = pparts->ichACEnd + 1 + szForm.size();
            pparts->ichLemmaEnd = pparts->ichFormEnd + 1 + szLemma.size();
            pparts->cch = cchTotal;
            pparts->fKnown = true;
        }
        return 0;
    }
    // The line keeps what fitted, for the message.
    const std::string_view rgsz[] = {szTag, "|",     szACPart, "|", szForm,
                                     "|",   szLemma, "|",      ">", szMMtPart};
    for (const std::string_view sz : rgsz) {
        if (cch + sz.size() >= cchLimit) return kEventNoRoom;
        std::memcpy(szLine.data() + cch, sz.data(), sz.size());
        cch += sz.size();
        szLine[cch] = '\0';
    }
    return 0;
}

int AddToGap(const pdfRecType& pdf, std::string_view szText, gapRecType& gap,
             std::string_view szSuffix) {
    gap.Add(pdf.svTag, szText, szSuffix);
    return 0;
}

void gapRecType::KeepRuns(std::span<GapSpan> rgspan) {
    std::size_t kTo = 0;
    std::size_t ichTo = 0;
    for (GapSpan& span : rgspan) {
        const std::size_t k = span.iFirst;
        const std::size_t kEnd = span.iFirst + span.cEntries;
        span.iFirst = kTo;
        if (k >= kEnd) continue;
        // Everything before k that is kept lies before kTo <= k, so the ends
        // read here are still the original ones (or equal to them).
        const std::size_t ichFrom = Start(k);
        const std::size_t cch = rgichEnd_[kEnd - 1] - ichFrom;
        std::memmove(rgch_.get() + ichTo, rgch_.get() + ichFrom, cch);
        for (std::size_t i = k; i < kEnd; ++i) rgichEnd_[kTo++] = rgichEnd_[i] - ichFrom + ichTo;
        ichTo += cch;
    }
    cch_ = ichTo;
    rgichEnd_.resize(kTo);
}

int FreeGap(gapRecType& gap) {
    gap.Clear();
    return 0;
}

int GetEvent(std::span<char> szLine, std::span<char> szRest, gapRecType& gap, pdfRecType& pdf,
             const Model& m) {
    gap.Clear();
    return GetEventOntoGap(szLine, szRest, gap, pdf, m);
}

int GetEventOntoGap(std::span<char> szLine, std::span<char> szRest, gapRecType& gap,
                    pdfRecType& pdf, const Model& m) {
    if (!szRest.empty()) szRest[0] = '\0';
    pdf.lineParts.fKnown = false; // the other fields count only with it
    pdf.lineParts.pparse = nullptr;
    if (szLine.size() < 3) return kEventNoRoom;

    if (pdf.iState == kStateLine) return GetLineFormat(szLine, pdf);
    if (pdf.iState == kStateConllu) return GetConlluEvent(szLine, szRest, gap, pdf, m);

    pdf.fWord = 0;
    pdf.fEndToken = 0;
    if (pdf.fEndSeen) return -1;

    const int cTagElem = m.cTagElem;
    const bool fGap = m.fProgMode != kModeTrain;
    // Keeps the current tag in the gap, followed by szText (its own text or
    // what replaces it) and szSuffix.
    auto Gap = [&](std::string_view szText, std::string_view szSuffix) {
        if (fGap) AddToGap(pdf, szText, gap, szSuffix);
    };

    // Per-call state.
    // Room for the longest form, lemma and tag accepted and for the boundary
    // values of the argument file.
    FieldBuf<kPdfTagSize + 2> form;
    FieldBuf<kPdfTagSize + 2> lemma;
    FieldBuf<kPdfTagSize + 2> tagTrue;
    FieldBuf<kTagElemMax + 1> tagFirst;
    CandidateSet cands(szLine.size() - 2);
    bool fLemmaSeen = false;
    bool fTagSeen = false;
    bool fFormSeen = false; // a token was opened by <f> or <d> in this call
    bool fComplete = false;
    bool fSkipRead = false;
    bool fEndRead = false;
    std::size_t cchRest = 0;
    // The line the token starts on: errors in its tags point there, however
    // far the reader has looked ahead.
    long lTokenLine = pdf.lLine;
    const auto TokenFatal = [&](const std::string& szText) {
        GiveUpIfAsked(pdf);
        ux_LnFatalError(kModApp, kMsgApp, lTokenLine, szText);
    };

    auto ReadNextTag = [&]() {
        const int rc = GetSGMLTagTextView(std::span(pdf.szTag).first(kSgmlTagLen),
                                          std::span(pdf.szText).first(kSgmlTextLen), pdf, pdf.svTag,
                                          pdf.svText);
        if (rc == kChEndOfInput) {
            pdf.iState = 4;
            fComplete = true;
            fSkipRead = true;
            fEndRead = true;
            pdf.svTagName = {};
            return;
        }
        if (rc > 100 || (rc >= 1 && rc <= 3))
            EventFatal(pdf, ux_StrPrintf("%s%s%d: Tag \"%s\", Text \"%s\": ", kGE,
                                         "Tag/Text truncated or reading error, state ", pdf.iState,
                                         pdf.szTag.data(), pdf.szText.data()) +
                                LineStart(pdf.szPrevLine.data()));
        // The tag has fitted whole, so its name does too; the check stays for
        // the buffer sizes of the name.
        pdf.svTagName = SGMLTagName(pdf.svTag);
        if (pdf.svTagName.size() >= kSgmlTagNameLen - 2)
            EventFatal(pdf, ux_StrPrintf("%sTag name (%.*s) too long", kGE,
                                         static_cast<int>(pdf.svTag.size()), pdf.svTag.data()));
    };

    // Takes the plain pairs (PlainPairAt) that come next inside the token,
    // with the same effect as reading and handling them one by one, and
    // stops, leaving it unread, at the first pair that is not plain or whose
    // text would warn or fail (empty, of a wrong length, not converted,
    // beyond the candidate list): that one comes through ReadNextTag. A
    // plain "<f>" or "<d>" is read as ReadNextTag reads it: true then, and
    // it is the current tag.
    auto TakePlainPairs = [&]() {
        if (!pdf.fPlainPairs || pdf.phashTag ||
            pdf.pchPushBack < pdf.szPushBack.data() + pdf.cchPushBack)
            return false;
        const char* pch = pdf.pchBuf;
        const char* const pchEnd = pdf.pchBufEnd;
        long cNewlines = 0;
        PlainPair pp;
        PlainPair ppLast;
        bool fRead = false;
        // Candidates of a length compared as two words are taken straight.
        const bool fWordTags =
            std::endian::native == std::endian::little && cTagElem >= 8 && cTagElem <= 16;
        const auto cchTagText = static_cast<std::size_t>(cTagElem);
        // Takes a candidate; false when the set is full.
        const auto TakeCandidate = [&](std::string_view svTag, std::string_view szText) {
            if (!cands.Take(szText)) return false;
            if (fGap) gap.Add(svTag, szText);
            if (tagFirst.Empty()) tagFirst.Set(szText);
            return true;
        };
        // The token's own tags in their plainest form, taken one "<" after
        // another as the loop below would take them: "<MMt>" and "<t>" with a
        // text of exactly cTagElem bytes (compared as words), "<l>" and
        // "<MMl>" with a text that is not empty; no text holds a "<" or a
        // byte below 11 or starts or ends with a blank, and each is followed
        // by the next "<", or by a line end and the next "<". Their gap
        // entries lie side by side up to a line end and go into the gap as
        // one text cut at their ends. The first other pair is left to the
        // loop below.
        if (fWordTags) {
            constexpr std::size_t kRunMax = 64;
            std::array<std::uint32_t, kRunMax> rgichEnd;
            std::size_t cRun = 0;
            const char* pchRun = pch; // where the entries of rgichEnd start
            const auto Flush = [&] {
                if (cRun > 0 && fGap)
                    gap.AddCut({pchRun, rgichEnd[cRun - 1]}, std::span(rgichEnd).first(cRun));
                cRun = 0;
            };
            constexpr std::uint64_t kwMMt = std::uint64_t{'<'} | std::uint64_t{'M'} << 8 |
                                            std::uint64_t{'M'} << 16 | std::uint64_t{'t'} << 24 |
                                            std::uint64_t{'>'} << 32;
            constexpr std::uint64_t kwMMl = kwMMt ^ (std::uint64_t{'t' ^ 'l'} << 24);
            constexpr std::uint64_t kwL =
                std::uint64_t{'<'} | std::uint64_t{'l'} << 8 | std::uint64_t{'>'} << 16;
            constexpr std::uint64_t kwT = kwL ^ (std::uint64_t{'l' ^ 't'} << 8);
            while (pchEnd - pch >= 8) {
                const std::uint64_t w = LoadWord(pch);
                const std::uint64_t w5 = w & 0xFFFFFFFFFF;
                const std::uint64_t w3 = w & 0xFFFFFF;
                const bool fMMt = w5 == kwMMt;
                const bool fTag = !fMMt && w3 == kwT && !fTagSeen;
                const char* pchText;
                const char* pchAfter;
                if (fMMt || fTag) {
                    pchText = pch + (fMMt ? kcchMMt : 3);
                    if (static_cast<std::size_t>(pchEnd - pchText) < cchTagText + 1) break;
                    const std::uint64_t w1 = LoadWord(pchText);
                    const std::uint64_t w2 = LoadWord(pchText + cchTagText - 8);
                    if (pchText[0] == ' ' || pchText[cchTagText - 1] == ' ' ||
                        (WordBytesEqual(w1, '<') | WordBytesBelow(w1, 11) |
                         WordBytesEqual(w2, '<') | WordBytesBelow(w2, 11)) != 0)
                        break;
                    pchAfter = pchText + cchTagText;
                } else {
                    const bool fLemma = w3 == kwL && !fLemmaSeen;
                    if (!fLemma && w5 != kwMMl) break;
                    pchText = pch + (fLemma ? 3 : kcchMMt);
                    pchAfter = FindLtOrLowByte(pchText, pchEnd);
                    const auto cch = static_cast<std::size_t>(pchAfter - pchText);
                    if (pchAfter == pchEnd || cch == 0 || pchText[0] == ' ' ||
                        pchAfter[-1] == ' ' ||
                        cch > (fLemma ? static_cast<std::size_t>(kLemmaMax)
                                      : static_cast<std::size_t>(kSgmlTextLen - 3)))
                        break;
                }
                const char* pchNext = pchAfter;
                if (*pchAfter != '<') {
                    if (*pchAfter != '\n' || pchEnd - pchAfter < 2 || pchAfter[1] != '<') break;
                    ++pchNext;
                }
                const std::string_view szText(pchText,
                                              static_cast<std::size_t>(pchAfter - pchText));
                if (fMMt) {
                    if (!cands.Take(szText)) break;
                    if (tagFirst.Empty()) tagFirst.Set(szText);
                } else if (fTag) {
                    fTagSeen = true;
                    tagTrue.Set(szText);
                } else if (w3 == kwL) {
                    fLemmaSeen = true;
                    lemma.Set(szText);
                    if (pdf.plookupsAhead) pdf.plookupsAhead->Prefetch(szText);
                }
                if (cRun == kRunMax) {
                    Flush();
                    pchRun = pch;
                }
                rgichEnd[cRun++] = static_cast<std::uint32_t>(pchAfter - pchRun);
                ppLast.svTag = {pch, static_cast<std::size_t>(pchText - pch)};
                ppLast.svText = szText;
                pch = pchNext;
                if (pchNext != pchAfter) {
                    Flush();
                    ++cNewlines;
                    pchRun = pch;
                }
            }
            Flush();
        }
        while (pch < pchEnd && *pch == '<') {
            if (const char* pchNext = fWordTags ? PlainMMtEnd(pch, pchEnd, cchTagText) : nullptr) {
                const std::string_view svTag(pch, kcchMMt);
                const std::string_view szText(pch + kcchMMt, cchTagText);
                if (!TakeCandidate(svTag, szText)) break;
                ppLast.svTag = svTag;
                ppLast.svText = szText;
                if (pchNext != szText.data() + szText.size()) ++cNewlines;
                pch = pchNext;
                continue;
            }
            if (!PlainPairAt(pch, pchEnd, pp)) break;
            const std::string_view szText = pp.svText;
            if (pp.kind == InToken::kEnd) {
                fRead = true;
            } else if (pp.kind == InToken::kMMt) {
                if (szText.empty() || static_cast<int>(szText.size()) != cTagElem) break;
                if (!TakeCandidate(pp.svTag, szText)) break;
            } else if (pp.kind == InToken::kMMl) {
                if (fGap) gap.Add(pp.svTag, szText);
            } else if (pp.kind == InToken::kLemma) {
                if (!fLemmaSeen) {
                    if (szText.empty() || szText.size() > kLemmaMax) break;
                    fLemmaSeen = true;
                    lemma.Set(szText);
                    if (fGap) gap.Add(pp.svTag, szText);
                }
            } else if (!fTagSeen) {
                if (szText.empty() || static_cast<int>(szText.size()) != cTagElem) break;
                fTagSeen = true;
                tagTrue.Set(szText);
                if (fGap) gap.Add(pp.svTag, szText);
            }
            cNewlines += pp.cNewlines;
            pch = pp.pchNext;
            ppLast = pp;
            if (fRead) break;
        }
        if (pch == pdf.pchBuf) return false;
        pdf.pchBuf = pch;
        pdf.lLine += cNewlines;
        pdf.svTag = ppLast.svTag;
        pdf.svText = ppLast.svText;
        // Every pair taken here has a tag of the form "<name>".
        pdf.svTagName = ppLast.svTag.substr(1, ppLast.svTag.size() - 2);
        return fRead;
    };

    // Converts the text of a <t> or <MMt> tag; an empty text becomes "X".
    auto ConvertText = [&](std::string_view szText) {
        if (!pdf.phashTag) return szText; // no table: the tag as it stands
        std::string_view szOut;
        if (ConvertTag(pdf, szOut, szText) == kTagUnknown)
            TokenFatal(ux_StrPrintf("%sTag %.*s not found in %s", kGE,
                                    static_cast<int>(szText.size()), szText.data(),
                                    pdf.szTagTable.c_str()));
        return szOut;
    };

    auto SetBoundaryToken = [&](const char* pszFullMsg) {
        form.Set(pdf.szSentForm);
        lemma.Set(pdf.szSentLemma);
        tagTrue.Set(pdf.szSentTag);
        if (!cands.Contains(pdf.szSentTag) && !cands.Add(pdf.szSentTag))
            EventFatal(pdf, ux_StrPrintf(pszFullMsg, kGE, pdf.szSentTag.c_str()));
    };

    for (;;) {
        const std::string_view szName = pdf.svTagName;
        const std::string_view szText = pdf.svText;
        switch (pdf.iState) {
        case 2:
            pdf.iState = 3;
            break;

        case 3: {
            // A token opens with "<f>", "<d>" or "<s>": a name of one
            // character, compared as one.
            const char chName = szName.size() == 1 ? szName[0] : '\0';
            if (chName == 'f' || chName == 'd' || chName == 's') {
                lTokenLine = pdf.lLine;
                Gap(szText, "");
                if (chName == 's') {
                    ++pdf.clSentences;
                    SetBoundaryToken("%sCannot add sent tag to full tag list: %s");
                    fComplete = true;
                } else {
                    if (chName == 'f') pdf.fWord = 1;
                    form.Set(szText.size() < kTokenFieldSize ? szText : szFormTooLong);
                    if (pdf.plookupsAhead) pdf.plookupsAhead->Prefetch(szText);
                    fFormSeen = true;
                }
                pdf.iState = 4;
            } else {
                Gap(szText, "\n");
            }
            break;
        }

        case 4: {
            const InToken kind = ClassifyInToken(szName);
            if (fComplete || kind == InToken::kEnd) {
                // Finish the token; the current tag stays for the next call.
                const AnalyserUse* puse = pdf.pAnalyserUse;
                // The analyser's tags are not the input's: they may hold a
                // zero byte.
                bool fAnalysed = false;
                if (fFormSeen && puse && puse->from != CandidatesFrom::Input &&
                    (puse->from == CandidatesFrom::Lexicon || cands.Count() == 0)) {
                    // The analyser's candidates, the most probable first in
                    // the line; without an analyser (while a lexicon is being
                    // built) the true tag stands alone.
                    if (const Analyser* pa = puse->For(pdf.fTrainingLine != 0, pdf.clSentences)) {
                        pa->Analyse(form.View(), pdf.analyses);
                        if (pdf.analyses.Count() > 0) {
                            fAnalysed = true;
                            cands.Clear();
                            for (int k = pdf.analyses.Count(); k-- > 0;)
                                if (!cands.Add(pdf.analyses.Tag(k)))
                                    EventFatal(pdf,
                                               ux_StrPrintf("%sCannot add tag to full tag list: %s",
                                                            kGE, form.sz.data()));
                            tagFirst.Set(pdf.analyses.Tag(0));
                        }
                    }
                    if (cands.Count() == 0 && fTagSeen) cands.Add(tagTrue.View());
                }
                pdf.fBoundary = fFormSeen ? 0 : 1;
                if (cands.Count() == 0) {
                    if (fFormSeen) {
                        // A token without candidates: its true tag is the only
                        // candidate; without one it cannot be represented.
                        if (!fTagSeen)
                            EventFatal(pdf,
                                       ux_StrPrintf("%sNo candidate tags and no true tag (form %s)",
                                                    kGE, form.sz.data()));
                        GiveUpIfAsked(pdf);
                        ux_LnWarning(
                            kModApp, kMsgApp, pdf.lLine,
                            ux_StrPrintf("%sNo candidate tags (form %s); true tag %s is the only "
                                         "candidate",
                                         kGE, form.sz.data(), tagTrue.sz.data()));
                        cands.Add(tagTrue.View());
                    } else {
                        SetBoundaryToken("%sCannot add sent tag to full tag list (EOF): %s");
                        gap.Add(kVirtualEnd, szText);
                        pdf.svTag = {};
                        pdf.fEndToken = 1;
                    }
                }
                std::array<char, kDataLineSize> szMMtBuf;
                const std::string_view szMMtPart = cands.BuildPart(szMMtBuf);
                // The AC part of a set of full-length candidates met before
                // is known.
                std::array<char, kDataLineSize> szACBuf;
                std::string_view szACPart;
                const auto cElem = static_cast<std::size_t>(std::clamp(cTagElem, 0, kTagElemMax));
                const bool fFullLength = cands.Count() > 0 && cands.AllOfLength(cElem);
                bool fPlain = false;
                CandidateSetParse* pparse = nullptr;
                if (!fFullLength ||
                    !pdf.acParts.Find(cands.Text(), cElem, szACPart, fPlain, pparse)) {
                    if (!CreateACPart(cands, cTagElem, szACBuf, szACPart))
                        EventFatal(pdf,
                                   ux_StrPrintf("%sCreateACs failed: %s", kGE, form.sz.data()));
                    if (fFullLength) {
                        fPlain = cElem == static_cast<std::size_t>(cTagElem) &&
                                 PlainCandidates(cands.Text(), cands.Count());
                        pparse = pdf.acParts.Put(cands.Text(), cElem, szACPart, fPlain);
                    }
                }
                if (lemma.Empty()) lemma.Set("=");
                if (tagTrue.Empty()) tagTrue.Set(tagFirst.View());
                if (InsertEvent(szLine, tagTrue.View(), szACPart, form.View(), lemma.View(),
                                szMMtPart, &pdf.lineParts) != 0)
                    EventFatal(pdf, ux_StrPrintf("%sOutput data line too long (>= %ld): %s", kGE,
                                                 static_cast<long>(szLine.size()), szLine.data()));
                pdf.lineParts.fClassPartsPlain = pdf.lineParts.fKnown && fPlain;
                pdf.lineParts.fNoZeroByte = pdf.lineParts.fKnown && !fAnalysed;
                // The parts come from the set as kept: its parse is the line's.
                pdf.lineParts.pparse = pdf.lineParts.fKnown ? pparse : nullptr;
                if (fEndRead) pdf.fEndSeen = 1;
                pdf.iState = 3;
                // The start of the line, for messages.
                constexpr auto cchShown = static_cast<std::size_t>(kPdfPrevLineShown);
                const std::size_t cchPrev = pdf.lineParts.fNoZeroByte
                                                ? std::min(pdf.lineParts.cch, cchShown)
                                                : strnlen(szLine.data(), cchShown);
                if (cchPrev == cchShown)
                    std::memcpy(pdf.szPrevLine.data(), szLine.data(), cchShown);
                else
                    std::memcpy(pdf.szPrevLine.data(), szLine.data(), cchPrev);
                pdf.szPrevLine[cchPrev] = '\0';
                return 0;
            }
            if (kind == InToken::kMMl) {
                Gap(szText, "");
            } else if (kind == InToken::kMMt) {
                std::string_view szTag = szText;
                if (szTag.empty()) {
                    GiveUpIfAsked(pdf);
                    ux_LnWarning(kModApp, kMsgApp, pdf.lLine,
                                 ux_StrPrintf("%sEmpty %s tag (form %s) replaced by X", kGE, "MMt",
                                              form.sz.data()));
                    szTag = "X";
                }
                szTag = ConvertText(szTag);
                if (static_cast<int>(szTag.size()) != cTagElem)
                    TokenFatal(ux_StrPrintf("%sToo short/long tag (!= %d): %.*s, szForm", kGE,
                                            cTagElem, static_cast<int>(szTag.size()),
                                            szTag.data()));
                if (!cands.Contains(szTag) && !cands.Add(szTag))
                    EventFatal(pdf, ux_StrPrintf("%sCannot add tag to full tag list: %.*s", kGE,
                                                 static_cast<int>(szTag.size()), szTag.data()));
                Gap(szTag, "");
                if (tagFirst.Empty()) tagFirst.Set(szTag);
            } else if (kind == InToken::kCt) {
                // dropped
            } else if (kind == InToken::kMD) {
                const std::string_view szTag = pdf.svTag;
                GiveUpIfAsked(pdf);
                std::fprintf(stderr, "DOING MDL/MDt!!! %.*s, %.*s\n",
                             static_cast<int>(szTag.size()), szTag.data(),
                             static_cast<int>(szText.size()), szText.data());
                if (GetSGMLTagSrcAttr(std::span(pdf.szSrc).first(kSgmlSrcLen), szTag) != 0)
                    EventFatal(pdf, ux_StrPrintf("%sProblem parsing src attr (%.*s) too long (%d)",
                                                 kGE, static_cast<int>(szTag.size()), szTag.data(),
                                                 pdf.iState));
                if (CStr(pdf.szSrc) != m.szTaggerID) Gap(szText, "");
            } else if (kind == InToken::kLemma) {
                if (!fLemmaSeen) {
                    fLemmaSeen = true;
                    if (szText.empty()) {
                        GiveUpIfAsked(pdf);
                        ux_LnWarning(kModApp, kMsgApp, pdf.lLine,
                                     ux_StrPrintf("%sEmpty lemma (form %s) replaced by %s", kGE,
                                                  form.sz.data(), "="));
                        lemma.Set("=");
                    } else {
                        if (szText.size() > kLemmaMax)
                            EventFatal(pdf, ux_StrPrintf("%sLemma too long (%d > %d): %.*s", kGE,
                                                         static_cast<int>(szText.size()), kLemmaMax,
                                                         static_cast<int>(szText.size()),
                                                         szText.data()));
                        lemma.Set(szText);
                    }
                    Gap(szText, "");
                }
            } else if (kind == InToken::kTrueTag) {
                if (!fTagSeen) {
                    fTagSeen = true;
                    std::string_view szTag = szText;
                    if (szTag.empty()) {
                        GiveUpIfAsked(pdf);
                        ux_LnWarning(kModApp, kMsgApp, pdf.lLine,
                                     ux_StrPrintf("%sEmpty tag (form %s) replaced by X", kGE,
                                                  form.sz.data()));
                        szTag = "X";
                    }
                    szTag = ConvertText(szTag);
                    if (static_cast<int>(szTag.size()) != cTagElem)
                        TokenFatal(ux_StrPrintf("%sToo short/long tag (!= %d): %.*s, form %s", kGE,
                                                cTagElem, static_cast<int>(szTag.size()),
                                                szTag.data(), form.sz.data()));
                    tagTrue.Set(szTag);
                    Gap(tagTrue.View(), "");
                }
            } else {
                const std::string_view szTag = pdf.svTag;
                const std::size_t cchAdd = szTag.size() + szText.size();
                if (cchRest + cchAdd > szRest.size() - 3)
                    EventFatal(pdf, ux_StrPrintf("%sTag/Text too long (>= %d): %.*s%.*s", kGE,
                                                 static_cast<int>(cchAdd),
                                                 static_cast<int>(szTag.size()), szTag.data(),
                                                 static_cast<int>(szText.size()), szText.data()));
                std::memcpy(szRest.data() + cchRest, szTag.data(), szTag.size());
                std::memcpy(szRest.data() + cchRest + szTag.size(), szText.data(), szText.size());
                cchRest += cchAdd;
                szRest[cchRest] = '\0';
            }
            break;
        }

        default:
            EventFatal(pdf,
                       ux_StrPrintf("%sINTERNAL: ?? Parsing state (%d) after: ", kGE, pdf.iState) +
                           LineStart(pdf.szPrevLine.data()));
        }

        if (fSkipRead) {
            fSkipRead = false;
        } else {
            if (pdf.iState != 4 || fComplete || !TakePlainPairs()) ReadNextTag();
        }
    }
}

} // namespace vexta
