// CoNLL-U lines to data lines: sentence boundaries, word lines, the lines
// kept for output, tag padding and the checks of every line.
#include "corpus/conllu_reader.h"

#include <array>
#include <cstring>
#include <string>

#include "base/ux_base.h"
#include "corpus/tag_spellings.h"
#include "model/model.h"

namespace vexta {

namespace {

constexpr const char* kGE = "GetEvent: ";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

[[noreturn]] void ConlluFatal(const pdfRecType& pdf, const std::string& szText) {
    ux_LnFatalError(kModApp, kMsgApp, pdf.lLine, szText);
}

bool IsDigits(std::string_view sz) {
    if (sz.empty()) return false;
    for (const char ch : sz)
        if (ch < '0' || ch > '9') return false;
    return true;
}

// A decimal number without a leading zero (0 itself allowed); false when it
// is not one or does not fit.
bool ParseNumber(std::string_view sz, long& l) {
    if (!IsDigits(sz) || (sz.size() > 1 && sz[0] == '0') || sz.size() > 9) return false;
    l = 0;
    for (const char ch : sz) l = l * 10 + (ch - '0');
    return true;
}

enum class LineKind { kWord, kRange, kEmptyNode, kBad };

// Kind of a line by its ID: "N" a word (N >= 1), "N-M" a multiword token
// (1 <= N < M), "N.M" an empty node (N >= 0, M >= 1).
LineKind KindOfId(std::string_view szId, long& lId) {
    const std::size_t ich = szId.find_first_of("-.");
    if (ich == std::string_view::npos)
        return ParseNumber(szId, lId) && lId >= 1 ? LineKind::kWord : LineKind::kBad;
    long lFirst = 0;
    long lSecond = 0;
    if (!ParseNumber(szId.substr(0, ich), lFirst) || !ParseNumber(szId.substr(ich + 1), lSecond))
        return LineKind::kBad;
    if (szId[ich] == '-')
        return lFirst >= 1 && lSecond > lFirst ? LineKind::kRange : LineKind::kBad;
    return lSecond >= 1 ? LineKind::kEmptyNode : LineKind::kBad;
}

bool IsBlankLine(std::string_view sz) {
    return sz.find_first_not_of(" \t") == std::string_view::npos;
}

// Moves the lines waiting for a gap into one gap entry (outside Train mode),
// read as a C string like every entry: up to a NUL byte, should one be there.
void TakePending(pdfRecType& pdf, bool fGap, gapRecType& gap) {
    std::string& szPending = pdf.conllu.szPending;
    if (fGap && !szPending.empty()) gap.Add(szPending.c_str());
    szPending.clear();
}

// The data line of a token whose only candidate is its tag.
void PutDataLine(const pdfRecType& pdf, std::span<char> szLine, std::string_view szTag,
                 std::string_view szForm, std::string_view szLemma) {
    std::array<char, 2 * kTagElemMax + 2> szAC{};
    std::size_t ich = 0;
    for (const char ch : szTag.substr(0, kTagElemMax)) {
        szAC[ich++] = ch;
        szAC[ich++] = '/';
    }
    std::array<char, kTagElemMax + 2> szCand{};
    const std::size_t cchCand = std::min<std::size_t>(szTag.size(), kTagElemMax);
    std::memcpy(szCand.data(), szTag.data(), cchCand);
    szCand[cchCand] = '/';
    if (InsertEvent(szLine, szTag, {szAC.data(), ich}, szForm, szLemma,
                    {szCand.data(), cchCand + 1}) != 0)
        ConlluFatal(pdf, ux_StrPrintf("%sOutput data line too long (>= %ld): %s", kGE,
                                      static_cast<long>(szLine.size()), szLine.data()));
}

// The data line of a word whose candidates are the analyser's (at least
// one), most probable first; the AC part holds per tag element the distinct
// values of the candidates in ascending byte order.
void PutAnalysedLine(const pdfRecType& pdf, std::span<char> szLine, std::string_view szTag,
                     std::string_view szForm, std::string_view szLemma, int cTagElem) {
    const AnalysisList& an = pdf.analyses;
    std::array<char, kDataLineSize> szCand;
    std::size_t cchCand = 0;
    for (int k = 0; k < an.Count(); ++k) {
        const std::string_view szTagK = an.Tag(k);
        if (cchCand + szTagK.size() + 1 >= szCand.size())
            ConlluFatal(pdf, ux_StrPrintf("%sOutput data line too long (>= %ld): %.*s", kGE,
                                          static_cast<long>(szLine.size()),
                                          static_cast<int>(szForm.size()), szForm.data()));
        std::memcpy(szCand.data() + cchCand, szTagK.data(), szTagK.size());
        cchCand += szTagK.size();
        szCand[cchCand++] = '/';
    }
    std::array<char, kTagElemMax * 257> szAC;
    std::size_t cchAC = 0;
    for (int t = 0; t < cTagElem; ++t) {
        std::array<bool, 256> rgfSeen{};
        for (int k = 0; k < an.Count(); ++k) {
            const std::string_view szTagK = an.Tag(k);
            if (static_cast<std::size_t>(t) < szTagK.size())
                rgfSeen[static_cast<unsigned char>(szTagK[static_cast<std::size_t>(t)])] = true;
        }
        for (std::size_t ch = 0; ch < rgfSeen.size(); ++ch)
            if (rgfSeen[ch]) szAC[cchAC++] = static_cast<char>(ch);
        szAC[cchAC++] = '/';
    }
    if (InsertEvent(szLine, szTag, {szAC.data(), cchAC}, szForm, szLemma,
                    {szCand.data(), cchCand}) != 0)
        ConlluFatal(pdf, ux_StrPrintf("%sOutput data line too long (>= %ld): %.*s", kGE,
                                      static_cast<long>(szLine.size()),
                                      static_cast<int>(szForm.size()), szForm.data()));
}

void PutBoundary(pdfRecType& pdf, std::span<char> szLine) {
    pdf.fBoundary = 1;
    PutDataLine(pdf, szLine, pdf.szSentTag, pdf.szSentForm, pdf.szSentLemma);
}

// The UPOS+FEATS tag of a word: collected for a layout being derived (the
// tag is then a stand-in), or composed by the layout.
void ComposeTag(pdfRecType& pdf, const Model& m, std::string_view szUpos, std::string_view szFeats,
                std::span<char> szTag) {
    ConlluScan& scan = pdf.conllu;
    const auto cchTag = static_cast<std::size_t>(m.cTagElem);
    std::string szErr;
    if (scan.pbuilder) {
        std::fill_n(szTag.begin(), cchTag, kUdAbsent);
        if (scan.fCollect) szErr = scan.pbuilder->Add(szUpos, szFeats);
    } else if (!scan.playout || scan.playout->Size() != m.cTagElem) {
        ConlluFatal(pdf, ux_StrPrintf("%sno UPOS+FEATS layout of %d positions to compose tags", kGE,
                                      m.cTagElem));
    } else {
        szErr = scan.playout->Encode(szUpos, szFeats, szTag, scan.misses);
    }
    if (!szErr.empty()) ConlluFatal(pdf, std::string(kGE) + szErr);
    szTag[cchTag] = '\0';
}

// A note on what the layout had no place for, once the input has ended.
void ReportMisses(ConlluScan& scan) {
    UdLayout::Misses& misses = scan.misses;
    if (misses.cUnknownValue > 0)
        ux_Warning(kModApp, kMsgApp,
                   ux_StrPrintf("GetEvent: %ld UPOS or feature values are not in the model's "
                                "UPOS+FEATS layout; they can never be tagged right",
                                misses.cUnknownValue));
    if (misses.cUnknownFeature > 0)
        ux_Warning(kModApp, kMsgApp,
                   ux_StrPrintf("GetEvent: %ld features are not in the model's UPOS+FEATS layout "
                                "(first: %s); they were read as absent",
                                misses.cUnknownFeature, misses.szFirstFeature.c_str()));
    misses = UdLayout::Misses();
}

} // namespace

std::string_view ConlluLineContent(std::string_view szRaw) {
    if (szRaw.ends_with('\n')) szRaw.remove_suffix(1);
    if (szRaw.ends_with('\r')) szRaw.remove_suffix(1);
    return szRaw;
}

int SplitConlluColumns(std::string_view szLine, std::span<std::string_view> rgsz) {
    int cCol = 0;
    std::size_t ich = 0;
    for (;;) {
        const std::size_t ichTab = szLine.find('\t', ich);
        const std::size_t ichEnd = ichTab == std::string_view::npos ? szLine.size() : ichTab;
        if (static_cast<std::size_t>(cCol) < rgsz.size())
            rgsz[static_cast<std::size_t>(cCol)] = szLine.substr(ich, ichEnd - ich);
        ++cCol;
        if (ichTab == std::string_view::npos) return cCol;
        ich = ichTab + 1;
    }
}

int GetConlluEvent(std::span<char> szLine, std::span<char> szRest, gapRecType& gap, pdfRecType& pdf,
                   const Model& m) {
    ConlluScan& scan = pdf.conllu;
    pdf.fWord = 0;
    pdf.fEndToken = 0;
    if (pdf.fEndSeen) return -1;
    const bool fGap = m.fProgMode != kModeTrain;

    for (;;) {
        if (!scan.fLineHeld) {
            if (!GetPDFLine(pdf, scan.szLine)) {
                // The end of the input: a boundary token that carries the
                // lines after the last word.
                TakePending(pdf, fGap, gap);
                PutBoundary(pdf, szLine);
                ReportMisses(scan);
                pdf.fEndSeen = 1;
                pdf.fEndToken = 1;
                return 0;
            }
            pdf.lLine = ++scan.lLinesRead;
            // A byte-order mark is no part of the first line; it is kept
            // for output.
            if (pdf.lLine == 1 && scan.szLine.starts_with(kUtf8Bom)) {
                if (fGap) scan.szPending += kUtf8Bom;
                scan.szLine.erase(0, kUtf8Bom.size());
            }
        }
        scan.fLineHeld = false;
        const std::string_view szContent = ConlluLineContent(scan.szLine);

        if (IsBlankLine(szContent)) {
            scan.fInSentence = false;
            if (fGap) scan.szPending += scan.szLine;
            continue;
        }
        if (!scan.fInSentence) {
            // A sentence starts: its boundary token comes first, the line
            // is handled by the next call.
            scan.fInSentence = true;
            scan.lNextId = 1;
            scan.fLineHeld = true;
            ++pdf.clSentences;
            TakePending(pdf, fGap, gap);
            PutBoundary(pdf, szLine);
            return 0;
        }
        if (szContent[0] == '#') {
            if (fGap) scan.szPending += scan.szLine;
            continue;
        }

        std::array<std::string_view, kConlluColumns> rgszCol;
        const int cCol = SplitConlluColumns(szContent, rgszCol);
        if (cCol != kConlluColumns)
            ConlluFatal(pdf, ux_StrPrintf("%sCoNLL-U line has %d columns, not %d", kGE, cCol,
                                          kConlluColumns));
        for (int k = 0; k < kConlluColumns; ++k)
            if (rgszCol[static_cast<std::size_t>(k)].empty())
                ConlluFatal(pdf, ux_StrPrintf("%sCoNLL-U column %d is empty", kGE, k + 1));
        long lId = 0;
        const std::string_view szId = rgszCol[kConlluId];
        switch (KindOfId(szId, lId)) {
        case LineKind::kBad:
            ConlluFatal(pdf, ux_StrPrintf("%sCoNLL-U ID \"%.*s\" is not a word number, a range or "
                                          "an empty node",
                                          kGE, static_cast<int>(szId.size()), szId.data()));
        case LineKind::kRange:
        case LineKind::kEmptyNode:
            if (fGap) scan.szPending += scan.szLine;
            continue;
        case LineKind::kWord:
            break;
        }
        if (lId != scan.lNextId)
            ConlluFatal(pdf, ux_StrPrintf("%sCoNLL-U word ID %ld out of sequence (expected %ld)",
                                          kGE, lId, scan.lNextId));
        ++scan.lNextId;

        const std::string_view szForm = rgszCol[kConlluForm];
        std::string_view szLemma = rgszCol[kConlluLemma];
        const std::string_view szTagRead =
            rgszCol[static_cast<std::size_t>(ConlluColumnOf(scan.col))];
        if (szForm.size() >= kTokenFieldSize)
            ConlluFatal(pdf, ux_StrPrintf("%sForm too long (>= %d): %.*s", kGE, kTokenFieldSize,
                                          static_cast<int>(szForm.size()), szForm.data()));
        // "_" is no lemma, except for the word "_" itself.
        if (szLemma == "_" && szForm != "_") szLemma = "=";
        if (szLemma.size() > kLemmaMax)
            ConlluFatal(pdf, ux_StrPrintf("%sLemma too long (%d > %d): %.*s", kGE,
                                          static_cast<int>(szLemma.size()), kLemmaMax,
                                          static_cast<int>(szLemma.size()), szLemma.data()));
        // Data lines separate their fields with "|".
        if (szForm.find('|') != std::string_view::npos ||
            szLemma.find('|') != std::string_view::npos)
            ConlluFatal(pdf,
                        ux_StrPrintf("%sForm or lemma holds \"|\", which the tagger cannot "
                                     "represent: %.*s",
                                     kGE, static_cast<int>(szContent.size()), szContent.data()));
        // The analyser's candidates, when it gives them; a word without a
        // tag of its own then takes the most probable one as its true tag.
        const Analyser* pa = nullptr;
        if (const AnalyserUse* puse = pdf.pAnalyserUse; puse && puse->from != CandidatesFrom::Input)
            pa = puse->For(pdf.fTrainingLine != 0, pdf.clSentences);
        if (pa) pa->Analyse(szForm, pdf.analyses);
        const bool fAnalysed = pa && pdf.analyses.Count() > 0;

        std::array<char, kTagElemMax + 1> szTag{};
        const auto cchTag = static_cast<std::size_t>(m.cTagElem);
        if (szTagRead == "_") {
            if (!fAnalysed || pdf.analyses.Tag(0).size() != cchTag)
                ConlluFatal(pdf, ux_StrPrintf("%sNo tag in the tag column and no candidate tags "
                                              "(form %.*s)",
                                              kGE, static_cast<int>(szForm.size()), szForm.data()));
            std::memcpy(szTag.data(), pdf.analyses.Tag(0).data(), cchTag);
        } else if (scan.col == TagColumn::kUposFeats) {
            ComposeTag(pdf, m, szTagRead, rgszCol[kConlluFeats], szTag);
        } else if (!PadTag(szTagRead, cchTag, scan.chTagPad, szTag)) {
            ConlluFatal(pdf, ux_StrPrintf("%sToo long tag (> %d): %.*s, form %.*s", kGE, m.cTagElem,
                                          static_cast<int>(szTagRead.size()), szTagRead.data(),
                                          static_cast<int>(szForm.size()), szForm.data()));
        }
        if (scan.col == TagColumn::kXpos && szTagRead != "_" && szTagRead.size() < cchTag &&
            scan.ptagSpell)
            scan.ptagSpell->Remember({szTag.data(), cchTag}, szTagRead);
        if (!fAnalysed && !scan.fWarnedNoCands) {
            scan.fWarnedNoCands = true;
            ux_Warning(kModApp, kMsgApp,
                       "GetEvent: CoNLL-U input has no candidate tags; each word's own tag is "
                       "its only candidate");
        }

        pdf.fWord = rgszCol[kConlluUpos] != "PUNCT" ? 1 : 0;
        pdf.fBoundary = 0;
        if (fAnalysed)
            PutAnalysedLine(pdf, szLine, {szTag.data(), cchTag}, szForm, szLemma, m.cTagElem);
        else
            PutDataLine(pdf, szLine, {szTag.data(), cchTag}, szForm, szLemma);
        TakePending(pdf, fGap, gap);
        if (fGap) {
            if (scan.szLine.size() + 3 > szRest.size())
                ConlluFatal(pdf, ux_StrPrintf("%sCoNLL-U line too long (>= %ld)", kGE,
                                              static_cast<long>(szRest.size() - 2)));
            std::memcpy(szRest.data(), scan.szLine.data(), scan.szLine.size());
            szRest[scan.szLine.size()] = '\0';
        }
        return 0;
    }
}

} // namespace vexta
