// Download benchmark: the real Downloader with the dialog's progress display,
// against curl writing the same file, from nginx on loopback, HTTP and HTTPS.
//
//   bench_download [--sizes 64,256,1024] [--runs 3] [--markdown FILE]
//
// Each fetch is its own process, measured by GNU time (wall, CPU, peak RSS),
// ours and curl's alternating.
#include "downloader.h"
#include "nginxserver.h"
#include "tlstrust.h"
#include "updaterdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

struct Sample
{
    double wall = 0;
    double cpu = 0;
    double rssMiB = 0;
    bool ok = false;
};

// The child: one download through the dialog's Downloader, display included.
int fetch(const QString &url, const QString &caFile)
{
    QFile ca(caFile);
    if (ca.open(QIODevice::ReadOnly))
        addTrustedCertificates(ca.readAll());
    UpdaterDialog dialog;
    dialog.show();
    Downloader *downloader = dialog.findChild<Downloader *>();
    // Progress display yes, the install question no.
    QObject::disconnect(downloader, &Downloader::doFinished, &dialog, nullptr);
    QSignalSpy finished(downloader, &Downloader::doFinished);
    downloader->setFileName(QStringLiteral("bench-download.bin"));
    downloader->startDownload(url);
    if (!finished.wait(600000) || !downloader->succeeded()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(downloader->errorString()));
        return 1;
    }
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-download.bin"));
    return 0;
}

Sample measure(const QString &program, const QStringList &arguments)
{
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("time.txt"));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("/usr/bin/time"),
                  QStringList{ QStringLiteral("-o"), report, QStringLiteral("-f"), QStringLiteral("%e %U %S %M"), program }
                      + arguments);
    Sample sample;
    if (!process.waitForFinished(900000) || process.exitCode() != 0)
        return sample;
    QFile file(report);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = file.readAll().trimmed().split('\n').last().split(' ');
    if (fields.size() != 4)
        return sample;
    sample.wall = fields.at(0).toDouble();
    sample.cpu = fields.at(1).toDouble() + fields.at(2).toDouble();
    sample.rssMiB = fields.at(3).toDouble() / 1024.0;
    sample.ok = true;
    return sample;
}

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

bool makeFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 seed = 1;
    for (char &c : block) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    for (qint64 written = 0; written < size; written += block.size())
        file.write(block.constData(), qMin<qint64>(block.size(), size - written));
    return file.flush();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--fetch") == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return fetch(QString::fromLocal8Bit(argv[2]), argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    }

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({ QStringLiteral("sizes"), QStringLiteral("File sizes in MiB."), QStringLiteral("list"),
                       QStringLiteral("64,256,1024") });
    parser.addOption({ QStringLiteral("runs"), QStringLiteral("Runs of each."), QStringLiteral("n"), QStringLiteral("3") });
    parser.addOption({ QStringLiteral("markdown"), QStringLiteral("Write the table here."), QStringLiteral("file") });
    parser.process(app);
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

    NginxServer nginx;
    if (!nginx.start()) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.errorString()));
        return 1;
    }
    QString table = QStringLiteral(
        "| Size | Protocol | Tool | Wall (median) | Throughput | CPU time | Peak RSS |\n"
        "|---|---|---|---|---|---|---|\n");
    QString ratios = QStringLiteral("| Size | Protocol | Wall ours/curl | CPU ours/curl | Peak RSS ours/curl |\n"
                                    "|---|---|---|---|---|\n");
    const QString curlOut = QDir::temp().filePath(QStringLiteral("bench-curl.bin"));
    for (const QString &sizeText : parser.value(QStringLiteral("sizes")).split(QLatin1Char(','))) {
        const qint64 mib = sizeText.toLongLong();
        const QString name = QStringLiteral("file-%1M.bin").arg(mib);
        if (!makeFile(nginx.root() + QStringLiteral("/") + name, mib << 20)) {
            std::fprintf(stderr, "cannot create the %lld MiB file\n", mib);
            return 1;
        }
        for (const QString &origin : { nginx.httpOrigin(), nginx.httpsOrigin() }) {
            const QString url = origin + QStringLiteral("/") + name;
            const QString protocol = origin.startsWith(QLatin1String("https")) ? QStringLiteral("HTTPS")
                                                                              : QStringLiteral("HTTP");
            QVector<double> wall[2], cpu[2], rss[2];
            // Run -1 is a warm-up for both, not counted; the order alternates,
            // and the page cache is written back between fetches, so that one
            // tool's dirty pages never slow the other down.
            for (int run = -1; run < runs; ++run) {
                for (int turn = 0; turn < 2; ++turn) {
                    const int tool = (run & 1) ? 1 - turn : turn;
                    ::sync();
                    const Sample s = tool == 0
                        ? measure(QCoreApplication::applicationFilePath(),
                                  { QStringLiteral("--fetch"), url, nginx.certificates().caFile })
                        : measure(QStringLiteral("curl"), { QStringLiteral("-sS"), QStringLiteral("--cacert"),
                                                           nginx.certificates().caFile, QStringLiteral("-o"), curlOut, url });
                    QFile::remove(curlOut);
                    ::sync();
                    if (!s.ok) {
                        std::fprintf(stderr, "a %s run failed\n", tool == 0 ? "updater" : "curl");
                        return 1;
                    }
                    if (run < 0)
                        continue;
                    wall[tool] << s.wall;
                    cpu[tool] << s.cpu;
                    rss[tool] << s.rssMiB;
                }
            }
            for (int tool = 0; tool < 2; ++tool) {
                const QString row = QStringLiteral("| %1 MiB | %2 | %3 | %4 s | %5 MiB/s | %6 s | %7 MiB |\n")
                        .arg(mib).arg(protocol, tool == 0 ? QStringLiteral("updater") : QStringLiteral("curl"))
                        .arg(median(wall[tool]), 0, 'f', 2).arg(double(mib) / median(wall[tool]), 0, 'f', 0)
                        .arg(median(cpu[tool]), 0, 'f', 2).arg(median(rss[tool]), 0, 'f', 1);
                table += row;
                std::printf("%s", qPrintable(row));
                std::fflush(stdout);
            }
            ratios += QStringLiteral("| %1 MiB | %2 | %3 | %4 | %5 |\n").arg(mib).arg(protocol)
                    .arg(median(wall[0]) / median(wall[1]), 0, 'f', 2)
                    .arg(median(cpu[0]) / qMax(0.01, median(cpu[1])), 0, 'f', 2)
                    .arg(median(rss[0]) / median(rss[1]), 0, 'f', 2);
        }
        QFile::remove(nginx.root() + QStringLiteral("/") + name);
    }
    const QString text = table + QStringLiteral("\n") + ratios;
    std::printf("\n%s", qPrintable(ratios));
    if (parser.isSet(QStringLiteral("markdown"))) {
        QFile out(parser.value(QStringLiteral("markdown")));
        if (out.open(QIODevice::WriteOnly))
            out.write(text.toUtf8());
    }
    return 0;
}
