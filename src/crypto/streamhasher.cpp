#include "crypto/streamhasher.h"

#include <QFile>

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

bool StreamHasher::addFile(const QString &path, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 left = length; left > 0;) {
        const qint64 n = file.read(chunk.data(), qMin<qint64>(left, chunk.size()));
        if (n <= 0)
            return false;
        addData(chunk.constData(), n);
        left -= n;
    }
    return true;
}
