#include "dialogdriver.h"
#include "downloader.h"
#include "launchparams.h"
#include "platform/programs.h"
#include "testserver.h"
#include "testutil.h"
#include "text/progresstext.h"
#include "updaterdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace DialogDriver;

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void patchRoad();
    void fullRoadUsesTheServersName();
    void answeringNoChangesNothing();
    void failedDownloadOffersNothing();
    void hostileArchiveInstallsNothing();
    void buttonsInertWhileDownloading();
    void checkDuringDownloadKeepsTheTransfer();
    void malformedIntegrityKeysRefuseTheDownload_data();
    void malformedIntegrityKeysRefuseTheDownload();
    void verifiedPatchIsInstalled();
    void mirrorServesWhatTheOwnPlaceDoesNot();
    void cancelStartsTheApplication();
    void cancelWithoutProgramStillQuits();

private:
    QString appDir() const { return QCoreApplication::applicationDirPath(); }
    QString marker(const QString &name) const { return markers->filePath(name); }
    void publish(const QString &name, const QString &patch, const QString &full, bool downloadFull,
                 const TestResponse &patchFile, const TestResponse &fullFile);
    void check(UpdaterDialog *dialog, const QString &name, const QString &version);

    TestServer server;
    QScopedPointer<QTemporaryDir> markers;
};

void tst_Install::initTestCase()
{
    QVERIFY(server.start());
}

void tst_Install::init()
{
    pointAt(server.origin(), QStringLiteral("100"), QStringLiteral("3"));
    server.clearRequests();
    markers.reset(new QTemporaryDir);
    QVERIFY(markers->isValid());
}

void tst_Install::cleanup()
{
    clearApplicationDir();
}

void tst_Install::publish(const QString &name, const QString &patch, const QString &full, bool downloadFull,
                          const TestResponse &patchFile, const TestResponse &fullFile)
{
    const QString files = server.origin() + QStringLiteral("/files/");
    const QByteArray json = QStringLiteral("{\"updates\":{\"windows\":{\"changelog\":\"c\",\"patch-version\":\"%1\","
                                           "\"full-version\":\"%2\",\"modify-time\":\"100\",\"modifyCnt\":\"3\","
                                           "\"download-full\":%3,\"patch-url\":\"%4\",\"full-url\":\"%4\","
                                           "\"patch-sha256\":\"%5\",\"full-sha256\":\"%6\"}}}")
                                .arg(patch, full, downloadFull ? QStringLiteral("true") : QStringLiteral("false"), files,
                                     QString::fromLatin1(patchFile.sha256Hex()), QString::fromLatin1(fullFile.sha256Hex()))
                                .toUtf8();
    server.setResponse(ServerPath + name + "/updates.json", TestResponse::ok(json));
    server.setResponse("/files/" + name + "/" + name + "-patch-v" + patch + ".zip", patchFile);
    server.setResponse("/files/" + name + "/" + name + "-full-v" + full + ".exe", fullFile);
}

void tst_Install::check(UpdaterDialog *dialog, const QString &name, const QString &version)
{
    typeAndCheck(dialog, name, version);
    QTRY_VERIFY(button(dialog, "btn_update_patch")->isEnabled());
}

void tst_Install::patchRoad()
{
    SKIP_WITHOUT_SHELL_SCRIPTS();
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), "old program"));
    QVERIFY(writeFile(appPath("keep.dat"), "user data"));
    const QByteArray zip = makeZip({ { program, markerScript(marker("patched"), "new Foo ran") },
                                     { "lib/", {} }, { "lib/new.so", "library" } }, true);
    publish("Foo", "1.2.4", "1.3.0", false, TestResponse::ok(zip), TestResponse::ok("installer"));

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));

    QCOMPARE(answerer.asked, 1);
    QCOMPARE(answerer.title, QStringLiteral("update"));
    QCOMPARE(answerer.text, QStringLiteral("download finished\nstart update?"));
    QCOMPARE(answerer.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!answerer.defaultButton);
    QVERIFY(report(&dialog).endsWith("download finished"));
    QVERIFY(dialog.findChild<QLabel *>("label_3")->text().startsWith("total time: "));
    QVERIFY(!dialog.findChild<QLabel *>("label_3")->text().contains("inf"));
    QCOMPARE(server.requestCount("/files/Foo/Foo-patch-v1.2.4.zip"), 1);
    QCOMPARE(server.requestCount("/files/Foo/Foo-full-v1.3.0.exe"), 0);
    QVERIFY(QFile::exists(appPath("Foo-patch-v1.2.4.zip"))); // the archive stays
    QCOMPARE(readFile(appPath("lib/new.so")), QByteArray("library"));
    QCOMPARE(readFile(appPath("keep.dat")), QByteArray("user data"));
    QTRY_COMPARE(readFile(marker("patched")), QByteArray("new Foo ran\n"));
}

void tst_Install::fullRoadUsesTheServersName()
{
    SKIP_WITHOUT_SHELL_SCRIPTS();
    TestResponse installer = TestResponse::ok(markerScript(marker("installed"), "installer ran"));
    installer.header("Content-Disposition", "attachment; filename=\"Foo-setup.exe\"");
    publish("Foo", "1.2.4", "2.0.0", true, TestResponse::error(404, "Not Found"), installer);

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QVERIFY(report(&dialog).contains("need download full exe"));
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QCOMPARE(answerer.asked, 1);
    QCOMPARE(server.requestCount("/files/Foo/Foo-full-v2.0.0.exe"), 1);
    QVERIFY(QFile::exists(appPath("Foo-setup.exe")));
    QVERIFY(!QFile::exists(appPath("Foo-full-v2.0.0.exe")));
    QTRY_COMPARE(readFile(marker("installed")), QByteArray("installer ran\n"));
}

void tst_Install::answeringNoChangesNothing()
{
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), "old program"));
    const QByteArray zip = makeZip({ { program, "new program" } });
    publish("Foo", "1.2.4", "1.3.0", false, TestResponse::ok(zip), TestResponse::ok("installer"));

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QuestionAnswerer answerer(QMessageBox::No);
    button(&dialog, "btn_update_patch")->click();
    QTRY_COMPARE(answerer.asked, 1);
    QVERIFY(!waitForQuit(300));
    QCOMPARE(readFile(appPath(program)), QByteArray("old program"));
    QVERIFY(QFile::exists(appPath("Foo-patch-v1.2.4.zip")));
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());
    QVERIFY(button(&dialog, "btn_update")->isEnabled());

    // A second click downloads again and asks again.
    button(&dialog, "btn_update_patch")->click();
    QTRY_COMPARE(answerer.asked, 2);
    QCOMPARE(server.requestCount("/files/Foo/Foo-patch-v1.2.4.zip"), 2);
    QCOMPARE(readFile(appPath(program)), QByteArray("old program"));
}

void tst_Install::failedDownloadOffersNothing()
{
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), "old program"));
    TestResponse cut = TestResponse::ok(makeZip({ { program, QByteArray(100000, 'n') } }));
    cut.cutAfter = cut.body.size() / 2;
    // Slow enough for a whole second, so that the summary has an average.
    cut.chunkSize = 8;
    cut.chunkDelayMs = 120;
    publish("Foo", "1.2.4", "1.3.0", false, cut, TestResponse::ok("installer"));

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QuestionAnswerer answerer(QMessageBox::Yes);
    button(&dialog, "btn_update_patch")->click();
    QTRY_VERIFY(report(&dialog).contains("download failed, nothing was installed"));
    QVERIFY(!waitForQuit(300));
    QCOMPARE(answerer.asked, 0);
    QVERIFY(!report(&dialog).contains("\ndownload finished"));
    QCOMPARE(readFile(appPath(program)), QByteArray("old program"));
    QVERIFY(!QFile::exists(appPath("Foo-patch-v1.2.4.zip")));
    // The manifest gives the SHA-256, so what arrived is kept for the next try.
    QVERIFY(report(&dialog).contains("bytes received are kept"));
    QVERIFY(QFile::exists(appPath("Foo-patch-v1.2.4.zip.part")));
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());
    // The average counts the bytes that arrived, not the length announced.
    const QString summary = dialog.findChild<QLabel *>("label_3")->text();
    const quint32 seconds = summary.section(' ', 2, 2).chopped(1).toUInt();
    QVERIFY2(seconds > 0, qPrintable(summary));
    QCOMPARE(summary, downloadSummaryText(seconds, quint64(cut.cutAfter)));
}

void tst_Install::hostileArchiveInstallsNothing()
{
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), "old program"));
    const QByteArray zip = makeZip({ { program, "new program" }, { "../escaped", "evil" } });
    publish("Foo", "1.2.4", "1.3.0", false, TestResponse::ok(zip), TestResponse::ok("installer"));

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QuestionAnswerer answerer(QMessageBox::Yes);
    button(&dialog, "btn_update_patch")->click();
    QTRY_VERIFY(report(&dialog).contains("update failed, the application was not changed"));
    QVERIFY(!waitForQuit(300)); // the tool stays open to show why
    QCOMPARE(readFile(appPath(program)), QByteArray("old program"));
    QVERIFY(!QFile::exists(appDir() + "/../escaped"));
}

void tst_Install::buttonsInertWhileDownloading()
{
    TestResponse slow = TestResponse::ok(makeZip({ { "Foo", QByteArray(20000, 's') } }));
    slow.chunkSize = 2000;
    slow.chunkDelayMs = 40;
    publish("Foo", "1.2.4", "1.3.0", false, slow, TestResponse::ok("installer"));

    UpdaterDialog dialog;
    check(&dialog, "Foo", "1.2.3");
    QuestionAnswerer answerer(QMessageBox::No);
    button(&dialog, "btn_update_patch")->click();
    QVERIFY(!button(&dialog, "btn_update_patch")->isEnabled());
    QVERIFY(!button(&dialog, "btn_update")->isEnabled());
    // Even when invoked directly, the slots leave the running transfer alone.
    QMetaObject::invokeMethod(&dialog, "on_btn_update_clicked");
    QMetaObject::invokeMethod(&dialog, "on_btn_update_patch_clicked");
    QTRY_VERIFY(dialog.findChild<QLabel *>("label_2")->text().startsWith("Downloading updates ("));
    QTRY_COMPARE_WITH_TIMEOUT(answerer.asked, 1, 20000);
    QCOMPARE(server.requestCount("/files/Foo/Foo-patch-v1.2.4.zip"), 1);
    QCOMPARE(server.requestCount("/files/Foo/Foo-full-v1.3.0.exe"), 0);
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());
}

void tst_Install::checkDuringDownloadKeepsTheTransfer()
{
    SKIP_WITHOUT_SHELL_SCRIPTS();
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), "old program"));
    TestResponse slow = TestResponse::ok(makeZip({ { program, markerScript(marker("patched"), "patched") } }, true));
    slow.chunkSize = 50;
    slow.chunkDelayMs = 50;
    publish("Foo", "1.2.4", "1.3.0", false, slow, TestResponse::ok("installer"));

    UpdaterDialog dialog;
    QuestionAnswerer answerer(QMessageBox::Yes);
    check(&dialog, "Foo", "1.2.3");
    button(&dialog, "btn_update_patch")->click();
    // The server now asks for the installer; a check during the download sees that.
    publish("Foo", "1.2.4", "1.3.0", true, slow, TestResponse::ok("installer"));
    dialog.findChild<QLineEdit *>("versionInput")->setText("1.2.3");
    button(&dialog, "btn_check")->click();
    QTRY_VERIFY(report(&dialog).contains("need download full exe"));
    QVERIFY(!button(&dialog, "btn_update")->isEnabled()); // still downloading
    QCOMPARE(answerer.asked, 0);
    QVERIFY(waitForQuit(30000));
    // The running patch was installed as a patch.
    QCOMPARE(server.requestCount("/files/Foo/Foo-full-v1.3.0.exe"), 0);
    QTRY_COMPARE(readFile(marker("patched")), QByteArray("patched\n"));
}

void tst_Install::malformedIntegrityKeysRefuseTheDownload_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("files"); // the URL prefix; empty: the test server's
    QTest::addColumn<QString>("refusal");
    const QString hash = "\"patch-sha256\":\"" + QString(64, 'a') + "\"";
    QTest::newRow("short hash") << "\"patch-sha256\":\"abc\"" << ""
                                << "the manifest's \"patch-sha256\" is not 64 hexadecimal digits";
    QTest::newRow("hash not hexadecimal") << "\"patch-sha256\":\"" + QString(63, 'a') + "g\"" << ""
                                          << "the manifest's \"patch-sha256\" is not 64 hexadecimal digits";
    QTest::newRow("size not a number") << "\"patch-size\":\"12kB\"" << ""
                                       << "the manifest's \"patch-size\" is not a decimal number of bytes";
    QTest::newRow("size as a JSON number") << "\"patch-size\":1234" << ""
                                           << "the manifest's \"patch-size\" is not a decimal number of bytes";
    QTest::newRow("negative size") << "\"patch-size\":\"-1\"" << ""
                                   << "the manifest's \"patch-size\" is not a decimal number of bytes";
    // A man in the middle could swap an unchecked plain-HTTP file; other schemes are never fetched.
    QTest::newRow("plain http without a hash") << "\"patch-size\":\"3\"" << ""
                                               << "is plain http and the manifest gives no SHA-256 for it";
    QTest::newRow("file URL") << hash << "file:///tmp/" << "is not an https or http URL";
    QTest::newRow("ftp URL") << hash << "ftp://127.0.0.1/" << "is not an https or http URL";
    QTest::newRow("no scheme") << hash << "files/" << "is not an https or http URL";
    // A version goes into the file's name: a path there would save and install outside the folder.
    QTest::newRow("a version that climbs out of the folder") << "\"patch-version\":\"/../../escaped\"," + hash << ""
            << "the manifest's \"patch-version\" \"/../../escaped\" cannot be part of a file name: it holds a path "
               "separator";
    QTest::newRow("a version with a backslash") << "\"patch-version\":\"1\\\\..\\\\x\"," + hash << ""
            << "cannot be part of a file name: it holds a path separator";
    QTest::newRow("a version that names the folder above") << "\"patch-version\":\"..\"," + hash << ""
            << "the manifest's \"patch-version\" \"..\" cannot be part of a file name: it names a folder";
}

void tst_Install::malformedIntegrityKeysRefuseTheDownload()
{
    QFETCH(QString, keys);
    QFETCH(QString, files);
    QFETCH(QString, refusal);
    if (files.isEmpty())
        files = server.origin() + "/files/";
    if (!keys.contains("patch-version"))
        keys.prepend("\"patch-version\":\"2\",");
    server.setResponse(ServerPath + "Foo/updates.json", TestResponse::ok(QStringLiteral(
        "{\"updates\":{\"windows\":{\"full-version\":\"2\",%1,"
        "\"patch-url\":\"%2\",\"full-url\":\"%2\"}}}").arg(keys, files).toUtf8()));
    server.setResponse("/files/Foo/Foo-patch-v2.zip", TestResponse::ok(makeZip({ { "Foo", "new" } })));
    UpdaterDialog dialog;
    check(&dialog, "Foo", "1");
    if (refusal.startsWith("the manifest's "))
        QVERIFY2(report(&dialog).contains("manifest error: " + refusal.mid(15) + "; that download will be refused"),
                 qPrintable(report(&dialog)));
    button(&dialog, "btn_update_patch")->click();
    const QString last = report(&dialog).section('\n', -1);
    QVERIFY2(last.startsWith("download refused: ") && last.contains(refusal), qPrintable(last));
    QTest::qWait(50);
    QCOMPARE(server.requestCount("/files/Foo/Foo-patch-v2.zip"), 0);
    QVERIFY(button(&dialog, "btn_update_patch")->isEnabled());
}

void tst_Install::mirrorServesWhatTheOwnPlaceDoesNot()
{
    const QByteArray zip = makeZip({ { Platform::programFileName("Foo"), "new" } });
    TestServer closed;
    QVERIFY(closed.start());
    const QString dead = closed.origin() + "/files/";
    closed.close();
    server.setResponse(ServerPath + "Foo/updates.json", TestResponse::ok(QStringLiteral(
        "{\"updates\":{\"windows\":{\"patch-version\":\"2\",\"full-version\":\"2\",\"patch-sha256\":\"%1\","
        "\"patch-url\":\"%2\",\"full-url\":\"%2\",\"mirrors\":[\"%3/elsewhere/\"]}}}")
        .arg(QString::fromLatin1(QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex()), dead, server.origin())
        .toUtf8()));
    server.setResponse("/elsewhere/Foo/Foo-patch-v2.zip", TestResponse::ok(zip));
    UpdaterDialog dialog;
    check(&dialog, "Foo", "1");
    QuestionAnswerer answerer(QMessageBox::No);
    button(&dialog, "btn_update_patch")->click();
    QTRY_COMPARE(answerer.asked, 1);
    QVERIFY2(report(&dialog).contains("the download from " + QUrl(dead).authority() + " failed ("),
             qPrintable(report(&dialog)));
    QVERIFY(report(&dialog).contains("\ndownload finished"));
    QCOMPARE(readFile(appPath("Foo-patch-v2.zip")), zip);
}

void tst_Install::verifiedPatchIsInstalled()
{
    SKIP_WITHOUT_SHELL_SCRIPTS();
    const QString program = Platform::programFileName("Foo");
    const QByteArray zip = makeZip({ { program, markerScript(marker("verified"), "verified") } }, true);
    const QString files = server.origin() + "/files/";
    server.setResponse(ServerPath + "Foo/updates.json", TestResponse::ok(QStringLiteral(
        "{\"updates\":{\"windows\":{\"patch-version\":\"2\",\"full-version\":\"2\",\"patch-size\":\"%1\","
        "\"patch-sha256\":\"%2\",\"patch-url\":\"%3\",\"full-url\":\"%3\"}}}")
        .arg(zip.size()).arg(QString::fromLatin1(QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex()), files)
        .toUtf8()));
    server.setResponse("/files/Foo/Foo-patch-v2.zip", TestResponse::ok(zip));
    UpdaterDialog dialog;
    check(&dialog, "Foo", "1");
    QVERIFY(!report(&dialog).contains("manifest error"));
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, button(&dialog, "btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QVERIFY(report(&dialog).contains(QStringLiteral("download verified: %1 bytes, SHA-256\n    ").arg(zip.size())));
    QTRY_COMPARE(readFile(marker("verified")), QByteArray("verified\n"));
}

void tst_Install::cancelStartsTheApplication()
{
    SKIP_WITHOUT_SHELL_SCRIPTS();
    const QString program = Platform::programFileName("Foo");
    QVERIFY(writeFile(appPath(program), markerScript(marker("started"), "started by cancel")));
    QFile::setPermissions(appPath(program), QFile::permissions(appPath(program)) | QFile::ExeOwner);
    appName = QStringLiteral("Foo");
    UpdaterDialog dialog;
    QTimer::singleShot(0, button(&dialog, "btn_cancel"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QTRY_COMPARE(readFile(marker("started")), QByteArray("started by cancel\n"));
}

void tst_Install::cancelWithoutProgramStillQuits()
{
    appName = QString();
    UpdaterDialog dialog;
    QElapsedTimer timer;
    timer.start();
    QTimer::singleShot(0, button(&dialog, "btn_cancel"), &QPushButton::click);
    QVERIFY(waitForQuit(30000));
    QVERIFY(timer.elapsed() < 10000); // a failed start does not wait the full 30 s
}

QTEST_MAIN(tst_Install)
#include "tst_install.moc"
