#include "tool/signature.h"

#include "payload/reader.h"
#include "tool/error.h"

SignatureState ExamineSignature(const std::string& path) {
    CertificateTable table = {0, 0};
    SignatureState state;
    state.present = LocatePayload(path.c_str(), &table) >= 0 && table.size != 0;
    if (table.size > MAX_SIGNATURE_TABLE)
        Fail("'" + path + "' is damaged: its signature table is too large (" + std::to_string(table.size) +
                 " bytes; a signature takes a few kilobytes)",
             "ask the sender for a new copy");
    return state;
}
