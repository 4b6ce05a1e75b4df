// A delta's index, a delta frame, and the streams of approximate matches, as a
// hostile server would send them; and the branch transform, exact on any bytes.
#include "delta/branchtransform.h"
#include "delta/zstdframes.h"
#include "delta/deltaindex.h"
#include "delta/lzmacodec.h"
#include "delta/matchstreams.h"
#include "delta/resultwriter.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

// The input as the control stream of a segment of 8 KiB against a 64 KiB base region: every
// triple is checked before use, and nothing is written past the segment. Packed (the first byte
// odd), its first half is the control stream and its second the packed differences.
void fuzzControl(const QByteArray &input)
{
    static const QByteArray base(64 * 1024, 'b');
    static const QByteArray extra(4096, 'e');
    const bool packed = !input.isEmpty() && (input.at(0) & 1);
    const QByteArray control = packed ? input.mid(1, (input.size() - 1) / 2)
                                      : input.left(int(qMin<qint64>(input.size() / 24, 64) * 24));
    const QByteArray diff = packed ? input.mid(1 + (input.size() - 1) / 2) : QByteArray(4096, '\0');
    DeltaIndex::Segment segment;
    segment.layout = packed ? DeltaIndex::Packed : DeltaIndex::Plain;
    segment.length = 8192;
    QByteArray archive;
    DeltaIndex::Stream *streams[] = { &segment.control, &segment.diff, &segment.extra };
    const QByteArray *raw[] = { &control, &diff, &extra };
    for (int i = 0; i < 3; ++i) {
        const QByteArray compressed = raw[i]->isEmpty() ? QByteArray()
                                                        : ZstdFrames::compressStream(raw[i]->constData(), raw[i]->size(), 1);
        *streams[i] = DeltaIndex::Stream { DeltaIndex::Zstd, 1 << 20, compressed.size(), raw[i]->size() };
        archive += compressed;
    }
    QBuffer archiveDevice(&archive);
    archiveDevice.open(QIODevice::ReadOnly);
    QByteArray baseCopy = base;
    QBuffer baseDevice(&baseCopy);
    baseDevice.open(QIODevice::ReadOnly);
    QBuffer result;
    result.open(QIODevice::WriteOnly);
    ResultWriter writer(&result);
    MatchStreams matches;
    const bool ok = matches.apply(segment, &archiveDevice, 0, &baseDevice, 0, base.size(), &writer) && writer.finish();
    if ((!ok && matches.errorString().isEmpty()) || result.size() > 8192 || (ok && result.size() != 8192))
        abort();
}

// The input as a raw LZMA2 stream that must decode to \a length bytes: refused or decoded, never more.
void fuzzLzma(const QByteArray &input, qint64 length)
{
    QByteArray copy = input;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    LzmaCodec::Decoder decoder;
    decoder.setDictionary(1 << 16);
    QByteArray out(int(length), Qt::Uninitialized);
    const bool ok = decoder.start(&device, 0, copy.size(), length) && decoder.read(out.data(), length) && decoder.finish();
    if (!ok && decoder.errorString().isEmpty())
        abort();
}

// Forward then inverse, over ranges the input chooses, fed in chunks the input chooses.
void fuzzTransform(const QByteArray &input)
{
    if (input.size() < 8)
        return;
    const auto machine = input.at(0) & 1 ? BranchTransform::X86_64 : BranchTransform::Arm64;
    const qint64 chunk = 1 + uchar(input.at(1));
    const BranchTransform::Ranges ranges = { { uchar(input.at(2)), 1 + uchar(input.at(3)) * 4,
                                               quint64(uchar(input.at(4))) << 12 | uchar(input.at(5)) } };
    QByteArray data = input;
    for (const auto direction : { BranchTransform::Forward, BranchTransform::Inverse }) {
        BranchTransform transform(machine, ranges, direction);
        QByteArray out;
        QByteArray pending;
        for (qint64 at = 0; at < data.size() || !pending.isEmpty();) {
            const qint64 now = qMin<qint64>(chunk, data.size() - at);
            pending += data.mid(int(at), int(now));
            at += now;
            const qint64 done = transform.process(pending.data(), pending.size(), at == data.size());
            out += pending.left(int(done));
            pending.remove(0, int(done));
            if (at == data.size() && !pending.isEmpty())
                abort();
        }
        data = out;
    }
    if (data != input)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    // An index that parses is sound, and reads back as itself.
    DeltaIndex index;
    QString error;
    if (DeltaIndex::parse(input, &index, &error)) {
        DeltaIndex again;
        if (!DeltaIndex::parse(index.toJson(), &again, &error) || again.files.size() != index.files.size())
            abort();
        for (int i = 0; i < index.files.size(); ++i) {
            const DeltaIndex::File &file = index.files.at(i);
            if (file.frames.size() != ZstdFrames::segmentCount(file.size) || again.files.at(i).name != file.name
                || again.files.at(i).sha256 != file.sha256)
                abort();
        }
    } else if (error.isEmpty()) {
        abort();
    }

    // The same bytes as a frame: decoded against a small base, never past the size it must declare.
    if (size < 2)
        return 0;
    const qint64 expected = (qint64(data[0]) << 8 | data[1]) * 16;
    static const QByteArray base(64 * 1024, 'b');
    QByteArray payload = input.mid(2);
    QBuffer frame(&payload);
    frame.open(QIODevice::ReadOnly);
    QByteArray out(int(expected), Qt::Uninitialized);
    ZstdFrames::Decoder decoder;
    if (!decoder.decode(&frame, payload.size(), base.constData(), base.size(), out.data(), expected)
        && decoder.errorString().isEmpty())
        abort();

    fuzzControl(input);
    fuzzLzma(payload, expected);
    fuzzTransform(input);
    return 0;
}
