// Lexicon lookup and the ending-based guesser.
#include "analyser/analyser.h"

#include <algorithm>
#include <map>

#include "analyser/text_shape.h"

namespace vexta {

std::string_view AnalysisList::LemmaOf(std::string_view szTag) const {
    for (int k = 0; k < Count(); ++k)
        if (Tag(k) == szTag) return Lemma(k);
    return {};
}

void AnalysisList::Clear() {
    rgItem_.clear();
    szLemmas_.clear();
    fKnown_ = false;
}

void AnalysisList::Add(std::string_view szTag, std::string_view szLemma, double dScore) {
    rgItem_.push_back({szTag, szLemmas_.size(), szLemma.size(), dScore, 0});
    szLemmas_.append(szLemma);
}

void AnalysisList::AddWithRule(std::string_view szTag, const LemmaRule& rule,
                               std::string_view szForm, double dScore) {
    const std::size_t ich = szLemmas_.size();
    ApplyRule(rule, szForm, szLemmas_);
    rgItem_.push_back({szTag, ich, szLemmas_.size() - ich, dScore, 0});
}

Analyser::Analyser(std::shared_ptr<const Lexicon> plex, GuessSettings guess)
    : plex_(std::move(plex)), guess_(guess) {
    if (guess_.dSyncretism > 0.0) BuildSyncretism();
}

void Analyser::BuildSyncretism() {
    const Lexicon& lex = *plex_;
    const std::size_t cTags = lex.rgszTag.size();
    // Among the forms seen often enough, how many have tag a, and how many
    // have both a and b.
    std::vector<std::uint32_t> rgcForms(cTags, 0);
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> mapPairs;
    std::vector<std::uint32_t> rgiTags;
    for (std::size_t k = 0; k + 1 < lex.rgiFormFirst.size(); ++k) {
        std::uint64_t cCount = 0;
        rgiTags.clear();
        for (std::uint32_t i = lex.rgiFormFirst[k]; i < lex.rgiFormFirst[k + 1]; ++i) {
            cCount += lex.rgAnalysis[i].cCount;
            rgiTags.push_back(lex.rgAnalysis[i].iTag);
        }
        if (cCount < static_cast<std::uint64_t>(guess_.cSyncretismSample)) continue;
        std::sort(rgiTags.begin(), rgiTags.end());
        rgiTags.erase(std::unique(rgiTags.begin(), rgiTags.end()), rgiTags.end());
        for (const std::uint32_t a : rgiTags) {
            ++rgcForms[a];
            for (const std::uint32_t b : rgiTags)
                if (b != a) ++mapPairs[{a, b}];
        }
    }
    rgrgiSyncretic_.assign(cTags, {});
    for (const auto& [ab, cBoth] : mapPairs) {
        const std::uint32_t cA = rgcForms[ab.first];
        // A tag seen on fewer than three such forms says nothing yet.
        if (cA >= 3 && static_cast<double>(cBoth) >= guess_.dSyncretism * cA)
            rgrgiSyncretic_[ab.first].push_back(ab.second);
    }
}

void Analyser::AddSyncretic(AnalysisList& out) const {
    double dTotal = 0;
    for (const AnalysisList::Item& item : out.rgItem_) dTotal += item.dScore;
    // Forms only a dictionary gives keep the analyses it gives.
    if (dTotal == 0 || dTotal > guess_.cSyncretismFormMax) return;
    const Lexicon& lex = *plex_;
    const std::size_t cOwn = out.rgItem_.size();
    for (std::size_t k = 0; k < cOwn; ++k) {
        for (const std::uint32_t iTag : rgrgiSyncretic_[out.rgItem_[k].iTag]) {
            const auto itEnd = out.rgItem_.end();
            if (std::find_if(out.rgItem_.begin(), itEnd, [&](const AnalysisList::Item& item) {
                    return item.iTag == iTag;
                }) != itEnd)
                continue;
            // The form's own lemma for the tag it shares the form with.
            const AnalysisList::Item& itemFrom = out.rgItem_[k];
            out.rgItem_.push_back(
                {lex.rgszTag[iTag], itemFrom.ichLemma, itemFrom.cchLemma, 0.0, 0, iTag});
        }
    }
}

void Analyser::AddKnown(long iForm, AnalysisList& out) const {
    const Lexicon& lex = *plex_;
    const auto k = static_cast<std::size_t>(iForm);
    for (std::uint32_t i = lex.rgiFormFirst[k]; i < lex.rgiFormFirst[k + 1]; ++i) {
        const LexAnalysis& an = lex.rgAnalysis[i];
        const std::string_view szTag = lex.rgszTag[an.iTag];
        // One candidate per tag: counts add up, the lemma seen most often
        // stays (the first one on a tie).
        auto it = std::find_if(out.rgItem_.begin(), out.rgItem_.end(),
                               [&](const AnalysisList::Item& item) { return item.szTag == szTag; });
        if (it == out.rgItem_.end()) {
            out.Add(szTag, an.szLemma, an.cCount);
            out.rgItem_.back().cLemmaCount = an.cCount;
            out.rgItem_.back().iTag = an.iTag;
            continue;
        }
        // The tag is there already (another lemma, or the other spelling):
        // its lemma changes when this one was seen more often.
        if (an.cCount > it->cLemmaCount) {
            it->ichLemma = out.szLemmas_.size();
            it->cchLemma = an.szLemma.size();
            it->cLemmaCount = an.cCount;
            out.szLemmas_.append(an.szLemma);
        }
        it->dScore += an.cCount;
    }
}

void Analyser::Analyse(std::string_view szForm, AnalysisList& out) const {
    out.Clear();
    const Lexicon& lex = *plex_;
    out.szLower_.clear();
    const bool fCapitals = AppendLower(szForm, out.szLower_);
    const long iForm = lex.FindForm(szForm);
    const long iLower = fCapitals ? lex.FindForm(out.szLower_) : -1;
    if (iForm >= 0 || iLower >= 0) {
        out.fKnown_ = true;
        if (iForm >= 0) AddKnown(iForm, out);
        if (iLower >= 0) AddKnown(iLower, out);
        if (!rgrgiSyncretic_.empty()) AddSyncretic(out);
        std::sort(out.rgItem_.begin(), out.rgItem_.end(),
                  [](const AnalysisList::Item& a, const AnalysisList::Item& b) {
                      if (a.dScore != b.dScore) return a.dScore > b.dScore;
                      return a.szTag < b.szTag;
                  });
        return;
    }
    AddGuessed(szForm, out);
}

void Analyser::AddGuessed(std::string_view szForm, AnalysisList& out) const {
    const Lexicon& lex = *plex_;
    // The keys of the form's endings that the lexicon holds, shortest first.
    std::vector<long>& rgiChain = out.rgiChain_;
    rgiChain.clear();
    std::string& szKey = out.szKey_;
    szKey.assign(1, static_cast<char>(ShapeOf(szForm)));
    long iKey = lex.FindSuffix(szKey);
    if (iKey < 0) {
        iKey = lex.FindSuffix(kAnyShapeKey);
        if (iKey < 0) return;
        rgiChain.push_back(iKey);
    } else {
        rgiChain.push_back(iKey);
        const std::size_t cChars = CharCount(out.szLower_);
        const std::size_t cLen =
            std::min(cChars, static_cast<std::size_t>(lex.settings.cSuffixMax));
        for (std::size_t cch = 1; cch <= cLen; ++cch) {
            szKey.resize(1);
            szKey += LastChars(out.szLower_, cch);
            iKey = lex.FindSuffix(szKey);
            if (iKey < 0) break;
            rgiChain.push_back(iKey);
        }
    }

    // P_0 is the distribution of the empty ending; every longer ending
    // blends in as P_i = (f_i + theta * P_(i-1)) / (1 + theta), which sums
    // to P = w_0 f_0 + w_1 f_1 + ... with w_0 = q^n, w_i = (1 - q) q^(n - i)
    // and q = theta / (1 + theta). The tags of longer endings are among
    // those of the empty one.
    std::vector<double>& rgdProb = out.rgdProb_;
    if (rgdProb.size() < lex.rgszTag.size()) rgdProb.assign(lex.rgszTag.size(), 0.0);
    std::vector<std::uint32_t>& rgiSupport = out.rgiSupport_;
    rgiSupport.clear();
    const auto Range = [&](long iK) {
        const auto k = static_cast<std::size_t>(iK);
        return std::pair{lex.rgiSuffixFirst[k], lex.rgiSuffixFirst[k + 1]};
    };
    const double q = lex.dTheta / (1 + lex.dTheta);
    const std::size_t cLevels = rgiChain.size();
    double dWeight = 1.0; // q^(n - i), from the longest ending down
    for (std::size_t level = cLevels; level-- > 0;) {
        const double w = level == 0 ? dWeight : (1 - q) * dWeight;
        dWeight *= q;
        const auto [iFirst, iEnd] = Range(rgiChain[level]);
        const double dScale =
            w / static_cast<double>(lex.rgcSuffixTotal[static_cast<std::size_t>(rgiChain[level])]);
        for (std::uint32_t i = iFirst; i < iEnd; ++i) {
            if (level == 0) rgiSupport.push_back(lex.rgSuffixTag[i].iTag);
            rgdProb[lex.rgSuffixTag[i].iTag] += lex.rgSuffixTag[i].cCount * dScale;
        }
    }

    // The most probable tags (by tag order on a tie) up to the mass or the
    // maximum.
    const std::size_t cTake =
        std::min(rgiSupport.size(), static_cast<std::size_t>(std::max(guess_.cMax, 1)));
    std::partial_sort(rgiSupport.begin(), rgiSupport.begin() + static_cast<long>(cTake),
                      rgiSupport.end(), [&](std::uint32_t a, std::uint32_t b) {
                          if (rgdProb[a] != rgdProb[b]) return rgdProb[a] > rgdProb[b];
                          return a < b;
                      });
    double dMass = 0;
    for (std::size_t k = 0; k < cTake && (k == 0 || dMass < guess_.dMass); ++k) {
        const std::uint32_t iTag = rgiSupport[k];
        dMass += rgdProb[iTag];
        // The lemma rule of the longest ending that saw this tag.
        const LemmaRule* prule = nullptr;
        for (std::size_t level = cLevels; level-- > 0 && !prule;) {
            const auto [iFirst, iEnd] = Range(rgiChain[level]);
            const auto itEnd = lex.rgSuffixTag.begin() + iEnd;
            const auto it =
                std::lower_bound(lex.rgSuffixTag.begin() + iFirst, itEnd, iTag,
                                 [](const SuffixTag& st, std::uint32_t i) { return st.iTag < i; });
            if (it != itEnd && it->iTag == iTag) prule = &lex.rgRule[it->iRule];
        }
        static const LemmaRule ruleSame;
        out.AddWithRule(lex.rgszTag[iTag], prule ? *prule : ruleSame, szForm, rgdProb[iTag]);
    }
    for (const std::uint32_t iTag : rgiSupport) rgdProb[iTag] = 0.0;
}

} // namespace vexta
