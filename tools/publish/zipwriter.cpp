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

void put64(QByteArray *out, quint64 v)
{
    put32(out, quint32(v));
    put32(out, quint32(v >> 32));
}

// 1980-01-01 00:00, the first DOS date: reproducible archives.
constexpr quint32 DosTime = 0;
constexpr quint32 DosDate = (0 << 9) | (1 << 5) | 1;
constexpr quint32 Utf8Names = 0x0800;
constexpr quint64 Max32 = 0xffffffffu;
constexpr qint64 ChunkSize = qint64(1) << 20;


} // namespace

quint32 unixModeOf(QFile::Permissions p)
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

ZipWriter::ZipWriter(QIODevice *device)
    : device(device)
{
}

bool ZipWriter::write(const QByteArray &bytes)
{
    if (device->write(bytes) != bytes.size()) {
        error = device->errorString();
        return false;
    }
    return true;
}

// The local header always carries a zip64 field with both sizes: its length
// is then known before the sizes are, and it is filled in afterwards.
QByteArray ZipWriter::localHeader(const Entry &entry) const
{
    QByteArray header;
    put32(&header, 0x04034b50);
    put16(&header, 45);
    put16(&header, Utf8Names);
    put16(&header, entry.method);
    put16(&header, DosTime);
    put16(&header, DosDate);
    put32(&header, entry.crc);
    put32(&header, quint32(Max32));
    put32(&header, quint32(Max32));
    put16(&header, quint32(entry.name.size()));
    put16(&header, 20);
    header += entry.name;
    put16(&header, 1);
    put16(&header, 16);
    put64(&header, entry.size);
    put64(&header, entry.compressedSize);
    return header;
}

bool ZipWriter::copy(QIODevice *source, Entry *entry, bool compress)
{
    z_stream stream {};
    if (compress && deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        error = QStringLiteral("cannot deflate: out of memory");
        return false;
    }
    QByteArray input(int(ChunkSize), Qt::Uninitialized);
    QByteArray output(int(ChunkSize), Qt::Uninitialized);
    uLong crc = crc32(0L, Z_NULL, 0);
    entry->size = 0;
    entry->compressedSize = 0;
    bool ok = true;
    for (bool last = false; ok && !last;) {
        const qint64 n = source->read(input.data(), input.size());
        if (n < 0) {
            error = source->errorString();
            ok = false;
            break;
        }
        last = n == 0;
        crc = crc32(crc, reinterpret_cast<const Bytef *>(input.constData()), uInt(n));
        entry->size += quint64(n);
        if (!compress) {
            ok = device->write(input.constData(), n) == n;
            entry->compressedSize += quint64(n);
            continue;
        }
        stream.next_in = reinterpret_cast<Bytef *>(input.data());
        stream.avail_in = uInt(n);
        do {
            stream.next_out = reinterpret_cast<Bytef *>(output.data());
            stream.avail_out = uInt(output.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            const qint64 produced = output.size() - qint64(stream.avail_out);
            ok = device->write(output.constData(), produced) == produced;
            entry->compressedSize += quint64(produced);
        } while (ok && stream.avail_out == 0);
    }
    if (compress)
        deflateEnd(&stream);
    if (!ok && error.isEmpty())
        error = device->errorString();
    entry->crc = quint32(crc);
    return ok;
}

bool ZipWriter::addFile(const QString &name, QIODevice *source, QFile::Permissions permissions, Method method)
{
    Entry entry;
    entry.name = name.toUtf8();
    entry.mode = unixModeOf(permissions);
    entry.offset = quint64(device->pos());
    entry.method = method == Stored ? 0 : 8;
    if (!write(localHeader(entry)))
        return false;
    const qint64 dataStart = device->pos();
    if (!copy(source, &entry, method != Stored))
        return false;
    // Deflate did not help (random data): store the bytes as they are.
    if (method != Stored && entry.compressedSize >= entry.size) {
        entry.method = 0;
        if (!source->seek(0) || !device->seek(dataStart) || !copy(source, &entry, false))
            return false;
        if (auto file = qobject_cast<QFileDevice *>(device))
            file->resize(device->pos());
    }
    const qint64 end = device->pos();
    if (!device->seek(qint64(entry.offset)) || !write(localHeader(entry)) || !device->seek(end))
        return false;
    entries.append(entry);
    return true;
}

qint64 ZipWriter::compressedSize(int index) const
{
    return qint64(entries.at(index).compressedSize);
}

bool ZipWriter::finish()
{
    const quint64 start = quint64(device->pos());
    QByteArray directory;
    for (const Entry &e : qAsConst(entries)) {
        const bool big = e.size >= Max32 || e.compressedSize >= Max32 || e.offset >= Max32;
        QByteArray extra;
        if (big) {
            put16(&extra, 1);
            put16(&extra, 24);
            put64(&extra, e.size);
            put64(&extra, e.compressedSize);
            put64(&extra, e.offset);
        }
        put32(&directory, 0x02014b50);
        put16(&directory, 0x031e); // made by Unix, zip 3.0: the mode below counts
        put16(&directory, 45);
        put16(&directory, Utf8Names);
        put16(&directory, e.method);
        put16(&directory, DosTime);
        put16(&directory, DosDate);
        put32(&directory, e.crc);
        put32(&directory, big ? quint32(Max32) : quint32(e.compressedSize));
        put32(&directory, big ? quint32(Max32) : quint32(e.size));
        put16(&directory, quint32(e.name.size()));
        put16(&directory, quint32(extra.size()));
        put16(&directory, 0);
        put16(&directory, 0);
        put16(&directory, 0);
        put32(&directory, e.mode << 16);
        put32(&directory, big ? quint32(Max32) : quint32(e.offset));
        directory += e.name + extra;
    }
    QByteArray end;
    const bool zip64 = entries.size() >= 0xffff || start >= Max32 || quint64(directory.size()) >= Max32;
    if (zip64) {
        const quint64 record = start + quint64(directory.size());
        put32(&end, 0x06064b50);
        put64(&end, 44);
        put16(&end, 45);
        put16(&end, 45);
        put32(&end, 0);
        put32(&end, 0);
        put64(&end, quint64(entries.size()));
        put64(&end, quint64(entries.size()));
        put64(&end, quint64(directory.size()));
        put64(&end, start);
        put32(&end, 0x07064b50);
        put32(&end, 0);
        put64(&end, record);
        put32(&end, 1);
    }
    put32(&end, 0x06054b50);
    put16(&end, 0);
    put16(&end, 0);
    put16(&end, zip64 ? 0xffff : quint32(entries.size()));
    put16(&end, zip64 ? 0xffff : quint32(entries.size()));
    put32(&end, zip64 ? quint32(Max32) : quint32(directory.size()));
    put32(&end, zip64 ? quint32(Max32) : quint32(start));
    put16(&end, 0);
    return write(directory) && write(end);
}
