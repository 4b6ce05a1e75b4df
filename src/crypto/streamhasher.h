#ifndef STREAMHASHER_H
#define STREAMHASHER_H

#include "crypto/crypto.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

/*!
    SHA-256 of a stream, computed on a thread of its own, so that a verified
    download hashes while the next bytes arrive instead of between them. At
    most a few chunks wait in its queue; add() blocks when it is full, which
    bounds the memory whatever the stream's size.
*/
class StreamHasher
{
public:
    StreamHasher();
    ~StreamHasher();
    StreamHasher(const StreamHasher &) = delete;
    StreamHasher &operator=(const StreamHasher &) = delete;

    /*! Starts a new stream. */
    void reset();
    void addData(const char *data, qint64 length);
    /*! Adds the first \a length bytes of the file \a path; false when it has fewer or cannot be read. */
    bool addFile(const QString &path, qint64 length);
    /*! The digest of everything added since reset(), once the thread has caught up. */
    QByteArray result();

private:
    void run();

    Crypto::Sha256 hash;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> queue;
    qint64 queued = 0;
    bool busy = false;
    bool stopping = false;
    std::thread worker;
};

#endif // STREAMHASHER_H
