#include "matchfinder.h"

#include "suffixsort.h"

#include <cstring>

namespace {

// A new match is taken when it beats following the previous one by more than this many bytes.
constexpr qint64 Switch = 8;

qint64 commonPrefix(const unsigned char *a, qint64 aSize, const unsigned char *b, qint64 bSize)
{
    const qint64 limit = qMin(aSize, bSize);
    qint64 i = 0;
    while (i < limit && a[i] == b[i])
        ++i;
    return i;
}

void appendVarint(QByteArray *out, quint64 value)
{
    while (value >= 0x80) {
        out->append(char(value | 0x80));
        value >>= 7;
    }
    out->append(char(value));
}

} // namespace

bool MatchFinder::setRegion(const QByteArray &region)
{
    old = region;
    return SuffixSort::build(reinterpret_cast<const unsigned char *>(old.constData()), old.size(), &suffixes);
}

// The longest prefix of target found anywhere in the region, by binary search of the suffix array.
qint64 MatchFinder::longestMatch(const unsigned char *target, qint64 size, qint64 *position) const
{
    const auto *base = reinterpret_cast<const unsigned char *>(old.constData());
    const qint64 n = qint64(suffixes.size());
    *position = 0;
    if (n == 0 || size == 0)
        return 0;
    qint64 low = 0;
    qint64 high = n - 1;
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        const qint64 at = suffixes[size_t(middle)];
        const qint64 length = qMin(n - at, size);
        const int order = memcmp(base + at, target, size_t(length));
        if (order < 0 || (order == 0 && n - at < size))
            low = middle;
        else
            high = middle;
    }
    const qint64 lowAt = suffixes[size_t(low)];
    const qint64 highAt = suffixes[size_t(high)];
    const qint64 lowLength = commonPrefix(base + lowAt, n - lowAt, target, size);
    const qint64 highLength = commonPrefix(base + highAt, n - highAt, target, size);
    *position = lowLength >= highLength ? lowAt : highAt;
    return qMax(lowLength, highLength);
}

// How far the match at (newAt, oldAt) extends forwards while at least half its bytes agree.
qint64 MatchFinder::extendForward(const unsigned char *t, qint64 newAt, qint64 newEnd, qint64 oldAt) const
{
    const auto *o = reinterpret_cast<const unsigned char *>(old.constData());
    qint64 length = 0;
    for (qint64 i = 0, same = 0, best = 0; newAt + i < newEnd && oldAt + i < old.size();) {
        if (o[oldAt + i] == t[newAt + i])
            ++same;
        ++i;
        if (same * 2 - i > best * 2 - length) {
            best = same;
            length = i;
        }
    }
    return length;
}

// How far the match at (newAt, oldAt) extends backwards, not before newStart, while half its bytes agree.
qint64 MatchFinder::extendBackward(const unsigned char *t, qint64 newAt, qint64 newStart, qint64 oldAt) const
{
    const auto *o = reinterpret_cast<const unsigned char *>(old.constData());
    qint64 length = 0;
    for (qint64 i = 1, same = 0, best = 0; newAt >= newStart + i && oldAt >= i; ++i) {
        if (o[oldAt - i] == t[newAt - i])
            ++same;
        if (same * 2 - i > best * 2 - length) {
            best = same;
            length = i;
        }
    }
    return length;
}

MatchFinder::Streams MatchFinder::find(const QByteArray &target) const
{
    const auto *o = reinterpret_cast<const unsigned char *>(old.constData());
    const auto *t = reinterpret_cast<const unsigned char *>(target.constData());
    const qint64 oldSize = old.size();
    const qint64 newSize = target.size();
    const auto sameAt = [&](qint64 newAt, qint64 oldAt) { return oldAt >= 0 && oldAt < oldSize && o[oldAt] == t[newAt]; };

    Streams streams;
    qint64 zeros = 0; // differences of zero not yet written
    qint64 scan = 0;
    qint64 length = 0;
    qint64 position = 0;
    qint64 lastScan = 0;     // where the bytes not yet emitted start
    qint64 lastPosition = 0; // and where they are matched in the region
    qint64 cursor = 0;       // where the client's base position stands
    while (scan < newSize) {
        // Look for a match that is clearly better than carrying on with the last one's offset.
        qint64 kept = 0; // bytes the last offset still matches over the new match's span
        qint64 counted = scan += length;
        for (; scan < newSize; ++scan) {
            length = longestMatch(t + scan, newSize - scan, &position);
            for (; counted < scan + length; ++counted) {
                if (sameAt(counted, counted + (lastPosition - lastScan)))
                    ++kept;
            }
            if ((length == kept && length != 0) || length > kept + Switch)
                break;
            if (sameAt(scan, scan + (lastPosition - lastScan)))
                --kept;
        }
        if (length == kept && scan != newSize)
            continue;

        // The last match extended forwards, this one backwards; where they overlap, split at the
        // point that keeps the most agreeing bytes.
        qint64 forward = extendForward(t, lastScan, scan, lastPosition);
        qint64 backward = scan < newSize ? extendBackward(t, scan, lastScan, position) : 0;
        if (lastScan + forward > scan - backward) {
            const qint64 overlap = lastScan + forward - (scan - backward);
            qint64 split = 0;
            for (qint64 i = 0, score = 0, best = 0; i < overlap; ++i) {
                if (t[lastScan + forward - overlap + i] == o[lastPosition + forward - overlap + i])
                    ++score;
                if (t[scan - backward + i] == o[position - backward + i])
                    --score;
                if (score > best) {
                    best = score;
                    split = i + 1;
                }
            }
            forward += split - overlap;
            backward -= split;
        }

        const qint64 copy = scan - backward - (lastScan + forward);
        if (forward + copy > 0) {
            const qint64 seek = lastPosition - cursor;
            appendVarint(&streams.control, (quint64(seek) << 1) ^ quint64(seek >> 63));
            appendVarint(&streams.control, quint64(forward));
            appendVarint(&streams.control, quint64(copy));
            for (qint64 i = 0; i < forward; ++i) {
                const char difference = char(t[lastScan + i] - o[lastPosition + i]);
                if (difference == 0) {
                    ++zeros;
                    continue;
                }
                appendVarint(&streams.diff, quint64(zeros));
                streams.diff.append(difference);
                zeros = 0;
            }
            streams.extra.append(reinterpret_cast<const char *>(t + lastScan + forward), int(copy));
            cursor = lastPosition + forward;
        }
        lastScan = scan - backward;
        lastPosition = position - backward;
    }
    return streams;
}
