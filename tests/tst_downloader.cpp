#include "downloader.h"
#include "network/networkpolicy.h"
#include "network/resumestate.h"
#include "testserver.h"
#include "testutil.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QtTest>

#include <algorithm>


class tst_Downloader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savesUnderTheFinalName();
    void signalOrder();
    void secondStartIsIgnored();
    void emptyUrlReusesThePreviousOne();
    void setFileNameRefusedWhileRunning();
    void existingFileIsBackedUp();
    void sameDayBackupIsKept();
    void leftoverPartFileIsDiscarded();
    void serverFileName_data();
    void serverFileName();
    void redirectIsFollowed();
    void resume_data();
    void resume();
    void takenServerNameIsNotUsed();
    void unknownLength_data();
    void unknownLength();
    void failedTransfersAreNotPromoted_data();
    void failedTransfersAreNotPromoted();
    void sideFileIsCheckedNeverObeyed_data();
    void sideFileIsCheckedNeverObeyed();
    void unwritablePartFile();
    void refusedConnection();
    void verification_data();
    void verification();
    void largeDownloadKeepsMemoryBounded();
    void mirrorsTakeOver_data();
    void mirrorsTakeOver();

private:
    QString dir() const { return QCoreApplication::applicationDirPath(); }
    QString path(const QString &name) const { return dir() + QStringLiteral("/") + name; }
    bool run(Downloader *downloader, const QString &url);
    QStringList events;
    void record(Downloader *downloader);
    TestServer server;
};

void tst_Downloader::init()
{
    NetworkPolicy::setStallTimeoutMs(1500);
    events.clear();
    if (!server.isListening())
        QVERIFY(server.start());
}

void tst_Downloader::cleanup()
{
    QDir d(dir());
    for (const QString &name : d.entryList({ "dl-*" }, QDir::AllEntries | QDir::Hidden)) {
        if (QFileInfo(d.filePath(name)).isDir())
            QDir(d.filePath(name)).removeRecursively();
        else
            QFile::remove(d.filePath(name));
    }
}

void tst_Downloader::record(Downloader *downloader)
{
    connect(downloader, &Downloader::doProgress, this, [this](qint64 received, qint64 total) {
        events << QStringLiteral("progress %1/%2").arg(received).arg(total);
    });
    connect(downloader, &Downloader::onError, this, [this](QNetworkReply::NetworkError code) {
        events << QStringLiteral("error %1").arg(int(code));
    });
    connect(downloader, &Downloader::doShowInfo, this, [this](const QString &message) {
        events << QStringLiteral("info ") + message;
    });
    connect(downloader, &Downloader::doFinished, this, [this] { events << QStringLiteral("finished"); });
}

bool tst_Downloader::run(Downloader *downloader, const QString &url)
{
    QSignalSpy finished(downloader, &Downloader::doFinished);
    downloader->startDownload(url);
    return finished.wait(30000) && finished.count() == 1;
}

void tst_Downloader::savesUnderTheFinalName()
{
    server.setResponse("/a.zip", TestResponse::ok("patch bytes"));
    Downloader downloader;
    QCOMPARE(downloader.directory()->path(), dir());
    QVERIFY(downloader.setFileName("dl-a.zip"));
    QVERIFY(run(&downloader, server.origin() + "/a.zip"));
    QVERIFY(downloader.succeeded());
    QCOMPARE(readFile(path("dl-a.zip")), QByteArray("patch bytes"));
    QVERIFY(!QFile::exists(path("dl-a.zip.part")));
    QCOMPARE(downloader.fileName(), QStringLiteral("dl-a.zip"));
    QCOMPARE(QFileInfo(*downloader.file()).absoluteFilePath(), path("dl-a.zip"));
    QVERIFY(!downloader.isDownloading());
}

void tst_Downloader::signalOrder()
{
    TestResponse slow = TestResponse::ok(QByteArray(3000, 'x'));
    slow.chunkSize = 1000;
    slow.chunkDelayMs = 30;
    server.setResponse("/slow", slow);
    Downloader downloader;
    record(&downloader);
    downloader.setFileName("dl-slow");
    QVERIFY(run(&downloader, server.origin() + "/slow"));
    QVERIFY(events.size() >= 2);
    QCOMPARE(events.last(), QStringLiteral("finished"));
    QCOMPARE(events.count("finished"), 1);
    QCOMPARE(events.at(events.size() - 2), QStringLiteral("progress 3000/3000"));
    for (int i = 0; i < events.size() - 1; ++i)
        QVERIFY2(events.at(i).startsWith("progress"), qPrintable(events.at(i)));
    QCOMPARE(readFile(path("dl-slow")), QByteArray(3000, 'x'));
}

void tst_Downloader::secondStartIsIgnored()
{
    TestResponse slow = TestResponse::ok(QByteArray(4000, 'x'));
    slow.chunkSize = 1000;
    slow.chunkDelayMs = 50;
    server.setResponse("/first", slow);
    server.setResponse("/second", TestResponse::ok("second"));
    Downloader downloader;
    downloader.setFileName("dl-first");
    QSignalSpy finished(&downloader, &Downloader::doFinished);
    QSignalSpy progress(&downloader, &Downloader::doProgress);
    downloader.startDownload(server.origin() + "/first");
    QVERIFY(downloader.isDownloading());
    const int progressBefore = progress.count();
    downloader.startDownload(server.origin() + "/second");
    QCOMPARE(progress.count(), progressBefore); // no signal from the ignored call
    QVERIFY(finished.wait(30000));
    QCOMPARE(server.requestCount("/second"), 0);
    QCOMPARE(readFile(path("dl-first")), QByteArray(4000, 'x'));
    QCOMPARE(finished.count(), 1);
}

void tst_Downloader::emptyUrlReusesThePreviousOne()
{
    server.setResponse("/again", TestResponse::ok("again"));
    Downloader downloader;
    downloader.setFileName("dl-again");
    const int before = server.requestCount("/again");
    QVERIFY(run(&downloader, server.origin() + "/again"));
    QVERIFY(run(&downloader, QString()));
    QCOMPARE(server.requestCount("/again"), before + 2);

    Downloader preset;
    preset.setFileName("dl-preset");
    preset.setUrl(server.origin() + "/again");
    QVERIFY(run(&preset, QString()));
    QCOMPARE(readFile(path("dl-preset")), QByteArray("again"));
}

void tst_Downloader::setFileNameRefusedWhileRunning()
{
    TestResponse slow = TestResponse::ok(QByteArray(3000, 'y'));
    slow.chunkSize = 1000;
    slow.chunkDelayMs = 50;
    server.setResponse("/rename", slow);
    Downloader downloader;
    downloader.setFileName("dl-kept");
    QSignalSpy finished(&downloader, &Downloader::doFinished);
    downloader.startDownload(server.origin() + "/rename");
    QVERIFY(!downloader.setFileName("dl-other"));
    QVERIFY(finished.wait(30000));
    QCOMPARE(downloader.fileName(), QStringLiteral("dl-kept"));
    QVERIFY(QFile::exists(path("dl-kept")));
    QVERIFY(!QFile::exists(path("dl-other")));
    QVERIFY(downloader.setFileName("dl-other")); // idle again
}

static QString backupName(const QString &name)
{
    return name + QStringLiteral("_") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
}

void tst_Downloader::existingFileIsBackedUp()
{
    server.setResponse("/new", TestResponse::ok("new"));
    QVERIFY(writeFile(path("dl-app.zip"), "old"));
    Downloader downloader;
    downloader.setFileName("dl-app.zip");
    QVERIFY(run(&downloader, server.origin() + "/new"));
    QCOMPARE(readFile(path("dl-app.zip")), QByteArray("new"));
    QCOMPARE(readFile(path(backupName("dl-app.zip"))), QByteArray("old"));
}

void tst_Downloader::sameDayBackupIsKept()
{
    // One backup of a name, of this day or an earlier one: a retry replaces its earlier copy.
    server.setResponse("/new", TestResponse::ok("new"));
    for (const QString &backup : { backupName("dl-app.zip"), QStringLiteral("dl-app.zip_2020-01-01") }) {
        QVERIFY(writeFile(path("dl-app.zip"), "second"));
        QVERIFY(writeFile(path(backup), "first"));
        Downloader downloader;
        downloader.setFileName("dl-app.zip");
        QVERIFY(run(&downloader, server.origin() + "/new"));
        QCOMPARE(readFile(path("dl-app.zip")), QByteArray("new"));
        QCOMPARE(readFile(path(backup)), QByteArray("first"));
        QCOMPARE(QDir(dir()).entryList({ "dl-app.zip_*" }).size(), 1);
        QVERIFY(QFile::remove(path(backup)));
    }
}

void tst_Downloader::leftoverPartFileIsDiscarded()
{
    server.setResponse("/fresh", TestResponse::ok("fresh"));
    server.setResponse("/named", TestResponse::ok("named").header("Content-Disposition",
                                                                   "attachment; filename=\"dl-server.exe\""));
    QVERIFY(writeFile(path("dl-fresh.part"), "stale bytes from an earlier run "));
    QVERIFY(writeFile(path("dl-server.exe.part"), "stale bytes of the server's name "));
    Downloader downloader;
    downloader.setFileName("dl-fresh");
    QVERIFY(run(&downloader, server.origin() + "/fresh"));
    QCOMPARE(readFile(path("dl-fresh")), QByteArray("fresh"));
    downloader.setFileName("dl-caller.exe");
    QVERIFY(run(&downloader, server.origin() + "/named"));
    QCOMPARE(readFile(path("dl-server.exe")), QByteArray("named"));
}

void tst_Downloader::serverFileName_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("expected");
    QTest::newRow("server's name") << QByteArray("attachment; filename=\"dl-Foo-1.2.exe\"") << "dl-Foo-1.2.exe";
    QTest::newRow("percent escape") << QByteArray("attachment; filename=\"dl-My%20App.exe\"") << "dl-My App.exe";
    QTest::newRow("no match keeps the caller's name") << QByteArray("attachment; filename=dl-x.exe") << "dl-caller.exe";
    QTest::newRow("parent traversal") << QByteArray("attachment; filename=\"../../dl-x.exe\"") << "dl-x.exe";
    QTest::newRow("drive path") << QByteArray("attachment; filename=\"C:\\\\dl-x.exe\"") << "dl-x.exe";
    QTest::newRow("absolute path") << QByteArray("attachment; filename=\"/etc/dl-x.exe\"") << "dl-x.exe";
    QTest::newRow("escaped traversal") << QByteArray("attachment; filename=\"%2E%2E%2Fdl-y.exe\"") << "dl-y.exe";
    QTest::newRow("extension in capitals") << QByteArray("attachment; filename=\"dl-Setup.EXE\"") << "dl-Setup.EXE";
    // Names that would have the download replace what the application needs.
    QTest::newRow("the application's program") << QByteArray("attachment; filename=\"dl-app.exe\"") << "dl-caller.exe";
    QTest::newRow("the program, other case") << QByteArray("attachment; filename=\"DL-APP.exe\"") << "dl-caller.exe";
    QTest::newRow("the tool's own file") << "attachment; filename=\""
            + QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + "\"" << "dl-caller.exe";
    QTest::newRow("an existing folder") << QByteArray("attachment; filename=\"dl-lib.exe\"") << "dl-caller.exe";
    QTest::newRow("a data file of the application") << QByteArray("attachment; filename=\"dl-assets.exe\"")
                                                    << "dl-caller.exe";
    QTest::newRow("another kind of file") << QByteArray("attachment; filename=\"updates.json\"") << "dl-caller.exe";
    QTest::newRow("a part file") << QByteArray("attachment; filename=\"dl-x.exe.part\"") << "dl-caller.exe";
    QTest::newRow("no extension") << QByteArray("attachment; filename=\"dl-x\"") << "dl-caller.exe";
    QTest::newRow("only dots keeps the caller's name") << QByteArray("attachment; filename=\"..\"") << "dl-caller.exe";
}

void tst_Downloader::serverFileName()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, expected);
    server.setResponse("/named", TestResponse::ok("body").header("Content-Disposition", header));
    const QDir parent = QDir(dir() + "/..");
    const QStringList parentBefore = parent.entryList(QDir::AllEntries);
    QVERIFY(QDir().mkpath(path("dl-lib.exe")));
    QVERIFY(writeFile(path("dl-assets.exe"), "the application's data"));
    Downloader downloader;
    downloader.setFileName("dl-caller.exe");
    downloader.setReservedNames({ "dl-app.exe" });
    QVERIFY(run(&downloader, server.origin() + "/named"));
    QVERIFY(downloader.succeeded());
    QCOMPARE(downloader.fileName(), expected);
    QCOMPARE(readFile(path(expected)), QByteArray("body"));
    QCOMPARE(QFileInfo(*downloader.file()).absoluteFilePath(), path(expected));
    QCOMPARE(parent.entryList(QDir::AllEntries), parentBefore);
    QCOMPARE(readFile(path("dl-assets.exe")), QByteArray("the application's data"));
    QVERIFY(!QFileInfo::exists(path("dl-assets.exe_" + QDate::currentDate().toString("yyyy-MM-dd"))));
}

void tst_Downloader::redirectIsFollowed()
{
    server.setResponse("/moved", TestResponse::error(302, "Found").header("Location", "/elsewhere/final"));
    server.setResponse("/elsewhere/final", TestResponse::ok("the file").header(
            "Content-Disposition", "attachment; filename=\"dl-final.zip\""));
    Downloader downloader;
    downloader.setFileName("dl-moved.zip");
    QVERIFY(run(&downloader, server.origin() + "/moved"));
    QVERIFY2(downloader.succeeded(), qPrintable(downloader.errorString()));
    // The final answer's name and body count.
    QCOMPARE(readFile(path("dl-final.zip")), QByteArray("the file"));
}

void tst_Downloader::resume_data()
{
    QTest::addColumn<int>("ranges");      // how the server answers the second try's Range
    QTest::addColumn<bool>("etag");       // the server gives a validator
    QTest::addColumn<bool>("sha256");     // the caller gives the file's SHA-256
    QTest::addColumn<bool>("changed");    // the file changed on the server between the tries
    QTest::addColumn<bool>("continues");  // the second try fetches only the rest

    const int serve = TestResponse::ServeRanges;
    QTest::newRow("validator and hash: continued") << serve << true << true << false << true;
    QTest::newRow("hash alone: continued") << serve << false << true << false << true;
    QTest::newRow("validator alone: continued") << serve << true << false << false << true;
    QTest::newRow("file changed (new ETag): fetched whole") << serve << true << false << true << false;
    QTest::newRow("server ignores ranges (200)") << int(TestResponse::IgnoreRanges) << true << true << false << false;
    QTest::newRow("server answers 416") << int(TestResponse::Unsatisfiable) << true << true << false << false;
    QTest::newRow("Content-Range starts elsewhere") << int(TestResponse::WrongStart) << true << true << false << false;
    QTest::newRow("no validator, no hash: nothing kept") << serve << false << false << false << false;
}

void tst_Downloader::resume()
{
    QFETCH(int, ranges);
    QFETCH(bool, etag);
    QFETCH(bool, sha256);
    QFETCH(bool, changed);
    QFETCH(bool, continues);
    QByteArray body(200000, Qt::Uninitialized);
    for (int i = 0; i < body.size(); ++i)
        body[i] = char((i * 7) ^ (i >> 9));
    QByteArray newBody = body;
    newBody[150000] = 'X';
    auto answer = [&](const QByteArray &content, const QByteArray &tag) {
        TestResponse response = TestResponse::ok(content);
        response.chunkSize = 10000;
        response.ranges = TestResponse::Ranges(ranges);
        if (etag)
            response.header("ETag", tag);
        return response;
    };
    const QByteArray hash = sha256 ? QCryptographicHash::hash(body, QCryptographicHash::Sha256) : QByteArray();

    // The first try stops half-way: the server stalls until the time-out ends it.
    // (A connection closed early can make Qt send the request again on its own.)
    NetworkPolicy::setStallTimeoutMs(300);
    TestResponse cut = answer(body, "\"v1\"");
    cut.stallAfter = 100000;
    server.setResponse("/resume.zip", cut);
    server.clearRequests();
    Downloader downloader;
    downloader.setFileName("dl-resume.zip");
    downloader.setVerification(-1, hash);
    QVERIFY(run(&downloader, server.origin() + "/resume.zip"));
    QVERIFY(!downloader.succeeded());
    const bool kept = etag || sha256;
    QCOMPARE(QFile::exists(path("dl-resume.zip.part")), kept);
    QCOMPARE(QFile::exists(path("dl-resume.zip.resume")), kept);
    // What arrived before the cut; the connection may lose the last bytes in flight.
    const qint64 keptBytes = QFileInfo(path("dl-resume.zip.part")).size();
    QCOMPARE(keptBytes, kept ? 100000 : 0);

    server.setResponse("/resume.zip", answer(changed ? newBody : body, changed ? "\"v2\"" : "\"v1\""));
    const qint64 sentBefore = server.bodyBytesSent("/resume.zip");
    QList<qint64> received;
    connect(&downloader, &Downloader::doProgress, this, [&received](qint64 bytes, qint64) { received << bytes; });
    downloader.setVerification(-1, hash);
    QVERIFY(run(&downloader, QString()));
    QVERIFY2(downloader.succeeded(), qPrintable(downloader.errorString()));
    QCOMPARE(readFile(path("dl-resume.zip")), changed ? newBody : body);
    QVERIFY(!QFile::exists(path("dl-resume.zip.part")));
    QVERIFY(!QFile::exists(path("dl-resume.zip.resume")));

    // Qt may send a request again once when a connection closes early; look at them all.
    QByteArray requests;
    for (const QByteArray &headers : server.headersOfRequests())
        requests += headers + '\n';
    QCOMPARE(requests.contains("Range: bytes=" + QByteArray::number(keptBytes) + "-"), kept);
    QCOMPARE(requests.contains("If-Range: \"v1\""), kept && etag);
    if (continues) {
        // The kept bytes and the rest make the file: nothing fetched twice.
        QVERIFY(keptBytes + server.bodyBytesSent("/resume.zip") - sentBefore <= body.size() * 105 / 100);
        // The bar goes on from the kept bytes, never back.
        QVERIFY(!received.isEmpty() && received.first() >= keptBytes);
        QVERIFY(std::is_sorted(received.cbegin(), received.cend()));
    } else {
        QVERIFY(server.bodyBytesSent("/resume.zip") - sentBefore >= body.size());
    }
}

void tst_Downloader::takenServerNameIsNotUsed()
{
    server.setResponse("/named", TestResponse::ok("fresh").header("Content-Disposition",
                                                                   "attachment; filename=\"dl-taken.exe\""));
    QVERIFY(writeFile(path("dl-taken.exe"), "stale"));
    Downloader downloader;
    QSignalSpy info(&downloader, &Downloader::doShowInfo);
    downloader.setFileName("dl-caller.exe");
    QVERIFY(run(&downloader, server.origin() + "/named"));
    QVERIFY(downloader.succeeded());
    QCOMPARE(info.count(), 0);
    QCOMPARE(readFile(path("dl-caller.exe")), QByteArray("fresh"));
    QCOMPARE(readFile(path("dl-taken.exe")), QByteArray("stale"));
    QVERIFY(!QFileInfo::exists(path(backupName("dl-taken.exe"))));
}

void tst_Downloader::unknownLength_data()
{
    QTest::addColumn<int>("framing");
    QTest::newRow("chunked") << int(TestResponse::Chunked);
    QTest::newRow("ends when the server closes") << int(TestResponse::CloseDelimited);
}

void tst_Downloader::unknownLength()
{
    QFETCH(int, framing);
    TestResponse response = TestResponse::ok(QByteArray(200000, 'c'));
    response.framing = TestResponse::Framing(framing);
    response.chunkSize = 50000;
    response.chunkDelayMs = 150;
    server.setResponse("/unknown", response);
    Downloader downloader;
    QList<qint64> totals;
    connect(&downloader, &Downloader::doProgress, this, [&totals](qint64, qint64 total) { totals << total; });
    downloader.setFileName("dl-unknown");
    QVERIFY(run(&downloader, server.origin() + "/unknown"));
    QVERIFY(downloader.succeeded());
    QVERIFY(!totals.isEmpty());
    QCOMPARE(totals.first(), qint64(-1));
    // Written as it arrives, though no report ever had a positive total.
    QCOMPARE(readFile(path("dl-unknown")), QByteArray(200000, 'c'));
}

void tst_Downloader::failedTransfersAreNotPromoted_data()
{
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<QString>("reason");

    QTest::newRow("404 page") << TestResponse::error(404, "Not Found", "<html>gone</html>") << "HTTP status 404";
    QTest::newRow("redirect to a closed port")
        << TestResponse::error(302, "Found").header("Location", "http://127.0.0.1:1/x") << "";
    QTest::newRow("redirect loop") << TestResponse::error(302, "Found").header("Location", "/bad")
                                   << "the server redirected more than 5 times (a redirect loop?); not followed further";
    QTest::newRow("redirect to ftp:") << TestResponse::error(302, "Found").header("Location", "ftp://127.0.0.1/x")
                                      << "the server redirected to an address that is not http or https; not followed";
    // Each byte restarts the stall time-out; only the rate rule ends it.
    TestResponse drip = TestResponse::ok(QByteArray(30000, 'z'));
    drip.chunkSize = 1;
    drip.chunkDelayMs = 100;
    QTest::newRow("server drips a byte at a time") << drip
                                                   << "the server is sending too slowly (less than 1024 bytes/s over 0.6 s)";
    TestResponse stalledBody = TestResponse::ok(QByteArray(30000, 'z'));
    stalledBody.stallAfter = 11;
    QTest::newRow("server stalls after 11 bytes") << stalledBody << NetworkPolicy::stallMessage();
    TestResponse stalledHeaders = TestResponse::ok("never");
    stalledHeaders.stallBeforeHeaders = true;
    QTest::newRow("server stalls before the headers") << stalledHeaders << NetworkPolicy::stallMessage();
    QTest::newRow("500") << TestResponse::error(500, "Internal Server Error", "oops") << "HTTP status 500";
    QTest::newRow("503, busy for a minute") << TestResponse::error(503, "Service Unavailable").header("Retry-After", "60")
                                             << "the server is busy (HTTP status 503); try again in 60 seconds";
    TestResponse cut = TestResponse::ok(QByteArray(30000, 'z'));
    cut.cutAfter = 10000;
    cut.chunkSize = 5000;
    QTest::newRow("body cut short") << cut << "";
    TestResponse longer = TestResponse::ok(QByteArray(1000, 'z'));
    longer.announcedLength = 5000;
    QTest::newRow("Content-Length larger than the body") << longer << "";
    TestResponse headers = TestResponse::ok("never");
    headers.closeInHeaders = true;
    QTest::newRow("closed in the headers") << headers << "";
    TestResponse empty = TestResponse::ok(QByteArray());
    QTest::newRow("empty body") << empty << "";
}

void tst_Downloader::failedTransfersAreNotPromoted()
{
    QFETCH(TestResponse, response);
    QFETCH(QString, reason);
    NetworkPolicy::setSlowTransferRule(1024, QByteArray(QTest::currentDataTag()).contains("drips") ? 600 : 60000);
    auto restore = qScopeGuard([] { NetworkPolicy::setSlowTransferRule(1024, 60000); });
    server.setResponse("/bad", response);
    QVERIFY(writeFile(path("dl-bad.zip"), "the file we had"));
    Downloader downloader;
    record(&downloader);
    downloader.setFileName("dl-bad.zip");
    QVERIFY(run(&downloader, server.origin() + "/bad"));
    QVERIFY(!downloader.succeeded());
    QVERIFY(!downloader.errorString().isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(downloader.errorString(), reason);
    QCOMPARE(events.last(), QStringLiteral("finished"));
    QCOMPARE(events.count("finished"), 1);
    QVERIFY2(events.filter("info ").size() >= 1, qPrintable(events.join('|')));
    // The final name keeps what it had, nothing was backed up, no part file stays.
    QCOMPARE(readFile(path("dl-bad.zip")), QByteArray("the file we had"));
    QVERIFY(!QFile::exists(path(backupName("dl-bad.zip"))));
    QVERIFY(!QFile::exists(path("dl-bad.zip.part")));
    QVERIFY(!downloader.isDownloading());
}

void tst_Downloader::sideFileIsCheckedNeverObeyed_data()
{
    QTest::addColumn<QString>("url");      // what the side file says it continues
    QTest::addColumn<QString>("partName"); // the part file it names
    QTest::newRow("hand-edited to name the program's part file") << "/side.zip" << "dl-program.part";
    QTest::newRow("another URL's, naming another part file") << "/elsewhere.zip" << "dl-victim.part";
}

void tst_Downloader::sideFileIsCheckedNeverObeyed()
{
    QFETCH(QString, url);
    QFETCH(QString, partName);
    const QByteArray body(50000, 's');
    server.setResponse("/side.zip", TestResponse::ok(body).header("ETag", "\"v1\""));
    QVERIFY(writeFile(path("dl-program"), "the installed program"));
    QVERIFY(writeFile(path(partName), QByteArray(1000, 's')));
    ResumeState tampered;
    tampered.url = server.origin() + url;
    tampered.validator = "\"v1\"";
    tampered.expectedSize = body.size();
    tampered.expectedSha256 = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    tampered.partName = partName;
    tampered.kept = 1000;
    QVERIFY(tampered.save(ResumeState::sidePath(dir(), "dl-side.zip")));

    Downloader downloader;
    downloader.setFileName("dl-side.zip");
    downloader.setVerification(body.size(), tampered.expectedSha256);
    QVERIFY(run(&downloader, server.origin() + "/side.zip"));
    QVERIFY2(downloader.succeeded(), qPrintable(downloader.errorString()));
    QCOMPARE(downloader.fileName(), QStringLiteral("dl-side.zip"));
    QCOMPARE(readFile(path("dl-side.zip")), body);
    // Nothing the side file named was used, moved or deleted; the side file alone is gone.
    QCOMPARE(readFile(path("dl-program")), QByteArray("the installed program"));
    QCOMPARE(readFile(path(partName)), QByteArray(1000, 's'));
    QVERIFY(!QFile::exists(path(backupName("dl-program"))));
    QVERIFY(!QFile::exists(ResumeState::sidePath(dir(), "dl-side.zip")));
    QVERIFY(!server.headersOfRequests().last().contains("Range:"));
}

void tst_Downloader::unwritablePartFile()
{
    server.setResponse("/big", TestResponse::ok(QByteArray(100000, 'b')));
    // A folder where the part file should go: it can be neither removed nor opened.
    QVERIFY(QDir().mkpath(path("dl-blocked.part/inner")));
    Downloader downloader;
    QSignalSpy info(&downloader, &Downloader::doShowInfo);
    downloader.setFileName("dl-blocked");
    QVERIFY(run(&downloader, server.origin() + "/big"));
    QVERIFY(!downloader.succeeded());
    QVERIFY2(downloader.errorString().startsWith("cannot write"), qPrintable(downloader.errorString()));
    QVERIFY(!QFile::exists(path("dl-blocked")));
    QCOMPARE(info.count(), 1);
}

void tst_Downloader::refusedConnection()
{
    TestServer closed;
    QVERIFY(closed.start());
    const QString url = closed.origin() + "/x";
    closed.close();
    Downloader downloader;
    record(&downloader);
    downloader.setFileName("dl-refused");
    QVERIFY(run(&downloader, url));
    QVERIFY(!downloader.succeeded());
    QVERIFY(events.contains(QStringLiteral("error %1").arg(int(QNetworkReply::ConnectionRefusedError))));
    QCOMPARE(events.last(), QStringLiteral("finished"));
    QVERIFY(!QFile::exists(path("dl-refused")));
}

void tst_Downloader::verification_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QByteArray>("sha256");
    QTest::addColumn<QString>("failure"); // empty: verified

    const QByteArray body(50000, 'v');
    const QByteArray sha = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    QTest::newRow("size and hash match") << qint64(body.size()) << sha << "";
    QTest::newRow("hash alone matches") << qint64(-1) << sha << "";
    QTest::newRow("size alone matches") << qint64(body.size()) << QByteArray() << "";
    QByteArray wrong = sha;
    wrong[0] = char(wrong.at(0) ^ 1);
    QTest::newRow("hash mismatch") << qint64(body.size()) << wrong << "SHA-256 mismatch: expected ";
    QTest::newRow("body larger than announced") << qint64(1000) << sha << "larger than the announced 1000 bytes";
    QTest::newRow("body shorter than announced") << qint64(60000) << QByteArray() << "size mismatch: expected 60000 bytes, received 50000";
}

void tst_Downloader::verification()
{
    QFETCH(qint64, size);
    QFETCH(QByteArray, sha256);
    QFETCH(QString, failure);
    TestResponse response = TestResponse::ok(QByteArray(50000, 'v'));
    response.chunkSize = 10000;
    response.chunkDelayMs = 10;
    server.setResponse("/verified", response);
    QVERIFY(writeFile(path("dl-verified"), "the file we had"));
    Downloader downloader;
    record(&downloader);
    downloader.setFileName("dl-verified");
    QVERIFY(downloader.setVerification(size, sha256));
    QVERIFY(run(&downloader, server.origin() + "/verified"));
    if (failure.isEmpty()) {
        QVERIFY2(downloader.succeeded(), qPrintable(downloader.errorString()));
        QCOMPARE(events.filter("info download verified: ").size(), 1);
        QCOMPARE(readFile(path("dl-verified")), QByteArray(50000, 'v'));
    } else {
        QVERIFY(!downloader.succeeded());
        QVERIFY2(downloader.errorString().startsWith(failure), qPrintable(downloader.errorString()));
        QVERIFY(events.filter("info download failed: " + failure).size() == 1);
        QCOMPARE(readFile(path("dl-verified")), QByteArray("the file we had"));
        QVERIFY(!QFile::exists(path("dl-verified.part")));
    }
    // The expectations were for that transfer only.
    events.clear();
    QVERIFY(run(&downloader, QString()));
    QVERIFY(downloader.succeeded());
    QCOMPARE(events.filter("info download verified").size(), 0);
}

void tst_Downloader::largeDownloadKeepsMemoryBounded()
{
    const qint64 size = 256ll * 1024 * 1024;
    TestResponse big;
    big.generatedSize = size;
    big.chunkSize = 256 * 1024;
    server.setResponse("/big", big);
    Downloader downloader;
    qint64 reports = 0;
    connect(&downloader, &Downloader::doProgress, this, [&reports] { ++reports; });
    downloader.setFileName("dl-big");
    const qint64 before = peakResidentKiB();
    QSignalSpy finished(&downloader, &Downloader::doFinished);
    downloader.startDownload(server.origin() + "/big");
    QVERIFY(finished.wait(120000));
    const qint64 growth = peakResidentKiB() - before;
    QVERIFY(downloader.succeeded());
    QCOMPARE(QFileInfo(path("dl-big")).size(), size);
    QFile file(path("dl-big"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.seek(size - 4096));
    QVERIFY(TestServer::isPattern(file.read(4096), size - 4096));
    QVERIFY2(growth < 64 * 1024, qPrintable(QStringLiteral("peak memory grew by %1 KiB").arg(growth)));
    QVERIFY(reports > 0);
}

void tst_Downloader::mirrorsTakeOver_data()
{
    QTest::addColumn<QString>("first");    // what the manifest's own place does
    QTest::addColumn<bool>("mirrorUp");
    QTest::addColumn<QString>("said");     // the line about the first place
    QTest::addColumn<bool>("continued");   // the mirror was asked only for the rest
    QTest::addColumn<QString>("file");     // the caller's name
    QTest::addColumn<QString>("named");    // the name the mirror's answer gives, if any
    const QString zip = "dl-mirrored.zip";
    QTest::newRow("a dead first place") << "dead" << true << "failed (" << false << zip << "";
    QTest::newRow("a first place that cuts the file: the mirror sends the rest") << "cut" << true << "failed ("
                                                                                 << true << zip << "";
    // The continuation is no file of its own: the kept bytes and the rest stay one file.
    QTest::newRow("the mirror continues a patch under a name of its own") << "cut" << true << "failed (" << true
                                                                          << zip << "dl-fresh.zip";
    QTest::newRow("the mirror continues an installer under a name of its own") << "cut" << true << "failed ("
                                                                               << true << "dl-mirrored.exe"
                                                                               << "dl-fresh.exe";
    QTest::newRow("a first place serving a damaged file") << "damaged" << true << "failed (SHA-256 mismatch" << false
                                                          << zip << "";
    QTest::newRow("a first place answering 404") << "404" << true << "failed (HTTP status 404)" << false << zip << "";
    QTest::newRow("every place failing") << "404" << false << "failed (HTTP status 404)" << false << zip << "";
}

void tst_Downloader::mirrorsTakeOver()
{
    QFETCH(QString, first);
    QFETCH(bool, mirrorUp);
    QFETCH(QString, said);
    QFETCH(bool, continued);
    QFETCH(QString, file);
    QFETCH(QString, named);
    QByteArray body(200000, Qt::Uninitialized);
    for (int i = 0; i < body.size(); ++i)
        body[i] = char((i * 131) >> 3);
    TestResponse whole = TestResponse::ok(body);
    whole.ranges = TestResponse::ServeRanges;
    TestServer mirror;
    QVERIFY(mirror.start());
    TestResponse fromMirror = mirrorUp ? whole : TestResponse::error(404, "Not Found");
    if (!named.isEmpty())
        fromMirror.header("Content-Disposition", "attachment; filename=\"" + named.toUtf8() + "\"");
    mirror.setResponse("/m/" + file, fromMirror);
    TestResponse own = whole;
    if (first == "cut")
        own.cutAfter = body.size() / 2;
    else if (first == "damaged")
        own.body[100] = char(own.body.at(100) ^ 1);
    else if (first == "404")
        own = TestResponse::error(404, "Not Found");
    server.setResponse("/own/" + file, own);
    TestServer closed;
    QVERIFY(closed.start());
    const QString dead = closed.origin();
    closed.close();

    Downloader downloader;
    QSignalSpy info(&downloader, &Downloader::doShowInfo);
    downloader.setFileName(file);
    downloader.setVerification(body.size(), QCryptographicHash::hash(body, QCryptographicHash::Sha256));
    downloader.setMirrors({ mirror.origin() + "/m/" + file });
    QVERIFY(run(&downloader, (first == "dead" ? dead : server.origin()) + "/own/" + file));
    QStringList lines;
    for (const QList<QVariant> &signal : info)
        lines << signal.at(0).toString();
    QVERIFY2(lines.value(0).startsWith("the download from ") && lines.value(0).contains(said)
                     && lines.value(0).contains("; trying " + QUrl(mirror.origin()).authority()),
             qPrintable(lines.join('\n')));
    QCOMPARE(downloader.succeeded(), mirrorUp);
    if (!mirrorUp) {
        QVERIFY(!QFile::exists(path(file)));
        return;
    }
    QCOMPARE(downloader.fileName(), file);
    QCOMPARE(readFile(path(file)), body);
    // Nothing stays behind: no tail under the mirror's name, no part file.
    QCOMPARE(QDir(dir()).entryList({ "dl-*" }, QDir::Files), QStringList { file });
    const qint64 sent = mirror.bodyBytesSent("/m/" + file);
    QVERIFY2(continued ? sent <= body.size() / 2 + 1024 : sent >= body.size(), qPrintable(QString::number(sent)));
}

QTEST_GUILESS_MAIN(tst_Downloader)
#include "tst_downloader.moc"
