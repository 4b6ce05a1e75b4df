// A delta's index, and a delta frame, as a hostile server would send them.
#include "delta/deltacodec.h"
#include "delta/deltaindex.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

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
            if (file.frames.size() != DeltaCodec::segmentCount(file.size) || again.files.at(i).name != file.name
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
    DeltaCodec::Decoder decoder;
    if (!decoder.decode(&frame, payload.size(), base.constData(), base.size(), out.data(), expected)
        && decoder.errorString().isEmpty())
        abort();
    return 0;
}
