// Short texts copied and compared without a call: every length up to past
// the longest copied in pieces, and a difference at every position.
#include "base/short_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vexta {
namespace {

TEST(ShortText, CopiesExactlyAndComparesEveryCharacter) {
    for (std::size_t cch = 0; cch <= 40; ++cch) {
        std::string szFrom;
        for (std::size_t k = 0; k < cch; ++k) szFrom += static_cast<char>('a' + k % 26);
        std::string szTo(cch + 2, '#');
        EXPECT_EQ(CopyShort(szTo.data() + 1, szFrom.data(), cch), szTo.data() + 1 + cch);
        EXPECT_EQ(szTo, "#" + szFrom + "#") << cch;

        // A copy, so that the texts compared lie apart.
        const std::string szSame = szFrom;
        for (const auto Same : {SameShort, SameText}) {
            EXPECT_TRUE(Same(szFrom, szSame)) << cch;
            EXPECT_FALSE(Same(szFrom, szFrom + "x"));
            for (std::size_t k = 0; k < cch; ++k) {
                std::string sz = szFrom;
                sz[k] = '-';
                EXPECT_FALSE(Same(szFrom, sz)) << cch << " " << k;
            }
        }
    }
}

} // namespace
} // namespace vexta
