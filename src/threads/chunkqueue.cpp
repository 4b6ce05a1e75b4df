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
    queued -= chunk->length;
    changed.notify_all();
    return true;
}

void ChunkQueue::done(Chunk &&chunk)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (chunk.reuse && chunk.bytes.isDetached() && spares.size() < MaxSpares)
        spares.push_back(std::move(chunk.bytes));
    --pending;
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

void ChunkQueue::addSpare(QByteArray &&bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    spares.push_back(std::move(bytes));
    changed.notify_all();
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
