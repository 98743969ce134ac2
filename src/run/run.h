// One extraction run.
#pragma once

// Extracts the whole archive. `password` (ANSI) and `destination` may each
// be null: a null password is read from the main window's password field, a
// null destination is asked for with the folder chooser. Returns
// RESULT_BAD_PASSWORD, RESULT_NO_FOLDER, RESULT_NO_MEMORY, or the first
// result of ExtractEntry other than RESULT_OK (RESULT_END,
// RESULT_CANNOT_CREATE, RESULT_CORRUPT; a cancel at the overwrite question
// is reported as RESULT_END); never RESULT_OK.
int RunExtraction(const char* password, const char* destination);
