// Tagged output and windowed beam-search tagging of a whole input.

#include "tagging/tagged_output.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/globals.h"
#include "base/ux_base.h"
#include "corpus/conllu_reader.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "tagging/beam_search.h"

namespace vexta {

namespace {

constexpr std::string_view kErrorMark = "ALOFLAG";
constexpr std::string_view kVirtualEnd = "<<virtualend>>";

std::size_t Idx(long il) {
    return static_cast<std::size_t>(il);
}

void Put(std::string_view sz) {
    ux_OutWrite(sz);
}

void PutChar(char ch) {
    ux_OutChar(ch);
}

bool StartsWith(const char* psz, std::string_view szPrefix) {
    return std::strncmp(psz, szPrefix.data(), szPrefix.size()) == 0;
}

// The text of a gap entry after its "<".
const char* NameOf(const char* pszEntry) {
    return pszEntry[0] != '\0' ? pszEntry + 1 : pszEntry;
}

// An <s> tag: "s" followed by ">" or white space.
bool IsSentenceTag(const char* pszName) {
    if (pszName[0] != 's') return false;
    const char ch = pszName[1];
    return ch == '>' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// The inserted tag "<" + szName, with this tagger's src attribute when it has
// an identifier, then ">" and szText.
void PutInsertedTag(std::string_view szName, std::string_view szText) {
    PutChar('<');
    Put(szName);
    if (!szTaggerID.empty()) {
        Put(" src=\"");
        Put(szTaggerID);
        PutChar('"');
    }
    PutChar('>');
    Put(szText);
}

int WriteLineFormat(const DataTable& dt, long il, std::string_view szTag, int iOutLevel,
                    std::string_view szErrNote) {
    const std::string_view szLine = dt.rgpszDataLine[Idx(il)];
    const std::size_t iBar = szLine.find('|');
    Put(szTag);
    if (iBar != std::string_view::npos) Put(szLine.substr(iBar));
    if (iOutLevel > 100) {
        PutChar(' ');
        Put(szErrNote);
    }
    PutChar('\n');
    return 0;
}

int WriteSgml(const DataTable& dt, long il, std::string_view szTag, int iOutLevel, bool fLineErr) {
    // The tags before the token's analyses, up to its first <MMl> or <MDl>.
    bool fBoundary = false;
    bool fEnd = false;
    const gapRecType* pgapStop = dt.rgpgap[Idx(il)].get();
    for (; pgapStop != nullptr; pgapStop = pgapStop->pgapNext.get()) {
        const char* pszEntry = pgapStop->pszGapText.get();
        const char* pszName = NameOf(pszEntry);
        if (StartsWith(pszName, "MMl") || StartsWith(pszName, "MDl")) break;
        fBoundary = IsSentenceTag(pszName);
        if (StartsWith(pszEntry, kVirtualEnd)) {
            fBoundary = true;
            fEnd = true;
            continue;
        }
        Put(pszEntry);
    }

    // The lemma of the chosen tag: that of the last <MMl> before the <MMt>
    // holding it.
    const char* pszLemma = nullptr;
    for (const gapRecType* pgap = pgapStop; pgap != nullptr; pgap = pgap->pgapNext.get()) {
        const char* pszEntry = pgap->pszGapText.get();
        const char* pszName = NameOf(pszEntry);
        if (StartsWith(pszName, "MMl")) {
            const char* pszGt = std::strchr(pszEntry, '>');
            if (pszGt == nullptr) return kOutLemmaNoText;
            pszLemma = pszGt + 1;
        } else if (StartsWith(pszName, "MMt")) {
            const char* pszGt = std::strchr(pszEntry, '>');
            if (pszGt == nullptr) return kOutTagNoText;
            if (std::string_view(pszGt + 1) == szTag) break;
        }
    }

    if (!fBoundary) {
        if (pszLemma == nullptr) {
            std::fprintf(stderr, "VTC: int error: selected tag not found among MMt??? line: %s\n",
                         dt.rgpszDataLine[Idx(il)].c_str());
            return kOutNoLemma;
        }
        PutInsertedTag("MDl", pszLemma);
        PutInsertedTag("MDt", szTag);
    }
    for (const gapRecType* pgap = pgapStop; pgap != nullptr; pgap = pgap->pgapNext.get())
        Put(pgap->pszGapText.get());
    Put(dt.rgpszRest[Idx(il)]);
    if (iOutLevel > 1 && fLineErr) {
        PutChar(' ');
        Put(kErrorMark);
    }
    if (!fEnd) PutChar('\n');
    return 0;
}

// CoNLL-U: the lines kept before the word as they were read, then the word's
// line with the tag column and (unless KeepLemma) the LEMMA column replaced.
// A lemma the tagger took from the word's own line is copied unchanged, so
// "_" stays "_". Boundary and end-of-input tokens have no line of their own.
int WriteConllu(const DataTable& dt, long il, std::string_view szTag) {
    for (const gapRecType* pgap = dt.rgpgap[Idx(il)].get(); pgap; pgap = pgap->pgapNext.get())
        Put(pgap->pszGapText.get());
    const std::string_view szRaw = dt.rgpszRest[Idx(il)];
    if (szRaw.empty()) return 0;
    const std::string_view szContent = ConlluLineContent(szRaw);
    std::array<std::string_view, kConlluColumns> rgszCol;
    if (SplitConlluColumns(szContent, rgszCol) != kConlluColumns) return kOutNoLemma;

    const int iTagCol = ConlluColumnOf(dt.tagCol);
    const std::string_view szOrigTag = dt.tagSpell.Original(szTag);
    // The lemma of the chosen tag when it is not the word's own; none while
    // a word's only candidate is its own tag.
    const char* pszLemma = nullptr;
    for (int k = 0; k < kConlluColumns; ++k) {
        if (k > 0) PutChar('\t');
        if (k == iTagCol)
            Put(szOrigTag);
        else if (k == kConlluLemma && !dt.fKeepLemma && pszLemma != nullptr)
            Put(pszLemma);
        else
            Put(rgszCol[static_cast<std::size_t>(k)]);
    }
    Put(szRaw.substr(szContent.size()));
    return 0;
}

template <typename Container> void Release(Container& c) {
    Container().swap(c);
}

// Frees the line storage of the window table when tagging ends, however it
// ends.
class WindowStorage {
public:
    WindowStorage(DataTable& dt, long clCapacity) : dt_(dt), clCapacity_(clCapacity) {}
    WindowStorage(const WindowStorage&) = delete;
    WindowStorage& operator=(const WindowStorage&) = delete;
    ~WindowStorage() {
        dt_.clLines = clCapacity_;
        Release(dt_.rgpszDataLine);
        Release(dt_.rgdl);
        Release(dt_.rgpszTagOut);
        Release(dt_.rgbeam);
        Release(dt_.rgpszRest);
        Release(dt_.rgpgap);
        Release(dt_.rgplinkFeature);
        Release(dt_.rgplinkFeature2);
        Release(dt_.rglinkStore);
        dt_.plinkFree = nullptr;
        Release(dt_.rgfLineErr);
        Release(dt_.rgrgfErr);
    }

private:
    DataTable& dt_;
    long clCapacity_;
};

} // namespace

int WriteTaggedLine(const DataTable& dt, const Model& /*m*/, long il, std::string_view szTag,
                    int iOutLevel, bool fLineErr, std::string_view szErrNote) {
    if (dt.iInputState == kStateLine) return WriteLineFormat(dt, il, szTag, iOutLevel, szErrNote);
    if (dt.iInputState == kStateConllu) return WriteConllu(dt, il, szTag);
    return WriteSgml(dt, il, szTag, iOutLevel, fLineErr);
}

int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix) {
    return TagDataVTC(szArgFile, m, fDebug, szPrefix, kVtcWindow);
}

int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix,
               const VtcWindow& win) {
    int iOutLevel = kOutLevelTag;
    if (fDebug > 0) {
        std::fprintf(stderr, "setting fOut to OUTDEBUGINFO in TagDataVTC...\n");
        iOutLevel = kOutLevelTagDebug;
    }

    if (win.ilOutFirst < 0 || win.ilOutFirst > win.clOverlap || win.clOverlap >= win.clCapacity)
        return kTagVtcParams;

    const auto ppdf = std::make_unique<pdfRecType>();
    pdfRecType& pdf = *ppdf;
    if (GetDataParams(szArgFile, m, pdf, szPrefix) != 0) return kTagVtcParams;

    DataTable& dt = *m.pdtS;
    dt.ilStart = 0;
    dt.clLines = win.clCapacity;
    dt.clData = 0;
    dt.clWords = 0;
    if (const int rc = AllocSegment(m, dt); rc != 0) return rc;
    const WindowStorage storage(dt, win.clCapacity);

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    std::unique_ptr<gapRecType> pgap;
    // Last line written from a full window.
    const long ilOutLastFull = win.clCapacity - win.clOverlap + win.ilOutFirst - 1;
    bool fFirstWindow = true;
    int iRet = 0;
    for (;;) {
        long n = 0;
        long ilOutFirst = 0;
        if (!fFirstWindow) {
            // The last lines of the previous window become the left context
            // of this one.
            const long ilKeep = win.clCapacity - win.clOverlap;
            for (long il = 0; il < ilKeep; ++il) ClearDataLine(dt, il);
            for (long il = 0; il < win.clOverlap; ++il) MoveDataLine(m, dt, il, ilKeep + il);
            n = win.clOverlap;
            ilOutFirst = win.ilOutFirst;
        }
        dt.ilStart = 0;
        dt.clLines = win.clCapacity;
        dt.clData = n;

        bool fInputEnded = false;
        while (n < win.clCapacity) {
            const int rc = GetEvent(szLine, szRest, pgap, pdf, m);
            if (rc == -1) {
                fInputEnded = true;
                break;
            }
            if (rc != 0) return kTagVtcRead;
            if (InsertLine(m, dt, szLine.data(), n, szRest.data(), std::move(pgap), pdf.fWord) != 0)
                return kTagVtcInsert;
            ++n;
        }
        dt.iInputState = pdf.iState;
        dt.clLines = n;
        if (n > 0 && dt.rgpszDataLine[Idx(n - 1)].starts_with('|')) dt.clLines = n - 1;
        const long ilOutLast = fInputEnded ? n - 1 : ilOutLastFull;

        const int rc = ErrorRateDataVTC(dt, m, iOutLevel, 0, 0, dt.clLines, ilOutFirst, ilOutLast);
        if (rc > 0) return kTagVtcTagger;
        iRet = rc;
        // Each window's lines go out before the next is read, so that the
        // tool works as a filter in a pipe.
        ux_OutFlush();
        if (fInputEnded) break;
        fFirstWindow = false;
    }
    return iRet;
}

} // namespace vexta
