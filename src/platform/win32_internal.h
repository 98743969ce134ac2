// What the Win32 platform files share: the handle-based half (win32.cpp)
// and the two path halves, ANSI for the extractor and wide for the tool.
#pragma once
#include <windows.h>

#include "platform/platform.h"

inline FileHandle FromHandle(HANDLE h) {
    return h == INVALID_HANDLE_VALUE || h == NULL ? NO_FILE : (FileHandle)h;
}

// Maps the first min(size, maxSize) bytes of the open `file`, which the
// mapping then owns (closed here on failure, by PlatformUnmap after).
bool MapOpenedFile(HANDLE file, FileMapping* map, uint64_t maxSize);
