// Model file reader: a state machine over the items of the model file.
#include "model/model_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "base/ux_hash.h"
#include "corpus/sgml_lexer.h"

namespace vexta {
namespace {

// Sizes of the tag and text buffers of the items, and of a "SubTag" value.
constexpr int kItemBufSize = 248;
constexpr int kArgValueBufSize = 248;

// Arrays sized from the header must fit in 32 bits, which also keeps absurd
// header numbers from asking for absurd amounts of memory.
constexpr long kAllocBytesMax = INT32_MAX;

// Reader states; their numbers appear in messages.
enum ReaderState : int {
    kStStart = 0,        // before the first item
    kStHeader = 1,       // header items
    kStSection = 2,      // <st> and <d> of a tag element section
    kStValueCnt = 3,     // value count lines <sc><t><c>
    kStClass = 4,        // class line <AC><a><c>
    kStJoint = 5,        // joint count lines <Aj><a><t><c>
    kStFeature = 6,      // <FE>
    kStFeatAC = 7,       // <a> of the feature line
    kStFeatTerms = 8,    // <x>
    kStFeatCnt = 9,      // <c>
    kStFeatWeight = 10,  // <w>
    kStFeatValue = 11,   // <y>
    kStFcLine = 12,      // first <fc> of a "*" feature
    kStFcAC = 13,        // <a> of a <fc> line
    kStFcCnt = 14,       // <c> of a <fc> line
    kStFcValue = 15,     // <t> of a <fc> line
    kStFcNext = 16,      // another <fc> or the first term line
    kStFeatDone = 17,    // feature line complete: term lines or the next record
    kStTermDone = 18,    // term complete: more term lines or the next record
    kStTermLine = 19,    // after <Fx>
    kStTermIndex = 20,   // <i>
    kStTermPos = 21,     // <p>
    kStTermSep = 22,     // <v>
    kStClosestElem = 23, // <d> of the closest condition
    kStClosestValue = 24,
    kStClosestForm = 25,
    kStCondElem = 26, // <d> of the term condition
    kStCondValue = 27,
    kStCondForm = 28,
    kStEnd = 29 // after </tagmodel>: only the end of the file
};

// String-table failure codes (returned without a message).
constexpr int kRcInternEmpty = 931;
constexpr int kRcInternTagElemName = 867;
constexpr int kRcInternAmbClass = 866;
constexpr int kRcInternY = 865;
constexpr int kRcInternClosestAC = 64;
constexpr int kRcInternClosestValue = 63;
constexpr int kRcInternClosestForm = 62;
constexpr int kRcInternCondAC = 61;
constexpr int kRcInternCondMember = 60;
constexpr int kRcInternCondValue = 59;
constexpr int kRcInternCondForm = 58;

struct Reader {
    Reader(std::string_view szArgFileIn, Model& mIn, pdfRecType& pdfIn)
        : szArgFile(szArgFileIn), m(mIn), pdf(pdfIn) {}

    std::string_view szArgFile; // holds the tag element names ("SubTag<n>")
    Model& m;
    pdfRecType& pdf;
    std::array<char, kItemBufSize> szTagBuf{};
    std::array<char, kItemBufSize> szTextBuf{};
    const char* pszTag = "";  // the current item's tag ...
    const char* pszText = ""; // ... and text
    std::string_view tag;     // the same as views
    std::string_view text;
    int rState = kStStart;
    bool fRead = true; // read the next item after this one
    bool fTagElemsSetUp = false;
    int iTE = -2;        // current tag element: -2 before <st>, -1 once set up
    std::string szValue; // current value: empty or one character
    std::string szAC;    // current AC string
    long iAC = -1;       // current class, -1 none
    FeatureDesc* pfd = nullptr;
    int cTermsDecl = 0;  // declared term count of the current feature, 0 = none
    int iValueInAC = -1; // index of the current value in the current AC
    int iElem = -1;      // element code named by the current term's <d>
};

void SetItem(Reader& r) {
    r.pszTag = r.szTagBuf.data();
    r.pszText = r.szTextBuf.data();
    r.tag = r.pszTag;
    r.text = r.pszText;
}

// Moves to state st handing the current item over to it.
void Pass(Reader& r, int st) {
    r.rState = st;
    r.fRead = false;
}

// "model: " and the formatted text.
std::string VFormat(const char* pszFormat, va_list args) {
    std::string sz = "model: ";
    ux_VStrPrintf(sz, pszFormat, args);
    return sz;
}

[[noreturn, gnu::format(printf, 2, 3)]] void Fatal(const Reader& r, const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    const std::string sz = VFormat(pszFormat, args);
    va_end(args);
    ux_LnFatalError(kModApp, kMsgApp, r.pdf.lLine, sz);
}

[[gnu::format(printf, 2, 3)]] void Warn(const Reader& r, const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    const std::string sz = VFormat(pszFormat, args);
    va_end(args);
    ux_LnWarning(kModApp, kMsgApp, r.pdf.lLine, sz);
}

const char* TEName(const Reader& r) {
    if (r.iTE < 0 || r.iTE >= static_cast<int>(r.m.rgpszTagElemName.size())) return "";
    const char* psz = r.m.rgpszTagElemName[static_cast<size_t>(r.iTE)];
    return psz != nullptr ? psz : "";
}

const char* AC(const Reader& r) {
    return r.szAC.c_str();
}

// A decimal integer as the tag reader's number check accepts it, within the
// 32-bit range of the model's counts and sizes.
bool ParseNumber(const char* psz, long& n) {
    if (CheckNumber(psz) != 0) return false;
    errno = 0;
    const long long ll = std::strtoll(psz, nullptr, 10);
    if (errno == ERANGE || ll < INT32_MIN || ll > INT32_MAX) return false;
    n = static_cast<long>(ll);
    return true;
}

int Intern(Reader& r, std::string_view sz, const char*& psz, int rcFail) {
    psz = nullptr;
    if (ux_HashMemberPtr(r.m.phashStr.get(), sz, &psz) > 0 || psz == nullptr) return rcFail;
    return 0;
}

// A redundant tag element name must name the current tag element.
void CheckTEName(const Reader& r) {
    if (!r.text.empty() && r.text != TEName(r)) {
        Fatal(r, "Subtag %s%s does not match %s(%d)", r.pszTag, r.pszText, TEName(r), r.iTE);
    }
}

void CheckSameAC(const Reader& r, const char* pszWhere) {
    if (r.text != r.szAC) {
        Fatal(r, "%s/%s, amb class mismatch in %s: %s%s", TEName(r), AC(r), pszWhere, r.pszTag,
              r.pszText);
    }
}

// The current value is the text of a <t> item already checked to hold at
// most one character.
void SetValue(Reader& r) {
    r.szValue.clear();
    if (!r.text.empty()) r.szValue.push_back(r.text[0]);
}

AmbClass* CurrentClass(Reader& r) {
    return r.iAC >= 0 ? &r.m.rgacAmbClassArea[static_cast<size_t>(r.iAC)] : nullptr;
}

// Index of the one-character text in the current AC string, skipping the
// marker of an all-data AC; -1 when it is not there.
int FindValueInAC(Reader& r) {
    if (r.text.size() != 1) return -1;
    const AmbClass* pac = CurrentClass(r);
    const size_t ichFirst = (pac != nullptr && pac->fACIgnore) ? 2 : 0;
    const size_t ich = r.szAC.find(r.text[0], ichFirst);
    return ich == std::string::npos ? -1 : static_cast<int>(ich);
}

long CountOrDie(const Reader& r, const char* pszSecond) {
    long n = 0;
    if (!ParseNumber(r.pszText, n)) {
        Fatal(r, "%s/%s: Not a number: %s%s", TEName(r), pszSecond, r.pszTag, r.pszText);
    }
    if (n < 0) Fatal(r, "%s/%s, count negative: %s%ld", TEName(r), pszSecond, r.pszTag, n);
    return n;
}

// Element code named by a term's <d>: FORM, LEMMA, TAG or a tag element name.
int ElemCodeOfName(const Reader& r) {
    if (r.text == "FORM") return kElemForm;
    if (r.text == "LEMMA") return kElemLemma;
    if (r.text == "TAG") return kElemTag;
    for (int t = 0; t < static_cast<int>(r.m.rgpszTagElemName.size()); ++t) {
        const char* psz = r.m.rgpszTagElemName[static_cast<size_t>(t)];
        if (psz != nullptr && r.text == psz) return t;
    }
    Fatal(r, "Category name not found (#%d): %s%s", r.m.cTagElem, r.pszTag, r.pszText);
}

FeatureTerm& CurrentTerm(Reader& r) {
    return r.pfd->rgftTerm[static_cast<size_t>(r.pfd->cTerms - 1)];
}

// Checks that count * record size bytes fit; names the array when not.
void CheckAllocSize(const Reader& r, const char* pszArray, long cRecs, size_t cbRec) {
    if (cRecs < 0 || static_cast<unsigned long>(cRecs) > kAllocBytesMax / cbRec) {
        Fatal(r, "Insuff. memory: %s: %d x %ld", pszArray, static_cast<int>(cbRec), cRecs);
    }
}

// ---------------------------------------------------------------- areas

// The header declares the sizes of the feature and class areas, but a file
// may declare millions and hold none. The areas therefore grow as records
// are read, never beyond the declared size, so memory follows what the file
// holds; the declared sizes still decide every check and message.

// Appends a fresh record to an area declared to hold clDeclared records.
template <typename T> T& AppendRecord(std::vector<T>& rg, long clDeclared) {
    constexpr size_t kFirstReserve = 64;
    if (rg.size() == rg.capacity()) {
        const size_t cDeclared = static_cast<size_t>(std::max(clDeclared, 1L));
        rg.reserve(std::max(rg.size() + 1,
                            std::min(cDeclared, std::max(kFirstReserve, 2 * rg.capacity()))));
    }
    return rg.emplace_back();
}

// Appends a class record. Features already read point at their class, so
// when the area moves they are pointed at the moved records.
AmbClass& AppendAmbClass(Model& m) {
    std::vector<AmbClass>& rgac = m.rgacAmbClassArea;
    if (rgac.size() < rgac.capacity()) return AppendRecord(rgac, m.clAmbClassAreaSize);
    std::vector<long> rgiClass;
    rgiClass.reserve(m.rgfdFeatureArea.size());
    for (const FeatureDesc& fd : m.rgfdFeatureArea)
        rgiClass.push_back(fd.pacOfFeature != nullptr ? fd.pacOfFeature - rgac.data() : -1);
    AmbClass& ac = AppendRecord(rgac, m.clAmbClassAreaSize);
    for (size_t i = 0; i < rgiClass.size(); ++i) {
        if (rgiClass[i] >= 0)
            m.rgfdFeatureArea[i].pacOfFeature = &rgac[static_cast<size_t>(rgiClass[i])];
    }
    return ac;
}

// ---------------------------------------------------------------- header

// A header number whose absence or malformation only warrants a warning.
void ReadThreshold(Reader& r, int& cField, const char* pszDupl, const char* pszNotPositive) {
    if (cField != 0) {
        Warn(r, "%s%s%s", pszDupl, r.pszTag, r.pszText);
        return;
    }
    long n = 0;
    if (!ParseNumber(r.pszText, n)) {
        Warn(r, "Not a number: %s%s", r.pszTag, r.pszText);
        return;
    }
    cField = static_cast<int>(n);
    if (n <= 0) Warn(r, "%s%s", pszNotPositive, r.pszTag);
}

long HeaderNumberOrDie(const Reader& r) {
    long n = 0;
    if (!ParseNumber(r.pszText, n)) Fatal(r, "Not a number: %s%s", r.pszTag, r.pszText);
    return n;
}

int ReadHeaderItem(Reader& r) {
    Model& m = r.m;
    const std::string_view tag = r.tag;
    if (tag == "<Dn>") return 0;
    if (tag == "<Dt>" || tag == "<Dp>" || tag == "<Di>") {
        std::string& sz = tag == "<Dt>"   ? m.szTrainingData
                          : tag == "<Dp>" ? m.szFeaturePoolFile
                                          : m.szAmbClassIgnore;
        const char* pszDupl = tag == "<Dt>"   ? "Training data: dupl ign'd: "
                              : tag == "<Dp>" ? "Feature pool name: dupl ign'd: "
                                              : "AC ignore string: dupl ign'd: ";
        if (!sz.empty()) {
            Warn(r, "%s%s%s", pszDupl, r.pszTag, r.pszText);
        } else {
            sz = r.text;
        }
        return 0;
    }
    if (tag == "<Ds>") {
        if (m.clTrainingSize != 0) {
            Warn(r, "Training size: dupl ign'd: %s%s", r.pszTag, r.pszText);
            return 0;
        }
        long n = 0;
        if (!ParseNumber(r.pszText, n)) {
            Warn(r, "Not a number: %s%s", r.pszTag, r.pszText);
            return 0;
        }
        m.clTrainingSize = n;
        if (n <= 0) Warn(r, "Training size not positive: %ld", n);
        return 0;
    }
    if (tag == "<Dc>") {
        const long n = HeaderNumberOrDie(r);
        if (n < 1) Fatal(r, "No Subtags (categories) in %s", r.pszTag);
        if (n != m.cTagElem)
            Fatal(r, "Subtag cnt (%d) mismatch: %d", m.cTagElem, static_cast<int>(n));
        return 0;
    }
    if (tag == "<Dz>") {
        if (m.clStrAreaSize != 0) {
            Warn(r, "String area: dupl ign'd: %s%s", r.pszTag, r.pszText);
            return 0;
        }
        const long n = HeaderNumberOrDie(r);
        if (n < 3) Fatal(r, "String Area 2 or less in %s", r.pszTag);
        m.clStrAreaSize = n + 4;
        m.phashStr = ux_HashNew(m.clStrAreaSize, 2 * m.clStrAreaSize, 4000);
        if (!m.phashStr) Fatal(r, "Insuff. memory: szStrArea: %ld", m.clStrAreaSize);
        return Intern(r, "", m.pszEmpty, kRcInternEmpty);
    }
    if (tag == "<Df>") {
        if (m.clFeatureAreaSize != 0) {
            Warn(r, "Feature area: dupl ign'd: %s%s", r.pszTag, r.pszText);
            return 0;
        }
        const long n = HeaderNumberOrDie(r);
        if (n < 0) Fatal(r, "Feature Area 0 or neg. in %s", r.pszTag);
        if (n == 0) Warn(r, "Feature Area 0 or neg. in %s", r.pszTag);
        CheckAllocSize(r, "rgfdFeatureArea", n + 1, sizeof(FeatureDesc));
        m.clFeatureAreaSize = n + 1;
        m.rgfdFeatureArea.clear();
        m.clFeatureAreaUsed = 0;
        return 0;
    }
    if (tag == "<Da>") {
        if (m.clAmbClassAreaSize != 0) {
            Warn(r, "AmbClass area: dupl ign'd: %s%s", r.pszTag, r.pszText);
            return 0;
        }
        const long n = HeaderNumberOrDie(r);
        if (n < 1) Fatal(r, "AmbClass Area 0 or neg. in %s", r.pszTag);
        CheckAllocSize(r, "rgacAmbClassArea", n + 1, sizeof(AmbClass));
        m.clAmbClassAreaSize = n + 1;
        m.rgacAmbClassArea.clear();
        m.clAmbClassAreaUsed = 0;
        return 0;
    }
    if (tag == "<Dk>") {
        ReadThreshold(r, m.cPoolThr,
                      "Pool threshold: dupl ign'd: ", "Pool threshold not positive ");
    } else if (tag == "<Dh>") {
        ReadThreshold(r, m.cClosestThr,
                      "Closest threshold: dupl ign'd: ", "Closest threshold not positive ");
    } else if (tag == "<Dl>") {
        ReadThreshold(r, m.cThrMin,
                      "Add threshold: dupl ign'd: ", "add err threshold not positive ");
    } else if (tag == "<st>") {
        Pass(r, kStSection);
    } else if (tag != "</tagmodel>") {
        Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    }
    return 0;
}

// ---------------------------------------------------------------- sections

// On the first <st>: checks that the header defined the arrays and sets up
// the tag elements from the argument keys "SubTag1", "SubTag2", ...
int SetUpTagElems(Reader& r) {
    Model& m = r.m;
    std::string szMissing;
    if (!m.phashStr) szMissing += " <Dz>";
    if (m.clFeatureAreaSize == 0) szMissing += " <Df>";
    if (m.clAmbClassAreaSize == 0) szMissing += " <Da>";
    if (!szMissing.empty()) Fatal(r, "Definition(s) missing:%s", szMissing.c_str());

    const long cTE = std::max(m.cTagElem, 0);
    CheckAllocSize(r, "rgteTagElem", cTE, sizeof(TagElem));
    CheckAllocSize(r, "rgpszTagElemName", cTE, sizeof(const char*));
    m.rgteTagElem.assign(static_cast<size_t>(cTE), TagElem{});
    m.rgpszTagElemName.assign(static_cast<size_t>(cTE), nullptr);
    r.fTagElemsSetUp = true;

    std::string szKey;
    std::string szArgValue;
    for (long i = 0; i < cTE; ++i) {
        szKey = "SubTag" + std::to_string(i + 1);
        if (ux_ArgGetValue(r.szArgFile, szKey, szArgValue, kArgValueBufSize) != 0) {
            Fatal(r, ": GetValue %s failed\n", szKey.c_str());
        }
        // The first character is a sign: "+" makes an error in this element
        // an error of the whole line.
        const std::string_view szName =
            std::string_view(szArgValue).substr(szArgValue.empty() ? 0 : 1);
        for (long j = 0; j < i; ++j) {
            if (szName == m.rgpszTagElemName[static_cast<size_t>(j)]) {
                Fatal(r, "Category name duplicated (#%ld): %s", j, szArgValue.c_str());
            }
        }
        if (int rc = Intern(r, szName, m.rgpszTagElemName[static_cast<size_t>(i)],
                            kRcInternTagElemName)) {
            return rc;
        }
        m.rgteTagElem[static_cast<size_t>(i)].fSignPlus =
            !szArgValue.empty() && szArgValue[0] == '+';
    }
    r.iTE = -1;
    return 0;
}

int ReadSectionItem(Reader& r) {
    if (!r.fTagElemsSetUp) {
        if (int rc = SetUpTagElems(r)) return rc;
    }
    if (r.tag == "<st>") {
        ++r.iTE;
        if (!r.text.empty()) {
            long n = 0;
            if (!ParseNumber(r.pszText, n)) Fatal(r, "Not a number: %s%s", r.pszTag, r.pszText);
            if (n != r.iTE)
                Warn(r, "Subtag def out of order (%d): %s%s", r.iTE, r.pszTag, r.pszText);
        }
        if (r.iTE >= r.m.cTagElem) {
            Fatal(r, "Too many (%d) subtags (max %s%d)", r.iTE + 1, "<Dc>", r.m.cTagElem);
        }
        r.szAC.clear();
        r.iAC = -1;
        r.pfd = nullptr;
    } else if (r.tag == "<d>") {
        const auto& rgpsz = r.m.rgpszTagElemName;
        if (std::none_of(rgpsz.begin(), rgpsz.end(),
                         [&](const char* psz) { return psz != nullptr && r.text == psz; })) {
            Fatal(r, "Category name not found (#%d): %s%s", r.m.cTagElem, r.pszTag, r.pszText);
        }
    } else if (r.tag == "<sc>") {
        r.szValue.clear();
        Pass(r, kStValueCnt);
    } else if (r.tag == "</tagmodel>") {
        // The file may end after a section without classes.
        r.rState = kStEnd;
    } else {
        Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    }
    return 0;
}

void ReadValueCountItem(Reader& r) {
    TagElem& te = r.m.rgteTagElem[static_cast<size_t>(r.iTE)];
    if (r.tag == "<sc>") {
        r.szValue.clear();
        CheckTEName(r);
    } else if (r.tag == "<t>") {
        if (!r.szValue.empty()) {
            Fatal(r, "%s/%s, subtag duplicated within %s: %s%s", TEName(r), r.szValue.c_str(),
                  "<sc>", r.pszTag, r.pszText);
        }
        if (r.text.size() > 1) {
            Fatal(r, "Cat %s, subtag too long (> 1): %s%s", TEName(r), r.pszTag, r.pszText);
        }
        SetValue(r);
        if (!r.szValue.empty()) {
            const long cl = te.rgclSubtagCnt[static_cast<unsigned char>(r.szValue[0])];
            if (cl != 0) {
                Fatal(r, "%s/%s: Duplicated subtag (prev cnt %ld): %s%s", TEName(r),
                      r.szValue.c_str(), cl, r.pszTag, r.pszText);
            }
        }
    } else if (r.tag == "<c>") {
        if (r.szValue.empty()) {
            Fatal(r, "Cat %s, subtag missing at %s%s", TEName(r), r.pszTag, r.pszText);
        }
        long& cl = te.rgclSubtagCnt[static_cast<unsigned char>(r.szValue[0])];
        if (cl != 0) {
            Fatal(r, "%s/%s: Duplicated cnt (prev %ld): %s%s", TEName(r), r.szValue.c_str(), cl,
                  r.pszTag, r.pszText);
        }
        cl = CountOrDie(r, r.szValue.c_str());
    } else if (r.tag == "<AC>") {
        r.iAC = -1;
        r.szAC.clear();
        r.szValue.clear();
        Pass(r, kStClass);
    } else if (r.tag == "<st>") {
        Pass(r, kStSection);
    } else if (r.tag == "</tagmodel>") {
        r.rState = kStEnd;
    } else {
        Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    }
}

// ---------------------------------------------------------------- classes

int CreateAmbClass(Reader& r) {
    Model& m = r.m;
    if (!r.szAC.empty()) {
        Fatal(r, "%s/%s, amb class duplicated within %s: %s%s", TEName(r), AC(r), "<AC>", r.pszTag,
              r.pszText);
    }
    if (r.text.size() > static_cast<size_t>(kAmbClassLenMax)) {
        Fatal(r, "Cat %s, amb class name too long (> %d): %s%s", TEName(r), kAmbClassLenMax,
              r.pszTag, r.pszText);
    }
    r.szAC = r.text;
    TagElem& te = m.rgteTagElem[static_cast<size_t>(r.iTE)];
    if (FindAmbClassRec(r.szAC, te, m) != nullptr) {
        Fatal(r, "%s/%s, amb class duplicated: %s%s", TEName(r), AC(r), r.pszTag, r.pszText);
    }
    if (m.clAmbClassAreaUsed >= m.clAmbClassAreaSize - 1) {
        Fatal(r, "Amb class area (%ld) small for %s; increase %s", m.clAmbClassAreaSize, AC(r),
              "<Da>");
    }
    const long il = m.clAmbClassAreaUsed;
    if (te.clAmbClass == 0) te.ilAmbClassFirst = il;
    ++te.clAmbClass;
    AmbClass& ac = AppendAmbClass(m);
    if (int rc = Intern(r, r.szAC, ac.pszAmbClass, kRcInternAmbClass)) return rc;
    const std::string& szIgnore = m.szAmbClassIgnore;
    ac.fACIgnore = !szIgnore.empty() && r.szAC.size() >= 2 && r.szAC[0] == szIgnore[0] &&
                   r.szAC[1] == szIgnore[0];
    ++m.clAmbClassAreaUsed;

    const AmbClass* pac = FindAmbClassRec(r.szAC, te, m);
    if (pac == nullptr) {
        Fatal(r, "%s/%s, amb class not found -- internal: %s%s", TEName(r), AC(r), r.pszTag,
              r.pszText);
    }
    r.iAC = pac - m.rgacAmbClassArea.data();
    return 0;
}

// The class count becomes the sum of its joint counts.
void CloseAmbClass(Reader& r) {
    AmbClass* pac = CurrentClass(r);
    if (pac == nullptr) return;
    const size_t cch = std::min(r.szAC.size(), pac->rgclJointCnt.size());
    long clSum = 0;
    for (size_t i = 0; i < cch; ++i) {
        if (pac->rgclJointCnt[i] < 0) {
            Fatal(r, "%s/%s, AC joint cnt < 0 ?!? ([%d] == %ld)", TEName(r), AC(r),
                  static_cast<int>(i), pac->rgclJointCnt[i]);
        }
        clSum += pac->rgclJointCnt[i];
    }
    if (clSum < 1 && pac->clAmbClassCnt != 0) {
        Fatal(r, "%s/%s, AC joint cnt sum 0 (dcl %ld)", TEName(r), AC(r), pac->clAmbClassCnt);
    }
    if (pac->clAmbClassCnt != 0 && pac->clAmbClassCnt != clSum) {
        Warn(r, "%s/%s, nonzero count (%ld) replaced by sum (%ld)", TEName(r), AC(r),
             pac->clAmbClassCnt, clSum);
    }
    pac->clAmbClassCnt = clSum;
}

int ReadClassItem(Reader& r) {
    if (r.tag == "<AC>") {
        CheckTEName(r);
        r.szAC.clear();
        r.iAC = -1;
    } else if (r.tag == "<a>") {
        return CreateAmbClass(r);
    } else if (r.tag == "<c>") {
        if (r.szAC.empty()) {
            Fatal(r, "Cat %s, amb class missing at %s%s", TEName(r), r.pszTag, r.pszText);
        }
        CurrentClass(r)->clAmbClassCnt = CountOrDie(r, AC(r));
    } else if (r.tag == "<FE>" && !r.szAC.empty() && CurrentClass(r)->clAmbClassCnt == 0) {
        Pass(r, kStFeature);
    } else if (r.tag == "<Aj>") {
        r.szValue.clear();
        Pass(r, kStJoint);
    } else {
        Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    }
    return 0;
}

void ReadJointItem(Reader& r) {
    if (r.tag == "<Aj>") {
        CheckTEName(r);
        r.szValue.clear();
    } else if (r.tag == "<a>") {
        CheckSameAC(r, "<Aj>");
    } else if (r.tag == "<t>") {
        if (!r.szValue.empty()) {
            Fatal(r, "%s/%s, subtag duplicated within %s: %s%s", TEName(r), r.szValue.c_str(),
                  "<Aj>", r.pszTag, r.pszText);
        }
        if (r.text.size() > 1) {
            Fatal(r, "Cat %s, subtag too long (> 1): %s%s", TEName(r), r.pszTag, r.pszText);
        }
        SetValue(r);
        r.iValueInAC = FindValueInAC(r);
        if (r.iValueInAC < 0) {
            Fatal(r, "%s/%s, subtag value (%s) not found in %s", TEName(r), AC(r),
                  r.szValue.c_str(), AC(r));
        }
        const long cl = CurrentClass(r)->rgclJointCnt[static_cast<size_t>(r.iValueInAC)];
        if (cl != 0) {
            Fatal(r, "%s/%s: Duplicated subtag (prev cnt %ld): %s%s", TEName(r), r.szValue.c_str(),
                  cl, r.pszTag, r.pszText);
        }
    } else if (r.tag == "<c>") {
        if (r.szValue.empty()) {
            Fatal(r, "%s/%s, subtag missing at %s%s", TEName(r), AC(r), r.pszTag, r.pszText);
        }
        long& cl = CurrentClass(r)->rgclJointCnt[static_cast<size_t>(r.iValueInAC)];
        if (cl != 0) {
            Fatal(r, "%s/%s: Duplicated cnt (prev %ld): %s%s", TEName(r), r.szValue.c_str(), cl,
                  r.pszTag, r.pszText);
        }
        cl = CountOrDie(r, r.szValue.c_str());
    } else if (r.tag == "<AC>" || r.tag == "<st>" || r.tag == "</tagmodel>" || r.tag == "<FE>") {
        CloseAmbClass(r);
        if (r.tag == "</tagmodel>") {
            r.rState = kStEnd;
        } else {
            Pass(r, r.tag == "<FE>" ? kStFeature : r.tag == "<AC>" ? kStClass : kStSection);
        }
    } else {
        Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    }
}

// ---------------------------------------------------------------- features

int CreateFeature(Reader& r) {
    Model& m = r.m;
    CheckTEName(r);
    AmbClass* pac = CurrentClass(r);
    // A feature line needs a class line before it in its section.
    if (pac == nullptr) Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
    // A class without values has nothing to predict; its features could only
    // confuse the probability computation.
    if (r.szAC.empty()) {
        Fatal(r, "%s/%s, feature of an amb class without values: %s%s", TEName(r), AC(r), r.pszTag,
              r.pszText);
    }
    if (m.clFeatureAreaUsed >= m.clFeatureAreaSize) {
        Fatal(r, "%s/%s Too many features (> %ld); increase %s", TEName(r), AC(r),
              m.clFeatureAreaSize, "<Df>");
    }
    const long il = m.clFeatureAreaUsed;
    FeatureDesc& fd = AppendRecord(m.rgfdFeatureArea, m.clFeatureAreaSize);
    fd.iFeature = static_cast<int>(il);
    fd.ilNextFeature = pac->ilPacFeatureFirst;
    pac->ilPacFeatureFirst = il;
    ++m.clFeatureAreaUsed;

    fd.cTerms = 0;
    fd.pszY = m.pszEmpty;
    fd.dLambda = 1.0;
    fd.cCntTagElemGivenFeature = static_cast<int>(r.szAC.size());
    if (int rc = Intern(r, r.szAC, fd.pszACFeature, kRcInternAmbClass)) return rc;
    fd.iTagElem = r.iTE;
    fd.pacOfFeature = pac;
    fd.clCntNoFire = fd.clCnt = 0;
    if (fd.pszACFeature != pac->pszAmbClass) {
        std::fprintf(stderr, "WARNING: ReadModel %s != %s\n", fd.pszACFeature, pac->pszAmbClass);
    }
    fd.rgclCntTagElemGivenFeature.assign(static_cast<size_t>(fd.cCntTagElemGivenFeature), 0);
    r.pfd = &fd;
    r.cTermsDecl = 0;
    return 0;
}

// States 7..11 take the items of the feature line in order; an item later
// than the expected one skips ahead to its own state.
bool SkipAheadInFeatureLine(Reader& r) {
    int st = -1;
    if (r.tag == "<x>")
        st = kStFeatTerms;
    else if (r.tag == "<c>")
        st = kStFeatCnt;
    else if (r.tag == "<w>")
        st = kStFeatWeight;
    else if (r.tag == "<y>")
        st = kStFeatValue;
    else if (r.tag == "<fc>")
        st = kStFcLine;
    if (st <= r.rState) return false;
    Pass(r, st);
    return true;
}

int ReadFeatureLineItem(Reader& r) {
    FeatureDesc& fd = *r.pfd;
    const int st = r.rState;
    if (st == kStFeatAC && r.tag == "<a>") {
        CheckSameAC(r, "<FE>");
        r.rState = kStFeatTerms;
    } else if (st == kStFeatTerms && r.tag == "<x>") {
        if (r.cTermsDecl != 0) {
            Fatal(r, "%s/%s context term count (%d) duplicated: %s%s", TEName(r), AC(r),
                  r.cTermsDecl, r.pszTag, r.pszText);
        }
        long n = 0;
        if (!ParseNumber(r.pszText, n)) {
            Fatal(r, "%s/%s: Not a number: %s%s", TEName(r), AC(r), r.pszTag, r.pszText);
        }
        if (n < 0) Fatal(r, "%s/%s, ctx term count negative: %s%ld", TEName(r), AC(r), r.pszTag, n);
        if (n > kTermsMax) {
            Fatal(r, "%s/%s context term count (%d) over max (%d)", TEName(r), AC(r),
                  static_cast<int>(n), kTermsMax);
        }
        r.cTermsDecl = static_cast<int>(n);
        r.rState = kStFeatCnt;
    } else if (st == kStFeatCnt && r.tag == "<c>") {
        fd.clCnt = CountOrDie(r, AC(r));
        r.rState = kStFeatWeight;
    } else if (st == kStFeatWeight && r.tag == "<w>") {
        // The whole text must be the number; an empty text is no number.
        char* pchEnd = nullptr;
        const double d = std::strtod(r.pszText, &pchEnd);
        if (r.text.empty() || pchEnd != r.pszText + r.text.size()) {
            Fatal(r, "%s/%s: Not a double floating number: %s%s", TEName(r), AC(r), r.pszTag,
                  r.pszText);
        }
        fd.dLambda = d;
        r.rState = kStFeatValue;
    } else if (st == kStFeatValue && r.tag == "<y>") {
        if (r.text == "*") {
            fd.pszY = r.m.pszEmpty;
            r.rState = kStFcLine;
        } else {
            if (int rc = Intern(r, r.text, fd.pszY, kRcInternY)) return rc;
            r.rState = kStFeatDone;
        }
    } else if (!SkipAheadInFeatureLine(r)) {
        Fatal(r, "rState %d, invalid SGML tag in %s: %s%s", st, "<FE>", r.pszTag, r.pszText);
    }
    return 0;
}

// The feature count becomes the sum of its per-value counts.
void CloseValueCounts(Reader& r) {
    FeatureDesc& fd = *r.pfd;
    long clSum = 0;
    for (const long cl : fd.rgclCntTagElemGivenFeature) clSum += cl;
    if (clSum == 0) {
        Fatal(r, "%s/%s, tag/feature/AC joint cnt sum 0 (dcl %ld)", TEName(r), AC(r), fd.clCnt);
    }
    if (fd.clCnt != 0 && fd.clCnt != clSum) {
        Warn(r, "%s/%s, feature batch count (%ld) replaced by sum (%ld)", TEName(r), AC(r),
             fd.clCnt, clSum);
        fd.clCnt = clSum;
    }
}

void ReadValueCountLineItem(Reader& r) {
    const int st = r.rState;
    if ((st == kStFcLine || st == kStFcNext) && r.tag == "<fc>") {
        CheckTEName(r);
        r.rState = kStFcAC;
    } else if (st == kStFcNext && r.tag == "<Fx>") {
        CloseValueCounts(r);
        Pass(r, kStFeatDone);
    } else if (st == kStFcLine || st == kStFcNext) {
        Fatal(r, "rState %d, invalid SGML tag: %s%s", st, "<fc>", r.pszTag);
    } else if (st == kStFcAC && r.tag == "<a>") {
        CheckSameAC(r, "<FE>");
        r.rState = kStFcValue;
    } else if (st == kStFcAC && r.tag == "<t>") {
        Pass(r, kStFcValue);
    } else if (st == kStFcValue && r.tag == "<t>") {
        if (r.text.size() > 1) {
            Fatal(r, "%s/%s, subtag too long (> 1): %s%s", TEName(r), AC(r), r.pszTag, r.pszText);
        }
        SetValue(r);
        r.iValueInAC = FindValueInAC(r);
        if (r.iValueInAC < 0) {
            Fatal(r, "%s/%s, subtag value (%s) not found in %s", TEName(r), AC(r),
                  r.szValue.c_str(), AC(r));
        }
        r.rState = kStFcCnt;
    } else if (st == kStFcCnt && r.tag == "<c>") {
        r.pfd->rgclCntTagElemGivenFeature[static_cast<size_t>(r.iValueInAC)] = CountOrDie(r, AC(r));
        r.rState = kStFcNext;
    } else {
        Fatal(r, "rState %d, invalid SGML tag in %s: %s%s", st, "<fc>", r.pszTag, r.pszText);
    }
}

void ReadAfterFeatureItem(Reader& r) {
    if (r.tag == "<Fx>") {
        CheckTEName(r);
        r.rState = kStTermLine;
        return;
    }
    if (r.tag == "<FE>" || r.tag == "<AC>" || r.tag == "<st>" || r.tag == "</tagmodel>") {
        if (r.cTermsDecl != 0 && r.pfd->cTerms != r.cTermsDecl) {
            Fatal(r, "%s/%s in %s, ctx terms cnt (%d) mismatch (dcl %d)", TEName(r), AC(r), "<Fx>",
                  r.pfd->cTerms, r.cTermsDecl);
        }
        if (r.tag == "</tagmodel>") {
            r.rState = kStEnd;
        } else {
            Pass(r, r.tag == "<FE>" ? kStFeature : r.tag == "<AC>" ? kStClass : kStSection);
        }
        return;
    }
    Fatal(r, "rState %d, invalid SGML tag in feature: %s%s", r.rState, r.pszTag, r.pszText);
}

// ---------------------------------------------------------------- terms

void StartTerm(Reader& r) {
    FeatureDesc& fd = *r.pfd;
    if (fd.cTerms >= kTermsMax) {
        Fatal(r, "%s/%s: in %s, too many terms (> %d)", TEName(r), AC(r), "<Fx>", kTermsMax);
    }
    FeatureTerm& ft = fd.rgftTerm[static_cast<size_t>(fd.cTerms++)];
    ft = FeatureTerm{0, -1, r.m.pszEmpty, -1, r.m.pszEmpty};
    if (r.text == "-" || r.text == "+") {
        ft.iPos = r.text == "-" ? kPosClosestLeft : kPosClosestRight;
        r.rState = kStClosestElem;
    } else if (r.text == "@") {
        ft.iPos = kPosEmpty;
        r.rState = kStTermDone;
    } else {
        long n = 0;
        if (!ParseNumber(r.pszText, n)) {
            Fatal(r, "%s/%s: Not a number in %s: %s%s", TEName(r), AC(r), "<p>", r.pszTag,
                  r.pszText);
        }
        if (n < -kPosMax || n > kPosMax) {
            Fatal(r, "%s/%s, position off bounds (-124..124): %s%ld", TEName(r), AC(r), r.pszTag,
                  n);
        }
        ft.iPos = static_cast<int>(n);
        r.rState = kStTermSep;
    }
}

// A one-character limit for values of tag elements.
void CheckValueLength(const Reader& r, const char* pszFormat) {
    if (r.iElem >= 0 && r.iElem < kElemAC && r.text.size() > 1) {
        Fatal(r, pszFormat, TEName(r), AC(r), "<Fx>", r.pszTag, r.pszText);
    }
}

constexpr const char* kMsgSubtagTooLong = "%s/%s, subtag too long in %s (> 1): %s%s";
constexpr const char* kMsgMemberTooLong = "%s/%s, (possible) subtag too long in %s (> 1): %s%s";

int ReadTermItem(Reader& r) {
    const int st = r.rState;
    if (st == kStTermLine && r.tag == "<a>") {
        CheckSameAC(r, "<Fx>");
        r.rState = kStTermIndex;
    } else if ((st == kStTermLine || st == kStTermIndex) && r.tag == "<i>") {
        if (st == kStTermLine) {
            Pass(r, kStTermIndex);
            return 0;
        }
        long n = 0;
        if (!ParseNumber(r.pszText, n)) {
            Fatal(r, "%s/%s: Not a number in %s: %s%s", TEName(r), AC(r), "<i>", r.pszTag,
                  r.pszText);
        }
        if (n < 0) Fatal(r, "%s/%s, index negative: %s%ld", TEName(r), AC(r), r.pszTag, n);
        if (n != r.pfd->cTerms) {
            Warn(r, "%s/%s: index (%d) mismatch: %s%ld (ignored)", TEName(r), AC(r), r.pfd->cTerms,
                 r.pszTag, n);
        }
        r.rState = kStTermPos;
    } else if ((st == kStTermLine || st == kStTermIndex) && r.tag == "<p>") {
        Pass(r, kStTermPos);
    } else if (st == kStTermPos && r.tag == "<p>") {
        StartTerm(r);
    } else if (st == kStTermSep && r.tag == "<v>") {
        if (!r.text.empty()) Fatal(r, "SGML tag %s should be empty, not %s", "<v>", r.pszText);
        r.rState = kStCondElem;
    } else if ((st == kStClosestElem || st == kStCondElem) && r.tag == "<d>") {
        r.iElem = ElemCodeOfName(r);
        if (st == kStClosestElem) {
            r.rState = r.iElem == kElemForm ? kStClosestForm : kStClosestValue;
        } else {
            r.rState = r.iElem == kElemForm ? kStCondForm : kStCondValue;
        }
    } else if (st == kStClosestValue && (r.tag == "<a>" || r.tag == "<t>")) {
        FeatureTerm& ft = CurrentTerm(r);
        const bool fAC = r.tag == "<a>";
        if (!fAC) CheckValueLength(r, kMsgSubtagTooLong);
        ft.iClosestConditionElem = (fAC && r.iElem < kElemAC) ? r.iElem + kElemAC : r.iElem;
        if (int rc = Intern(r, r.text, ft.pszClosestValue,
                            fAC ? kRcInternClosestAC : kRcInternClosestValue)) {
            return rc;
        }
        r.rState = kStTermSep;
    } else if (st == kStClosestForm && r.tag == "<g>") {
        FeatureTerm& ft = CurrentTerm(r);
        ft.iClosestConditionElem = kElemForm;
        if (int rc = Intern(r, r.text, ft.pszClosestValue, kRcInternClosestForm)) return rc;
        r.rState = kStTermSep;
    } else if (st == kStCondValue && (r.tag == "<a>" || r.tag == "<e>" || r.tag == "<t>")) {
        FeatureTerm& ft = CurrentTerm(r);
        int iElem = r.iElem;
        int rcFail = kRcInternCondValue;
        if (r.tag == "<a>") {
            if (iElem < kElemAC) iElem += kElemAC;
            rcFail = kRcInternCondAC;
        } else if (r.tag == "<e>") {
            CheckValueLength(r, kMsgMemberTooLong);
            if (iElem < kElemAC) iElem += kElemACMember;
            rcFail = kRcInternCondMember;
        } else {
            CheckValueLength(r, kMsgSubtagTooLong);
        }
        ft.iConditionElem = iElem;
        if (int rc = Intern(r, r.text, ft.pszValue, rcFail)) return rc;
        r.rState = kStTermDone;
    } else if (st == kStCondForm && r.tag == "<g>") {
        FeatureTerm& ft = CurrentTerm(r);
        ft.iConditionElem = kElemForm;
        if (int rc = Intern(r, r.text, ft.pszValue, kRcInternCondForm)) return rc;
        r.rState = kStTermDone;
    } else {
        Fatal(r, "rState %d, invalid SGML tag in %s: %s%s", st, "<Fx>", r.pszTag, r.pszText);
    }
    return 0;
}

// ---------------------------------------------------------------- driver

int Dispatch(Reader& r) {
    switch (r.rState) {
    case kStStart:
        if (r.tag == "<tagmodel>") {
            if (!r.text.empty()) {
                ux_LnLog(kModApp, kMsgApp, r.pdf.lLine,
                         "model: " + std::string(r.tag) + std::string(r.text));
            }
            r.rState = kStHeader;
        } else {
            Pass(r, kStHeader);
        }
        return 0;
    case kStHeader:
        return ReadHeaderItem(r);
    case kStSection:
        return ReadSectionItem(r);
    case kStValueCnt:
        ReadValueCountItem(r);
        return 0;
    case kStClass:
        return ReadClassItem(r);
    case kStJoint:
        ReadJointItem(r);
        return 0;
    case kStFeature:
        if (r.tag != "<FE>")
            Fatal(r, "rState %d, invalid SGML tag %s%s", r.rState, r.pszTag, r.pszText);
        if (int rc = CreateFeature(r)) return rc;
        r.rState = kStFeatAC;
        return 0;
    case kStFeatAC:
    case kStFeatTerms:
    case kStFeatCnt:
    case kStFeatWeight:
    case kStFeatValue:
        return ReadFeatureLineItem(r);
    case kStFcLine:
    case kStFcAC:
    case kStFcCnt:
    case kStFcValue:
    case kStFcNext:
        ReadValueCountLineItem(r);
        return 0;
    case kStFeatDone:
    case kStTermDone:
        ReadAfterFeatureItem(r);
        return 0;
    case kStEnd:
        Fatal(r, "rState %d, invalid SGML tag (EOF expected): %s%s", r.rState, r.pszTag, r.pszText);
    default:
        return ReadTermItem(r);
    }
}

// Clears what a model read earlier (or set up for training) left behind.
void ResetModel(Model& m) {
    FreeModel(m);
    m.szTrainingData.clear();
    m.szFeaturePoolFile.clear();
    m.szAmbClassIgnore.clear();
    m.hFeaturePool = -1;
    m.clStrAreaSize = 0;
    m.phashFC.reset();
    m.clTrainingSize = m.clErrInit = m.clErr = 0;
    m.clFeatureSuggSize = m.clFeatureSuggUsed = 0;
    std::vector<FeatureDesc>().swap(m.rgfdFeatureSugg);
    m.cThrMin = m.cPoolThr = m.cClosestThr = 0;
}

// At the end of the file: a term still waiting for its condition would hold
// no element code at all; it is dropped, so that only complete terms remain.
void DropIncompleteTerm(Reader& r) {
    if (r.pfd == nullptr || r.pfd->cTerms == 0) return;
    const FeatureTerm& ft = r.pfd->rgftTerm[static_cast<size_t>(r.pfd->cTerms - 1)];
    if (ft.iPos == kPosEmpty || ft.iConditionElem != -1) return;
    Warn(r, "%s/%s, incomplete term at end of file dropped", TEName(r), AC(r));
    --r.pfd->cTerms;
}

// True when the file ends with the line end that the writer puts after every
// record. A file that cannot be seek'd (a pipe) is taken as it is.
bool EndsWithLineEnd(Reader& r) {
    std::FILE* pf = r.pdf.pf.get();
    if (pf == nullptr || std::fseek(pf, -1, SEEK_END) != 0) return true;
    return std::fgetc(pf) == '\n';
}

// A model file must hold every record its header declares; anything less is
// a file cut short (an interrupted copy, a full disk) and would test and tag
// with a model other than the one trained.
void RequireWholeFile(Reader& r) {
    const Model& m = r.m;
    if (r.rState != kStEnd && !EndsWithLineEnd(r))
        Fatal(r, "file cut short: it ends inside a line");
    switch (r.rState) {
    case kStClass:
    case kStJoint: {
        // A class waits for joint counts that add up to its count.
        const AmbClass* pac = CurrentClass(r);
        if (pac == nullptr) break;
        long clSum = 0;
        for (size_t i = 0; i < std::min(r.szAC.size(), pac->rgclJointCnt.size()); ++i)
            clSum += pac->rgclJointCnt[i];
        if (pac->clAmbClassCnt != 0 && clSum != pac->clAmbClassCnt) {
            Fatal(r, "file cut short: %s/%s joint counts sum to %ld of %ld", TEName(r), AC(r),
                  clSum, pac->clAmbClassCnt);
        }
        break;
    }
    case kStFeatDone:
    case kStTermDone:
        if (r.cTermsDecl != 0 && r.pfd->cTerms != r.cTermsDecl) {
            Fatal(r, "file cut short: %s/%s feature has %d of %d terms", TEName(r), AC(r),
                  r.pfd->cTerms, r.cTermsDecl);
        }
        break;
    case kStStart:
    case kStHeader:
    case kStSection:
    case kStValueCnt:
    case kStFeature:
    case kStEnd:
        break;
    default:
        Fatal(r, "file cut short inside a feature of %s/%s", TEName(r), AC(r));
    }
    if (r.fTagElemsSetUp && r.iTE + 1 < m.cTagElem)
        Fatal(r, "file cut short: %d of %d subtag sections (<Dc>)", r.iTE + 1, m.cTagElem);
    // The smallest area a header can declare without a warning is 1: a file
    // that declares 1 and holds none has no classes (or features) at all.
    const auto Short = [](long clUsed, long clSize) {
        return clUsed < clSize - 1 && !(clUsed == 0 && clSize == 2);
    };
    if (Short(m.clAmbClassAreaUsed, m.clAmbClassAreaSize)) {
        Fatal(r, "file cut short: %ld of %ld amb classes (<Da>)", m.clAmbClassAreaUsed,
              m.clAmbClassAreaSize - 1);
    }
    if (Short(m.clFeatureAreaUsed, m.clFeatureAreaSize)) {
        Fatal(r, "file cut short: %ld of %ld features (<Df>)", m.clFeatureAreaUsed,
              m.clFeatureAreaSize - 1);
    }
}

} // namespace

int ReadModel(std::string_view szArgFile, Model& m, ModelEnd end) {
    if (m.hModelFile > 0) ux_Close(m.hModelFile);
    // The handle is gone: keeping its number would let a later close hit
    // whatever file reuses it.
    m.hModelFile = 0;

    const auto ppdf = std::make_unique<pdfRecType>();
    ppdf->szFileName = m.szModelFile;
    if (OpenData(*ppdf) != 0) return kModelNotOpened;

    ResetModel(m);
    Reader r(szArgFile, m, *ppdf);

    int rc = GetSGMLTagText(r.szTagBuf, r.szTextBuf, r.pdf);
    if (rc == kChEndOfInput) {
        // Nothing but comments: read as the closing item alone.
        std::strcpy(r.szTagBuf.data(), "</tagmodel>");
        r.szTextBuf[0] = '\0';
    } else if (rc != 0) {
        return rc;
    }
    SetItem(r);

    for (;;) {
        r.fRead = true;
        if (const int rcItem = Dispatch(r); rcItem != 0) {
            FreeModel(m);
            return rcItem;
        }
        if (!r.fRead) continue;
        rc = GetSGMLTagText(r.szTagBuf, r.szTextBuf, r.pdf);
        if (rc == kChEndOfInput) break;
        if (rc != 0) {
            FreeModel(m);
            return rc;
        }
        SetItem(r);
    }

    // Without a single section there are no tag elements to test or tag with.
    if (!r.fTagElemsSetUp) Fatal(r, "no subtag section (<st>) in the model file");
    if (end == ModelEnd::kWhole) RequireWholeFile(r);
    DropIncompleteTerm(r);
    if (r.iTE + 1 < m.cTagElem) {
        Warn(r, "Max # of subtags: %d; dcl as %d", r.iTE + 1, m.cTagElem);
    }
    if (m.clAmbClassAreaUsed < 1) Warn(r, "No ambiguity classes -- global smoothing only");
    return 0;
}

} // namespace vexta
