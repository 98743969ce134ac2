// Opening an existing archive for `list`, `test` and `extract`: header,
// password check, run-after name, and the key of each entry.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "crypto/key_stretch.h"
#include "payload/reader.h"
#include "tool/password.h"

// An archive open for reading. The constructor reads the header and checks
// the password; it throws ToolError (exit 1) when the file is not a
// readable archive or the password is wrong. When `options` name no
// password source, an archive made without a password opens as it is (one
// block decrypted tells); only another one asks for the password
// (ObtainPassword). `codepage` is the one the user gave, 0 when none: then
// the one the archive records, else the default.
struct OpenedArchive {
    OpenedArchive(const std::string& path, const PasswordOptions& options, int codepage);

    std::string path;
    int codepage;          // of the title and the names
    const char* codepageSource;  // "given", "recorded in the archive" or "default"
    std::string runAfter;  // decrypted, in the archive's code page; empty = none
    OwnedReader reader;
    CipherContext key = {};  // the stream key as derived: a copy starts each entry
    bool hasPassword = false;  // false: the all-zero key of an archive made without one
    bool stretched = false;    // keyed by a stretched password (crypto/key_stretch.h)
    KeyStretch stretch = {};   // its rounds and salt, when `stretched`
};

// How the archive's key is made, for people: "PBKDF2-HMAC-SHA256, 600,000
// rounds, salted", "plain MD5 chain, no salt (fast to guess)" or "none (no
// password: anyone can open the archive)".
std::string KeyDescription(const OpenedArchive& archive);

// Which entries a command works on: all, or those that name patterns
// choose (name_pattern.h), with the folders above them.
struct EntryChoice {
    bool all = true;
    std::set<std::string> names;    // UTF-8, '\\' separators
    std::vector<std::string> order; // every entry's name as read, in archive order
    std::vector<std::string> unmatched;  // the patterns, as typed, that chose no entry
    bool Wants(const std::string& utf8Name) const { return all || names.count(utf8Name) != 0; }
    // By position (0-based); entries past those read (damage) are wanted.
    bool WantsEntry(size_t index) const { return index >= order.size() || Wants(order[index]); }
};

// Reads every entry's name (stopping at damage, which the command itself
// then meets) and chooses by `typed` patterns; no patterns choose all.
// Fails (exit 1) when patterns are given and no entry matches; a pattern
// that alone chooses nothing is kept in `unmatched` for FailOnUnmatched.
// The archive is left at its first entry.
EntryChoice ChooseEntries(OpenedArchive& archive, const std::vector<std::string>& typed);

// What to say of the patterns that chose nothing: empty when every one
// chose an entry; else the failure line, and in `todo` what to do.
std::string UnmatchedFailure(const OpenedArchive& archive, const EntryChoice& choice, std::string* todo);
