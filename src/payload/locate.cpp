// Payload location: the archive starts behind the raw data of the last
// section-table entry of a PE image of this build's kind (format.h).
//
//   0    DOS header       u16 at 60: N (low half of e_lfanew)
//   N    "PE\0\0"         u16 at N + 6: section count S
//   N+24 optional header  u16 magic, must be PE_MAGIC
//   N+PE_SECTION_TABLE    section table, S entries of 40 bytes (at 248 for
//                         PE32, 264 for PE32+; SizeOfOptionalHeader not consulted)
//        entry S - 1:     u32 SizeOfRawData at +16, u32 PointerToRawData at +20
//   N+24+PE_DATA_DIRECTORIES+32   data directory 4, the attribute certificate
//                         table that code signing appends: u32 file offset, u32 size
#include "payload/reader.h"

namespace {

const uint64_t SECTION_TABLE = PE_SECTION_TABLE;
const uint64_t SECTION_ENTRY_SIZE = 40;

// True when `n` bytes at `off` lie inside an image of `size` bytes.
bool Fits(uint64_t size, uint64_t off, uint64_t n) {
    return off <= size && n <= size - off;
}

// Every field LocatePayloadInImage reads lies below this offset: N and S
// are 16-bit.
const uint64_t HEADER_SPAN = 0xFFFF + SECTION_TABLE + SECTION_ENTRY_SIZE * 0xFFFF;

}  // namespace

int64_t LocatePayloadInImage(const uint8_t* image, uint64_t size, CertificateTable* table) {
    if (!image || size < 64) return -1;  // not even a whole DOS header
    uint64_t n = LoadLE16(image + 60);
    if (!Fits(size, n + 24, 2) || LoadLE16(image + n + 24) != PE_MAGIC) return -1;
    uint64_t count = LoadLE16(image + n + 6);  // n + 6 < n + 24: already checked
    if (count == 0) return -1;
    uint64_t last = n + SECTION_TABLE + SECTION_ENTRY_SIZE * (count - 1);
    if (!Fits(size, last, SECTION_ENTRY_SIZE)) return -1;
    if (table) {
        // The directories lie before the section table: already in bounds.
        const uint8_t* entry = image + (size_t)n + (24 + PE_DATA_DIRECTORIES + 4 * 8);
        table->offset = LoadLE32(entry);
        table->size = LoadLE32(entry + 4);
    }
    return (int64_t)LoadLE32(image + last + 20) + (int64_t)LoadLE32(image + last + 16);
}

int64_t LocatePayload(const char* path, CertificateTable* table) {
    // Only the headers are needed: mapping the head keeps archives of
    // several GiB within reach of a 32-bit process.
    FileMapping map;
    if (!PlatformMap(path, &map, HEADER_SPAN)) return -1;
    int64_t at = LocatePayloadInImage(map.data, map.size, table);
    PlatformUnmap(&map);
    return at;
}
