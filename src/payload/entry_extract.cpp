// One entry restored under the destination: a directory, or a file decided
// by the overwrite answers and written through a temporary file.
#include "payload/entry_internal.h"

namespace {

int RestoreDirectory(const char* path, const EntryInfo* info) {
    PlatformCreateDirectory(path);  // may exist already
    FileHandle dir = PlatformOpenDirectory(path);
    if (dir == NO_FILE) return RESULT_CANNOT_CREATE;
    PlatformSetAttributes(path, info->attributes);
    PlatformSetTimes(dir, &info->times);
    PlatformClose(dir);
    return RESULT_OK;
}

// 1 = write, 0 = skip (the data is still read and checked), -1 = cancelled.
// "No to All" covers only files that exist: new files are still written.
int DecideWrite(const char* path, const EntryInfo* info) {
    if (OverwriteFlags.YesToAll || !PlatformExists(path)) return 1;
    if (OverwriteFlags.NoToAll) return 0;
    int answer = AskOverwrite ? AskOverwrite(info->name) : 0;
    if (OverwriteFlags.Cancelled) return -1;
    return answer == 1 ? 1 : 0;
}

int RestoreFile(CipherContext* ctx, const char* path, const EntryInfo* info) {
    int decision = DecideWrite(path, info);
    if (decision < 0) return RESULT_END;
    if (decision == 0) return InflateEntryData(ctx, info->storedSize, NO_FILE);
    if (PlatformIsProtected(path)) return RESULT_CANNOT_CREATE;

    OutputFile out;
    int result = OpenTempBeside(path, &out);
    if (result != RESULT_OK) return result;
    result = InflateEntryData(ctx, info->storedSize, out.handle);
    if (result != RESULT_OK) {
        DiscardOutput(&out);
        return result;
    }
    return CommitOutput(&out, path, info);
}

}  // namespace

int ExtractEntryEx(CipherContext* ctx, const char* destination, ExtractMode mode, EntryInfo* info) {
    EntryInfo local;
    EntryInfo* entry = info ? info : &local;
    int result = ReadEntryHead(ctx, entry);
    if (result != RESULT_OK) return result;
    // Refused before anything is created: the name would leave the destination.
    if (!IsSafeName(entry->name)) return RESULT_CORRUPT;

    bool directory = (entry->attributes & ATTR_DIRECTORY) != 0;
    if (mode == EXTRACT_TEST)
        return directory ? RESULT_OK : InflateEntryData(ctx, entry->storedSize, NO_FILE);

    char* path = BuildEntryPath(destination, entry->name);
    if (!path) return RESULT_NO_MEMORY;
    result = directory ? RestoreDirectory(path, entry) : RestoreFile(ctx, path, entry);
    PlatformFree(path);
    return result;
}

int ExtractEntry(CipherContext* ctx, const char* destination) {
    return ExtractEntryEx(ctx, destination, EXTRACT_WRITE, nullptr);
}
