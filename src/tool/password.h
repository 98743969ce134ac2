// Password options shared by every command, and how the tool turns them into
// the UTF-16 password the archive keys are derived from.
#pragma once
#include <string>

namespace CLI { class App; }

struct PasswordOptions {
    std::string password;      // -p/--password
    bool passwordGiven = false;
    std::string passwordFile;  // --password-file
    bool noPassword = false;   // --no-password
};

// Adds -p/--password, --password-file and --no-password to `app`;
// `forCreate` words them for making an archive rather than opening one.
void AddPasswordOptions(CLI::App* app, PasswordOptions* options, bool forCreate);

struct Password {
    bool use = false;          // false: the no-password branch (all-zero key)
    std::u16string units;      // UTF-16 code units when `use`
};

// What the warnings of ObtainPassword weigh a password against.
enum PasswordWarnings {
    WARN_NONE,       // opening an archive: no warnings
    WARN_STRETCHED,  // a new archive whose key is stretched
    WARN_PLAIN,      // a new archive keyed by the fast MD5 chain (or a weak stretch)
};

// Settles the password from the options, from the file, or by asking on the
// terminal (twice when `confirm`). An empty password is the no-password
// branch: the extractor treats an empty typed password that way, so an
// archive keyed with an empty string could never be opened. Throws
// ToolError: usage error when no source is given and stdin is no terminal,
// or the text is not UTF-8; failure when the file cannot be read or the two
// typed passwords differ. Unless `warn` is WARN_NONE, warns about passwords
// that are short for that kind of key or hold characters `codepage` (the
// archive's, through which the extractor reads what is typed) cannot
// represent.
Password ObtainPassword(const PasswordOptions& options, bool confirm, PasswordWarnings warn, int codepage = 1252);
