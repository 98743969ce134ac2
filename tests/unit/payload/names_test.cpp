// Which decrypted names may be used under the destination.
#include <gtest/gtest.h>

#include "payload/reader.h"

namespace {

TEST(IsSafeName, Table) {
    const struct {
        const char* name;
        bool safe;
    } cases[] = {
        {"a.txt", true},
        {"dir\\a.txt", true},
        {"dir/a.txt", true},
        {"dir\\sub\\", true},
        {".\\a", true},
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
    };
    for (const auto& c : cases) EXPECT_EQ(c.safe, IsSafeName(c.name)) << '"' << c.name << '"';
}

}  // namespace
