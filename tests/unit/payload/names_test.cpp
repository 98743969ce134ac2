// Which decrypted names may be used under the destination.
#include <gtest/gtest.h>

#include "payload/reader.h"

namespace {

struct NameCase {
    const char* name;
    bool safe;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

const NameCase NAMES[] = {
    {"a.txt", true},
    {"dir\\a.txt", true},
    {"dir/a.txt", true},
    {"dir\\sub\\", true},
    {".\\a", true},
    {".", false},
    {"a\\.", false},
    {"a\\. ", false},
    {"a\\ ", false},
    {"tab\there", false},
    {"..\t", false},
    {"bell\x07", false},
    {"what?.txt", false},
    {"a*b", false},
    {"x<y", false},
    {"say\"hi\"", false},
    {"pipe|d", false},
    {"a.", true},
    {"caf\xe9.txt", true},
    {"..a", true},
    {"a..", true},
    {"a\\..b\\c", true},
    {".hidden", true},
    {"", false},
    {"\\a", false},
    {"/a", false},
    {"\\\\server\\share\\a", false},
    {"C:a", false},
    {"C:\\a", false},
    {"a:stream", false},
    {"..", false},
    {"..\\a", false},
    {"../a", false},
    {"a\\..\\..\\b", false},
    {"a/../b", false},
    {"a\\..", false},
    {"...\\a", false},
    {"a\\.. \\b", false},
    // Windows device names, in any component, case, with an extension
    // or trailing spaces; near misses are ordinary names.
    {"NUL", false},
    {"con", false},
    {"Aux.txt", false},
    {"dir\\prn", false},
    {"COM1", false},
    {"lpt9.log", false},
    {"com1 .txt", false},
    {"NUL.tar.gz", false},
    {"CONIN$", false},
    {"conout$.x", false},
    {"nul\\a.txt", false},
    {"COM0", true},
    {"COM10", true},
    {"console", true},
    {"nul_file", true},
    {"a.con", true},
    {"xnul", true},
    {"CONIN", true},
};

class SafeName : public ::testing::TestWithParam<NameCase> {};
TEST_P(SafeName, Judged) { EXPECT_EQ(GetParam().safe, IsSafeName(GetParam().name)); }
INSTANTIATE_TEST_SUITE_P(Names, SafeName, ::testing::ValuesIn(NAMES));

}  // namespace
