// One extraction run: password, check, destination, destination directories,
// run-after name, the entries, and the actions after the last entry.
#include "run/run.h"

#include <string.h>
#include <windows.h>
#include <shlobj.h>

#include "app/app.h"
#include "app/controls.h"
#include "crypto/cipher.h"
#include "crypto/key_stretch.h"
#include "crypto/wipe.h"
#include "payload/reader.h"
#include "platform/platform.h"

// Overwrites a secret before its memory goes back to the allocator.
static void WipeAndFree(void* block, int size) {
    if (block == nullptr) return;
    WipeBytes(block, (uint32_t)size);
    PlatformFree(block);
}

// When this program's image carries the key-stretch resource, replaces the
// password *wide (*size bytes) by its stretched form (crypto/key_stretch.h),
// wiping the typed one. RESULT_OK when it did or the archive is keyed by
// the password itself, RESULT_CORRUPT when the resource is malformed,
// RESULT_NO_MEMORY when the system offers no PBKDF2 (before Windows 7) or
// memory runs out.
static int StretchOwnKey(char16_t** wide, int* size) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(KEY_STRETCH_RESOURCE_ID),
                                MAKEINTRESOURCEA(KEY_STRETCH_RESOURCE_TYPE));
    if (found == nullptr) return RESULT_OK;
    HGLOBAL loaded = LoadResource(nullptr, found);
    const uint8_t* bytes = loaded != nullptr ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    KeyStretch stretch;
    if (!ParseKeyStretch(bytes, SizeofResource(nullptr, found), &stretch)) return RESULT_CORRUPT;
    const int stretchedSize = (STRETCHED_PASSWORD_UNITS + 1) * 2;
    char16_t* stretched = static_cast<char16_t*>(PlatformAlloc(stretchedSize));
    if (stretched == nullptr || !StretchPassword(*wide, &stretch, stretched)) {
        PlatformFree(stretched);
        return RESULT_NO_MEMORY;
    }
    WipeAndFree(*wide, *size);
    *wide = stretched;
    *size = stretchedSize;
    return RESULT_OK;
}

// The password as zero-terminated UTF-16 in *wide (PlatformAlloc'd,
// wide[length] is 0) and its ANSI length in *length. A null `password` is
// read from the main window's password field. RESULT_OK or RESULT_NO_MEMORY.
static int ReadPassword(const char* password, char16_t** wide, int* length) {
    int n = password != nullptr
                ? static_cast<int>(strlen(password))
                : GetWindowTextLengthA(GetDlgItem(g_MainWindow, IDC_PASSWORD));
    if (n < 0) n = 0;
    // Both zero-filled: the UTF-16 copy so that a conversion that fails
    // leaves an empty password.
    char* ansi = static_cast<char*>(PlatformAlloc(n + 1));
    char16_t* units = static_cast<char16_t*>(PlatformAlloc((n + 1) * 2));
    if (ansi == nullptr || units == nullptr) {
        PlatformFree(ansi);
        PlatformFree(units);
        return RESULT_NO_MEMORY;
    }
    if (password != nullptr) {
        memcpy(ansi, password, n);
    } else {
        GetDlgItemTextA(g_MainWindow, IDC_PASSWORD, ansi, n + 1);
    }
    LPWSTR out = reinterpret_cast<LPWSTR>(units);
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, ansi, -1, out, n + 1) == 0) {
        // A failed conversion may have written part of the buffer.
        ZeroMemory(units, (n + 1) * 2);
    }
    units[n] = 0;
    WipeAndFree(ansi, n + 1);
    *wide = units;
    *length = n;
    return RESULT_OK;
}

// Asks for the destination with the folder chooser, owned by the main
// window. False when the chooser was closed or the choice has no
// file-system path (a virtual folder).
static bool ChooseFolder(char path[MAX_PATH]) {
    BROWSEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.hwndOwner = g_MainWindow;
    info.ulFlags = BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST item = SHBrowseForFolderA(&info);
    if (item == nullptr) return false;
    path[0] = '\0';
    BOOL found = SHGetPathFromIDListA(item, path);
    IMalloc* shellAllocator;
    if (SUCCEEDED(SHGetMalloc(&shellAllocator))) {
        shellAllocator->Free(item);
        shellAllocator->Release();
    }
    return found && path[0] != '\0';
}

// Creates the directories that `destination` names before each separator,
// so that "D:\out\new\" creates D:\out and D:\out\new. Failures show up
// later as RESULT_CANNOT_CREATE from the entries.
static int CreateDestinationDirectories(const char* destination) {
    int length = static_cast<int>(strlen(destination));
    char* path = static_cast<char*>(PlatformAlloc(length + 1));
    if (path == nullptr) return RESULT_NO_MEMORY;
    memcpy(path, destination, length + 1);
    PlatformCreateDirectories(path, false);
    PlatformFree(path);
    return RESULT_OK;
}

// Opens destination\name with the shell, in the destination folder, so
// that a restored script finds what it refers to by relative paths. The
// name comes from the archive, so it is held to the same rules as an entry
// name; the path gets a buffer of its own size, however long the
// destination is.
static void OpenRunAfterFile(const char* destination, const char* name) {
    if (!IsSafeName(name)) return;
    size_t destinationLength = strlen(destination);
    size_t nameLength = strlen(name);
    char* path = static_cast<char*>(PlatformAlloc(destinationLength + nameLength + 2));
    if (path == nullptr) return;
    memcpy(path, destination, destinationLength);
    path[destinationLength] = '\\';
    memcpy(path + destinationLength + 1, name, nameLength + 1);
    ShellExecuteA(nullptr, "open", path, nullptr, destination, SW_SHOWNORMAL);
    PlatformFree(path);
}

int RunExtraction(const char* password, const char* destination) {
    char16_t* wide;
    int length;
    int result = ReadPassword(password, &wide, &length);
    if (result != RESULT_OK) return result;
    int wideSize = (length + 1) * 2;

    // An empty password is none: the archive's key is then all zero. A
    // stretched key is derived once, here, before the check.
    if (length != 0) {
        result = StretchOwnKey(&wide, &wideSize);
        if (result != RESULT_OK) {
            WipeAndFree(wide, wideSize);
            return result;
        }
    }
    const char16_t* key = length != 0 ? wide : nullptr;
    if (!CheckPassword(&g_Cipher, key, g_Reader.passwordCheckBlock)) {
        WipeAndFree(wide, wideSize);
        return RESULT_BAD_PASSWORD;
    }

    char chosen[MAX_PATH];
    if (destination == nullptr) {
        if (!ChooseFolder(chosen)) {
            WipeAndFree(wide, wideSize);
            return RESULT_NO_FOLDER;
        }
        destination = chosen;
    }
    // The entries need a non-empty destination; an empty argument means here.
    if (destination[0] == '\0') destination = ".";

    result = CreateDestinationDirectories(destination);
    if (result != RESULT_OK) {
        WipeAndFree(wide, wideSize);
        return result;
    }

    uint32_t runAfterLength = g_Reader.runAfterLength <= MAX_NAME ? g_Reader.runAfterLength : MAX_NAME;
    if (runAfterLength != 0) {
        DeriveStreamKey(&g_Cipher, key);
        DecryptStream(&g_Cipher, g_Reader.runAfterName, g_RunAfterPlain, runAfterLength);
        g_RunAfterPlain[runAfterLength] = '\0';
    }

    // Every run reads the archive from its first entry, so "OK" after an
    // error message retries the whole archive instead of resuming mid-entry.
    result = RewindToFirstEntry(&g_Reader);
    while (result == RESULT_OK) {
        DeriveStreamKey(&g_Cipher, key);
        result = ExtractEntry(&g_Reader, &g_Cipher, destination);
    }
    WipeAndFree(wide, wideSize);

    if (result == RESULT_CANCELLED) result = RESULT_END;
    if (g_Reader.answers.cancelled) return result;
    if (runAfterLength != 0) OpenRunAfterFile(destination, g_RunAfterPlain);
    if (g_Reader.openFolderShowCmd != 0) {
        ShellExecuteA(nullptr, "open", destination, nullptr, destination,
                      static_cast<int>(g_Reader.openFolderShowCmd));
    }
    return result;
}
