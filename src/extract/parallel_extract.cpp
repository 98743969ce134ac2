#include "extract/parallel_extract.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "payload/name_key.h"
#include "platform/work_queue.h"

namespace {

// One file whose data waits for, or goes through, a worker.
struct DataJob {
    int index = 0;
    EntryInfo entry = {};    // zero as far as the head was not read
    std::string key;         // ExtractRun::pathKey of its path
    PendingData pending = {};
    std::string tempPath;       // listed for removal on interruption while set
    CipherContext cipher = {};  // the entry's key; the stream state where the data begins once the head is read
    int64_t offset = 0;         // where the data begins in the archive
    int result = RESULT_OK;  // guarded by the queue's mutex until done
    bool started = false;
    bool done = false;
};

// Threads that each hold their own handle on the archive and inflate the
// oldest job nobody has taken yet. The calling thread takes jobs too while
// it waits for the oldest one, with a handle of its own.
struct Workers {
    WorkQueue<DataJob> queue;  // only the caller adds or removes
    FileHandle callerSource = NO_FILE;
    std::vector<uint8_t> callerBuffers = std::vector<uint8_t>(INFLATE_BUFFERS_SIZE);
};

DataJob* FirstWaiting(Workers* w) {
    for (auto& job : w->queue.tasks)
        if (!job->started) return job.get();
    return nullptr;
}

// Runs `job` with the lock released; marks it done under the lock again.
void RunJob(DataJob* job, std::unique_lock<std::mutex>& lock, FileHandle source, uint8_t* buffers) {
    job->started = true;
    lock.unlock();
    int result = PlatformSeek(source, job->offset) == job->offset
                     ? InflateEntryData(&job->cipher, source, job->entry.storedSize,
                                        job->pending.output.handle, buffers)
                     : RESULT_CORRUPT;
    lock.lock();
    job->result = result;
    job->done = true;
}

void Work(Workers* w, FileHandle source) {
    std::vector<uint8_t> buffers(INFLATE_BUFFERS_SIZE);
    w->queue.Serve([w] { return FirstWaiting(w); }, [&](DataJob* job, std::unique_lock<std::mutex>& lock) {
        RunJob(job, lock, source, buffers.data());
    });
    PlatformClose(source);
}

void StartWorkers(Workers* w, const char* archivePath, int count) {
    w->callerSource = PlatformOpenRead(archivePath);
    if (w->callerSource == NO_FILE) return;  // no workers: the caller inflates from the reader's file
    for (int i = 0; i < count; i++) {
        FileHandle source = PlatformOpenRead(archivePath);
        if (source == NO_FILE) break;
        try {
            w->queue.Start([w, source] { Work(w, source); });
        } catch (const std::system_error&) {  // no more threads: go on with those there are
            PlatformClose(source);
            break;
        }
    }
}

void StopWorkers(Workers* w) {
    w->queue.Stop();
    PlatformClose(w->callerSource);
}

// True when the two keys are the same path or one lies inside the other:
// such an entry must wait until the earlier one is in place, or the
// overwrite question would not see it.
bool Overlap(const std::string& a, const std::string& b) {
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    return longer.compare(0, shorter.size(), shorter) == 0 &&
           (longer.size() == shorter.size() || longer[shorter.size()] == '\\');
}

struct Extraction {
    explicit Extraction(const ExtractRun& r) : run(r) { std::memset(&outcome, 0, sizeof outcome); }
    const ExtractRun& run;
    Workers workers;
    ExtractOutcome outcome;
    bool failed = false;
};

// Waits for the oldest job and moves its file into place, or removes its
// output once an entry before it has failed. Returns false when the run
// must stop.
bool FinishOldest(Extraction* x) {
    std::unique_ptr<DataJob> job;
    {
        Workers* w = &x->workers;
        std::unique_lock<std::mutex> lock(w->queue.mutex);
        DataJob* oldest = w->queue.tasks.front().get();
        while (!oldest->done) {
            DataJob* waiting = FirstWaiting(w);
            if (waiting && w->callerSource != NO_FILE)
                RunJob(waiting, lock, w->callerSource, w->callerBuffers.data());
            else
                w->queue.changed.wait(lock);
        }
    }
    job = x->workers.queue.PopOldest();
    // FinishEntry moves or removes the temporary file, then closes its
    // folder; nothing opens a descriptor before the path leaves the list,
    // so an interruption in between finds no other folder under that number.
    if (x->failed) {
        FinishEntry(RESULT_CORRUPT, &job->entry, &job->pending);
        ReportTemporaryGone(x->run.temporaryFiles, job->tempPath);
        return false;
    }
    int result = FinishEntry(job->result, &job->entry, &job->pending);
    ReportTemporaryGone(x->run.temporaryFiles, job->tempPath);
    if (result == RESULT_OK) {
        x->run.restored(job->entry);
        return true;
    }
    x->failed = true;
    x->outcome.result = result;
    x->outcome.index = job->index;
    x->outcome.entry = job->entry;
    return false;
}

// Finishes every job in flight; after a failure the rest are removed.
void FinishAll(Extraction* x) {
    while (!x->workers.queue.tasks.empty()) FinishOldest(x);
}

// The path the entry is written to, in the form run.pathKey compares:
// two stored names may become one (bytes a code page leaves undefined turn
// into U+FFFD alike), and one final name may differ in case only.
bool KeyOf(const ExtractRun& run, const EntryInfo& entry, std::string* key) {
    const Reader* reader = run.reader;
    char* converted = nullptr;
    if (reader->convertName && !(converted = reader->convertName(reader->conversionUser, entry.name)))
        return false;
    *key = converted ? converted : entry.name;
    PlatformFree(converted);
    for (char& c : *key)
        if (c == '/') c = '\\';
    *key = run.pathKey ? run.pathKey(*key) : NameKey(*key);
    return true;
}

bool AnyOverlap(Extraction* x, const std::string& key) {
    for (auto& job : x->workers.queue.tasks)
        if (Overlap(job->key, key)) return true;
    return false;
}

// Hands the file's data to the workers, or inflates it here when there are
// none. The reader's file moves on to the next entry either way.
bool StartData(Extraction* x, std::unique_ptr<DataJob> job) {
    FileHandle archive = x->run.reader->file;
    if (x->workers.queue.threads.empty()) {
        int result = InflateEntryData(&job->cipher, archive, job->entry.storedSize,
                                      job->pending.output.handle, x->workers.callerBuffers.data());
        job->result = result;
        job->done = true;
        x->workers.queue.Push(std::move(job));
        return FinishOldest(x);
    }
    job->offset = PlatformTell(archive);
    int64_t next = job->offset + (int64_t)job->entry.storedSize;
    if (job->offset < 0 || PlatformSeek(archive, next) != next) {
        job->result = RESULT_CORRUPT;
        job->done = true;
    }
    x->workers.queue.Push(std::move(job));
    // A few jobs per worker keep them busy while small files go by, and
    // bound the open output files.
    size_t window = 4 * x->workers.queue.threads.size();
    while (x->workers.queue.tasks.size() > window)
        if (!FinishOldest(x)) return false;
    return true;
}

}  // namespace

ExtractOutcome ExtractAll(const ExtractRun& run) {
    Extraction x(run);
    if (run.jobs > 1) StartWorkers(&x.workers, run.archivePath, run.jobs);

    for (int index = 1;; index++) {
        std::unique_ptr<DataJob> job(new DataJob);
        job->index = index;
        job->cipher = run.key;
        int result = ReadEntryHead(run.reader, &job->cipher, &job->entry);
        if (result == RESULT_OK && run.wanted && !run.wanted(job->entry)) {
            // ReadEntryHead has checked that the data lies within the archive.
            uint32_t data = (job->entry.attributes & ATTR_DIRECTORY) ? 0 : job->entry.storedSize;
            int64_t next = PlatformTell(run.reader->file) + data;
            if (PlatformSeek(run.reader->file, next) == next) continue;
            result = RESULT_CORRUPT;
        }
        // A directory is made at once, so the files before it must be in
        // place first: one of them may still turn out damaged, and nothing
        // after a damaged entry is restored.
        bool directory = (job->entry.attributes & ATTR_DIRECTORY) != 0;
        if (result == RESULT_OK && !directory && !KeyOf(run, job->entry, &job->key)) result = RESULT_NO_MEMORY;
        if (result == RESULT_OK && (directory || AnyOverlap(&x, job->key))) FinishAll(&x);
        if (x.failed) break;
        if (result == RESULT_OK)
            result = PrepareEntry(run.reader, run.destination, EXTRACT_WRITE, &job->entry, &job->pending);
        if (result != RESULT_OK) {
            FinishAll(&x);
            if (!x.failed) x.outcome = {result, index, job->entry};
            break;
        }
        if (!job->pending.dataFollows) {
            run.restored(job->entry);
            continue;
        }
        if (job->pending.output.handle != NO_FILE) {
            job->tempPath = job->pending.output.tempPath;
            ReportTemporaryMade(x.run.temporaryFiles, job->tempPath, job->pending.folder);
        }
        if (!StartData(&x, std::move(job))) break;
    }
    FinishAll(&x);
    StopWorkers(&x.workers);
    return x.outcome;
}
