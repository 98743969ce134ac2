// Constants of the archive format, shared by the reader and the writer so the
// two cannot drift apart. All integers in the payload are little-endian.
//
//   file:   [ PE image ......... ][ ArchiveHeader ][ entry ][ entry ] ... EOF
//                                ^ P = last section's PointerToRawData + SizeOfRawData
//
//   ArchiveHeader:  u32 OpenFolderShowCmd | u8 LayoutMode | u32 BackgroundWidth
//                   | u32 BackgroundHeight | u32 T | T title bytes
//                   | 16 PasswordCheckBlock | u16 R | R run-after bytes (encrypted)
//
//   entry:  56 EntryHeader | u16 L | L name bytes (encrypted)
//           | StoredSize data bytes (encrypted zlib stream; files only)
#pragma once
#include <stdint.h>

// The kind of PE image an archive is appended to: the extractor's own. The
// extractor that ships is 32-bit (PE32); an x86-64 build (PE32+) exists only
// so that its tests run on machines without 32-bit user code. Every build
// reads and writes archives of the kind it was built as, so the two never mix.
// The extractor finds its section table at the standard optional header size
// behind the PE signature; SizeOfOptionalHeader is not consulted.
#if defined(_WIN64)
const uint16_t PE_MAGIC = 0x20B;
const uint32_t PE_OPTIONAL_HEADER_SIZE = 240;
const char* const PE_KIND_NAME = "64-bit (PE32+)";
#else
const uint16_t PE_MAGIC = 0x10B;
const uint32_t PE_OPTIONAL_HEADER_SIZE = 224;
const char* const PE_KIND_NAME = "32-bit (PE32)";
#endif
// Offset of the section table from the PE signature (the COFF header is 20
// bytes behind the 4-byte signature), and of the data directories (16 of 8
// bytes end the optional header) from the optional header.
const uint32_t PE_SECTION_TABLE = 24 + PE_OPTIONAL_HEADER_SIZE;
const uint32_t PE_DATA_DIRECTORIES = PE_OPTIONAL_HEADER_SIZE - 16 * 8;

// Size of the entry data pieces and of the reader's buffers. Part of the
// format: the cipher restarts its block index at every piece. 10000 blocks.
const uint32_t IO_CHUNK = 160000;

// Longest title, run-after name and entry name, in bytes (MAX_PATH).
const uint32_t MAX_NAME = 260;

// ArchiveHeader: offsets of the fixed fields, and its size without title and
// run-after name.
const uint32_t HDR_SHOW_CMD = 0;
const uint32_t HDR_LAYOUT = 4;
const uint32_t HDR_BG_WIDTH = 5;
const uint32_t HDR_BG_HEIGHT = 9;
const uint32_t HDR_TITLE_LEN = 13;
const uint32_t HDR_TITLE = 17;          // then 16 check bytes, u16 R, R bytes
const uint32_t HDR_FIXED_SIZE = 35;
const uint32_t CHECK_BLOCK_SIZE = 16;

// EntryHeader: 56 bytes, then the u16 name length.
const uint32_t ENTRY_HEADER_SIZE = 56;
const uint32_t ENT_STORED_SIZE = 0;     // u32: length of the zlib stream
const uint32_t ENT_ORIGINAL_SIZE = 4;   // u64: uncompressed size (writer's extra; reader ignores)
const uint32_t ENT_ATTRIBUTES = 12;     // u32 Windows attributes
const uint32_t ENT_CREATION = 16;       // FILETIME
const uint32_t ENT_LAST_ACCESS = 24;    // FILETIME
const uint32_t ENT_LAST_WRITE = 32;     // FILETIME
const uint32_t ENT_CODEPAGE = 40;       // u16: code page of names and title (writer's extra; reader
                                        // ignores; 0 when not recorded)
// bytes 42..55 are zero and ignored

// Windows file attribute bits as stored.
const uint32_t ATTR_READONLY = 0x01;
const uint32_t ATTR_HIDDEN = 0x02;
const uint32_t ATTR_SYSTEM = 0x04;
const uint32_t ATTR_DIRECTORY = 0x10;
const uint32_t ATTR_ARCHIVE = 0x20;
const uint32_t ATTR_NORMAL = 0x80;

// The key-stretch resource: RT_RCDATA, this id, language neutral, in the
// extractor's image (so a signature covers it). An archive that has it is
// keyed by a stretched password (crypto/key_stretch.h); one without it by
// the password itself.
//   u32 version (KEY_STRETCH_VERSION) | u32 rounds | 16 salt bytes
const uint16_t KEY_STRETCH_RESOURCE_TYPE = 10;  // RT_RCDATA
const uint16_t KEY_STRETCH_RESOURCE_ID = 108;
const uint32_t KEY_STRETCH_SIZE = 24;
const uint32_t KEY_STRETCH_VERSION = 1;
const uint32_t KEY_SALT_SIZE = 16;

// The first four bytes of a correctly decrypted password check block.
const uint8_t CHECK_MAGIC[4] = {'L', 'O', 'C', 'K'};

// Layout modes of the window's controls over a background picture.
const uint8_t LAYOUT_NONE = 0;
const uint8_t LAYOUT_TOP = 1;
const uint8_t LAYOUT_BOTTOM = 2;

// Reads little-endian integers from a byte array the caller has bounds-checked.
inline uint16_t LoadLE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t LoadLE32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t LoadLE64(const uint8_t* p) {
    return (uint64_t)LoadLE32(p) | ((uint64_t)LoadLE32(p + 4) << 32);
}
inline void StoreLE16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void StoreLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = (uint8_t)(v >> (8 * i));
}
