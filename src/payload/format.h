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

#include "payload/pe.h"  // the image the archive is appended to
#include "platform/little_endian.h"

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
// The EntryHeader with the name length behind it.
const uint32_t ENTRY_PREFIX_SIZE = ENTRY_HEADER_SIZE + 2;

// Windows file attribute bits as stored.
const uint32_t ATTR_READONLY = 0x01;
const uint32_t ATTR_HIDDEN = 0x02;
const uint32_t ATTR_SYSTEM = 0x04;
const uint32_t ATTR_DIRECTORY = 0x10;
const uint32_t ATTR_ARCHIVE = 0x20;
const uint32_t ATTR_NORMAL = 0x80;

// The bytes a whole entry takes: a directory carries no data, whatever its
// stored size says.
inline uint64_t EntrySize(uint32_t attributes, uint32_t nameLength, uint32_t storedSize) {
    return ENTRY_PREFIX_SIZE + (uint64_t)nameLength + ((attributes & ATTR_DIRECTORY) ? 0 : storedSize);
}

// The key-stretch resource: RT_RCDATA, this id, language neutral, in the
// extractor's image (so a signature covers it). An archive that has it is
// keyed by a stretched password (crypto/key_stretch.h); one without it by
// the password itself.
// Its layout (version, rounds, salt) is the key stretch's own.
const uint16_t KEY_STRETCH_RESOURCE_TYPE = 10;  // RT_RCDATA
const uint16_t KEY_STRETCH_RESOURCE_ID = 108;

// Layout modes of the window's controls over a background picture.
const uint8_t LAYOUT_NONE = 0;
const uint8_t LAYOUT_TOP = 1;
const uint8_t LAYOUT_BOTTOM = 2;
