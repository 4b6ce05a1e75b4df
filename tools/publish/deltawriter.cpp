#include "deltawriter.h"

#include "crypto/crypto.h"
#include "delta/deltacodec.h"
#include "delta/deltaindex.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <numeric>

namespace {

// A delta must save at least a tenth against the file in the whole-file patch, or the file goes whole.
constexpr qint64 ClearlySmallerPercent = 90;

} // namespace

bool DeltaWriter::fail(const QString &message)
{
    error = message;
    return false;
}

bool DeltaWriter::write(const QList<File> &files, const QString &baseDir, QIODevice *out)
{
    error.clear();
    lines.clear();
    DeltaIndex index;
    Frames frames;
    for (const File &file : files) {
        if (!addFile(file, baseDir, &index, &frames))
            return false;
    }
    return writeArchive(index, frames, out);
}

bool DeltaWriter::addFile(const File &file, const QString &baseDir, DeltaIndex *index, Frames *frames)
{
    QFile source(file.source);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1: %2").arg(file.source, source.errorString()));
    DeltaIndex::File entry;
    entry.name = file.name;
#ifndef Q_OS_WIN
    // Windows has no modes to give: entries without one keep the installed file's.
    entry.mode = unixModeOf(source.permissions()) & 0777;
#endif
    if (!Crypto::Sha256::hashDevice(&source, &entry.sha256, &entry.size))
        return fail(QStringLiteral("cannot read %1").arg(file.source));
    const QString basePath = baseDir + QLatin1Char('/') + file.name;
    const QFileInfo baseInfo(basePath);
    QFile base(basePath);
    const bool hasBase = baseInfo.isFile() && !baseInfo.isSymLink() && base.open(QIODevice::ReadOnly);
    if (hasBase && !Crypto::Sha256::hashDevice(&base, &entry.baseSha256, &entry.baseSize))
        return fail(QStringLiteral("cannot read %1").arg(basePath));

    frames->emplace_back(new QTemporaryFile);
    QVector<qint64> sizes;
    entry.whole = !hasBase || entry.size == 0;
    if (!makeFrames(&source, &base, entry, frames->back().get(), &sizes))
        return fail(QStringLiteral("cannot make the delta of %1").arg(file.name));
    qint64 total = std::accumulate(sizes.cbegin(), sizes.cend(), qint64(0));
    if (!entry.whole && total * 100 > file.wholeSize * ClearlySmallerPercent) {
        // No clear gain: the file goes whole, as the whole-file patch has it.
        entry.whole = true;
        entry.baseSize = -1;
        entry.baseSha256.clear();
        frames->back().reset(new QTemporaryFile);
        sizes.clear();
        if (!makeFrames(&source, &base, entry, frames->back().get(), &sizes))
            return fail(QStringLiteral("cannot compress %1").arg(file.name));
        total = std::accumulate(sizes.cbegin(), sizes.cend(), qint64(0));
    }
    entry.frames = sizes;
    lines << QStringLiteral("  %1 %2: %3 bytes (whole-file patch: %4)")
                     .arg(entry.whole ? QStringLiteral("whole") : QStringLiteral("delta"), file.name)
                     .arg(total).arg(file.wholeSize);
    index->files.append(entry);
    return true;
}

// The frames of one way of making the file: against the base, or (whole) against nothing.
bool DeltaWriter::makeFrames(QFile *source, QFile *base, const DeltaIndex::File &entry, QTemporaryFile *data,
                             QVector<qint64> *sizes)
{
    if (!data->open() || !source->seek(0))
        return false;
    QByteArray segment;
    QByteArray region;
    for (qint64 s = 0; s < DeltaCodec::segmentCount(entry.size); ++s) {
        const qint64 size = qMin(DeltaCodec::SegmentSize, entry.size - s * DeltaCodec::SegmentSize);
        segment.resize(int(size));
        if (source->read(segment.data(), size) != size)
            return false;
        qint64 offset = 0;
        qint64 length = 0;
        if (!entry.whole) {
            DeltaCodec::baseRegion(s, entry.baseSize, &offset, &length);
            region.resize(int(length));
            if (!base->seek(offset) || base->read(region.data(), length) != length)
                return false;
        }
        // Level 19 finds more, but can miss everything on random-like data where level 3 does not.
        QByteArray best;
        for (const int level : qAsConst(levels)) {
            const QByteArray frame = DeltaCodec::compressFrame(region.constData(), length, segment.constData(),
                                                               size, level);
            if (!frame.isEmpty() && (best.isEmpty() || frame.size() < best.size()))
                best = frame;
        }
        if (best.isEmpty() || data->write(best) != best.size())
            return false;
        sizes->append(best.size());
    }
    return data->flush();
}

bool DeltaWriter::writeArchive(const DeltaIndex &index, const Frames &frames, QIODevice *out)
{
    ZipWriter writer(out);
    QBuffer indexData;
    indexData.setData(index.toJson());
    indexData.open(QIODevice::ReadOnly);
    if (!writer.addFile(QLatin1String(DeltaIndex::IndexName), &indexData, QFile::ReadOwner | QFile::WriteOwner))
        return fail(writer.errorString());
    for (int i = 0; i < index.files.size(); ++i) {
        QTemporaryFile *data = frames.at(size_t(i)).get();
        if (!data->seek(0)
            || !writer.addFile(QLatin1String(DeltaIndex::FilesFolder) + index.files.at(i).name, data,
                               QFile::ReadOwner | QFile::WriteOwner, ZipWriter::Stored))
            return fail(writer.errorString());
    }
    if (!writer.finish())
        return fail(writer.errorString());
    return true;
}
