#include "delta/matchstreams.h"

#include "delta/deltacodec.h"
#include "delta/lzmacodec.h"
#include "delta/resultwriter.h"
#include "delta/streamdecoder.h"

#include <QIODevice>

namespace {

constexpr qint64 ChunkSize = qint64(64) << 10;

qint64 readLe64(const char *p)
{
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | uchar(p[i]);
    return qint64(value);
}

} // namespace

MatchStreams::MatchStreams()
{
    chunk.resize(int(ChunkSize));
    baseChunk.resize(int(ChunkSize));
}

MatchStreams::~MatchStreams() = default;

bool MatchStreams::fail(const QString &message)
{
    error = message;
    return false;
}

bool MatchStreams::start(const DeltaIndex::Stream &stream, QIODevice *archive, qint64 offset,
                         std::unique_ptr<StreamDecoder> *decoder)
{
    if (stream.codec == DeltaIndex::Lzma2)
        decoder->reset(new LzmaCodec::Decoder(stream.window));
    else
        decoder->reset(new DeltaCodec::StreamFrameDecoder);
    if (!(*decoder)->start(archive, offset, stream.size, stream.length))
        return fail((*decoder)->errorString());
    return true;
}

bool MatchStreams::apply(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, QIODevice *base,
                         qint64 regionOffset, qint64 regionLength, ResultWriter *out)
{
    error.clear();
    const qint64 size = segment.diff.length + segment.extra.length;
    if (!start(segment.control, archive, offset, &control)
        || !start(segment.diff, archive, offset + segment.control.size, &diff)
        || !start(segment.extra, archive, offset + segment.control.size + segment.diff.size, &extra))
        return false;
    qint64 written = 0;
    qint64 at = 0; // in the base region
    char triple[DeltaIndex::TripleSize];
    while (control->remaining() > 0) {
        if (!control->read(triple, sizeof triple))
            return fail(control->errorString());
        const qint64 seek = readLe64(triple);
        const qint64 addLength = readLe64(triple + 8);
        const qint64 copyLength = readLe64(triple + 16);
        // Each value is bounded before it takes part in a sum: no overflow can hide a lie.
        if (addLength < 0 || copyLength < 0 || addLength > size - written || copyLength > size - written - addLength
            || addLength + copyLength == 0)
            return fail(QStringLiteral("a length past the segment"));
        if (seek < -regionLength || seek > regionLength || at + seek < 0 || at + seek > regionLength - addLength)
            return fail(QStringLiteral("a seek outside the base region"));
        if (addLength > diff->remaining() || copyLength > extra->remaining())
            return fail(QStringLiteral("lengths that do not add up to the streams"));
        at += seek;
        if (!add(addLength, base, regionOffset + at, out) || !copy(copyLength, out))
            return false;
        at += addLength;
        written += addLength + copyLength;
    }
    if (written != size)
        return fail(QStringLiteral("lengths that do not add up to the segment"));
    if (!control->finish())
        return fail(control->errorString());
    if (!diff->finish())
        return fail(diff->errorString());
    if (!extra->finish())
        return fail(extra->errorString());
    return true;
}

bool MatchStreams::add(qint64 length, QIODevice *base, qint64 at, ResultWriter *out)
{
    if (length > 0 && !base->seek(at))
        return fail(QStringLiteral("cannot read the installed file"));
    for (qint64 done = 0; done < length;) {
        const qint64 now = qMin(length - done, ChunkSize);
        if (!diff->read(chunk.data(), now))
            return fail(diff->errorString());
        if (base->read(baseChunk.data(), now) != now)
            return fail(QStringLiteral("cannot read the installed file"));
        char *bytes = chunk.data();
        const char *old = baseChunk.constData();
        for (qint64 i = 0; i < now; ++i)
            bytes[i] = char(uchar(bytes[i]) + uchar(old[i]));
        if (!out->write(bytes, now))
            return fail(QStringLiteral("cannot write: %1").arg(out->errorString()));
        done += now;
    }
    return true;
}

bool MatchStreams::copy(qint64 length, ResultWriter *out)
{
    for (qint64 done = 0; done < length;) {
        const qint64 now = qMin(length - done, ChunkSize);
        if (!extra->read(chunk.data(), now))
            return fail(extra->errorString());
        if (!out->write(chunk.constData(), now))
            return fail(QStringLiteral("cannot write: %1").arg(out->errorString()));
        done += now;
    }
    return true;
}
