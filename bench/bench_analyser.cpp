// The built-in analyser on a tagged corpus: candidate recall, candidates per
// token, known and unknown forms, and (when the corpus carries this tagger's
// <MDt>/<MDl>) full-tag and lemma accuracy, over the tokens of one document.
//
//     build/bench/bench_analyser LEXICON TAGLEN CORPUS [DOC [GUESSMASS GUESSMAX [SRC]]]
//
// DOC is the document id whose tokens are counted (default part2, the Test
// segment of the shared corpus); GUESSMASS and GUESSMAX default to the
// tool's defaults; SRC is the src attribute of the inserted tags (default
// vexta). Also prints the time the analyser takes per token.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analyser/analyser.h"
#include "analyser/lexicon_file.h"

using namespace vexta;

namespace {

// Text after szOpen up to the next "<" (empty when szOpen is absent).
std::string_view Field(std::string_view szLine, std::string_view szOpen, bool& fFound) {
    const std::size_t ich = szLine.find(szOpen);
    fFound = ich != std::string_view::npos;
    if (!fFound) return {};
    szLine.remove_prefix(ich + szOpen.size());
    return szLine.substr(0, szLine.find('<'));
}

struct Counts {
    long cTokens = 0, cRecall = 0, cCands = 0, cRight = 0, cLemmaRight = 0, cTagged = 0;
    void Print(const char* pszName) const {
        if (cTokens == 0) return;
        std::printf("%-8s %6ld tokens  recall %6.2f%%  candidates/token %6.2f", pszName, cTokens,
                    100.0 * cRecall / cTokens, static_cast<double>(cCands) / cTokens);
        if (cTagged > 0)
            std::printf("  full-tag accuracy %6.2f%%  lemma accuracy %6.2f%%",
                        100.0 * cRight / cTagged, 100.0 * cLemmaRight / cTagged);
        std::printf("\n");
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s LEXICON TAGLEN CORPUS [DOC [GUESSMASS GUESSMAX [SRC]]]\n",
                     argv[0]);
        return 2;
    }
    const std::string szDoc = argc > 4 ? argv[4] : "part2";
    GuessSettings guess;
    if (argc > 6) {
        guess.dMass = std::atof(argv[5]);
        guess.cMax = std::atoi(argv[6]);
    }
    const std::string szSrc = argc > 7 ? argv[7] : "vexta";
    auto plex = std::make_shared<Lexicon>();
    FileProblem problem;
    const auto tRead = std::chrono::steady_clock::now();
    if (ReadLexicon(argv[1], std::atoi(argv[2]), *plex, problem) != 0) {
        std::fprintf(stderr, "[ln %ld] %s\n", problem.lLine, problem.szText.c_str());
        return 1;
    }
    const double dRead =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tRead).count();
    const Analyser an(plex, guess);

    std::ifstream is(argv[3]);
    std::string szLine;
    bool fInDoc = false;
    Counts all, known, unknown;
    AnalysisList list;
    std::vector<std::string> rgszForm;
    const std::string szMDt = "<MDt src=\"" + szSrc + "\">";
    const std::string szMDl = "<MDl src=\"" + szSrc + "\">";
    while (std::getline(is, szLine)) {
        if (szLine.starts_with("<doc")) {
            fInDoc = szLine.find("id=\"" + szDoc + "\"") != std::string::npos ||
                     szLine.find("id=" + szDoc + ">") != std::string::npos;
            continue;
        }
        if (!fInDoc || !(szLine.starts_with("<f>") || szLine.starts_with("<d>"))) continue;
        const std::string_view sz(szLine);
        const std::string_view szForm = sz.substr(3, sz.find('<', 3) - 3);
        bool fTag = false, fLemma = false, fMDt = false, fMDl = false;
        const std::string_view szTag = Field(sz, "<t>", fTag);
        const std::string_view szLemma = Field(sz, "<l>", fLemma);
        const std::string_view szChosen = Field(sz, szMDt, fMDt);
        const std::string_view szChosenLemma = Field(sz, szMDl, fMDl);
        rgszForm.emplace_back(szForm);
        an.Analyse(szForm, list);
        Counts& c = list.Known() ? known : unknown;
        for (Counts* p : {&all, &c}) {
            ++p->cTokens;
            p->cCands += list.Count();
            p->cRecall += !list.LemmaOf(szTag).empty() || [&] {
                for (int k = 0; k < list.Count(); ++k)
                    if (list.Tag(k) == szTag) return true;
                return false;
            }();
            if (fMDt) {
                ++p->cTagged;
                p->cRight += szChosen == szTag;
                p->cLemmaRight += fMDl && fLemma && szChosenLemma == szLemma;
            }
        }
    }
    std::printf("lexicon %s: %zu forms, %zu tags, read in %.2f s; GuessMass %g, GuessMax %d, "
                "Syncretism %g; "
                "document %s\n",
                argv[1], plex->rgszForm.size(), plex->rgszTag.size(), dRead, guess.dMass,
                guess.cMax, guess.dSyncretism, szDoc.c_str());
    all.Print("all");
    known.Print("known");
    unknown.Print("unknown");

    // Analyser speed over the document's forms, repeated.
    const auto t0 = std::chrono::steady_clock::now();
    long cCalls = 0;
    long cSum = 0;
    for (int rep = 0; rep < 20; ++rep)
        for (const std::string& szForm : rgszForm) {
            an.Analyse(szForm, list);
            cSum += list.Count();
            ++cCalls;
        }
    const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (cCalls > 0)
        std::printf("analyser: %.0f ns per token (%ld calls, %ld candidates)\n", 1e9 * d / cCalls,
                    cCalls, cSum);
    return 0;
}
