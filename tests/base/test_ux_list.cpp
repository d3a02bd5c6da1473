// String lists: sorted insertion, uniqueness, lookup and node recycling.
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

TEST(Listsz, SortInOrdersUniquenessAndLimits) {
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
          Case{3, false, {"b", "a", "c"}, {"b", "a", "c"}},
          Case{1, true, {"m", "a", "m", "a"}, {"a", "m"}},
          Case{2, true, {"m", "a", "m", "a"}, {"m", "a"}}, Case{3, true, {"a", "a"}, {"a", "a"}}}) {
        listsz* pl = nullptr;
        std::vector<listsz*> rgpl;
        for (const std::string& sz : c.rgIn)
            rgpl.push_back(ux_listszSortIn(&pl, sz, c.iOrder, c.fUnique));
        EXPECT_EQ(Strings(pl), c.rgOut) << c.iOrder << c.fUnique;
        if (c.fUnique && c.iOrder != 3) { // the node met before comes back
            EXPECT_EQ(rgpl[2], rgpl[0]);
            EXPECT_EQ(ux_listszSortInCopy(&pl, "a", c.iOrder, true), rgpl[1]);
        }
        if (c.iOrder == 1 && !c.fUnique) {
            EXPECT_EQ(pl->next->next->next->next, rgpl.back());
        }
        ux_listszFreeListCopy(pl);
    }

    listsz* pl = nullptr;
    EXPECT_EQ(ux_listszSortIn(&pl, "a", 0, false), nullptr);
    EXPECT_EQ(ux_listszSortIn(&pl, "a", 4, false), nullptr);
    EXPECT_EQ(ux_listszSortIn(&pl, std::string(32001, 'x'), 1, false), nullptr);
    EXPECT_EQ(ux_listszNewCopy(std::string(32001, 'x')), nullptr);
    EXPECT_EQ(pl, nullptr);
    ASSERT_NE(ux_listszSortIn(&pl, std::string(32000, 'x'), 1, false), nullptr);
    EXPECT_EQ(std::string(pl->psz).size(), 32000u);
    ux_listszFreeListCopy(pl);
}

TEST(Listsz, CopiesLendingPushAndLookup) {
    std::string sz = "tag";
    listsz* pl = ux_listszNewCopy(sz);
    sz[0] = 'x';
    EXPECT_STREQ(pl->psz, "tag");
    const char* pszLent = "lent";
    listsz* plLent = ux_listszNew(pszLent);
    EXPECT_EQ(plLent->psz, pszLent);
    ux_listszFreeCopy(plLent); // nothing of the caller's is released
    EXPECT_STREQ(pszLent, "lent");

    listsz* plDup = ux_listszNewCopy("NN");
    pl = ux_listszPush(ux_listszPush(pl, ux_listszNewCopy("VB")), plDup);
    EXPECT_EQ(Strings(pl), (Strs{"NN", "VB", "tag"}));
    EXPECT_EQ(ux_listszInList(pl, "NN"), plDup);
    EXPECT_EQ(ux_listszInList(pl, "N"), nullptr);
    ux_listszFreeListCopy(pl);
}

TEST(Listsz, FreedNodesAreReusedNewestFirst) {
    // A freed list goes onto the free list node by node: its last node comes back first.
    listsz* pl = nullptr;
    for (const char* psz : {"a", "b", "c"}) ux_listszSortIn(&pl, psz, 1, false);
    std::vector<listsz*> rgpl;
    for (listsz* p = pl; p != nullptr; p = p->next) rgpl.push_back(p);
    ux_listszFreeListCopy(pl);
    EXPECT_EQ(ux_listszNew("x"), rgpl[2]);
    EXPECT_EQ(ux_listszNewCopy("y"), rgpl[1]);
    EXPECT_EQ(rgpl[1]->next, nullptr);
    EXPECT_STREQ(rgpl[1]->psz, "y");
    EXPECT_EQ(ux_listszFree(rgpl[2]), rgpl[2]);
    EXPECT_STREQ(rgpl[2]->psz, "x"); // the string is left alone
    EXPECT_EQ(ux_listszNew("z"), rgpl[2]);
    ux_listszFree(rgpl[2]);
    ux_listszFreeCopy(rgpl[1]);

    // Lists of lists recycle their nodes the same way; the string list is left alone.
    listsz* plTags = ux_listszNewCopy("NN");
    llsz* pll = ux_llszNew(plTags);
    llsz* pll2 = ux_llszNew(nullptr);
    EXPECT_EQ(ux_llszPush(ux_llszPush(nullptr, pll), pll2), pll2);
    EXPECT_EQ(pll2->next, pll);
    EXPECT_EQ(ux_llszFree(pll), pll);
    EXPECT_EQ(pll->plistsz, plTags);
    EXPECT_EQ(ux_llszNew(nullptr), pll);
    EXPECT_EQ(pll->next, nullptr);
    ux_llszFree(pll);
    ux_llszFree(pll2);
    ux_listszFreeCopy(plTags);
}

} // namespace
} // namespace vexta
