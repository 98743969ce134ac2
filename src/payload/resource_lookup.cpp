// The key-stretch resource as the tool reads it from an archive file. The
// extractor asks the system's loader instead (FindResourceA); this follows
// the same tree by hand, through a few small reads, for either kind of PE
// image (payload/pe.h). Like the loader, it finds the section table behind
// the optional header's own size:
//
//   data directory 2 (resources: RVA, size)
//   section table: RVA -> file offset
//   resource tree: type directory -> name directory -> language directory
//                  -> data entry (RVA, size)
#include "crypto/key_stretch.h"
#include "payload/reader.h"

namespace {

struct Section {
    uint32_t va, rawSize, rawAt;
};

struct Image {
    FileHandle file;
    int64_t fileSize;
    Section sections[PE_MAX_SECTIONS];
    uint32_t sectionCount;
    int64_t treeAt;      // file offset of the resource section's root directory
    uint32_t treeSize;   // bytes of the tree within that section
};

bool ReadAt(const Image& img, int64_t at, void* buffer, uint32_t size) {
    if (at < 0 || at > img.fileSize || size > img.fileSize - at) return false;
    return PlatformSeek(img.file, at) == at && PlatformRead(img.file, buffer, size) == size;
}

// The file offset of `size` bytes at `rva`, -1 when no section's raw data
// holds them.
int64_t OffsetOf(const Image& img, uint32_t rva, uint32_t size) {
    for (uint32_t i = 0; i < img.sectionCount; i++) {
        const Section& s = img.sections[i];
        if (rva < s.va || rva - s.va >= s.rawSize || size > s.rawSize - (rva - s.va)) continue;
        int64_t at = (int64_t)s.rawAt + (rva - s.va);
        return at <= img.fileSize && size <= img.fileSize - at ? at : -1;
    }
    return -1;
}

bool ReadHeaders(Image* img) {
    uint8_t dos[PE_DOS_HEADER_SIZE];
    if (!ReadAt(*img, 0, dos, sizeof dos)) return false;
    int64_t nt = LoadLE32(dos + PE_LFANEW);
    uint8_t coff[PE_OPTIONAL_HEADER + 2];  // signature, COFF header, the optional header's magic
    if (nt > PE_MAX_HEADER_AT || !ReadAt(*img, nt, coff, sizeof coff) || LoadLE32(coff) != PE_SIGNATURE)
        return false;
    uint32_t count = LoadLE16(coff + PE_SECTION_COUNT), optionalSize = LoadLE16(coff + PE_OPTIONAL_SIZE_FIELD);
    uint32_t standardSize = PeOptionalHeaderSize(LoadLE16(coff + PE_OPTIONAL_HEADER + OPT_MAGIC));
    uint32_t directories = standardSize ? PeDirectoriesAt(standardSize) : 0;
    if (standardSize == 0 || count > PE_MAX_SECTIONS ||
        optionalSize < directories + (DIR_RESOURCE + 1) * PE_DIRECTORY_SIZE)
        return false;
    uint8_t resources[PE_DIRECTORY_SIZE];
    int64_t optional = nt + PE_OPTIONAL_HEADER;
    if (!ReadAt(*img, optional + directories + DIR_RESOURCE * PE_DIRECTORY_SIZE, resources, sizeof resources))
        return false;
    uint32_t rva = LoadLE32(resources);
    if (rva == 0) return false;
    img->sectionCount = count;
    for (uint32_t i = 0; i < count; i++) {
        uint8_t h[PE_SECTION_ENTRY_SIZE];
        if (!ReadAt(*img, optional + optionalSize + (int64_t)i * PE_SECTION_ENTRY_SIZE, h, sizeof h)) return false;
        img->sections[i].va = LoadLE32(h + SEC_VIRTUAL_ADDRESS);
        img->sections[i].rawSize = LoadLE32(h + SEC_RAW_SIZE);
        img->sections[i].rawAt = LoadLE32(h + SEC_RAW_AT);
    }
    // The tree may run to the end of its section, whatever the directory says.
    for (uint32_t i = 0; i < count; i++) {
        const Section& s = img->sections[i];
        if (rva < s.va || rva - s.va >= s.rawSize) continue;
        img->treeAt = OffsetOf(*img, rva, 16);
        img->treeSize = s.rawSize - (rva - s.va);
        return img->treeAt >= 0;
    }
    return false;
}

// The target of the entry for `id` in the directory at `dir` (relative to
// the tree); with `anyId`, entry id 0 if there is one, else the first entry.
// False when there is none or the directory lies outside the tree.
bool FindEntry(const Image& img, uint32_t dir, uint16_t id, bool anyId, uint32_t* target) {
    uint8_t head[16];
    if (dir > img.treeSize || 16 > img.treeSize - dir || !ReadAt(img, img.treeAt + dir, head, sizeof head))
        return false;
    uint32_t named = LoadLE16(head + 12), total = named + LoadLE16(head + 14);
    if ((uint64_t)total * 8 > img.treeSize - dir - 16) return false;
    bool found = false;
    for (uint32_t i = 0; i < total; i++) {
        uint8_t entry[8];
        if (!ReadAt(img, img.treeAt + dir + 16 + (int64_t)i * 8, entry, sizeof entry)) return false;
        uint32_t nameField = LoadLE32(entry);
        bool isId = i >= named && (nameField & 0x80000000u) == 0;
        if (anyId && !found) {
            *target = LoadLE32(entry + 4);
            found = true;
        }
        if (isId && nameField == id) {
            *target = LoadLE32(entry + 4);
            return true;
        }
    }
    return found;
}

}  // namespace

int ReadKeyStretchOf(const char* path, KeyStretch* stretch) {
    Image img;
    img.file = PlatformOpenRead(path);
    if (img.file == NO_FILE) return RESULT_CORRUPT;
    img.fileSize = PlatformFileSize(img.file);
    img.sectionCount = 0;
    img.treeAt = -1;
    img.treeSize = 0;
    int result = RESULT_END;
    uint32_t type, name, language;
    // A directory's target has the top bit set; a data entry's does not.
    if (img.fileSize > 0 && ReadHeaders(&img) &&
        FindEntry(img, 0, KEY_STRETCH_RESOURCE_TYPE, false, &type) && (type & 0x80000000u) &&
        FindEntry(img, type & 0x7FFFFFFFu, KEY_STRETCH_RESOURCE_ID, false, &name) && (name & 0x80000000u) &&
        FindEntry(img, name & 0x7FFFFFFFu, 0, true, &language)) {
        // From here on the archive says it has a stretched key: anything
        // wrong with it is damage, not a plain archive.
        result = RESULT_CORRUPT;
        uint8_t entry[16], bytes[KEY_STRETCH_SIZE];
        if (!(language & 0x80000000u) && language <= img.treeSize && 16 <= img.treeSize - language &&
            ReadAt(img, img.treeAt + language, entry, sizeof entry) && LoadLE32(entry + 4) == KEY_STRETCH_SIZE) {
            int64_t at = OffsetOf(img, LoadLE32(entry), KEY_STRETCH_SIZE);
            if (at >= 0 && ReadAt(img, at, bytes, sizeof bytes) && ParseKeyStretch(bytes, sizeof bytes, stretch))
                result = RESULT_OK;
        }
    }
    PlatformClose(img.file);
    return result;
}
