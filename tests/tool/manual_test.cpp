// The manual page names exactly the options that each command's --help
// shows, so the two cannot drift apart.
#include <regex>
#include <set>

#include "tool_fixture.h"

namespace {

// The options (-x, --xyz) found in `text`, each starting a word.
std::set<std::string> OptionsIn(const std::string& text) {
    std::set<std::string> options;
    std::regex option("(^|[^A-Za-z0-9_-])(--?[a-z][a-z0-9-]*)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        options.insert((*it)[2]);
    return options;
}

TEST_F(ToolTest, ManualPageNamesEveryOptionOfEveryCommand) {
    std::string manual = ReadFileBytes(std::string(LOCKBOX_SOURCE_DIR) + "/docs/lockbox.1");
    ASSERT_FALSE(manual.empty());
    std::string plain;  // roff escapes dropped: "\-\-json" reads "--json"
    for (char c : manual)
        if (c != '\\') plain += c;
    for (const char* command : {"create", "list", "test", "extract"}) {
        SCOPED_TRACE(command);
        size_t start = plain.find(std::string(".SS \"lockbox ") + command);
        ASSERT_NE(std::string::npos, start);
        size_t end = std::min(plain.find("\n.SS", start + 1), plain.find("\n.SH", start + 1));
        std::set<std::string> documented = OptionsIn(plain.substr(start, end - start));
        // Only the option column of --help: the text after it may quote other options.
        std::string help = RunLockbox(dir, {command, "--help"}).out, column;
        for (size_t at = 0; at < help.size();) {
            size_t eol = help.find('\n', at);
            std::string line = help.substr(at, eol - at);
            if (line.rfind("  -", 0) == 0) column += line.substr(0, line.find("  ", 2)) + "\n";
            at = eol == std::string::npos ? help.size() : eol + 1;
        }
        EXPECT_EQ(OptionsIn(column), documented);
    }
}

}  // namespace
