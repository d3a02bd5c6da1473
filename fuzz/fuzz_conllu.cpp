// CoNLL-U through the event reader: the input is read as a CoNLL-U file of
// two tag elements (short tags padded, spellings kept), in Test mode (gaps
// and rests kept) and in Train mode, token by token to its end. Malformed
// lines must end in a numbered fatal error, never in a crash.
#include <array>
#include <memory>

#include "corpus/event_reader.h"
#include "corpus/sgml_lexer.h"
#include "corpus/tag_spellings.h"
#include "fuzz_util.h"
#include "model/model.h"

using namespace vexta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pb, std::size_t cb) {
    const std::string szPath = fuzz::WriteScratch("in.conllu", fuzz::AsText(pb, cb));
    static std::array<char, kDataLineSize> szLine;
    static std::array<char, kDataLineSize> szRest;
    for (const int fMode : {kModeTest, kModeTrain}) {
        fuzz::Guarded([&] {
            auto pm = std::make_unique<Model>();
            pm->cTagElem = 2;
            pm->fProgMode = fMode;
            auto ppdf = std::make_unique<pdfRecType>();
            ppdf->szFileName = szPath;
            ppdf->fmt = InputFormat::kConllu;
            ppdf->szSentTag = "ZZ";
            ppdf->szSentForm = ppdf->szSentLemma = "###";
            TagSpellings spell;
            ppdf->conllu.ptagSpell = &spell;
            if (OpenData(*ppdf) != 0) return;
            gapRecType gap;
            for (long i = 0; i < 1000000 && GetEvent(szLine, szRest, gap, *ppdf, *pm) == 0; ++i)
                FreeGap(gap);
        });
    }
    return 0;
}
