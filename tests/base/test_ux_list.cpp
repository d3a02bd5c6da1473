// String lists: sorted insertion, uniqueness, lookup and node recycling.
#include "base/ux_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexta {
namespace {

std::vector<std::string> Strings(const listsz* pl) {
    std::vector<std::string> rg;
    for (; pl != nullptr; pl = pl->next) rg.emplace_back(pl->psz);
    return rg;
}

using Strs = std::vector<std::string>;

TEST(ListszSortIn, Orders) {
    const Strs rgExpected[] = {{"a", "b", "c"}, {"c", "b", "a"}, {"b", "a", "c"}};
    for (int iOrder = 1; iOrder <= 3; ++iOrder) {
        listsz* pl = nullptr;
        for (const char* psz : {"b", "a", "c"})
            ASSERT_NE(ux_listszSortIn(&pl, psz, iOrder, false), nullptr);
        EXPECT_EQ(Strings(pl), rgExpected[iOrder - 1]) << "order " << iOrder;
        ux_listszFreeListCopy(pl);
    }
}

TEST(ListszSortIn, ByteOrderAndEqualStrings) {
    listsz* pl = nullptr;
    for (const char* psz : {"b", "\xE1", "B", "ab", "a", ""}) ux_listszSortIn(&pl, psz, 1, false);
    EXPECT_EQ(Strings(pl), (Strs{"", "B", "a", "ab", "b", "\xE1"}));

    // Without the unique flag an equal string goes after the existing ones.
    listsz* plSecond = ux_listszSortIn(&pl, "ab", 1, false);
    EXPECT_EQ(Strings(pl), (Strs{"", "B", "a", "ab", "ab", "b", "\xE1"}));
    EXPECT_EQ(pl->next->next->next->next, plSecond);
    ux_listszFreeListCopy(pl);

    listsz* plDesc = nullptr;
    for (const char* psz : {"x", "y", "x"}) ux_listszSortIn(&plDesc, psz, 2, false);
    EXPECT_EQ(Strings(plDesc), (Strs{"y", "x", "x"}));
    ux_listszFreeListCopy(plDesc);
}

TEST(ListszSortIn, UniqueReturnsExistingNode) {
    for (int iOrder = 1; iOrder <= 2; ++iOrder) {
        listsz* pl = nullptr;
        listsz* plA = ux_listszSortIn(&pl, "a", iOrder, true);
        ux_listszSortIn(&pl, "m", iOrder, true);
        EXPECT_EQ(ux_listszSortIn(&pl, "a", iOrder, true), plA);
        EXPECT_EQ(ux_listszSortInCopy(&pl, std::string("a"), iOrder, true), plA);
        EXPECT_EQ(Strings(pl).size(), 2u);
        ux_listszFreeListCopy(pl);
    }
    // Appending never compares, so the flag does not apply.
    listsz* pl = nullptr;
    ux_listszSortIn(&pl, "a", 3, true);
    ux_listszSortIn(&pl, "a", 3, true);
    EXPECT_EQ(Strings(pl), (Strs{"a", "a"}));
    ux_listszFreeListCopy(pl);
}

TEST(ListszSortIn, RefusedInputs) {
    listsz* pl = nullptr;
    EXPECT_EQ(ux_listszSortIn(&pl, "a", 0, false), nullptr);
    EXPECT_EQ(ux_listszSortIn(&pl, "a", 4, false), nullptr);
    EXPECT_EQ(ux_listszSortIn(&pl, std::string(32001, 'x'), 1, false), nullptr);
    EXPECT_EQ(pl, nullptr);
    EXPECT_EQ(ux_listszNewCopy(std::string(32001, 'x')), nullptr);
    listsz* plMax = ux_listszSortIn(&pl, std::string(32000, 'x'), 1, false);
    ASSERT_NE(plMax, nullptr);
    EXPECT_EQ(std::string(plMax->psz).size(), 32000u);
    ux_listszFreeListCopy(pl);
}

TEST(Listsz, CopiesAreTheNodesOwn) {
    std::string sz = "tag";
    listsz* pl = ux_listszNewCopy(sz);
    sz[0] = 'x';
    EXPECT_STREQ(pl->psz, "tag");
    EXPECT_NE(pl->psz, sz.c_str());
    ux_listszFreeCopy(pl);

    const char* pszLent = "lent";
    listsz* plLent = ux_listszNew(pszLent);
    EXPECT_EQ(plLent->psz, pszLent);
    EXPECT_EQ(plLent->next, nullptr);
    ux_listszFreeCopy(plLent); // nothing of the caller's is released
    EXPECT_STREQ(pszLent, "lent");
}

TEST(Listsz, FreedNodesAreReusedNewestFirst) {
    listsz* pl1 = ux_listszNew("1");
    listsz* pl2 = ux_listszNew("2");
    EXPECT_EQ(ux_listszFree(pl1), pl1);
    EXPECT_STREQ(pl1->psz, "1"); // the string is left alone
    ux_listszFree(pl2);
    EXPECT_EQ(ux_listszNew("a"), pl2);
    EXPECT_EQ(ux_listszNewCopy("b"), pl1);
    EXPECT_EQ(pl1->next, nullptr);
    EXPECT_STREQ(pl1->psz, "b");

    // A freed list comes back node by node, last node first.
    listsz* pl = nullptr;
    for (const char* psz : {"a", "b", "c"}) ux_listszSortIn(&pl, psz, 1, false);
    std::vector<listsz*> rgpl;
    for (listsz* p = pl; p != nullptr; p = p->next) rgpl.push_back(p);
    ux_listszFreeListCopy(pl);
    EXPECT_EQ(ux_listszNew("x"), rgpl[2]);
    EXPECT_EQ(ux_listszNew("y"), rgpl[1]);
    EXPECT_EQ(ux_listszNew("z"), rgpl[0]);
    ux_listszFree(pl2);
    ux_listszFreeCopy(pl1);
    for (listsz* p : rgpl) ux_listszFree(p);
}

TEST(Listsz, PushAndInList) {
    listsz* plDup = ux_listszNewCopy("NN");
    listsz* pl =
        ux_listszPush(ux_listszPush(ux_listszNewCopy("NN"), ux_listszNewCopy("VB")), plDup);
    EXPECT_EQ(Strings(pl), (Strs{"NN", "VB", "NN"}));
    EXPECT_EQ(ux_listszInList(pl, "NN"), plDup);
    EXPECT_EQ(ux_listszInList(pl, "N"), nullptr);
    ux_listszFreeListCopy(pl);
}

TEST(Llsz, NodesHoldListsAndAreReused) {
    listsz* plTags = ux_listszNewCopy("NN");
    llsz* pll = ux_llszNew(plTags);
    EXPECT_EQ(pll->plistsz, plTags);
    EXPECT_EQ(pll->next, nullptr);
    llsz* pll2 = ux_llszNew(nullptr);
    llsz* pllList = ux_llszPush(ux_llszPush(nullptr, pll), pll2);
    EXPECT_EQ(pllList, pll2);
    EXPECT_EQ(pll2->next, pll);
    EXPECT_EQ(ux_llszFree(pll), pll);
    EXPECT_EQ(pll->plistsz, plTags); // the string list is left alone
    EXPECT_EQ(ux_llszNew(nullptr), pll);
    EXPECT_EQ(pll->next, nullptr);
    ux_llszFree(pll);
    ux_llszFree(pll2);
    ux_listszFreeCopy(plTags);
}

} // namespace
} // namespace vexta
