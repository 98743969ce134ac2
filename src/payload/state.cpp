// The reader's process-wide values. All are constant-initialised (no global
// constructors in the extractor).
#include <string.h>

#include "payload/reader.h"

FileHandle ArchiveFile;  // NO_FILE
int64_t FirstEntryOffset = 0;
uint32_t OpenFolderShowCmd = 0;
uint8_t LayoutMode = 0;
uint32_t BackgroundWidth = 0;
uint32_t BackgroundHeight = 0;
char* WindowTitle = nullptr;
uint8_t PasswordCheckBlock[16];
uint16_t RunAfterLength = 0;
uint8_t RunAfterName[260];

OverwriteAnswers OverwriteFlags;
OverwriteQuestion AskOverwrite = nullptr;
NameConversion ConvertStoredName = nullptr;

int RewindToFirstEntry() {
    if (ArchiveFile == NO_FILE || FirstEntryOffset <= 0) return RESULT_CORRUPT;
    return PlatformSeek(ArchiveFile, FirstEntryOffset) == FirstEntryOffset ? RESULT_OK
                                                                           : RESULT_CORRUPT;
}

void ResetArchiveState() {
    PlatformClose(ArchiveFile);
    ArchiveFile = NO_FILE;
    PlatformFree(WindowTitle);
    WindowTitle = nullptr;
    FirstEntryOffset = 0;
    OpenFolderShowCmd = 0;
    LayoutMode = 0;
    BackgroundWidth = 0;
    BackgroundHeight = 0;
    memset(PasswordCheckBlock, 0, sizeof PasswordCheckBlock);
    RunAfterLength = 0;
    memset(RunAfterName, 0, sizeof RunAfterName);
    memset(&OverwriteFlags, 0, sizeof OverwriteFlags);
}
