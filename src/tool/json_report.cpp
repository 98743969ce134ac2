#include "tool/json_report.h"

#include <cstdio>

#include "tool/archive.h"
#include "tool/codepage.h"
#include "tool/console.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/signature.h"

Json IsoTime(uint64_t fileTime) {
    std::tm parts{};
    uint32_t fraction;
    if (fileTime == 0 || !SplitFileTime(fileTime, &parts, &fraction)) return nullptr;
    char text[48];
    size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text + n, sizeof text - n, ".%07uZ", fraction);
    return text;
}

// Bytes as lowercase hexadecimal digits.
static std::string Hex(const uint8_t* bytes, size_t size) {
    std::string hex;
    for (size_t i = 0; i < size; i++) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        hex += two;
    }
    return hex;
}

Json ArchiveReport(const OpenedArchive& archive, const SignatureState& signature) {
    const Reader& r = archive.reader;
    const char* layouts[] = {"none", "top", "bottom"};
    Json report;
    report["archive"] = archive.path;
    report["title"] = CodepageToUtf8(r.windowTitle ? r.windowTitle : "", archive.codepage);
    report["code_page"] = archive.codepage;
    report["code_page_source"] = archive.codepageSource;
    report["layout"] = r.layoutMode <= 2 ? Json(layouts[r.layoutMode]) : Json(r.layoutMode);
    report["background"] = r.backgroundWidth ? Json{{"width", r.backgroundWidth}, {"height", r.backgroundHeight}}
                                             : Json(nullptr);
    report["run_after"] = archive.runAfter.empty() ? Json(nullptr) : Json(CodepageToUtf8(archive.runAfter, archive.codepage));
    report["open_folder"] = r.openFolderShowCmd ? Json(r.openFolderShowCmd) : Json(nullptr);
    Json key;
    key["kind"] = !archive.hasPassword ? "none" : archive.stretched ? "pbkdf2-hmac-sha256" : "md5-chain";
    key["rounds"] = archive.hasPassword && archive.stretched ? Json(archive.stretch.rounds) : Json(nullptr);
    key["salt"] = archive.hasPassword && archive.stretched
                      ? Json(Hex(archive.stretch.salt, sizeof archive.stretch.salt))
                      : Json(nullptr);
    key["description"] = KeyDescription(archive);
    report["key"] = key;
    Json sig;
    sig["present"] = signature.present;
    sig["checked"] = signature.checked;
    sig["signer"] = signature.signer.empty() ? Json(nullptr) : Json(signature.signer);
    sig["problem"] = signature.problem.empty() ? Json(nullptr) : Json(signature.problem);
    report["signature"] = sig;
    report["entries"] = Json::array();
    return report;
}

Json EntryReport(int index, const EntryInfo& info, int codepage) {
    static const struct {
        uint32_t bit;
        const char* name;
    } ATTRIBUTES[] = {{ATTR_READONLY, "readonly"}, {ATTR_HIDDEN, "hidden"}, {ATTR_SYSTEM, "system"},
                      {ATTR_DIRECTORY, "directory"}, {ATTR_ARCHIVE, "archive"}};
    std::string stored = StoredName(info);
    std::string hex = Hex(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    bool directory = (info.attributes & ATTR_DIRECTORY) != 0;
    Json attributes = Json::array();
    for (const auto& a : ATTRIBUTES)
        if (info.attributes & a.bit) attributes.push_back(a.name);
    Json entry;
    entry["index"] = index > 0 ? Json(index) : Json(nullptr);
    entry["name"] = CodepageToUtf8(stored, codepage);
    entry["stored_name_hex"] = hex;
    entry["type"] = directory ? "directory" : "file";
    entry["attributes"] = attributes;
    entry["size"] = directory ? Json(nullptr) : Json(info.originalSize);
    entry["stored_size"] = directory ? Json(nullptr) : Json(info.storedSize);
    entry["created"] = IsoTime(info.times.creation);
    entry["last_access"] = IsoTime(info.times.lastAccess);
    entry["last_write"] = IsoTime(info.times.lastWrite);
    return entry;
}

static bool g_ReportPrinted = false;

void PrintReport(Json* report, const char* result, const std::string& error) {
    g_ReportPrinted = true;
    (*report)["result"] = result;
    (*report)["error"] = error.empty() ? Json(nullptr) : Json(error);
    // Names that are not valid UTF-8 cannot occur (they come from a code
    // page), but a damaged title or name must never stop the report.
    std::string text = report->dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    Print(stdout, "%s\n", text.c_str());
}

int WithJsonReport(bool json, const std::string& archive, const std::function<int()>& body) {
    try {
        return body();
    } catch (const ToolError& e) {
        if (json && !g_ReportPrinted) {
            Json report;
            report["archive"] = archive;
            report["entries"] = Json::array();
            PrintReport(&report, "failed", e.what());
        }
        throw;
    }
}
