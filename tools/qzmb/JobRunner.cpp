#include "JobRunner.h"

#include "Interruption.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace qz::cli {

size_t RunJobs(const JobPlan& plan)
{
    std::atomic<size_t> next{0};
    std::atomic<size_t> started{0};
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;

    auto work = [&] {
        for (;;) {
            if (plan.keepStarting && !plan.keepStarting())
                break;
            const size_t job = next++;
            if (job >= plan.count)
                break;
            ++started;
            plan.run(job);
        }
        std::lock_guard<std::mutex> hold(mutex);
        --running;
        ended.notify_all();
    };

    const int threads = std::max(1, std::min<int>(plan.threads, static_cast<int>(std::max<size_t>(plan.count, 1))));
    std::vector<std::thread> pool;
    running = threads;
    {
        // Stop signals reach the calling thread, which waits in a way every signal
        // interrupts, never a job busy in its own loop: some runtimes (sanitizers) hold a
        // signal back until the thread it landed on makes a blocking call.
        files::InterruptionsHeld heldByTheJobs;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back(work);
    }
    {
        std::unique_lock<std::mutex> hold(mutex);
        while (running > 0) {
            ended.wait_for(hold, plan.interval);
            if (running > 0 && plan.watch) {
                hold.unlock();
                plan.watch();
                hold.lock();
            }
        }
    }
    for (std::thread& thread : pool)
        thread.join();
    if (plan.watch)
        plan.watch();
    return started.load();
}

int AvailableProcessors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::max(1, CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace qz::cli
