#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/ux_arg.h"
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "test_model_util.h"

namespace vexta {
namespace {

using namespace test;

// Header and the start of section 0 of a model with the tag elements POS and
// CASE ("SubTag1" = "+POS", "SubTag2" = "-CASE").
const std::string kHead = "<Dc>2<Dz>50<Df>4<Da>4<Di>-\n"
                          "<st>000000000000<d>POS\n"
                          "<sc>POS<t>N<c>6\n";
const std::string kClassNV = "<AC>POS<a>NV<c>10\n"
                             "<Aj>POS<a>NV<t>N<c>7\n"
                             "<Aj>POS<a>NV<t>V<c>3\n";

// Escapes a literal text for a regular expression of EXPECT_FATAL.
std::string Lit(std::string_view sz) {
    std::string szOut;
    for (const char ch : sz) {
        if (std::string_view("\\^$.|?*+()[]{}").find(ch) != std::string_view::npos) szOut += '\\';
        szOut += ch;
    }
    return szOut;
}

struct ReaderTest : testing::Test {
    Model m;
    TempDir dir;
    void SetUp() override {
        szArgs = dir.Write("test.args", "SubTag1 = +POS\nSubTag2 = -CASE\n");
        ux_ArgOpen(szArgs);
        m.cTagElem = 2;
        m.szModelFile = dir.Path("test.model");
    }
    void TearDown() override { ux_ArgClose(); }
    // Reads szText; the item checks are shown on files that end anywhere.
    int Read(std::string_view szText, ModelEnd end = ModelEnd::kAnywhere) {
        WriteFile(m.szModelFile, szText);
        return ReadModel(szArgs, m, end);
    }
    // Reads szText and returns what went to standard error.
    std::string ReadCapturing(std::string_view szText, int rcExpected = 0) {
        int rc = 0;
        const std::string szErr = Stderr([&] { rc = Read(szText); });
        EXPECT_EQ(rc, rcExpected);
        return szErr;
    }
    const AmbClass& Class(long il) const { return m.rgacAmbClassArea[static_cast<size_t>(il)]; }
    const FeatureDesc& Feature(long il) const { return m.rgfdFeatureArea[static_cast<size_t>(il)]; }
};

TEST_F(ReaderTest, ReadsHeaderSectionsClassesFeaturesAndTerms) {
    const std::string szErr =
        ReadCapturing("<tagmodel>demo\n<Dn>name<Dt>train.csts<Dp>pool<Ds>100<Dh>10<Dk>3<Dl>2\n" +
                      kHead + "<sc>POS<t>V<c>4\n<AC>POS<a>--NV<c>10\n<Aj>POS<a>--NV<t>N<c>6\n" +
                      "<Aj>POS<a>--NV<t>V<c>4\n" + kClassNV +
                      "<FE>POS<a>NV<x>1<c>6<w>0000001.2500000000000000<y>*\n"
                      "<fc>POS<a>NV<t>N<c>5\n<fc>POS<a>NV<t>V<c>1\n"
                      "<Fx>POS<a>NV<i>0<p>-<d>FORM<g>of<v><d>CASE<e>1\n"
                      "<FE>POS<a>NV<x>2<c>3<w>0.5<y>N\n"
                      "<Fx>POS<a>NV<i>0<p>+5<v><d>LEMMA<a>be\n"
                      "<Fx>POS<a>NV<i>1<p>@\n"
                      "<st>000000000001<d>CASE\n<sc>CASE<t>1<c>9\n</tagmodel>\n");
    EXPECT_EQ(szErr, "App tag: [ln 2] model: <tagmodel>demo\n");

    EXPECT_EQ(m.szFeaturePoolFile, "pool");
    EXPECT_EQ(m.cClosestThr + m.cPoolThr + m.cThrMin, 15);
    EXPECT_EQ(m.clStrAreaSize, 54);
    EXPECT_EQ(m.clFeatureAreaSize, 5);
    EXPECT_STREQ(m.rgpszTagElemName[1], "CASE");
    EXPECT_EQ(m.rgteTagElem[0].fSignPlus + m.rgteTagElem[1].fSignPlus, 1);
    EXPECT_EQ(m.rgteTagElem[1].rgclSubtagCnt['1'], 9);

    ASSERT_EQ(m.clAmbClassAreaUsed, 2);
    EXPECT_EQ(m.rgteTagElem[0].clAmbClass, 2);
    EXPECT_EQ(m.rgteTagElem[1].clAmbClass, 0);
    EXPECT_EQ(Class(0).fACIgnore, 1);
    EXPECT_EQ(Class(0).rgclJointCnt[2], 6); // indexes count the marker characters

    // The later feature heads the chain.
    ASSERT_EQ(Class(1).ilPacFeatureFirst, 1);
    const FeatureDesc& fdAll = Feature(0);
    const FeatureDesc& fdN = Feature(1);
    EXPECT_EQ(fdN.ilNextFeature, 0);
    EXPECT_EQ(fdAll.pszY, m.pszEmpty);
    EXPECT_EQ(fdAll.pacOfFeature, &Class(1));
    EXPECT_EQ(fdAll.pszACFeature, Class(1).pszAmbClass);
    EXPECT_EQ(fdAll.rgclCntTagElemGivenFeature, (std::vector<long>{5, 1}));
    EXPECT_EQ(fdAll.dLambda, 1.25);
    const FeatureTerm& ft = fdAll.rgftTerm[0];
    EXPECT_EQ(ft.iPos, kPosClosestLeft);
    EXPECT_EQ(ft.iClosestConditionElem, kElemForm);
    EXPECT_STREQ(ft.pszClosestValue, "of");
    EXPECT_EQ(ft.iConditionElem, kElemACMember + 1);
    EXPECT_STREQ(fdN.pszY, "N");
    ASSERT_EQ(fdN.cTerms, 2);
    EXPECT_EQ(fdN.rgftTerm[0].iPos, 5);
    EXPECT_EQ(fdN.rgftTerm[0].iConditionElem, kElemLemma); // LEMMA with <a>
    EXPECT_EQ(fdN.rgftTerm[1].iPos, kPosEmpty);
}

TEST_F(ReaderTest, HeaderDuplicatesAndThresholdsWarn) {
    const std::string szErr =
        ReadCapturing("<Dt>first<Dt>second<Ds>x<Ds>7<Dk>0<Dl>-1<Dh>5<Dh>6\n" + kHead);
    EXPECT_EQ(m.szTrainingData, "first");
    EXPECT_EQ(m.clTrainingSize, 7);
    EXPECT_EQ(m.cPoolThr, 0);
    EXPECT_EQ(m.cThrMin, -1);
    EXPECT_EQ(m.cClosestThr, 5);
    for (const char* psz :
         {"Warn(18032): tag: [ln 1] model: Training data: dupl ign'd: <Dt>second",
          "model: Not a number: <Ds>x", "model: Pool threshold not positive <Dk>",
          "model: add err threshold not positive <Dl>",
          "model: Closest threshold: dupl ign'd: <Dh>6", "model: Max # of subtags: 1; dcl as 2",
          "model: No ambiguity classes -- global smoothing only"}) {
        EXPECT_TRUE(Contains(szErr, psz)) << psz << " in\n" << szErr;
    }
}

TEST_F(ReaderTest, AreaSizesGiveRoomForTheDeclaredRecords) {
    ReadCapturing("<Dc>2<Dz>50<Df>0<Da>2\n<st>0<d>POS<sc>POS<t>N<c>1\n");
    EXPECT_EQ(m.clFeatureAreaSize, 1);
    EXPECT_EQ(m.clAmbClassAreaSize, 3);
    const std::string szTwoClasses = "<Dc>2<Dz>50<Df>2<Da>2\n<st>0<d>POS<sc>POS<t>N<c>1\n"
                                     "<AC>POS<a>NV<c>0<FE>POS<a>NV<y>N<FE>POS<a>NV<y>V"
                                     "<FE>POS<a>NV<y>V<AC>POS<a>AN<c>0\n";
    ReadCapturing(szTwoClasses);
    EXPECT_EQ(m.clAmbClassAreaUsed, 2);
    EXPECT_EQ(m.clFeatureAreaUsed, 3);
}

TEST_F(ReaderTest, CountsAreRepairedToTheSumOfTheirParts) {
    std::string szErr =
        ReadCapturing(kHead + "<AC>POS<a>NV<c>12<Aj>POS<a>NV<t>N<c>7<Aj>POS<a>NV<t>V<c>3\n"
                              "<AC>POS<a>AN<c>0<Aj>POS<a>AN<t>A<c>2\n"
                              "<FE>POS<a>AN<c>9<y>*<fc>POS<a>AN<t>A<c>4"
                              "<Fx>POS<a>AN<i>0<p>0<v><d>POS<t>A\n");
    EXPECT_EQ(Class(0).clAmbClassCnt, 10);
    EXPECT_EQ(Class(1).clAmbClassCnt, 2); // a declared 0 is replaced silently
    EXPECT_EQ(Feature(0).clCnt, 4);
    EXPECT_TRUE(Contains(szErr, "model: POS/NV, nonzero count (12) replaced by sum (10)"));
    EXPECT_TRUE(Contains(szErr, "model: POS/AN, feature batch count (9) replaced by sum (4)"));
    EXPECT_FALSE(Contains(szErr, "replaced by sum (2)"));
}

TEST_F(ReaderTest, EndOfFileIsAcceptedAnywhere) {
    // Cut after a joint count line: the class is kept as read, not closed.
    ReadCapturing(kHead + "<AC>POS<a>NV<c>12<Aj>POS<a>NV<t>N<c>7\n");
    EXPECT_EQ(Class(0).clAmbClassCnt, 12);
    // Cut inside a term: the term without its condition is dropped.
    const std::string szErr =
        ReadCapturing(kHead + kClassNV + "<FE>POS<a>NV<y>N<Fx>POS<a>NV<i>0<p>@\n" +
                      "<Fx>POS<a>NV<i>1<p>-<d>FORM<g>of");
    EXPECT_EQ(Feature(0).cTerms, 1);
    EXPECT_TRUE(Contains(szErr, "model: POS/NV, incomplete term at end of file dropped"));
    // </tagmodel> may follow a section without classes.
    ReadCapturing(kHead + "</tagmodel>");
    // The first item need not be <tagmodel>; a comment alone is not a model.
    EXPECT_EQ(Read("<comment>x</comment>" + kHead), 0);
}

using ReaderFatalTest = ReaderTest;

// The model of the round-trip tests, with classes in every section as
// training makes them.
void BuildModel(Model& mOut) {
    InitModel(mOut, {"POS", "CASE"});
    mOut.szAmbClassIgnore.assign(1, '-');
    mOut.szTrainingData = "t.csts";
    mOut.clTrainingSize = 77;
    mOut.cThrMin = 2;
    mOut.rgteTagElem[0].rgclSubtagCnt['N'] = 8;
    mOut.rgteTagElem[1].rgclSubtagCnt['4'] = 3;
    const long iAll = AddAmbClass(mOut, 0, "--NV", 9);
    mOut.rgacAmbClassArea[iAll].rgclJointCnt = {0, 0, 5, 4};
    const long iAC = AddAmbClass(mOut, 0, "NV", 3);
    mOut.rgacAmbClassArea[iAC].rgclJointCnt = {2, 1};
    FeatureDesc& fdAll = AddFeature(mOut, 0, iAll, "*", 0.1, 4);
    fdAll.rgclCntTagElemGivenFeature = {0, 0, 3, 1};
    SetTerms(fdAll,
             {Term(mOut, -1, kElemAnyTag, ""), Term(mOut, 127, 32 + 1, "14", kElemLemmaAC, "be")});
    AddFeature(mOut, 0, iAC, "N", 2.5, 2);
    SetTerms(AddFeature(mOut, 0, iAC, "V", 1.0, 1), {Term(mOut, 3, kElemLemmaAC, "x")});
    AddAmbClass(mOut, 1, "46", 0);
    const long iCase = AddAmbClass(mOut, 1, "14", 3);
    mOut.rgacAmbClassArea[iCase].rgclJointCnt = {1, 2};
    FeatureDesc& fdCase = AddFeature(mOut, 1, iCase, "*", 1.5, 3);
    fdCase.rgclCntTagElemGivenFeature = {1, 2};
    SetTerms(fdCase, {Term(mOut, -2, 0, "N"), Term(mOut, 1, kElemForm, "of")});
}

TEST_F(ReaderTest, AFileCutAnywhereReadsAsTheWholeFileOrIsRefused) {
    Model mOut;
    BuildModel(mOut);
    const std::string szWhole = dir.Path("whole.model");
    mOut.szModelFile = szWhole;
    WriteModel(mOut);
    const std::string szText = ReadFile(szWhole);
    // What the whole file reads as, written again.
    const std::string szOut = dir.Path("out.model");
    m.szModelFile = szWhole;
    ASSERT_EQ(ReadModel(szArgs, m), 0);
    m.szModelFile = szOut;
    WriteModel(m);
    const std::string szRef = ReadFile(szOut);

    // Each cut is read into a fresh model; a refusal is a fatal error.
    long cRefused = 0;
    for (size_t cb = 0; cb <= szText.size(); ++cb) {
        Model mCut;
        mCut.cTagElem = m.cTagElem;
        mCut.szModelFile = dir.Path("cut.model");
        WriteFile(mCut.szModelFile, std::string_view(szText).substr(0, cb));
        int rc = 0;
        const FatalResult res = Fatal([&] { rc = ReadModel(szArgs, mCut); });
        if (res.iStatus < 0 && rc == 0) {
            std::filesystem::remove(szOut);
            mCut.szModelFile = szOut;
            WriteModel(mCut);
            EXPECT_EQ(ReadFile(szOut), szRef) << "cut at " << cb;
        } else {
            EXPECT_TRUE(rc != 0 || res.iStatus == 18032) << "cut at " << cb << ": " << res.iStatus;
            ++cRefused;
        }
    }
    // Every cut is refused: a file without its final line end may have lost
    // digits of its last number.
    EXPECT_EQ(cRefused, static_cast<long>(szText.size()));

    // A closing </tagmodel> may stand in for the final line end.
    EXPECT_EQ(Read(szText + "</tagmodel>", ModelEnd::kWhole), 0);
}

// The areas grow with the records a file holds: a file that declares
// millions and holds a few takes little memory, and features keep pointing
// at their classes however often the class area moves.
TEST_F(ReaderFatalTest, AreasGrowWithTheRecordsReadNotWithTheDeclaredSizes) {
    std::string szMany = "<Dc>2<Dz>1000<Df>300<Da>300\n<st>0<d>POS<sc>POS<t>N<c>1\n";
    for (char a = 'A'; a <= 'P'; ++a) {
        for (char b = 'a'; b <= 'p'; ++b)
            szMany +=
                std::string("<AC>POS<a>") + a + b + "<c>0<FE>POS<a>" + a + b + "<y>" + a + "\n";
    }
    ReadCapturing(szMany);
    ASSERT_EQ(m.clFeatureAreaUsed, 256);
    for (long il = 0; il < m.clFeatureAreaUsed; ++il) {
        const FeatureDesc& fd = Feature(il);
        ASSERT_EQ(fd.pacOfFeature, &Class(il)) << il;
        EXPECT_EQ(fd.pszACFeature, fd.pacOfFeature->pszAmbClass) << il;
    }
    EXPECT_LE(m.rgacAmbClassArea.capacity(), 301u);

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const long kbBefore = ru.ru_maxrss;
    WriteFile(m.szModelFile, "<Dc>2<Dz>50<Df>8000000<Da>3000000\n<st>0<d>POS<sc>POS<t>N<c>1\n"
                             "<AC>POS<a>NV<c>0<FE>POS<a>NV<y>N\n<st>1<d>CASE<sc>CASE<t>1<c>1\n");
    EXPECT_FATAL(ReadModel(szArgs, m), 18032, "file cut short: 1 of 3000000 amb classes");
    getrusage(RUSAGE_SELF, &ru);
    EXPECT_LT(ru.ru_maxrss - kbBefore, 256L * 1024) << "kB more at the peak";
}

TEST_F(ReaderFatalTest, SignsOfACutFileAreFatal) {
    Model mOut;
    BuildModel(mOut);
    mOut.szModelFile = m.szModelFile;
    WriteModel(mOut);
    const std::string szText = ReadFile(m.szModelFile);
    const auto Before = [&](std::string_view szLine) {
        return szText.substr(0, szText.find(szLine));
    };
    const std::pair<std::string, std::string> rgCase[] = {
        {szText.substr(0, szText.size() - 2), "file cut short: it ends inside a line"},
        {Before("<st>000000000001"), "file cut short: 1 of 2 subtag sections (<Dc>)"},
        {Before("<AC>CASE<a>14"), "file cut short: 3 of 4 amb classes (<Da>)"},
        {Before("<FE>CASE"), "file cut short: 3 of 4 features (<Df>)"},
        {Before("<Aj>POS<a>NV<t>V"), "file cut short: POS/NV joint counts sum to 2 of 3"},
        {Before("<Fx>POS<a>--NV<i>1"), "file cut short: POS/--NV feature has 1 of 2 terms"},
        {Before("<fc>CASE<a>14<t>4"), "file cut short inside a feature of CASE/14"},
    };
    for (const auto& [szCut, szMessage] : rgCase) {
        WriteFile(m.szModelFile, szCut);
        EXPECT_FATAL(ReadModel(szArgs, m), 18032,
                     "App: Fatal\\(18032\\): tag: \\[ln [0-9]+\\] model: " + Lit(szMessage))
            << szCut;
    }
}

TEST_F(ReaderTest, ReturnCodes) {
    EXPECT_EQ(ReadModel(szArgs, m), 99); // no such file
    EXPECT_EQ(Read(""), 99);
    EXPECT_EQ(Read("Dc>2"), 101);
    EXPECT_EQ(Read(kHead + "<AC>POS<a>" + std::string(300, 'x')), 2);
    EXPECT_EQ(m.phashStr, nullptr); // released after the failure
}

TEST_F(ReaderTest, AModelWrittenAndReadBackIsTheSameModel) {
    Model mOut;
    InitModel(mOut, {"POS", "CASE"});
    mOut.szAmbClassIgnore.assign(1, '-');
    mOut.szTrainingData = "t.csts";
    mOut.clTrainingSize = 77;
    mOut.cThrMin = 2;
    mOut.rgteTagElem[0].rgclSubtagCnt['N'] = 8;
    mOut.rgteTagElem[1].rgclSubtagCnt['4'] = 3;
    const long iAll = AddAmbClass(mOut, 0, "--NV", 9);
    mOut.rgacAmbClassArea[iAll].rgclJointCnt = {0, 0, 5, 4};
    const long iAC = AddAmbClass(mOut, 0, "NV", 3);
    mOut.rgacAmbClassArea[iAC].rgclJointCnt = {2, 1};
    FeatureDesc& fdAll = AddFeature(mOut, 0, iAll, "*", 0.1, 4);
    fdAll.rgclCntTagElemGivenFeature = {0, 0, 3, 1};
    SetTerms(fdAll,
             {Term(mOut, -1, kElemAnyTag, ""), Term(mOut, 127, 32 + 1, "14", kElemLemmaAC, "be")});
    AddFeature(mOut, 0, iAC, "N", 2.5, 2);
    SetTerms(AddFeature(mOut, 0, iAC, "V", 1.0, 1), {Term(mOut, 3, kElemLemmaAC, "x")});
    mOut.szModelFile = m.szModelFile;
    WriteModel(mOut);
    const std::string szFirst = ReadFile(m.szModelFile);

    // Features come back at the other end of their chain; 123 and 125 come
    // back as 124 and 127.
    ASSERT_EQ(ReadModel(szArgs, m), 0);
    const FeatureDesc& fdHead = Feature(Class(1).ilPacFeatureFirst);
    EXPECT_EQ(std::string(fdHead.pszY) + Feature(fdHead.ilNextFeature).pszY, "NV");
    const FeatureDesc& fdRead = Feature(Class(0).ilPacFeatureFirst);
    EXPECT_EQ(fdRead.rgftTerm[0].iConditionElem, kElemTag);
    EXPECT_EQ(fdRead.rgftTerm[1].iClosestConditionElem, kElemLemma);

    // Writing twice more restores the chain order: only the codes 123 and
    // 125 and the string count differ from the first file, so counts, flags
    // and weights were read as written.
    WriteModel(m);
    ASSERT_EQ(ReadModel(szArgs, m), 0);
    WriteModel(m);
    const auto Normalise = [](std::string sz) {
        for (const auto& [szFrom, szTo] :
             {std::pair{"<d>TAG<a>", "<d>TAG<t>"}, std::pair{"<d>LEMMA<a>", "<d>LEMMA<t>"}}) {
            for (size_t i; (i = sz.find(szFrom)) != sz.npos;)
                sz.replace(i, std::strlen(szFrom), szTo);
        }
        const size_t i = sz.find("<Dz>");
        return sz.erase(i, sz.find('\n', i) - i);
    };
    EXPECT_EQ(Normalise(ReadFile(m.szModelFile)), Normalise(szFirst));
}

TEST_F(ReaderFatalTest, EveryCheckFailsWithItsMessage) {
    const std::string szHead(kHead);
    const std::string szNV = szHead + kClassNV;
    const std::string szFE = szNV + "<FE>POS<a>NV<x>1<c>6<w>1<y>N\n";
    const std::pair<std::string, std::string> rgCase[] = {
        {"<Dq>x", "rState 1, invalid SGML tag <Dq>x"},
        {"<Dc>x", "Not a number: <Dc>x"},
        {"<Dc>0", "No Subtags (categories) in <Dc>"},
        {"<Dc>3", "Subtag cnt (2) mismatch: 3"},
        {"<Dz>2", "String Area 2 or less in <Dz>"},
        {"<Df>-1", "Feature Area 0 or neg. in <Df>"},
        {"<Da>0", "AmbClass Area 0 or neg. in <Da>"},
        {"<Df>2000000000", "Insuff. memory: rgfdFeatureArea: "},
        {"<Dz>2000000000", "Insuff. memory: szStrArea: 2000000004"},
        {"<Dc>2<Df>1<st>0", "Definition(s) missing: <Dz> <Da>"},
        {szHead + "<st>1<st>2", "Too many (3) subtags (max <Dc>2)"},
        {szHead + "<st>x", "Not a number: <st>x"},
        {"<Dz>9<Df>1<Da>1<st>0<d>NOUN", "Category name not found (#2): <d>NOUN"},
        {szHead + "<sc>CASE", "Subtag <sc>CASE does not match POS(0)"},
        {szHead + "<sc>POS<t>NV", "Cat POS, subtag too long (> 1): <t>NV"},
        {szHead + "<sc>POS<t>N", "POS/N: Duplicated subtag (prev cnt 6): <t>N"},
        {szHead + "<sc>POS<t>V<t>A", "POS/V, subtag duplicated within <sc>: <t>A"},
        {szHead + "<sc>POS<c>1", "Cat POS, subtag missing at <c>1"},
        {szHead + "<sc>POS<t>V<c>x", "POS/V: Not a number: <c>x"},
        {szHead + "<sc>POS<t>V<c>-2", "POS/V, count negative: <c>-2"},
        {szHead + "<AC>POS<c>1", "Cat POS, amb class missing at <c>1"},
        {szHead + "<AC>POS<a>" + std::string(76, 'A'), "Cat POS, amb class name too long (> 75)"},
        {szHead + "<AC>POS<a>NV<a>AV", "POS/NV, amb class duplicated within <AC>: <a>AV"},
        {szNV + "<AC>POS<a>NV", "POS/NV, amb class duplicated: <a>NV"},
        {szNV + "<AC>POS<a>A<AC>POS<a>B<AC>POS<a>C<AC>POS<a>D",
         "Amb class area (5) small for D; increase <Da>"},
        {szHead + "<AC>POS<a>NV<c>1<FE>", "rState 4, invalid SGML tag <FE>"},
        {szHead + "<AC>POS<a>NV<Aj>POS<a>AV", "POS/NV, amb class mismatch in <Aj>: <a>AV"},
        {szHead + "<AC>POS<a>NV<Aj>POS<t>A", "POS/NV, subtag value (A) not found in NV"},
        {szHead + "<AC>POS<a>--N<Aj>POS<t>-", "POS/--N, subtag value (-) not found in --N"},
        {szHead + "<AC>POS<a>NV<Aj>POS<c>1", "POS/NV, subtag missing at <c>1"},
        {szHead + "<AC>POS<a>NV<c>2<Aj>POS<st>", "POS/NV, AC joint cnt sum 0 (dcl 2)"},
        {szHead + "<AC>POS<Aj>POS<FE>POS", "rState 6, invalid SGML tag <FE>POS"},
        {szHead + "<AC>POS<a><Aj>POS<FE>POS", "POS/, feature of an amb class without values"},
        {szNV + "<FE>POS<y>N<FE>POS<y>N<FE>POS<y>N<FE>POS<y>N<FE>POS<y>N<FE>POS",
         "POS/NV Too many features (> 5); increase <Df>"},
        {szNV + "<FE>POS<a>AV", "POS/NV, amb class mismatch in <FE>: <a>AV"},
        {szNV + "<FE>POS<x>6", "POS/NV context term count (6) over max (5)"},
        {szNV + "<FE>POS<x>-1", "POS/NV, ctx term count negative: <x>-1"},
        {szNV + "<FE>POS<c>1<x>1", "rState 10, invalid SGML tag in <FE>: <x>1"},
        {szNV + "<FE>POS<w>1.5x", "POS/NV: Not a double floating number: <w>1.5x"},
        {szNV + "<FE>POS<w>", "POS/NV: Not a double floating number: <w>"},
        {szNV + "<FE>POS<y>*<Fx>", "rState 12, invalid SGML tag: <fc><Fx>"},
        {szNV + "<FE>POS<y>*<fc>POS<a>NV<t>N<c>0<Fx>", "POS/NV, tag/feature/AC joint cnt sum 0"},
        {szNV + "<FE>POS<y>*<fc>POS<t>N<c>1<FE>", "rState 16, invalid SGML tag: <fc><FE>"},
        {szNV + "<FE>POS<y>*<fc>POS<t>A", "POS/NV, subtag value (A) not found in NV"},
        {szFE + "<fc>POS", "rState 17, invalid SGML tag in feature: <fc>POS"},
        {szFE + "<FE>POS", "POS/NV in <Fx>, ctx terms cnt (0) mismatch (dcl 1)"},
        {szFE + "<Fx>POS<a>AV", "POS/NV, amb class mismatch in <Fx>: <a>AV"},
        {szFE + "<Fx>POS<i>-1", "POS/NV, index negative: <i>-1"},
        {szFE + "<Fx>POS<p>x", "POS/NV: Not a number in <p>: <p>x"},
        {szFE + "<Fx>POS<p>125", "POS/NV, position off bounds (-124..124): <p>125"},
        {szFE + "<Fx>POS<p>1<v>x", "SGML tag <v> should be empty, not x"},
        {szFE + "<Fx>POS<p>1<v><d>GENDER", "Category name not found (#2): <d>GENDER"},
        {szFE + "<Fx>POS<p>1<v><d>POS<g>x", "rState 27, invalid SGML tag in <Fx>: <g>x"},
        {szFE + "<Fx>POS<p>-<d>POS<t>NV", "POS/NV, subtag too long in <Fx> (> 1): <t>NV"},
        {szFE + "<Fx>POS<p>1<v><d>CASE<e>14", "POS/NV, (possible) subtag too long in <Fx> (> 1)"},
        {szFE + "<Fx>POS<p>@<Fx>POS<p>@<Fx>POS<p>@<Fx>POS<p>@<Fx>POS<p>@<Fx>POS<p>@",
         "POS/NV: in <Fx>, too many terms (> 5)"},
        {szFE + "<Fx>POS<p>@</tagmodel><st>", "rState 29, invalid SGML tag (EOF expected): <st>"},
        {"<Dc>2<Dz>9<Df>1<Da>1", "no subtag section (<st>) in the model file"},
    };
    for (const auto& [szText, szMessage] : rgCase) {
        WriteFile(m.szModelFile, szText);
        EXPECT_FATAL(ReadModel(szArgs, m), 18032,
                     "App: Fatal\\(18032\\): tag: \\[ln [0-9]+\\] model: " + Lit(szMessage))
            << szText;
    }
}

TEST_F(ReaderFatalTest, TagElementsComeFromTheArgumentFile) {
    m.cTagElem = 3;
    WriteFile(m.szModelFile, "<Dz>9<Df>1<Da>1<st>");
    EXPECT_FATAL(ReadModel(szArgs, m), 18032, Lit("model: : GetValue SubTag3 failed"));
    m.cTagElem = 2;
    szArgs = dir.Write("dup.args", "SubTag1 = +POS\nSubTag2 = -POS\n");
    ux_ArgOpen(szArgs);
    WriteFile(m.szModelFile, kHead);
    EXPECT_FATAL(ReadModel(szArgs, m), 18032, Lit("model: Category name duplicated (#0): -POS"));
}

} // namespace
} // namespace vexta
