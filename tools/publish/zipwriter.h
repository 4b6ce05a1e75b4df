#ifndef ZIPWRITER_H
#define ZIPWRITER_H

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QVector>

class QIODevice;

/*!
    Writes a zip archive the updater reads: deflated entries with UTF-8 names,
    the Unix permissions in the external attributes (so a program keeps its
    executable bit), and a fixed time stamp, so that the same input gives the
    same archive byte for byte. Qt Core and zlib only.
*/
class ZipWriter
{
public:
    explicit ZipWriter(QIODevice *device);

    bool addFile(const QString &name, const QByteArray &data, QFile::Permissions permissions);
    bool finish();
    QString errorString() const { return error; }

private:
    struct Entry
    {
        QByteArray name;
        quint32 crc = 0;
        quint32 compressedSize = 0;
        quint32 size = 0;
        quint16 method = 0;
        quint32 mode = 0;
        quint32 offset = 0;
    };
    bool write(const QByteArray &bytes);

    QIODevice *device;
    // The fields the local header and the central directory share, from
    // "version needed" to "extra field length".
    static void putCommonFields(QByteArray *out, const Entry &entry);

    QVector<Entry> entries;
    qint64 position = 0;
    QString error;
};

#endif // ZIPWRITER_H
