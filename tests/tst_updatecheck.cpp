#include "crypto/crypto.h"
#include "launchparams.h"
#include "manifest/manifestfreshness.h"
#include "manifest/manifestsignature.h"
#include "manifest/rolloutdraw.h"
#include "manifest/usersettings.h"
#include "network/networkpolicy.h"
#include "network/proxycredentials.h"
#include "network/tlstrust.h"
#include "squidproxy.h"
#include "testcerts.h"
#include "testserver.h"
#include "updaterdialog.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLocale>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include "testutil.h"

#include <QtTest>

namespace {

const QString ServerPath = QStringLiteral("/Vornek/deploy/raw/branch/master/");
const QString Rule = QStringLiteral("======================================");

QByteArray manifest(const QString &patch, const QString &full, const QString &time, const QString &cnt,
                    bool downloadFull, const QString &changelog = QStringLiteral("fixes"))
{
    return QStringLiteral("{\"updates\":{\"windows\":{\"changelog\":\"%1\",\"patch-version\":\"%2\","
                          "\"full-version\":\"%3\",\"modify-time\":\"%4\",\"modifyCnt\":\"%5\","
                          "\"download-full\":%6,\"patch-url\":\"https://files.example/patch/\","
                          "\"full-url\":\"https://files.example/full/\"}}}")
        .arg(changelog, patch, full, time, cnt, downloadFull ? QStringLiteral("true") : QStringLiteral("false"))
        .toUtf8();
}

QString updateReport(const QString &current, const QString &latest, const QString &time, const QString &cnt,
                     const QString &changelog)
{
    return Rule + "\ncurrent version: v" + current + "\nmodify     time: 100\nmodify      cnt: 3"
            + "\n    ------------------------------"
            + "\nlatest  version: v" + latest + "\nmodify     time: " + time + "\nmodify      cnt: " + cnt
            + "\nchange      log: " + changelog + "\n" + Rule;
}

QString upToDateReport(const QString &latest, const QString &time, const QString &cnt)
{
    return Rule + "\ncurrent software is up-to-date\nversion        : v" + latest + "\nmodify     time: " + time
            + "\nmodify      cnt: " + cnt + "\n" + Rule + "\nno need to update\nclick cancel button to quit";
}

// A newer release exists that a staged rollout does not bring to this installation yet.
QString heldBackReport(const QString &current)
{
    return Rule + "\nversion        : v" + current + "\nmodify     time: 100\nmodify      cnt: 3\n" + Rule
            + "\nclick cancel button to quit";
}

// Two keys compiled in (the current one and the one before a rotation), and a stranger's.
const QByteArray TrustedKey = Crypto::generateEd25519Key();
const QByteArray RotatedKey = Crypto::generateEd25519Key();
const QByteArray StrangerKey = Crypto::generateEd25519Key();

QByteArray signatureLine(const QByteArray &key, const QByteArray &body)
{
    return Crypto::signEd25519(key, body).toBase64() + "\n";
}

} // namespace

class tst_UpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void emptyNameAsksForOne();
    void nameOfSpacesIsUsedAsIs();
    void outcomes_data();
    void outcomes();
    void unreachableServer();
    void buttonsDisabledWhileChecking();
    void twoQuickClicksGiveTwoReports();
    void trustedTls();
    void untrustedTlsFails();
    void redirectsNeverLeaveHttps();
    void signedManifests_data();
    void signedManifests();
    void manifestsOverTime_data();
    void manifestsOverTime();
    void rolloutReachesItsShare();
    void unwritableSettings();
    void conditionalChecks_data();
    void conditionalChecks();
    void nextHostTakesOver_data();
    void nextHostTakesOver();
    void proxyAsksForCredentials_data();
    void proxyAsksForCredentials();

private:
    void check(UpdaterDialog *dialog, const QString &name, const QString &version);
    QPlainTextEdit *report(UpdaterDialog *dialog) { return dialog->findChild<QPlainTextEdit *>("show"); }
    bool updateButtonsEnabled(UpdaterDialog *dialog)
    {
        const bool full = dialog->findChild<QPushButton *>("btn_update")->isEnabled();
        const bool patch = dialog->findChild<QPushButton *>("btn_update_patch")->isEnabled();
        return full && patch;
    }
    TestServer server;
    QTemporaryDir settings;
};

void tst_UpdateCheck::initTestCase()
{
    // The manifests seen are remembered per user: this test's user is a folder of its own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QVERIFY(server.start());
}

void tst_UpdateCheck::init()
{
    NetworkPolicy::setStallTimeoutMs(1500);
    baseUrl = server.origin() + ServerPath;
    currentModifyTime = QStringLiteral("100");
    currentModifyCnt = QStringLiteral("3");
}

void tst_UpdateCheck::check(UpdaterDialog *dialog, const QString &name, const QString &version)
{
    dialog->findChild<QLineEdit *>("appNameInput")->setText(name);
    dialog->findChild<QLineEdit *>("versionInput")->setText(version);
    QTest::mouseClick(dialog->findChild<QPushButton *>("btn_check"), Qt::LeftButton);
}

void tst_UpdateCheck::emptyNameAsksForOne()
{
    appName = QStringLiteral("Given");
    UpdaterDialog dialog;
    report(&dialog)->appendPlainText(QStringLiteral("earlier text"));
    const int before = server.requests().size();
    check(&dialog, QString(), QStringLiteral("1.0"));
    QCOMPARE(report(&dialog)->toPlainText(), QStringLiteral("earlier text\nPlease input app name"));
    QCOMPARE(appName, QString());
    QTest::qWait(50);
    QCOMPARE(server.requests().size(), before);
    QCOMPARE(dialog.findChildren<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly).size(), 0);
}

void tst_UpdateCheck::nameOfSpacesIsUsedAsIs()
{
    server.setResponse(ServerPath + "%20%20/updates.json", TestResponse::ok(manifest("1", "1", "100", "3", false)));
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("  "), QStringLiteral("1"));
    QCOMPARE(appName, QStringLiteral("  "));
    QCOMPARE(checkUrl, baseUrl + "  /updates.json");
    QTRY_VERIFY(updateButtonsEnabled(&dialog));
    QCOMPARE(server.requests().last(), ServerPath + "%20%20/updates.json");
}

void tst_UpdateCheck::outcomes_data()
{
    QTest::addColumn<TestResponse>("response");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("404") << TestResponse::error(404, "Not Found", "<html/>") << "1.0" << "check error\nHTTP status 404"
                         << false;
    QTest::newRow("500") << TestResponse::error(500, "Oops", "{}") << "1.0" << "check error\nHTTP status 500" << false;
    // A busy server says when to come back: in seconds or as a date, at most a day ahead.
    QTest::newRow("503, Retry-After in seconds") << TestResponse::error(503, "Busy").header("Retry-After", "120")
            << "1.0" << "check error\nthe server is busy (HTTP status 503); try again in 2 minutes" << false;
    const QByteArray soon = QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(30 * 60 + 20),
                                                  QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
    QTest::newRow("429, Retry-After as a date") << TestResponse::error(429, "Too Many").header("Retry-After", soon)
            << "1.0" << "check error\nthe server is busy (HTTP status 429); try again in 30 minutes" << false;
    QTest::newRow("503, Retry-After a year ahead") << TestResponse::error(503, "Busy").header("Retry-After", "31536000")
            << "1.0" << "check error\nthe server is busy (HTTP status 503); try again in about 24 hours" << false;
    TestResponse stalled = TestResponse::ok("{}");
    stalled.stallBeforeHeaders = true;
    QTest::newRow("server stalls before the headers") << stalled << "1.0"
                                                      << "check error\n" + NetworkPolicy::stallMessage() << false;
    TestResponse stalledBody = TestResponse::ok(manifest("2", "2", "1", "1", false));
    stalledBody.stallAfter = 11;
    QTest::newRow("server stalls after 11 bytes") << stalledBody << "1.0"
                                                  << "check error\n" + NetworkPolicy::stallMessage() << false;
    const QString tooLarge = "check error\nthe server's answer is larger than 1048576 bytes; no manifest is that large";
    TestResponse endless;
    endless.generatedSize = qint64(64) << 20;
    endless.framing = TestResponse::Chunked;
    QTest::newRow("64 MiB manifest without a length") << endless << "1.0" << tooLarge << false;
    TestResponse huge;
    huge.generatedSize = qint64(1) << 30;
    QTest::newRow("1 GiB manifest with a length") << huge << "1.0" << tooLarge << false;
    // A fast server: the whole body is there before any signal, so only the byte count can stop it.
    QTest::newRow("one byte past the cap, sent at once")
            << TestResponse::ok("{}" + QByteArray(NetworkPolicy::MaxManifestSize - 1, ' ')) << "1.0" << tooLarge << false;
    const QString emptyUpdate = Rule + "\ncurrent version: v1.0\nmodify     time: 100\nmodify      cnt: 3"
            + "\n    ------------------------------\nlatest  version: v\nmodify     time: \nmodify      cnt: "
            + "\nchange      log: \n" + Rule + "\nclick update button to update";
    QTest::newRow("exactly the cap") << TestResponse::ok("{}" + QByteArray(NetworkPolicy::MaxManifestSize - 2, ' '))
                                     << "1.0" << emptyUpdate << true;
    TestResponse drip = TestResponse::ok(manifest("2", "2", "1", "1", false));
    drip.chunkSize = 1;
    drip.chunkDelayMs = 200;
    QTest::newRow("server drips a byte at a time") << drip << "1.0"
                                                   << "check error\nthe server did not answer within 1 s" << false;
    QTest::newRow("redirect loop") << TestResponse::error(302, "Found").header("Location", "updates.json") << "1.0"
                                   << "check error\nthe server redirected more than 5 times (a redirect loop?); "
                                      "not followed further" << false;
    const QString otherScheme = "check error\nthe server redirected to an address that is not http or https; not followed";
    QTest::newRow("redirect to ftp:") << TestResponse::error(302, "Found").header("Location", "ftp://127.0.0.1/x.json")
                                      << "1.0" << otherScheme << false;
    QTest::newRow("redirect to file:") << TestResponse::error(301, "Moved").header("Location", "file:///etc/passwd")
                                       << "1.0" << otherScheme << false;
    QTest::newRow("not JSON") << TestResponse::ok("<html>hello</html>") << "1.0" << "reply doc is null" << false;
    QTest::newRow("empty body") << TestResponse::ok("") << "1.0" << "reply doc is null" << false;
    QTest::newRow("empty object") << TestResponse::ok("{}") << "1.0" << emptyUpdate << true;
    QTest::newRow("array") << TestResponse::ok("[1,2]") << "1.0" << emptyUpdate << true;
    QTest::newRow("update by patch")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", false)) << "1.2.3"
        << updateReport("1.2.3", "1.2.4", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("update by installer")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", true)) << "1.2.3"
        << updateReport("1.2.3", "1.3.0", "100", "3", "fixes") + "\nneed download full exe\nclick update button to update"
        << true;
    QTest::newRow("version 0 forces the installer")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", false)) << "0"
        << updateReport("0", "1.3.0", "100", "3", "fixes") + "\nneed download full exe\nclick update button to update"
        << true;
    QTest::newRow("newer modify time")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "101", "3", false)) << "1.2.4"
        << updateReport("1.2.4", "1.2.4", "101", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("multi-line change log")
        << TestResponse::ok(manifest("2", "2", "100", "3", false, "one\\ntwo")) << "1"
        << updateReport("1", "2", "100", "3", "one\ntwo") + "\nclick update button to update" << true;
    QTest::newRow("up to date")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", false)) << "1.2.4"
        << upToDateReport("1.2.4", "100", "3") << true;
    QTest::newRow("up to date, installer asked for")
        << TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", true)) << "1.3.0"
        << upToDateReport("1.3.0", "100", "3") << true;
    // Not decimals, but safe in a file name: compared as the version decision says, and downloadable.
    QTest::newRow("a v prefix and a pre-release tag")
        << TestResponse::ok(manifest("v1.3", "2.0-rc1", "100", "3", false)) << "v1.2"
        << updateReport("v1.2", "v1.3", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("installed is newer: no downgrade")
        << TestResponse::ok(manifest("1.2.9", "1.2.9", "100", "3", false)) << "1.3.0"
        << upToDateReport("1.2.9", "100", "3") << true;
    // Which installations a release reaches: its patch's versions and a staged rollout.
    const auto with = [](const QByteArray &keys) {
        return TestResponse::ok(manifest("1.2.4", "1.3.0", "100", "3", false)
                                        .replace("\"download-full\"", keys + ",\"download-full\""));
    };
    // Compressed by the server: read, and the cap counts what it inflates to.
    QTest::newRow("a manifest sent gzip-compressed")
        << TestResponse::ok(gzip(manifest("1.2.4", "1.3.0", "100", "3", false))).header("Content-Encoding", "gzip")
        << "1.2.3" << updateReport("1.2.3", "1.2.4", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("a gzip bomb of a manifest: 512 MiB")
        << TestResponse::ok(gzip(QByteArray(1 << 20, ' '), 512)).header("Content-Encoding", "gzip") << "1.0" << tooLarge
        << false;
    QTest::newRow("patch made for this version") << with("\"patch-for\":[\"1.2.2\",\"1.2.3\"]") << "1.2.3"
        << updateReport("1.2.3", "1.2.4", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("patch made for another version: the installer") << with("\"patch-for\":[\"1.2.2\"]") << "1.2.3"
        << updateReport("1.2.3", "1.3.0", "100", "3", "fixes") + "\nneed download full exe\nclick update button to update"
           "\nthe patch is made for version(s) 1.2.2; update-full brings this installation up to date" << true;
    QTest::newRow("patch for a list that is no list") << with("\"patch-for\":\"1.2.3\"") << "1.2.3"
        << updateReport("1.2.3", "1.3.0", "100", "3", "fixes") + "\nneed download full exe\nclick update button to update"
           "\nmanifest error: \"patch-for\" is not a list of versions" << true;
    QTest::newRow("rolled out to 0 %: not offered yet") << with("\"rollout\":\"0\"") << "1.2.3"
        << heldBackReport("1.2.3")
           + "\nversion 1.2.4 is being rolled out gradually and is not offered to this installation yet" << true;
    // Outside the share, the release before it stays offered as it was.
    const QByteArray previous = ",\"previous\":{\"patch-version\":\"1.2.3\",\"full-version\":\"1.2.3\","
                                "\"modify-time\":\"100\",\"modifyCnt\":\"3\",\"changelog\":\"older\","
                                "\"patch-url\":\"https://files.example/patch/\",\"full-url\":\"https://files.example/full/\"}";
    QTest::newRow("halted: the previous release for an older installation") << with("\"rollout\":\"0\"" + previous)
        << "1.2.2" << updateReport("1.2.2", "1.2.3", "100", "3", "older") + "\nclick update button to update"
           "\nversion 1.2.4 is being rolled out gradually and is not offered to this installation yet; version 1.2.3 "
           "is offered meanwhile" << true;
    QTest::newRow("halted: an installation at the previous release is not told it is up to date")
        << with("\"rollout\":\"0\"" + previous) << "1.2.3" << heldBackReport("1.2.3")
           + "\nversion 1.2.4 is being rolled out gradually and is not offered to this installation yet" << true;
    QTest::newRow("completed: the previous release plays no part") << with("\"rollout\":\"100\"" + previous)
        << "1.2.2" << updateReport("1.2.2", "1.2.4", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("rolled out to 100 %") << with("\"rollout\":\"100\"") << "1.2.3"
        << updateReport("1.2.3", "1.2.4", "100", "3", "fixes") + "\nclick update button to update" << true;
    QTest::newRow("a rollout that is no percentage") << with("\"rollout\":\"101\"") << "1.2.3"
        << heldBackReport("1.2.3")
           + "\nmanifest error: \"rollout\" is not a percentage from 0 to 100; the release is not offered" << true;
}

void tst_UpdateCheck::outcomes()
{
    // Short only where a stall is the point: a slow machine must not look stalled.
    NetworkPolicy::setStallTimeoutMs(QByteArray(QTest::currentDataTag()).contains("stalls") ? 1500 : 30000);
    NetworkPolicy::setCheckTimeoutMs(QByteArray(QTest::currentDataTag()).contains("drips") ? 1000 : 60000);
    QFETCH(TestResponse, response);
    QFETCH(QString, version);
    QFETCH(QString, expected);
    QFETCH(bool, enabled);
    QString name = QStringLiteral("App");
    for (const QChar c : QString::fromLatin1(QTest::currentDataTag()))
        if (c.isLetterOrNumber())
            name += c;
    server.setResponse(ServerPath + QUrl::toPercentEncoding(name) + "/updates.json", response);
    UpdaterDialog dialog;
    report(&dialog)->appendPlainText(QStringLiteral("cleared by the check"));
    QTest::ignoreMessage(QtDebugMsg, qPrintable(name + " " + baseUrl + name + "/updates.json"));
    const qint64 peakBefore = peakResidentKiB();
    check(&dialog, name, version);
    QTRY_VERIFY(report(&dialog)->toPlainText().contains(expected.left(11)));
    QTest::qWait(20);
    QCOMPARE(report(&dialog)->toPlainText(), expected);
    QCOMPARE(updateButtonsEnabled(&dialog), enabled);
    // A bomb is refused at the cap, not after inflating it whole.
    if (QByteArray(QTest::currentDataTag()).contains("bomb"))
        QVERIFY2(peakResidentKiB() - peakBefore < 64 * 1024,
                 qPrintable(QStringLiteral("peak memory grew by %1 KiB").arg(peakResidentKiB() - peakBefore)));
}

void tst_UpdateCheck::unreachableServer()
{
    TestServer closed;
    QVERIFY(closed.start());
    baseUrl = closed.origin() + ServerPath;
    closed.close();
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Foo"), QStringLiteral("1"));
    // One host as well as several: the reason is said.
    QTRY_COMPARE(report(&dialog)->toPlainText(), QStringLiteral("check error\nConnection refused"));
    QVERIFY(!updateButtonsEnabled(&dialog));
}

void tst_UpdateCheck::buttonsDisabledWhileChecking()
{
    TestResponse slow = TestResponse::ok(manifest("2", "2", "100", "3", false));
    slow.chunkSize = 10;
    slow.chunkDelayMs = 20;
    server.setResponse(ServerPath + "Slow/updates.json", slow);
    server.setResponse(ServerPath + "Broken/updates.json", TestResponse::error(404, "Not Found"));
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Slow"), QStringLiteral("1"));
    QVERIFY(!updateButtonsEnabled(&dialog));
    QTRY_VERIFY(updateButtonsEnabled(&dialog));
    // A failed check leaves them disabled until a later one succeeds.
    check(&dialog, QStringLiteral("Broken"), QStringLiteral("1"));
    QVERIFY(!updateButtonsEnabled(&dialog));
    QTRY_COMPARE(report(&dialog)->toPlainText(), QStringLiteral("check error\nHTTP status 404"));
    QVERIFY(!updateButtonsEnabled(&dialog));
}

void tst_UpdateCheck::twoQuickClicksGiveTwoReports()
{
    server.setResponse(ServerPath + "Twice/updates.json", TestResponse::ok(manifest("2", "2", "100", "3", false)));
    const int before = server.requestCount(ServerPath + "Twice/updates.json");
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Twice"), QStringLiteral("1"));
    check(&dialog, QStringLiteral("Twice"), QStringLiteral("1"));
    const QString one = updateReport("1", "2", "100", "3", "fixes") + "\nclick update button to update";
    QTRY_COMPARE(report(&dialog)->toPlainText(), one + "\n" + one);
    QTest::qWait(100); // no third report arrives
    QCOMPARE(report(&dialog)->toPlainText(), one + "\n" + one);
    QCOMPARE(server.requestCount(ServerPath + "Twice/updates.json"), before + 2);
    QCOMPARE(dialog.findChildren<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly).size(), 1);
}

void tst_UpdateCheck::trustedTls()
{
    SKIP_WITHOUT_PRIVATE_CA();
    QTemporaryDir dir;
    const TestCertificates certs = TestCertificates::create(dir.path(), QStringLiteral("trusted"));
    QVERIFY2(certs.error.isEmpty(), qPrintable(certs.error));
    TestServer tls;
    QVERIFY(tls.startTls(QSslCertificate(certs.certPem), QSslKey(certs.keyPem, QSsl::Rsa)));
    tls.setResponse(ServerPath + "Secure/updates.json", TestResponse::ok(manifest("2", "2", "100", "3", false)));
    QCOMPARE(addTrustedCertificates(certs.caPem), 1);
    baseUrl = tls.origin() + ServerPath;
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Secure"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(updateButtonsEnabled(&dialog), 10000);
    QVERIFY(report(&dialog)->toPlainText().startsWith(Rule + "\ncurrent version: v1"));
}

void tst_UpdateCheck::redirectsNeverLeaveHttps()
{
    SKIP_WITHOUT_PRIVATE_CA();
    QTemporaryDir dir;
    const TestCertificates certs = TestCertificates::create(dir.path(), QStringLiteral("redirect"));
    QVERIFY2(certs.error.isEmpty(), qPrintable(certs.error));
    TestServer tls;
    QVERIFY(tls.startTls(QSslCertificate(certs.certPem), QSslKey(certs.keyPem, QSsl::Rsa)));
    addTrustedCertificates(certs.caPem);
    // http to https: followed, and the final answer is the manifest.
    server.setResponse(ServerPath + "Up/updates.json", TestResponse::error(301, "Moved").header(
            "Location", (tls.origin() + ServerPath + "Up/real.json").toUtf8()));
    tls.setResponse(ServerPath + "Up/real.json", TestResponse::ok(manifest("2", "2", "100", "3", false)));
    {
        UpdaterDialog dialog;
        check(&dialog, QStringLiteral("Up"), QStringLiteral("1"));
        QTRY_VERIFY_WITH_TIMEOUT(updateButtonsEnabled(&dialog), 10000);
    }
    // https to http: refused, so that no one on the road can answer instead.
    tls.setResponse(ServerPath + "Down/updates.json", TestResponse::error(302, "Found").header(
            "Location", (server.origin() + ServerPath + "Down/real.json").toUtf8()));
    server.setResponse(ServerPath + "Down/real.json", TestResponse::ok(manifest("2", "2", "100", "3", false)));
    baseUrl = tls.origin() + ServerPath;
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Down"), QStringLiteral("1"));
    QTRY_COMPARE_WITH_TIMEOUT(report(&dialog)->toPlainText(),
                              QStringLiteral("check error\nthe server redirected from https to plain http; not followed"), 10000);
    QCOMPARE(server.requestCount(ServerPath + "Down/real.json"), 0);
}

void tst_UpdateCheck::untrustedTlsFails()
{
    SKIP_WITHOUT_PRIVATE_CA();
    QTemporaryDir dir;
    const TestCertificates certs = TestCertificates::create(dir.path(), QStringLiteral("stranger"));
    QVERIFY2(certs.error.isEmpty(), qPrintable(certs.error));
    TestServer tls;
    QVERIFY(tls.startTls(QSslCertificate(certs.certPem), QSslKey(certs.keyPem, QSsl::Rsa)));
    tls.setResponse(ServerPath + "Secure/updates.json", TestResponse::ok(manifest("2", "2", "100", "3", false)));
    baseUrl = tls.origin() + ServerPath;
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Secure"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(report(&dialog)->toPlainText().startsWith(QStringLiteral("check error\n")), 10000);
    QVERIFY(!updateButtonsEnabled(&dialog));
    QCOMPARE(tls.requestCount(ServerPath + "Secure/updates.json"), 0);
}

QTEST_MAIN(tst_UpdateCheck)
#include "tst_updatecheck.moc"

void tst_UpdateCheck::signedManifests_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<TestResponse>("signature");
    QTest::addColumn<QString>("expected"); // the paragraph after "check error", or the outcome's last one
    ManifestFreshness(QStringLiteral("Signed")).forget();

    const QString files = server.origin() + "/files/";
    const QByteArray hashes = ",\"patch-size\":\"3\",\"patch-sha256\":\"" + QByteArray(64, 'a') + "\"";
    auto signedManifest = [&](const QByteArray &top, const QByteArray &keys) {
        return "{" + top + "\"updates\":{\"windows\":{\"patch-version\":\"2\",\"full-version\":\"2\","
               "\"patch-url\":\"" + files.toUtf8() + "\",\"full-url\":\"" + files.toUtf8() + "\"" + keys + "}}}";
    };
    const QByteArray body = signedManifest({}, hashes);
    QByteArray changed = body;
    changed[changed.indexOf("\"2\"") + 1] = '3';
    const QByteArray good = signatureLine(TrustedKey, body);

    QTest::newRow("valid signature") << body << TestResponse::ok(good) << "click update button to update";
    QTest::newRow("signed by the rotated key, with surrounding white space")
            << body << TestResponse::ok("  \r\n" + signatureLine(RotatedKey, body) + " \n") << "click update button to update";
    QTest::newRow("one byte of the manifest changed") << changed << TestResponse::ok(good)
                                                      << "manifest signature does not match any trusted key";
    QTest::newRow("the signature of another manifest") << body << TestResponse::ok(signatureLine(TrustedKey, changed))
                                                       << "manifest signature does not match any trusted key";
    QTest::newRow("a key not compiled in") << body << TestResponse::ok(signatureLine(StrangerKey, body))
                                           << "manifest signature does not match any trusted key";
    QTest::newRow("two lines, only the second verifies")
            << body << TestResponse::ok(signatureLine(StrangerKey, body) + good) << "click update button to update";
    QTest::newRow("garbled") << body << TestResponse::ok("not a signature at all\n")
                             << "manifest signature is not a readable signature file";
    QTest::newRow("truncated") << body << TestResponse::ok(good.left(40)) << "manifest signature is not a readable signature file";
    QTest::newRow("unpadded") << body << TestResponse::ok(good.left(good.indexOf('=')))
                              << "manifest signature is not a readable signature file";
    QTest::newRow("empty") << body << TestResponse::ok("\n") << "manifest signature missing";
    QTest::newRow("404") << body << TestResponse::error(404, "Not Found") << "manifest signature missing: ";
    const QByteArray expired = signedManifest("\"expires\":\"2020-01-01T00:00:00Z\",", hashes);
    QTest::newRow("expired") << expired << TestResponse::ok(signatureLine(TrustedKey, expired))
                             << "manifest expired on 2020-01-01T00:00:00Z";
    const QByteArray later = signedManifest("\"expires\":\"2999-01-01T00:00:00Z\",", hashes);
    QTest::newRow("expires later") << later << TestResponse::ok(signatureLine(TrustedKey, later))
                                   << "click update button to update";
    const QByteArray unreadable = signedManifest("\"expires\":\"next spring\",", hashes);
    QTest::newRow("unparsable expiry") << unreadable << TestResponse::ok(signatureLine(TrustedKey, unreadable))
                                       << "manifest expiry \"next spring\" is not an ISO 8601 date and time";
    const QByteArray bare = signedManifest({}, {});
    QTest::newRow("signed without hashes: its download is refused")
            << bare << TestResponse::ok(signatureLine(TrustedKey, bare))
            << "download refused: the manifest is signed but gives no size and SHA-256 for this download";
    // Signed inside, as updater-publish writes it: the file beside it no longer matters, so that a
    // cache pairing the manifest with another one's signature file cannot turn a release away.
    const QByteArray indented = QJsonDocument::fromJson(body).toJson(QJsonDocument::Indented);
    const QByteArray inside = ManifestSignature::embed(indented, { Crypto::signEd25519(TrustedKey, indented) });
    QTest::newRow("signed inside, beside another manifest's signature file")
            << inside << TestResponse::ok(signatureLine(TrustedKey, changed)) << "click update button to update";
    QTest::newRow("signed inside, no signature file beside it") << inside << TestResponse::error(404, "Not Found")
                                                                << "click update button to update";
    QByteArray insideChanged = inside;
    insideChanged[insideChanged.lastIndexOf("\"2\"") + 1] = '3';
    QTest::newRow("signed inside, one byte changed after") << insideChanged << TestResponse::ok(good)
                                                           << "manifest signature does not match any trusted key";
    QTest::newRow("signed inside by a key not compiled in")
            << ManifestSignature::embed(indented, { Crypto::signEd25519(StrangerKey, indented) })
            << TestResponse::ok(good) << "manifest signature does not match any trusted key";
}

void tst_UpdateCheck::signedManifests()
{
    QFETCH(QByteArray, body);
    QFETCH(TestResponse, signature);
    QFETCH(QString, expected);
    ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey), Crypto::ed25519PublicKey(RotatedKey) });
    server.setResponse(ServerPath + "Signed/updates.json", TestResponse::ok(body));
    server.setResponse(ServerPath + "Signed/updates.json.sig", signature);
    server.clearRequests();
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Signed"), QStringLiteral("1"));
    // A manifest signed inside is never paired with the file beside it.
    const bool inside = QByteArray(QTest::currentDataTag()).startsWith("signed inside");
    QTRY_VERIFY(!report(&dialog)->toPlainText().isEmpty());
    QCOMPARE(server.requestCount(ServerPath + "Signed/updates.json.sig"), inside ? 0 : 1);
    const bool accepted = !expected.startsWith("manifest");
    if (accepted) {
        QTRY_VERIFY(updateButtonsEnabled(&dialog));
        if (expected.startsWith("download refused"))
            dialog.findChild<QPushButton *>("btn_update_patch")->click();
        QVERIFY2(report(&dialog)->toPlainText().endsWith(expected), qPrintable(report(&dialog)->toPlainText()));
    } else {
        QTRY_VERIFY(report(&dialog)->toPlainText().startsWith("check error\n" + expected));
        QTest::qWait(50);
        QVERIFY(!updateButtonsEnabled(&dialog));
    }
    ManifestSignature::setTrustedKeys({});
}

void tst_UpdateCheck::manifestsOverTime_data()
{
    QTest::addColumn<QString>("seen");   // the newest issue date this user accepted before; empty: none
    QTest::addColumn<QByteArray>("top"); // the manifest's top-level keys
    QTest::addColumn<QString>("expected"); // the paragraph after "check error"; empty: accepted
    QTest::addColumn<QString>("remembered");
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    const QString ahead = QDateTime::currentDateTimeUtc().addDays(30).toString(Qt::ISODate);
    QTest::newRow("newer than the last seen") << "2026-01-01T00:00:00Z" << QByteArray("\"issued\":\"2026-02-01T00:00:00Z\",")
                                               << "" << "2026-02-01T00:00:00Z";
    QTest::newRow("the same manifest again") << "2026-01-01T00:00:00Z" << QByteArray("\"issued\":\"2026-01-01T00:00:00Z\",")
                                              << "" << "2026-01-01T00:00:00Z";
    QTest::newRow("a replay of an older release") << "2026-02-01T00:00:00Z" << QByteArray("\"issued\":\"2026-01-01T00:00:00Z\",")
            << "the manifest issued on 2026-01-01T00:00:00Z is older than one already seen (issued on "
               "2026-02-01T00:00:00Z, recorded in " << "2026-02-01T00:00:00Z";
    // A hand-edited mark after every manifest to come would refuse them all for ever.
    QTest::newRow("a mark far beyond the clock") << "9999-12-31T23:59:59Z" << QByteArray("\"issued\":\"2026-01-01T00:00:00Z\",")
                                                  << "" << "2026-01-01T00:00:00Z";
    QTest::newRow("undated after a dated one") << "2026-02-01T00:00:00Z" << QByteArray()
            << "the manifest carries no issue date" << "2026-02-01T00:00:00Z";
    QTest::newRow("undated, none dated seen yet") << "" << QByteArray() << "" << "";
    QTest::newRow("another application's, same key") << "" << QByteArray("\"name\":\"Other\",\"issued\":\"" + now.toUtf8() + "\",")
            << "the manifest is for the application \"Other\", not \"Signed\"" << "";
    QTest::newRow("this application's") << "" << QByteArray("\"name\":\"Signed\",\"issued\":\"" + now.toUtf8() + "\",")
                                         << "" << now;
    QTest::newRow("dated 30 days ahead") << "" << QByteArray("\"issued\":\"" + ahead.toUtf8() + "\",")
                                          << "more than a day ahead of this computer's clock" << "";
    QTest::newRow("an issue date that is no date") << "" << QByteArray("\"issued\":\"yesterday\",")
                                                    << "is not an ISO 8601 date and time" << "";
}

void tst_UpdateCheck::manifestsOverTime()
{
    QFETCH(QString, seen);
    QFETCH(QByteArray, top);
    QFETCH(QString, expected);
    QFETCH(QString, remembered);
    ManifestFreshness freshness(QStringLiteral("Signed"));
    freshness.forget();
    freshness.remember(seen);
    ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey) });
    const QByteArray body = "{" + top + "\"updates\":{\"windows\":{\"patch-version\":\"2\",\"full-version\":\"2\"}}}";
    server.setResponse(ServerPath + "Signed/updates.json", TestResponse::ok(body));
    server.setResponse(ServerPath + "Signed/updates.json.sig", TestResponse::ok(signatureLine(TrustedKey, body)));
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Signed"), QStringLiteral("1"));
    if (expected.isEmpty()) {
        QTRY_VERIFY(updateButtonsEnabled(&dialog));
    } else {
        QTRY_VERIFY(!report(&dialog)->toPlainText().isEmpty());
        QVERIFY2(report(&dialog)->toPlainText().startsWith("check error\n" + expected)
                         || report(&dialog)->toPlainText().contains(expected),
                 qPrintable(report(&dialog)->toPlainText()));
        QVERIFY(!updateButtonsEnabled(&dialog));
    }
    QCOMPARE(freshness.newestSeen(), ManifestFreshness::parseIssued(remembered));
    QCOMPARE(report(&dialog)->toPlainText().count("beyond this computer's clock; it is not believed"),
             seen.startsWith("9999") ? 1 : 0);
    ManifestSignature::setTrustedKeys({});
    freshness.forget();
}

void tst_UpdateCheck::conditionalChecks_data()
{
    QTest::addColumn<QString>("between");    // what happens between two checks of an unchanged manifest
    QTest::addColumn<bool>("conditional");   // the second check names the kept copy's ETag
    QTest::addColumn<QString>("expected");   // the second report's start, or its last paragraph
    QTest::newRow("nothing: a 304, and the kept copy checked again") << "" << true << "click update button to update";
    QTest::newRow("the kept copy expired since: refused as if it had just arrived") << "expire" << true
            << "check error\nmanifest expired on ";
    QTest::newRow("the kept copy damaged: fetched whole") << "damage" << false << "click update button to update";
}

void tst_UpdateCheck::conditionalChecks()
{
    QFETCH(QString, between);
    QFETCH(bool, conditional);
    QFETCH(QString, expected);
    ManifestFreshness(QStringLiteral("Kept")).forget();
    ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey) });
    const QString expires = between == "expire" ? QDateTime::currentDateTimeUtc().addSecs(2).toString(Qt::ISODate)
                                                : QStringLiteral("2999-01-01T00:00:00Z");
    const QByteArray compact = "{\"expires\":\"" + expires.toUtf8() + "\"," + manifest("2", "2", "100", "3", false).mid(1);
    const QByteArray indented = QJsonDocument::fromJson(compact).toJson(QJsonDocument::Indented);
    const QByteArray body = ManifestSignature::embed(indented, { Crypto::signEd25519(TrustedKey, indented) });
    // As a static file server makes it: from the file itself.
    const QByteArray etag = '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex().left(16) + '"';
    server.setResponse(ServerPath + "Kept/updates.json", TestResponse::ok(body).header("ETag", etag));
    {
        UpdaterDialog first;
        check(&first, QStringLiteral("Kept"), QStringLiteral("1"));
        QTRY_VERIFY(updateButtonsEnabled(&first));
    }
    if (between == "expire")
        QTest::qWait(2500);
    if (between == "damage") {
        const auto settings = UserSettings::open();
        for (const QString &key : settings->allKeys()) {
            if (key.startsWith("applications/Kept/") && key.endsWith("/body"))
                settings->setValue(key, QByteArray("{\"updates\":{}}"));
        }
    }
    server.clearRequests();
    UpdaterDialog second;
    check(&second, QStringLiteral("Kept"), QStringLiteral("1"));
    QTRY_VERIFY(!report(&second)->toPlainText().isEmpty());
    QTest::qWait(20);
    const QString text = report(&second)->toPlainText();
    QVERIFY2(text.startsWith(expected) || text.endsWith(expected), qPrintable(text));
    QCOMPARE(server.headersOfRequests().join('\n').contains("If-None-Match: " + etag), conditional);
    ManifestSignature::setTrustedKeys({});
}

void tst_UpdateCheck::unwritableSettings()
{
#ifdef Q_OS_WIN
    QSKIP("the settings are the registry there");
#endif
    // The settings file is a folder: nothing can be stored, and every check must still give one answer.
    QTemporaryDir locked;
    QVERIFY(QDir().mkpath(locked.filePath("updater/updater.conf")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, locked.path());
    const QByteArray body = "{\"issued\":\"2026-01-01T00:00:00Z\"," + manifest("2", "2", "100", "3", false).mid(1)
            .replace("\"download-full\"", "\"rollout\":\"50\",\"download-full\"");
    server.setResponse(ServerPath + "Locked/updates.json", TestResponse::ok(body));
    server.setResponse(ServerPath + "Locked/updates.json.sig", TestResponse::ok(signatureLine(TrustedKey, body)));
    ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey) });
    QStringList reports;
    for (int i = 0; i < 2; ++i) {
        UpdaterDialog dialog;
        check(&dialog, QStringLiteral("Locked"), QStringLiteral("1"));
        QTRY_VERIFY(updateButtonsEnabled(&dialog));
        reports << report(&dialog)->toPlainText();
    }
    ManifestSignature::setTrustedKeys({});
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QCOMPARE(reports.at(1), reports.at(0));
    QCOMPARE(reports.at(0).count("cannot be written"), 1);
}

void tst_UpdateCheck::rolloutReachesItsShare()
{
    // Users, each with settings of their own (on Windows, where settings are the registry, an application each).
    constexpr int Users = 400;
    int atTen = 0;
    for (int user = 0; user < Users; ++user) {
        QTemporaryDir own;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, own.path());
#ifdef Q_OS_WIN
        const RolloutDraw draw(QStringLiteral("Rollout%1").arg(user));
#else
        const RolloutDraw draw(QStringLiteral("Rollout"));
#endif
        const int number = draw.number();
        QCOMPARE(draw.number(), number); // the same answer every time
        atTen += draw.offered(10) ? 1 : 0;
        QVERIFY(!draw.offered(10) || draw.offered(50)); // widening never takes the offer away
        QVERIFY(!draw.offered(0));                      // halted
        QVERIFY(draw.offered(100));                     // completed
    }
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    // 10 % of 400 is 40; the bound is five standard deviations wide.
    QVERIFY2(atTen >= 10 && atTen <= 70, qPrintable(QString::number(atTen)));
}

void tst_UpdateCheck::nextHostTakesOver_data()
{
    QTest::addColumn<QString>("first");  // what the first update host does
    QTest::addColumn<bool>("secondUp");
    QTest::addColumn<QString>("said");   // in the report
    QTest::newRow("the first refuses the connection") << "dead" << true << "(Connection refused); asking 127.0.0.1:";
    QTest::newRow("the first serves an error page") << "404" << true << "(HTTP status 404";
    QTest::newRow("the first is busy") << "503" << true << "(the server is busy (HTTP status 503); try again later); asking";
    QTest::newRow("the first serves no JSON") << "html" << true << "(its manifest is not JSON); asking";
    QTest::newRow("the first serves a manifest with a bad signature") << "badsig" << true
            << "(manifest signature does not match any trusted key); asking";
    QTest::newRow("every host fails") << "dead" << false << "check error";
    // Signed: every host is asked and the newest manifest wins, whichever host serves it.
    QTest::newRow("the first serves an older signed manifest to a new installation") << "older" << true
            << "latest  version: v2";
    QTest::newRow("the second serves an older signed manifest") << "newer" << true << "latest  version: v2";
}

void tst_UpdateCheck::nextHostTakesOver()
{
    QFETCH(QString, first);
    QFETCH(bool, secondUp);
    QFETCH(QString, said);
    const bool dated = first == "older" || first == "newer";
    const QByteArray good = (dated ? "{\"issued\":\"2026-02-01T00:00:00Z\"," : "{")
            + manifest("2", "2", "100", "3", false).mid(1);
    const QByteArray older = "{\"issued\":\"2026-01-01T00:00:00Z\"," + manifest("1", "1", "100", "3", false).mid(1);
    TestServer second;
    QVERIFY(second.start());
    if (secondUp) {
        const QByteArray served = first == "newer" ? older : good;
        second.setResponse(ServerPath + "Hosts/updates.json", TestResponse::ok(served));
        second.setResponse(ServerPath + "Hosts/updates.json.sig", TestResponse::ok(signatureLine(TrustedKey, served)));
    }
    TestServer closed;
    QVERIFY(closed.start());
    const QString closedOrigin = closed.origin();
    closed.close();
    if (first == "404" || first == "503")
        server.setResponse(ServerPath + "Hosts/updates.json", TestResponse::error(first.toInt(), "Not Found"));
    else if (first == "html")
        server.setResponse(ServerPath + "Hosts/updates.json", TestResponse::ok("<html/>"));
    else if (first == "badsig") {
        server.setResponse(ServerPath + "Hosts/updates.json", TestResponse::ok(good));
        server.setResponse(ServerPath + "Hosts/updates.json.sig", TestResponse::ok(signatureLine(StrangerKey, good)));
        ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey) });
    } else if (dated) {
        const QByteArray served = first == "older" ? older : good;
        server.setResponse(ServerPath + "Hosts/updates.json", TestResponse::ok(served));
        server.setResponse(ServerPath + "Hosts/updates.json.sig", TestResponse::ok(signatureLine(TrustedKey, served)));
        ManifestSignature::setTrustedKeys({ Crypto::ed25519PublicKey(TrustedKey) });
        ManifestFreshness(QStringLiteral("Hosts")).forget();
    }
    if (first == "dead")
        baseUrl = closedOrigin + ServerPath;
    otherBaseUrls = QStringList { (secondUp ? second.origin() : closedOrigin) + ServerPath };
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Hosts"), QStringLiteral("1"));
    if (first == "newer") {
        QTRY_VERIFY(updateButtonsEnabled(&dialog));
        QVERIFY2(!report(&dialog)->toPlainText().contains("the manifest came from"),
                 qPrintable(report(&dialog)->toPlainText()));
        QCOMPARE(ManifestFreshness(QStringLiteral("Hosts")).newestSeen(),
                 ManifestFreshness::parseIssued("2026-02-01T00:00:00Z"));
    } else if (secondUp) {
        QTRY_VERIFY(updateButtonsEnabled(&dialog));
        QVERIFY2(report(&dialog)->toPlainText().endsWith(
                         "the manifest came from the update host " + QUrl(second.origin()).authority() + " (number 2 of 2)"),
                 qPrintable(report(&dialog)->toPlainText()));
    } else {
        QTRY_VERIFY(report(&dialog)->toPlainText().endsWith("check error") || report(&dialog)->toPlainText().contains("\ncheck error"));
        QVERIFY(!updateButtonsEnabled(&dialog));
    }
    QVERIFY2(report(&dialog)->toPlainText().contains(said), qPrintable(report(&dialog)->toPlainText()));
    otherBaseUrls.clear();
    ManifestSignature::setTrustedKeys({});
    ManifestFreshness(QStringLiteral("Hosts")).forget();
}

void tst_UpdateCheck::proxyAsksForCredentials_data()
{
    QTest::addColumn<bool>("squid");          // a real squid, or the loopback stand-in (which runs under Wine)
    QTest::addColumn<QString>("credentials"); // in the proxy settings, given at the prompt, or the prompt cancelled
    QTest::addColumn<bool>("passes");
    for (const bool squid : { true, false }) {
        const char *kind = squid ? "squid" : "stand-in";
        QTest::addRow("%s: in the proxy settings", kind) << squid << "settings" << true;
        QTest::addRow("%s: asked for and given", kind) << squid << "prompt" << true;
        QTest::addRow("%s: asked for, cancelled", kind) << squid << "cancel" << false;
        QTest::addRow("%s: asked for, refused by the proxy", kind) << squid << "wrong" << false;
    }
}

void tst_UpdateCheck::proxyAsksForCredentials()
{
    QFETCH(bool, squid);
    QFETCH(QString, credentials);
    QFETCH(bool, passes);
    SquidProxy real;
    TestServer standIn;
    quint16 proxyPort = 0;
    // Qt never sends a loopback address through a proxy: the server is named by a name only the proxy knows.
    const QString host = QLatin1String(SquidProxy::HostName);
    const QString base = QStringLiteral("http://%1:%2%3").arg(host).arg(QUrl(server.origin()).port()).arg(ServerPath);
    const TestResponse good = TestResponse::ok(manifest("2", "2", "100", "3", false));
    if (squid) {
        SKIP_ON_WINDOWS("needs squid, a Linux program; the stand-in rows run here");
        if (!real.start())
            QSKIP(qPrintable(real.errorString()));
        proxyPort = real.port();
        server.setResponse(ServerPath + "Proxied/updates.json", good);
    } else {
        QVERIFY(standIn.start());
        standIn.requireProxyCredentials(SquidProxy::User, SquidProxy::Password);
        standIn.setResponse(base + "Proxied/updates.json", good);
        proxyPort = quint16(QUrl(standIn.origin()).port());
    }
    ProxyCredentials::forget();
    const bool inSettings = credentials == QLatin1String("settings");
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), proxyPort,
                                                     inSettings ? SquidProxy::User : QString(),
                                                     inSettings ? SquidProxy::Password : QString()));
    baseUrl = base;
    int prompts = 0;
    // The user at the prompt: the answer typed, or the prompt cancelled.
    QTimer user;
    connect(&user, &QTimer::timeout, this, [&] {
        auto *prompt = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!prompt || prompt->objectName() != QLatin1String("proxyPrompt"))
            return;
        ++prompts;
        prompt->findChild<QLineEdit *>("proxyUser")->setText(SquidProxy::User);
        prompt->findChild<QLineEdit *>("proxyPassword")->setText(credentials == "wrong" ? "guess" : SquidProxy::Password);
        if (credentials == "cancel")
            prompt->reject();
        else
            prompt->accept();
    });
    user.start(20);
    UpdaterDialog dialog;
    check(&dialog, QStringLiteral("Proxied"), QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(!report(&dialog)->toPlainText().isEmpty(), 20000);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    QCOMPARE(prompts, inSettings ? 0 : 1);
    QCOMPARE(updateButtonsEnabled(&dialog), passes);
    if (!passes)
        QVERIFY2(report(&dialog)->toPlainText().contains(QStringLiteral("the proxy at 127.0.0.1:%1 asks for credentials")
                                                                 .arg(proxyPort)),
                 qPrintable(report(&dialog)->toPlainText()));
}
