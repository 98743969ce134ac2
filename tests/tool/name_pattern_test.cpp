// The name patterns of --exclude and of list, test and extract, in the tool's library directly.
#include <gtest/gtest.h>

#include "tool/name_pattern.h"

namespace {

struct GlobCase {
    const char* pattern;
    const char* text;
    bool matches;
};

const GlobCase GLOBS[] = {
    {"*.txt", "notes.txt", true},
    {"*.txt", "NOTES.TXT", true},          // ASCII letters in either case
    {"*.txt", "a\\notes.txt", false},      // '*' does not cross a separator
    {"a\\*.txt", "a\\notes.txt", true},
    {"?.bin", "x.bin", true},
    {"?.bin", "xy.bin", false},
    {"?", "\\", false},                    // nor does '?'
    {"*", "", true},
    {"", "", true},
    {"", "a", false},
    {"a*b*c", "aXbYc", true},
    {"a*b*c", "aXbYcZ", false},
    {"*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", true},  // UTF-8 compared byte for byte
};

class Glob : public ::testing::TestWithParam<GlobCase> {};
TEST_P(Glob, Matches) {
    EXPECT_EQ(GetParam().matches, GlobMatch(GetParam().pattern, GetParam().text))
        << GetParam().pattern << " against " << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Patterns, Glob, ::testing::ValuesIn(GLOBS));

struct NameCase {
    const char* typed;  // as on the command line
    const char* name;   // as stored
    bool matches;
};

const NameCase NAMES[] = {
    {".git", "project\\.git\\config", true},         // a component anywhere
    {"*.tmp", "a\\b\\c.tmp", true},
    {"secrets/*", "top\\secrets\\key.txt", true},    // a tail that starts at a component
    {"secrets/*", "topsecrets\\key.txt", false},
    {"docs/", "docs\\a.txt", true},                  // a folder and what lies in it
    {"docs", "documents\\a.txt", false},
    {"a\\b", "x\\a\\b\\c", true},                    // either separator as typed
};

class Name : public ::testing::TestWithParam<NameCase> {};
TEST_P(Name, Matches) {
    EXPECT_EQ(GetParam().matches, MatchesName(PatternsOf({GetParam().typed}), GetParam().name))
        << GetParam().typed << " against " << GetParam().name;
}
INSTANTIATE_TEST_SUITE_P(Patterns, Name, ::testing::ValuesIn(NAMES));

}  // namespace
