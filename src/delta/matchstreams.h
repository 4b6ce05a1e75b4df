#ifndef MATCHSTREAMS_H
#define MATCHSTREAMS_H

#include "delta/aheaddecoder.h"
#include "delta/deltaindex.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>
#include <mutex>
#include <vector>

class QIODevice;
class ResultWriter;
class StreamDecoder;
namespace ZstdFrames { class StreamFrameDecoder; }
namespace LzmaCodec { class Decoder; }

/*!
    Rebuilds one segment of a file from its approximate matches: the control
    stream's (seek, add, copy) triples say how many bytes to take from the
    base region, each the sum of a base byte and a byte of the difference
    stream, and how many from the extra stream as they are.

    Every control value is checked before it is used: lengths past the
    segment, a seek outside the base region, totals that do not match the
    streams. The base is in memory or read by seeking, through a few blocks,
    and the result written in order, so memory is the three decoders'
    windows and a few chunks; the difference stream is decoded ahead on a
    thread of its own.
*/
class MatchStreams
{
public:
    MatchStreams();
    ~MatchStreams();
    MatchStreams(const MatchStreams &) = delete;
    MatchStreams &operator=(const MatchStreams &) = delete;

    /*!
        Rebuilds \a segment, whose streams lie one after another from \a offset
        of \a archive, against the \a regionLength bytes of \a base at
        \a regionOffset, into \a out. False, with errorString(), for any lie
        or damage.
    */
    bool apply(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, QIODevice *base,
               qint64 regionOffset, qint64 regionLength, ResultWriter *out);
    /*! The same against a base held in memory, \a base its first byte. */
    bool apply(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, const char *base,
               qint64 regionOffset, qint64 regionLength, ResultWriter *out);
    QString errorString() const { return error; }

private:
    bool fail(const QString &message);
    // Starts stream \a slot (control, diff, extra) with a decoder of its codec, kept from segment to segment.
    bool start(int slot, const DeltaIndex::Stream &stream, QIODevice *archive, qint64 offset);
    bool applySegment(const DeltaIndex::Segment &segment, QIODevice *archive, qint64 offset, qint64 regionOffset,
                      qint64 regionLength, ResultWriter *out);
    bool readTriple(bool packed, qint64 *seek, qint64 *addLength, qint64 *copyLength);
    bool readValue(quint64 *value);
    bool nextPackedByte(uchar *byte);
    bool addPacked(char *bytes, const char *old, qint64 size);
    bool add(bool packed, qint64 length, qint64 at, ResultWriter *out);
    // Up to \a wanted bytes of the base at \a at, in one piece (\a size of them); null when it cannot be read.
    const char *baseBytes(qint64 at, qint64 wanted, qint64 *size);
    bool copy(qint64 length, ResultWriter *out);

    std::unique_ptr<LzmaCodec::Decoder> lzma[3];
    std::unique_ptr<ZstdFrames::StreamFrameDecoder> zstd[3];
    StreamDecoder *control = nullptr;
    StreamDecoder *extra = nullptr;
    // The differences carry most bytes: decoded ahead on a thread, the archive shared under a lock.
    AheadDecoder diff;
    // Packed differences: the window of the decoded stream being read, the zeros and the byte of the
    // pair being applied, and the differences the segment's triples have yet to take.
    const char *packedAt = nullptr;
    const char *packedEnd = nullptr;
    qint64 zerosLeft = 0;
    uchar pendingByte = 0;
    bool byteLeft = false;
    qint64 differencesLeft = 0;
    // Packed triples: the group being read, its values seek, add, copy by triple.
    std::vector<quint64> group = std::vector<quint64>(size_t(DeltaIndex::PackedGroup) * 3);
    int groupAt = 0;
    int groupSize = 0;
    std::mutex archiveLock;
    QIODevice *baseDevice = nullptr;
    const char *baseMemory = nullptr;
    // Blocks of a base device, each in the slot of its number: matches move forward with small
    // jumps either way, and a read per match, or a large window read again per jump, costs.
    QByteArray blocks;
    QVector<qint64> slotBlock; // the block each slot holds, -1 for none

    QString error;
};

#endif // MATCHSTREAMS_H
