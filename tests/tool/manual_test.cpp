// The manual page names exactly the options that each command's --help shows.
#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "tool_fixture.h"

namespace {

// The options (-x, --xyz) found in `text`, each starting a word.
std::set<std::string> OptionsIn(const std::string& text) {
    auto word = [](char c) { return std::isalnum((unsigned char)c) || c == '_' || c == '-'; };
    std::set<std::string> options;
    for (size_t at = 0; at < text.size(); at++) {
        if (text[at] != '-' || (at > 0 && word(text[at - 1]))) continue;
        size_t name = at + (at + 1 < text.size() && text[at + 1] == '-' ? 2 : 1), end = name;
        if (end >= text.size() || !std::islower((unsigned char)text[end])) continue;
        while (end < text.size() && (std::islower((unsigned char)text[end]) || std::isdigit((unsigned char)text[end]) ||
                                     text[end] == '-'))
            end++;
        options.insert(text.substr(at, end - at));
        at = end;
    }
    return options;
}

TEST_F(ToolTest, ManualPageNamesEveryOptionOfEveryCommand) {
    std::string manual = ReadFileBytes(std::string(LOCKBOX_SOURCE_DIR) + "/docs/lockbox.1");
    ASSERT_FALSE(manual.empty());
    std::string plain = manual;  // roff escapes dropped: "\-\-json" reads "--json"
    plain.erase(std::remove(plain.begin(), plain.end(), '\\'), plain.end());
    for (const char* command : {"create", "list", "test", "extract"}) {
        SCOPED_TRACE(command);
        size_t start = plain.find(std::string(".SS \"lockbox ") + command);
        ASSERT_NE(std::string::npos, start);
        size_t end = std::min(plain.find("\n.SS", start + 1), plain.find("\n.SH", start + 1));
        std::set<std::string> documented = OptionsIn(plain.substr(start, end - start));
        // Only the option column of --help: the text after it may quote other options.
        std::istringstream help(RunLockbox(dir, {command, "--help"}).out);
        std::string column;
        for (std::string line; std::getline(help, line);)
            if (line.rfind("  -", 0) == 0) column += line.substr(0, line.find("  ", 2)) + "\n";
        EXPECT_EQ(OptionsIn(column), documented);
    }
}

}  // namespace
