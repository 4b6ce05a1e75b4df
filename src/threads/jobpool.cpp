#include "threads/jobpool.h"

#include <QThread>

#include <atomic>
#include <thread>
#include <vector>

namespace JobPool {

int workersFor(int limit)
{
    return qBound(1, QThread::idealThreadCount(), qMax(1, limit));
}

bool run(int count, int workers, const std::function<bool(int)> &job)
{
    std::atomic<int> next { 0 };
    std::atomic<bool> failed { false };
    const auto work = [&] {
        for (int i = next++; i < count && !failed; i = next++) {
            if (!job(i))
                failed = true;
        }
    };
    std::vector<std::thread> threads;
    for (int i = 1; i < qMin(workers, count); ++i)
        threads.emplace_back(work);
    work(); // the caller's thread is one of the workers
    for (std::thread &thread : threads)
        thread.join();
    return !failed;
}

} // namespace JobPool
