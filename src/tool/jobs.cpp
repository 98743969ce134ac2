#include "tool/jobs.h"

#include <algorithm>
#include <string>

#include "tool/error.h"
#include "tool/system.h"

int JobsWithinOpenFileLimit(int jobs, int filesPerJob, bool asked) {
    // A handful of files serve the rest of the run: the archive, standard
    // streams, what the C library and sanitizers keep.
    const uint64_t RESERVED_FILES = 16;
    uint64_t limit = OpenFileLimit();
    uint64_t room = limit > RESERVED_FILES ? (limit - RESERVED_FILES) / (uint64_t)filesPerJob : 0;
    int allowed = (int)std::max<uint64_t>(1, std::min<uint64_t>(room, 64));
    if (jobs <= allowed) return jobs;
    if (asked)
        Warn("using " + std::to_string(allowed) + " jobs instead of " + std::to_string(jobs) + ": the limit of " +
             std::to_string(limit) + " open files allows no more");
    return allowed;
}
