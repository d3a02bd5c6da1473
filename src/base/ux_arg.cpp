// Argument files: the reader, value requests with reference expansion,
// run-time definitions and fields.
#include "base/ux_arg.h"

#include "base/ux_base.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <new>
#include <set>
#include <span>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vexta {

namespace {

// Limits of the stored text of one definition and of file names.
constexpr std::size_t kMaxKey = 249;      // characters of a key
constexpr std::size_t kMaxValue = 3999;   // characters of a value
constexpr std::size_t kMaxWord = 249;     // directive word and include name
constexpr std::size_t kMaxFileName = 248; // source characters of a file name
constexpr int kNameLen = 3998;            // buffer of an expanded variable name
constexpr int kDefaultSlots = 100;        // open-file slots made by the first open

// What is known of the expansion of a definition name that holds references.
enum class NameState : signed char { kUnknown, kExpanding, kDone, kUndefined };

struct ArgDef {
    std::string szName;
    std::string szValue;
    signed char cGuard = 0; // positive while the definition is being expanded
    // The expanded name (names with references only), valid while iNameGen
    // equals the file's iGen.
    NameState nameState = NameState::kUnknown;
    unsigned iNameGen = 0;
    std::string szNameExpanded;
};

ArgDef MakeDef(std::string_view szName, std::string_view szValue) {
    ArgDef def;
    def.szName = szName;
    def.szValue = szValue;
    return def;
}

struct ArgFile {
    std::string szGiven;       // the name as passed to ux_ArgOpen
    std::string szName;        // the parsed name: quotes removed, parameters cut
    std::vector<ArgDef> rgdef; // oldest first; lookups walk from the back
    std::set<std::string, std::less<>> setszRequested; // keys asked for by name
    unsigned iGen = 1; // counts changes of rgdef; expanded names of older counts are stale
};

std::vector<std::unique_ptr<ArgFile>> rgargFile;
int cargFiles = 0;

// File name as used for opening: quotes dropped (the other quote character
// inside a quoted stretch is kept), cut at an unquoted "(" and at a NUL byte,
// where the system ends the name (a name holding more than the system sees
// would let an include of a file already being read pass as a new file).
std::string uxp_ArgParseFileName(std::string_view szSource) {
    std::string szName;
    char cQuote = 0;
    std::size_t cCopied = 0;
    for (const char c : szSource) {
        if ((cQuote == 0 && c == '(') || c == '\0') break;
        if (++cCopied > kMaxFileName) ux_FatalError(kModArg, 23, szSource);
        if (c == '\'' || c == '"') {
            if (cQuote == 0) {
                cQuote = c;
                continue;
            }
            if (cQuote == c) {
                cQuote = 0;
                continue;
            }
        }
        szName += c;
    }
    if (szName.empty()) szName = "stdin";
    return szName;
}

// Whole contents of a file ("stdin": standard input). A file that cannot be
// opened or read ends the run with the base library's messages.
std::string uxp_ArgReadWhole(const std::string& szName) {
    const bool fStdin = szName == "stdin";
    const int h = fStdin ? STDIN_FILENO : ux_Open(szName, "r");
    std::string szText;
    char rgch[4096];
    for (long cb; (cb = ux_ReadMax(h, rgch, sizeof rgch)) > 0;)
        szText.append(rgch, static_cast<std::size_t>(cb));
    if (!fStdin) ux_Close(h);
    return szText;
}

// The file that "#include szName" in the file szIncluding reads: szName
// itself when it exists (relative to the current directory), else szName
// relative to the directory of szIncluding when that exists, so that
// argument files can include their neighbours from anywhere. A name found
// nowhere is returned as it is, and opening it reports the failure.
std::string uxp_ArgFindInclude(std::string szName, std::string_view szIncluding) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (szName == "stdin" || fs::exists(szName, ec) || fs::path(szName).is_absolute())
        return szName;
    const fs::path pathDir = fs::path(szIncluding).parent_path();
    if (szIncluding == "stdin" || pathDir.empty()) return szName;
    const fs::path pathNear = pathDir / szName;
    if (fs::exists(pathNear, ec)) return pathNear.lexically_normal().string();
    std::fprintf(stderr,
                 "ux_arg: included file %s is found neither in the current directory nor "
                 "in %s\n",
                 szName.c_str(), pathDir.string().c_str());
    return szName;
}

// Reads the text of one file into the definition list of argf. szName (the
// parsed name of the file being read) qualifies its references and names it
// in messages; rgszReading holds the files of the include chain.
class ArgReader {
public:
    ArgReader(ArgFile& argf, std::string szName, std::vector<std::string>& rgszReading)
        : argf_(argf), szName_(std::move(szName)), szWhere_(szName_), rgszReading_(rgszReading) {}
    // The same, naming the text szWhere in messages (references still belong
    // to the file szName).
    ArgReader(ArgFile& argf, std::string szName, std::string szWhere,
              std::vector<std::string>& rgszReading)
        : argf_(argf), szName_(std::move(szName)), szWhere_(std::move(szWhere)),
          rgszReading_(rgszReading) {}

    void Read(std::string_view szText) {
        // The end of the file acts as one final newline.
        for (std::size_t i = 0; i <= szText.size(); ++i) {
            const char c = i < szText.size() ? szText[i] : '\n';
            if (c != '\r') Step(c);
        }
        // Text left over after that final newline would be lost: report it,
        // or complete a value whose last line asked for a continuation.
        if (cQuote_ != 0) Fail("(unclosed quote at end of file)");
        if (st_ == kValue) {
            if (!szValue_.empty() && szValue_.back() == kArgFieldSep) szValue_.pop_back();
            AddDefinition();
        } else if (st_ == kKey && !szKey_.empty()) {
            FailNoEquals();
        }
    }

private:
    enum State { kKey, kKeyRef, kValue, kValueRef, kDirective, kComment, kInclude };

    static bool IsBlank(char c) { return c == ' ' || c == '\t'; }
    static bool IsQuote(char c) { return c == '\'' || c == '"'; }

    void Step(char c) {
        switch (st_) {
        case kKey:
            StepKey(c);
            break;
        case kValue:
            StepValue(c);
            break;
        case kKeyRef:
        case kValueRef:
            StepRef(c);
            break;
        case kDirective:
            StepDirective(c);
            break;
        case kComment:
            if (c == '\n') EndDirectiveLine();
            break;
        case kInclude:
            StepInclude(c);
            break;
        }
    }

    // Handles an unquoted quote character or a quoted one; true when c is used.
    bool StepQuote(char c, std::string& sz) {
        if (cQuote_ != 0) {
            if (c == cQuote_)
                cQuote_ = 0;
            else
                sz += c;
            return true;
        }
        if (IsQuote(c)) {
            cQuote_ = c;
            return true;
        }
        return false;
    }

    void StepKey(char c) {
        if (StepQuote(c, szKey_)) return;
        if (c == '#' && szKey_.empty()) {
            st_ = kDirective;
            szWord_.clear();
        } else if (IsBlank(c)) {
            if (!szKey_.empty() && szKey_.back() != ' ') AppendKey(' ');
        } else if (c == '\n') {
            if (szKey_.empty()) return;
            if (szKey_.back() == '\\') {
                szKey_.pop_back();
            } else if (szKey_.size() >= 2 && szKey_.ends_with("\\ ")) {
                szKey_.resize(szKey_.size() - 2);
            } else {
                FailNoEquals();
            }
            if (!szKey_.empty() && szKey_.back() != ' ') AppendKey(' ');
        } else if (c == '$') {
            AppendKey(kArgRefStart);
            st_ = kKeyRef;
        } else if (c == '}') {
            if (cDepth_ == 0) Fail25("too many variable closing parentheses");
            AppendKey(kArgRefEnd);
            --cDepth_;
        } else if (c == '=') {
            if (cDepth_ > 0) Fail25("too few variable closing parentheses");
            if (szKey_.empty()) {
                Fail25(std::to_string(lLine_) + " (before =) of file(par) " + szWhere_);
            }
            if (szKey_.back() == ' ') szKey_.pop_back();
            CheckLength(szKey_, kMaxKey, "attr name");
            szValue_.clear();
            st_ = kValue;
        } else {
            AppendKey(c);
        }
    }

    void StepValue(char c) {
        if (StepQuote(c, szValue_)) return;
        if (IsBlank(c)) {
            if (szValue_.empty() || szValue_.back() == kArgFieldSep) return;
            AppendValue(cDepth_ > 0 ? ' ' : kArgFieldSep);
        } else if (c == '$') {
            AppendValue(kArgRefStart);
            st_ = kValueRef;
        } else if (c == '}') {
            if (cDepth_ == 0) Fail25("too many variable closing parentheses (val)");
            AppendValue(kArgRefEnd);
            --cDepth_;
        } else if (c == '\n') {
            if (cDepth_ > 0) Fail25("too few variable closing parentheses (val)");
            if (!szValue_.empty() && szValue_.back() == kArgFieldSep) szValue_.pop_back();
            if (!szValue_.empty() && szValue_.back() == '\\') {
                // A continued line is a field break.
                szValue_.pop_back();
                if (!szValue_.empty() && szValue_.back() != kArgFieldSep) AppendValue(kArgFieldSep);
                return;
            }
            AddDefinition();
        } else {
            AppendValue(c);
        }
    }

    // After "$": everything up to "{" is dropped. A line break before the
    // "{" would swallow the following definitions, so it is an error.
    void StepRef(char c) {
        const bool fKey = st_ == kKeyRef;
        if (c == '{') {
            std::string& sz = fKey ? szKey_ : szValue_;
            sz += szName_;
            sz += kArgFileSep;
            ++cDepth_;
            st_ = fKey ? kKey : kValue;
        } else if (c == '\n') {
            Fail("($ not followed by { on the same line)");
        }
    }

    void StepDirective(char c) {
        if (!IsBlank(c) && c != '\n') {
            szWord_ += c;
            return;
        }
        CheckLength(szWord_, kMaxWord, "directive");
        if (!szWord_.empty() && szWord_.front() == '$') ux_FatalError(kModArg, 26, szWhere_);
        if (szWord_ == "include" && c != '\n') {
            szInclude_.clear();
            st_ = kInclude;
        } else if (c == '\n') {
            EndDirectiveLine();
        } else {
            st_ = kComment;
        }
    }

    void StepInclude(char c) {
        if (c != '\n') {
            if (szInclude_.empty() && IsBlank(c)) return;
            szInclude_ += c;
            return;
        }
        CheckLength(szInclude_, kMaxWord, "include file name");
        // "#include" with nothing after it includes nothing (not standard input).
        if (!szInclude_.empty()) Include(szInclude_);
        EndDirectiveLine();
    }

    void Include(std::string_view szSource) {
        std::string szName = uxp_ArgFindInclude(uxp_ArgParseFileName(szSource), szName_);
        if (std::find(rgszReading_.begin(), rgszReading_.end(), szName) != rgszReading_.end())
            Fail("(recursive include of " + szName + ")");
        const std::string szText = uxp_ArgReadWhole(szName);
        rgszReading_.push_back(szName);
        ArgReader(argf_, std::move(szName), rgszReading_).Read(szText);
        rgszReading_.pop_back();
    }

    void EndDirectiveLine() {
        ++lLine_;
        st_ = kKey;
    }

    void AddDefinition() {
        CheckLength(szValue_, kMaxValue, "value");
        argf_.rgdef.push_back(MakeDef(szKey_, szValue_));
        ++argf_.iGen;
        szKey_.clear();
        szValue_.clear();
        ++lLine_;
        st_ = kKey;
    }

    void AppendKey(char c) { szKey_ += c; }
    void AppendValue(char c) { szValue_ += c; }

    // The stored text of a definition, a directive word or an include name
    // has fixed limits; longer text is refused rather than cut.
    void CheckLength(const std::string& sz, std::size_t cchMax, const char* pszWhat) {
        if (sz.size() > cchMax) {
            Fail(std::string("(") + pszWhat + " longer than " + std::to_string(cchMax) +
                 " characters)");
        }
    }

    [[noreturn]] void FailNoEquals() {
        Fail25(std::to_string(lLine_) + " of file(par) " + szWhere_ + " (no = after attr name " +
               szKey_ + ")");
    }

    // "<line> of file(par) <file> <what>".
    [[noreturn]] void Fail(std::string_view szWhat) {
        Fail25(std::to_string(lLine_) + " of file(par) " + szWhere_ + " " + std::string(szWhat));
    }

    [[noreturn]] static void Fail25(std::string_view szDetail) {
        ux_FatalError(kModArg, 25, szDetail);
    }

    ArgFile& argf_;
    const std::string szName_;
    const std::string szWhere_;
    std::vector<std::string>& rgszReading_;
    State st_ = kKey;
    std::string szKey_;
    std::string szValue_;
    std::string szWord_;
    std::string szInclude_;
    char cQuote_ = 0;
    int cDepth_ = 0;
    long lLine_ = 1;
};

ArgFile* uxp_ArgFind(std::string_view szFile) {
    for (const auto& pargf : rgargFile)
        if (pargf && (pargf->szGiven == szFile || pargf->szName == szFile)) return pargf.get();
    return nullptr;
}

ArgFile& uxp_ArgFindOrDie(std::string_view szFile, std::string_view szKey) {
    ArgFile* pargf = uxp_ArgFind(szFile);
    if (pargf == nullptr) {
        std::string szDetail(szFile);
        szDetail += '/';
        szDetail += szKey;
        ux_FatalError(kModArg, 28, szDetail);
    }
    return *pargf;
}

// Definitions whose guard is raised, innermost last.
std::vector<ArgDef*> rgpdefGuarded;

// Raises a definition's guard for the lifetime of the object, so that the
// definition is invisible inside its own expansion.
class GuardHold {
public:
    explicit GuardHold(ArgDef& def) : def_(def) {
        ++def_.cGuard;
        rgpdefGuarded.push_back(&def_);
    }
    ~GuardHold() {
        --def_.cGuard;
        rgpdefGuarded.pop_back();
    }
    GuardHold(const GuardHold&) = delete;
    GuardHold& operator=(const GuardHold&) = delete;

private:
    ArgDef& def_;
};

// Definitions whose names are being expanded, innermost last.
std::vector<ArgDef*> rgpdefNaming;

// Values of definitions expanded during one request. A definition met on
// many paths (v2 = ${v1}${v1}, v3 = ${v2}${v2}, ...) is expanded once per
// context instead of once per path, which grew as 2^n. What a value expands
// to depends on which definitions are invisible at the time (raised guards,
// names being expanded) and on the length allowed, so those are the key.
class ValueMemo {
public:
    struct Entry {
        int len;
        std::vector<ArgDef*> rgpdefGuarded;
        std::vector<ArgDef*> rgpdefNaming;
        int rc;
        std::string szValue;
    };
    const Entry* Find(const ArgDef& def, int len) const {
        const auto it = map_.find(&def);
        if (it == map_.end()) return nullptr;
        for (const Entry& entry : it->second)
            if (entry.len == len && entry.rgpdefGuarded == rgpdefGuarded &&
                entry.rgpdefNaming == rgpdefNaming)
                return &entry;
        return nullptr;
    }
    void Add(const ArgDef& def, int len, int rc, const std::string& szValue) {
        map_[&def].push_back({len, rgpdefGuarded, rgpdefNaming, rc, szValue});
    }

private:
    std::unordered_map<const ArgDef*, std::vector<Entry>> map_;
};

// The memo of the request under way, if any.
ValueMemo* pmemoActive = nullptr;

// Gives a request its memo; requests made inside it share the outer one.
class MemoScope {
public:
    MemoScope() : fOwner_(pmemoActive == nullptr) {
        if (fOwner_) pmemoActive = &memo_;
    }
    ~MemoScope() {
        if (fOwner_) pmemoActive = nullptr;
    }
    MemoScope(const MemoScope&) = delete;
    MemoScope& operator=(const MemoScope&) = delete;

private:
    bool fOwner_;
    ValueMemo memo_;
};

// Lowers every raised guard for the lifetime of the object, so that what is
// expanded inside sees the file as a request from outside does.
class FreshContext {
public:
    FreshContext() : rgpdefSaved_(std::move(rgpdefGuarded)) {
        rgpdefGuarded.clear();
        for (ArgDef* pdef : rgpdefSaved_) --pdef->cGuard;
    }
    ~FreshContext() {
        for (ArgDef* pdef : rgpdefSaved_) ++pdef->cGuard;
        rgpdefGuarded = std::move(rgpdefSaved_);
    }
    FreshContext(const FreshContext&) = delete;
    FreshContext& operator=(const FreshContext&) = delete;

private:
    std::vector<ArgDef*> rgpdefSaved_;
};

[[noreturn]] void uxp_ArgTooLong(std::string_view szPartial, int len) {
    std::fprintf(stderr, "%.*s %d %d\n", static_cast<int>(szPartial.size()), szPartial.data(),
                 static_cast<int>(szPartial.size()), len);
    ux_FatalError(kModArg, 201, "too long result string");
}

int uxp_ArgExpand(ArgFile& argf, std::string_view szText, std::string& szOut, int len);

// Where each reference of a text ends: End(i) is the index of the kArgRefEnd
// that closes the reference opened at i, or the text's end when none does.
// In a text where no reference holds another (nearly every text) that is the
// next kArgRefEnd. Otherwise the ends are found in one pass over the whole
// text, and a reference's inner text reads them through Inner(), so nested
// references cost no rescans: a text of n unclosed reference starts used to
// cost n scans of length n at each of n nesting levels.
class RefEnds {
public:
    explicit RefEnds(std::string_view szText) {
        std::size_t cOpen = 0;
        bool fNested = false;
        for (const char ch : szText) {
            if (ch == kArgRefStart) {
                fNested = fNested || cOpen > 0;
                ++cOpen;
            } else if (ch == kArgRefEnd && cOpen > 0) {
                --cOpen;
            }
        }
        if (fNested) {
            rgiEnd_.assign(szText.size(), szText.size());
            std::vector<std::size_t> rgiOpen;
            for (std::size_t i = 0; i < szText.size(); ++i) {
                if (szText[i] == kArgRefStart) {
                    rgiOpen.push_back(i);
                } else if (szText[i] == kArgRefEnd && !rgiOpen.empty()) {
                    rgiEnd_[rgiOpen.back()] = i;
                    rgiOpen.pop_back();
                }
            }
        }
        view_ = {rgiEnd_, 0, szText};
    }
    RefEnds(const RefEnds&) = delete;
    RefEnds& operator=(const RefEnds&) = delete;

    // The ends as seen from a part of the text: positions and ends relative
    // to the part's first character.
    struct View {
        std::span<const std::size_t> rgiEnd; // empty: no reference holds another
        std::size_t iShift;
        std::string_view szText;
        std::size_t End(std::size_t i) const {
            if (!rgiEnd.empty()) return rgiEnd[i] - iShift;
            const std::size_t iEnd = szText.find(kArgRefEnd, i);
            return iEnd == std::string_view::npos ? szText.size() : iEnd;
        }
        // The view of the part [iFrom, iTo) of this view's text, a reference
        // that holds others.
        View Inner(std::size_t iFrom, std::size_t iTo) const {
            return {rgiEnd.subspan(iFrom, iTo - iFrom), iShift + iFrom,
                    szText.substr(iFrom, iTo - iFrom)};
        }
    };
    const View& Whole() const { return view_; }

private:
    std::vector<std::size_t> rgiEnd_;
    View view_;
};

// Expansions of the names built from references in one text, by where they
// stand in it; while the file does not change, a name expands the same way
// each time it is met.
using NameMemo = std::unordered_map<const char*, std::pair<int, std::string>>;

int uxp_ArgExpandIn(ArgFile& argf, std::string_view szText, const RefEnds::View& ends,
                    std::string& szOut, int len, NameMemo* pmemo = nullptr);

// Marks a name as being expanded; a name left half-way by a fatal error goes
// back to unknown.
class NameExpanding {
public:
    explicit NameExpanding(ArgDef& def) : def_(def) {
        def_.nameState = NameState::kExpanding;
        rgpdefNaming.push_back(&def_);
    }
    ~NameExpanding() {
        rgpdefNaming.pop_back();
        if (def_.nameState == NameState::kExpanding) def_.nameState = NameState::kUnknown;
    }
    NameExpanding(const NameExpanding&) = delete;
    NameExpanding& operator=(const NameExpanding&) = delete;

private:
    ArgDef& def_;
};

// The name of a definition with its references expanded (a plain name is
// itself), or null when the expansion meets an undefined variable. A name is
// expanded once per change of the file, as a request from outside would see
// it with the definition itself invisible; names that are being expanded are
// invisible too. Before, every look-up expanded every such name again,
// recursively, which made a file of k names built on one variable cost k!.
const std::string* uxp_ArgDefName(ArgFile& argf, ArgDef& def) {
    if (def.szName.find(kArgRefStart) == std::string::npos &&
        def.szName.size() <= static_cast<std::size_t>(kNameLen - 2))
        return &def.szName;
    if (def.iNameGen != argf.iGen) def.nameState = NameState::kUnknown;
    if (def.nameState == NameState::kUnknown) {
        const FreshContext context;
        const NameExpanding expanding(def);
        std::string szName;
        const bool fDefined = uxp_ArgExpand(argf, def.szName, szName, kNameLen) >= 0;
        def.szNameExpanded = std::move(szName);
        def.nameState = fDefined ? NameState::kDone : NameState::kUndefined;
        def.iNameGen = argf.iGen;
    }
    return def.nameState == NameState::kDone ? &def.szNameExpanded : nullptr;
}

// The value of def expanded (its guard raised), from the request's memo
// when the same context met it before.
int uxp_ArgExpandValue(ArgFile& argf, const ArgDef& def, std::string& szValue, int len) {
    if (pmemoActive == nullptr) return uxp_ArgExpand(argf, def.szValue, szValue, len);
    if (const ValueMemo::Entry* pentry = pmemoActive->Find(def, len)) {
        szValue = pentry->szValue;
        return pentry->rc;
    }
    const int rc = uxp_ArgExpand(argf, def.szValue, szValue, len);
    pmemoActive->Add(def, len, rc, szValue);
    return rc;
}

// Appends the value of the variable szWanted to szOut (at most len - 2
// characters in all). Returns 0, or -1 when the variable is not defined or
// its expansion meets an undefined variable.
int uxp_ArgSubstitute(ArgFile& argf, std::string_view szWanted, std::string& szOut, int len) {
    for (;;) {
        for (auto it = argf.rgdef.rbegin(); it != argf.rgdef.rend(); ++it) {
            ArgDef& def = *it;
            if (def.cGuard > 0 || def.nameState == NameState::kExpanding) continue;
            const std::string* pszName = uxp_ArgDefName(argf, def);
            if (pszName == nullptr) return -1;
            if (*pszName != szWanted) continue;
            const GuardHold hold(def);
            std::string szValue;
            if (uxp_ArgExpandValue(argf, def, szValue, len) < 0) return -1;
            if (static_cast<long>(szOut.size() + szValue.size()) > static_cast<long>(len) - 2)
                ux_FatalError(kModArg, 202, szValue);
            szOut += szValue;
            return 0;
        }
        // Not found under its qualified name: try the bare variable name.
        const std::size_t iSep = szWanted.find(kArgFileSep);
        if (iSep == std::string_view::npos) return -1;
        szWanted.remove_prefix(iSep + 1);
    }
}

// Expands szText into szOut (replacing its contents), which may hold at most
// len - 2 characters. Returns 0, or -1 when an undefined variable is met.
int uxp_ArgExpand(ArgFile& argf, std::string_view szText, std::string& szOut, int len) {
    if (szText.find(kArgRefStart) == std::string_view::npos) {
        szOut.clear();
        if (static_cast<long>(szText.size()) > static_cast<long>(len) - 2)
            uxp_ArgTooLong(szText.substr(0, len > 2 ? len - 2 : 0), len);
        szOut = szText;
        return 0;
    }
    const RefEnds ends(szText);
    return uxp_ArgExpandIn(argf, szText, ends.Whole(), szOut, len);
}

// The name that the reference text szRef (which holds references) stands
// for, remembered in *pmemo when one is given.
int uxp_ArgExpandName(ArgFile& argf, std::string_view szRef, const RefEnds::View& ends,
                      std::string& szName, NameMemo* pmemo) {
    if (pmemo == nullptr) return uxp_ArgExpandIn(argf, szRef, ends, szName, kNameLen);
    if (const auto it = pmemo->find(szRef.data()); it != pmemo->end()) {
        szName = it->second.second;
        return it->second.first;
    }
    const int rc = uxp_ArgExpandIn(argf, szRef, ends, szName, kNameLen, pmemo);
    pmemo->emplace(szRef.data(), std::pair{rc, szName});
    return rc;
}

// uxp_ArgExpand with the reference ends of szText already found.
int uxp_ArgExpandIn(ArgFile& argf, std::string_view szText, const RefEnds::View& ends,
                    std::string& szOut, int len, NameMemo* pmemo) {
    szOut.clear();
    const long cchMax = static_cast<long>(len) - 2;
    std::size_t i = 0;
    while (i < szText.size()) {
        std::size_t iRef = szText.find(kArgRefStart, i);
        if (iRef == std::string_view::npos) iRef = szText.size();
        const std::string_view szPlain = szText.substr(i, iRef - i);
        if (static_cast<long>(szOut.size() + szPlain.size()) > cchMax) {
            const std::size_t cchFit =
                cchMax > static_cast<long>(szOut.size()) ? cchMax - szOut.size() : 0;
            uxp_ArgTooLong(szOut + std::string(szPlain.substr(0, cchFit)), len);
        }
        szOut += szPlain;
        if (iRef == szText.size()) break;

        const std::size_t iEnd = ends.End(iRef);
        const std::string_view szRef = szText.substr(iRef + 1, iEnd - iRef - 1);
        if (szRef.find(kArgRefStart) == std::string_view::npos &&
            szRef.size() <= static_cast<std::size_t>(kNameLen - 2)) {
            if (uxp_ArgSubstitute(argf, szRef, szOut, len) < 0) return -1;
        } else {
            std::string szName;
            if (uxp_ArgExpandName(argf, szRef, ends.Inner(iRef + 1, iEnd), szName, pmemo) < 0)
                return -1;
            if (uxp_ArgSubstitute(argf, szName, szOut, len) < 0) return -1;
        }
        i = iEnd < szText.size() ? iEnd + 1 : iEnd;
    }
    return 0;
}

// The value of szKey expanded into szOut; 0, or 3 with szOut empty.
int uxp_ArgValue(std::string_view szFile, std::string_view szKey, std::string& szOut, int len) {
    ArgFile& argf = uxp_ArgFindOrDie(szFile, szKey);
    if (argf.setszRequested.find(szKey) == argf.setszRequested.end())
        argf.setszRequested.emplace(szKey);
    const MemoScope memo;
    std::string szRequest;
    szRequest.reserve(szKey.size() + 2);
    szRequest += kArgRefStart;
    szRequest += szKey;
    szRequest += kArgRefEnd;
    if (uxp_ArgExpand(argf, szRequest, szOut, len) < 0) {
        szOut.clear();
        return kArgUndefined;
    }
    return 0;
}

} // namespace

int ux_ArgInit(int cSlots) {
    if (cargFiles > 0) ux_FatalError(kModArg, 19, "");
    if (cSlots < 0) ux_FatalError(kModArg, 20, std::to_string(cSlots));
    try {
        rgargFile.clear();
        rgargFile.resize(static_cast<std::size_t>(cSlots));
    } catch (const std::bad_alloc&) {
        ux_FatalError(kModArg, 20, std::to_string(cSlots));
    }
    cargFiles = cSlots;
    return 0;
}

int ux_ArgOpen(std::string_view szFileName) {
    if (cargFiles == 0) {
        try {
            rgargFile.resize(kDefaultSlots);
        } catch (const std::bad_alloc&) {
            return 1;
        }
        cargFiles = kDefaultSlots;
    }
    const auto itFree = std::find(rgargFile.begin(), rgargFile.end(), nullptr);
    if (itFree == rgargFile.end()) ux_FatalError(kModArg, 21, szFileName);

    auto pargf = std::make_unique<ArgFile>();
    pargf->szGiven = szFileName;
    pargf->szName = uxp_ArgParseFileName(szFileName);
    const std::string szText = uxp_ArgReadWhole(pargf->szName);
    std::vector<std::string> rgszReading{pargf->szName};
    ArgReader(*pargf, pargf->szName, rgszReading).Read(szText);
    *itFree = std::move(pargf);
    return 0;
}

int ux_ArgOpenWithLog(std::string_view szFileName) {
    const int rc = ux_ArgOpen(szFileName);
    if (rc > 0) return rc;
    std::string szLog;
    const bool fLog = ux_ArgGetValue(szFileName, "Log", szLog) <= 0;
    ux_OpenLog(fLog ? szLog.c_str() : nullptr);

    const std::time_t tNow = std::time(nullptr);
    char szTime[64] = "";
    std::tm tmNow{};
    if (localtime_r(&tNow, &tmNow) != nullptr)
        std::strftime(szTime, sizeof szTime, "%a %b %e %H:%M:%S %Y", &tmNow);
    std::fprintf(stderr, "%s Logfile %s opened.\n", szTime, ux_GetLogFileName());
    if (!fLog) {
        std::fprintf(stderr, "%s: GetValue %s failed, this is default logfile (%s).\n", "ux_arg",
                     "Log", "stderr.log");
        return kArgNoLog;
    }
    return 0;
}

int ux_ArgClose() {
    rgargFile.clear();
    rgargFile.shrink_to_fit();
    cargFiles = 0;
    return 0;
}

int ux_ArgGetValue(std::string_view szFile, std::string_view szKey, std::span<char> szOut) {
    std::string szValue;
    const int rc = uxp_ArgValue(szFile, szKey, szValue, static_cast<int>(szOut.size()));
    if (!szOut.empty()) {
        const std::size_t cch = std::min(szValue.size(), szOut.size() - 1);
        std::copy_n(szValue.data(), cch, szOut.data());
        szOut[cch] = '\0';
    }
    return rc;
}

int ux_ArgGetValue(std::string_view szFile, std::string_view szKey, std::string& szOut, int len) {
    return uxp_ArgValue(szFile, szKey, szOut, len);
}

int ux_ArgSetValue(std::string_view szFile, std::string_view szKey, std::string_view szValue) {
    ArgFile& argf = uxp_ArgFindOrDie(szFile, szKey);
    try {
        argf.rgdef.push_back(MakeDef(szKey, szValue));
        ++argf.iGen;
    } catch (const std::bad_alloc&) {
        ux_FatalError(kModArg, 24, szKey);
    }
    return 0;
}

int ux_ArgDefine(std::string_view szFile, std::string_view szDefinition, std::string_view szWhere) {
    ArgFile& argf = uxp_ArgFindOrDie(szFile, "");
    std::vector<std::string> rgszReading{argf.szName};
    ArgReader(argf, argf.szName, std::string(szWhere), rgszReading).Read(szDefinition);
    return 0;
}

namespace {

// Adds the names of the variables that the references in szText use to
// rgszUsed: the name without its file qualifier; a name that is itself built
// from references counts when it can be expanded, and so do those references.
void uxp_ArgCollectRefsIn(ArgFile& argf, std::string_view szText, const RefEnds::View& ends,
                          NameMemo& memo, std::vector<std::string>& rgszUsed) {
    for (std::size_t i = szText.find(kArgRefStart); i != std::string_view::npos;
         i = szText.find(kArgRefStart, i)) {
        const std::size_t iEnd = ends.End(i);
        const std::string_view szRef = szText.substr(i + 1, iEnd - i - 1);
        std::string szName(szRef);
        if (szRef.find(kArgRefStart) != std::string_view::npos) {
            const RefEnds::View inner = ends.Inner(i + 1, iEnd);
            uxp_ArgCollectRefsIn(argf, szRef, inner, memo, rgszUsed);
            if (uxp_ArgExpandName(argf, szRef, inner, szName, &memo) < 0) szName.clear();
        }
        if (const std::size_t iSep = szName.rfind(kArgFileSep); iSep != std::string::npos)
            szName.erase(0, iSep + 1);
        if (!szName.empty()) rgszUsed.push_back(std::move(szName));
        i = iEnd;
    }
}

void uxp_ArgCollectRefs(ArgFile& argf, std::string_view szText,
                        std::vector<std::string>& rgszUsed) {
    if (szText.find(kArgRefStart) == std::string_view::npos) return;
    const RefEnds ends(szText);
    NameMemo memo;
    uxp_ArgCollectRefsIn(argf, szText, ends.Whole(), memo, rgszUsed);
}

void uxp_SortUnique(std::vector<std::string>& rgsz) {
    std::sort(rgsz.begin(), rgsz.end());
    rgsz.erase(std::unique(rgsz.begin(), rgsz.end()), rgsz.end());
}

} // namespace

ArgKeyUse ux_ArgKeyUse(std::string_view szFile) {
    ArgFile& argf = uxp_ArgFindOrDie(szFile, "");
    const MemoScope memo;
    ArgKeyUse use;
    std::string szName;
    for (ArgDef& def : argf.rgdef) {
        uxp_ArgCollectRefs(argf, def.szName, use.rgszReferenced);
        uxp_ArgCollectRefs(argf, def.szValue, use.rgszReferenced);
        if (def.szName.find(kArgRefStart) == std::string::npos) {
            use.rgszDefined.push_back(def.szName);
        } else if (const std::string* pszName = uxp_ArgDefName(argf, def)) {
            use.rgszDefined.push_back(*pszName);
        }
    }
    uxp_SortUnique(use.rgszDefined);
    uxp_SortUnique(use.rgszReferenced);
    return use;
}

std::vector<std::string> ux_ArgRequestedKeys(std::string_view szFile) {
    const ArgFile& argf = uxp_ArgFindOrDie(szFile, "");
    return {argf.setszRequested.begin(), argf.setszRequested.end()};
}

int ux_ArgCountFields(const char* pszValue) {
    if (pszValue == nullptr) return -1;
    return ux_ArgCountFields(std::string_view(pszValue));
}

int ux_ArgCountFields(std::string_view szValue) {
    if (szValue.empty()) return 0;
    return 1 + static_cast<int>(std::count(szValue.begin(), szValue.end(), kArgFieldSep));
}

namespace {

// Field n of szValue, or fatal 29 naming the value (separators as blanks).
std::string_view uxp_ArgField(std::string_view szValue, int n) {
    if (n < 0 || n >= ux_ArgCountFields(szValue)) {
        std::string szDetail(szValue);
        std::replace(szDetail.begin(), szDetail.end(), kArgFieldSep, ' ');
        szDetail += '[';
        szDetail += std::to_string(n);
        szDetail += ']';
        ux_FatalError(kModArg, 29, szDetail);
    }
    std::size_t iStart = 0;
    for (int i = 0; i < n; ++i) iStart = szValue.find(kArgFieldSep, iStart) + 1;
    const std::size_t iEnd = szValue.find(kArgFieldSep, iStart);
    return szValue.substr(iStart, iEnd == std::string_view::npos ? szValue.npos : iEnd - iStart);
}

} // namespace

int ux_ArgGetField(std::string_view szValue, int n, std::span<char> szOut) {
    const std::string_view szField = uxp_ArgField(szValue, n);
    if (!szOut.empty()) {
        const std::size_t cch = std::min(szField.size(), szOut.size() - 1);
        std::copy_n(szField.data(), cch, szOut.data());
        szOut[cch] = '\0';
    }
    return 0;
}

int ux_ArgGetField(std::string_view szValue, int n, std::string& szOut) {
    szOut = uxp_ArgField(szValue, n);
    return 0;
}

} // namespace vexta
