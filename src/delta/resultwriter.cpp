#include "delta/resultwriter.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;
// Room before a chunk's bytes for what the transform held back of the last: four bytes at most.
constexpr qint64 Headroom = 16;

} // namespace

ResultWriter::ResultWriter(QIODevice *device)
    : output(device)
    , queue(2 * ChunkSize) // the chunk being made, and two more waiting for the thread at most
{
    buffer.resize(int(Headroom + ChunkSize));
    worker = std::thread([this] { run(); });
}

ResultWriter::~ResultWriter()
{
    queue.close();
    worker.join();
}

void ResultWriter::setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                                BranchTransform::Direction direction)
{
    // Applied on the thread, as the bytes are written: the next ones are made here meanwhile.
    queue.waitIdle();
    transform.reset(machine == BranchTransform::NoMachine ? nullptr : new BranchTransform(machine, ranges, direction));
    heldBack.clear();
}

// Each chunk in order: transformed, written, hashed; its bytes handed back for the next.
void ResultWriter::run()
{
    ChunkQueue::Chunk chunk;
    while (queue.pop(&chunk)) {
        qint64 length = chunk.length;
        const char *data = transform ? transformed(&chunk, &length) : chunk.bytes.constData() + chunk.offset;
        // A short write carries no reason; the next one fails with it (a full disk says so).
        for (qint64 done = 0; failedWrite.isEmpty() && done < length;) {
            const qint64 w = output->write(data + done, length - done);
            if (w <= 0)
                failedWrite = output->errorString();
            else
                done += w;
        }
        hash.addData(data, length);
        queue.done(std::move(chunk));
    }
}

// The chunk's bytes through the transform, led by what it held back of the last one (in the room
// before them, else in a copy); the final ones, \a length of them.
const char *ResultWriter::transformed(ChunkQueue::Chunk *chunk, qint64 *length)
{
    char *data = chunk->bytes.data() + chunk->offset;
    qint64 size = chunk->length;
    if (!heldBack.isEmpty()) {
        if (chunk->offset >= heldBack.size()) {
            data -= heldBack.size();
            memcpy(data, heldBack.constData(), size_t(heldBack.size()));
        } else {
            chunk->bytes = heldBack + QByteArray(data, int(size));
            data = chunk->bytes.data();
        }
        size += heldBack.size();
    }
    const qint64 ready = transform->process(data, size, chunk->last);
    heldBack = QByteArray(data + ready, int(size - ready));
    *length = ready;
    return data;
}

QByteArray ResultWriter::sha256()
{
    queue.waitIdle();
    return hash.result();
}

void ResultWriter::write(const char *data, qint64 size)
{
    while (size > 0) {
        qint64 now = 0;
        char *room = reserve(size, &now);
        memcpy(room, data, size_t(now));
        commit(now);
        data += now;
        size -= now;
    }
}

char *ResultWriter::reserve(qint64 wanted, qint64 *room)
{
    *room = qMin(wanted, ChunkSize - held);
    return buffer.data() + Headroom + held;
}

void ResultWriter::commit(qint64 size)
{
    held += size;
    if (held == ChunkSize)
        flush(false);
}

bool ResultWriter::writeFrom(QIODevice *in, qint64 size)
{
    QByteArray chunk(int(ChunkSize), Qt::Uninitialized);
    if (!in->seek(0)) {
        error = in->errorString();
        return false;
    }
    for (qint64 left = size; left > 0;) {
        const qint64 n = in->read(chunk.data(), qMin(left, ChunkSize));
        if (n <= 0) {
            error = QStringLiteral("cannot read: %1").arg(in->errorString());
            return false;
        }
        write(chunk.constData(), n);
        left -= n;
    }
    return true;
}

bool ResultWriter::finish()
{
    flush(true);
    queue.waitIdle();
    error = failedWrite;
    return error.isEmpty();
}

void ResultWriter::flush(bool last)
{
    // The chunk goes to the thread as it is, transformed, written and hashed there (a failed
    // write shows at finish()).
    queue.push({ std::move(buffer), Headroom, held, last, true });
    buffer = spareChunk();
    total += held;
    held = 0;
}

// A chunk the thread is done with, else a new one.
QByteArray ResultWriter::spareChunk()
{
    QByteArray chunk = queue.takeSpare();
    return chunk.size() == Headroom + ChunkSize ? chunk : QByteArray(int(Headroom + ChunkSize), Qt::Uninitialized);
}
