// String lists with node recycling.
#include "base/ux_list.h"

#include <deque>

namespace vexta {

namespace {

// Every node ever made lives in these pools until the process ends; a deque
// never moves its elements, so node addresses stay valid.
std::deque<listsz> rglistszPool;
std::deque<llsz> rgllszPool;

// Freed nodes, newest first.
listsz* ux_listszFreeHead = nullptr;
llsz* ux_llszFreeHead = nullptr;

listsz* TakeListsz() {
    if (ux_listszFreeHead == nullptr) return &rglistszPool.emplace_back();
    listsz* pl = ux_listszFreeHead;
    ux_listszFreeHead = pl->next;
    pl->next = nullptr;
    return pl;
}

} // namespace

listsz* ux_listszNew(const char* psz) {
    listsz* pl = TakeListsz();
    pl->psz = psz;
    return pl;
}

listsz* ux_listszNewCopy(std::string_view sz) {
    if (sz.size() > kListszMaxCopy) return nullptr;
    listsz* pl = TakeListsz();
    pl->szCopy.assign(sz);
    pl->psz = pl->szCopy.c_str();
    return pl;
}

listsz* ux_listszFree(listsz* pl) {
    pl->next = ux_listszFreeHead;
    ux_listszFreeHead = pl;
    return pl;
}

listsz* ux_listszFreeCopy(listsz* pl) {
    // Only the node's own copy is released; a string the caller lent stays theirs.
    if (pl->psz == pl->szCopy.c_str()) pl->psz = nullptr;
    pl->szCopy.clear();
    return ux_listszFree(pl);
}

void ux_listszFreeList(listsz* pl) {
    while (pl != nullptr) {
        listsz* plNext = pl->next;
        ux_listszFree(pl);
        pl = plNext;
    }
}

void ux_listszFreeListCopy(listsz* pl) {
    while (pl != nullptr) {
        listsz* plNext = pl->next;
        ux_listszFreeCopy(pl);
        pl = plNext;
    }
}

listsz* ux_listszPush(listsz* plList, listsz* pl) {
    pl->next = plList;
    return pl;
}

listsz* ux_listszInList(listsz* plList, std::string_view sz) {
    for (listsz* pl = plList; pl != nullptr; pl = pl->next)
        if (pl->psz != nullptr && sz == pl->psz) return pl;
    return nullptr;
}

listsz* ux_listszSortIn(listsz** ppl, std::string_view sz, int iOrder, bool fUnique) {
    if (iOrder < kListszAscending || iOrder > kListszAppend || sz.size() > kListszMaxCopy)
        return nullptr;
    listsz** pplAt = ppl; // link to change: the list head or a node's next
    for (; *pplAt != nullptr; pplAt = &(*pplAt)->next) {
        if (iOrder == kListszAppend) continue;
        const char* psz = (*pplAt)->psz;
        const int iCmp = sz.compare(psz != nullptr ? psz : "");
        if (iCmp == 0 && fUnique) return *pplAt;
        if (iOrder == kListszAscending ? iCmp < 0 : iCmp > 0) break;
    }
    listsz* pl = ux_listszNewCopy(sz);
    pl->next = *pplAt;
    *pplAt = pl;
    return pl;
}

listsz* ux_listszSortInCopy(listsz** ppl, std::string_view sz, int iOrder, bool fUnique) {
    return ux_listszSortIn(ppl, sz, iOrder, fUnique);
}

llsz* ux_llszNew(listsz* pl) {
    llsz* pll;
    if (ux_llszFreeHead == nullptr) {
        pll = &rgllszPool.emplace_back();
    } else {
        pll = ux_llszFreeHead;
        ux_llszFreeHead = pll->next;
    }
    pll->plistsz = pl;
    pll->next = nullptr;
    return pll;
}

llsz* ux_llszFree(llsz* pll) {
    pll->next = ux_llszFreeHead;
    ux_llszFreeHead = pll;
    return pll;
}

llsz* ux_llszPush(llsz* pllList, llsz* pll) {
    pll->next = pllList;
    return pll;
}

} // namespace vexta
