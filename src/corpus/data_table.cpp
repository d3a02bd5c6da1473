// Data tables: reading the corpus once into the training, heldout and test
// segments, parsing and interning each data line, and the per-line helpers.
#include "corpus/data_table.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/byte_scan.h"
#include "base/short_text.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"

namespace vexta {

DataTable dtT;
DataTable dtH;
DataTable dtS;

namespace {

constexpr int kArgBufSize = 250; // values of up to 248 characters

bool IsTrainMode(const Model& m) {
    return m.fProgMode == kModeTrain || m.fProgMode == kModeTrainOut;
}

// Reads a segment number the way strtol does (leading blanks skipped, an
// empty value is 0); false when anything follows the number or it does not
// fit into 32 bits.
bool ParseSegmentNumber(const std::string& szValue, long& l) {
    errno = 0;
    char* pchEnd = nullptr;
    l = std::strtol(szValue.c_str(), &pchEnd, 10);
    return *pchEnd == '\0' && errno != ERANGE && l >= INT32_MIN && l <= INT32_MAX;
}

// Reads one segment key into szValue and its number into l: 0, or the code
// for a missing key (cMissing) or a value that is not a number (cNotNumber).
int GetSegmentKey(std::string_view szArgFile, const std::string& szKey, std::string& szValue,
                  long& l, int cMissing, int cNotNumber) {
    std::array<char, kArgBufSize> sz{};
    if (ux_ArgGetValue(szArgFile, szKey, sz) != 0) {
        std::fprintf(stderr, "%s: GetValue (segments) %s failed\n", ux_ProgName().c_str(),
                     szKey.c_str());
        return cMissing;
    }
    szValue = sz.data();
    if (!ParseSegmentNumber(szValue, l)) {
        std::fprintf(stderr, "%s: strtol (%s) failed; not a number: %s\n", ux_ProgName().c_str(),
                     szKey.c_str(), szValue.c_str());
        return cNotNumber;
    }
    return 0;
}

void PointTables(Model& m) {
    if (!m.pdtT) m.pdtT = &dtT;
    if (!m.pdtH) m.pdtH = &dtH;
    if (!m.pdtS) m.pdtS = &dtS;
}

bool InSegment(const DataTable& dt, long il) {
    return il >= dt.ilStart && il < dt.ilStart + dt.clLines;
}

bool Inside(long il, long ilFirst, long ilLast) {
    return il >= ilFirst && il <= ilLast;
}

// Interns the fields of one data line. The same short strings recur within a
// line (one-value classes above all), so one-character strings are looked up
// in the string table once per line. With a store for strings the table
// lacks (pown), such strings are copied there instead of being added, and
// the table's answers are kept in pcache (when given) for the next lines.
class LineInterner {
public:
    LineInterner(const Model& m, StringArena* pown, StringLookupCache* pcache)
        : phashStr_(m.phashStr.get()), pown_(pown), pcache_(pcache) {}

    // False when the string cannot be interned.
    [[gnu::always_inline]] bool Intern(std::string_view sz, const char*& psz) {
        if (sz.size() != 1) return Lookup(sz, psz);
        const auto ch = static_cast<unsigned char>(sz[0]);
        if (!rgfCached_[ch]) {
            if (!Lookup(sz, rgpszOneChar_[ch])) return false;
            rgfCached_[ch] = true;
        }
        psz = rgpszOneChar_[ch];
        return true;
    }

    // The cache's answer for sz, taken as Intern would take it, without
    // storing anything; false when the cache has none. Every string looked
    // up is a piece of a line cut at its "|"s or checked for one, so a
    // string met before holds no "|".
    [[gnu::always_inline]] bool Cached(std::string_view sz, const char*& psz) const {
        return phashStr_ && pown_ && pcache_ && pcache_->Find(sz, pown_->Generation(), psz);
    }

    const HashTable* Table() const { return phashStr_; }
    // How long the strings handed out stay valid: until the store is
    // cleared (0 without a store: for good).
    std::uint64_t Validity() const { return pown_ ? pown_->Generation() : 0; }

private:
    // A string met before is mostly in the cache: that answer is taken
    // where the string is interned, without a call.
    [[gnu::always_inline]] bool Lookup(std::string_view sz, const char*& psz) const {
        return Cached(sz, psz) || LookupUncached(sz, psz);
    }

    // Lookup without the cache, or after it had no answer. A string the
    // table lacks is copied into the store once while the store lasts:
    // lines share the copy (no line string is compared with another by
    // address unless both are the table's).
    [[gnu::noinline]] bool LookupUncached(std::string_view sz, const char*& psz) const {
        if (!phashStr_) return false;
        if (!pown_) return ux_HashMemberPtr(phashStr_, sz, &psz) <= 0;
        const std::uint64_t uNow = pown_->Generation();
        // A string the table lacks is copied again once the copy made
        // before is gone, without asking the table again.
        const char* pszModel = nullptr;
        if ((pcache_ && pcache_->Lacks(sz)) || !ux_HashFindKey(phashStr_, sz, &pszModel))
            pszModel = nullptr;
        psz = pszModel ? pszModel : pown_->Add(sz);
        if (pcache_) pcache_->Put(sz, psz, pszModel == nullptr, uNow);
        return true;
    }

    HashTable* phashStr_;
    StringArena* pown_;
    StringLookupCache* pcache_;
    std::bitset<256> rgfCached_;
    std::array<const char*, 256> rgpszOneChar_;
};

// The first "/" or "|" of sz at or after ich, or npos. (find_first_of would
// search the two-character set once for every character.)
std::size_t FindSlashOrBar(std::string_view sz, std::size_t ich) {
    for (; ich < sz.size(); ++ich)
        if (sz[ich] == '/' || sz[ich] == '|') return ich;
    return std::string_view::npos;
}

// Whether pch[0 .. cch) holds a "/" or a "|".
bool HasSlashOrBar(const char* pch, std::size_t cch) {
    return AnyByte(
        pch, cch,
        [](const char* pchWord) {
            const std::uint64_t w = LoadWord(pchWord);
            return WordHasByte(w, '/') || WordHasByte(w, '|');
        },
        [](char ch) { return ch == '/' || ch == '|'; });
}

// Stands in for LineInterner with a store for the strings the model lacks
// (which fails only without a string table), interning nothing: for checking
// that a line parses.
class NoInterner {
public:
    explicit NoInterner(const Model& m) : fTable_(m.phashStr != nullptr) {}
    bool Intern(std::string_view, const char*& psz) const {
        psz = nullptr;
        return fTable_;
    }

private:
    bool fTable_;
};

// Interns a data line's form into dl (the marker of a form too long stays
// the marker). 0 or the InsertLine code.
template <typename Interner>
[[gnu::always_inline]] inline int InternForm(std::string_view szForm, DlData& dl,
                                             Interner& interner) {
    if (szForm == szFormTooLong)
        dl.pszForm = szFormTooLong;
    else if (!interner.Intern(szForm, dl.pszForm))
        return kLineInternForm;
    return 0;
}

// Interns a data line's lemma into dl, after its form (a lemma equal to the
// form shares its string). 0 or the InsertLine code.
template <typename Interner>
[[gnu::always_inline]] inline int InternLemma(std::string_view szLemma, std::string_view szForm,
                                              DlData& dl, Interner& interner) {
    if (SameText(szLemma, szForm))
        dl.pszLemma = dl.pszForm;
    else if (!interner.Intern(szLemma, dl.pszLemma))
        return kLineInternLemma;
    return 0;
}

// Parses the form and the lemma of a data line, from ich (just after the
// AC part's "|") to just after the lemma's "|". 0 or the InsertLine code.
template <typename Interner>
int ParseFormAndLemma(std::string_view sz, std::size_t& ich, DlData& dl, Interner& interner) {
    std::size_t ichSep = sz.find('|', ich);
    if (ichSep == std::string_view::npos) return kLineNoForm;
    const std::string_view szForm = sz.substr(ich, ichSep - ich);
    if (const int rc = InternForm(szForm, dl, interner); rc != 0) return rc;
    ich = ichSep + 1;

    ichSep = sz.find('|', ich);
    if (ichSep == std::string_view::npos) return kLineNoLemma;
    if (const int rc = InternLemma(sz.substr(ich, ichSep - ich), szForm, dl, interner); rc != 0)
        return rc;
    ich = ichSep + 1;
    return 0;
}

// Parses a data line into dl, interning every field with interner; its AC
// strings and candidates become one run in lists. 0 or the InsertLine code
// (the line's lists are then empty).
template <typename Interner>
int ParseFields(const Model& m, std::string_view sz, DlData& dl, Interner& interner,
                PointerArena& lists) {
    const auto cTagElem = static_cast<std::size_t>(m.cTagElem);
    const std::size_t cch = sz.size();
    dl.rgpszAC = {};
    dl.rgpszMMt = {};
    dl.cMMt = 0;

    std::size_t ich = std::min(sz.find('|'), cch);
    if (ich != cTagElem) return kLineTagLength;
    const std::string_view szTag = sz.substr(0, ich);
    if (!interner.Intern(szTag, dl.pszTag)) return kLineInternTag;
    if (ich < cch) ++ich;

    // Room for the AC strings and for as many candidates as the rest of the
    // line could hold (each has cTagElem characters and a "/").
    const char** const rgpsz = lists.Room(cTagElem + (cch - ich) / (cTagElem + 1) + 1);
    std::size_t cAC = 0;
    while (ich < cch && sz[ich] != '|') {
        const std::size_t ichSep = FindSlashOrBar(sz, ich);
        if (ichSep == std::string_view::npos || sz[ichSep] != '/') return kLineACPart;
        if (cAC >= cTagElem) return kLineACCount;
        if (!interner.Intern(sz.substr(ich, ichSep - ich), rgpsz[cAC])) return kLineInternAC;
        ++cAC;
        ich = ichSep + 1;
    }
    if (cAC != cTagElem) return kLineACCount;
    dl.uMultiValued = MultiValuedMask(std::span(rgpsz, cTagElem));
    if (ich >= cch) return kLineACPart;
    ++ich;

    if (const int rc = ParseFormAndLemma(sz, ich, dl, interner); rc != 0) return rc;

    std::size_t cMMt = 0;
    if (ich < cch && sz[ich] == '>') {
        ++ich;
        while (ich < cch && sz[ich] != '|') {
            // cTagElem characters without "/" or "|", then a "/".
            if (cch - ich <= cTagElem || sz[ich + cTagElem] != '/' ||
                HasSlashOrBar(sz.data() + ich, cTagElem))
                return kLineCandidate;
            const std::string_view szCand = sz.substr(ich, cTagElem);
            const char* psz = dl.pszTag;
            if (szCand != szTag && !interner.Intern(szCand, psz)) return kLineInternCandidate;
            rgpsz[cTagElem + cMMt++] = psz;
            ich += cTagElem + 1;
        }
    }
    const std::span<const char* const> run = lists.Keep(cTagElem + cMMt);
    dl.rgpszAC = run.first(cTagElem);
    dl.rgpszMMt = run.subspan(cTagElem);
    dl.cMMt = static_cast<int>(cMMt);
    return 0;
}

// The AC part, the form, the lemma and the candidate part of a
// well-formed data line, found by the separators alone: the AC part is the
// text between the tag's "|" and the next one, the candidate part the text
// after the ">" that follows the lemma's "|", up to a further "|" or the
// end. False when the line does not have the tag's,
// the form's and the lemma's "|" where a line that parses has them, or
// has no ">" after them; the line is then parsed field by field.
bool SplitClassParts(std::size_t cTagElem, std::string_view sz, std::string_view& szAC,
                     std::string_view& szForm, std::string_view& szLemma, std::string_view& szMMt) {
    const std::size_t cch = sz.size();
    if (cch <= cTagElem || sz[cTagElem] != '|' || std::memchr(sz.data(), '|', cTagElem) != nullptr)
        return false;
    const std::size_t ichACEnd = sz.find('|', cTagElem + 1);
    if (ichACEnd == std::string_view::npos) return false;
    const std::size_t ichFormEnd = sz.find('|', ichACEnd + 1);
    if (ichFormEnd == std::string_view::npos) return false;
    const std::size_t ichLemmaEnd = sz.find('|', ichFormEnd + 1);
    if (ichLemmaEnd == std::string_view::npos || ichLemmaEnd + 1 >= cch ||
        sz[ichLemmaEnd + 1] != '>')
        return false;
    szAC = sz.substr(cTagElem + 1, ichACEnd - cTagElem - 1);
    szForm = sz.substr(ichACEnd + 1, ichFormEnd - ichACEnd - 1);
    szLemma = sz.substr(ichFormEnd + 1, ichLemmaEnd - ichFormEnd - 1);
    const std::size_t ichMMt = ichLemmaEnd + 2;
    szMMt = sz.substr(ichMMt, std::min(sz.find('|', ichMMt), cch) - ichMMt);
    return true;
}

// Whether pch[0 .. cch) holds a "|": for the short form and lemma.
bool HasBar(const char* pch, std::size_t cch) {
    for (std::size_t ich = 0; ich < cch; ++ich)
        if (pch[ich] == '|') return true;
    return false;
}

// The split SplitClassParts makes of sz, taken from where the reader's pieces
// end (parts), by the separators there alone: the tag has cTagElem
// characters and a "|" follows it, the AC part, the form and the lemma, and
// a ">" the lemma's "|". The text surely splits there too when neither the
// tag nor the form nor the lemma holds a "|" of its own (PiecesHoldNoBar).
// The AC part and the candidate part are taken whole; they split there only
// when they hold no "|" either, which the caller learns from the
// candidate-set cache (a pair of parts met before came from SplitClassParts,
// which never leaves a "|" in them). False when the pieces say nothing sure.
[[gnu::always_inline]] inline bool
SplitAtSeparators(std::size_t cTagElem, std::string_view sz, const DataLineParts& parts,
                  std::string_view& szAC, std::string_view& szForm, std::string_view& szLemma,
                  std::string_view& szMMt) {
    const char* pch = sz.data();
    if (!parts.fKnown || parts.cch != sz.size() || parts.ichTagEnd != cTagElem ||
        parts.ichACEnd <= cTagElem || parts.ichFormEnd <= parts.ichACEnd ||
        parts.ichLemmaEnd <= parts.ichFormEnd || parts.ichLemmaEnd + 1 >= sz.size() ||
        pch[cTagElem] != '|' || pch[parts.ichACEnd] != '|' || pch[parts.ichFormEnd] != '|' ||
        pch[parts.ichLemmaEnd] != '|' || pch[parts.ichLemmaEnd + 1] != '>')
        return false;
    // All within sz, as checked above.
    szAC = {pch + cTagElem + 1, parts.ichACEnd - cTagElem - 1};
    szForm = {pch + parts.ichACEnd + 1, parts.ichFormEnd - parts.ichACEnd - 1};
    szLemma = {pch + parts.ichFormEnd + 1, parts.ichLemmaEnd - parts.ichFormEnd - 1};
    szMMt = {pch + parts.ichLemmaEnd + 2, sz.size() - parts.ichLemmaEnd - 2};
    return true;
}

// Whether the tag (the first cTagElem characters of sz), the form and the
// lemma hold no "|".
bool PiecesHoldNoBar(std::size_t cTagElem, std::string_view sz, std::string_view szForm,
                     std::string_view szLemma) {
    return std::memchr(sz.data(), '|', cTagElem) == nullptr &&
           !HasBar(szForm.data(), szForm.size()) && !HasBar(szLemma.data(), szLemma.size());
}

// SplitAtSeparators, when the text surely splits there too.
bool SplitAtPieces(std::size_t cTagElem, std::string_view sz, const DataLineParts& parts,
                   std::string_view& szAC, std::string_view& szForm, std::string_view& szLemma,
                   std::string_view& szMMt) {
    return SplitAtSeparators(cTagElem, sz, parts, szAC, szForm, szLemma, szMMt) &&
           PiecesHoldNoBar(cTagElem, sz, szForm, szLemma);
}

// A line split at the reader's pieces whose tag, form or lemma holds a "|"
// (ParseWithClassParts, which has then stored nothing): the text is split
// again.
constexpr int kPiecesHoldBar = -1;

// Parses a data line into dl whose AC part and candidate part (split off as
// szAC and szMMt) were met before, as e. With fPieces (the split was made
// at the reader's pieces, by the separators alone), kPiecesHoldBar when the
// tag, the form or the lemma holds a "|"; it is looked for only where the
// tag is not a candidate, or the form or the lemma is new to the cache of
// look-ups, and before anything is interned. Else 0 or the InsertLine code.
[[gnu::always_inline]] inline int
ParseWithClassParts(const CandidateSetParse& e, std::size_t cTagElem, std::string_view sz,
                    std::string_view szForm, std::string_view szLemma, std::string_view szMMt,
                    bool fPieces, DlData& dl, LineInterner& interner) {
    // The tag is mostly one of the candidates (the split found cTagElem
    // characters before the first "|"), which hold no "|".
    const std::string_view szTag(sz.data(), cTagElem);
    const std::size_t cMMt = e.rgpszMMt.size();
    const char* pszTag = nullptr;
    for (std::size_t k = 0; k < cMMt; ++k) {
        if (SameShort({szMMt.data() + k * (cTagElem + 1), cTagElem}, szTag)) {
            pszTag = e.rgpszMMt[k];
            break;
        }
    }
    const char* pszForm = nullptr;
    const char* pszLemma = nullptr;
    const bool fLemmaIsForm = SameText(szLemma, szForm);
    if (fPieces) {
        if (pszTag == nullptr) {
            // The tag is interned first, which may change the cache's
            // answers: all three are checked.
            if (!PiecesHoldNoBar(cTagElem, sz, szForm, szLemma)) return kPiecesHoldBar;
        } else {
            const bool fFormNew = szForm != szFormTooLong && !interner.Cached(szForm, pszForm);
            if (fFormNew && HasBar(szForm.data(), szForm.size())) return kPiecesHoldBar;
            // A new form is put into the cache before the lemma is looked
            // up there; the lemma's answer is then the one it gives.
            if (!fLemmaIsForm && (fFormNew || !interner.Cached(szLemma, pszLemma))) {
                pszLemma = nullptr;
                if (HasBar(szLemma.data(), szLemma.size())) return kPiecesHoldBar;
            }
        }
    }
    dl.pszTag = pszTag;
    if (pszTag == nullptr && !interner.Intern(szTag, dl.pszTag)) return kLineInternTag;
    dl.rgpszAC = e.rgpszAC;
    dl.uMultiValued = e.uMultiValued;
    if (pszForm != nullptr)
        dl.pszForm = pszForm;
    else if (const int rc = InternForm(szForm, dl, interner); rc != 0)
        return rc;
    // As InternLemma, with the comparison of lemma and form made above.
    if (fLemmaIsForm)
        dl.pszLemma = dl.pszForm;
    else if (pszLemma != nullptr)
        dl.pszLemma = pszLemma;
    else if (!interner.Intern(szLemma, dl.pszLemma))
        return kLineInternLemma;
    dl.rgpszMMt = e.rgpszMMt;
    dl.cMMt = static_cast<int>(cMMt);
    return 0;
}

// Parses a data line into dl, interning every field (or looking it up, with
// pown and pcache: see LineInterner). With pclasses, a line whose AC part
// and candidate part were met before takes their strings from there; the
// parse is the same. Copies of strings the model lacks are then shared by
// the lines read until the store is cleared, instead of made for each line:
// line strings are compared with model strings by address, which a copy
// never equals, or by their text. With pparts (where the reader's pieces of
// sz end), a line of a pair of parts met before is split without a search,
// and one whose set the reader has a valid parse of (pparts->pparse) takes
// its lists from there without a look-up.
int ParseDataLine(const Model& m, std::string_view sz, DlData& dl, StringArena* pown,
                  StringLookupCache* pcache, CandidateSetCache* pclasses, PointerArena& lists,
                  const DataLineParts* pparts = nullptr) {
    LineInterner interner(m, pown, pcache);
    // The lists of the lines parsed before the store was cleared went with
    // their strings.
    lists.Follow(interner.Validity());
    const auto cTagElem = static_cast<std::size_t>(std::max(m.cTagElem, 0));
    std::string_view szAC;
    std::string_view szForm;
    std::string_view szLemma;
    std::string_view szMMt;
    bool fSplit = false;
    // The parse of the reader's set (pparts->pparse) is the parse of the
    // parts where the reader's pieces lie; it is taken, or recorded, only
    // for those parts.
    CandidateSetParse* const pparse = pparts ? pparts->pparse : nullptr;
    std::string_view szACPiece;
    std::string_view szMMtPiece;
    const auto RecordParse = [&](const CandidateSetParse& parse) {
        if (pparse && szAC.data() == szACPiece.data() && szAC.size() == szACPiece.size() &&
            szMMt.data() == szMMtPiece.data() && szMMt.size() == szMMtPiece.size())
            *pparse = parse;
    };
    if (pclasses && interner.Table() && m.cTagElem > 0) {
        bool fPieces =
            pparts && SplitAtSeparators(cTagElem, sz, *pparts, szAC, szForm, szLemma, szMMt);
        if (fPieces) {
            szACPiece = szAC;
            szMMtPiece = szMMt;
            if (pparse && pparse->ValidFor(interner.Table(), interner.Validity())) {
                const int rc = ParseWithClassParts(*pparse, cTagElem, sz, szForm, szLemma, szMMt,
                                                   true, dl, interner);
                if (rc != kPiecesHoldBar) return rc;
            }
        }
        for (;;) {
            fSplit = fPieces || SplitClassParts(cTagElem, sz, szAC, szForm, szLemma, szMMt);
            if (!fSplit) break;
            if (const CandidateSetCache::Entry* pe =
                    pclasses->Find(szAC, szMMt, cTagElem, interner.Table(), interner.Validity())) {
                const int rc = ParseWithClassParts(*pe, cTagElem, sz, szForm, szLemma, szMMt,
                                                   fPieces, dl, interner);
                if (rc == 0) RecordParse(*pe);
                if (rc != kPiecesHoldBar) return rc;
            }
            // Parts met before hold no "|"; others may, so the text is split.
            if (!fPieces) break;
            fPieces = false;
        }
    }
    const int rc = ParseFields(m, sz, dl, interner, lists);
    if (rc == 0 && fSplit) {
        pclasses->Put(szAC, szMMt, interner.Table(), interner.Validity(), dl.rgpszAC, dl.rgpszMMt);
        RecordParse(
            {interner.Table(), interner.Validity(), dl.rgpszAC, dl.rgpszMMt, dl.uMultiValued});
    }
    return rc;
}

// Counts of the Train mode: per tag element the key "%02x" (32 + t)
// followed by the AC string, and "7e" followed by the form.
int CountLine(const Model& m, DataTable& dt, const DlData& dl) {
    static constexpr char rgchHex[] = "0123456789abcdef";
    std::string& szKey = dt.szKeyWork;
    for (int t = 0; t < m.cTagElem; ++t) {
        const int iCode = 32 + t;
        szKey.assign(1, rgchHex[(iCode >> 4) & 15]);
        szKey += rgchHex[iCode & 15];
        szKey += dl.rgpszAC[static_cast<std::size_t>(t)];
        if (ux_HashIncr(dt.phashCnt.get(), szKey, 0, "") != 0) {
            std::fprintf(stderr, "%s: cannot increase count (te %d) for: %s\n",
                         ux_ProgName().c_str(), t, szKey.c_str());
            return kLineCountAC;
        }
    }
    szKey.assign("7e");
    szKey += dl.pszForm;
    if (ux_HashIncr(dt.phashCnt.get(), szKey, 0, "") != 0) {
        std::fprintf(stderr, "%s: cannot increase count (form) for: %s\n", ux_ProgName().c_str(),
                     szKey.c_str());
        return kLineCountForm;
    }
    return 0;
}

} // namespace

namespace {

// Yes/no words of the argument file: 1, 0, or -1 for anything else.
int ReadYesNo(std::string_view sz) {
    for (const std::string_view szYes : {"y", "Y", "yes", "Yes", "YES", "1"})
        if (sz == szYes) return 1;
    for (const std::string_view szNo : {"n", "N", "no", "No", "NO", "0"})
        if (sz == szNo) return 0;
    return -1;
}

[[noreturn]] void KeyFatal(const char* pszKey, const char* pszExpected, const char* pszValue) {
    ux_FatalError(kModApp, kMsgApp,
                  ux_StrPrintf("%s: %s must be %s, not \"%s\"\n", ux_ProgName().c_str(), pszKey,
                               pszExpected, pszValue));
}

// Reads the keys that say how the input is read: the boundary-token values,
// the tag table, the format, the tag column and pad, and whether tagged
// CoNLL-U keeps its lemmas (into the test table, which writes the output).
void GetReadingKeys(std::string_view szArgFile, Model& m, pdfRecType& pdf) {
    pdf.pAnalyserUse = m.pAnalyserUse.get();
    std::array<char, kArgBufSize> sz{};
    DataTable& dtOut = *m.pdtS;
    dtOut.tagCol = TagColumn::kXpos;
    if (ux_ArgGetValue(szArgFile, "TagColumn", sz) == 0 && !ParseTagColumn(sz.data(), dtOut.tagCol))
        KeyFatal("TagColumn", "XPOS or UPOS+FEATS", sz.data());
    // Composed tags have a boundary tag of their own; SentTag is not read.
    const bool fComposed = dtOut.tagCol == TagColumn::kUposFeats;
    for (const auto& [pszKey, pszValue] :
         {std::pair{"SentTag", &pdf.szSentTag}, std::pair{"SentForm", &pdf.szSentForm},
          std::pair{"SentLemma", &pdf.szSentLemma}}) {
        if (fComposed && pszValue == &pdf.szSentTag) {
            pdf.szSentTag.assign(static_cast<std::size_t>(std::max(m.cTagElem, 0)), kUdBoundary);
            continue;
        }
        if (ux_ArgGetValue(szArgFile, pszKey, sz) != 0)
            ux_FatalError(kModApp, kMsgApp,
                          ux_StrPrintf("%s: GetValue %s failed\n", ux_ProgName().c_str(), pszKey));
        *pszValue = sz.data();
    }

    if (ux_ArgGetValue(szArgFile, "TagTable", sz) != 0) {
        ux_Warning(kModApp, kMsgApp, "argument TagTable not found; tags not converted");
        pdf.szTagTable.clear();
    } else {
        pdf.szTagTable = sz.data();
    }

    pdf.fmt = InputFormat::kAuto;
    if (ux_ArgGetValue(szArgFile, "InputFormat", sz) == 0 && !ParseInputFormat(sz.data(), pdf.fmt))
        KeyFatal("InputFormat", "sgml, line or conllu", sz.data());
    pdf.conllu.col = dtOut.tagCol;
    pdf.conllu.playout = fComposed && !dtOut.udLayout.Empty() ? &dtOut.udLayout : nullptr;
    pdf.conllu.chTagPad = '-';
    if (ux_ArgGetValue(szArgFile, "TagPad", sz) == 0) {
        if (std::strlen(sz.data()) != 1) KeyFatal("TagPad", "one character", sz.data());
        pdf.conllu.chTagPad = sz[0];
    }
    dtOut.fKeepLemma = false;
    if (ux_ArgGetValue(szArgFile, "KeepLemma", sz) == 0) {
        const int f = ReadYesNo(sz.data());
        if (f < 0) KeyFatal("KeepLemma", "yes or no", sz.data());
        dtOut.fKeepLemma = f == 1;
    }
    pdf.conllu.ptagSpell = &dtOut.tagSpell;
}

int OpenInput(pdfRecType& pdf, const std::string& szFile) {
    pdf.szFileName = szFile;
    if (const int rc = OpenData(pdf); rc != 0) {
        // The reason first: the system's, or an empty file (nothing to read).
        const int iErr = errno;
        std::fprintf(stderr, "%s: %s: %s\n", ux_ProgName().c_str(), pdf.szFileName.c_str(),
                     rc == 1 ? std::strerror(iErr) : "the file is empty");
        std::fprintf(stderr, "%s: Cannot open input file %s\n", ux_ProgName().c_str(),
                     pdf.szFileName.c_str());
        return kDataNotOpened;
    }
    return 0;
}

// The value of a key naming a file; empty when the key is absent or empty.
std::string GetFileKey(std::string_view szArgFile, const std::string& szKey) {
    std::array<char, kArgBufSize> sz{};
    if (ux_ArgGetValue(szArgFile, szKey, sz) != 0) return {};
    return sz.data();
}

void CountTokens(DataTable& dt, const pdfRecType& pdf) {
    dt.clTokens = 0;
    for (long i = 0; i < dt.clData; ++i)
        if (!IsBoundaryLine(dt.rgdl[static_cast<std::size_t>(i)], pdf)) ++dt.clTokens;
}

// An input that gave no data line: either it holds no token in the format
// it was read as, or every line was skipped as a null data line. Said as a
// warning naming the keys that decide how the file is read.
void WarnEverythingSkipped(const pdfRecType& pdf, long cSkipped) {
    if (cSkipped > 0)
        std::fprintf(stderr,
                     "%s: warning: all %ld lines of %s were skipped as null data lines (starting "
                     "with \"|\"): check InputFormat and the tag length TagElemMax\n",
                     ux_ProgName().c_str(), cSkipped, pdf.szFileName.c_str());
    else
        std::fprintf(stderr,
                     "%s: warning: %s holds no token: check InputFormat (sgml, line or conllu)\n",
                     ux_ProgName().c_str(), pdf.szFileName.c_str());
}

// One token as read, waiting for its table to be set up.
struct ReadToken {
    std::string szLine;
    std::string szRest;
    gapRecType gap;
    int fWord = 0;
};

// Reads the whole file dt.szFile into dt; its end-of-input token is not
// stored. 0, 32 when the file cannot be opened, 49 when the reader fails,
// or the InsertLine code.
int ReadSegmentFile(std::string_view szArgFile, Model& m, DataTable& dt) {
    auto ppdf = std::make_unique<pdfRecType>();
    pdfRecType& pdf = *ppdf;
    GetReadingKeys(szArgFile, m, pdf);
    if (const int rc = OpenInput(pdf, dt.szFile); rc != 0) return rc;
    // The tokens of a Train file may take their candidates from their own
    // fold's analyser.
    pdf.fTrainingLine = &dt == m.pdtT && dt.szDataPrefix.empty() ? 1 : 0;

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    std::vector<ReadToken> rgtok;
    gapRecType gap;
    int rc = 0;
    long cSkipped = 0;
    while ((rc = GetEvent(szLine, szRest, gap, pdf, m)) == 0) {
        if (pdf.fEndToken) break;
        const auto n = static_cast<long>(rgtok.size());
        if (szLine[0] == '|') {
            std::fprintf(stderr, "null input data (line %ld): %s, rest %s\n", n, szLine.data(),
                         szRest.data());
            ++cSkipped;
            continue;
        }
        if (m.fInputAC) std::fprintf(m.fInputAC, "%09ld %s\n", n, szLine.data());
        rgtok.push_back({szLine.data(), szRest.data(), gap, pdf.fWord});
    }
    if (rc != 0 && rc != -1) return kDataReadFailed;
    if (rgtok.empty()) WarnEverythingSkipped(pdf, cSkipped);

    dt.ilStart = 0;
    dt.clLines = static_cast<long>(rgtok.size());
    if ((rc = AllocSegment(m, dt)) != 0) return rc;
    dt.clData = 0;
    dt.clWords = 0;
    for (auto& rgclCnt : dt.rgrgclCntTE) rgclCnt.fill(0);
    for (std::size_t i = 0; i < rgtok.size(); ++i) {
        ReadToken& tok = rgtok[i];
        rc = InsertLine(m, dt, tok.szLine, static_cast<long>(i), tok.szRest, tok.gap, tok.fWord);
        if (rc != 0) return rc;
        tok = ReadToken();
    }
    dt.iInputState = pdf.iState;
    CountTokens(dt, pdf);
    return 0;
}

// Sets up pdf for the file named by InData (or, when fTestData is set and
// InData is absent, by TestData) and opens it: 0, 31 or 32.
int OpenDataInput(std::string_view szArgFile, Model& m, pdfRecType& pdf, std::string_view szPrefix,
                  bool fTestData) {
    PointTables(m);
    const std::string szKey = std::string(szPrefix) + "InData";
    std::string szFile = GetFileKey(szArgFile, szKey);
    if (szFile.empty() && fTestData)
        szFile = GetFileKey(szArgFile, std::string(szPrefix) + "TestData");
    if (szFile.empty()) {
        std::fprintf(stderr, "%s: GetValue (segments) %s failed\n", ux_ProgName().c_str(),
                     szKey.c_str());
        return kDataNoInput;
    }
    m.szTrainingData = szFile;
    GetReadingKeys(szArgFile, m, pdf);
    if (const int rc = OpenInput(pdf, szFile); rc != 0) return rc;
    m.pdtS->szDataPrefix = szPrefix;
    m.pdtS->szSegment = "Test";
    return 0;
}

// The segment dt ends past the n data lines of InData: says so in the
// user's terms before the code-only message of the caller.
void ReportSegmentPastEnd(const DataTable& dt, long n) {
    const std::string szSeg = dt.szDataPrefix + dt.szSegment;
    std::fprintf(stderr,
                 "%s: %s, but the %s segment (lines %ld..%ld) ends past it: check %sStart and "
                 "%sLines\n",
                 ux_ProgName().c_str(),
                 n == 0 ? "InData holds no data line (no sentence)"
                        : ux_StrPrintf("InData holds %ld data lines", n).c_str(),
                 szSeg.c_str(), dt.ilStart, dt.ilStart + dt.clLines - 1, szSeg.c_str(),
                 szSeg.c_str());
}

// Reads InData once and distributes its lines over the segments given by
// line numbers (the tables not marked in rgfFile). 0 or a ReadData code.
int ReadLineSegments(std::string_view szArgFile, Model& m, std::string_view szPrefix,
                     const std::array<bool, 3>& rgfFile) {
    auto ppdf = std::make_unique<pdfRecType>();
    pdfRecType& pdf = *ppdf;
    if (const int rc = OpenDataInput(szArgFile, m, pdf, szPrefix, false); rc != 0) return rc;

    DataTable* const rgpdt[] = {m.pdtT, m.pdtH, m.pdtS};
    static constexpr const char* rgszSegment[] = {"Train", "Heldout", "Test"};
    static constexpr int rgrcSegment[] = {kDataNoTrainKeys, kDataNoHeldoutKeys, kDataNoTestKeys};
    // A table read from a file of its own stands here as an empty segment.
    DataTable dtNone;
    dtNone.ilStart = kSegmentNotGiven;
    for (int k = 0; k < 3; ++k) {
        if (rgfFile[static_cast<std::size_t>(k)]) continue;
        rgpdt[k]->szDataPrefix = szPrefix;
        rgpdt[k]->szSegment = rgszSegment[k];
        if (GetSegment(szArgFile, m, *rgpdt[k]) != 0) return rgrcSegment[k];
    }
    DataTable* rgpdtLine[3];
    for (int k = 0; k < 3; ++k)
        rgpdtLine[k] = rgfFile[static_cast<std::size_t>(k)] ? &dtNone : rgpdt[k];

    DataTable& dtTr = *rgpdtLine[0];
    DataTable& dtHe = *rgpdtLine[1];
    DataTable& dtTe = *rgpdtLine[2];
    const long ilTrLast = dtTr.ilStart + dtTr.clLines - 1;
    const long ilHeLast = dtHe.ilStart + dtHe.clLines - 1;
    const long ilTeLast = dtTe.ilStart + dtTe.clLines - 1;
    if (Inside(dtHe.ilStart, dtTr.ilStart, ilTrLast)) return kDataHeldoutStartInTrain;
    if (Inside(ilHeLast, dtTr.ilStart, ilTrLast)) return kDataHeldoutEndInTrain;
    if (Inside(dtTe.ilStart, dtTr.ilStart, ilTrLast)) return kDataTestStartInTrain;
    if (Inside(ilTeLast, dtTr.ilStart, ilTrLast)) return kDataTestEndInTrain;
    if (Inside(dtTe.ilStart, dtHe.ilStart, ilHeLast)) return kDataTestStartInHeldout;
    if (Inside(ilTeLast, dtHe.ilStart, ilHeLast)) return kDataTestEndInHeldout;

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    gapRecType gap;
    long n = 0;
    int rc = 0;
    long cSkipped = 0;
    for (;;) {
        // Tokens of the training segment may take their candidates from
        // their own fold's analyser.
        pdf.fTrainingLine = InSegment(dtTr, n) ? 1 : 0;
        if ((rc = GetEvent(szLine, szRest, gap, pdf, m)) != 0) break;
        const std::string_view svLine(szLine.data());
        const std::string_view svRest(szRest.data());
        if (!svLine.empty() && svLine[0] == '|') {
            std::fprintf(stderr, "null input data (line %ld): %s, rest %s\n", n, szLine.data(),
                         szRest.data());
            ++cSkipped;
            continue;
        }
        if (m.fInputAC && std::fprintf(m.fInputAC, "%09ld %s\n", n, szLine.data()) < 0)
            ux_WriteFailed(fileno(m.fInputAC), m.szInputAC, errno);
        // A line normally lies in one segment at most; should segments enclose
        // one another, each table stores a copy of its own.
        for (int k = 0; k < 3; ++k) {
            if (rgfFile[static_cast<std::size_t>(k)]) continue;
            if (InsertLine(m, *rgpdt[k], svLine, n, svRest, gap, pdf.fWord) != 0)
                return kDataInsertTrain + k;
        }
        ++n;
    }
    if (rc != -1) return kDataReadFailed;
    if (n == 0) WarnEverythingSkipped(pdf, cSkipped);

    if (n < dtTr.ilStart + dtTr.clLines && &dtTr != &dtNone) {
        ReportSegmentPastEnd(dtTr, n);
        return kDataTrainPastEnd;
    }
    if (n < dtHe.ilStart + dtHe.clLines && &dtHe != &dtNone) {
        ReportSegmentPastEnd(dtHe, n);
        for (int k = 0; k < 2; ++k)
            std::fprintf(stderr, "READ: %ld, less than %ld\n", n, dtHe.ilStart + dtHe.clLines);
        return kDataHeldoutPastEnd;
    }
    if (n < dtTe.ilStart + dtTe.clLines && &dtTe != &dtNone) {
        ux_Warning(kModApp, kMsgApp,
                   ux_StrPrintf("ReadData: shrinking test/tag data size %ld -> %ld\n", dtTe.clLines,
                                n - dtTe.ilStart));
        dtTe.clLines = n - dtTe.ilStart;
        if (dtTe.clLines < 0) return kDataTestPastEnd;
    }

    for (int k = 0; k < 3; ++k) {
        if (rgfFile[static_cast<std::size_t>(k)]) continue;
        rgpdt[k]->iInputState = pdf.iState;
        CountTokens(*rgpdt[k], pdf);
    }
    return 0;
}

} // namespace

bool IsBoundaryLine(const DlData& dl, const pdfRecType& pdf) {
    return dl.cMMt == 1 && dl.pszTag && dl.pszForm && dl.pszLemma && pdf.szSentTag == dl.pszTag &&
           pdf.szSentForm == dl.pszForm && pdf.szSentLemma == dl.pszLemma;
}

std::string OpenTrainingInput(std::string_view szArgFile, Model& m, pdfRecType& pdf,
                              TrainingLines& lines) {
    PointTables(m);
    std::string szFile = GetFileKey(szArgFile, "TrainData");
    lines = TrainingLines();
    if (szFile.empty()) {
        szFile = GetFileKey(szArgFile, "InData");
        if (szFile.empty()) return "no training data (TrainData or InData)";
        // Keys that are missing or not numbers are reported by the reading
        // that follows.
        long lStart = 0;
        long lLines = 0;
        if (ParseSegmentNumber(GetFileKey(szArgFile, "TrainStart"), lStart) &&
            ParseSegmentNumber(GetFileKey(szArgFile, "TrainLines"), lLines)) {
            lines.ilFirst = lStart;
            lines.ilEnd = lStart + lLines;
        }
    } else {
        lines.fWholeFile = true;
    }
    lines.szFile = szFile;
    if (szFile == "-")
        return "the training data is read twice (once before training) and cannot come from "
               "standard input";
    GetReadingKeys(szArgFile, m, pdf);
    if (OpenInput(pdf, szFile) != 0) return "cannot open the training data " + szFile;
    return {};
}

std::string DeriveUdLayout(std::string_view szArgFile, Model& m, UdLayout& layout) {
    auto ppdf = std::make_unique<pdfRecType>();
    pdfRecType& pdf = *ppdf;
    TrainingLines lines;
    if (std::string szErr = OpenTrainingInput(szArgFile, m, pdf, lines); !szErr.empty())
        return szErr;
    const std::string& szFile = lines.szFile;
    UdLayout::Builder builder;
    pdf.conllu.playout = nullptr;
    pdf.conllu.pbuilder = &builder;
    pdf.conllu.ptagSpell = nullptr;
    if (pdf.iState != kStateConllu)
        return "tags composed from UPOS and FEATS need CoNLL-U training data; " + szFile +
               " is not read as CoNLL-U";

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    gapRecType gap;
    int rc = 0;
    for (long n = 0;; ++n) {
        pdf.conllu.fCollect = n >= lines.ilFirst && n < lines.ilEnd;
        if ((rc = GetEvent(szLine, szRest, gap, pdf, m)) != 0) break;
    }
    if (rc != -1) return "cannot read the training data " + szFile;
    std::array<char, kArgBufSize> sz{};
    const std::string_view szChosen =
        ux_ArgGetValue(szArgFile, "TagFeatures", sz) == 0 ? sz.data() : "";
    return builder.Build(szChosen, layout);
}

int GetDataParams(std::string_view szArgFile, Model& m, pdfRecType& pdf,
                  std::string_view szPrefix) {
    return OpenDataInput(szArgFile, m, pdf, szPrefix, true);
}

int ReadData(std::string_view szArgFile, Model& m, std::string_view szPrefix) {
    std::fprintf(stderr, "Reading data %.*s\n", static_cast<int>(szPrefix.size()), szPrefix.data());
    PointTables(m);

    DataTable* const rgpdt[] = {m.pdtT, m.pdtH, m.pdtS};
    static constexpr const char* rgszSegment[] = {"Train", "Heldout", "Test"};
    static constexpr int rgrcSegment[] = {kDataNoTrainKeys, kDataNoHeldoutKeys, kDataNoTestKeys};
    // Segments that are whole files of their own; the others are line
    // ranges of InData.
    std::array<bool, 3> rgfFile{};
    for (int k = 0; k < 3; ++k) {
        rgpdt[k]->szFile = GetFileKey(szArgFile, std::string(szPrefix) + rgszSegment[k] + "Data");
        rgfFile[static_cast<std::size_t>(k)] = !rgpdt[k]->szFile.empty();
    }
    const bool fAnyFile = rgfFile[0] || rgfFile[1] || rgfFile[2];

    for (int k = 0; k < 3; ++k) {
        if (!rgfFile[static_cast<std::size_t>(k)]) continue;
        rgpdt[k]->szDataPrefix = szPrefix;
        rgpdt[k]->szSegment = rgszSegment[k];
        if (const int rc = ReadSegmentFile(szArgFile, m, *rgpdt[k]); rc != 0)
            return rc == kDataNotOpened || rc == kDataReadFailed ? rc : kDataInsertTrain + k;
    }

    // InData is needed unless every segment is a file or holds no lines.
    bool fInData = !fAnyFile;
    for (int k = 0; k < 3 && !fInData; ++k) {
        if (rgfFile[static_cast<std::size_t>(k)]) continue;
        rgpdt[k]->szDataPrefix = szPrefix;
        rgpdt[k]->szSegment = rgszSegment[k];
        if (GetSegment(szArgFile, m, *rgpdt[k]) != 0) return rgrcSegment[k];
        fInData = rgpdt[k]->ilStart != kSegmentNotGiven && rgpdt[k]->clLines > 0;
    }
    if (fInData) {
        if (const int rc = ReadLineSegments(szArgFile, m, szPrefix, rgfFile); rc != 0) return rc;
    } else {
        for (int k = 0; k < 3; ++k) {
            if (rgfFile[static_cast<std::size_t>(k)]) continue;
            rgpdt[k]->szDataPrefix = szPrefix;
            rgpdt[k]->szSegment = rgszSegment[k];
            if (GetSegment(szArgFile, m, *rgpdt[k]) != 0) return rgrcSegment[k];
            rgpdt[k]->iInputState = rgpdt[2]->iInputState;
        }
    }

    // The model names the data it was trained on: the Train file when the
    // segment is one.
    if (rgfFile[0] && szPrefix.empty()) m.szTrainingData = rgpdt[0]->szFile;
    // Only training walks the lines of a class or of a feature.
    if (IsTrainMode(m)) SizeTrainingLists(*m.pdtT, m.cTagElem);
    std::fprintf(stderr, "Data read in.\n");
    return 0;
}

int GetSegment(std::string_view szArgFile, Model& m, DataTable& dt) {
    long l = 0;
    int rc = GetSegmentKey(szArgFile, dt.szDataPrefix + dt.szSegment + "Start", dt.szStartValue, l,
                           kSegmentNoStart, kSegmentBadStart);
    if (rc != 0) return rc;
    dt.ilStart = l;

    if (dt.ilStart != kSegmentNotGiven) {
        const std::string szKey = dt.szDataPrefix + dt.szSegment + "Lines";
        rc = GetSegmentKey(szArgFile, szKey, dt.szLinesValue, l, kSegmentNoLines, kSegmentBadLines);
        if (rc != 0) return rc;
        if (l < 0) {
            std::fprintf(stderr, "%s: %s must not be negative: %s\n", ux_ProgName().c_str(),
                         szKey.c_str(), dt.szLinesValue.c_str());
            return kSegmentBadLines;
        }
        dt.clLines = l;
        if ((rc = AllocSegment(m, dt)) != 0) return rc;
    }

    dt.clData = 0;
    dt.clWords = 0;
    for (auto& rgclCnt : dt.rgrgclCntTE) rgclCnt.fill(0);
    return 0;
}

int AllocSegment(const Model& m, DataTable& dt) {
    const auto cLines = static_cast<std::size_t>(std::max(dt.clLines, 0L)) + 1;
    dt.rgpszDataLine.assign(cLines, std::string());
    dt.rgdl.assign(cLines, DlData());
    dt.rgpszTagOut.assign(cLines, TagBuf{});
    dt.rgbeam.assign(cLines, BeamLine());
    dt.rgpszRest.assign(cLines, std::string());
    dt.rglineParts.assign(cLines, DataLineParts());
    dt.rgpgap.assign(cLines + 1, GapSpan());
    dt.gapStore.Clear();
    dt.candidateSets.Clear();
    // Only the training table gets the lists (SizeTrainingLists).
    dt.rgplinkFeature.clear();
    dt.rgplinkFeature2.clear();
    dt.rglinkStore.clear();
    dt.rgfLineErr.assign(cLines, 0);
    dt.rgrgfErr.assign(static_cast<std::size_t>(std::max(m.cTagElem, 0)),
                       std::vector<unsigned char>(cLines, 0));
    dt.phashCnt.reset();
    if (IsTrainMode(m)) {
        // An empty segment still gets a valid table (a table needs 2 buckets).
        const auto cl = static_cast<long>(cLines);
        dt.phashCnt = ux_HashNew(std::max(cl, 2L), cl * 10, 4000);
        if (!dt.phashCnt) return kSegmentNoCountTable;
    }
    return 0;
}

namespace {

// The parts of storing line i that do not depend on its parse: its text, an
// empty tag out and the word count.
void SetUpLineText(DataTable& dt, std::size_t i, std::string_view szLine, int fWord) {
    // Emptied and appended to rather than assigned: the same copy into the
    // slot's room, without assign's care for text that overlaps the string.
    dt.rgpszDataLine[i].clear();
    dt.rgpszDataLine[i].append(szLine);
    dt.rgpszTagOut[i].fill('\0');
    if (fWord) ++dt.clWords;
}

// As SetUpLineText, and the line's beam items.
void SetUpLine(const Model& m, DataTable& dt, std::size_t i, std::string_view szLine, int fWord) {
    SetUpLineText(dt, i, szLine, fWord);
    BeamLine& beam = dt.rgbeam[i];
    if (beam.rgve.empty() && m.cBeam > 0) beam.rgve.resize(static_cast<std::size_t>(m.cBeam));
}

// Line i's rest and gap, kept once the line is accepted: the gap is copied
// into the table's gap store, or named there when it lies in it already.
void KeepRest(DataTable& dt, std::size_t i, std::string_view szRest) {
    if (szRest.empty())
        dt.rgpszRest[i].clear();
    else
        dt.rgpszRest[i].assign(szRest);
}
void KeepRestAndGap(DataTable& dt, std::size_t i, std::string_view szRest, const gapRecType& gap) {
    KeepRest(dt, i, szRest);
    dt.rgpgap[i] = {dt.gapStore.Count(), gap.Count()};
    dt.gapStore.AddEntries(gap, 0, gap.Count());
}
void KeepRestAndGap(DataTable& dt, std::size_t i, std::string_view szRest, GapSpan spanGap) {
    KeepRest(dt, i, szRest);
    dt.rgpgap[i] = spanGap;
}

// A gap of a line that is not stored: copied nowhere, or dropped from the
// store.
void DropGap(DataTable&, const gapRecType&) {}
void DropGap(DataTable& dt, GapSpan spanGap) {
    dt.gapStore.Truncate(spanGap.iFirst);
}

// Whether line ilLine has a slot in the table (then i names it). When not,
// its gap is dropped and rc is what storing it returns: 0 for a line outside
// the segment, kLineNotSetUp for one beyond the slots set up.
template <typename Gap>
bool LineSlot(DataTable& dt, long ilLine, const Gap& gap, std::size_t& i, int& rc) {
    rc = 0;
    if (InSegment(dt, ilLine)) {
        i = static_cast<std::size_t>(ilLine - dt.ilStart);
        if (i < dt.rgdl.size()) return true;
        rc = kLineNotSetUp;
    }
    DropGap(dt, gap);
    return false;
}

template <typename Gap>
int InsertLineWithGap(Model& m, DataTable& dt, std::string_view szLine, long ilLine,
                      std::string_view szRest, const Gap& gap, int fWord,
                      const DataLineParts* pparts) {
    std::size_t i = 0;
    if (int rc = 0; !LineSlot(dt, ilLine, gap, i, rc)) return rc;

    SetUpLine(m, dt, i, szLine, fWord);
    DlData& dl = dt.rgdl[i];
    if (const int rc = ParseDataLine(m, szLine, dl, dt.fModelStringsOnly ? &dt.ownStrings : nullptr,
                                     dt.fModelStringsOnly ? &dt.modelLookups : nullptr,
                                     &dt.candidateSets, dt.lineLists, pparts);
        rc != 0) {
        DropGap(dt, gap);
        return rc;
    }
    KeepRestAndGap(dt, i, szRest, gap);

    if (IsTrainMode(m) && dt.phashCnt)
        if (const int rc = CountLine(m, dt, dl); rc != 0) return rc;
    ++dt.clData;
    return 0;
}

template <typename Gap>
int StoreLineWithGap(const Model& /*m*/, DataTable& dt, std::string_view szLine, long ilLine,
                     std::string_view szRest, const Gap& gap, int fWord,
                     const DataLineParts* pparts) {
    std::size_t i = 0;
    if (int rc = 0; !LineSlot(dt, ilLine, gap, i, rc)) return rc;
    dt.rglineParts[i] = pparts ? *pparts : DataLineParts();
    dt.rglineParts[i].pparse = nullptr; // the reader's, and valid only until its next token

    // The beam items are left to the beam pass, which sets them up on a
    // line's first use: on the thread that tags the line, not the one
    // reading it.
    SetUpLineText(dt, i, szLine, fWord);
    KeepRestAndGap(dt, i, szRest, gap);
    ++dt.clData;
    return 0;
}

} // namespace

int InsertLine(Model& m, DataTable& dt, std::string_view szLine, long ilLine,
               std::string_view szRest, const gapRecType& gap, int fWord) {
    return InsertLineWithGap(m, dt, szLine, ilLine, szRest, gap, fWord, nullptr);
}

int InsertLine(Model& m, DataTable& dt, std::string_view szLine, long ilLine,
               std::string_view szRest, GapSpan spanGap, int fWord, const DataLineParts* pparts) {
    return InsertLineWithGap(m, dt, szLine, ilLine, szRest, spanGap, fWord, pparts);
}

namespace {

// True only when ParseFields succeeds on sz with an interner that does not
// fail: the same separators at the same places, found without storing
// anything. False also for some lines that parse; CheckLine then asks
// ParseFields.
bool SurelyParses(std::size_t cTagElem, std::string_view sz) {
    const char* pch = sz.data();
    const std::size_t cch = sz.size();
    if (cch <= cTagElem || pch[cTagElem] != '|' || std::memchr(pch, '|', cTagElem) != nullptr)
        return false;
    std::size_t ich = cTagElem + 1;
    for (std::size_t t = 0; t < cTagElem; ++t) {
        while (ich < cch && pch[ich] != '/' && pch[ich] != '|') ++ich;
        if (ich >= cch || pch[ich] != '/') return false;
        ++ich;
    }
    if (ich >= cch || pch[ich] != '|') return false;
    ++ich;
    // The form and the lemma, each followed by a "|".
    for (int k = 0; k < 2; ++k) {
        const void* pvBar = std::memchr(pch + ich, '|', cch - ich);
        if (pvBar == nullptr) return false;
        ich = static_cast<std::size_t>(static_cast<const char*>(pvBar) - pch) + 1;
    }
    if (ich < cch && pch[ich] == '>') {
        ++ich;
        while (ich < cch && pch[ich] != '|') {
            if (cch - ich <= cTagElem || pch[ich + cTagElem] != '/' ||
                HasSlashOrBar(pch + ich, cTagElem))
                return false;
            ich += cTagElem + 1;
        }
    }
    return true;
}

// The parse itself, for the few lines SurelyParses turns down; kept out of
// line and small, so that the compiler's inlining into the parse of every
// line stays as it was.
[[gnu::cold, gnu::noinline]] int ParseWithoutInterning(const Model& m, std::string_view sz,
                                                       DlData& dl) {
    NoInterner interner(m);
    PointerArena lists;
    const int rc = ParseFields(m, sz, dl, interner, lists);
    // The lists go with the arena.
    dl.rgpszAC = {};
    dl.rgpszMMt = {};
    return rc;
}

} // namespace

int CheckLine(const Model& m, std::string_view szLine, DlData& dlWork, CandidateSetCache* pchecked,
              const DataLineParts* pparts) {
    if (m.phashStr && m.cTagElem >= 0) {
        const auto cTagElem = static_cast<std::size_t>(m.cTagElem);
        // A line whose AC part and candidate part passed before needs only
        // the separators around them.
        std::string_view szAC;
        std::string_view szForm;
        std::string_view szLemma;
        std::string_view szMMt;
        // Plain class parts parse as they stand: only the separators
        // around the other pieces are left to check.
        if (cTagElem > 0 && pparts && pparts->fClassPartsPlain &&
            SplitAtPieces(cTagElem, szLine, *pparts, szAC, szForm, szLemma, szMMt))
            return 0;
        // Parts met before hold no "|", so the text splits where the
        // reader's pieces end (see ParseDataLine).
        if (pchecked && cTagElem > 0 && pparts &&
            SplitAtPieces(cTagElem, szLine, *pparts, szAC, szForm, szLemma, szMMt) &&
            pchecked->Find(szAC, szMMt, cTagElem, m.phashStr.get(), 0))
            return 0;
        const bool fSplit = pchecked && cTagElem > 0 &&
                            SplitClassParts(cTagElem, szLine, szAC, szForm, szLemma, szMMt);
        if (fSplit && pchecked->Find(szAC, szMMt, cTagElem, m.phashStr.get(), 0)) return 0;
        if (SurelyParses(cTagElem, szLine)) {
            if (fSplit) {
                static constexpr std::array<const char*, kTagElemMax> rgpszNone{};
                pchecked->Put(szAC, szMMt, m.phashStr.get(), 0,
                              std::span(rgpszNone).first(cTagElem), {});
            }
            return 0;
        }
    }
    return ParseWithoutInterning(m, szLine, dlWork);
}

int StoreLine(const Model& m, DataTable& dt, std::string_view szLine, long ilLine,
              std::string_view szRest, const gapRecType& gap, int fWord,
              const DataLineParts* pparts) {
    return StoreLineWithGap(m, dt, szLine, ilLine, szRest, gap, fWord, pparts);
}

int StoreLine(const Model& m, DataTable& dt, std::string_view szLine, long ilLine,
              std::string_view szRest, GapSpan spanGap, int fWord, const DataLineParts* pparts) {
    return StoreLineWithGap(m, dt, szLine, ilLine, szRest, spanGap, fWord, pparts);
}

void KeepGapsOfFirstLines(DataTable& dt, long clKeep) {
    dt.gapStore.KeepRuns(std::span(dt.rgpgap).first(static_cast<std::size_t>(clKeep)));
}

void CopyLineGap(const DataTable& dtFrom, long ilFrom, DataTable& dtTo, long ilTo) {
    const GapSpan span = dtFrom.rgpgap[static_cast<std::size_t>(ilFrom)];
    dtTo.rgpgap[static_cast<std::size_t>(ilTo)] = {dtTo.gapStore.Count(), span.cEntries};
    dtTo.gapStore.AddEntries(dtFrom.gapStore, span.iFirst, span.iFirst + span.cEntries);
}

int ReparseLine(const Model& m, DataTable& dt, long il) {
    const auto i = static_cast<std::size_t>(il);
    const DataLineParts* const pparts =
        i < dt.rglineParts.size() && dt.rglineParts[i].fKnown ? &dt.rglineParts[i] : nullptr;
    return ParseDataLine(
        m, dt.rgpszDataLine[i], dt.rgdl[i], dt.fModelStringsOnly ? &dt.ownStrings : nullptr,
        dt.fModelStringsOnly ? &dt.modelLookups : nullptr, &dt.candidateSets, dt.lineLists, pparts);
}

int RenewCopies(const Model& m, DataTable& dt, long clKept) {
    if (dt.ownStrings.BytesUsed() + dt.lineLists.BytesUsed() <= kCopiesKeptMax) return 0;
    dt.ownStrings.Clear();
    for (long il = 0; il < clKept; ++il)
        if (const int rc = ReparseLine(m, dt, il); rc != 0) return rc;
    return 0;
}

const char* GetFormPtr(std::string_view szLine) {
    const std::size_t ich = szLine.find('|');
    if (ich == std::string_view::npos) return nullptr;
    const std::size_t ich2 = szLine.find('|', ich + 1);
    if (ich2 == std::string_view::npos) return nullptr;
    return szLine.data() + ich2 + 1;
}

int GetLemmaStr(std::span<char> szLemma, std::string_view szLine) {
    if (!szLemma.empty()) szLemma[0] = '\0';
    std::size_t ich = 0;
    for (int k = 0; k < 3; ++k) {
        ich = szLine.find('|', ich);
        if (ich == std::string_view::npos || ich + 1 >= szLine.size()) return kLemmaNoBar1 + k;
        ++ich;
    }
    const std::size_t cchLemma = std::min(szLine.find('|', ich), szLine.size()) - ich;
    if (szLemma.empty()) return kLemmaCut;
    const std::size_t cchCopy = std::min(cchLemma, szLemma.size() - 1);
    std::memcpy(szLemma.data(), szLine.data() + ich, cchCopy);
    szLemma[cchCopy] = '\0';
    return cchCopy < cchLemma ? kLemmaCut : 0;
}

const char* GetMMtPtr(std::string_view szLine) {
    std::size_t ich = 0;
    for (int k = 0; k < 4; ++k) {
        ich = szLine.find('|', ich);
        if (ich == std::string_view::npos) return nullptr;
        ++ich;
    }
    if (ich >= szLine.size() || szLine[ich] != '>') return nullptr;
    ++ich;
    if (ich >= szLine.size()) return nullptr;
    return szLine.data() + ich;
}

int MoveDlData(DlData& dlTo, const DlData& dlFrom) {
    if (&dlTo == &dlFrom) return 0;
    dlTo = dlFrom;
    return 0;
}

void CopyVeItem(const Model& m, VeItem& veTo, const VeItem& veFrom) {
    const auto cch = static_cast<std::size_t>(std::clamp(m.cTagElem + 1, 0, kTagElemMax + 1));
    std::memcpy(veTo.pszTag.data(), veFrom.pszTag.data(), cch);
    veTo.iBack = veFrom.iBack;
    veTo.dProb = veFrom.dProb;
}

void ClearDataLine(DataTable& dt, long i) {
    ClearDataLines(dt, i, i + 1);
}

void ClearLineEntries(DataTable& dt, long i) {
    const auto k = static_cast<std::size_t>(i);
    dt.rgpszDataLine[k].clear();
    DlData& dl = dt.rgdl[k];
    dl.pszTag = dl.pszForm = dl.pszLemma = nullptr;
    dl.rgpszAC = {};
    dl.uMultiValued = 0;
    dl.rgpszMMt = {};
    dl.cMMt = 0;
    dt.rgpszRest[k].clear();
    dt.rglineParts[k].fKnown = false;
    dt.rgpgap[k] = GapSpan();
    dt.rgpszTagOut[k].fill('\0');
    dt.rgbeam[k].cBeam = 0;
    dt.rgbeam[k].iBeamBest = -1;
    dt.rgfLineErr[k] = 0;
}

void ClearLineFlags(DataTable& dt, long ilFirst, long ilEnd) {
    if (ilEnd <= ilFirst) return;
    const auto kFirst = static_cast<std::size_t>(ilFirst);
    const auto kEnd = static_cast<std::size_t>(ilEnd);
    // Each element's flags in one run rather than line by line.
    for (auto& rgfErr : dt.rgrgfErr)
        std::fill(rgfErr.begin() + static_cast<std::ptrdiff_t>(kFirst),
                  rgfErr.begin() + static_cast<std::ptrdiff_t>(kEnd), 0);
    for (std::size_t t = 0; t < dt.rgplinkFeature.size(); ++t)
        for (std::size_t k = kFirst; k < kEnd; ++k) {
            FreeFeatureLinks(dt, static_cast<int>(t), dt.rgplinkFeature[t][k]);
            FreeFeatureLinks(dt, static_cast<int>(t), dt.rgplinkFeature2[t][k]);
        }
}

void ClearDataLines(DataTable& dt, long ilFirst, long ilEnd) {
    for (long il = ilFirst; il < ilEnd; ++il) {
        PrefetchLines(dt, il, ilEnd - 1);
        ClearLineEntries(dt, il);
    }
    ClearLineFlags(dt, ilFirst, ilEnd);
}

void MoveDataLine(const Model& m, DataTable& dt, long ilTo, long ilFrom) {
    if (ilTo == ilFrom) return;
    const auto kTo = static_cast<std::size_t>(ilTo);
    const auto kFrom = static_cast<std::size_t>(ilFrom);
    std::swap(dt.rgpszDataLine[kTo], dt.rgpszDataLine[kFrom]);
    MoveDlData(dt.rgdl[kTo], dt.rgdl[kFrom]);
    std::swap(dt.rgpszRest[kTo], dt.rgpszRest[kFrom]);
    std::swap(dt.rglineParts[kTo], dt.rglineParts[kFrom]);
    dt.rgpgap[kTo] = dt.rgpgap[kFrom];
    dt.rgpszTagOut[kTo] = dt.rgpszTagOut[kFrom];
    BeamLine& beamTo = dt.rgbeam[kTo];
    BeamLine& beamFrom = dt.rgbeam[kFrom];
    dt.rgfLineErr[kTo] = dt.rgfLineErr[kFrom];
    for (auto& rgfErr : dt.rgrgfErr) rgfErr[kTo] = rgfErr[kFrom];
    for (std::size_t t = 0; t < dt.rgplinkFeature.size(); ++t) {
        FreeFeatureLinks(dt, static_cast<int>(t), dt.rgplinkFeature[t][kTo]);
        FreeFeatureLinks(dt, static_cast<int>(t), dt.rgplinkFeature2[t][kTo]);
        std::swap(dt.rgplinkFeature[t][kTo], dt.rgplinkFeature[t][kFrom]);
        std::swap(dt.rgplinkFeature2[t][kTo], dt.rgplinkFeature2[t][kFrom]);
    }
    beamTo.cBeam = beamFrom.cBeam;
    beamTo.iBeamBest = beamFrom.iBeamBest;
    if (beamTo.rgve.size() < beamFrom.rgve.size()) beamTo.rgve.resize(beamFrom.rgve.size());
    for (std::size_t k = 0; k < beamFrom.rgve.size(); ++k)
        CopyVeItem(m, beamTo.rgve[k], beamFrom.rgve[k]);
    ClearDataLine(dt, ilFrom);
}

FeatureLink* NewFeatureLink(DataTable& dt, int t) {
    LinkStore& store = dt.rglinkStore[static_cast<std::size_t>(t)];
    if (FeatureLink* plink = store.plinkFree) {
        store.plinkFree = plink->pNext;
        *plink = FeatureLink{};
        return plink;
    }
    return &store.rglink.emplace_back();
}

void FreeFeatureLinks(DataTable& dt, int t, FeatureLink*& plinkHead) {
    if (plinkHead == nullptr) return;
    LinkStore& store = dt.rglinkStore[static_cast<std::size_t>(t)];
    while (FeatureLink* plink = plinkHead) {
        plinkHead = plink->pNext;
        plink->pNext = store.plinkFree;
        store.plinkFree = plink;
    }
}

void SizeTrainingLists(DataTable& dt, int cTagElem) {
    const auto cTE = static_cast<std::size_t>(std::max(cTagElem, 0));
    const auto cLines = static_cast<std::size_t>(std::max(dt.clData, 0L));
    const auto Size = [&](auto& rgrg, std::size_t c, auto none) {
        if (rgrg.size() < cTE) rgrg.resize(cTE);
        for (auto& rg : rgrg) {
            if (rg.size() < c) rg.resize(c, none);
        }
    };
    Size(dt.rgilNextAC, cLines, -1L);
    Size(dt.rgilNextFeature, cLines, -1L);
    // The link lists have an entry for every line of the segment, as the
    // other per-line arrays.
    const auto cLinked = std::max(cLines, static_cast<std::size_t>(std::max(dt.clLines, 0L)) + 1);
    Size(dt.rgplinkFeature, cLinked, static_cast<FeatureLink*>(nullptr));
    Size(dt.rgplinkFeature2, cLinked, static_cast<FeatureLink*>(nullptr));
    if (dt.rglinkStore.size() < cTE) dt.rglinkStore.resize(cTE);
}

void ResetDataTable(DataTable& dt) {
    dt = DataTable();
}

} // namespace vexta
