#include "pack/compress_pool.h"

#include <chrono>

CompressPool::CompressPool(int jobs, const CompressOptions& options)
    : jobs_(jobs < 1 ? 1 : (size_t)jobs), pieceWindow_(2 * (uint64_t)jobs_), options_(options) {
    options_.cancel = &cancel_;
    options_.consumed = &consumed_;
}

CompressPool::~CompressPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cancel_ = true;
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    for (auto& task : tasks_) SpillRemove(&task->result.spill);
}

void CompressPool::Submit(const WriterEntry* entry, uint64_t size) {
    std::unique_ptr<Task> task(new Task);
    task->entry = entry;
    bool inPieces = size > WHOLE_FILE_LIMIT;
    if (inPieces) task->pieces.reset(new PieceStream);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
    // One more worker per entry, and all of them for an entry in pieces.
    do {
        if (workers_.size() < jobs_) workers_.emplace_back([this] { Work(); });
    } while (inPieces && workers_.size() < jobs_);
}

// The oldest entry with work left: one not started, or one in pieces whose
// window of pieces in flight has room. Called with mutex_ held.
CompressPool::Task* CompressPool::FindWork() {
    for (auto& task : tasks_) {
        if (!task->pieces) {
            if (!task->started) return task.get();
        } else if (!task->finished && !task->pieces->ended &&
                   task->claims - task->pieces->appended < pieceWindow_) {
            return task.get();
        }
    }
    return nullptr;
}

// Reads, deflates and hands back one piece of `task`; `lock` holds mutex_
// on entry and exit. The worker that leaves the last piece of a finished
// stream behind closes it.
void CompressPool::CompressPieceOf(Task* task, WholeFileDeflater* deflater, std::unique_lock<std::mutex>* lock) {
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
    lock->unlock();
    Piece piece;
    if (ReadPiece(stream, &piece)) {
        DeflatePiece(options_.level, deflater, &piece);
        AcceptPiece(stream, std::move(piece));
    }
    lock->lock();
    task->active--;
    if (stream->ended && task->active == 0 && !task->finished) {
        FinishPieceStream(stream);
        task->finished = true;
    }
}

void CompressPool::Work() {
    WholeFileDeflater deflater;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Task* next = nullptr;
        wake_.wait(lock, [&] { return stop_ || (next = FindWork()) != nullptr; });
        if (stop_) return;
        if (next->pieces) {
            CompressPieceOf(next, &deflater, &lock);
        } else {
            next->started = true;
            lock.unlock();
            CompressEntry(*next->entry, options_, &deflater, &next->result);
            lock.lock();
            next->finished = true;
        }
        wake_.notify_all();
    }
}

CompressedEntry* CompressPool::WaitOldest(const std::function<void(uint64_t)>& tick) {
    Task* task = tasks_.front().get();
    for (;;) {
        bool finished;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            finished = wake_.wait_for(lock, std::chrono::milliseconds(100), [task] { return task->finished; });
        }
        tick(consumed_.load());
        if (finished) return &task->result;
    }
}

void CompressPool::PopOldest() {
    std::unique_ptr<Task> task;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    SpillRemove(&task->result.spill);
}
