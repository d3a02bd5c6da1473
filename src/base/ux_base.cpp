// Numbered messages, log redirection, and the memory and file wrappers.
// Fatal errors end the run by throwing ux_FatalExit, never the process.
#include "base/ux_base.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <new>
#include <string>
#include <unistd.h>

namespace vexta {

namespace {

// Module names (0..9) and message texts (10..37).
constexpr const char* ux_szMsg[] = {
    "Unknown",
    "ux_syn",
    "ux_lem",
    "ux_base",
    "ux_cpd",
    "uw_sd",
    "ux_arg",
    "ux_hash",
    "App",
    "main",
    "Cannot open input file: ",
    "Cannot open output file: ",
    "Cannot allocate memory; bytes == ",
    "Cannot close file with handle: ",
    "Cannot read from file with handle: ",
    "Cannot write to file with handle: ",
    "Cannot seek in file with handle: ",
    "Language/environment wrong abbreviation: ",
    "To large round buffer alloc request: ",
    "Reinitialized; call ux_ArgClose first",
    "Cannot allocate ptr range: size requested ",
    "Too many open arg files when opening ",
    "Allocation error opening ",
    "String to be copied too long: ",
    "Allocation error -- ",
    "Parse error at line ",
    "Too few arguments passed to ",
    "Too many arguments passed to ",
    "Getting file/attr: ",
    "Field index out of bounds: ",
    "vexta: Cannot write features to ",
    "vexta: Wrong iClosestConditionElem: ",
    "tag: ",
    "Cannot reallocate memory; bytes == ",
    "Hash table over 80% full; inserting key ",
    "#: ",
    "Data too long: ",
    "",
};
constexpr int kMsgCount = static_cast<int>(std::size(ux_szMsg));

// Prefix of the plain message lines.
std::string ux_szProgName = "vexta";

// Current log file name (empty when none) and the stream that replaced
// standard error (null when none).
std::string ux_szLogFileName;
std::FILE* ux_fLogFile = nullptr;
// Descriptor of the standard error we replaced, restored by ux_CloseLog.
int hSavedStderr = -1;

// Module name; a module number outside the table speaks as "Unknown".
const char* ModuleName(int iModule) {
    return (iModule >= 0 && iModule < kMsgCount) ? ux_szMsg[iModule] : ux_szMsg[kModUnknown];
}

bool IsDefined(int iNumber) {
    return iNumber >= 0 && iNumber < kMsgCount;
}

int DetailLen(std::string_view sz) {
    return static_cast<int>(sz.size());
}

} // namespace

const std::string& ux_ProgName() {
    return ux_szProgName;
}

void ux_SetProgName(std::string_view szName) {
    ux_szProgName = szName;
}

void ux_Exit(int iStatus) {
    std::fflush(stderr);
    throw ux_FatalExit(iStatus);
}

void ux_FatalError(int iModule, int iNumber, std::string_view szDetail) {
    const int iCode = ux_MsgCode(iModule, iNumber);
    if (IsDefined(iNumber))
        std::fprintf(stderr, "%s: Fatal(%05d): %s%.*s\n", ModuleName(iModule), iCode,
                     ux_szMsg[iNumber], DetailLen(szDetail), szDetail.data());
    else
        std::fprintf(stderr, "%s: Fatal(%05d): undefined error/%.*s\n", ModuleName(iModule), iCode,
                     DetailLen(szDetail), szDetail.data());
    ux_Exit(iCode);
}

int ux_Warning(int iModule, int iNumber, std::string_view szDetail) {
    const int iCode = ux_MsgCode(iModule, iNumber);
    if (IsDefined(iNumber))
        return std::fprintf(stderr, "%s: Warn(%05d): %s%.*s\n", ModuleName(iModule), iCode,
                            ux_szMsg[iNumber], DetailLen(szDetail), szDetail.data());
    return std::fprintf(stderr, "%s: Warn(%05d): undefined code/%.*s\n", ModuleName(iModule), iCode,
                        DetailLen(szDetail), szDetail.data());
}

int ux_Log(int iModule, int iNumber, std::string_view szDetail) {
    if (IsDefined(iNumber))
        return std::fprintf(stderr, "%s %s%.*s\n", ModuleName(iModule), ux_szMsg[iNumber],
                            DetailLen(szDetail), szDetail.data());
    return std::fprintf(stderr, "%s: Log(%05d): undefined code/%.*s\n", ModuleName(iModule),
                        ux_MsgCode(iModule, iNumber), DetailLen(szDetail), szDetail.data());
}

int ux_LnMsgAdd(int iModule, int iNumber, long lLine, ux_MsgFn pfnMsg, std::string_view szDetail) {
    if (lLine == -1) return pfnMsg(iModule, iNumber, szDetail);
    std::string szLine;
    try {
        szLine.reserve(szDetail.size() + 28);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ux_base: fatal - no mem in ux_LnWarning/%.*s\n", DetailLen(szDetail),
                     szDetail.data());
        ux_Exit(9991);
    }
    char szPrefix[32];
    const int cch = std::snprintf(szPrefix, sizeof szPrefix, "[ln %ld] ", lLine);
    szLine.append(szPrefix, static_cast<std::size_t>(cch));
    szLine.append(szDetail);
    return pfnMsg(iModule, iNumber, szLine);
}

void ux_LnFatalError(int iModule, int iNumber, long lLine, std::string_view szDetail) {
    ux_LnMsgAdd(
        iModule, iNumber, lLine,
        [](int m, int n, std::string_view sz) -> int { ux_FatalError(m, n, sz); }, szDetail);
    ux_Exit(ux_MsgCode(iModule, iNumber)); // not reached
}

int ux_LnWarning(int iModule, int iNumber, long lLine, std::string_view szDetail) {
    return ux_LnMsgAdd(iModule, iNumber, lLine, ux_Warning, szDetail);
}

int ux_LnLog(int iModule, int iNumber, long lLine, std::string_view szDetail) {
    return ux_LnMsgAdd(iModule, iNumber, lLine, ux_Log, szDetail);
}

int ux_Error(std::string_view szPrefix, std::string_view szText, std::string_view szText2,
             int iStatus) {
    const int rc =
        std::fprintf(stderr, "%.*s: %.*s%.*s\n", DetailLen(szPrefix), szPrefix.data(),
                     DetailLen(szText), szText.data(), DetailLen(szText2), szText2.data());
    if (iStatus > 0) ux_Exit(iStatus);
    return rc;
}

namespace {

// Points standard error at pszName (append mode). Standard error is left
// untouched when the file cannot be opened.
bool RedirectStderr(const char* pszName) {
    const int h = ::open(pszName, O_WRONLY | O_CREAT | O_APPEND, 0666);
    if (h < 0) return false;
    std::fflush(stderr);
    if (hSavedStderr < 0) hSavedStderr = ::dup(STDERR_FILENO);
    const bool fOk = ::dup2(h, STDERR_FILENO) >= 0;
    ::close(h);
    return fOk;
}

} // namespace

int ux_OpenLog(const char* pszFileName) {
    if (pszFileName != nullptr && *pszFileName != '\0' && RedirectStderr(pszFileName)) {
        ux_szLogFileName = pszFileName;
        ux_fLogFile = stderr;
    } else if (RedirectStderr("stderr.log")) {
        ux_szLogFileName = "stderr.log";
        ux_fLogFile = stderr;
    } else {
        ux_szLogFileName = "<stderr>";
        ux_fLogFile = nullptr;
    }
    return 0;
}

const char* ux_GetLogFileName() {
    return ux_szLogFileName.c_str();
}

int ux_CloseLog() {
    int rc = 0;
    if (ux_fLogFile != nullptr) {
        rc = std::fflush(ux_fLogFile);
        // Close the log file and give standard error back to where it pointed
        // before, so that later diagnostics are not lost.
        if (hSavedStderr >= 0) {
            if (::dup2(hSavedStderr, STDERR_FILENO) < 0) rc = EOF;
            ::close(hSavedStderr);
            hSavedStderr = -1;
        }
    }
    ux_fLogFile = nullptr;
    ux_szLogFileName.clear();
    return rc;
}

// Memory service.

namespace {

constexpr long kMaxShortAlloc = 65535;
constexpr long kMaxLongAlloc = 0x7fffffffL;

template <typename... Args>
[[noreturn]] void FatalFmt(int iNumber, const char* pszFmt, Args... args) {
    char szDetail[128];
    std::snprintf(szDetail, sizeof szDetail, pszFmt, args...);
    ux_FatalError(kModBase, iNumber, szDetail);
}

void* AllocChecked(long cb, long cbMax, const char* pszFmt) {
    void* pv = (cb >= 0 && cb <= cbMax) ? std::malloc(static_cast<std::size_t>(cb)) : nullptr;
    if (pv == nullptr) FatalFmt(12, pszFmt, cb);
    return pv;
}

void* ReAllocChecked(void* pv, long cb, long cbMax, const char* pszFmt) {
    void* pvNew =
        (cb >= 0 && cb <= cbMax) ? std::realloc(pv, static_cast<std::size_t>(cb)) : nullptr;
    // realloc to 0 bytes may free the block and give null; hand out a fresh
    // minimal block so that the result is still usable and freeable.
    if (pvNew == nullptr && cb == 0) pvNew = std::malloc(1);
    if (pvNew == nullptr) FatalFmt(33, pszFmt, cb);
    return pvNew;
}

void NewHandler() {
    ux_FatalError(kModBase, 12, "unknown");
}

} // namespace

void* ux_Alloc(long cb) {
    return AllocChecked(cb, kMaxShortAlloc, "%ld");
}
void* ux_ReAlloc(void* pv, long cb) {
    return ReAllocChecked(pv, cb, kMaxShortAlloc, "%ld");
}
void* ux_LongAlloc(long cb) {
    return AllocChecked(cb, kMaxLongAlloc, "%ld");
}
void* ux_LongReAlloc(void* pv, long cb) {
    return ReAllocChecked(pv, cb, kMaxLongAlloc, "%ld");
}
void ux_Free(void* pv) {
    if (pv != nullptr) std::free(pv);
}

void ux_InstallNewHandler() {
    std::set_new_handler(NewHandler);
}

// File service.

namespace {

constexpr long kChunk = 32000;

} // namespace

namespace {

// The operating system's reason, on a line before the numbered message.
void uxp_OpenFailed(const std::string& szName) {
    const int iErr = errno;
    std::fprintf(stderr, "ux_base: cannot open %s: %s\n", szName.c_str(), std::strerror(iErr));
}

} // namespace

int ux_Open(std::string_view szFileName, std::string_view szMode) {
    const std::string szName(szFileName);
    if (szMode.starts_with("r")) {
        int h;
        do h = ::open(szName.c_str(), O_RDONLY);
        while (h < 0 && errno == EINTR);
        if (h < 0) {
            uxp_OpenFailed(szName);
            ux_FatalError(kModBase, 10, szName);
        }
        return h;
    }
    if (szMode.starts_with("w")) {
        int h;
        do h = ::open(szName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        while (h < 0 && errno == EINTR);
        if (h < 0) {
            uxp_OpenFailed(szName);
            ux_FatalError(kModBase, 11, szName);
        }
        return h;
    }
    ux_FatalError(kModBase, 10, szName + " (unknown open mode \"" + std::string(szMode) + "\")");
}

int ux_Close(int h) {
    if (::close(h) != 0 && errno != EINTR) FatalFmt(13, "%d", h);
    return 0;
}

namespace {

// One read(2) call that retries when interrupted; fatal 14 on failure.
long ReadChunk(int h, char* pch, long cb, long cbRemaining, long cbDone) {
    ssize_t cbRead;
    do cbRead = ::read(h, pch, static_cast<std::size_t>(cb));
    while (cbRead < 0 && errno == EINTR);
    if (cbRead < 0)
        FatalFmt(14, "%d, bytes %u, remaining %ld, read %d", h, static_cast<unsigned>(cb),
                 cbRemaining, static_cast<int>(cbDone));
    return static_cast<long>(cbRead);
}

} // namespace

long ux_Read(int h, void* pv, long n) {
    if (n <= 0) return n;
    char* pch = static_cast<char*>(pv);
    for (long cbLeft = n; cbLeft > 0;) {
        const long cb = cbLeft < kChunk ? cbLeft : kChunk;
        const long cbRead = ReadChunk(h, pch, cb, cbLeft - cb, 0);
        if (cbRead == 0) return 0;
        if (cbRead != cb)
            FatalFmt(14, "%d, bytes %u, remaining %ld, read %d", h, static_cast<unsigned>(cb),
                     cbLeft - cb, static_cast<int>(cbRead));
        pch += cb;
        cbLeft -= cb;
    }
    return n;
}

long ux_ReadMax(int h, void* pv, long n) {
    if (n <= 0) return 0;
    char* pch = static_cast<char*>(pv);
    long cbTotal = 0;
    while (cbTotal < n) {
        const long cb = n - cbTotal < kChunk ? n - cbTotal : kChunk;
        const long cbRead = ReadChunk(h, pch + cbTotal, cb, n - cbTotal - cb, cbTotal);
        cbTotal += cbRead;
        if (cbRead < cb) break;
    }
    return cbTotal;
}

long ux_ReadLn(int h, std::span<char> szBuf) {
    if (szBuf.empty()) return 0;
    const std::size_t cchMax = szBuf.size() - 1;
    std::size_t cch = 0;
    while (cch < cchMax) {
        char ch;
        ssize_t cbRead;
        do cbRead = ::read(h, &ch, 1);
        while (cbRead < 0 && errno == EINTR);
        if (cbRead < 0) FatalFmt(14, "%d, bytes %lu", h, static_cast<unsigned long>(cch));
        if (cbRead == 0 || ch == '\n') break;
        szBuf[cch++] = ch;
    }
    szBuf[cch] = '\0';
    return static_cast<long>(cch);
}

long ux_Write(int h, const void* pv, long n) {
    if (n <= 0) return n;
    const char* pch = static_cast<const char*>(pv);
    for (long cbLeft = n; cbLeft > 0;) {
        const long cb = cbLeft < kChunk ? cbLeft : kChunk;
        ssize_t cbWritten;
        do cbWritten = ::write(h, pch, static_cast<std::size_t>(cb));
        while (cbWritten < 0 && errno == EINTR);
        if (cbWritten != cb)
            FatalFmt(15, "%d, bytes to write %u, remaining %ld, written %d", h,
                     static_cast<unsigned>(cb), cbLeft - cb, static_cast<int>(cbWritten));
        pch += cb;
        cbLeft -= cb;
    }
    return n;
}

long ux_Seek(int h, long lOffset, int iOrigin) {
    const off_t lPos = ::lseek(h, static_cast<off_t>(lOffset), iOrigin);
    if (lPos < 0) FatalFmt(16, "%d", h);
    return static_cast<long>(lPos);
}

std::string ux_FollowLinks(std::string_view szFileName) {
    std::string szPath(szFileName);
    // As many links as the system follows in one path.
    for (int cLinks = 0; cLinks < 40; ++cLinks) {
        char szTarget[4096];
        const ssize_t cch = ::readlink(szPath.c_str(), szTarget, sizeof szTarget);
        if (cch < 0 || static_cast<std::size_t>(cch) >= sizeof szTarget) return szPath;
        std::string szNext(szTarget, static_cast<std::size_t>(cch));
        const std::size_t iSlash = szPath.rfind('/');
        if (szNext.front() != '/' && iSlash != std::string::npos)
            szNext.insert(0, szPath, 0, iSlash + 1);
        szPath = std::move(szNext);
    }
    return std::string(szFileName);
}

int ux_CheckCreate(std::string_view szFileName) {
    const std::string szName(szFileName);
    int h;
    do h = ::open(szName.c_str(), O_WRONLY | O_CLOEXEC);
    while (h < 0 && errno == EINTR);
    if (h >= 0) {
        ::close(h);
        return 0;
    }
    if (errno != ENOENT) return errno;
    do h = ::open(szName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (h < 0 && errno == EINTR);
    if (h < 0) return errno;
    ::close(h);
    ::unlink(szName.c_str());
    return 0;
}

namespace {

constexpr int rgiCleanupSignal[] = {SIGINT, SIGTERM, SIGHUP};
// The file to remove, kept where a signal handler may read it.
char szRemoveOnSignal[4096];
volatile std::sig_atomic_t fRemoveOnSignal = 0;

extern "C" void RemoveAndDie(int iSignal) {
    if (fRemoveOnSignal) ::unlink(szRemoveOnSignal);
    std::signal(iSignal, SIG_DFL);
    std::raise(iSignal);
}

} // namespace

struct ux_RemoveOnSignal::Saved {
    struct sigaction rgsa[std::size(rgiCleanupSignal)];
};

ux_RemoveOnSignal::ux_RemoveOnSignal(const std::string& szName) {
    if (szName.size() >= sizeof szRemoveOnSignal) return;
    std::memcpy(szRemoveOnSignal, szName.c_str(), szName.size() + 1);
    fRemoveOnSignal = 1;
    psaved_ = std::make_unique<Saved>();
    struct sigaction sa {};
    sa.sa_handler = RemoveAndDie;
    sigemptyset(&sa.sa_mask);
    for (std::size_t i = 0; i < std::size(rgiCleanupSignal); ++i) {
        ::sigaction(rgiCleanupSignal[i], nullptr, &psaved_->rgsa[i]);
        if (psaved_->rgsa[i].sa_handler != SIG_IGN) ::sigaction(rgiCleanupSignal[i], &sa, nullptr);
    }
}

ux_RemoveOnSignal::~ux_RemoveOnSignal() {
    if (!psaved_) return;
    for (std::size_t i = 0; i < std::size(rgiCleanupSignal); ++i)
        ::sigaction(rgiCleanupSignal[i], &psaved_->rgsa[i], nullptr);
    fRemoveOnSignal = 0;
}

void ux_WriteFailed(int h, std::string_view szFileName, int iErrno) {
    const int cchName = static_cast<int>(szFileName.size());
    char szDetail[512];
    std::snprintf(szDetail, sizeof szDetail, "%d (%.*s): %s", h, cchName, szFileName.data(),
                  iErrno != 0 ? std::strerror(iErrno) : "write error");
    ux_FatalError(kModBase, 15, szDetail);
}

namespace {

constexpr std::string_view kStdoutName = "standard output";

[[noreturn]] void StdoutFailed() {
    const int iErrno = errno;
    // Nothing more can reach the output; do not try again at exit.
    std::clearerr(stdout);
    ux_WriteFailed(STDOUT_FILENO, kStdoutName, iErrno);
}

} // namespace

void ux_OutWrite(std::string_view sz) {
    if (std::fwrite(sz.data(), 1, sz.size(), stdout) != sz.size()) StdoutFailed();
}

void ux_OutChar(char ch) {
    if (std::putc(ch, stdout) == EOF) StdoutFailed();
}

void ux_OutFlush() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) StdoutFailed();
}

void ux_OutClose() {
    ux_OutFlush();
    // Closing a second descriptor of the output reports what a close of the
    // file reports (such as a failed write-back), and standard output stays
    // open for a later run in the same process.
    errno = 0;
    const int h = ::dup(STDOUT_FILENO);
    if (h >= 0 && ::close(h) != 0) ux_WriteFailed(STDOUT_FILENO, kStdoutName, errno);
}

void ux_VStrPrintf(std::string& szOut, const char* pszFormat, std::va_list args) {
    std::va_list args2;
    va_copy(args2, args);
    char szBuf[256];
    const int cch = std::vsnprintf(szBuf, sizeof szBuf, pszFormat, args2);
    va_end(args2);
    if (cch <= 0) return;
    const auto cb = static_cast<std::size_t>(cch);
    if (cb < sizeof szBuf) {
        szOut.append(szBuf, cb);
        return;
    }
    // Too long for the buffer: formatted again, straight into the string
    // (whose terminating character takes the formatter's).
    const std::size_t ich = szOut.size();
    szOut.resize(ich + cb);
    std::vsnprintf(szOut.data() + ich, cb + 1, pszFormat, args);
}

std::string ux_StrPrintf(const char* pszFormat, ...) {
    std::string sz;
    std::va_list args;
    va_start(args, pszFormat);
    ux_VStrPrintf(sz, pszFormat, args);
    va_end(args);
    return sz;
}

} // namespace vexta
