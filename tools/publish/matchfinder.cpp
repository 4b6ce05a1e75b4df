#include "matchfinder.h"

#include "suffixsort.h"

#include "delta/deltaindex.h"

#include <QtEndian>

#include <array>
#include <cstring>

namespace {

// A new match is taken when it beats following the previous one by more than this many bytes.
constexpr qint64 Switch = 8;

// How many bytes \a a and \b b have in common from \a from on, eight at a time.
qint64 commonPrefix(const unsigned char *a, qint64 aSize, const unsigned char *b, qint64 bSize, qint64 from = 0)
{
    const qint64 limit = qMin(aSize, bSize);
    qint64 i = from;
    for (; i + 8 <= limit; i += 8) {
        quint64 x;
        quint64 y;
        memcpy(&x, a + i, 8);
        memcpy(&y, b + i, 8);
        if (x != y)
            return i + qCountTrailingZeroBits(qFromLittleEndian(x ^ y)) / 8;
    }
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
    const auto *o = reinterpret_cast<const unsigned char *>(old.constData());
    if (!SuffixSort::build(o, old.size(), &suffixes))
        return false;
    // Where the suffixes of each first two bytes start: the last, one byte long, sorts first of its byte's.
    buckets.assign(BucketCount + 1, 0);
    for (qint64 i = 0; i + 1 < old.size(); ++i)
        ++buckets[size_t(o[i] << 8 | o[i + 1]) + 1];
    if (!old.isEmpty())
        ++buckets[size_t(o[old.size() - 1] << 8) + 1];
    for (size_t i = 1; i < buckets.size(); ++i)
        buckets[i] += buckets[i - 1];
    return true;
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
    if (size >= 2) {
        // The suffixes that share the first two bytes, when there are at least two.
        const size_t bucket = size_t(target[0] << 8 | target[1]);
        if (buckets[bucket + 1] - buckets[bucket] >= 2) {
            low = buckets[bucket];
            high = buckets[bucket + 1] - 1;
        }
    }
    // Every suffix between two bounds shares what the bounds share with the target: it is not compared again.
    qint64 lowLength = commonPrefix(base + suffixes[size_t(low)], n - suffixes[size_t(low)], target, size);
    qint64 highLength = commonPrefix(base + suffixes[size_t(high)], n - suffixes[size_t(high)], target, size);
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        // The search waits on memory: both places the next step may look are fetched meanwhile.
        __builtin_prefetch(&suffixes[size_t(low + (middle - low) / 2)]);
        __builtin_prefetch(&suffixes[size_t(middle + (high - middle) / 2)]);
        const qint64 at = suffixes[size_t(middle)];
        const qint64 length = commonPrefix(base + at, n - at, target, size, qMin(lowLength, highLength));
        const bool before = length == size ? false : length == n - at || base[at + length] < target[length];
        if (before) {
            low = middle;
            lowLength = length;
        } else {
            high = middle;
            highLength = length;
        }
    }
    const qint64 lowAt = suffixes[size_t(low)];
    const qint64 highAt = suffixes[size_t(high)];
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
    std::vector<std::array<quint64, 3>> triples;
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
            triples.push_back({ (quint64(seek) << 1) ^ quint64(seek >> 63), quint64(forward), quint64(copy) });
            for (qint64 i = 0; i < forward; ++i) {
                const char difference = char(t[lastScan + i] - o[lastPosition + i]);
                if (difference == 0) {
                    ++zeros;
                    continue;
                }
                if (zeros < 255) {
                    streams.diff.append(char(zeros));
                } else {
                    streams.diff.append(char(255));
                    appendVarint(&streams.diff, quint64(zeros - 255));
                }
                streams.diff.append(difference);
                zeros = 0;
            }
            streams.extra.append(reinterpret_cast<const char *>(t + lastScan + forward), int(copy));
            cursor = lastPosition + forward;
        }
        lastScan = scan - backward;
        lastPosition = position - backward;
    }
    // Seeks beside seeks and lengths beside lengths compress better than the triples one by one.
    for (size_t group = 0; group < triples.size(); group += DeltaIndex::PackedGroup) {
        const size_t end = qMin(triples.size(), group + DeltaIndex::PackedGroup);
        appendVarint(&streams.control, end - group);
        for (int value = 0; value < 3; ++value) {
            for (size_t i = group; i < end; ++i)
                appendVarint(&streams.control, triples[i][size_t(value)]);
        }
    }
    return streams;
}
