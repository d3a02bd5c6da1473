// Names of the input formats and tag columns.
#include "corpus/input_format.h"

namespace vexta {

bool ParseInputFormat(std::string_view szValue, InputFormat& fmt) {
    if (szValue == "sgml")
        fmt = InputFormat::kSgml;
    else if (szValue == "line")
        fmt = InputFormat::kLine;
    else if (szValue == "conllu")
        fmt = InputFormat::kConllu;
    else
        return false;
    return true;
}

bool ParseTagColumn(std::string_view szValue, TagColumn& col) {
    if (szValue == "XPOS")
        col = TagColumn::kXpos;
    else if (szValue == kUdTagColumn)
        col = TagColumn::kUposFeats;
    else
        return false;
    return true;
}

int ConlluColumnOf(TagColumn col) {
    switch (col) {
    case TagColumn::kXpos:
        break;
    case TagColumn::kUposFeats:
        return kConlluUpos;
    }
    return kConlluXpos;
}

} // namespace vexta
