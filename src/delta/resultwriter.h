#ifndef RESULTWRITER_H
#define RESULTWRITER_H

#include "crypto/streamhasher.h"
#include "delta/branchtransform.h"

#include <QByteArray>
#include <QString>

#include <memory>

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
    QByteArray sha256() { return hash.result(); }
    QString errorString() const { return error; }

private:
    void flush(bool last);
    QByteArray spareChunk();

    std::unique_ptr<BranchTransform> transform;
    QByteArray buffer;
    qint64 held = 0;
    qint64 total = 0;
    StreamHasher hash;
    QString error;
};

#endif // RESULTWRITER_H
