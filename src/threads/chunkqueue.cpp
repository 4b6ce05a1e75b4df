#include "threads/chunkqueue.h"

ChunkQueue::ChunkQueue(qint64 max)
    : maxQueued(max)
{
}

bool ChunkQueue::push(Chunk &&chunk)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return stopped || queued < maxQueued; });
    if (stopped)
        return false;
    queued += chunk.length;
    ++pending;
    queue.push_back(std::move(chunk));
    changed.notify_all();
    return true;
}

void ChunkQueue::pushWithoutWaiting(Chunk &&chunk)
{
    std::lock_guard<std::mutex> lock(mutex);
    queued += chunk.length;
    ++pending;
    queue.push_back(std::move(chunk));
    changed.notify_all();
}

void ChunkQueue::close()
{
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    changed.notify_all();
}

bool ChunkQueue::pop(Chunk *chunk)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return stopped || closed || !queue.empty(); });
    if (stopped || queue.empty())
        return false;
    *chunk = std::move(queue.front());
    queue.pop_front();
    return true;
}

void ChunkQueue::done(Chunk &&chunk)
{
    // Let go now, not when the caller's chunk is next filled: a waiting consumer would hold one more.
    QByteArray bytes = std::move(chunk.bytes);
    std::lock_guard<std::mutex> lock(mutex);
    if (chunk.reuse && bytes.isDetached() && spares.size() < MaxSpares)
        spares.push_back(std::move(bytes));
    --pending;
    queued -= chunk.length;
    doneBytes += chunk.length;
    changed.notify_all();
}

void ChunkQueue::stop()
{
    std::lock_guard<std::mutex> lock(mutex);
    stopped = true;
    changed.notify_all();
}

void ChunkQueue::reopen()
{
    std::lock_guard<std::mutex> lock(mutex);
    queue.clear();
    queued = 0;
    pending = 0;
    doneBytes = 0;
    closed = false;
    stopped = false;
}

QByteArray ChunkQueue::takeSpare()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (spares.empty())
        return QByteArray();
    QByteArray spare = std::move(spares.front());
    spares.pop_front();
    return spare;
}

void ChunkQueue::fillSpares(qint64 size)
{
    std::lock_guard<std::mutex> lock(mutex);
    while (spares.size() < MaxSpares)
        spares.emplace_back(int(size), Qt::Uninitialized);
}

qint64 ChunkQueue::waitDone(qint64 bytes)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this, bytes] { return doneBytes >= bytes || pending == 0; });
    return doneBytes;
}

void ChunkQueue::waitIdle()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return pending == 0; });
}

void ChunkQueue::resetCount()
{
    std::lock_guard<std::mutex> lock(mutex);
    doneBytes = 0;
}
