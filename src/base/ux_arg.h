// Argument files: definitions "key = value" with comments, includes, variable
// references ${name} expanded on request, and values made of blank-separated
// fields. Module "ux_arg" of the message service; every failure is fatal.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexta {

// Codes the reader puts into stored keys and values (never read from a file).
inline constexpr char kArgRefStart = '\x01'; // start of a variable reference
inline constexpr char kArgRefEnd = '\x02';   // end of a variable reference
inline constexpr char kArgFileSep = '\x05';  // file qualifier | variable name
inline constexpr char kArgFieldSep = '\x06'; // field separator inside a value

// Buffer size of the usual value request: values of up to 246 characters fit.
inline constexpr int kArgValueLen = 248;

// Creates the open-file table with cSlots slots. Fatal 19 when it exists.
int ux_ArgInit(int cSlots);

// Reads an argument file into memory and keeps it open until ux_ArgClose.
// The name may carry a parenthesised parameter list (ignored) and quotes;
// an empty name or "stdin" reads standard input. Returns 0 (1 when the
// table of files cannot be created).
int ux_ArgOpen(std::string_view szFileName);

// Result of ux_ArgOpenWithLog when the key "Log" is not defined.
inline constexpr int kArgNoLog = 101;

// As ux_ArgOpen, then redirects standard error to the file named by key
// "Log". Returns kArgNoLog when "Log" is not defined, else 0.
int ux_ArgOpenWithLog(std::string_view szFileName);

// Forgets every open file; a later ux_ArgOpen starts a new table.
int ux_ArgClose();

// Result of ux_ArgGetValue for a key that is not defined.
inline constexpr int kArgUndefined = 3;

// Value of szKey in the open file szFile (named as given to ux_ArgOpen or by
// its parsed name) with every reference expanded.
// The result holds at most szOut.size() - 2 characters and is terminated.
// Returns 0 when defined, kArgUndefined when not defined or when the
// expansion meets an undefined variable (szOut then holds the empty string). An unknown file is
// fatal 28; a result that does not fit is fatal 201 or 202.
int ux_ArgGetValue(std::string_view szFile, std::string_view szKey, std::span<char> szOut);
// The same with a request buffer of len bytes; szOut receives the value.
int ux_ArgGetValue(std::string_view szFile, std::string_view szKey, std::string& szOut,
                   int len = kArgValueLen);

// Adds the definition szKey = szValue (stored as given) ahead of all earlier
// ones, so that it overrides them. Fatal 28 when the file is not open.
int ux_ArgSetValue(std::string_view szFile, std::string_view szKey, std::string_view szValue);

// Reads szDefinition ("key = value", or several lines of them) as text of
// the open file szFile, after everything read so far: quotes, fields,
// references and continuation lines work as in the file, and the new
// definitions override the earlier ones. Parse errors are fatal 25 and name
// szWhere instead of the file. Fatal 28 when the file is not open.
int ux_ArgDefine(std::string_view szFile, std::string_view szDefinition, std::string_view szWhere);

// What an open file defines and refers to: every key it defines (names built
// from references expanded; those that cannot be expanded left out) and
// every variable name that a reference in a key or a value uses (without its
// file qualifier). Both sorted, each name once.
struct ArgKeyUse {
    std::vector<std::string> rgszDefined;
    std::vector<std::string> rgszReferenced;
};
ArgKeyUse ux_ArgKeyUse(std::string_view szFile);

// Every key whose value was asked for in the open file szFile, sorted.
std::vector<std::string> ux_ArgRequestedKeys(std::string_view szFile);

// Number of fields of a value: -1 for a null string, 0 for the empty string,
// else 1 + the number of field separators.
int ux_ArgCountFields(const char* pszValue);
int ux_ArgCountFields(std::string_view szValue);

// Copies field n (0-based) of szValue: at most szOut.size() - 1 characters
// followed by a terminator. Fatal 29 when n is not a field index.
int ux_ArgGetField(std::string_view szValue, int n, std::span<char> szOut);
// The same into a string, the whole field.
int ux_ArgGetField(std::string_view szValue, int n, std::string& szOut);

} // namespace vexta
