// lockbox extract: restores an archive on this machine through the same
// reader the extractor uses.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "extract/parallel_extract.h"
#include "tool/archive.h"
#include "tool/codepage.h"
#include "tool/commands.h"
#include "tool/console.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/interrupt_cleanup.h"
#include "tool/jobs.h"
#include "tool/json_report.h"
#include "tool/progress.h"
#include "tool/signature.h"
#include "tool/system.h"
#include "payload/reader.h"

namespace {

struct ExtractOptions {
    std::string archive;
    std::vector<std::string> names;  // patterns choosing entries; none: all
    std::string destination = ".";
    std::string overwrite = "ask";
    PasswordOptions password;
    int codepage = 0;  // 0: the archive's own
    int jobs = 0;  // 0: one per processor
    bool quiet = false;
    bool json = false;
    bool ignoreSignature = false;
};

// What the overwrite question and the name conversion need, and what they
// count: the reader hands it to both as their user pointer.
struct Session {
    Reader* reader = nullptr;
    int codepage = 0;               // of the archive's names
    bool keepAllExisting = false;   // "none": keep every existing file from here on;
                                    // new files are still written, as after the
                                    // extractor's No to All
    uint64_t kept = 0;              // existing files left as they were, for the summary
    std::set<std::string> keptNames;  // their stored names, for --json
};

int Keep(Session* session, const char* name) {
    session->kept++;
    session->keptNames.insert(name);
    return 0;
}

int AskOnTerminal(void* user, const char* name) {
    Session* session = static_cast<Session*>(user);
    OverwriteAnswers* answers = &session->reader->answers;
    if (session->keepAllExisting) return Keep(session, name);
    std::string shown = ShownName(name, session->codepage);
    for (;;) {
        std::string answer;
        if (!ReadAnswerLine("'" + shown + "' exists. Overwrite? [y]es, [n]o, [a]ll, n[o]ne, [c]ancel: ",
                            &answer)) {
            answers->cancelled = 1;
            return 0;
        }
        if (answer == "y" || answer == "yes") return 1;
        if (answer == "n" || answer == "no") return Keep(session, name);
        if (answer == "a" || answer == "all") {
            answers->yesToAll = 1;
            return 1;
        }
        if (answer == "o" || answer == "none") {
            session->keepAllExisting = true;
            return Keep(session, name);
        }
        if (answer == "c" || answer == "cancel") {
            answers->cancelled = 1;
            return 0;
        }
    }
}

int KeepExisting(void* user, const char* name) { return Keep(static_cast<Session*>(user), name); }

struct RestoredDirectory {
    std::string name;   // as stored: code-page bytes, '\\' separators
    FileTimes times;
};

// Stored names become UTF-8, the tool's form of paths on every system,
// before the reader looks at the path: what exists, what is asked about and what is
// written is the final name, and nothing already there is ever renamed.
char* StoredNameAsUtf8(void* user, const char* name) {
    std::string utf8 = CodepageToUtf8(name, static_cast<Session*>(user)->codepage);
    char* copy = (char*)PlatformAlloc(utf8.size() + 1);
    if (copy) std::memcpy(copy, utf8.c_str(), utf8.size() + 1);
    return copy;
}

// The reader sets a directory's times before its contents are written,
// which moves them again; setting them once more, innermost first, leaves
// the tree as the archive has it.
void RestoreDirectoryTimes(const Reader* reader, const std::string& destination,
                           const std::vector<RestoredDirectory>& directories) {
    for (size_t i = directories.size(); i-- > 0;) {
        char* path = BuildEntryPath(reader, destination.c_str(), directories[i].name.c_str());
        if (!path) continue;
        // As the reader does: through the folder above, reached with no
        // link on the way, never through a link swapped in since.
        FileHandle folder = PlatformOpenEntryFolder(path, (uint32_t)destination.size());
        if (folder != NO_FILE) {
            FileHandle h = PlatformOpenDirectoryAt(folder, path);
            if (h != NO_FILE) {
                PlatformSetTimes(h, &directories[i].times);
                PlatformClose(h);
            }
            PlatformCloseFolder(folder);
        }
        PlatformFree(path);
    }
}

// Of `path`, whose entry name begins at `nameAt`: the first folder on the
// way (for a directory entry, the path itself too) that exists as a file;
// empty when there is none.
std::string FileInTheWay(const std::string& path, size_t nameAt, bool directory) {
    for (size_t at = nameAt + 1; at <= path.size(); at++) {
        bool whole = at == path.size();
        if (whole ? !directory : path[at] != PLATFORM_SEPARATOR) continue;
        PathInfo info;
        std::string error;
        if (ExaminePath(path.substr(0, at), &info, &error) && !info.isDirectory)
            return path.substr(nameAt, at - nameAt);
    }
    return std::string();
}

// Why an entry could not be created, and what to do: names the link when
// the entry's path passes through one below the destination, or the file
// that stands where the archive has a folder.
std::pair<std::string, std::string> CannotCreateMessage(const Session& session, const std::string& destination,
                                                        const EntryInfo& entry, const std::string& shownName) {
    std::string link, file, reason;
    if (char* path = BuildEntryPath(session.reader, destination.c_str(), entry.name)) {
        uint32_t start = (uint32_t)destination.size();
        uint32_t end = FindLinkInPath(path, start);
        while (start < end && (path[start] == '/' || path[start] == '\\')) start++;
        if (end) link.assign(path + start, end - start);
        size_t nameAt = destination.size();
        if (nameAt == 0 || destination.back() != PLATFORM_SEPARATOR) nameAt++;
        if (!end) file = FileInTheWay(path, nameAt, (entry.attributes & ATTR_DIRECTORY) != 0);
        reason = WhyCannotCreate(path);
        PlatformFree(path);
    }
    if (!link.empty())
        return {"will not write '" + shownName + "': '" + link + "' in '" + destination +
                    "' is a symbolic link or junction, which could lead outside the destination",
                "check the destination"};
    if (!file.empty())
        return {"cannot create '" + shownName + "': '" + file + "' in '" + destination +
                    "' is a file where the archive has a folder",
                "move that file away, or extract elsewhere"};
    return {"cannot create '" + shownName + "' in '" + destination + "'" + (reason.empty() ? "" : ": " + reason),
            "check the destination and its permissions"};
}

// Creates `path` and the folders above it that are missing, through the
// platform layer, which takes paths of any length; true when it is a
// directory in the end.
bool CreateDirectories(const std::string& path) {
    std::string levels = path;
    PlatformCreateDirectories(&levels[0], true);
    return IsDirectory(path);
}

int RunExtract(const ExtractOptions& o) {
    OpenedArchive archive(o.archive, o.password, o.codepage);
    // A signature that no longer matches means the file is not what its
    // signer sent: nothing of it is restored unless the user says so.
    SignatureState signature = ExamineSignature(o.archive);
    Json report;
    if (o.json) report = ArchiveReport(archive, signature);
    if (!signature.problem.empty()) {
        std::string what = "'" + o.archive + "' is signed, but " + signature.problem;
        if (!o.ignoreSignature) {
            if (o.json) PrintReport(&report, "damaged", what + "; nothing was extracted");
            Fail(what + "; nothing was extracted", "ask the sender for a new copy, or extract it anyway with "
                                                   "--ignore-signature");
        }
        Warn(what + "; extracting anyway (--ignore-signature)");
    }

    if (!CreateDirectories(o.destination)) {
        std::string reason = WhyCannotCreate(o.destination);
        Fail("cannot create the destination '" + o.destination + "'" + (reason.empty() ? "" : ": " + reason),
             "check the path and its permissions");
    }

    Reader* reader = &archive.reader;
    Session session;
    session.reader = reader;
    session.codepage = archive.codepage;
    reader->questionUser = &session;
    if (o.overwrite == "always") {
        reader->answers.yesToAll = 1;
        reader->askOverwrite = KeepExisting;
    } else if (o.overwrite == "ask" && StdinIsTerminal()) {
        reader->askOverwrite = AskOnTerminal;
    } else {
        reader->askOverwrite = KeepExisting;  // "never", and "ask" without anyone to ask
    }
    reader->convertName = StoredNameAsUtf8;
    reader->conversionUser = &session;

    std::vector<RestoredDirectory> restored;
    uint64_t files = 0, directories = 0, read = 0;
    const uint64_t total = (uint64_t)(reader->entriesEnd - reader->firstEntryOffset);
    ProgressBar bar;
    StartProgress(&bar, StderrIsTerminal() && !o.quiet && reader->askOverwrite != AskOnTerminal);
    EntryChoice choice = ChooseEntries(archive, o.names);
    ExtractRun run;
    if (!choice.all)
        run.wanted = [&](const EntryInfo& info) {
            return choice.Wants(CodepageToUtf8(StoredName(info), archive.codepage));
        };
    run.reader = reader;
    run.key = archive.key;
    run.archivePath = o.archive.c_str();
    run.destination = o.destination.c_str();
    // Entries wait for one another by the paths they are written to: after
    // the code page, and without case where the file system ignores it.
    run.pathKey = [](const std::string& path) { return PLATFORM_FOLDS_CASE ? CaseFolded(path) : path; };
    run.temporaryFiles = &INTERRUPT_CLEANUP;
    // A question on the terminal waits for the user anyway; one entry at a
    // time keeps the prompts in step with what is on disk.
    run.jobs = reader->askOverwrite == AskOnTerminal ? 1 : o.jobs > 0 ? o.jobs : HardwareThreads();
    // Each worker keeps the archive and up to five output files open, each
    // with the folder it lies in.
    run.jobs = JobsWithinOpenFileLimit(run.jobs, 11, o.jobs > 0);
    run.restored = [&](const EntryInfo& info) {
        bool directory = (info.attributes & ATTR_DIRECTORY) != 0;
        (directory ? directories : files)++;
        if (o.json) {
            Json entry = EntryReport(0, info, archive.codepage);
            entry["action"] = session.keptNames.count(StoredName(info)) ? "kept" : "written";
            report["entries"].push_back(entry);
        }
        // Only directories need a second look (their times); keeping just
        // those holds memory flat in the file count.
        if (directory) restored.push_back({StoredName(info), info.times});
        read += EntrySize(info.attributes, info.nameLength, info.storedSize);
        UpdateProgress(read, total, &bar);
    };
    ExtractOutcome outcome = ExtractAll(run);
    FinishProgress(&bar);
    std::string name = ShownName(StoredName(outcome.entry), archive.codepage);
    bool cancelled = outcome.result == RESULT_CANCELLED;
    std::string failure, todo = "ask the sender for a new copy";
    if (cancelled)
        failure = "cancelled at '" + name + "'; earlier entries were restored";
    else if (outcome.result == RESULT_CANNOT_CREATE && PlatformDiskWasFull())
        failure = "no space left on the disk of '" + o.destination + "' while writing '" + name + "'";
    else if (outcome.result == RESULT_CANNOT_CREATE)
        std::tie(failure, todo) = CannotCreateMessage(session, o.destination, outcome.entry, name);
    else if (outcome.result == RESULT_NO_MEMORY)
        failure = "out of memory at '" + name + "'";
    else if (outcome.result != RESULT_END)
        failure = "'" + o.archive + "' is damaged at " + EntryLabel(outcome.index, outcome.entry, archive.codepage);
    RestoreDirectoryTimes(reader, o.destination, restored);
    // Names that chose nothing fail the run, after the summary of what the others restored.
    bool unmatched = false;
    if (failure.empty()) {
        failure = UnmatchedFailure(archive, choice, &todo);
        unmatched = !failure.empty();
    }
    if (o.json) {
        // The entry that stopped the run, if any, closes the list.
        if (!failure.empty() && outcome.entry.nameLength) {
            Json entry = EntryReport(outcome.index, outcome.entry, archive.codepage);
            entry["action"] = cancelled ? "cancelled"
                              : outcome.result == RESULT_CANNOT_CREATE ? "refused"
                              : outcome.result == RESULT_CORRUPT ? "damaged"
                                                                   : "failed";
            report["entries"].push_back(entry);
        }
        PrintReport(&report,
                    failure.empty() ? "ok" : outcome.result == RESULT_CORRUPT ? "damaged" : "failed", failure);
    }
    if (!failure.empty() && !unmatched)
        Fail(failure, cancelled                ? ""
                      : PlatformDiskWasFull() ? "free some space, or extract elsewhere"
                                              : todo);
    if (!o.quiet && !o.json)
        Print(stdout, "%s: %s and %s restored in '%s', %s kept; %s in %.2f s\n", o.archive.c_str(),
              Counted(files - session.kept, "file", "files").c_str(),
              Counted(directories, "folder", "folders").c_str(), o.destination.c_str(),
              Counted(session.kept, "existing file", "existing files").c_str(), HumanBytes(total).c_str(),
              ElapsedSeconds(bar));
    if (unmatched) Fail(failure, todo);
    return EXIT_OK;
}

}  // namespace

void AddExtractCommand(CLI::App* app, CommandRun* run) {
    auto o = std::make_shared<ExtractOptions>();
    CLI::App* sub = app->add_subcommand("extract", "Restore an archive's files on this machine");
    sub->add_option("archive", o->archive, "The archive (.exe)")->required()->type_name("ARCHIVE.exe");
    AddNamesOption(sub, &o->names);
    sub->add_option("-o,--output", o->destination, "Destination folder (default: the current one)")
        ->type_name("DIR");
    sub->add_option("--overwrite", o->overwrite,
                    "Existing files: ask (default; 'never' without a terminal), always, never")
        ->check(CLI::IsMember({"ask", "always", "never"}).description(""))
        ->type_name("WHEN");
    AddPasswordOptions(sub, &o->password, false);
    AddCodepageOption(sub, &o->codepage, false);
    sub->add_option("-j,--jobs", o->jobs, "Files inflated at once, 1-64 (default: one per processor)")
        ->check(CLI::Range(1, 64).description(""))
        ->type_name("N");
    sub->add_flag("--ignore-signature", o->ignoreSignature,
                  "Extract an archive whose signature no longer matches it (with a warning); without it such "
                  "an archive is refused, as it is not what its signer sent");
    sub->add_flag("-q,--quiet", o->quiet, "No summary line");
    sub->add_flag("--json", o->json,
                  "Report in JSON on standard output what was written, kept or refused (see 'man lockbox')");
    sub->callback([o, run] { *run = [o] { return WithJsonReport(o->json, o->archive, [o] { return RunExtract(*o); }); }; });
}
