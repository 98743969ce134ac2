#include "pack/compress_pool.h"

#include <chrono>

CompressPool::CompressPool(int jobs, const CompressOptions& options)
    : jobs_(jobs < 1 ? 1 : (size_t)jobs), pieceWindow_(2 * (uint64_t)jobs_), options_(options) {
    options_.cancel = &cancel_;
    options_.consumed = &consumed_;
}

CompressPool::~CompressPool() {
    cancel_ = true;
    queue_.Stop();
    for (auto& task : queue_.tasks) SpillRemove(&task->result.spill);
}

void CompressPool::Submit(const WriterEntry* entry, uint64_t size) {
    std::unique_ptr<Task> task(new Task);
    task->entry = entry;
    bool inPieces = size > WHOLE_FILE_LIMIT;
    if (inPieces) task->pieces.reset(new PieceStream);
    queue_.Push(std::move(task));
    // One more worker per entry, and all of them for an entry in pieces.
    do {
        if (queue_.threads.size() < jobs_) queue_.Start([this] { Work(); });
    } while (inPieces && queue_.threads.size() < jobs_);
}

// The oldest entry with work left: one not started, or one in pieces whose
// window of pieces in flight has room. Called with the queue's mutex held.
CompressPool::Task* CompressPool::FindWork() {
    for (auto& task : queue_.tasks) {
        if (!task->pieces) {
            if (!task->started) return task.get();
        } else if (!task->finished && !task->pieces->ended &&
                   task->claims - task->pieces->appended < pieceWindow_) {
            return task.get();
        }
    }
    return nullptr;
}

// Reads, deflates and hands back one piece of `task`; `lock` holds the
// queue's mutex on entry and exit. The worker that leaves the last piece of
// a finished stream behind closes it.
void CompressPool::CompressPieceOf(Task* task, WholeFileDeflater* deflater, std::unique_lock<std::mutex>& lock) {
    PieceStream* stream = task->pieces.get();
    if (!task->started) {
        task->started = true;
        if (!StartPieceStream(stream, *task->entry, options_, &task->result)) {
            stream->readError = task->result.error;
            stream->ended = true;
        }
    }
    task->active++;
    task->claims++;
    lock.unlock();
    Piece piece;
    if (ReadPiece(stream, &piece)) {
        DeflatePiece(options_.level, deflater, &piece);
        AcceptPiece(stream, std::move(piece));
    }
    lock.lock();
    task->active--;
    if (stream->ended && task->active == 0 && !task->finished) {
        FinishPieceStream(stream);
        task->finished = true;
    }
}

void CompressPool::Work() {
    WholeFileDeflater deflater;
    queue_.Serve([this] { return FindWork(); }, [&](Task* next, std::unique_lock<std::mutex>& lock) {
        if (next->pieces) {
            CompressPieceOf(next, &deflater, lock);
            return;
        }
        next->started = true;
        lock.unlock();
        CompressEntry(*next->entry, options_, &deflater, &next->result);
        lock.lock();
        next->finished = true;
    });
}

CompressedEntry* CompressPool::WaitOldest(const std::function<void(uint64_t)>& tick) {
    Task* task = queue_.tasks.front().get();
    for (;;) {
        bool finished;
        {
            std::unique_lock<std::mutex> lock(queue_.mutex);
            finished = queue_.changed.wait_for(lock, std::chrono::milliseconds(100), [task] { return task->finished; });
        }
        tick(consumed_.load());
        if (finished) return &task->result;
    }
}

void CompressPool::PopOldest() {
    std::unique_ptr<Task> task = queue_.PopOldest();
    SpillRemove(&task->result.spill);
}
