#include "suffixsort.h"

#include <divsufsort.h>

namespace SuffixSort {

bool build(const unsigned char *data, qint64 size, std::vector<qint32> *array)
{
    static_assert(sizeof(saidx_t) == sizeof(qint32), "libdivsufsort with 32-bit positions");
    if (size < 0 || size > MaxSize)
        return false;
    array->resize(size_t(size));
    return size == 0 || divsufsort(data, reinterpret_cast<saidx_t *>(array->data()), saidx_t(size)) == 0;
}

} // namespace SuffixSort
