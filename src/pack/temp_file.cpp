#include "pack/temp_file.h"

#include <atomic>


namespace {
// Shared by all threads so that concurrent callers rarely probe the same name.
std::atomic<unsigned> g_NextTempNumber{0};
const unsigned TEMP_ATTEMPTS = 1000;
}

FileHandle CreateTempFile(const std::string& prefix, std::string* path, const TemporaryFileHook* hook) {
    for (unsigned attempt = 0; attempt < TEMP_ATTEMPTS; attempt++) {
        std::string candidate = prefix + std::to_string(g_NextTempNumber++);
        FileHandle file = PlatformCreateNew(candidate.c_str());
        if (file != NO_FILE) {
            ReportTemporaryMade(hook, candidate);
            *path = candidate;
            return file;
        }
        // Only a name that exists is worth another try; anything else (no
        // such directory, no permission) fails the same way for every name.
        if (!PlatformExists(candidate.c_str())) break;
    }
    path->clear();
    return NO_FILE;
}
