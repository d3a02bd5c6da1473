// Lexicon building: analyses per form, lemma rules, and the guesser's ending
// tables from the rare forms.
#include "analyser/lexicon.h"

#include <algorithm>
#include <set>

#include "analyser/text_shape.h"

namespace vexta {

namespace {

// Length of the common prefix of two strings, on a character boundary.
std::size_t CommonPrefix(std::string_view sz1, std::string_view sz2) {
    std::size_t ich = 0;
    while (ich < sz1.size() && ich < sz2.size() && sz1[ich] == sz2[ich]) ++ich;
    // Back off out of a partly shared multi-byte character.
    while (ich > 0 && ich < sz1.size() && (static_cast<unsigned char>(sz1[ich]) & 0xC0) == 0x80)
        --ich;
    return ich;
}

template <typename Map> void IndexStrings(const std::vector<std::string>& rgsz, Map& map) {
    map.clear();
    map.reserve(rgsz.size());
    for (std::size_t k = 0; k < rgsz.size(); ++k)
        map.emplace(rgsz[k], static_cast<std::uint32_t>(k));
}

template <typename Map> long Find(const Map& map, std::string_view sz) {
    const auto it = map.find(sz);
    return it == map.end() ? -1 : static_cast<long>(it->second);
}

} // namespace

LemmaRule RuleOf(std::string_view szForm, std::string_view szLemma) {
    // The case change that keeps the longest part of the form (the
    // smallest change on a tie).
    std::string rgszBase[3];
    rgszBase[kCaseAsIs] = szForm;
    AppendLowerFirst(szForm, rgszBase[kCaseLowerFirst]);
    AppendLower(szForm, rgszBase[kCaseLowerAll]);
    LemmaRule rule;
    std::size_t cchBest = CommonPrefix(rgszBase[kCaseAsIs], szLemma);
    for (const int iCase : {kCaseLowerFirst, kCaseLowerAll}) {
        const std::size_t cch = CommonPrefix(rgszBase[iCase], szLemma);
        if (cch > cchBest) {
            cchBest = cch;
            rule.iCase = iCase;
        }
    }
    const std::string_view szBase = rgszBase[rule.iCase];
    rule.cCut = static_cast<int>(CharCount(szBase.substr(cchBest)));
    rule.szAppend = szLemma.substr(cchBest);
    return rule;
}

void ApplyRule(const LemmaRule& rule, std::string_view szForm, std::string& szOut) {
    const std::size_t cChars = CharCount(szForm);
    if (static_cast<std::size_t>(rule.cCut) > cChars) {
        szOut.append(szForm);
        return;
    }
    const std::string_view szKept = CutLastChars(szForm, static_cast<std::size_t>(rule.cCut));
    if (rule.iCase == kCaseLowerFirst)
        AppendLowerFirst(szKept, szOut);
    else if (rule.iCase == kCaseLowerAll)
        AppendLower(szKept, szOut);
    else
        szOut.append(szKept);
    szOut.append(rule.szAppend);
}

void Lexicon::Index() {
    IndexStrings(rgszForm, mapForm_);
    IndexStrings(rgszSuffix, mapSuffix_);
    IndexStrings(rgszTag, mapTag_);
    rgcSuffixTotal.assign(rgszSuffix.size(), 0);
    for (std::size_t k = 0; k < rgszSuffix.size(); ++k)
        for (std::uint32_t i = rgiSuffixFirst[k]; i < rgiSuffixFirst[k + 1]; ++i)
            rgcSuffixTotal[k] += rgSuffixTag[i].cCount;
}

long Lexicon::FindForm(std::string_view szForm) const {
    return Find(mapForm_, szForm);
}
long Lexicon::FindSuffix(std::string_view szKey) const {
    return Find(mapSuffix_, szKey);
}
long Lexicon::FindTag(std::string_view szTag) const {
    return Find(mapTag_, szTag);
}

LexiconBuilder::LexiconBuilder(int cTagElem, LexiconSettings settings)
    : cTagElem_(cTagElem), settings_(settings) {}

void LexiconBuilder::AddToken(std::string_view szForm, std::string_view szLemma,
                              std::string_view szTag) {
    auto it = mapForms_.find(szForm);
    if (it == mapForms_.end())
        it = mapForms_.emplace(std::string(szForm), decltype(it->second)()).first;
    ++it->second[{std::string(szTag), std::string(szLemma)}];
}

void LexiconBuilder::AddEntry(std::string_view szForm, std::string_view szLemma,
                              std::string_view szTag) {
    auto it = mapForms_.find(szForm);
    if (it == mapForms_.end())
        it = mapForms_.emplace(std::string(szForm), decltype(it->second)()).first;
    it->second.try_emplace({std::string(szTag), std::string(szLemma)}, 0);
}

void LexiconBuilder::AddSpelling(std::string_view szPadded, std::string_view szSpelled) {
    if (mapSpelling_.find(szPadded) == mapSpelling_.end())
        mapSpelling_.emplace(szPadded, szSpelled);
}

Lexicon LexiconBuilder::Build() const {
    Lexicon lex;
    lex.cTagElem = cTagElem_;
    lex.settings = settings_;

    std::set<std::string, std::less<>> setTags;
    for (const auto& [szForm, mapAn] : mapForms_)
        for (const auto& [key, c] : mapAn) setTags.insert(key.first);
    lex.rgszTag.assign(setTags.begin(), setTags.end());
    std::map<std::string_view, std::uint32_t> mapTag;
    for (std::size_t k = 0; k < lex.rgszTag.size(); ++k)
        mapTag.emplace(lex.rgszTag[k], static_cast<std::uint32_t>(k));

    // Per guesser key and tag: the count and the counts of its lemma rules.
    struct TagStat {
        std::uint32_t cCount = 0;
        std::map<std::uint32_t, std::uint32_t> mapRule;
    };
    std::map<std::string, std::map<std::uint32_t, TagStat>> mapKeys;
    std::map<LemmaRule, std::uint32_t> mapRule;

    lex.rgiFormFirst.reserve(mapForms_.size() + 1);
    std::string szLower;
    std::string szKey;
    for (const auto& [szForm, mapAn] : mapForms_) {
        lex.rgszForm.push_back(szForm);
        lex.rgiFormFirst.push_back(static_cast<std::uint32_t>(lex.rgAnalysis.size()));
        std::uint64_t cTotal = 0;
        for (const auto& [key, c] : mapAn) {
            lex.rgAnalysis.push_back({key.second, mapTag.at(key.first), c});
            cTotal += c;
        }
        if (cTotal == 0 || cTotal > static_cast<std::uint64_t>(settings_.cRareMax)) continue;

        szLower.clear();
        AppendLower(szForm, szLower);
        const char chShape = static_cast<char>(ShapeOf(szForm));
        const std::size_t cChars = CharCount(szLower);
        const std::size_t cLen = std::min(cChars, static_cast<std::size_t>(settings_.cSuffixMax));
        for (const auto& [key, c] : mapAn) {
            if (c == 0) continue;
            const std::uint32_t iTag = mapTag.at(key.first);
            const auto [itRule, fNew] = mapRule.try_emplace(
                RuleOf(szForm, key.second), static_cast<std::uint32_t>(mapRule.size()));
            for (std::size_t cch = 0; cch <= cLen + 1; ++cch) {
                if (cch <= cLen) {
                    szKey.assign(1, chShape);
                    szKey += LastChars(szLower, cch);
                } else {
                    szKey.assign(1, kAnyShapeKey.front());
                }
                TagStat& stat = mapKeys[szKey][iTag];
                stat.cCount += c;
                stat.mapRule[itRule->second] += c;
            }
        }
    }
    lex.rgiFormFirst.push_back(static_cast<std::uint32_t>(lex.rgAnalysis.size()));

    lex.rgRule.resize(mapRule.size());
    for (const auto& [rule, i] : mapRule) lex.rgRule[i] = rule;

    lex.rgiSuffixFirst.reserve(mapKeys.size() + 1);
    for (const auto& [szK, mapTags] : mapKeys) {
        lex.rgszSuffix.push_back(szK);
        lex.rgiSuffixFirst.push_back(static_cast<std::uint32_t>(lex.rgSuffixTag.size()));
        for (const auto& [iTag, stat] : mapTags) {
            // The rule seen most often; the first one on a tie.
            std::uint32_t iBest = 0;
            std::uint32_t cBest = 0;
            for (const auto& [iRule, c] : stat.mapRule)
                if (c > cBest) {
                    cBest = c;
                    iBest = iRule;
                }
            lex.rgSuffixTag.push_back({iTag, stat.cCount, iBest});
        }
    }
    lex.rgiSuffixFirst.push_back(static_cast<std::uint32_t>(lex.rgSuffixTag.size()));

    lex.dTheta = settings_.dTheta;
    lex.rgszLayout = rgszLayout_;
    lex.rgSpelling.assign(mapSpelling_.begin(), mapSpelling_.end());
    lex.Index();
    return lex;
}

} // namespace vexta
