// The string arena: copies keep their text and address while it fills, and
// a cleared arena reuses its blocks; so do the runs of the pointer arena. The
// look-up cache answers exactly what was put for a key, or nothing.
#include "base/string_arena.h"

#include "base/out_text.h"
#include "base/pointer_arena.h"
#include "base/string_lookup_cache.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <span>
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

TEST(PointerArena, RunsStayPutUntilCleared) {
    PointerArena arena;
    static const std::array<const char*, 3> rgpszValue = {"a", "b", "c"};
    for (const std::uint64_t uState : {0, 0, 1}) {
        arena.Follow(uState);
        // Runs for several blocks, each asked for with more room than it
        // keeps, one longer than a block and some empty.
        std::vector<std::span<const char* const>> rgrun;
        for (std::size_t i = 0; i < 3000; ++i) {
            const std::size_t c = i == 777 ? 20000 : i % 7;
            const char** pp = arena.Room(c + 5);
            for (std::size_t k = 0; k < c; ++k) pp[k] = rgpszValue[(i + k) % 3];
            rgrun.push_back(arena.Keep(c));
        }
        for (std::size_t i = 0; i < rgrun.size(); ++i) {
            ASSERT_EQ(rgrun[i].size(), i == 777 ? 20000u : i % 7) << i;
            for (std::size_t k = 0; k < rgrun[i].size(); ++k)
                ASSERT_EQ(rgrun[i][k], rgpszValue[(i + k) % 3]) << i << " " << k;
        }
        // A new state of what the runs point to forgets them: the first
        // block again.
        const char* const* ppFirst = rgrun.front().data();
        arena.Follow(uState + 7);
        EXPECT_EQ(arena.Room(1), ppFirst);
    }
}

TEST(StringLookupCache, AnswersOnlyForTheWholeKeyAndValidCopies) {
    StringLookupCache cache;
    const char* psz = "x";
    EXPECT_FALSE(cache.Find("NN", 0, psz));
    const char* const pszNN = "NN";
    const char* const pszCopy = "unknown";
    cache.Put("NN", pszNN, false, 0);
    cache.Put("unknown", pszCopy, true, 0);           // a copy made in state 0
    cache.Put(std::string(17, 'a'), pszNN, false, 0); // too long to be kept
    EXPECT_TRUE(cache.Find("NN", 0, psz) && psz == pszNN);
    EXPECT_TRUE(cache.Find("unknown", 0, psz) && psz == pszCopy);
    for (const std::string_view sz : {"N", "NNN", "", "unknowN"})
        EXPECT_FALSE(cache.Find(sz, 0, psz)) << sz;
    EXPECT_FALSE(cache.Find(std::string(17, 'a'), 0, psz));
    // The store of copies moved on: the table's strings stay, the copy goes
    // until a copy of the new state is put.
    EXPECT_TRUE(cache.Find("NN", 1, psz) && psz == pszNN);
    EXPECT_FALSE(cache.Find("unknown", 1, psz));
    // That the table lacks the string stays known.
    EXPECT_TRUE(cache.Lacks("unknown"));
    for (const std::string_view sz : {"NN", "unknowN", "", "N"})
        EXPECT_FALSE(cache.Lacks(sz)) << sz;
    const char* const pszCopy1 = "unknown (1)";
    cache.Put("unknown", pszCopy1, true, 1);
    EXPECT_TRUE(cache.Find("unknown", 1, psz) && psz == pszCopy1);
    // Keys of every length that differ in a single byte are told apart.
    std::vector<std::string> rgszNear{""};
    for (std::size_t cch = 1; cch <= StringLookupCache::kKeyMax; ++cch) {
        rgszNear.emplace_back(cch, 'a');
        for (std::size_t ich = 0; ich < cch; ++ich) {
            rgszNear.emplace_back(cch, 'a');
            rgszNear.back()[ich] = 'b';
        }
    }
    for (const std::string& sz : rgszNear) cache.Put(sz, sz.c_str(), false, 0);
    for (const std::string& sz : rgszNear)
        EXPECT_TRUE(cache.Find(sz, 0, psz) && psz == sz.c_str()) << sz;
    // Many keys share the slots: each answer is its own key's or none.
    std::vector<std::string> rgsz;
    for (int i = 0; i < 20000; ++i) rgsz.push_back(std::to_string(i) + "k");
    for (const std::string& sz : rgsz) cache.Put(sz, sz.c_str(), false, 0);
    int cHits = 0;
    for (const std::string& sz : rgsz)
        if (cache.Find(sz, 0, psz)) {
            ++cHits;
            EXPECT_EQ(psz, sz.c_str());
        }
    EXPECT_GT(cHits, 1000);
    cache.Clear();
    EXPECT_FALSE(cache.Find("NN", 0, psz));
}

// Text taken in pieces of every kind keeps all of it as its storage grows,
// and starts again from nothing when cleared.
TEST(OutText, KeepsItsTextAcrossGrowthAndClear) {
    OutText out;
    EXPECT_NE(out.View().data(), nullptr); // an empty text still goes to fwrite
    std::string szWant;
    for (int iRound = 0; iRound < 2; ++iRound) {
        for (std::size_t cch = 0; cch < 3000; cch += 7) {
            const std::string sz(cch, static_cast<char>('a' + cch % 26));
            out.append(sz);
            out.push_back('|');
            std::memcpy(out.Extend(3), "xyz", 3);
            szWant += sz + "|xyz";
        }
        EXPECT_EQ(out.View(), szWant) << iRound;
        out.clear();
        szWant.clear();
        EXPECT_TRUE(out.empty());
    }
}

} // namespace
} // namespace vexta
