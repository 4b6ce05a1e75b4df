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
    const bool packed = segment.layout == DeltaIndex::Packed;
    // Packed, the differences cover what the extra bytes leave of the segment.
    const qint64 size = packed ? segment.length : segment.diff.length + segment.extra.length;
    if (!start(0, segment.control, archive, offset) || !start(1, segment.diff, archive, offset + segment.control.size)
        || !start(2, segment.extra, archive, offset + segment.control.size + segment.diff.size))
        return false;
    packedAt = packedEnd = nullptr;
    zerosLeft = 0;
    byteLeft = false;
    differencesLeft = size - segment.extra.length;
    qint64 written = 0;
    qint64 at = 0; // in the base region
    groupAt = groupSize = 0;
    while (control->remaining() > 0 || groupAt < groupSize) {
        qint64 seek = 0;
        qint64 addLength = 0;
        qint64 copyLength = 0;
        if (!readTriple(packed, &seek, &addLength, &copyLength))
            return false;
        // Each value is bounded before it takes part in a sum: no overflow can hide a lie.
        if (addLength < 0 || copyLength < 0 || addLength > size - written || copyLength > size - written - addLength
            || addLength + copyLength == 0)
            return fail(QStringLiteral("a length past the segment"));
        if (seek < -regionLength || seek > regionLength || at + seek < 0 || at + seek > regionLength - addLength)
            return fail(QStringLiteral("a seek outside the base region"));
        if (addLength > differencesLeft || copyLength > extra->remaining())
            return fail(QStringLiteral("lengths that do not add up to the streams"));
        at += seek;
        if (!add(packed, addLength, regionOffset + at, out) || !copy(copyLength, out))
            return false;
        at += addLength;
        written += addLength + copyLength;
    }
    if (written != size)
        return fail(QStringLiteral("lengths that do not add up to the segment"));
    // Packed, a pair left unread would change a byte past the segment.
    if (packed && (byteLeft || packedAt != packedEnd || diff.remaining() > 0 || groupAt < groupSize))
        return fail(QStringLiteral("lengths that do not add up to the streams"));
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

bool MatchStreams::readTriple(bool packed, qint64 *seek, qint64 *addLength, qint64 *copyLength)
{
    if (!packed) {
        char triple[DeltaIndex::TripleSize];
        if (!control->read(triple, sizeof triple))
            return fail(control->errorString());
        *seek = readLe64(triple);
        *addLength = readLe64(triple + 8);
        *copyLength = readLe64(triple + 16);
        return true;
    }
    if (groupAt == groupSize) {
        quint64 count = 0;
        if (!readValue(&count))
            return false;
        if (count == 0 || count > quint64(DeltaIndex::PackedGroup))
            return fail(QStringLiteral("a group of %1 matches").arg(count));
        for (int value = 0; value < 3; ++value) {
            for (quint64 i = 0; i < count; ++i) {
                if (!readValue(&group[size_t(i) * 3 + size_t(value)]))
                    return false;
            }
        }
        groupAt = 0;
        groupSize = int(count);
    }
    const quint64 *values = &group[size_t(groupAt++) * 3];
    *seek = qint64(values[0] >> 1) ^ -qint64(values[0] & 1);
    // Lengths beyond 63 bits read as negative: the caller refuses them.
    *addLength = qint64(values[1]);
    *copyLength = qint64(values[2]);
    return true;
}

bool MatchStreams::readValue(quint64 *value)
{
    *value = 0;
    for (int shift = 0;; shift += 7) {
        char byte = 0;
        if (shift > 63)
            return fail(QStringLiteral("a value too long"));
        if (!control->read(&byte, 1))
            return fail(control->errorString());
        *value |= quint64(uchar(byte) & 0x7f) << shift;
        if (!(uchar(byte) & 0x80))
            return true;
    }
}

// The next byte of the packed differences, through windows of the decoded stream; false at its end.
bool MatchStreams::nextPackedByte(uchar *byte)
{
    if (packedAt == packedEnd) {
        if (diff.remaining() == 0)
            return false;
        qint64 got = 0;
        packedAt = diff.next(qMin(diff.remaining(), ChunkSize), &got);
        if (!packedAt)
            return false;
        packedEnd = packedAt + got;
    }
    *byte = uchar(*packedAt++);
    return true;
}

// The base's bytes plus the packed differences: all zeros but a few, each after its count of zeros.
bool MatchStreams::addPacked(char *bytes, const char *old, qint64 size)
{
    memcpy(bytes, old, size_t(size));
    for (qint64 i = 0;;) {
        if (zerosLeft >= size - i) {
            zerosLeft -= size - i;
            return true;
        }
        i += zerosLeft;
        zerosLeft = 0;
        if (byteLeft) {
            bytes[i] = char(uchar(bytes[i]) + pendingByte);
            byteLeft = false;
            ++i;
            continue;
        }
        // The next pair; after the last, zeros to the segment's end.
        uchar byte = 0;
        if (!nextPackedByte(&byte)) {
            if (!diff.errorString().isEmpty())
                return fail(diff.errorString());
            zerosLeft = differencesLeft - i;
            continue;
        }
        quint64 zeros = byte;
        if (byte == 255) {
            quint64 rest = 0;
            for (int shift = 0;; shift += 7) {
                if (shift > 63 || !nextPackedByte(&byte))
                    return fail(QStringLiteral("the differences end inside a pair"));
                rest |= quint64(byte & 0x7f) << shift;
                if (!(byte & 0x80))
                    break;
            }
            // Past any segment: refused below without overflowing here.
            zeros = rest > (quint64(1) << 62) ? rest : rest + 255;
        }
        if (!nextPackedByte(&pendingByte))
            return fail(QStringLiteral("the differences end inside a pair"));
        if (zeros >= quint64(differencesLeft - i))
            return fail(QStringLiteral("a length past the segment"));
        zerosLeft = qint64(zeros);
        byteLeft = true;
    }
}

bool MatchStreams::add(bool packed, qint64 length, qint64 at, ResultWriter *out)
{
    for (qint64 done = 0; done < length;) {
        // The sum goes straight into the result's buffer.
        qint64 room = 0;
        char *bytes = out->reserve(qMin(length - done, ChunkSize), &room);
        const char *old = baseBytes(at + done, room, &room);
        if (!old)
            return fail(QStringLiteral("cannot read the installed file"));
        qint64 now = room;
        if (packed) {
            if (!addPacked(bytes, old, now))
                return false;
        } else {
            const char *difference = diff.next(room, &now);
            if (!difference)
                return fail(diff.errorString());
            addBytes(bytes, difference, old, now);
        }
        differencesLeft -= now;
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
