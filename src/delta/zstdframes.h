#ifndef ZSTDFRAMES_H
#define ZSTDFRAMES_H

#include "delta/streamdecoder.h"

#include <QByteArray>
#include <QString>

class QIODevice;

/*!
    Zstandard, behind one small interface: no other file names a libzstd
    type. Its patch-from mode for delta frames, and plain frames for the
    streams of approximate matches.

    A file is rebuilt segment by segment (SegmentSize bytes of the result
    each), every segment one frame made against the base file's bytes at the
    same offsets, Margin bytes wider on each side. A client so holds at most
    one base region and one segment in memory, whatever the files' sizes.
*/
namespace ZstdFrames {

constexpr qint64 SegmentSize = qint64(16) << 20;
constexpr qint64 Margin = qint64(4) << 20;
// A window that covers a whole base region and its segment (40 MiB); frames asking more are refused.
constexpr int WindowLogMax = 26;

/*! The part of a base file of \a baseSize bytes that segment \a index refers to. */
void baseRegion(qint64 index, qint64 baseSize, qint64 *offset, qint64 *length);

/*! The number of segments of a result of \a size bytes. */
qint64 segmentCount(qint64 size);

/*!
    One frame of \a size bytes at \a data, made against \a prefix (may be
    empty: the segment alone) at compression \a level, with long-distance
    matching, its content size and a checksum. Empty on failure.
*/
QByteArray compressFrame(const char *prefix, qint64 prefixSize, const char *data, qint64 size, int level);

// The window a stream of approximate matches may ask (8 MiB), as an LZMA2 stream's dictionary.
constexpr int StreamWindowLogMax = 23;

/*! \a size bytes at \a data as one frame at \a level, its window no larger than the stream; empty on failure. */
QByteArray compressStream(const char *data, qint64 size, int level);

/*! Decodes one frame of compressStream(), refusing a window above StreamWindowLogMax. */
class StreamFrameDecoder : public StreamDecoder
{
public:
    StreamFrameDecoder();
    ~StreamFrameDecoder() override;
    StreamFrameDecoder(const StreamFrameDecoder &) = delete;
    StreamFrameDecoder &operator=(const StreamFrameDecoder &) = delete;

protected:
    bool reset(qint64 length) override;
    bool step(const char *in, qint64 inSize, qint64 *inUsed, char *out, qint64 outSize, qint64 *outGiven,
              bool *ended) override;

private:
    void *context = nullptr; // the decompression context
    qint64 expected = 0;
    bool headerChecked = false;
};

/*! Decodes frames one at a time, in bounded memory, refusing what does not fit their entry. */
class Decoder
{
public:
    Decoder();
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    /*!
        Reads exactly \a frameSize bytes from \a in, one frame that must
        declare \a size bytes of content and a window within WindowLogMax, and
        decodes it against \a prefix into \a out (\a size bytes). False, with
        errorString(), for anything else: another size, a larger window, a
        damaged frame, bytes left over.
    */
    bool decode(QIODevice *in, qint64 frameSize, const char *prefix, qint64 prefixSize, char *out, qint64 size);
    QString errorString() const { return error; }

private:
    bool fail(const QString &message);

    void *context = nullptr; // the decompression context
    QByteArray input;
    QString error;
};

} // namespace ZstdFrames

#endif // ZSTDFRAMES_H
