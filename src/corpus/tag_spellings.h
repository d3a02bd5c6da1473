// Spellings of tags shorter than the tag length. Such a tag is padded at its
// end on reading so that every tag element has a value; on output the tag is
// written as it was spelled in the input, not with its padding stripped (the
// pad character may be a real value elsewhere). Only padded tags are kept;
// when two spellings pad to the same tag, the first one read is kept.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vexta {

// Copies szTag into szOut padded at its end with chPad to cch characters,
// zero-terminated. False when szTag is longer than cch or szOut cannot hold
// cch characters and a terminator.
bool PadTag(std::string_view szTag, std::size_t cch, char chPad, std::span<char> szOut);

class TagSpellings {
public:
    // Remembers szTag as the spelling of szPadded unless it has one already.
    void Remember(std::string_view szPadded, std::string_view szTag);

    // The spelling of a tag as read: the tag itself unless it was padded.
    std::string_view Original(std::string_view szTag) const;

    bool Empty() const { return map_.empty(); }
    // Calls f(padded, spelled) for every spelling kept, in no fixed order.
    template <typename F> void ForEach(F&& f) const {
        for (const auto& [szPadded, szSpelled] : map_) f(szPadded, szSpelled);
    }
    // Spellings only ever get added: equal sizes mean equal contents.
    std::size_t Size() const { return map_.size(); }
    void Clear() { map_.clear(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view sz) const {
            return std::hash<std::string_view>{}(sz);
        }
    };
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> map_;
};

} // namespace vexta
