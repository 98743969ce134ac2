#include "pack/resources.h"

#include <cstring>
#include <map>
#include <set>

#include "pack/refusal.h"
#include "payload/format.h"

// ---- the resource tree --------------------------------------------------------
//
//   root directory ── type (id or name) ── name (id or name) ── language ── data
//
// Each directory lists named entries first, then id entries in ascending
// order. Data entries hold an RVA, a size and a code page.

namespace {

struct ResKey {
    bool isName = false;
    uint16_t id = 0;
    std::u16string name;
    bool operator<(const ResKey& o) const {
        if (isName != o.isName) return isName;  // names sort before ids
        return isName ? name < o.name : id < o.id;
    }
};

ResKey IdKey(uint16_t id) {
    ResKey k;
    k.id = id;
    return k;
}

struct ResNode {
    bool isLeaf = false;
    std::vector<uint8_t> data;
    uint32_t codepage = 0;
    std::map<ResKey, ResNode> children;
};

// Where the PE's fields are.
struct PeLayout {
    size_t optional = 0;         // offset of the optional header
    size_t directories = 0;      // offset of its data directories
    size_t sections = 0;         // offset of the section table
    uint16_t sectionCount = 0;
    size_t rsrcHeader = 0;       // offset of the resource section's header
    size_t relocHeader = 0;      // offset of a relocation section behind it, or 0
    uint32_t fileAlign = 0;      // FileAlignment and SectionAlignment, checked
    uint32_t sectionAlign = 0;
};

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

const size_t SECTION_HEADER = PE_SECTION_ENTRY_SIZE;

// Offset of data directory `index` in an image whose directories start at `directories`.
size_t Directory(size_t directories, uint32_t index) { return directories + PE_DIRECTORY_SIZE * index; }

struct Image {
    std::vector<uint8_t>* bytes;

    [[noreturn]] void Bad(const std::string& why) const { Refuse(why); }
    uint32_t U32(size_t at) const {
        if (at > bytes->size() || 4 > bytes->size() - at) Bad("a header lies outside the file");
        return LoadLE32(bytes->data() + at);
    }
    uint16_t U16(size_t at) const {
        if (at > bytes->size() || 2 > bytes->size() - at) Bad("a header lies outside the file");
        return LoadLE16(bytes->data() + at);
    }
    void Put32(size_t at, uint32_t v) { StoreLE32(bytes->data() + at, v); }

    // File offset of `size` bytes at `rva`, searching every section.
    size_t RvaToOffset(const PeLayout& pe, uint32_t rva, uint32_t size) const {
        for (uint16_t i = 0; i < pe.sectionCount; i++) {
            size_t h = pe.sections + i * SECTION_HEADER;
            uint32_t va = U32(h + SEC_VIRTUAL_ADDRESS), raw = U32(h + SEC_RAW_SIZE), ptr = U32(h + SEC_RAW_AT);
            if (rva >= va && rva - va <= raw && size <= raw - (rva - va)) {
                uint64_t off = (uint64_t)ptr + (rva - va);
                if (off > bytes->size() || size > bytes->size() - off) Bad("resource data lies outside the file");
                return (size_t)off;
            }
        }
        Bad("resource data lies outside every section");
    }
};

PeLayout ParsePe(const Image& img) {
    PeLayout pe;
    if (img.bytes->size() < PE_DOS_HEADER_SIZE || img.U16(0) != PE_DOS_MAGIC) img.Bad("no MZ header");
    size_t nt = img.U32(PE_LFANEW);
    if (nt > PE_MAX_HEADER_AT) img.Bad("its PE header lies beyond 64 KiB");
    if (img.U32(nt) != PE_SIGNATURE) img.Bad("no PE signature");
    pe.sectionCount = img.U16(nt + PE_SECTION_COUNT);
    uint16_t optionalSize = img.U16(nt + PE_OPTIONAL_SIZE_FIELD);
    pe.optional = nt + PE_OPTIONAL_HEADER;
    uint32_t standardSize = PeOptionalHeaderSize(img.U16(pe.optional + OPT_MAGIC));
    if (standardSize == 0) img.Bad("not a 32-bit (PE32) or 64-bit (PE32+) image");
    // The extractor finds its section table at a fixed distance behind the
    // PE signature, which holds only for the standard optional header size.
    if (optionalSize != standardSize) img.Bad("unusual optional header size");
    pe.directories = pe.optional + PeDirectoriesAt(standardSize);
    if (img.U32(pe.directories - 4) < PE_DIRECTORY_COUNT) img.Bad("too few data directories");
    pe.sections = pe.optional + optionalSize;
    if (pe.sectionCount == 0) img.Bad("no sections");
    if (pe.sectionCount > PE_MAX_SECTIONS) img.Bad("more than " + std::to_string(PE_MAX_SECTIONS) + " sections");
    // FileAlignment: a power of two from 512 to 64 KiB; SectionAlignment: a
    // power of two not below it. The section grows to a multiple of each.
    pe.fileAlign = img.U32(pe.optional + OPT_FILE_ALIGNMENT);
    pe.sectionAlign = img.U32(pe.optional + OPT_SECTION_ALIGNMENT);
    if (!IsPowerOfTwo(pe.fileAlign) || pe.fileAlign < 512 || pe.fileAlign > 0x10000)
        img.Bad("its file alignment (" + std::to_string(pe.fileAlign) + ") is not a power of two from 512 to 65536");
    if (!IsPowerOfTwo(pe.sectionAlign) || pe.sectionAlign < pe.fileAlign)
        img.Bad("its section alignment (" + std::to_string(pe.sectionAlign) +
                ") is not a power of two at least as large as its file alignment");
    img.U32(pe.sections + pe.sectionCount * SECTION_HEADER - 4);  // bounds check of the table

    uint32_t rsrcRva = img.U32(Directory(pe.directories, DIR_RESOURCE));
    if (rsrcRva == 0) img.Bad("it has no resources");
    if (img.U32(Directory(pe.directories, DIR_CERTIFICATES)) != 0)
        img.Bad("it is signed, and a new resource section would break the signature");
    int rsrc = -1;
    for (uint16_t i = 0; i < pe.sectionCount; i++)
        if (img.U32(pe.sections + i * SECTION_HEADER + SEC_VIRTUAL_ADDRESS) == rsrcRva) rsrc = i;
    if (rsrc < 0) img.Bad("the resource directory does not start a section");
    pe.rsrcHeader = pe.sections + (size_t)rsrc * SECTION_HEADER;
    // The resource section can only grow when it is the last one, or when
    // the only section behind it holds base relocations: those list RVAs
    // elsewhere in the image and nothing points into them but the data
    // directory, so they can move behind the grown section.
    if (rsrc == pe.sectionCount - 2) {
        size_t next = pe.sections + (size_t)(rsrc + 1) * SECTION_HEADER;
        if (std::memcmp(img.bytes->data() + next, ".reloc\0\0", 8) != 0 ||
            img.U32(Directory(pe.directories, DIR_RELOCATIONS)) != img.U32(next + SEC_VIRTUAL_ADDRESS))
            img.Bad("the resource section is not the last section");
        pe.relocHeader = next;
    } else if (rsrc != pe.sectionCount - 1) {
        img.Bad("the resource section is not the last section");
    }
    // Every other section must lie before it in memory and in the file.
    uint32_t rsrcAt = img.U32(pe.rsrcHeader + SEC_RAW_AT);
    for (uint16_t i = 0; i < pe.sectionCount; i++) {
        size_t h = pe.sections + i * SECTION_HEADER;
        if (h == pe.rsrcHeader || h == pe.relocHeader) continue;
        if ((uint64_t)img.U32(h + SEC_VIRTUAL_ADDRESS) + img.U32(h + SEC_VIRTUAL_SIZE) > rsrcRva ||
            (uint64_t)img.U32(h + SEC_RAW_AT) + img.U32(h + SEC_RAW_SIZE) > rsrcAt)
            img.Bad("the resource section is not the last section in memory and in the file");
    }
    return pe;
}

// The most directory entries a stub's resource tree may have. An extractor
// carries a dozen resources; this leaves room for all 65,536 icon ids with
// a language each.
const uint32_t MAX_RESOURCE_ENTRIES = 1 << 18;

// Reads the resource tree of one section. Each directory is read once: a
// tree whose directories share subdirectories (or loop) would otherwise be
// walked, and its data copied, once per path to it. The resources'
// data and names together take no more than the whole file, as they do
// when no two of them share bytes.
struct TreeReader {
    const Image& img;
    const PeLayout& pe;
    size_t base;           // file offset of the section
    uint32_t sectionSize;  // bytes of it the tree may use
    std::set<uint32_t> seen;  // offsets of the directories read
    uint32_t entries = 0;
    uint64_t dataLeft;     // bytes of data and names still allowed

    void Take(uint64_t bytes) {
        if (bytes > dataLeft) img.Bad("the resources hold more data than the file (they share their bytes)");
        dataLeft -= bytes;
    }

    // Reads the directory at `dirOffset` (relative to the section).
    void Directory(uint32_t dirOffset, int depth, ResNode* node) {
        if (depth > 3) img.Bad("the resource tree is too deep");
        if (dirOffset > sectionSize || 16 > sectionSize - dirOffset) img.Bad("a resource directory lies outside the section");
        if (!seen.insert(dirOffset).second) img.Bad("a resource directory is reached twice");
        size_t dir = base + dirOffset;
        uint32_t count = (uint32_t)img.U16(dir + 12) + img.U16(dir + 14);
        if ((uint64_t)count * 8 > sectionSize - dirOffset - 16) img.Bad("a resource directory is truncated");
        if (count > MAX_RESOURCE_ENTRIES - entries)
            img.Bad("the resource tree has more than " + std::to_string(MAX_RESOURCE_ENTRIES) + " entries");
        entries += count;
        for (uint32_t i = 0; i < count; i++) {
            size_t e = dir + 16 + (size_t)i * 8;
            uint32_t nameField = img.U32(e), target = img.U32(e + 4);
            ResKey key;
            if (nameField & 0x80000000u) {
                uint32_t at = nameField & 0x7FFFFFFFu;
                if (at > sectionSize || 2 > sectionSize - at) img.Bad("a resource name lies outside the section");
                uint16_t len = img.U16(base + at);
                if ((uint64_t)len * 2 > sectionSize - at - 2) img.Bad("a resource name is truncated");
                Take((uint64_t)len * 2);
                key.isName = true;
                for (uint16_t k = 0; k < len; k++) key.name.push_back((char16_t)img.U16(base + at + 2 + 2 * k));
            } else {
                key.id = (uint16_t)nameField;
            }
            ResNode& child = node->children[key];
            if (target & 0x80000000u) {
                if (depth == 3) img.Bad("the resource tree is too deep");
                Directory(target & 0x7FFFFFFFu, depth + 1, &child);
            } else {
                if (depth != 3) img.Bad("resource data at an unexpected level");
                if (target > sectionSize || 16 > sectionSize - target) img.Bad("a resource data entry lies outside the section");
                uint32_t rva = img.U32(base + target), size = img.U32(base + target + 4);
                size_t at = img.RvaToOffset(pe, rva, size);
                Take(size);
                child.isLeaf = true;
                child.codepage = img.U32(base + target + 8);
                child.data.assign(img.bytes->begin() + (long)at, img.bytes->begin() + (long)(at + size));
            }
        }
    }
};

// Icon ids that group `except` does not use but other groups do.
std::map<uint16_t, bool> IconIdsOfOtherGroups(const ResNode& root, uint16_t except) {
    std::map<uint16_t, bool> used;
    auto groups = root.children.find(IdKey(RES_TYPE_GROUP_ICON));
    if (groups == root.children.end()) return used;
    for (const auto& name : groups->second.children) {
        if (!name.first.isName && name.first.id == except) continue;
        for (const auto& lang : name.second.children) {
            const std::vector<uint8_t>& g = lang.second.data;
            if (g.size() < 6) continue;
            uint16_t n = LoadLE16(&g[4]);
            for (uint16_t i = 0; i < n && 6 + (size_t)(i + 1) * 14 <= g.size(); i++)
                used[LoadLE16(&g[6 + (size_t)i * 14 + 12])] = true;
        }
    }
    return used;
}

void PlaceIcon(ResNode* root, const IconResource& icon) {
    ResNode& groups = root->children[IdKey(RES_TYPE_GROUP_ICON)];
    ResNode& icons = root->children[IdKey(RES_TYPE_ICON)];
    std::map<uint16_t, bool> keep = IconIdsOfOtherGroups(*root, RES_ICON_GROUP_ID);
    // Drop the old group and the images only it used.
    auto old = groups.children.find(IdKey(RES_ICON_GROUP_ID));
    if (old != groups.children.end()) {
        for (const auto& lang : old->second.children) {
            const std::vector<uint8_t>& g = lang.second.data;
            if (g.size() < 6) continue;
            uint16_t n = LoadLE16(&g[4]);
            for (uint16_t i = 0; i < n && 6 + (size_t)(i + 1) * 14 <= g.size(); i++) {
                uint16_t id = LoadLE16(&g[6 + (size_t)i * 14 + 12]);
                if (!keep.count(id)) icons.children.erase(IdKey(id));
            }
        }
        groups.children.erase(old);
    }
    std::vector<uint8_t> group = icon.group;
    // `next` only moves on, so no id is looked at twice before all 65,536
    // have been: then none is free.
    uint16_t next = 1;
    uint32_t looked = 0;
    for (size_t i = 0; i < icon.images.size(); i++) {
        for (;; next++) {
            if (looked++ == 0x10000) Refuse("every icon id is taken: the stub's icons and the new ones need more than 65,536");
            if (!icons.children.count(IdKey(next))) break;
        }
        StoreLE16(&group[6 + i * 14 + 12], next);
        ResNode& image = icons.children[IdKey(next)].children[IdKey(RES_ICON_LANG)];
        image.isLeaf = true;
        image.data = icon.images[i];
        next++;
    }
    ResNode& g = groups.children[IdKey(RES_ICON_GROUP_ID)].children[IdKey(RES_ICON_LANG)];
    g.isLeaf = true;
    g.data = group;
}

// Puts `data` in place of every language of resource `type`/`id`.
void PlaceLeaf(ResNode* root, uint16_t type, uint16_t id, uint16_t lang, const std::vector<uint8_t>& data) {
    ResNode& name = root->children[IdKey(type)].children[IdKey(id)];
    name.children.clear();
    ResNode& leaf = name.children[IdKey(lang)];
    leaf.isLeaf = true;
    leaf.data = data;
}

uint64_t Align(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

// Serialises the tree for a section at `sectionRva`:
//   [directories, breadth first][data entries][names][data, 8-byte aligned]
std::vector<uint8_t> BuildSection(const ResNode& root, uint32_t sectionRva) {
    std::vector<const ResNode*> dirs{&root}, leaves;
    size_t dirBytes = 0, nameBytes = 0;
    for (size_t i = 0; i < dirs.size(); i++) {
        dirBytes += 16 + dirs[i]->children.size() * 8;
        for (const auto& c : dirs[i]->children) {
            if (c.first.isName) nameBytes += 2 + 2 * c.first.name.size();
            (c.second.isLeaf ? leaves : dirs).push_back(&c.second);
        }
    }
    size_t entriesAt = dirBytes, namesAt = entriesAt + leaves.size() * 16;
    size_t dataAt = Align(namesAt + nameBytes, 8);
    size_t total = dataAt;
    for (const ResNode* l : leaves) total = Align(total + l->data.size(), 8);
    std::vector<uint8_t> out(total, 0);

    std::map<const ResNode*, size_t> dirOffset, leafOffset;
    size_t at = 0;
    for (const ResNode* d : dirs) {
        dirOffset[d] = at;
        at += 16 + d->children.size() * 8;
    }
    size_t data = dataAt;
    for (size_t i = 0; i < leaves.size(); i++) {
        size_t e = entriesAt + i * 16;
        leafOffset[leaves[i]] = e;
        StoreLE32(&out[e], sectionRva + (uint32_t)data);
        StoreLE32(&out[e + 4], (uint32_t)leaves[i]->data.size());
        StoreLE32(&out[e + 8], leaves[i]->codepage);
        std::copy(leaves[i]->data.begin(), leaves[i]->data.end(), out.begin() + (long)data);
        data = Align(data + leaves[i]->data.size(), 8);
    }
    size_t name = namesAt;
    for (const ResNode* d : dirs) {
        size_t o = dirOffset[d];
        uint16_t named = 0, ids = 0;
        size_t e = o + 16;
        for (const auto& c : d->children) {
            if (c.first.isName) {
                named++;
                StoreLE32(&out[e], 0x80000000u | (uint32_t)name);
                StoreLE16(&out[name], (uint16_t)c.first.name.size());
                for (size_t k = 0; k < c.first.name.size(); k++)
                    StoreLE16(&out[name + 2 + 2 * k], (uint16_t)c.first.name[k]);
                name += 2 + 2 * c.first.name.size();
            } else {
                ids++;
                StoreLE32(&out[e], c.first.id);
            }
            StoreLE32(&out[e + 4], c.second.isLeaf ? (uint32_t)leafOffset[&c.second]
                                                   : 0x80000000u | (uint32_t)dirOffset[&c.second]);
            e += 8;
        }
        StoreLE16(&out[o + 12], named);
        StoreLE16(&out[o + 14], ids);
    }
    return out;
}

// The PE checksum: 16-bit one's-complement-style sum of the file with the
// checksum field taken as zero, plus the file length.
uint32_t PeChecksum(const std::vector<uint8_t>& bytes, size_t checksumAt) {
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t word = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        if (i == checksumAt || i == checksumAt + 2) word = 0;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return (uint32_t)sum + (uint32_t)bytes.size();
}

}  // namespace

static void Rebuild(std::vector<uint8_t>* bytes, const ResourceChanges& changes) {
    Image img{bytes};
    PeLayout pe = ParsePe(img);
    size_t h = pe.rsrcHeader;
    uint32_t va = img.U32(h + SEC_VIRTUAL_ADDRESS), vsize = img.U32(h + SEC_VIRTUAL_SIZE),
             rawSize = img.U32(h + SEC_RAW_SIZE), rawAt = img.U32(h + SEC_RAW_AT);
    if (rawAt > bytes->size() || rawSize > bytes->size() - rawAt)
        img.Bad("the resource section lies outside the file");
    uint32_t used = vsize != 0 && vsize < rawSize ? vsize : rawSize;

    ResNode root;
    TreeReader tree{img, pe, rawAt, used, {}, 0, bytes->size()};
    tree.Directory(0, 1, &root);
    if (changes.background)
        PlaceLeaf(&root, RES_TYPE_BITMAP, RES_BACKGROUND_ID, RES_BACKGROUND_LANG, changes.background->dib);
    if (changes.icon) PlaceIcon(&root, *changes.icon);
    if (changes.version)
        PlaceLeaf(&root, RES_TYPE_VERSION, RES_VERSION_ID, RES_PROGRAM_INFO_LANG, *changes.version);
    if (changes.manifest)
        PlaceLeaf(&root, RES_TYPE_MANIFEST, RES_MANIFEST_ID, RES_PROGRAM_INFO_LANG,
                  std::vector<uint8_t>(changes.manifest->begin(), changes.manifest->end()));
    if (changes.dropKeyStretch) {
        auto data = root.children.find(IdKey(RES_TYPE_RCDATA));
        if (data != root.children.end()) {
            data->second.children.erase(IdKey(RES_KEY_STRETCH_ID));
            if (data->second.children.empty()) root.children.erase(data);
        }
    }
    if (changes.keyStretch)
        PlaceLeaf(&root, RES_TYPE_RCDATA, RES_KEY_STRETCH_ID, RES_NEUTRAL_LANG, *changes.keyStretch);
    std::vector<uint8_t> section = BuildSection(root, va);

    std::vector<uint8_t> reloc;
    uint32_t relocVirtual = 0;
    if (pe.relocHeader) {
        uint32_t at = img.U32(pe.relocHeader + SEC_RAW_AT), size = img.U32(pe.relocHeader + SEC_RAW_SIZE);
        if (at > bytes->size() || size > bytes->size() - at) img.Bad("the relocations lie outside the file");
        reloc.assign(bytes->begin() + at, bytes->begin() + at + size);
        relocVirtual = img.U32(pe.relocHeader + SEC_VIRTUAL_SIZE);
    }
    size_t newRaw = (size_t)Align(section.size(), pe.fileAlign);
    // Every new offset, size and address must fit its 32-bit field.
    uint64_t memoryEnd = (uint64_t)va + section.size();
    if (pe.relocHeader) memoryEnd = Align(memoryEnd, pe.sectionAlign) + relocVirtual;
    if ((uint64_t)rawAt + newRaw + reloc.size() > UINT32_MAX || Align(memoryEnd, pe.sectionAlign) > UINT32_MAX)
        img.Bad("with the new resources it would be larger than 4 GiB");
    bytes->resize(rawAt);
    bytes->insert(bytes->end(), section.begin(), section.end());
    bytes->resize(rawAt + newRaw, 0);
    img.Put32(h + SEC_VIRTUAL_SIZE, (uint32_t)section.size());
    img.Put32(h + SEC_RAW_SIZE, (uint32_t)newRaw);
    int64_t initializedDelta = (int64_t)newRaw - rawSize;
    size_t imageEnd = (size_t)va + section.size();
    img.Put32(Directory(pe.directories, DIR_RESOURCE), va);
    img.Put32(Directory(pe.directories, DIR_RESOURCE) + 4, (uint32_t)section.size());
    if (pe.relocHeader) {
        uint32_t relocVa = (uint32_t)Align(imageEnd, pe.sectionAlign);
        img.Put32(pe.relocHeader + SEC_VIRTUAL_ADDRESS, relocVa);
        img.Put32(pe.relocHeader + SEC_RAW_AT, (uint32_t)bytes->size());
        img.Put32(Directory(pe.directories, DIR_RELOCATIONS), relocVa);
        bytes->insert(bytes->end(), reloc.begin(), reloc.end());
        imageEnd = (size_t)relocVa + relocVirtual;
    }
    img.Put32(pe.optional + OPT_INITIALIZED_DATA,
              (uint32_t)((int64_t)img.U32(pe.optional + OPT_INITIALIZED_DATA) + initializedDelta));
    img.Put32(pe.optional + OPT_SIZE_OF_IMAGE, (uint32_t)Align(imageEnd, pe.sectionAlign));
    size_t checksum = pe.optional + OPT_CHECKSUM;
    if (img.U32(checksum) != 0) img.Put32(checksum, PeChecksum(*bytes, checksum));
}

std::string ReplaceStubResources(std::vector<uint8_t>* image, const ResourceChanges& changes) {
    if (!changes.background && !changes.icon && !changes.version && !changes.manifest && !changes.keyStretch &&
        !changes.dropKeyStretch)
        return std::string();
    std::vector<uint8_t> edited = *image;  // the image stays as it was when the edit fails
    std::string why = ReasonOf([&] { Rebuild(&edited, changes); });
    if (why.empty()) image->swap(edited);
    return why;
}
