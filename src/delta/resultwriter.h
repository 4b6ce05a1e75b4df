#ifndef RESULTWRITER_H
#define RESULTWRITER_H

#include "crypto/crypto.h"
#include "delta/branchtransform.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QIODevice;

/*!
    Where a rebuilt file's bytes go, in order: through the branch transform
    when the file has one, into the file's hash and onto its device, in
    chunks of a fixed size whatever the caller gives.
*/
class ResultWriter
{
public:
    explicit ResultWriter(QIODevice *out);
    ~ResultWriter();

    /*! Transforms every byte in \a direction with \a machine over \a ranges before it is written. */
    void setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                      BranchTransform::Direction direction);
    bool write(const char *data, qint64 size);
    /*! Writes what is held back; false when any write failed. */
    bool finish();

    qint64 written() const { return total; }
    QByteArray sha256() { return hash.result(); }
    QString errorString() const { return error; }

private:
    bool flush(bool last);

    QIODevice *out;
    std::unique_ptr<BranchTransform> transform;
    QByteArray buffer;
    qint64 held = 0;
    qint64 total = 0;
    Crypto::Sha256 hash;
    QString error;
};

#endif // RESULTWRITER_H
