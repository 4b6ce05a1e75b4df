#ifndef SUFFIXSORT_H
#define SUFFIXSORT_H

#include <QtGlobal>

#include <vector>

/*!
    Suffix arrays (libdivsufsort), behind one small interface: no other file
    names a libdivsufsort type.
*/
namespace SuffixSort {

// 32-bit positions: a base region is far smaller.
constexpr qint64 MaxSize = qint64(1) << 30;

/*! The suffix array of the \a size bytes at \a data into \a array; false when it cannot be built. */
bool build(const unsigned char *data, qint64 size, std::vector<qint32> *array);

} // namespace SuffixSort

#endif // SUFFIXSORT_H
