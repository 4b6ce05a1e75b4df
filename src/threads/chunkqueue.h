#ifndef CHUNKQUEUE_H
#define CHUNKQUEUE_H

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>

/*!
    Chunks of bytes passed from one thread to another, in order, bounded in
    bytes: push() waits while the chunks pushed and not yet done hold its
    maximum, pop() while the queue is empty. Chunks the consumer is done with are counted, and their bytes kept
    (a few) for the producer to fill again: fresh memory costs a page fault a
    page. The one place where the tool's threads wait for each other.
*/
class ChunkQueue
{
public:
    struct Chunk
    {
        QByteArray bytes;
        qint64 offset = 0;  // where the bytes that count start
        qint64 length = 0;
        bool last = false;  // the last of its stream
        bool reuse = false; // kept as a spare once done
    };

    /*! At most \a maxQueued bytes wait; a push beyond waits for the consumer. */
    explicit ChunkQueue(qint64 maxQueued);

    /*! Adds \a chunk once there is room; false (nothing added) once stopped. */
    bool push(Chunk &&chunk);
    /*! Adds \a chunk at once, room or not: its bytes are held by the caller. */
    void pushWithoutWaiting(Chunk &&chunk);
    /*! No more chunks come: pop() gives what is queued, then false. */
    void close();
    /*! Takes the next chunk; false once closed and empty, or stopped. */
    bool pop(Chunk *chunk);
    /*! The consumer is through with \a chunk: counted as done, its bytes kept as a spare when it asked. */
    void done(Chunk &&chunk);
    /*! Wakes and ends every wait: push() and pop() return false until reopen(). */
    void stop();
    /*! Empties the queue, the count and the stop, for a new stream. */
    void reopen();

    /*! A chunk's bytes kept by done(); null when none is. */
    QByteArray takeSpare();
    /*! Tops the spares up to MaxSpares chunks of \a size bytes, made on the caller's thread. */
    void fillSpares(qint64 size);
    /*! Waits until \a bytes were done since the count was reset, or all that was pushed; how many were. */
    qint64 waitDone(qint64 bytes);
    /*! Waits until every chunk pushed is done. */
    void waitIdle();
    /*! Starts the count of bytes done again (call when idle). */
    void resetCount();

    static constexpr size_t MaxSpares = 4;

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> queue;
    std::deque<QByteArray> spares;
    const qint64 maxQueued;
    qint64 queued = 0;   // bytes pushed and not yet done
    int pending = 0;     // chunks pushed and not yet done
    qint64 doneBytes = 0;
    bool closed = false;
    bool stopped = false;
};

#endif // CHUNKQUEUE_H
