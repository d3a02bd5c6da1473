// The command line beyond the argument file: --help, --version, --keys,
// Key=Value overrides, and the known-key table with its unknown-key warnings
// and the key reference in docs/keys.md.
#include "app/key_table.h"

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"

namespace vexta {
namespace {

const std::string kBin = VEXTA_BINARY;

// Start-up keys of a test run that stops at the missing model file, so that
// every key up to there is read.
constexpr std::string_view kArgs = "Mode = Test\nTagMode = VTC\nTagElemMax = 4\nBeam = 5\n"
                                   "RawExpWeight = 0.9\nTestStart = 0\nTestLines = 1\n";

TEST(CommandLine, InformationOptionsEndWithStatusZero) {
    test::TempDir dir;
    auto res = test::RunProgram(dir.Path(), "--help");
    EXPECT_EQ(res.iStatus, 0);
    EXPECT_EQ(res.szErr, "");
    for (const char* psz : {"Usage:", "vexta ARGFILE [Key=Value ...]", "Train, TrainOut",
                            "Test, TestOut, TestDebug", "Tag, TagDebug", "docs/keys.md", "--keys"})
        EXPECT_TRUE(test::Contains(res.szOut, psz)) << psz;

    res = test::RunProgram(dir.Path(), "--version");
    EXPECT_EQ(res.iStatus, 0);
    EXPECT_TRUE(res.szOut.starts_with("vexta 1.0.0")) << res.szOut;
    EXPECT_EQ(res.szOut.back(), '\n');

    res = test::RunProgram(dir.Path(), "--keys");
    EXPECT_EQ(res.iStatus, 0);
    EXPECT_EQ(res.szOut, KeyReference());

    res = test::RunProgram(dir.Path(), "--hepl");
    EXPECT_EQ(res.iStatus, 1);
    EXPECT_EQ(res.szErr, kBin + ": unknown option --hepl (see " + kBin + " --help)\n");

    // Without arguments the usage line and status 1 stay.
    res = test::RunProgram(dir.Path(), "");
    EXPECT_EQ(res.iStatus, 1);
    EXPECT_EQ(res.szErr, kBin + ": usage: " + kBin + " <argfile> > <output>\n");
}

TEST(CommandLine, KeyValueWordsOverrideTheArgumentFile) {
    test::TempDir dir;
    std::string szArgs(kArgs);
    szArgs += "dir = nowhere\nFeatures = ${dir}/m.model\n";
    dir.Write("run.args", szArgs);
    // A later word wins; a key used in a reference takes the overriding value.
    auto res = test::RunProgram(dir.Path(), "run.args Beam=7 dir=here 'dir = there'");
    EXPECT_TRUE(test::Contains(res.szErr, "cannot read in the model there/m.model")) << res.szErr;
    res = test::RunProgram(dir.Path(), "run.args Beam=127");
    EXPECT_TRUE(test::Contains(res.szErr, "Beam out of bounds <1..126>: 127")) << res.szErr;
    // Values keep the file's syntax: quotes, fields.
    res = test::RunProgram(dir.Path(), "run.args \"Mode='Te st'\"");
    EXPECT_EQ(res.iStatus, 38);
    EXPECT_EQ(res.szErr, kBin + ": wrong Mode: Te st\n");

    for (const char* pszWord : {"Beam", "=5", "'Be am=5'", "'${x}=5'"}) {
        std::string szWords = "run.args ";
        szWords += pszWord;
        res = test::RunProgram(dir.Path(), szWords);
        EXPECT_EQ(res.iStatus, 1) << pszWord;
        EXPECT_TRUE(test::Contains(res.szErr, ": malformed argument ")) << res.szErr;
        EXPECT_TRUE(test::Contains(res.szErr, "expected Key=Value\n")) << res.szErr;
    }
}

TEST(CommandLine, UnknownKeysAreWarnedWithTheClosestKnownKey) {
    test::TempDir dir;
    // Keys of other modes, per-iteration and numbered keys and variables used
    // in references are known; the run goes on after the warnings.
    std::string szArgs(kArgs);
    szArgs += "MinThrAddFeature = 2\nLambdaMax3 = 4\nSubTag2 = +G\n"
              "base = /data\nInData = ${base}/c.csts\nk = ${name}\nname = x\n"
              "Beem = 1\nTagMod = VTC\nMinThrAddFeatur = 50\nmode = Tag\n"
              "LambdaMxa2 = 3\nSubTag0 = x\nzzzzzz = 1\n";
    const auto res = test::RunArgs(dir, szArgs);
    EXPECT_EQ(res.iStatus, 892 & 255);
    std::string szExpected;
    for (const char* psz :
         {"Beem (did you mean Beam?)", "LambdaMxa2 (did you mean LambdaMax2?)",
          "MinThrAddFeatur (did you mean MinThrAddFeature?)", "SubTag0 (did you mean SubTag1?)",
          "TagMod (did you mean TagMode?)", "k", "mode (did you mean Mode?)", "zzzzzz"}) {
        szExpected += kBin;
        szExpected += ": warning: unknown key ";
        szExpected += psz;
        szExpected += '\n';
    }
    EXPECT_TRUE(res.szErr.starts_with(szExpected)) << res.szErr;
    EXPECT_TRUE(test::Contains(res.szErr, "GetValue (feature file) Features failed"));

    for (const auto& [szKey, fKnown] :
         {std::pair{"LambdaMax12", true}, std::pair{"SubTag31", true},
          std::pair{"LambdaMax012", false}, std::pair{"Mode2", false}, std::pair{"SubTag", false}})
        EXPECT_EQ(IsKnownKey(szKey), fKnown) << szKey;
}

TEST(CommandLine, KeyReferenceIsUpToDate) {
    const std::string szFile = std::string(VEXTA_SOURCE_DIR) + "/docs/keys.md";
    EXPECT_EQ(test::ReadFile(szFile), KeyReference())
        << "docs/keys.md is out of date: run ./build/vexta --keys > docs/keys.md";
    // Every key once, each with its meaning.
    for (const KeyInfo& key : KnownKeys()) {
        EXPECT_FALSE(key.szMeaning.empty()) << key.szName;
        EXPECT_EQ(&KeyEntry(key.szName), &key) << key.szName;
    }
}

} // namespace
} // namespace vexta
