// A stand-in extractor stub (never run): PE32(+), resources (bitmap 107, icons 102, a dialog) last.
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

// Where the fake stub's resource section lies in memory.
const uint32_t FAKE_RSRC_RVA = 0x2000;
const uint32_t SUB = 0x80000000u;  // a resource entry leads to a directory (or a name)

// A resource section written entry by entry, laid out for FAKE_RSRC_RVA.
struct RawTree {
    std::string b;
    uint32_t Dir(uint32_t ids, uint32_t names = 0) {  // its offset
        uint32_t at = (uint32_t)b.size();
        b.resize(at + 16 + 8 * (size_t)(names + ids));
        Put16(b, at + 12, names);
        Put16(b, at + 14, ids);
        return at;
    }
    void Set(uint32_t dir, uint32_t i, uint32_t name, uint32_t target) {
        Put32(b, dir + 16 + 8 * i, name);
        Put32(b, dir + 20 + 8 * i, target);
    }
    uint32_t Data(uint32_t size) {  // a data entry with its data behind it
        uint32_t at = (uint32_t)b.size();
        b.resize(at + 16 + size);
        Put32(b, at, FAKE_RSRC_RVA + at + 16);
        Put32(b, at + 4, size);
        return at;
    }
};

// Resources `list` (ids only, one language each) as a linker lays them out: directories, entries, data.
inline std::string FakeResourceSection(const std::vector<FakeResource>& list) {
    std::map<uint16_t, std::map<uint16_t, const FakeResource*>> tree;
    for (const FakeResource& r : list) tree[r.type][r.name] = &r;
    RawTree t;
    uint32_t root = t.Dir((uint32_t)tree.size()), ti = 0;
    std::vector<std::pair<uint32_t, const FakeResource*>> leaves;  // language directory, resource
    for (auto& type : tree) {
        uint32_t names = t.Dir((uint32_t)type.second.size()), ni = 0;
        t.Set(root, ti++, type.first, SUB | names);
        for (auto& n : type.second) {
            leaves.push_back({t.Dir(1), n.second});
            t.Set(names, ni++, n.first, SUB | leaves.back().first);
        }
    }
    uint32_t entry = (uint32_t)t.b.size();
    t.b.resize(entry + 16 * leaves.size());
    for (auto& [lang, r] : leaves) {
        t.Set(lang, 0, r->lang, entry);
        while (t.b.size() % 8) t.b.push_back('\0');
        Put32(t.b, entry, FAKE_RSRC_RVA + (uint32_t)t.b.size());
        Put32(t.b, entry + 4, (uint32_t)r->data.size());
        t.b += r->data;
        entry += 16;
    }
    return t.b;
}

// The fake stub, with `rsrc` as its resource section when given; `plus`: an x86-64 image (PE32+).
inline std::string MakeFakeStub(bool withRelocations, std::string rsrc = std::string(), bool plus = false) {
    const uint32_t FILE_ALIGN = 0x200, SECTION_ALIGN = 0x1000;
    // The icon group: type 1, one 32 x 32 image of 1 plane, 4 bits, 16 bytes, id 1.
    const std::string group("\0\0\1\0\1\0" "\x20\x20\0\0\1\0\4\0\x10\0\0\0\1\0", 6 + 14);
    std::vector<FakeResource> resources = {
        {2, 107, 1033, std::string(40, '\x22')},
        {3, 1, 1049, std::string(16, '\x11')},
        {5, 101, 0, std::string(24, '\x33')},
        {14, 102, 1049, group},
    };
    if (rsrc.empty()) rsrc = FakeResourceSection(resources);
    auto aligned = [](size_t v, size_t a) { return (v + a - 1) / a * a; };

    std::string image(0x400, '\0');
    Put16(image, 0, 0x5A4D);  // "MZ"
    const size_t nt = 0x80;
    Put32(image, PE_LFANEW, nt);
    Put32(image, nt, PE_SIGNATURE);
    const uint16_t magic = plus ? PE32_PLUS_MAGIC : PE32_MAGIC;
    const uint32_t optionalSize = PeOptionalHeaderSize(magic);
    const size_t oh = nt + PE_OPTIONAL_HEADER, dd = oh + PeDirectoriesAt(optionalSize), st = oh + optionalSize;
    Put16(image, nt + 4, plus ? 0x8664 : 0x14C);  // machine
    Put16(image, nt + PE_SECTION_COUNT, withRelocations ? 3 : 2);
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
        const std::string reloc("\0\x10\0\0\x0C\0\0\0\x04\x30\0\0", 12);  // page 0x1000, 12 bytes, one HIGHLOW at 4
        uint32_t va = (uint32_t)aligned(end, SECTION_ALIGN);
        section(2, ".reloc", va, reloc);
        Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RELOCATIONS, va);
        Put32(image, dd + PE_DIRECTORY_SIZE * DIR_RELOCATIONS + 4, 12);
        end = va + 12;
    }
    Put32(image, oh + OPT_SIZE_OF_IMAGE, (uint32_t)aligned(end, SECTION_ALIGN));
    return image;
}

// Where the payload of an archive begins: the end of its last section's raw data.
inline size_t PayloadOffset(const std::string& exe) {
    size_t pe = Get32(exe, PE_LFANEW);
    size_t count = (uint8_t)exe[pe + PE_SECTION_COUNT] | (uint8_t)exe[pe + PE_SECTION_COUNT + 1] << 8;
    size_t optional = (uint8_t)exe[pe + PE_OPTIONAL_SIZE_FIELD] | (uint8_t)exe[pe + PE_OPTIONAL_SIZE_FIELD + 1] << 8;
    size_t last = pe + PE_OPTIONAL_HEADER + optional + PE_SECTION_ENTRY_SIZE * (count - 1);
    return Get32(exe, last + SEC_RAW_AT) + Get32(exe, last + SEC_RAW_SIZE);
}
