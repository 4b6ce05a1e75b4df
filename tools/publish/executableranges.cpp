#include "executableranges.h"

#include <QIODevice>

#include <algorithm>

namespace ExecutableRanges {

namespace {

quint64 le(const QByteArray &bytes, qint64 at, int width)
{
    if (at < 0 || at + width > bytes.size())
        return 0;
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | uchar(bytes.at(int(at + i)));
    return value;
}

// Sorted, clipped to the file, overlaps and empties dropped; no machine when nothing is left.
Found finish(BranchTransform::Machine machine, BranchTransform::Ranges ranges, qint64 fileSize)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const BranchTransform::Range &a, const BranchTransform::Range &b) { return a.offset < b.offset; });
    BranchTransform::Ranges kept;
    qint64 end = 0;
    for (BranchTransform::Range range : qAsConst(ranges)) {
        if (range.offset < end || range.offset >= fileSize)
            continue;
        range.length = qMin(range.length, fileSize - range.offset);
        if (range.length <= 0)
            continue;
        kept.append(range);
        end = range.offset + range.length;
    }
    Found found;
    if (!kept.isEmpty() && BranchTransform::checkRanges(kept, fileSize).isEmpty()) {
        found.machine = machine;
        found.ranges = kept;
    }
    return found;
}

Found readPe(const QByteArray &head, qint64 fileSize)
{
    const qint64 pe = qint64(le(head, 0x3c, 4));
    if (le(head, pe, 4) != 0x00004550) // "PE\0\0"
        return Found();
    const quint64 type = le(head, pe + 4, 2);
    const BranchTransform::Machine machine = type == 0x8664 ? BranchTransform::X86_64
            : type == 0xaa64                                ? BranchTransform::Arm64
                                                            : BranchTransform::NoMachine;
    const qint64 count = qint64(le(head, pe + 6, 2));
    const qint64 table = pe + 24 + qint64(le(head, pe + 20, 2));
    if (machine == BranchTransform::NoMachine || count > BranchTransform::MaxRanges * 4)
        return Found();
    BranchTransform::Ranges ranges;
    for (qint64 s = 0; s < count; ++s) {
        const qint64 at = table + s * 40;
        if (at + 40 > head.size())
            return Found();
        const bool code = (le(head, at + 36, 4) & 0x20000020) != 0; // contains code, or executable
        if (code && ranges.size() < BranchTransform::MaxRanges)
            ranges.append({ qint64(le(head, at + 20, 4)), qint64(le(head, at + 16, 4)), le(head, at + 12, 4) });
    }
    return finish(machine, ranges, fileSize);
}

Found readElf(QIODevice *file, const QByteArray &head, qint64 fileSize)
{
    // 64-bit, little-endian only: what both machines use.
    if (head.size() < 64 || head.at(4) != 2 || head.at(5) != 1)
        return Found();
    const quint64 type = le(head, 18, 2);
    const BranchTransform::Machine machine = type == 0x3e ? BranchTransform::X86_64
            : type == 0xb7                                ? BranchTransform::Arm64
                                                          : BranchTransform::NoMachine;
    const qint64 offset = qint64(le(head, 32, 8));
    const qint64 size = qint64(le(head, 54, 2));
    const qint64 count = qint64(le(head, 56, 2));
    if (machine == BranchTransform::NoMachine || size < 56 || offset < 0 || offset > fileSize || count > 256)
        return Found();
    if (!file->seek(offset))
        return Found();
    const QByteArray table = file->read(size * count);
    BranchTransform::Ranges ranges;
    for (qint64 p = 0; p < count && (p + 1) * size <= table.size(); ++p) {
        const qint64 at = p * size;
        const bool load = le(table, at, 4) == 1;
        const bool executable = (le(table, at + 4, 4) & 1) != 0;
        if (load && executable && ranges.size() < BranchTransform::MaxRanges)
            ranges.append({ qint64(le(table, at + 8, 8)), qint64(le(table, at + 32, 8)), le(table, at + 16, 8) });
    }
    return finish(machine, ranges, fileSize);
}

} // namespace

Found read(QIODevice *file)
{
    const qint64 fileSize = file->size();
    if (!file->seek(0))
        return Found();
    const QByteArray head = file->read(64 << 10);
    Found found;
    if (head.startsWith("MZ"))
        found = readPe(head, fileSize);
    else if (head.startsWith("\x7f" "ELF"))
        found = readElf(file, head, fileSize);
    file->seek(0);
    return found;
}

} // namespace ExecutableRanges
