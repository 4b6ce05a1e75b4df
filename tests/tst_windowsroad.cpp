#include "deltawriter.h"
#include "launchparams.h"
#include "names/workingnames.h"
#include "platform/programs.h"
#include "testserver.h"
#include "testutil.h"
#include "transaction/installtransaction.h"
#include "updaterdialog.h"

#include <QBuffer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

// The patch road as it runs on Windows: the tool lies in a folder whose path
// has a space and a non-ASCII letter (this binary's own folder), and the old
// program is still running when the patch (or a delta) replaces it.
class tst_WindowsRoad : public QObject
{
    Q_OBJECT

private slots:
    void patchReplacesARunningProgram_data();
    void patchReplacesARunningProgram();
};

void tst_WindowsRoad::patchReplacesARunningProgram_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("said"); // in the report
    QTest::newRow("the whole-file patch") << "patch" << "download verified";
    QTest::newRow("a delta") << "delta" << "a delta of ";
    QTest::newRow("a delta of approximate matches") << "matches" << "a delta of ";
    QTest::newRow("a delta whose base changed: the patch follows") << "changed"
                                                                   << "the delta cannot be used, so the whole-file patch";
}

void tst_WindowsRoad::patchReplacesARunningProgram()
{
    QFETCH(QString, road);
    QFETCH(QString, said);
    const QString appDir = QCoreApplication::applicationDirPath();
    QVERIFY2(appDir.contains(' ') && appDir.contains(QChar(0xe9)), qPrintable(appDir));
    clearApplicationDir();
    TestServer server;
    QVERIFY(server.start());

    const QByteArray marker = readFile(QStringLiteral(MARKER_PROGRAM));
    QVERIFY(!marker.isEmpty());
    const QString program = appDir + "/" + Platform::programFileName("Foo");
    QVERIFY(writeFile(program, marker + "\nTAG:old\n"));
    QByteArray data(300000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((quint32(i) * 7919u) >> 7);
    QVERIFY(writeFile(appDir + "/lib.dat", data));
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner | QFile::ExeUser);
    QProcess running;
    running.start(program, { QStringLiteral("stay") });
    QVERIFY(running.waitForStarted(30000));
    QTRY_COMPARE_WITH_TIMEOUT(readFile(program + ".ran"), QByteArray("old ran\n"), 20000);

    const QByteArray newProgram = marker + "\nTAG:new\n";
    const QByteArray newData = QByteArray(data).replace(1000, 3, "new");
    const QString notes = QString::fromUtf8("donn\xc3\xa9" "es/\xc3\xa9t\xc3\xa9.txt");
    const QByteArray zip = makeZip({ { Platform::programFileName("Foo"), newProgram }, { notes, "summer" },
                                     { "lib.dat", newData } }, true);
    server.setResponse("/files/Foo/Foo-patch-v1.1.0.zip", TestResponse::ok(zip));
    QByteArray deltas;
    if (road != "patch") {
        // The delta against the installed release, as updater-publish makes it.
        QTemporaryDir release;
        QVERIFY(QDir().mkpath(release.filePath(QString::fromUtf8("donn\xc3\xa9" "es"))));
        QVERIFY(writeFile(release.filePath(Platform::programFileName("Foo")), newProgram));
        QVERIFY(writeFile(release.filePath(notes), "summer"));
        QVERIFY(writeFile(release.filePath("lib.dat"), newData));
        QBuffer delta;
        delta.open(QIODevice::ReadWrite);
        DeltaWriter writer;
        if (road == "matches")
            writer.setMethods(DeltaWriter::Matches | DeltaWriter::TransformedMatches);
        QVERIFY2(writer.write({ { Platform::programFileName("Foo"), release.filePath(Platform::programFileName("Foo")),
                                  newProgram.size() },
                                { notes, release.filePath(notes), 6 },
                                { "lib.dat", release.filePath("lib.dat"), newData.size() } }, appDir, &delta),
                 qPrintable(writer.errorString()));
        QVERIFY2(road != "matches" || writer.report().join('\n').contains("  matches"), qPrintable(writer.report().join('\n')));
        server.setResponse("/files/Foo/Foo-delta-v1.0.0-v1.1.0.zip", TestResponse::ok(delta.data()));
        deltas = ",\"patch-deltas\":{\"1.0.0\":{\"url\":\"" + (server.origin() + "/files/Foo/Foo-delta-v1.0.0-v1.1.0.zip").toUtf8()
                + "\",\"size\":\"" + QByteArray::number(delta.size()) + "\",\"sha256\":\""
                + TestResponse::ok(delta.data()).sha256Hex() + "\"}}";
        if (road == "changed")
            QVERIFY(writeFile(appDir + "/lib.dat", "changed by hand"));
    }
    server.setResponse("/Vornek/deploy/raw/branch/master/Foo/updates.json", TestResponse::ok(
            "{\"updates\":{\"windows\":{\"patch-version\":\"1.1.0\",\"full-version\":\"1.1.0\","
            "\"patch-url\":\"" + (server.origin() + "/files/").toUtf8() + "\",\"full-url\":\"x/\","
            "\"patch-sha256\":\"" + TestResponse::ok(zip).sha256Hex() + "\"" + deltas + "}}}"));
    baseUrl = server.origin() + QStringLiteral("/Vornek/deploy/raw/branch/master/");

    UpdaterDialog dialog;
    dialog.findChild<QLineEdit *>("appNameInput")->setText("Foo");
    dialog.findChild<QLineEdit *>("versionInput")->setText("1.0.0");
    dialog.findChild<QPushButton *>("btn_check")->click();
    QTRY_VERIFY(dialog.findChild<QPushButton *>("btn_update_patch")->isEnabled());
    QuestionAnswerer answerer(QMessageBox::Yes);
    QTimer::singleShot(0, dialog.findChild<QPushButton *>("btn_update_patch"), &QPushButton::click);
    QVERIFY(waitForQuit(60000));
    const QString report = dialog.findChild<QPlainTextEdit *>("show")->toPlainText();
    QVERIFY2(!report.contains("update failed") && report.contains(said), qPrintable(report));
    QCOMPARE(answerer.asked, 1);
    QCOMPARE(server.requestCount("/files/Foo/Foo-patch-v1.1.0.zip"), road == "delta" || road == "matches" ? 0 : 1);

    QCOMPARE(readFile(program), newProgram);
    QCOMPARE(readFile(appDir + "/lib.dat"), newData);
    QCOMPARE(readFile(appDir + QString::fromUtf8("/donn\xc3\xa9" "es/\xc3\xa9t\xc3\xa9.txt")), QByteArray("summer"));
    // The desktop started the new program from its path with a space in it.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(program + ".ran"), QByteArray("old ran\nnew ran\n"), 30000);

    // The old program's file goes at the next start, once it has ended.
    running.kill();
    running.waitForFinished(30000);
    InstallTransaction::recover(appDir);
    QVERIFY(QDir(appDir).entryList({ QLatin1String(WorkingNames::TransactionPrefix) + "*" },
                                   QDir::Dirs | QDir::Hidden).isEmpty());
    clearApplicationDir();
}

QTEST_MAIN(tst_WindowsRoad)
#include "tst_windowsroad.moc"
