#include "pack/entry_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "pack/errno_text.h"

#ifdef _WIN32
#include "platform/wide_path.h"
#endif

EntrySource::~EntrySource() {
    if (file) std::fclose(file);
}

bool OpenEntrySource(const WriterEntry& entry, EntrySource* source, std::string* error) {
    if (entry.sourcePath.empty()) {
        source->data = &entry.data;
        return true;
    }
    source->path = entry.sourcePath;
    errno = 0;
#ifdef _WIN32
    source->file = _wfopen(WidePath(entry.sourcePath).c_str(), L"rb");
#else
    source->file = std::fopen(entry.sourcePath.c_str(), "rb");
#endif
    if (!source->file) {
        *error = WithErrnoText("cannot open " + entry.sourcePath, errno);
        return false;
    }
    return true;
}

bool ReadEntrySource(EntrySource* source, uint8_t* buffer, size_t size, size_t* got,
                     std::string* error) {
    if (!source->file) {
        size_t n = source->data ? std::min(size, source->data->size() - source->offset) : 0;
        if (n) std::memcpy(buffer, source->data->data() + source->offset, n);
        source->offset += n;
        *got = n;
        return true;
    }
    errno = 0;
    *got = std::fread(buffer, 1, size, source->file);
    if (*got < size && std::ferror(source->file)) {
        *error = WithErrnoText("cannot read " + source->path, errno);
        return false;
    }
    return true;
}

bool ProbeEntrySource(const WriterEntry& entry, uint64_t* size, std::string* error) {
    *size = 0;
    if (entry.sourcePath.empty()) {
        *size = entry.data.size();
        return true;
    }
    EntrySource source;
    if (!OpenEntrySource(entry, &source, error)) return false;
    // The size of the open file: one open per file, and 64-bit on Windows too.
#ifdef _WIN32
    struct _stat64 st;
    if (_fstat64(_fileno(source.file), &st) == 0 && st.st_size > 0) *size = (uint64_t)st.st_size;
#else
    struct stat st;
    if (fstat(fileno(source.file), &st) == 0 && st.st_size > 0) *size = (uint64_t)st.st_size;
#endif
    return true;
}
