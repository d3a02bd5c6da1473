// Padding of short tags and the spellings kept for output.
#include "corpus/tag_spellings.h"

#include <cstring>

namespace vexta {

bool PadTag(std::string_view szTag, std::size_t cch, char chPad, std::span<char> szOut) {
    if (szTag.size() > cch || szOut.size() <= cch) return false;
    std::memcpy(szOut.data(), szTag.data(), szTag.size());
    std::memset(szOut.data() + szTag.size(), chPad, cch - szTag.size());
    szOut[cch] = '\0';
    return true;
}

void TagSpellings::Remember(std::string_view szPadded, std::string_view szTag) {
    if (map_.find(szPadded) == map_.end()) map_.emplace(szPadded, szTag);
}

std::string_view TagSpellings::Original(std::string_view szTag) const {
    if (map_.empty()) return szTag;
    const auto it = map_.find(szTag);
    return it == map_.end() ? szTag : std::string_view(it->second);
}

} // namespace vexta
