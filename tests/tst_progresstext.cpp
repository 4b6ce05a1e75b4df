#include "text/progresstext.h"

#include <QtTest>

class tst_ProgressText : public QObject
{
    Q_OBJECT

private slots:
    void size_data();
    void size();
    void timeLeft_data();
    void timeLeft();
    void speed_data();
    void speed();
    void speedLabel_data();
    void speedLabel();
    void summary_data();
    void summary();
};

void tst_ProgressText::size_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative") << qint64(-1) << "-1 bytes";
    QTest::newRow("zero") << qint64(0) << "0 bytes";
    QTest::newRow("1023") << qint64(1023) << "1023 bytes";
    QTest::newRow("1024 belongs to KB") << qint64(1024) << "1 KB";
    QTest::newRow("KB drops the fraction") << qint64(2047) << "1 KB";
    QTest::newRow("1048575") << qint64(1048575) << "1023 KB";
    QTest::newRow("1048576 belongs to MB") << qint64(1048576) << "1 MB";
    QTest::newRow("1.5 MB") << qint64(1572864) << "1.5 MB";
    QTest::newRow("six significant digits") << qint64(1048576 + 1) << "1 MB";
    QTest::newRow("large") << qint64(1234567890) << "1177.38 MB";
    QTest::newRow("exponent form from a million MB") << qint64(1048576) * 1000000 << "1e+06 MB";
}

void tst_ProgressText::size()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(sizeText(bytes), text);
}

void tst_ProgressText::timeLeft_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative") << -5.0 << "1 second";
    QTest::newRow("0") << 0.0 << "1 second";
    QTest::newRow("1") << 1.0 << "1 second";
    QTest::newRow("2") << 2.0 << "2 seconds";
    QTest::newRow("60") << 60.0 << "60 seconds";
    QTest::newRow("61") << 61.0 << "1 minute";
    QTest::newRow("89") << 89.0 << "1 minute";
    QTest::newRow("90") << 90.0 << "2 minutes";
    QTest::newRow("7200") << 7200.0 << "120 minutes";
    QTest::newRow("7201") << 7201.0 << "about 2 hours";
    QTest::newRow("9000 rounds up") << 9000.0 << "about 3 hours";
}

void tst_ProgressText::timeLeft()
{
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(timeLeftText(seconds), text);
}

void tst_ProgressText::speed_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<quint32>("ms");
    QTest::addColumn<double>("kibps");
    QTest::newRow("1 MiB in a second") << quint64(1048576) << quint32(1000) << 1024.0;
    QTest::newRow("1536 bytes in a second") << quint64(1536) << quint32(1000) << 1.5;
    QTest::newRow("nothing") << quint64(0) << quint32(10) << 0.0;
    QTest::newRow("same millisecond: no finite speed") << quint64(100) << quint32(0) << -1.0;
}

void tst_ProgressText::speed()
{
    QFETCH(quint64, bytes);
    QFETCH(quint32, ms);
    QFETCH(double, kibps);
    QCOMPARE(intervalSpeed(bytes, ms), kibps);
}

void tst_ProgressText::speedLabel_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<quint32>("elapsed");
    QTest::addColumn<quint64>("intervalBytes");
    QTest::addColumn<quint32>("intervalMs");
    QTest::addColumn<QString>("text"); // null: the label keeps its text

    // 536000 bytes in 1000 ms is 523.4375 KiB/s; 180 s left at 1000 bytes/s.
    QTest::newRow("the example") << qint64(10000) << qint64(190000) << quint32(10) << quint64(536000) << quint32(1000)
                                 << "speed: 523.438 kb/s  Time remaining: 3 minutes";
    QTest::newRow("nothing left") << qint64(5000) << qint64(5000) << quint32(5) << quint64(1536) << quint32(1000)
                                  << "speed: 1.5 kb/s  Time remaining: 1 second";
    QTest::newRow("hours") << qint64(1) << qint64(7202) << quint32(1) << quint64(1024) << quint32(1000)
                           << "speed: 1 kb/s  Time remaining: about 2 hours";
    QTest::newRow("start second: unchanged") << qint64(100) << qint64(1000) << quint32(0) << quint64(100) << quint32(5)
                                             << QString();
    QTest::newRow("same millisecond: unchanged") << qint64(100) << qint64(1000) << quint32(3) << quint64(100)
                                                 << quint32(0) << QString();
    QTest::newRow("fewer bytes than seconds: speed alone") << qint64(2) << qint64(1000) << quint32(3)
                                                           << quint64(1024) << quint32(1000) << "speed: 1 kb/s";
    QTest::newRow("clock set back: speed alone") << qint64(5000) << qint64(10000) << quint32(4294967290u)
                                                 << quint64(2048) << quint32(1000) << "speed: 2 kb/s";
    QTest::newRow("a drip: no exponent") << qint64(5000) << qint64(-1) << quint32(60) << quint64(1) << quint32(10000)
                                         << "speed: 0 kb/s";
    QTest::newRow("unknown total: speed alone") << qint64(5000) << qint64(-1) << quint32(2) << quint64(2048)
                                                << quint32(1000) << "speed: 2 kb/s";
}

void tst_ProgressText::speedLabel()
{
    QFETCH(qint64, received);
    QFETCH(qint64, total);
    QFETCH(quint32, elapsed);
    QFETCH(quint64, intervalBytes);
    QFETCH(quint32, intervalMs);
    QFETCH(QString, text);
    const QString result = speedLabelText(received, total, elapsed, intervalBytes, intervalMs);
    QCOMPARE(result.isNull(), text.isNull());
    QCOMPARE(result, text);
    QVERIFY(!result.contains(QLatin1String("inf")) && !result.contains(QLatin1String("nan")));
}

void tst_ProgressText::summary_data()
{
    QTest::addColumn<quint32>("seconds");
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("5 MiB in 12 s") << quint32(12) << quint64(5 * 1048576) << "total time: 12s    average speed: 427kb/s";
    QTest::newRow("exponent from 1000 s") << quint32(1234) << quint64(1234 * 1024) << "total time: 1.23e+03s    average speed: 1kb/s";
    QTest::newRow("within the start second: no inf") << quint32(0) << quint64(1024) << "total time: 0s";
}

void tst_ProgressText::summary()
{
    QFETCH(quint32, seconds);
    QFETCH(quint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(downloadSummaryText(seconds, bytes), text);
}

QTEST_APPLESS_MAIN(tst_ProgressText)
#include "tst_progresstext.moc"
