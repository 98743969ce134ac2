// Payload location and header reading on arbitrary bytes: in an exact-size buffer (a read past the end
// is an ASan report), then through a real file and a listing pass over what follows.
#include <string.h>

#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);  // its own allocation, exactly `size`
    int64_t inMemory = LocatePayloadInImage(image.data(), image.size());
    if (inMemory < -1 || inMemory > 0x1FFFFFFFELL) fuzz::Fail("payload position out of range");

    sandbox::Sandbox& box = fuzz::Box();
    std::string path = box.archive.string();
    if (!sandbox::WriteWhole(box.archive, std::string((const char*)data, size)))
        fuzz::Fail("cannot write the input file");
    if (LocatePayload(path.c_str()) != (size == 0 ? -1 : inMemory))
        fuzz::Fail("LocatePayload disagrees with LocatePayloadInImage");

    OwnedReader reader;
    int r = ReadArchiveHeaderFrom(&reader, path.c_str());
    if (r != RESULT_OK && r != RESULT_CORRUPT) fuzz::Fail("header result " + std::to_string(r));
    if (reader.windowTitle && strlen(reader.windowTitle) > MAX_NAME) fuzz::Fail("title longer than 260");
    if (r == RESULT_OK) {
        if (!reader.windowTitle) fuzz::Fail("header read without a title");
        if (reader.runAfterLength > MAX_NAME) fuzz::Fail("run-after name longer than 260");
        // An independent parse of the header's two lengths.
        uint64_t at = (uint64_t)inMemory;
        uint32_t titleLength = LoadLE32(data + at + HDR_TITLE_LEN);
        uint16_t runAfterLength = LoadLE16(data + at + HDR_TITLE + titleLength + CHECK_BLOCK_SIZE);
        if (reader.firstEntryOffset != inMemory + (int64_t)HDR_FIXED_SIZE + titleLength + runAfterLength ||
            reader.runAfterLength != runAfterLength || memcmp(reader.windowTitle, data + at + HDR_TITLE, titleLength) != 0)
            fuzz::Fail("header values do not match the bytes");
        if ((uint64_t)reader.firstEntryOffset > size || PlatformTell(reader.file) != reader.firstEntryOffset)
            fuzz::Fail("the reader's file is not at the first entry");
        // Listing: every entry read must move forward, and the loop ends.
        CipherContext ctx;
        int64_t previous = reader.firstEntryOffset;
        for (;;) {
            DeriveStreamKey(&ctx, fuzz::Password());
            EntryInfo info;
            int e = ReadEntrySkippingData(&reader, &ctx, &info);
            if (e == RESULT_END || e == RESULT_CORRUPT) break;
            if (e != RESULT_OK) fuzz::Fail("listing result " + std::to_string(e));
            int64_t at = PlatformTell(reader.file);
            if (at <= previous || (uint64_t)at > size) fuzz::Fail("listing did not advance inside the file");
            if (strlen(info.name) > info.nameLength) fuzz::Fail("entry name not terminated");
            previous = at;
        }
        if (RewindToFirstEntry(&reader) != RESULT_OK) fuzz::Fail("cannot rewind to the first entry");
    }
    return 0;
}
