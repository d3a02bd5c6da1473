// Block reading with push-back, SGML characters, tag/text pairs with nested
// comments skipped, tag names, the src attribute and number checks.
#include "corpus/sgml_lexer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include <unistd.h>

#include "base/byte_scan.h"
#include "base/ux_base.h"

namespace vexta {

namespace {

[[noreturn]] void InputFailure(const pdfRecType& pdf, std::string_view szWhat) {
    std::string sz = "GetPDFChar: ";
    sz += szWhat;
    sz += " in input file ";
    sz += pdf.szFileName;
    GiveUpIfAsked(pdf);
    ux_LnFatalError(kModApp, kMsgApp, pdf.lLine, sz);
}

// Refills the block buffer; false at the end of the file.
bool ReadBlock(pdfRecType& pdf) {
    if (!pdf.spanMem.empty()) {
        pdf.pchBuf = pdf.pchBufStart = pdf.spanMem.data();
        pdf.pchBufEnd = pdf.pchBuf + pdf.spanMem.size();
        pdf.spanMem = {};
        return true;
    }
    if (pdf.fFailAfterMem) InputFailure(pdf, "read error");
    std::size_t cb = 0;
    if (pdf.pf) {
        cb = std::fread(pdf.szBuf.data(), 1, kPdfBlockSize, pdf.pf.get());
        if (cb == 0 && std::ferror(pdf.pf.get())) InputFailure(pdf, "read error");
    }
    pdf.szBuf[cb] = '\0';
    pdf.pchBuf = pdf.pchBufStart = pdf.szBuf.data();
    pdf.pchBufEnd = pdf.pchBuf + cb;
    return cb > 0;
}

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n';
}

// Characters that end a tag name or an attribute word.
bool IsAttrStop(char ch) {
    return ch == '\0' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '>';
}

void SetEmpty(std::span<char> sz) {
    if (!sz.empty()) sz[0] = '\0';
}

// Whether the first line, read ahead and pushed back, is a CoNLL-U comment
// or word line ("#", or an ID followed by a tab).
bool LooksLikeConllu(pdfRecType& pdf) {
    std::string sz;
    for (int k = 0; k < kPdfPushBackMax - 2; ++k) {
        const char ch = GetPDFChar(pdf);
        if (pdf.fEOF) break;
        sz += ch;
        if (ch == '\n') break;
    }
    for (const char ch : sz) PutPDFChar(pdf, ch);
    // The end of the file is found again after the pushed-back characters.
    pdf.fEOF = 0;
    if (sz.starts_with('#')) return true;
    const std::size_t ich = sz.find_first_not_of("0123456789-.");
    return ich > 0 && ich != std::string::npos && sz[ich] == '\t' && sz[0] >= '0' && sz[0] <= '9';
}

} // namespace

void RestartScan(pdfRecType& pdf, std::span<const char> spanMem, bool fFailAfterMem,
                 long lLineStart) {
    pdf.szBuf[0] = '\0';
    pdf.pchBuf = pdf.pchBufEnd = pdf.pchBufStart = pdf.szBuf.data();
    pdf.spanMem = spanMem;
    pdf.fFailAfterMem = fFailAfterMem;
    pdf.szPushBack[0] = '\0';
    pdf.pchPushBack = pdf.szPushBack.data();
    pdf.cchPushBack = 0;
    pdf.fEOF = 0;
    pdf.fEndSeen = 0;
    pdf.fEndToken = 0;
    pdf.lLine = lLineStart;
}

int OpenData(pdfRecType& pdf) {
    pdf.phashTag.reset();
    pdf.phashTagInv.reset();
    if (pdf.szFileName == "-") {
        // Standard input, through a descriptor of its own so that closing the
        // reader leaves the process's stdin alone.
        const int fd = dup(STDIN_FILENO);
        if (fd >= 0) {
            pdf.pf.reset(fdopen(fd, "r"));
            if (!pdf.pf) close(fd);
        }
    } else {
        pdf.pf.reset(std::fopen(pdf.szFileName.c_str(), "r"));
    }
    if (!pdf.pf) return 1;

    RestartScan(pdf, {}, false, 0);
    pdf.szPrevLine[0] = '\0';
    pdf.conllu.fInSentence = pdf.conllu.fLineHeld = pdf.conllu.fWarnedNoCands = false;
    pdf.conllu.lLinesRead = 0;
    pdf.conllu.szLine.clear();
    pdf.conllu.szPending.clear();

    int rc = 0;
    const char ch = GetPDFChar(pdf);
    pdf.iState = 0;
    if (pdf.fEOF) {
        rc = 2;
    } else {
        switch (pdf.fmt) {
        case InputFormat::kSgml:
            pdf.iState = 2;
            break;
        case InputFormat::kLine:
            pdf.iState = kStateLine;
            break;
        case InputFormat::kConllu:
            pdf.iState = kStateConllu;
            break;
        case InputFormat::kAuto:
            if (pdf.szFileName.ends_with(".conllu"))
                pdf.iState = kStateConllu;
            else
                pdf.iState = ch == '<' ? 2 : kStateLine;
            break;
        }
        if (PutPDFChar(pdf, ch) != 0) rc = 3;
        // Standard input has no name to tell CoNLL-U by: its first line does.
        if (pdf.iState == kStateLine && pdf.fmt == InputFormat::kAuto && pdf.szFileName == "-" &&
            LooksLikeConllu(pdf))
            pdf.iState = kStateConllu;
    }
    pdf.lLine = 1;

    if (!pdf.szTagTable.empty()) {
        if (ux_HashFileIn(&pdf.phashTag, pdf.szTagTable, 0) != 0 || !pdf.phashTag)
            ux_FatalError(kModApp, kMsgApp,
                          ux_ProgName() + ": cannot open tag table " + pdf.szTagTable + "\n");
        if (ux_HashFileIn(&pdf.phashTagInv, pdf.szTagTable, 1) != 0 || !pdf.phashTagInv)
            ux_FatalError(kModApp, kMsgApp,
                          ux_ProgName() + ": cannot open inv tag table " + pdf.szTagTable + "\n");
    }
    return rc;
}

char GetPDFChar(pdfRecType& pdf) {
    if (pdf.pchPushBack < pdf.szPushBack.data() + pdf.cchPushBack) return *pdf.pchPushBack++;
    if (pdf.pchBuf >= pdf.pchBufEnd) {
        if (pdf.fEOF) return '\0';
        if (!ReadBlock(pdf)) {
            pdf.fEOF = 1;
            return '\0';
        }
    }
    const char ch = *pdf.pchBuf++;
    if (ch == '\0') InputFailure(pdf, "zero byte");
    return ch;
}

bool GetPDFLine(pdfRecType& pdf, std::string& sz) {
    sz.clear();
    while (pdf.pchPushBack < pdf.szPushBack.data() + pdf.cchPushBack) {
        const char ch = *pdf.pchPushBack++;
        if (ch == '\0') InputFailure(pdf, "zero byte");
        sz += ch;
        if (ch == '\n') return true;
    }
    for (;;) {
        if (pdf.pchBuf >= pdf.pchBufEnd) {
            if (pdf.fEOF || !ReadBlock(pdf)) {
                pdf.fEOF = 1;
                return !sz.empty();
            }
        }
        const auto cb = static_cast<std::size_t>(pdf.pchBufEnd - pdf.pchBuf);
        const auto* pchNl = static_cast<const char*>(std::memchr(pdf.pchBuf, '\n', cb));
        const char* pchEnd = pchNl ? pchNl + 1 : pdf.pchBufEnd;
        const auto cch = static_cast<std::size_t>(pchEnd - pdf.pchBuf);
        if (std::memchr(pdf.pchBuf, '\0', cch) != nullptr) InputFailure(pdf, "zero byte");
        sz.append(pdf.pchBuf, cch);
        pdf.pchBuf = pchEnd;
        if (pchNl) return true;
    }
}

int PutPDFChar(pdfRecType& pdf, char ch) {
    if (pdf.pchPushBack >= pdf.szPushBack.data() + pdf.cchPushBack) {
        pdf.pchPushBack = pdf.szPushBack.data();
        pdf.cchPushBack = 0;
    }
    if (pdf.cchPushBack >= kPdfPushBackMax) return 1;
    pdf.szPushBack[pdf.cchPushBack++] = ch;
    pdf.szPushBack[pdf.cchPushBack] = '\0';
    return 0;
}

char GetSGMLChar(pdfRecType& pdf) {
    const char ch = GetPDFChar(pdf);
    if (pdf.fEOF) return kChEndOfInput;
    if (ch == '\t') return ' ';
    if (ch == '\n') {
        ++pdf.lLine;
        return ' ';
    }
    return ch;
}

namespace {

// Reads on from the block buffer, without going through GetSGMLChar for
// every character, as long as nothing is pushed back: appends the characters
// up to chStop (or the end of the block) to sz as AddCharToString does (tab
// and newline as a space, a newline counted), keeping sz zero-terminated.
// pichKeep, when given, follows the position after the last non-blank
// character. chStop itself is consumed and stored when fTakeStop is set,
// else left unread. True when chStop was met.
bool ScanBlock(pdfRecType& pdf, char chStop, bool fTakeStop, std::span<char> sz, int& ich,
               int* pichKeep) {
    if (pdf.pchPushBack < pdf.szPushBack.data() + pdf.cchPushBack) return false;
    const char* pch = pdf.pchBuf;
    const char* const pchEnd = pdf.pchBufEnd;
    const int ichMax = static_cast<int>(sz.size()) - 2; // AddCharToString refuses from here on
    bool fStop = false;
    for (; pch < pchEnd; ++pch) {
        char ch = *pch;
        if (ch == chStop) {
            fStop = true;
            if (!fTakeStop) break;
        } else if (ch == '\n') {
            ++pdf.lLine;
            ch = ' ';
        } else if (ch == '\t') {
            ch = ' ';
        } else if (ch == '\0') {
            pdf.pchBuf = pch + 1;
            InputFailure(pdf, "zero byte");
        }
        if (ich < ichMax) sz[static_cast<std::size_t>(ich++)] = ch;
        if (pichKeep != nullptr && ch != ' ') *pichKeep = ich;
        if (fStop) {
            ++pch;
            break;
        }
    }
    pdf.pchBuf = pch;
    if (!sz.empty()) sz[static_cast<std::size_t>(ich)] = '\0';
    return fStop;
}

// Copies the characters [pch, pchEnd) to sz from ich on as ScanBlock stores
// them: tab and newline as a space, at most sz.size() - 2 characters kept,
// zero-terminated. Adds the newlines to cNewlines. False at a zero byte.
bool CopySgmlRun(const char* pch, const char* pchEnd, std::span<char> sz, int& ich,
                 long& cNewlines) {
    const auto cchRun = static_cast<std::size_t>(pchEnd - pch);
    const auto cchRoom = static_cast<std::size_t>(static_cast<int>(sz.size()) - 2 - ich);
    const std::size_t cchCopy = std::min(cchRun, cchRoom);
    char* const pchTo = sz.data() + ich;
    std::memcpy(pchTo, pch, cchCopy);
    for (std::size_t i = 0; i < cchCopy; ++i) {
        const char ch = pchTo[i];
        if (static_cast<unsigned char>(ch) > '\n') continue;
        if (ch == '\n') {
            ++cNewlines;
            pchTo[i] = ' ';
        } else if (ch == '\t') {
            pchTo[i] = ' ';
        } else if (ch == '\0') {
            return false;
        }
    }
    // Characters beyond the room are read and dropped.
    for (std::size_t i = cchCopy; i < cchRun; ++i) {
        if (pch[i] == '\n') ++cNewlines;
        if (pch[i] == '\0') return false;
    }
    ich += static_cast<int>(cchCopy);
    sz[static_cast<std::size_t>(ich)] = '\0';
    return true;
}

// Where a tag and the text after it lie whole in the block buffer.
struct TagInBlock {
    const char* pchName = nullptr; // after the "<" that starts the tag
    const char* pchGt = nullptr;   // the ">" that ends it
    const char* pchLt = nullptr;   // the "<" after its text
    bool fLtWaiting = false;       // the "<" that starts it waits pushed back
};

// Finds the next tag and its text in the block buffer: its "<" comes next
// (from the buffer, or as the only character pushed back), and the ">" and
// the "<" after the text are in the buffer. Reads nothing.
bool FindTagInBlock(const pdfRecType& pdf, TagInBlock& tib) {
    const char* pch = pdf.pchBuf;
    const char* const pchEnd = pdf.pchBufEnd;
    const char* const pchWaitingEnd = pdf.szPushBack.data() + pdf.cchPushBack;
    tib.fLtWaiting = pdf.pchPushBack < pchWaitingEnd;
    if (tib.fLtWaiting) {
        if (pchWaitingEnd - pdf.pchPushBack != 1 || *pdf.pchPushBack != '<') return false;
    } else {
        if (pch >= pchEnd || *pch != '<') return false;
        ++pch;
    }
    tib.pchName = pch;
    tib.pchGt =
        static_cast<const char*>(std::memchr(pch, '>', static_cast<std::size_t>(pchEnd - pch)));
    if (tib.pchGt == nullptr) return false;
    const char* const pchText = tib.pchGt + 1;
    tib.pchLt = static_cast<const char*>(
        std::memchr(pchText, '<', static_cast<std::size_t>(pchEnd - pchText)));
    return tib.pchLt != nullptr;
}

// The common case of GetSGMLTagText in one piece: the tag, its text and the
// "<" after the text all lie in the block buffer, and nothing is pushed back
// but the "<" that the character-by-character path leaves there. Stores tag
// and text as that path does (ichText after the last non-blank character),
// counts their newlines, leaves the next "<" unread in the buffer and returns
// true. Otherwise (also at a zero byte, which that path reports) returns
// false and leaves the reader as it was.
bool ScanTagTextInBlock(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf, int& ichTag,
                        int& ichText) {
    if (szTag.size() < 3 || szText.size() < 3) return false;
    TagInBlock tib;
    if (!FindTagInBlock(pdf, tib)) return false;
    const char* const pch = tib.pchName;
    const char* const pchGt = tib.pchGt;
    const char* const pchLt = tib.pchLt;
    const char* pchText = pchGt + 1;

    long cNewlines = 0;
    szTag[0] = '<';
    ichTag = 1;
    if (!CopySgmlRun(pch, pchGt + 1, szTag, ichTag, cNewlines)) return false;
    for (; pchText < pchLt && IsBlank(*pchText); ++pchText)
        if (*pchText == '\n') ++cNewlines;
    const char* pchTextEnd = pchLt;
    while (pchTextEnd > pchText && IsBlank(pchTextEnd[-1])) --pchTextEnd;
    ichText = 0;
    if (!CopySgmlRun(pchText, pchLt, szText, ichText, cNewlines)) return false;
    ichText = std::min(static_cast<int>(pchTextEnd - pchText), ichText);
    szText[static_cast<std::size_t>(ichText)] = '\0';

    pdf.lLine += cNewlines;
    if (tib.fLtWaiting) ++pdf.pchPushBack;
    pdf.pchBuf = pchLt;
    return true;
}

// Whether [pch, pchEnd) holds a byte below 11 (a zero byte, a tab, a
// newline or another control character).
bool HasLowByte(const char* pch, const char* pchEnd) {
    return AnyByte(
        pch, static_cast<std::size_t>(pchEnd - pch),
        [](const char* pchWord) { return WordHasByteBelow(LoadWord(pchWord), 11); },
        [](char ch) { return static_cast<unsigned char>(ch) < 11; });
}

// The common case of GetSGMLTagTextView, where nothing needs copying: the tag,
// its text and the "<" after the text lie in the block buffer, the "<" that
// starts the tag too (also when it waits pushed back), the tag and the text
// between its outer blanks hold no byte below 11 (no tab or newline to read as
// a space, no zero byte to report), and both fit whole into buffers of cbTag
// and cbText. Sets the views, counts the newlines of the outer blanks, leaves
// the next "<" unread in the buffer and returns true; otherwise returns false
// and leaves the reader as it was.
bool ViewTagTextInBlock(std::size_t cbTag, std::size_t cbText, pdfRecType& pdf,
                        std::string_view& svTag, std::string_view& svText) {
    if (cbTag < 3 || cbText < 3) return false;
    TagInBlock tib;
    if (!FindTagInBlock(pdf, tib)) return false;
    // A "<" waiting pushed back was read from the buffer: it must still be
    // the byte before the next unread one, where the view starts.
    if (tib.fLtWaiting && (pdf.pchBuf == pdf.pchBufStart || pdf.pchBuf[-1] != '<')) return false;
    const char* const pchTag = tib.pchName - 1;
    const char* const pchGt = tib.pchGt;
    const char* const pchLt = tib.pchLt;
    const char* pchText = pchGt + 1;
    if (static_cast<std::size_t>(pchText - pchTag) > cbTag - 3 || HasLowByte(pchTag, pchText))
        return false;

    long cNewlines = 0;
    for (; pchText < pchLt && IsBlank(*pchText); ++pchText)
        if (*pchText == '\n') ++cNewlines;
    const char* pchTextEnd = pchLt;
    for (; pchTextEnd > pchText && IsBlank(pchTextEnd[-1]); --pchTextEnd)
        if (pchTextEnd[-1] == '\n') ++cNewlines;
    if (static_cast<std::size_t>(pchTextEnd - pchText) > cbText - 3 ||
        HasLowByte(pchText, pchTextEnd))
        return false;

    svTag = {pchTag, static_cast<std::size_t>(pchGt + 1 - pchTag)};
    svText = {pchText, static_cast<std::size_t>(pchTextEnd - pchText)};
    pdf.lLine += cNewlines;
    if (tib.fLtWaiting) ++pdf.pchPushBack;
    pdf.pchBuf = pchLt;
    return true;
}

// GetSGMLTagText, and with fViews GetSGMLTagTextView.
template <bool fViews>
int ReadTagText(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf,
                std::string_view& svTag, std::string_view& svText) {
    int iCommentDepth = 0;
    for (;;) {
        int rc = 0;
        int ichTag = 0;
        int ichText = 0;
        if (fViews && ViewTagTextInBlock(szTag.size(), szText.size(), pdf, svTag, svText)) {
            // Whole, so nothing was cut.
        } else {
            if (!ScanTagTextInBlock(szTag, szText, pdf, ichTag, ichText)) {
                // Character by character: across blocks, at the end of the input,
                // with other characters pushed back.
                SetEmpty(szTag);
                SetEmpty(szText);
                ichTag = 0;
                ichText = 0;
                // GetSGMLChar gives the end of the input as kChEndOfInput,
                // which a byte of the input (26, control-Z) may equal: that
                // byte is read as any other, as the block paths read it.
                const auto AtEnd = [&pdf](char ch) { return ch == kChEndOfInput && pdf.fEOF; };
                char ch = GetSGMLChar(pdf);
                if (ch != '<') {
                    svTag = svText = {};
                    return AtEnd(ch) ? kChEndOfInput : kSgmlNoTagStart;
                }
                do {
                    AddCharToString(ch, szTag, ichTag);
                    if (ch == '>' || ScanBlock(pdf, '>', true, szTag, ichTag, nullptr)) break;
                    ch = GetSGMLChar(pdf);
                    if (AtEnd(ch)) {
                        // A tag cut by the end of the input: in a piece,
                        // the rest of it lies after the piece.
                        GiveUpIfAsked(pdf);
                        svTag = {szTag.data(), static_cast<std::size_t>(ichTag)};
                        svText = {};
                        return kChEndOfInput;
                    }
                } while (true);

                do ch = GetSGMLChar(pdf);
                while (ch == ' ');

                int ichKeep = 0; // just after the last non-blank character stored
                while (ch != '<' && !AtEnd(ch)) {
                    AddCharToString(ch, szText, ichText);
                    if (ch != ' ') ichKeep = ichText;
                    ScanBlock(pdf, '<', false, szText, ichText, &ichKeep);
                    ch = GetSGMLChar(pdf);
                }
                if (ch == '<' && PutPDFChar(pdf, '<') != 0) {
                    svTag = {szTag.data(), static_cast<std::size_t>(ichTag)};
                    svText = {szText.data(), static_cast<std::size_t>(ichText)};
                    return kSgmlPushBackFull;
                }
                ichText = ichKeep;
                if (!szText.empty()) szText[ichText] = '\0';
            }
            svTag = {szTag.empty() ? "" : szTag.data(), static_cast<std::size_t>(ichTag)};
            svText = {szText.empty() ? "" : szText.data(), static_cast<std::size_t>(ichText)};
            if (AddCharToString('\0', szTag, ichTag) != 0) rc += kSgmlTagCut;
            if (AddCharToString('\0', szText, ichText) != 0) rc += kSgmlTextCut;
        }

        const bool fOpen = svTag == "<comment>";
        const bool fClose = svTag == "</comment>";
        // A piece cannot tell whether it starts inside a comment.
        if (fOpen || fClose) GiveUpIfAsked(pdf);
        if (fOpen) ++iCommentDepth;
        if (fClose && --iCommentDepth < 0) {
            ux_LnWarning(kModApp, kMsgApp, pdf.lLine, "GetSGMLTagText: extra </comment> ignored");
            iCommentDepth = 0;
        }
        if (fOpen || fClose || iCommentDepth > 0) continue;
        return rc;
    }
}

} // namespace

int GetSGMLTagText(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf) {
    std::string_view svTag;
    std::string_view svText;
    return ReadTagText<false>(szTag, szText, pdf, svTag, svText);
}

int GetSGMLTagTextView(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf,
                       std::string_view& svTag, std::string_view& svText) {
    return ReadTagText<true>(szTag, szText, pdf, svTag, svText);
}

int GetSGMLTagSrcAttr(std::span<char> szValue, std::string_view szTag) {
    SetEmpty(szValue);
    const std::size_t cch =
        szTag.find('\0') == std::string_view::npos ? szTag.size() : szTag.find('\0');
    std::size_t i = (cch > 0 && szTag[0] == '<') ? 1 : 0;
    while (i < cch && !IsAttrStop(szTag[i])) ++i;
    while (i < cch && IsBlank(szTag[i])) ++i;

    while (cch - i > 4) {
        if (szTag.substr(i, 4) == "src=") {
            i += 4;
            if (i < cch && szTag[i] == '"') ++i;
            int ich = 0;
            for (; i < cch && !IsAttrStop(szTag[i]) && szTag[i] != '"'; ++i)
                if (AddCharToString(szTag[i], szValue, ich) != 0) return 1;
            return 0;
        }
        const std::size_t iWord = i;
        while (i < cch && !IsAttrStop(szTag[i]) && szTag[i] != '"') ++i;
        if (i == iWord) {
            // Standing on a stop character: a quote is stepped over, a ">" or
            // a carriage return ends the search.
            if (szTag[i] != '"' && !IsBlank(szTag[i])) break;
            ++i;
        }
        while (i < cch && IsBlank(szTag[i])) ++i;
    }
    return 0;
}

int AddCharToString(char ch, std::span<char> sz, int& ich) {
    if (ich >= static_cast<int>(sz.size()) - 2) return 1;
    sz[ich] = ch;
    sz[ich + 1] = '\0';
    ++ich;
    return 0;
}

int CheckNumber(std::string_view sz) {
    const std::size_t cch = sz.find('\0') == std::string_view::npos ? sz.size() : sz.find('\0');
    std::size_t i = 0;
    while (i < cch && IsBlank(sz[i])) ++i;
    if (i == cch) return kNumberEmpty;
    if (sz[i] == '+' || sz[i] == '-') ++i;
    const std::size_t iDigits = i;
    while (i < cch && sz[i] >= '0' && sz[i] <= '9') ++i;
    if (i == iDigits) return kNumberNoDigit;
    while (i < cch && IsBlank(sz[i])) ++i;
    return i == cch ? 0 : kNumberTrailing;
}

} // namespace vexta
