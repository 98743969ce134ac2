// Compresses file entries on worker threads and hands the results back in
// the order the entries were submitted, so the archive's bytes do not
// depend on the number of workers. A file larger than WHOLE_FILE_LIMIT is
// shared out in pieces (piece_stream.h); a worker takes work from the
// oldest entry that has some. The caller bounds memory by submitting no
// more than it wants in flight (InFlight counts finished results that have
// not been taken yet, too); pieces in flight are bounded per entry.
#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include "pack/entry_compress.h"
#include "pack/piece_stream.h"
#include "platform/work_queue.h"

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

    // Queues `entry` (kept by pointer; must outlive the pool), whose size
    // was measured as `size`. May throw when a thread cannot be started.
    void Submit(const WriterEntry* entry, uint64_t size);

    // Entries submitted and not yet popped.
    size_t InFlight() const { return queue_.tasks.size(); }

    // Waits for the oldest entry's result; calls `tick` with the input
    // bytes consumed so far about every 100 ms while waiting, and once at
    // the end, on the calling thread. The result stays owned by the pool.
    CompressedEntry* WaitOldest(const std::function<void(uint64_t)>& tick);

    // Drops the oldest result and its spill.
    void PopOldest();

    uint64_t Consumed() const { return consumed_.load(); }

private:
    // The fields after `result` are guarded by the queue's mutex.
    struct Task {
        const WriterEntry* entry;
        CompressedEntry result;
        std::unique_ptr<PieceStream> pieces;  // set for a file compressed in pieces
        bool started = false;   // taken by a worker (in pieces: the stream started)
        unsigned active = 0;    // in pieces: workers on a piece of it
        uint64_t claims = 0;    // in pieces: pieces claimed so far
        bool finished = false;
    };
    Task* FindWork();
    void CompressPieceOf(Task* task, WholeFileDeflater* deflater, std::unique_lock<std::mutex>& lock);
    void Work();

    size_t jobs_;
    uint64_t pieceWindow_;                     // pieces of one entry read and not yet joined
    CompressOptions options_;
    std::atomic<bool> cancel_{false};
    std::atomic<uint64_t> consumed_{0};
    WorkQueue<Task> queue_;  // only the owner thread adds or removes
};
