// Numbered messages, log redirection, and memory and file wrappers that end
// the process instead of returning failures.
#pragma once

#include <cstdio>
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

// Fatal error: prints one line to standard error and exits with the message code.
[[noreturn]] void ux_FatalError(int iModule, int iNumber, std::string_view szDetail);
int ux_Warning(int iModule, int iNumber, std::string_view szDetail);
int ux_Log(int iModule, int iNumber, std::string_view szDetail);

// One of the three plain message operations (ux_FatalError fits through a wrapper).
using ux_MsgFn = int (*)(int iModule, int iNumber, std::string_view szDetail);

// Common worker of the line-numbered forms: passes "[ln <line>] <detail>" (or the
// detail unchanged when lLine is -1) to pfnMsg.
int ux_LnMsgAdd(int iModule, int iNumber, long lLine, ux_MsgFn pfnMsg, std::string_view szDetail);

// Line-numbered forms: the detail is prefixed with "[ln %ld] " unless lLine is -1.
[[noreturn]] void ux_LnFatalError(int iModule, int iNumber, long lLine, std::string_view szDetail);
int ux_LnWarning(int iModule, int iNumber, long lLine, std::string_view szDetail);
int ux_LnLog(int iModule, int iNumber, long lLine, std::string_view szDetail);

// Prints "%s: %s%s\n"; exits with iStatus when it is greater than 0.
int ux_Error(std::string_view szPrefix, std::string_view szText, std::string_view szText2,
             int iStatus);

// Log redirection of standard error.
int ux_OpenLog(const char* pszFileName);
const char* ux_GetLogFileName();
int ux_CloseLog();

} // namespace vexta
