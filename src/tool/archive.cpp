#include "tool/archive.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>

#include "crypto/wipe.h"
#include "pack/errno_text.h"
#include "tool/codepage.h"
#include "tool/commands.h"
#include "tool/entry_text.h"
#include "tool/error.h"
#include "tool/name_pattern.h"
#include "tool/system.h"
#include "platform/platform.h"

// The password as the key derivation takes it: null when none is used.
static const char16_t* KeyPassword(const Password& password) {
    return password.use ? password.units.c_str() : nullptr;
}

// The code page the writer recorded in the first entry's header; 0 when
// there is no entry or none (or an unknown one) was recorded.
static int RecordedCodepage(Reader* reader) {
    int codepage = PeekRecordedCodepage(reader);
    return IsKnownCodepage(codepage) ? codepage : 0;
}

OpenedArchive::OpenedArchive(const std::string& archivePath, const PasswordOptions& options, int givenCodepage)
    : path(archivePath) {
    // Opening a FIFO or a device for reading can wait forever.
    PathInfo info;
    std::string error;
    if (!ExaminePath(path, &info, &error))
        Fail("cannot open '" + path + "': " + error, "check the path and its permissions");
    if (info.isDirectory) Fail("'" + path + "' is a folder", "give the archive's .exe file");
    if (!info.isRegular)
        Fail("'" + path + "' is not a regular file", "give the archive's .exe file");
    if (ReadArchiveHeaderFrom(&reader, path.c_str()) != RESULT_OK) {
        errno = 0;
        FileHandle probe = PlatformOpenRead(path.c_str());
        if (probe == NO_FILE)
            Fail(WithErrnoText("cannot open '" + path + "'", errno), "check the path and its permissions");
        PlatformClose(probe);
        Fail("'" + path + "' is not a Lockbox archive, or its header is damaged",
             "check that it is an .exe made by lockbox create");
    }
    int found = ReadKeyStretchOf(path.c_str(), &stretch);
    if (found == RESULT_CORRUPT)
        Fail("'" + path + "' is damaged: the salt and rounds of its key cannot be read",
             "ask the sender for a new copy");
    stretched = found == RESULT_OK;
    bool sourceGiven = options.passwordGiven || !options.passwordFile.empty() || options.noPassword;
    Password password;
    if (sourceGiven || !CheckPassword(&key, nullptr, reader.passwordCheckBlock))
        password = ObtainPassword(options, false, WARN_NONE);
    hasPassword = password.use;
    // The typed password, or what a stretched key derives from it, once.
    const char16_t* keyPassword = KeyPassword(password);
    char16_t stretchedPassword[STRETCHED_PASSWORD_UNITS + 1];
    if (keyPassword && stretched) {
        if (!StretchPassword(keyPassword, &stretch, stretchedPassword))
            Fail("cannot derive the key of '" + path + "': this system offers no PBKDF2-HMAC-SHA256",
                 "open the archive on another system");
        keyPassword = stretchedPassword;
    }
    bool fits = CheckPassword(&key, keyPassword, reader.passwordCheckBlock);
    if (fits) DeriveStreamKey(&key, keyPassword);
    WipeBytes(stretchedPassword, sizeof stretchedPassword);
    if (!fits) {
        Fail("wrong password for '" + path + "'",
             password.use ? "give the password the archive was made with"
                          : "the archive has a password; give it with -p, --password-file or at the prompt");
    }
    int recorded = RecordedCodepage(&reader);
    codepage = givenCodepage ? givenCodepage : recorded ? recorded : DEFAULT_CODEPAGE;
    codepageSource = givenCodepage ? "given" : recorded ? "recorded in the archive" : "default";
    if (reader.runAfterLength) {
        char name[MAX_NAME];
        CipherContext ctx = key;
        DecryptStream(&ctx, reader.runAfterName, name, reader.runAfterLength);
        runAfter.assign(name, reader.runAfterLength);
    }
}

// `n` with a comma between groups of three digits.
static std::string Grouped(uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); i++) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string KeyDescription(const OpenedArchive& archive) {
    if (!archive.hasPassword) return "none (no password: anyone can open the archive)";
    if (!archive.stretched) return "plain MD5 chain, no salt (fast to guess)";
    return "PBKDF2-HMAC-SHA256, " + Grouped(archive.stretch.rounds) + " rounds, salted";
}

EntryChoice ChooseEntries(OpenedArchive& archive, const std::vector<std::string>& typed) {
    EntryChoice choice;
    if (typed.empty()) return choice;
    for (;;) {
        EntryInfo info;
        CipherContext ctx = archive.key;
        if (ReadEntrySkippingData(&archive.reader, &ctx, &info) != RESULT_OK) break;
        choice.order.push_back(CodepageToUtf8(StoredName(info), archive.codepage));
    }
    RewindToFirstEntry(&archive.reader);
    choice.all = false;
    choice.names = SelectedNames(PatternsOf(typed), choice.order);
    for (const std::string& pattern : typed)
        if (SelectedNames(PatternsOf({pattern}), choice.order).empty())
            choice.unmatched.push_back(pattern);
    if (choice.names.empty()) {
        std::string todo;
        Fail(UnmatchedFailure(archive, choice, &todo), todo);
    }
    return choice;
}

std::string UnmatchedFailure(const OpenedArchive& archive, const EntryChoice& choice, std::string* todo) {
    if (choice.unmatched.empty()) return std::string();
    std::string names, folder;
    for (const std::string& pattern : choice.unmatched) {
        names += (names.empty() ? "'" : ", '") + pattern + "'";
        char last = pattern.empty() ? 0 : pattern.back();
        if (folder.empty() && (last == '/' || last == PLATFORM_SEPARATOR || IsDirectory(pattern))) folder = pattern;
    }
    *todo = folder.empty() ? "see the names with 'lockbox list'"
                           : "to extract into '" + folder + "', give it with -o; see the names with 'lockbox list'";
    return "no entry of '" + archive.path + "' matches " + names;
}

void AddNamesOption(CLI::App* app, std::vector<std::string>* names) {
    app->add_option("names", *names,
                    "Only the entries with these names, or in these folders; '*' and '?' work as in "
                    "create --exclude (the folders above a chosen entry come with it)")
        ->type_name("NAME");
}
