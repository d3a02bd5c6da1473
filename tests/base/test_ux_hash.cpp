// Hash table: hash code, bucket order, chains, counting, interning,
// iteration with truncation, the 80% warning, text dump and reading.
#include "base/ux_hash.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vexta {
namespace {

namespace fs = std::filesystem;

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

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Scratch directory, same name in a death-test child (see test_ux_base.cpp).
class TempDir {
public:
    TempDir() {
        const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        const int idOwner = testing::internal::InDeathTestChild() ? getppid() : getpid();
        path_ = fs::temp_directory_path() /
                ("vexta_hash_" + std::string(pInfo->name()) + "_" + std::to_string(idOwner));
        fs::create_directories(path_);
    }
    ~TempDir() {
        if (!testing::internal::InDeathTestChild()) fs::remove_all(path_);
    }
    fs::path operator/(const char* psz) const { return path_ / psz; }

private:
    fs::path path_;
};

TEST(HashCode, KnownValues) {
    EXPECT_EQ(uxp_HashCode(""), 0);
    EXPECT_EQ(uxp_HashCode("a"), 97 << 22);
    EXPECT_EQ(uxp_HashCode("ab"), 97 * (1 << 22) + 98 * (1 << 7));
    EXPECT_EQ(uxp_HashCode("abc"), 419836160);
    // 0xF2 lands on shift 23 and the sum wraps negative; 1 is then added.
    EXPECT_EQ(uxp_HashCode("a\xF2"), -1858076671);
}

TEST(HashNew, SizesAreRoundedToPages) {
    auto ph = ux_HashNew(200000, 400000, 4000);
    ASSERT_TRUE(ph);
    EXPECT_EQ(ph->cBuckets, 204800);
    EXPECT_EQ(ph->cBucketPages, 25);
    EXPECT_EQ(ph->cWarn, 163840);
    EXPECT_EQ(ph->cPages, 13);
    EXPECT_EQ(ph->lNextRef, 8);
    EXPECT_EQ(ux_HashStatText(ph.get()), "tab 204800, full 0, recs 0, sz 8");

    auto ph2 = ux_HashNew(2, 0, 70000);
    ASSERT_TRUE(ph2);
    EXPECT_EQ(ph2->cBuckets, 8192);
    EXPECT_EQ(ph2->cPages, 1);
    EXPECT_EQ(ph2->cbWork, 70000 - 65536);

    EXPECT_FALSE(ux_HashNew(16384L * 8192 + 1, 10, 10)); // too many bucket pages
    EXPECT_FALSE(ux_HashNew(10, 16384L * 32768, 10));    // too many entry pages

    EXPECT_EQ(ux_HashFree(&ph), 0);
    EXPECT_FALSE(ph);
}

TEST(HashNewDeathTest, FewerThanTwoBucketsIsFatal) {
    EXPECT_EXIT(ux_HashNew(1, 100, 100), testing::ExitedWithCode(17701 & 255),
                "^ux_hash: Fatal\\(17701\\): undefined error/Too small table size in New\n$");
}

TEST(HashSearch, RepeatedKeysAreFoundNewestFirst) {
    auto ph = ux_HashNew(100, 1000, 100);
    ux_HashAdd(ph.get(), "k", 1, "first");
    ux_HashAdd(ph.get(), "other", 7, "x");
    ux_HashAdd(ph.get(), "k", 2, "second");
    char szValue[32];
    long lPayload = 0;
    int fFound = -1;
    EXPECT_EQ(ux_HashFindFirst(ph.get(), "k", szValue, &lPayload, &fFound), 0);
    EXPECT_EQ(fFound, 1);
    EXPECT_STREQ(szValue, "second");
    EXPECT_EQ(lPayload, 2);
    EXPECT_EQ(ux_HashGetNext(ph.get(), szValue, &lPayload, &fFound), 0);
    EXPECT_STREQ(szValue, "first");
    EXPECT_EQ(lPayload, 1);
    EXPECT_EQ(ux_HashGetNext(ph.get(), szValue, &lPayload, &fFound), 1);
    EXPECT_EQ(fFound, 0);
    EXPECT_EQ(ux_HashGetNext(ph.get(), szValue, &lPayload, &fFound), 1);

    EXPECT_EQ(ux_HashFindFirst(ph.get(), "missing", szValue, &lPayload, &fFound), 1);
    EXPECT_EQ(fFound, 0);
    EXPECT_EQ(ux_HashFindFirst(ph.get(), "", szValue, &lPayload, &fFound), 1);

    // A value longer than the buffer comes back cut to size - 1 characters.
    char szSmall[4];
    EXPECT_EQ(ux_HashFindFirst(ph.get(), "k", szSmall, nullptr, &fFound), 0);
    EXPECT_STREQ(szSmall, "sec");

    // The search key is the table's own copy: the caller's buffer may change.
    std::string szKey = "k";
    const char* pszKey;
    const char* pszValue;
    EXPECT_EQ(ux_HashFindFirstPtr(ph.get(), szKey, &pszKey, &pszValue, &lPayload, &fFound), 0);
    szKey = "other";
    EXPECT_EQ(ux_HashGetNextPtr(ph.get(), &pszKey, &pszValue, &lPayload, &fFound), 0);
    EXPECT_STREQ(pszKey, "k");
    EXPECT_STREQ(pszValue, "first");

    // ReplacePat changes the entry last found.
    EXPECT_EQ(ux_HashReplacePat(ph.get(), 42), 0);
    EXPECT_EQ(ux_HashFindFirst(ph.get(), "k", szValue, &lPayload, &fFound), 0);
    EXPECT_EQ(ux_HashGetNext(ph.get(), szValue, &lPayload, &fFound), 0);
    EXPECT_EQ(lPayload, 42);
    EXPECT_EQ(ux_HashReplacePat(ph.get(), -3), 0);
    EXPECT_EQ(ux_HashFindFirstPtr(ph.get(), "k", nullptr, nullptr, &lPayload, &fFound), 0);
    EXPECT_EQ(ux_HashGetNextPtr(ph.get(), nullptr, nullptr, &lPayload, &fFound), 0);
    EXPECT_EQ(lPayload, -3);
}

TEST(HashSearch, EmptyKeyLivesInBucketZero) {
    auto ph = ux_HashNew(2, 100, 100);
    ux_HashAdd(ph.get(), "zz", 0, "");
    ux_HashAdd(ph.get(), "", 5, "empty");
    const auto rg = AllEntries(ph.get());
    ASSERT_EQ(rg.size(), 2u);
    EXPECT_EQ(rg[0], (Entry{"", 5, "empty"}));
    EXPECT_EQ(ph->rgpBucketPage[0][0], 8u + 2 + 0 + 10); // the second entry
}

TEST(HashAdd, EntrySizeLimitAndPages) {
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
    const char* pszKey;
    const char* pszValue;
    long lPayload;
    int fFound;
    EXPECT_EQ(ux_HashFindFirstPtr(ph.get(), szKey, &pszKey, &pszValue, &lPayload, &fFound), 0);
    EXPECT_EQ(pszValue, szValue);
    EXPECT_EQ(lPayload, 9);
    // The next entry goes to a third page.
    ux_HashAdd(ph.get(), "b", 0, "c");
    EXPECT_EQ(ph->cPages, 3);
    EXPECT_EQ(ph->lNextRef, 2 * 32768 + 12);
}

TEST(HashAdd, EightyPercentWarningOnce) {
    auto ph = ux_HashNew(2, 200000, 100);
    ASSERT_EQ(ph->cWarn, 6554);
    char szKey[16];
    for (int i = 0; i < 6553; ++i) {
        std::snprintf(szKey, sizeof szKey, "k%d", i);
        ux_HashAdd(ph.get(), szKey, 0, "");
    }
    const int lNextRefBefore = ph->lNextRef;
    testing::internal::CaptureStderr();
    ux_HashAdd(ph.get(), "last", 0, "v");
    // The warning comes before the entry is stored: the size is still the old one.
    const std::string szStat = "tab 8192, full " + std::to_string(ph->cFull) + ", recs 6554, sz " +
                               std::to_string(lNextRefBefore);
    for (int i = 0; i < 3000; ++i) ux_HashAdd(ph.get(), "more", 0, "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ux_hash: Warn(17034): Hash table over 80% full; inserting key last\n"
              "ux_hash: Warn(17035): #: " +
                  szStat + "\n");
    EXPECT_EQ(ph->cRecs, 9554);
}

TEST(HashIncr, CountsPairs) {
    auto ph = ux_HashNew(2, 100, 100);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ux_HashIncr(ph.get(), "key", 0, "a"), 0);
    EXPECT_EQ(ux_HashIncr(ph.get(), "key", 0, "b"), 0);
    EXPECT_EQ(ux_HashIncr(ph.get(), "key", 10, "c"), 0); // a new pair starts at base + 1
    EXPECT_EQ(AllEntries(ph.get()),
              (std::vector<Entry>{{"key", 11, "c"}, {"key", 1, "b"}, {"key", 3, "a"}}));
}

TEST(HashIncr, LongValuesNeverMatch) {
    auto ph = ux_HashNew(2, 100, 100);
    const std::string szLong(300, 'x');
    ux_HashIncr(ph.get(), "key", 0, szLong);
    ux_HashIncr(ph.get(), "key", 0, szLong);
    const std::string sz247(247, 'y'), sz248(248, 'y');
    ux_HashIncr(ph.get(), "k2", 0, sz247);
    ux_HashIncr(ph.get(), "k2", 0, sz247);
    ux_HashIncr(ph.get(), "k2", 0, sz248);
    // A 247-character value does not match a longer stored one with the same start.
    ux_HashIncr(ph.get(), "key", 0, std::string(247, 'x'));
    std::vector<Entry> rgKey, rgK2;
    for (const Entry& e : AllEntries(ph.get())) (e.szKey == "key" ? rgKey : rgK2).push_back(e);
    EXPECT_EQ(rgKey,
              (std::vector<Entry>{
                  {"key", 1, std::string(247, 'x')}, {"key", 1, szLong}, {"key", 1, szLong}}));
    EXPECT_EQ(rgK2, (std::vector<Entry>{{"k2", 1, sz248}, {"k2", 2, sz247}}));
}

TEST(HashIncrDeathTest, OversizedPairIsFatal) {
    auto ph = ux_HashNew(2, 100, 100);
    EXPECT_EXIT(ux_HashIncr(ph.get(), "big", 0, std::string(40000, 'v')),
                testing::ExitedWithCode(17713 & 255),
                "^ux_hash: Fatal\\(17713\\): undefined error/big\n$");
}

std::string Word(int i) {
    std::string sz = "w";
    sz += std::to_string(i);
    return sz;
}

TEST(HashMemberPtr, InternsStablePointers) {
    auto ph = ux_HashNew(30000, 10, 100);
    const char* pszFirst = nullptr;
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "word", &pszFirst), -1);
    EXPECT_STREQ(pszFirst, "word");
    const char* pszEmpty = nullptr;
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "", &pszEmpty), -1);
    // Fill many pages; earlier pointers stay valid and interning gives them back.
    std::vector<const char*> rgpsz;
    for (int i = 0; i < 20000; ++i) {
        const std::string sz = Word(i);
        const char* psz;
        EXPECT_EQ(ux_HashMemberPtr(ph.get(), sz, &psz), -1);
        rgpsz.push_back(psz);
    }
    EXPECT_GT(ph->cPages, 5);
    const char* psz;
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), std::string("word"), &psz), 0);
    EXPECT_EQ(psz, pszFirst);
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "", &psz), 0);
    EXPECT_EQ(psz, pszEmpty);
    for (int i = 0; i < 20000; i += 997) {
        EXPECT_EQ(ux_HashMemberPtr(ph.get(), Word(i), &psz), 0);
        EXPECT_EQ(psz, rgpsz[static_cast<std::size_t>(i)]);
    }
    // A key that is a prefix of a stored one, or has it as a prefix, is different.
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "wor", &psz), -1);
    EXPECT_EQ(ux_HashMemberPtr(ph.get(), "words", &psz), -1);
    // Interned entries carry payload 1 and the empty value.
    long lPayload;
    const char* pszValue;
    int fFound;
    ux_HashFindFirstPtr(ph.get(), "word", nullptr, &pszValue, &lPayload, &fFound);
    EXPECT_EQ(lPayload, 1);
    EXPECT_STREQ(pszValue, "");

    EXPECT_EQ(ux_HashMemberPtr(ph.get(), std::string(40000, 'x'), &psz), 201);
    EXPECT_EQ(psz, nullptr);
}

TEST(HashIteration, BucketOrderThenNewestFirst) {
    auto ph = ux_HashNew(3, 100, 100);
    // "ay" and "da" share bucket 71; the others each have their own bucket.
    for (const char* psz : {"the", "ay", "of", "and", "a", "", "da", "NN", "VB", "ay"})
        ux_HashAdd(ph.get(), psz, 0, "");
    std::vector<std::string> rgKeys;
    for (const Entry& e : AllEntries(ph.get())) rgKeys.push_back(e.szKey);
    EXPECT_EQ(rgKeys, (std::vector<std::string>{"", "ay", "da", "ay", "a", "the", "VB", "of", "NN",
                                                "and"}));
}

TEST(HashIteration, TruncationResults) {
    auto ph = ux_HashNew(2, 100, 100);
    char szKey[5], szValue[5];
    long lPayload = 0;
    EXPECT_EQ(ux_HashFirstData(ph.get(), szKey, szValue, &lPayload), -1);
    EXPECT_EQ(ux_HashNextData(ph.get(), szKey, szValue, &lPayload), -1);

    ux_HashAdd(ph.get(), "", 1, "0123456789");
    ux_HashAdd(ph.get(), "abcdefghij", 2, "v");
    ux_HashAdd(ph.get(), "abcd", 3, "wxyz");
    ux_HashAdd(ph.get(), "klmnopq", 4, "rstuvw");
    std::vector<std::pair<int, std::string>> rg;
    for (int rc = ux_HashFirstData(ph.get(), szKey, szValue, &lPayload); rc != -1;
         rc = ux_HashNextData(ph.get(), szKey, szValue, &lPayload))
        rg.emplace_back(rc, std::string(szKey) + "/" + szValue + "/" + std::to_string(lPayload));
    std::sort(rg.begin(), rg.end());
    EXPECT_EQ(rg, (std::vector<std::pair<int, std::string>>{
                      {0, "abcd/wxyz/3"}, {1, "abcd/v/2"}, {2, "/0123/1"}, {3, "klmn/rstu/4"}}));
    EXPECT_EQ(ux_HashNextData(ph.get(), szKey, szValue, &lPayload), -1);
    EXPECT_EQ(ph->iIterBucket, -1);
    EXPECT_EQ(ph->lIterRef, -1);
    // An empty buffer cannot hold even the terminator: reported as cut.
    EXPECT_EQ(ux_HashFirstData(ph.get(), std::span<char>(), szValue, &lPayload) & 1, 1);
}

TEST(HashFile, ReadTwoColumnsAndDump) {
    TempDir dir;
    const fs::path pathIn = dir / "table.txt";
    std::ofstream(pathIn, std::ios::binary)
        << "NNMS1  N-sg-nom\r\n\n  VB\tV  2 \n   \nlonely\nAA x";
    std::unique_ptr<HashTable> ph;
    ASSERT_EQ(ux_HashFileIn(&ph, pathIn.string(), 0), 0);
    ASSERT_TRUE(ph);
    EXPECT_EQ(ph->cBuckets, 8192); // 120 requested for fewer than 100 lines
    EXPECT_EQ(ph->cRecs, 4);
    char szValue[248];
    int fFound;
    long lPayload = -1;
    ux_HashFindFirst(ph.get(), "NNMS1", szValue, &lPayload, &fFound);
    EXPECT_STREQ(szValue, "N-sg-nom");
    EXPECT_EQ(lPayload, 0);
    ux_HashFindFirst(ph.get(), "VB", szValue, &lPayload, &fFound);
    EXPECT_STREQ(szValue, "V  2 ");
    ux_HashFindFirst(ph.get(), "lonely", szValue, &lPayload, &fFound);
    EXPECT_STREQ(szValue, "4"); // its line number
    ux_HashFindFirst(ph.get(), "AA", szValue, &lPayload, &fFound);
    EXPECT_STREQ(szValue, "x");

    const fs::path pathOut = dir / "dump.txt";
    EXPECT_EQ(ux_HashFileOut(ph.get(), pathOut.string()), 0);
    std::string szExpected;
    for (const Entry& e : AllEntries(ph.get()))
        szExpected += e.szKey + " " + std::to_string(e.lPayload) + " " + e.szValue + "\n";
    EXPECT_EQ(ReadFile(pathOut), szExpected);
    EXPECT_NE(szExpected.find("NNMS1 0 N-sg-nom\n"), std::string::npos);

    // The dump reads back (three columns: payload and value become the value).
    std::unique_ptr<HashTable> ph2;
    ASSERT_EQ(ux_HashFileIn(&ph2, pathOut.string(), 0), 0);
    ux_HashFindFirst(ph2.get(), "VB", szValue, &lPayload, &fFound);
    EXPECT_STREQ(szValue, "0 V  2 ");
}

TEST(HashFile, SingleWordsWithAndWithoutSwap) {
    TempDir dir;
    const fs::path pathIn = dir / "words.txt";
    std::ofstream(pathIn) << "alpha\nbeta\n\ngamma\n";
    std::unique_ptr<HashTable> phSwap, phDirect;
    ASSERT_EQ(ux_HashFileIn(&phSwap, pathIn.string(), 1), 0);
    ASSERT_EQ(ux_HashFileIn(&phDirect, pathIn.string(), 0), 0);
    char szValue[32];
    long lPayload;
    int fFound;
    const std::pair<const char*, const char*> rgPairs[] = {
        {"0", "alpha"}, {"1", "beta"}, {"3", "gamma"}};
    for (const auto& [pszNumber, pszWord] : rgPairs) {
        EXPECT_EQ(ux_HashFindFirst(phSwap.get(), pszNumber, szValue, &lPayload, &fFound), 0);
        EXPECT_STREQ(szValue, pszWord);
        EXPECT_EQ(ux_HashFindFirst(phDirect.get(), pszWord, szValue, &lPayload, &fFound), 0);
        EXPECT_STREQ(szValue, pszNumber);
    }
    EXPECT_EQ(phSwap->cRecs, 3);
    EXPECT_EQ(ux_HashFindFirst(phSwap.get(), "2", szValue, &lPayload, &fFound), 1);
}

TEST(HashFileDeathTest, FailuresAreFatal) {
    TempDir dir;
    const std::string szMissing = (dir / "missing").string();
    std::unique_ptr<HashTable> ph;
    EXPECT_EXIT(ux_HashFileIn(&ph, szMissing, 0), testing::ExitedWithCode(13010 & 255),
                "^ux_base: Fatal\\(13010\\): Cannot open input file: " + szMissing + "\n$");

    // A line too long to be an entry.
    const fs::path pathLong = dir / "long.txt";
    std::ofstream(pathLong) << "k " << std::string(40000, 'v') << "\n";
    EXPECT_EXIT(ux_HashFileIn(&ph, pathLong.string(), 0), testing::ExitedWithCode(17702 & 255),
                "^ux_hash: Fatal\\(17702\\): undefined error/k\n$");

    // A dump line longer than 32766 bytes.
    auto phBig = ux_HashNew(2, 100, 100);
    ux_HashAdd(phBig.get(), "0123456789", 0, std::string(32741, 'v'));
    const std::string szOut = (dir / "out").string();
    EXPECT_EXIT(ux_HashFileOut(phBig.get(), szOut), testing::ExitedWithCode(17036 & 255),
                "^ux_hash: Fatal\\(17036\\): Data too long: 32767\n$");
    auto phOk = ux_HashNew(2, 100, 100);
    ux_HashAdd(phOk.get(), "0123456789", 0, std::string(32740, 'v'));
    EXPECT_EQ(ux_HashFileOut(phOk.get(), szOut), 0);
    EXPECT_EQ(fs::file_size(szOut), 10u + 3 + 32740 + 1);
}

} // namespace
} // namespace vexta
