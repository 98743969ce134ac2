// The entry loop on arbitrary entry bytes behind a valid header, restoring into a sandbox (each entry
// checked as sandbox.h says); then the entries are listed as `lockbox list` does, and the tool's rows
// and message labels must be bounded and printable.
// Input: a flag byte, then the entry area. Bit 0: the area is plain and encrypted here first (so the
// fuzzer reaches zlib and the name checks); bits 1-2: the overwrite answer (yes, no, yes to all,
// cancel); bit 3: "keep.txt" and the folder "sub" exist beforehand.
#include <cstring>

#include "fuzz/archive_codec.h"
#include "fuzz/fuzz_common.h"
#include "tool/entry_text.h"

namespace {

int g_answer = 0;

int Answer(void* user, const char*) {
    OverwriteAnswers* answers = &static_cast<Reader*>(user)->answers;
    switch (g_answer) {
    case 0: return 1;
    case 1: return 0;
    case 2: answers->yesToAll = 1; return 1;
    default: answers->cancelled = 1; return 0;
    }
}

// A name shown is at most 260 bytes of three UTF-8 bytes each.
void CheckShown(const std::string& text) {
    if (text.size() > 1024) fuzz::Fail("shown text of " + std::to_string(text.size()) + " bytes");
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) fuzz::Fail("shown text holds a control character");
}

void CheckListing(const std::string& archive) {
    OwnedReader reader;
    CipherContext ctx;
    if (ReadArchiveHeaderFrom(&reader, archive.c_str()) != RESULT_OK ||
        !CheckPassword(&ctx, fuzz::Password(), reader.passwordCheckBlock))
        fuzz::Fail("the fixed header did not open for listing");
    for (int index = 1; index < 100000; index++) {
        EntryInfo info;
        std::memset(&info, 0xFF, sizeof info);  // whatever the reader leaves unset must not leak out
        DeriveStreamKey(&ctx, fuzz::Password());
        int r = ReadEntrySkippingData(&reader, &ctx, &info);
        if (r == RESULT_END) break;
        CheckShown(EntryLabel(index, info, 1252));
        if (r != RESULT_OK) break;
        CheckShown(ListingRow(info, 437));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t flags = data[0];
    std::vector<uint8_t> area(data + 1, data + size);
    if (flags & 1)
        TransformEntryArea(area.data(), area.size(), fuzz::Password(),
                           CODEC_ENCRYPT);
    std::string archive(fuzz::HeaderPrefix().begin(), fuzz::HeaderPrefix().end());
    archive.append(area.begin(), area.end());

    sandbox::Sandbox& box = fuzz::Box();
    sandbox::Clear(box.dest);
    if (!sandbox::WriteWhole(box.archive, archive)) fuzz::Fail("cannot write the archive");
    if (flags & 8) {
        sandbox::WriteWhole(box.dest / "keep.txt", "existing file\n");
        std::filesystem::create_directory(box.dest / "sub");
    }
    g_answer = (flags >> 1) & 3;
    sandbox::Outcome o = sandbox::ExtractChecked(box, fuzz::Password(), Answer);
    if (o.header != RESULT_OK || !o.passwordOk) fuzz::Fail("the fixed header did not open");
    if (!o.violation.empty()) fuzz::Fail(o.violation);
    CheckListing(box.archive.string());
    sandbox::Clear(box.dest);
    return 0;
}
