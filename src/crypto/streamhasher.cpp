#include "crypto/streamhasher.h"

#include <QFile>
#include <QIODevice>

// The bytes that may wait for the hash are the memory bound of a verified download.
StreamHasher::StreamHasher(qint64 maxQueued)
    : maxQueued(maxQueued)
    , worker([this] { run(); })
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
        const QByteArray chunk = std::move(queue.front().first);
        const qint64 length = queue.front().second;
        queue.pop_front();
        busy = true;
        const bool write = output && failedWrite.isEmpty();
        lock.unlock();
        QString failure;
        // A short write carries no reason; the next one fails with it (a full disk says so).
        for (qint64 done = 0; write && done < length;) {
            const qint64 w = output->write(chunk.constData() + done, length - done);
            if (w <= 0) {
                failure = output->errorString();
                break;
            }
            done += w;
        }
        hash.addData(chunk.constData(), length);
        lock.lock();
        if (!failure.isEmpty())
            failedWrite = failure;
        busy = false;
        queued -= length;
        hashed += length;
        changed.notify_all();
    }
}

void StreamHasher::addData(const char *data, qint64 length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queued < maxQueued; });
    queue.emplace_back(QByteArray(data, int(length)), length);
    queued += length;
    changed.notify_all();
}

void StreamHasher::addHeldData(const char *data, qint64 length)
{
    std::lock_guard<std::mutex> lock(mutex);
    queue.emplace_back(QByteArray::fromRawData(data, int(length)), length);
    queued += length;
    changed.notify_all();
}

void StreamHasher::addData(QByteArray &&chunk, qint64 length)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queued < maxQueued; });
    queue.emplace_back(std::move(chunk), length);
    queued += length;
    changed.notify_all();
}

QString StreamHasher::writeError()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queue.empty() && !busy; });
    return failedWrite;
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
    hashed = 0;
}

qint64 StreamHasher::waitHashed(qint64 bytes)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this, bytes] { return hashed >= bytes || (queue.empty() && !busy); });
    return hashed;
}

bool StreamHasher::addFile(const QString &path, qint64 length)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && addDevice(&file, length) == length;
}

qint64 StreamHasher::addDevice(QIODevice *device, qint64 length)
{
    // Each chunk read is handed over as it is: the thread hashes one while the next is read.
    qint64 added = 0;
    while (length < 0 || added < length) {
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        const qint64 want = length < 0 ? chunk.size() : qMin<qint64>(length - added, chunk.size());
        const qint64 n = device->read(chunk.data(), want);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        addData(std::move(chunk), n);
        added += n;
    }
    return added;
}
