// Positional tags composed from the UPOS and FEATS columns of CoNLL-U.
//
// The tag has one position for UPOS and one per feature name, each value
// (a UPOS, a feature's value, or its absence) coded as one byte. A value of
// several items ("Int,Rel") is one value; a layered feature ("Gender[psor]")
// is a feature of its own. The layout is derived from the training data:
// the features in UD's canonical order (by name, case-insensitively) unless
// a list of features chooses and orders them, and per position the values
// seen, coded in their sorted order from kUdValueCodes.
//
// Invariants: positions are 1..kTagElemMax (UPOS first); a position's codes
// are distinct and never kUdAbsent, kUdUnknown or kUdBoundary; decoding the
// encoding of a token whose values are all in the layout gives back its UPOS
// and its FEATS in canonical order.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexta {

inline constexpr char kUdAbsent = '_';   // the feature is absent
inline constexpr char kUdUnknown = '?';  // a value the layout does not know
inline constexpr char kUdBoundary = '#'; // every position of a boundary token
// Codes of the values of one position, given in the sorted order of the values.
inline constexpr std::string_view kUdValueCodes =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// The name of the first position, and the value of TagColumn.
inline constexpr std::string_view kUdUposName = "UPOS";
inline constexpr std::string_view kUdTagColumn = "UPOS+FEATS";

// Splits a FEATS column into Name=Value items and calls f(name, value) for
// each; "_" holds none. Returns an error text for a malformed column (an item
// without "=", an empty name or value, a name given twice is left to the
// caller), empty when it is well-formed.
template <typename F> std::string ForEachFeature(std::string_view szFeats, F&& f) {
    if (szFeats == "_") return {};
    std::size_t ich = 0;
    for (;;) {
        const std::size_t ichBar = szFeats.find('|', ich);
        const std::string_view szItem =
            szFeats.substr(ich, ichBar == std::string_view::npos ? szFeats.npos : ichBar - ich);
        const std::size_t ichEq = szItem.find('=');
        if (ichEq == std::string_view::npos || ichEq == 0 || ichEq + 1 == szItem.size())
            return "FEATS item \"" + std::string(szItem) + "\" is not Name=Value";
        f(szItem.substr(0, ichEq), szItem.substr(ichEq + 1));
        if (ichBar == std::string_view::npos) return {};
        ich = ichBar + 1;
    }
}

class UdLayout {
public:
    // Collects the UPOS values and the feature names and values of the
    // training words.
    class Builder {
    public:
        // Adds one word; an error text when its FEATS are malformed.
        std::string Add(std::string_view szUpos, std::string_view szFeats);
        // Makes the layout: every feature seen, or those of szChosen
        // ("Case+Number", also separated by "," or blanks) in that order.
        // An error text when there are too many positions, a chosen feature
        // was not seen, or a position has too many values.
        std::string Build(std::string_view szChosen, UdLayout& layout) const;

    private:
        std::vector<std::string> rgszUpos_;
        // Per feature name its values, both kept sorted.
        std::vector<std::pair<std::string, std::vector<std::string>>> rgFeat_;
    };

    bool Empty() const { return rgpos_.empty(); }
    int Size() const { return static_cast<int>(rgpos_.size()); }
    std::string_view Name(int t) const { return rgpos_[static_cast<std::size_t>(t)].szName; }
    // True when a list of features chose the positions; other features of
    // the data are then left out without a note.
    bool Chosen() const { return fChosen_; }
    // The features as a list for TagFeatures ("Case+Number").
    std::string FeatureList() const;

    // What encoding met that the layout has no place for.
    struct Misses {
        long cUnknownValue = 0;     // values coded kUdUnknown
        long cUnknownFeature = 0;   // feature items left out
        std::string szFirstFeature; // the first feature left out
    };

    // Writes the Size() bytes of the tag of a word into szTag. Values the
    // layout lacks become kUdUnknown; features it lacks are left out (both
    // counted in misses). An error text for malformed or repeated features.
    std::string Encode(std::string_view szUpos, std::string_view szFeats, std::span<char> szTag,
                       Misses& misses) const;

    // Calls put(text) with the pieces of the UPOS and of the FEATS column of
    // a tag ("_" when no feature is present), FEATS in canonical order.
    // kUdUnknown takes the value from the word's own columns szOwnUpos and
    // szOwnFeats. False when a byte is no code of its position.
    template <typename PutUpos, typename PutFeats>
    bool Decode(std::string_view szTag, std::string_view szOwnUpos, std::string_view szOwnFeats,
                PutUpos&& putUpos, PutFeats&& putFeats) const;

    // The layout as lines of text ("layout UPOS+FEATS 1 ..."), and back: an
    // error text when the lines hold no layout or a broken one.
    std::vector<std::string> Save() const;
    std::string Load(std::span<const std::string> rgszLine);

private:
    struct Position {
        std::string szName;
        std::vector<std::string> rgszValue; // value i has code kUdValueCodes[i]
    };
    std::string_view ValueOf(std::size_t t, char ch) const;
    int FindFeature(std::string_view szName) const;
    void Index();

    std::vector<Position> rgpos_;
    bool fChosen_ = false;
    // Feature positions by name (byte order) for encoding, and in canonical
    // order for decoding.
    std::vector<int> rgiByName_;
    std::vector<int> rgiCanonical_;
};

// Case-insensitive order of feature names, then byte order.
bool UdFeatureBefore(std::string_view sz1, std::string_view sz2);

template <typename PutUpos, typename PutFeats>
bool UdLayout::Decode(std::string_view szTag, std::string_view szOwnUpos,
                      std::string_view szOwnFeats, PutUpos&& putUpos, PutFeats&& putFeats) const {
    if (szTag.size() < rgpos_.size()) return false;
    const char chUpos = szTag[0];
    if (chUpos == kUdUnknown) {
        putUpos(szOwnUpos);
    } else {
        const std::string_view sz = ValueOf(0, chUpos);
        if (sz.empty()) return false;
        putUpos(sz);
    }
    bool fAny = false;
    for (const int t : rgiCanonical_) {
        const char ch = szTag[static_cast<std::size_t>(t)];
        if (ch == kUdAbsent) continue;
        std::string_view szValue;
        const std::string_view szName = rgpos_[static_cast<std::size_t>(t)].szName;
        if (ch == kUdUnknown) {
            ForEachFeature(szOwnFeats, [&](std::string_view szN, std::string_view szV) {
                if (szN == szName) szValue = szV;
            });
        } else {
            szValue = ValueOf(static_cast<std::size_t>(t), ch);
        }
        if (szValue.empty()) return false;
        if (fAny) putFeats("|");
        putFeats(szName);
        putFeats("=");
        putFeats(szValue);
        fAny = true;
    }
    if (!fAny) putFeats("_");
    return true;
}

} // namespace vexta
