// Unpacks a patch archive into a folder the way the tool installs it: the
// streaming reader, staging, flushing and the transaction's commit.
#include "archive/patcharchive.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_unpack ARCHIVE FOLDER\n");
        return 2;
    }
    PatchArchive archive(QString::fromLocal8Bit(argv[1]));
    if (!archive.extractTo(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "%s\n", qPrintable(archive.errorString()));
        return 1;
    }
    return 0;
}
