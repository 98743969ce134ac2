// lockbox extract: restores an archive on this machine through the same
// reader the extractor uses.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "pack/parallel_extract.h"
#include "pack/tool_archive.h"
#include "pack/tool_codepage.h"
#include "pack/tool_commands.h"
#include "pack/tool_error.h"
#include "pack/tool_system.h"
#include "payload/reader.h"

namespace {

struct ExtractOptions {
    std::string archive;
    std::string destination = ".";
    std::string overwrite = "ask";
    PasswordOptions password;
    int codepage = DEFAULT_CODEPAGE;
    int jobs = 0;  // 0: one per processor
    bool quiet = false;
};

// The code page of the archive being extracted, for the question's text.
int g_QuestionCodepage = DEFAULT_CODEPAGE;
// "none" keeps every existing file from here on. The extractor's No to All
// also stops new files from being written, which loses data the user never
// declined; the tool keeps only what exists.
bool g_KeepAllExisting = false;
// Existing files left as they were, for the summary.
uint64_t g_Kept = 0;

int Keep() {
    g_Kept++;
    return 0;
}

int AskOnTerminal(const char* name) {
    if (g_KeepAllExisting) return Keep();
    std::string shown = DisplayText(name, g_QuestionCodepage);
    for (;;) {
        std::string answer;
        if (!ReadAnswerLine("'" + shown + "' exists. Overwrite? [y]es, [n]o, [a]ll, n[o]ne, [c]ancel: ",
                            &answer)) {
            OverwriteFlags.Cancelled = 1;
            return 0;
        }
        if (answer == "y" || answer == "yes") return 1;
        if (answer == "n" || answer == "no") return Keep();
        if (answer == "a" || answer == "all") {
            OverwriteFlags.YesToAll = 1;
            return 1;
        }
        if (answer == "o" || answer == "none") {
            g_KeepAllExisting = true;
            return Keep();
        }
        if (answer == "c" || answer == "cancel") {
            OverwriteFlags.Cancelled = 1;
            return 0;
        }
    }
}

int KeepExisting(const char*) { return Keep(); }

struct RestoredEntry {
    std::string name;   // as stored: code-page bytes, '\\' separators
    bool directory;
    FileTimes times;
};

bool HasHighBytes(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return true;
    return false;
}

// The reader writes names as their stored code-page bytes. Where the file
// system wants UTF-8 (POSIX), give every restored entry its UTF-8 name,
// innermost first, so that each parent still has its stored name while its
// children move. A name that is taken already keeps its stored form: nothing
// is replaced. Returns every entry's path as it ends up ('/' separators).
std::vector<std::string> GiveNativeNames(const std::string& destination,
                                         const std::vector<RestoredEntry>& entries, int codepage) {
    std::vector<std::string> leaves(entries.size());
    std::vector<std::string> parents(entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        std::string name = entries[i].name;
        for (char& c : name)
            if (c == '\\') c = '/';
        size_t slash = name.rfind('/');
        parents[i] = slash == std::string::npos ? "" : name.substr(0, slash + 1);
        leaves[i] = slash == std::string::npos ? name : name.substr(slash + 1);
    }
    std::map<std::string, std::string> renamed;  // stored name -> final leaf
    bool warned = false;
    for (size_t i = entries.size(); i-- > 0;) {
        if (StoredNamesAreNative() || !HasHighBytes(leaves[i])) continue;
        std::string wanted = CodepageToUtf8(leaves[i], codepage);
        std::string at = destination + "/" + parents[i];
        if (RenameWithoutReplacing(at + leaves[i], at + wanted)) {
            renamed[entries[i].name] = wanted;
        } else if (!warned) {
            warned = true;
            Warn("'" + DisplayText(entries[i].name, codepage) +
                 "' keeps its code-page name: its UTF-8 name is taken or cannot be used");
        }
    }
    // Final paths, outermost first: a parent's final path is known before its children's.
    std::map<std::string, std::string> finalPath;
    std::vector<std::string> paths(entries.size());
    for (size_t i = 0; i < entries.size(); i++) {
        const std::string& stored = entries[i].name;
        size_t slash = stored.rfind('\\');
        std::string parent = slash == std::string::npos ? "" : stored.substr(0, slash);
        auto p = finalPath.find(parent);
        std::string base = parent.empty() ? destination
                           : p != finalPath.end() ? p->second
                                                  : destination + "/" + parents[i].substr(0, parents[i].size() - 1);
        auto r = renamed.find(stored);
        paths[i] = base + "/" + (r != renamed.end() ? r->second : leaves[i]);
        finalPath[stored] = paths[i];
    }
    return paths;
}

// The reader sets a directory's times before its contents are written,
// which moves them again; setting them once more, innermost first, leaves
// the tree as the archive has it.
void RestoreDirectoryTimes(const std::vector<RestoredEntry>& entries, const std::vector<std::string>& paths) {
    for (size_t i = entries.size(); i-- > 0;) {
        if (!entries[i].directory) continue;
        FileHandle h = PlatformOpenDirectory(paths[i].c_str());
        if (h == NO_FILE) continue;
        PlatformSetTimes(h, &entries[i].times);
        PlatformClose(h);
    }
}

// Why an entry could not be created; names the link when the entry's path
// passes through one below the destination.
std::string CannotCreateMessage(const std::string& destination, const EntryInfo& entry,
                                const std::string& shownName) {
    std::string link;
    if (char* path = BuildEntryPath(destination.c_str(), entry.name)) {
        uint32_t nameAt = (uint32_t)(std::strlen(path) - std::strlen(entry.name));
        uint32_t end = FindLinkInPath(path, nameAt);
        if (end) link.assign(entry.name, end - nameAt);
        PlatformFree(path);
    }
    if (link.empty()) return "cannot create '" + shownName + "' in '" + destination + "'";
    return "will not write '" + shownName + "': '" + link + "' in '" + destination +
           "' is a symbolic link or junction, which could lead outside the destination";
}

int RunExtract(const ExtractOptions& o) {
    Password password = ObtainPassword(o.password, false, false);
    OpenedArchive archive = OpenArchive(o.archive, password);

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::u8path(o.destination), ec);
    if (!std::filesystem::is_directory(std::filesystem::u8path(o.destination))) {
        CloseArchive();
        Fail("cannot create the destination '" + o.destination + "'", "check the path and its permissions");
    }

    g_QuestionCodepage = o.codepage;
    g_KeepAllExisting = false;
    g_Kept = 0;
    if (o.overwrite == "always") {
        OverwriteFlags.YesToAll = 1;
        AskOverwrite = KeepExisting;
    } else if (o.overwrite == "ask" && StdinIsTerminal()) {
        AskOverwrite = AskOnTerminal;
    } else {
        AskOverwrite = KeepExisting;  // "never", and "ask" without anyone to ask
    }

    std::vector<RestoredEntry> restored;
    uint64_t files = 0, directories = 0;
    ExtractRun run;
    run.archivePath = o.archive.c_str();
    run.destination = o.destination.c_str();
    // A question on the terminal waits for the user anyway; one entry at a
    // time keeps the prompts in step with what is on disk.
    run.jobs = AskOverwrite == AskOnTerminal ? 1 : o.jobs > 0 ? o.jobs : HardwareThreads();
    run.nextKey = [&] { PrepareNextEntry(password); };
    run.restored = [&](const EntryInfo& info) {
        bool directory = (info.attributes & ATTR_DIRECTORY) != 0;
        (directory ? directories : files)++;
        // Only directories (times) and code-page names (renames) need a
        // second look; keeping just those holds memory flat in the file count.
        std::string stored(info.name, info.nameLength);
        if (directory || (!StoredNamesAreNative() && HasHighBytes(stored)))
            restored.push_back({stored, directory, info.times});
    };
    ExtractOutcome outcome = ExtractAll(run);
    std::string name = DisplayText(std::string(outcome.entry.name, outcome.entry.nameLength), o.codepage);
    std::string failure;
    if (outcome.result == RESULT_END && OverwriteFlags.Cancelled)
        failure = "cancelled at '" + name + "'; earlier entries were restored";
    else if (outcome.result == RESULT_CANNOT_CREATE)
        failure = CannotCreateMessage(o.destination, outcome.entry, name);
    else if (outcome.result == RESULT_NO_MEMORY)
        failure = "out of memory at '" + name + "'";
    else if (outcome.result != RESULT_END)
        failure = "'" + o.archive + "' is damaged at entry " + std::to_string(outcome.index) +
                  (name.empty() ? "" : " '" + name + "'");
    RestoreDirectoryTimes(restored, GiveNativeNames(o.destination, restored, o.codepage));
    AskOverwrite = nullptr;
    CloseArchive();
    if (!failure.empty())
        Fail(failure, OverwriteFlags.Cancelled ? "" : "check the destination, or ask the sender for a new copy");
    if (!o.quiet)
        std::printf("%s: %llu files and %llu directories restored in '%s', %llu existing files kept\n",
                    o.archive.c_str(), (unsigned long long)(files - g_Kept),
                    (unsigned long long)directories, o.destination.c_str(), (unsigned long long)g_Kept);
    return EXIT_OK;
}

}  // namespace

void AddExtractCommand(CLI::App* app, CommandRun* run) {
    auto o = std::make_shared<ExtractOptions>();
    CLI::App* sub = app->add_subcommand("extract", "Restore an archive's files on this machine");
    sub->add_option("archive", o->archive, "The archive (.exe)")->required()->type_name("ARCHIVE.exe");
    sub->add_option("-o,--output", o->destination, "Destination directory (default: the current one)")
        ->type_name("DIR");
    sub->add_option("--overwrite", o->overwrite,
                    "Existing files: ask (default; 'never' without a terminal), always, never")
        ->check(CLI::IsMember({"ask", "always", "never"}));
    AddPasswordOptions(sub, &o->password);
    AddCodepageOption(sub, &o->codepage);
    sub->add_option("-j,--jobs", o->jobs, "Files inflated at once (default: one per processor)")
        ->check(CLI::Range(1, 64))
        ->type_name("N");
    sub->add_flag("-q,--quiet", o->quiet, "No summary line");
    sub->callback([o, run] { *run = [o] { return RunExtract(*o); }; });
}
