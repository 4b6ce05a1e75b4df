#include "delta/deltaindex.h"

#include "archive/archivereader.h"
#include "delta/deltacodec.h"
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

} // namespace

QByteArray DeltaIndex::toJson() const
{
    QJsonArray list;
    for (const File &file : files) {
        QJsonObject entry;
        entry.insert(QStringLiteral("name"), file.name);
        entry.insert(QStringLiteral("kind"), file.whole ? QStringLiteral("whole") : QStringLiteral("delta"));
        if (!file.whole) {
            entry.insert(QStringLiteral("base-size"), double(file.baseSize));
            entry.insert(QStringLiteral("base-sha256"), QString::fromLatin1(file.baseSha256.toHex()));
        }
        entry.insert(QStringLiteral("size"), double(file.size));
        entry.insert(QStringLiteral("sha256"), QString::fromLatin1(file.sha256.toHex()));
        entry.insert(QStringLiteral("mode"), double(file.mode));
        QJsonArray frames;
        for (const qint64 frame : file.frames)
            frames.append(double(frame));
        entry.insert(QStringLiteral("frames"), frames);
        list.append(entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), Format);
    root.insert(QStringLiteral("segment"), double(DeltaCodec::SegmentSize));
    root.insert(QStringLiteral("margin"), double(DeltaCodec::Margin));
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
    if (!document.isObject() || root.value(QStringLiteral("format")).toInt() != Format)
        return fail(QStringLiteral("not an index of a format this version reads"));
    if (root.value(QStringLiteral("segment")).toDouble() != double(DeltaCodec::SegmentSize)
        || root.value(QStringLiteral("margin")).toDouble() != double(DeltaCodec::Margin))
        return fail(QStringLiteral("its segments are not the ones this version rebuilds"));
    const QJsonArray list = root.value(QStringLiteral("files")).toArray();
    if (list.isEmpty() || list.size() > ArchiveReader::MaxEntries)
        return fail(QStringLiteral("it lists no files, or too many"));
    NameSet names;
    for (const QJsonValue &value : list) {
        const QJsonObject entry = value.toObject();
        File file;
        file.name = entry.value(QStringLiteral("name")).toString();
        const QString reason = unsafeEntryReason(file.name);
        if (!reason.isEmpty())
            return fail(reason);
        const QString clash = names.add(file.name);
        if (!clash.isEmpty())
            return fail(clash);
        const QString kind = entry.value(QStringLiteral("kind")).toString();
        file.whole = kind == QLatin1String("whole");
        if (!file.whole && kind != QLatin1String("delta"))
            return fail(QStringLiteral("\"%1\" is of an unknown kind").arg(file.name));
        if (!file.whole
            && (!readSize(entry.value(QStringLiteral("base-size")), ArchiveReader::MaxEntrySize, &file.baseSize)
                || !readSha256(entry.value(QStringLiteral("base-sha256")), &file.baseSha256)))
            return fail(QStringLiteral("\"%1\" has no usable base size and SHA-256").arg(file.name));
        qint64 mode = 0;
        if (!readSize(entry.value(QStringLiteral("size")), ArchiveReader::MaxEntrySize, &file.size)
            || !readSha256(entry.value(QStringLiteral("sha256")), &file.sha256)
            || !readSize(entry.value(QStringLiteral("mode")), 0777, &mode))
            return fail(QStringLiteral("\"%1\" has no usable size, SHA-256 and mode").arg(file.name));
        file.mode = quint32(mode);
        const QJsonArray frames = entry.value(QStringLiteral("frames")).toArray();
        if (frames.size() != DeltaCodec::segmentCount(file.size))
            return fail(QStringLiteral("\"%1\" has %2 frames for %3 bytes").arg(file.name).arg(frames.size()).arg(file.size));
        for (const QJsonValue &frame : frames) {
            qint64 size = 0;
            // A frame is never empty, nor much larger than its segment.
            if (!readSize(frame, DeltaCodec::SegmentSize * 2, &size) || size == 0)
                return fail(QStringLiteral("\"%1\" has a frame of impossible size").arg(file.name));
            file.frames.append(size);
        }
        index->files.append(file);
    }
    return true;
}
