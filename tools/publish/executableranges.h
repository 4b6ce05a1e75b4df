#ifndef EXECUTABLERANGES_H
#define EXECUTABLERANGES_H

#include "delta/branchtransform.h"

class QIODevice;

/*!
    The machine and executable ranges of a PE or ELF file (x86-64 or ARM64),
    read from its section table (PE) or program headers (ELF), for the branch
    transform. Anything else, or a table that does not hold together, gives
    no machine: the file is matched as it is.
*/
namespace ExecutableRanges {

struct Found
{
    BranchTransform::Machine machine = BranchTransform::NoMachine;
    BranchTransform::Ranges ranges;
};

Found read(QIODevice *file);

} // namespace ExecutableRanges

#endif // EXECUTABLERANGES_H
