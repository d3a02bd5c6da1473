// Deriving, storing, encoding and decoding the UPOS+FEATS tag layout.
#include "corpus/ud_layout.h"

#include <algorithm>
#include <cstdio>

#include "model/model.h"

namespace vexta {

namespace {

constexpr int kLayoutVersion = 1;
constexpr std::string_view kLineLayout = "layout";
constexpr std::string_view kLinePosition = "layout-position";
constexpr std::string_view kLineValue = "layout-value";
// Stored lines must stay within what the model file reader takes as a text.
constexpr std::size_t kLineMax = 240;

char ToLower(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

// Bytes that names and values cannot hold: they would not survive the model
// file or an argument-file value. "=" and "|" never reach here.
bool IsStorable(std::string_view sz, bool fName) {
    for (const char ch : sz) {
        const auto uch = static_cast<unsigned char>(ch);
        if (uch <= ' ' || ch == '<' || ch == '>' || ch == '&' || ch == '"' || ch == '\\' ||
            ch == '$' || uch == 0x7f)
            return false;
        if (fName && (ch == '+' || ch == ',')) return false;
    }
    return true;
}

// Inserts sz into the sorted vector unless it is there.
void InsertSorted(std::vector<std::string>& rgsz, std::string_view sz) {
    const auto it = std::lower_bound(rgsz.begin(), rgsz.end(), sz);
    if (it == rgsz.end() || *it != sz) rgsz.emplace(it, sz);
}

// Splits a list of names at "+", "," and blanks.
std::vector<std::string> SplitList(std::string_view sz) {
    std::vector<std::string> rgsz;
    std::size_t ich = 0;
    while (ich < sz.size()) {
        const std::size_t ichEnd = sz.find_first_of("+, \t", ich);
        const std::size_t ichStop = ichEnd == std::string_view::npos ? sz.size() : ichEnd;
        if (ichStop > ich) rgsz.emplace_back(sz.substr(ich, ichStop - ich));
        ich = ichStop + 1;
    }
    return rgsz;
}

std::string JoinNames(const std::vector<std::string>& rgsz, std::string_view szSep) {
    std::string sz;
    for (const std::string& szName : rgsz) {
        if (!sz.empty()) sz += szSep;
        sz += szName;
    }
    return sz;
}

} // namespace

bool UdFeatureBefore(std::string_view sz1, std::string_view sz2) {
    const std::size_t cch = std::min(sz1.size(), sz2.size());
    for (std::size_t i = 0; i < cch; ++i) {
        const char ch1 = ToLower(sz1[i]);
        const char ch2 = ToLower(sz2[i]);
        if (ch1 != ch2) return static_cast<unsigned char>(ch1) < static_cast<unsigned char>(ch2);
    }
    if (sz1.size() != sz2.size()) return sz1.size() < sz2.size();
    return sz1 < sz2;
}

std::string UdLayout::Builder::Add(std::string_view szUpos, std::string_view szFeats) {
    if (!IsStorable(szUpos, true)) return "UPOS \"" + std::string(szUpos) + "\" cannot be stored";
    InsertSorted(rgszUpos_, szUpos);
    std::string szBad;
    std::string szErr = ForEachFeature(szFeats, [&](std::string_view szName, std::string_view szV) {
        if (!IsStorable(szName, true) || !IsStorable(szV, false)) {
            if (szBad.empty()) szBad = std::string(szName) + "=" + std::string(szV);
            return;
        }
        auto it =
            std::lower_bound(rgFeat_.begin(), rgFeat_.end(), szName,
                             [](const auto& feat, std::string_view sz) { return feat.first < sz; });
        if (it == rgFeat_.end() || it->first != szName)
            it = rgFeat_.insert(it, {std::string(szName), {}});
        InsertSorted(it->second, szV);
    });
    if (szErr.empty() && !szBad.empty())
        szErr = "FEATS item \"" + szBad + "\" holds a character that cannot be stored";
    return szErr;
}

std::string UdLayout::Builder::Build(std::string_view szChosen, UdLayout& layout) const {
    layout = UdLayout();
    std::vector<std::string> rgszName;
    layout.fChosen_ = !SplitList(szChosen).empty();
    if (layout.fChosen_) {
        rgszName = SplitList(szChosen);
        for (std::size_t i = 0; i < rgszName.size(); ++i) {
            if (std::find(rgszName.begin(), rgszName.begin() + static_cast<long>(i), rgszName[i]) !=
                rgszName.begin() + static_cast<long>(i))
                return "TagFeatures names " + rgszName[i] + " twice";
        }
    } else {
        for (const auto& feat : rgFeat_) rgszName.push_back(feat.first);
        std::sort(rgszName.begin(), rgszName.end(), UdFeatureBefore);
    }
    if (static_cast<int>(rgszName.size()) + 1 > kTagElemMax) {
        return "the training data has " + std::to_string(rgszName.size()) +
               " features, more than the " + std::to_string(kTagElemMax - 1) +
               " a tag has room for besides UPOS (" + JoinNames(rgszName, ", ") +
               "); choose at most " + std::to_string(kTagElemMax - 1) + " with TagFeatures";
    }

    layout.rgpos_.push_back({std::string(kUdUposName), rgszUpos_});
    for (const std::string& szName : rgszName) {
        const auto it = std::find_if(rgFeat_.begin(), rgFeat_.end(),
                                     [&](const auto& feat) { return feat.first == szName; });
        if (it == rgFeat_.end())
            return "TagFeatures names " + szName + ", which the training data does not have";
        layout.rgpos_.push_back({szName, it->second});
    }
    for (const Position& pos : layout.rgpos_) {
        if (pos.rgszValue.size() > kUdValueCodes.size())
            return pos.szName + " has " + std::to_string(pos.rgszValue.size()) +
                   " values in the training data, more than the " +
                   std::to_string(kUdValueCodes.size()) + " a tag position can code";
        for (const std::string& szValue : pos.rgszValue)
            if (szValue.size() + pos.szName.size() + 40 > kLineMax)
                return "value " + szValue + " of " + pos.szName + " is too long to store";
    }
    layout.Index();
    return {};
}

void UdLayout::Index() {
    rgiByName_.clear();
    for (int t = 1; t < Size(); ++t) rgiByName_.push_back(t);
    rgiCanonical_ = rgiByName_;
    std::sort(rgiByName_.begin(), rgiByName_.end(),
              [&](int t1, int t2) { return Name(t1) < Name(t2); });
    std::sort(rgiCanonical_.begin(), rgiCanonical_.end(),
              [&](int t1, int t2) { return UdFeatureBefore(Name(t1), Name(t2)); });
}

std::string UdLayout::FeatureList() const {
    std::string sz;
    for (int t = 1; t < Size(); ++t) {
        if (t > 1) sz += '+';
        sz += Name(t);
    }
    return sz;
}

int UdLayout::FindFeature(std::string_view szName) const {
    const auto it = std::lower_bound(rgiByName_.begin(), rgiByName_.end(), szName,
                                     [&](int t, std::string_view sz) { return Name(t) < sz; });
    return it != rgiByName_.end() && Name(*it) == szName ? *it : -1;
}

std::string_view UdLayout::ValueOf(std::size_t t, char ch) const {
    const std::size_t i = kUdValueCodes.find(ch);
    const std::vector<std::string>& rgsz = rgpos_[t].rgszValue;
    return i < rgsz.size() ? std::string_view(rgsz[i]) : std::string_view();
}

namespace {

// The code of szValue among the sorted values, kUdUnknown when absent.
char CodeOf(const std::vector<std::string>& rgszValue, std::string_view szValue) {
    const auto it = std::lower_bound(rgszValue.begin(), rgszValue.end(), szValue);
    if (it == rgszValue.end() || *it != szValue) return kUdUnknown;
    return kUdValueCodes[static_cast<std::size_t>(it - rgszValue.begin())];
}

} // namespace

std::string UdLayout::Encode(std::string_view szUpos, std::string_view szFeats,
                             std::span<char> szTag, Misses& misses) const {
    const std::size_t cPos = rgpos_.size();
    std::fill_n(szTag.begin(), cPos, kUdAbsent);
    szTag[0] = CodeOf(rgpos_[0].rgszValue, szUpos);
    if (szTag[0] == kUdUnknown) ++misses.cUnknownValue;
    std::string_view szRepeated;
    std::string szErr =
        ForEachFeature(szFeats, [&](std::string_view szName, std::string_view szValue) {
            const int t = FindFeature(szName);
            if (t < 0) {
                if (!fChosen_) {
                    ++misses.cUnknownFeature;
                    if (misses.szFirstFeature.empty()) misses.szFirstFeature = szName;
                }
                return;
            }
            char& ch = szTag[static_cast<std::size_t>(t)];
            if (ch != kUdAbsent) szRepeated = szName;
            ch = CodeOf(rgpos_[static_cast<std::size_t>(t)].rgszValue, szValue);
            if (ch == kUdUnknown) ++misses.cUnknownValue;
        });
    if (szErr.empty() && !szRepeated.empty())
        szErr = "FEATS name feature " + std::string(szRepeated) + " twice";
    return szErr;
}

std::vector<std::string> UdLayout::Save() const {
    std::vector<std::string> rgsz;
    rgsz.push_back(std::string(kLineLayout) + " " + std::string(kUdTagColumn) + " " +
                   std::to_string(kLayoutVersion) + " " + std::to_string(Size()) +
                   (fChosen_ ? " chosen" : " all"));
    for (int t = 0; t < Size(); ++t) {
        rgsz.push_back(std::string(kLinePosition) + " " + std::to_string(t) + " " +
                       std::string(Name(t)));
        const auto& rgszValue = rgpos_[static_cast<std::size_t>(t)].rgszValue;
        for (std::size_t i = 0; i < rgszValue.size(); ++i)
            rgsz.push_back(std::string(kLineValue) + " " + std::to_string(t) + " " +
                           kUdValueCodes[i] + " " + rgszValue[i]);
    }
    return rgsz;
}

std::string UdLayout::Load(std::span<const std::string> rgszLine) {
    *this = UdLayout();
    int cPos = -1;
    for (const std::string& szLine : rgszLine) {
        // Fields are separated by one blank; values hold none.
        std::vector<std::string> rgszWord;
        std::size_t ich = 0;
        while (ich <= szLine.size()) {
            const std::size_t ichBlank = std::min(szLine.find(' ', ich), szLine.size());
            rgszWord.emplace_back(szLine.substr(ich, ichBlank - ich));
            ich = ichBlank + 1;
        }
        const std::string& szKind = rgszWord[0];
        if (szKind == kLineLayout) {
            if (rgszWord.size() != 5 || rgszWord[1] != kUdTagColumn ||
                rgszWord[2] != std::to_string(kLayoutVersion))
                return "unknown layout line \"" + szLine + "\"";
            std::sscanf(rgszWord[3].c_str(), "%d", &cPos);
            if (cPos < 1 || cPos > kTagElemMax) return "layout of " + rgszWord[3] + " positions";
            fChosen_ = rgszWord[4] == "chosen";
        } else if (szKind == kLinePosition || szKind == kLineValue) {
            if (cPos < 1) return "layout line before the layout: \"" + szLine + "\"";
            const std::size_t cWord = szKind == kLinePosition ? 3 : 4;
            int t = -1;
            if (rgszWord.size() != cWord || std::sscanf(rgszWord[1].c_str(), "%d", &t) != 1 ||
                std::to_string(t) != rgszWord[1])
                return "broken layout line \"" + szLine + "\"";
            if (szKind == kLinePosition) {
                if (t != Size() || t >= cPos)
                    return "layout position out of order: \"" + szLine + "\"";
                rgpos_.push_back({rgszWord[2], {}});
            } else {
                if (t != Size() - 1) return "layout value out of place: \"" + szLine + "\"";
                auto& rgszValue = rgpos_.back().rgszValue;
                if (rgszWord[2].size() != 1 || rgszValue.size() >= kUdValueCodes.size() ||
                    kUdValueCodes[rgszValue.size()] != rgszWord[2][0] ||
                    (!rgszValue.empty() && rgszValue.back() >= rgszWord[3]))
                    return "layout value out of order: \"" + szLine + "\"";
                rgszValue.push_back(rgszWord[3]);
            }
        }
    }
    if (cPos < 1) return "no layout";
    if (Size() != cPos || rgpos_[0].szName != kUdUposName)
        return "layout of " + std::to_string(cPos) + " positions holds " + std::to_string(Size());
    Index();
    return {};
}

} // namespace vexta
