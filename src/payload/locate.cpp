// Payload location: the archive starts behind the raw data of the last
// section-table entry of a PE image of either kind (payload/pe.h).
//
//   0    DOS header       u32 at 60: N (at most PE_MAX_HEADER_AT)
//   N    "PE\0\0"         u16 at N + 6: section count S
//   N+24 optional header  u16 magic: PE32 or PE32+
//   N+24+standard size    section table, S entries of 40 bytes (at 248 for
//                         PE32, 264 for PE32+; SizeOfOptionalHeader not consulted)
//        entry S - 1:     SizeOfRawData, PointerToRawData
//   data directory 4      the attribute certificate table that code signing
//                         appends: u32 file offset, u32 size
#include "payload/reader.h"

namespace {

// True when `n` bytes at `off` lie inside an image of `size` bytes.
bool Fits(uint64_t size, uint64_t off, uint64_t n) {
    return off <= size && n <= size - off;
}

// Every field LocatePayloadInImage reads lies below this offset: N is
// bounded and S is 16-bit.
const uint64_t HEADER_SPAN = PE_MAX_HEADER_AT + PE_OPTIONAL_HEADER + PeOptionalHeaderSize(PE32_PLUS_MAGIC) +
                             (uint64_t)PE_SECTION_ENTRY_SIZE * 0xFFFF;

}  // namespace

int64_t LocatePayloadInImage(const uint8_t* image, uint64_t size, CertificateTable* table) {
    if (!image || size < PE_DOS_HEADER_SIZE) return -1;  // not even a whole DOS header
    // Bounded as they are, these offsets stay far below 4 GiB.
    uint32_t n = LoadLE32(image + PE_LFANEW);
    if (n > PE_MAX_HEADER_AT || !Fits(size, n + PE_OPTIONAL_HEADER, 2)) return -1;
    uint32_t optionalSize = PeOptionalHeaderSize(LoadLE16(image + n + PE_OPTIONAL_HEADER + OPT_MAGIC));
    uint32_t count = LoadLE16(image + n + PE_SECTION_COUNT);  // in front of the magic: in bounds
    if (optionalSize == 0 || count == 0) return -1;
    uint32_t last = n + PE_OPTIONAL_HEADER + optionalSize + PE_SECTION_ENTRY_SIZE * (count - 1);
    if (!Fits(size, last, PE_SECTION_ENTRY_SIZE)) return -1;
    if (table) {
        // The directories lie before the section table: already in bounds.
        const uint8_t* entry =
            image + n + PE_OPTIONAL_HEADER + PeDirectoriesAt(optionalSize) + PE_DIRECTORY_SIZE * DIR_CERTIFICATES;
        table->offset = LoadLE32(entry);
        table->size = LoadLE32(entry + 4);
    }
    return (int64_t)LoadLE32(image + last + SEC_RAW_AT) + (int64_t)LoadLE32(image + last + SEC_RAW_SIZE);
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
