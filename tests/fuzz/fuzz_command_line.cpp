// The command-line splitter on arbitrary lines: count 0..128, a null entry at count - 1, every
// argument points into the line and ends inside it.
#include <string.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The line ends at its first zero, as GetCommandLineA's would.
    std::vector<char> line(data, data + size);
    line.push_back(0);
    size_t length = strlen(line.data());
    std::vector<char> original(line);

    char* table[MAX_ARGUMENTS + 1];
    for (auto& entry : table) entry = (char*)&table;  // a value no argument can have
    int count = SplitArguments(line.data(), table);
    if (count < 0 || count > MAX_ARGUMENTS + 1) fuzz::Fail("count " + std::to_string(count));
    if (count == 0) {
        if (original[0] != '"' || memchr(original.data() + 1, '"', length - 1) != nullptr)
            fuzz::Fail("0 returned for a line whose program path is not an unclosed quote");
        return 0;
    }
    if (table[count - 1] != nullptr) fuzz::Fail("table not null-terminated at count - 1");
    const char* begin = line.data();
    const char* end = begin + length;  // the line's own terminator
    for (int i = 0; i < count - 1; i++) {
        const char* arg = table[i];
        if (arg < begin || arg > end) fuzz::Fail("argument outside the line");
        if (memchr(arg, 0, (size_t)(end - arg) + 1) == nullptr) fuzz::Fail("argument not terminated");
        if (i > 0 && arg <= table[i - 1]) fuzz::Fail("arguments out of order");
        // Only delimiters are overwritten: an argument's text is the original's.
        size_t n = strlen(arg);
        if (memcmp(arg, original.data() + (arg - begin), n) != 0) fuzz::Fail("argument text changed");
        // An argument not opened by a quote ends at the first blank.
        bool quoted = arg > begin && original[arg - begin - 1] == '"';
        if (!quoted && (memchr(arg, ' ', n) || memchr(arg, '\t', n))) fuzz::Fail("unquoted argument holds a blank");
    }
    for (size_t k = 0; k < length; k++)
        if (line[k] != original[k] && line[k] != 0) fuzz::Fail("a byte changed to something but zero");
    return 0;
}
