// What the reader, the extraction run and the front ends report. The
// extractor's exit code is one of these (never RESULT_OK or
// RESULT_CANCELLED, which the run reports as RESULT_END).
#pragma once

enum ExtractResult {
    RESULT_CANCELLED = 2,      // the overwrite question was cancelled (reader)
    RESULT_END = 1,            // archive ended at an entry boundary, or cancelled (run)
    RESULT_OK = 0,             // one entry done / header read
    RESULT_NO_FOLDER = -1,     // folder chooser closed without a choice
    RESULT_BAD_PASSWORD = -2,
    RESULT_CANNOT_CREATE = -3, // output file or directory cannot be created
    RESULT_CORRUPT = -4,       // payload or entry damaged, truncated, undecodable
    RESULT_NO_MEMORY = -5,
    RESULT_NO_WINDOW = -6,
};
