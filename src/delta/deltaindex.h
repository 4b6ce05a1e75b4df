#ifndef DELTAINDEX_H
#define DELTAINDEX_H

#include "delta/branchtransform.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

/*!
    The index of a delta archive ("index.json" beside "files/<name>"): for
    every file of the update, how it is rebuilt, from which base, into what.
    Written by updater-publish, read back by the client as what it is: input
    from a stranger, checked in full before any file is touched.
*/
class DeltaIndex
{
public:
    enum Kind {
        Whole,   // frames made against nothing (a new file, or no delta was smaller)
        Frames,  // Zstandard patch-from frames against the base's region of each segment
        Matches  // approximate matches: per segment, control, difference and extra streams
    };
    enum Codec { Lzma2, Zstd };

    /*! One compressed stream of a Matches segment. */
    struct Stream
    {
        Codec codec = Lzma2;
        qint64 window = 0; // the LZMA2 dictionary or the largest Zstandard window
        qint64 size = 0;   // compressed, in the archive
        qint64 length = 0; // decoded
    };
    /*!
        How a segment's control and difference streams are laid out. Plain:
        triples of signed 64-bit little-endian values, and every difference
        byte. Packed: the triples in groups of at most PackedGroup, each group
        its count, then its seeks, its adds and its copies, every value a
        variable-length integer (7 bits a byte, low first; a seek
        zigzag-signed); and the differences, mostly
        zeros, as (count of zeros, byte) pairs, the zeros after the last pair
        left out; a count below 255 is one byte, any other 255 and the rest
        as a variable-length integer.
    */
    enum Layout { Plain, Packed };
    struct Segment
    {
        Layout layout = Plain;
        qint64 length = 0; // the result's bytes it rebuilds (not written: the segment size gives it)
        Stream control; // (seek, add, copy) triples
        Stream diff;    // bytes added to the base's
        Stream extra;   // bytes taken as they are
    };
    static constexpr qint64 TripleSize = 24;
    // A packed value takes at most 10 bytes, a packed triple at most 30 and its group's count.
    static constexpr qint64 PackedTripleMax = 40;
    static constexpr int PackedGroup = 4096;

    struct File
    {
        QString name;           // relative path in the application's folder
        Kind kind = Frames;
        qint64 baseSize = -1;   // the installed file it is made against
        QByteArray baseSha256;
        qint64 size = 0;        // the result
        QByteArray sha256;
        quint32 mode = 0;       // permission bits, 0 when none are known
        QVector<qint64> frames; // compressed size of each segment's data, in order
        QVector<Segment> segments; // Matches: each segment's streams, in the order they are stored
        // Matches: the branch transform applied to the base and inverted on the result, if any.
        BranchTransform::Machine machine = BranchTransform::NoMachine;
        BranchTransform::Ranges baseRanges;
        BranchTransform::Ranges ranges;
    };

    // Format 1 has whole and frames files only; 2 adds matches; 3 packed matches. The lowest that holds
    // an index is written.
    static constexpr int Format = 3;
    static constexpr const char *IndexName = "index.json";
    static constexpr const char *FilesFolder = "files/";
    // Far beyond any real index; a larger one is refused before it is parsed.
    static constexpr qint64 MaxIndexSize = qint64(16) << 20;

    QVector<File> files;

    /*! The index as JSON. */
    QByteArray toJson() const;
    /*!
        Reads \a json into \a index; false with \a error for anything that is
        not a sound index: unknown format or segment size, names the archive
        rules refuse or that are one file on Windows, missing or malformed
        sizes and hashes, a frame count that does not fit the size, streams
        whose lengths do not add up to their segment or whose window is
        larger than a client gives, transform ranges outside their file.
    */
    static bool parse(const QByteArray &json, DeltaIndex *index, QString *error);

private:
    static bool readFile(const QJsonObject &entry, int format, File *file, QString *why);
    static bool readSegment(const QJsonObject &object, int format, qint64 size, File *file, QString *why);
};

#endif // DELTAINDEX_H
