#include "delta/branchtransform.h"

#include <QtAlgorithms>
#include <QtEndian>

namespace {

// Displacements within +-128 MiB are converted: every branch of a real program, few stray bytes.
constexpr int FieldBits = 28;

qint64 wrapField(qint64 value)
{
    const qint64 half = qint64(1) << (FieldBits - 1);
    return ((value + half) & ((qint64(1) << FieldBits) - 1)) - half;
}

bool fitsField(qint64 value)
{
    const qint64 half = qint64(1) << (FieldBits - 1);
    return value >= -half && value < half;
}

// A byte of 0x80 where \a x has a zero byte; the lowest such flag is always a true one (the ones
// above it may be false, from the borrow).
quint64 zeroBytes(quint64 x)
{
    return (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
}

// Where the first byte of the eight at \a p lies that may start a field (E8, or a ModRM byte of a
// RIP-relative operand); 8 when none does.
int firstCandidate(const unsigned char *p)
{
    const quint64 x = qFromLittleEndian<quint64>(p);
    const quint64 flags = zeroBytes(x ^ 0xe8e8e8e8e8e8e8e8ULL) | zeroBytes((x & 0xc7c7c7c7c7c7c7c7ULL) ^ 0x0505050505050505ULL);
    return flags == 0 ? 8 : int(qCountTrailingZeroBits(flags) / 8);
}

quint32 readLe32(const unsigned char *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

void writeLe32(unsigned char *p, quint32 value)
{
    p[0] = uchar(value);
    p[1] = uchar(value >> 8);
    p[2] = uchar(value >> 16);
    p[3] = uchar(value >> 24);
}

// One-byte opcodes that take a ModRM byte and are often seen with a RIP-relative operand.
bool isModRmOpcode(int op)
{
    switch (op) {
    case 0x01: case 0x03: case 0x09: case 0x0b: case 0x21: case 0x23: case 0x29: case 0x2b: case 0x31: case 0x33:
    case 0x38: case 0x39: case 0x3a: case 0x3b: case 0x63: case 0x80: case 0x81: case 0x83: case 0x84: case 0x85:
    case 0x88: case 0x89: case 0x8a: case 0x8b: case 0x8d: case 0xc6: case 0xc7: case 0xf6: case 0xf7: case 0xff:
        return true;
    default:
        return false;
    }
}

// Two-byte (0F xx) opcodes with a ModRM byte: SSE moves and arithmetic, zero/sign extension.
bool isTwoByteModRmOpcode(int op)
{
    switch (op) {
    case 0x10: case 0x11: case 0x28: case 0x29: case 0x2e: case 0x2f: case 0x54: case 0x57: case 0x58: case 0x59:
    case 0x5c: case 0x5e: case 0x6f: case 0x7f: case 0xb6: case 0xb7: case 0xbe: case 0xbf:
        return true;
    default:
        return false;
    }
}

// Whether the four bytes after \a op, preceded by \a p1 and then \a p2 (-1: none), are a displacement to convert.
bool endsBeforeDisplacement(int p2, int p1, int op)
{
    // Calls only: jumps mostly stay inside their function, where relative targets are the stable ones.
    if (op == 0xe8)
        return true;
    if ((op & 0xc7) != 0x05) // ModRM: mod 00, r/m 101, a RIP-relative operand
        return false;
    return (p1 >= 0 && isModRmOpcode(p1)) || (p2 == 0x0f && isTwoByteModRmOpcode(p1));
}

} // namespace

QString BranchTransform::machineName(Machine machine)
{
    switch (machine) {
    case X86_64:
        return QStringLiteral("x86-64");
    case Arm64:
        return QStringLiteral("arm64");
    case NoMachine:
        break;
    }
    return QString();
}

BranchTransform::Machine BranchTransform::machineFromName(const QString &name)
{
    if (name == QLatin1String("x86-64"))
        return X86_64;
    if (name == QLatin1String("arm64"))
        return Arm64;
    return NoMachine;
}

QString BranchTransform::checkRanges(const Ranges &ranges, qint64 fileSize)
{
    if (ranges.isEmpty() || ranges.size() > MaxRanges)
        return QStringLiteral("no ranges, or too many");
    qint64 end = 0;
    for (const Range &range : ranges) {
        if (range.offset < end || range.length <= 0 || range.length > fileSize - range.offset
            || range.address > (quint64(1) << 53))
            return QStringLiteral("ranges out of order, overlapping or beyond the file");
        end = range.offset + range.length;
    }
    return QString();
}

BranchTransform::BranchTransform(Machine machine, const Ranges &ranges, Direction direction)
    : machine(machine)
    , ranges(ranges)
    , direction(direction)
{
}

qint64 BranchTransform::process(char *data, qint64 size, bool last)
{
    auto *bytes = reinterpret_cast<unsigned char *>(data);
    qint64 at = 0;
    for (const Range &range : qAsConst(ranges)) {
        if (machine == NoMachine)
            break;
        const qint64 from = range.offset - position; // where the range starts in data
        const qint64 to = from + range.length;
        if (to <= at)
            continue;
        if (from >= size)
            break;
        if (from >= at) {
            at = from;
            previous[0] = previous[1] = -1;
        }
        const qint64 end = qMin(to, size);
        at = machine == X86_64 ? processX86(bytes, at, end, to, size, last, range)
                               : processArm64(bytes, at, end, to, size, last, range);
        if (at < end) {
            // The rest waits for the next call's bytes.
            position += at;
            return at;
        }
    }
    position += size;
    return size;
}

// Decides at each byte from bytes it never changes (the opcode and the two before it, as the
// original has them; -1 inside a field), so that both directions see the same fields.
qint64 BranchTransform::processX86(unsigned char *data, qint64 i, qint64 end, qint64 to, qint64 size, bool last,
                                   const Range &range)
{
    // The two bytes before a decision, as the original has them: data[k] from the floor on,
    // before it what the state says (the two bytes before the call's data, or -1 after a field).
    qint64 floor = i;
    int before1 = previous[1];
    int before2 = previous[0];
    const auto byteAt = [&](qint64 k) { return k >= floor ? int(data[k]) : k == floor - 1 ? before1 : before2; };
    while (i < end) {
        // Most bytes are neither a call nor a ModRM byte that could name a RIP-relative operand:
        // passed over eight at a time.
        if (i + 8 <= end) {
            const int skip = firstCandidate(data + i);
            i += skip;
            if (skip == 8)
                continue;
        }
        const unsigned char op = data[i];
        if (op != 0xe8 && (op & 0xc7) != 0x05) {
            ++i;
            continue;
        }
        const qint64 fieldEnd = i + 5;
        if (fieldEnd <= to && fieldEnd > size && !last)
            break;
        if (fieldEnd <= to && fieldEnd <= size && endsBeforeDisplacement(byteAt(i - 2), byteAt(i - 1), op)) {
            // A far value is left as it is (data, not a branch), but its bytes are passed over all
            // the same: no later field may overlap bytes a decision has read.
            const qint64 value = qint32(readLe32(data + i + 1));
            if (fitsField(value)) {
                // Relative to the next instruction's address; the result fits again, so the
                // inverse converts exactly the fields converted here.
                const qint64 address = qint64((range.address + quint64(position + fieldEnd - range.offset))
                                              & ((quint64(1) << FieldBits) - 1));
                writeLe32(data + i + 1, quint32(wrapField(direction == Forward ? value + address : value - address)));
            }
            i = fieldEnd;
            floor = i;
            before1 = before2 = -1;
            continue;
        }
        ++i;
    }
    previous[1] = byteAt(i - 1);
    previous[0] = byteAt(i - 2);
    return i;
}

// Every aligned word: BL's 26-bit word offset and ADRP's 21-bit page offset made absolute.
qint64 BranchTransform::processArm64(unsigned char *data, qint64 i, qint64 end, qint64 to, qint64 size, bool last,
                                     const Range &range)
{
    while (i < end) {
        const quint64 pc = range.address + quint64(position + i - range.offset);
        if (pc % 4 != 0) {
            ++i;
            continue;
        }
        if (i + 4 > to)
            return end; // a partial word at the range's end stays as it is
        if (i + 4 > size)
            return last ? end : i;
        quint32 word = readLe32(data + i);
        if ((word & 0xfc000000) == 0x94000000) { // BL
            const quint32 delta = quint32(pc >> 2);
            const quint32 target = direction == Forward ? word + delta : word - delta;
            word = (word & 0xfc000000) | (target & 0x03ffffff);
        } else if ((word & 0x9f000000) == 0x90000000) { // ADRP
            const quint32 page = ((word >> 29) & 3) | (((word >> 5) & 0x7ffff) << 2);
            const quint32 delta = quint32(pc >> 12);
            const quint32 target = (direction == Forward ? page + delta : page - delta) & 0x1fffff;
            word = (word & 0x9f00001f) | ((target & 3) << 29) | ((target >> 2) << 5);
        }
        writeLe32(data + i, word);
        i += 4;
    }
    return i;
}
