// Argument files: syntax, expansion of references, run-time definitions,
// fields and the fatal errors of module ux_arg.
#include "base/ux_arg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"

namespace vexta {
namespace {

// Exit status of fatal number iNumber of module ux_arg as the parent sees it.
int ArgFatal(int iNumber) {
    return 16000 + iNumber;
}

std::string Fields(std::initializer_list<std::string_view> rgsz) {
    std::string sz;
    for (const auto s : rgsz) {
        if (!sz.empty()) sz += kArgFieldSep;
        sz += s;
    }
    return sz;
}

class ArgFileTest : public testing::Test {
protected:
    void SetUp() override { ux_ArgClose(); }
    void TearDown() override { ux_ArgClose(); }

    // Writes main.args and opens it.
    void Open(std::string_view szText) {
        szFile_ = dir_.Write("main.args", szText);
        ux_ArgOpen(szFile_);
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

    test::TempDir dir_;
    std::string szFile_;
};

using ArgFileFatalTest = ArgFileTest;

TEST_F(ArgFileTest, SyntaxOfDefinitions) {
    const std::string szInc = dir_.Write("inc.args", "i = from include\nx = included\ny = inc\n");
    Open("a = a   b\n"
         "q = 'a   b'\n"
         "m =  x\t 'y z'w \"it's\" \n"
         "e =\n"
         "my key = 1\n"
         "  my   other\tkey   = 2\n"
         "'quoted  key' = 3\n"
         "crlf = 4\r\n"
         "   \n\t\n"
         "# hidden = 1\n"
         "   #indented = 2\n"
         "#\n"
         "#include\n"
         "x = first\n"
         "#include '" +
         szInc +
         "'(unused, parameters)\n"
         "y = last\n"
         "v = a # b=c\n"
         "list = a b \\\n   c d\n"
         "glued = ab\\\ncd\n"
         "long \\\n  key = 1\n"
         "last = z \\"); // a continuation at the end of the file ends the value
    const std::pair<std::string, std::string> rgCase[] = {
        {"a", Fields({"a", "b"})},
        {"q", "a   b"},
        {"m", Fields({"x", "y zw", "it's"})},
        {"e", ""},
        {"my key", "1"},
        {"my other key", "2"},
        {"quoted  key", "3"},
        {"crlf", "4"},
        {"i", Fields({"from", "include"})},
        {"x", "included"},
        {"y", "last"},
        {"v", Fields({"a", "#", "b=c"})},
        {"list", Fields({"a", "b", "c", "d"})},
        {"glued", Fields({"ab", "cd"})},
        {"long key", "1"},
        {"last", "z"},
    };
    for (const auto& [szKey, szValue] : rgCase) EXPECT_EQ(Value(szKey), szValue) << szKey;
    for (const char* pszKey : {"hidden", "# hidden", "indented"}) EXPECT_EQ(Get(pszKey).first, 3);

    EXPECT_EQ(ux_ArgSetValue(szFile_, "x", "set ${y}"), 0);
    EXPECT_EQ(Value("x"), "set ${y}"); // stored as given: no references, no fields

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
         "m = 1\n"
         "w1 = 2\n"
         "u2 = deep\n"
         "deeper = ${u${w${m}}} and ${v${n}}\n"
         "k = name\n"
         "${k}X = keyed\n"
         "spaced = ${ dir }\n"
         "u = a${nope}\n"
         "c1 = ${c2}\n"
         "c2 = ${c1}\n");
    EXPECT_EQ(Value("x"), "12"); // refers to the previous definition of x
    EXPECT_EQ(Value("path"), "/data/f.txt");
    EXPECT_EQ(Value("three"), Fields({"p", "q", "r"}));
    EXPECT_EQ(Value("nested"), "second");
    EXPECT_EQ(Value("deeper"), Fields({"deep", "and", "second"}));
    EXPECT_EQ(Value("nameX"), "keyed");
    EXPECT_EQ(Get("spaced").first, 3); // the blanks belong to the name " dir "
    ux_ArgSetValue(szFile_, "dir", "/other");
    EXPECT_EQ(Value("path"), "/other/f.txt");

    // Undefined references fail every time; a cycle ends as undefined.
    EXPECT_EQ(Get("u"), std::make_pair(3, std::string()));
    EXPECT_EQ(Get("u"), std::make_pair(3, std::string()));
    EXPECT_EQ(Get("c1").first, 3);
    EXPECT_EQ(Get("missing").first, 3);
    EXPECT_EQ(Value("x"), "12"); // guards were lowered again
    char rgch[8] = "zzzzzzz";
    EXPECT_EQ(ux_ArgGetValue(szFile_, "u", rgch), 3);
    EXPECT_STREQ(rgch, "");
}

// Names built from references are expanded once per change of the file: a
// file of many such names built on one variable once took k! expansions at
// the first request (twelve names: hours).
TEST_F(ArgFileTest, ManyNamesBuiltOnOneVariable) {
    std::string szText = "z = q\n";
    for (int i = 1; i <= 12; ++i)
        szText += "${z}" + std::to_string(i) + " = v" + std::to_string(i) + "\n";
    Open(szText);
    EXPECT_EQ(Value("z"), "q");
    EXPECT_EQ(Value("q1"), "v1");
    EXPECT_EQ(Value("q12"), "v12");
    // A new definition of the variable renames them.
    ux_ArgSetValue(szFile_, "z", "r");
    EXPECT_EQ(Value("r7"), "v7");
    EXPECT_EQ(Get("q7").first, 3);
}

// Raw reference-start bytes that nothing closes nest as deep as the text is
// long; each nesting level once rescanned the rest of the text, which made
// the key-use listing of a 4,000-byte value take seconds.
TEST_F(ArgFileTest, UnclosedReferencesNestedDeep) {
    Open("raw = " + std::string(3900, '\x01') + "\nok = 1\n");
    EXPECT_EQ(Get("raw").first, 3);
    const ArgKeyUse use = ux_ArgKeyUse(szFile_);
    EXPECT_EQ(use.rgszDefined, (std::vector<std::string>{"ok", "raw"}));
    EXPECT_EQ(Value("ok"), "1");
}

// A definition met on many paths is expanded once per context: forty
// doublings of an empty value once took 2^40 expansions. What a value
// expands to still depends on the definitions hidden at the time.
TEST_F(ArgFileTest, ValuesMetOnManyPaths) {
    std::string szText = "v0 =\nw0 = ab\n";
    const auto Double = [&](char chName, int i) {
        const std::string szPrev = std::to_string(i - 1);
        szText.append(1, chName).append(std::to_string(i)).append(" = ${");
        szText.append(1, chName).append(szPrev).append("}${");
        szText.append(1, chName).append(szPrev).append("}\n");
    };
    for (int i = 1; i <= 40; ++i) Double('v', i);
    for (int i = 1; i <= 3; ++i) Double('w', i);
    Open(szText + "${v40}k = found\na = A\nb = ${a}\na = ${b}-${b}\nc = ${b}${a}\n");
    EXPECT_EQ(Get("v40"), std::make_pair(0, std::string()));
    EXPECT_EQ(Value("w3"), "abababababababab");
    EXPECT_EQ(Value("k"), "found");
    EXPECT_EQ(Value("a"), "A-A"); // inside a, b sees the earlier a
    EXPECT_EQ(Get("b").first, 3); // b sees the later a, which needs b
    EXPECT_EQ(Get("c").first, 3);
    EXPECT_EQ(Value("a"), "A-A");
}

TEST_F(ArgFileTest, DefinitionsAddedLaterAndKeyUse) {
    dir_.Write("inc.args", "i = near\n");
    std::filesystem::create_directory(dir_.Path("sub"));
    dir_.Write("sub/inc.args", "i = sub\nj = sub\n");
    dir_.Write("sub/top.args", "#include inc.args\n"); // not in the current directory
    Open("#include sub/top.args\n"
         "dir = /data\n"
         "path = ${dir}/f ${v${n}}\n"
         "n = 2\n"
         "v2 = x\n"
         "k = name\n"
         "${k}X = keyed\n");
    EXPECT_EQ(Value("j"), "sub");

    // Overrides read like file text: fields, quotes, references, later wins.
    ux_ArgDefine(szFile_, "dir=/other", "command line");
    ux_ArgDefine(szFile_, "q = 'a b' c", "command line");
    EXPECT_EQ(Value("path"), Fields({"/other/f", "x"}));
    EXPECT_EQ(Value("q"), Fields({"a b", "c"}));
    EXPECT_FATAL(ux_ArgDefine(szFile_, "a = ${b", "command line"), ArgFatal(25),
                 "too few variable closing parentheses");

    const ArgKeyUse use = ux_ArgKeyUse(szFile_);
    EXPECT_EQ(use.rgszDefined,
              (std::vector<std::string>{"dir", "i", "j", "k", "n", "nameX", "path", "q", "v2"}));
    EXPECT_EQ(use.rgszReferenced, (std::vector<std::string>{"dir", "k", "n", "v2"}));
}

TEST_F(ArgFileTest, FileNamesAndLengthLimits) {
    dir_.Write("my file.args", "k = v\n");
    const std::string szGiven = std::string(1, '\'').append(dir_.Path("my file.args")) + "'(a b)";
    ux_ArgOpen(szGiven);
    std::string sz;
    EXPECT_EQ(ux_ArgGetValue(szGiven, "k", sz), 0);
    EXPECT_EQ(ux_ArgGetValue(dir_.Path("my file.args"), "k", sz), 0); // parsed name
    EXPECT_EQ(sz, "v");

    const std::string sz246(246, 'x'), szKey(249, 'k'), szValue(3999, 'v');
    Open("ok = " + sz246 + "\nlong = " + sz246 + "y\npre = a${ok}\n" + szKey + " = " + szValue +
         "\n");
    EXPECT_EQ(Value("ok"), sz246);
    char rgch[kArgValueLen];
    EXPECT_EQ(ux_ArgGetValue(szFile_, "ok", rgch), 0);
    EXPECT_EQ(std::string(rgch), sz246);
    EXPECT_EQ(Get("long", 249).second, sz246 + "y");
    EXPECT_EQ(Get(szKey, 4001).second, szValue);
    EXPECT_FATAL(
        Get("long"), ArgFatal(201),
        "x{246} 246 248\nux_arg: Fatal\\(16201\\): undefined error/too long result string\n");
    EXPECT_FATAL(Get("pre"), ArgFatal(202), "Fatal\\(16202\\): undefined error/x{246}\n");
}

TEST_F(ArgFileFatalTest, FilesThatCannotBeReadAreFatal) {
    const std::string szSelf = dir_.Path("self.args");
    dir_.Write("self.args", "x = 1\n#include " + szSelf + "\n");
    // An include name with a NUL byte names the file before the NUL (found by
    // the fuzzer: the longer name passed as a new file at every level).
    dir_.Write("nul.args", std::string("x = 1\n#include nul.args") + '\0' + "y/z\n");
    const std::string szFile = "of file\\(par\\) .*main.args";
    const std::tuple<std::string, int, std::string> rgCase[] = {
        {"a = 1\n= 2\n", 25, "Parse error at line 2 \\(before =\\) " + szFile + "\n"},
        {"a = 1\n\n# c\nno equals here\n", 25,
         "Parse error at line 3 " + szFile + " \\(no = after attr name no equals here\\)"},
        {"a = 1\nb", 25, "line 2 .*\\(no = after attr name b\\)"},
        {"a = ${b\n", 25, "Parse error at line too few variable closing parentheses \\(val\\)"},
        {"a = b}\n", 25, "Parse error at line too many variable closing parentheses \\(val\\)"},
        {"a} = 1\n", 25, "Parse error at line too many variable closing parentheses\n"},
        {"${a = 1\n", 25, "Parse error at line too few variable closing parentheses\n"},
        {"#$par\n", 26, "Too few arguments passed to .*main.args"},
        // Text that would be lost.
        {"a = 'abc\nb = 1\n", 25, "line 1 " + szFile + " \\(unclosed quote at end of file\\)"},
        {"a = cost$\nb = {1}\n", 25,
         "line 1 " + szFile + " \\([$] not followed by [{] on the same line\\)"},
        {"#include " + szSelf + "\n", 25,
         "line 2 of file\\(par\\) .*self.args \\(recursive include of .*self.args\\)"},
        {"#include " + dir_.Path("nul.args") + "\n", 25,
         "line 2 of file\\(par\\) .*nul.args \\(recursive include of .*nul.args\\)"},
        // Overlong text.
        {std::string(250, 'k') + " = 1\n", 25,
         "line 1 " + szFile + " \\(attr name longer than 249 characters\\)"},
        {"k = " + std::string(4000, 'v') + "\n", 25, "\\(value longer than 3999 characters\\)"},
        {std::string(1, '#').append(250, 'd') + "\n", 25,
         "\\(directive longer than 249 characters\\)"},
        {"#include " + std::string(250, 'f') + "\n", 25,
         "\\(include file name longer than 249 characters\\)"},
        {"#include " + std::string(249, 'f') + "\n", 23, "String to be copied too long: f{249}\n"},
    };
    for (const auto& [szText, iNumber, szMessage] : rgCase) {
        SCOPED_TRACE(szText);
        EXPECT_FATAL(Open(szText), ArgFatal(iNumber), szMessage);
    }
}

TEST_F(ArgFileFatalTest, UnknownFilesFieldsAndTables) {
    std::string sz;
    EXPECT_FATAL(ux_ArgGetValue("nofile", "k", sz), ArgFatal(28),
                 "ux_arg: Fatal\\(16028\\): Getting file/attr: nofile/k");
    EXPECT_FATAL(ux_ArgSetValue("nofile", "k", "v"), ArgFatal(28), "Getting file/attr: nofile/k");
    const std::string szValue = Fields({"a", "b"});
    EXPECT_FATAL(ux_ArgGetField(szValue, 2, sz), ArgFatal(29),
                 "Fatal\\(16029\\): Field index out of bounds: a b\\[2\\]");
    EXPECT_FATAL(ux_ArgGetField(szValue, -1, sz), ArgFatal(29), "a b\\[-1\\]");
    EXPECT_FATAL(ux_ArgGetField("", 0, sz), ArgFatal(29), "bounds: \\[0\\]");

    const std::string szOne = dir_.Write("one.args", "k = 1\n");
    EXPECT_FATAL(
        {
            ux_ArgInit(1);
            ux_ArgOpen(szOne);
            ux_ArgOpen(szOne);
        },
        ArgFatal(21), "Too many open arg files when opening .*one.args");
    EXPECT_FATAL(
        {
            ux_ArgInit(5);
            ux_ArgInit(5);
        },
        ArgFatal(19), "Reinitialized; call ux_ArgClose first");
}

TEST_F(ArgFileTest, OpenWithLogRedirectsStandardError) {
    const std::string szArgs = dir_.Write("log.args", "Log = " + dir_.Path("run.log") + "\n");
    // Closing the log gives standard error back.
    testing::internal::CaptureStderr();
    EXPECT_EQ(ux_ArgOpenWithLog(szArgs), 0);
    std::fprintf(stderr, "after\n");
    ux_CloseLog();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string szLog = dir_.Read("run.log");
    EXPECT_TRUE(testing::internal::RE::PartialMatch(
        szLog, testing::internal::RE("^[A-Z][a-z]{2} .{20} Logfile .*run.log opened.\nafter\n$")))
        << szLog;
}

} // namespace
} // namespace vexta
