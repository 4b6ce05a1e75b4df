#include "delta/deltarebuild.h"

#include "archive/patcharchive.h"
#include "archive/zipreader.h"
#include "crypto/crypto.h"
#include "delta/deltaindex.h"
#include "delta/matchstreams.h"
#include "delta/resultwriter.h"
#include "delta/zstdframes.h"
#include "platform/filesystem.h"
#include "transaction/filemode.h"
#include "transaction/installtransaction.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {

// A transformed base up to this size is kept in memory: with the decoders', well within 32 MiB.
constexpr qint64 InMemoryBase = qint64(16) << 20;

} // namespace

DeltaRebuild::DeltaRebuild(const QString &path)
    : archivePath(path)
{
}

void DeltaRebuild::setExpected(qint64 size, const QByteArray &sha256)
{
    expectedSize = size;
    expectedSha256 = sha256;
}

bool DeltaRebuild::fail(Failure failure, const QString &message)
{
    kind = failure;
    error = message;
    return false;
}

bool DeltaRebuild::stageInto(InstallTransaction *transaction)
{
    kind = NoFailure;
    error.clear();
    filePaths.clear();
    rebuilt = 0;
    keptBase.clear();
    keptFile = -1;
    QFile archive(archivePath);
    DeltaIndex index;
    QVector<qint64> dataOffsets;
    // Every base before any result: a changed installed file sends us to the whole patch at once.
    if (!checkArchive(&archive) || !readIndex(&index, &dataOffsets) || !checkBases(index, transaction))
        return false;
    // The file whose base is held goes first, and the base with it.
    if (keptFile >= 0 && !rebuildFile(index.files.at(keptFile), dataOffsets.at(keptFile), &archive, transaction, true))
        return false;
    keptBase = QByteArray();
    for (int f = 0; f < index.files.size(); ++f) {
        if (f != keptFile && !rebuildFile(index.files.at(f), dataOffsets.at(f), &archive, transaction, false))
            return false;
    }
    return true;
}

// The archive is what the manifest announced before anything reads it.
bool DeltaRebuild::checkArchive(QFile *archive)
{
    if (!archive->open(QIODevice::ReadOnly))
        return fail(Damaged, QStringLiteral("cannot read %1: %2").arg(archivePath, archive->errorString()));
    if (expectedSize < 0 && expectedSha256.isEmpty())
        return true;
    qint64 size = 0;
    QByteArray sha256;
    if (!Crypto::Sha256::hashDevice(archive, &sha256, &size) || (expectedSize >= 0 && size != expectedSize)
        || (!expectedSha256.isEmpty() && sha256 != expectedSha256))
        return fail(Damaged, QStringLiteral("the delta is not the one the manifest announced"));
    return true;
}

// The index, and every file's data as a stored entry that holds exactly its frames.
bool DeltaRebuild::readIndex(DeltaIndex *index, QVector<qint64> *dataOffsets)
{
    ZipReader reader(archivePath);
    if (!reader.open())
        return fail(Damaged, reader.errorString());
    QHash<QString, int> entries;
    for (int i = 0; i < reader.entries().size(); ++i)
        entries.insert(reader.entries().at(i).name, i);
    const int indexAt = entries.value(QLatin1String(DeltaIndex::IndexName), -1);
    if (indexAt < 0 || reader.entries().at(indexAt).size > DeltaIndex::MaxIndexSize)
        return fail(Damaged, QStringLiteral("the delta has no index"));
    QBuffer indexData;
    indexData.open(QIODevice::WriteOnly);
    if (!reader.extract(indexAt, &indexData))
        return fail(Damaged, reader.errorString());
    QString why;
    if (!DeltaIndex::parse(indexData.data(), index, &why))
        return fail(Damaged, why);
    for (const DeltaIndex::File &file : qAsConst(index->files)) {
        const int at = entries.value(QLatin1String(DeltaIndex::FilesFolder) + file.name, -1);
        qint64 total = 0;
        for (const qint64 frame : file.frames)
            total += frame;
        if (at < 0 || reader.entries().at(at).method != 0 || reader.entries().at(at).size != total)
            return fail(Damaged, QStringLiteral("the delta's data for \"%1\" is missing or damaged").arg(file.name));
        dataOffsets->append(reader.entries().at(at).dataOffset);
    }
    return true;
}

bool DeltaRebuild::checkBases(const DeltaIndex &index, InstallTransaction *transaction)
{
    for (int f = 0; f < index.files.size(); ++f) {
        const DeltaIndex::File &file = index.files.at(f);
        if (file.kind == DeltaIndex::Whole)
            continue;
        const bool keep = keptFile < 0 && file.kind == DeltaIndex::Matches && file.baseSize <= InMemoryBase;
        QFile source;
        QString why;
        if (!Platform::openRegularFile(transaction->installedPath(file.name), &source, &why) || !checkBase(file, &source, keep))
            return fail(BaseDiffers, QStringLiteral("the installed %1 is not the file the delta was made from "
                                                    "(changed since it was installed, or an earlier update was partial)")
                                         .arg(file.name));
        if (keep)
            keptFile = f;
    }
    return true;
}

// The base's size and hash; with \a keep, its bytes stay in keptBase, transformed when the delta was
// made between transformed files.
bool DeltaRebuild::checkBase(const DeltaIndex::File &file, QFile *source, bool keep)
{
    baseHash.reset();
    if (!keep)
        return baseHash.addDevice(source, file.baseSize + 1) == file.baseSize && baseHash.result() == file.baseSha256;
    // Read in chunks into the kept bytes, each hashed on the hasher's thread while the next is read.
    keptBase = QByteArray(int(file.baseSize), Qt::Uninitialized);
    constexpr qint64 Chunk = qint64(1) << 20;
    for (qint64 done = 0; done < file.baseSize;) {
        const qint64 n = source->read(keptBase.data() + done, qMin(Chunk, file.baseSize - done));
        if (n <= 0) {
            baseHash.result(); // the thread lets go of the bytes before they go
            return false;
        }
        baseHash.addHeldData(keptBase.constData() + done, n);
        done += n;
    }
    // Transformed behind the hash, which must see the bytes as installed: the transform changes only
    // bytes before the point it returns, all of them hashed already.
    if (file.machine != BranchTransform::NoMachine) {
        BranchTransform transform(file.machine, file.baseRanges, BranchTransform::Forward);
        for (qint64 transformed = 0, hashed = 0; hashed < file.baseSize;) {
            hashed = baseHash.waitHashed(qMin(transformed + Chunk, file.baseSize));
            transformed += transform.process(keptBase.data() + transformed, hashed - transformed, hashed == file.baseSize);
        }
    }
    char more = 0;
    return baseHash.result() == file.baseSha256 && source->read(&more, 1) == 0;
}

bool DeltaRebuild::rebuildFile(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive,
                               InstallTransaction *transaction, bool kept)
{
    // Opened once, as a plain file on the handle: a name swapped since the check cannot block us,
    // and whatever else it reads is caught by the result's hash.
    const QString installed = transaction->installedPath(file.name);
    QFile source;
    QString why;
    if (file.kind != DeltaIndex::Whole && !kept && !Platform::openRegularFile(installed, &source, &why))
        return fail(BaseDiffers, why);
    QFile out(transaction->stagedPath(file.name));
    if (!QDir().mkpath(QFileInfo(out.fileName()).path()) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(CannotWrite, QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString()));
    ResultWriter writer(&out);
    const bool rebuiltOk = kept ? rebuildKept(file, dataOffset, archive, &writer)
        : file.kind == DeltaIndex::Matches ? rebuildMatches(file, dataOffset, archive, &source, transaction, &writer)
                                           : rebuildFrames(file, dataOffset, archive, &source, &writer);
    if (!rebuiltOk)
        return false;
    if (!writer.finish())
        return fail(CannotWrite, QStringLiteral("cannot write %1: %2").arg(file.name, writer.errorString()));
    out.close();
    if (writer.written() != file.size || writer.sha256() != file.sha256)
        return fail(Damaged, QStringLiteral("the file rebuilt for \"%1\" is not the one the delta promises").arg(file.name));
    out.setPermissions(FileMode::forStagedFile(file.mode, installed, file.name == programName));
    transaction->addFile(file.name);
    filePaths.append(file.name);
    rebuilt += writer.written();
    return true;
}

// Zstandard frames: one base region and one segment in memory at a time.
bool DeltaRebuild::rebuildFrames(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QFile *source,
                                 ResultWriter *writer)
{
    if (!archive->seek(dataOffset))
        return fail(Damaged, QStringLiteral("cannot read %1").arg(archivePath));
    QByteArray base;
    QByteArray segment;
    qint64 written = 0;
    for (int s = 0; s < file.frames.size(); ++s) {
        qint64 offset = 0;
        qint64 length = 0;
        if (file.kind != DeltaIndex::Whole) {
            ZstdFrames::baseRegion(s, file.baseSize, &offset, &length);
            base.resize(int(length));
            if (!source->seek(offset) || source->read(base.data(), length) != length)
                return fail(BaseDiffers, QStringLiteral("cannot read %1").arg(source->fileName()));
        }
        const qint64 size = qMin(ZstdFrames::SegmentSize, file.size - written);
        segment.resize(int(size));
        if (!decoder.decode(archive, file.frames.at(s), base.constData(), length, segment.data(), size))
            return fail(Damaged, QStringLiteral("the delta for \"%1\" cannot be rebuilt: %2")
                                         .arg(file.name, decoder.errorString()));
        writer->write(segment.constData(), size);
        written += size;
    }
    return true;
}

// Approximate matches against a large base: read by seeking (transformed first into the scratch file
// when the delta was made between transformed files), the result written in order.
bool DeltaRebuild::rebuildMatches(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QFile *source,
                                  InstallTransaction *transaction, ResultWriter *writer)
{
    QIODevice *base = source;
    QFile scratch(transaction->scratchPath());
    if (file.machine != BranchTransform::NoMachine) {
        // A large transformed base goes to the transaction's scratch file, read from there by seeking.
        ResultWriter transformed(&scratch);
        transformed.setTransform(file.machine, file.baseRanges, BranchTransform::Forward);
        if (!scratch.open(QIODevice::ReadWrite | QIODevice::Truncate) || !transformed.writeFrom(source, file.baseSize)
            || !transformed.finish() || !scratch.flush()) {
            // The base is read on its handle, which carries no name: the entry's name says which file.
            const QString why = !transformed.errorString().isEmpty() ? transformed.errorString() : scratch.errorString();
            scratch.remove();
            return fail(CannotWrite, QStringLiteral("cannot transform the installed %1 into %2: %3")
                                             .arg(file.name, scratch.fileName(), why));
        }
        base = &scratch;
        writer->setTransform(file.machine, file.ranges, BranchTransform::Inverse);
    }
    if (!applyMatches(file, dataOffset, archive, base, nullptr, writer))
        return false;
    if (scratch.isOpen())
        scratch.remove();
    return true;
}

// Approximate matches against the base kept from its check (transformed there when the delta was made
// between transformed files).
bool DeltaRebuild::rebuildKept(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, ResultWriter *writer)
{
    if (file.machine != BranchTransform::NoMachine)
        writer->setTransform(file.machine, file.ranges, BranchTransform::Inverse);
    return applyMatches(file, dataOffset, archive, nullptr, keptBase.constData(), writer);
}

// Every segment's streams against its base region, of \a base or of \a memory.
bool DeltaRebuild::applyMatches(const DeltaIndex::File &file, qint64 dataOffset, QFile *archive, QIODevice *base,
                                const char *memory, ResultWriter *writer)
{
    MatchStreams streams;
    qint64 offset = dataOffset;
    for (int s = 0; s < file.segments.size(); ++s) {
        qint64 regionOffset = 0;
        qint64 regionLength = 0;
        ZstdFrames::baseRegion(s, file.baseSize, &regionOffset, &regionLength);
        const DeltaIndex::Segment &segment = file.segments.at(s);
        if (!(memory ? streams.apply(segment, archive, offset, memory, regionOffset, regionLength, writer)
                     : streams.apply(segment, archive, offset, base, regionOffset, regionLength, writer)))
            return fail(Damaged, QStringLiteral("the delta for \"%1\" cannot be rebuilt: %2").arg(file.name, streams.errorString()));
        offset += file.frames.at(s);
    }
    return true;
}
