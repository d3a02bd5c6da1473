// Zero-terminated string copies in stable blocks.

#include "base/string_arena.h"

namespace vexta {

const char* StringArena::Add(std::string_view sz) {
    char* const psz = blocks_.Room(sz.size() + 1);
    sz.copy(psz, sz.size());
    psz[sz.size()] = '\0';
    blocks_.Keep(sz.size() + 1);
    return psz;
}

} // namespace vexta
