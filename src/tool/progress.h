// The progress bar of `lockbox create` and the closing summary line.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

struct ProgressBar {
    bool enabled = false;   // drawn only on a terminal and without -q
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastDraw;
    bool drawn = false;
};

// Starts timing; draws nothing until the first update.
void StartProgress(ProgressBar* bar, bool enabled);

// ProgressFn for WriteArchive (`user` is the ProgressBar): redraws the line
// on stderr at most ten times a second, and always at the end.
void UpdateProgress(uint64_t done, uint64_t total, void* user);

// Clears the bar's line so that later output starts on a clean line.
void FinishProgress(ProgressBar* bar);

// Seconds since StartProgress.
double ElapsedSeconds(const ProgressBar& bar);

// "12.3 MiB"-style size.
std::string HumanBytes(uint64_t bytes);

// "1 file", "12 files": `count` with the word that goes with it.
std::string Counted(uint64_t count, const char* one, const char* many);
