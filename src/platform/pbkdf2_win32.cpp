// PlatformPbkdf2Sha256 through bcrypt.dll, for the extractor and the Windows
// tool. The DLL is loaded by its full path in the system folder, and only
// when a key is stretched: an archive without a stretched key starts as it
// always did, and a bcrypt.dll planted beside a downloaded archive is never
// the one loaded. Goes into the stub: no exceptions, no C runtime.
#include <windows.h>

#include "platform/platform.h"

namespace {

typedef LONG(WINAPI* OpenProviderFn)(void** algorithm, const wchar_t* id, const wchar_t* implementation,
                                     ULONG flags);
typedef LONG(WINAPI* DeriveFn)(void* algorithm, UCHAR* password, ULONG passwordSize, UCHAR* salt,
                               ULONG saltSize, ULONGLONG rounds, UCHAR* out, ULONG outSize, ULONG flags);
typedef LONG(WINAPI* CloseProviderFn)(void* algorithm, ULONG flags);

const ULONG ALG_HANDLE_HMAC_FLAG = 0x00000008;  // BCRYPT_ALG_HANDLE_HMAC_FLAG

HMODULE LoadSystemBcrypt() {
    static const char NAME[] = "\\bcrypt.dll";
    char path[MAX_PATH + sizeof NAME];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return NULL;
    for (UINT i = 0; i < sizeof NAME; i++) path[length + i] = NAME[i];
    return LoadLibraryA(path);
}

}  // namespace

bool PlatformPbkdf2Sha256(const uint8_t* password, uint32_t passwordSize, const uint8_t* salt, uint32_t saltSize,
                          uint32_t rounds, uint8_t* out, uint32_t outSize) {
    HMODULE bcrypt = LoadSystemBcrypt();
    if (bcrypt == NULL) return false;
    OpenProviderFn open = (OpenProviderFn)(void*)GetProcAddress(bcrypt, "BCryptOpenAlgorithmProvider");
    DeriveFn derive = (DeriveFn)(void*)GetProcAddress(bcrypt, "BCryptDeriveKeyPBKDF2");
    CloseProviderFn close = (CloseProviderFn)(void*)GetProcAddress(bcrypt, "BCryptCloseAlgorithmProvider");
    bool derived = false;
    void* algorithm = NULL;
    if (open != NULL && derive != NULL && close != NULL &&
        open(&algorithm, L"SHA256", NULL, ALG_HANDLE_HMAC_FLAG) >= 0) {
        derived = derive(algorithm, (UCHAR*)password, passwordSize, (UCHAR*)salt, saltSize, rounds, out, outSize,
                         0) >= 0;
        close(algorithm, 0);
    }
    FreeLibrary(bcrypt);
    return derived;
}
