// Singly linked string lists and lists of such lists, with node recycling.
//
// Nodes come from a process-wide pool that owns them for the life of the
// process; freed nodes go onto a free list and are handed out again (newest
// freed first) before the pool grows. Callers hold nodes by plain pointer and
// never delete them. A list is a pointer to its first node, null when empty.
#pragma once

#include <string>
#include <string_view>

namespace vexta {

inline constexpr std::size_t kListszMaxCopy = 32000; // longest string a node copies

struct listsz {
    const char* psz = nullptr; // the string: the caller's, or szCopy's text
    listsz* next = nullptr;
    std::string szCopy; // storage of a copied string (reused when the node is recycled)
};

struct llsz {
    listsz* plistsz = nullptr;
    llsz* next = nullptr;
};

// Sort orders of ux_listszSortIn.
inline constexpr int kListszAscending = 1;
inline constexpr int kListszDescending = 2;
inline constexpr int kListszAppend = 3;

// A node holding psz (not copied), next null.
listsz* ux_listszNew(const char* psz);
// A node holding its own copy of sz; null when sz is longer than 32000 characters.
listsz* ux_listszNewCopy(std::string_view sz);
// Puts the node on the free list; its string is left alone (a node's own copy
// stays readable until the node is handed out again). Returns the node.
listsz* ux_listszFree(listsz* pl);
// Releases the node's own copy of its string, then as ux_listszFree.
listsz* ux_listszFreeCopy(listsz* pl);
// Frees every node of the list (the second form also their copied strings).
void ux_listszFreeList(listsz* pl);
void ux_listszFreeListCopy(listsz* pl);
// Makes pl the new first node of the list; returns it.
listsz* ux_listszPush(listsz* plList, listsz* pl);
// The first node whose string equals sz, else null.
listsz* ux_listszInList(listsz* plList, std::string_view sz);
// Inserts a node with a copy of sz into *ppl and returns it. Order 1 keeps the
// list ascending, 2 descending (byte-wise comparison; equal strings go after
// the existing ones), 3 appends at the end without comparing. With fUnique set
// (orders 1 and 2) an equal string already met returns that node instead.
// Null for an unknown order or a string longer than 32000 characters.
listsz* ux_listszSortIn(listsz** ppl, std::string_view sz, int iOrder, bool fUnique);
// The same; the node always holds a copy of sz.
listsz* ux_listszSortInCopy(listsz** ppl, std::string_view sz, int iOrder, bool fUnique);

// A node holding the string list pl, next null.
llsz* ux_llszNew(listsz* pl);
// Puts the node on its free list (the string list is left alone). Returns the node.
llsz* ux_llszFree(llsz* pll);
// Makes pll the new first node of the list; returns it.
llsz* ux_llszPush(llsz* pllList, llsz* pll);

} // namespace vexta
