#include "tool/archive.h"

#include <cstdio>

#include "tool/error.h"
#include "tool/system.h"
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
