// The lexicon of the built-in analyser: every word form seen in training (or
// given by a dictionary) with its lemma/tag pairs and their counts, and the
// guesser's tables for forms it does not know.
//
// Guesser tables are keyed by a form's shape letter (see text_shape.h)
// followed by one of its lower-cased endings of 0 .. cSuffixMax characters;
// "*" holds the tags of every shape together, for shapes that training never
// showed. Each key lists its tags with counts taken from the rare forms
// (a total count of 1 .. cRareMax), because rare forms behave like the unknown
// forms of new text, and with each tag the lemma rule seen most often with it.
//
// Forms, tags and keys are stored in sorted vectors; after Index() the hash
// indexes hold views into them, so a lexicon is moved, never copied.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vexta {

// Case changes of a lemma rule.
inline constexpr int kCaseAsIs = 0;
inline constexpr int kCaseLowerFirst = 1; // the first character lower-cased
inline constexpr int kCaseLowerAll = 2;   // every character lower-cased

// How a lemma is made from a form: change the case (iCase), drop the last
// cCut characters, then append szAppend.
struct LemmaRule {
    int cCut = 0;
    int iCase = kCaseAsIs;
    std::string szAppend;
    auto operator<=>(const LemmaRule&) const = default;
};

// The rule that turns szForm into szLemma (the shortest cut that works).
LemmaRule RuleOf(std::string_view szForm, std::string_view szLemma);

// Applies the rule to szForm, appending the lemma to szOut; a rule that
// would cut more characters than the form has gives the form itself.
void ApplyRule(const LemmaRule& rule, std::string_view szForm, std::string& szOut);

struct LexAnalysis {
    std::string szLemma;
    std::uint32_t iTag = 0;   // index into Lexicon::rgszTag
    std::uint32_t cCount = 0; // tokens seen in training; 0 for dictionary-only analyses
};

struct SuffixTag {
    std::uint32_t iTag = 0;
    std::uint32_t cCount = 0;
    std::uint32_t iRule = 0; // index into Lexicon::rgRule
};

// Settings fixed when a lexicon is built (and stored in its file).
struct LexiconSettings {
    int cRareMax = 10;  // forms seen at most this often feed the guesser
    int cSuffixMax = 6; // longest ending used by the guesser, in characters
    // Weight of a shorter ending against the next longer one when the
    // guesser blends them; 1 keeps enough of the short endings' tags for
    // GuessMass to reach the true tag of most unknown forms.
    double dTheta = 1.0;
};

inline constexpr std::string_view kAnyShapeKey = "*";

class Lexicon {
public:
    Lexicon() = default;
    Lexicon(Lexicon&&) = default;
    Lexicon& operator=(Lexicon&&) = default;
    Lexicon(const Lexicon&) = delete;
    Lexicon& operator=(const Lexicon&) = delete;

    int cTagElem = 0;
    LexiconSettings settings;
    double dTheta = 0.0; // LexiconSettings::dTheta of the build

    std::vector<std::string> rgszTag; // distinct tags, sorted
    std::vector<LemmaRule> rgRule;

    // The layout of tags composed from UPOS and FEATS, as its text lines;
    // empty for other tags. The analyser does not read it: it lets a run
    // check that the lexicon's tags mean what the model's do.
    std::vector<std::string> rgszLayout;
    // Tags padded on reading, each with its spelling in the training data
    // or dictionary (sorted by the padded tag, distinct), for output.
    std::vector<std::pair<std::string, std::string>> rgSpelling;

    // Forms sorted by bytes; the analyses of form k are
    // rgAnalysis[rgiFormFirst[k] .. rgiFormFirst[k + 1]).
    std::vector<std::string> rgszForm;
    std::vector<std::uint32_t> rgiFormFirst;
    std::vector<LexAnalysis> rgAnalysis;

    // Guesser keys sorted by bytes, their tags in
    // rgSuffixTag[rgiSuffixFirst[k] .. rgiSuffixFirst[k + 1]) and the sum of
    // their counts.
    std::vector<std::string> rgszSuffix;
    std::vector<std::uint32_t> rgiSuffixFirst;
    std::vector<SuffixTag> rgSuffixTag;
    std::vector<std::uint64_t> rgcSuffixTotal;

    // Builds the hash indexes and the key totals; call once the vectors are
    // filled.
    void Index();
    // Index of a form or guesser key, -1 when absent.
    long FindForm(std::string_view szForm) const;
    long FindSuffix(std::string_view szKey) const;
    long FindTag(std::string_view szTag) const;

private:
    std::unordered_map<std::string_view, std::uint32_t> mapForm_;
    std::unordered_map<std::string_view, std::uint32_t> mapSuffix_;
    std::unordered_map<std::string_view, std::uint32_t> mapTag_;
};

// Collects training tokens and dictionary entries and builds a lexicon.
class LexiconBuilder {
public:
    explicit LexiconBuilder(int cTagElem, LexiconSettings settings = {});

    // One training token.
    void AddToken(std::string_view szForm, std::string_view szLemma, std::string_view szTag);
    // One dictionary analysis: count 0 unless training saw it.
    void AddEntry(std::string_view szForm, std::string_view szLemma, std::string_view szTag);

    // The spelling of a padded tag (the first one given is kept).
    void AddSpelling(std::string_view szPadded, std::string_view szSpelled);
    // The layout lines of composed tags.
    void SetLayout(std::vector<std::string> rgszLayout) { rgszLayout_ = std::move(rgszLayout); }

    Lexicon Build() const;

private:
    int cTagElem_;
    LexiconSettings settings_;
    std::vector<std::string> rgszLayout_;
    std::map<std::string, std::string, std::less<>> mapSpelling_;
    // form -> (tag, lemma) -> count
    std::map<std::string, std::map<std::pair<std::string, std::string>, std::uint32_t>, std::less<>>
        mapForms_;
};

} // namespace vexta
