// Setting up a run for UPOS+FEATS tags from their layout.
#include "app/composed_tags.h"

#include <cstdio>
#include <cstring>

#include "app/globals.h"
#include "base/ux_arg.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"
#include "corpus/ud_layout.h"
#include "model/model.h"

namespace vexta {

namespace {

[[noreturn]] void LayoutFatal(const std::string& szText) {
    std::fflush(stdout);
    ux_FatalError(kModApp, kMsgApp, ux_ProgName() + ": " + szText + "\n");
}

std::string ArgValue(const char* pszKey) {
    std::string sz;
    if (ux_ArgGetValue(szArgs, pszKey, sz) > 0) sz.clear();
    return sz;
}

// The tag length and element names of the layout; every element counts
// for whole-tag errors.
void UseLayout(Model& m, const UdLayout& layout) {
    cTagElem = layout.Size();
    m.cTagElem = cTagElem;
    std::string szDefs;
    for (int t = 0; t < layout.Size(); ++t)
        szDefs +=
            "SubTag" + std::to_string(t + 1) + " = \"+" + std::string(layout.Name(t)) + "\"\n";
    ux_ArgDefine(szArgs, szDefs, "the UPOS+FEATS layout");
    std::fprintf(stderr, "%s: UPOS+FEATS tags of %d positions: UPOS", ux_ProgName().c_str(),
                 layout.Size());
    for (int t = 1; t < layout.Size(); ++t) {
        const std::string_view szName = layout.Name(t);
        std::fprintf(stderr, " %.*s", static_cast<int>(szName.size()), szName.data());
    }
    std::fprintf(stderr, "\n");
}

// A TagFeatures list with "+" between the names.
std::string NormalList(const std::string& sz) {
    std::string szOut;
    bool fSep = false;
    for (const char ch : sz) {
        if (ch == '+' || ch == ',' || ch == ' ' || ch == '\t') {
            fSep = !szOut.empty();
            continue;
        }
        if (fSep) szOut += '+';
        fSep = false;
        szOut += ch;
    }
    return szOut;
}

} // namespace

bool ComposedTags() {
    return ArgValue("TagColumn") == kUdTagColumn;
}

void DeriveComposedTags(Model& m) {
    UdLayout& layout = m.pdtS->udLayout;
    if (const std::string szErr = DeriveUdLayout(szArgs, m, layout); !szErr.empty())
        LayoutFatal("UPOS+FEATS: " + szErr);
    UseLayout(m, layout);
    m.rgszNotes = layout.Save();
}

bool ReadModelNotes(const std::string& szModelFile, std::vector<std::string>& rgsz) {
    rgsz.clear();
    std::FILE* pf = std::fopen(szModelFile.c_str(), "rb");
    if (!pf) return false;
    std::string szLine;
    for (int ch = 0; (ch = std::fgetc(pf)) != EOF;) {
        if (ch != '\n') {
            szLine += static_cast<char>(ch);
            continue;
        }
        if (!szLine.starts_with("<D")) break;
        if (szLine.starts_with("<Dn>")) rgsz.push_back(szLine.substr(4));
        szLine.clear();
    }
    std::fclose(pf);
    return true;
}

void LoadComposedTags(Model& m) {
    // A file that cannot be read is reported by the model reader.
    std::vector<std::string> rgszNotes;
    if (!ReadModelNotes(m.szModelFile, rgszNotes)) return;
    UdLayout layout;
    const std::string szErr = layout.Load(rgszNotes);
    const bool fHasLayout = szErr != "no layout";
    if (!ComposedTags()) {
        if (fHasLayout)
            LayoutFatal("model " + m.szModelFile +
                        " was trained on tags composed from UPOS and FEATS; test or tag with "
                        "TagColumn = UPOS+FEATS");
        return;
    }
    if (!fHasLayout)
        LayoutFatal("model " + m.szModelFile +
                    " holds no UPOS+FEATS layout: it was not trained with TagColumn = UPOS+FEATS");
    if (!szErr.empty()) LayoutFatal("model " + m.szModelFile + ": UPOS+FEATS layout: " + szErr);
    const std::string szChosen = NormalList(ArgValue("TagFeatures"));
    if (!szChosen.empty() && szChosen != layout.FeatureList())
        LayoutFatal("TagFeatures " + szChosen + " differs from the features of model " +
                    m.szModelFile + ": " + layout.FeatureList());
    m.pdtS->udLayout = layout;
    UseLayout(m, m.pdtS->udLayout);
}

} // namespace vexta
