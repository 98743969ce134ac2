#include "tool/signature.h"

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <fstream>
#include <memory>
#include <vector>

#include "payload/reader.h"
#include "tool/entry_text.h"
#include "tool/error.h"

namespace {

template <typename T, void (*Free)(T*)>
struct Freed {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Freed<PKCS7, PKCS7_free>>;
using BioPtr = std::unique_ptr<BIO, Freed<BIO, BIO_free_all>>;
using DigestPtr = std::unique_ptr<EVP_MD_CTX, Freed<EVP_MD_CTX, EVP_MD_CTX_free>>;
using ObjectPtr = std::unique_ptr<ASN1_OBJECT, Freed<ASN1_OBJECT, ASN1_OBJECT_free>>;

bool ReadAt(std::ifstream& in, uint64_t at, void* buffer, size_t size) {
    in.clear();
    in.seekg((std::streamoff)at);
    return (bool)in.read((char*)buffer, (std::streamsize)size);
}

// Steps into the DER element at `p` with tag `tag`: `p` moves to its
// contents, `length` is their size. False when it is not that element.
bool Enter(const unsigned char** p, const unsigned char* end, int tag, long* length) {
    int gotTag, gotClass;
    if (*p >= end) return false;
    int flags = ASN1_get_object(p, length, &gotTag, &gotClass, end - *p);
    return !(flags & 0x80) && gotTag == tag && gotClass == V_ASN1_UNIVERSAL;
}

// The digest the signer signed, from the SpcIndirectDataContent
//   SEQUENCE { SEQUENCE data, SEQUENCE { SEQUENCE { OID algorithm, ... }, OCTET STRING digest } }
bool SignedDigest(const unsigned char* p, const unsigned char* end, const EVP_MD** md,
                  std::vector<unsigned char>* digest) {
    long length;
    if (!Enter(&p, end, V_ASN1_SEQUENCE, &length) || !Enter(&p, end, V_ASN1_SEQUENCE, &length)) return false;
    p += length;  // the image description
    if (!Enter(&p, end, V_ASN1_SEQUENCE, &length) || !Enter(&p, end, V_ASN1_SEQUENCE, &length)) return false;
    const unsigned char* algorithmEnd = p + length;
    ObjectPtr oid(d2i_ASN1_OBJECT(nullptr, &p, algorithmEnd - p));
    if (!oid || !(*md = EVP_get_digestbyobj(oid.get()))) return false;
    p = algorithmEnd;
    if (!Enter(&p, end, V_ASN1_OCTET_STRING, &length) || length > end - p) return false;
    digest->assign(p, p + length);
    return true;
}

// The Authenticode digest: the file up to the certificate table, without
// the checksum field and the certificate table's directory entry.
bool FileDigest(std::ifstream& in, const EVP_MD* md, uint64_t checksumAt, uint64_t directoryAt,
                uint64_t tableAt, std::vector<unsigned char>* digest) {
    DigestPtr ctx(EVP_MD_CTX_new());
    if (!ctx || !EVP_DigestInit_ex(ctx.get(), md, nullptr)) return false;
    const uint64_t ranges[3][2] = {{0, checksumAt}, {checksumAt + 4, directoryAt}, {directoryAt + 8, tableAt}};
    std::vector<char> buffer(1 << 20);
    for (const auto& range : ranges) {
        in.clear();
        in.seekg((std::streamoff)range[0]);
        for (uint64_t left = range[1] - range[0]; left > 0;) {
            size_t n = (size_t)std::min<uint64_t>(left, buffer.size());
            if (!in.read(buffer.data(), (std::streamsize)n) || !EVP_DigestUpdate(ctx.get(), buffer.data(), n))
                return false;
            left -= n;
        }
    }
    unsigned int size = 0;
    digest->resize(EVP_MAX_MD_SIZE);
    if (!EVP_DigestFinal_ex(ctx.get(), digest->data(), &size)) return false;
    digest->resize(size);
    return true;
}

// The signer's subject in UTF-8, OpenSSL's escapes for characters below
// U+0020 but multi-byte characters as they are, so that names in any
// script stay readable; DisplayText then hides the C1 controls and DEL
// that OpenSSL passes through, which a terminal would obey.
std::string SubjectOf(PKCS7* p7) {
    STACK_OF(X509)* signers = PKCS7_get0_signers(p7, nullptr, 0);
    if (!signers) return std::string();
    std::string subject;
    if (sk_X509_num(signers) > 0) {
        BioPtr out(BIO_new(BIO_s_mem()));
        X509_NAME_print_ex(out.get(), X509_get_subject_name(sk_X509_value(signers, 0)), 0,
                           (XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB) | ASN1_STRFLGS_UTF8_CONVERT);
        char* text = nullptr;
        long length = BIO_get_mem_data(out.get(), &text);
        if (text && length > 0) subject.assign(text, (size_t)length);
    }
    sk_X509_free(signers);
    return DisplayText(subject);
}

}  // namespace

SignatureState ExamineSignature(const std::string& path) {
    SignatureState state;
    CertificateTable table = {0, 0};
    if (LocatePayload(path.c_str(), &table) < 0 || table.size == 0) return state;
    if (table.size > MAX_SIGNATURE_TABLE)
        Fail("'" + path + "' is damaged: its signature table is too large (" + std::to_string(table.size) +
                 " bytes; a signature takes a few kilobytes)",
             "ask the sender for a new copy");
    state.present = true;
    state.checked = true;
    std::ifstream in(path, std::ios::binary);
    unsigned char lfanew[4], magic[2];
    std::vector<unsigned char> blob(table.size);
    // The locator read the same headers; read again, they are checked again,
    // in case the file changed in between.
    if (table.size < 8 || !ReadAt(in, PE_LFANEW, lfanew, 4) || LoadLE32(lfanew) > PE_MAX_HEADER_AT ||
        !ReadAt(in, (uint64_t)LoadLE32(lfanew) + PE_OPTIONAL_HEADER + OPT_MAGIC, magic, 2) ||
        PeOptionalHeaderSize(LoadLE16(magic)) == 0 || !ReadAt(in, table.offset, blob.data(), blob.size())) {
        state.problem = "its certificate table cannot be read";
        return state;
    }
    uint64_t optional = (uint64_t)LoadLE32(lfanew) + PE_OPTIONAL_HEADER;
    uint64_t checksumAt = optional + OPT_CHECKSUM,
             directoryAt = optional + PeDirectoriesAt(PeOptionalHeaderSize(LoadLE16(magic))) +
                          PE_DIRECTORY_SIZE * DIR_CERTIFICATES;
    if (directoryAt + 8 > table.offset) {
        state.problem = "its headers overlap its certificate table";
        return state;
    }

    // WIN_CERTIFICATE: u32 length, u16 revision, u16 type (2: PKCS#7 signed data).
    uint32_t length = LoadLE32(blob.data());
    const unsigned char* der = blob.data() + 8;
    Pkcs7Ptr p7;
    if (length >= 8 && length <= blob.size() && LoadLE16(blob.data() + 6) == 2)
        p7.reset(d2i_PKCS7(nullptr, &der, (long)length - 8));
    if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign->contents ||
        !p7->d.sign->contents->d.other || p7->d.sign->contents->d.other->type != V_ASN1_SEQUENCE) {
        state.problem = "its signature cannot be read";
        return state;
    }
    state.signer = SubjectOf(p7.get());
    ASN1_STRING* content = p7->d.sign->contents->d.other->value.sequence;
    const unsigned char* begin = content->data;
    const unsigned char* end = begin + content->length;
    const EVP_MD* md = nullptr;
    std::vector<unsigned char> signedDigest, fileDigest;
    if (!SignedDigest(begin, end, &md, &signedDigest)) {
        state.problem = "the digest in its signature cannot be read";
        return state;
    }
    if (!FileDigest(in, md, checksumAt, directoryAt, table.offset, &fileDigest)) {
        state.problem = "the file cannot be read to its end";
        return state;
    }
    if (fileDigest != signedDigest) {
        state.problem = "the file was changed after it was signed (its digest differs from the signed one)";
        return state;
    }
    // The signer signs the content without its outer SEQUENCE header.
    long contentLength;
    const unsigned char* body = begin;
    if (!Enter(&body, end, V_ASN1_SEQUENCE, &contentLength)) {
        state.problem = "its signature cannot be read";
        return state;
    }
    BioPtr data(BIO_new_mem_buf(body, (int)(end - body)));
    if (!data || PKCS7_verify(p7.get(), nullptr, nullptr, data.get(), nullptr, PKCS7_NOVERIFY) != 1)
        state.problem = "its signature does not match the signed data";
    return state;
}
