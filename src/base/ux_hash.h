// String-keyed hash table with a 32-bit payload and a value string per entry.
//
// Keys may repeat: the unit is the (key, value) pair, so one table serves as a
// multimap, as a counter of pairs (ux_HashIncr) and as a string store
// (ux_HashMemberPtr). Entries are appended into 32 KB pages and never moved
// or removed, so every `const char*` handed out by the table stays valid (and
// unchanged) for the table's whole life: interned strings compare equal by
// address. The bucket array is fixed at creation; there is no rehashing.
//
// Results follow the house convention: 0 (or less) for success, a small
// positive code for failure. Out-pointers may be null when the caller does not
// need that result. Keys and values are C strings: a string_view argument is
// taken up to its first zero byte, if it has one.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexta {

inline constexpr int kHashBucketsPerPage = 8192;
inline constexpr int kHashPageSize = 32768;    // bytes per entry page
inline constexpr int kHashMaxPages = 16383;    // entry pages and bucket pages each
inline constexpr int kHashMaxWorkLine = 32766; // longest line of a text dump

struct HashTable {
    int cBuckets = 0;     // number of buckets, a multiple of 8192; the last is never used
    int cBucketPages = 0; // number of bucket pages (8192 buckets each)
    int lNextRef = 8;     // reference of the next free byte in the entry pages
    int cPages = 0;       // number of entry pages allocated (32768 bytes each)
    // Bucket pages: each bucket holds the reference of the newest entry of its chain, 0 if empty.
    // A page is allocated when a bucket of it is first written; until then
    // its entry in rgpBucketRead points at a shared page of empty buckets, so
    // a table asked for many buckets takes memory only for those it uses.
    std::vector<std::unique_ptr<std::uint32_t[]>> rgpBucketPage;
    std::vector<const std::uint32_t*> rgpBucketRead; // where each bucket page is read
    // Entry pages. A reference is page * 32768 + offset; reference 0 means "none".
    std::vector<std::unique_ptr<char[]>> rgpPage;
    int cFull = 0;        // number of non-empty buckets
    int cRecs = 0;        // number of entries
    int cWarn = 0;        // cBuckets - cBuckets / 5: the 80% mark, warned about once
    std::string pchWork;  // line buffer of the text dump
    int cbWork = 0;       // size of the line buffer as requested (grows for long lines)
    int lIterRef = -1;    // iteration: reference of the next entry to visit, -1 when idle
    int iIterBucket = -1; // iteration: current bucket, -1 when idle
    // Search state shared by ux_HashFindFirst* and ux_HashGetNext*.
    std::string pszSearchKey;      // copy of the key being searched (buffer reused)
    bool fSearchActive = false;    // pszSearchKey and lSearchRef are valid
    std::uint32_t lSearchRef = 0;  // next entry of the chain to examine, 0 at the end
    char* pbLastPayload = nullptr; // payload of the entry last found by a search
    // A table filled in parts (counted first into tables of their own) keeps
    // the references of its entries in the order they were added, and stays
    // silent about filling up: only the table the parts are merged into warns.
    bool fKeepOrder = false;
    bool fWarnFull = true;
    std::vector<std::uint32_t> rglRefAdded; // with fKeepOrder: every entry, oldest first
};

// Hash code of a key (0 for the empty key); the bucket is |code| % (cBuckets - 1).
std::int32_t uxp_HashCode(std::string_view szKey);

// Creates a table with at least cBucketsReq buckets (rounded up to a multiple
// of 8192), cbEntrySpace bytes of entry pages allocated up front and a line
// buffer of cbWork bytes. Null when memory (or the page limit) runs out.
// Fewer than 2 buckets is fatal 701.
std::unique_ptr<HashTable> ux_HashNew(long cBucketsReq, long cbEntrySpace, long cbWork);

// Frees the table and sets *pph to null. 0.
int ux_HashFree(std::unique_ptr<HashTable>* pph);

// Adds the entry (key, payload, value) in front of its chain without looking
// for an existing one. 0, or 1 when the entry is larger than 32768 bytes.
int ux_HashAdd(HashTable* ph, std::string_view szKey, long lPayload, std::string_view szValue);

// Searches the newest entry with the key. 0 and *pfFound = 1 when one exists:
// its value is copied into szValueBuf (cut to size - 1 characters when it does
// not fit) and its payload stored in *plPayload. 1 and *pfFound = 0 otherwise.
int ux_HashFindFirst(HashTable* ph, std::string_view szKey, std::span<char> szValueBuf,
                     long* plPayload, int* pfFound);
// The next older entry with the key of the last ux_HashFindFirst*; as above.
int ux_HashGetNext(HashTable* ph, std::span<char> szValueBuf, long* plPayload, int* pfFound);

// As ux_HashFindFirst / ux_HashGetNext, but returning pointers to the stored
// key and value (stable for the table's life) instead of copying.
int ux_HashFindFirstPtr(HashTable* ph, std::string_view szKey, const char** ppszKey,
                        const char** ppszValue, long* plPayload, int* pfFound);
int ux_HashGetNextPtr(HashTable* ph, const char** ppszKey, const char** ppszValue, long* plPayload,
                      int* pfFound);

// Stores lPayload into the entry last found by a search. 0.
int ux_HashReplacePat(HashTable* ph, long lPayload);

// Counts the pair (key, value): raises the payload of the newest entry with
// exactly this key and value by 1, or adds (key, lBase + 1, value). A value of
// 248 characters or more never matches, so each call adds a new entry for it.
// 0; fatal 713 when the entry is too large to be added.
int ux_HashIncr(HashTable* ph, std::string_view szKey, long lBase, std::string_view szValue);

// As ux_HashIncr, but raising the payload by lCount or adding (key, lCount,
// value): counting a pair n times one by one, or once by n, gives the same
// table. 0; fatal 713 when the entry is too large to be added.
int ux_HashIncrBy(HashTable* ph, std::string_view szKey, long lCount, std::string_view szValue);

// Pairs to be counted into one table, held until Flush and then counted in
// the order they were added, each exactly as ux_HashIncrBy would: the table
// ends as if every pair had been counted at once. Counting a run of pairs
// together lets the bucket and the entries of the pairs ahead be fetched
// from memory while the current one is counted, which counting one at a
// time in a table larger than the caches waits for.
class HashIncrBatch {
public:
    explicit HashIncrBatch(HashTable* ph = nullptr) : ph_(ph) {}
    // The table the pairs go to; pairs still held are counted first.
    void SetTable(HashTable* ph);
    // Holds (key, value) to be counted by lCount; both taken up to their
    // first zero byte.
    void Add(std::string_view szKey, std::string_view szValue, long lCount = 1);
    // Counts the pairs held, in order. Fatal 713 as ux_HashIncr.
    void Flush();
    std::size_t Size() const { return rgItem_.size(); }

private:
    struct Item {
        std::uint32_t ich; // key, then value, in rgch_
        std::uint32_t cchKey;
        std::uint32_t cchValue;
        int iBucket;
        long lCount;
    };
    HashTable* ph_;
    std::vector<char> rgch_;
    std::vector<Item> rgItem_;
};

// True when ux_HashIncr of (key, value) would raise an existing entry rather
// than add one. Reads the table only (no search state), so several threads
// may ask at once while nobody writes it.
bool ux_HashHasPair(const HashTable* ph, std::string_view szKey, std::string_view szValue);

// The newest entry with the key, like ux_HashFindFirstPtr but without search
// state (safe for several readers at once): its stored value in *ppszValue
// and its payload in *plPayload; false when there is none.
bool ux_HashFindConst(const HashTable* ph, std::string_view szKey, const char** ppszValue,
                      long* plPayload);

// The stored key equal to szKey, without adding it (safe for several readers
// at once): false when the table has none.
bool ux_HashFindKey(const HashTable* ph, std::string_view szKey, const char** ppszKey);

// The entry at a reference of rglRefAdded: its payload, with its stored key
// and value.
long ux_HashEntryAt(const HashTable* ph, std::uint32_t lRef, const char** ppszKey,
                    const char** ppszValue);

// Interns the key: 0 and *ppszKey = the stored key when it exists; otherwise
// adds (key, 1, "") and returns -1 with *ppszKey = the new stored key; 201
// with *ppszKey = null when the key is too large to be stored.
int ux_HashMemberPtr(HashTable* ph, std::string_view szKey, const char** ppszKey);

// Iteration over all entries: buckets in ascending order, each chain newest
// first. Key and value are copied into the buffers (cut to size - 1
// characters when too long). Result -1 at the end, else 0 plus 1 when the key
// and 2 when the value was cut.
int ux_HashFirstData(HashTable* ph, std::span<char> szKeyBuf, std::span<char> szValueBuf,
                     long* plPayload);
int ux_HashNextData(HashTable* ph, std::span<char> szKeyBuf, std::span<char> szValueBuf,
                    long* plPayload);
// The same iteration (same cursor) returning pointers to the stored strings:
// -1 at the end, else 0.
int ux_HashFirstDataPtr(HashTable* ph, const char** ppszKey, const char** ppszValue,
                        long* plPayload);
int ux_HashNextDataPtr(HashTable* ph, const char** ppszKey, const char** ppszValue,
                       long* plPayload);

// Writes the text dump: one line "key payload value" per entry, in iteration
// order. 0; a file that cannot be created ends the run.
int ux_HashFileOut(HashTable* ph, std::string_view szFileName);

// Reads a text file ("key value" per line, a line's number as value when it
// has a single word; key and value exchanged when fSwap is set) into a new
// table stored in *pph. 0, or 1 when the table cannot be created. A file that
// cannot be opened ends the run.
int ux_HashFileIn(std::unique_ptr<HashTable>* pph, std::string_view szFileName, int fSwap);

// Writes "tab %ld, full %ld, recs %ld, sz %ld" (cBuckets, cFull, cRecs,
// lNextRef) into szBuf (cut to fit). 0.
int ux_HashStat(const HashTable* ph, std::span<char> szBuf);
// The same text as a string.
std::string ux_HashStatText(const HashTable* ph);

// Kept for callers of the old interface; they do nothing. 0.
int ux_HashOpen();
int ux_HashClose();
int ux_HashFileDump();

} // namespace vexta
