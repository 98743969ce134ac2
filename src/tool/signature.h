// Reading back the code signature of an archive: who signed it and whether
// the file is still what was signed. signature_openssl.cpp checks it with
// OpenSSL; where the tool is built without it (Windows), signature_none.cpp
// only sees that a signature is there.
#pragma once
#include <cstdint>
#include <string>

struct SignatureState {
    bool present = false;   // the image names a certificate table
    bool checked = false;   // this build read and checked it
    std::string signer;     // subject of the signing certificate, one printable line
    std::string problem;    // why it does not match the file; empty when it does
};

// The largest certificate table taken for a signature, in bytes. A
// signature with its certificates takes a few kilobytes; the table is read
// whole to be checked, so a larger one is never read.
const uint32_t MAX_SIGNATURE_TABLE = 1 << 20;

// Examines the archive at `path` (whose header the caller has read).
// Checks the signed digest against the file's Authenticode digest and the
// signature against its signed data; the signer's certificate chain is not
// judged (Windows decides whom it trusts). Fails (tool/error.h, exit 1)
// when the certificate table is larger than MAX_SIGNATURE_TABLE: no
// signing tool makes one, so the archive counts as damaged.
SignatureState ExamineSignature(const std::string& path);
