// The built-in analyser: candidate tags, each with a lemma, for any word
// form. A known form (found as written, or lower-cased) gets every tag the
// lexicon holds for it, the more frequent first, each with its most frequent
// lemma; when the form has capitals both spellings count together. A rare
// known form also gets the tags that regularly share a form with its own
// (see GuessSettings::dSyncretism), after them. An
// unknown form gets the guesser's tags: the tag distributions of its endings
// among rare training forms of the same shape, blended from the empty ending
// up to the longest one known, cut to the most probable tags that cover
// dMass of the probability but at most cMax tags, each with a lemma from
// the rule most often seen with that ending and tag.
//
// Analysing does not allocate once the caller's AnalysisList has grown to
// the sizes it needs; an Analyser is read-only and may be shared.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analyser/lexicon.h"

namespace vexta {

// Where the candidates of a token come from (key "Candidates").
enum class CandidatesFrom {
    Input,   // the input's <MMt> tags
    Lexicon, // the analyser, for every token
    Fill,    // the analyser for tokens without <MMt> tags
};

struct GuessSettings {
    double dMass = 0.99;
    int cMax = 7;
    // Tags that accompany a known form's tags in other forms (key
    // "Syncretism"): a form seen in training at least once and at most
    // cSyncretismFormMax times also gets tag b for each of its tags a when,
    // among the forms seen at least cSyncretismSample times that have a, at
    // least the share dSyncretism have b too; 0 turns it off. Training shows
    // a rare form only some of its analyses, and in inflected languages one
    // ending regularly serves several cases or genders: a form read once as
    // genitive singular is often accusative too.
    double dSyncretism = 0.4;
    int cSyncretismFormMax = 20;
    int cSyncretismSample = 5;
};

// The analyses of one form; reused from token to token.
class AnalysisList {
public:
    int Count() const { return static_cast<int>(rgItem_.size()); }
    std::string_view Tag(int k) const { return rgItem_[static_cast<std::size_t>(k)].szTag; }
    std::string_view Lemma(int k) const {
        const Item& item = rgItem_[static_cast<std::size_t>(k)];
        return std::string_view(szLemmas_).substr(item.ichLemma, item.cchLemma);
    }
    // Count in training (known forms) or probability (guessed forms).
    double Score(int k) const { return rgItem_[static_cast<std::size_t>(k)].dScore; }
    bool Known() const { return fKnown_; }
    // The lemma that goes with szTag; empty when szTag is not among them.
    std::string_view LemmaOf(std::string_view szTag) const;

private:
    friend class Analyser;
    struct Item {
        std::string_view szTag;
        std::size_t ichLemma = 0;
        std::size_t cchLemma = 0;
        double dScore = 0;
        std::uint32_t cLemmaCount = 0; // training count of the lemma kept
        std::uint32_t iTag = 0;        // index into Lexicon::rgszTag (known forms)
    };
    void Clear();
    void Add(std::string_view szTag, std::string_view szLemma, double dScore);
    void AddWithRule(std::string_view szTag, const LemmaRule& rule, std::string_view szForm,
                     double dScore);

    std::vector<Item> rgItem_;
    std::string szLemmas_;
    bool fKnown_ = false;
    // Work areas of the guesser.
    std::string szLower_;
    std::string szKey_;
    std::vector<long> rgiChain_;
    std::vector<double> rgdProb_;
    std::vector<std::uint32_t> rgiSupport_;
};

class Analyser {
public:
    Analyser(std::shared_ptr<const Lexicon> plex, GuessSettings guess);

    // The candidates of szForm into out (replacing what it held). Empty
    // only when the lexicon holds no tags at all.
    void Analyse(std::string_view szForm, AnalysisList& out) const;

    const Lexicon& Lex() const { return *plex_; }
    const GuessSettings& Guess() const { return guess_; }

private:
    void AddKnown(long iForm, AnalysisList& out) const;
    void AddSyncretic(AnalysisList& out) const;
    void BuildSyncretism();
    void AddGuessed(std::string_view szForm, AnalysisList& out) const;

    std::shared_ptr<const Lexicon> plex_;
    GuessSettings guess_;
    // Per lexicon tag, the tags that accompany it (sorted by index).
    std::vector<std::vector<std::uint32_t>> rgrgiSyncretic_;
};

// The analysers of a run and where candidates come from. With jackknifing,
// tokens of the training segment are analysed by the analyser of their fold
// (built without that fold) and all others by the full one.
struct AnalyserUse {
    CandidatesFrom from = CandidatesFrom::Input;
    std::unique_ptr<Analyser> pAnalyser;
    std::vector<std::unique_ptr<Analyser>> rgpFold;

    // The analyser of a token; fTrainingLine tells whether it lies in the
    // training segment and lSentence is the number of its sentence.
    const Analyser* For(bool fTrainingLine, long lSentence) const {
        if (fTrainingLine && !rgpFold.empty())
            return rgpFold[static_cast<std::size_t>(lSentence) % rgpFold.size()].get();
        return pAnalyser.get();
    }
};

// The fold of a training sentence when the training segment is cut into
// cFolds folds: sentences are dealt out in turn, so that every fold samples
// the whole segment as the heldout and test sentences do.
inline int FoldOf(long lSentence, int cFolds) {
    return static_cast<int>(lSentence % cFolds);
}

} // namespace vexta
