#ifndef DELTAWRITER_H
#define DELTAWRITER_H

#include "delta/deltaindex.h"

#include <QList>
#include <QVector>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QFile;
class QIODevice;
class QTemporaryFile;

/*!
    Writes a delta archive: the files of a patch, each made against an
    earlier release's copy in whichever way is smallest for that file:
    Zstandard patch-from frames (one per segment, the smaller of levels 19
    and 3, long-distance matching); approximate matches (per segment, three
    streams each compressed with LZMA2 or Zstandard, whichever is smaller);
    the same between branch-transformed files, for x86-64 and ARM64 programs;
    or whole when the file is new or no delta is clearly smaller than the
    file in the whole-file patch. The archive is a zip of stored entries, an
    index ("index.json") and the data of each file ("files/<name>"), that the
    client rebuilds in bounded memory.
*/
class DeltaWriter
{
public:
    struct File
    {
        QString name;            // the entry name, relative to the application's folder
        QString source;          // the new file
        qint64 wholeSize = 0;    // what it takes in the whole-file patch
    };

    enum Method {
        PatchFrom = 0x1,
        Matches = 0x2,
        TransformedMatches = 0x4, // programs only
        AllMethods = PatchFrom | Matches | TransformedMatches
    };
    Q_DECLARE_FLAGS(Methods, Method)

    /*! Deltas made before, by the hashes of the file and its base: none is made twice. */
    class Cache
    {
    public:
        virtual ~Cache() = default;
        /*! The delta of the file \a sha256 against \a baseSha256, when one was kept whole. */
        virtual bool findDelta(const QByteArray &baseSha256, const QByteArray &sha256, DeltaIndex::File *entry,
                               QByteArray *data) = 0;
        virtual void keepDelta(const DeltaIndex::File &entry, const QByteArray &data) = 0;
        virtual void dropDelta(const QByteArray &baseSha256, const QByteArray &sha256) = 0;
    };
    /*! Takes the delta of a file from \a cache when it holds one, and keeps there each it makes. */
    void setCache(Cache *cache) { deltaCache = cache; }

    /*! The compression levels tried for each segment, the smallest frame kept (default 19 and 3). */
    void setLevels(const QList<int> &list) { levels = list; }
    /*! The ways a file with a base may be made (default all); the smallest is kept. */
    void setMethods(Methods list) { methods = list; }

    /*! Writes the delta of \a files against \a baseDir (a release as installed) into \a out. */
    bool write(const QList<File> &files, const QString &baseDir, QIODevice *out);

    QString errorString() const { return error; }
    /*! One line per file: delta or whole, and its size. */
    QStringList report() const { return lines; }

private:
    bool fail(const QString &message);
    // The steps of write(): each file's entry and frames, then the archive.
    using Frames = std::vector<std::unique_ptr<QTemporaryFile>>;
    bool addFile(const File &file, const QString &baseDir, DeltaIndex *index, Frames *frames);
    bool makeSmallest(QFile *source, QFile *base, const DeltaIndex::File &entry, DeltaIndex::File *chosen,
                      std::unique_ptr<QTemporaryFile> *best, qint64 *total);
    bool makeFrames(QFile *source, QFile *base, const DeltaIndex::File &entry, QTemporaryFile *data,
                    QVector<qint64> *sizes, const QVector<qint64> *rivals = nullptr);
    bool makeMatches(QFile *source, QFile *base, const DeltaIndex::File &entry, QVector<DeltaIndex::File> *candidates,
                     std::vector<std::unique_ptr<QTemporaryFile>> *data);
    bool writeArchive(const DeltaIndex &index, const Frames &frames, QIODevice *out);

    Cache *deltaCache = nullptr;
    QList<int> levels = { 19, 3 };
    Methods methods = AllMethods;
    QString error;
    QStringList lines;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DeltaWriter::Methods)

#endif // DELTAWRITER_H
