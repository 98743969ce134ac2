// One entry restored under the destination: a directory, or a file decided
// by the overwrite answers and written through a temporary file.
#include <string.h>

#include "payload/entry_internal.h"

namespace {

int RestoreDirectory(FileHandle folder, const char* path, const EntryInfo* info) {
    PlatformCreateDirectoryAt(folder, path);  // may exist already
    FileHandle dir = PlatformOpenDirectoryAt(folder, path);
    if (dir == NO_FILE) return RESULT_CANNOT_CREATE;
    PlatformSetAttributesOf(dir, path, info->attributes);
    PlatformSetTimes(dir, &info->times);
    PlatformClose(dir);
    return RESULT_OK;
}

// 1 = write, 0 = skip (the data is still read and checked), -1 = cancelled.
// "No to All" covers only files that exist: new files are still written.
int DecideWrite(Reader* reader, FileHandle folder, const char* path, const EntryInfo* info) {
    OverwriteAnswers* answers = &reader->answers;
    if (answers->yesToAll || !PlatformExistsAt(folder, path)) return 1;
    if (answers->noToAll) return 0;
    int answer = reader->askOverwrite ? reader->askOverwrite(reader->questionUser, info->name) : 0;
    if (answers->cancelled) return -1;
    return answer == 1 ? 1 : 0;
}

// Opens the temporary output of a file that is to be written.
int PrepareFile(Reader* reader, FileHandle folder, const char* path, const EntryInfo* info,
                PendingData* pending) {
    int decision = DecideWrite(reader, folder, path, info);
    if (decision < 0) return RESULT_CANCELLED;
    if (decision == 0) return RESULT_OK;  // data checked, nothing written
    if (PlatformIsProtectedAt(folder, path)) return RESULT_CANNOT_CREATE;
    return OpenTempBeside(folder, path, &pending->output);
}

}  // namespace

int PrepareEntry(Reader* reader, const char* destination, ExtractMode mode, const EntryInfo* entry,
                 PendingData* pending) {
    pending->path = nullptr;
    pending->output.handle = NO_FILE;
    pending->output.tempPath = nullptr;
    pending->folder = NO_FILE;
    pending->dataFollows = false;
    // Refused before anything is created: the name would leave the
    // destination, or name something else than what it says (a NUL byte
    // would cut it short).
    if (strlen(entry->name) != entry->nameLength || !IsSafeName(entry->name)) return RESULT_CORRUPT;

    bool directory = (entry->attributes & ATTR_DIRECTORY) != 0;
    pending->dataFollows = !directory;
    if (mode == EXTRACT_TEST) return RESULT_OK;

    char* path = BuildEntryPath(reader, destination, entry->name);
    if (!path) return RESULT_NO_MEMORY;
    // Everything below goes through the folder the entry lies in, reached
    // with no link on the way: a link in the destination, there before or
    // swapped in during the run, would carry the write elsewhere.
    int result = RESULT_CANNOT_CREATE;
    FileHandle folder = PlatformOpenEntryFolder(path, (uint32_t)strlen(destination));
    if (folder != NO_FILE)
        result = directory ? RestoreDirectory(folder, path, entry) : PrepareFile(reader, folder, path, entry, pending);
    if (result == RESULT_OK && pending->output.handle != NO_FILE) {
        pending->path = path;  // kept for FinishEntry
        pending->folder = folder;
        return RESULT_OK;
    }
    if (folder != NO_FILE) PlatformCloseFolder(folder);
    PlatformFree(path);
    return result;
}

int FinishEntry(int dataResult, const EntryInfo* entry, PendingData* pending) {
    int result = dataResult;
    if (pending->output.handle != NO_FILE) {
        if (result == RESULT_OK)
            result = CommitOutput(pending->folder, &pending->output, pending->path, entry);
        else
            DiscardOutput(pending->folder, &pending->output);
    }
    if (pending->folder != NO_FILE) PlatformCloseFolder(pending->folder);
    pending->folder = NO_FILE;
    PlatformFree(pending->path);
    pending->path = nullptr;
    return result;
}

int ExtractOrTestEntry(Reader* reader, CipherContext* ctx, const char* destination, ExtractMode mode,
                   EntryInfo* info) {
    EntryInfo local;
    EntryInfo* entry = info ? info : &local;
    int result = ReadEntryHead(reader, ctx, entry);
    if (result != RESULT_OK) return result;
    reader->entryName = entry->name;
    if (reader->onProgress) reader->onProgress(reader);
    PendingData pending;
    result = PrepareEntry(reader, destination, mode, entry, &pending);
    if (result != RESULT_OK || !pending.dataFollows) return result;
    result = InflateEntryData(ctx, reader->file, entry->storedSize, pending.output.handle, nullptr, reader);
    return FinishEntry(result, entry, &pending);
}

int ExtractEntry(Reader* reader, CipherContext* ctx, const char* destination) {
    return ExtractOrTestEntry(reader, ctx, destination, EXTRACT_WRITE, nullptr);
}
