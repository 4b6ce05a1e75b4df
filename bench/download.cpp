// Download benchmark: the real Downloader with the dialog's progress display,
// against curl writing the same file, from nginx on loopback, HTTP and HTTPS.
// A third contender is the smallest Qt program that does the same job: an
// access manager whose reply is drained at readyRead through a 1 MiB buffer.
// It shows what Qt's own HTTP and TLS stack can do here, with nothing of ours.
// A fourth sends the GET itself over a QSslSocket (plain TCP for HTTP) and
// drains it the same way: Qt's socket without Qt's HTTP layer and its thread.
//
//   bench_download [--sizes 64,256,1024] [--runs 3] [--markdown FILE]
//
// Each fetch is its own process, measured by GNU time (wall, CPU, peak RSS);
// each also reports its transfer time, from the request to the last byte
// written (curl's time_total), which leaves out the start of the process.
// The five take turns, in an order that rotates every run. The tool runs twice:
// plain, and verified (size and SHA-256 given, hashed while it streams).
#include "crypto/crypto.h"
#include "downloader.h"
#include "network/tlstrust.h"
#include "nginxserver.h"
#include "report.h"
#include "updaterdialog.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTemporaryDir>

#include <cstdio>

#include <unistd.h>

namespace {

enum Tool { Updater, UpdaterVerified, QtMinimal, QtSocket, Curl, ToolCount };

const char *const toolNames[ToolCount] = { "updater", "updater, verified", "Qt minimal", "Qt socket", "curl" };

struct Sample
{
    double transfer = 0;
    double wall = 0;
    double cpu = 0;
    double rssMiB = 0;
    bool ok = false;
};

QByteArray sha256Of(const QString &path)
{
    Crypto::Sha256 hash;
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = file.read(chunk.data(), chunk.size())) > 0;)
        hash.addData(chunk.constData(), n);
    return hash.result();
}

// The child: one download through the dialog's Downloader, display included;
// with a size and SHA-256, verified as a manifest with integrity keys asks.
int fetch(const QString &url, const QString &caFile, qint64 size = -1, const QByteArray &sha256 = QByteArray())
{
    // As at the check that comes before any download in the tool.
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
    downloader->setVerification(size, sha256);
    QElapsedTimer timer;
    timer.start();
    downloader->startDownload(url);
    if (!finished.wait(600000) || !downloader->succeeded()) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(downloader->errorString()));
        return 1;
    }
    std::printf("%.4f\n", timer.nsecsElapsed() / 1e9);
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-download.bin"));
    return 0;
}

// The child: the minimal Qt program, no dialog and none of the Downloader's checks.
int fetchMinimal(const QString &url, const QString &caFile, const QString &target)
{
    QFile ca(caFile);
    if (ca.open(QIODevice::ReadOnly))
        addTrustedCertificates(ca.readAll());
    QNetworkAccessManager manager;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    QElapsedTimer timer;
    timer.start();
    QNetworkReply *reply = manager.get(QNetworkRequest(QUrl(url)));
    reply->setReadBufferSize(buffer.size());
    bool written = true;
    const auto drain = [&] {
        for (qint64 n; (n = reply->read(buffer.data(), buffer.size())) > 0;)
            written = written && out.write(buffer.constData(), n) == n;
    };
    QObject::connect(reply, &QIODevice::readyRead, drain);
    QObject::connect(reply, &QNetworkReply::finished, &QCoreApplication::quit);
    QCoreApplication::exec();
    drain();
    written = out.flush() && written;
    out.close();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(target);
    if (reply->error() != QNetworkReply::NoError || !written) {
        std::fprintf(stderr, "download failed: %s\n", qPrintable(reply->errorString()));
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}

// The child: HTTP/1.1 by hand over Qt's socket, one thread, no checks beyond
// the status line.
int fetchSocket(const QString &address, const QString &caFile, const QString &target)
{
    QFile ca(caFile);
    if (ca.open(QIODevice::ReadOnly))
        addTrustedCertificates(ca.readAll());
    const QUrl url(address);
    const bool tls = url.scheme() == QLatin1String("https");
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QSslSocket socket;
    socket.setReadBufferSize(1 << 20);
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    QByteArray head;
    bool inBody = false;
    bool written = true;
    qint64 received = 0;
    const auto drain = [&] {
        if (!inBody) {
            head += socket.readAll();
            const int end = head.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            inBody = true;
            if (!head.startsWith("HTTP/1.1 200")) {
                socket.abort();
                return;
            }
            received = head.size() - end - 4;
            written = out.write(head.constData() + end + 4, received) == received;
        }
        for (qint64 n; (n = socket.read(buffer.data(), buffer.size())) > 0; received += n)
            written = written && out.write(buffer.constData(), n) == n;
    };
    const QByteArray request = "GET " + url.path(QUrl::FullyEncoded).toLatin1() + " HTTP/1.1\r\nHost: "
            + url.authority().toLatin1() + "\r\nConnection: close\r\n\r\n";
    QElapsedTimer timer;
    timer.start();
    QObject::connect(&socket, &QIODevice::readyRead, drain);
    QObject::connect(&socket, &QAbstractSocket::disconnected, &QCoreApplication::quit);
    // The server closing the connection is how this response ends.
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, [](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            QCoreApplication::exit(1);
    });
    if (tls) {
        QObject::connect(&socket, &QSslSocket::encrypted, [&] { socket.write(request); });
        socket.connectToHostEncrypted(url.host(), quint16(url.port(443)));
    } else {
        QObject::connect(&socket, &QAbstractSocket::connected, [&] { socket.write(request); });
        socket.connectToHost(url.host(), quint16(url.port(80)));
    }
    const int status = QCoreApplication::exec();
    drain();
    written = out.flush() && written;
    out.close();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QFile::remove(target);
    if (status != 0 || !inBody || !written || received <= 0) {
        std::fprintf(stderr, "socket fetch failed: %s\n", qPrintable(socket.errorString()));
        return 1;
    }
    std::printf("%.4f\n", seconds);
    return 0;
}

Sample measure(const QString &program, const QStringList &arguments)
{
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("time.txt"));
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/usr/bin/time"),
                  QStringList{ QStringLiteral("-o"), report, QStringLiteral("-f"), QStringLiteral("%e %U %S %M"), program }
                      + arguments);
    Sample sample;
    if (!process.waitForFinished(900000) || process.exitCode() != 0)
        return sample;
    sample.transfer = process.readAllStandardOutput().trimmed().split('\n').last().toDouble();
    QFile file(report);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = file.readAll().trimmed().split('\n').last().split(' ');
    if (fields.size() != 4)
        return sample;
    sample.wall = fields.at(0).toDouble();
    sample.cpu = fields.at(1).toDouble() + fields.at(2).toDouble();
    sample.rssMiB = fields.at(3).toDouble() / 1024.0;
    sample.ok = sample.transfer > 0;
    return sample;
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
        return fetch(QString::fromLocal8Bit(argv[2]), argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString(),
                     argc > 5 ? QByteArray(argv[4]).toLongLong() : -1,
                     argc > 5 ? QByteArray::fromHex(argv[5]) : QByteArray());
    }
    if (argc >= 5 && qstrcmp(argv[1], "--fetch-socket") == 0) {
        QCoreApplication app(argc, argv);
        return fetchSocket(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           QString::fromLocal8Bit(argv[4]));
    }
    if (argc >= 5 && qstrcmp(argv[1], "--fetch-minimal") == 0) {
        QCoreApplication app(argc, argv);
        return fetchMinimal(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                            QString::fromLocal8Bit(argv[4]));
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
        "| Size | Protocol | Tool | Transfer (median) | Throughput | Process wall | CPU time | Peak RSS |\n"
        "|---|---|---|---|---|---|---|---|\n");
    QString ratios = QStringLiteral(
        "| Size | Protocol | Transfer ours/curl | Transfer Qt minimal/curl | Transfer Qt socket/curl"
        " | Transfer ours/Qt minimal | Transfer verified/plain | Wall ours/curl | CPU ours/curl | Peak RSS ours/curl |\n"
        "|---|---|---|---|---|---|---|---|---|---|\n");
    const QString output = QDir::temp().filePath(QStringLiteral("bench-download-%1.bin").arg(QCoreApplication::applicationPid()));
    for (const QString &sizeText : parser.value(QStringLiteral("sizes")).split(QLatin1Char(','))) {
        const qint64 mib = sizeText.toLongLong();
        const QString name = QStringLiteral("file-%1M.bin").arg(mib);
        if (!makeFile(nginx.root() + QStringLiteral("/") + name, mib << 20)) {
            std::fprintf(stderr, "cannot create the %lld MiB file\n", mib);
            return 1;
        }
        const QString sha256 = QString::fromLatin1(sha256Of(nginx.root() + QStringLiteral("/") + name).toHex());
        for (const QString &origin : { nginx.httpOrigin(), nginx.httpsOrigin() }) {
            const QString url = origin + QStringLiteral("/") + name;
            const QString protocol = origin.startsWith(QLatin1String("https")) ? QStringLiteral("HTTPS")
                                                                              : QStringLiteral("HTTP");
            const QString caFile = nginx.certificates().caFile;
            QVector<double> transfer[ToolCount], wall[ToolCount], cpu[ToolCount], rss[ToolCount];
            // Run -1 is a warm-up, not counted; the order rotates, and the page
            // cache is written back between fetches, so that one program's
            // dirty pages never slow the next one down.
            for (int run = -1; run < runs; ++run) {
                for (int turn = 0; turn < ToolCount; ++turn) {
                    const int tool = (turn + run + 1) % ToolCount;
                    ::sync();
                    Sample s;
                    if (tool == Updater)
                        s = measure(QCoreApplication::applicationFilePath(), { QStringLiteral("--fetch"), url, caFile });
                    else if (tool == UpdaterVerified)
                        s = measure(QCoreApplication::applicationFilePath(),
                                    { QStringLiteral("--fetch"), url, caFile, QString::number(mib << 20), sha256 });
                    else if (tool == QtMinimal)
                        s = measure(QCoreApplication::applicationFilePath(),
                                    { QStringLiteral("--fetch-minimal"), url, caFile, output });
                    else if (tool == QtSocket)
                        s = measure(QCoreApplication::applicationFilePath(),
                                    { QStringLiteral("--fetch-socket"), url, caFile, output });
                    else
                        s = measure(QStringLiteral("curl"), { QStringLiteral("-sS"), QStringLiteral("--cacert"), caFile,
                                                             QStringLiteral("-o"), output, QStringLiteral("-w"),
                                                             QStringLiteral("%{time_total}\n"), url });
                    QFile::remove(output);
                    ::sync();
                    if (!s.ok) {
                        std::fprintf(stderr, "a %s run failed\n", toolNames[tool]);
                        return 1;
                    }
                    if (run < 0)
                        continue;
                    transfer[tool] << s.transfer;
                    wall[tool] << s.wall;
                    cpu[tool] << s.cpu;
                    rss[tool] << s.rssMiB;
                }
            }
            for (int tool = 0; tool < ToolCount; ++tool) {
                const QString row = QStringLiteral("| %1 MiB | %2 | %3 | %4 s | %5 MiB/s | %6 s | %7 s | %8 MiB |\n")
                        .arg(mib).arg(protocol, QString::fromLatin1(toolNames[tool]))
                        .arg(median(transfer[tool]), 0, 'f', 2)
                        .arg(double(mib) / median(transfer[tool]), 0, 'f', 0)
                        .arg(median(wall[tool]), 0, 'f', 2)
                        .arg(median(cpu[tool]), 0, 'f', 2).arg(median(rss[tool]), 0, 'f', 1);
                table += row;
                std::printf("%s", qPrintable(row));
                std::fflush(stdout);
            }
            const auto ratio = [](double a, double b) { return QString::number(a / qMax(0.005, b), 'f', 2); };
            ratios += QStringLiteral("| %1 MiB | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |\n").arg(mib).arg(protocol)
                    .arg(ratio(median(transfer[Updater]), median(transfer[Curl])),
                         ratio(median(transfer[QtMinimal]), median(transfer[Curl])),
                         ratio(median(transfer[QtSocket]), median(transfer[Curl])),
                         ratio(median(transfer[Updater]), median(transfer[QtMinimal])),
                         ratio(median(transfer[UpdaterVerified]), median(transfer[Updater])),
                         ratio(median(wall[Updater]), median(wall[Curl])),
                         ratio(median(cpu[Updater]), median(cpu[Curl])),
                         ratio(median(rss[Updater]), median(rss[Curl])));
        }
        QFile::remove(nginx.root() + QStringLiteral("/") + name);
    }
    const QString text = table + QStringLiteral("\n") + ratios;
    std::printf("\n%s", qPrintable(ratios));
    writeMarkdown(parser.value(QStringLiteral("markdown")), text);
    return 0;
}
