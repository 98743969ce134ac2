// A small editor for the resources of the extractor stub (a PE image of
// either kind, payload/pe.h): replaces the background bitmap and the program
// icon, adds the manifest, version information (program_info.h) and the
// key-stretch data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pack/pictures.h"
#include "payload/format.h"
#include "payload/resource_ids.h"

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

// Rewrites `image` (a stub of either PE kind, changed in place) with the resource section
// rebuilt: section sizes, SizeOfImage, SizeOfInitializedData, the resource
// data directory and (when set) the checksum are fixed, and the resource
// section stays the last one (a base relocation section behind it moves
// behind the grown section), so the image still ends where its last
// section's raw data ends. Empty when it worked; otherwise why not (the
// image is then unchanged): it is not of either kind, has more than 96
// sections or alignments the PE format does not allow, has no resource
// section, its resource section is not the last one, it is signed, its
// resource tree is malformed, reaches a directory twice, has more than
// 262,144 entries or more data than the image holds, no icon id is left
// for the new icon, or the result would not fit in 4 GiB.
std::string ReplaceStubResources(std::vector<uint8_t>* image, const ResourceChanges& changes);
