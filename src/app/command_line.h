// Command-line splitting, portable so that the host can test it.
//
// Arguments are separated by spaces and tabs only; a double quote opens an
// argument that runs to the next double quote or the end of the line. No
// escapes: a backslash is ordinary, a quote inside an unquoted argument
// stays part of it, and text right after a closing quote starts the next
// argument. The program path comes first and is not recorded.
#pragma once

const int MAX_ARGUMENTS = 127;

// Splits `line` in place: every delimiter that ends the program path or an
// argument is overwritten with a zero. `table` (room for MAX_ARGUMENTS + 1
// pointers) receives pointers into `line`, each recorded argument followed
// by a null entry. Returns 0 when the program path opens a double quote
// that never closes, else 1 + the number of arguments recorded (1..128);
// scanning stops after the 127th argument.
int SplitArguments(char* line, char** table);
