// Code signing: `lockbox create` signs the finished archive through
// osslsigncode, and `list`/`test` read the signature back (signature.h).
#pragma once
#include <string>

namespace CLI { class App; }

struct SigningOptions {
    std::string certificate;   // --sign-cert: PEM certificate (chain)
    std::string key;           // --sign-key: PEM private key
    std::string pkcs12;        // --sign-pkcs12: certificate and key in one file
    std::string passwordFile;  // --sign-password-file: password of the key or the PKCS#12 file
    std::string timestamp;     // --sign-timestamp: RFC 3161 time-stamping server
    bool Wanted() const { return !certificate.empty() || !pkcs12.empty(); }
};

// Adds the --sign-* options to `app`.
void AddSigningOptions(CLI::App* app, SigningOptions* options);

// Refuses incomplete or contradicting options (usage error) and, when
// signing is wanted, a machine without osslsigncode (failure): both before
// any work is done.
void CheckSigningOptions(const SigningOptions& options);

// Signs the archive at `path` in place: osslsigncode writes a signed copy
// beside it, which then replaces it. `description` is the signature's
// program description. Empty when it worked; otherwise why not (then
// `path` is as it was and no other file is left).
std::string SignArchive(const SigningOptions& options, const std::string& description, const std::string& path);
