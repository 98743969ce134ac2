#include "pack/pictures.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pack/errno_text.h"
#include "pack/refusal.h"
#include "payload/format.h"

namespace {

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    errno = 0;
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) Refuse(WithErrnoText("cannot open '" + path + "'", errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Refuse(WithErrnoText("cannot read '" + path + "'", errno));
    return bytes;
}

BitmapResource ReadBitmap(const std::string& path) {
    std::vector<uint8_t> file = ReadWholeFile(path);
    const std::string bad = "'" + path + "' is not a usable Windows bitmap: ";
    const size_t FILE_HEADER = 14;
    if (file.size() < FILE_HEADER + 12 || file[0] != 'B' || file[1] != 'M')
        Refuse(bad + "no BMP signature");
    const uint8_t* info = file.data() + FILE_HEADER;
    size_t infoAvail = file.size() - FILE_HEADER;
    uint32_t headerSize = LoadLE32(info);
    if (headerSize != 12 && (headerSize < 40 || headerSize > infoAvail))
        Refuse(bad + "unknown header size " + std::to_string(headerSize));

    int64_t width, height;
    uint32_t bitCount, compression = 0, colorsUsed = 0, paletteEntry = 4;
    if (headerSize == 12) {  // BITMAPCOREHEADER
        width = LoadLE16(info + 4);
        height = LoadLE16(info + 6);
        bitCount = LoadLE16(info + 10);
        paletteEntry = 3;
    } else {
        width = (int32_t)LoadLE32(info + 4);
        height = (int32_t)LoadLE32(info + 8);
        bitCount = LoadLE16(info + 14);
        compression = LoadLE32(info + 16);
        colorsUsed = LoadLE32(info + 32);
    }
    if (height < 0) height = -height;  // top-down rows
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        Refuse(bad + "width or height out of range");
    // 0 BI_RGB, 1 BI_RLE8, 2 BI_RLE4, 3 BI_BITFIELDS; JPEG/PNG inside a BMP
    // cannot be loaded as a bitmap resource.
    if (compression > 3) Refuse(bad + "compression " + std::to_string(compression) + " not supported");
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        Refuse(bad + std::to_string(bitCount) + " bits per pixel");

    uint64_t palette = 0;
    if (bitCount <= 8) palette = (uint64_t)(colorsUsed ? colorsUsed : (1u << bitCount)) * paletteEntry;
    else if (colorsUsed) palette = (uint64_t)colorsUsed * paletteEntry;
    uint64_t masks = (compression == 3 && headerSize == 40) ? 12 : 0;
    uint64_t tableEnd = FILE_HEADER + headerSize + masks + palette;
    if (tableEnd > file.size()) Refuse(bad + "the colour table runs past the end of the file");

    // The resource loader expects the pixels right behind the colour table;
    // a file may leave a gap before them (bfOffBits), which is dropped.
    uint64_t pixelsAt = LoadLE32(file.data() + 10);
    if (pixelsAt < tableEnd || pixelsAt > file.size()) pixelsAt = tableEnd;
    uint64_t pixelBytes = file.size() - pixelsAt;
    if (compression == 0 || compression == 3) {
        uint64_t row = (((uint64_t)width * bitCount + 31) / 32) * 4;
        if (row * (uint64_t)height > pixelBytes)
            Refuse(bad + "the file is shorter than its pixels");
        pixelBytes = row * (uint64_t)height;
    }
    BitmapResource result;
    result.dib.assign(file.begin() + FILE_HEADER, file.begin() + (long)tableEnd);
    result.dib.insert(result.dib.end(), file.begin() + (long)pixelsAt,
                      file.begin() + (long)(pixelsAt + pixelBytes));
    result.width = (uint32_t)width;
    result.height = (uint32_t)height;
    return result;
}

IconResource ReadIcon(const std::string& path) {
    std::vector<uint8_t> file = ReadWholeFile(path);
    const std::string bad = "'" + path + "' is not a usable icon file: ";
    if (file.size() < 6 || LoadLE16(&file[0]) != 0 || LoadLE16(&file[2]) != 1)
        Refuse(bad + "no icon header");
    uint16_t count = LoadLE16(&file[4]);
    if (count == 0) Refuse(bad + "it holds no image");
    if ((size_t)count * 16 > file.size() - 6) Refuse(bad + "the directory is truncated");

    IconResource icon;
    icon.group.assign(file.begin(), file.begin() + 6);
    for (uint16_t i = 0; i < count; i++) {
        const uint8_t* e = &file[6 + (size_t)i * 16];
        uint32_t size = LoadLE32(e + 8), offset = LoadLE32(e + 12);
        if (size == 0 || offset > file.size() || size > file.size() - offset)
            Refuse(bad + "image " + std::to_string(i + 1) + " lies outside the file");
        icon.group.insert(icon.group.end(), e, e + 12);  // width .. bytes in resource
        icon.group.push_back(0);                          // nID, set when placed
        icon.group.push_back(0);
        icon.images.emplace_back(file.begin() + offset, file.begin() + offset + size);
    }
    return icon;
}

}  // namespace

std::string LoadBitmapFile(const std::string& path, BitmapResource* bitmap) {
    return ReasonOf([&] { *bitmap = ReadBitmap(path); });
}

std::string LoadIconFile(const std::string& path, IconResource* icon) {
    return ReasonOf([&] { *icon = ReadIcon(path); });
}
