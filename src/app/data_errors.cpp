// What a failed ReadData means in the user's terms: the line printed before
// the pipelines' own message, which gives only the code.
#include "app/globals.h"
#include "app/pipelines.h"
#include "base/ux_base.h"
#include "corpus/data_table.h"

#include <cstdio>
#include <string>

namespace vexta {

namespace {

// "Train (lines 0..99)" for a segment given by line numbers.
std::string SegmentText(const DataTable& dt, const char* pszName) {
    return std::string(pszName) + " (lines " + std::to_string(dt.ilStart) + ".." +
           std::to_string(dt.ilStart + dt.clLines - 1) + ")";
}

void Say(const std::string& szText) {
    std::fprintf(stderr, "%s: %s\n", ux_ProgName().c_str(), szText.c_str());
}

} // namespace

void ExplainReadDataFailure(int rc) {
    const DataTable* rgpdtFirst[] = {&dtT, &dtT, &dtT, &dtT, &dtH, &dtH};
    const DataTable* rgpdtSecond[] = {&dtH, &dtH, &dtS, &dtS, &dtS, &dtS};
    static constexpr const char* rgszName[] = {"Train", "Heldout", "Test"};
    auto Name = [](const DataTable* pdt) {
        return rgszName[pdt == &dtT ? 0 : pdt == &dtH ? 1 : 2];
    };
    switch (rc) {
    case kDataHeldoutStartInTrain:
    case kDataHeldoutEndInTrain:
    case kDataTestStartInTrain:
    case kDataTestEndInTrain:
    case kDataTestStartInHeldout:
    case kDataTestEndInHeldout: {
        const DataTable& dtA = *rgpdtFirst[rc - kDataHeldoutStartInTrain];
        const DataTable& dtB = *rgpdtSecond[rc - kDataHeldoutStartInTrain];
        Say("the " + SegmentText(dtB, Name(&dtB)) + " segment overlaps the " +
            SegmentText(dtA, Name(&dtA)) + " segment: segments must not share lines");
        break;
    }
    case kDataNoInput:
        Say("no corpus is named: set InData (or TrainData, HeldoutData and TestData)");
        break;
    case kDataNotOpened:
        Say("the corpus file cannot be opened (see the line above)");
        break;
    case kDataTestPastEnd:
        Say("the Test segment starts after the end of the corpus: check TestStart (in Test "
            "mode, give TestStart and TestLines, or TestData)");
        break;
    case kDataNoHeldoutKeys:
    case kDataNoTestKeys:
    case kDataNoTrainKeys: {
        const char* pszName = rgszName[rc == kDataNoTrainKeys     ? 0
                                       : rc == kDataNoHeldoutKeys ? 1
                                                                  : 2];
        Say(std::string("the ") + pszName + " segment is required: set " + pszName + "Start and " +
            pszName + "Lines (line numbers of InData) or " + pszName + "Data (a file); " + pszName +
            "Start = 2111222111 gives an empty segment");
        break;
    }
    case kDataInsertTrain:
    case kDataInsertHeldout:
    case kDataInsertTest:
        Say(std::string("a data line of the ") + rgszName[rc - kDataInsertTrain] +
            " segment cannot be stored: is TagElemMax the length of its tags?");
        break;
    case kDataReadFailed:
        Say("the corpus cannot be read to its end (see the lines above)");
        break;
    default:
        break;
    }
}

} // namespace vexta
