// Lexicon file writer and checked reader; dictionary reader.
#include "analyser/lexicon_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vexta {

namespace {

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& szFile, std::string& szText) {
    const int h = ::open(szFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (h < 0) return false;
    szText.clear();
    char rgch[1 << 16];
    for (;;) {
        const ssize_t cb = ::read(h, rgch, sizeof rgch);
        if (cb < 0) {
            if (errno == EINTR) continue;
            ::close(h);
            return false;
        }
        if (cb == 0) break;
        szText.append(rgch, static_cast<std::size_t>(cb));
    }
    ::close(h);
    return true;
}

// Splits a line at tabs into at most rgsz.size() fields; the number of
// fields found (rgsz.size() + 1 when there are more).
template <std::size_t N>
std::size_t SplitTabs(std::string_view sz, std::array<std::string_view, N>& rgsz) {
    std::size_t c = 0;
    for (;;) {
        const std::size_t ich = sz.find('\t');
        if (c == N) return N + 1;
        rgsz[c++] = sz.substr(0, ich);
        if (ich == std::string_view::npos) return c;
        sz.remove_prefix(ich + 1);
    }
}

template <typename T> bool ParseNumber(std::string_view sz, T& value) {
    if (sz.empty()) return false;
    const auto [p, ec] = std::from_chars(sz.data(), sz.data() + sz.size(), value);
    return ec == std::errc() && p == sz.data() + sz.size();
}

// Line-by-line reading with the current line number.
class LineReader {
public:
    explicit LineReader(std::string_view szText) : szText_(szText) {}
    // False at the end of the text.
    bool Next(std::string_view& szLine) {
        if (ich_ >= szText_.size()) return false;
        const std::size_t ichEnd = szText_.find('\n', ich_);
        const std::size_t ichStop = ichEnd == std::string_view::npos ? szText_.size() : ichEnd;
        szLine = szText_.substr(ich_, ichStop - ich_);
        ich_ = ichStop + 1;
        ++lLine_;
        return true;
    }
    long Line() const { return lLine_; }
    std::size_t BytesLeft() const { return ich_ >= szText_.size() ? 0 : szText_.size() - ich_; }

private:
    std::string_view szText_;
    std::size_t ich_ = 0;
    long lLine_ = 0;
};

class LexiconParser {
public:
    LexiconParser(std::string_view szText, std::string_view szName, int cTagElem,
                  FileProblem& problem)
        : lines_(szText), szName_(szName), cTagElem_(cTagElem), problem_(problem) {}

    int Parse(Lexicon& lex);

private:
    int Fail(int iCode, const std::string& szWhat) {
        problem_.iCode = iCode;
        problem_.lLine = lines_.Line();
        problem_.szText = "lexicon " + std::string(szName_) + ": " + szWhat;
        return iCode;
    }
    // The next line, or a failure when the text ends.
    bool NextLine(std::string_view& szLine, const char* pszExpected) {
        if (lines_.Next(szLine)) return true;
        Fail(kLexBadCount, std::string("file ends where ") + pszExpected + " was expected");
        return false;
    }
    // A header line "word <TAB> number [<TAB> number]".
    // fLineCounts: the numbers count the lines that follow.
    template <std::size_t N>
    int Header(std::string_view szWord, std::array<std::uint64_t, N>& rgl,
               bool fLineCounts = true) {
        std::string_view szLine;
        if (!NextLine(szLine, std::string(szWord).c_str())) return problem_.iCode;
        std::array<std::string_view, N + 1> rgsz;
        const std::size_t c = SplitTabs(szLine, rgsz);
        if (c != N + 1 || rgsz[0] != szWord)
            return Fail(kLexBadLine, "expected \"" + std::string(szWord) + "\" with " +
                                         std::to_string(N) + " number(s)");
        for (std::size_t k = 0; k < N; ++k) {
            if (!ParseNumber(rgsz[k + 1], rgl[k]) || rgl[k] > 0xFFFFFFFFu)
                return Fail(kLexBadLine, "not a count: " + std::string(rgsz[k + 1]));
            // Every record is a line of at least one character: a count the
            // rest of the file cannot hold is refused before anything is
            // allocated for it.
            if (fLineCounts && rgl[k] > (lines_.BytesLeft() + 1) / 2)
                return Fail(kLexBadCount, "count " + std::string(rgsz[k + 1]) + " of \"" +
                                              std::string(szWord) +
                                              "\" is more than the rest of the file holds");
        }
        return 0;
    }
    int Tag(std::string_view szTag, const Lexicon& lex, std::uint32_t& iTag) {
        const long i = lex.FindTag(szTag);
        if (i < 0) return Fail(kLexBadTag, "tag not in the tag list: " + std::string(szTag));
        iTag = static_cast<std::uint32_t>(i);
        return 0;
    }

    LineReader lines_;
    std::string_view szName_;
    int cTagElem_;
    FileProblem& problem_;
};

int LexiconParser::Parse(Lexicon& lex) {
    lex = Lexicon();
    std::string_view szLine;
    if (!lines_.Next(szLine)) return Fail(kLexNotALexicon, "empty file");
    std::array<std::string_view, 3> rgsz;
    if (SplitTabs(szLine, rgsz) != 2 || rgsz[0] != "vexta-lexicon")
        return Fail(kLexNotALexicon, "not a lexicon file (no \"vexta-lexicon\" header)");
    int iVersion = 0;
    if (!ParseNumber(rgsz[1], iVersion) ||
        (iVersion != kLexiconVersion && iVersion != kLexiconVersionPlain))
        return Fail(kLexVersion, "version " + std::string(rgsz[1]) +
                                     " cannot be read (this program reads version " +
                                     std::to_string(kLexiconVersion) + ")");

    std::array<std::uint64_t, 1> rgl1{};
    std::array<std::uint64_t, 2> rgl2{};
    if (int rc = Header("tag-length", rgl1, false); rc != 0) return rc;
    if (rgl1[0] != static_cast<std::uint64_t>(cTagElem_))
        return Fail(kLexTagLength, "tags of " + std::to_string(rgl1[0]) +
                                       " characters, the run has " + std::to_string(cTagElem_));
    lex.cTagElem = cTagElem_;
    if (int rc = Header("rare-max", rgl1, false); rc != 0) return rc;
    lex.settings.cRareMax = static_cast<int>(std::min<std::uint64_t>(rgl1[0], 1u << 30));
    if (int rc = Header("suffix-max", rgl1, false); rc != 0) return rc;
    if (rgl1[0] > 64) return Fail(kLexBadLine, "suffix-max above 64");
    lex.settings.cSuffixMax = static_cast<int>(rgl1[0]);
    {
        if (!NextLine(szLine, "theta")) return problem_.iCode;
        if (SplitTabs(szLine, rgsz) != 2 || rgsz[0] != "theta")
            return Fail(kLexBadLine, "expected \"theta\" with a number");
        const std::string szValue(rgsz[1]);
        char* pchEnd = nullptr;
        lex.dTheta = std::strtod(szValue.c_str(), &pchEnd);
        if (szValue.empty() || *pchEnd != '\0' || !(lex.dTheta >= 0) || lex.dTheta > 1e6)
            return Fail(kLexBadLine, "theta is not a number of 0 .. 1e6: " + szValue);
    }

    if (iVersion != kLexiconVersionPlain) {
        if (int rc = Header("layout", rgl1); rc != 0) return rc;
        for (std::uint64_t k = 0; k < rgl1[0]; ++k) {
            if (!NextLine(szLine, "a layout line")) return problem_.iCode;
            if (szLine.empty()) return Fail(kLexBadLine, "empty layout line");
            lex.rgszLayout.emplace_back(szLine);
        }
        if (int rc = Header("spellings", rgl1); rc != 0) return rc;
        for (std::uint64_t k = 0; k < rgl1[0]; ++k) {
            if (!NextLine(szLine, "a spelling")) return problem_.iCode;
            std::array<std::string_view, 2> rgszSp;
            if (SplitTabs(szLine, rgszSp) != 2 ||
                rgszSp[0].size() != static_cast<std::size_t>(cTagElem_) ||
                !IsStorableTag(rgszSp[0]) || rgszSp[1].empty() ||
                rgszSp[1].size() > static_cast<std::size_t>(cTagElem_))
                return Fail(kLexBadLine,
                            "expected padded tag <TAB> its spelling: " + std::string(szLine));
            if (!lex.rgSpelling.empty() && !(lex.rgSpelling.back().first < rgszSp[0]))
                return Fail(kLexOrder, "spellings not sorted or repeated: " + std::string(szLine));
            lex.rgSpelling.emplace_back(rgszSp[0], rgszSp[1]);
        }
    }

    // Tags.
    if (int rc = Header("tags", rgl1); rc != 0) return rc;
    lex.rgszTag.reserve(rgl1[0]);
    for (std::uint64_t k = 0; k < rgl1[0]; ++k) {
        if (!NextLine(szLine, "a tag")) return problem_.iCode;
        if (szLine.size() != static_cast<std::size_t>(cTagElem_) || !IsStorableTag(szLine))
            return Fail(kLexBadTag,
                        "tag of wrong length or with a value a data line cannot hold: " +
                            std::string(szLine));
        if (!lex.rgszTag.empty() && !(lex.rgszTag.back() < szLine))
            return Fail(kLexOrder, "tags not sorted or repeated: " + std::string(szLine));
        lex.rgszTag.emplace_back(szLine);
    }
    lex.Index(); // tag look-up for the sections below

    // Rules.
    if (int rc = Header("rules", rgl1); rc != 0) return rc;
    lex.rgRule.resize(rgl1[0]);
    for (LemmaRule& rule : lex.rgRule) {
        if (!NextLine(szLine, "a rule")) return problem_.iCode;
        std::array<std::string_view, 3> rgszRule;
        if (SplitTabs(szLine, rgszRule) != 3 || !ParseNumber(rgszRule[0], rule.cCut) ||
            rule.cCut < 0 || !ParseNumber(rgszRule[1], rule.iCase) || rule.iCase < kCaseAsIs ||
            rule.iCase > kCaseLowerAll)
            return Fail(kLexBadLine, "expected cut <TAB> 0|1|2 <TAB> text: " + std::string(szLine));
        rule.szAppend = rgszRule[2];
    }

    // Forms.
    if (int rc = Header("forms", rgl2); rc != 0) return rc;
    lex.rgszForm.reserve(rgl2[0]);
    lex.rgAnalysis.reserve(rgl2[1]);
    for (std::uint64_t k = 0; k < rgl2[1]; ++k) {
        if (!NextLine(szLine, "an analysis")) return problem_.iCode;
        std::array<std::string_view, 4> rgszAn;
        LexAnalysis an;
        if (SplitTabs(szLine, rgszAn) != 4 || rgszAn[0].empty() ||
            !ParseNumber(rgszAn[3], an.cCount))
            return Fail(kLexBadLine,
                        "expected form <TAB> lemma <TAB> tag <TAB> count: " + std::string(szLine));
        if (int rc = Tag(rgszAn[2], lex, an.iTag); rc != 0) return rc;
        an.szLemma = rgszAn[1];
        if (lex.rgszForm.empty() || lex.rgszForm.back() != rgszAn[0]) {
            if (!lex.rgszForm.empty() && !(lex.rgszForm.back() < rgszAn[0]))
                return Fail(kLexOrder, "forms not sorted: " + std::string(rgszAn[0]));
            if (lex.rgszForm.size() == rgl2[0])
                return Fail(kLexBadCount,
                            "more than the " + std::to_string(rgl2[0]) + " forms announced");
            lex.rgszForm.emplace_back(rgszAn[0]);
            lex.rgiFormFirst.push_back(static_cast<std::uint32_t>(lex.rgAnalysis.size()));
        } else {
            const LexAnalysis& anPrev = lex.rgAnalysis.back();
            if (!(anPrev.iTag < an.iTag || (anPrev.iTag == an.iTag && anPrev.szLemma < an.szLemma)))
                return Fail(kLexOrder,
                            "analyses of " + std::string(rgszAn[0]) + " not sorted or repeated");
        }
        lex.rgAnalysis.push_back(std::move(an));
    }
    if (lex.rgszForm.size() != rgl2[0])
        return Fail(kLexBadCount, std::to_string(lex.rgszForm.size()) + " forms instead of " +
                                      std::to_string(rgl2[0]));
    lex.rgiFormFirst.push_back(static_cast<std::uint32_t>(lex.rgAnalysis.size()));

    // Guesser endings.
    if (int rc = Header("endings", rgl2); rc != 0) return rc;
    lex.rgszSuffix.reserve(rgl2[0]);
    lex.rgSuffixTag.reserve(rgl2[1]);
    for (std::uint64_t k = 0; k < rgl2[1]; ++k) {
        if (!NextLine(szLine, "an ending")) return problem_.iCode;
        std::array<std::string_view, 4> rgszEnd;
        SuffixTag st;
        if (SplitTabs(szLine, rgszEnd) != 4 || rgszEnd[0].empty() ||
            !ParseNumber(rgszEnd[2], st.cCount) || st.cCount == 0 ||
            !ParseNumber(rgszEnd[3], st.iRule))
            return Fail(kLexBadLine,
                        "expected key <TAB> tag <TAB> count <TAB> rule: " + std::string(szLine));
        if (st.iRule >= lex.rgRule.size())
            return Fail(kLexBadLine, "rule " + std::to_string(st.iRule) + " not among the " +
                                         std::to_string(lex.rgRule.size()) + " rules");
        if (int rc = Tag(rgszEnd[1], lex, st.iTag); rc != 0) return rc;
        if (lex.rgszSuffix.empty() || lex.rgszSuffix.back() != rgszEnd[0]) {
            if (!lex.rgszSuffix.empty() && !(lex.rgszSuffix.back() < rgszEnd[0]))
                return Fail(kLexOrder, "endings not sorted: " + std::string(rgszEnd[0]));
            if (lex.rgszSuffix.size() == rgl2[0])
                return Fail(kLexBadCount,
                            "more than the " + std::to_string(rgl2[0]) + " keys announced");
            lex.rgszSuffix.emplace_back(rgszEnd[0]);
            lex.rgiSuffixFirst.push_back(static_cast<std::uint32_t>(lex.rgSuffixTag.size()));
        } else if (!(lex.rgSuffixTag.back().iTag < st.iTag)) {
            return Fail(kLexOrder,
                        "tags of ending " + std::string(rgszEnd[0]) + " not sorted or repeated");
        }
        lex.rgSuffixTag.push_back(st);
    }
    if (lex.rgszSuffix.size() != rgl2[0])
        return Fail(kLexBadCount, std::to_string(lex.rgszSuffix.size()) + " keys instead of " +
                                      std::to_string(rgl2[0]));
    lex.rgiSuffixFirst.push_back(static_cast<std::uint32_t>(lex.rgSuffixTag.size()));

    if (!NextLine(szLine, "\"end\"")) return problem_.iCode;
    if (szLine != "end") return Fail(kLexBadCount, "expected \"end\" after the announced records");
    if (lines_.Next(szLine)) return Fail(kLexBadLine, "text after \"end\"");
    lex.Index();
    return 0;
}

void AppendNumber(std::string& sz, std::uint64_t l) {
    char rgch[24];
    const auto [p, ec] = std::to_chars(rgch, rgch + sizeof rgch, l);
    sz.append(rgch, static_cast<std::size_t>(p - rgch));
}

} // namespace

bool IsStorableTag(std::string_view szTag) {
    for (const char ch : szTag) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b == 0x7F || ch == '|' || ch == '/') return false;
    }
    return !szTag.empty();
}

bool ParseDictionaryColumns(std::string_view szValue, DictionaryColumns& cols) {
    static constexpr std::string_view rgszWord[] = {"form", "lemma", "tag"};
    DictionaryColumns colsNew{-1, -1, -1};
    int iColumn = 0;
    for (;;) {
        const std::size_t ich = szValue.find_first_of(",+");
        std::string_view szWord = szValue.substr(0, ich);
        while (!szWord.empty() && szWord.front() == ' ') szWord.remove_prefix(1);
        while (!szWord.empty() && szWord.back() == ' ') szWord.remove_suffix(1);
        int k = 0;
        while (k < 3 && rgszWord[k] != szWord) ++k;
        if (k == 3 || colsNew[static_cast<std::size_t>(k)] >= 0 || iColumn == 3) return false;
        colsNew[static_cast<std::size_t>(k)] = iColumn++;
        if (ich == std::string_view::npos) break;
        szValue.remove_prefix(ich + 1);
    }
    if (iColumn != 3) return false;
    cols = colsNew;
    return true;
}

std::string LexiconText(const Lexicon& lex) {
    std::string sz;
    sz.reserve(64 + lex.rgAnalysis.size() * 48 + lex.rgSuffixTag.size() * 40);
    auto Line = [&](std::string_view szWord, std::uint64_t l) {
        sz += szWord;
        sz += '\t';
        AppendNumber(sz, l);
        sz += '\n';
    };
    const bool fPlain = lex.rgszLayout.empty() && lex.rgSpelling.empty();
    sz += "vexta-lexicon\t";
    AppendNumber(sz, fPlain ? kLexiconVersionPlain : kLexiconVersion);
    sz += '\n';
    Line("tag-length", static_cast<std::uint64_t>(lex.cTagElem));
    Line("rare-max", static_cast<std::uint64_t>(lex.settings.cRareMax));
    Line("suffix-max", static_cast<std::uint64_t>(lex.settings.cSuffixMax));
    char rgchTheta[40];
    std::snprintf(rgchTheta, sizeof rgchTheta, "%.17g", lex.dTheta);
    sz += "theta\t";
    sz += rgchTheta;
    sz += '\n';
    if (!fPlain) {
        Line("layout", lex.rgszLayout.size());
        for (const std::string& szLine : lex.rgszLayout) {
            sz += szLine;
            sz += '\n';
        }
        Line("spellings", lex.rgSpelling.size());
        for (const auto& [szPadded, szSpelled] : lex.rgSpelling) {
            sz += szPadded;
            sz += '\t';
            sz += szSpelled;
            sz += '\n';
        }
    }
    Line("tags", lex.rgszTag.size());
    for (const std::string& szTag : lex.rgszTag) {
        sz += szTag;
        sz += '\n';
    }
    Line("rules", lex.rgRule.size());
    for (const LemmaRule& rule : lex.rgRule) {
        AppendNumber(sz, static_cast<std::uint64_t>(rule.cCut));
        sz += '\t';
        AppendNumber(sz, static_cast<std::uint64_t>(rule.iCase));
        sz += '\t';
        sz += rule.szAppend;
        sz += '\n';
    }
    sz += "forms\t";
    AppendNumber(sz, lex.rgszForm.size());
    Line("", lex.rgAnalysis.size());
    for (std::size_t k = 0; k < lex.rgszForm.size(); ++k)
        for (std::uint32_t i = lex.rgiFormFirst[k]; i < lex.rgiFormFirst[k + 1]; ++i) {
            const LexAnalysis& an = lex.rgAnalysis[i];
            sz += lex.rgszForm[k];
            sz += '\t';
            sz += an.szLemma;
            sz += '\t';
            sz += lex.rgszTag[an.iTag];
            sz += '\t';
            AppendNumber(sz, an.cCount);
            sz += '\n';
        }
    sz += "endings\t";
    AppendNumber(sz, lex.rgszSuffix.size());
    Line("", lex.rgSuffixTag.size());
    for (std::size_t k = 0; k < lex.rgszSuffix.size(); ++k)
        for (std::uint32_t i = lex.rgiSuffixFirst[k]; i < lex.rgiSuffixFirst[k + 1]; ++i) {
            const SuffixTag& st = lex.rgSuffixTag[i];
            sz += lex.rgszSuffix[k];
            sz += '\t';
            sz += lex.rgszTag[st.iTag];
            sz += '\t';
            AppendNumber(sz, st.cCount);
            sz += '\t';
            AppendNumber(sz, st.iRule);
            sz += '\n';
        }
    sz += "end\n";
    return sz;
}

int WriteLexicon(const Lexicon& lex, const std::string& szFile, FileProblem& problem) {
    const std::string szText = LexiconText(lex);
    const std::string szTmp = szFile + ".tmp" + std::to_string(::getpid());
    auto Fail = [&](const char* pszWhat) {
        problem.iCode = kLexCannotWrite;
        problem.lLine = -1;
        problem.szText = "lexicon " + szFile + ": " + pszWhat + " (" + std::strerror(errno) + ")";
        ::unlink(szTmp.c_str());
        return kLexCannotWrite;
    };
    if (szFile.empty()) {
        errno = ENOENT;
        return Fail("cannot create the file");
    }
    ::unlink(szTmp.c_str());
    const int h = ::open(szTmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (h < 0) return Fail("cannot create the temporary file");
    std::size_t ich = 0;
    while (ich < szText.size()) {
        const ssize_t cb = ::write(h, szText.data() + ich, szText.size() - ich);
        if (cb < 0 && errno == EINTR) continue;
        if (cb <= 0) {
            ::close(h);
            return Fail("cannot write");
        }
        ich += static_cast<std::size_t>(cb);
    }
    if (::fsync(h) != 0) {
        ::close(h);
        return Fail("cannot sync");
    }
    if (::close(h) != 0) return Fail("cannot close");
    if (::rename(szTmp.c_str(), szFile.c_str()) != 0)
        return Fail("cannot rename the temporary file");
    return 0;
}

int ParseLexicon(std::string_view szText, std::string_view szName, int cTagElem, Lexicon& lex,
                 FileProblem& problem) {
    return LexiconParser(szText, szName, cTagElem, problem).Parse(lex);
}

int ReadLexicon(const std::string& szFile, int cTagElem, Lexicon& lex, FileProblem& problem) {
    std::string szText;
    if (!ReadWholeFile(szFile, szText)) {
        problem = {kLexCannotOpen, -1,
                   "lexicon " + szFile + ": cannot open (" + std::strerror(errno) + ")"};
        return kLexCannotOpen;
    }
    return ParseLexicon(szText, szFile, cTagElem, lex, problem);
}

int ReadDictionary(const std::string& szFile, const DictionaryColumns& cols, int cTagElem,
                   LexiconBuilder& builder, FileProblem& problem) {
    DictionaryTags tags;
    return ReadDictionary(szFile, cols, cTagElem, builder, problem, tags);
}

int ReadDictionary(const std::string& szFile, const DictionaryColumns& cols, int cTagElem,
                   LexiconBuilder& builder, FileProblem& problem, DictionaryTags& tags) {
    std::string szText;
    if (!ReadWholeFile(szFile, szText)) {
        problem = {kDictCannotOpen, -1,
                   "dictionary " + szFile + ": cannot open (" + std::strerror(errno) + ")"};
        return kDictCannotOpen;
    }
    LineReader lines(szText);
    std::string_view szLine;
    auto Fail = [&](int iCode, const std::string& szWhat) {
        problem = {iCode, lines.Line(), "dictionary " + szFile + ": " + szWhat};
        return iCode;
    };
    const bool fComposed = static_cast<bool>(tags.compose);
    std::string szTagMade;
    while (lines.Next(szLine)) {
        if (!szLine.empty() && szLine.back() == '\r') szLine.remove_suffix(1);
        if (szLine.empty() || szLine.front() == '#') continue;
        std::string_view szForm;
        std::string_view szLemma;
        std::string_view szTag;
        if (fComposed) {
            std::array<std::string_view, 4> rgsz;
            if (SplitTabs(szLine, rgsz) != 4)
                return Fail(kDictFields,
                            "expected form, lemma, UPOS and FEATS separated by tabs: " +
                                std::string(szLine));
            szForm = rgsz[0];
            szLemma = rgsz[1];
            if (szForm.empty() || szLemma.empty() || rgsz[2].empty() || rgsz[3].empty())
                return Fail(kDictEmpty, "empty form, lemma, UPOS or FEATS: " + std::string(szLine));
            if (std::string szErr = tags.compose(rgsz[2], rgsz[3], szTagMade); !szErr.empty())
                return Fail(kDictTagValue, szErr + ": " + std::string(szLine));
            if (szTagMade.empty()) {
                ++tags.cSkipped;
                continue;
            }
            szTag = szTagMade;
        } else {
            std::array<std::string_view, 3> rgsz;
            if (SplitTabs(szLine, rgsz) != 3)
                return Fail(kDictFields,
                            "expected three fields separated by tabs: " + std::string(szLine));
            szForm = rgsz[static_cast<std::size_t>(cols[0])];
            szLemma = rgsz[static_cast<std::size_t>(cols[1])];
            szTag = rgsz[static_cast<std::size_t>(cols[2])];
            if (szForm.empty() || szLemma.empty() || szTag.empty())
                return Fail(kDictEmpty, "empty form, lemma or tag: " + std::string(szLine));
            if (tags.chPad != 0 && szTag.size() < static_cast<std::size_t>(cTagElem)) {
                szTagMade.assign(szTag);
                szTagMade.append(static_cast<std::size_t>(cTagElem) - szTag.size(), tags.chPad);
                builder.AddSpelling(szTagMade, szTag);
                szTag = szTagMade;
            }
        }
        if (szTag.size() != static_cast<std::size_t>(cTagElem))
            return Fail(kDictTagLength, "tag of " + std::to_string(szTag.size()) +
                                            " characters instead of " + std::to_string(cTagElem) +
                                            ": " + std::string(szTag));
        if (!IsStorableTag(szTag))
            return Fail(kDictTagValue,
                        "tag with a value a data line cannot hold (blank, control character, "
                        "\"|\" or \"/\"): " +
                            std::string(szTag));
        builder.AddEntry(szForm, szLemma, szTag);
    }
    return 0;
}

} // namespace vexta
