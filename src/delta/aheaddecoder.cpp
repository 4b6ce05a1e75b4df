#include "delta/aheaddecoder.h"

#include "delta/streamdecoder.h"

namespace {

constexpr qint64 ChunkSize = qint64(256) << 10;
constexpr int Chunks = 4; // decoded and waiting, or being decoded: 1 MiB

} // namespace

AheadDecoder::~AheadDecoder()
{
    stop();
}

void AheadDecoder::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (worker.joinable())
        worker.join();
}

void AheadDecoder::start(StreamDecoder *streamDecoder)
{
    stop();
    decoder = streamDecoder;
    length = decoder->remaining();
    taken = 0;
    current = Chunk();
    currentAt = 0;
    ready.clear();
    done = false;
    stopping = false;
    failure.clear();
    error.clear();
    while (int(spare.size()) < Chunks)
        spare.emplace_back(int(ChunkSize), Qt::Uninitialized);
    worker = std::thread([this] { run(); });
}

void AheadDecoder::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (qint64 decoded = 0;;) {
        changed.wait(lock, [this] { return stopping || !spare.empty(); });
        if (stopping)
            return;
        Chunk chunk { std::move(spare.front()), qMin(ChunkSize, length - decoded) };
        spare.pop_front();
        lock.unlock();
        // The last chunk is followed by the check that the stream ends there.
        const bool ok = chunk.size > 0 ? decoder->read(chunk.bytes.data(), chunk.size)
                                       : decoder->finish();
        lock.lock();
        if (!ok) {
            failure = decoder->errorString();
            done = true;
        } else if (chunk.size > 0) {
            decoded += chunk.size;
            ready.push_back(std::move(chunk));
        } else {
            done = true;
        }
        changed.notify_all();
        if (done)
            return;
    }
}

const char *AheadDecoder::next(qint64 wanted, qint64 *got)
{
    if (wanted > remaining()) {
        error = QStringLiteral("a stream is asked for more than it announces");
        return nullptr;
    }
    if (currentAt == current.size) {
        std::unique_lock<std::mutex> lock(mutex);
        if (!current.bytes.isNull())
            spare.push_back(std::move(current.bytes));
        current = Chunk();
        changed.notify_all();
        changed.wait(lock, [this] { return !ready.empty() || done; });
        if (ready.empty()) {
            error = failure.isEmpty() ? QStringLiteral("a stream ends early") : failure;
            return nullptr;
        }
        current = std::move(ready.front());
        ready.pop_front();
        currentAt = 0;
    }
    *got = qMin(wanted, current.size - currentAt);
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
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return done; });
    if (!failure.isEmpty()) {
        error = failure;
        return false;
    }
    return true;
}
