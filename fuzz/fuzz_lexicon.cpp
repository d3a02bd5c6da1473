// Lexicon and dictionary files: the input is parsed as a lexicon (with the
// tag length its own header names, so that the parse gets past the header)
// and a lexicon that is accepted analyses its own forms, their upper-cased
// and cut spellings and a few unknown words; then the input is read as a
// dictionary file and the builder's lexicon is written and read back.
#include <memory>
#include <string>

#include "analyser/analyser.h"
#include "analyser/lexicon_file.h"
#include "fuzz_util.h"

using namespace vexta;

namespace {

// The tag length named on the input's "tag-length" line, 1 .. 31; else 4.
int TagLengthOf(std::string_view szText) {
    constexpr std::string_view kKey = "\ntag-length\t";
    const std::size_t ich = szText.find(kKey);
    int c = 0;
    for (std::size_t i = ich == std::string_view::npos ? szText.size() : ich + kKey.size();
         i < szText.size() && szText[i] >= '0' && szText[i] <= '9' && c < 100; ++i)
        c = c * 10 + (szText[i] - '0');
    return c >= 1 && c <= 31 ? c : 4;
}

void Analyse(const std::shared_ptr<const Lexicon>& plex) {
    const Analyser analyser(plex, GuessSettings{0.99, 10});
    AnalysisList an;
    for (const std::string& szForm : plex->rgszForm) {
        analyser.Analyse(szForm, an);
        std::string szUpper = szForm;
        for (char& ch : szUpper)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        analyser.Analyse(szUpper, an);
        analyser.Analyse(std::string_view(szForm).substr(0, szForm.size() / 2), an);
        for (int k = 0; k < an.Count(); ++k) static_cast<void>(an.LemmaOf(an.Tag(k)));
    }
    for (const std::string_view szForm : {"", "x", "Neznámé", "12,5", "...", "ŽLUŤOUČKÝCH"})
        analyser.Analyse(szForm, an);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    const std::string_view szText = fuzz::AsText(pb, cb);
    const int cTagElem = TagLengthOf(szText);
    fuzz::Guarded([&] {
        auto plex = std::make_shared<Lexicon>();
        FileProblem problem;
        if (ParseLexicon(szText, "fuzz", cTagElem, *plex, problem) == 0) Analyse(plex);
    });
    fuzz::Guarded([&] {
        const std::string szPath = fuzz::WriteScratch("dict.tsv", szText);
        LexiconBuilder builder(cTagElem);
        FileProblem problem;
        if (ReadDictionary(szPath, kDictColumnsDefault, cTagElem, builder, problem) != 0) return;
        const Lexicon lex = builder.Build();
        Lexicon lexBack;
        if (ParseLexicon(LexiconText(lex), "fuzz", cTagElem, lexBack, problem) != 0) std::abort();
    });
    return 0;
}
