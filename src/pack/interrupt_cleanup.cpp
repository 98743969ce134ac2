#include "pack/interrupt_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// Fixed slots, so that the handler only reads memory that never moves or
// goes away: state 0 free, 1 being filled or emptied, 2 listed.
const int kSlots = 1024;
const size_t kPathRoom = 4096;
struct Slot {
    std::atomic<int> state{0};
    char path[kPathRoom];
};
Slot g_Slots[kSlots];

void RemoveListed() {
    for (Slot& slot : g_Slots) {
        if (slot.state.load() != 2) continue;
#ifdef _WIN32
        DeleteFileA(slot.path);
#else
        unlink(slot.path);  // async-signal-safe
#endif
    }
}

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD) {
    RemoveListed();
    return FALSE;  // the next handler (the default one) ends the process
}
#else
void OnSignal(int signal) {
    RemoveListed();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}
#endif

}  // namespace

void RemoveOnInterrupt(const std::string& path) {
    if (path.size() >= kPathRoom) return;
    for (Slot& slot : g_Slots) {
        int expected = 0;
        if (!slot.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slot.path, path.c_str(), path.size() + 1);
        slot.state.store(2);
        return;
    }
}

void KeepOnInterrupt(const std::string& path) {
    for (Slot& slot : g_Slots) {
        int expected = 2;
        if (slot.state.load() != 2 || std::strcmp(slot.path, path.c_str()) != 0) continue;
        if (slot.state.compare_exchange_strong(expected, 1)) {
            slot.state.store(0);
            return;
        }
    }
}

void InstallInterruptCleanup() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
#endif
}
