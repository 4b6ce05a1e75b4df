// The delta road's two ends, for bench/delta.sh:
//   bench_delta rebuild APPDIR DELTA    rebuilds the files into a transaction's staging, as the client
//                                       does (base checks, decoding, result checks), then discards it;
//                                       prints "seconds peak-anonymous-KiB", the seconds the rebuild's own
//   bench_delta make NEWDIR BASEDIR OUT [frames|matches|transformed] [LEVEL...]
//                                       writes the delta of every file of NEWDIR against BASEDIR
#include "delta/deltarebuild.h"
#include "deltawriter.h"
#include "transaction/installtransaction.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

// The process's anonymous resident memory now (Linux), in KiB: the heap, not the mapped files.
long anonymousKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0)
            return std::stol(line.substr(8));
    }
    return 0;
}

int rebuild(const QString &appDir, const QString &delta)
{
    std::atomic<bool> done { false };
    std::atomic<long> peak { anonymousKiB() };
    std::thread sampler([&] {
        while (!done) {
            peak = std::max(peak.load(), anonymousKiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    // The rebuild alone: the transaction's journal and its clean-up are the install's, paid with
    // any patch.
    QElapsedTimer timer;
    double seconds = 0;
    bool ok = false;
    QString error;
    {
        InstallTransaction transaction(appDir);
        DeltaRebuild rebuilder(delta);
        ok = transaction.begin();
        timer.start();
        ok = ok && rebuilder.stageInto(&transaction);
        seconds = timer.nsecsElapsed() / 1e9;
        error = rebuilder.errorString();
    } // not committed: the staging goes
    done = true;
    sampler.join();
    if (!ok) {
        std::fprintf(stderr, "rebuild failed: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%.4f %ld\n", seconds, peak.load());
    return 0;
}

int make(const QString &newDir, const QString &baseDir, const QString &out, const QList<int> &levels,
         DeltaWriter::Methods methods)
{
    QList<DeltaWriter::File> files;
    QDirIterator it(newDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.append({ QDir(newDir).relativeFilePath(path), path, QFileInfo(path).size() });
    }
    QFile file(out);
    DeltaWriter writer;
    if (!levels.isEmpty())
        writer.setLevels(levels);
    writer.setMethods(methods);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Truncate) || !writer.write(files, baseDir, &file)) {
        std::fprintf(stderr, "make failed: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    for (const QString &line : writer.report())
        std::fprintf(stderr, "%s\n", qPrintable(line));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("rebuild"))
        return rebuild(args.at(2), args.at(3));
    if (args.size() >= 5 && args.at(1) == QLatin1String("make")) {
        QList<int> levels;
        DeltaWriter::Methods methods = DeltaWriter::AllMethods;
        for (int i = 5; i < args.size(); ++i) {
            // frames, matches or transformed: only that way (the whole file still when no way gains)
            if (args.at(i) == QLatin1String("frames"))
                methods = DeltaWriter::PatchFrom;
            else if (args.at(i) == QLatin1String("matches"))
                methods = DeltaWriter::Matches;
            else if (args.at(i) == QLatin1String("transformed"))
                methods = DeltaWriter::TransformedMatches;
            else
                levels.append(args.at(i).toInt());
        }
        return make(args.at(2), args.at(3), args.at(4), levels, methods);
    }
    std::fprintf(stderr, "usage: bench_delta rebuild APPDIR DELTA | make NEWDIR BASEDIR OUT [frames|matches|transformed] [LEVEL...]\n");
    return 2;
}
