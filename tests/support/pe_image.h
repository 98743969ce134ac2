// Minimal PE images in memory: only the fields the reader looks at, the rest filler. By default of
// this build's own kind (PE_MAGIC); the other kind puts its directories and section table where its
// optional header ends (payload/pe.h), an unknown magic where the own kind would.
#pragma once
#include <stdint.h>

#include "payload/format.h"

#include <algorithm>
#include <vector>

struct PeSection {
    uint32_t pointer;  // PointerToRawData
    uint32_t size;     // SizeOfRawData
};

// The magic of the PE kind this build's extractor is not (PE32 <-> PE32+).
const uint16_t PE_OTHER_MAGIC = PE_MAGIC == 0x10B ? 0x20B : 0x10B;

struct PeShape {
    uint16_t lfanew = 0x80;
    uint16_t magic = PE_MAGIC;
    uint16_t sizeOfOptionalHeader = PE_OPTIONAL_HEADER_SIZE;
    std::vector<PeSection> sections = {{0x200, 0x200}};  // payload at 0x400
    uint32_t certificatesAt = 0;    // data directory 4: none, as in an unsigned image
    uint32_t certificatesSize = 0;
};

// The end of the last table entry's raw data: where the payload goes.
inline uint32_t PePayloadPosition(const PeShape& shape) {
    if (shape.sections.empty()) return 0;
    return shape.sections.back().pointer + shape.sections.back().size;
}

// An image as long as the payload position (or its headers), so that appended bytes are the payload.
inline std::vector<uint8_t> MakePeImage(const PeShape& shape = PeShape()) {
    uint32_t optionalSize = PeOptionalHeaderSize(shape.magic) ? PeOptionalHeaderSize(shape.magic) : PE_OPTIONAL_HEADER_SIZE;
    const size_t table = PE_OPTIONAL_HEADER + optionalSize, directories = PE_OPTIONAL_HEADER + PeDirectoriesAt(optionalSize);
    size_t headers = (size_t)shape.lfanew + table + 40 * shape.sections.size();
    size_t size = std::max<size_t>(headers, PePayloadPosition(shape));
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; i++) image[i] = (uint8_t)(i * 7 + 3);  // filler
    uint8_t* b = image.data();
    const size_t n = shape.lfanew;
    StoreLE16(b, 0x5A4D);  // "MZ"
    StoreLE32(b + 60, shape.lfanew);
    StoreLE32(b + n, 0x4550);  // "PE\0\0"
    StoreLE16(b + n + 6, (uint16_t)shape.sections.size());
    StoreLE16(b + n + 20, shape.sizeOfOptionalHeader);
    StoreLE16(b + n + 24, shape.magic);
    StoreLE32(b + n + directories + 32, shape.certificatesAt);
    StoreLE32(b + n + directories + 36, shape.certificatesSize);
    for (size_t i = 0; i < shape.sections.size(); i++) {
        StoreLE32(b + n + table + 40 * i + 16, shape.sections[i].size);
        StoreLE32(b + n + table + 40 * i + 20, shape.sections[i].pointer);
    }
    return image;
}

// The stub of the writer tests, sweeps and fuzz targets: two sections, the payload at 0x800.
inline PeShape TwoSectionShape() {
    PeShape shape;
    shape.sections = {{0x200, 0x400}, {0x600, 0x200}};
    return shape;
}
inline std::vector<uint8_t> TwoSectionStub() { return MakePeImage(TwoSectionShape()); }
