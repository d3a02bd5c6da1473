// The table of known keys and what is derived from it: look-up, the closest
// known key of a misspelt one, and the Markdown key reference.
#include "app/key_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vexta {

namespace {

constexpr unsigned kTrain = kReadInTrain;
constexpr unsigned kTestTag = kReadInTest | kReadInTag;
constexpr std::string_view kSameAsGlobal = "the key without number";

// clang-format off
constexpr KeyInfo kKeys[] = {
    // Start-up: read in every mode.
    {.szName = "Mode", .type = KeyType::kWord,
     .szValues = "Train, TrainOut, Test, TestOut, TestDebug, Tag, TagDebug, Lexicon",
     .szMeaning = "The job: Train and TrainOut train a model and write it to Features; Test "
                  "reports error rates of the model on the Test segment (TestOut also writes "
                  "each token with its chosen tag, TestDebug traces the beam search); Tag "
                  "writes the corpus with the chosen lemma and tag inserted (TagDebug adds "
                  "a trace of the beam search); Lexicon builds the analyser's lexicon file "
                  "(Lexicon) from the Train segment and the Dictionary."},
    {.szName = "TagMode", .type = KeyType::kWord, .szValues = "VTC, Separate",
     .szMeaning = "VTC chooses whole tags by beam search along the text; Separate chooses "
                  "each tag position on its own."},
    {.szName = "TagElemMax", .type = KeyType::kInt, .dMin = 1, .dMax = 31,
     .szMeaning = "Number of positions (tag elements) of a tag: the tag length."},
    {.szName = "Beam", .type = KeyType::kInt, .dMin = 1, .dMax = 126,
     .szMeaning = "Beam width: the number of paths the beam search keeps per token."},
    {.szName = "RawExpWeight", .type = KeyType::kReal, .dMin = 0.000000001, .dMax = 0.999999999,
     .szMeaning = "Weight of the model's own estimate against the smoothing distributions."},
    {.szName = "TaggerID", .szDefault = "empty",
     .szMeaning = "Written as src=\"...\" on the `<MDl>`/`<MDt>` tags that tagging inserts; input "
                  "tags with this src are skipped when the corpus is read."},
    {.szName = "LogFile", .szDefault = "standard error",
     .szMeaning = "File that receives the diagnostics, progress and error rates (truncated "
                  "first)."},
    {.szName = "InputAC", .szDefault = "no trace",
     .szMeaning = "Trace file: every data line read is written to it with its number."},

    // The corpus.
    {.szName = "InData", .szDefault = "required unless every segment has its ...Data file",
     .szMeaning = "The corpus: SGML with true and candidate tags, data lines or CoNLL-U; - reads "
                  "standard input. Segments given by line numbers are numbered in it."},
    {.szName = "InputFormat", .type = KeyType::kWord,
     .szDefault = "from the file: .conllu is CoNLL-U, text starting with < SGML, else data lines",
     .szValues = "sgml, line, conllu", .szMeaning = "Format of every corpus file read."},
    {.szName = "TagColumn", .type = KeyType::kWord, .szDefault = "XPOS",
     .szValues = "XPOS, UPOS+FEATS",
     .szMeaning = "The CoNLL-U column that holds the tag. UPOS+FEATS composes a tag of one "
                  "position for UPOS and one per feature of the training data; TagElemMax, "
                  "SubTag and SentTag then come from that layout, which the model file keeps."},
    {.szName = "TagFeatures", .szDefault = "every feature of the training data, by name",
     .szValues = "feature names joined by +",
     .szMeaning = "With TagColumn = UPOS+FEATS: the features that make the tag, in this order "
                  "(at most 30); others are left out. Testing and tagging take the model's."},
    {.szName = "TagPad", .szDefault = "-", .szValues = "one character",
     .szMeaning = "Pads CoNLL-U tags shorter than TagElemMax at their end on reading; output "
                  "writes a tag as it was spelled."},
    {.szName = "KeepLemma", .type = KeyType::kFlag, .szDefault = "no",
     .szMeaning = "yes: tagged CoNLL-U keeps the LEMMA column instead of writing the chosen "
                  "lemma."},
    {.szName = "TrainData", .fModes = kTrain, .szDefault = "none: the segment is part of InData",
     .szMeaning = "File that is the whole Train segment (any format); TrainStart and TrainLines "
                  "are then not needed."},
    {.szName = "HeldoutData", .fModes = kTrain,
     .szDefault = "none: the segment is part of InData",
     .szMeaning = "File that is the whole Heldout segment (any format)."},
    {.szName = "TestData", .szDefault = "none: the segment is part of InData",
     .szMeaning = "File that is the whole Test segment (any format); Tag reads it when InData "
                  "is absent."},
    {.szName = "SentTag",
     .szMeaning = "Tag of the sentence boundary token inserted at each `<s>` (TagElemMax "
                  "characters)."},
    {.szName = "SentForm", .szMeaning = "Form of the sentence boundary token."},
    {.szName = "SentLemma", .szMeaning = "Lemma of the sentence boundary token."},
    {.szName = "TagTable", .szDefault = "none (with a warning): tags are not converted",
     .szMeaning = "Tag conversion table in the hash-table text format: input tags are "
                  "replaced by their values."},
    {.szName = "SubTag", .form = KeyForm::kNumbered,
     .szMeaning = "`SubTag1` .. `SubTag<TagElemMax>` name the tag positions; a leading \"+\" "
                  "makes an error in that position an error of the whole token."},
    {.szName = "TrainStart", .fModes = kTrain, .type = KeyType::kInt,
     .szDefault = "required unless TrainData is given",
     .szValues = "a line number",
     .szMeaning = "First data line of the Train segment. Data lines are numbered from 0: one "
                  "boundary line per `<s>` and one line per token."},
    {.szName = "TrainLines", .fModes = kTrain, .type = KeyType::kInt,
     .szDefault = "required unless TrainData is given",
     .szValues = "0 or more", .szMeaning = "Number of data lines of the Train segment."},
    {.szName = "HeldoutStart", .fModes = kTrain, .type = KeyType::kInt,
     .szDefault = "required unless HeldoutData is given",
     .szValues = "a line number",
     .szMeaning = "First data line of the Heldout segment (used to check weights during "
                  "training); must not overlap Train."},
    {.szName = "HeldoutLines", .fModes = kTrain, .type = KeyType::kInt,
     .szDefault = "required unless HeldoutData is given",
     .szValues = "0 or more", .szMeaning = "Number of data lines of the Heldout segment."},
    {.szName = "TestStart", .type = KeyType::kInt, .szDefault = "in Test and Tag: no segment",
     .szValues = "a line number",
     .szMeaning = "First data line of the Test segment, which testing evaluates and Separate "
                  "tagging tags; must not overlap Train or Heldout. Requires TestLines."},
    {.szName = "TestLines", .type = KeyType::kInt, .szDefault = "in Test and Tag: no segment",
     .szValues = "0 or more",
     .szMeaning = "Number of data lines of the Test segment; a segment beyond the end of the "
                  "data is shortened."},
    {.szName = "Features",
     .szMeaning = "The model file: written by training, read by testing and tagging."},
    {.szName = "Threads", .fModes = kTrain | kTestTag, .type = KeyType::kInt, .szDefault = "1",
     .dMin = 0, .dMax = 1024,
     .szMeaning = "Threads that tag with VTC or train (0: one per core). The input's windows "
                  "are tagged in parallel and written in input order: the output is the same "
                  "for any number, SGML, line format or CoNLL-U. SGML input without `TagTable` "
                  "or the analyser's candidates is also read on the threads, in pieces cut "
                  "before `<s>` lines; a piece whose reading would write a message or stop the "
                  "run is read again at its turn by one reader (the rest of the input too where "
                  "a comment or an unclosed tag may cross the cut), so messages, exit status "
                  "and the output before a failure are those of one thread. "
                  "TagDebug, trace switches and the "
                  "Test modes use one thread (a test is one beam over the whole segment). "
                  "Training generates the feature pool on that many threads, each taking "
                  "chunks of the Train segment, loads it on them, and selects the features "
                  "of different tag elements side by side: the model file and the log are the "
                  "same for any number."},

    // Training set-up.
    {.szName = "FeatureMode", .fModes = kTrain, .type = KeyType::kWord,
     .szValues = "Generate, GenerateOut, Read",
     .szMeaning = "Where candidate features come from: Generate builds them from the training "
                  "data in every iteration, GenerateOut also writes them to FeatureSugg, Read "
                  "takes them from FeatureSugg. With Read the generation keys (FeatureTemplates, "
                  "UseInFeatures, Models, SortSuggestions, ...) are not read: give them per "
                  "iteration (Models0, UseInFeatures0, ...)."},
    {.szName = "FeatureSugg", .fModes = kTrain,
     .szDefault = "required with FeatureMode GenerateOut or Read",
     .szMeaning = "The feature pool file."},
    {.szName = "MaxFeaturesGenerate", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kInt, .szDefault = "required with FeatureMode Generate or GenerateOut",
     .dMin = 1, .dMax = 10000000,
     .szMeaning = "Generation stops once this many distinct candidate features exist."},
    {.szName = "CountMode", .fModes = kTrain, .type = KeyType::kWord,
     .szDefault = "required unless FeatureMode is Read", .szValues = "Batch, Individual",
     .szMeaning = "Batch counts each candidate feature once per line; Individual once per "
                  "true value."},
    {.szName = "Models", .fModes = kTrain, .form = KeyForm::kIterated, .type = KeyType::kWord,
     .szDefault = "required unless FeatureMode is Read", .szValues = "AC, General, Both",
     .szMeaning = "Features per ambiguity class (AC), for all classes of a position (General) "
                  "or both."},
    {.szName = "SortSuggestions", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kWord, .szDefault = "required unless FeatureMode is Read",
     .szValues = "Count, Entropy",
     .szMeaning = "Order in which a class's candidates are tried: Count (most frequent first) "
                  "or Entropy (most decisive first)."},
    {.szName = "CutSuggestions", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kReal, .szDefault = "required with SortSuggestions Entropy",
     .szValues = "above 0.0 up to 32.0, or none",
     .szMeaning = "With Entropy: candidates above this entropy (bits) are dropped; none keeps "
                  "them all."},
    {.szName = "FeatureTemplates", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kWord, .szDefault = "required unless FeatureMode is Read",
     .szValues = "base, base2, base3, base4, joined by + , or .",
     .szMeaning = "Feature templates: base (one-term features) up to base4 (four terms)."},
    {.szName = "UseInFeatures", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kWord, .szDefault = "required unless FeatureMode is Read",
     .szValues = "ACs, Forms, Tags, SetElements, joined by + , or .",
     .szMeaning = "What features may look at: ambiguity classes, word forms, tags to the "
                  "left, single values of an ambiguity class."},
    {.szName = "AmbClassIgnore", .fModes = kTrain,
     .szMeaning = "Character that marks the all-data ambiguity class of each tag position; "
                  "use one that is not a tag value."},

    // Training parameters.
    {.szName = "MinThrAddFeature", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kInt, .dMin = 1, .dMax = 2000000,
     .szMeaning = "A feature is added when it removes at least this many training errors."},
    {.szName = "MinThrPoolFeature", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kInt, .dMin = 1, .dMax = 30000, .dMaxIterated = 300000,
     .szMeaning = "Candidate features seen fewer times are not tried."},
    {.szName = "MinThrClosestFeature", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kInt, .dMin = 1, .dMax = 2000000,
     .szMeaning = "Occurrences that the anchor of a \"closest\" condition needs."},
    {.szName = "CombiThr", .fModes = kTrain, .type = KeyType::kInt, .dMin = 1,
     .dMax = 999999999, .szMeaning = "Checked and stored in the model; not used otherwise."},
    {.szName = "LeftOnly", .fModes = kTrain, .form = KeyForm::kIterated, .type = KeyType::kFlag,
     .szMeaning = "yes: features look only to the left of the token."},
    {.szName = "FeatureArea", .fModes = kTrain, .type = KeyType::kInt, .dMin = 1000,
     .dMax = 8000000, .szMeaning = "Capacity: features in the model."},
    {.szName = "FeatureSuggSize", .fModes = kTrain, .type = KeyType::kInt, .dMin = 10000,
     .dMax = 90000000, .szMeaning = "Capacity: candidate features in the pool."},
    {.szName = "AmbClassArea", .fModes = kTrain, .type = KeyType::kInt, .dMin = 100,
     .dMax = 800000, .szMeaning = "Capacity: ambiguity classes."},
    {.szName = "LambdaIterations", .fModes = kTrain, .type = KeyType::kInt, .dMin = 0,
     .dMax = 999, .szMeaning = "Rounds of retuning every weight after training (0: none)."},
    {.szName = "HeavySmoothing", .fModes = kTrain, .form = KeyForm::kIterated,
     .type = KeyType::kFlag,
     .szMeaning = "yes: a token where no feature fires may still count as right."},
    {.szName = "MultiPass", .fModes = kTrain, .form = KeyForm::kIterated, .type = KeyType::kFlag,
     .szMeaning = "yes: the iteration serves the classes with the most errors first, halving "
                  "the threshold pass by pass."},
    {.szName = "TrainingIterationsMax", .fModes = kTrain, .type = KeyType::kInt, .dMin = 0,
     .dMax = 50,
     .szMeaning = "Number of training iterations; each may override an iterated key by "
                  "appending its number (MinThrAddFeature1 for the second)."},
    {.szName = "LambdaMax", .fModes = kTrain, .form = KeyForm::kIterated, .type = KeyType::kReal,
     .dMin = 1.0, .dMax = 10000.0,
     .szMeaning = "Largest weight tried for a new feature (1, 2, 4, ... up to it)."},
    {.szName = "LambdaMin", .fModes = kTrain, .form = KeyForm::kIterated, .type = KeyType::kReal,
     .dMin = 0.0001, .dMax = 1.0,
     .szMeaning = "Smallest weight tried for a new feature (0.5, 0.25, ... down to it)."},
    {.szName = "TrainCat", .fModes = kTrain, .type = KeyType::kInt, .dMin = -1,
     .szValues = "-1 .. TagElemMax - 1",
     .szMeaning = "-1 trains every tag position; a number trains only that one (from 0)."},

    // The built-in analyser.
    {.szName = "Lexicon", .szDefault = "none: candidates come from the input",
     .szMeaning = "The analyser's lexicon file: written by Mode Lexicon, read in the other modes "
                  "when Candidates is lexicon or fill."},
    {.szName = "Candidates", .type = KeyType::kWord, .szDefault = "input",
     .szValues = "input, lexicon, fill",
     .szMeaning = "Where the candidate tags of a token come from: the input's `<MMt>` tags, the "
                  "analyser for every token (the input then needs no `<l>`, `<t>`, `<MMl>` or "
                  "`<MMt>`; a CoNLL-U word whose tag column is `_` takes the most probable "
                  "candidate as its reference tag), or the analyser for tokens without `<MMt>` "
                  "tags (CoNLL-U has none: fill and lexicon are the same there). Needs Lexicon."},
    {.szName = "GuessMass", .type = KeyType::kReal, .szDefault = "0.99", .dMin = 0.01,
     .dMax = 1.0,
     .szMeaning = "The guesser offers an unknown form its most probable tags until they cover "
                  "this share of the probability (but at most GuessMax tags)."},
    {.szName = "GuessMax", .type = KeyType::kInt, .szDefault = "7", .dMin = 1, .dMax = 1000,
     .szMeaning = "Most tags the guesser offers an unknown form."},
    {.szName = "Syncretism", .type = KeyType::kReal, .szDefault = "0.4", .dMin = 0.0, .dMax = 1.0,
     .szMeaning = "The analyser also offers a form seen 1 to 20 times in training every tag that, "
                  "among the forms seen at least 5 times, accompanies one of its tags on at "
                  "least this share of the forms (one ending serving several cases or genders), "
                  "with the lemma of that tag; 0: only the tags the form was seen with."},
    {.szName = "LexiconFolds", .fModes = kTrain, .type = KeyType::kInt, .szDefault = "10",
     .dMin = 1, .dMax = 100,
     .szMeaning = "Training with the analyser: the Train segment's sentences are dealt into this "
                  "many folds and each fold gets its candidates from a lexicon built from the "
                  "others, so that training meets unknown words as tagging will; 1: the whole "
                  "lexicon for every token."},
    {.szName = "Dictionary", .fModes = kTrain, .szDefault = "none",
     .szMeaning = "Mode Lexicon and training with the analyser: a file of form TAB lemma TAB tag "
                  "lines (# starts a comment) merged into the lexicon; analyses training never "
                  "saw get count 0. Tags shorter than TagElemMax are padded with TagPad when the "
                  "training data had such tags or TagPad is given. With "
                  "TagColumn = UPOS+FEATS the lines are form TAB lemma TAB UPOS TAB FEATS; lines "
                  "with values the training data never has are skipped (counted in a note)."},
    {.szName = "DictionaryColumns", .fModes = kTrain, .szDefault = "form,lemma,tag",
     .szValues = "form, lemma, tag in any order, joined by , or +",
     .szMeaning = "Order of the columns of the Dictionary file (not with TagColumn = "
                  "UPOS+FEATS)."},
};
// clang-format on

std::string Lower(std::string_view sz) {
    std::string szOut(sz);
    for (char& c : szOut) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return szOut;
}

// Splits "LambdaMax12" into "LambdaMax" and "12"; the number is empty when
// the key does not end in digits or is nothing but digits.
std::pair<std::string_view, std::string_view> SplitNumber(std::string_view szKey) {
    std::size_t i = szKey.size();
    while (i > 0 && szKey[i - 1] >= '0' && szKey[i - 1] <= '9') --i;
    if (i == 0) return {szKey, {}};
    return {szKey.substr(0, i), szKey.substr(i)};
}

// The number as "%d" writes it: no sign, no leading zero.
bool IsPlainNumber(std::string_view szNumber) {
    return !szNumber.empty() && (szNumber.size() == 1 || szNumber[0] != '0');
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> rgPrev(b.size() + 1);
    std::vector<std::size_t> rgCur(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) rgPrev[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        rgCur[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cSub = rgPrev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            rgCur[j] = std::min({rgPrev[j] + 1, rgCur[j - 1] + 1, cSub});
        }
        std::swap(rgPrev, rgCur);
    }
    return rgPrev[b.size()];
}

std::string ModesText(unsigned fModes) {
    if (fModes == kReadInAll) return "all";
    std::string sz;
    for (const auto& [f, psz] : {std::pair{kReadInTrain, "Train"}, std::pair{kReadInTest, "Test"},
                                 std::pair{kReadInTag, "Tag"}}) {
        if ((fModes & f) == 0) continue;
        if (!sz.empty()) sz += ", ";
        sz += psz;
    }
    return sz;
}

std::string NumberText(const KeyInfo& key, double d) {
    if (key.type == KeyType::kInt) return std::to_string(static_cast<long long>(d));
    return BoundText(d);
}

std::string BoundsText(const KeyInfo& key) {
    if (!key.szValues.empty()) return std::string(key.szValues);
    switch (key.type) {
    case KeyType::kFlag:
        return "yes or no";
    case KeyType::kInt:
    case KeyType::kReal: {
        std::string sz = NumberText(key, key.dMin) + " .. " + NumberText(key, key.dMax);
        if (key.dMaxIterated != 0)
            sz += " (per iteration: .. " + NumberText(key, key.dMaxIterated) + ")";
        return sz;
    }
    default:
        return "";
    }
}

std::string NameText(const KeyInfo& key) {
    switch (key.form) {
    case KeyForm::kIterated:
        return std::string(key.szName) + ", " + std::string(key.szName) + "<i>";
    case KeyForm::kNumbered:
        return std::string(key.szName) + "<n>";
    default:
        return std::string(key.szName);
    }
}

// A table cell: "|" would end the cell.
std::string Cell(std::string_view sz) {
    std::string szOut;
    for (const char c : sz) {
        if (c == '|') szOut += '\\';
        szOut += c;
    }
    return szOut;
}

} // namespace

std::span<const KeyInfo> KnownKeys() {
    return kKeys;
}

const KeyInfo& KeyEntry(std::string_view szName) {
    for (const KeyInfo& key : kKeys)
        if (key.szName == szName) return key;
    std::fprintf(stderr, "KeyEntry: %.*s is not in the key table\n",
                 static_cast<int>(szName.size()), szName.data());
    std::abort();
}

bool IsKnownKey(std::string_view szKey) {
    const auto [szBase, szNumber] = SplitNumber(szKey);
    for (const KeyInfo& key : kKeys) {
        if (key.form != KeyForm::kNumbered && key.szName == szKey) return true;
        if (key.form == KeyForm::kPlain || key.szName != szBase || !IsPlainNumber(szNumber))
            continue;
        if (key.form == KeyForm::kIterated || szNumber != "0") return true;
    }
    return false;
}

std::string ClosestKey(std::string_view szKey) {
    const auto [szBase, szNumber] = SplitNumber(szKey);
    const std::string szLower = Lower(szKey);
    const std::string szLowerBase = Lower(szBase);
    // Farthest a suggestion may be: one edit per three characters, 1 to 3.
    const std::size_t cMax = std::max<std::size_t>(1, std::min<std::size_t>(3, szKey.size() / 3));
    // Score: twice the distance, plus one for a match of the whole key, so
    // that on a tie the key with the number wins ("LambdaMxa2": LambdaMax2);
    // among equals the first entry of the table.
    std::size_t iBest = 2 * cMax + 2;
    std::string szBest;
    for (const KeyInfo& key : kKeys) {
        const std::string szName = Lower(key.szName);
        if (key.form != KeyForm::kNumbered) {
            if (const std::size_t i = 2 * EditDistance(szLower, szName) + 1; i < iBest) {
                iBest = i;
                szBest = key.szName;
            }
        }
        if (key.form != KeyForm::kPlain && !szNumber.empty()) {
            if (const std::size_t i = 2 * EditDistance(szLowerBase, szName); i < iBest) {
                // The number as it is read: no leading zeros, from 1 for numbered keys.
                std::string_view szDigits = szNumber;
                while (szDigits.size() > 1 && szDigits.front() == '0') szDigits.remove_prefix(1);
                if (key.form == KeyForm::kNumbered && szDigits == "0") szDigits = "1";
                iBest = i;
                szBest = std::string(key.szName) + std::string(szDigits);
            }
        }
    }
    return szBest;
}

std::string BoundText(double d) {
    char sz[64];
    const auto res = std::to_chars(sz, sz + sizeof sz, d, std::chars_format::fixed);
    std::string szOut(sz, res.ptr);
    if (szOut.find('.') == std::string::npos) szOut += ".0";
    return szOut;
}

std::string KeyReference() {
    std::string sz =
        "# Keys of the argument file\n"
        "\n"
        "Generated from the key table in `src/app/key_table.cpp` (`vexta --keys` prints it);\n"
        "edit the table, then run `./build/vexta --keys > docs/keys.md`.\n"
        "\n"
        "An argument file holds `key = value` definitions; `vexta ARGFILE Key=Value ...`\n"
        "overrides them from the command line (a later definition wins). Modes: Train\n"
        "stands for Train and TrainOut, Test for Test, TestOut and TestDebug, Tag for Tag\n"
        "and TagDebug. A key written `Name<i>` overrides `Name` for training iteration i\n"
        "(from 0), so `LambdaMax2` sets the third iteration. A key that no mode reads,\n"
        "and that no `${...}` reference uses, is reported as unknown.\n"
        "\n"
        "| key | modes | default | values | meaning |\n"
        "|---|---|---|---|---|\n";
    for (const KeyInfo& key : kKeys) {
        std::string szDefault(key.szDefault.empty() ? "required" : key.szDefault);
        if (key.form == KeyForm::kIterated)
            szDefault += "; per iteration: " + std::string(kSameAsGlobal);
        sz += "| `" + Cell(NameText(key)) + "` | " + ModesText(key.fModes) + " | " +
              Cell(szDefault) + " | " + Cell(BoundsText(key)) + " | " + Cell(key.szMeaning) +
              " |\n";
    }
    return sz;
}

} // namespace vexta
