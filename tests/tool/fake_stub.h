// A stand-in for the extractor stub: a PE32 (or PE32+) image whose last sections are a
// resource section (bitmap 107, icon group 102 with icon 1, a dialog) and,
// optionally, base relocations behind it, as a MinGW link lays them out.
// The tool only edits and copies the stub, so it never has to run.
#pragma once
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "payload/pe.h"

struct FakeResource {
    uint16_t type, name, lang;
    std::string data;
};

inline void Put16(std::string& b, size_t at, uint32_t v) {
    b[at] = (char)v;
    b[at + 1] = (char)(v >> 8);
}
inline void Put32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = (char)(v >> (8 * i));
}
inline uint32_t Get32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | (uint8_t)b[at + i];
    return v;
}

// Resource section for `list` (one language per type and name, ids only),
// placed at `rva`.
inline std::string FakeResourceSection(const std::vector<FakeResource>& list, uint32_t rva) {
    std::map<uint16_t, std::map<uint16_t, const FakeResource*>> tree;
    for (const FakeResource& r : list) tree[r.type][r.name] = &r;
    size_t dirs = 16 + 8 * tree.size();
    for (auto& t : tree) dirs += 16 + 8 * t.second.size() + t.second.size() * (16 + 8);
    size_t entries = dirs, data = entries + 16 * list.size();
    std::string out(data, '\0');
    size_t typeDir = 16 + 8 * tree.size(), entry = entries, ti = 0;
    Put16(out, 14, (uint32_t)tree.size());
    for (auto& t : tree) {
        Put32(out, 16 + 8 * ti, t.first);
        Put32(out, 16 + 8 * ti + 4, 0x80000000u | (uint32_t)typeDir);
        Put16(out, typeDir + 14, (uint32_t)t.second.size());
        size_t nameDir = typeDir + 16 + 8 * t.second.size(), ni = 0;
        for (auto& n : t.second) {
            Put32(out, typeDir + 16 + 8 * ni, n.first);
            Put32(out, typeDir + 16 + 8 * ni + 4, 0x80000000u | (uint32_t)nameDir);
            Put16(out, nameDir + 14, 1);
            Put32(out, nameDir + 16, n.second->lang);
            Put32(out, nameDir + 20, (uint32_t)entry);
            while (out.size() % 8) out.push_back('\0');
            Put32(out, entry, rva + (uint32_t)out.size());
            Put32(out, entry + 4, (uint32_t)n.second->data.size());
            out += n.second->data;
            entry += 16;
            nameDir += 16 + 8;
            ni++;
        }
        typeDir = nameDir;
        ti++;
    }
    return out;
}

// The icon resources of the fake stub: a 16-byte stand-in image.
inline std::string FakeIconImage() { return std::string(16, '\x11'); }

// Where the fake stub's resource section lies in memory.
const uint32_t FAKE_RSRC_RVA = 0x2000;

// The fake stub; `rsrc`, when given, is its resource section (laid out for
// FAKE_RSRC_RVA) instead of the usual bitmap, icons and dialog. `plus`: an
// x86-64 image (PE32+: a longer optional header, its directories 16 bytes later).
inline std::string MakeFakeStub(bool withRelocations, std::string rsrc = std::string(), bool plus = false) {
    const uint32_t FILE_ALIGN = 0x200, SECTION_ALIGN = 0x1000;
    std::string group(6 + 14, '\0');
    Put16(group, 2, 1);
    Put16(group, 4, 1);
    group[6] = 32;
    group[7] = 32;
    Put16(group, 6 + 4, 1);
    Put16(group, 6 + 6, 4);
    Put32(group, 6 + 8, 16);
    Put16(group, 6 + 12, 1);
    std::vector<FakeResource> resources = {
        {2, 107, 1033, std::string(40, '\x22')},
        {3, 1, 1049, FakeIconImage()},
        {5, 101, 0, std::string(24, '\x33')},
        {14, 102, 1049, group},
    };
    if (rsrc.empty()) rsrc = FakeResourceSection(resources, FAKE_RSRC_RVA);
    auto aligned = [](size_t v, size_t a) { return (v + a - 1) / a * a; };

    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    const size_t nt = 0x80;
    Put32(image, PE_LFANEW, nt);
    Put32(image, nt, PE_SIGNATURE);
    const uint16_t magic = plus ? PE32_PLUS_MAGIC : PE32_MAGIC;
    const uint32_t optionalSize = PeOptionalHeaderSize(magic);
    const size_t oh = nt + PE_OPTIONAL_HEADER, dd = oh + PeDirectoriesAt(optionalSize), st = oh + optionalSize;
    uint16_t sections = withRelocations ? 3 : 2;
    Put16(image, nt + 4, plus ? 0x8664 : 0x14C);  // machine
    Put16(image, nt + PE_SECTION_COUNT, sections);
    Put16(image, nt + PE_OPTIONAL_SIZE_FIELD, optionalSize);
    Put16(image, nt + 22, plus ? 0x0022 : 0x0102);  // characteristics
    Put16(image, oh + OPT_MAGIC, magic);
    Put32(image, oh + 16, 0x1000);  // entry point
    Put32(image, oh + (plus ? 24 : 28), 0x400000);  // image base
    Put32(image, oh + OPT_SECTION_ALIGNMENT, SECTION_ALIGN);
    Put32(image, oh + OPT_FILE_ALIGNMENT, FILE_ALIGN);
    Put16(image, oh + 40, 4);  // operating system and subsystem versions
    Put16(image, oh + 48, 4);
    Put32(image, oh + 60, 0x400);  // size of headers
    Put16(image, oh + 68, 2);  // subsystem: GUI
    Put32(image, dd - 4, PE_DIRECTORY_COUNT);

    auto section = [&](int i, const char* name, uint32_t va, const std::string& raw) {
        size_t h = st + PE_SECTION_ENTRY_SIZE * (size_t)i;
        image.replace(h, 8, std::string(name).append(8 - std::string(name).size(), '\0'));
        Put32(image, h + SEC_VIRTUAL_SIZE, (uint32_t)raw.size());
        Put32(image, h + SEC_VIRTUAL_ADDRESS, va);
        Put32(image, h + SEC_RAW_SIZE, (uint32_t)aligned(raw.size(), FILE_ALIGN));
        Put32(image, h + SEC_RAW_AT, (uint32_t)image.size());
        Put32(image, h + 36, 0x40000040);
        image += raw;
        image.resize(aligned(image.size(), FILE_ALIGN), '\0');
    };
    section(0, ".text", 0x1000, std::string(0x10, '\xC3'));
    section(1, ".rsrc", FAKE_RSRC_RVA, rsrc);
    Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RESOURCE, FAKE_RSRC_RVA);
    Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RESOURCE + 4, (uint32_t)rsrc.size());
    uint32_t end = FAKE_RSRC_RVA + (uint32_t)rsrc.size();
    if (withRelocations) {
        std::string reloc(12, '\0');
        Put32(reloc, 0, 0x1000);
        Put32(reloc, 4, 12);
        Put16(reloc, 8, 0x3004);
        uint32_t va = (uint32_t)aligned(end, SECTION_ALIGN);
        section(2, ".reloc", va, reloc);
        Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RELOCATIONS, va);
        Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RELOCATIONS + 4, 12);
        end = va + 12;
    }
    Put32(image, oh + OPT_SIZE_OF_IMAGE, (uint32_t)aligned(end, SECTION_ALIGN));
    return image;
}

// Where the payload of an archive begins: the end of the raw data of its
// last section (the sections of an archive's stub lie in file order).
inline size_t PayloadOffset(const std::string& exe) {
    size_t pe = Get32(exe, PE_LFANEW);
    size_t count = (uint8_t)exe[pe + PE_SECTION_COUNT] | (uint8_t)exe[pe + PE_SECTION_COUNT + 1] << 8;
    size_t optional = (uint8_t)exe[pe + PE_OPTIONAL_SIZE_FIELD] | (uint8_t)exe[pe + PE_OPTIONAL_SIZE_FIELD + 1] << 8;
    size_t last = pe + PE_OPTIONAL_HEADER + optional + PE_SECTION_ENTRY_SIZE * (count - 1);
    return Get32(exe, last + SEC_RAW_AT) + Get32(exe, last + SEC_RAW_SIZE);
}
