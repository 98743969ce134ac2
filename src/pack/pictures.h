// Pictures for the extractor's window and icon, read from .bmp and .ico
// files into the form the resource editor (pack/resources.h) places.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
