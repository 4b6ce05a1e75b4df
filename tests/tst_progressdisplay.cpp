#include "downloader.h"
#include "updaterdialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QtTest>

class tst_ProgressDisplay : public QObject
{
    Q_OBJECT

private slots:
    void knownSize_data();
    void knownSize();
    void zeroTotalIsBusy();
    void negativeTotalIsUnknownSize();
    void everySignalIsHandled();
};

void tst_ProgressDisplay::knownSize_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<int>("bar");
    QTest::addColumn<QString>("sizes");
    QTest::newRow("1 of 3") << qint64(1) << qint64(3) << 33 << "Downloading updates (1 bytes of 3 bytes)";
    QTest::newRow("all") << qint64(1023) << qint64(1023) << 100 << "Downloading updates (1023 bytes of 1023 bytes)";
    QTest::newRow("KB of MB") << qint64(512 * 1024) << qint64(1572864) << 33 << "Downloading updates (512 KB of 1.5 MB)";
    QTest::newRow("nothing yet") << qint64(0) << qint64(1048576) << 0 << "Downloading updates (0 bytes of 1 MB)";
    // Beyond 32 bits the percentage still comes out right.
    QTest::newRow("3 of 4 GiB") << (qint64(3) << 30) << (qint64(4) << 30) << 75
                                << "Downloading updates (3072 MB of 4096 MB)";
}

void tst_ProgressDisplay::knownSize()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(int, bar);
    QFETCH(QString, sizes);
    UpdaterDialog dialog;
    emit dialog.findChild<Downloader *>()->doProgress(received, total);
    auto progress = dialog.findChild<QProgressBar *>("progressBar");
    QCOMPARE(progress->maximum(), 100);
    QCOMPARE(progress->value(), bar);
    QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), sizes);
    QVERIFY(dialog.findChild<QPlainTextEdit *>("show")->toPlainText().isEmpty());
}

void tst_ProgressDisplay::zeroTotalIsBusy()
{
    UpdaterDialog dialog;
    Downloader *downloader = dialog.findChild<Downloader *>();
    emit downloader->doProgress(10, 100);
    const QString sizes = dialog.findChild<QLabel *>("label_2")->text();
    const QString speed = dialog.findChild<QLabel *>("label_3")->text();
    emit downloader->doProgress(0, 0);
    emit downloader->doProgress(0, 0);
    auto progress = dialog.findChild<QProgressBar *>("progressBar");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 0);
    QCOMPARE(progress->value(), -1);
    QCOMPARE(dialog.findChild<QPlainTextEdit *>("show")->toPlainText(),
             QStringLiteral("Downloading Updates...\nDownloading Updates..."));
    QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), sizes);
    QCOMPARE(dialog.findChild<QLabel *>("label_3")->text(), speed);
}

void tst_ProgressDisplay::negativeTotalIsUnknownSize()
{
    UpdaterDialog dialog;
    emit dialog.findChild<Downloader *>()->doProgress(500, -1);
    emit dialog.findChild<Downloader *>()->doProgress(2048, -1);
    auto progress = dialog.findChild<QProgressBar *>("progressBar");
    QCOMPARE(progress->maximum(), 0);
    QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), QStringLiteral("Downloading updates (2 KB)"));
    QVERIFY(dialog.findChild<QPlainTextEdit *>("show")->toPlainText().isEmpty());
    QVERIFY(!dialog.findChild<QLabel *>("label_3")->text().contains(QLatin1String("Time remaining")));
}

void tst_ProgressDisplay::everySignalIsHandled()
{
    UpdaterDialog dialog;
    Downloader *downloader = dialog.findChild<Downloader *>();
    auto progress = dialog.findChild<QProgressBar *>("progressBar");
    for (qint64 i = 1; i <= 1000; ++i) {
        emit downloader->doProgress(i, 1000);
        QCOMPARE(progress->value(), int(i * 100 / 1000));
    }
    QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), QStringLiteral("Downloading updates (1000 bytes of 1000 bytes)"));
}

QTEST_MAIN(tst_ProgressDisplay)
#include "tst_progressdisplay.moc"
