#include "delta/deltaindex.h"

#include "archive/zipreader.h"
#include "delta/lzmacodec.h"
#include "delta/zstdframes.h"
#include "names/namerules.h"
#include "names/nameset.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

// A JSON number that is a whole count of bytes a client could handle.
bool readSize(const QJsonValue &value, qint64 maximum, qint64 *size)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (d < 0 || d > double(maximum) || d != double(qint64(d)))
        return false;
    *size = qint64(d);
    return true;
}

bool readSha256(const QJsonValue &value, QByteArray *sha256)
{
    const QString text = value.toString();
    if (text.size() != 64)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    *sha256 = QByteArray::fromHex(text.toLatin1());
    return true;
}

bool failWith(QString *why, const QString &message)
{
    *why = message;
    return false;
}

const char *kindName(DeltaIndex::Kind kind)
{
    return kind == DeltaIndex::Whole ? "whole" : kind == DeltaIndex::Frames ? "delta" : "matches";
}

QJsonObject streamToJson(const DeltaIndex::Stream &stream)
{
    QJsonObject object;
    object.insert(QStringLiteral("codec"), stream.codec == DeltaIndex::Lzma2 ? QStringLiteral("lzma2") : QStringLiteral("zstd"));
    object.insert(QStringLiteral("window"), double(stream.window));
    object.insert(QStringLiteral("size"), double(stream.size));
    object.insert(QStringLiteral("length"), double(stream.length));
    return object;
}

QJsonArray rangesToJson(const BranchTransform::Ranges &ranges)
{
    QJsonArray list;
    for (const BranchTransform::Range &range : ranges)
        list.append(QJsonArray { double(range.offset), double(range.length), double(range.address) });
    return list;
}

// A stream's entry: a codec we have, a window a client gives, sizes that fit its segment.
bool readStream(const QJsonValue &value, qint64 maxLength, DeltaIndex::Stream *stream, QString *why)
{
    const QJsonObject object = value.toObject();
    const QString codec = object.value(QStringLiteral("codec")).toString();
    if (codec != QLatin1String("lzma2") && codec != QLatin1String("zstd")) {
        *why = QStringLiteral("a stream of an unknown codec");
        return false;
    }
    stream->codec = codec == QLatin1String("lzma2") ? DeltaIndex::Lzma2 : DeltaIndex::Zstd;
    const qint64 maxWindow = stream->codec == DeltaIndex::Lzma2 ? LzmaCodec::DictionaryMax
                                                                : qint64(1) << ZstdFrames::StreamWindowLogMax;
    if (!readSize(object.value(QStringLiteral("window")), qint64(1) << 40, &stream->window)
        || stream->window > maxWindow) {
        *why = QStringLiteral("a stream asks for a window larger than %1 MiB").arg(maxWindow >> 20);
        return false;
    }
    // A stream is never much larger than what it decodes to; an empty one is stored as nothing.
    if (!readSize(object.value(QStringLiteral("length")), maxLength, &stream->length)
        || !readSize(object.value(QStringLiteral("size")), maxLength + maxLength / 8 + (64 << 10), &stream->size)
        || (stream->size == 0) != (stream->length == 0)) {
        *why = QStringLiteral("a stream of impossible size");
        return false;
    }
    return true;
}

bool readRanges(const QJsonValue &value, qint64 fileSize, BranchTransform::Ranges *ranges, QString *why)
{
    const QJsonArray list = value.toArray();
    if (list.size() > BranchTransform::MaxRanges) {
        *why = QStringLiteral("too many transform ranges");
        return false;
    }
    for (const QJsonValue &item : list) {
        const QJsonArray triple = item.toArray();
        BranchTransform::Range range;
        qint64 address = 0;
        if (triple.size() != 3 || !readSize(triple.at(0), fileSize, &range.offset)
            || !readSize(triple.at(1), fileSize, &range.length)
            || !readSize(triple.at(2), qint64(1) << 53, &address)) {
            *why = QStringLiteral("a malformed transform range");
            return false;
        }
        range.address = quint64(address);
        ranges->append(range);
    }
    *why = BranchTransform::checkRanges(*ranges, fileSize);
    return why->isEmpty();
}

} // namespace

QByteArray DeltaIndex::toJson() const
{
    QJsonArray list;
    int format = 1;
    for (const File &file : files) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), file.name);
        entry.insert(QStringLiteral("kind"), QLatin1String(kindName(file.kind)));
        if (file.kind != Whole) {
            entry.insert(QStringLiteral("base-size"), double(file.baseSize));
            entry.insert(QStringLiteral("base-sha256"), QString::fromLatin1(file.baseSha256.toHex()));
        }
        entry.insert(QStringLiteral("size"), double(file.size));
        entry.insert(QStringLiteral("sha256"), QString::fromLatin1(file.sha256.toHex()));
        entry.insert(QStringLiteral("mode"), double(file.mode));
        QJsonArray frames;
        if (file.kind == Matches) {
            format = qMax(format, 2);
            for (const Segment &segment : file.segments) {
                QJsonObject streams { { QStringLiteral("control"), streamToJson(segment.control) },
                                      { QStringLiteral("diff"), streamToJson(segment.diff) },
                                      { QStringLiteral("extra"), streamToJson(segment.extra) } };
                if (segment.layout == Packed) {
                    format = 3;
                    streams.insert(QStringLiteral("layout"), QStringLiteral("packed"));
                }
                frames.append(streams);
            }
            if (file.machine != BranchTransform::NoMachine) {
                entry.insert(QStringLiteral("transform"),
                             QJsonObject { { QStringLiteral("machine"), BranchTransform::machineName(file.machine) },
                                           { QStringLiteral("base-ranges"), rangesToJson(file.baseRanges) },
                                           { QStringLiteral("ranges"), rangesToJson(file.ranges) } });
            }
        } else {
            for (const qint64 frame : file.frames)
                frames.append(double(frame));
        }
        entry.insert(QStringLiteral("frames"), frames);
        list.append(entry);
    }
    QJsonObject root;
    // Clients that read only format 1 can still use an index without matches.
    root.insert(QStringLiteral("format"), format);
    root.insert(QStringLiteral("segment"), double(ZstdFrames::SegmentSize));
    root.insert(QStringLiteral("margin"), double(ZstdFrames::Margin));
    root.insert(QStringLiteral("files"), list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool DeltaIndex::parse(const QByteArray &json, DeltaIndex *index, QString *error)
{
    index->files.clear();
    const auto fail = [error](const QString &message) {
        *error = QStringLiteral("the delta's index is unusable: ") + message;
        return false;
    };
    if (json.size() > MaxIndexSize)
        return fail(QStringLiteral("it is too large"));
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonObject root = document.object();
    const int format = root.value(QStringLiteral("format")).toInt();
    if (!document.isObject() || format < 1 || format > Format)
        return fail(QStringLiteral("not an index of a format this version reads"));
    if (root.value(QStringLiteral("segment")).toDouble() != double(ZstdFrames::SegmentSize)
        || root.value(QStringLiteral("margin")).toDouble() != double(ZstdFrames::Margin))
        return fail(QStringLiteral("its segments are not the ones this version rebuilds"));
    const QJsonArray list = root.value(QStringLiteral("files")).toArray();
    if (list.isEmpty() || list.size() > ZipReader::MaxEntries)
        return fail(QStringLiteral("it lists no files, or too many"));
    NameSet names;
    for (const QJsonValue &value : list) {
        File file;
        QString why;
        if (!readFile(value.toObject(), format, &file, &why))
            return fail(why);
        const QString clash = names.add(file.name);
        if (!clash.isEmpty())
            return fail(clash);
        index->files.append(file);
    }
    return true;
}

bool DeltaIndex::readFile(const QJsonObject &entry, int format, File *file, QString *why)
{
    file->name = entry.value(QStringLiteral("name")).toString();
    *why = unsafeEntryReason(file->name);
    if (!why->isEmpty())
        return false;
    const QString kind = entry.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("whole"))
        file->kind = Whole;
    else if (kind == QLatin1String("delta"))
        file->kind = Frames;
    else if (kind == QLatin1String("matches") && format >= 2)
        file->kind = Matches;
    else
        return failWith(why, QStringLiteral("\"%1\" is of an unknown kind").arg(file->name));
    if (file->kind != Whole
        && (!readSize(entry.value(QStringLiteral("base-size")), ZipReader::MaxEntrySize, &file->baseSize)
            || !readSha256(entry.value(QStringLiteral("base-sha256")), &file->baseSha256)))
        return failWith(why, QStringLiteral("\"%1\" has no usable base size and SHA-256").arg(file->name));
    qint64 mode = 0;
    if (!readSize(entry.value(QStringLiteral("size")), ZipReader::MaxEntrySize, &file->size)
        || !readSha256(entry.value(QStringLiteral("sha256")), &file->sha256)
        || !readSize(entry.value(QStringLiteral("mode")), 0777, &mode))
        return failWith(why, QStringLiteral("\"%1\" has no usable size, SHA-256 and mode").arg(file->name));
    file->mode = quint32(mode);
    const QJsonArray frames = entry.value(QStringLiteral("frames")).toArray();
    if (frames.size() != ZstdFrames::segmentCount(file->size))
        return failWith(why, QStringLiteral("\"%1\" has %2 frames for %3 bytes").arg(file->name).arg(frames.size()).arg(file->size));
    for (int s = 0; s < frames.size(); ++s) {
        qint64 size = 0;
        if (file->kind == Matches) {
            if (!readSegment(frames.at(s).toObject(), format,
                             qMin(ZstdFrames::SegmentSize, file->size - s * ZstdFrames::SegmentSize), file, why))
                return failWith(why, QStringLiteral("\"%1\": %2").arg(file->name, *why));
            const Segment &segment = file->segments.constLast();
            size = segment.control.size + segment.diff.size + segment.extra.size;
        } else if (!readSize(frames.at(s), ZstdFrames::SegmentSize * 2, &size) || size == 0) {
            // A frame is never empty, nor much larger than its segment.
            return failWith(why, QStringLiteral("\"%1\" has a frame of impossible size").arg(file->name));
        }
        file->frames.append(size);
    }
    if (file->kind == Matches && entry.contains(QStringLiteral("transform"))) {
        const QJsonObject transform = entry.value(QStringLiteral("transform")).toObject();
        file->machine = BranchTransform::machineFromName(transform.value(QStringLiteral("machine")).toString());
        if (file->machine == BranchTransform::NoMachine)
            return failWith(why, QStringLiteral("\"%1\" names a machine this version does not know").arg(file->name));
        if (!readRanges(transform.value(QStringLiteral("base-ranges")), file->baseSize, &file->baseRanges, why)
            || !readRanges(transform.value(QStringLiteral("ranges")), file->size, &file->ranges, why))
            return failWith(why, QStringLiteral("\"%1\": %2").arg(file->name, *why));
    }
    return true;
}

// A segment of \a size bytes: its streams' lengths add up to it, and every triple writes at least one byte.
bool DeltaIndex::readSegment(const QJsonObject &object, int format, qint64 size, File *file, QString *why)
{
    Segment segment;
    segment.length = size;
    const QJsonValue layout = object.value(QStringLiteral("layout"));
    if (layout.toString() == QLatin1String("packed") && format >= 3)
        segment.layout = Packed;
    else if (!layout.isUndefined())
        return failWith(why, QStringLiteral("a segment of an unknown layout"));
    // Packed, a triple writes at least one byte and a (zeros, byte) pair covers at least one.
    const bool packed = segment.layout == Packed;
    if (!readStream(object.value(QStringLiteral("control")), (packed ? PackedTripleMax : TripleSize) * size,
                    &segment.control, why)
        || !readStream(object.value(QStringLiteral("diff")), packed ? 11 * size : size, &segment.diff, why)
        || !readStream(object.value(QStringLiteral("extra")), size, &segment.extra, why))
        return false;
    if (packed ? segment.extra.length > size
               : segment.control.length % TripleSize != 0 || segment.diff.length + segment.extra.length != size)
        return failWith(why, QStringLiteral("its streams' lengths do not add up to the segment"));
    file->segments.append(segment);
    return true;
}
