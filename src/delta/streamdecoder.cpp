#include "delta/streamdecoder.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 InputChunk = qint64(64) << 10;
constexpr qint64 OutputChunk = qint64(64) << 10;

} // namespace

bool StreamDecoder::fail(const QString &message)
{
    error = message;
    return false;
}

bool StreamDecoder::start(QIODevice *source, qint64 offset, qint64 size, qint64 total)
{
    device = source;
    next = offset;
    inputLeft = size;
    inputAt = inputEnd = 0;
    length = total;
    produced = 0;
    decoded = 0;
    outputAt = outputEnd = 0;
    ended = false;
    error.clear();
    // An empty stream is stored as nothing at all.
    if (size == 0 && total == 0) {
        ended = true;
        return true;
    }
    if (input.size() != InputChunk)
        input.resize(int(InputChunk));
    return reset(total);
}

bool StreamDecoder::fill()
{
    const qint64 want = qMin(inputLeft, InputChunk);
    if (want == 0)
        return true;
    std::unique_lock<std::mutex> guard;
    if (deviceLock)
        guard = std::unique_lock<std::mutex>(*deviceLock);
    if (!device->seek(next) || device->read(input.data(), want) != want)
        return fail(QStringLiteral("the delta ends early"));
    next += want;
    inputLeft -= want;
    inputAt = 0;
    inputEnd = want;
    return true;
}

bool StreamDecoder::read(char *out, qint64 size)
{
    if (size > length - produced)
        return fail(QStringLiteral("a stream is asked for more than it announces"));
    // Small reads (a control triple, a short match) come from a chunk decoded ahead: one call
    // into the codec per chunk, not per read.
    const qint64 buffered = qMin(size, outputEnd - outputAt);
    memcpy(out, output.constData() + outputAt, size_t(buffered));
    outputAt += buffered;
    const qint64 rest = size - buffered;
    if (rest >= OutputChunk) {
        if (!decode(out + buffered, rest))
            return false;
    } else if (rest > 0) {
        if (output.size() != OutputChunk)
            output.resize(int(OutputChunk));
        const qint64 ahead = qMin(OutputChunk, length - decoded);
        if (!decode(output.data(), ahead))
            return false;
        memcpy(out + buffered, output.constData(), size_t(rest));
        outputAt = rest;
        outputEnd = ahead;
    }
    produced += size;
    return true;
}

bool StreamDecoder::decode(char *out, qint64 size)
{
    qint64 given = 0;
    while (given < size) {
        if (ended)
            return fail(QStringLiteral("a stream ends early"));
        if (inputAt == inputEnd && !fill())
            return false;
        qint64 used = 0;
        qint64 now = 0;
        if (!step(input.constData() + inputAt, inputEnd - inputAt, &used, out + given, size - given, &now, &ended))
            return false;
        inputAt += used;
        given += now;
        // No progress: cut when no input is left, damaged when some is.
        if (used == 0 && now == 0 && !ended && inputLeft == 0)
            return fail(inputAt == inputEnd ? QStringLiteral("a stream ends early")
                                            : QStringLiteral("a stream is damaged"));
    }
    decoded += size;
    return true;
}

bool StreamDecoder::finish()
{
    // One byte more must find the end: a stream that goes on is as wrong as one that stops short.
    char extra = 0;
    while (!ended) {
        if (inputAt == inputEnd && !fill())
            return false;
        qint64 used = 0;
        qint64 now = 0;
        if (!step(input.constData() + inputAt, inputEnd - inputAt, &used, &extra, 1, &now, &ended))
            return false;
        inputAt += used;
        if (now != 0)
            return fail(QStringLiteral("a stream holds more than it announces"));
        if (used == 0 && !ended && inputLeft == 0)
            return fail(inputAt == inputEnd ? QStringLiteral("a stream ends early")
                                            : QStringLiteral("a stream is damaged"));
    }
    if (produced != length || inputAt != inputEnd || inputLeft != 0)
        return fail(QStringLiteral("bytes follow the end of a stream"));
    return true;
}
