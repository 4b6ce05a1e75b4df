#include "archive/zipreader.h"

#include "names/namerules.h"
#include "names/nameset.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <memory>

#include <zlib.h>

namespace {

constexpr quint32 EndSignature = 0x06054b50;
constexpr quint32 Zip64EndSignature = 0x06064b50;
constexpr quint32 Zip64LocatorSignature = 0x07064b50;
constexpr quint32 CentralSignature = 0x02014b50;
constexpr quint32 LocalSignature = 0x04034b50;

constexpr quint32 FlagEncrypted = 0x0001;
constexpr quint32 FlagDataDescriptor = 0x0008;
constexpr quint32 FlagStrongEncryption = 0x0040;
constexpr quint32 FlagUtf8 = 0x0800;

constexpr quint32 SystemUnix = 3;
// Deflate cannot expand data by more than about 1032:1; a larger claim is a bomb.
constexpr qint64 MaxDeflateRatio = 1032;
// The directory is the one part held in memory; no honest patch comes near this.
constexpr qint64 MaxDirectorySize = qint64(64) << 20;
constexpr qint64 ChunkSize = qint64(1) << 20;

quint32 le16(const uchar *p) { return quint32(p[0]) | quint32(p[1]) << 8; }
quint32 le32(const uchar *p) { return le16(p) | le16(p + 2) << 16; }
quint64 le64(const uchar *p) { return quint64(le32(p)) | quint64(le32(p + 4)) << 32; }

// Code page 437, 0x80 to 0xff: what zip names mean without the UTF-8 flag.
const char16_t Cp437High[128] = {
    0x00c7, 0x00fc, 0x00e9, 0x00e2, 0x00e4, 0x00e0, 0x00e5, 0x00e7, 0x00ea, 0x00eb, 0x00e8, 0x00ef,
    0x00ee, 0x00ec, 0x00c4, 0x00c5, 0x00c9, 0x00e6, 0x00c6, 0x00f4, 0x00f6, 0x00f2, 0x00fb, 0x00f9,
    0x00ff, 0x00d6, 0x00dc, 0x00a2, 0x00a3, 0x00a5, 0x20a7, 0x0192, 0x00e1, 0x00ed, 0x00f3, 0x00fa,
    0x00f1, 0x00d1, 0x00aa, 0x00ba, 0x00bf, 0x2310, 0x00ac, 0x00bd, 0x00bc, 0x00a1, 0x00ab, 0x00bb,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255d, 0x255c, 0x255b, 0x2510, 0x2514, 0x2534, 0x252c, 0x251c, 0x2500, 0x253c, 0x255e, 0x255f,
    0x255a, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256c, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256b, 0x256a, 0x2518, 0x250c, 0x2588, 0x2584, 0x258c, 0x2590, 0x2580,
    0x03b1, 0x00df, 0x0393, 0x03c0, 0x03a3, 0x03c3, 0x00b5, 0x03c4, 0x03a6, 0x0398, 0x03a9, 0x03b4,
    0x221e, 0x03c6, 0x03b5, 0x2229, 0x2261, 0x00b1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00f7, 0x2248,
    0x00b0, 0x2219, 0x00b7, 0x221a, 0x207f, 0x00b2, 0x25a0, 0x00a0,
};

uint crcOf(const QByteArray &data)
{
    return uint(crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

// One central directory record, before its name is decided.
struct RawRecord
{
    QByteArray rawName;
    quint32 flags = 0;
    quint32 madeBy = 0;
    quint32 externalAttributes = 0;
};

// Fills the zip64 values of a record from its extra fields, and the Info-ZIP
// Unicode path when its CRC matches the stored name.
bool readExtra(const uchar *p, quint32 length, const QByteArray &rawName, qint64 *size,
               qint64 *compressedSize, qint64 *offset, bool needSize, bool needCompressed,
               bool needOffset, QString *unicodeName)
{
    quint32 at = 0;
    while (at + 4 <= length) {
        const quint32 id = le16(p + at);
        const quint32 fieldLength = le16(p + at + 2);
        if (at + 4 + fieldLength > length)
            return false;
        const uchar *field = p + at + 4;
        if (id == 0x0001) {
            quint32 used = 0;
            auto take = [&](qint64 *value, bool wanted) {
                if (!wanted)
                    return true;
                if (used + 8 > fieldLength)
                    return false;
                const quint64 v = le64(field + used);
                if (v > quint64(std::numeric_limits<qint64>::max()))
                    return false;
                *value = qint64(v);
                used += 8;
                return true;
            };
            if (!take(size, needSize) || !take(compressedSize, needCompressed) || !take(offset, needOffset))
                return false;
            needSize = needCompressed = needOffset = false;
        } else if (id == 0x7075 && unicodeName && fieldLength >= 5 && field[0] == 1
                   && le32(field + 1) == crcOf(rawName)) {
            *unicodeName = QString::fromUtf8(reinterpret_cast<const char *>(field + 5), int(fieldLength - 5));
        }
        at += 4 + fieldLength;
    }
    // A saturated 32-bit value without its zip64 replacement cannot be read.
    return !needSize && !needCompressed && !needOffset;
}

} // namespace

QString decodeCp437(const QByteArray &raw)
{
    QString name;
    name.reserve(raw.size());
    for (const char c : raw) {
        const uchar u = uchar(c);
        name.append(u < 0x80 ? QChar(u) : QChar(Cp437High[u - 0x80]));
    }
    return name;
}

ZipReader::ZipReader(const QString &fileName)
    : file(fileName)
{
}

bool ZipReader::fail(const QString &message)
{
    error = message;
    list.clear();
    return false;
}

bool ZipReader::open()
{
    error.clear();
    list.clear();
    if (!file.isOpen() && !file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(file.fileName(), file.errorString()));
    qint64 directoryOffset = 0;
    qint64 directorySize = 0;
    qint64 count = 0;
    if (!readEnd(&directoryOffset, &directorySize, &count))
        return false;
    if (!readDirectory(directoryOffset, directorySize, count))
        return false;
    return readLocalHeaders(directoryOffset);
}

bool ZipReader::readEnd(qint64 *directoryOffset, qint64 *directorySize, qint64 *count)
{
    const QString unreadable = QStringLiteral("%1 is not a readable zip archive").arg(file.fileName());
    const qint64 size = file.size();
    const qint64 tail = qMin<qint64>(size, 65535 + 22);
    if (tail < 22 || !file.seek(size - tail))
        return fail(unreadable);
    const QByteArray end = file.read(tail);
    if (end.size() != tail)
        return fail(unreadable);
    const uchar *data = reinterpret_cast<const uchar *>(end.constData());
    // The last end record is the one; it and its comment must end the file.
    // Anything else lets two readers see two different archives.
    int at = -1;
    for (int i = int(tail) - 22; i >= 0 && at < 0; --i) {
        if (le32(data + i) == EndSignature)
            at = i;
    }
    if (at < 0)
        return fail(unreadable);
    const QString ambiguous = QStringLiteral("%1 is ambiguous: other zip readers would see other entries (%2)")
            .arg(file.fileName());
    if (at + 22 + int(le16(data + at + 20)) != int(tail))
        return fail(ambiguous.arg(QStringLiteral("its end record does not end the file")));
    for (int i = at - 1; i >= 0; --i) {
        if (le32(data + i) == EndSignature && i + 22 <= int(tail) && i + 22 + int(le16(data + i + 20)) == int(tail))
            return fail(ambiguous.arg(QStringLiteral("a second end record")));
    }
    const uchar *e = data + at;
    const qint64 endOffset = size - tail + at;
    quint64 disk = le16(e + 4);
    quint64 directoryDisk = le16(e + 6);
    quint64 entriesHere = le16(e + 8);
    quint64 entries = le16(e + 10);
    quint64 length = le32(e + 12);
    quint64 offset = le32(e + 16);
    // Where the directory must end: right before the (zip64) end records.
    quint64 directoryEnd = quint64(endOffset);

    // The zip64 end record, found through its locator just before the end record.
    if (endOffset >= 20 && file.seek(endOffset - 20)) {
        const QByteArray locator = file.read(20);
        const uchar *l = reinterpret_cast<const uchar *>(locator.constData());
        if (locator.size() == 20 && le32(l) == Zip64LocatorSignature) {
            const quint64 recordOffset = le64(l + 8);
            if (recordOffset > quint64(endOffset - 20) || !file.seek(qint64(recordOffset)))
                return fail(unreadable);
            const QByteArray record = file.read(56);
            const uchar *r = reinterpret_cast<const uchar *>(record.constData());
            if (record.size() != 56 || le32(r) != Zip64EndSignature)
                return fail(unreadable);
            if (recordOffset + 12 + le64(r + 4) != quint64(endOffset - 20))
                return fail(ambiguous.arg(QStringLiteral("bytes between its end records")));
            disk = le32(r + 16);
            directoryDisk = le32(r + 20);
            entriesHere = le64(r + 24);
            entries = le64(r + 32);
            length = le64(r + 40);
            offset = le64(r + 48);
            directoryEnd = recordOffset;
        }
    }
    if (disk != 0 || directoryDisk != 0 || entriesHere != entries)
        return fail(QStringLiteral("%1 spans several disks").arg(file.fileName()));
    if (offset > directoryEnd || offset + length > directoryEnd)
        return fail(unreadable);
    if (offset + length != directoryEnd)
        return fail(ambiguous.arg(QStringLiteral("bytes between its directory and its end record")));
    if (entries > quint64(MaxEntries))
        return fail(QStringLiteral("%1 holds more than %2 entries").arg(file.fileName()).arg(MaxEntries));
    if (length > quint64(MaxDirectorySize) || offset + length > quint64(size))
        return fail(unreadable);
    *directoryOffset = qint64(offset);
    *directorySize = qint64(length);
    *count = qint64(entries);
    return true;
}

namespace {

// Reads the central-directory record at \a r (\a left bytes of the directory
// from there on); false when it is damaged. \a length is the record's size.
bool readRecord(const uchar *r, qint64 left, RawRecord *raw, ZipReader::Entry *entry, QString *unicodeName,
                qint64 *length)
{
    if (left < 46 || le32(r) != CentralSignature)
        return false;
    const quint32 nameLength = le16(r + 28);
    const quint32 extraLength = le16(r + 30);
    const quint32 commentLength = le16(r + 32);
    *length = 46 + qint64(nameLength) + extraLength + commentLength;
    if (*length > left)
        return false;
    raw->madeBy = le16(r + 4);
    raw->flags = le16(r + 8);
    raw->externalAttributes = le32(r + 38);
    raw->rawName = QByteArray(reinterpret_cast<const char *>(r + 46), int(nameLength));
    entry->method = quint16(le16(r + 10));
    entry->crc = le32(r + 16);
    entry->compressedSize = le32(r + 20);
    entry->size = le32(r + 24);
    entry->headerOffset = le32(r + 42);
    return readExtra(r + 46 + nameLength, extraLength, raw->rawName, &entry->size, &entry->compressedSize,
                     &entry->headerOffset, le32(r + 24) == 0xffffffff, le32(r + 20) == 0xffffffff,
                     le32(r + 42) == 0xffffffff, unicodeName);
}

// The name as the archive means it: flagged UTF-8, an Info-ZIP Unicode path,
// unflagged UTF-8 from Info-ZIP's zip on Unix (its unzip reads it back so), or code page 437.
QString decodedName(const RawRecord &raw, const QString &unicodeName)
{
    if (raw.flags & FlagUtf8)
        return QString::fromUtf8(raw.rawName);
    if (!unicodeName.isEmpty())
        return unicodeName;
    const QString utf8 = QString::fromUtf8(raw.rawName);
    return (raw.madeBy >> 8) == SystemUnix && utf8.toUtf8() == raw.rawName ? utf8 : decodeCp437(raw.rawName);
}

// Why the entry named \a name cannot be unpacked, or an empty string; fills
// in its name, kind and mode.
QString entryProblem(const RawRecord &raw, QString name, qint64 archiveSize, ZipReader::Entry *entry)
{
    const QString reason = unsafeEntryReason(name);
    if (!reason.isEmpty())
        return reason;
    if (raw.flags & (FlagEncrypted | FlagStrongEncryption))
        return QStringLiteral("entry \"%1\" is encrypted").arg(name);
    if (entry->method != 0 && entry->method != 8)
        return QStringLiteral("entry \"%1\" uses an unsupported compression").arg(name);
    // The Unix mode counts only when the archive says it was made on Unix.
    if ((raw.madeBy >> 8) == SystemUnix) {
        const quint32 mode = raw.externalAttributes >> 16;
        const quint32 type = mode & 0170000;
        if (type == 0120000)
            return QStringLiteral("entry \"%1\" is a link").arg(name);
        if (type != 0 && type != 0100000 && type != 040000)
            return QStringLiteral("entry \"%1\" is neither a file nor a folder").arg(name);
        if (type == 040000 && !name.endsWith(QLatin1Char('/')))
            name += QLatin1Char('/');
        // Executable bits stay; set-ID, sticky and world-writable bits never apply.
        entry->mode = mode & 0775;
    }
    entry->isDir = name.endsWith(QLatin1Char('/'));
    if (entry->isDir)
        name.chop(1);
    entry->name = name;
    entry->rawName = raw.rawName;
    if (entry->compressedSize > archiveSize || (entry->method == 0 && entry->compressedSize != entry->size)
        || entry->size > entry->compressedSize * MaxDeflateRatio + 1024)
        return QStringLiteral("entry \"%1\" claims an impossible size").arg(name);
    if (entry->isDir && entry->size != 0)
        return QStringLiteral("folder entry \"%1\" holds data").arg(name);
    if (entry->size > ZipReader::MaxEntrySize)
        return QStringLiteral("entry \"%1\" is too large to unpack (more than %2 GiB)")
                .arg(name).arg(ZipReader::MaxEntrySize >> 30);
    return QString();
}

} // namespace

bool ZipReader::readDirectory(qint64 offset, qint64 size, qint64 count)
{
    const QString unreadable = QStringLiteral("%1 has an unreadable directory").arg(file.fileName());
    if (!file.seek(offset))
        return fail(unreadable);
    const QByteArray directory = file.read(size);
    if (directory.size() != size)
        return fail(unreadable);
    const uchar *p = reinterpret_cast<const uchar *>(directory.constData());
    list.reserve(int(count));
    NameSet names;
    qint64 at = 0;
    for (qint64 i = 0; i < count; ++i) {
        RawRecord raw;
        Entry entry;
        QString unicodeName;
        qint64 length = 0;
        if (!readRecord(p + at, size - at, &raw, &entry, &unicodeName, &length))
            return fail(unreadable);
        at += length;
        QString problem = entryProblem(raw, decodedName(raw, unicodeName), file.size(), &entry);
        if (problem.isEmpty())
            problem = names.add(entry.name, entry.isDir);
        if (!problem.isEmpty())
            return fail(problem);
        list.append(entry);
    }
    if (at != size)
        return fail(QStringLiteral("%1 is ambiguous: other zip readers would see other entries "
                                   "(its directory holds more than its end record counts)").arg(file.fileName()));
    // A file cannot also be the folder of another entry, on Windows either.
    const QString clash = names.fileFolderClash();
    return clash.isEmpty() || fail(clash);
}

bool ZipReader::readLocalHeaders(qint64 directoryOffset)
{
    const qint64 archiveSize = file.size();
    for (Entry &entry : list) {
        const QString damaged = QStringLiteral("entry \"%1\" is damaged or cannot be read").arg(entry.name);
        if (entry.headerOffset + 30 > directoryOffset || !file.seek(entry.headerOffset))
            return fail(damaged);
        const QByteArray header = file.read(30);
        const uchar *h = reinterpret_cast<const uchar *>(header.constData());
        if (header.size() != 30 || le32(h) != LocalSignature)
            return fail(damaged);
        const quint32 nameLength = le16(h + 26);
        const quint32 extraLength = le16(h + 28);
        const QByteArray rest = file.read(nameLength + extraLength);
        if (rest.size() != int(nameLength + extraLength))
            return fail(damaged);
        const QString disagrees =
                QStringLiteral("entry \"%1\": its local header disagrees with the directory").arg(entry.name);
        if (le16(h + 8) != entry.method)
            return fail(disagrees);
        const QByteArray localName = rest.left(int(nameLength));
        if (localName != entry.rawName)
            return fail(disagrees);
        if (!(le16(h + 6) & FlagDataDescriptor)) {
            qint64 size = le32(h + 22);
            qint64 compressedSize = le32(h + 18);
            if (!readExtra(reinterpret_cast<const uchar *>(rest.constData()) + nameLength, extraLength, localName,
                           &size, &compressedSize, nullptr, size == 0xffffffff, compressedSize == 0xffffffff,
                           false, nullptr)
                || size != entry.size || compressedSize != entry.compressedSize || le32(h + 14) != entry.crc)
                return fail(disagrees);
        }
        entry.dataOffset = entry.headerOffset + 30 + nameLength + extraLength;
        if (entry.dataOffset + entry.compressedSize > qMin(directoryOffset, archiveSize))
            return fail(damaged);
    }

    // No two entries may share bytes: the shape of the overlapping zip bomb.
    QVector<int> order(list.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [this](int a, int b) { return list.at(a).headerOffset < list.at(b).headerOffset; });
    for (int i = 1; i < order.size(); ++i) {
        const Entry &previous = list.at(order.at(i - 1));
        if (previous.dataOffset + previous.compressedSize > list.at(order.at(i)).headerOffset)
            return fail(QStringLiteral("entries \"%1\" and \"%2\" overlap")
                            .arg(previous.name, list.at(order.at(i)).name));
    }
    return true;
}

namespace {

// Where an entry's bytes go: counted against its declared size, summed into
// its CRC and written to the device (none: only checked).
class EntrySink
{
public:
    EntrySink(const ZipReader::Entry &entry, QIODevice *out) : entry(entry), out(out) {}

    bool take(const char *data, qint64 n)
    {
        produced += n;
        if (produced > entry.size) {
            error = QStringLiteral("entry \"%1\" inflates beyond its declared %2 bytes").arg(entry.name).arg(entry.size);
            return false;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), uInt(n));
        // A short write carries no reason; the next one fails with it (a full disk says so).
        for (qint64 done = 0; out && done < n;) {
            const qint64 w = out->write(data + done, n - done);
            if (w <= 0) {
                error = QStringLiteral("cannot write %1: %2").arg(entry.name, out->errorString());
                return false;
            }
            done += w;
        }
        return true;
    }
    bool complete() const { return produced == entry.size && uint(crc) == entry.crc; }

    QString error; // empty unless take() failed
private:
    const ZipReader::Entry &entry;
    QIODevice *out;
    qint64 produced = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
};

// A raw deflate stream, inflated in bounded chunks into a sink.
class Inflater
{
public:
    Inflater() : output(int(ChunkSize), Qt::Uninitialized) { ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK; }
    ~Inflater()
    {
        if (ready)
            inflateEnd(&stream);
    }
    bool isReady() const { return ready; }
    bool hasEnded() const { return ended; }

    // Inflates \a input; false when the stream is damaged or the sink refuses.
    bool feed(QByteArray *input, qint64 length, EntrySink *sink)
    {
        stream.next_in = reinterpret_cast<Bytef *>(input->data());
        stream.avail_in = uInt(length);
        while (stream.avail_in > 0 && !ended) {
            qint64 produced = 0;
            const int result = step(Z_NO_FLUSH, sink, &produced);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return false;
            if (result == Z_BUF_ERROR && produced == 0)
                break; // needs more input
        }
        return true;
    }
    // The last input may leave output inside the inflater.
    bool drain(EntrySink *sink)
    {
        while (!ended) {
            qint64 produced = 0;
            const int result = step(Z_FINISH, sink, &produced);
            if (result == Z_ERRNO) // the sink refused
                return false;
            if (!ended && produced == 0)
                break;
        }
        return true;
    }

private:
    // One inflate() into the sink; Z_ERRNO when the sink refuses the bytes.
    int step(int flush, EntrySink *sink, qint64 *produced)
    {
        stream.next_out = reinterpret_cast<Bytef *>(output.data());
        stream.avail_out = uInt(output.size());
        const int result = inflate(&stream, flush);
        *produced = output.size() - qint64(stream.avail_out);
        if (*produced > 0 && !sink->take(output.constData(), *produced))
            return Z_ERRNO;
        ended = result == Z_STREAM_END;
        return result;
    }

    z_stream stream {};
    QByteArray output;
    bool ready = false;
    bool ended = false;
};

} // namespace

bool ZipReader::extract(int index, QIODevice *out)
{
    const Entry &entry = list.at(index);
    const QString damaged = QStringLiteral("entry \"%1\" is damaged or cannot be read").arg(entry.name);
    if (!file.seek(entry.dataOffset)) {
        error = damaged;
        return false;
    }
    const bool deflated = entry.method == 8;
    std::unique_ptr<Inflater> inflater(deflated ? new Inflater : nullptr);
    if (deflated && !inflater->isReady()) {
        error = QStringLiteral("cannot inflate: out of memory");
        return false;
    }
    EntrySink sink(entry, out);
    QByteArray input(int(ChunkSize), Qt::Uninitialized);
    bool ok = true;
    for (qint64 left = entry.compressedSize; ok && left > 0 && !(deflated && inflater->hasEnded());) {
        const qint64 got = file.read(input.data(), qMin(left, ChunkSize));
        if (got != qMin(left, ChunkSize)) {
            ok = false;
            break;
        }
        left -= got;
        ok = deflated ? inflater->feed(&input, got, &sink) : sink.take(input.constData(), got);
    }
    if (ok && deflated)
        ok = inflater->drain(&sink);
    if (!sink.error.isEmpty()) {
        error = sink.error;
        return false;
    }
    if (!ok || (deflated && !inflater->hasEnded()) || !sink.complete()) {
        error = damaged;
        return false;
    }
    return true;
}
