#ifndef DELTAREBUILD_H
#define DELTAREBUILD_H

#include "crypto/streamhasher.h"
#include "delta/deltaindex.h"
#include "delta/zstdframes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class InstallTransaction;
class QFile;
class QIODevice;
class ResultWriter;

/*!
    Rebuilds the files of an update from a delta archive and the installed
    files, into an install transaction's staging; nothing of the application
    is touched until the transaction commits.

    The archive's own size and SHA-256 are checked before the decoder reads a
    byte of it, every installed file's size and SHA-256 before it is used as a
    base, every frame's declared sizes and window and every stream's
    dictionary before it is decoded, every control value of approximate
    matches before it is used, and every result's size and SHA-256 before it
    is added. Memory stays bounded whatever the files' sizes: one base region
    and one segment for frames; for approximate matches the three streams'
    windows (8 MiB each at most) and a few chunks, the result written in
    order, and the base read by seeking or, up to 16 MiB, kept in memory from
    its check (the bytes hashed are the bytes used). Any failure leaves the
    staging for the transaction to discard: the caller falls back to the
    whole-file patch.
*/
class DeltaRebuild
{
public:
    enum Failure { NoFailure, BaseDiffers, Damaged, CannotWrite };

    explicit DeltaRebuild(const QString &archivePath);

    /*! What the downloaded archive must be; checked first by stageInto(). */
    void setExpected(qint64 size, const QByteArray &sha256);
    /*! The application's program file: made executable when it is new and the delta gives no mode. */
    void setProgramName(const QString &name) { programName = name; }
    bool stageInto(InstallTransaction *transaction);

    QStringList files() const { return filePaths; }
    /*! The bytes the rebuilt files hold together. */
    qint64 rebuiltBytes() const { return rebuilt; }
    Failure failure() const { return kind; }
    QString errorString() const { return error; }

private:
    bool fail(Failure failure, const QString &message);
    // The steps of stageInto(), in order.
    bool checkArchive(QFile *archive);
    bool readIndex(DeltaIndex *index, QVector<qint64> *dataOffsets);
    bool checkBases(const DeltaIndex &index, InstallTransaction *transaction);
    bool checkBase(const DeltaIndex::File &file, QFile *source, bool keep);
    bool rebuildFile(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, InstallTransaction *transaction,
                     bool kept);
    bool rebuildFrames(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QFile *source,
                       ResultWriter *writer);
    bool rebuildMatches(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QFile *source,
                        InstallTransaction *transaction, ResultWriter *writer);
    bool rebuildKept(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, ResultWriter *writer);
    bool applyMatches(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QIODevice *base,
                      const char *memory, ResultWriter *writer);

    QString archivePath;
    QString programName;
    ZstdFrames::Decoder decoder;
    StreamHasher baseHash;
    // One small base of approximate matches, kept from its check for its rebuild: the bytes
    // hashed are the bytes used, read once.
    QByteArray keptBase;
    int keptFile = -1;
    qint64 expectedSize = -1;
    QByteArray expectedSha256;
    QStringList filePaths;
    qint64 rebuilt = 0;
    Failure kind = NoFailure;
    QString error;
};

#endif // DELTAREBUILD_H
