// String-keyed hash table: entries appended into 32 KB pages and chained per
// bucket newest first, with a text dump and a text file reader.
#include "base/ux_hash.h"

#include "base/ux_base.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <unistd.h>

namespace vexta {

namespace {

constexpr std::uint32_t kPageShift = 15; // 32768 bytes per entry page
constexpr std::uint32_t kPageMask = kHashPageSize - 1;
constexpr int kBucketShift = 13; // 8192 buckets per bucket page
constexpr int kBucketMask = kHashBucketsPerPage - 1;
constexpr int kEntryHeader = 8;            // next reference and payload
constexpr std::size_t kIncrValueMax = 248; // values compared by counting are shorter
constexpr std::size_t kOutFlush = 1 << 16; // dump output is written in blocks of about this size

// Keys and values are C strings: anything from the first zero byte on is ignored.
std::string_view CStr(std::string_view sz) {
    return sz.substr(0, sz.find('\0'));
}

std::uint32_t GetU32(const char* pb) {
    const auto* pu = reinterpret_cast<const unsigned char*>(pb);
    return std::uint32_t{pu[0]} | std::uint32_t{pu[1]} << 8 | std::uint32_t{pu[2]} << 16 |
           std::uint32_t{pu[3]} << 24;
}

void PutU32(char* pb, std::uint32_t u) {
    for (int i = 0; i < 4; ++i) pb[i] = static_cast<char>((u >> (8 * i)) & 0xff);
}

long GetPayload(const char* pbEntry) {
    return static_cast<long>(static_cast<std::int32_t>(GetU32(pbEntry + 4)));
}

char* Entry(const HashTable& h, std::uint32_t lRef) {
    return h.rgpPage[lRef >> kPageShift].get() + (lRef & kPageMask);
}

const char* EntryKey(const char* pbEntry) {
    return pbEntry + kEntryHeader;
}
const char* EntryValue(const char* pbEntry) {
    const char* pszKey = EntryKey(pbEntry);
    return pszKey + std::strlen(pszKey) + 1;
}

// Bucket pages no entry has been added to yet.
constexpr std::array<std::uint32_t, kHashBucketsPerPage> kEmptyBucketPage{};

const std::uint32_t& Bucket(const HashTable& h, int iBucket) {
    return h
        .rgpBucketRead[static_cast<std::size_t>(iBucket >> kBucketShift)][iBucket & kBucketMask];
}

// The bucket to add an entry to; its page is allocated on first use.
std::uint32_t& BucketToWrite(HashTable& h, int iBucket) {
    const auto iPage = static_cast<std::size_t>(iBucket >> kBucketShift);
    std::unique_ptr<std::uint32_t[]>& pPage = h.rgpBucketPage[iPage];
    if (!pPage) {
        try {
            pPage = std::make_unique<std::uint32_t[]>(kHashBucketsPerPage);
        } catch (const std::bad_alloc&) {
            ux_FatalError(kModHash, 724, "cannot allocate hash table bucket page");
        }
        h.rgpBucketRead[iPage] = pPage.get();
    }
    return pPage[iBucket & kBucketMask];
}

int BucketOf(const HashTable& h, std::string_view szKey) {
    const std::int32_t lCode = uxp_HashCode(szKey);
    const std::int32_t lAbs = lCode < 0 ? -lCode : lCode;
    return static_cast<int>(lAbs % (h.cBuckets - 1));
}

// Stored C string equals sz exactly; never reads past the stored terminator.
bool StrEquals(const char* psz, std::string_view sz) {
    for (std::size_t i = 0; i < sz.size(); ++i)
        if (psz[i] != sz[i]) return false;
    return psz[sz.size()] == '\0';
}

// First entry at or after lRef along its chain whose key equals szKey; 0 if none.
std::uint32_t FindInChain(const HashTable& h, std::uint32_t lRef, std::string_view szKey) {
    while (lRef != 0) {
        const char* pbEntry = Entry(h, lRef);
        if (StrEquals(EntryKey(pbEntry), szKey)) return lRef;
        lRef = GetU32(pbEntry);
    }
    return 0;
}

// Copies psz into szBuf, cut to size - 1 characters; true when it was cut.
bool CopyCut(const char* psz, std::span<char> szBuf) {
    const std::size_t cch = std::strlen(psz);
    if (szBuf.empty()) return true;
    if (cch < szBuf.size()) {
        std::memcpy(szBuf.data(), psz, cch + 1);
        return false;
    }
    std::memcpy(szBuf.data(), psz, szBuf.size() - 1);
    szBuf[szBuf.size() - 1] = '\0';
    return true;
}

template <typename T> void SetOut(T* p, T v) {
    if (p != nullptr) *p = v;
}

[[noreturn]] void FatalNoMem(int iNumber, const char* pszWhat) {
    ux_FatalError(kModHash, iNumber, pszWhat);
}

// Appends a new entry page; fatal when the page limit or memory is exhausted.
void AddPage(HashTable& h) {
    if (h.cPages > kHashMaxPages - 1)
        ux_FatalError(kModHash, 711, "hash table entry pages exhausted");
    try {
        h.rgpPage.push_back(std::make_unique_for_overwrite<char[]>(kHashPageSize));
    } catch (const std::bad_alloc&) {
        FatalNoMem(722, "cannot allocate hash table entry page");
    }
    ++h.cPages;
}

// Adds (szKey, lPayload, szValue) in front of bucket iBucket; both strings
// already cut at their first zero byte. 0, or 1 when the entry is too large.
int AddAt(HashTable& h, int iBucket, std::string_view szKey, long lPayload,
          std::string_view szValue) {
    const std::size_t cbNeed = szKey.size() + szValue.size() + 11;
    if (cbNeed > static_cast<std::size_t>(kHashPageSize)) return 1;

    std::uint32_t& lHead = BucketToWrite(h, iBucket);
    if (lHead == 0) ++h.cFull;
    if (++h.cRecs == h.cWarn && h.fWarnFull) {
        ux_Warning(kModHash, 34, szKey);
        ux_Warning(kModHash, 35, ux_HashStatText(&h));
    }

    auto lRef = static_cast<std::uint32_t>(h.lNextRef);
    if ((lRef & kPageMask) + cbNeed > static_cast<std::size_t>(kHashPageSize)) {
        const std::uint32_t iPage = (lRef >> kPageShift) + 1;
        if (iPage >= static_cast<std::uint32_t>(h.cPages)) AddPage(h);
        lRef = iPage << kPageShift;
    }

    char* pb = Entry(h, lRef);
    PutU32(pb, lHead);
    PutU32(pb + 4, static_cast<std::uint32_t>(lPayload));
    char* pch = pb + kEntryHeader;
    std::memcpy(pch, szKey.data(), szKey.size());
    pch[szKey.size()] = '\0';
    pch += szKey.size() + 1;
    std::memcpy(pch, szValue.data(), szValue.size());
    pch[szValue.size()] = '\0';
    pch[szValue.size() + 1] = '\0'; // the zero byte after the newest entry

    h.lNextRef = static_cast<int>(lRef + cbNeed - 1);
    lHead = lRef;
    if (h.fKeepOrder) h.rglRefAdded.push_back(lRef);
    return 0;
}

// Next entry of the table's search; 0 when there is none.
std::uint32_t SearchNext(HashTable& h) {
    if (!h.fSearchActive) return 0;
    const std::uint32_t lRef = FindInChain(h, h.lSearchRef, h.pszSearchKey);
    if (lRef == 0) {
        h.lSearchRef = 0;
        return 0;
    }
    char* pbEntry = Entry(h, lRef);
    h.lSearchRef = GetU32(pbEntry);
    h.pbLastPayload = pbEntry + 4;
    return lRef;
}

void SearchStart(HashTable& h, std::string_view szKey) {
    szKey = CStr(szKey);
    try {
        h.pszSearchKey.assign(szKey); // reuses the buffer once it is large enough
    } catch (const std::bad_alloc&) {
        FatalNoMem(712, "cannot copy hash search key");
    }
    h.fSearchActive = true;
    h.lSearchRef = Bucket(h, BucketOf(h, szKey));
}

int SearchResult(HashTable& h, std::uint32_t lRef, std::span<char> szValueBuf, long* plPayload,
                 int* pfFound) {
    if (lRef == 0) {
        SetOut(pfFound, 0);
        return 1;
    }
    const char* pbEntry = Entry(h, lRef);
    CopyCut(EntryValue(pbEntry), szValueBuf);
    SetOut(plPayload, GetPayload(pbEntry));
    SetOut(pfFound, 1);
    return 0;
}

int SearchResultPtr(HashTable& h, std::uint32_t lRef, const char** ppszKey, const char** ppszValue,
                    long* plPayload, int* pfFound) {
    if (lRef == 0) {
        SetOut(ppszKey, static_cast<const char*>(nullptr));
        SetOut(ppszValue, static_cast<const char*>(nullptr));
        SetOut(pfFound, 0);
        return 1;
    }
    const char* pbEntry = Entry(h, lRef);
    SetOut(ppszKey, EntryKey(pbEntry));
    SetOut(ppszValue, EntryValue(pbEntry));
    SetOut(plPayload, GetPayload(pbEntry));
    SetOut(pfFound, 1);
    return 0;
}

// Next entry of the table's iteration; 0 at the end (cursors then idle).
std::uint32_t IterNext(HashTable& h) {
    if (h.iIterBucket < 0) return 0;
    auto lRef = static_cast<std::uint32_t>(h.lIterRef);
    while (lRef == 0) {
        if (++h.iIterBucket >= h.cBuckets) {
            h.iIterBucket = -1;
            h.lIterRef = -1;
            return 0;
        }
        lRef = Bucket(h, h.iIterBucket);
    }
    h.lIterRef = static_cast<int>(GetU32(Entry(h, lRef)));
    return lRef;
}

void IterStart(HashTable& h) {
    h.iIterBucket = 0;
    h.lIterRef = static_cast<int>(Bucket(h, 0));
}

int IterResult(HashTable& h, std::uint32_t lRef, std::span<char> szKeyBuf,
               std::span<char> szValueBuf, long* plPayload) {
    if (lRef == 0) return -1;
    const char* pbEntry = Entry(h, lRef);
    int rc = 0;
    if (CopyCut(EntryKey(pbEntry), szKeyBuf)) rc |= 1;
    if (CopyCut(EntryValue(pbEntry), szValueBuf)) rc |= 2;
    SetOut(plPayload, GetPayload(pbEntry));
    return rc;
}

int IterResultPtr(HashTable& h, std::uint32_t lRef, const char** ppszKey, const char** ppszValue,
                  long* plPayload) {
    if (lRef == 0) return -1;
    const char* pbEntry = Entry(h, lRef);
    SetOut(ppszKey, EntryKey(pbEntry));
    SetOut(ppszValue, EntryValue(pbEntry));
    SetOut(plPayload, GetPayload(pbEntry));
    return 0;
}

} // namespace

std::int32_t uxp_HashCode(std::string_view szKey) {
    // Each byte is added shifted left by n mod 24, where n starts at 22 and
    // grows by (byte & 31) + 7 before every byte after the first. n is kept
    // as a plain sum, so that the shift of one byte does not wait for the
    // reduction of the one before.
    std::uint32_t s = 0; // 32-bit wrap-around sum
    std::uint32_t n = 22;
    const auto* pb = reinterpret_cast<const unsigned char*>(szKey.data());
    for (std::size_t i = 0; i < szKey.size(); ++i) {
        const std::uint32_t b = pb[i];
        if (i > 0) n += (b & 31) + 7;
        s += b << (n % 24);
    }
    auto lCode = static_cast<std::int32_t>(s);
    if (lCode < 0) lCode += 1;
    return lCode;
}

std::unique_ptr<HashTable> ux_HashNew(long cBucketsReq, long cbEntrySpace, long cbWork) {
    if (cBucketsReq < 2) ux_FatalError(kModHash, 701, "Too small table size in New");
    const long cBucketPages = (cBucketsReq - 1) / kHashBucketsPerPage + 1;
    const long cPages = cbEntrySpace > 0 ? (cbEntrySpace - 1) / kHashPageSize + 1 : 1;
    if (cBucketPages > kHashMaxPages || cPages > kHashMaxPages) return nullptr;

    try {
        auto ph = std::make_unique<HashTable>();
        HashTable& h = *ph;
        h.cBucketPages = static_cast<int>(cBucketPages);
        h.cBuckets = kHashBucketsPerPage * h.cBucketPages;
        h.cWarn = h.cBuckets - h.cBuckets / 5;
        h.rgpBucketPage.resize(static_cast<std::size_t>(h.cBucketPages));
        h.rgpBucketRead.assign(static_cast<std::size_t>(h.cBucketPages), kEmptyBucketPage.data());
        h.rgpPage.reserve(static_cast<std::size_t>(cPages));
        for (long i = 0; i < cPages; ++i)
            h.rgpPage.push_back(std::make_unique_for_overwrite<char[]>(kHashPageSize));
        h.cPages = static_cast<int>(cPages);
        h.rgpPage[0][h.lNextRef] = '\0';
        h.cbWork = static_cast<std::uint16_t>(cbWork);
        h.pchWork.reserve(static_cast<std::size_t>(h.cbWork));
        return ph;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int ux_HashFree(std::unique_ptr<HashTable>* pph) {
    if (pph != nullptr) pph->reset();
    return 0;
}

int ux_HashAdd(HashTable* ph, std::string_view szKey, long lPayload, std::string_view szValue) {
    szKey = CStr(szKey);
    return AddAt(*ph, BucketOf(*ph, szKey), szKey, lPayload, CStr(szValue));
}

int ux_HashFindFirst(HashTable* ph, std::string_view szKey, std::span<char> szValueBuf,
                     long* plPayload, int* pfFound) {
    SearchStart(*ph, szKey);
    return SearchResult(*ph, SearchNext(*ph), szValueBuf, plPayload, pfFound);
}

int ux_HashGetNext(HashTable* ph, std::span<char> szValueBuf, long* plPayload, int* pfFound) {
    return SearchResult(*ph, SearchNext(*ph), szValueBuf, plPayload, pfFound);
}

int ux_HashFindFirstPtr(HashTable* ph, std::string_view szKey, const char** ppszKey,
                        const char** ppszValue, long* plPayload, int* pfFound) {
    SearchStart(*ph, szKey);
    return SearchResultPtr(*ph, SearchNext(*ph), ppszKey, ppszValue, plPayload, pfFound);
}

int ux_HashGetNextPtr(HashTable* ph, const char** ppszKey, const char** ppszValue, long* plPayload,
                      int* pfFound) {
    return SearchResultPtr(*ph, SearchNext(*ph), ppszKey, ppszValue, plPayload, pfFound);
}

int ux_HashReplacePat(HashTable* ph, long lPayload) {
    if (ph->pbLastPayload != nullptr)
        PutU32(ph->pbLastPayload, static_cast<std::uint32_t>(lPayload));
    return 0;
}

namespace {

// The entry ux_HashIncr counts (key, value) into, or 0: the newest with the
// key and exactly the value, when the value is short enough to be compared.
std::uint32_t FindPair(const HashTable& h, int iBucket, std::string_view szKey,
                       std::string_view szValue) {
    if (szValue.size() >= kIncrValueMax) return 0;
    for (std::uint32_t lRef = FindInChain(h, Bucket(h, iBucket), szKey); lRef != 0;) {
        const char* pbEntry = Entry(h, lRef);
        if (StrEquals(EntryKey(pbEntry) + szKey.size() + 1, szValue)) return lRef;
        lRef = FindInChain(h, GetU32(pbEntry), szKey);
    }
    return 0;
}

// Raises the payload of the pair by lIncr, or adds it with payload lNew;
// the key belongs in bucket iBucket, both strings are cut at a zero byte.
void CountPairAt(HashTable& h, int iBucket, std::string_view szKey, std::string_view szValue,
                 long lIncr, long lNew) {
    if (const std::uint32_t lRef = FindPair(h, iBucket, szKey, szValue); lRef != 0) {
        char* pbPayload = Entry(h, lRef) + 4;
        PutU32(pbPayload, GetU32(pbPayload) + static_cast<std::uint32_t>(lIncr));
        return;
    }
    if (AddAt(h, iBucket, szKey, lNew, szValue) != 0) ux_FatalError(kModHash, 713, szKey);
}

void CountPair(HashTable& h, std::string_view szKey, std::string_view szValue, long lIncr,
               long lNew) {
    szKey = CStr(szKey);
    CountPairAt(h, BucketOf(h, szKey), szKey, CStr(szValue), lIncr, lNew);
}

} // namespace

void HashIncrBatch::SetTable(HashTable* ph) {
    Flush();
    ph_ = ph;
}

void HashIncrBatch::Add(std::string_view szKey, std::string_view szValue, long lCount) {
    szKey = CStr(szKey);
    szValue = CStr(szValue);
    const auto ich = static_cast<std::uint32_t>(rgch_.size());
    rgch_.insert(rgch_.end(), szKey.begin(), szKey.end());
    rgch_.insert(rgch_.end(), szValue.begin(), szValue.end());
    rgItem_.push_back(Item{ich, static_cast<std::uint32_t>(szKey.size()),
                           static_cast<std::uint32_t>(szValue.size()), BucketOf(*ph_, szKey),
                           lCount});
}

void HashIncrBatch::Flush() {
    if (rgItem_.empty()) return;
    HashTable& h = *ph_;
    // How far ahead the bucket, then the newest entry of its chain, is fetched.
    constexpr std::size_t kAheadBucket = 12;
    constexpr std::size_t kAheadEntry = 6;
    const std::size_t cItem = rgItem_.size();
    for (std::size_t i = 0; i < std::min(cItem, kAheadBucket); ++i)
        __builtin_prefetch(&Bucket(h, rgItem_[i].iBucket));
    for (std::size_t i = 0; i < cItem; ++i) {
        if (i + kAheadBucket < cItem)
            __builtin_prefetch(&Bucket(h, rgItem_[i + kAheadBucket].iBucket));
        if (i + kAheadEntry < cItem) {
            if (const std::uint32_t lHead = Bucket(h, rgItem_[i + kAheadEntry].iBucket); lHead != 0)
                __builtin_prefetch(Entry(h, lHead));
        }
        const Item& it = rgItem_[i];
        const std::string_view szKey(rgch_.data() + it.ich, it.cchKey);
        const std::string_view szValue(rgch_.data() + it.ich + it.cchKey, it.cchValue);
        CountPairAt(h, it.iBucket, szKey, szValue, it.lCount, it.lCount);
    }
    rgItem_.clear();
    rgch_.clear();
}

int ux_HashIncr(HashTable* ph, std::string_view szKey, long lBase, std::string_view szValue) {
    CountPair(*ph, szKey, szValue, 1, lBase + 1);
    return 0;
}

int ux_HashIncrBy(HashTable* ph, std::string_view szKey, long lCount, std::string_view szValue) {
    CountPair(*ph, szKey, szValue, lCount, lCount);
    return 0;
}

bool ux_HashHasPair(const HashTable* ph, std::string_view szKey, std::string_view szValue) {
    szKey = CStr(szKey);
    return FindPair(*ph, BucketOf(*ph, szKey), szKey, CStr(szValue)) != 0;
}

bool ux_HashFindConst(const HashTable* ph, std::string_view szKey, const char** ppszValue,
                      long* plPayload) {
    szKey = CStr(szKey);
    const std::uint32_t lRef = FindInChain(*ph, Bucket(*ph, BucketOf(*ph, szKey)), szKey);
    if (lRef == 0) return false;
    const char* pbEntry = Entry(*ph, lRef);
    SetOut(ppszValue, EntryValue(pbEntry));
    SetOut(plPayload, GetPayload(pbEntry));
    return true;
}

bool ux_HashFindKey(const HashTable* ph, std::string_view szKey, const char** ppszKey) {
    szKey = CStr(szKey);
    const std::uint32_t lRef = FindInChain(*ph, Bucket(*ph, BucketOf(*ph, szKey)), szKey);
    if (lRef == 0) return false;
    *ppszKey = EntryKey(Entry(*ph, lRef));
    return true;
}

long ux_HashEntryAt(const HashTable* ph, std::uint32_t lRef, const char** ppszKey,
                    const char** ppszValue) {
    const char* pbEntry = Entry(*ph, lRef);
    SetOut(ppszKey, EntryKey(pbEntry));
    SetOut(ppszValue, EntryValue(pbEntry));
    return GetPayload(pbEntry);
}

int ux_HashMemberPtr(HashTable* ph, std::string_view szKey, const char** ppszKey) {
    HashTable& h = *ph;
    szKey = CStr(szKey);
    const int iBucket = BucketOf(h, szKey);
    if (const std::uint32_t lRef = FindInChain(h, Bucket(h, iBucket), szKey); lRef != 0) {
        *ppszKey = EntryKey(Entry(h, lRef));
        return 0;
    }
    if (const int rc = AddAt(h, iBucket, szKey, 1, ""); rc != 0) {
        *ppszKey = nullptr;
        return 200 + rc;
    }
    *ppszKey = EntryKey(Entry(h, Bucket(h, iBucket)));
    return -1;
}

int ux_HashFirstData(HashTable* ph, std::span<char> szKeyBuf, std::span<char> szValueBuf,
                     long* plPayload) {
    IterStart(*ph);
    return IterResult(*ph, IterNext(*ph), szKeyBuf, szValueBuf, plPayload);
}

int ux_HashNextData(HashTable* ph, std::span<char> szKeyBuf, std::span<char> szValueBuf,
                    long* plPayload) {
    return IterResult(*ph, IterNext(*ph), szKeyBuf, szValueBuf, plPayload);
}

int ux_HashFirstDataPtr(HashTable* ph, const char** ppszKey, const char** ppszValue,
                        long* plPayload) {
    IterStart(*ph);
    return IterResultPtr(*ph, IterNext(*ph), ppszKey, ppszValue, plPayload);
}

int ux_HashNextDataPtr(HashTable* ph, const char** ppszKey, const char** ppszValue,
                       long* plPayload) {
    return IterResultPtr(*ph, IterNext(*ph), ppszKey, ppszValue, plPayload);
}

int ux_HashFileOut(HashTable* ph, std::string_view szFileName) {
    HashTable& h = *ph;
    const int hFile = ux_Open(szFileName, "wt");
    std::string& szOut = h.pchWork;
    szOut.clear();
    try {
        for (int iBucket = 0; iBucket < h.cBuckets; ++iBucket) {
            for (std::uint32_t lRef = Bucket(h, iBucket); lRef != 0;) {
                const char* pbEntry = Entry(h, lRef);
                const std::string_view szKey = EntryKey(pbEntry);
                const std::string_view szValue = szKey.data() + szKey.size() + 1;
                const int cbNeed = static_cast<int>(szKey.size() + szValue.size() + 16);
                if (cbNeed > h.cbWork) {
                    if (cbNeed > kHashMaxWorkLine)
                        ux_FatalError(kModHash, 36, std::to_string(cbNeed));
                    h.cbWork = cbNeed;
                }
                char szPayload[24];
                const auto res =
                    std::to_chars(szPayload, szPayload + sizeof szPayload, GetPayload(pbEntry));
                szOut.append(szKey);
                szOut.push_back(' ');
                szOut.append(szPayload, res.ptr);
                szOut.push_back(' ');
                szOut.append(szValue);
                szOut.push_back('\n');
                if (szOut.size() >= kOutFlush) {
                    ux_Write(hFile, szOut.data(), static_cast<long>(szOut.size()));
                    szOut.clear();
                }
                lRef = GetU32(pbEntry);
            }
        }
    } catch (const std::bad_alloc&) {
        FatalNoMem(723, "cannot allocate hash dump buffer");
    }
    ux_Write(hFile, szOut.data(), static_cast<long>(szOut.size()));
    szOut.clear();
    ux_Close(hFile);
    return 0;
}

namespace {

// Calls fnChunk for each block of the open file from its current position.
template <typename Fn> void ForEachBlock(int hFile, Fn fnChunk) {
    std::vector<char> rgb(kOutFlush);
    for (;;) {
        const long cb = ux_ReadMax(hFile, rgb.data(), static_cast<long>(rgb.size()));
        if (cb <= 0) break;
        fnChunk(std::string_view(rgb.data(), static_cast<std::size_t>(cb)));
    }
}

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

// Adds one line of a text file (carriage returns already removed).
void AddFileLine(HashTable& h, std::string_view szLine, long iLine, int fSwap) {
    std::size_t i = 0;
    while (i < szLine.size() && IsBlank(szLine[i])) ++i;
    if (i == szLine.size()) return; // nothing but blanks: no entry
    const std::size_t iKey = i;
    while (i < szLine.size() && !IsBlank(szLine[i])) ++i;
    std::string_view szKey = szLine.substr(iKey, i - iKey);
    while (i < szLine.size() && IsBlank(szLine[i])) ++i;
    std::string_view szValue = szLine.substr(i);
    char szNumber[24];
    if (szValue.empty()) {
        const auto res = std::to_chars(szNumber, szNumber + sizeof szNumber, iLine);
        szValue = std::string_view(szNumber, static_cast<std::size_t>(res.ptr - szNumber));
    }
    if (fSwap) std::swap(szKey, szValue);
    if (ux_HashAdd(&h, szKey, 0, szValue) != 0) ux_FatalError(kModHash, 702, szKey);
}

} // namespace

int ux_HashFileIn(std::unique_ptr<HashTable>* pph, std::string_view szFileName, int fSwap) {
    const int hFile = ux_Open(szFileName, "rt");

    // First pass: sizes.
    long cChars = 0, cLines = 0, cchLongest = 0, cchLine = 0, cFields = 1;
    bool fPrevBlank = false;
    ForEachBlock(hFile, [&](std::string_view szBlock) {
        for (const char ch : szBlock) {
            if (ch == '\r') continue;
            ++cChars;
            if (ch == '\n') {
                cchLongest = std::max(cchLongest, cchLine);
                cchLine = 0;
                ++cLines;
                continue;
            }
            ++cchLine;
            if (cLines == 0) {
                if (fPrevBlank && !IsBlank(ch)) ++cFields;
                fPrevBlank = IsBlank(ch);
            }
        }
    });
    cchLongest = std::max(cchLongest, cchLine);

    long cbEntries = cChars + 10 * cLines;
    if (cFields == 1) cbEntries += 9 * cLines;
    const long cBuckets = cLines < 100 ? 120 : cLines + 2 * (cLines / 10);
    const long cbWork = cchLongest < 100 ? 150 : 15 * (cchLongest / 10);
    std::unique_ptr<HashTable> ph = ux_HashNew(cBuckets, cbEntries, cbWork);
    if (!ph) {
        ux_Close(hFile);
        return 1;
    }

    // Second pass: one entry per line.
    ux_Seek(hFile, 0, SEEK_SET);
    std::string szLine;
    szLine.reserve(static_cast<std::size_t>(cchLongest));
    long iLine = 0;
    ForEachBlock(hFile, [&](std::string_view szBlock) {
        for (const char ch : szBlock) {
            if (ch == '\r') continue;
            if (ch == '\n') {
                AddFileLine(*ph, szLine, iLine++, fSwap);
                szLine.clear();
            } else {
                szLine.push_back(ch);
            }
        }
    });
    if (!szLine.empty()) AddFileLine(*ph, szLine, iLine, fSwap);
    ux_Close(hFile);

    *pph = std::move(ph);
    return 0;
}

int ux_HashStat(const HashTable* ph, std::span<char> szBuf) {
    if (!szBuf.empty())
        std::snprintf(szBuf.data(), szBuf.size(), "tab %ld, full %ld, recs %ld, sz %ld",
                      static_cast<long>(ph->cBuckets), static_cast<long>(ph->cFull),
                      static_cast<long>(ph->cRecs), static_cast<long>(ph->lNextRef));
    return 0;
}

std::string ux_HashStatText(const HashTable* ph) {
    char szBuf[128];
    ux_HashStat(ph, szBuf);
    return szBuf;
}

int ux_HashOpen() {
    return 0;
}
int ux_HashClose() {
    return 0;
}
int ux_HashFileDump() {
    return 0;
}

} // namespace vexta
