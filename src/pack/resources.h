// A small editor for the resources of the extractor stub (a PE image of the
// build's kind, PE_MAGIC): replaces the background bitmap and the program
// icon, adds the manifest and version information (program_info.h), and
// reads pictures from .bmp and .ico files.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "payload/format.h"
#include "ui/resource.h"

// Resource types, and the ids and languages the stub carries.
const uint16_t RES_TYPE_ICON = 3;
const uint16_t RES_TYPE_BITMAP = 2;
const uint16_t RES_TYPE_RCDATA = 10;
const uint16_t RES_TYPE_GROUP_ICON = 14;
const uint16_t RES_TYPE_VERSION = 16;
const uint16_t RES_TYPE_MANIFEST = 24;
const uint16_t RES_VERSION_ID = 1;
const uint16_t RES_MANIFEST_ID = 1;   // the manifest Windows reads when it starts a program
const uint16_t RES_PROGRAM_INFO_LANG = 1033;
const uint16_t RES_BACKGROUND_ID = IDB_BACKGROUND;
const uint16_t RES_BACKGROUND_LANG = 1033;
const uint16_t RES_ICON_GROUP_ID = IDI_MAIN;
const uint16_t RES_ICON_LANG = 1049;
const uint16_t RES_KEY_STRETCH_ID = KEY_STRETCH_RESOURCE_ID;  // salt and rounds (payload/format.h)
const uint16_t RES_NEUTRAL_LANG = 0;

// A bitmap as a resource: the device-independent bitmap (header, colour
// table, pixels) without the file's 14-byte BITMAPFILEHEADER.
struct BitmapResource {
    std::vector<uint8_t> dib;
    uint32_t width = 0;
    uint32_t height = 0;
};

// An icon as resources: the group directory (GRPICONDIR with 14-byte
// entries; their ids are filled in when the icon is placed) and one image
// per entry.
struct IconResource {
    std::vector<uint8_t> group;
    std::vector<std::vector<uint8_t>> images;
};

// Loads a .bmp file into `bitmap`. Empty when it worked; otherwise why not,
// naming the file: it cannot be read, is not an uncompressed or RLE Windows
// bitmap, or is truncated.
std::string LoadBitmapFile(const std::string& path, BitmapResource* bitmap);

// Loads a .ico file into `icon`. Empty when it worked; otherwise why not,
// naming the file: it cannot be read, is not an icon file, or an image lies
// outside the file.
std::string LoadIconFile(const std::string& path, IconResource* icon);

// What to change in the stub; null members are left alone.
struct ResourceChanges {
    const BitmapResource* background = nullptr;  // becomes bitmap 107, language 1033
    const IconResource* icon = nullptr;          // becomes icon group 102 + icons, language 1049
    const std::vector<uint8_t>* version = nullptr;  // becomes version 1, language 1033
    const std::string* manifest = nullptr;          // becomes manifest 1, language 1033
    const std::vector<uint8_t>* keyStretch = nullptr;  // becomes data 108, language neutral
    bool dropKeyStretch = false;  // removes data 108: a stub taken from a stretched archive would
                                  // otherwise key a plain archive's reader with salt and rounds
};

// Rewrites `image` (a stub of the build's PE kind, changed in place) with the resource section
// rebuilt: section sizes, SizeOfImage, SizeOfInitializedData, the resource
// data directory and (when set) the checksum are fixed, and the resource
// section stays the last one (a base relocation section behind it moves
// behind the grown section), so the image still ends where its last
// section's raw data ends. Empty when it worked; otherwise why not (the
// image is then unchanged): it is not of that kind, has more than 96
// sections or alignments the PE format does not allow, has no resource
// section, its resource section is not the last one, it is signed, its
// resource tree is malformed, reaches a directory twice, has more than
// 262,144 entries or more data than the image holds, no icon id is left
// for the new icon, or the result would not fit in 4 GiB.
std::string ReplaceStubResources(std::vector<uint8_t>* image, const ResourceChanges& changes);
