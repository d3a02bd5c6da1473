// String lists: sorted insertion, uniqueness and node recycling.
#include "base/ux_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexta {
namespace {

using Strs = std::vector<std::string>;

Strs Strings(const listsz* pl) {
    Strs rg;
    for (; pl != nullptr; pl = pl->next) rg.emplace_back(pl->psz);
    return rg;
}

TEST(Listsz, OrderUniquenessLimitsAndRecycling) {
    struct Case {
        int iOrder;
        bool fUnique;
        Strs rgIn, rgOut;
    };
    // Byte order; without the unique flag an equal string goes after the
    // existing ones; appending never compares, so the flag does not apply.
    for (const Case& c :
         {Case{1,
               false,
               {"b", "\xE1", "B", "ab", "a", "", "ab"},
               {"", "B", "a", "ab", "ab", "b", "\xE1"}},
          Case{2, false, {"x", "y", "x", "a"}, {"y", "x", "x", "a"}},
          Case{1, true, {"m", "a", "m", "a"}, {"a", "m"}},
          Case{2, true, {"m", "a", "m", "a"}, {"m", "a"}}, Case{3, true, {"a", "a"}, {"a", "a"}}}) {
        listsz* pl = nullptr;
        std::vector<listsz*> rgpl;
        for (const std::string& sz : c.rgIn)
            rgpl.push_back(ux_listszSortIn(&pl, sz, c.iOrder, c.fUnique));
        EXPECT_EQ(Strings(pl), c.rgOut) << c.iOrder << c.fUnique;
        if (c.fUnique && c.iOrder != 3) {
            EXPECT_EQ(rgpl[2], rgpl[0]); // the node met before
        }
        ux_listszFreeListCopy(pl);
    }

    listsz* pl = nullptr;
    EXPECT_EQ(ux_listszSortIn(&pl, "a", 0, false), nullptr);
    EXPECT_EQ(ux_listszSortIn(&pl, std::string(32001, 'x'), 1, false), nullptr);
    EXPECT_EQ(pl, nullptr);

    // A freed list goes onto the free list node by node: its last node comes back first.
    for (const char* psz : {"a", "b", "c"}) ux_listszSortIn(&pl, psz, 1, false);
    std::vector<listsz*> rgpl;
    for (listsz* p = pl; p != nullptr; p = p->next) rgpl.push_back(p);
    ux_listszFreeListCopy(pl);
    EXPECT_EQ(ux_listszNew("x"), rgpl[2]);
    EXPECT_EQ(ux_listszNewCopy("y"), rgpl[1]);
    EXPECT_STREQ(rgpl[1]->psz, "y");
    ux_listszFree(rgpl[2]);
    ux_listszFreeCopy(rgpl[1]);
}

} // namespace
} // namespace vexta
