#ifndef STREAMHASHER_H
#define STREAMHASHER_H

#include "crypto/crypto.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

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
    /*! Adds the first \a length bytes of the file \a path; false when it has fewer or cannot be read. */
    bool addFile(const QString &path, qint64 length);
    /*! Adds what \a device holds from where it stands, up to \a length bytes (-1: to its end); the bytes added, -1 on a read error. */
    qint64 addDevice(QIODevice *device, qint64 length = -1);
    /*! Waits until the thread has hashed at least \a bytes since reset(), or all it was given; how many it has. */
    qint64 waitHashed(qint64 bytes);
    /*! The digest of everything added since reset(), once the thread has caught up. */
    QByteArray result();

private:
    void run();

    Crypto::Sha256 hash;
    QIODevice *output = nullptr;
    QString failedWrite;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<QByteArray, qint64>> queue; // a chunk and how much of it counts
    const qint64 maxQueued;
    qint64 queued = 0;
    qint64 hashed = 0; // since reset()
    bool busy = false;
    bool stopping = false;
    std::thread worker;
};

#endif // STREAMHASHER_H
