// Helpers shared by the model tests: a model with its own string table and a
// way to capture what a function prints to a stream.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/ux_hash.h"
#include "model/model.h"

namespace vexta::test {

// Interns szText in the model's string table.
inline const char* Intern(Model& m, std::string_view szText) {
    const char* psz = nullptr;
    ux_HashMemberPtr(m.phashStr.get(), szText, &psz);
    return psz;
}

// Gives the model a string table and the interned empty string.
inline void InitStrings(Model& m) {
    m.phashStr = ux_HashNew(1000, 20000, 4000);
    m.pszEmpty = Intern(m, "");
}

// Runs fn(FILE*) on a memory stream and returns what it wrote.
template <typename Fn> std::string CaptureStream(Fn fn) {
    char* pBuf = nullptr;
    size_t cb = 0;
    std::FILE* pf = open_memstream(&pBuf, &cb);
    fn(pf);
    std::fclose(pf);
    std::string s(pBuf, cb);
    std::free(pBuf);
    return s;
}

} // namespace vexta::test
