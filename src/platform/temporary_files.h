// How the writer and the parallel extraction report the temporary files
// they make, so that their caller can remove them when the run is
// interrupted (the tool's interrupt handler does). A null hook, or a null
// member, means nobody listens.
#pragma once
#include <string>

#include "platform/platform.h"

struct TemporaryFileHook {
    // `path` was created. Given `folder` (open for as long as the file is
    // there under that name), it lies in that folder and is removed there.
    void (*made)(const std::string& path, FileHandle folder);
    // `path` was removed or moved into place.
    void (*gone)(const std::string& path);
};

inline void ReportTemporaryMade(const TemporaryFileHook* hook, const std::string& path, FileHandle folder = NO_FILE) {
    if (hook && hook->made) hook->made(path, folder);
}

inline void ReportTemporaryGone(const TemporaryFileHook* hook, const std::string& path) {
    if (hook && hook->gone) hook->gone(path);
}
