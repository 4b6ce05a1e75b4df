#include "crypto/streamhasher.h"

namespace {

// Bytes that may wait for the hash: the memory bound of a verified download.
constexpr qint64 MaxQueued = qint64(8) << 20;

} // namespace

StreamHasher::StreamHasher()
    : worker([this] { run(); })
{
}

StreamHasher::~StreamHasher()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

void StreamHasher::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty())
            return;
        const QByteArray chunk = std::move(queue.front());
        queue.pop_front();
        busy = true;
        lock.unlock();
        hash.addData(chunk);
        lock.lock();
        busy = false;
        queued -= chunk.size();
        changed.notify_all();
    }
}

void StreamHasher::addData(const char *data, qint64 length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queued < MaxQueued; });
    queue.emplace_back(data, int(length));
    queued += length;
    changed.notify_all();
}

QByteArray StreamHasher::result()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queue.empty() && !busy; });
    return hash.result();
}

void StreamHasher::reset()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queue.empty() && !busy; });
    hash.reset();
}
