// Feature pool generation.
#include "features/pool_gen.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"

namespace vexta {

namespace {

// One-character strings of every byte value.
constexpr auto kOneChar = [] {
    std::array<std::array<char, 2>, kValueCnt> rg{};
    for (int v = 0; v < kValueCnt; ++v) rg[v] = {static_cast<char>(v), '\0'};
    return rg;
}();

const char* OneChar(char ch) {
    return kOneChar[static_cast<unsigned char>(ch)].data();
}

constexpr char kHexDigits[] = "0123456789abcdef";

// Two lowercase hex digits of the low byte of n.
char* PutHex2(char* pch, int n) {
    const auto b = static_cast<unsigned char>(n);
    pch[0] = kHexDigits[b >> 4];
    pch[1] = kHexDigits[b & 15];
    return pch + 2;
}

const char* OrEmpty(const char* psz) {
    return psz != nullptr ? psz : "";
}

const char* ComponentValue(const FeatureTerm& ft, const char* pszOverride) {
    return (pszOverride != nullptr && pszOverride[0] != '\0') ? pszOverride : OrEmpty(ft.pszValue);
}

bool IsPoolValue(const char* psz) {
    return psz[0] != '\0' && std::strchr(psz, '_') == nullptr;
}

bool IsAcCode(int e) {
    return e >= kElemAC && e < kElemACMember;
}

// The AC-frequency test: 0 keep, -2 AC unknown to the training data, -1 AC
// rarer than cPoolThr.
int AcCheck(const Model& m, const HashTable* phashCnt, int iConditionElem, const char* pszValue,
            std::string& szKey) {
    if (phashCnt == nullptr) return -2;
    szKey.resize(2);
    PutHex2(szKey.data(), iConditionElem);
    szKey += pszValue;
    const char* pszVal = nullptr;
    long lCount = 0;
    if (!ux_HashFindConst(phashCnt, szKey, &pszVal, &lCount)) return -2;
    if (lCount < m.cPoolThr) return -1;
    return 0;
}

const HashTable* CountTable(const Model& m, const DataTable* pdt) {
    const DataTable* pdtT = m.pdtT != nullptr ? m.pdtT : pdt;
    return pdtT != nullptr ? pdtT->phashCnt.get() : nullptr;
}

// Appends the text of one component at pchOut, which has cbRoom bytes left;
// the AC-frequency test is taken from the component when it is known.
int AppendComponent(const FeatureComp& comp, char* pchOut, int cbRoom, int* pcch, const Model& m,
                    const DataTable* pdt, std::string& szKey) {
    const FeatureTerm& ft = comp.ft;
    const char* pszValue = ComponentValue(ft, comp.pszOverride);
    if (IsAcCode(ft.iConditionElem) && pszValue[0] != '\0') {
        const int rc = comp.iAcCheck != kAcCheckPending
                           ? comp.iAcCheck
                           : AcCheck(m, CountTable(m, pdt), ft.iConditionElem, pszValue, szKey);
        if (rc < 0) return rc;
    }
    const bool fClosest = ft.iClosestConditionElem != -1;
    // A pool line separates values by "_": a value that is empty or holds
    // "_" itself (a form such as "a_b") could not be read back.
    if (!IsPoolValue(pszValue) || (fClosest && !IsPoolValue(OrEmpty(ft.pszClosestValue)))) {
        return kFeatureStrNoPoolValue;
    }
    const std::size_t cchClosest = fClosest ? std::strlen(OrEmpty(ft.pszClosestValue)) : 0;
    const std::size_t cchValue = std::strlen(pszValue);
    const std::size_t cch = 6 + 1 + cchClosest + 1 + cchValue + 1;
    if (cbRoom <= 0 || cch >= static_cast<std::size_t>(cbRoom)) return kFeatureStrNoRoom;
    char* pch = PutHex2(pchOut, ft.iPos);
    pch = PutHex2(pch, ft.iClosestConditionElem);
    pch = PutHex2(pch, ft.iConditionElem);
    *pch++ = '_';
    if (fClosest) pch = std::copy_n(ft.pszClosestValue, cchClosest, pch);
    *pch++ = '_';
    pch = std::copy_n(pszValue, cchValue, pch);
    *pch++ = '_';
    *pch = '\0';
    *pcch = static_cast<int>(cch);
    return 0;
}

int SuggString(int iTE, const char* pszAC, const char* pszY, int cComp,
               std::span<const FeatureComp> rgComp, Model& m, const DataTable* pdt,
               std::string& szKey, HashIncrBatch& batch) {
    std::array<char, kFeatureStrRoom> rgch;
    const std::size_t cchAC = std::strlen(OrEmpty(pszAC));
    if (cchAC + 8 >= rgch.size() || iTE < 0 || iTE > 255) {
        batch.Flush(); // what was counted before comes before the message
        std::fprintf(stderr, "%s: cannot generate ctx string (26/i:%d/val:%s)\n",
                     ux_ProgName().c_str(), -1, OrEmpty(pszAC));
        return kFeatureStrNotBuilt;
    }
    char* pch = PutHex2(rgch.data(), iTE);
    *pch++ = ' ';
    pch = std::copy_n(OrEmpty(pszAC), cchAC, pch);
    *pch++ = ' ';
    char* pchCount = pch;
    pch += 2;
    *pch++ = '_';
    *pch++ = '_';
    int cTerms = cComp;
    for (int j = 0; j < cComp; ++j) {
        const FeatureComp& comp = rgComp[j];
        bool fDuplicate = false;
        for (int j2 = 0; j2 < j && !fDuplicate; ++j2) {
            fDuplicate = FeatureComponentCmp(rgComp[j2].ft, rgComp[j2].pszOverride, comp.ft,
                                             comp.pszOverride, m) == 0;
        }
        if (fDuplicate) {
            --cTerms;
            continue;
        }
        int cch = 0;
        const int rc = AppendComponent(comp, pch, static_cast<int>(rgch.data() + rgch.size() - pch),
                                       &cch, m, pdt, szKey);
        if (rc > 0) {
            batch.Flush();
            std::fprintf(stderr, "%s: cannot generate ctx string (26/i:%d/val:%s)\n",
                         ux_ProgName().c_str(), j, OrEmpty(comp.pszOverride));
            return kFeatureStrNotBuilt;
        }
        if (rc < 0) return rc;
        pch += cch;
    }
    const char* pszData = nullptr;
    if (m.iCountMode == 2) {
        pszData = OrEmpty(pszY);
    } else if (m.iCountMode == 1) {
        pszData = "";
    } else {
        return kFeatureStrNoCountMode;
    }
    pchCount[0] = static_cast<char>('0' + (cTerms / 10) % 10);
    pchCount[1] = static_cast<char>('0' + cTerms % 10);
    const std::string_view szFeature(rgch.data(), static_cast<std::size_t>(pch - rgch.data()));
    // Sorting takes feature strings of at most 248 characters (and ends the
    // run on a longer one): such a feature is dropped here instead.
    if (szFeature.size() > kFeatureStrMax) return kFeatureStrTooLong;
    batch.Add(szFeature, pszData);
    return 0;
}

int SuggStringModels(int iTE, const char* pszAC, const char* pszGeneral, const char* pszY,
                     int cComp, std::span<const FeatureComp> rgComp, Model& m, const DataTable* pdt,
                     std::string& szKey, HashIncrBatch& batch) {
    int rc = 0;
    if (m.fModelGeneral == 1) {
        rc = SuggString(iTE, pszGeneral, pszY, cComp, rgComp, m, pdt, szKey, batch);
        if (rc > 0) return rc;
    }
    if (m.fModelAC == 1) rc = SuggString(iTE, pszAC, pszY, cComp, rgComp, m, pdt, szKey, batch);
    return rc;
}

// Generator::RunLines: generation stopped before a line, the table being full.
constexpr int kRunStopped = -1;

// A closest position found for one anchor value.
struct Anchor {
    int iRank = 0;                  // order of the anchor: byte value, or 256 + class index
    const char* pszValue = nullptr; // anchor value (AC of tag element 0 there)
    long ilPos = 0;                 // the position
};

// Anchors found within four positions on one side of a line, in anchor order.
struct AnchorList {
    std::array<Anchor, 4> rg{};
    int c = 0;
};

// State of one generation run: what does not change from line to line. A
// copy may run over other lines at the same time when each copy counts
// into a table of its own (phashOut): the model and the data are only read.
struct Generator {
    Model& m;
    DataTable& dt;
    HashTable* phashOut = nullptr; // where the features are counted
    HashIncrBatch batch;           // features of the line at hand, not yet counted
    int fAll = 1;                  // every position, or only the mis-tagged ones
    int cTE = 0;
    long clLines = 0;
    int iBase = 1;
    int cMaxTerms = 1;
    const char* pszIgnore = "";
    bool fIgnoreOneChar = false; // szAmbClassIgnore is one character, chIgnore
    char chIgnore = '\0';
    // Anchors of closest terms: the AC string of tag element 0 -> its rank.
    std::unordered_map<const char*, int> mpAnchorRank;
    // AC-frequency test of the AC of tag element t at line il, at il * cTE + t;
    // empty when not computed.
    std::vector<signed char> rgAcCheck;
    long ilAnchors = -1; // line whose anchors are in alLeft / alRight
    AnchorList alLeft;
    AnchorList alRight;
    std::string szKey; // scratch key of the AC-frequency test

    Generator(Model& mIn, DataTable& dtIn)
        : m(mIn), dt(dtIn), phashOut(mIn.phashSugg.get()), batch(phashOut) {
        cTE = std::max(m.cTagElem, 0);
        clLines = std::min({dt.clLines, dt.clData, static_cast<long>(dt.rgdl.size())});
        pszIgnore = m.szAmbClassIgnore.c_str();
        fIgnoreOneChar = m.szAmbClassIgnore.size() == 1;
        chIgnore = fIgnoreOneChar ? m.szAmbClassIgnore[0] : '\0';
        SetAnchors();
    }

    // Anchor order: the values with an rgszUnamb entry by byte, then the
    // classes of tag element 0 frequent enough, in area order.
    void SetAnchors() {
        mpAnchorRank.clear();
        for (int v = 0; v < kValueCnt; ++v) {
            if (m.rgszUnamb[v] != nullptr && m.rgszUnamb[v] != m.pszEmpty) {
                mpAnchorRank.emplace(m.rgszUnamb[v], v);
            }
        }
        if (cTE == 0 || m.rgteTagElem.empty()) return;
        const TagElem& te0 = m.rgteTagElem[0];
        for (long il = 0; il < te0.clAmbClass; ++il) {
            const AmbClass& ac = m.rgacAmbClassArea[te0.ilAmbClassFirst + il];
            if (ac.clAmbClassCnt >= m.cClosestThr && ac.pszAmbClass != nullptr) {
                mpAnchorRank.emplace(ac.pszAmbClass, kValueCnt + static_cast<int>(il));
            }
        }
    }

    // Tests every AC of the table once, so that components carry their result.
    void ComputeAcChecks() {
        const HashTable* phashCnt = CountTable(m, &dt);
        rgAcCheck.assign(static_cast<std::size_t>(clLines) * cTE, 0);
        std::vector<std::unordered_map<const char*, signed char>> rgmpSeen(cTE);
        for (long il = 0; il < clLines; ++il) {
            const DlData& dl = dt.rgdl[il];
            for (int t = 0; t < cTE; ++t) {
                const char* pszAC = dl.rgpszAC[t];
                auto [it, fNew] = rgmpSeen[t].try_emplace(pszAC, 0);
                if (fNew && pszAC[0] != '\0') {
                    it->second =
                        static_cast<signed char>(AcCheck(m, phashCnt, kElemAC + t, pszAC, szKey));
                }
                rgAcCheck[il * cTE + t] = it->second;
            }
        }
    }

    int AcCheckAt(long il, int t) const {
        return rgAcCheck.empty() ? kAcCheckPending : rgAcCheck[il * cTE + t];
    }

    bool IsIgnored(const char* pszValue) const { return std::strcmp(pszValue, pszIgnore) == 0; }
    bool IsIgnoredChar(char ch) const { return fIgnoreOneChar && ch == chIgnore; }

    // Finds the closest anchors of line il on both sides (at most four
    // positions away): the nearest position where the AC of tag element 0 is
    // the anchor value.
    void FindAnchors(long il) {
        if (ilAnchors == il) return;
        ilAnchors = il;
        auto fnSide = [&](AnchorList& al, int iStep) {
            al.c = 0;
            for (long p = il + iStep; p >= 0 && p < clLines && std::abs(p - il) <= 4; p += iStep) {
                const char* pszAC0 = dt.rgdl[p].rgpszAC[0];
                const auto it = mpAnchorRank.find(pszAC0);
                if (it == mpAnchorRank.end()) continue;
                const bool fSeen =
                    std::any_of(al.rg.begin(), al.rg.begin() + al.c,
                                [&](const Anchor& a) { return a.iRank == it->second; });
                if (!fSeen) al.rg[al.c++] = Anchor{it->second, pszAC0, p};
            }
            // At most four: insertion sort by anchor order.
            for (int i = 1; i < al.c; ++i) {
                const Anchor a = al.rg[i];
                int j = i;
                for (; j > 0 && al.rg[j - 1].iRank > a.iRank; --j) al.rg[j] = al.rg[j - 1];
                al.rg[j] = a;
            }
        };
        fnSide(alLeft, -1);
        fnSide(alRight, 1);
    }

    // Calls fn(e, pszValue, iAcCheck) for every condition value produced at
    // position p seen from offset g; stops at the first result > 0.
    template <class Fn> int ForEachValue(long p, int g, Fn&& fn) const {
        const bool fLeft = g == -1 || g == -2 || g == kPosClosestLeft;
        const DlData& dl = dt.rgdl[p];
        if (m.fUITTags && fLeft) {
            for (int t = 0; t < cTE; ++t) {
                if (IsIgnoredChar(dl.pszTag[t])) continue;
                if (int rc = fn(kElemValue + t, OneChar(dl.pszTag[t]), 0); rc > 0) return rc;
            }
        }
        if (m.fUITACs) {
            for (int t = 0; t < cTE; ++t) {
                if (IsIgnored(dl.rgpszAC[t])) continue;
                if (int rc = fn(kElemAC + t, dl.rgpszAC[t], AcCheckAt(p, t)); rc > 0) return rc;
            }
        }
        if (m.fUITSetElements) {
            for (int t = 0; t < cTE; ++t) {
                for (const char* pch = dl.rgpszAC[t]; *pch != '\0'; ++pch) {
                    if (IsIgnoredChar(*pch)) continue;
                    if (int rc = fn(kElemACMember + t, OneChar(*pch), 0); rc > 0) return rc;
                }
            }
        }
        if (m.fUITTags && fLeft) {
            if (int rc = fn(kElemTag, dl.pszTag, 0); rc > 0) return rc;
        }
        if (m.fUITForms && dl.pszForm != szFormTooLong) {
            if (int rc = fn(kElemForm, dl.pszForm, 0); rc > 0) return rc;
        }
        return 0;
    }

    // Visits the located positions of the offsets in order, with the closest
    // part of their terms: fn(g, p, iClosestElem, pszClosestValue).
    template <class Fn> int ForEachOffset(long il, std::span<const int> rgOffsets, Fn&& fn) {
        for (const int g : rgOffsets) {
            if (m.fLeftOnly == 1 && g > 0) continue;
            if (g == kPosClosestLeft || g == kPosClosestRight) {
                FindAnchors(il);
                const AnchorList al = g == kPosClosestLeft ? alLeft : alRight;
                for (int ia = 0; ia < al.c; ++ia) {
                    if (int rc = fn(g, al.rg[ia].ilPos, kElemAC, al.rg[ia].pszValue); rc > 0)
                        return rc;
                }
            } else {
                const long p = il + g;
                if (p < 0 || p >= clLines) continue;
                if (int rc = fn(g, p, -1, m.pszEmpty); rc > 0) return rc;
            }
        }
        return 0;
    }

    FeatureComp MakeComp(int g, int iClosestElem, const char* pszClosest, int e,
                         const char* pszValue, int iAcCheck) const {
        FeatureComp comp;
        comp.ft.iPos = g;
        comp.ft.iClosestConditionElem = iClosestElem;
        comp.ft.pszClosestValue = pszClosest;
        comp.ft.iConditionElem = e;
        comp.ft.pszValue = m.pszEmpty;
        comp.pszOverride = pszValue;
        comp.iAcCheck = IsAcCode(e) ? iAcCheck : 0;
        return comp;
    }

    // The second enumeration of base 4: a fourth component around ilPos.
    int Models4(long ilPos, int iTE, const char* pszAC, const char* pszY, int cComp,
                std::span<const FeatureComp> rgComp) {
        if (cComp != 3 || rgComp.size() < 3) return 0;
        static constexpr std::array<int, 7> kOffsets4{
            0, -1, -2, 1, 2, kPosClosestLeft, kPosClosestRight};
        std::array<FeatureComp, 4> rgComp4{rgComp[0], rgComp[1], rgComp[2], FeatureComp{}};
        return ForEachOffset(ilPos, kOffsets4, [&](int g, long p, int iCl, const char* pszCl) {
            return ForEachValue(p, g, [&](int e, const char* pszValue, int iAcCheck) {
                rgComp4[3] = MakeComp(g, iCl, pszCl, e, pszValue, iAcCheck);
                const int rc =
                    SuggStringModels(iTE, pszAC, "--", pszY, 4, rgComp4, m, &dt, szKey, batch);
                return rc > 0 ? kGenFourth : 0;
            });
        });
    }

    // Emits the first k components of L for the tag element t at line il.
    int Emit(long il, int t, const char* pszAC, const char* pszY, int k,
             std::span<const FeatureComp> rgComp) {
        if (iBase == 4) return Models4(il, t, pszAC, pszY, k, rgComp);
        return SuggStringModels(t, pszAC, "--", pszY, k, rgComp, m, &dt, szKey, batch);
    }

    // Every tag element of line il that has something to decide, counted
    // into phashOut. 0, or the first failure.
    int Line(long il) {
        const int rc = LineFeatures(il);
        batch.Flush();
        return rc;
    }

    int LineFeatures(long il) {
        const std::string& szLine = dt.rgpszDataLine[il];
        const DlData& dl = dt.rgdl[il];
        for (int t = 0; t < cTE; ++t) {
            if (m.iTrainCat != -1 && m.iTrainCat != t) continue;
            if (fAll == 0) {
                const bool fErr = static_cast<std::size_t>(t) < dt.rgrgfErr.size() &&
                                  static_cast<std::size_t>(il) < dt.rgrgfErr[t].size() &&
                                  dt.rgrgfErr[t][il] != 0;
                if (!fErr) continue;
            }
            const char* pszAC = dl.rgpszAC[t];
            if (pszAC[0] == '\0' || pszAC[1] == '\0') continue;
            const char* pszY =
                OneChar(static_cast<std::size_t>(t) < szLine.size() ? szLine[t] : '\0');
            if (int rc = GenerateAt(il, t, pszAC, pszY); rc > 0) return rc;
        }
        return 0;
    }

    // Lines ilFrom .. clLines-1 into phashOut, stopping before a line once
    // the table holds more than ilMaxFSG entries. 0, or the first failure.
    int Run(long ilFrom) { return std::max(RunLines(ilFrom, clLines), 0); }

    // Lines ilFrom .. ilTo-1 as Run: 0, the first failure, or kRunStopped
    // when the table was full before a line.
    int RunLines(long ilFrom, long ilTo) {
        for (long il = ilFrom; il < ilTo; ++il) {
            if (phashOut->cRecs > m.ilMaxFSG) {
                char szMsg[100];
                std::snprintf(szMsg, sizeof szMsg, "Feature Generation ended before data line %ld.",
                              il);
                ux_Warning(kModApp, kMsgApp, szMsg);
                return kRunStopped;
            }
            if (int rc = Line(il); rc > 0) return rc;
        }
        return 0;
    }

    // The first level for tag element t at line il.
    int GenerateAt(long il, int t, const char* pszAC, const char* pszY) {
        static constexpr std::array<int, 5> kOffsets{0, -1, 1, kPosClosestLeft, kPosClosestRight};
        const int n = cMaxTerms;
        const bool fBase4 = iBase == 4;
        const char* pszAC0Here = dt.rgdl[il].rgpszAC[0];
        const FeatureComp compHere =
            MakeComp(0, -1, m.pszEmpty, kElemAC, pszAC0Here, AcCheckAt(il, 0));
        return ForEachOffset(il, kOffsets, [&](int g, long p, int iCl, const char* pszCl) {
            const DlData& dl = dt.rgdl[p];
            const FeatureComp compAC =
                MakeComp(g, iCl, pszCl, kElemAC, dl.rgpszAC[0], AcCheckAt(p, 0));
            const FeatureComp compTag =
                MakeComp(g, iCl, pszCl, kElemValue, OneChar(dl.pszTag[0]), 0);
            const bool fLeftSide = g == -1 || g == kPosClosestLeft;
            const bool fClosest = g == kPosClosestLeft || g == kPosClosestRight;
            return ForEachValue(p, g, [&](int e, const char* pszValue, int iAcCheck) {
                const FeatureComp compE = MakeComp(g, iCl, pszCl, e, pszValue, iAcCheck);
                const bool fACOrForm = IsAcCode(e) || e == kElemForm;
                if (g == -1 || g == 1) {
                    const std::array<FeatureComp, 3> rg{compE, compAC, compHere};
                    if (Emit(il, t, pszAC, pszY, n, rg) > 0)
                        return fBase4 ? kGenNeighbour4 : kGenNeighbour;
                }
                if (g == 0 && fACOrForm) {
                    const std::array<FeatureComp, 3> rg{compE, compAC, compHere};
                    if (Emit(il, t, pszAC, pszY, n, rg) > 0) return fBase4 ? kGenHere4 : kGenHere;
                }
                const int kPrime = n > 1 ? n - 1 : 1;
                bool fStep3 = false;
                if (fClosest && fACOrForm) {
                    fStep3 = true;
                    const std::array<FeatureComp, 2> rg{compE, compHere};
                    if (Emit(il, t, pszAC, pszY, kPrime, rg) > 0) return kGenClosest;
                }
                if (fLeftSide) {
                    const std::array<FeatureComp, 3> rg{compE, compTag, compHere};
                    if (Emit(il, t, pszAC, pszY, fStep3 ? kPrime : n, rg) > 0)
                        return fBase4 ? kGenLeftTag4 : kGenLeftTag;
                }
                return 0;
            });
        });
    }
};

// Room of the tables of the parts of a generation split by lines, and the
// fewest lines a part is given.
constexpr long kPartLinesMin = 64;
constexpr long kPartStrSpace = 200000;
constexpr long kPartWork = 4000;
// A part that did not finish without being a failure: its table could not
// be made, or it holds more than ilMaxFSG entries on its own (so the
// merged table would too). Its lines go to the one run.
constexpr int kPartNoTable = -1;
constexpr int kPartOverLimit = -2;
// Entries of a part counted into the generation table at a time.
constexpr std::size_t kMergeBatch = 4096;
// Chunks per thread the lines of a generation split by lines are cut into,
// so that a thread that is through early takes more of them.
constexpr long kChunksPerThread = 4;

// One part of a generation split by lines: lines ilFrom .. ilTo-1 counted
// into a table of their own that keeps its entries in the order they were
// added.
struct Part {
    long ilFrom = 0;
    long ilTo = 0;
    std::unique_ptr<HashTable> phash;
    int rc = 0;              // the part's first failure, kPartNoTable or kPartOverLimit
    std::exception_ptr pexc; // or what it raised
};

// genPart: a copy of the generator used by one thread alone.
void GeneratePart(Generator& genPart, Part& part) {
    try {
        // Buckets for the entries a chunk of lines brings, not for all.
        const long cBuckets = std::min<long>(genPart.m.clFeatureSuggSize,
                                             std::max(8192L, (part.ilTo - part.ilFrom) * 32));
        part.phash = ux_HashNew(cBuckets, kPartStrSpace, kPartWork);
        if (!part.phash) {
            part.rc = kPartNoTable;
            return;
        }
        part.phash->fKeepOrder = true;
        part.phash->fWarnFull = false;
        genPart.phashOut = part.phash.get();
        genPart.batch = HashIncrBatch(genPart.phashOut);
        genPart.ilAnchors = -1;
        for (long il = part.ilFrom; il < part.ilTo && part.rc == 0; ++il) {
            if (part.phash->cRecs > genPart.m.ilMaxFSG) {
                part.rc = kPartOverLimit;
                break;
            }
            part.rc = std::max(genPart.Line(il), 0);
        }
    } catch (...) {
        part.pexc = std::current_exception();
    }
}

// Whether counting the part into the generation table leaves that table at
// or below ilMaxFSG entries.
bool StaysWithinLimit(const Model& m, const HashTable& hashGen, const HashTable& hashPart) {
    if (static_cast<long>(hashGen.cRecs) + hashPart.cRecs <= m.ilMaxFSG) return true;
    long clNew = 0;
    for (const std::uint32_t lRef : hashPart.rglRefAdded) {
        const char* pszKey = nullptr;
        const char* pszValue = nullptr;
        ux_HashEntryAt(&hashPart, lRef, &pszKey, &pszValue);
        if (!ux_HashHasPair(&hashGen, pszKey, pszValue)) ++clNew;
    }
    return hashGen.cRecs + clNew <= m.ilMaxFSG;
}

// Generation split by lines into consecutive chunks, counted side by side
// by cThreads threads. Threads take the chunks in line order. A chunk whose
// earlier chunks are all in the generation table already is counted
// straight into it, as one run counts it; any other goes into a table of
// its own, and these are counted into the generation table chunk by chunk,
// each in the order its entries were added: a pair is thus added where it
// first occurs in line order, with the sum of its counts, exactly as by one
// run over all lines, and the table (entry order, chains, the fill warning)
// is the same. One run stops before a line once the table holds more than
// ilMaxFSG entries, which a chunk of its own cannot know: when counting a
// chunk would pass that limit, or the chunk failed, the lines from that
// chunk's first one on are generated again in one run, which meets the same
// stop or failure. What a chunk raised is raised when its turn comes.
int GenerateInParts(Generator& gen, int cThreads) {
    const long clLines = gen.clLines;
    const long cChunks = std::max(
        std::min(clLines / kPartLinesMin, static_cast<long>(cThreads) * kChunksPerThread), 1L);
    std::vector<Part> rgPart(static_cast<std::size_t>(cChunks));
    for (long k = 0; k < cChunks; ++k) {
        rgPart[k].ilFrom = clLines * k / cChunks;
        rgPart[k].ilTo = clLines * (k + 1) / cChunks;
    }
    std::atomic<long> kNextFree{0}; // the next chunk nobody has taken
    std::atomic<bool> fStop{false}; // take no more chunks
    std::unique_ptr<std::atomic<bool>[]> rgfDone(new std::atomic<bool>[cChunks]);
    for (long k = 0; k < cChunks; ++k) rgfDone[k] = false;
    std::mutex mtxDone;
    std::condition_variable cvDone;
    const auto Worker = [&](Generator genOwn) {
        while (!fStop) {
            const long k = kNextFree.fetch_add(1);
            if (k >= cChunks) return;
            GeneratePart(genOwn, rgPart[k]);
            {
                const std::lock_guard lock(mtxDone);
                rgfDone[k] = true;
            }
            cvDone.notify_all();
        }
    };

    HashTable& hashGen = *gen.phashOut;
    Generator genOwn = gen; // for chunks this thread counts into tables of their own
    int rcRun = 0;
    bool fEnded = false; // the generation ended (stopped or failed) in a chunk of this thread
    long ilRunFrom = -1; // or the lines from here on go to one run
    {
        std::vector<std::jthread> rgThread;
        for (int i = 1; i < cThreads; ++i) rgThread.emplace_back(Worker, gen);
        // However this block is left, the other threads take no more chunks
        // (and are joined before the chunks go).
        struct StopOnExit {
            std::atomic<bool>& fStop;
            ~StopOnExit() { fStop = true; }
        } stop{fStop};
        // The chunks before kMerge are in the generation table.
        for (long kMerge = 0; kMerge < cChunks;) {
            if (rgfDone[kMerge]) {
                Part& part = rgPart[kMerge];
                if (part.pexc) std::rethrow_exception(part.pexc);
                if (part.rc != 0 || !StaysWithinLimit(gen.m, hashGen, *part.phash)) {
                    ilRunFrom = part.ilFrom;
                    break;
                }
                HashIncrBatch batch(&hashGen);
                for (const std::uint32_t lRef : part.phash->rglRefAdded) {
                    const char* pszKey = nullptr;
                    const char* pszValue = nullptr;
                    const long lCount = ux_HashEntryAt(part.phash.get(), lRef, &pszKey, &pszValue);
                    batch.Add(pszKey, pszValue, lCount);
                    if (batch.Size() >= kMergeBatch) batch.Flush();
                }
                batch.Flush();
                part.phash.reset();
                ++kMerge;
                continue;
            }
            const long k = kNextFree.fetch_add(1);
            if (k == kMerge) {
                rcRun = gen.RunLines(rgPart[k].ilFrom, rgPart[k].ilTo);
                if (rcRun != 0) {
                    fEnded = true;
                    break;
                }
                ++kMerge;
            } else if (k < cChunks) {
                GeneratePart(genOwn, rgPart[k]);
                rgfDone[k] = true;
            } else {
                // Every chunk is taken: wait for the next one to count.
                std::unique_lock lock(mtxDone);
                cvDone.wait(lock, [&] { return rgfDone[kMerge].load(); });
            }
        }
    }
    if (fEnded) return std::max(rcRun, 0);
    if (ilRunFrom >= 0) {
        rgPart.clear(); // the tables of the chunks are not needed any more
        return gen.Run(ilRunFrom);
    }
    return 0;
}

} // namespace

int FXSuggString(const FeatureTerm* pft, const char* pszOverride, std::span<char> szOut,
                 const Model* pm) {
    FeatureComp comp;
    comp.ft = *pft;
    comp.pszOverride = pszOverride;
    std::string szKey;
    int cch = 0;
    return AppendComponent(comp, szOut.data(), static_cast<int>(szOut.size()), &cch, *pm, nullptr,
                           szKey);
}

int FGSuggString(int iTE, const char* pszAC, const char* pszY, int cComp,
                 std::span<const FeatureComp> rgComp, Model* pm) {
    std::string szKey;
    HashIncrBatch batch(pm->phashSugg.get());
    const int rc = SuggString(iTE, pszAC, pszY, std::min<int>(cComp, rgComp.size()), rgComp, *pm,
                              nullptr, szKey, batch);
    batch.Flush();
    return rc;
}

int FGSuggStringModels(int iTE, const char* pszAC, const char* pszGeneral, const char* pszY,
                       int cComp, std::span<const FeatureComp> rgComp, Model* pm) {
    std::string szKey;
    HashIncrBatch batch(pm->phashSugg.get());
    const int rc =
        SuggStringModels(iTE, pszAC, pszGeneral, pszY, std::min<int>(cComp, rgComp.size()), rgComp,
                         *pm, nullptr, szKey, batch);
    batch.Flush();
    return rc;
}

int FGSuggStringModels4(DataTable* pdt, long ilPos, int iTE, const char* pszAC, const char* pszY,
                        int cComp, std::span<const FeatureComp> rgComp, Model* pm) {
    if (cComp != 3 || rgComp.size() < 3) return 0;
    Generator gen(*pm, *pdt);
    if (ilPos < 0 || ilPos >= gen.clLines) return 0;
    const int rc = gen.Models4(ilPos, iTE, pszAC, pszY, cComp, rgComp);
    gen.batch.Flush();
    return rc;
}

int GenerateFSG5(Model* pm, DataTable* pdt, int iBase, int /*iUnused*/, int fAll, int cThreads) {
    Model& m = *pm;
    DataTable& dt = *pdt;
    const TagElem* pte0 = m.rgteTagElem.empty() ? nullptr : &m.rgteTagElem[0];
    std::fprintf(stderr, "Generating feature pool (base%d); all: %d\n", iBase, fAll);
    std::fprintf(stderr, "POS: first: %ld, count: %ld\n", pte0 ? pte0->ilAmbClassFirst : 0L,
                 pte0 ? pte0->clAmbClass : 0L);

    // Values of tag element 0 frequent enough to anchor closest terms.
    for (int v = 0; v < kValueCnt; ++v) {
        const long cl = pte0 ? pte0->rgclSubtagCnt[v] : 0;
        m.rgszUnamb[v] = m.pszEmpty;
        if (cl >= m.cClosestThr) {
            if (ux_HashMemberPtr(m.phashStr.get(), OneChar(static_cast<char>(v)), &m.rgszUnamb[v]) >
                0) {
                return kPoolGenInternValue;
            }
        }
        if (cl > 0)
            std::fprintf(stderr, "added into pm->rgszUnamb: %s\n", OneChar(static_cast<char>(v)));
    }

    Generator gen(m, dt);
    gen.iBase = iBase;
    gen.cMaxTerms = std::min(iBase, 3);
    gen.ComputeAcChecks();
    gen.fAll = fAll;

    const int cParts = static_cast<int>(std::min<long>(cThreads, gen.clLines / kPartLinesMin));
    if (cParts > 1) return GenerateInParts(gen, cParts);
    return gen.Run(0);
}

} // namespace vexta
