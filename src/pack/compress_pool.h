// Compresses file entries on worker threads and hands the results back in
// the order the entries were submitted, so the archive's bytes do not
// depend on the number of workers. The caller bounds memory by submitting
// no more than it wants in flight (InFlight counts finished results that
// have not been taken yet, too).
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>
#include "pack/entry_compress.h"

class CompressPool {
public:
    // `jobs` worker threads at most (started as entries arrive). The pool
    // sets `cancel` and `consumed` of `options` to its own.
    CompressPool(int jobs, const CompressOptions& options);
    // Stops the workers (a running compression ends early), joins them and
    // removes the spills of every result not popped.
    ~CompressPool();
    CompressPool(const CompressPool&) = delete;
    CompressPool& operator=(const CompressPool&) = delete;

    // Queues `entry` (kept by pointer; must outlive the pool). May throw
    // when a thread cannot be started.
    void Submit(const WriterEntry* entry);

    // Entries submitted and not yet popped.
    size_t InFlight() const { return tasks_.size(); }

    // Waits for the oldest entry's result; calls `tick` with the input
    // bytes consumed so far about every 100 ms while waiting, and once at
    // the end, on the calling thread. The result stays owned by the pool.
    CompressedEntry* WaitOldest(const std::function<void(uint64_t)>& tick);

    // Drops the oldest result and its spill.
    void PopOldest();

    uint64_t Consumed() const { return consumed_.load(); }

private:
    struct Task {
        const WriterEntry* entry;
        CompressedEntry result;
        bool started = false;   // guarded by mutex_
        bool finished = false;  // guarded by mutex_
    };
    void Work();

    size_t jobs_;
    CompressOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;                        // guarded by mutex_
    std::atomic<bool> cancel_{false};
    std::atomic<uint64_t> consumed_{0};
    std::deque<std::unique_ptr<Task>> tasks_;  // oldest first; only the owner thread adds or removes
    std::vector<std::thread> workers_;
};
