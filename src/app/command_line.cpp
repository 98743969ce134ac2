// Command-line splitting (see command_line.h for the rules).
#include "app/command_line.h"

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int SplitArguments(char* line, char** table) {
    char* p = line;
    // The program path: quoted up to the closing quote, else up to a blank.
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '\0') return 0;
        *p++ = '\0';
    } else {
        while (*p != '\0' && !IsBlank(*p)) ++p;
        if (*p != '\0') *p++ = '\0';
    }

    table[0] = nullptr;
    int count = 1;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') return count;

        char* start;
        if (*p == '"') {
            start = ++p;
            while (*p != '\0' && *p != '"') ++p;
        } else {
            start = p;
            while (*p != '\0' && !IsBlank(*p)) ++p;
        }
        table[count - 1] = start;
        table[count] = nullptr;
        ++count;

        if (*p == '\0') return count;
        *p++ = '\0';
        if (count == MAX_ARGUMENTS + 1) return count;
    }
}
