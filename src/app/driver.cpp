// Driver start-up, run modes, common run parameters and finish.
#include "app/driver.h"

#include "app/composed_tags.h"
#include "app/globals.h"
#include "app/key_table.h"
#include "app/pipelines.h"
#include "app/run_files.h"
#include "app/version.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"
#include "model/model.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vexta {

namespace {

constexpr std::size_t kMaxProgramPath = 199;

constexpr std::array<std::pair<std::string_view, int>, 8> kModes{{
    {"Train", kModeTrain},
    {"Test", kModeTest},
    {"Tag", kModeTag},
    {"TagDebug", kModeTagDebug},
    {"TrainOut", kModeTrainOut},
    {"TestOut", kModeTestOut},
    {"TestDebug", kModeTestDebug},
    {"Lexicon", kModeLexicon},
}};

[[noreturn]] void AppFatal(const std::string& szText) {
    ux_FatalError(kModApp, kMsgApp, szText);
}

// Prints "<ux_ProgName()>: GetValue <key> failed" and ends the run with iStatus.
[[noreturn]] void GetValueFailed(const char* pszKey, int iStatus) {
    std::fprintf(stderr, "%s: GetValue %s failed\n", ux_ProgName().c_str(), pszKey);
    ux_Exit(iStatus);
}

// Where standard error pointed before it went to the log file: a log file
// that cannot be written any more is reported there.
int hStderrBeforeLog = -1;

// The operating system's reason why szFile cannot be opened, before the
// message that names the key.
void SayOpenFailed(const std::string& szFile) {
    const int iErr = errno;
    std::fprintf(stderr, "%s: cannot open %s: %s\n", ux_ProgName().c_str(), szFile.c_str(),
                 std::strerror(iErr));
}

// Standard error goes to the log file from here on. The file is opened before
// standard error is touched, so that a failure can still be reported.
void OpenLogFile() {
    if (ux_ArgGetValue(szArgs, "LogFile", szLogFile) > 0) {
        szLogFile.clear();
        return;
    }
    const int h = ::open(szLogFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (h < 0) {
        SayOpenFailed(szLogFile);
        AppFatal(ux_StrPrintf("%sCannot open output log file %s\n", "vexta", szLogFile.c_str()));
    }
    std::fflush(stderr);
    hStderrBeforeLog = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const bool fOk = ::dup2(h, STDERR_FILENO) >= 0;
    ::close(h);
    if (!fOk)
        AppFatal(ux_StrPrintf("%sCannot open output log file %s\n", "vexta", szLogFile.c_str()));
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    fLogFile = stderr;
}

void OpenInputAC() {
    if (ux_ArgGetValue(szArgs, "InputAC", szInputAC) > 0) {
        szInputAC.clear();
        return;
    }
    fInputAC = std::fopen(szInputAC.c_str(), "w");
    if (fInputAC == nullptr) {
        SayOpenFailed(szInputAC);
        AppFatal(
            ux_StrPrintf("%sCannot open output \"InputAC\" file %s\n", "vexta", szInputAC.c_str()));
    }
    std::setvbuf(fInputAC, nullptr, _IONBF, 0);
}

void DecodeMode() {
    if (ux_ArgGetValue(szArgs, "Mode", szProgMode) > 0) GetValueFailed("Mode", 39);
    for (const auto& [szMode, fMode] : kModes) {
        if (szProgMode == szMode) {
            fProgMode = fMode;
            return;
        }
    }
    std::fprintf(stderr, "%s: wrong %s: %s\n", ux_ProgName().c_str(), "Mode", szProgMode.c_str());
    ux_Exit(38);
}

void ReadTagMode() {
    if (ux_ArgGetValue(szArgs, "TaggerID", szTaggerID) > 0) szTaggerID.clear();
    if (ux_ArgGetValue(szArgs, "TagMode", szTagMode) > 0) GetValueFailed("TagMode", 139);
    if (szTagMode != "Separate" && szTagMode != "VTC") {
        iRC = 817;
        std::fprintf(stderr, "%s: unknown tag mode %s: code %d\n", ux_ProgName().c_str(),
                     szTagMode.c_str(), iRC);
        ux_Exit(iRC);
    }
}

// A required integer key within the bounds of its table entry; both
// failures are fatal. A value that is not a whole number is refused as one
// that cannot be read, after a line that says so.
int ReadBoundedInt(const char* pszKey) {
    const KeyInfo& key = KeyEntry(pszKey);
    const auto iMin = static_cast<int>(key.dMin);
    const auto iMax = static_cast<int>(key.dMax);
    std::string szValue;
    if (ux_ArgGetValue(szArgs, pszKey, szValue) > 0)
        AppFatal(ux_StrPrintf("%s: GetValue %s failed\n", ux_ProgName().c_str(), pszKey));
    int iValue = 0;
    if (!IsNumberText(szValue, false))
        ReportNotANumber(pszKey, szValue, "a whole number");
    else
        ScanInt(szValue, iValue);
    if (iValue < iMin || iValue > iMax)
        AppFatal(ux_StrPrintf("%s%s out of bounds <%d..%d>: %d\n", ux_ProgName().c_str(), pszKey,
                              iMin, iMax, iValue));
    return iValue;
}

void ReadRunParameters() {
    // Tags composed from UPOS and FEATS take their length from their layout.
    std::string szTagElemMax;
    if (ComposedTags() && ux_ArgGetValue(szArgs, "TagElemMax", szTagElemMax) > 0)
        cTagElem = 1;
    else
        cTagElem = ReadBoundedInt("TagElemMax");
    cBeam = ReadBoundedInt("Beam");

    const KeyInfo& key = KeyEntry("RawExpWeight");
    dRawExpWeight = 1.0;
    std::string szValue;
    if (ux_ArgGetValue(szArgs, "RawExpWeight", szValue) > 0) GetValueFailed("RawExpWeight", 530);
    if (!IsNumberText(szValue, true))
        ReportNotANumber("RawExpWeight", szValue, "a number");
    else
        ScanDouble(szValue, dRawExpWeight);
    // Written so that a value that is not a number (NaN) fails too.
    if (!(dRawExpWeight >= key.dMin && dRawExpWeight <= key.dMax)) {
        std::fprintf(stderr, "%s: Wrong %s <%s..%s>: %s\n", ux_ProgName().c_str(), "RawExpWeight",
                     BoundText(key.dMin).c_str(), BoundText(key.dMax).c_str(), szValue.c_str());
        ux_Exit(531);
    }
}

// The 24-character calendar form of a time ("Thu Jan  1 00:00:00 1970").
std::string CalendarText(std::time_t t) {
    std::tm tmLocal{};
    char sz[64] = "";
    if (localtime_r(&t, &tmLocal) != nullptr)
        std::strftime(sz, sizeof sz, "%a %b %e %H:%M:%S %Y", &tmLocal);
    return sz;
}

void PrintUsage() {
    std::fprintf(stderr, "%s: usage: %s <argfile> > <output>\n", ux_ProgName().c_str(),
                 ux_ProgName().c_str());
}

constexpr std::string_view kHelp =
    R"(vexta trains and applies a feature-based statistical tagger for positional
morphological tags (one character per category, such as the 15-character Czech
tags), choosing among the candidate tags that a morphological analyser gives
every token.

Usage:
  vexta ARGFILE [Key=Value ...] > OUTPUT
  vexta --help | --version | --keys

Every parameter comes from ARGFILE, a file of "key = value" definitions with
"#include file" and ${name} references; each Key=Value word after it overrides
the file's definitions (a later one wins). The key Mode chooses the job:
  Train, TrainOut            train a model on the Train segment of the corpus
                             InData and write it to the model file Features
  Test, TestOut, TestDebug   report the error rates of the model Features on
                             the Test segment
  Tag, TagDebug              write the corpus InData again with the chosen
                             lemma and tag inserted, on standard output
Diagnostics, progress and error rates go to standard error (or to LogFile).

Options:
  --help      this text
  --version   the version and the commit it was built from
  --keys      the reference of every key: modes, default, values, meaning
              (also in docs/keys.md)

The argument files examples/velan-*.args are commented examples to start from.
)";

// An override word "Key=Value": the key is the text before the first "=",
// without surrounding blanks; it must not be empty or hold blanks, quotes,
// "$", "{", "}" or "#".
bool IsOverrideWord(std::string_view sz) {
    const std::size_t iEq = sz.find('=');
    if (iEq == std::string_view::npos) return false;
    std::string_view szKey = sz.substr(0, iEq);
    while (!szKey.empty() && szKey.back() == ' ') szKey.remove_suffix(1);
    while (!szKey.empty() && szKey.front() == ' ') szKey.remove_prefix(1);
    return !szKey.empty() && szKey.find_first_of(" \t'\"${}#") == std::string_view::npos;
}

// Key=Value words after the argument file, each read as a definition line
// added after the file's own; a word of another form ends the run.
void ApplyOverrides(std::span<char* const> rgszWords) {
    for (const char* psz : rgszWords) {
        if (psz == nullptr) continue;
        if (!IsOverrideWord(psz)) {
            std::fprintf(stderr, "%s: malformed argument \"%s\": expected Key=Value\n",
                         ux_ProgName().c_str(), psz);
            PrintUsage();
            ux_Exit(1);
        }
        ux_ArgDefine(szArgs, psz, "command line");
    }
}

// Warns about every defined key that no mode reads and no reference uses,
// naming the closest known key. Keys of other modes are known, so one
// argument file can serve several modes.
void WarnUnknownKeys() {
    const ArgKeyUse use = ux_ArgKeyUse(szArgs);
    for (const std::string& szKey : use.rgszDefined) {
        if (IsKnownKey(szKey) ||
            std::binary_search(use.rgszReferenced.begin(), use.rgszReferenced.end(), szKey))
            continue;
        const std::string szClosest = ClosestKey(szKey);
        std::fprintf(stderr, "%s: warning: unknown key %s%s%s%s\n", ux_ProgName().c_str(),
                     szKey.c_str(), szClosest.empty() ? "" : " (did you mean ", szClosest.c_str(),
                     szClosest.empty() ? "" : "?)");
    }
}

// Closes the input trace and gives standard error back to where it pointed
// before the log file replaced it.
void CloseRunFiles() {
    if (fInputAC != nullptr) {
        std::fclose(fInputAC);
        fInputAC = nullptr;
    }
    std::fflush(stderr);
    if (hStderrBeforeLog >= 0) {
        ::dup2(hStderrBeforeLog, STDERR_FILENO);
        ::close(hStderrBeforeLog);
        hStderrBeforeLog = -1;
    }
    fLogFile = nullptr;
}

// Every run starts from nothing, whatever an earlier run in the same process
// left behind (it may have ended half-way by a fatal error).
void ResetRunState() {
    CloseRunFiles();
    ux_ArgClose();
    model = Model{};
    ResetDataTable(dtT);
    ResetDataTable(dtH);
    ResetDataTable(dtS);
    szLogFile.clear();
    szInputAC.clear();
    szProgMode.clear();
    szTagMode.clear();
    szTaggerID.clear();
    fProgMode = 0;
    cTagElem = cBeam = 0;
    dRawExpWeight = 1.0;
}

} // namespace

std::optional<int> RunInfoOption(std::string_view szOption) {
    if (szOption == "--help" || szOption == "-h") {
        std::printf("vexta %s\n\n%s", std::string(VersionText()).c_str(), kHelp.data());
        return 0;
    }
    if (szOption == "--version") {
        std::printf("vexta %s\n", std::string(VersionText()).c_str());
        return 0;
    }
    if (szOption == "--keys") {
        std::fputs(KeyReference().c_str(), stdout);
        return 0;
    }
    if (szOption.starts_with("--")) {
        std::fprintf(stderr, "%s: unknown option %.*s (see %s --help)\n", ux_ProgName().c_str(),
                     static_cast<int>(szOption.size()), szOption.data(), ux_ProgName().c_str());
        return 1;
    }
    return std::nullopt;
}

bool IsNumberText(std::string_view sz, bool fReal) {
    std::string szCopy(sz);
    const char* psz = szCopy.c_str();
    char* pszEnd = nullptr;
    if (fReal)
        (void)std::strtod(psz, &pszEnd);
    else
        (void)std::strtoll(psz, &pszEnd, 10);
    if (pszEnd == psz) return false;
    while (*pszEnd == ' ' || *pszEnd == '\t') ++pszEnd;
    return *pszEnd == '\0';
}

void ReportNotANumber(std::string_view szKey, std::string_view szValue, const char* pszWhat) {
    std::fprintf(stderr, "%s: %.*s = \"%.*s\" is not %s\n", ux_ProgName().c_str(),
                 static_cast<int>(szKey.size()), szKey.data(), static_cast<int>(szValue.size()),
                 szValue.data(), pszWhat);
}

bool ScanInt(std::string_view sz, int& iOut) {
    std::size_t i = 0;
    while (i < sz.size() && (sz[i] == ' ' || (sz[i] >= '\t' && sz[i] <= '\r'))) ++i;
    bool fNegative = false;
    if (i < sz.size() && (sz[i] == '+' || sz[i] == '-')) fNegative = sz[i++] == '-';
    if (i >= sz.size() || sz[i] < '0' || sz[i] > '9') return false;
    long long ll = 0;
    for (; i < sz.size() && sz[i] >= '0' && sz[i] <= '9'; ++i) {
        ll = ll * 10 + (sz[i] - '0');
        if (ll > static_cast<long long>(INT_MAX) + 1) ll = static_cast<long long>(INT_MAX) + 1;
    }
    if (fNegative) ll = -ll;
    iOut = static_cast<int>(std::clamp<long long>(ll, INT_MIN, INT_MAX));
    return true;
}

bool ScanDouble(const std::string& sz, double& dOut) {
    char* pszEnd = nullptr;
    const double d = std::strtod(sz.c_str(), &pszEnd);
    if (pszEnd == sz.c_str()) return false;
    dOut = d;
    return true;
}

std::time_t DriverStartUp(std::span<char* const> rgszArgv) {
    const std::time_t tStart = std::time(nullptr);
    ux_InstallNewHandler();
    // A write beyond the file-size limit then fails with its own reason
    // (reported like any failed write) instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    ResetRunState();
    if (!rgszArgv.empty() && rgszArgv[0] != nullptr)
        ux_SetProgName(std::string_view(rgszArgv[0]).substr(0, kMaxProgramPath));
    iRC = 0;

    if (rgszArgv.size() < 2 || rgszArgv[1] == nullptr) {
        PrintUsage();
        ux_Exit(1);
    }
    szArgs = rgszArgv[1];
    if (ux_ArgOpen(szArgs) > 0) {
        std::fprintf(stderr, "%s: ArgOpen on %s failed\n", ux_ProgName().c_str(), szArgs.c_str());
        ux_Exit(1);
    }
    ApplyOverrides(rgszArgv.subspan(2));

    {
        std::string szMode;
        if (ux_ArgGetValue(szArgs, "Mode", szMode) > 0) szMode.clear();
        CheckRunFiles(szArgs, szMode);
    }
    OpenLogFile();
    WarnUnknownKeys();
    OpenInputAC();
    DecodeMode();
    ReadTagMode();
    ReadRunParameters();
    return tStart;
}

int PrintFinishLines(std::FILE* pf, std::time_t tStart, std::time_t tEnd) {
    int iErrno = 0;
    const auto Check = [&iErrno](int rc) {
        if (rc < 0 && iErrno == 0) iErrno = errno != 0 ? errno : EIO;
    };
    Check(std::fprintf(pf, "%s: start %s\n", ux_ProgName().c_str(), CalendarText(tStart).c_str()));
    Check(std::fprintf(pf, "%s: done  %s\n", ux_ProgName().c_str(), CalendarText(tEnd).c_str()));
    const long d = static_cast<long>(tEnd - tStart);
    const long lDays = d / 86400;
    const long lHours = d / 3600 - 24 * lDays;
    const long lMinutes = d / 60 - 1440 * lDays - 60 * lHours;
    Check(std::fprintf(pf, "%s: duration: (days:hours:minutes) %d:%02d:%02d.\n",
                       ux_ProgName().c_str(), static_cast<int>(lDays), static_cast<int>(lHours),
                       static_cast<int>(lMinutes)));
    return iErrno;
}

int DriverFinish(std::time_t tStart) {
    // A key the program reads must be in the key table, or its reference
    // and the unknown-key warnings are wrong; the tests look for this line.
    for (const std::string& szKey : ux_ArgRequestedKeys(szArgs))
        if (!IsKnownKey(szKey))
            std::fprintf(stderr, "%s: internal: key %s is read but not in the key table\n",
                         ux_ProgName().c_str(), szKey.c_str());
    // Everything written must have reached its file before the run may count
    // as a success.
    ux_OutClose();
    if (fInputAC != nullptr) {
        const int h = fileno(fInputAC);
        errno = 0;
        const bool fOk = !std::ferror(fInputAC);
        if (std::fclose(fInputAC) != 0 || !fOk) ux_WriteFailed(h, szInputAC, errno);
        fInputAC = nullptr;
    }
    const int iErrno = PrintFinishLines(stderr, tStart, std::time(nullptr));
    if (fLogFile != nullptr) {
        if (iErrno != 0 || std::ferror(fLogFile)) {
            // The log cannot take the message: it goes where standard error
            // pointed before.
            if (hStderrBeforeLog >= 0) ::dup2(hStderrBeforeLog, STDERR_FILENO);
            std::clearerr(stderr);
            ux_WriteFailed(STDERR_FILENO, szLogFile, iErrno);
        }
    }
    CloseRunFiles();
    return iRC;
}

int vextawZ(int argc, char** argv) {
    if (argc >= 2 && argv[1] != nullptr) {
        if (argv[0] != nullptr)
            ux_SetProgName(std::string_view(argv[0]).substr(0, kMaxProgramPath));
        if (const auto rc = RunInfoOption(argv[1])) return *rc;
    }
    try {
        const std::time_t tStart = DriverStartUp(
            std::span<char* const>(argv, argc > 0 ? static_cast<std::size_t>(argc) : 0));
        if (fProgMode == kModeTrain || fProgMode == kModeTrainOut)
            iRC = RunTrainingPipeline();
        else if (fProgMode == kModeLexicon)
            iRC = RunLexiconPipeline();
        else
            iRC = RunTestTagPipeline();
        return DriverFinish(tStart);
    } catch (const ux_FatalExit& e) {
        // The message is out; what is still buffered for standard output is
        // written, as it was when a fatal error ended the process directly.
        std::fflush(stdout);
        CloseRunFiles();
        return e.Status();
    }
}

int ReadThreads() {
    std::string szValue;
    if (ux_ArgGetValue(szArgs, "Threads", szValue) > 0) return 1;
    int cThreads = 0;
    if (!ScanInt(szValue, cThreads) || cThreads < 0 || cThreads > kMaxThreads)
        AppFatal(ux_StrPrintf("%s%s out of bounds <0..%d>: %s\n", ux_ProgName().c_str(), "Threads",
                              kMaxThreads, szValue.c_str()));
    if (cThreads == 0)
        cThreads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    return cThreads;
}

void SetUpModel(Model& m) {
    m.fProgMode = fProgMode;
    m.szTaggerID = szTaggerID;
    m.fInputAC = fInputAC;
    m.szInputAC = szInputAC;
    m.cTagElem = cTagElem;
    m.cBeam = cBeam;
    m.dRawExpWeight = dRawExpWeight;
    m.pdtT = &dtT;
    m.pdtH = &dtH;
    m.pdtS = &dtS;
}

} // namespace vexta
