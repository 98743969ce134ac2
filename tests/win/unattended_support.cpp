// Helpers for the unattended-mode tests.
#include "win/unattended_support.h"

#include "crypto/cipher.h"
#include "payload/reader.h"

namespace unattended_test {

int RunStub(const std::string& exe, const std::string& arguments, const std::string& directory,
            DWORD ms) {
    StubProcess stub(exe, arguments, directory);
    if (!stub.started()) return static_cast<int>(KILLED);
    return static_cast<int>(stub.WaitForExit(ms));
}

int RunStubLine(const std::string& exe, const std::string& line, const std::string& directory) {
    StubProcess stub(exe, StubProcess::WholeLine{line}, directory);
    if (!stub.started()) return static_cast<int>(KILLED);
    return static_cast<int>(stub.WaitForExit(WAIT_MS));
}

WriterEntry TimedFile(const std::string& name, const std::string& data, uint32_t attributes) {
    WriterEntry e = FileEntry(name, data);
    e.attributes = attributes;
    e.creationTime = 130000000000000000ull;    // 2012
    e.lastAccessTime = 131000000000000000ull;  // 2016
    e.lastWriteTime = 132000000000000000ull;   // 2019
    return e;
}

Stamp StampOf(const std::string& path) {
    Stamp s;
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE) return s;
    FILETIME c, a, w;
    if (GetFileTime(h, &c, &a, &w)) {
        auto join = [](const FILETIME& t) { return (uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime; };
        s.creation = join(c);
        s.lastAccess = join(a);
        s.lastWrite = join(w);
    }
    CloseHandle(h);
    s.attributes = GetFileAttributesA(path.c_str());
    return s;
}

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != NULL && GetProcAddress(ntdll, "wine_get_version") != NULL;
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitForFile(const std::string& path, DWORD ms) {
    DWORD start = GetTickCount();
    while (!Exists(path)) {
        if (GetTickCount() - start > ms) return false;
        Sleep(50);
    }
    return true;
}

// Names are encrypted as one piece with a fresh key.
static void EncryptName(const std::string& password, const std::string& name, char* out) {
    std::u16string units(password.begin(), password.end());
    CipherContext ctx;
    DeriveStreamKey(&ctx, units.empty() ? nullptr : units.c_str());
    EncryptStream(&ctx, name.data(), out, static_cast<uint32_t>(name.size()));
}

bool PatchRunAfterName(const std::string& path, const std::string& password, const std::string& name) {
    std::string bytes = ReadBytes(path);
    const uint8_t* image = reinterpret_cast<const uint8_t*>(bytes.data());
    int64_t payload = LocatePayloadInImage(image, bytes.size());
    if (payload < 0 || bytes.size() < (uint64_t)payload + HDR_FIXED_SIZE) return false;
    uint32_t titleLength = LoadLE32(image + payload + HDR_TITLE_LEN);
    uint64_t lengthAt = payload + HDR_TITLE + titleLength + CHECK_BLOCK_SIZE;
    if (bytes.size() < lengthAt + 2 || LoadLE16(image + lengthAt) != name.size()) return false;

    EncryptName(password, name, &bytes[lengthAt + 2]);
    WriteBytes(path, bytes);
    return ReadBytes(path) == bytes;
}

bool PatchLastDirectoryName(const std::string& path, const std::string& password, const std::string& name) {
    std::string bytes = ReadBytes(path);
    size_t at = bytes.size() - name.size();
    if (bytes.size() < name.size() + 2 + ENTRY_HEADER_SIZE ||
        LoadLE16(reinterpret_cast<const uint8_t*>(&bytes[at - 2])) != name.size() ||
        !(LoadLE32(reinterpret_cast<const uint8_t*>(&bytes[at - 2 - ENTRY_HEADER_SIZE + ENT_ATTRIBUTES])) &
          ATTR_DIRECTORY))
        return false;
    EncryptName(password, name, &bytes[at]);
    WriteBytes(path, bytes);
    return ReadBytes(path) == bytes;
}

std::string MarkerScript(const std::string& marker) {
    return "@echo ran> \"" + marker + "\"\r\n";
}

}  // namespace unattended_test
