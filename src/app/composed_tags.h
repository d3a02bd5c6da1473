// Tags composed from the UPOS and FEATS columns (TagColumn = UPOS+FEATS):
// the tag length and the tag element names come from the layout, which
// training derives and stores in the model file's header and testing and
// tagging take from there.
#pragma once

#include <string>
#include <vector>

namespace vexta {

class UdLayout;
struct Model;

// True when the argument file asks for tags composed from UPOS and FEATS.
bool ComposedTags();

// Training: derives the layout from the training data into the output table
// and sets the tag length, the tag element names ("SubTag1" = "+UPOS", then
// the features) and the model's header lines from it. Fatal when it cannot.
void DeriveComposedTags(Model& m);

// Testing and tagging: takes the layout from the header of m.szModelFile.
// A model with a layout read without TagColumn = UPOS+FEATS, a model without
// one read with it, and TagFeatures naming other features than the model's
// are fatal errors.
void LoadComposedTags(Model& m);

// The <Dn> header lines of a model file (without "<Dn>"); false when the
// file cannot be opened.
bool ReadModelNotes(const std::string& szModelFile, std::vector<std::string>& rgsz);

} // namespace vexta
