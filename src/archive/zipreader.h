#ifndef ZIPREADER_H
#define ZIPREADER_H

#include <QFile>
#include <QString>
#include <QVector>

class QIODevice;

/*!
    Reads a zip archive that came from the network, streaming, in bounded memory.

    open() parses the end records (zip64 included), the central directory and
    every local header, and refuses what cannot be a sound archive: entries
    whose data overlap each other or the directory, local headers that disagree
    with the directory, sizes that deflate cannot produce, links, encryption,
    methods other than stored and deflate, unsafe or duplicate names. It reads
    no entry's data. extract() then inflates one entry in chunks into a device,
    stopping the moment the output passes the declared size, and checks size
    and CRC-32 at the end. Time is linear in the number of entries.
*/
class ZipReader
{
public:
    struct Entry
    {
        QString name;          // decoded, without a trailing '/'
        bool isDir = false;
        quint32 mode = 0;      // sanitised permission bits, 0 when the archive gives none
        quint16 method = 0;
        quint32 crc = 0;
        qint64 compressedSize = 0;
        qint64 size = 0;
        qint64 headerOffset = 0;
        qint64 dataOffset = 0;
        QByteArray rawName;    // as stored, to compare with the local header
    };

    // Entries larger than this are refused; memory does not grow with the size.
    static constexpr qint64 MaxEntrySize = qint64(8) << 30;
    static constexpr int MaxEntries = 1 << 20;

    explicit ZipReader(const QString &fileName);

    bool open();
    const QVector<Entry> &entries() const { return list; }
    /*! Writes the data of entry \a index into \a out; false when it is damaged or \a out fails. */
    bool extract(int index, QIODevice *out);
    QString errorString() const { return error; }

private:
    bool fail(const QString &message);
    bool readEnd(qint64 *directoryOffset, qint64 *directorySize, qint64 *count);
    bool readDirectory(qint64 offset, qint64 size, qint64 count);
    bool readLocalHeaders(qint64 directoryOffset);

    QFile file;
    QVector<Entry> list;
    QString error;
};

/*! Decodes a name stored without the UTF-8 flag: code page 437, as zip defines it. */
QString decodeCp437(const QByteArray &raw);

#endif // ZIPREADER_H
