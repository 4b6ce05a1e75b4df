#include "delta/matchstreams.h"

#include "delta/lzmacodec.h"
#include "delta/resultwriter.h"
#include "delta/streamdecoder.h"
#include "delta/zstdframes.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 ChunkSize = qint64(64) << 10;
constexpr qint64 BlockSize = qint64(64) << 10;
constexpr int Slots = 32; // 2 MiB of the base

// \a difference plus \a old into \a bytes, byte by byte (modulo 256), eight at a time: no carry crosses a byte.
void addBytes(char *bytes, const char *difference, const char *old, qint64 size)
{
    constexpr quint64 Low = 0x7f7f7f7f7f7f7f7fULL;
    constexpr quint64 High = 0x8080808080808080ULL;
    qint64 i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 a;
        quint64 b;
        memcpy(&a, difference + i, 8);
        memcpy(&b, old + i, 8);
        const quint64 sum = ((a & Low) + (b & Low)) ^ ((a ^ b) & High);
        memcpy(bytes + i, &sum, 8);
    }
    for (; i < size; ++i)
        bytes[i] = char(uchar(difference[i]) + uchar(old[i]));
}

qint64 readLe64(const char *p)
{
    quint64 value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | uchar(p[i]);
    return qint64(value);
}

} // namespace

MatchStreams::MatchStreams() = default;

MatchStreams::~MatchStreams() = default;

bool MatchStreams::fail(const QString &message)
{
    error = message;
    return false;
}

bool MatchStreams::start(int slot, const DeltaIndex::Stream &stream, QIODevice *archive, qint64 offset)
{
    if (slot == 1)
        diff.stop(); // its decoder is started again below
    StreamDecoder *decoder = nullptr;
    if (stream.codec == DeltaIndex::Lzma2) {
        if (!lzma[slot])
            lzma[slot].reset(new LzmaCodec::Decoder);
        lzma[slot]->setDictionary(stream.window);
        decoder = lzma[slot].get();
    } else {
        if (!zstd[slot])
            zstd[slot].reset(new ZstdFrames::StreamFrameDecoder);
        decoder = zstd[slot].get();
    }
    decoder->setDeviceLock(&archiveLock);
    if (!decoder->start(archive, offset, stream.size, stream.length))
        return fail(decoder->errorString());
    if (slot == 1)
        diff.start(decoder);
    else
        (slot == 0 ? control : extra) = decoder;
    return true;
}

bool MatchStreams::apply(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, QIODevice *base,
                         qint64 regionOffset, qint64 regionLength, ResultWriter *out)
{
    baseDevice = base;
    baseMemory = nullptr;
    slotBlock.fill(-1, Slots); // another base, or another file's
    return applySegment(segment, archive, offset, regionOffset, regionLength, out);
}

bool MatchStreams::apply(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, const char *base,
                         qint64 regionOffset, qint64 regionLength, ResultWriter *out)
{
    baseDevice = nullptr;
    baseMemory = base;
    return applySegment(segment, archive, offset, regionOffset, regionLength, out);
}

bool MatchStreams::applySegment(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset,
                                qint64 regionOffset, qint64 regionLength, ResultWriter *out)
{
    error.clear();
    const qint64 size = segment.diff.length + segment.extra.length;
    if (!start(0, segment.control, archive, offset) || !start(1, segment.diff, archive, offset + segment.control.size)
        || !start(2, segment.extra, archive, offset + segment.control.size + segment.diff.size))
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
        if (addLength > diff.remaining() || copyLength > extra->remaining())
            return fail(QStringLiteral("lengths that do not add up to the streams"));
        at += seek;
        if (!add(addLength, regionOffset + at, out) || !copy(copyLength, out))
            return false;
        at += addLength;
        written += addLength + copyLength;
    }
    if (written != size)
        return fail(QStringLiteral("lengths that do not add up to the segment"));
    if (!control->finish())
        return fail(control->errorString());
    if (!diff.finish())
        return fail(diff.errorString());
    if (!extra->finish())
        return fail(extra->errorString());
    return true;
}

// The caller has checked that the bytes lie in the base region: in place for a base in memory, else
// up to the end of their block, read into its slot when another block is there.
const char *MatchStreams::baseBytes(qint64 at, qint64 wanted, qint64 *size)
{
    if (baseMemory) {
        *size = wanted;
        return baseMemory + at;
    }
    if (blocks.size() != Slots * BlockSize)
        blocks.resize(int(Slots * BlockSize));
    const qint64 block = at / BlockSize;
    const int slot = int(block % Slots);
    char *bytes = blocks.data() + slot * BlockSize;
    const qint64 offset = at - block * BlockSize;
    *size = qMin(wanted, BlockSize - offset);
    if (slotBlock.at(slot) != block) {
        slotBlock[slot] = -1;
        // A block cut by the base's end holds less; what is asked of it must be there.
        if (!baseDevice->seek(block * BlockSize) || baseDevice->read(bytes, BlockSize) < offset + *size)
            return nullptr;
        slotBlock[slot] = block;
    }
    return bytes + offset;
}

bool MatchStreams::add(qint64 length, qint64 at, ResultWriter *out)
{
    for (qint64 done = 0; done < length;) {
        // The sum goes straight into the result's buffer.
        qint64 room = 0;
        char *bytes = out->reserve(qMin(length - done, ChunkSize), &room);
        const char *old = baseBytes(at + done, room, &room);
        if (!old)
            return fail(QStringLiteral("cannot read the installed file"));
        qint64 now = 0;
        const char *difference = diff.next(room, &now);
        if (!difference)
            return fail(diff.errorString());
        addBytes(bytes, difference, old, now);
        out->commit(now);
        done += now;
    }
    return true;
}

bool MatchStreams::copy(qint64 length, ResultWriter *out)
{
    for (qint64 done = 0; done < length;) {
        qint64 now = 0;
        char *bytes = out->reserve(length - done, &now);
        if (!extra->read(bytes, now))
            return fail(extra->errorString());
        out->commit(now);
        done += now;
    }
    return true;
}
