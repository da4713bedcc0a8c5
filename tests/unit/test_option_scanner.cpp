#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CSimpleOptTempl.h"
#include "app/Options.h"

namespace {

struct ScanCase {
    const char* name;
    std::vector<std::string> words;    // after argv[0]
    std::vector<std::string> options;  // "error text arg" per Next()
    std::vector<std::string> argvAfter; // after argv[0]
};

const ScanCase kCases[] = {
    {"ExactAndSeparateArgument", {"-D", "-d", "40F5849A"}, {"0 -D -", "0 -d 40F5849A"}, {"-D", "-d", "40F5849A"}},
    {"EqualsSplitsArgument", {"-d=40F5849A"}, {"0 -d 40F5849A"}, {"-d=40F5849A"}},
    {"EqualsOnFlagIsAnError", {"-D=1"}, {"-3 -D 1"}, {"-D=1"}},
    {"PrefixOfLongOption", {"-OV", "--he"}, {"0 -OVERRIDE -", "0 --help -"}, {"-OV", "--he"}},
    {"LongOptionItself", {"-OVERRIDE", "--help"}, {"0 -OVERRIDE -", "0 --help -"}, {"-OVERRIDE", "--help"}},
    {"LongerThanOptionIsInvalid", {"-OVERRIDEX"}, {"-1 -OVERRIDEX -"}, {"-OVERRIDEX"}},
    {"PrefixNeedsSameHyphens", {"-he", "--H"}, {"-1 -he -", "-1 --H -"}, {"-he", "--H"}},
    {"BareHyphens", {"-", "--"}, {"-1 - -", "-1 -- -"}, {"-", "--"}},
    {"NoClumping", {"-DU"}, {"-1 -DU -"}, {"-DU"}},
    {"NoGluedArgument", {"-d40F5849A"}, {"-1 -d40F5849A -"}, {"-d40F5849A"}},
    {"CaseSensitive", {"-x", "-b", "1", "-B"}, {"-1 -x -", "0 -b 1", "0 -B -"}, {"-x", "-b", "1", "-B"}},
    {"MissingArgument", {"-U", "-d"}, {"0 -U -", "-5 -d -"}, {"-U", "-d"}},
    {"ArgumentLooksLikeOption", {"-d", "-U"}, {"-6 -d -", "0 -U -"}, {"-d", "-U"}},
    {"StrayWordsMoveBehind", {"foo", "-D", "bar", "-d", "1", "baz"}, {"0 -D -", "0 -d 1"},
     {"-D", "-d", "1", "foo", "bar", "baz"}},
    {"StrayWordIsNoArgument", {"-d", "-U", "x"}, {"-6 -d -", "0 -U -"}, {"-d", "-U", "x"}},
    {"StrayBeforeTrailingOption", {"x", "-d"}, {"-5 -d -"}, {"-d", "x"}},
    {"EmptyWordIsStray", {"", "-D"}, {"0 -D -"}, {"-D", ""}},
};

class OptionScannerTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(OptionScannerTest, Scans)
{
    const ScanCase& c = GetParam();
    std::vector<std::string> words = {"updater"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());

    CSimpleOptTempl scanner(static_cast<int>(argv.size()), argv.data(), g_rgOptions, 0);
    std::vector<std::string> seen;
    while (scanner.Next()) {
        seen.push_back(std::to_string(scanner.LastError()) + " " + scanner.OptionText() + " " +
                       (scanner.OptionArg() ? scanner.OptionArg() : "-"));
    }
    EXPECT_EQ(c.options, seen);
    std::vector<std::string> after(argv.begin() + 1, argv.end());
    EXPECT_EQ(c.argvAfter, after);
}

INSTANTIATE_TEST_SUITE_P(Words, OptionScannerTest, ::testing::ValuesIn(kCases),
                         [](const auto& i) { return std::string(i.param.name); });

} // namespace
