// Tasks kept oldest first and worked on by threads, under one lock: the
// work queue of the compress pool and of the parallel extraction. Only the
// owning thread adds and removes tasks; a worker asks `find` (with the lock
// held) for the oldest task it may take and works on it, so results come
// back in the order the owner submitted them whatever the number of threads.
// One condition variable tells every thread of every change: a task added or
// done, or the queue stopping.
#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

template <class Task>
struct WorkQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::unique_ptr<Task>> tasks;  // oldest first
    bool stop = false;                        // guarded by mutex
    std::vector<std::thread> threads;

    WorkQueue() = default;
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;
    ~WorkQueue() { Stop(); }

    void Push(std::unique_ptr<Task> task) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            tasks.push_back(std::move(task));
        }
        changed.notify_all();
    }

    std::unique_ptr<Task> PopOldest() {
        std::lock_guard<std::mutex> lock(mutex);
        std::unique_ptr<Task> task = std::move(tasks.front());
        tasks.pop_front();
        return task;
    }

    // Starts a thread running `body`; throws std::system_error when the
    // system gives no more threads.
    template <class Body>
    void Start(Body body) {
        threads.emplace_back(std::move(body));
    }

    // A worker's loop: until Stop, waits for `find()` to give a task and
    // calls `run(task, lock)`, which may release the lock while it works and
    // holds it again when it returns. Every thread is told afterwards.
    template <class Find, class Run>
    void Serve(Find find, Run run) {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            Task* next = nullptr;
            changed.wait(lock, [&] { return stop || (next = find()) != nullptr; });
            if (stop) return;
            run(next, lock);
            changed.notify_all();
        }
    }

    // Tells the workers to end once their task is done and joins them.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads) t.join();
        threads.clear();
    }
};
