#ifndef MATCHFINDER_H
#define MATCHFINDER_H

#include <QByteArray>

#include <vector>

/*!
    Finds approximate matches of a segment in its base region, the way the
    classic binary-delta technique does: exact matches are found through the
    region's suffix array, then extended forwards and backwards for as long
    as at least half the bytes still agree. A match becomes bytes of
    difference (new minus old, mostly zeros where only addresses moved); what
    no match covers becomes extra bytes; the control stream holds one
    (seek, add, copy) triple per match. Both the control and the difference
    streams are packed (DeltaIndex::Packed): the differences are mostly zeros.
*/
class MatchFinder
{
public:
    struct Streams
    {
        QByteArray control;
        QByteArray diff;
        QByteArray extra;
    };

    /*! Indexes \a region; false when its suffix array cannot be built. */
    bool setRegion(const QByteArray &region);
    /*! The streams that rebuild \a target from the region. */
    Streams find(const QByteArray &target) const;

private:
    qint64 longestMatch(const unsigned char *target, qint64 size, qint64 *position) const;
    qint64 extendForward(const unsigned char *target, qint64 newAt, qint64 newEnd, qint64 oldAt) const;
    qint64 extendBackward(const unsigned char *target, qint64 newAt, qint64 newStart, qint64 oldAt) const;

    static constexpr size_t BucketCount = 1 << 16;

    QByteArray old;
    std::vector<qint32> suffixes;
    std::vector<qint32> buckets; // the first suffix of each first two bytes, and one past the last
};

#endif // MATCHFINDER_H
