#ifndef STREAMHASHER_H
#define STREAMHASHER_H

#include "crypto/crypto.h"
#include "threads/chunkqueue.h"

#include <QByteArray>
#include <QString>

#include <thread>

class QIODevice;

/*!
    SHA-256 of a stream, computed on a thread of its own, so that a verified
    download hashes while the next bytes arrive instead of between them. At
    most a few chunks wait in its queue; adding blocks when it is full, which
    bounds the memory whatever the stream's size.
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
    void addData(const char *data, qint64 length);
    /*!
        Adds \a length bytes at \a data without a copy and without waiting: the
        caller holds them, unchanged, until the thread has hashed them.
    */
    void addHeldData(const char *data, qint64 length);
    /*! Adds the first \a length bytes of \a chunk, taken over without a copy. */
    void addData(QByteArray &&chunk, qint64 length);
    /*! Adds the first \a length bytes of the file \a path; false when it has fewer or cannot be read. */
    bool addFile(const QString &path, qint64 length);
    /*! Adds what \a device holds from where it stands, up to \a length bytes (-1: to its end); the bytes added, -1 on a read error. */
    qint64 addDevice(QIODevice *device, qint64 length = -1);
    /*! Waits until the thread has hashed at least \a bytes since reset(), or all it was given; how many it has. */
    qint64 waitHashed(qint64 bytes) { return queue.waitDone(bytes); }
    /*! The digest of everything added since reset(), once the thread has caught up. */
    QByteArray result();

private:
    void run();

    Crypto::Sha256 hash;
    ChunkQueue queue;
    std::thread worker;
};

#endif // STREAMHASHER_H
