// Argument files: syntax, expansion of references, run-time definitions,
// fields and the fatal errors of module ux_arg.
#include "base/ux_arg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <utility>

namespace vexta {
namespace {

namespace fs = std::filesystem;

constexpr char kSep = kArgFieldSep;

// Exit status of fatal number iNumber of module ux_arg as the parent sees it.
testing::ExitedWithCode ArgFatal(int iNumber) {
    return testing::ExitedWithCode((16000 + iNumber) & 255);
}

class ArgFileTest : public testing::Test {
protected:
    // Death tests re-run the test in a child process: the scratch directory's
    // name is the same there (test name and the id of the parent test process).
    void SetUp() override {
        ux_ArgClose();
        const auto* pInfo = testing::UnitTest::GetInstance()->current_test_info();
        const int idOwner = testing::internal::InDeathTestChild() ? getppid() : getpid();
        dir_ = fs::temp_directory_path() /
               ("vexta_arg_" + std::string(pInfo->name()) + "_" + std::to_string(idOwner));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        ux_ArgClose();
        if (!testing::internal::InDeathTestChild()) fs::remove_all(dir_);
    }

    std::string Write(const std::string& szName, std::string_view szText) {
        const std::string szPath = (dir_ / szName).string();
        std::ofstream(szPath, std::ios::binary) << szText;
        return szPath;
    }
    // Writes main.args and opens it.
    std::string Open(std::string_view szText) {
        szFile_ = Write("main.args", szText);
        ux_ArgOpen(szFile_);
        return szFile_;
    }
    std::pair<int, std::string> Get(std::string_view szKey, int len = kArgValueLen) {
        std::string szValue = "garbage";
        const int rc = ux_ArgGetValue(szFile_, szKey, szValue, len);
        return {rc, szValue};
    }
    std::string Value(std::string_view szKey) {
        auto [rc, sz] = Get(szKey);
        EXPECT_EQ(rc, 0) << szKey;
        return sz;
    }

    fs::path dir_;
    std::string szFile_;
};

using ArgFileDeathTest = ArgFileTest;

std::string Fields(std::initializer_list<std::string_view> rgsz) {
    std::string sz;
    for (const auto s : rgsz) {
        if (!sz.empty()) sz += kSep;
        sz += s;
    }
    return sz;
}

TEST_F(ArgFileTest, BlanksSeparateFieldsUnlessQuoted) {
    Open("a = a   b\n"
         "q = 'a   b'\n"
         "m =  x\t 'y z'w \"it's\" \n"
         "e =\n");
    EXPECT_EQ(Value("a"), Fields({"a", "b"}));
    EXPECT_EQ(Value("q"), "a   b");
    EXPECT_EQ(Value("m"), Fields({"x", "y zw", "it's"}));
    EXPECT_EQ(Get("e"), std::make_pair(0, std::string()));

    const std::string szA = Value("a");
    EXPECT_EQ(ux_ArgCountFields(szA), 2);
    EXPECT_EQ(ux_ArgCountFields(Value("q")), 1);
    EXPECT_EQ(ux_ArgCountFields(""), 0);
    EXPECT_EQ(ux_ArgCountFields(static_cast<const char*>(nullptr)), -1);
    std::string szField;
    ux_ArgGetField(szA, 1, szField);
    EXPECT_EQ(szField, "b");
    char rgch[3];
    ux_ArgGetField(Fields({"abcdef", "x"}), 0, rgch); // at most size - 1 characters
    EXPECT_STREQ(rgch, "ab");
}

TEST_F(ArgFileTest, KeysKeepOneInnerBlank) {
    Open("my key = 1\n"
         "  my   other\tkey   = 2\n"
         "'quoted  key' = 3\n"
         "crlf = 4\r\n");
    EXPECT_EQ(Value("my key"), "1");
    EXPECT_EQ(Value("my other key"), "2");
    EXPECT_EQ(Value("quoted  key"), "3");
    EXPECT_EQ(Value("crlf"), "4");
}

TEST_F(ArgFileTest, CommentsDirectivesAndBlankLines) {
    const std::string szInc = Write("inc.args", "i = from include\n");
    Open("   \n"
         "\t\n"
         "# a = 1\n"
         "   #indented = 2\n"
         "#\n"
         "#include\n"
         "#include " +
         szInc +
         "(unused, parameters)\n"
         "v = a # b=c\n");
    EXPECT_EQ(Get("a").first, 3);
    EXPECT_EQ(Get("# a").first, 3);
    EXPECT_EQ(Get("indented").first, 3);
    EXPECT_EQ(Value("i"), Fields({"from", "include"}));
    EXPECT_EQ(Value("v"), Fields({"a", "#", "b=c"}));
}

TEST_F(ArgFileTest, LaterDefinitionsWin) {
    const std::string szInc = Write("inc.args", "x = included\ny = included\n");
    Open("x = first\n"
         "#include '" +
         szInc +
         "'\n"
         "y = last\n");
    EXPECT_EQ(Value("x"), "included");
    EXPECT_EQ(Value("y"), "last");
    EXPECT_EQ(ux_ArgSetValue(szFile_, "x", "set ${y}"), 0);
    EXPECT_EQ(Value("x"), "set ${y}"); // stored as given: no references, no fields
}

TEST_F(ArgFileTest, ContinuationLines) {
    Open("list = a b \\\n"
         "   c d\n"
         "glued = ab\\\n"
         "cd\n"
         "long \\\n"
         "  key = 1\n"
         "last = z \\");
    EXPECT_EQ(Value("list"), Fields({"a", "b", "c", "d"}));
    EXPECT_EQ(Value("glued"), Fields({"ab", "cd"}));
    EXPECT_EQ(Value("long key"), "1");
    EXPECT_EQ(Value("last"), "z"); // a continuation at the end of the file ends the value
}

TEST_F(ArgFileTest, ReferencesExpandOnRequest) {
    Open("x = 1\n"
         "x = ${x}2\n"
         "dir = /data\n"
         "path = ${dir}/f.txt\n"
         "two = p q\n"
         "three = ${two} r\n"
         "n = 2\n"
         "v2 = second\n"
         "nested = ${v${n}}\n"
         "k = name\n"
         "${k}X = keyed\n"
         "spaced = ${ dir }\n");
    EXPECT_EQ(Value("x"), "12"); // refers to the previous definition of x
    EXPECT_EQ(Value("path"), "/data/f.txt");
    EXPECT_EQ(Value("three"), Fields({"p", "q", "r"}));
    EXPECT_EQ(Value("nested"), "second");
    EXPECT_EQ(Value("nameX"), "keyed");
    EXPECT_EQ(Get("spaced").first, 3); // the blanks belong to the name " dir "
    ux_ArgSetValue(szFile_, "dir", "/other");
    EXPECT_EQ(Value("path"), "/other/f.txt");
}

TEST_F(ArgFileTest, UndefinedReferencesFailEveryTime) {
    Open("x = 1\n"
         "x = ${x}2\n"
         "u = a${nope}\n"
         "c1 = ${c2}\n"
         "c2 = ${c1}\n");
    EXPECT_EQ(Get("u"), std::make_pair(3, std::string()));
    EXPECT_EQ(Get("u"), std::make_pair(3, std::string()));
    EXPECT_EQ(Get("c1").first, 3); // a cycle ends as undefined, not in a loop
    EXPECT_EQ(Get("missing").first, 3);
    EXPECT_EQ(Value("x"), "12"); // guards were lowered again
    char rgch[8] = "zzzzzzz";
    EXPECT_EQ(ux_ArgGetValue(szFile_, "u", rgch), 3);
    EXPECT_STREQ(rgch, "");
}

TEST_F(ArgFileTest, FileNamesAndStandardNames) {
    Write("my file.args", "k = v\n");
    const std::string szDir = dir_.string();
    const std::string szGiven = "'" + szDir + "/my file.args'(a b)";
    ux_ArgOpen(szGiven);
    std::string sz;
    EXPECT_EQ(ux_ArgGetValue(szGiven, "k", sz), 0);
    EXPECT_EQ(ux_ArgGetValue(szDir + "/my file.args", "k", sz), 0); // parsed name
    EXPECT_EQ(sz, "v");
}

TEST_F(ArgFileTest, ResultLengthLimits) {
    const std::string sz246(246, 'x');
    Open("ok = " + sz246 + "\n" + "long = " + sz246 + "y\n" + "pre = a${ok}\n");
    EXPECT_EQ(Value("ok"), sz246);
    char rgch[kArgValueLen];
    EXPECT_EQ(ux_ArgGetValue(szFile_, "ok", rgch), 0);
    EXPECT_EQ(std::string(rgch), sz246);
    EXPECT_EQ(Get("long", 249).second, sz246 + "y");

    EXPECT_EXIT(
        Get("long"), ArgFatal(201),
        "x{246} 246 248\nux_arg: Fatal\\(16201\\): undefined error/too long result string\n");
    EXPECT_EXIT(Get("pre"), ArgFatal(202), "Fatal\\(16202\\): undefined error/x{246}\n");
}

TEST_F(ArgFileTest, LongestKeysAndValuesAreRead) {
    const std::string szKey(249, 'k'), szValue(3999, 'v');
    Open(szKey + " = " + szValue + "\n");
    EXPECT_EQ(Get(szKey, 4001).second, szValue);
}

TEST_F(ArgFileDeathTest, SyntaxErrors) {
    EXPECT_EXIT(Open("a = 1\n= 2\n"), ArgFatal(25),
                "Parse error at line 2 \\(before =\\) of file\\(par\\) .*main.args\n");
    EXPECT_EXIT(Open("a = 1\n\n# c\nno equals here\n"), ArgFatal(25),
                "Parse error at line 3 of file\\(par\\) .*main.args \\(no = after attr name "
                "no equals here\\)");
    EXPECT_EXIT(Open("a = ${b\n"), ArgFatal(25),
                "Parse error at line too few variable closing parentheses \\(val\\)");
    EXPECT_EXIT(Open("a = b}\n"), ArgFatal(25),
                "Parse error at line too many variable closing parentheses \\(val\\)");
    EXPECT_EXIT(Open("a} = 1\n"), ArgFatal(25),
                "Parse error at line too many variable closing parentheses\n");
    EXPECT_EXIT(Open("${a = 1\n"), ArgFatal(25),
                "Parse error at line too few variable closing parentheses\n");
    EXPECT_EXIT(Open("#$par\n"), ArgFatal(26), "Too few arguments passed to .*main.args");
}

TEST_F(ArgFileDeathTest, TextThatWouldBeLostIsAnError) {
    EXPECT_EXIT(Open("a = 'abc\nb = 1\n"), ArgFatal(25),
                "line 1 of file\\(par\\) .*main.args \\(unclosed quote at end of file\\)");
    EXPECT_EXIT(
        Open("a = cost$\nb = {1}\n"), ArgFatal(25),
        "line 1 of file\\(par\\) .*main.args \\([$] not followed by [{] on the same line\\)");
    EXPECT_EXIT(Open("a = 1\nb"), ArgFatal(25), "line 2 .*\\(no = after attr name b\\)");
    const std::string szSelf = (dir_ / "self.args").string();
    Write("self.args", "x = 1\n#include " + szSelf + "\n");
    EXPECT_EXIT(ux_ArgOpen(szSelf), ArgFatal(25),
                "line 2 of file\\(par\\) .*self.args \\(recursive include of .*self.args\\)");
}

TEST_F(ArgFileDeathTest, OverlongTextIsRejected) {
    EXPECT_EXIT(Open(std::string(250, 'k') + " = 1\n"), ArgFatal(25),
                "line 1 of file\\(par\\) .* \\(attr name longer than 249 characters\\)");
    EXPECT_EXIT(Open(std::string("k = ").append(4000, 'v') + "\n"), ArgFatal(25),
                "\\(value longer than 3999 characters\\)");
    EXPECT_EXIT(Open(std::string("#").append(250, 'd') + "\n"), ArgFatal(25),
                "\\(directive longer than 249 characters\\)");
    EXPECT_EXIT(Open(std::string("#include ").append(250, 'f') + "\n"), ArgFatal(25),
                "\\(include file name longer than 249 characters\\)");
    const std::string sz249(249, 'f');
    EXPECT_EXIT(Open("#include " + sz249 + "\n"), ArgFatal(23),
                "String to be copied too long: f{249}\n");
}

TEST_F(ArgFileDeathTest, FilesAndFields) {
    EXPECT_EXIT(ux_ArgOpen((dir_ / "missing.args").string()), testing::ExitedWithCode(13010 & 255),
                "ux_base: Fatal\\(13010\\): Cannot open input file: .*missing.args");
    std::string sz;
    EXPECT_EXIT(ux_ArgGetValue("nofile", "k", sz), ArgFatal(28),
                "ux_arg: Fatal\\(16028\\): Getting file/attr: nofile/k");
    EXPECT_EXIT(ux_ArgSetValue("nofile", "k", "v"), ArgFatal(28), "Getting file/attr: nofile/k");
    const std::string szValue = Fields({"a", "b"});
    EXPECT_EXIT(ux_ArgGetField(szValue, 2, sz), ArgFatal(29),
                "Fatal\\(16029\\): Field index out of bounds: a b\\[2\\]");
    EXPECT_EXIT(ux_ArgGetField(szValue, -1, sz), ArgFatal(29), "a b\\[-1\\]");
    EXPECT_EXIT(ux_ArgGetField("", 0, sz), ArgFatal(29), "bounds: \\[0\\]");

    const std::string szOne = Write("one.args", "k = 1\n");
    EXPECT_EXIT(
        {
            ux_ArgInit(1);
            ux_ArgOpen(szOne);
            ux_ArgOpen(szOne);
        },
        ArgFatal(21), "Too many open arg files when opening .*one.args");
    EXPECT_EXIT(
        {
            ux_ArgInit(5);
            ux_ArgInit(5);
        },
        ArgFatal(19), "Reinitialized; call ux_ArgClose first");
}

TEST_F(ArgFileTest, OpenWithLogRedirectsStandardError) {
    const std::string szLog = (dir_ / "run.log").string();
    const std::string szArgs = Write("log.args", "Log = " + szLog + "\n");
    // The redirection must not touch this process's standard error.
    EXPECT_EXIT(
        {
            const int rc = ux_ArgOpenWithLog(szArgs);
            std::fprintf(stderr, "after\n");
            std::exit(rc);
        },
        testing::ExitedWithCode(0), "");
    std::ifstream in(szLog);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_TRUE(testing::internal::RE::PartialMatch(
        ss.str(),
        testing::internal::RE("^[A-Z][a-z]{2} .{20} Logfile .*run.log opened.\nafter\n$")))
        << ss.str();
}

} // namespace
} // namespace vexta
