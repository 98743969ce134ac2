#include "tool/signing.h"

#include <CLI/CLI.hpp>
#include <vector>

#include "tool/interrupt_cleanup.h"
#include "pack/temp_file.h"
#include "tool/error.h"
#include "tool/system.h"

namespace {

const char* const SIGNER = "osslsigncode";

// The line of the signer's output that says what went wrong: the first one,
// unless it only says "Failed"; OpenSSL's error stack lines come last.
std::string Reason(const std::string& output) {
    std::string first, line;
    for (size_t at = 0; at <= output.size(); at++) {
        if (at < output.size() && output[at] != '\n' && output[at] != '\r') {
            line += output[at];
            continue;
        }
        if (!line.empty() && line != "Failed" && line.find(":error:") == std::string::npos) return line;
        if (first.empty()) first = line;
        line.clear();
    }
    return first.empty() ? "no reason given" : first;
}

}  // namespace

void AddSigningOptions(CLI::App* app, SigningOptions* o) {
    app->add_option("--sign-cert", o->certificate,
                    "Sign the archive with this code-signing certificate (PEM; with --sign-key)")
        ->type_name("CERT.pem");
    app->add_option("--sign-key", o->key, "The certificate's private key (PEM)")->type_name("KEY.pem");
    app->add_option("--sign-pkcs12", o->pkcs12, "Sign with the certificate and key of this PKCS#12 file instead")
        ->type_name("FILE.p12");
    app->add_option("--sign-password-file", o->passwordFile,
                    "Read the password of the key or the PKCS#12 file from the first line of FILE")
        ->type_name("FILE");
    app->add_option("--sign-timestamp", o->timestamp,
                    "Have the signature time-stamped by this RFC 3161 server, so that it stays valid "
                    "after the certificate expires")
        ->type_name("URL");
}

void CheckSigningOptions(const SigningOptions& o) {
    if (!o.pkcs12.empty() && (!o.certificate.empty() || !o.key.empty()))
        UsageFail("--sign-pkcs12 and --sign-cert/--sign-key both name a certificate", "give one of them");
    if (o.certificate.empty() != o.key.empty())
        UsageFail("--sign-cert and --sign-key go together", "give the certificate and its private key");
    if (!o.Wanted() && (!o.passwordFile.empty() || !o.timestamp.empty()))
        UsageFail("--sign-password-file and --sign-timestamp need a certificate",
                  "add --sign-cert and --sign-key, or --sign-pkcs12");
    if (!o.Wanted()) return;
    std::string output;
    if (RunProgram({SIGNER, "--version"}, &output) < 0)
        Fail(std::string("signing needs ") + SIGNER + ", which was not found",
             std::string("install it, on Debian with 'apt install ") + SIGNER + "', or leave out the --sign options");
}

std::string SignArchive(const SigningOptions& o, const std::string& description, const std::string& path) {
    // A free name beside the archive; the signer refuses to overwrite, so the
    // reserved file goes again, and stays listed for removal on interruption.
    std::string signedPath;
    FileHandle reserved = CreateTempFile(path + ".sig", &signedPath, &INTERRUPT_CLEANUP);
    if (reserved == NO_FILE) return "no temporary file can be made beside it";
    PlatformClose(reserved);
    PlatformDelete(signedPath.c_str());

    std::vector<std::string> args = {SIGNER, "sign"};
    if (!o.pkcs12.empty()) args.insert(args.end(), {"-pkcs12", o.pkcs12});
    else args.insert(args.end(), {"-certs", o.certificate, "-key", o.key});
    if (!o.passwordFile.empty()) args.insert(args.end(), {"-readpass", o.passwordFile});
    if (!o.timestamp.empty()) args.insert(args.end(), {"-ts", o.timestamp});
    if (!description.empty()) args.insert(args.end(), {"-n", description});
    args.insert(args.end(), {"-h", "sha256", "-in", path, "-out", signedPath});
    std::string output;
    int status = RunProgram(args, &output);
    std::string why;
    if (status < 0) why = std::string(SIGNER) + " could not be started";
    else if (status != 0) why = "signing failed: " + Reason(output);
    else if (!PlatformReplace(signedPath.c_str(), path.c_str())) why = "the signed copy could not replace it";
    if (!why.empty()) PlatformDelete(signedPath.c_str());
    KeepOnInterrupt(signedPath);
    return why;
}
