#include "pack/compress_pool.h"

#include <chrono>

CompressPool::CompressPool(int jobs, const CompressOptions& options)
    : jobs_(jobs < 1 ? 1 : (size_t)jobs), options_(options) {
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

void CompressPool::Submit(const WriterEntry* entry) {
    std::unique_ptr<Task> task(new Task);
    task->entry = entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
    if (workers_.size() < jobs_) workers_.emplace_back([this] { Work(); });
}

void CompressPool::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Task* next = nullptr;
        wake_.wait(lock, [&] {
            if (stop_) return true;
            for (auto& task : tasks_) {
                if (!task->started) {
                    next = task.get();
                    return true;
                }
            }
            return false;
        });
        if (stop_) return;
        next->started = true;
        lock.unlock();
        CompressEntry(*next->entry, options_, &next->result);
        lock.lock();
        next->finished = true;
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
