#include "dialogdriver.h"
#include "archive/patcharchive.h"
#include "delta/deltarebuild.h"
#include "deltawriter.h"
#include "downloader.h"
#include "launchparams.h"
#include "testserver.h"
#include "testutil.h"
#include "transaction/installtransaction.h"
#include "updaterdialog.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

namespace {

// Makes every write past 1 MiB fail, as on a disk that fills up. Windows has
// no per-process file-size limit; the tests that need it are skipped there.
bool limitFileSize()
{
#ifdef Q_OS_WIN
    return false;
#else
    rlimit limit {};
    limit.rlim_cur = limit.rlim_max = 1024 * 1024;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails with EFBIG instead
    return true;
#endif
}

// Child mode: download with a file-size limit.
int runFileSizeLimitedDownload(const QString &url, const QString &name)
{
    if (!limitFileSize())
        return 4;
    Downloader downloader;
    QSignalSpy finished(&downloader, &Downloader::doFinished);
    downloader.setFileName(name);
    downloader.startDownload(url);
    if (!finished.wait(60000))
        return 3;
    std::printf("succeeded=%d\nerror=%s\n", downloader.succeeded() ? 1 : 0,
                qPrintable(downloader.errorString()));
    return 0;
}

// Child mode: unpack a patch, or rebuild a delta into a transaction, with a file-size limit.
int runFileSizeLimitedUnpack(const QString &archive, const QString &directory, bool delta)
{
    if (!limitFileSize())
        return 4;
    bool ok = false;
    QString error;
    if (delta) {
        InstallTransaction transaction(directory);
        DeltaRebuild rebuild(archive);
        ok = transaction.begin() && rebuild.stageInto(&transaction);
        error = rebuild.errorString();
    } else {
        PatchArchive patch(archive);
        ok = patch.extractTo(directory);
        error = patch.errorString();
    }
    std::printf("extracted=%d\nerror=%s\n", ok ? 1 : 0, qPrintable(error));
    return 0;
}

} // namespace

using namespace DialogDriver;

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void diskFillsDuringDownload();
    void diskFillsDuringUnpack_data();
    void diskFillsDuringUnpack();
    void hostileManifests_data();
    void hostileManifests();
    void cancelDuringDownload();

private:
    TestServer server;
};

void tst_Faults::initTestCase()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    QVERIFY(server.start());
}

void tst_Faults::init()
{
    baseUrl = server.origin() + ServerPath;
}

void tst_Faults::cleanup()
{
    clearApplicationDir();
}

void tst_Faults::diskFillsDuringDownload()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no per-process file-size limit to make the disk look full");
#endif
    TestResponse big;
    big.generatedSize = 4 * 1024 * 1024;
    server.setResponse("/big.zip", big);
    QVERIFY(writeFile(appPath("full-disk.zip"), "the file we had"));

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QSignalSpy done(&child, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    child.start(QCoreApplication::applicationFilePath(),
                { "--fsize-child", server.origin() + "/big.zip", "full-disk.zip" });
    QVERIFY(done.wait(60000));
    QCOMPARE(child.exitCode(), 0);
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(output.contains("succeeded=0"), qPrintable(output));
    QVERIFY2(output.contains("error=cannot write") && !output.contains("Unknown error"), qPrintable(output));
    QCOMPARE(readFile(appPath("full-disk.zip")), QByteArray("the file we had"));
    QVERIFY(!QFile::exists(appPath("full-disk.zip.part")));
}

void tst_Faults::diskFillsDuringUnpack_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("said");
    QTest::newRow("a patch") << "patch" << "cannot write big.dat: File too large";
    // Written on a thread of its own, a failed write must still fail the rebuild.
    QTest::newRow("a delta of approximate matches") << "delta" << "cannot write big.dat: File too large";
    // A large program's transformed base goes to a scratch file first; the message names the program.
    QTest::newRow("a program's transformed base in the scratch file")
        << "scratch" << "cannot transform the installed Foo into ";
}

void tst_Faults::diskFillsDuringUnpack()
{
#ifdef Q_OS_WIN
    QSKIP("Windows has no per-process file-size limit to make the disk look full");
#endif
    QFETCH(QString, road);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString app = dir.filePath("app");
    QVERIFY(QDir().mkpath(app));
    QVERIFY(writeFile(app + "/Foo", "old program"));
    QVERIFY(writeFile(app + "/big.dat", "old data"));
    QByteArray big(2 * 1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char((quint32(i) * 7919u) >> 3);
    // The small file comes first: it is written, then the big one hits the limit.
    QVERIFY(writeFile(dir.filePath("patch.zip"), makeZip({ { "Foo", "new program" }, { "big.dat", big } })));
    if (road != "patch") {
        // The installed file is the old release's; the new one differs a little. For "scratch", a real
        // program (this test's own) beyond what a client keeps in memory, shifted by an insertion.
        const QString name = road == "delta" ? "big.dat" : "Foo";
        QByteArray file = road == "delta" ? big
                                          : readFile(QCoreApplication::applicationFilePath()) + QByteArray(20 << 20, '\x5a');
        QVERIFY(writeFile(app + "/" + name, file));
        file = road == "delta" ? file.replace(1000, 3, "new") : file.insert(file.size() / 3, QByteArray(37, '\x90'));
        QVERIFY(QDir().mkpath(dir.filePath("new")));
        QVERIFY(writeFile(dir.filePath("new/" + name), file));
        QFile delta(dir.filePath("patch.zip"));
        DeltaWriter writer;
        writer.setMethods(road == "delta" ? DeltaWriter::Matches : DeltaWriter::TransformedMatches);
        QVERIFY(delta.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY2(writer.write({ { name, dir.filePath("new/" + name), file.size() } }, app, &delta),
                 qPrintable(writer.errorString()));
        QVERIFY2(writer.report().join('\n').contains(road == "delta" ? "matches big.dat" : "matches, transformed Foo"),
                 qPrintable(writer.report().join('\n')));
        delta.close();
    }
    const QByteArray installed = readFile(app + "/Foo");

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                { road == "patch" ? "--fsize-unpack" : "--fsize-rebuild", dir.filePath("patch.zip"), app });
    QVERIFY(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
    QVERIFY2(output.contains("extracted=0"), qPrintable(output));
    QVERIFY2(output.contains(said), qPrintable(output));
    QCOMPARE(readFile(app + "/Foo"), installed);
    QCOMPARE(readFile(app + "/big.dat"), road == "delta" ? big : QByteArray("old data"));
    QStringList left = QDir(app).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    QCOMPARE(left, QStringList({ "Foo", "big.dat" })); // no staging folder left behind
}

void tst_Faults::hostileManifests_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reportStart");

    const QByteArray bigLog(6 * 1024 * 1024, 'x');
    QTest::newRow("several megabytes")
        << QByteArray("{\"updates\":{\"windows\":{\"patch-version\":\"2\",\"changelog\":\"" + bigLog + "\"}}}")
        << "check error\nthe server's answer is larger than 1048576 bytes";
    QTest::newRow("deeply nested") << QByteArray(100000, '[') + QByteArray(100000, ']') << "reply doc is null";
    QTest::newRow("deeply nested object")
        << QByteArray("{\"updates\":") + QByteArray(5000, '[') + QByteArray(5000, ']') + "}" << "reply doc is null";
    QTest::newRow("invalid UTF-8")
        << QByteArray("{\"updates\":{\"windows\":{\"patch-version\":\"2\xff\xfe\"}}}") << "reply doc is null";
    QTest::newRow("wrong types")
        << QByteArray("{\"updates\":{\"windows\":{\"patch-version\":2,\"full-version\":[1],\"modify-time\":{},"
                      "\"modifyCnt\":null,\"download-full\":\"true\",\"patch-url\":7,\"changelog\":false}}}")
        << "======================================\ncurrent software is up-to-date\nversion        : v\n"
           "modify     time: \nmodify      cnt: \n======================================\nno need to update";
    QTest::newRow("NUL bytes") << QByteArray("{\"updates\"\0:{}}", 15) << "reply doc is null";
}

void tst_Faults::hostileManifests()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reportStart);
    pointAt(server.origin(), QStringLiteral("0"), QStringLiteral("0"));
    server.setResponse(ServerPath + "Hostile/updates.json", TestResponse::ok(body));
    UpdaterDialog dialog;
    typeAndCheck(&dialog, "Hostile", "1");
    QTRY_VERIFY_WITH_TIMEOUT(!report(&dialog).isEmpty(), 20000);
    QVERIFY2(report(&dialog).startsWith(reportStart), qPrintable(report(&dialog).left(300)));
}

void tst_Faults::cancelDuringDownload()
{
    TestResponse slow = TestResponse::ok(QByteArray(40000, 's'));
    slow.chunkSize = 1000;
    slow.chunkDelayMs = 50;
    server.setResponse("/files/Slow/Slow-patch-v2.zip", slow);
    server.setResponse(ServerPath + "Slow/updates.json", TestResponse::ok(QStringLiteral(
        "{\"updates\":{\"windows\":{\"patch-version\":\"2\",\"full-version\":\"2\",\"patch-url\":\"%1/files/\","
        "\"patch-sha256\":\"%2\"}}}").arg(server.origin(), QString::fromLatin1(slow.sha256Hex())).toUtf8()));
    UpdaterDialog dialog;
    typeAndCheck(&dialog, "Slow", "1");
    QTRY_VERIFY(button(&dialog, "btn_update_patch")->isEnabled());
    button(&dialog, "btn_update_patch")->click();
    QTRY_VERIFY(QFileInfo(appPath("Slow-patch-v2.zip.part")).size() > 0);
    QTimer::singleShot(0, button(&dialog, "btn_cancel"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    // The transfer ends with the tool; nothing half-written has the final name.
    QVERIFY(!QFile::exists(appPath("Slow-patch-v2.zip")));
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--fsize-child") == 0) {
        QCoreApplication app(argc, argv);
        return runFileSizeLimitedDownload(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    if (argc == 4 && (qstrcmp(argv[1], "--fsize-unpack") == 0 || qstrcmp(argv[1], "--fsize-rebuild") == 0)) {
        QCoreApplication app(argc, argv);
        return runFileSizeLimitedUnpack(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                        qstrcmp(argv[1], "--fsize-rebuild") == 0);
    }
    QApplication app(argc, argv);
    tst_Faults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
