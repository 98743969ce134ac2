// The layout of a PE image, as far as the archive code reads or edits it.
// Every offset below is defined here once; the locator, the resource lookup,
// the resource editor and the signature check take them from here.
//
//   0          DOS header: "MZ", u32 e_lfanew at 60 = N
//   N          "PE\0\0", then the COFF header: u16 NumberOfSections at N+6,
//              u16 SizeOfOptionalHeader at N+20
//   N+24       optional header: u16 magic (PE32 or PE32+), alignments,
//              SizeOfImage, CheckSum, then the data directories
//   N+24+size  section table, 40 bytes per section
//
// e_lfanew is a 32-bit field and is read as one. Images whose PE header
// starts beyond PE_MAX_HEADER_AT are not taken as archives: our extractors
// put it at 0x80, and the bound keeps the headers within one small mapping.
//
// Two kinds of image exist. The extractor that ships is PE32 (32-bit); an
// x86-64 build (PE32+) exists for machines without 32-bit user code. The
// tool reads, writes and edits either kind; an extractor runs as its own.
// The locator finds the section table at the kind's standard optional
// header size behind the signature, not at SizeOfOptionalHeader; the
// resource editor, which every archive's stub passes through, refuses a
// stub whose SizeOfOptionalHeader is another, so the two agree for every
// archive the tool makes. The key-stretch lookup follows the field, as the
// system's loader does.
#pragma once
#include <stdint.h>

const uint32_t PE_DOS_HEADER_SIZE = 64;
const uint16_t PE_DOS_MAGIC = 0x5A4D;          // "MZ"
const uint32_t PE_LFANEW = 60;                 // u32: file offset of the PE signature
const uint32_t PE_MAX_HEADER_AT = 0xFFFF;
const uint32_t PE_SIGNATURE = 0x00004550;      // "PE\0\0"

// COFF header fields, from the signature.
const uint32_t PE_SECTION_COUNT = 6;           // u16 NumberOfSections
const uint32_t PE_OPTIONAL_SIZE_FIELD = 20;    // u16 SizeOfOptionalHeader
const uint32_t PE_OPTIONAL_HEADER = 24;        // the optional header itself

// Optional header fields, from its start; the same in both kinds.
const uint32_t OPT_MAGIC = 0;                  // u16
const uint32_t OPT_INITIALIZED_DATA = 8;       // u32 SizeOfInitializedData
const uint32_t OPT_SECTION_ALIGNMENT = 32;     // u32
const uint32_t OPT_FILE_ALIGNMENT = 36;        // u32
const uint32_t OPT_SIZE_OF_IMAGE = 56;         // u32
const uint32_t OPT_CHECKSUM = 64;              // u32 CheckSum, left out of the signed digest

// Data directories: 8 bytes each (u32 RVA or file offset, u32 size), the
// count in the u32 just before the first.
const uint32_t PE_DIRECTORY_SIZE = 8;
const uint32_t PE_DIRECTORY_COUNT = 16;
const uint32_t DIR_RESOURCE = 2;
const uint32_t DIR_CERTIFICATES = 4;           // a file offset: code signing's attribute certificates
const uint32_t DIR_RELOCATIONS = 5;

// Section table entries.
const uint32_t PE_SECTION_ENTRY_SIZE = 40;
const uint32_t SEC_VIRTUAL_SIZE = 8;
const uint32_t SEC_VIRTUAL_ADDRESS = 12;
const uint32_t SEC_RAW_SIZE = 16;              // SizeOfRawData
const uint32_t SEC_RAW_AT = 20;                // PointerToRawData

// The Windows loader takes at most 96 sections.
const uint32_t PE_MAX_SECTIONS = 96;

// The two kinds, by the optional header's magic.
const uint16_t PE32_MAGIC = 0x10B;
const uint16_t PE32_PLUS_MAGIC = 0x20B;

// The standard SizeOfOptionalHeader of the kind `magic` names; 0 for any
// other magic (the image is not one the archive code takes).
constexpr uint32_t PeOptionalHeaderSize(uint16_t magic) {
    return magic == PE32_MAGIC ? 224 : magic == PE32_PLUS_MAGIC ? 240 : 0;
}

// Where the data directories begin in an optional header of that size:
// they end it.
constexpr uint32_t PeDirectoriesAt(uint32_t optionalHeaderSize) {
    return optionalHeaderSize - PE_DIRECTORY_COUNT * PE_DIRECTORY_SIZE;
}

// The kind this build's own executables are, the extractor among them.
#if defined(_WIN64)
const uint16_t PE_MAGIC = PE32_PLUS_MAGIC;
#else
const uint16_t PE_MAGIC = PE32_MAGIC;
#endif
// The own kind's layout, for code and tests that build images of it.
constexpr uint32_t PE_OPTIONAL_HEADER_SIZE = PeOptionalHeaderSize(PE_MAGIC);
constexpr uint32_t PE_SECTION_TABLE = PE_OPTIONAL_HEADER + PE_OPTIONAL_HEADER_SIZE;
constexpr uint32_t PE_DATA_DIRECTORIES = PeDirectoriesAt(PE_OPTIONAL_HEADER_SIZE);
