// The extractor's command line split: program path, password, destination, quotes without escapes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

struct SplitCase {
    const char* what;
    std::string line;
    int count;                       // expected result
    std::vector<std::string> args;   // expected recorded arguments
};

// Splits a copy of `line`; returns the count, and the arguments read up to the table's null entry.
int Split(const std::string& line, std::vector<std::string>* args) {
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    char* table[MAX_ARGUMENTS + 1];
    for (char*& entry : table) entry = reinterpret_cast<char*>(1);  // poison
    int count = SplitArguments(buffer.data(), table);
    args->clear();
    if (count > 0) {
        for (int i = 0; i < count - 1; i++) args->push_back(table[i]);
        EXPECT_EQ(nullptr, table[count - 1]) << "table must end with a null entry";
    }
    return count;
}

const SplitCase CASES[] = {
    {"program only", "x.exe", 1, {}},
    {"trailing blanks after the program", "x.exe  \t ", 1, {}},
    {"quoted program path", "\"C:\\Program Files\\x.exe\"", 1, {}},
    {"quoted program path, then blanks", "\"C:\\a b\\x.exe\"   ", 1, {}},
    {"unclosed quote in the program path", "\"C:\\a b\\x.exe pw", 0, {}},
    {"empty quoted argument alone", "x.exe \"\"", 2, {""}},
    {"one argument", "x.exe secret", 2, {"secret"}},
    {"two arguments", "x.exe secret C:\\out", 3, {"secret", "C:\\out"}},
    {"three arguments", "x.exe a b c", 4, {"a", "b", "c"}},
    {"quoted destination with spaces", "x.exe pw \"C:\\my files\\out\"", 3,
     {"pw", "C:\\my files\\out"}},
    {"unclosed quote runs to the end", "x.exe pw \"C:\\a b  ", 3, {"pw", "C:\\a b  "}},
    {"quote inside an unquoted argument", "x.exe ab\"cd ef", 3, {"ab\"cd", "ef"}},
    {"text right after a closing quote", "x.exe \"pass word\"tail", 3, {"pass word", "tail"}},
    {"two quoted arguments back to back", "x.exe \"a\"\"b\"", 3, {"a", "b"}},
    {"tabs separate", "x.exe\tpw\t\tC:\\out\t", 3, {"pw", "C:\\out"}},
    {"line feed and carriage return stay in an argument", "x.exe p\nw\r x", 3, {"p\nw\r", "x"}},
    {"backslash is ordinary", "x.exe \\\"a b", 3, {"\\\"a", "b"}},
    {"program path directly followed by a quote", "\"x.exe\"pw", 2, {"pw"}},
    {"blanks before the program end it at once", "  pw", 2, {"pw"}},
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.what; }
class SplitCases : public ::testing::TestWithParam<SplitCase> {};
TEST_P(SplitCases, CountAndArguments) {
    std::vector<std::string> args;
    EXPECT_EQ(GetParam().count, Split(GetParam().line, &args));
    EXPECT_EQ(GetParam().args, args);
}
INSTANTIATE_TEST_SUITE_P(Lines, SplitCases, ::testing::ValuesIn(CASES));

TEST(SplitArguments, DelimitersBecomeTerminatorsInPlace) {
    char line[] = "\"x y.exe\" pw\tdest";
    char* table[MAX_ARGUMENTS + 1];
    ASSERT_EQ(3, SplitArguments(line, table));
    EXPECT_STREQ("x y.exe", line + 1);
    EXPECT_EQ(line + 10, table[0]);
    EXPECT_EQ(line + 13, table[1]);
}

// Only the first 127 arguments are recorded, the rest left unread; the table ends with a null entry.
TEST(SplitArguments, StopsAfterTheLastTableEntry) {
    for (int total : {126, 127, 128, 130}) {
        std::string line = "x.exe";
        for (int i = 0; i < total; i++) line += " a" + std::to_string(i);
        std::vector<std::string> args;
        int expected = (total < MAX_ARGUMENTS ? total : MAX_ARGUMENTS) + 1;
        ASSERT_EQ(expected, Split(line, &args)) << total;
        ASSERT_EQ(static_cast<size_t>(expected - 1), args.size());
        EXPECT_EQ("a0", args.front());
        EXPECT_EQ("a" + std::to_string(expected - 2), args.back());
    }
}

}  // namespace
