// lockbox create: scans the inputs, prepares the stub and writes the archive.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "pack/errno_text.h"
#include "tool/codepage.h"
#include "tool/commands.h"
#include "tool/console.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/interrupt_cleanup.h"
#include "tool/jobs.h"
#include "tool/name_pattern.h"
#include "tool/password.h"
#include "tool/progress.h"
#include "pack/program_info.h"
#include "pack/resources.h"
#include "tool/scan.h"
#include "tool/signing.h"
#include "tool/system.h"
#include "pack/writer.h"
#include "crypto/key_stretch.h"
#include "payload/format.h"
#include "payload/reader.h"
#include "platform/platform.h"

extern const unsigned char EMBEDDED_STUB[];
extern const std::size_t EMBEDDED_STUB_SIZE;

namespace {

struct CreateOptions {
    std::string output;
    std::vector<std::string> inputs;
    PasswordOptions password;
    std::string title;
    bool titleGiven = false;      // --title "" asks for an empty caption
    std::string runAfter;
    uint32_t openFolder = 0;      // show command; 0: the folder is not opened
    std::string openFolderText;
    std::string background;
    std::string layout = "bottom";
    std::string icon;
    std::string stub;
    int level = 7;
    int jobs = 0;
    int codepage = DEFAULT_CODEPAGE;
    bool quiet = false;
    bool force = false;
    std::string description;
    std::string product;
    std::string company;
    std::string fileVersion = "1.0.0.0";
    SigningOptions signing;
    std::vector<std::string> exclude;
    bool skipUnstorable = false;
    bool followLinks = false;
    bool verbose = false;
    std::string filesFrom;
    std::string keyStretch = "pbkdf2";
    uint32_t keyRounds = DEFAULT_KEY_ROUNDS;
    bool keyRoundsGiven = false;
    std::string salt;             // 32 hex digits; empty: random
};

// Below this many rounds a stretched key is weighed as the plain chain when
// the password's length is judged.
const uint32_t STRONG_KEY_ROUNDS = 100000;

// Sets the settings' key stretch from the options: rounds (0 for the plain
// chain) and the salt, given or from the system's random source.
void ChooseKeyStretch(const CreateOptions& o, ArchiveSettings* settings) {
    if (o.keyStretch == "none") {
        if (o.keyRoundsGiven || !o.salt.empty())
            UsageFail("--key-rounds and --salt belong to a stretched key, not to --key-stretch none",
                      "leave them out, or drop --key-stretch none");
        settings->keyRounds = 0;
        return;
    }
    settings->keyRounds = o.keyRounds;
    if (o.salt.empty()) {
        if (!SystemRandom(settings->keySalt, KEY_SALT_SIZE))
            Fail("the system's random source gives no salt", "give one with --salt");
        return;
    }
    if (o.salt.size() != 2 * KEY_SALT_SIZE || o.salt.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        UsageFail("--salt '" + o.salt + "' is not " + std::to_string(2 * KEY_SALT_SIZE) + " hexadecimal digits",
                  "give 16 bytes in hex, e.g. 000102030405060708090a0b0c0d0e0f");
    for (uint32_t i = 0; i < KEY_SALT_SIZE; i++)
        settings->keySalt[i] = (uint8_t)std::stoul(o.salt.substr(2 * i, 2), nullptr, 16);
}

std::vector<uint8_t> LoadStub(const CreateOptions& o) {
    if (o.stub.empty()) {
        if (EMBEDDED_STUB_SIZE == 0)
            Fail("this lockbox was built without an extractor stub",
                 "give one with --stub FILE, or rebuild lockbox with the stub");
        return std::vector<uint8_t>(EMBEDDED_STUB, EMBEDDED_STUB + EMBEDDED_STUB_SIZE);
    }
    errno = 0;
    std::ifstream in(std::filesystem::u8path(o.stub), std::ios::binary);
    if (!in) Fail(WithErrnoText("cannot open stub '" + o.stub + "'", errno), "check the path given to --stub");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || bytes.empty()) Fail("cannot read stub '" + o.stub + "'", "check the file");
    return bytes;
}

// The show command of --open-folder's HOW: a name, or the number itself;
// 0 when `how` is neither.
uint32_t ShowCommandOf(const std::string& how) {
    if (how.empty() || how == "normal") return 1;                  // SW_SHOWNORMAL
    if (how == "maximized" || how == "maximised") return 3;        // SW_SHOWMAXIMIZED
    if (how == "minimized" || how == "minimised") return 7;        // SW_SHOWMINNOACTIVE
    if (how.size() <= 5 && how.find_first_not_of("0123456789") == std::string::npos && std::stoul(how) <= 65535)
        return (uint32_t)std::stoul(how);
    return 0;
}

uint32_t ShowCommand(const std::string& how) {
    uint32_t show = ShowCommandOf(how);
    if (show == 0)
        UsageFail("--open-folder '" + how + "' is not a way to show a window",
                  "give normal, maximized or minimized");
    return show;
}

// Converts an option's text to the archive's code page, refusing what does
// not fit.
std::string StoredOption(const std::string& text, const char* option, int codepage) {
    std::string stored;
    if (!Utf8ToCodepage(text, codepage, &stored))
        UsageFail(std::string(option) + " '" + text + "' cannot be written in code page " +
                      std::to_string(codepage),
                  "use other characters or another --codepage");
    if (stored.size() > MAX_NAME)
        UsageFail(std::string(option) + " is " + std::to_string(stored.size()) +
                      " bytes long, more than " + std::to_string(MAX_NAME),
                  "shorten it");
    return stored;
}

// An option's text as UTF-16 for the version information.
std::u16string VersionString(const std::string& text, const char* option) {
    std::u16string units;
    if (!Utf8ToUtf16(text, &units)) UsageFail(std::string(option) + " is not valid UTF-8", "check the text");
    if (units.size() > MAX_NAME)
        UsageFail(std::string(option) + " is longer than " + std::to_string(MAX_NAME) + " characters", "shorten it");
    return units;
}

// The window title: given, else the archive's name without ".exe" (when
// the code page holds it).
std::string TitleOf(const CreateOptions& o) {
    if (o.titleGiven) return o.title;
    std::string stem = std::filesystem::u8path(o.output).stem().u8string(), stored;
    return Utf8ToCodepage(stem, o.codepage, &stored) && stored.size() <= MAX_NAME ? stem : std::string();
}

// The program's description: given, else the window title.
std::string DescriptionOf(const CreateOptions& o) {
    if (!o.description.empty()) return o.description;
    std::string title = TitleOf(o);
    return title.empty() ? "Self-extracting archive" : title;
}

// An existing output is replaced only when it is an archive (made again)
// or --force says so: a typo in -o must not turn a document into a program.
void CheckOutput(const CreateOptions& o) {
    std::error_code ec;
    std::filesystem::path out = std::filesystem::u8path(o.output);
    // ExaminePath rather than std::filesystem: it reads paths of any length.
    PathInfo info;
    std::string error;
    bool exists = ExaminePath(o.output, &info, &error);
    if (exists && info.isDirectory)
        UsageFail("the output '" + o.output + "' is a folder", "give the archive's file name, e.g. OUT.exe");
    // An output that is also an input would be emptied before it is read.
    for (const std::string& input : o.inputs) {
        if (std::filesystem::equivalent(std::filesystem::u8path(input), out, ec))
            UsageFail("the output '" + o.output + "' is also the input '" + input + "'",
                      "write the archive somewhere else");
    }
    std::filesystem::path folder = out.parent_path();
    if (!folder.empty() && !IsDirectory(folder.u8string()))
        Fail("the folder '" + folder.u8string() + "' of the output does not exist",
             "create it first, or write the archive elsewhere");
    if (!o.force && exists) {
        OwnedReader existing;
        if (ReadArchiveHeaderFrom(&existing, o.output.c_str()) != RESULT_OK)
            UsageFail("the output '" + o.output + "' exists and is not a Lockbox archive",
                      "give --force to replace it, or another name");
    }
    std::string extension = out.extension().u8string();
    if (extension.size() != 4 || CaseFolded(extension) != ".exe")
        Warn("the output '" + o.output + "' does not end in .exe: Windows runs it only under that name");
}

// What Explorer shows under the file's properties.
VersionInfo ProgramDetails(const CreateOptions& o) {
    VersionInfo info;
    if (!ParseVersion(o.fileVersion, info.version))
        UsageFail("--file-version '" + o.fileVersion + "' is not of the form 1.2.3.4",
                  "give one to four numbers of 0-65535 separated by dots");
    std::string description = DescriptionOf(o);
    info.description = VersionString(description, "--description");
    info.product = VersionString(o.product.empty() ? description : o.product, "--product");
    info.company = VersionString(o.company, "--company");
    return info;
}

std::string Percent(uint64_t part, uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * (double)part / (double)whole : 0.0);
    return text;
}

// The paths listed in `file` ('-': standard input), one per line; empty
// lines are skipped.
std::vector<std::string> PathsFrom(const std::string& file) {
    std::ifstream in;
    if (file != "-") {
        errno = 0;
        in.open(std::filesystem::u8path(file), std::ios::binary);
        if (!in)
            Fail(WithErrnoText("cannot open '" + file + "' given to --files-from", errno),
                 "check the path and its permissions");
    }
    std::istream& lines = file == "-" ? std::cin : in;
    std::vector<std::string> paths;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) paths.push_back(line);
    }
    return paths;
}

// `name` (stored, '\\' separators) as an --exclude argument for this
// platform's shell: the platform's separator, quoted.
std::string ExcludeArgument(const std::string& name) {
    std::string path = WithPlatformSeparators(name);
    if (PLATFORM_SEPARATOR == '\\') return "\"" + path + "\"";
    std::string quoted = "'";
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Names every input that cannot be stored, one line each. Unless `skip`,
// then stops with nothing written, saying how to go on: the --exclude
// options that leave exactly those out, or --skip-unstorable.
void ReportUnstorable(const std::vector<Unstorable>& unstorable, bool skip) {
    if (unstorable.empty()) return;
    std::string excludes;
    for (const Unstorable& u : unstorable) {
        std::string kept = u.kept.empty() || !skip ? "" : "; '" + u.kept + "' is stored";
        Print(stderr, "lockbox: %s '%s': %s%s\n", skip ? "left out" : "cannot store", u.path.c_str(), u.reason.c_str(),
              kept.c_str());
        excludes += " --exclude " + ExcludeArgument(u.name);
    }
    if (skip) return;
    Fail(Counted(unstorable.size(), "input", "inputs") + " cannot be stored; nothing was written",
         "leave " + std::string(unstorable.size() == 1 ? "it" : "them") + " out with" + excludes +
             ", or store the rest with --skip-unstorable");
}

// --run-after must name a stored file; when it does not, the hint names the
// stored files whose names end in what was given (a name without its
// folders, or in another case), else one stored file as an example.
void CheckRunAfter(const std::string& given, const std::string& stored, const std::vector<WriterEntry>& entries,
                   int codepage) {
    std::vector<std::string> candidates;
    std::string example, tail = CaseFolded("\\" + CodepageToUtf8(stored, codepage));
    for (const WriterEntry& e : entries) {
        if (e.attributes & ATTR_DIRECTORY) continue;
        if (e.name == stored) return;
        std::string name = CaseFolded("\\" + CodepageToUtf8(e.name, codepage));
        if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
            candidates.push_back(ShownName(e.name, codepage));
        if (example.empty()) example = ShownName(e.name, codepage);
    }
    std::string todo;
    const size_t SHOWN = 5;
    for (size_t i = 0; i < candidates.size() && i < SHOWN; i++)
        todo += (i ? ", '" : "'") + candidates[i] + "'";
    if (candidates.size() > SHOWN) todo += " and " + std::to_string(candidates.size() - SHOWN) + " more";
    if (!todo.empty()) todo = (candidates.size() == 1 ? "did you mean " : "one of ") + todo + "?";
    else if (!example.empty()) todo = "give a stored name as 'lockbox list' shows it, e.g. '" + example + "'";
    UsageFail("--run-after '" + given + "' is not a file in the archive", todo);
}

int RunCreate(CreateOptions o) {
    std::vector<std::string> listed;
    if (!o.filesFrom.empty()) listed = PathsFrom(o.filesFrom);
    if (o.inputs.empty() && listed.empty()) UsageFail("no paths to store", "give files and folders, or --files-from FILE");
    ArchiveSettings settings;
    settings.level = o.level;
    // A compression job reads its input and may spill to a temporary file;
    // the files waiting to be written add one more each.
    settings.jobs = JobsWithinOpenFileLimit(o.jobs > 0 ? o.jobs : HardwareThreads(), 3, o.jobs > 0);
    settings.temporaryFiles = &INTERRUPT_CLEANUP;
    settings.openFolderShowCmd = o.openFolder;
    settings.layoutMode = o.layout == "none" ? LAYOUT_NONE : o.layout == "top" ? LAYOUT_TOP : LAYOUT_BOTTOM;
    settings.title = StoredOption(TitleOf(o), "--title", o.codepage);
    settings.codepage = (uint16_t)o.codepage;
    std::string runAfter;
    if (!o.runAfter.empty()) {
        runAfter = StoredOption(o.runAfter, "--run-after", o.codepage);
        for (char& c : runAfter)
            if (c == '/') c = '\\';
    }

    // Found now rather than after compressing everything.
    CheckOutput(o);

    CheckSigningOptions(o.signing);
    VersionInfo details = ProgramDetails(o);

    // Pictures and stub before the inputs: their errors are cheaper to find.
    std::vector<uint8_t> stub = LoadStub(o);
    BitmapResource background;
    IconResource icon;
    ResourceChanges changes;
    std::vector<uint8_t> version = VersionResource(details);
    std::string manifest = ApplicationManifest();
    changes.version = &version;
    changes.manifest = &manifest;
    // The writer adds salt and rounds of its own when it stretches the key.
    changes.dropKeyStretch = true;
    if (!o.background.empty()) {
        std::string why = LoadBitmapFile(o.background, &background);
        if (!why.empty()) Fail(why, "check the path, or save the picture as an uncompressed .bmp");
        changes.background = &background;
        settings.backgroundWidth = background.width;
        settings.backgroundHeight = background.height;
    }
    if (!o.icon.empty()) {
        std::string why = LoadIconFile(o.icon, &icon);
        if (!why.empty()) Fail(why, "check the path, or give a Windows .ico file");
        changes.icon = &icon;
    }
    std::string why = ReplaceStubResources(&stub, changes);
    if (!why.empty())
        Fail("cannot edit the resources of stub '" + (o.stub.empty() ? "(built in)" : o.stub) + "': " + why,
             "give a stub built by this project with --stub");

    ScanOptions scanOptions;
    scanOptions.codepage = o.codepage;
    scanOptions.output = o.output;
    scanOptions.exclude = PatternsOf(o.exclude);
    scanOptions.followLinks = o.followLinks;
    ScanResult scan = ScanInputs(o.inputs, listed, scanOptions);
    ReportUnstorable(scan.unstorable, o.skipUnstorable);
    if (o.verbose)
        for (const std::string& link : scan.links) Print(stderr, "lockbox: not followed: '%s' (a symbolic link)\n", link.c_str());
    const ScanTotals& totals = scan.totals;
    std::vector<WriterEntry>& entries = scan.entries;
    if (entries.empty() && !scan.unstorable.empty())
        Fail("nothing is left to store: every input was left out", "see the reasons above");
    if (entries.empty())
        UsageFail("nothing is left to store: every input is excluded", "check the --exclude patterns");
    if (!runAfter.empty()) {
        CheckRunAfter(o.runAfter, runAfter, entries, o.codepage);
        settings.runAfter = runAfter;
    }

    ChooseKeyStretch(o, &settings);
    Password password = ObtainPassword(o.password, true,
                                       settings.keyRounds >= STRONG_KEY_ROUNDS ? WARN_STRETCHED : WARN_PLAIN,
                                       o.codepage);
    settings.usePassword = password.use;
    settings.password = password.units;
    if (password.use && settings.keyRounds == 0)
        Warn("--key-stretch none: the key is the plain MD5 chain without salt, so the password is fast "
             "to guess offline (leave the option out for a stretched key)");

    ProgressBar bar;
    StartProgress(&bar, StderrIsTerminal() && !o.quiet);
    FinishFn sign;
    if (o.signing.Wanted())
        sign = [&o](const std::string& path) { return SignArchive(o.signing, DescriptionOf(o), path); };
    WriteResult result = WriteArchive(stub, settings, entries, o.output, UpdateProgress, &bar, sign);
    FinishProgress(&bar);
    if (!result.ok && PlatformDiskWasFull())
        Fail("no space left on the disk of '" + o.output + "' while writing it",
             "free some space, or write elsewhere; nothing was written");
    if (!result.ok) {
        // A folder that takes no files is said in the system's words.
        std::string reason = WhyCannotCreate(o.output);
        Fail("cannot create '" + o.output + "': " + (reason.empty() ? result.error : reason), "nothing was written");
    }

    if (!o.quiet) {
        PathInfo written;
        std::string error;
        uint64_t outSize = ExaminePath(o.output, &written, &error) ? written.size : 0;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", ElapsedSeconds(bar));
        // The ratio compares the appended archive, not the whole .exe, with the input.
        int64_t at = LocatePayloadInImage(stub.data(), stub.size());
        uint64_t archiveSize = at > 0 && (uint64_t)at <= outSize ? outSize - (uint64_t)at : outSize;
        std::string skipped;
        if (totals.special) skipped += " (" + Counted(totals.special, "special file", "special files") + " skipped)";
        if (totals.excluded) skipped += " (" + Counted(totals.excluded, "file or folder", "files and folders") + " excluded)";
        if (!scan.unstorable.empty()) skipped += " (" + std::to_string(scan.unstorable.size()) + " left out)";
        if (totals.links)
            skipped += " (" + Counted(totals.links, "symbolic link", "symbolic links") +
                       " not followed; --follow-links stores what they point to)";
        Print(stdout, "%s: %s, %s, %s in%s; archive %s (%s) + extractor %s; %s\n", o.output.c_str(),
              Counted(totals.files, "file", "files").c_str(),
              Counted(totals.directories, "folder", "folders").c_str(), HumanBytes(totals.bytes).c_str(),
              skipped.c_str(), HumanBytes(archiveSize).c_str(), Percent(archiveSize, totals.bytes).c_str(),
              HumanBytes(outSize - archiveSize).c_str(), seconds);
    }
    return EXIT_OK;
}

}  // namespace

void SettleOptionalValues(std::vector<std::string>* args) {
    for (size_t i = 0; i + 1 < args->size(); i++) {
        std::string& arg = (*args)[i];
        // "--" ends the options; what follows is a path even if it looks like one.
        if (arg == "--") return;
        if (arg == "--open-folder" && ShowCommandOf((*args)[i + 1]) == 0) arg = "--open-folder=normal";
    }
}

void AddCodepageOption(CLI::App* app, int* codepage, bool forCreate) {
    app->add_option("--codepage", *codepage,
                    forCreate ? "Code page of names and title in the archive, the recipient's ANSI code page: "
                                "1252 (default; Western), 1250 (Central European), 1251 (Cyrillic), 1253 "
                                "(Greek), 1254 (Turkish), 1255 (Hebrew), 1256 (Arabic), 1257 (Baltic), 1258 "
                                "(Vietnamese), 874 (Thai), or 437 / 850 (DOS); the archive records it"
                              : "Code page of names and title in the archive: one of " + KnownCodepages() +
                                    " (default: the one the archive records, else 1252)")
        ->type_name("CP")
        ->check([](const std::string& text) -> std::string {
            int codepage = std::atoi(text.c_str());
            if (IsKnownCodepage(codepage) && text == std::to_string(codepage)) return "";
            if (codepage == 932 || codepage == 936 || codepage == 949 || codepage == 950)
                return "code page " + text +
                       " is a double-byte code page, which archives cannot use (a character's second "
                       "byte can be a backslash, which the extractor would take as a folder separator)";
            return "code page " + text + " is not one of " + KnownCodepages();
        });
}

void AddCreateCommand(CLI::App* app, CommandRun* run) {
    auto o = std::make_shared<CreateOptions>();
    CLI::App* sub = app->add_subcommand("create", "Make a self-extracting archive of files and folders");
    sub->footer(
        "Names are stored relative to each PATH's last component, with '\\' separators; a path\n"
        "from --files-from is stored under the relative path written on its line.\n"
        "Symbolic links inside a folder are not followed unless -L is given (the summary counts\n"
        "them, -v names them); special files are skipped; a PATH that is itself a link is followed.\n"
        "Everything that cannot be stored (names that differ only in case, names Windows forbids or\n"
        "the code page cannot hold, names over 260 bytes, unreadable files) is named in one list\n"
        "before anything is written; --exclude or --skip-unstorable leaves it out.\n"
        "The password is taken as UTF-8 and hashed as UTF-16; the extractor converts what the\n"
        "recipient types through the archive's code page, so characters that code page holds\n"
        "(for 1252: ASCII and Western European letters) give the same key; create warns about others.\n"
        "The key is stretched: salted PBKDF2-HMAC-SHA256 over 600000 rounds makes every guess at\n"
        "the password slow; --key-stretch none writes the original, fast-to-guess MD5 chain.\n"
        "Without -p, --password-file or --no-password the password is asked twice on the terminal.\n"
        "Every archive declares that it runs with the rights of whoever starts it, so Windows\n"
        "never asks for administrator rights because of a name like setup.exe. With --sign-cert\n"
        "and --sign-key (or --sign-pkcs12) the archive is signed through osslsigncode before it\n"
        "is moved into place; if signing fails, nothing is written.");
    sub->add_option("-o,--output", o->output, "The archive to write (an .exe)")->required()->type_name("OUT.exe");
    sub->add_option("paths", o->inputs, "Files and folders to store")->type_name("PATH");
    sub->add_option("--files-from", o->filesFrom,
                    "Also store the paths listed in FILE, one per line ('-': standard input), each under "
                    "the relative path written there, with the folders on the way (as find prints them)")
        ->type_name("FILE");
    sub->add_option("--exclude", o->exclude,
                    "Leave out names matching PATTERN, with all they hold, before they are examined: a "
                    "pattern without '/' is held against each name ('.git', '*.tmp'), one with '/' against "
                    "the path as stored ('in/secrets/*', 'in/docs/Index.html'); letters match in either "
                    "case, but on Linux a pattern without '*' or '?' only as written; may be given again")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    sub->add_flag("--skip-unstorable", o->skipUnstorable,
                  "Store what can be stored and leave out, naming each on standard error, what cannot: "
                  "names Windows cannot hold or tells apart only by case (the first in sorted order is "
                  "kept), names over 260 bytes or outside the code page, unreadable files and folders");
    sub->add_flag("-L,--follow-links", o->followLinks,
                  "Store what symbolic links inside the folders point to, files and folders, under the "
                  "link's name; a link that leads nowhere or into a folder that holds it cannot be stored");
    sub->add_flag("-v,--verbose", o->verbose, "Also name every symbolic link that is not followed");
    AddPasswordOptions(sub, &o->password, true);
    sub->add_option("--key-stretch", o->keyStretch,
                    "How the key is made from the password: pbkdf2 (the default: salted PBKDF2-HMAC-SHA256, "
                    "slow to guess; the extractor needs Windows 7 or later) or none (the plain MD5 chain of "
                    "the original format, fast to guess)")
        ->check(CLI::IsMember({"pbkdf2", "none"}).description(""))
        ->type_name("KIND");
    CLI::Option* keyRounds =
        sub->add_option("--key-rounds", o->keyRounds,
                        "PBKDF2 rounds of the stretched key, 1-10000000 (default 600000: about half a "
                        "second for the recipient, that much for every guess an attacker makes)")
            ->check(CLI::Range((uint32_t)1, MAX_KEY_ROUNDS).description(""))
            ->type_name("N");
    sub->add_option("--salt", o->salt,
                    "The stretched key's 16-byte salt as 32 hex digits (default: random), for a reproducible "
                    "archive")
        ->type_name("HEX");
    CLI::Option* title =
        sub->add_option("--title", o->title, "Title of the extractor's window (default: the archive's name without .exe)")
            ->type_name("TEXT");
    sub->add_option("--run-after", o->runAfter,
                    "Open this stored file after extraction (a name as 'lockbox list' shows it)")
        ->type_name("NAME");
    CLI::Option* openFolder =
        sub->add_option("--open-folder", o->openFolderText,
                        "Open the destination folder after extracting, in a window shown normal (the default), "
                        "maximized or minimized (a Windows show-command number works too); any other word after "
                        "it stays a path to store")
            ->expected(0, 1)
            ->type_name("[HOW]");
    sub->add_option("--background", o->background,
                    "Background picture (.bmp) of the extractor's window; the window takes its size")
        ->type_name("FILE.bmp");
    sub->add_option("--layout", o->layout,
                    "Where the password field and buttons go over the background: top, bottom (the default) "
                    "or none (where the template puts them)")
        ->check(CLI::IsMember({"none", "top", "bottom"}).description(""))
        ->type_name("WHERE");
    sub->add_option("--icon", o->icon, "Icon (.ico) of the archive")->type_name("FILE.ico");
    sub->add_option("--stub", o->stub, "Extractor stub to use instead of the built-in one (32-bit or x86-64)")
        ->type_name("FILE");
    sub->add_option("-l,--level", o->level,
                    "Compression: 0 stores, 1 is fastest, 12 smallest (default 7); files over 8 MiB are "
                    "compressed in 1 MiB pieces that every processor helps with")
        ->check(CLI::Range(0, 12).description(""))
        ->type_name("0-12");
    sub->add_option("-j,--jobs", o->jobs,
                    "Files compressed at once, 1-64 (default: one per processor); a file over 8 MiB is shared "
                    "among them; the archive is the same for any value")
        ->check(CLI::Range(1, 64).description(""))
        ->type_name("N");
    AddCodepageOption(sub, &o->codepage, true);
    sub->add_option("--description", o->description,
                    "Description Windows shows for the archive (default: the title, else \"Self-extracting archive\")")
        ->type_name("TEXT");
    sub->add_option("--product", o->product, "Product name in the archive's details (default: the description)")
        ->type_name("TEXT");
    sub->add_option("--company", o->company, "Company name in the archive's details (default: none)")
        ->type_name("TEXT");
    sub->add_option("--file-version", o->fileVersion, "Version in the archive's details (default 1.0.0.0)")
        ->type_name("A.B.C.D");
    AddSigningOptions(sub, &o->signing);
    sub->add_flag("-f,--force", o->force, "Replace the output even when it is not a Lockbox archive");
    sub->add_flag("-q,--quiet", o->quiet, "No progress bar and no summary");
    sub->callback([o, run, title, openFolder, keyRounds] {
        o->titleGiven = title->count() > 0;
        o->keyRoundsGiven = keyRounds->count() > 0;
        if (openFolder->count() > 0) o->openFolder = ShowCommand(o->openFolderText);
        *run = [o] { return RunCreate(*o); };
    });
}
