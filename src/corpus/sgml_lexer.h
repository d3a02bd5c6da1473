// Reader of all text input (corpus and model file): one open file delivered
// character by character from a block buffer, with push-back, and on top of
// that a splitter of SGML-like text into pairs of a tag ("<" .. ">") and the
// text that follows it. There is no entity handling: a document is a flat
// sequence of tags, each followed by its text. Comments ("<comment>" ..
// "</comment>", nested) are skipped with everything inside them.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "analyser/analyser.h"
#include "base/string_lookup_cache.h"
#include "base/ux_hash.h"
#include "corpus/candidate_set_cache.h"
#include "corpus/input_format.h"

namespace vexta {

// Character returned by GetSGMLChar at the end of the input. An input byte
// of the same value (control-Z) is an ordinary character: pdfRecType::fEOF
// tells the two apart.
inline constexpr char kChEndOfInput = 26;

inline constexpr int kPdfBlockSize = 31998;  // bytes read from the file at a time
inline constexpr int kPdfPushBackMax = 250;  // characters the push-back store holds
inline constexpr int kPdfTagSize = 250;      // szTag, szSrc
inline constexpr int kPdfTextSize = 4000;    // szText
inline constexpr int kPdfPrevLineShown = 20; // characters of the last data line in messages

// Reader states (iState) that name an input format; SGML uses 2 to 4.
inline constexpr int kStateLine = 1;
inline constexpr int kStateConllu = 5;

// Sizes the event reader passes to the scanning operations.
inline constexpr int kSgmlTagLen = 248;
inline constexpr int kSgmlTextLen = 3998;
inline constexpr int kSgmlTagNameLen = 249;
inline constexpr int kSgmlSrcLen = 248;

struct FileCloser {
    void operator()(std::FILE* pf) const { std::fclose(pf); }
};

// Where the pieces of a data line "tag|AC|form|lemma|>candidates" end, as
// the event reader put it together: the offsets of the "|" after the tag,
// the AC part, the form and the lemma, and the line's length. The pieces
// may themselves hold a "|" (a form such as "a|b"); the offsets are those of
// the reader's pieces, not of the first bars in the text.
struct DataLineParts {
    std::size_t ichTagEnd = 0;
    std::size_t ichACEnd = 0;
    std::size_t ichFormEnd = 0;
    std::size_t ichLemmaEnd = 0;
    std::size_t cch = 0;
    bool fKnown = false; // false: the line was not put together from pieces
    // The AC part and the candidate part hold no "|", and every candidate
    // has cTagElem characters none of which is a "/": those two parts then
    // parse as they stand.
    bool fClassPartsPlain = false;
    // None of the line's cch characters is a zero byte (every piece came
    // from the input, which holds none, or from the reader's own texts): the
    // line is its first cch characters, found without a search for its end.
    bool fNoZeroByte = false;
    // Where the reader keeps the parse of the line's candidate set (the set
    // it has just found or put in its AcPartCache), or null. InsertLine
    // takes the line's AC strings and candidates from there when they are
    // still valid and records them there otherwise, so that the next line
    // of the set is not looked up by its text again. It is valid only until
    // the reader's next token, and only while its lines go to one table
    // (the reader forgets the parses when that changes): a line stored for
    // later is stored without it.
    CandidateSetParse* pparse = nullptr;
};

// One open input file with its scanning state. Large (about 38 KB): keep it as
// a static or heap object of its user; it is never copied.
struct pdfRecType {
    pdfRecType() = default;
    pdfRecType(const pdfRecType&) = delete;
    pdfRecType& operator=(const pdfRecType&) = delete;

    std::string szFileName;                      // path; filled by the caller before OpenData
    std::unique_ptr<std::FILE, FileCloser> pf;   // the open file
    long lLine = 0;                              // 1 after opening, +1 per newline (GetSGMLChar)
    int fWord = 0;                               // token opened by <f>, or line-format input
    std::array<char, kPdfBlockSize + 2> szBuf{}; // last block read, zero-terminated
    const char* pchBuf = szBuf.data();           // next unread character of szBuf
    const char* pchBufEnd = szBuf.data();        // end of the bytes read into szBuf
    const char* pchBufStart = szBuf.data();      // start of the block pchBuf is in
    // Bytes in memory that come before the rest of the file (a piece of the
    // input read on its own): they are the next block, read where they lie.
    // fFailAfterMem: after them, reading the file fails.
    std::span<const char> spanMem;
    bool fFailAfterMem = false;
    int fEOF = 0;                                       // a read of the file returned no bytes
    int fEndSeen = 0;                                   // the last token has been delivered
    std::array<char, kPdfPushBackMax + 2> szPushBack{}; // pushed-back characters, FIFO
    const char* pchPushBack = szPushBack.data();        // next unread pushed-back character
    int cchPushBack = 0;                                // characters stored since last emptied
    int iState = 0; // event reader: 1 line format, 2 SGML start, 3 between, 4 inside, 5 CoNLL-U
    InputFormat fmt = InputFormat::kAuto;  // format asked for; filled by the caller before OpenData
    int fEndToken = 0;                     // the token delivered last is the end-of-input token
    ConlluScan conllu;                     // CoNLL-U reading state
    std::string szSentTag;                 // tag of the sentence-boundary token
    std::string szSentForm;                // form of the sentence-boundary token
    std::string szSentLemma;               // lemma of the sentence-boundary token
    std::array<char, kPdfTagSize> szTag{}; // current tag as read, "<" .. ">"
    std::array<char, kPdfTagSize> szSrc{}; // its src attribute
    std::array<char, kPdfTextSize> szText{}; // text following it
    // The tag, its text and its name as GetSGMLTagTextView read them last:
    // views into szBuf, or into szTag and szText when they had to be copied.
    // Valid until the next read from this record.
    std::string_view svTag;
    std::string_view svText;
    std::string_view svTagName;
    std::string szTagTable;                 // tag table file, empty: no conversion
    std::unique_ptr<HashTable> phashTag;    // source tag -> target tag
    std::unique_ptr<HashTable> phashTagInv; // target tag -> source tag
    // First characters of the last data line delivered, for messages.
    std::array<char, kPdfPrevLineShown + 1> szPrevLine{};
    // The pieces of the last data line delivered, when the SGML reader put
    // it together (not for line-format or CoNLL-U input).
    DataLineParts lineParts;

    // The built-in analyser's part (event reader): where candidates come
    // from (none: the input), whether the next token lies in the training
    // segment (set by the caller, for jackknifing), the number of <s> tokens
    // read, whether the last token delivered was a boundary token, and the
    // analyser's work area.
    const AnalyserUse* pAnalyserUse = nullptr;
    int fTrainingLine = 0;
    long clSentences = 0;
    int fBoundary = 0;
    AnalysisList analyses;
    // The AC parts of the candidate sets met so far (event reader).
    AcPartCache acParts;
    // The event reader takes a token's plain tags (exactly <l>, <t>, <MMl>,
    // <MMt>, with a plain text) from the block buffer itself; false sends
    // every tag through GetSGMLTagTextView, which reads them the same way.
    bool fPlainPairs = true;
    // Set: the look-ups that the parse of each token's data line makes of
    // its form and lemma, asked for as the reader meets them, so that the
    // parse finds them in the cache.
    const StringLookupCache* plookupsAhead = nullptr;
    // Give-up mode, for a reader that reads a piece of the input ahead of
    // its turn: where a message would be written or the run would stop
    // (and at a comment tag, and at a tag cut by the end of the input), the
    // reader throws ReadGivenUp instead, and the piece is read again by a
    // reader in the ordinary mode when its turn comes.
    bool fGiveUp = false;
};

// What a reader in give-up mode throws instead of writing a message.
struct ReadGivenUp {};

// Called by the reader before every message: throws ReadGivenUp in give-up
// mode.
inline void GiveUpIfAsked(const pdfRecType& pdf) {
    if (pdf.fGiveUp) throw ReadGivenUp{};
}

// Puts the record's scanning at the start of its input: spanMem first,
// where it lies, then the file (pf), whose reading fails after spanMem with
// fFailAfterMem. Nothing is read, pushed back or delivered yet; lLine is
// lLineStart.
void RestartScan(pdfRecType& pdf, std::span<const char> spanMem, bool fFailAfterMem,
                 long lLineStart);

// Opens szFileName ("-": standard input) and prepares the record: 0, 1 when
// the file cannot be opened, 2 when it is empty. Decides the input format:
// fmt when it names one, else CoNLL-U (iState 5) for a name ending in
// ".conllu", else SGML (iState 2) when the first character is "<" and data
// lines (1) otherwise; standard input is CoNLL-U when its first line is a
// CoNLL-U comment or word line. Loads the tag tables when szTagTable is set (fatal
// when they cannot be read).
int OpenData(pdfRecType& pdf);

// Next raw character; 0 at the end of the file (fEOF then set). A zero byte
// inside the file is a line-numbered fatal error: it would otherwise end
// every string it is stored into.
char GetPDFChar(pdfRecType& pdf);

// Next raw line into sz, with its line end when it has one: false at the
// end of the file (sz then empty). A zero byte is fatal as in GetPDFChar.
// Lines are not counted in lLine: the caller numbers them.
bool GetPDFLine(pdfRecType& pdf, std::string& sz);

// Pushes a character back; it is read again (first in, first out) before the
// rest of the file. 0, or 1 when the store is full.
int PutPDFChar(pdfRecType& pdf, char ch);

// Next character for SGML scanning: tab and newline come back as a space (a
// newline also counts a line), the end of the input as kChEndOfInput.
char GetSGMLChar(pdfRecType& pdf);

// Results of GetSGMLTagText besides 0 and kChEndOfInput: what was cut (the
// two may be added), or a failure.
inline constexpr int kSgmlTagCut = 1;
inline constexpr int kSgmlTextCut = 2;
inline constexpr int kSgmlNoTagStart = 101;   // the input does not go on with "<"
inline constexpr int kSgmlPushBackFull = 102; // the push-back store is full

// Reads the next tag into szTag and the text after it (outer blanks removed)
// into szText, skipping comments. 0; kChEndOfInput at the end of the input;
// else one of the codes above. A buffer of size cb holds at most cb - 3
// characters whole.
int GetSGMLTagText(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf);

// Reads the next pair as GetSGMLTagText does, with the same results, and
// sets svTag and svText to them. Where a tag and its text lie whole in the
// block buffer with no tab, newline or zero byte inside them, the views point
// there and nothing is copied; otherwise the pair is copied into szTag and
// szText as GetSGMLTagText copies it, and the views point at the copies.
int GetSGMLTagTextView(std::span<char> szTag, std::span<char> szText, pdfRecType& pdf,
                       std::string_view& svTag, std::string_view& svText);

// The name of a tag string ("<name ...>"): what follows the "<" up to a
// blank, a ">" or the end. Inline: the reader asks for every tag it reads.
inline std::string_view SGMLTagName(std::string_view szTag) {
    std::size_t i = (!szTag.empty() && szTag[0] == '<') ? 1 : 0;
    const std::size_t iFirst = i;
    for (; i < szTag.size(); ++i) {
        const char ch = szTag[i];
        if (ch == '>' || ch == ' ' || ch == '\0' || ch == '\t') break;
    }
    return szTag.substr(iFirst, i - iFirst);
}

// Copies the value of the tag's src attribute into szValue (empty when there
// is none): 0, or 1 when it did not fit.
int GetSGMLTagSrcAttr(std::span<char> szValue, std::string_view szTag);

// Stores ch at sz[ich], keeps sz zero-terminated and advances ich: 0, or 1
// without storing when ich >= size - 2.
int AddCharToString(char ch, std::span<char> sz, int& ich);

// Results of CheckNumber besides 0 (a decimal integer, blanks around it).
inline constexpr int kNumberTrailing = 1; // digits followed by something other than blanks
inline constexpr int kNumberEmpty = 2;    // empty or only blanks
inline constexpr int kNumberNoDigit = 3;  // no digit after the blanks and the sign

// Classifies a string as a decimal integer: 0 or one of the codes above.
int CheckNumber(std::string_view sz);

} // namespace vexta
