// Helpers of the training tests: a model set up for training on
// hand-written data lines through the same steps as the training pipeline
// (parameters, training set-up, initial error rate).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/globals.h"
#include "app/training_params.h"
#include "base/ux_arg.h"
#include "base/ux_hash.h"
#include "corpus/data_table.h"
#include "features/templates.h"
#include "model/model.h"
#include "tagging/error_rate.h"
#include "test_util.h"

namespace vexta::test {

// The training keys of a run on hand-written lines: one iteration reading
// its pool from pool.txt, one pass at threshold 2, weights 1..8 and 0.125.
// Later definitions (szExtra) override these.
inline std::string TrainingArgs(std::string_view szPoolFile, std::string_view szExtra = "") {
    std::string sz = "FeatureMode = Read\n"
                     "FeatureSugg = " +
                     std::string(szPoolFile) +
                     "\n"
                     "Features = unused.model\n"
                     "AmbClassIgnore = -\n"
                     "MinThrAddFeature = 2\n"
                     "MinThrPoolFeature = 2\n"
                     "MinThrClosestFeature = 5\n"
                     "CombiThr = 10\n"
                     "LeftOnly = no\n"
                     "FeatureArea = 1000\n"
                     "FeatureSuggSize = 10000\n"
                     "AmbClassArea = 100\n"
                     "LambdaIterations = 0\n"
                     "HeavySmoothing = yes\n"
                     "MultiPass = no\n"
                     "TrainingIterationsMax = 1\n"
                     "LambdaMax = 8\n"
                     "LambdaMin = 0.125\n"
                     "TrainCat = -1\n"
                     // In mode Read only the keys of the iteration give the
                     // pool's model kind and order.
                     "SortSuggestions0 = Count\n"
                     "Models0 = AC\n";
    sz += szExtra;
    return sz;
}

// A model set up for training on data lines "tag|AC/.../|form|lemma|>c/c/",
// the same lines serving as training, heldout and test data.
class TrainingSetup {
public:
    Model m;
    DataTable dtT;
    DataTable dtH;
    DataTable dtS;
    TempDir dir;

    explicit TrainingSetup(int cTagElem, double dRawExpWeight = 0.5) {
        m.cTagElem = cTagElem;
        m.fProgMode = kModeTrain;
        m.cBeam = 1;
        m.dRawExpWeight = dRawExpWeight;
        m.phashStr = ux_HashNew(8192, 65536, 4000);
        ux_HashMemberPtr(m.phashStr.get(), "", &m.pszEmpty);
        m.pdtT = &dtT;
        m.pdtH = &dtH;
        m.pdtS = &dtS;
    }

    // Makes szText (after the SubTag keys) the current argument file.
    void UseArgs(std::string_view szText) {
        std::string sz;
        for (int t = 0; t < m.cTagElem; ++t) {
            sz += "SubTag" + std::to_string(t + 1) + " = +E" + std::to_string(t + 1) + "\n";
        }
        sz += szText;
        szArgs = dir.Write("train.args", sz);
        ux_ArgClose();
        ux_ArgOpen(szArgs);
    }

    // Loads the lines, reads the parameters, sets training up and measures
    // the initial error, as the training pipeline does.
    void Init(const std::vector<std::string>& rgszLine, std::string_view szArgText) {
        UseArgs(szArgText);
        Fill(dtT, rgszLine);
        Fill(dtH, rgszLine);
        Fill(dtS, rgszLine);
        ASSERT_EQ(ReadTrainingParamsBeforeSetup(&m), 0);
        ASSERT_EQ(InitModelTraining(&dtT, &m), 0);
        ASSERT_EQ(ReadTrainingParamsAfterSetup(&m), 0);
        ASSERT_LE(ErrorRateData(dtT, m, 0), 0);
    }

    AmbClass& Class(int t, std::string_view szAC) {
        AmbClass* pac = FindAmbClassRec(szAC, m.rgteTagElem[static_cast<std::size_t>(t)], m);
        EXPECT_NE(pac, nullptr) << szAC;
        return *pac;
    }

    // The features of the class's chain, newest first.
    std::vector<const FeatureDesc*> Chain(const AmbClass& ac) const {
        std::vector<const FeatureDesc*> rg;
        for (long il = ac.ilPacFeatureFirst; il >= 0;
             il = m.rgfdFeatureArea[static_cast<std::size_t>(il)].ilNextFeature) {
            rg.push_back(&m.rgfdFeatureArea[static_cast<std::size_t>(il)]);
        }
        return rg;
    }

private:
    void Fill(DataTable& dt, const std::vector<std::string>& rgszLine) {
        dt.ilStart = 0;
        dt.clLines = static_cast<long>(rgszLine.size());
        ASSERT_EQ(AllocSegment(m, dt), 0);
        for (std::size_t i = 0; i < rgszLine.size(); ++i) {
            ASSERT_EQ(InsertLine(m, dt, rgszLine[i], static_cast<long>(i), "", nullptr, 1), 0)
                << rgszLine[i];
        }
        dt.rgilNextAC.assign(static_cast<std::size_t>(dt.clData), -1);
        dt.rgilNextFeature.assign(static_cast<std::size_t>(dt.clData), -1);
    }
};

// Lines of a one-element language where "saw" is a noun after "the" and a
// verb after "I": the class NV of "saw" is tagged N by its prior, so each
// verb "saw" is an error that a feature on the form to the left can fix.
inline std::vector<std::string> SawLines(int cNouns, int cVerbs) {
    std::vector<std::string> rg;
    for (int i = 0; i < cNouns; ++i) {
        rg.emplace_back("D|D/|the|the|>D/");
        rg.emplace_back("N|NV/|saw|saw|>N/V/");
    }
    for (int i = 0; i < cVerbs; ++i) {
        rg.emplace_back("P|P/|I|I|>P/");
        rg.emplace_back("V|NV/|saw|saw|>N/V/");
    }
    return rg;
}

} // namespace vexta::test
