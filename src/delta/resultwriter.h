#ifndef RESULTWRITER_H
#define RESULTWRITER_H

#include "crypto/crypto.h"
#include "delta/branchtransform.h"
#include "threads/chunkqueue.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <thread>

class QIODevice;

/*!
    Where a rebuilt file's bytes go, in order: through the branch transform
    when the file has one, into the file's hash and onto its device, in
    chunks of a fixed size whatever the caller gives. Transforming, writing and hashing
    run on a thread of their own while the next bytes are made.
*/
class ResultWriter
{
public:
    explicit ResultWriter(QIODevice *out);
    ~ResultWriter();

    /*! Transforms every byte in \a direction with \a machine over \a ranges before it is written. */
    void setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                      BranchTransform::Direction direction);
    void write(const char *data, qint64 size);
    /*! Room for the next bytes, up to \a wanted of them (\a room says how many); commit() them once written. */
    char *reserve(qint64 wanted, qint64 *room);
    void commit(qint64 size);
    /*! Writes \a size bytes of \a in from its start; false when it holds fewer. */
    bool writeFrom(QIODevice *in, qint64 size);
    /*! Writes what is held back and waits for the writes; false when any failed. */
    bool finish();

    qint64 written() const { return total; }
    QByteArray sha256();
    QString errorString() const { return error; }

private:
    void flush(bool last);
    QByteArray spareChunk();
    void run();
    const char *transformed(ChunkQueue::Chunk *chunk, qint64 *length);

    std::unique_ptr<BranchTransform> transform;
    QByteArray buffer;
    qint64 held = 0;
    qint64 total = 0;
    QString error;
    // The thread's: where the bytes go, what the transform held back of the last chunk, the hash
    // and the first write that failed. Read here only once the queue is idle.
    QIODevice *output;
    QByteArray heldBack;
    Crypto::Sha256 hash;
    QString failedWrite;
    ChunkQueue queue;
    std::thread worker;
};

#endif // RESULTWRITER_H
