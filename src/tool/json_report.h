// `--json` of list, test and extract: one JSON document on standard output
// whose shape scripts can rely on (keys always present, in a fixed order;
// null where a value does not apply). Documented in the man page.
#pragma once
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "payload/reader.h"

struct OpenedArchive;
struct SignatureState;

using Json = nlohmann::ordered_json;

// "2024-05-01T13:45:10.1234567Z" for a FILETIME; null for 0.
Json IsoTime(uint64_t fileTime);

// The document's start: the archive path and its settings.
Json ArchiveReport(const OpenedArchive& archive, const SignatureState& signature);

// One entry: index (1-based position in the archive; null when not
// counted), name (UTF-8) and stored name (hex of the code-page bytes),
// type, attribute names, sizes and the three times.
Json EntryReport(int index, const EntryInfo& info, int codepage);

// Ends the document with the run's result ("ok", "damaged", "failed") and
// error (null when none), and prints it.
void PrintReport(Json* report, const char* result, const std::string& error);

// Runs a command's `body`; with `json`, a failure (ToolError) that comes
// before the command printed its report still gets one, with the archive
// path, no entries and the error, so a script always reads one document.
int WithJsonReport(bool json, const std::string& archive, const std::function<int()>& body);
