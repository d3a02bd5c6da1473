// Numbered messages, log redirection, and memory and file wrappers that end
// the run (ux_FatalExit) instead of returning failures.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace vexta {

// Module numbers of the message table.
inline constexpr int kModUnknown = 0;
inline constexpr int kModBase = 3; // "ux_base"
inline constexpr int kModArg = 6;  // "ux_arg"
inline constexpr int kModHash = 7; // "ux_hash"
inline constexpr int kModApp = 8;  // "App"
inline constexpr int kModMain = 9; // "main"

// The application's usual message number ("tag: "); its fatal status is 18032.
inline constexpr int kMsgApp = 32;

// Status of a message: 10000 + 1000 * module + number.
constexpr int ux_MsgCode(int iModule, int iNumber) {
    return 10000 + 1000 * iModule + iNumber;
}

// How a run ends early: the message has already been printed, and the error
// unwinds to the driver, which ends the process with Status(). Library code
// never ends the process itself, so a caller may catch it and go on.
class ux_FatalExit : public std::exception {
public:
    explicit ux_FatalExit(int iStatus) noexcept : iStatus_(iStatus) {}
    int Status() const noexcept { return iStatus_; }
    const char* what() const noexcept override { return "vexta: run ended by a fatal error"; }

private:
    int iStatus_;
};

// The one exit path: flushes standard error and throws ux_FatalExit(iStatus).
[[noreturn]] void ux_Exit(int iStatus);

// Fatal error: prints one line to standard error and ends the run (ux_Exit)
// with the message code.
[[noreturn]] void ux_FatalError(int iModule, int iNumber, std::string_view szDetail);
int ux_Warning(int iModule, int iNumber, std::string_view szDetail);
int ux_Log(int iModule, int iNumber, std::string_view szDetail);

// The program path that begins the plain progress and error lines
// ("<program>: ..."); "vexta" until the driver sets the command's first word.
const std::string& ux_ProgName();
void ux_SetProgName(std::string_view szName);

// One of the three plain message operations (ux_FatalError fits through a wrapper).
using ux_MsgFn = int (*)(int iModule, int iNumber, std::string_view szDetail);

// Common worker of the line-numbered forms: passes "[ln <line>] <detail>" (or the
// detail unchanged when lLine is -1) to pfnMsg.
int ux_LnMsgAdd(int iModule, int iNumber, long lLine, ux_MsgFn pfnMsg, std::string_view szDetail);

// Line-numbered forms: the detail is prefixed with "[ln %ld] " unless lLine is -1.
[[noreturn]] void ux_LnFatalError(int iModule, int iNumber, long lLine, std::string_view szDetail);
int ux_LnWarning(int iModule, int iNumber, long lLine, std::string_view szDetail);
int ux_LnLog(int iModule, int iNumber, long lLine, std::string_view szDetail);

// Prints "%s: %s%s\n"; ends the run (ux_Exit) with iStatus when it is greater than 0.
int ux_Error(std::string_view szPrefix, std::string_view szText, std::string_view szText2,
             int iStatus);

// printf-style formatting into a string, for the detail texts of messages.
std::string ux_StrPrintf(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
// The same with the arguments as a va_list (for functions that take printf
// arguments of their own), appended to szOut; short texts need no memory
// beyond szOut's own. args is used up, as by vsnprintf.
void ux_VStrPrintf(std::string& szOut, const char* pszFormat, std::va_list args)
    __attribute__((format(printf, 2, 0)));

// Log redirection of standard error.
int ux_OpenLog(const char* pszFileName);
const char* ux_GetLogFileName();
int ux_CloseLog();

// Memory service: failures end the run with fatal 12 (allocation) or 33
// (reallocation) of module 3, so the results are never null. Blocks are
// released with ux_Free. The plain forms take sizes of 0..65535 bytes; larger
// (or negative) sizes are refused with the same fatal message instead of being
// cut to 16 bits. The long forms take any size of 0..2^31-1.
void* ux_Alloc(long cb);
void* ux_ReAlloc(void* pv, long cb);
void* ux_LongAlloc(long cb);
void* ux_LongReAlloc(void* pv, long cb);
void ux_Free(void* pv);

// Deleter for owning blocks of the memory service in a std::unique_ptr.
struct ux_FreeDeleter {
    void operator()(void* pv) const { ux_Free(pv); }
};

// Makes allocation failures inside standard containers and operator new end
// the run with fatal 13012 ("Cannot allocate memory; bytes == unknown")
// instead of throwing. The driver calls it once at start-up.
void ux_InstallNewHandler();

// File service over POSIX handles; every failure ends the run with a
// numbered fatal message of module 3.
//
// Mode "r..." opens read-only, "w..." write-only (created or truncated, bits
// 0666 under the file-creation mask, as for any data file); fatal 10 / 11
// when that fails, and fatal 10 for any other mode.
int ux_Open(std::string_view szFileName, std::string_view szMode);
// 0; fatal 13.
int ux_Close(int h);
// Reads exactly n bytes in chunks of at most 32000: n, or 0 when the end of
// the file is met at the start of a chunk; a chunk read only in part is fatal 14.
long ux_Read(int h, void* pv, long n);
// Reads up to n bytes, stopping at the first short chunk: the number read.
long ux_ReadMax(int h, void* pv, long n);
// Reads single bytes until a newline (not kept), the end of the file or
// szBuf.size() - 1 characters; terminates the text in szBuf and returns the
// number of characters stored.
long ux_ReadLn(int h, std::span<char> szBuf);
// Writes all n bytes in chunks of at most 32000: n; fatal 15.
long ux_Write(int h, const void* pv, long n);
// The new position; fatal 16.
long ux_Seek(int h, long lOffset, int iOrigin);

// The file a path names in the end: symbolic links are followed (a relative
// link target is taken from the link's directory) until a path that is not
// a link, which need not exist. The path itself when it is not a link, or
// when the links go round in a loop.
std::string ux_FollowLinks(std::string_view szFileName);

// Checks, without changing anything, that the file szFileName could be
// written: an existing one must open for writing and must not be a
// directory; a new one must be creatable (it is created and removed again).
// 0, or the system error that writing would meet.
int ux_CheckCreate(std::string_view szFileName);

// While it lives, SIGINT, SIGTERM and SIGHUP first remove the file szName
// (a temporary file being written), then end the process as the signal
// would have; a signal the process ignores stays ignored. The handlers met
// before are given back at the end. One may live at a time.
class ux_RemoveOnSignal {
public:
    explicit ux_RemoveOnSignal(const std::string& szName);
    ~ux_RemoveOnSignal();
    ux_RemoveOnSignal(const ux_RemoveOnSignal&) = delete;
    ux_RemoveOnSignal& operator=(const ux_RemoveOnSignal&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> psaved_;
};

// A write to the file szFileName (open on handle h) failed with the system
// error iErrno: fatal 15 with the handle, the file name and the system's
// reason, as in "1 (standard output): No space left on device".
[[noreturn]] void ux_WriteFailed(int h, std::string_view szFileName, int iErrno);

// Checked output on standard output: a write that fails ends the run with
// ux_WriteFailed. ux_OutFlush also catches failures of unchecked writes made
// earlier (the stream's error flag); ux_OutClose flushes standard output at
// the end of a run and checks what closing it would report, leaving it open.
void ux_OutWrite(std::string_view sz);
void ux_OutChar(char ch);
void ux_OutFlush();
void ux_OutClose();

} // namespace vexta
