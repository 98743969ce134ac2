// lockbox extract: restores an archive on this machine through the same
// reader the extractor uses.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

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

struct RestoredDirectory {
    std::string path;   // destination '\' name
    FileTimes times;
};

// The reader sets a directory's times before its contents are written,
// which moves them again; setting them once more, innermost first, leaves
// the tree as the archive has it.
void RestoreDirectoryTimes(const std::vector<RestoredDirectory>& dirs) {
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
        FileHandle h = PlatformOpenDirectory(it->path.c_str());
        if (h == NO_FILE) continue;
        PlatformSetTimes(h, &it->times);
        PlatformClose(h);
    }
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

    std::vector<RestoredDirectory> dirs;
    uint64_t files = 0;
    int index = 1;
    std::string failure;
    bool nonAsciiWarned = false;
    (void)nonAsciiWarned;
    for (;; index++) {
        EntryInfo info;
        std::memset(&info, 0, sizeof info);
        PrepareNextEntry(password);
        int r = ExtractEntryEx(&g_Cipher, o.destination.c_str(), EXTRACT_WRITE, &info);
        std::string name = DisplayText(std::string(info.name, info.nameLength), o.codepage);
        if (r == RESULT_END) {
            if (OverwriteFlags.Cancelled) failure = "cancelled at '" + name + "'; earlier entries were restored";
            break;
        }
        if (r == RESULT_OK) {
#ifndef _WIN32
            if (!nonAsciiWarned && !IsPrintableAscii(std::string(info.name, info.nameLength))) {
                nonAsciiWarned = true;
                Warn("names with non-ASCII characters are restored as code page " +
                     std::to_string(o.codepage) + " bytes, not as UTF-8");
            }
#endif
            if (info.attributes & ATTR_DIRECTORY)
                dirs.push_back({o.destination + "\\" + std::string(info.name, info.nameLength), info.times});
            else
                files++;
            continue;
        }
        if (r == RESULT_CANNOT_CREATE)
            failure = "cannot create '" + name + "' in '" + o.destination + "'";
        else if (r == RESULT_NO_MEMORY)
            failure = "out of memory at '" + name + "'";
        else
            failure = "'" + o.archive + "' is damaged at entry " + std::to_string(index) +
                      (name.empty() ? "" : " '" + name + "'");
        break;
    }
    RestoreDirectoryTimes(dirs);
    AskOverwrite = nullptr;
    CloseArchive();
    if (!failure.empty())
        Fail(failure, OverwriteFlags.Cancelled ? "" : "check the destination, or ask the sender for a new copy");
    if (!o.quiet)
        std::printf("%s: %llu files and %llu directories restored in '%s', %llu existing files kept\n",
                    o.archive.c_str(), (unsigned long long)(files - g_Kept),
                    (unsigned long long)dirs.size(), o.destination.c_str(), (unsigned long long)g_Kept);
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
    sub->add_flag("-q,--quiet", o->quiet, "No summary line");
    sub->callback([o, run] { *run = [o] { return RunExtract(*o); }; });
}
