// The built-in analyser in the driver: mode "Lexicon" (build the lexicon file
// from the training segment and the dictionary) and, in the other modes, the
// keys that choose where candidates come from and the loading of the
// lexicon. Training with the analyser's candidates gives the tokens of the
// training segment candidates by jackknifing: the segment's sentences are
// dealt into LexiconFolds folds and each fold is analysed with a lexicon
// built from the other folds. A lexicon built from the whole segment would
// know the true tag of every training token, so the model would learn from
// far fewer unknown words and far less ambiguity than it meets when tagging
// new text.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analyser/analyser.h"
#include "analyser/lexicon_file.h"
#include "app/composed_tags.h"
#include "app/driver.h"
#include "app/globals.h"
#include "app/key_table.h"
#include "app/pipelines.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"
#include "corpus/event_reader.h"
#include "model/model.h"

namespace vexta {

namespace {

constexpr double kGuessMassDefault = 0.99;
constexpr int kGuessMaxDefault = 7;
constexpr double kSyncretismDefault = 0.4;
constexpr int kFoldsDefault = 10;

[[noreturn]] void AnalyserFatal(const std::string& szText) {
    std::fflush(stdout);
    ux_FatalError(kModApp, kMsgApp, szText);
}

[[noreturn]] void ProblemFatal(const FileProblem& problem) {
    std::fflush(stdout);
    ux_LnFatalError(kModApp, kMsgApp, problem.lLine, problem.szText);
}

bool GetKey(const char* pszKey, std::string& szValue) {
    return ux_ArgGetValue(szArgs, pszKey, szValue) <= 0;
}

// A number key within the bounds of the key table; the default when the key
// is absent.
template <typename T> T BoundedKey(const char* pszKey, T def) {
    std::string szValue;
    if (!GetKey(pszKey, szValue)) return def;
    const KeyInfo& key = KeyEntry(pszKey);
    double d = 0;
    const bool fNumber = ScanDouble(szValue, d);
    if (!fNumber || !(d >= key.dMin && d <= key.dMax) ||
        (std::is_integral_v<T> && d != static_cast<double>(static_cast<long>(d))))
        AnalyserFatal(
            ux_StrPrintf("%s: Wrong %s <%s..%s>: %s", ux_ProgName().c_str(), pszKey,
                         std::is_integral_v<T> ? std::to_string(static_cast<long>(key.dMin)).c_str()
                                               : BoundText(key.dMin).c_str(),
                         std::is_integral_v<T> ? std::to_string(static_cast<long>(key.dMax)).c_str()
                                               : BoundText(key.dMax).c_str(),
                         szValue.c_str()));
    return static_cast<T>(d);
}

GuessSettings ReadGuessSettings() {
    GuessSettings guess;
    guess.dMass = BoundedKey<double>("GuessMass", kGuessMassDefault);
    guess.cMax = BoundedKey<int>("GuessMax", kGuessMaxDefault);
    guess.dSyncretism = BoundedKey<double>("Syncretism", kSyncretismDefault);
    return guess;
}

// One token of the training segment.
struct TrainingToken {
    std::string szForm;
    std::string szLemma;
    std::string szTag;
    long lSentence = 0;
};

// Field k (0 tag, 2 form, 3 lemma) of a data line.
std::string_view DataLineField(std::string_view szLine, int k) {
    for (int i = 0; i < k; ++i) {
        const std::size_t ich = szLine.find('|');
        if (ich == std::string_view::npos) return {};
        szLine.remove_prefix(ich + 1);
    }
    return szLine.substr(0, szLine.find('|'));
}

// Reads the tokens (not the boundary tokens) of the training data
// (TrainData, else the Train lines of InData), with the number of their
// sentence.
std::vector<TrainingToken> ReadTrainingTokens(const Model& mRun) {
    Model m;
    m.fProgMode = kModeTrain; // no gap lists
    m.cTagElem = mRun.cTagElem;
    auto ppdf = std::make_unique<pdfRecType>();
    pdfRecType& pdf = *ppdf;
    TrainingLines lines;
    if (const std::string szErr = OpenTrainingInput(szArgs, m, pdf, lines); !szErr.empty())
        AnalyserFatal(ux_StrPrintf("cannot read the training tokens: %s", szErr.c_str()));
    // Candidates are of no interest here: tokens without any take their true
    // tag silently.
    AnalyserUse useNone;
    useNone.from = CandidatesFrom::Lexicon;
    pdf.pAnalyserUse = &useNone;
    pdf.conllu.fWarnedNoCands = true;

    if (!lines.fWholeFile) {
        DataTable dt;
        dt.szSegment = "Train";
        if (const int rc = GetSegment(szArgs, m, dt); rc != 0)
            AnalyserFatal(ux_StrPrintf("cannot read the training segment keys (RC %d)", rc));
        lines.ilFirst = dt.ilStart;
        lines.ilEnd = dt.ilStart == kSegmentNotGiven ? lines.ilFirst : dt.ilStart + dt.clLines;
        ResetDataTable(dt);
    }

    std::vector<TrainingToken> rgtok;
    std::vector<char> szLine(kDataLineSize, '\0');
    std::vector<char> szRest(kDataLineSize, '\0');
    gapRecType gap;
    long n = 0;
    int rc = 0;
    while (n < lines.ilEnd && (rc = GetEvent(szLine, szRest, gap, pdf, m)) == 0) {
        const std::string_view sz(szLine.data());
        if (!sz.empty() && sz[0] == '|') continue;
        if (lines.fWholeFile && pdf.fEndToken) break;
        if (n >= lines.ilFirst && !pdf.fBoundary) {
            rgtok.push_back({std::string(DataLineField(sz, 2)), std::string(DataLineField(sz, 3)),
                             std::string(DataLineField(sz, 0)), pdf.clSentences});
        }
        ++n;
    }
    if (rc > 0) AnalyserFatal(ux_StrPrintf("cannot read the training tokens (RC %d)", rc));
    if (!lines.fWholeFile && n < lines.ilEnd)
        AnalyserFatal(ux_StrPrintf("the input ends at line %ld, before the training segment "
                                   "(lines %ld..%ld)",
                                   n, lines.ilFirst, lines.ilEnd - 1));
    return rgtok;
}

// A builder holding the dictionary's analyses, when the key Dictionary is
// given (after the training tokens are read). With tags composed from UPOS
// and FEATS the lines have four fields and the run's layout composes the tag.
LexiconBuilder DictionaryBuilder(const Model& m) {
    LexiconBuilder builder(m.cTagElem);
    std::string szDict;
    if (!GetKey("Dictionary", szDict)) return builder;
    const bool fComposed = ComposedTags();
    DictionaryColumns cols = kDictColumnsDefault;
    std::string szCols;
    if (GetKey("DictionaryColumns", szCols)) {
        if (fComposed)
            AnalyserFatal(ux_StrPrintf("%s: %s does not apply with TagColumn = UPOS+FEATS: the "
                                       "dictionary lines are form, lemma, UPOS and FEATS",
                                       ux_ProgName().c_str(), "DictionaryColumns"));
        if (!ParseDictionaryColumns(szCols, cols))
            AnalyserFatal(ux_StrPrintf("%s: Wrong %s (form, lemma and tag, each once, separated "
                                       "by \",\"): %s",
                                       ux_ProgName().c_str(), "DictionaryColumns", szCols.c_str()));
    }
    DictionaryTags tags;
    // Short tags are padded as the corpus reader pads them when the training
    // data had such tags or TagPad asks for it; otherwise they are errors.
    std::string szPad;
    const bool fPadKey = GetKey("TagPad", szPad) && szPad.size() == 1;
    if (fPadKey || !m.pdtS->tagSpell.Empty()) tags.chPad = fPadKey ? szPad[0] : '-';
    const UdLayout& layout = m.pdtS->udLayout;
    if (fComposed)
        tags.compose = [&layout](std::string_view szUpos, std::string_view szFeats,
                                 std::string& szTag) {
            std::array<char, kTagElemMax + 1> rgch{};
            UdLayout::Misses misses;
            std::string szErr = layout.Encode(szUpos, szFeats, rgch, misses);
            const bool fUnknown =
                misses.cUnknownValue > 0 || (misses.cUnknownFeature > 0 && !layout.Chosen());
            szTag.assign(fUnknown ? 0 : static_cast<std::size_t>(layout.Size()), '\0');
            if (!fUnknown) std::memcpy(szTag.data(), rgch.data(), szTag.size());
            return szErr;
        };
    FileProblem problem;
    if (ReadDictionary(szDict, cols, m.cTagElem, builder, problem, tags) != 0)
        ProblemFatal(problem);
    if (tags.cSkipped > 0)
        std::fprintf(stderr,
                     "%s: dictionary %s: %ld lines skipped: their UPOS or features have values "
                     "the training data never has\n",
                     ux_ProgName().c_str(), szDict.c_str(), tags.cSkipped);
    return builder;
}

Lexicon BuildLexicon(const LexiconBuilder& dict, const std::vector<TrainingToken>& rgtok,
                     int iFoldLeftOut, int cFolds) {
    LexiconBuilder builder = dict;
    for (const TrainingToken& tok : rgtok)
        if (iFoldLeftOut < 0 || FoldOf(tok.lSentence, cFolds) != iFoldLeftOut)
            builder.AddToken(tok.szForm, tok.szLemma, tok.szTag);
    return builder.Build();
}

const char* CandidatesName(CandidatesFrom from) {
    switch (from) {
    case CandidatesFrom::Lexicon:
        return "lexicon";
    case CandidatesFrom::Fill:
        return "fill";
    default:
        return "input";
    }
}

} // namespace

int RunLexiconPipeline() {
    Model& m = model;
    SetUpModel(m);
    std::string szLexicon;
    if (!GetKey("Lexicon", szLexicon))
        AnalyserFatal(ux_StrPrintf("%s: GetValue %s failed", ux_ProgName().c_str(), "Lexicon"));
    if (ComposedTags()) DeriveComposedTags(m);

    const std::vector<TrainingToken> rgtok = ReadTrainingTokens(m);
    const LexiconBuilder dict = DictionaryBuilder(m);
    LexiconBuilder builder = dict;
    // Spellings of padded tags and the layout of composed tags go with the
    // lexicon, for the output of tagging and for a check against the model.
    m.pdtS->tagSpell.ForEach([&builder](std::string_view szPadded, std::string_view szSpelled) {
        builder.AddSpelling(szPadded, szSpelled);
    });
    if (ComposedTags()) builder.SetLayout(m.pdtS->udLayout.Save());
    const Lexicon lex = BuildLexicon(builder, rgtok, -1, 1);

    std::size_t cDictOnly = 0;
    for (const LexAnalysis& an : lex.rgAnalysis) cDictOnly += an.cCount == 0 ? 1 : 0;
    std::fprintf(stderr,
                 "%s: lexicon from %zu training tokens: %zu forms, %zu analyses (%zu from the "
                 "dictionary only), %zu tags, %zu lemma rules, %zu guesser endings\n",
                 ux_ProgName().c_str(), rgtok.size(), lex.rgszForm.size(), lex.rgAnalysis.size(),
                 cDictOnly, lex.rgszTag.size(), lex.rgRule.size(), lex.rgszSuffix.size());
    std::fprintf(stderr, "%s: writing lexicon to file %s...\n", ux_ProgName().c_str(),
                 szLexicon.c_str());
    FileProblem problem;
    if (WriteLexicon(lex, szLexicon, problem) != 0) ProblemFatal(problem);
    return 0;
}

AnalyserKeys ReadAnalyserKeys() {
    AnalyserKeys keys;
    const bool fLexicon = GetKey("Lexicon", keys.szLexicon);
    std::string szCandidates;
    if (GetKey("Candidates", szCandidates)) {
        if (szCandidates == "lexicon")
            keys.from = CandidatesFrom::Lexicon;
        else if (szCandidates == "fill")
            keys.from = CandidatesFrom::Fill;
        else if (szCandidates != "input")
            AnalyserFatal(ux_StrPrintf("%s: wrong %s (input, lexicon or fill): %s",
                                       ux_ProgName().c_str(), "Candidates", szCandidates.c_str()));
    }
    if (keys.from == CandidatesFrom::Input) return keys;
    if (!fLexicon)
        AnalyserFatal(ux_StrPrintf("%s: Candidates = %s needs the key Lexicon",
                                   ux_ProgName().c_str(), szCandidates.c_str()));
    keys.guess = ReadGuessSettings();
    keys.cFolds = BoundedKey<int>("LexiconFolds", kFoldsDefault);
    return keys;
}

void SetUpAnalyser(Model& m, const AnalyserKeys& keys) {
    if (keys.from == CandidatesFrom::Input) return;
    const std::string& szLexicon = keys.szLexicon;
    const GuessSettings& guess = keys.guess;
    const int cFolds = keys.cFolds;
    const CandidatesFrom from = keys.from;
    auto puse = std::make_shared<AnalyserUse>();
    puse->from = from;
    auto plex = std::make_shared<Lexicon>();
    FileProblem problem;
    if (ReadLexicon(szLexicon, m.cTagElem, *plex, problem) != 0) ProblemFatal(problem);
    const std::vector<std::string> rgszLayout =
        ComposedTags() ? m.pdtS->udLayout.Save() : std::vector<std::string>();
    if (plex->rgszLayout != rgszLayout)
        AnalyserFatal(ux_StrPrintf(
            "%s: lexicon %s: %s", ux_ProgName().c_str(), szLexicon.c_str(),
            rgszLayout.empty() ? "its tags are composed from UPOS and FEATS, the run's are not"
            : plex->rgszLayout.empty() ? "its tags are not composed from UPOS and FEATS; build it "
                                         "with TagColumn = UPOS+FEATS"
                                       : "its UPOS+FEATS layout differs from the model's; build it "
                                         "from the same training data and TagFeatures"));
    for (const auto& [szPadded, szSpelled] : plex->rgSpelling)
        m.pdtS->tagSpell.Remember(szPadded, szSpelled);
    std::fprintf(stderr, "%s: lexicon %s: %zu forms, %zu tags; candidates from %s\n",
                 ux_ProgName().c_str(), szLexicon.c_str(), plex->rgszForm.size(),
                 plex->rgszTag.size(), CandidatesName(from));
    puse->pAnalyser = std::make_unique<Analyser>(std::move(plex), guess);

    const bool fTraining = m.fProgMode == kModeTrain || m.fProgMode == kModeTrainOut;
    if (fTraining && cFolds > 1) {
        const std::vector<TrainingToken> rgtok = ReadTrainingTokens(m);
        const LexiconBuilder dict = DictionaryBuilder(m);
        for (int k = 0; k < cFolds; ++k) {
            auto plexFold = std::make_shared<Lexicon>(BuildLexicon(dict, rgtok, k, cFolds));
            puse->rgpFold.push_back(std::make_unique<Analyser>(std::move(plexFold), guess));
        }
        std::fprintf(stderr, "%s: training tokens analysed by jackknifing in %d folds\n",
                     ux_ProgName().c_str(), cFolds);
    }
    m.pAnalyserUse = std::move(puse);
}

} // namespace vexta
