#include "crypto/streamhasher.h"

#include <QFile>
#include <QIODevice>

#include <cstring>

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
        Chunk chunk = std::move(queue.front());
        queue.pop_front();
        busy = true;
        const bool write = output && failedWrite.isEmpty();
        lock.unlock();
        qint64 length = chunk.length;
        const char *data = filter ? filtered(&chunk, &length) : chunk.bytes.constData() + chunk.offset;
        QString failure;
        // A short write carries no reason; the next one fails with it (a full disk says so).
        for (qint64 done = 0; write && done < length;) {
            const qint64 w = output->write(data + done, length - done);
            if (w <= 0) {
                failure = output->errorString();
                break;
            }
            done += w;
        }
        hash.addData(data, length);
        lock.lock();
        // Kept for the caller to fill again: fresh memory costs a page fault a page.
        if (chunk.reuse && chunk.bytes.isDetached() && spares.size() < MaxSpares)
            spares.push_back(std::move(chunk.bytes));
        if (!failure.isEmpty())
            failedWrite = failure;
        busy = false;
        queued -= chunk.length;
        hashed += chunk.length;
        changed.notify_all();
    }
}

// The chunk's bytes through the filter, led by what it held back of the last one (in the room
// before them, else in a copy); the final ones, \a length of them.
const char *StreamHasher::filtered(Chunk *chunk, qint64 *length)
{
    char *data = chunk->bytes.data() + chunk->offset;
    qint64 size = chunk->length;
    if (!heldBack.isEmpty()) {
        if (chunk->offset >= heldBack.size()) {
            data -= heldBack.size();
            memcpy(data, heldBack.constData(), size_t(heldBack.size()));
        } else {
            chunk->bytes = heldBack + QByteArray(data, int(size));
            data = chunk->bytes.data();
        }
        size += heldBack.size();
    }
    const qint64 ready = filter(data, size, chunk->last);
    heldBack = QByteArray(data + ready, int(size - ready));
    *length = ready;
    return data;
}

void StreamHasher::addData(const char *data, qint64 length)
{
    enqueue(Chunk { QByteArray(data, int(length)), 0, length, false, false });
}

void StreamHasher::addHeldData(const char *data, qint64 length)
{
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back(Chunk { QByteArray::fromRawData(data, int(length)), 0, length, false, false });
    queued += length;
    changed.notify_all();
}

void StreamHasher::addData(QByteArray &&chunk, qint64 length)
{
    enqueue(Chunk { std::move(chunk), 0, length, false, false });
}

void StreamHasher::addData(QByteArray &&chunk, qint64 offset, qint64 length, bool last)
{
    enqueue(Chunk { std::move(chunk), offset, length, last, true });
}

void StreamHasher::enqueue(Chunk &&chunk)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return queued < maxQueued; });
    queued += chunk.length;
    queue.push_back(std::move(chunk));
    changed.notify_all();
}

QByteArray StreamHasher::takeSpare()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (spares.empty())
        return QByteArray();
    QByteArray spare = std::move(spares.front());
    spares.pop_front();
    return spare;
}

void StreamHasher::setFilter(const Filter &newFilter)
{
    std::lock_guard<std::mutex> lock(mutex);
    filter = newFilter;
    heldBack.clear();
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
    heldBack.clear();
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
