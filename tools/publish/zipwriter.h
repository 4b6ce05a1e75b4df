#ifndef ZIPWRITER_H
#define ZIPWRITER_H

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

class QIODevice;

/*!
    Writes a zip archive the updater reads, streaming: each entry is deflated
    in bounded chunks straight into the archive (stored when deflate does not
    make it smaller), with UTF-8 names, the Unix permissions in the external
    attributes (so a program keeps its executable bit) and a fixed time stamp,
    so that the same input gives the same archive byte for byte. Entries and
    offsets beyond 4 GiB, and more than 65,535 entries, get zip64 records.
    The device must be seekable (the sizes are written back once known).
    Qt Core and zlib only.
*/
class ZipWriter
{
public:
    enum Method { Deflated, Stored };

    explicit ZipWriter(QIODevice *device);

    /*!
        Adds \a name with the contents of \a source, read to its end;
        deflated unless that does not help, or stored as asked (data that is
        compressed already, read by offset).
    */
    bool addFile(const QString &name, QIODevice *source, QFile::Permissions permissions, Method method = Deflated);
    /*! The bytes entry \a index (in the order added) takes in the archive. */
    qint64 compressedSize(int index) const;
    bool finish();
    QString errorString() const { return error; }

private:
    struct Entry
    {
        QByteArray name;
        quint32 crc = 0;
        quint64 compressedSize = 0;
        quint64 size = 0;
        quint16 method = 0;
        quint32 mode = 0;
        quint64 offset = 0;
    };
    bool write(const QByteArray &bytes);
    bool copy(QIODevice *source, Entry *entry, bool compress);
    QByteArray localHeader(const Entry &entry) const;

    QIODevice *device;
    QVector<Entry> entries;
    QString error;
};

/*! The Unix mode of a regular file with \a permissions, as a zip's external attributes carry it. */
quint32 unixModeOf(QFile::Permissions permissions);

#endif // ZIPWRITER_H
