#include "deltawriter.h"

#include "crypto/crypto.h"
#include "delta/deltaindex.h"
#include "delta/lzmacodec.h"
#include "delta/resultwriter.h"
#include "delta/zstdframes.h"
#include "executableranges.h"
#include "matchfinder.h"
#include "threads/jobpool.h"
#include "zipwriter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <functional>
#include <mutex>
#include <numeric>

namespace {

// A delta must save at least a tenth against the file in the whole-file patch, or the file goes whole.
constexpr qint64 ClearlySmallerPercent = 90;

const char *kindName(const DeltaIndex::File &entry)
{
    switch (entry.kind) {
    case DeltaIndex::Whole:
        return "whole";
    case DeltaIndex::Frames:
        return "delta";
    case DeltaIndex::Matches:
        break;
    }
    return entry.machine == BranchTransform::NoMachine ? "matches" : "matches, transformed";
}

constexpr qint64 DiffDictionary = qint64(1) << 20;

// The packed differences' pairs are not aligned: literals without position bits, two bits of context.
constexpr LzmaCodec::Model PackedDifferencesModel { 2, 0, 0 };

// Each match job holds about 150 MiB: with four, the publisher stays well below 1 GiB.
constexpr int MatchWorkersMax = 4;

// Zstandard, and other LZMA2 models, are tried for a stream only this small: on larger ones LZMA2's
// usual model has always been the smallest, or within a few tenths of a percent, and each trial costs
// as much again.
constexpr qint64 TrialMax = qint64(64) << 10;

// One stream in whichever of the trials is smallest: LZMA2 with \a model, and for a small stream LZMA2
// with the models that suit aligned instructions and packed numbers, and Zstandard. An empty stream is
// stored as nothing. An LZMA2 dictionary is at most \a dictionaryMax.
bool compressStream(const QByteArray &raw, DeltaIndex::Stream *stream, QIODevice *out,
                    qint64 dictionaryMax = LzmaCodec::DictionaryMax, const LzmaCodec::Model &model = LzmaCodec::Model())
{
    stream->length = raw.size();
    if (raw.isEmpty()) {
        *stream = DeltaIndex::Stream { DeltaIndex::Zstd, 0, 0, 0 };
        return true;
    }
    const qint64 dictionary = qMin(LzmaCodec::dictionaryFor(raw.size()), dictionaryMax);
    QByteArray chosen = LzmaCodec::compress(raw.constData(), raw.size(), dictionary, model);
    stream->codec = DeltaIndex::Lzma2;
    if (raw.size() <= TrialMax) {
        for (const LzmaCodec::Model &other : { LzmaCodec::Model { 1, 0, 0 }, LzmaCodec::Model { 1, 1, 1 },
                                               LzmaCodec::Model { 0, 2, 2 } }) {
            const QByteArray lzma = LzmaCodec::compress(raw.constData(), raw.size(), dictionary, other);
            if (!lzma.isEmpty() && (chosen.isEmpty() || lzma.size() < chosen.size()))
                chosen = lzma;
        }
    }
    if (raw.size() <= TrialMax || chosen.isEmpty()) {
        const QByteArray zstd = ZstdFrames::compressStream(raw.constData(), raw.size(), 19);
        if (!zstd.isEmpty() && (chosen.isEmpty() || zstd.size() < chosen.size())) {
            chosen = zstd;
            stream->codec = DeltaIndex::Zstd;
        }
    }
    if (chosen.isEmpty())
        return false;
    stream->window = stream->codec == DeltaIndex::Lzma2 ? dictionary : qint64(1) << ZstdFrames::StreamWindowLogMax;
    stream->size = chosen.size();
    return out->write(chosen) == chosen.size();
}

// \a in through the branch transform into \a out.
bool transformInto(QIODevice *in, BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                   QIODevice *out)
{
    ResultWriter writer(out);
    writer.setTransform(machine, ranges, BranchTransform::Forward);
    return writer.writeFrom(in, in->size()) && writer.finish();
}

// A device the jobs read by turns.
struct SharedInput
{
    QIODevice *device = nullptr;
    std::mutex lock;

    bool read(qint64 offset, qint64 length, QByteArray *bytes)
    {
        const std::lock_guard<std::mutex> locked(lock);
        bytes->resize(int(length));
        return device->seek(offset) && device->read(bytes->data(), length) == length;
    }
};

// One way of matching a file: the files it matches (as they are, or transformed), and what each
// segment became.
struct MatchKind
{
    SharedInput source;
    SharedInput base;
    DeltaIndex::File entry;
    QVector<DeltaIndex::Segment> segments;
    QVector<QByteArray> data; // each segment's three streams, one after another
    bool wanted = true;
    // What must be done before any segment (the transform of both files), by the first job that needs it.
    std::function<bool()> prepare;
    std::once_flag prepared;
    bool ready = false;
};

// Segment \a s of \a kind, matched against its base region.
bool makeSegment(MatchKind *kind, int s)
{
    std::call_once(kind->prepared, [kind] { kind->ready = !kind->prepare || kind->prepare(); });
    if (!kind->ready)
        return false;
    const qint64 size = qMin(ZstdFrames::SegmentSize, kind->entry.size - s * ZstdFrames::SegmentSize);
    qint64 offset = 0;
    qint64 length = 0;
    ZstdFrames::baseRegion(s, kind->entry.baseSize, &offset, &length);
    QByteArray segment;
    QByteArray region;
    MatchFinder finder;
    if (!kind->source.read(s * ZstdFrames::SegmentSize, size, &segment) || !kind->base.read(offset, length, &region)
        || !finder.setRegion(region))
        return false;
    const MatchFinder::Streams streams = finder.find(segment);
    region.clear();
    DeltaIndex::Segment &written = kind->segments[s];
    written.layout = DeltaIndex::Packed;
    written.length = size;
    QBuffer out(&kind->data[s]);
    // The differences are mostly zeros whose matches lie close: a dictionary that stays in the cache
    // decodes them a third faster, for a stream larger by a few tenths of a percent.
    return out.open(QIODevice::WriteOnly) && compressStream(streams.control, &written.control, &out)
            && compressStream(streams.diff, &written.diff, &out, DiffDictionary, PackedDifferencesModel)
            && compressStream(streams.extra, &written.extra, &out);
}

qint64 segmentTotal(const DeltaIndex::Segment &segment)
{
    return segment.control.size + segment.diff.size + segment.extra.size;
}

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

    entry.kind = hasBase && entry.size > 0 ? DeltaIndex::Frames : DeltaIndex::Whole;
    std::unique_ptr<QTemporaryFile> best;
    DeltaIndex::File chosen;
    qint64 bestTotal = -1;
    bool reused = false;
    if (entry.kind != DeltaIndex::Whole) {
        QByteArray kept;
        if (deltaCache && deltaCache->findDelta(entry.baseSha256, entry.sha256, &chosen, &kept)) {
            // Made from the same two files before; only the name and mode are this release's.
            chosen.name = entry.name;
            chosen.mode = entry.mode;
            best.reset(new QTemporaryFile);
            if (!best->open() || best->write(kept) != kept.size() || !best->flush())
                return fail(QStringLiteral("cannot write the delta of %1").arg(file.name));
            bestTotal = kept.size();
            reused = true;
        } else {
            if (!makeSmallest(&source, &base, entry, &chosen, &best, &bestTotal))
                return false;
            if (deltaCache && bestTotal >= 0 && best->seek(0))
                deltaCache->keepDelta(chosen, best->readAll());
        }
    }
    if (bestTotal < 0 || bestTotal * 100 > file.wholeSize * ClearlySmallerPercent) {
        // No clear gain: the file goes whole, as the whole-file patch has it.
        chosen = entry;
        chosen.kind = DeltaIndex::Whole;
        chosen.baseSize = -1;
        chosen.baseSha256.clear();
        best.reset(new QTemporaryFile);
        if (!makeFrames(&source, &base, chosen, best.get(), &chosen.frames))
            return fail(QStringLiteral("cannot compress %1").arg(file.name));
        bestTotal = std::accumulate(chosen.frames.cbegin(), chosen.frames.cend(), qint64(0));
    }
    frames->push_back(std::move(best));
    lines << QStringLiteral("  %1 %2: %3 bytes (whole-file patch: %4)%5")
                     .arg(QLatin1String(kindName(chosen)), file.name)
                     .arg(bestTotal).arg(file.wholeSize)
                     .arg(reused && chosen.kind != DeltaIndex::Whole ? QStringLiteral(", made before")
                                                                     : QString());
    index->files.append(chosen);
    return true;
}

// Each way \a entry may be made against its base; the smallest is kept (none: \a total stays -1).
bool DeltaWriter::makeSmallest(QFile *source, QFile *base, const DeltaIndex::File &entry, DeltaIndex::File *chosen,
                               std::unique_ptr<QTemporaryFile> *best, qint64 *total)
{
    const auto consider = [&](const DeltaIndex::File &candidate, std::unique_ptr<QTemporaryFile> data) {
        const qint64 size = std::accumulate(candidate.frames.cbegin(), candidate.frames.cend(), qint64(0));
        if (*total < 0 || size < *total) {
            *best = std::move(data);
            *chosen = candidate;
            *total = size;
        }
    };
    const QString cannot = QStringLiteral("cannot make the delta of %1").arg(entry.name);
    if (methods & (Matches | TransformedMatches)) {
        QVector<DeltaIndex::File> candidates;
        std::vector<std::unique_ptr<QTemporaryFile>> data;
        if (!makeMatches(source, base, entry, &candidates, &data))
            return false;
        for (int i = 0; i < candidates.size(); ++i)
            consider(candidates.at(i), std::move(data[size_t(i)]));
    }
    if (methods & PatchFrom) {
        // Last: what the matches made tells which segments' frames are worth the costly levels.
        DeltaIndex::File candidate = entry;
        std::unique_ptr<QTemporaryFile> data(new QTemporaryFile);
        if (!makeFrames(source, base, candidate, data.get(), &candidate.frames, *total < 0 ? nullptr : &chosen->frames))
            return fail(cannot);
        consider(candidate, std::move(data));
    }
    return true;
}

// The frames of one way of making the file: against the base, or (whole) against nothing. With
// \a rivals (what each segment takes made another way), the costly levels are tried only where the
// cheapest one's frame comes within half again of the rival: on real programs level 19 made it 0.3
// to 0.7 times level 3's, and still lost to the matches by a third or more.
bool DeltaWriter::makeFrames(QFile *source, QFile *base, const DeltaIndex::File &entry, QTemporaryFile *data,
                             QVector<qint64> *sizes, const QVector<qint64> *rivals)
{
    QList<int> ascending = levels;
    std::sort(ascending.begin(), ascending.end());
    if (!data->open() || !source->seek(0))
        return false;
    QByteArray segment;
    QByteArray region;
    for (qint64 s = 0; s < ZstdFrames::segmentCount(entry.size); ++s) {
        const qint64 size = qMin(ZstdFrames::SegmentSize, entry.size - s * ZstdFrames::SegmentSize);
        segment.resize(int(size));
        if (source->read(segment.data(), size) != size)
            return false;
        qint64 offset = 0;
        qint64 length = 0;
        if (entry.kind != DeltaIndex::Whole) {
            ZstdFrames::baseRegion(s, entry.baseSize, &offset, &length);
            region.resize(int(length));
            if (!base->seek(offset) || base->read(region.data(), length) != length)
                return false;
        }
        // Level 19 finds more, but can miss everything on random-like data where level 3 does not.
        QByteArray best;
        for (const int level : qAsConst(ascending)) {
            if (!best.isEmpty() && rivals && best.size() * 2 >= 3 * rivals->value(int(s)))
                break;
            const QByteArray frame = ZstdFrames::compressFrame(region.constData(), length, segment.constData(),
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

// The file matched as it is, and between the branch-transformed files when both are programs for the
// same machine: every (way, segment) is a job of its own, on as many workers as there are cores (each
// job holds a base region, its suffix array and a segment: about 150 MiB). When the first segments
// tell one way clearly ahead, the other stops there.
bool DeltaWriter::makeMatches(QFile *source, QFile *base, const DeltaIndex::File &entry,
                              QVector<DeltaIndex::File> *candidates, std::vector<std::unique_ptr<QTemporaryFile>> *data)
{
    const QString cannot = QStringLiteral("cannot make the delta of %1").arg(entry.name);
    const int segmentCount = int(ZstdFrames::segmentCount(entry.size));
    std::vector<std::unique_ptr<MatchKind>> kinds;
    const auto addKind = [&](QIODevice *from, QIODevice *against) {
        kinds.emplace_back(new MatchKind);
        MatchKind &kind = *kinds.back();
        kind.source.device = from;
        kind.base.device = against;
        kind.entry = entry;
        kind.entry.kind = DeltaIndex::Matches;
        kind.segments.resize(segmentCount);
        kind.data.resize(segmentCount);
    };
    if (methods & Matches)
        addKind(source, base);
    QTemporaryFile transformed;
    QTemporaryFile transformedBase;
    if (methods & TransformedMatches) {
        const ExecutableRanges::Found found = ExecutableRanges::read(source);
        const ExecutableRanges::Found foundBase = ExecutableRanges::read(base);
        if (found.machine != BranchTransform::NoMachine && found.machine == foundBase.machine) {
            if (!transformed.open() || !transformedBase.open())
                return fail(cannot);
            addKind(&transformed, &transformedBase);
            // On a worker, beside the plain matches' first segment; the files are read under their locks.
            MatchKind *plain = kinds.size() > 1 ? kinds.front().get() : nullptr;
            kinds.back()->prepare = [=, &transformed, &transformedBase] {
                const auto locked = [plain](QIODevice *device, const std::function<bool()> &work) {
                    if (!plain)
                        return work();
                    const std::lock_guard<std::mutex> lock(device == plain->source.device ? plain->source.lock
                                                                                         : plain->base.lock);
                    return work();
                };
                return locked(source, [&] { return transformInto(source, found.machine, found.ranges, &transformed); })
                        && locked(base, [&] {
                               return transformInto(base, found.machine, foundBase.ranges, &transformedBase);
                           });
            };
            kinds.back()->entry.machine = found.machine;
            kinds.back()->entry.ranges = found.ranges;
            kinds.back()->entry.baseRanges = foundBase.ranges;
        }
    }
    if (kinds.empty())
        return true;

    const int workers = JobPool::workersFor(MatchWorkersMax);
    const int firstSegments = kinds.size() > 1 ? qMin(segmentCount, (workers + 1) / 2) : segmentCount;
    std::vector<std::pair<MatchKind *, int>> jobs;
    const auto runJobs = [&](int from, int to) {
        jobs.clear();
        for (int s = from; s < to; ++s) {
            for (const auto &kind : kinds) {
                if (kind->wanted)
                    jobs.emplace_back(kind.get(), s);
            }
        }
        return JobPool::run(int(jobs.size()), workers,
                            [&](int i) { return makeSegment(jobs[size_t(i)].first, jobs[size_t(i)].second); });
    };
    if (!runJobs(0, firstSegments))
        return fail(cannot);
    if (kinds.size() > 1 && firstSegments < segmentCount) {
        qint64 sizes[2] = { 0, 0 };
        for (int k = 0; k < 2; ++k) {
            for (int s = 0; s < firstSegments; ++s)
                sizes[k] += segmentTotal(kinds[size_t(k)]->segments.at(s));
        }
        // A tenth apart on the first segments: the rest has never turned it round.
        if (sizes[0] * 10 < sizes[1] * 9)
            kinds[1]->wanted = false;
        else if (sizes[1] * 10 < sizes[0] * 9)
            kinds[0]->wanted = false;
    }
    if (!runJobs(firstSegments, segmentCount))
        return fail(cannot);

    for (const auto &kind : kinds) {
        if (!kind->wanted)
            continue;
        std::unique_ptr<QTemporaryFile> file(new QTemporaryFile);
        if (!file->open())
            return fail(cannot);
        DeltaIndex::File candidate = kind->entry;
        for (int s = 0; s < segmentCount; ++s) {
            if (file->write(kind->data.at(s)) != kind->data.at(s).size())
                return fail(cannot);
            candidate.segments.append(kind->segments.at(s));
            candidate.frames.append(segmentTotal(kind->segments.at(s)));
        }
        if (!file->flush())
            return fail(cannot);
        candidates->append(candidate);
        data->push_back(std::move(file));
    }
    return true;
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
