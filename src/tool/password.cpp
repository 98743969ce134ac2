#include "tool/password.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "pack/errno_text.h"
#include "tool/codepage.h"
#include "tool/error.h"
#include "tool/system.h"

// Below these lengths a password falls quickly to offline guessing: under
// the plain chain a guess costs three unsalted MD5s; a stretched key makes
// each guess some hundred thousand times dearer, which buys about three
// characters.
static const size_t SHORT_PASSWORD = 12;
static const size_t SHORT_STRETCHED_PASSWORD = 8;

void AddPasswordOptions(CLI::App* app, PasswordOptions* options, bool forCreate) {
    app->add_option_function<std::string>(
           "-p,--password",
           [options](const std::string& value) {
               options->password = value;
               options->passwordGiven = true;
           },
           "Password (visible to other users in the process list; prefer --password-file "
           "or the prompt)")
        ->type_name("PW")
        ->allow_extra_args(false);
    app->add_option("--password-file", options->passwordFile,
                    "Read the password from the first line of FILE ('-': standard input)")
        ->type_name("FILE");
    app->add_flag("--no-password", options->noPassword,
                  forCreate ? "Make the archive without a password: names and data are encrypted under "
                              "the all-zero key, which anyone can open"
                            : "The archive was made without a password (without any password option such an archive "
                              "opens as it is; the password of any other is asked)");
}

static std::string ReadPasswordFile(const std::string& path) {
    std::string line;
    if (path == "-") {
        std::getline(std::cin, line);
        if (std::cin.bad()) Fail("cannot read the password from standard input", "check what feeds it");
    } else {
        errno = 0;
        std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
        if (!in) Fail(WithErrnoText("cannot open password file '" + path + "'", errno), "check the path and its permissions");
        std::getline(in, line);
        if (in.bad()) Fail("cannot read password file '" + path + "'", "check the file");
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    return line;
}

// Warns about a password that is weak or may not be typed the same way on
// the recipient's system: the extractor turns what is typed into UTF-16
// through the code page, so only characters the code page holds come out
// as they went in.
static void WarnAbout(const std::string& text, const std::u16string& units, PasswordWarnings warn, int codepage) {
    size_t shortBelow = warn == WARN_STRETCHED ? SHORT_STRETCHED_PASSWORD : SHORT_PASSWORD;
    if (units.size() < shortBelow)
        Warn("password shorter than " + std::to_string(shortBelow) +
             " characters: it can be guessed offline quickly (use a longer one)");
    std::string stored;
    bool control = false;
    for (char16_t unit : units) control = control || unit < 0x20 || unit == 0x7F;
    if (control)
        Warn("the password holds control characters, which the recipient cannot type (use printable ones)");
    else if (!Utf8ToCodepage(text, codepage, &stored))
        Warn("the password holds characters that code page " + std::to_string(codepage) +
             " cannot represent: typed on the recipient's system they may not give the same key (use "
             "letters of the code page, or give the recipient's with --codepage)");
}

// Asks on the terminal; with `confirm` twice, up to three times while the
// two differ, warning about the password before it is typed again (so the
// user can still choose another). `*warned` tells whether that happened.
static std::string AskPassword(bool confirm, PasswordWarnings warn, int codepage, bool* warned) {
    const int TRIES = 3;
    for (int attempt = 1;; attempt++) {
        std::string first, second;
        if (!ReadSecretLine("Password: ", &first))
            Fail("no password was entered", "type it at the prompt, or give --password-file");
        if (!confirm || first.empty()) return first;
        std::u16string units;
        if (warn != WARN_NONE && Utf8ToUtf16(first, &units)) {
            WarnAbout(first, units, warn, codepage);
            *warned = true;
        }
        if (!ReadSecretLine("Password again: ", &second))
            Fail("no password was entered", "type it at the prompt, or give --password-file");
        if (second == first) return first;
        if (attempt == TRIES)
            Fail("the two passwords differ", "run the command again and type the same password twice");
        Warn("the two passwords differ; type them again");
    }
}

Password ObtainPassword(const PasswordOptions& options, bool confirm, PasswordWarnings warn, int codepage) {
    int sources = (options.passwordGiven ? 1 : 0) + (options.passwordFile.empty() ? 0 : 1) +
                  (options.noPassword ? 1 : 0);
    if (sources > 1)
        UsageFail("--password, --password-file and --no-password exclude each other",
                  "give only one of them");
    std::string text;
    bool warned = false;
    if (options.noPassword) {
        text.clear();
    } else if (options.passwordGiven) {
        text = options.password;
    } else if (!options.passwordFile.empty()) {
        // An empty file, a blank first line or a process that printed
        // nothing would otherwise make an archive that anyone can open.
        text = ReadPasswordFile(options.passwordFile);
        if (text.empty())
            Fail("password file '" + options.passwordFile + "' gives an empty password",
                 "put the password on its first line, or give --no-password for none");
    } else if (StdinIsTerminal()) {
        text = AskPassword(confirm, warn, codepage, &warned);
        if (text.empty())
            Fail("an empty password was entered", "type a password, or give --no-password for none");
    } else {
        UsageFail("no password given and standard input is not a terminal",
                  "give -p, --password-file or --no-password");
    }

    Password result;
    if (text.empty()) {
        if (warn != WARN_NONE)
            Warn(options.noPassword ? "no password: anyone can open this archive"
                                    : "empty password: the archive is made without a password, "
                                      "anyone can open it");
        return result;
    }
    if (!Utf8ToUtf16(text, &result.units))
        UsageFail("the password is not valid UTF-8", "give it in UTF-8");
    result.use = true;
    if (warn != WARN_NONE && !warned) WarnAbout(text, result.units, warn, codepage);
    return result;
}
