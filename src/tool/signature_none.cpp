#include "tool/signature.h"

#include "payload/reader.h"

SignatureState ExamineSignature(const std::string& path) {
    CertificateTable table = {0, 0};
    SignatureState state;
    state.present = LocatePayload(path.c_str(), &table) >= 0 && table.size != 0;
    return state;
}
