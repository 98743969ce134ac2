// lockbox list and lockbox test: read an archive without restoring it.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "tool/archive.h"
#include "tool/commands.h"
#include "tool/console.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/json_report.h"
#include "tool/progress.h"
#include "tool/signature.h"
#include "tool/system.h"
#include "payload/reader.h"

namespace {

struct InspectOptions {
    std::string archive;
    std::vector<std::string> names;  // patterns choosing entries; none: all
    bool json = false;
    PasswordOptions password;
    int codepage = 0;  // 0: the archive's own
};

const char* LayoutName(uint8_t mode) {
    return mode == LAYOUT_NONE ? "none" : mode == LAYOUT_TOP ? "top" : "bottom";
}

// How the destination folder is opened after extraction, in the words
// create takes for it.
std::string OpenFolderText(uint32_t showCommand) {
    switch (showCommand) {
    case 0: return "no";
    case 1: return "yes, in a normal window";
    case 3: return "yes, maximized";
    case 7: return "yes, minimized";
    default: return "yes, with Windows show command " + std::to_string(showCommand);
    }
}

std::string SignatureLine(const SignatureState& s) {
    if (!s.present) return "none";
    if (!s.checked) return "present (this build of lockbox cannot check it)";
    std::string by = s.signer.empty() ? "an unreadable signer" : s.signer;
    if (!s.problem.empty()) return "BROKEN: " + s.problem + " (signed by " + by + ")";
    return "signed by " + by + "; the file is as signed";
}

// The settings block and the column heads of the listing.
void PrintSettings(const std::string& path, const OpenedArchive& archive, const SignatureState& signature) {
    const Reader& r = archive.reader;
    Print(stdout, "archive:     %s\n", path.c_str());
    Print(stdout, "title:       %s\n", DisplayText(r.windowTitle ? r.windowTitle : "", archive.codepage).c_str());
    Print(stdout, "layout:      %s\n", LayoutName(r.layoutMode));
    if (r.backgroundWidth) Print(stdout, "background:  %u x %u\n", r.backgroundWidth, r.backgroundHeight);
    else Print(stdout, "background:  none\n");
    Print(stdout, "run after:   %s\n",
          archive.runAfter.empty() ? "none" : ShownName(archive.runAfter, archive.codepage).c_str());
    Print(stdout, "open folder: %s\n", OpenFolderText(r.openFolderShowCmd).c_str());
    Print(stdout, "code page:   %d (%s)\n", archive.codepage, archive.codepageSource);
    Print(stdout, "key:         %s\n", KeyDescription(archive).c_str());
    Print(stdout, "signature:   %s\n", SignatureLine(signature).c_str());
    Print(stdout, "\n%-6s  %-5s  %12s  %12s  %-19s  %s\n", "type", "attr", "size", "stored",
          "last write (UTC)", "name");
}

// Fail, with the report (when there is one) printed first.
[[noreturn]] void FailInReport(Json* report, const std::string& what, const std::string& todo) {
    if (report) PrintReport(report, "damaged", what);
    Fail(what, todo);
}

int RunList(const InspectOptions& o) {
    OpenedArchive archive(o.archive, o.password, o.codepage);
    EntryChoice choice = ChooseEntries(archive, o.names);
    SignatureState signature = ExamineSignature(o.archive);
    Json report;
    if (o.json) report = ArchiveReport(archive, signature);
    else PrintSettings(o.archive, archive, signature);

    uint64_t files = 0, dirs = 0, bytes = 0, stored = 0;
    for (int index = 1;; index++) {
        EntryInfo info;
        std::memset(&info, 0, sizeof info);
        CipherContext ctx = archive.key;
        int result = ReadEntrySkippingData(&archive.reader, &ctx, &info);
        if (result == RESULT_END) break;
        if (result != RESULT_OK)
            FailInReport(o.json ? &report : nullptr,
                         "'" + o.archive + "' is damaged at " + EntryLabel(index, info, archive.codepage),
                         "ask the sender for a new copy");
        if (!choice.WantsEntry((size_t)index - 1)) continue;
        if (o.json) {
            report["entries"].push_back(EntryReport(index, info, archive.codepage));
            continue;
        }
        Print(stdout, "%s\n", ListingRow(info, archive.codepage).c_str());
        if (info.attributes & ATTR_DIRECTORY) {
            dirs++;
        } else {
            files++;
            bytes += info.originalSize;
            stored += info.storedSize;
        }
    }
    std::string todo, unmatched = UnmatchedFailure(archive, choice, &todo);
    if (o.json) {
        PrintReport(&report, unmatched.empty() ? "ok" : "failed", unmatched);
    } else {
        Print(stdout, "\n%s, %s, %s, %llu stored\n", Counted(files, "file", "files").c_str(),
              Counted(dirs, "folder", "folders").c_str(), Counted(bytes, "byte", "bytes").c_str(),
              (unsigned long long)stored);
    }
    if (!unmatched.empty()) Fail(unmatched, todo);
    return EXIT_OK;
}

// Ends a test that found damage: every damaged entry found before `last`
// gets a line of its own, `last` the closing one with the count.
[[noreturn]] void ReportDamage(const std::string& archive, const std::vector<std::string>& before,
                               const std::string& last, Json* report) {
    for (const std::string& where : before)
        Print(stderr, "lockbox: '%s' is damaged at %s\n", archive.c_str(), where.c_str());
    std::string count = before.empty() ? "" : std::to_string(before.size() + 1) + " damaged entries; ";
    FailInReport(report, "'" + archive + "' is damaged at " + last, count + "ask the sender for a new copy");
}

// Names the extractor could not create on Windows; stored names separate
// their components with '\\' only.
bool HasForbiddenCharacter(const std::string& name) {
    for (char c : name)
        if (IsForbiddenNameCharacter(c) || c == '/') return true;
    return false;
}

int RunTest(const InspectOptions& o) {
    OpenedArchive archive(o.archive, o.password, o.codepage);
    // A broken signature means the file is not what its sender made, even
    // where every entry still reads. The entries are tested all the same,
    // so that a damaged one is named after the signature.
    SignatureState signature = ExamineSignature(o.archive);
    Json report;
    if (o.json) report = ArchiveReport(archive, signature);
    const std::string brokenSignature =
        signature.problem.empty() ? "" : "'" + o.archive + "' is signed, but " + signature.problem;
    // Before a damaged entry is named, the broken signature is.
    auto signatureFirst = [&] {
        if (!brokenSignature.empty()) Print(stderr, "lockbox: %s\n", brokenSignature.c_str());
    };
    EntryChoice choice = ChooseEntries(archive, o.names);
    std::set<std::string> directories, files;
    Reader* reader = &archive.reader;
    const int64_t first = reader->firstEntryOffset, total = reader->entriesEnd - first;
    ProgressBar bar;
    StartProgress(&bar, StderrIsTerminal());
    std::vector<std::string> damaged;  // each damaged entry, as "entry N 'name'"
    int index = 1;
    for (;; index++) {
        EntryInfo info;
        std::memset(&info, 0, sizeof info);
        CipherContext ctx = archive.key;
        int64_t at = PlatformTell(reader->file);
        bool wanted = choice.WantsEntry((size_t)index - 1);
        int r = wanted ? ExtractOrTestEntry(reader, &ctx, ".", EXTRACT_TEST, &info)
                       : ReadEntrySkippingData(reader, &ctx, &info);
        UpdateProgress((uint64_t)(PlatformTell(reader->file) - first), (uint64_t)total, &bar);
        if (r == RESULT_END) break;
        std::string where = EntryLabel(index, info, archive.codepage);
        if (r == RESULT_NO_MEMORY) {
            FinishProgress(&bar);
            Fail("out of memory while testing " + where, "close other programs and try again");
        }
        // A file whose header and name read well but whose data does not:
        // its stored size still says where the next entry begins.
        int64_t next = at + (int64_t)EntrySize(info.attributes, info.nameLength, info.storedSize);
        bool skippable = r == RESULT_CORRUPT && info.nameLength != 0 && !(info.attributes & ATTR_DIRECTORY) &&
                         at >= 0 && next <= reader->entriesEnd && PlatformSeek(reader->file, next) == next;
        if (o.json && wanted && (r == RESULT_OK || info.nameLength)) {
            Json entry = EntryReport(index, info, archive.codepage);
            entry["result"] = r == RESULT_OK ? "ok" : "damaged";
            report["entries"].push_back(entry);
        }
        if (r != RESULT_OK && !skippable) {
            FinishProgress(&bar);
            signatureFirst();
            ReportDamage(o.archive, damaged, where, o.json ? &report : nullptr);
        }
        if (r != RESULT_OK) damaged.push_back(where);
        // A name damaged in transit still decrypts to something; these
        // checks catch most of what it turns into.
        std::string name = StoredName(info);
        size_t slash = name.rfind('\\');
        bool orphan = slash != std::string::npos && !directories.count(name.substr(0, slash));
        if (HasForbiddenCharacter(name) || orphan) {
            signatureFirst();
            FailInReport(o.json ? &report : nullptr, "'" + o.archive + "' is damaged at " + where +
                     (orphan ? ": its folder is not in the archive" : ": the name holds invalid characters"),
                 "ask the sender for a new copy");
        }
        ((info.attributes & ATTR_DIRECTORY) ? directories : files).insert(name);
    }
    FinishProgress(&bar);
    if (!damaged.empty()) {
        std::string last = damaged.back();
        damaged.pop_back();
        signatureFirst();
        ReportDamage(o.archive, damaged, last, o.json ? &report : nullptr);
    }
    if (!brokenSignature.empty())
        FailInReport(o.json ? &report : nullptr, brokenSignature, "ask the sender for a new copy");
    if (choice.all && !archive.runAfter.empty() && !files.count(archive.runAfter))
        FailInReport(o.json ? &report : nullptr, "'" + o.archive + "': the file to open after extraction, '" +
                 DisplayText(archive.runAfter, archive.codepage) + "', is not in the archive",
             "ask the sender for a new copy");
    std::string todo, unmatched = UnmatchedFailure(archive, choice, &todo);
    if (o.json) {
        PrintReport(&report, unmatched.empty() ? "ok" : "failed", unmatched);
        if (!unmatched.empty()) Fail(unmatched, todo);
        return EXIT_OK;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", ElapsedSeconds(bar));
    Print(stdout, "%s: OK, %s intact%s; %s in %s\n", o.archive.c_str(),
          Counted(choice.all ? (uint64_t)index - 1 : choice.names.size(), "entry", "entries").c_str(),
          !signature.present   ? ""
          : signature.checked ? ", signature matches"
                              : ", signature not checked",
          HumanBytes((uint64_t)total).c_str(), seconds);
    if (!unmatched.empty()) Fail(unmatched, todo);
    return EXIT_OK;
}

CLI::App* AddInspectCommand(CLI::App* app, const char* name, const char* help, InspectOptions* o) {
    CLI::App* sub = app->add_subcommand(name, help);
    sub->add_option("archive", o->archive, "The archive (.exe)")->required()->type_name("ARCHIVE.exe");
    AddNamesOption(sub, &o->names);
    AddPasswordOptions(sub, &o->password, false);
    AddCodepageOption(sub, &o->codepage, false);
    return sub;
}

}  // namespace

void AddListCommand(CLI::App* app, CommandRun* run) {
    auto o = std::make_shared<InspectOptions>();
    CLI::App* sub = AddInspectCommand(app, "list", "Show an archive's settings and entries", o.get());
    sub->add_flag("--json", o->json, "Write the settings and entries as one JSON document (see 'man lockbox')");
    sub->callback([o, run] { *run = [o] { return WithJsonReport(o->json, o->archive, [o] { return RunList(*o); }); }; });
}

void AddTestCommand(CLI::App* app, CommandRun* run) {
    auto o = std::make_shared<InspectOptions>();
    CLI::App* sub = AddInspectCommand(app, "test", "Decrypt and decompress every entry without writing", o.get());
    sub->add_flag("--json", o->json, "Write the result of every entry as one JSON document (see 'man lockbox')");
    sub->callback([o, run] { *run = [o] { return WithJsonReport(o->json, o->archive, [o] { return RunTest(*o); }); }; });
}
