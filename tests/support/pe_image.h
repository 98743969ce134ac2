// Minimal PE images built in memory, for locating the payload. Only the
// fields the reader looks at are filled in; the rest is filler. The default
// shape is of the kind this build reads (PE_MAGIC).
//
//   0     "MZ", u32 e_lfanew at 60
//   N     "PE\0\0", u16 NumberOfSections at N+6, u16 SizeOfOptionalHeader at N+20
//   N+24  u16 magic
//   N+24+PE_DATA_DIRECTORIES+32  certificate table: u32 file offset, u32 size
//   N+PE_SECTION_TABLE  section table, 40 bytes per entry (size at +16, pointer at +20)
#pragma once
#include <stdint.h>

#include "payload/format.h"

#include <algorithm>
#include <vector>

struct PeSection {
    uint32_t pointer;  // PointerToRawData
    uint32_t size;     // SizeOfRawData
};

// The magic of the PE kind this build does not read (PE32 <-> PE32+).
const uint16_t PE_OTHER_MAGIC = PE_MAGIC == 0x10B ? 0x20B : 0x10B;

struct PeShape {
    uint16_t lfanew = 0x80;
    uint16_t magic = PE_MAGIC;
    uint16_t sizeOfOptionalHeader = PE_OPTIONAL_HEADER_SIZE;
    std::vector<PeSection> sections = {{0x200, 0x200}};
    uint32_t certificatesAt = 0;    // data directory 4: none, as in an unsigned image
    uint32_t certificatesSize = 0;
};

inline void PutLE16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}
inline void PutLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i));
}

// The end of the last table entry's raw data: where the payload goes.
inline uint32_t PePayloadPosition(const PeShape& shape) {
    if (shape.sections.empty()) return 0;
    return shape.sections.back().pointer + shape.sections.back().size;
}

// An image exactly as long as the payload position (at least as long as its
// own headers), so that appended bytes begin at the payload.
inline std::vector<uint8_t> MakePeImage(const PeShape& shape = PeShape()) {
    size_t headers = (size_t)shape.lfanew + PE_SECTION_TABLE + 40 * shape.sections.size();
    size_t size = std::max<size_t>(headers, PePayloadPosition(shape));
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; i++) image[i] = (uint8_t)(i * 7 + 3);  // filler
    image[0] = 'M';
    image[1] = 'Z';
    PutLE32(image, 60, shape.lfanew);
    size_t n = shape.lfanew;
    image[n] = 'P';
    image[n + 1] = 'E';
    image[n + 2] = 0;
    image[n + 3] = 0;
    PutLE16(image, n + 6, (uint16_t)shape.sections.size());
    PutLE16(image, n + 20, shape.sizeOfOptionalHeader);
    PutLE16(image, n + 24, shape.magic);
    PutLE32(image, n + 24 + PE_DATA_DIRECTORIES + 32, shape.certificatesAt);
    PutLE32(image, n + 24 + PE_DATA_DIRECTORIES + 36, shape.certificatesSize);
    for (size_t i = 0; i < shape.sections.size(); i++) {
        size_t entry = n + PE_SECTION_TABLE + 40 * i;
        PutLE32(image, entry + 16, shape.sections[i].size);
        PutLE32(image, entry + 20, shape.sections[i].pointer);
    }
    return image;
}
