#ifndef STREAMHASHER_H
#define STREAMHASHER_H

#include "crypto/crypto.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class QIODevice;

/*!
    SHA-256 of a stream, computed on a thread of its own, so that a verified
    download hashes while the next bytes arrive instead of between them. At
    most a few chunks wait in its queue; add() blocks when it is full, which
    bounds the memory whatever the stream's size.

    Given a device, the thread also writes every chunk to it, in order,
    before hashing it: the caller makes the next bytes meanwhile.
*/
class StreamHasher
{
public:
    /*! At most \a maxQueued bytes wait for the thread. */
    explicit StreamHasher(qint64 maxQueued = qint64(8) << 20);
    ~StreamHasher();
    StreamHasher(const StreamHasher &) = delete;
    StreamHasher &operator=(const StreamHasher &) = delete;

    /*! Starts a new stream. */
    void reset();
    /*! Writes every chunk added from now on to \a device (not owned), on the thread. */
    void setOutput(QIODevice *device) { output = device; }
    /*!
        Changes the bytes in place on the thread before they are written and
        hashed: \a filter is given each chunk, led by what it held back of the
        last one, and says how many of its leading bytes are final; the others
        lead the next. Set before any data is added.
    */
    using Filter = std::function<qint64(char *data, qint64 size, bool last)>;
    void setFilter(const Filter &filter);
    /*! Why a write to the output failed, once the thread has caught up; empty when none did. */
    QString writeError();
    void addData(const char *data, qint64 length);
    /*!
        Adds \a length bytes at \a data without a copy and without waiting: the
        caller holds them, unchanged, until the thread has hashed them.
    */
    void addHeldData(const char *data, qint64 length);
    /*! Adds the first \a length bytes of \a chunk, taken over without a copy. */
    void addData(QByteArray &&chunk, qint64 length);
    /*!
        Adds the \a length bytes at \a offset of \a chunk, taken over without a
        copy and handed back by takeSpare() once done; the bytes before them
        are room for what a filter held back. With \a last, the filter's final
        chunk.
    */
    void addData(QByteArray &&chunk, qint64 offset, qint64 length, bool last);
    /*! Adds the first \a length bytes of the file \a path; false when it has fewer or cannot be read. */
    bool addFile(const QString &path, qint64 length);
    /*! Adds what \a device holds from where it stands, up to \a length bytes (-1: to its end); the bytes added, -1 on a read error. */
    qint64 addDevice(QIODevice *device, qint64 length = -1);
    /*! A chunk given to be handed back that the thread is done with, to fill again; null when none is. */
    QByteArray takeSpare();
    /*! Waits until the thread has hashed at least \a bytes since reset(), or all it was given; how many it has. */
    qint64 waitHashed(qint64 bytes);
    /*! The digest of everything added since reset(), once the thread has caught up. */
    QByteArray result();

private:
    struct Chunk
    {
        QByteArray bytes;
        qint64 offset = 0; // where the bytes that count start
        qint64 length = 0;
        bool last = false;
        bool reuse = false; // handed back by takeSpare() once done
    };

    void enqueue(Chunk &&chunk);
    void run();
    const char *filtered(Chunk *chunk, qint64 *length);

    Crypto::Sha256 hash;
    QIODevice *output = nullptr;
    QString failedWrite;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Chunk> queue;
    Filter filter;
    static constexpr size_t MaxSpares = 4;
    std::deque<QByteArray> spares;
    QByteArray heldBack; // by the filter, for the next chunk
    const qint64 maxQueued;
    qint64 queued = 0;
    qint64 hashed = 0; // since reset()
    bool busy = false;
    bool stopping = false;
    std::thread worker;
};

#endif // STREAMHASHER_H
