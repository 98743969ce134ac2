// What Windows shows and decides about a program besides its icon: the
// application manifest and the version information, as resource data for
// the stub's resource editor (resources.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The strings of the version information. Empty strings are left out.
struct VersionInfo {
    std::u16string description;      // FileDescription: Explorer's "File description"
    std::u16string product;          // ProductName
    std::u16string company;          // CompanyName
    uint16_t version[4] = {1, 0, 0, 0};  // file and product version, a.b.c.d
};

// A VS_VERSIONINFO resource: the fixed part (an application for 32-bit
// Windows) and one string table in US English, Unicode.
std::vector<uint8_t> VersionResource(const VersionInfo& info);

// The application manifest: the program runs with the rights of whoever
// starts it (so Windows never guesses from a name like "setup.exe" that it
// wants administrator rights) and declares the Windows versions it was
// tested on. It asks for no DPI awareness and no newer common controls, so
// the windows look exactly as without a manifest.
std::string ApplicationManifest();

// Reads "a.b.c.d" (one to four numbers of 0-65535; missing ones are 0) into
// `version`. False when the text is not of that form.
bool ParseVersion(const std::string& text, uint16_t version[4]);
