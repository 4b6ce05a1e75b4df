#include "zipwriter.h"

#include <QIODevice>

#include <zlib.h>

namespace {

void put16(QByteArray *out, quint32 v)
{
    out->append(char(v & 0xff));
    out->append(char((v >> 8) & 0xff));
}

void put32(QByteArray *out, quint32 v)
{
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

// 1980-01-01 00:00, the first DOS date: reproducible archives.
constexpr quint32 DosTime = 0;
constexpr quint32 DosDate = (0 << 9) | (1 << 5) | 1;
constexpr quint32 Utf8Names = 0x0800;

quint32 unixMode(QFile::Permissions p)
{
    quint32 mode = 0100000; // regular file
    if (p & (QFile::ReadOwner | QFile::ReadUser)) mode |= 0400;
    if (p & (QFile::WriteOwner | QFile::WriteUser)) mode |= 0200;
    if (p & (QFile::ExeOwner | QFile::ExeUser)) mode |= 0100;
    if (p & QFile::ReadGroup) mode |= 040;
    if (p & QFile::WriteGroup) mode |= 020;
    if (p & QFile::ExeGroup) mode |= 010;
    if (p & QFile::ReadOther) mode |= 04;
    if (p & QFile::WriteOther) mode |= 02;
    if (p & QFile::ExeOther) mode |= 01;
    return mode;
}

bool deflateAll(const QByteArray &data, QByteArray *out)
{
    z_stream stream {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(int(deflateBound(&stream, uLong(data.size()))));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out->data());
    stream.avail_out = uInt(out->size());
    const int result = deflate(&stream, Z_FINISH);
    out->resize(int(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

} // namespace

ZipWriter::ZipWriter(QIODevice *device)
    : device(device)
{
}

void ZipWriter::putCommonFields(QByteArray *out, const Entry &entry)
{
    put16(out, 20);
    put16(out, Utf8Names);
    put16(out, entry.method);
    put16(out, DosTime);
    put16(out, DosDate);
    put32(out, entry.crc);
    put32(out, entry.compressedSize);
    put32(out, entry.size);
    put16(out, quint32(entry.name.size()));
    put16(out, 0);
}

bool ZipWriter::write(const QByteArray &bytes)
{
    if (device->write(bytes) != bytes.size()) {
        error = device->errorString();
        return false;
    }
    position += bytes.size();
    return true;
}

bool ZipWriter::addFile(const QString &name, const QByteArray &data, QFile::Permissions permissions)
{
    if (entries.size() >= 0xffff) {
        error = QStringLiteral("the archive would hold too many files");
        return false;
    }
    if (position + qint64(data.size()) * 2 > qint64(0xfffffff0)) {
        error = QStringLiteral("the archive would exceed 4 GB");
        return false;
    }
    Entry entry;
    entry.name = name.toUtf8();
    entry.size = quint32(data.size());
    entry.crc = quint32(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()),
                              uInt(data.size())));
    entry.mode = unixMode(permissions);
    entry.offset = quint32(position);
    QByteArray body;
    if (!data.isEmpty() && deflateAll(data, &body) && body.size() < data.size()) {
        entry.method = 8;
    } else {
        entry.method = 0;
        body = data;
    }
    entry.compressedSize = quint32(body.size());

    QByteArray header;
    put32(&header, 0x04034b50);
    putCommonFields(&header, entry);
    header += entry.name;
    if (!write(header) || !write(body))
        return false;
    entries.append(entry);
    return true;
}

bool ZipWriter::finish()
{
    const quint32 start = quint32(position);
    QByteArray directory;
    for (const Entry &e : qAsConst(entries)) {
        put32(&directory, 0x02014b50);
        put16(&directory, 0x031e); // made by Unix, zip 3.0: the mode below counts
        putCommonFields(&directory, e);
        put16(&directory, 0);
        put16(&directory, 0);
        put16(&directory, 0);
        put32(&directory, e.mode << 16);
        put32(&directory, e.offset);
        directory += e.name;
    }
    QByteArray end;
    put32(&end, 0x06054b50);
    put16(&end, 0);
    put16(&end, 0);
    put16(&end, quint32(entries.size()));
    put16(&end, quint32(entries.size()));
    put32(&end, quint32(directory.size()));
    put32(&end, start);
    put16(&end, 0);
    return write(directory) && write(end);
}
