// The string arena: copies keep their text and address while it fills, and
// a cleared arena reuses its blocks.
#include "base/string_arena.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace vexta {
namespace {

TEST(StringArena, CopiesStayPutUntilCleared) {
    StringArena arena;
    for (int iRound = 0; iRound < 2; ++iRound) {
        // Enough short strings for several blocks, a long one among them, and
        // the empty string.
        std::vector<std::pair<const char*, std::string>> rgCopy;
        for (int i = 0; i < 30000; ++i) {
            std::string sz = "w";
            sz += std::to_string(i);
            if (i == 777) sz.assign(200000, 'L');
            if (i == 5) sz.clear();
            rgCopy.emplace_back(arena.Add(sz), sz);
        }
        for (const auto& [psz, sz] : rgCopy) ASSERT_EQ(psz, sz) << sz.size();
        const char* pszFirst = rgCopy.front().first;
        arena.Clear();
        EXPECT_EQ(arena.Add("again"), pszFirst); // the first block again
        arena.Clear();
    }
}

} // namespace
} // namespace vexta
