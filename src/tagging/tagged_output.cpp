// Tagged output and windowed beam-search tagging of a whole input.

#include "tagging/tagged_output.h"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "analyser/analyser.h"
#include "base/short_text.h"
#include "base/ux_base.h"
#include "base/ux_index.h"
#include "corpus/conllu_reader.h"
#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "features/tag_probs.h"
#include "tagging/beam_search.h"

namespace vexta {

namespace {

constexpr std::string_view kErrorMark = "ALOFLAG";
constexpr std::string_view kVirtualEnd = "<<virtualend>>";

// Tagged lines go to the table's output buffer when it has one, else
// straight to standard output.
void Put(const DataTable& dt, std::string_view sz) {
    if (dt.pszOut != nullptr)
        dt.pszOut->append(sz);
    else
        ux_OutWrite(sz);
}

void PutChar(const DataTable& dt, char ch) {
    if (dt.pszOut != nullptr)
        dt.pszOut->push_back(ch);
    else
        ux_OutChar(ch);
}

// The text of a gap entry after its "<".
std::string_view NameOf(std::string_view szEntry) {
    return szEntry.empty() ? szEntry : szEntry.substr(1);
}

// The gap entries the writer looks for, by the start of their name (the
// entry's text after its first character): "MMl", "MMt", "MDl".
enum class EntryKind { kOther, kLemma, kTag, kChosenLemma };

EntryKind KindOf(std::string_view szEntry) {
    if (szEntry.size() < 4 || szEntry[1] != 'M') return EntryKind::kOther;
    const char ch2 = szEntry[2];
    const char ch3 = szEntry[3];
    if (ch2 == 'M') {
        if (ch3 == 'l') return EntryKind::kLemma;
        if (ch3 == 't') return EntryKind::kTag;
    } else if (ch2 == 'D' && ch3 == 'l') {
        return EntryKind::kChosenLemma;
    }
    return EntryKind::kOther;
}

// The second to fifth characters of a plain "<MMt>" and "<MMl>" entry.
constexpr std::uint32_t kHeadTag = std::bit_cast<std::uint32_t>(std::array{'M', 'M', 't', '>'});
constexpr std::uint32_t kHeadLemma = std::bit_cast<std::uint32_t>(std::array{'M', 'M', 'l', '>'});

// The text of an <MMl> or <MMt> entry: what follows its ">". False when it
// has none.
bool AnalysisText(std::string_view szEntry, std::string_view& szText) {
    // Nearly always the plain "<MMl>" or "<MMt>": the name has no ">", so
    // the first one is then at 4.
    std::size_t ichGt = 4;
    if (szEntry.size() <= ichGt || szEntry[ichGt] != '>') {
        ichGt = szEntry.find('>');
        if (ichGt == std::string_view::npos) return false;
    }
    szText = std::string_view(szEntry.data() + ichGt + 1, szEntry.size() - ichGt - 1);
    return true;
}

// Reads the next token as GetEvent does, its gap appended straight to dt's
// gap store (spanGap names the new entries); at the end of the input (-1)
// nothing of it is left there.
int GetEventIntoStore(std::span<char> szLine, std::span<char> szRest, DataTable& dt,
                      pdfRecType& pdf, const Model& m, GapSpan& spanGap) {
    const std::size_t kGap = dt.gapStore.Count();
    const int rc = GetEventOntoGap(szLine, szRest, dt.gapStore, pdf, m);
    if (rc == -1) dt.gapStore.Truncate(kGap);
    spanGap = {kGap, dt.gapStore.Count() - kGap};
    return rc;
}

// An <s> tag: "s" followed by ">" or white space.
bool IsSentenceTag(std::string_view szName) {
    if (szName.size() < 2 || szName[0] != 's') return false;
    const char ch = szName[1];
    return ch == '>' || ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

constexpr std::string_view kSrc = " src=\"";

// The length of the inserted tags "<MDl>" + szLemma and "<MDt>" + szTag,
// each with this tagger's src attribute when it has an identifier.
std::size_t InsertedTagsSize(const Model& m, std::string_view szLemma, std::string_view szTag) {
    const std::size_t cchID = m.szTaggerID.size();
    const std::size_t cchTag = 5 + (cchID == 0 ? 0 : kSrc.size() + cchID + 1);
    return 2 * cchTag + szLemma.size() + szTag.size();
}

// Writes the inserted tags at p (InsertedTagsSize characters); their end.
char* WriteInsertedTags(char* p, const Model& m, std::string_view szLemma, std::string_view szTag) {
    const std::string_view szID = m.szTaggerID;
    // The fixed parts are copied as constants, the others without a call.
    if (szID.empty()) {
        std::memcpy(p, "<MDl>", 5);
        p = CopyShort(p + 5, szLemma.data(), szLemma.size());
        std::memcpy(p, "<MDt>", 5);
        return CopyShort(p + 5, szTag.data(), szTag.size());
    }
    // The <MDt> opening is that of <MDl> just written, its 'l' made a 't':
    // the identifier is put together once.
    char* const pchOpen = p;
    std::memcpy(p, "<MDl src=\"", 10);
    p = CopyShort(p + 10, szID.data(), szID.size());
    std::memcpy(p, "\">", 2);
    p += 2;
    const auto cchOpen = static_cast<std::size_t>(p - pchOpen);
    p = CopyShort(p, szLemma.data(), szLemma.size());
    char* const pchTagOpen = p;
    p = CopyShort(p, pchOpen, cchOpen);
    pchTagOpen[3] = 't';
    return CopyShort(p, szTag.data(), szTag.size());
}

void PutInsertedTags(const DataTable& dt, const Model& m, std::string_view szLemma,
                     std::string_view szTag) {
    const std::size_t cch = InsertedTagsSize(m, szLemma, szTag);
    // Put together on the stack when short, as they nearly always are.
    std::array<char, 512> rgch;
    if (cch <= rgch.size()) {
        WriteInsertedTags(rgch.data(), m, szLemma, szTag);
        Put(dt, std::string_view(rgch.data(), cch));
        return;
    }
    std::string sz(cch, '\0');
    WriteInsertedTags(sz.data(), m, szLemma, szTag);
    Put(dt, sz);
}

// Kept out of line: inlined, its frame would be set up in WriteTaggedLine
// for every token, whatever the input's format.
[[gnu::noinline]] int WriteLineFormat(const DataTable& dt, long il, std::string_view szTag,
                                      int iOutLevel, std::string_view szErrNote) {
    const std::string_view szLine = dt.rgpszDataLine[Idx(il)];
    const std::size_t iBar = szLine.find('|');
    Put(dt, szTag);
    if (iBar != std::string_view::npos) Put(dt, szLine.substr(iBar));
    if (iOutLevel > 100) {
        PutChar(dt, ' ');
        Put(dt, szErrNote);
    }
    PutChar(dt, '\n');
    return 0;
}

// The lemma the analyser gives the form of line il with szTag, when the
// line's candidates came from the analyser: always with Candidates =
// lexicon, with fill when the token had no <MMt> of its own.
std::string_view AnalyserLemma(const DataTable& dt, const Model& m, long il, std::string_view szTag,
                               bool fInputCandidates) {
    const AnalyserUse* puse = m.pAnalyserUse.get();
    if (!puse || puse->from == CandidatesFrom::Input ||
        (puse->from == CandidatesFrom::Fill && fInputCandidates))
        return {};
    const Analyser* pa = puse->For(false, 0);
    const char* pszForm = dt.rgdl[Idx(il)].pszForm;
    if (!pa || !pszForm) return {};
    pa->Analyse(pszForm, dt.analysisWork);
    return dt.analysisWork.LemmaOf(szTag);
}

int WriteSgml(const DataTable& dt, const Model& m, long il, std::string_view szTag, int iOutLevel,
              bool fLineErr) {
    // The tags before the token's analyses, up to its first <MMl> or <MDl>.
    // Their last run is written with the rest of the line, or alone (first)
    // when the line fails or its lemma is the analyser's.
    const GapView gap = GapOf(dt, il);
    const std::size_t cEntries = gap.Count();
    bool fBoundary = false;
    bool fEnd = false;
    std::size_t kStop = 0;
    std::string_view szRun; // entries next to each other in the store, written at once
    GapCursor cursor = gap.CursorAt(0);
    for (; kStop < cEntries; ++kStop) {
        const std::string_view szEntry = cursor.Next();
        const EntryKind kind = KindOf(szEntry);
        if (kind == EntryKind::kLemma || kind == EntryKind::kChosenLemma) break;
        fBoundary = IsSentenceTag(NameOf(szEntry));
        if (szEntry.size() >= kVirtualEnd.size() && szEntry[1] == '<' &&
            szEntry.starts_with(kVirtualEnd)) {
            fBoundary = true;
            fEnd = true;
            continue;
        }
        if (!szRun.empty() && szRun.data() + szRun.size() == szEntry.data()) {
            szRun = std::string_view(szRun.data(), szRun.size() + szEntry.size());
        } else {
            if (!szRun.empty()) Put(dt, szRun);
            szRun = szEntry;
        }
    }
    const auto PutRun = [&dt, &szRun] {
        if (!szRun.empty()) Put(dt, szRun);
        szRun = {};
    };

    // The lemma of the chosen tag: that of the last <MMl> before the <MMt>
    // holding it.
    bool fLemma = false;
    std::string_view szLemma;
    bool fInputCandidates = false;
    cursor = gap.CursorAt(kStop);
    for (std::size_t k = kStop; k < cEntries; ++k) {
        const std::string_view szEntry = cursor.Next();
        // Nearly always a plain "<MMt>" or "<MMl>", told by four characters
        // at once.
        std::uint32_t uHead = 0;
        if (szEntry.size() >= 5) std::memcpy(&uHead, szEntry.data() + 1, 4);
        if (uHead == kHeadTag) {
            fInputCandidates = true;
            if (SameShort(szEntry.substr(5), szTag)) break;
            continue;
        }
        if (uHead == kHeadLemma) {
            szLemma = szEntry.substr(5);
            fLemma = true;
            continue;
        }
        const EntryKind kind = KindOf(szEntry);
        if (kind == EntryKind::kLemma) {
            if (!AnalysisText(szEntry, szLemma)) {
                PutRun();
                return kOutLemmaNoText;
            }
            fLemma = true;
        } else if (kind == EntryKind::kTag) {
            fInputCandidates = true;
            std::string_view szCand;
            if (!AnalysisText(szEntry, szCand)) {
                PutRun();
                return kOutTagNoText;
            }
            if (SameShort(szCand, szTag)) break;
        }
    }

    if (m.pAnalyserUse) PutRun();
    if (!fBoundary) {
        const std::string_view szLemmaAn = AnalyserLemma(dt, m, il, szTag, fInputCandidates);
        if (!szLemmaAn.empty()) fLemma = true;
        if (!fLemma) {
            PutRun();
            std::fprintf(stderr, "VTC: int error: selected tag not found among MMt??? line: %s\n",
                         dt.rgpszDataLine[Idx(il)].c_str());
            return kOutNoLemma;
        }
        if (!szLemmaAn.empty()) szLemma = szLemmaAn;
    }
    const std::string_view szAnalyses = kStop < cEntries ? gap.TextFrom(kStop) : std::string_view();
    const std::string_view szRest = dt.rgpszRest[Idx(il)];
    const bool fMark = iOutLevel > 1 && fLineErr;
    if (dt.pszOut != nullptr && !fMark) {
        // The rest of the line goes into the output buffer in one piece.
        const std::size_t cchTags = fBoundary ? 0 : InsertedTagsSize(m, szLemma, szTag);
        char* p = dt.pszOut->Extend(szRun.size() + cchTags + szAnalyses.size() + szRest.size() +
                                    (fEnd ? 0 : 1));
        if (!szRun.empty()) {
            std::memcpy(p, szRun.data(), szRun.size());
            p += szRun.size();
        }
        if (!fBoundary) p = WriteInsertedTags(p, m, szLemma, szTag);
        for (const std::string_view sz : {szAnalyses, szRest}) {
            if (sz.empty()) continue;
            std::memcpy(p, sz.data(), sz.size());
            p += sz.size();
        }
        if (!fEnd) *p = '\n';
        return 0;
    }
    PutRun();
    if (!fBoundary) PutInsertedTags(dt, m, szLemma, szTag);
    if (!szAnalyses.empty()) Put(dt, szAnalyses);
    if (!szRest.empty()) Put(dt, szRest);
    if (fMark) {
        PutChar(dt, ' ');
        Put(dt, kErrorMark);
    }
    if (!fEnd) PutChar(dt, '\n');
    return 0;
}

// CoNLL-U: the lines kept before the word as they were read, then the word's
// line with the tag column and (unless KeepLemma) the LEMMA column replaced
// by the analyser's lemma of the chosen tag. Without an analyser the lemma
// is copied unchanged, so "_" stays "_". Boundary and end-of-input tokens
// have no line of their own.
int WriteConllu(const DataTable& dt, const Model& m, long il, std::string_view szTag) {
    const GapView gap = GapOf(dt, il);
    if (!gap.Empty()) Put(dt, gap.TextFrom(0));
    const std::string_view szRaw = dt.rgpszRest[Idx(il)];
    if (szRaw.empty()) return 0;
    const std::string_view szContent = ConlluLineContent(szRaw);
    std::array<std::string_view, kConlluColumns> rgszCol;
    if (SplitConlluColumns(szContent, rgszCol) != kConlluColumns) return kOutNoLemma;

    const bool fComposed = dt.tagCol == TagColumn::kUposFeats;
    const int iTagCol = ConlluColumnOf(dt.tagCol);
    const std::string_view szOrigTag = dt.tagSpell.Original(szTag);
    // The lemma of the chosen tag when the analyser gave the candidates.
    const std::string_view szLemma =
        dt.fKeepLemma ? std::string_view() : AnalyserLemma(dt, m, il, szTag, false);
    const auto putPiece = [&dt](std::string_view sz) { Put(dt, sz); };
    for (int k = 0; k < kConlluColumns; ++k) {
        if (k > 0) PutChar(dt, '\t');
        if (fComposed && k == kConlluUpos) {
            // UPOS, then FEATS at their own place; the columns between stay.
            if (!dt.udLayout.Decode(szTag, rgszCol[kConlluUpos], rgszCol[kConlluFeats], putPiece,
                                    [](std::string_view) {}))
                return kOutBadTag;
        } else if (fComposed && k == kConlluFeats) {
            dt.udLayout.Decode(
                szTag, rgszCol[kConlluUpos], rgszCol[kConlluFeats], [](std::string_view) {},
                putPiece);
        } else if (k == iTagCol)
            Put(dt, szOrigTag);
        else if (k == kConlluLemma && !szLemma.empty())
            Put(dt, szLemma);
        else
            Put(dt, rgszCol[static_cast<std::size_t>(k)]);
    }
    Put(dt, szRaw.substr(szContent.size()));
    return 0;
}

template <typename Container> void Release(Container& c) {
    Container().swap(c);
}

// Frees the line storage of a window table: texts, parses, rests, gaps,
// chosen tags, beams, feature links and error flags.
void ReleaseLines(DataTable& dt) {
    Release(dt.rgpszDataLine);
    Release(dt.rgdl);
    Release(dt.rgpszTagOut);
    Release(dt.rgbeam);
    Release(dt.rgpszRest);
    Release(dt.rglineParts);
    Release(dt.rgpgap);
    dt.gapStore = gapRecType();
    Release(dt.rgplinkFeature);
    Release(dt.rgplinkFeature2);
    Release(dt.rglinkStore);
    Release(dt.rgfLineErr);
    Release(dt.rgrgfErr);
}

// Frees the line storage of the window table when tagging ends, however it
// ends, and takes the table off the run's output buffer.
class WindowStorage {
public:
    WindowStorage(DataTable& dt, long clCapacity) : dt_(dt), clCapacity_(clCapacity) {}
    WindowStorage(const WindowStorage&) = delete;
    WindowStorage& operator=(const WindowStorage&) = delete;
    ~WindowStorage() {
        dt_.clLines = clCapacity_;
        dt_.fModelStringsOnly = false;
        dt_.ownStrings = StringArena();
        dt_.modelLookups = StringLookupCache();
        dt_.candidateSets = CandidateSetCache();
        dt_.pszOut = nullptr;
        dt_.cchOutChunk = 0;
        ReleaseLines(dt_);
    }

private:
    DataTable& dt_;
    long clCapacity_;
};

// One window of the parallel tagger: its own table, output and result.
struct WindowSlot {
    DataTable dt;
    OutText szOut;
    long ilOutFirst = 0;
    long ilOutLast = -1;
    long clRead = 0;       // lines stored, including the carried-over ones
    long clCleared = 0;    // lines 0 .. clCleared - 1 are empty again
    long clNotCarried = 0; // lines 0 .. clNotCarried - 1 are not carried over
    bool fLast = false;    // the input ended in this window
    bool fParsed = false;  // its lines are parsed (by the worker)
    bool fHere = false;    // tagged by the reading thread when its turn comes
    bool fDone = false;    // parsed and tagged (or left to the reading thread)
    int rcParse = 0;       // InsertLine code of the first line that cannot be parsed
    int rc = 0;            // result of the pass
    VtcCounts counts;
    std::exception_ptr pexc; // an error raised while tagging
};

// Parses the lines the reading thread stored in the window, in order: 0, or
// the InsertLine code of the first line that fails.
int ParseWindow(const Model& m, WindowSlot& slot) {
    for (long il = 0; il < slot.clRead; ++il) {
        PrefetchLines(slot.dt, il, slot.clRead - 1);
        if (const int rc = ReparseLine(m, slot.dt, il); rc != 0) return rc;
    }
    return 0;
}

// A piece of the input on its way through the workers.
struct PieceJob {
    InputPiece piece;
    bool fDone = true;
};

// Parses and tags windows handed over by the reading thread, and reads
// pieces of the input ahead of their turn. Workers take jobs in the order
// they were queued; the reading thread takes the pieces and writes the
// windows in input order.
class WindowWorkers {
public:
    WindowWorkers(const Model& m, const pdfRecType& pdfRun, int cWorkers) : m_(m), pdfRun_(pdfRun) {
        rgthr_.reserve(static_cast<std::size_t>(cWorkers));
        for (int i = 0; i < cWorkers; ++i) rgthr_.emplace_back([this] { Run(); });
    }
    WindowWorkers(const WindowWorkers&) = delete;
    WindowWorkers& operator=(const WindowWorkers&) = delete;
    ~WindowWorkers() {
        {
            const std::lock_guard lock(mx_);
            fStop_ = true;
        }
        cvWork_.notify_all();
        for (std::thread& thr : rgthr_) thr.join();
    }

    void Queue(WindowSlot& slot) {
        {
            const std::lock_guard lock(mx_);
            slot.fDone = false;
            queue_.push_back({&slot, nullptr});
        }
        cvWork_.notify_one();
    }

    void Queue(PieceJob& job) {
        {
            const std::lock_guard lock(mx_);
            job.fDone = false;
            queue_.push_back({nullptr, &job});
        }
        cvWork_.notify_one();
    }

    template <typename Job> void WaitDone(const Job& job) {
        std::unique_lock lock(mx_);
        cvDone_.wait(lock, [&job] { return job.fDone; });
    }

    bool IsDone(const WindowSlot& slot) {
        const std::lock_guard lock(mx_);
        return slot.fDone;
    }

    // Parses the window's lines, then tags it, unless a line has no
    // candidates: that window is left to the reading thread, which tags it
    // when its turn to be written comes.
    static void Tag(const Model& m, WindowSlot& slot) {
        try {
            if (!slot.fParsed) {
                if ((slot.rcParse = ParseWindow(m, slot)) != 0) return;
                slot.fParsed = true;
                const DataTable& dt = slot.dt;
                for (long il = 0; il < dt.clLines && !slot.fHere; ++il)
                    slot.fHere = dt.rgdl[Idx(il)].rgpszMMt.empty();
                if (slot.fHere) return;
            }
            // The lines that the next window does not carry over are emptied
            // as they go into the output, rather than by the reading thread
            // when it reuses the slot (the slot of the last window is not
            // reused).
            const long clClear = slot.fLast ? 0 : std::min(slot.clRead, slot.clNotCarried);
            slot.rc =
                ErrorRateDataVTC(slot.dt, m, kOutLevelTag, 0, 0, slot.dt.clLines, slot.ilOutFirst,
                                 slot.ilOutLast, slot.counts, VtcErrors::kUnread, clClear);
            // A failed pass may have left lines as they were.
            slot.clCleared = slot.rc > 0 ? 0 : std::min(clClear, slot.dt.clLines);
        } catch (...) {
            slot.pexc = std::current_exception();
        }
    }

private:
    struct Job {
        WindowSlot* pslot;
        PieceJob* ppiece;
    };

    void Run() {
        std::unique_ptr<PieceReader> preader; // made at the first piece
        for (;;) {
            Job job{};
            {
                std::unique_lock lock(mx_);
                cvWork_.wait(lock, [this] { return fStop_ || !queue_.empty(); });
                if (queue_.empty()) return;
                job = queue_.front();
                queue_.pop_front();
            }
            if (job.pslot) {
                Tag(m_, *job.pslot);
            } else {
                // Whatever goes wrong leaves the piece to the reading
                // thread, which meets it again in the ordinary mode.
                try {
                    if (!preader) preader = std::make_unique<PieceReader>();
                    preader->Read(m_, pdfRun_, job.ppiece->piece);
                } catch (...) {
                    job.ppiece->piece.fRead = false;
                }
            }
            {
                const std::lock_guard lock(mx_);
                if (job.pslot)
                    job.pslot->fDone = true;
                else
                    job.ppiece->fDone = true;
            }
            cvDone_.notify_all();
        }
    }

    const Model& m_;
    const pdfRecType& pdfRun_;
    std::mutex mx_;
    std::condition_variable cvWork_;
    std::condition_variable cvDone_;
    std::deque<Job> queue_;
    bool fStop_ = false;
    std::vector<std::thread> rgthr_;
};

// The SGML reader's state between tokens.
constexpr int kStateBetweenTokens = 3;

// The lines of SGML input in input order, for the reading thread: taken
// from the pieces the workers read ahead or, for a piece they left, read
// here at its turn by a reader in the ordinary mode, which writes the same
// messages at the same points as one reader of the whole input.
class PieceLines {
public:
    // Windows of clCapacity lines are filled from it.
    PieceLines(const Model& m, pdfRecType& pdf, WindowWorkers& workers, std::size_t cbPiece,
               int cThreads, long clCapacity)
        : m_(m), pdf_(pdf), workers_(workers), cutter_(pdf, cbPiece),
          cMaxAhead_(static_cast<std::size_t>(cThreads)), clCapacity_(clCapacity),
          szLine_(kDataLineSize, '\0'), szRest_(kDataLineSize, '\0') {}
    PieceLines(const PieceLines&) = delete;
    PieceLines& operator=(const PieceLines&) = delete;
    // The workers may still be reading pieces queued.
    ~PieceLines() {
        for (const PieceJob* pjob : rgpjobAhead_) workers_.WaitDone(*pjob);
        if (pjobCur_) workers_.WaitDone(*pjobCur_);
    }

    // Stores the next line as line n of dt: 0; -1 at the end of the input;
    // kTagVtcRead or kTagVtcInsert when the line cannot be read or stored.
    int Next(DataTable& dt, long n) {
        for (;;) {
            if (fEnded_ || (!pjobCur_ && !StartPiece())) return -1;
            const InputPiece& piece = pjobCur_->piece;
            if (fHere_) {
                pdfRecType& pdf = *ppdfHere_;
                GapSpan spanGap;
                const int rc = GetEventIntoStore(szLine_, szRest_, dt, pdf, m_, spanGap);
                if (rc == -1) {
                    if (fRest_) {
                        // The whole input is read.
                        pdf_.lLine = pdf.lLine;
                        pdf_.clSentences += pdf.clSentences - (piece.fFirst ? 0 : 1);
                        fHere_ = false;
                        fEnded_ = true;
                        return -1;
                    }
                    EndPiece(pdf.clSentences - (piece.fFirst ? 0 : 1));
                    continue;
                }
                if (fSkip_) {
                    // The piece before gave this line, with its whole gap:
                    // it goes in now that this piece has read on past it.
                    dt.gapStore.Truncate(spanGap.iFirst);
                    fSkip_ = false;
                    if (held_.fHeld) return StoreHeld(dt, n);
                    continue;
                }
                if (rc != 0) return kTagVtcRead;
                const std::string_view svLine = EventLine(szLine_, pdf);
                if (pdf.fEndSeen && !fRest_ && !piece.fLast) {
                    // The boundary token of the next piece's first tag.
                    held_.szLine.assign(svLine);
                    held_.szRest.assign(szRest_.data());
                    held_.gap.Clear();
                    held_.gap.AddEntries(dt.gapStore, spanGap.iFirst,
                                         spanGap.iFirst + spanGap.cEntries);
                    dt.gapStore.Truncate(spanGap.iFirst);
                    held_.fWord = pdf.fWord;
                    held_.parts = pdf.lineParts;
                    held_.fChecked = false;
                    held_.fHeld = true;
                    continue;
                }
                if (CheckLine(m_, svLine, dlCheck_, &checked_, &pdf.lineParts) != 0 ||
                    StoreLine(m_, dt, svLine, n, szRest_.data(), spanGap, pdf.fWord,
                              &pdf.lineParts) != 0)
                    return kTagVtcInsert;
                NoteLine(svLine);
                return 0;
            }
            if (held_.fHeld) return StoreHeld(dt, n);
            // The last line of a piece is held for the next one, unless the
            // input or the reading ends with it.
            const bool fKeepLast =
                piece.fLast || piece.rglines.empty() || piece.rglines.back().rcCheck != 0;
            if (iLine_ + (fKeepLast ? 0 : 1) >= piece.rglines.size()) {
                if (!fKeepLast) {
                    const PieceLine& line = piece.rglines.back();
                    held_.szLine.assign(piece.Line(line));
                    held_.szRest.assign(piece.Rest(line));
                    held_.gap.Clear();
                    held_.gap.AddEntries(piece.gapStore, line.iGap, line.iGap + line.cGap);
                    held_.fWord = line.fWord;
                    held_.parts = line.parts;
                    held_.fChecked = true;
                    held_.rcCheck = line.rcCheck;
                    held_.fHeld = true;
                }
                EndPiece(piece.clSentences);
                continue;
            }
            if (iLine_ >= iRunEnd_) {
                // The gaps of the lines that go into this window next, in one
                // piece: the lines' entries lie one after another.
                const std::size_t cEnd = piece.rglines.size() - (fKeepLast ? 0 : 1);
                iRunEnd_ = std::min(cEnd, iLine_ + static_cast<std::size_t>(clCapacity_ - n));
                const PieceLine& lineLast = piece.rglines[iRunEnd_ - 1];
                iGapRun_ = piece.rglines[iLine_].iGap;
                kGapRun_ = dt.gapStore.Count();
                dt.gapStore.AddEntries(piece.gapStore, iGapRun_, lineLast.iGap + lineLast.cGap);
            }
            pprevLine_ = &piece.rglines[iLine_];
            const PieceLine& line = piece.rglines[iLine_++];
            if (line.rcCheck != 0) return kTagVtcInsert;
            const GapSpan spanGap{kGapRun_ + (line.iGap - iGapRun_), line.cGap};
            if (StoreLine(m_, dt, piece.Line(line), n, piece.Rest(line), spanGap, line.fWord,
                          &line.parts) != 0)
                return kTagVtcInsert;
            return 0;
        }
    }

private:
    // Keeps the workers a few pieces ahead of the reading thread.
    void CutAhead() {
        while (!fCutDone_ && rgpjobAhead_.size() < cMaxAhead_) {
            std::unique_ptr<PieceJob> pjob;
            if (!rgpjobFree_.empty()) {
                pjob = std::move(rgpjobFree_.back());
                rgpjobFree_.pop_back();
            } else {
                pjob = std::make_unique<PieceJob>();
            }
            if (!cutter_.Next(pjob->piece)) {
                fCutDone_ = true;
                rgpjobFree_.push_back(std::move(pjob));
                break;
            }
            workers_.Queue(*pjob);
            rgpjobAhead_.push_back(pjob.get());
            rgpjobOwned_.push_back(std::move(pjob));
        }
    }

    // Takes the next piece once it is read; false at the end of the input.
    bool StartPiece() {
        CutAhead();
        if (rgpjobAhead_.empty()) return false;
        pjobCur_ = rgpjobAhead_.front();
        rgpjobAhead_.pop_front();
        CutAhead();
        workers_.WaitDone(*pjobCur_);
        const InputPiece& piece = pjobCur_->piece;
        iLine_ = piece.FirstLine();
        fHere_ = !piece.fRead;
        if (fHere_) {
            if (!ppdfHere_) ppdfHere_ = std::make_unique<pdfRecType>();
            // Where the piece may end inside a comment or a tag, the pieces
            // after it do not start where a reader of the whole input is
            // between tokens: the rest of the input is read here.
            fRest_ = !piece.fLast && !EndsBetweenTags(piece);
            if (fRest_) TakeRest();
            // The reader of the whole input would be here with the line
            // before the one the piece starts with delivered last.
            const InputPiece& pieceHere = fRest_ ? pieceRest_ : piece;
            OpenPiece(*ppdfHere_, pdf_, pieceHere, lLine_,
                      piece.fFirst ? std::string_view() : std::string_view(szPrev_.data()),
                      pieceHere.fOpenEnded ? std::move(pdf_.pf) : nullptr);
            fSkip_ = !piece.fFirst;
        }
        return true;
    }

    // Puts the rest of the input, from the current piece on, into pieceRest_.
    void TakeRest() {
        InputPiece& rest = pieceRest_;
        rest.bytes.Truncate(0);
        const auto AddOwn = [&rest](const InputPiece& piece) {
            rest.bytes.Append(piece.bytes.Span().first(piece.cbOwn));
        };
        AddOwn(pjobCur_->piece);
        for (const PieceJob* pjob : rgpjobAhead_) AddOwn(pjob->piece);
        rest.bytes.Append(cutter_.TakeRest());
        rest.cbOwn = rest.bytes.Size();
        rest.fFirst = pjobCur_->piece.fFirst;
        rest.fLast = true;
        const bool fOpenEnded = rgpjobAhead_.empty() ? pjobCur_->piece.fOpenEnded
                                                     : rgpjobAhead_.back()->piece.fOpenEnded;
        rest.fOpenEnded = fOpenEnded || !cutter_.FileEnded();
        rest.fReadFailed = cutter_.ReadFailed();
        fCutDone_ = true;
    }

    void EndPiece(long clSentences) {
        const InputPiece& piece = pjobCur_->piece;
        if (pprevLine_) NoteLine(piece.Line(*pprevLine_));
        iRunEnd_ = 0;
        // A piece read here counted its lines itself.
        lLine_ = !fHere_ ? lLine_ + piece.clNewlines
                         : lLine_ + NewlinesOwn(piece, ppdfHere_->lLine - lLine_);
        pdf_.lLine = lLine_;
        pdf_.clSentences += clSentences;
        fHere_ = false;
        // The piece's storage is reused for a later one.
        const auto it = std::find_if(
            rgpjobOwned_.begin(), rgpjobOwned_.end(),
            [this](const std::unique_ptr<PieceJob>& p) { return p.get() == pjobCur_; });
        rgpjobFree_.push_back(std::move(*it));
        rgpjobOwned_.erase(it);
        pjobCur_ = nullptr;
    }

    // Stores the held line as line n of dt, as Next does.
    int StoreHeld(DataTable& dt, long n) {
        held_.fHeld = false;
        const int rcCheck = held_.fChecked
                                ? held_.rcCheck
                                : CheckLine(m_, held_.szLine, dlCheck_, &checked_, &held_.parts);
        if (rcCheck != 0) return kTagVtcInsert;
        const GapSpan spanGap{dt.gapStore.Count(), held_.gap.Count()};
        dt.gapStore.AddEntries(held_.gap, 0, held_.gap.Count());
        if (StoreLine(m_, dt, held_.szLine, n, held_.szRest, spanGap, held_.fWord, &held_.parts) !=
            0)
            return kTagVtcInsert;
        NoteLine(held_.szLine);
        return 0;
    }

    // Keeps the start of the last line delivered (one of a piece read ahead
    // is kept when the piece ends: pprevLine_).
    void NoteLine(std::string_view svLine) {
        pprevLine_ = nullptr;
        const std::size_t cch = std::min<std::size_t>(svLine.size(), kPdfPrevLineShown);
        std::memcpy(szPrev_.data(), svLine.data(), cch);
        szPrev_[cch] = '\0';
    }

    const Model& m_;
    pdfRecType& pdf_;
    WindowWorkers& workers_;
    InputCutter cutter_;
    std::size_t cMaxAhead_;
    bool fCutDone_ = false;
    std::vector<std::unique_ptr<PieceJob>> rgpjobOwned_; // queued or current
    std::vector<std::unique_ptr<PieceJob>> rgpjobFree_;
    std::deque<PieceJob*> rgpjobAhead_;
    PieceJob* pjobCur_ = nullptr;
    std::size_t iLine_ = 0; // next line of the current piece
    long clCapacity_;       // lines of a window
    // The run of its lines whose gaps are in the window's store: up to
    // iRunEnd_, the entries from iGapRun_ on at kGapRun_ there.
    std::size_t iRunEnd_ = 0;
    std::size_t iGapRun_ = 0;
    std::size_t kGapRun_ = 0;
    const PieceLine* pprevLine_ = nullptr; // the last line delivered, when of the current piece
    long lLine_ = 1;                       // the line the current piece starts on
    // The current piece read here.
    bool fHere_ = false;
    bool fSkip_ = false; // its first line is still to be dropped
    bool fRest_ = false; // ... together with the rest of the input
    bool fEnded_ = false;
    InputPiece pieceRest_;
    std::unique_ptr<pdfRecType> ppdfHere_;
    std::vector<char> szLine_;
    std::vector<char> szRest_;
    DlData dlCheck_;
    CandidateSetCache checked_;
    std::array<char, kPdfPrevLineShown + 1> szPrev_{};
    // The last line of a piece, the boundary token of the next piece's first
    // tag: stored once the next piece has read on past that token, for a
    // reader of the whole input reads the tag after it before it delivers it
    // (and may stop there).
    struct HeldLine {
        bool fHeld = false;
        std::string szLine;
        std::string szRest;
        gapRecType gap;
        int fWord = 0;
        DataLineParts parts;   // where the reader's pieces of szLine end
        bool fChecked = false; // rcCheck is CheckLine's result
        int rcCheck = 0;
    } held_;
};

// Carries the text of line ilFrom of the previous window over to line ilTo
// of the next one; the next window's worker parses it again, so that the
// strings the model lacks are that window's own. The gap list is copied into
// the next window's store only when the previous window does not write the
// line (fMoveGap); the previous window may still be being parsed or tagged,
// and only reads its own lines and store.
void CarryLine(const DataTable& dtFrom, long ilFrom, DataTable& dtTo, long ilTo, bool fMoveGap) {
    const auto kFrom = Idx(ilFrom);
    const auto kTo = Idx(ilTo);
    dtTo.rgpszDataLine[kTo] = dtFrom.rgpszDataLine[kFrom];
    dtTo.rgpszRest[kTo] = dtFrom.rgpszRest[kFrom];
    dtTo.rglineParts[kTo] = dtFrom.rglineParts[kFrom];
    if (fMoveGap) CopyLineGap(dtFrom, ilFrom, dtTo, ilTo);
}

// Reads the windows on this thread and parses and tags them on cThreads
// others; the windows are cut exactly as in the single-threaded run, each is
// tagged from its first line, and their output is written in input order, so
// the output is the same. A line that cannot be parsed stops the run when its
// window's turn to be written comes: the windows before it are out, nothing
// after, as when one thread stops at that line.
int TagWindowsInParallel(Model& m, pdfRecType& pdf, const VtcWindow& win, int cThreads) {
    const std::size_t cSlots = static_cast<std::size_t>(cThreads) + 1;
    std::vector<std::unique_ptr<WindowSlot>> rgpslot;
    for (std::size_t k = 0; k < cSlots; ++k) {
        auto pslot = std::make_unique<WindowSlot>();
        pslot->dt.clLines = win.clCapacity;
        if (const int rc = AllocSegment(m, pslot->dt); rc != 0) return rc;
        pslot->dt.pszOut = &pslot->szOut;
        pslot->dt.fModelStringsOnly = true;
        pslot->fDone = true;
        rgpslot.push_back(std::move(pslot));
    }

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    DlData dlCheck;
    CandidateSetCache checkedSets; // parts of the lines checked, for CheckLine
    const long ilOutLastFull = win.clCapacity - win.clOverlap + win.ilOutFirst - 1;
    const long ilKeep = win.clCapacity - win.clOverlap;
    int iRet = 0;
    VtcCounts countsLast;
    std::size_t iWrite = 0; // next window to write
    std::size_t iRead = 0;  // next window to read
    bool fFailed = false;
    int rcFailed = 0;
    std::exception_ptr pexc;
    std::exception_ptr pexcRead;
    {
        WindowWorkers workers(m, pdf, cThreads);
        std::optional<PieceLines> pieces;
        if (CanReadInPieces(pdf))
            pieces.emplace(m, pdf, workers, win.cbPiece, cThreads, win.clCapacity);
        // Stores the next line as line n of dt: 0, -1 at the end of the
        // input, or the code the run stops with.
        const auto ReadLine = [&](DataTable& dt, long n) {
            PrefetchLines(dt, n, win.clCapacity - 1);
            if (pieces) return pieces->Next(dt, n);
            GapSpan spanGap;
            const int rc = GetEventIntoStore(szLine, szRest, dt, pdf, m, spanGap);
            if (rc == -1) return -1;
            // The reading stops at a line that would not parse, as with one
            // thread; the workers parse the others.
            const std::string_view svLine = EventLine(szLine, pdf);
            if (rc != 0) return kTagVtcRead;
            if (CheckLine(m, svLine, dlCheck, &checkedSets, &pdf.lineParts) != 0 ||
                StoreLine(m, dt, svLine, n, szRest.data(), spanGap, pdf.fWord, &pdf.lineParts) != 0)
                return kTagVtcInsert;
            return 0;
        };
        // Writes window iWrite once it is tagged; false when it failed.
        const auto WriteWindow = [&]() {
            WindowSlot& slot = *rgpslot[iWrite % cSlots];
            workers.WaitDone(slot);
            if (slot.fHere && !slot.pexc) WindowWorkers::Tag(m, slot);
            ++iWrite;
            if (slot.pexc) {
                pexc = slot.pexc;
                return false;
            }
            if (slot.rcParse != 0) {
                rcFailed = kTagVtcInsert;
                return false;
            }
            ux_OutWrite(slot.szOut.View());
            ux_OutFlush();
            slot.szOut.clear();
            if (slot.rc > 0) {
                rcFailed = kTagVtcTagger;
                return false;
            }
            iRet = slot.rc;
            countsLast = slot.counts;
            return true;
        };
        // A window that fails ends the run: nothing after it is written.
        bool fWriteFailed = false;
        const auto WriteNext = [&]() {
            fWriteFailed = !WriteWindow();
            return !fWriteFailed;
        };

        bool fInputEnded = false;
        while (!fInputEnded && !fFailed) {
            // The slot of this window is free once the window it held is out.
            while (iWrite + cSlots <= iRead && !fFailed) fFailed = !WriteNext();
            if (fFailed) break;
            WindowSlot& slot = *rgpslot[iRead % cSlots];
            DataTable& dt = slot.dt;
            ClearDataLines(dt, slot.clCleared, slot.clRead);
            slot.clCleared = 0;
            // The worker parses every line of the window again, so the
            // copies of strings the model lacks need not go with the last
            // window: they stay while they are small, and the strings and
            // candidate sets seen before are not looked up again.
            RenewCopies(m, dt, 0);
            dt.gapStore.Clear();
            long n = 0;
            slot.ilOutFirst = 0;
            if (iRead > 0) {
                const WindowSlot& slotPrev = *rgpslot[(iRead - 1) % cSlots];
                for (long il = 0; il < win.clOverlap; ++il)
                    CarryLine(slotPrev.dt, ilKeep + il, dt, il, il >= win.ilOutFirst);
                n = win.clOverlap;
                slot.ilOutFirst = win.ilOutFirst;
            }
            dt.ilStart = 0;
            dt.clLines = win.clCapacity;
            dt.clData = n;
            // A failure while reading ends the run after the windows before
            // this one are written, as they would have been.
            try {
                while (n < win.clCapacity) {
                    const int rc = ReadLine(dt, n);
                    if (rc == -1) {
                        fInputEnded = true;
                        break;
                    }
                    if (rc != 0) {
                        rcFailed = rc;
                        fFailed = true;
                        break;
                    }
                    ++n;
                }
            } catch (...) {
                pexcRead = std::current_exception();
                fFailed = true;
            }
            slot.clRead = n;
            if (fFailed) break;
            dt.iInputState = pieces ? kStateBetweenTokens : pdf.iState;
            dt.clLines = n;
            if (n > 0 && dt.rgpszDataLine[Idx(n - 1)].starts_with('|')) dt.clLines = n - 1;
            slot.ilOutLast = fInputEnded ? n - 1 : ilOutLastFull;
            slot.fLast = fInputEnded;
            slot.clNotCarried = ilKeep;
            slot.rc = 0;
            slot.rcParse = 0;
            slot.fParsed = false;
            slot.fHere = false;
            slot.pexc = nullptr;
            // How CoNLL-U is written, and the spellings of the padded tags
            // read so far (the reader adds to those of m.pdtS; the window
            // gets a copy of its own before a worker reads it).
            const DataTable& dtIn = *m.pdtS;
            dt.tagCol = dtIn.tagCol;
            dt.fKeepLemma = dtIn.fKeepLemma;
            if (dt.tagSpell.Size() != dtIn.tagSpell.Size()) dt.tagSpell = dtIn.tagSpell;
            // A line without candidates stops the run with a report: its
            // window is tagged here, after the windows before it are out.
            workers.Queue(slot);
            ++iRead;
            // Write what is ready without waiting.
            while (iWrite < iRead && !fFailed) {
                const WindowSlot& slotNext = *rgpslot[iWrite % cSlots];
                if (!workers.IsDone(slotNext) || slotNext.fHere) break;
                fFailed = !WriteNext();
            }
        }
        // The windows read before the input ended or the reading failed
        // go out, unless one of them fails.
        if (!fWriteFailed) {
            const int rcRead = rcFailed;
            const bool fReadFailed = fFailed;
            fFailed = false;
            rcFailed = 0;
            while (iWrite < iRead && !fFailed) fFailed = !WriteNext();
            if (!fFailed && fReadFailed) {
                rcFailed = rcRead;
                pexc = pexcRead;
            }
        }
        // The workers finish the windows under way before the slots go.
    }
    if (pexc) std::rethrow_exception(pexc);
    if (rcFailed != 0) return rcFailed;
    if (countsLast.rgclErrTagElem.size() == static_cast<std::size_t>(m.cTagElem)) {
        for (int t = 0; t < m.cTagElem; ++t)
            m.rgteTagElem[Idx(t)].clErrTagElem = countsLast.rgclErrTagElem[Idx(t)];
        m.clErr = countsLast.clErr;
    }
    return iRet;
}

} // namespace

int WriteTaggedLine(const DataTable& dt, const Model& m, long il, std::string_view szTag,
                    int iOutLevel, bool fLineErr, std::string_view szErrNote) {
    if (dt.iInputState == kStateLine) return WriteLineFormat(dt, il, szTag, iOutLevel, szErrNote);
    if (dt.iInputState == kStateConllu) return WriteConllu(dt, m, il, szTag);
    return WriteSgml(dt, m, il, szTag, iOutLevel, fLineErr);
}

int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix) {
    return TagDataVTC(szArgFile, m, fDebug, szPrefix, kVtcWindow, 1);
}

int TagDataVTC(std::string_view szArgFile, Model& m, int fDebug, std::string_view szPrefix,
               const VtcWindow& win, int cThreads) {
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

    // Debug output is written among the tagged lines as it is produced: it
    // needs the lines written at once and in one thread.
    const bool fBuffered = iOutLevel <= 1 && !m.trace.ProbsOn();
    if (fBuffered && cThreads > 1) return TagWindowsInParallel(m, pdf, win, cThreads);

    DataTable& dt = *m.pdtS;
    dt.ilStart = 0;
    dt.clLines = win.clCapacity;
    dt.clData = 0;
    dt.clWords = 0;
    if (const int rc = AllocSegment(m, dt); rc != 0) return rc;
    const WindowStorage storage(dt, win.clCapacity);
    dt.fModelStringsOnly = true;
    dt.modelLookups.Clear();
    dt.candidateSets.Clear();
    // The reader's lines go to this table from here on.
    pdf.acParts.ForgetParses();
    pdf.plookupsAhead = &dt.modelLookups;
    OutText szOut;
    if (fBuffered) {
        dt.pszOut = &szOut;
        dt.cchOutChunk = win.cchOutChunk;
    }

    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    // Last line written from a full window.
    const long ilOutLastFull = win.clCapacity - win.clOverlap + win.ilOutFirst - 1;
    // Lines ilKeep on of a full window are carried over to the next.
    const long ilKeep = win.clCapacity - win.clOverlap;
    bool fFirstWindow = true;
    long clEmptied = 0; // lines 0 .. clEmptied - 1 were emptied by the last window's pass
    int iRet = 0;
    for (;;) {
        long n = 0;
        long ilOutFirst = 0;
        if (!fFirstWindow) {
            // The last lines of the previous window become the left context
            // of this one.
            ClearDataLines(dt, clEmptied, ilKeep);
            for (long il = 0; il < win.clOverlap; ++il) MoveDataLine(m, dt, il, ilKeep + il);
            KeepGapsOfFirstLines(dt, win.clOverlap);
            if (RenewCopies(m, dt, win.clOverlap) != 0) return kTagVtcInsert;
            n = win.clOverlap;
            ilOutFirst = win.ilOutFirst;
        }
        dt.ilStart = 0;
        dt.clLines = win.clCapacity;
        dt.clData = n;

        bool fInputEnded = false;
        while (n < win.clCapacity) {
            GapSpan spanGap;
            PrefetchLines(dt, n, win.clCapacity - 1);
            const int rc = GetEventIntoStore(szLine, szRest, dt, pdf, m, spanGap);
            if (rc == -1) {
                fInputEnded = true;
                break;
            }
            if (rc != 0) return kTagVtcRead;
            if (InsertLine(m, dt, EventLine(szLine, pdf), n, szRest.data(), spanGap, pdf.fWord,
                           &pdf.lineParts) != 0)
                return kTagVtcInsert;
            ++n;
        }
        dt.iInputState = pdf.iState;
        dt.clLines = n;
        if (n > 0 && dt.rgpszDataLine[Idx(n - 1)].starts_with('|')) dt.clLines = n - 1;
        const long ilOutLast = fInputEnded ? n - 1 : ilOutLastFull;

        // Tagging reports no error counts. The lines that the next window
        // does not carry over are emptied as they go into the output (the
        // last window's are not).
        clEmptied = fInputEnded ? 0 : std::min(ilKeep, dt.clLines);
        const int rc = ErrorRateDataVTC(dt, m, iOutLevel, 0, 0, dt.clLines, ilOutFirst, ilOutLast,
                                        VtcErrors::kUnread, clEmptied);
        if (fBuffered) {
            ux_OutWrite(szOut.View());
            szOut.clear();
        }
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
