#include "delta/zstdframes.h"

#include <QIODevice>

#include <functional>

#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getFrameHeader, ZSTD_d_stableOutBuffer
#include <zstd.h>

namespace ZstdFrames {

namespace {

constexpr qint64 InputChunk = qint64(1) << 20;

int windowLogFor(qint64 bytes, int maximum)
{
    int log = ZSTD_WINDOWLOG_MIN;
    while (log < maximum && (qint64(1) << log) < bytes)
        ++log;
    return log;
}

// One frame of \a size bytes at \a data, the context set up by \a configure first; empty on failure.
QByteArray compressWith(const char *data, qint64 size, const std::function<bool(ZSTD_CCtx *)> &configure)
{
    ZSTD_CCtx *context = ZSTD_createCCtx();
    if (!context)
        return QByteArray();
    QByteArray frame(int(ZSTD_compressBound(size_t(size))), Qt::Uninitialized);
    const bool ok = configure(context);
    size_t written = 0;
    if (ok)
        written = ZSTD_compress2(context, frame.data(), size_t(frame.size()), data, size_t(size));
    ZSTD_freeCCtx(context);
    if (!ok || ZSTD_isError(written))
        return QByteArray();
    frame.resize(int(written));
    return frame;
}

ZSTD_DCtx *dctx(void *context)
{
    return static_cast<ZSTD_DCtx *>(context);
}

} // namespace

void baseRegion(qint64 index, qint64 baseSize, qint64 *offset, qint64 *length)
{
    const qint64 start = qBound<qint64>(0, index * SegmentSize - Margin, baseSize);
    const qint64 end = qBound<qint64>(0, (index + 1) * SegmentSize + Margin, baseSize);
    *offset = start;
    *length = end - start;
}

qint64 segmentCount(qint64 size)
{
    return (size + SegmentSize - 1) / SegmentSize;
}

QByteArray compressFrame(const char *prefix, qint64 prefixSize, const char *data, qint64 size, int level)
{
    return compressWith(data, size, [&](ZSTD_CCtx *context) {
        // The window reaches back over the whole base region: that is where the matches are.
        return !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog,
                                                        windowLogFor(prefixSize + size, WindowLogMax)))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_enableLongDistanceMatching, 1))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1))
                && (prefixSize == 0 || !ZSTD_isError(ZSTD_CCtx_refPrefix(context, prefix, size_t(prefixSize))));
    });
}

Decoder::Decoder()
    : context(ZSTD_createDCtx())
{
}

Decoder::~Decoder()
{
    ZSTD_freeDCtx(dctx(context));
}

bool Decoder::fail(const QString &message)
{
    error = message;
    return false;
}

bool Decoder::decode(QIODevice *in, qint64 frameSize, const char *prefix, qint64 prefixSize, char *out, qint64 size)
{
    if (!context)
        return fail(QStringLiteral("out of memory"));
    if (input.size() != InputChunk)
        input.resize(int(InputChunk));
    ZSTD_DCtx *d = dctx(context);
    ZSTD_DCtx_reset(d, ZSTD_reset_session_and_parameters);
    // The output is one buffer of the segment's size: the decoder keeps no window of its own.
    if (ZSTD_isError(ZSTD_DCtx_setParameter(d, ZSTD_d_windowLogMax, WindowLogMax))
        || ZSTD_isError(ZSTD_DCtx_setParameter(d, ZSTD_d_stableOutBuffer, 1))
        || (prefixSize > 0 && ZSTD_isError(ZSTD_DCtx_refPrefix(d, prefix, size_t(prefixSize)))))
        return fail(QStringLiteral("cannot set up the decoder"));

    ZSTD_outBuffer output { out, size_t(size), 0 };
    qint64 left = frameSize;
    bool headerChecked = false;
    size_t result = 1;
    while (left > 0) {
        const qint64 want = qMin(left, InputChunk);
        if (in->read(input.data(), want) != want)
            return fail(QStringLiteral("the delta ends early"));
        left -= want;
        if (!headerChecked) {
            // The frame must say what its entry says before a byte is decoded.
            ZSTD_frameHeader header;
            if (ZSTD_getFrameHeader(&header, input.constData(), size_t(want)) != 0 || header.frameType != ZSTD_frame)
                return fail(QStringLiteral("not a delta frame"));
            if (header.dictID != 0)
                return fail(QStringLiteral("a frame asks for a dictionary (ID %1); a delta's frames use none")
                                    .arg(header.dictID));
            if (header.frameContentSize != quint64(size))
                return fail(QStringLiteral("a frame declares %1 bytes where %2 are expected")
                                    .arg(header.frameContentSize == ZSTD_CONTENTSIZE_UNKNOWN ? QStringLiteral("unknown")
                                                                                           : QString::number(header.frameContentSize))
                                    .arg(size));
            if (header.windowSize > (quint64(1) << WindowLogMax))
                return fail(QStringLiteral("a frame asks for a window larger than %1 MiB").arg((1 << WindowLogMax) >> 20));
            headerChecked = true;
        }
        ZSTD_inBuffer chunk { input.constData(), size_t(want), 0 };
        while (chunk.pos < chunk.size) {
            if (result == 0)
                return fail(QStringLiteral("bytes follow the end of a frame"));
            result = ZSTD_decompressStream(d, &output, &chunk);
            if (ZSTD_isError(result))
                return fail(QStringLiteral("a frame is damaged (%1)").arg(QString::fromLatin1(ZSTD_getErrorName(result))));
        }
    }
    if (result != 0 || output.pos != size_t(size))
        return fail(QStringLiteral("a frame ends early"));
    return true;
}

QByteArray compressStream(const char *data, qint64 size, int level)
{
    return compressWith(data, size, [&](ZSTD_CCtx *context) {
        return !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog,
                                                        windowLogFor(size, StreamWindowLogMax)))
                && !ZSTD_isError(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1));
    });
}

StreamFrameDecoder::StreamFrameDecoder()
    : context(ZSTD_createDCtx())
{
}

StreamFrameDecoder::~StreamFrameDecoder()
{
    ZSTD_freeDCtx(dctx(context));
}

bool StreamFrameDecoder::reset(qint64 length)
{
    if (!context)
        return fail(QStringLiteral("out of memory"));
    ZSTD_DCtx *d = dctx(context);
    ZSTD_DCtx_reset(d, ZSTD_reset_session_and_parameters);
    if (ZSTD_isError(ZSTD_DCtx_setParameter(d, ZSTD_d_windowLogMax, StreamWindowLogMax)))
        return fail(QStringLiteral("cannot set up the decoder"));
    expected = length;
    headerChecked = false;
    return true;
}

bool StreamFrameDecoder::step(const char *in, qint64 inSize, qint64 *inUsed, char *out, qint64 outSize,
                              qint64 *outGiven, bool *ended)
{
    if (!headerChecked) {
        // The whole header is in the first chunk of any frame we write; a frame whose is not is refused.
        ZSTD_frameHeader header;
        if (ZSTD_getFrameHeader(&header, in, size_t(inSize)) != 0 || header.frameType != ZSTD_frame
            || header.dictID != 0)
            return fail(QStringLiteral("not a stream frame"));
        if (header.frameContentSize != quint64(expected))
            return fail(QStringLiteral("a stream declares another length than its entry"));
        if (header.windowSize > (quint64(1) << StreamWindowLogMax))
            return fail(QStringLiteral("a stream asks for a window larger than %1 MiB")
                                .arg((1 << StreamWindowLogMax) >> 20));
        headerChecked = true;
    }
    ZSTD_inBuffer input { in, size_t(inSize), 0 };
    ZSTD_outBuffer output { out, size_t(outSize), 0 };
    const size_t result = ZSTD_decompressStream(dctx(context), &output, &input);
    if (ZSTD_isError(result))
        return fail(QStringLiteral("a stream is damaged (%1)").arg(QString::fromLatin1(ZSTD_getErrorName(result))));
    *inUsed = qint64(input.pos);
    *outGiven = qint64(output.pos);
    *ended = result == 0;
    return true;
}

} // namespace ZstdFrames
