#include "crypto/streamhasher.h"

#include <QFile>
#include <QIODevice>

// The bytes that may wait for the hash are the memory bound of a verified download.
StreamHasher::StreamHasher(qint64 maxQueued)
    : queue(maxQueued)
    , worker([this] { run(); })
{
}

StreamHasher::~StreamHasher()
{
    queue.close();
    worker.join();
}

void StreamHasher::run()
{
    ChunkQueue::Chunk chunk;
    while (queue.pop(&chunk)) {
        hash.addData(chunk.bytes.constData() + chunk.offset, chunk.length);
        queue.done(std::move(chunk));
    }
}

void StreamHasher::addData(const char *data, qint64 length)
{
    queue.push({ QByteArray(data, int(length)), 0, length, false, false });
}

void StreamHasher::addHeldData(const char *data, qint64 length)
{
    queue.pushWithoutWaiting({ QByteArray::fromRawData(data, int(length)), 0, length, false, false });
}

void StreamHasher::addData(QByteArray &&chunk, qint64 length)
{
    queue.push({ std::move(chunk), 0, length, false, false });
}

QByteArray StreamHasher::result()
{
    queue.waitIdle();
    return hash.result();
}

void StreamHasher::reset()
{
    queue.waitIdle();
    hash.reset();
    queue.resetCount();
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
