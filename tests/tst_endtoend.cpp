#include "crypto/crypto.h"
#include "dialogdriver.h"
#include "downloader.h"
#include "launchparams.h"
#include "manifest/manifest.h"
#include "manifest/manifestfreshness.h"
#include "manifest/manifestsignature.h"
#include "network/tlstrust.h"
#include "nginxserver.h"
#include "platform/programs.h"
#include "testutil.h"
#include "updaterdialog.h"
#include "varnishcache.h"
#include "webserver.h"

#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

using namespace DialogDriver;

// The whole road through the real dialog against nginx over HTTPS.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void patchRoad();
    void fullRoadWithTheServersName();
    void upToDate();
    void missingManifest();
    void htmlManifest();
    void missingDownload();
    void downloadCutShort();
    void deltaRoad_data();
    void deltaRoad();
    void patchOnlyWhereItFits();
    void serversPublishersRun_data();
    void serversPublishersRun();
    void behindACache();
    void stagedReleaseKeepsThePrevious();

private:
    QString www(const QString &path) const { return nginx.root() + path; }
    void put(const QString &path, const QByteArray &data);
    void publishDemo(const QString &app, const QString &siteRoot = QString(), const QString &origin = QString());
    void publishDeltaRelease(const QString &app);
    void installOldRelease(const QString &app);
    void publishSmall(const QString &app, const QString &version, const QString &files, const QStringList &more);
    void check(UpdaterDialog *dialog, const QString &name, const QString &version);

    NginxServer nginx;
    QTemporaryDir markers;
    QByteArray oldProgram = "#!/bin/sh\necho old\n";
};

void tst_EndToEnd::initTestCase()
{
    SKIP_WITHOUT_PRIVATE_CA();
    nginx.addContentDisposition("-full-v1.1.0.exe", "Demo-setup-1.1.0.exe");
    nginx.addSlowLocation(ServerPath + "Slow/", 200000);
    QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
    QCOMPARE(addTrustedCertificates(nginx.certificates().caPem), 1);
    publishDemo("Demo");
    publishDemo("Slow");
    publishDemo("Gone");
    publishDeltaRelease("Delta");
    publishDeltaRelease("DeltaChanged");
    publishDeltaRelease("DeltaDamaged");
    publishDeltaRelease("DeltaTwoBack");
    publishDeltaRelease("DeltaTwoBackChanged");
    // Damaged on the server after publishing: its SHA-256 no longer matches the manifest.
    const QString damaged = www(ServerPath + "DeltaDamaged/DeltaDamaged-delta-v1.0.0-v1.1.0.zip");
    QByteArray bytes = readFile(damaged);
    bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x55);
    QVERIFY(writeFile(damaged, bytes));
    QVERIFY(QFile::remove(www(ServerPath + "Gone/Gone-patch-v1.1.0.zip"))); // published, then lost
    // A broken server: an HTML page where the manifest should be.
    put(ServerPath + "Html/updates.json", "<html><body>Welcome to nginx</body></html>");
}

void tst_EndToEnd::put(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(www(path)).path());
    QVERIFY(writeFile(www(path), data));
}

// The server's files come from updater-publish, as a team would publish them.
void tst_EndToEnd::publishDemo(const QString &app, const QString &siteRoot, const QString &origin)
{
    const QString stage = markers.filePath("stage-" + app);
    QDir().mkpath(stage + "/patch/share");
    const QString program = Platform::programFileName(app);
    QVERIFY(writeFile(stage + "/patch/" + program, markerScript(markers.filePath(app + "-patched"), app + " 1.1.0 ran")));
    QFile::setPermissions(stage + "/patch/" + program, QFile::permissions(stage + "/patch/" + program) | QFile::ExeOwner);
    QVERIFY(writeFile(stage + "/patch/share/notes.txt", "release notes"));
    // Incompressible, so that the archive really is this large.
    QByteArray padding(app == "Slow" ? 2 * 1024 * 1024 : 100, Qt::Uninitialized);
    quint32 seed = 12345;
    for (char &c : padding) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    QVERIFY(writeFile(stage + "/patch/share/padding", padding));
    // As large as an installer is, so that a delta is worth offering instead of it.
    QVERIFY(writeFile(stage + "/setup", markerScript(markers.filePath(app + "-installed"), app + " installer ran")
                                                + "# " + QByteArray(4 << 20, 'x') + "\n"));
    QVERIFY(writeFile(stage + "/changelog.txt", "Faster start, fewer bugs\n"));

    const QString files = (origin.isEmpty() ? nginx.httpsOrigin() : origin) + ServerPath;
    QProcess publish;
    publish.setProcessChannelMode(QProcess::MergedChannels);
    publish.start(QStringLiteral(UPDATER_PUBLISH),
                  { "--name", app, "--patch-version", "1.1.0", "--full-version", "1.1.0", "--modify-time", "1700000000",
                    "--modify-count", "1", "--changelog-file", stage + "/changelog.txt", "--patch-url", files,
                    "--full-url", files, "--installer", stage + "/setup", "--patch-dir", stage + "/patch",
                    "--output", siteRoot.isEmpty() ? www(ServerPath) : siteRoot + ServerPath,
                    "--client-version", "1.0.0" });
    QVERIFY(publish.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(publish.readAll());
    QVERIFY2(publish.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains("client: a client at 1.0.0 is offered the patch 1.1.0"), qPrintable(output));
}

// Releases as installed, published with a delta from each earlier one: 1.0.0 and 1.1.0, or
// (for an app named ...TwoBack...) 1.0.0, 1.1.0 and 1.2.0, the patch made from 1.1.0 only.
void tst_EndToEnd::publishDeltaRelease(const QString &app)
{
    const QString stage = markers.filePath("stage-" + app);
    const QString program = Platform::programFileName(app);
    const bool twoBack = app.contains("TwoBack");
    QByteArray big(1024 * 1024, Qt::Uninitialized);
    quint32 seed = 777;
    for (char &c : big) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    const QStringList releases = twoBack ? QStringList { "old", "mid", "new" } : QStringList { "old", "new" };
    for (int r = 0; r < releases.size(); ++r) {
        const QString folder = stage + "/" + releases.at(r);
        const QString version = QStringLiteral("1.%1.0").arg(r);
        QDir().mkpath(folder + "/lib");
        QVERIFY(writeFile(folder + "/" + program, markerScript(markers.filePath(app + "-patched"),
                                                               app + " " + version + " ran")));
        QFile::setPermissions(folder + "/" + program, QFile::permissions(folder + "/" + program) | QFile::ExeOwner);
        if (r == 1) {
            // Added by 1.1.0 and left alone by 1.2.0: a delta from 1.0.0 must bring it all the same.
            big.replace(300000, 8, "CHANGED!");
            QVERIFY(writeFile(folder + "/lib/added.txt", "a file new in 1.1.0"));
        }
        if (r == releases.size() - 1)
            big.replace(900000, 5, "AGAIN");
        if (twoBack && r == 2)
            QVERIFY(writeFile(folder + "/lib/added.txt", "a file new in 1.1.0"));
        QVERIFY(writeFile(folder + "/lib/big.bin", big));
        QVERIFY(writeFile(folder + "/notes.txt", "notes of " + version.toUtf8()));
    }
    // As large as an installer is, so that a delta is worth offering instead of it.
    QVERIFY(writeFile(stage + "/setup", markerScript(markers.filePath(app + "-installed"), app + " installer ran")
                                                + "# " + QByteArray(4 << 20, 'x') + "\n"));
    QFile::setPermissions(stage + "/setup", QFile::permissions(stage + "/setup") | QFile::ExeOwner);
    const QString files = nginx.httpsOrigin() + ServerPath;
    const QString version = twoBack ? "1.2.0" : "1.1.0";
    const QString from = twoBack ? "mid" : "old";
    QStringList arguments = { "--name", app, "--patch-version", version, "--full-version", version, "--patch-url", files,
                              "--full-url", files, "--installer", stage + "/setup", "--from", stage + "/" + from,
                              "--to", stage + "/new", "--patch-for", twoBack ? "1.1.0" : "1.0.0",
                              "--delta-from", stage + "/old=1.0.0", "--output", www(ServerPath) };
    if (twoBack)
        arguments << "--delta-from" << stage + "/mid=1.1.0";
    QProcess publish;
    publish.setProcessChannelMode(QProcess::MergedChannels);
    publish.start(QStringLiteral(UPDATER_PUBLISH), arguments);
    QVERIFY(publish.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(publish.readAll());
    QVERIFY2(publish.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QRegularExpression("  (delta|matches) lib/big.bin: ")) && output.contains("  whole lib/added.txt: "),
             qPrintable(output));
}

// The old release of \a app, as installed in the tool's folder.
void tst_EndToEnd::installOldRelease(const QString &app)
{
    const QString old = markers.filePath("stage-" + app) + "/old";
    QDirIterator it(old, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(old).relativeFilePath(path);
        QDir().mkpath(QFileInfo(appPath(relative)).path());
        QVERIFY(QFile::copy(path, appPath(relative)));
    }
}

void tst_EndToEnd::init()
{
    pointAt(nginx.httpsOrigin(), QStringLiteral("0"), QStringLiteral("0"));
    QVERIFY(writeFile(appPath(Platform::programFileName("Demo")), oldProgram));
    QVERIFY(writeFile(appPath(Platform::programFileName("Slow")), oldProgram));
}

void tst_EndToEnd::cleanup()
{
    clearApplicationDir();
}

void tst_EndToEnd::check(UpdaterDialog *dialog, const QString &name, const QString &version)
{
    typeAndCheck(dialog, name, version);
    QTRY_VERIFY_WITH_TIMEOUT(!report(dialog).isEmpty(), 15000);
}

void tst_EndToEnd::patchRoad()
{
    UpdaterDialog dialog;
    check(&dialog, "Demo", "1.0.0");
    QVERIFY2(report(&dialog).contains("latest  version: v1.1.0\nmodify     time: 1700000000"), qPrintable(report(&dialog)));
    QVERIFY(report(&dialog).contains("change      log: Faster start, fewer bugs"));
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());

    int progress = 0;
    connect(dialog.findChild<Downloader *>(), &Downloader::doProgress, this, [&progress] { ++progress; });
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QCOMPARE(answerer.asked, 1);
    QVERIFY(progress > 0);
    QVERIFY(report(&dialog).contains("download verified: "));
    QVERIFY(dialog.findChild<QLabel *>("label_2")->text().startsWith("Downloading updates ("));
    QCOMPARE(readFile(appPath("share/notes.txt")), QByteArray("release notes"));
    QTRY_COMPARE(readFile(markers.filePath("Demo-patched")), QByteArray("Demo 1.1.0 ran\n"));
}

void tst_EndToEnd::fullRoadWithTheServersName()
{
    UpdaterDialog dialog;
    check(&dialog, "Demo", "0"); // version 0 asks for the installer
    QVERIFY(report(&dialog).contains("need download full exe"));
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QVERIFY(QFile::exists(appPath("Demo-setup-1.1.0.exe")));
    QVERIFY(!QFile::exists(appPath("Demo-full-v1.1.0.exe")));
    QTRY_COMPARE(readFile(markers.filePath("Demo-installed")), QByteArray("Demo installer ran\n"));
    QCOMPARE(readFile(appPath(Platform::programFileName("Demo"))), oldProgram);
}

void tst_EndToEnd::upToDate()
{
    UpdaterDialog dialog;
    currentModifyTime = QStringLiteral("1700000000");
    currentModifyCnt = QStringLiteral("1");
    check(&dialog, "Demo", "1.1.0");
    QCOMPARE(report(&dialog), QStringLiteral("======================================\ncurrent software is up-to-date\n"
                                             "version        : v1.1.0\nmodify     time: 1700000000\n"
                                             "modify      cnt: 1\n======================================\n"
                                             "no need to update\nclick cancel button to quit"));
}

void tst_EndToEnd::missingManifest()
{
    UpdaterDialog dialog;
    check(&dialog, "Nope", "1.0.0");
    QCOMPARE(report(&dialog), QStringLiteral("check error\nHTTP status 404"));
    QVERIFY(!button(&dialog, "btn_update_patch")->isEnabled());
}

void tst_EndToEnd::htmlManifest()
{
    UpdaterDialog dialog;
    check(&dialog, "Html", "1.0.0");
    QCOMPARE(report(&dialog), QStringLiteral("reply doc is null"));
    QVERIFY(!button(&dialog, "btn_update_patch")->isEnabled());
}

void tst_EndToEnd::missingDownload()
{
    UpdaterDialog dialog;
    check(&dialog, "Gone", "1.0.0");
    QuestionAnswerer answerer(QMessageBox::Yes);
    button(&dialog, "btn_update_patch")->click();
    QTRY_VERIFY_WITH_TIMEOUT(report(&dialog).contains("download failed, nothing was installed: HTTP status 404"), 15000);
    QCOMPARE(answerer.asked, 0);
    QVERIFY(!QFile::exists(appPath("Gone-patch-v1.1.0.zip")));
    QVERIFY(!QFile::exists(appPath("Gone-patch-v1.1.0.zip.part")));
}

void tst_EndToEnd::downloadCutShort()
{
    UpdaterDialog dialog;
    check(&dialog, "Slow", "1.0.0");
    QuestionAnswerer answerer(QMessageBox::Yes);
    Downloader *downloader = dialog.findChild<Downloader *>();
    button(&dialog, "btn_update_patch")->click();
    QTRY_VERIFY_WITH_TIMEOUT(downloader->bytesWritten() > 100000, 15000);
    nginx.stop(); // the server goes away in the middle of the transfer
    QTRY_VERIFY_WITH_TIMEOUT(report(&dialog).contains("download failed, nothing was installed"), 15000);
    QCOMPARE(answerer.asked, 0);
    QCOMPARE(readFile(appPath(Platform::programFileName("Slow"))), oldProgram);
    QVERIFY(!QFile::exists(appPath("Slow-patch-v1.1.0.zip")));
    QVERIFY(!QFile::exists(appPath("share")));
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());
    // nginx gave an ETag and the manifest a SHA-256: what arrived is kept.
    const qint64 kept = QFileInfo(appPath("Slow-patch-v1.1.0.zip.part")).size();
    QVERIFY(kept > 100000);
    QVERIFY(QFile::exists(appPath("Slow-patch-v1.1.0.zip.resume")));

    // The server is back: the next click asks only for the rest, verifies the
    // whole file and installs it.
    QVERIFY2(nginx.start(), qPrintable(nginx.errorString()));
    button(&dialog, "btn_update_patch")->click();
    QVERIFY(waitForQuit(60000));
    QCOMPARE(answerer.asked, 1);
    QVERIFY2(report(&dialog).contains("download verified: "), qPrintable(report(&dialog)));
    const QString log = nginx.accessLog();
    const QRegularExpression resumed(QStringLiteral("GET [^ ]*Slow-patch-v1.1.0.zip HTTP/1.1\" 206 (\\d+)"));
    const QRegularExpressionMatch match = resumed.match(log);
    QVERIFY2(match.hasMatch(), qPrintable(log));
    const qint64 size = QFileInfo(nginx.root() + ServerPath + "Slow/Slow-patch-v1.1.0.zip").size();
    QCOMPARE(match.captured(1).toLongLong(), size - kept);
    QVERIFY(!QFile::exists(appPath("Slow-patch-v1.1.0.zip.resume")));
}

void tst_EndToEnd::deltaRoad_data()
{
    QTest::addColumn<QString>("app");
    QTest::addColumn<QString>("said");       // what the report says about the delta
    QTest::addColumn<bool>("patchFetched");  // the whole-file patch was fetched too
    QTest::newRow("the installed release: only the delta") << "Delta" << "bytes saved" << false;
    QTest::newRow("an installed file changed: the whole patch follows")
            << "DeltaChanged" << "the delta cannot be used, so the whole-file patch is downloaded and installed "
                                 "instead: the installed lib/big.bin is not the file the delta was made from" << true;
    QTest::newRow("a damaged delta: the whole patch follows")
            << "DeltaDamaged" << "the delta could not be downloaded (SHA-256 mismatch" << true;
    QTest::newRow("a delta two releases back: the new release exactly") << "DeltaTwoBack" << "bytes saved" << false;
    // The patch is not for 1.0.0: without the delta, only the installer brings it up to date.
    QTest::newRow("two releases back, an installed file changed: the installer follows")
            << "DeltaTwoBackChanged" << "the delta cannot be used, so the installer is downloaded and installed "
                                        "instead: the installed lib/big.bin is not the file" << false;
}

void tst_EndToEnd::deltaRoad()
{
    QFETCH(QString, app);
    QFETCH(QString, said);
    QFETCH(bool, patchFetched);
    const QString stage = markers.filePath("stage-" + app);
    installOldRelease(app);
    if (app.endsWith("Changed"))
        QVERIFY(writeFile(appPath("lib/big.bin"), "a file the user replaced"));
    const int logBefore = nginx.accessLog().size();

    UpdaterDialog dialog;
    check(&dialog, app, "1.0.0");
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(60000));
    QCOMPARE(answerer.asked, 1); // the fallback installs without asking twice
    QVERIFY2(report(&dialog).contains(said), qPrintable(report(&dialog)));
    // What the delta saved is on the screen while the user is asked, not after the window is gone.
    if (said == "bytes saved")
        QVERIFY2(answerer.reportWhenAsked.contains(said), qPrintable(answerer.reportWhenAsked));

    const QString version = app.contains("TwoBack") ? "1.2.0" : "1.1.0";
    const QString log = nginx.accessLog().mid(logBefore);
    QVERIFY2(log.contains(app + "-delta-v1.0.0-v" + version + ".zip HTTP/1.1\" 200"), qPrintable(log));
    QCOMPARE(log.contains(app + "-patch-v" + version + ".zip HTTP/1.1\" 200"), patchFetched);
    if (said.contains("the installer")) {
        // Nothing of the patch was installed; the installer runs instead.
        QVERIFY2(log.contains(app + "-full-v" + version + ".exe HTTP/1.1\" 200"), qPrintable(log));
        QTRY_COMPARE(readFile(markers.filePath(app + "-installed")), (app + " installer ran\n").toUtf8());
        QCOMPARE(readFile(appPath("lib/big.bin")), QByteArray("a file the user replaced"));
        return;
    }
    // File for file the new release, whichever road it took.
    QDirIterator fresh(stage + "/new", QDir::Files, QDirIterator::Subdirectories);
    while (fresh.hasNext()) {
        const QString path = fresh.next();
        QCOMPARE(readFile(appPath(QDir(stage + "/new").relativeFilePath(path))), readFile(path));
    }
    QTRY_COMPARE(readFile(markers.filePath(app + "-patched")), (app + " " + version + " ran\n").toUtf8());
}

void tst_EndToEnd::patchOnlyWhereItFits()
{
    // 1.0.0's release installed, but reporting 0.9.0: the patch made from 1.0.0 is not for it.
    installOldRelease("DeltaChanged");
    const QByteArray program = readFile(appPath(Platform::programFileName("DeltaChanged")));
    const int logBefore = nginx.accessLog().size();
    UpdaterDialog dialog;
    check(&dialog, "DeltaChanged", "0.9.0");
    QVERIFY2(report(&dialog).contains("need download full exe"), qPrintable(report(&dialog)));
    QVERIFY(report(&dialog).contains("the patch is made for version(s) 1.0.0; update-full brings this installation up to date"));
    button(&dialog, "btn_update_patch")->click();
    QVERIFY2(report(&dialog).section('\n', -1).startsWith("download refused: the patch is made for version(s) 1.0.0"),
             qPrintable(report(&dialog)));
    QTest::qWait(100);
    QCOMPARE(readFile(appPath(Platform::programFileName("DeltaChanged"))), program);
    QVERIFY(!nginx.accessLog().mid(logBefore).contains("-patch-v1.1.0.zip"));
}

void tst_EndToEnd::serversPublishersRun_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("Apache httpd, JSON compressed by mod_deflate") << int(WebServer::Apache);
    QTest::newRow("Caddy's file-server") << int(WebServer::Caddy);
}

void tst_EndToEnd::serversPublishersRun()
{
    QFETCH(int, kind);
    WebServer web{ WebServer::Kind(kind) };
    if (!web.start())
        QSKIP(qPrintable(web.errorString()));
    const QString app = kind == WebServer::Apache ? QStringLiteral("ServedByApache") : QStringLiteral("ServedByCaddy");
    publishDemo(app, web.root(), web.origin());
    // The web server reads as another user: what the publisher wrote is readable by others.
    QDirIterator it(web.root(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ReadGroup
                                            | (QFileInfo(path).isDir() ? QFile::ExeOther | QFile::ExeGroup
                                                                       : QFile::Permissions()));
    }
    QVERIFY(writeFile(appPath(Platform::programFileName(app)), oldProgram));
    pointAt(web.origin(), QStringLiteral("0"), QStringLiteral("0"));
    UpdaterDialog dialog;
    check(&dialog, app, "1.0.0");
    QVERIFY2(report(&dialog).contains("latest  version: v1.1.0"), qPrintable(report(&dialog)));
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QVERIFY2(report(&dialog).contains("download verified: "), qPrintable(report(&dialog)));
    QTRY_COMPARE(readFile(markers.filePath(app + "-patched")), (app + " 1.1.0 ran\n").toUtf8());
}

// A release of \a app whose patch holds one small file, with \a more options.
void tst_EndToEnd::publishSmall(const QString &app, const QString &version, const QString &files,
                                const QStringList &more)
{
    const QString stage = markers.filePath("stage-" + app);
    QVERIFY(QDir().mkpath(stage + "/patch"));
    QVERIFY(writeFile(stage + "/setup", "installer"));
    QVERIFY(writeFile(stage + "/patch/notes.txt", "notes of " + version.toUtf8()));
    QProcess publisher;
    publisher.setProcessChannelMode(QProcess::MergedChannels);
    publisher.start(QStringLiteral(UPDATER_PUBLISH),
                    QStringList { "--name", app, "--patch-version", version, "--full-version", version, "--patch-url",
                                  files, "--full-url", files, "--installer", stage + "/setup", "--patch-dir",
                                  stage + "/patch", "--output", www(ServerPath) } + more);
    QVERIFY(publisher.waitForFinished(30000));
    QVERIFY2(publisher.exitCode() == 0, qPrintable(publisher.readAll()));
}

// A release halted at 0 % leaves every installation the release before it; a rollback makes that
// one current again.
void tst_EndToEnd::stagedReleaseKeepsThePrevious()
{
    const QString files = nginx.httpsOrigin() + ServerPath;
    publishSmall("Staged", "1.1.0", files, {});
    publishSmall("Staged", "1.2.0", files, { "--rollout", "0" });
    UpdaterDialog halted;
    check(&halted, "Staged", "1.0.0");
    QVERIFY2(report(&halted).contains("latest  version: v1.1.0")
                     && report(&halted).endsWith("version 1.2.0 is being rolled out gradually and is not offered to "
                                                 "this installation yet; version 1.1.0 is offered meanwhile"),
             qPrintable(report(&halted)));
    QProcess rollback;
    rollback.start(QStringLiteral(UPDATER_PUBLISH), { "rollout", "--output", www(ServerPath), "--name", "Staged",
                                                      "--rollback" });
    QVERIFY(rollback.waitForFinished(30000));
    QCOMPARE(rollback.exitCode(), 0);
    UpdaterDialog rolledBack;
    check(&rolledBack, "Staged", "1.0.0");
    QVERIFY2(report(&rolledBack).contains("latest  version: v1.1.0") && !report(&rolledBack).contains("rolled out"),
             qPrintable(report(&rolledBack)));
}

// A cache in front of the server keeps the manifest for a while: while it serves the old one beside
// the new release's signature file, no client fails; the new release is offered once it expires.
void tst_EndToEnd::behindACache()
{
    // Long enough for a publish and a check between two requests on a loaded machine (under the
    // sanitizers a check alone can take seconds).
    constexpr int Ttl = 10;
    VarnishCache cache;
    if (!cache.start(nginx.httpOrigin(), Ttl))
        QSKIP(qPrintable(cache.errorString()));
    const QString keyFile = markers.filePath("cache-key.pem");
    const QByteArray pem = Crypto::generateEd25519Key();
    QVERIFY(writeFile(keyFile, pem));
    QFile::setPermissions(keyFile, QFile::ReadOwner | QFile::WriteOwner);
    ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(pem) });
    auto restore = qScopeGuard([] { ManifestSignature::setTrustedKeys({}); });
    ManifestFreshness(QStringLiteral("Cached")).forget();
    const auto publish = [&](const QString &version) {
        publishSmall("Cached", version, cache.origin() + ServerPath,
                     { "--sign-key", keyFile, "--expires", "2999-01-01T00:00:00Z" });
    };
    const auto offered = [&] {
        UpdaterDialog dialog;
        check(&dialog, "Cached", "1.0.0");
        QTest::qWait(50);
        return report(&dialog);
    };
    pointAt(cache.origin(), QStringLiteral("0"), QStringLiteral("0"));
    publish("1.1.0");
    QString text = offered(); // the cache keeps 1.1.0's manifest from here
    QVERIFY2(text.contains("latest  version: v1.1.0"), qPrintable(text));
    publish("1.2.0");
    ManifestRecord origin;
    QVERIFY(parseManifest(readFile(www(ServerPath + "Cached/updates.json")), "windows", &origin));
    QCOMPARE(origin.patchVersion, QStringLiteral("1.2.0"));
    text = offered();
    QVERIFY2(text.contains("latest  version: v1.1.0") && !text.contains("check error"), qPrintable(text));
    QTest::qWait(Ttl * 1000 + 1500);
    text = offered();
    QVERIFY2(text.contains("latest  version: v1.2.0"), qPrintable(text));
}

QTEST_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
