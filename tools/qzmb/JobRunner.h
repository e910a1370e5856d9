#pragma once
// Runs numbered jobs on a few threads: each thread takes the next number until every
// job has started or the caller says to start no more. The calling thread keeps an
// eye on them meanwhile, and takes SIGINT, SIGTERM and SIGHUP: the jobs' threads hold them.

#include <chrono>
#include <cstddef>
#include <functional>

namespace qz::cli {

struct JobPlan {
    size_t count = 0;  // jobs 0 .. count - 1, started in that order
    int threads = 1;
    std::function<void(size_t job)> run;
    // Asked before each job starts; false starts no more.
    std::function<bool()> keepStarting;
    // Called on the calling thread every `interval` while jobs run, and once at the end.
    std::function<void()> watch;
    std::chrono::milliseconds interval{200};
};

// Returns when every started job has ended. The number of jobs that started.
size_t RunJobs(const JobPlan& plan);

// The processors this program may run on.
int AvailableProcessors();

} // namespace qz::cli
