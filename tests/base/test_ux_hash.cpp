// Hash table: hash code, sizes, chains, counting, interning, iteration with
// truncation, the 80% warning, text dump and reading.
#include "base/ux_hash.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "test_util.h"

namespace vexta {
namespace {

struct Entry {
    std::string szKey;
    long lPayload;
    std::string szValue;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << '(' << e.szKey << ", " << e.lPayload << ", " << e.szValue << ')';
}

std::vector<Entry> AllEntries(HashTable* ph) {
    std::vector<Entry> rg;
    const char* pszKey;
    const char* pszValue;
    long lPayload;
    for (int rc = ux_HashFirstDataPtr(ph, &pszKey, &pszValue, &lPayload); rc != -1;
         rc = ux_HashNextDataPtr(ph, &pszKey, &pszValue, &lPayload))
        rg.push_back({pszKey, lPayload, pszValue});
    return rg;
}

// "w<i>" (built so that g++ 12 sees no overlapping copy).
std::string Word(int i, char chFirst = 'w') {
    std::string sz(1, chFirst);
    sz += std::to_string(i);
    return sz;
}

TEST(Hash, Sizes) {
    auto ph = ux_HashNew(200000, 400000, 4000);
    ASSERT_TRUE(ph);
    EXPECT_EQ(ph->cWarn, 163840);
    EXPECT_EQ(ph->cPages, 13);
    EXPECT_EQ(ux_HashStatText(ph.get()), "tab 204800, full 0, recs 0, sz 8");
    auto ph2 = ux_HashNew(2, 0, 70000);
    EXPECT_EQ(ph2->cBuckets * 10 + ph2->cPages, 81921);
    EXPECT_FALSE(ux_HashNew(16384L * 8192 + 1, 10, 10)); // too many bucket pages
    EXPECT_FALSE(ux_HashNew(10, 16384L * 32768, 10));    // too many entry pages
    EXPECT_EQ(ux_HashFree(&ph), 0);
    EXPECT_FALSE(ph);
}

// Bucket pages take memory once an entry lands in them: a table asked for
// the most buckets a table may have costs little while it holds a few keys.
TEST(Hash, BucketPagesTakeMemoryWhenFirstWritten) {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const long kbBefore = ru.ru_maxrss;
    auto ph = ux_HashNew(16383L * 8192 - 1, 10, 10);
    ASSERT_TRUE(ph);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(ux_HashAdd(ph.get(), Word(i), i, ""), 0);
    for (int i = 0; i < 2000; ++i) {
        long lPayload = -1;
        EXPECT_TRUE(ux_HashFindConst(ph.get(), Word(i), nullptr, &lPayload));
        EXPECT_EQ(lPayload, i);
    }
    EXPECT_FALSE(ux_HashFindConst(ph.get(), "absent", nullptr, nullptr));
    EXPECT_EQ(AllEntries(ph.get()).size(), 2000u);
    getrusage(RUSAGE_SELF, &ru);
    EXPECT_LT(ru.ru_maxrss - kbBefore, 128L * 1024) << "kB more at the peak";
}

TEST(Hash, SearchFindsRepeatedKeysNewestFirst) {
    auto ph = ux_HashNew(100, 1000, 100);
    ux_HashAdd(ph.get(), "k", 1, "first");
    ux_HashAdd(ph.get(), "other", 7, "x");
    ux_HashAdd(ph.get(), "k", 2, "second");
    long lPayload = 0;
    int fFound = -1;
    // The search key is the table's own copy: the caller's buffer may change.
    std::string szKey = "k";
    const char* pszKey;
    const char* pszValue;
    ux_HashFindFirstPtr(ph.get(), szKey, &pszKey, &pszValue, &lPayload, &fFound);
    EXPECT_EQ(std::string(pszValue) + std::to_string(lPayload) + std::to_string(fFound),
              "second21");
    szKey = "other";
    EXPECT_EQ(ux_HashGetNextPtr(ph.get(), &pszKey, &pszValue, &lPayload, &fFound), 0);
    EXPECT_EQ(std::string(pszKey) + pszValue, "kfirst");
    EXPECT_EQ(ux_HashGetNextPtr(ph.get(), &pszKey, &pszValue, &lPayload, &fFound), 1);
    EXPECT_EQ(ux_HashFindFirstPtr(ph.get(), "missing", &pszKey, &pszValue, &lPayload, &fFound), 1);
}

TEST(Hash, EntrySizeLimitAndPages) {
    auto ph = ux_HashNew(2, 1, 100);
    ASSERT_EQ(ph->cPages, 1);
    ux_HashAdd(ph.get(), "a", 0, "");
    EXPECT_EQ(ux_HashStatText(ph.get()), "tab 8192, full 1, recs 1, sz 19");
    // need = key + value + 11 bytes; 32768 is the most that can be added.
    const std::string szKey(100, 'k');
    EXPECT_EQ(ux_HashAdd(ph.get(), szKey, 0, std::string(32768 - 100 - 10, 'v')), 1);
    EXPECT_EQ(ph->cRecs, 1);
    const std::string szValue(32768 - 100 - 11, 'v');
    EXPECT_EQ(ux_HashAdd(ph.get(), szKey, 9, szValue), 0);
    // It does not fit behind "a", so it starts page 1; nothing before it moved.
    EXPECT_EQ(ph->cPages, 2);
    EXPECT_EQ(ph->lNextRef, 32768 + 32767);
    const char* pszValue;
    long lPayload;
    int fFound;
    ux_HashFindFirstPtr(ph.get(), szKey, nullptr, &pszValue, &lPayload, &fFound);
    EXPECT_EQ(pszValue, szValue);
    EXPECT_EQ(lPayload, 9);
    ux_HashAdd(ph.get(), "b", 0, "c"); // to a third page
    EXPECT_EQ(ph->lNextRef, 2 * 32768 + 12);
}

TEST(Hash, EightyPercentWarningOnce) {
    auto ph = ux_HashNew(2, 200000, 100);
    ASSERT_EQ(ph->cWarn, 6554);
    for (int i = 0; i < 6553; ++i) ux_HashAdd(ph.get(), Word(i, 'k'), 0, "");
    const int lNextRefBefore = ph->lNextRef;
    const std::string szErr = test::Stderr([&] { ux_HashAdd(ph.get(), "last", 0, "v"); });
    // The warning comes before the entry is stored: the size is still the old one.
    EXPECT_EQ(szErr, "ux_hash: Warn(17034): Hash table over 80% full; inserting key last\n"
                     "ux_hash: Warn(17035): #: tab 8192, full " +
                         std::to_string(ph->cFull) + ", recs 6554, sz " +
                         std::to_string(lNextRefBefore) + "\n");
    EXPECT_EQ(test::Stderr([&] {
                  for (int i = 0; i < 3000; ++i) ux_HashAdd(ph.get(), "more", 0, "");
              }),
              "");
}

TEST(Hash, IncrCountsPairsAndLongValuesNeverMatch) {
    auto ph = ux_HashNew(2, 100, 100);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ux_HashIncr(ph.get(), "key", 0, "a"), 0);
    ux_HashIncr(ph.get(), "key", 0, "b");
    ux_HashIncr(ph.get(), "key", 10, "c"); // a new pair starts at base + 1
    EXPECT_EQ(AllEntries(ph.get()),
              (std::vector<Entry>{{"key", 11, "c"}, {"key", 1, "b"}, {"key", 3, "a"}}));

    ph = ux_HashNew(2, 100, 100);
    const std::string sz247(247, 'y'), sz248(248, 'y'), szLong(300, 'y');
    for (const std::string* psz : {&sz247, &sz247, &sz248, &sz248, &szLong})
        ux_HashIncr(ph.get(), "k", 0, *psz);
    // A 247-character value does not match a longer stored one with the same start.
    ux_HashIncr(ph.get(), "k", 0, sz247);
    EXPECT_EQ(
        AllEntries(ph.get()),
        (std::vector<Entry>{{"k", 1, szLong}, {"k", 1, sz248}, {"k", 1, sz248}, {"k", 3, sz247}}));
}

TEST(Hash, PartsCountedInAddedOrderMakeTheSameTable) {
    // Pairs with repeats and shared keys, counted at once and in three parts.
    std::vector<std::pair<std::string, std::string>> rgPair;
    for (int i = 0; i < 3000; ++i) rgPair.emplace_back(Word(i * 7 % 1000), i % 3 == 0 ? "y" : "");
    auto phOne = ux_HashNew(2, 100, 100);
    for (const auto& [szKey, szValue] : rgPair) ux_HashIncr(phOne.get(), szKey, 0, szValue);

    auto phMerged = ux_HashNew(2, 100, 100);
    for (std::size_t iFrom = 0; iFrom < rgPair.size(); iFrom += 1000) {
        auto phPart = ux_HashNew(2, 100, 100);
        phPart->fKeepOrder = true;
        for (std::size_t i = iFrom; i < iFrom + 1000; ++i)
            ux_HashIncr(phPart.get(), rgPair[i].first, 0, rgPair[i].second);
        EXPECT_EQ(phPart->rglRefAdded.size(), static_cast<std::size_t>(phPart->cRecs));
        for (const std::uint32_t lRef : phPart->rglRefAdded) {
            const char* pszKey = nullptr;
            const char* pszValue = nullptr;
            const long lCount = ux_HashEntryAt(phPart.get(), lRef, &pszKey, &pszValue);
            ux_HashIncrBy(phMerged.get(), pszKey, lCount, pszValue);
        }
    }
    EXPECT_EQ(AllEntries(phMerged.get()), AllEntries(phOne.get()));
    EXPECT_EQ(ux_HashStatText(phMerged.get()), ux_HashStatText(phOne.get()));
    // w7 is counted at pairs 1, 1001 (value "") and 2001 (value "y").
    EXPECT_TRUE(ux_HashHasPair(phOne.get(), "w7", "y"));
    EXPECT_FALSE(ux_HashHasPair(phOne.get(), "w7", "z"));
    long lPayload = 0;
    const char* pszValue = nullptr;
    ASSERT_TRUE(ux_HashFindConst(phOne.get(), "w7", &pszValue, &lPayload));
    EXPECT_STREQ(pszValue, "y"); // the newest entry of the key
    EXPECT_EQ(lPayload, 1);
    EXPECT_FALSE(ux_HashFindConst(phOne.get(), "w1000", &pszValue, &lPayload));
}

TEST(Hash, CodesAndBatchedCounting) {
    // The codes place keys in buckets, and so fix the order of the feature
    // pool: they must never change.
    const std::vector<std::pair<std::string, std::int32_t>> rgCode{
        {"", 0},
        {"a", 406847488},
        {"ab", 406860032},
        {"00 NV 03__000000_", 340582280},
        {"0e AN 02__ff0a02__AN_0001_", 1472792418},
        {"\xff\xfe\x80zz", 1104122832}};
    for (const auto& [szKey, lCode] : rgCode) EXPECT_EQ(uxp_HashCode(szKey), lCode) << szKey;

    // Pairs counted one by one, and held in a batch flushed now and then:
    // the same table, entries and their order, long values included.
    const std::string szLong(250, 'v');
    auto phOne = ux_HashNew(20000, 100, 100);
    auto phBatch = ux_HashNew(20000, 100, 100);
    HashIncrBatch batch(phBatch.get());
    for (int i = 0; i < 5000; ++i) {
        const std::string szKey = Word(i * 7 % 1500);
        const std::string& szValue = i % 5 == 0 ? szLong : i % 3 == 0 ? "y" : "";
        ux_HashIncr(phOne.get(), szKey, 0, szValue);
        batch.Add(szKey, szValue);
        if (i % 700 == 0) batch.Flush();
    }
    batch.Flush();
    EXPECT_EQ(AllEntries(phBatch.get()), AllEntries(phOne.get()));
    EXPECT_EQ(ux_HashStatText(phBatch.get()), ux_HashStatText(phOne.get()));
    batch.Add("w3", "y", 10); // counted by 10, as ux_HashIncrBy
    batch.Flush();
    ux_HashIncrBy(phOne.get(), "w3", 10, "y");
    EXPECT_EQ(AllEntries(phBatch.get()), AllEntries(phOne.get()));
}

TEST(Hash, MemberPtrInternsStablePointers) {
    auto ph = ux_HashNew(30000, 10, 100);
    const char* pszFirst = nullptr;
    const char* pszEmpty = nullptr;
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "word", &pszFirst), -1);
    EXPECT_STREQ(pszFirst, "word");
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "", &pszEmpty), -1);
    // Fill many pages; earlier pointers stay valid and interning gives them back.
    std::vector<const char*> rgpsz(20000);
    for (int i = 0; i < 20000; ++i) EXPECT_EQ(ux_HashMemberPtr(ph.get(), Word(i), &rgpsz[i]), -1);
    EXPECT_GT(ph->cPages, 5);
    const char* psz;
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "word", &psz), 0);
    EXPECT_EQ(psz, pszFirst);
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "", &psz), 0);
    EXPECT_EQ(psz, pszEmpty);
    for (int i = 0; i < 20000; i += 997) {
        EXPECT_EQ(ux_HashMemberPtr(ph.get(), Word(i), &psz), 0);
        EXPECT_EQ(psz, rgpsz[i]);
    }
    // A prefix of a stored key, or a key with it as a prefix, is different.
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "wor", &psz), -1);
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "words", &psz), -1);
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), std::string(40000, 'x'), &psz), 201);
    EXPECT_EQ(psz, nullptr);
}

TEST(Hash, IterationInBucketOrderNewestFirst) {
    auto ph = ux_HashNew(3, 100, 100);
    // "ay" and "da" share bucket 71; the others each have their own bucket.
    for (const char* psz : {"the", "ay", "of", "and", "a", "", "da", "NN", "VB", "ay"})
        ux_HashAdd(ph.get(), psz, 0, "");
    std::vector<std::string> rgKeys;
    for (const Entry& e : AllEntries(ph.get())) rgKeys.push_back(e.szKey);
    EXPECT_EQ(rgKeys, (std::vector<std::string>{"", "ay", "da", "ay", "a", "the", "VB", "of", "NN",
                                                "and"}));
}

TEST(Hash, FileRead) {
    test::TempDir dir;
    // "value/payload" of the newest entry with the key.
    const auto Find = [](const std::unique_ptr<HashTable>& ph, const char* pszKey) {
        char szValue[248] = "";
        long lPayload = -1;
        int fFound;
        ux_HashFindFirst(ph.get(), pszKey, szValue, &lPayload, &fFound);
        return std::string(szValue) + "/" + std::to_string(lPayload);
    };
    // A single word gets its line number; swapped, key and value change places.
    std::unique_ptr<HashTable> ph, phSwap;
    dir.Write("in", "NNMS1  N-sg-nom\r\n\n  VB\tV  2 \n   \nlonely\nAA x");
    ASSERT_EQ(ux_HashFileIn(&ph, dir.Path("in"), 0), 0);
    ASSERT_EQ(ux_HashFileIn(&phSwap, dir.Path("in"), 1), 0);
    EXPECT_EQ(ph->cBuckets, 8192); // 120 requested for fewer than 100 lines
    EXPECT_EQ(ph->cRecs + phSwap->cRecs, 8);
    for (const auto& [pszKey, szFound, pszSwapKey] : {std::tuple{"NNMS1", "N-sg-nom/0", "N-sg-nom"},
                                                      {"VB", "V  2 /0", "V  2 "},
                                                      {"lonely", "4/0", "4"},
                                                      {"AA", "x/0", "x"}}) {
        EXPECT_EQ(Find(ph, pszKey), szFound);
        EXPECT_EQ(Find(phSwap, pszSwapKey), std::string(pszKey) + "/0");
    }
}

TEST(HashFatal, FatalErrors) {
    test::TempDir dir;
    EXPECT_FATAL(ux_HashNew(1, 100, 100), 17701,
                 "^ux_hash: Fatal\\(17701\\): undefined error/Too small table size in New\n$");
    auto ph = ux_HashNew(2, 100, 100);
    EXPECT_FATAL(ux_HashIncr(ph.get(), "big", 0, std::string(40000, 'v')), 17713,
                 "^ux_hash: Fatal\\(17713\\): undefined error/big\n$");
    std::unique_ptr<HashTable> phIn;
    EXPECT_FATAL(ux_HashFileIn(&phIn, dir.Path("missing"), 0), 13010,
                 "\nux_base: Fatal\\(13010\\): Cannot open input file: " + dir.Path("missing") +
                     "\n$");
    dir.Write("long", "k " + std::string(40000, 'v') + "\n"); // too long to be an entry
    EXPECT_FATAL(ux_HashFileIn(&phIn, dir.Path("long"), 0), 17702,
                 "^ux_hash: Fatal\\(17702\\): undefined error/k\n$");
}

} // namespace
} // namespace vexta
