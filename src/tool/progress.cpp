#include "tool/progress.h"

#include <cstdio>

#include "tool/console.h"

std::string Counted(uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string HumanBytes(uint64_t bytes) {
    static const char* UNIT_NAMES[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double v = (double)bytes;
    int unit = 0;
    while (v >= 1024 && unit < 4) {
        v /= 1024;
        unit++;
    }
    char text[32];
    if (unit == 0) std::snprintf(text, sizeof text, "%llu B", (unsigned long long)bytes);
    else std::snprintf(text, sizeof text, "%.1f %s", v, UNIT_NAMES[unit]);
    return text;
}

void StartProgress(ProgressBar* bar, bool enabled) {
    bar->enabled = enabled;
    bar->start = std::chrono::steady_clock::now();
    bar->lastDraw = bar->start;
    bar->drawn = false;
}

double ElapsedSeconds(const ProgressBar& bar) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - bar.start).count();
}

void UpdateProgress(uint64_t done, uint64_t total, void* user) {
    ProgressBar* bar = static_cast<ProgressBar*>(user);
    if (!bar || !bar->enabled) return;
    auto now = std::chrono::steady_clock::now();
    if (bar->drawn && done < total && now - bar->lastDraw < std::chrono::milliseconds(100)) return;
    bar->lastDraw = now;
    bar->drawn = true;

    const int BAR_WIDTH = 30;
    double fraction = total ? (double)done / (double)total : 1.0;
    int filled = (int)(fraction * BAR_WIDTH);
    char cells[BAR_WIDTH + 1];
    for (int i = 0; i < BAR_WIDTH; i++) cells[i] = i < filled ? '#' : '.';
    cells[BAR_WIDTH] = 0;
    double seconds = ElapsedSeconds(*bar);
    double rate = seconds > 0 ? (double)done / seconds : 0;
    char left[32] = "--:--";
    if (rate > 0 && done <= total) {
        long s = (long)((double)(total - done) / rate);
        std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
    }
    std::fputs("\r", stderr);  // Print would show it as '?'
    Print(stderr, "[%s] %3d%%  %s of %s  %s/s  %s left ", cells, (int)(fraction * 100),
          HumanBytes(done).c_str(), HumanBytes(total).c_str(),
          HumanBytes((uint64_t)rate).c_str(), left);
    std::fflush(stderr);
}

void FinishProgress(ProgressBar* bar) {
    if (bar->enabled && bar->drawn) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}
