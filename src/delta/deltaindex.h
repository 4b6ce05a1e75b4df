#ifndef DELTAINDEX_H
#define DELTAINDEX_H

#include <QByteArray>
#include <QString>
#include <QVector>

/*!
    The index of a delta archive ("index.json" beside "files/<name>"): for
    every file of the update, how it is rebuilt, from which base, into what.
    Written by updater-publish, read back by the client as what it is: input
    from a stranger, checked in full before any file is touched.
*/
class DeltaIndex
{
public:
    struct File
    {
        QString name;           // relative path in the application's folder
        bool whole = false;     // true: the frames are made against nothing (a new file)
        qint64 baseSize = -1;   // the installed file it is made against
        QByteArray baseSha256;
        qint64 size = 0;        // the result
        QByteArray sha256;
        quint32 mode = 0;       // permission bits, 0 when none are known
        QVector<qint64> frames; // compressed size of each segment's frame, in order
    };

    static constexpr int Format = 1;
    static constexpr const char *IndexName = "index.json";
    static constexpr const char *FilesFolder = "files/";
    // Far beyond any real index; a larger one is refused before it is parsed.
    static constexpr qint64 MaxIndexSize = qint64(16) << 20;

    QVector<File> files;

    /*! The index as JSON. */
    QByteArray toJson() const;
    /*!
        Reads \a json into \a index; false with \a error for anything that is
        not a sound index: unknown format or segment size, names the archive
        rules refuse or that are one file on Windows, missing or malformed
        sizes and hashes, a frame count that does not fit the size.
    */
    static bool parse(const QByteArray &json, DeltaIndex *index, QString *error);
};

#endif // DELTAINDEX_H
