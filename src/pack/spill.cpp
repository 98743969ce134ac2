#include "pack/spill.h"

#include <algorithm>
#include "pack/temp_file.h"

namespace {
const uint32_t COPY_BUFFER = 256 * 1024;

bool WriteAll(FileHandle file, const uint8_t* data, size_t size) {
    while (size > 0) {
        uint32_t n = (uint32_t)std::min<size_t>(size, COPY_BUFFER);
        if (!PlatformWrite(file, data, n)) return false;
        data += n;
        size -= n;
    }
    return true;
}
}  // namespace

bool SpillAppend(Spill* spill, const SpillPlace& place, const uint8_t* data, size_t size,
                 std::string* error) {
    if (spill->path.empty()) {
        bool fits = place.filePrefix.empty() || spill->size + size <= place.memoryLimit;
        if (fits) {
            spill->memory.insert(spill->memory.end(), data, data + size);
            spill->size += size;
            return true;
        }
        spill->hook = place.hook;
        spill->file = CreateTempFile(place.filePrefix, &spill->path, place.hook);
        if (spill->file == NO_FILE) {
            *error = "cannot create a temporary file beside the output (" + place.filePrefix + "*)";
            return false;
        }
        if (!WriteAll(spill->file, spill->memory.data(), spill->memory.size())) {
            *error = "cannot write temporary file " + spill->path;
            return false;
        }
        std::vector<uint8_t>().swap(spill->memory);
    }
    if (!WriteAll(spill->file, data, size)) {
        *error = "cannot write temporary file " + spill->path;
        return false;
    }
    spill->size += size;
    return true;
}

void SpillAdopt(Spill* spill, std::unique_ptr<uint8_t[]> bytes, size_t size) {
    spill->block = std::move(bytes);
    spill->size = size;
}

void SpillFinish(Spill* spill) {
    if (spill->file != NO_FILE) {
        PlatformClose(spill->file);
        spill->file = NO_FILE;
    }
}

bool SpillCopyTo(Spill* spill, OutputSink* sink, std::string* error) {
    if (spill->path.empty()) {
        const uint8_t* bytes = spill->block ? spill->block.get() : spill->memory.data();
        if (!SinkWrite(sink, bytes, (size_t)spill->size)) {
            *error = "write failed";
            return false;
        }
        return true;
    }
    FileHandle in = PlatformOpenRead(spill->path.c_str());
    if (in == NO_FILE) {
        *error = "cannot reopen temporary file " + spill->path;
        return false;
    }
    std::vector<uint8_t> buffer(COPY_BUFFER);
    uint64_t copied = 0;
    bool ok = true;
    while (copied < spill->size) {
        uint32_t want = (uint32_t)std::min<uint64_t>(COPY_BUFFER, spill->size - copied);
        uint32_t got = PlatformRead(in, buffer.data(), want);
        if (got == 0) {
            *error = "temporary file " + spill->path + " ended early";
            ok = false;
            break;
        }
        if (!SinkWrite(sink, buffer.data(), got)) {
            *error = "write failed";
            ok = false;
            break;
        }
        copied += got;
    }
    PlatformClose(in);
    return ok;
}

void SpillRemove(Spill* spill) {
    if (spill->file != NO_FILE) {
        PlatformClose(spill->file);
        spill->file = NO_FILE;
    }
    if (!spill->path.empty()) {
        PlatformDelete(spill->path.c_str());
        ReportTemporaryGone(spill->hook, spill->path);
        spill->path.clear();
    }
    std::vector<uint8_t>().swap(spill->memory);
    spill->block.reset();
    spill->size = 0;
}
