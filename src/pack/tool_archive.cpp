#include "pack/tool_archive.h"

#include <cstdio>
#include <ctime>

#include "pack/tool_codepage.h"
#include "pack/tool_error.h"
#include "pack/tool_system.h"
#include "payload/reader.h"

static const char16_t* Units(const Password& password) {
    return password.use ? password.units.c_str() : u"";
}

// The derivations look only at whether the length is 0.
static int UnitCount(const Password& password) {
    return password.use ? (int)password.units.size() : 0;
}

OpenedArchive OpenArchive(const std::string& path, const Password& password) {
    OpenedArchive archive;
    archive.path = path;
    // Opening a FIFO or a device for reading can wait forever.
    PathInfo info;
    std::string error;
    if (!ExaminePath(path, &info, &error))
        Fail("cannot open '" + path + "': " + error, "check the path and its permissions");
    if (!info.isRegular)
        Fail("'" + path + "' is not a regular file", "give the archive's .exe file");
    ResetArchiveState();
    if (ReadArchiveHeaderFrom(path.c_str()) != RESULT_OK) {
        ResetArchiveState();
        std::FILE* probe = std::fopen(path.c_str(), "rb");
        if (!probe) Fail("cannot open '" + path + "'", "check the path and its permissions");
        std::fclose(probe);
        Fail("'" + path + "' is not a Lockbox archive, or its header is damaged",
             "check that it is an .exe made by lockbox create");
    }
    if (!CheckPassword(&g_Cipher, Units(password), UnitCount(password), PasswordCheckBlock)) {
        ResetArchiveState();
        Fail("wrong password for '" + path + "'",
             password.use ? "give the password the archive was made with"
                          : "the archive has a password; give it with -p, --password-file or at the prompt");
    }
    if (RunAfterLength) {
        char name[MAX_NAME];
        PrepareNextEntry(password);
        DecryptStream(&g_Cipher, RunAfterName, name, RunAfterLength);
        archive.runAfter.assign(name, RunAfterLength);
    }
    return archive;
}

void CloseArchive() { ResetArchiveState(); }

void PrepareNextEntry(const Password& password) {
    DeriveStreamKey(&g_Cipher, Units(password), UnitCount(password));
}

std::string FormatFileTime(uint64_t fileTime) {
    const uint64_t kEpochDelta = 116444736000000000ULL;
    if (fileTime == 0) return "-";
    int64_t seconds = fileTime >= kEpochDelta ? (int64_t)((fileTime - kEpochDelta) / 10000000ULL)
                                              : -(int64_t)((kEpochDelta - fileTime + 9999999) / 10000000ULL);
    std::time_t t = (std::time_t)seconds;
    std::tm parts{};
#ifdef _WIN32
    if (gmtime_s(&parts, &t) != 0) return "?";
#else
    if (!gmtime_r(&t, &parts)) return "?";
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string AttributeLetters(uint32_t attributes) {
    std::string s = "-----";
    if (attributes & ATTR_DIRECTORY) s[0] = 'D';
    if (attributes & ATTR_READONLY) s[1] = 'R';
    if (attributes & ATTR_HIDDEN) s[2] = 'H';
    if (attributes & ATTR_SYSTEM) s[3] = 'S';
    if (attributes & ATTR_ARCHIVE) s[4] = 'A';
    return s;
}

std::string DisplayText(const std::string& stored, int codepage) {
    std::string text = stored;
    for (char& c : text)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = '?';
    return CodepageToUtf8(text, codepage);
}
