#include "delta/resultwriter.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;

} // namespace

ResultWriter::ResultWriter(QIODevice *device)
    : hash(2 * ChunkSize) // the chunk being made, and two more waiting for the thread at most
{
    buffer.resize(int(ChunkSize));
    hash.setOutput(device);
}

ResultWriter::~ResultWriter() = default;

void ResultWriter::setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                                BranchTransform::Direction direction)
{
    transform.reset(machine == BranchTransform::NoMachine ? nullptr : new BranchTransform(machine, ranges, direction));
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
    return buffer.data() + held;
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
    const qint64 ready = transform ? transform->process(buffer.data(), held, last) : held;
    // The chunk goes to the hasher's thread as it is, written and hashed there (a failed write shows
    // at finish()); what the transform holds back (a field cut by the chunk's end) leads the next.
    QByteArray next = spareChunk();
    memcpy(next.data(), buffer.constData() + ready, size_t(held - ready));
    handed.append(buffer);
    hash.addData(std::move(buffer), ready);
    buffer = std::move(next);
    total += ready;
    held -= ready;
}

// A chunk the thread is done with, else a new one: fresh memory costs a page fault a page.
QByteArray ResultWriter::spareChunk()
{
    for (int i = 0; i < handed.size(); ++i) {
        if (handed.at(i).isDetached())
            return handed.takeAt(i);
    }
    if (handed.size() >= MaxHanded)
        handed.removeFirst();
    return QByteArray(int(ChunkSize), Qt::Uninitialized);
}
