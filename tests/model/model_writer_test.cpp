#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>

#include "base/ux_base.h"
#include "model/model_writer.h"
#include "test_model_util.h"

namespace vexta {
namespace {

using namespace test;
namespace fs = std::filesystem;

struct WriterTest : testing::Test {
    Model m;
    TempDir dir;
    void SetUp() override { m.szModelFile = dir.Path("pos.model"); }
    // Number of files in the scratch directory.
    long Files() const {
        return std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator());
    }

    // The example section: POS with values N and V, one class NV seen 10
    // times (7 N), one "*" feature with one term.
    void BuildExample() {
        InitModel(m, {"POS"});
        m.szTrainingData = "train.csts";
        m.szFeaturePoolFile = "pool.txt";
        m.szAmbClassIgnore.assign(1, '-');
        m.clTrainingSize = 200;
        m.cClosestThr = 10;
        m.cPoolThr = 3;
        m.cThrMin = 2;
        m.rgteTagElem[0].rgclSubtagCnt['N'] = 120;
        m.rgteTagElem[0].rgclSubtagCnt['V'] = 80;
        const long iAC = AddAmbClass(m, 0, "NV", 10);
        m.rgacAmbClassArea[iAC].rgclJointCnt[0] = 7;
        m.rgacAmbClassArea[iAC].rgclJointCnt[1] = 3;
        FeatureDesc& fd = AddFeature(m, 0, iAC, "*", 1.25, 6);
        fd.rgclCntTagElemGivenFeature = {5, 1};
        SetTerms(fd, {Term(m, -1, 0, "N")});
    }
    // The lines of the written file from the first line that starts with szFrom.
    std::string Body(std::string_view szFrom = "<st>") const {
        const std::string sz = ReadFile(m.szModelFile);
        const size_t i = sz.find(szFrom);
        return i == sz.npos ? "" : sz.substr(i);
    }
};

TEST_F(WriterTest, WritesTheDocumentedExample) {
    BuildExample();
    EXPECT_EQ(Stderr([&] { EXPECT_EQ(WriteModel(m), 0); }),
              ux_ProgName() + ": writing model to file " + m.szModelFile + "...\n");
    const std::string szHeader =
        "<Dn>" + m.szModelFile + "\n<Dt>train.csts\n<Dp>pool.txt\n<Ds>200\n<Dc>1\n<Dz>" +
        std::to_string(m.phashStr->cRecs) + "\n<Df>1\n<Da>1\n<Dh>10\n<Dk>3\n<Dl>2\n<Di>-\n";
    EXPECT_EQ(ReadFile(m.szModelFile), szHeader +
                                           "<st>000000000000<d>POS\n"
                                           "<sc>POS<t>N<c>120\n"
                                           "<sc>POS<t>V<c>80\n"
                                           "<AC>POS<a>NV<c>10\n"
                                           "<Aj>POS<a>NV<t>N<c>7\n"
                                           "<Aj>POS<a>NV<t>V<c>3\n"
                                           "<FE>POS<a>NV<x>1<c>6<w>0000001.2500000000000000<y>*\n"
                                           "<fc>POS<a>NV<t>N<c>5\n"
                                           "<fc>POS<a>NV<t>V<c>1\n"
                                           "<Fx>POS<a>NV<i>0<p>-1<v><d>POS<t>N\n");
    // The file is complete and closed: nothing else is left in the directory.
    EXPECT_EQ(Files(), 1);
    EXPECT_EQ(m.hModelFile, 0);
}

TEST_F(WriterTest, WritesChainsPositionsAndEveryElementNotation) {
    InitModel(m, {"POS", "CASE"});
    m.rgteTagElem[0].rgclSubtagCnt['N'] = 4;
    const long iAC = AddAmbClass(m, 0, "NV", 5);
    m.rgacAmbClassArea[iAC].rgclJointCnt[1] = 5; // the 0 count of N is not written
    SetTerms(AddFeature(m, 0, iAC, "N", 2.0, 1),
             {Term(m, -128, -1, ""), Term(m, 0, 32 + 1, "14"), Term(m, 5, 64 + 1, "4"),
              Term(m, -127, 126, "dog", 32, "NV"), Term(m, 127, 124, "NV", 1, "4")});
    SetTerms(AddFeature(m, 0, iAC, "V", 2.0, 1),
             {Term(m, -2, 123, ""), Term(m, 1, 127, "be"), Term(m, 124, 125, ""),
              Term(m, 127, 1, "1", 125, "x"), Term(m, -127, 126, "the", 127, "of")});
    const long iAC14 = AddAmbClass(m, 1, "14", 0);
    AddFeature(m, 1, iAC14, "1", 1.0, 3);     // added first: last in the chain
    AddFeature(m, 1, iAC14, "4", 12345.5, 0); // head of the chain
    FeatureDesc& fdAll = AddFeature(m, 1, iAC14, "*", 0.5, 0);
    fdAll.rgclCntTagElemGivenFeature = {0, 0}; // no counts: no <fc> line
    EXPECT_EQ(WriteModel(m), 0);
    EXPECT_EQ(Body(), "<st>000000000000<d>POS\n"
                      "<sc>POS<t>N<c>4\n"
                      "<AC>POS<a>NV<c>5\n"
                      "<Aj>POS<a>NV<t>V<c>5\n"
                      "<FE>POS<a>NV<x>5<c>1<w>0000002.0000000000000000<y>V\n"
                      "<Fx>POS<a>NV<i>0<p>-2<v><d>TAG<a>\n"
                      "<Fx>POS<a>NV<i>1<p>+1<v><d>LEMMA<t>be\n"
                      "<Fx>POS<a>NV<i>2<p>+124<v><d>LEMMA<a>\n"
                      "<Fx>POS<a>NV<i>3<p>+<d>LEMMA<a>x<v><d>CASE<t>1\n"
                      "<Fx>POS<a>NV<i>4<p>-<d>LEMMA<t>of<v><d>FORM<g>the\n"
                      "<FE>POS<a>NV<x>5<c>1<w>0000002.0000000000000000<y>N\n"
                      "<Fx>POS<a>NV<i>0<p>@\n"
                      "<Fx>POS<a>NV<i>1<p>0<v><d>CASE<a>14\n"
                      "<Fx>POS<a>NV<i>2<p>+5<v><d>CASE<e>4\n"
                      "<Fx>POS<a>NV<i>3<p>-<d>POS<a>NV<v><d>FORM<g>dog\n"
                      "<Fx>POS<a>NV<i>4<p>+<d>CASE<t>4<v><d>TAG<t>NV\n"
                      "<st>000000000001<d>CASE\n"
                      "<AC>CASE<a>14<c>0\n"
                      "<FE>CASE<a>14<x>0<c>0<w>0000000.5000000000000000<y>*\n"
                      "<FE>CASE<a>14<x>0<c>0<w>0012345.5000000000000000<y>4\n"
                      "<FE>CASE<a>14<x>0<c>3<w>0000001.0000000000000000<y>1\n");
}

TEST_F(WriterTest, ReplacesAnExistingModelKeepingItsPermissions) {
    BuildExample();
    WriteFile(m.szModelFile, "old model");
    ::chmod(m.szModelFile.c_str(), 0640);
    EXPECT_EQ(WriteModel(m), 0);
    EXPECT_EQ(ReadFile(m.szModelFile).rfind("<Dn>", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(m.szModelFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(WriterTest, NotesValuesThatCannotBeReadBack) {
    BuildExample();
    SetTerms(AddFeature(m, 0, 0, "V", 1.0, 1), {Term(m, 1, 126, "a<b")});
    const std::string szErr = Stderr([&] { EXPECT_EQ(WriteModel(m), 0); });
    EXPECT_TRUE(Contains(szErr, "App: Warn(18032): tag: model: 1 value(s) written that cannot be "
                                "read back as they are (first: <a<b>)"))
        << szErr;
    EXPECT_TRUE(Contains(ReadFile(m.szModelFile), "<g>a<b\n")); // written as it is all the same
}

using WriterFatalTest = WriterTest;

TEST_F(WriterFatalTest, ElementCodesWithoutNotationAreFatal31) {
    BuildExample();
    // Closest conditions take no member (64 + t) or whole-tag codes; the model
    // has one tag element, so 32 + 3 has no name to write.
    for (const auto& [ft, iCode] : {std::pair{Term(m, -127, 0, "N", 64, "N"), 64},
                                    {Term(m, 127, 0, "N", 124, "N"), 124},
                                    {Term(m, 1, 100, "x"), 100},
                                    {Term(m, 1, 32 + 3, "x"), 35}}) {
        m.rgfdFeatureArea[0].rgftTerm[0] = ft;
        EXPECT_FATAL(WriteModel(m), 18031,
                     "App: Fatal\\(18031\\): vexta: Wrong iClosestConditionElem: " +
                         std::to_string(iCode) + "\n");
    }
    // Nothing was left behind by the failed writes.
    EXPECT_EQ(Files(), 0);
}

TEST_F(WriterFatalTest, AFailedWriteIsFatal30AndKeepsThePreviousModel) {
    BuildExample();
    // Enough features to need several output blocks.
    m.rgfdFeatureArea.resize(5001);
    m.clFeatureAreaSize = 5001;
    for (int i = 0; i < 4000; ++i) AddFeature(m, 0, 0, "N", 1.0, i);
    WriteFile(m.szModelFile, "previous model");
    const auto WriteWithSmallFileLimit = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        WriteModel(m);
    };
    EXPECT_FATAL(WriteWithSmallFileLimit(), 18030,
                 "App: Fatal\\(18030\\): vexta: Cannot write features to .*/pos.model\n");
    EXPECT_EQ(ReadFile(m.szModelFile), "previous model");
    EXPECT_EQ(Files(), 1);
}

TEST_F(WriterFatalTest, AFileThatCannotBeCreatedIsFatal13011) {
    BuildExample();
    m.szModelFile = dir.Path("missing/pos.model");
    EXPECT_FATAL(WriteModel(m), 13011,
                 "ux_base: Fatal\\(13011\\): Cannot open output file: .*/missing/pos.model\n");
    m.szModelFile.clear();
    EXPECT_FATAL(WriteModel(m), 13011, "Cannot open output file: \n");
}

TEST_F(WriterFatalTest, AModelFileThatMayNotBeWrittenIsNotReplaced) {
    BuildExample();
    m.szModelFile = dir.Write("ro.model", "read only");
    ::chmod(m.szModelFile.c_str(), 0444);
    if (::access(m.szModelFile.c_str(), W_OK) == 0) GTEST_SKIP() << "running with root rights";
    EXPECT_FATAL(WriteModel(m), 13011, "Cannot open output file: .*/ro.model\n");
    EXPECT_EQ(ReadFile(m.szModelFile), "read only");
}

} // namespace
} // namespace vexta
