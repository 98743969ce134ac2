#include "tool/interrupt_cleanup.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"

namespace {

// Fixed slots, so that the handler only reads memory that never moves or
// goes away: state 0 free, 1 being filled, 2 listed.
const int SLOTS = 1024;
const size_t PATH_ROOM = 4096;
struct Slot {
    std::atomic<int> state{0};
    FileHandle folder;
    char path[PATH_ROOM];
};
Slot g_Slots[SLOTS];

}  // namespace

void RemoveOnInterrupt(const std::string& path, FileHandle folder) {
    if (path.size() >= PATH_ROOM) return;
    for (Slot& slot : g_Slots) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.folder = folder;
        slot.state.store(2);
        return;
    }
}

void KeepOnInterrupt(const std::string& path) {
    // Only the owner of a listed path takes it off, so a match is its own.
    for (Slot& slot : g_Slots) {
        if (slot.state.load() == 2 && std::strcmp(slot.path, path.c_str()) == 0) {
            slot.state.store(0);
            return;
        }
    }
}

void RemoveListedFiles() {
    for (Slot& slot : g_Slots) {
        if (slot.state.load() != 2) continue;
        if (slot.folder != NO_FILE)
            PlatformDeleteAt(slot.folder, slot.path);  // unlinkat / DeleteFileW
        else
            PlatformDelete(slot.path);  // unlink / DeleteFileW
    }
}

const TemporaryFileHook INTERRUPT_CLEANUP = {RemoveOnInterrupt, KeepOnInterrupt};
