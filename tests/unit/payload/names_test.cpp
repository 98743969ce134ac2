// Which decrypted names may be used under the destination.
#include <gtest/gtest.h>

#include "payload/reader.h"

namespace {

const char* const SAFE_NAMES[] = {
    "a.txt", "dir\\a.txt", "dir/a.txt", "dir\\sub\\", ".\\a", "a.", "caf\xe9.txt", "..a", "a..", "a\\..b\\c",
    ".hidden",
    // near misses of device names
    "COM0", "COM10", "console", "nul_file", "a.con", "xnul", "CONIN",
};

const char* const UNSAFE_NAMES[] = {
    // dot components, trailing dots and blanks, control and wildcard characters
    ".", "a\\.", "a\\. ", "a\\ ", "tab\there", "..\t", "bell\x07", "what?.txt", "a*b", "x<y", "say\"hi\"",
    "pipe|d",
    // roots, drives, streams and parent references
    "", "\\a", "/a", "\\\\server\\share\\a", "C:a", "C:\\a", "a:stream", "..", "..\\a", "../a", "a\\..\\..\\b",
    "a/../b", "a\\..", "...\\a", "a\\.. \\b",
    // Windows device names, in any component, case, with an extension or trailing spaces
    "NUL", "con", "Aux.txt", "dir\\prn", "COM1", "lpt9.log", "com1 .txt", "NUL.tar.gz", "CONIN$", "conout$.x",
    "nul\\a.txt",
};

class SafeName : public ::testing::TestWithParam<const char*> {};
TEST_P(SafeName, Accepted) { EXPECT_TRUE(IsSafeName(GetParam())); }
INSTANTIATE_TEST_SUITE_P(Names, SafeName, ::testing::ValuesIn(SAFE_NAMES));

class UnsafeName : public ::testing::TestWithParam<const char*> {};
TEST_P(UnsafeName, Refused) { EXPECT_FALSE(IsSafeName(GetParam())); }
INSTANTIATE_TEST_SUITE_P(Names, UnsafeName, ::testing::ValuesIn(UNSAFE_NAMES));

}  // namespace
