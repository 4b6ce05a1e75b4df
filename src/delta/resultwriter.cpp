#include "delta/resultwriter.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;
// Room before a chunk's bytes for what the transform held back of the last: four bytes at most.
constexpr qint64 Headroom = 16;

} // namespace

ResultWriter::ResultWriter(QIODevice *device)
    : hash(2 * ChunkSize) // the chunk being made, and two more waiting for the thread at most
{
    buffer.resize(int(Headroom + ChunkSize));
    hash.setOutput(device);
}

ResultWriter::~ResultWriter() = default;

void ResultWriter::setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                                BranchTransform::Direction direction)
{
    transform.reset(machine == BranchTransform::NoMachine ? nullptr : new BranchTransform(machine, ranges, direction));
    // On the thread, as the bytes are written: the next ones are made here meanwhile.
    BranchTransform *t = transform.get();
    hash.setFilter(t ? StreamHasher::Filter([t](char *data, qint64 size, bool last) { return t->process(data, size, last); })
                     : StreamHasher::Filter());
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
    error = hash.writeError();
    return error.isEmpty();
}

void ResultWriter::flush(bool last)
{
    // The chunk goes to the hasher's thread as it is, transformed, written and hashed there (a failed
    // write shows at finish()).
    hash.addData(std::move(buffer), Headroom, held, last);
    buffer = spareChunk();
    total += held;
    held = 0;
}

// A chunk the thread is done with, else a new one.
QByteArray ResultWriter::spareChunk()
{
    QByteArray chunk = hash.takeSpare();
    return chunk.size() == Headroom + ChunkSize ? chunk : QByteArray(int(Headroom + ChunkSize), Qt::Uninitialized);
}
