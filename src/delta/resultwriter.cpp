#include "delta/resultwriter.h"

#include <QIODevice>

#include <cstring>

namespace {

constexpr qint64 ChunkSize = qint64(1) << 20;

} // namespace

ResultWriter::ResultWriter(QIODevice *device)
    : out(device)
{
    buffer.resize(int(ChunkSize));
}

ResultWriter::~ResultWriter() = default;

void ResultWriter::setTransform(BranchTransform::Machine machine, const BranchTransform::Ranges &ranges,
                                BranchTransform::Direction direction)
{
    transform.reset(machine == BranchTransform::NoMachine ? nullptr : new BranchTransform(machine, ranges, direction));
}

bool ResultWriter::write(const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 now = qMin(size, ChunkSize - held);
        memcpy(buffer.data() + held, data, size_t(now));
        held += now;
        data += now;
        size -= now;
        if (held == ChunkSize && !flush(false))
            return false;
    }
    return true;
}

bool ResultWriter::finish()
{
    return flush(true);
}

bool ResultWriter::flush(bool last)
{
    const qint64 ready = transform ? transform->process(buffer.data(), held, last) : held;
    hash.addData(buffer.constData(), ready);
    // A short write carries no reason; the next one fails with it (a full disk says so).
    for (qint64 done = 0; done < ready;) {
        const qint64 w = out->write(buffer.constData() + done, ready - done);
        if (w <= 0) {
            error = out->errorString();
            return false;
        }
        done += w;
    }
    total += ready;
    // What the transform holds back (a field cut by the chunk's end) leads the next chunk.
    memmove(buffer.data(), buffer.constData() + ready, size_t(held - ready));
    held -= ready;
    return true;
}
