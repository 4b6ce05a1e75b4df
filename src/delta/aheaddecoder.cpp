#include "delta/aheaddecoder.h"

#include "delta/streamdecoder.h"

namespace {

constexpr qint64 ChunkSize = qint64(256) << 10;
// Decoded and not yet read through, the reader's included: three chunks; with the one being decoded, 1 MiB.
constexpr qint64 Waiting = 3 * ChunkSize;

} // namespace

AheadDecoder::AheadDecoder()
    : ready(Waiting)
{
}

AheadDecoder::~AheadDecoder()
{
    stop();
}

void AheadDecoder::stop()
{
    ready.stop();
    if (worker.joinable())
        worker.join();
}

void AheadDecoder::start(StreamDecoder *streamDecoder)
{
    stop();
    decoder = streamDecoder;
    length = decoder->remaining();
    taken = 0;
    current = ChunkQueue::Chunk();
    currentAt = 0;
    ready.reopen();
    // Made here, once: memory the thread allocated would stay in a heap of its own.
    ready.fillSpares(ChunkSize);
    failure.clear();
    error.clear();
    worker = std::thread([this] { run(); });
}

void AheadDecoder::run()
{
    for (qint64 decoded = 0; decoded < length;) {
        QByteArray bytes = ready.takeSpare();
        if (bytes.size() != ChunkSize)
            bytes = QByteArray(int(ChunkSize), Qt::Uninitialized);
        const qint64 size = qMin(ChunkSize, length - decoded);
        if (!decoder->read(bytes.data(), size)) {
            failure = decoder->errorString();
            ready.close();
            return;
        }
        decoded += size;
        if (!ready.push({ std::move(bytes), 0, size, decoded == length, true }))
            return; // stopped
    }
    // The last chunk is followed by the check that the stream ends there.
    if (!decoder->finish())
        failure = decoder->errorString();
    ready.close();
}

const char *AheadDecoder::next(qint64 wanted, qint64 *got)
{
    if (wanted > remaining()) {
        error = QStringLiteral("a stream is asked for more than it announces");
        return nullptr;
    }
    if (currentAt == current.length) {
        if (!current.bytes.isNull())
            ready.done(std::move(current));
        current = ChunkQueue::Chunk();
        if (!ready.pop(&current)) {
            error = failure.isEmpty() ? QStringLiteral("a stream ends early") : failure;
            return nullptr;
        }
        currentAt = 0;
    }
    *got = qMin(wanted, current.length - currentAt);
    const char *bytes = current.bytes.constData() + currentAt;
    currentAt += *got;
    taken += *got;
    return bytes;
}

bool AheadDecoder::finish()
{
    if (taken != length) {
        error = QStringLiteral("a stream holds more than was read of it");
        return false;
    }
    // The thread checks the stream's end after the last chunk: wait for its word.
    ChunkQueue::Chunk after;
    if (ready.pop(&after)) {
        error = QStringLiteral("a stream holds more than was read of it");
        return false;
    }
    if (!failure.isEmpty()) {
        error = failure;
        return false;
    }
    return true;
}
