#ifndef BRANCHTRANSFORM_H
#define BRANCHTRANSFORM_H

#include <QString>
#include <QVector>

/*!
    Turns the relative targets of machine code into absolute ones, and back.

    A new release shifts code: every call and every PC-relative reference past
    a changed function changes its displacement, though not its target. Made
    absolute, those bytes stay equal between releases and the delta need not
    carry them. The publisher transforms both files before it matches them;
    the client transforms the installed file the same way and applies the
    inverse to what it rebuilds.

    Only the ranges given (a file's executable sections, with the address
    each starts at) are touched. The transform is exact on any bytes and any
    ranges: which fields it converts depends only on bytes it leaves as they
    are, and each conversion is a bijection on the values it applies to.
*/
class BranchTransform
{
public:
    enum Machine { NoMachine, X86_64, Arm64 };
    enum Direction { Forward, Inverse };

    struct Range
    {
        qint64 offset = 0;   // in the file
        qint64 length = 0;
        quint64 address = 0; // where the range's first byte is mapped
    };
    using Ranges = QVector<Range>;

    // Far more executable sections than any real program has.
    static constexpr int MaxRanges = 64;

    static QString machineName(Machine machine);
    static Machine machineFromName(const QString &name);
    /*! Empty when \a ranges are sorted, do not overlap and lie within a file of \a fileSize bytes, else why not. */
    static QString checkRanges(const Ranges &ranges, qint64 fileSize);

    BranchTransform(Machine machine, const Ranges &ranges, Direction direction);

    /*!
        Transforms \a data (\a size bytes), which continue the file where the
        last call's final bytes ended. Returns how many leading bytes are now
        final; the others must lead the next call's data. With \a last, all
        are final.
    */
    qint64 process(char *data, qint64 size, bool last);

private:
    // From data[i] up to data[end] (the range ends at data[to], the call's bytes at data[size]); where it stopped.
    qint64 processX86(unsigned char *data, qint64 i, qint64 end, qint64 to, qint64 size, bool last, const Range &range);
    qint64 processArm64(unsigned char *data, qint64 i, qint64 end, qint64 to, qint64 size, bool last,
                        const Range &range);

    Machine machine;
    Ranges ranges;
    Direction direction;
    qint64 position = 0; // the file offset of the next call's first byte
    int previous[2] = { -1, -1 }; // the two bytes before it, as the original has them; -1 in a field
};

#endif // BRANCHTRANSFORM_H
