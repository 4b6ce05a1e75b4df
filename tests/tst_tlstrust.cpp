#include "testcerts.h"
#include "network/tlstrust.h"

#include "testutil.h"

#include <QtTest>
#include <QSslConfiguration>

// Qt keeps one default configuration per process; init() restores it.
class tst_TlsTrust : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void add_data();
    void add();
    void addKeepsEarlierAuthorities();

private:
    QTemporaryDir dir;
    TestCertificates first;
    TestCertificates second;
    QSslConfiguration pristine;
};

void tst_TlsTrust::initTestCase()
{
    SKIP_WITHOUT_PRIVATE_CA();
    QVERIFY(dir.isValid());
    first = TestCertificates::create(dir.path(), QStringLiteral("first"));
    QVERIFY2(first.error.isEmpty(), qPrintable(first.error));
    second = TestCertificates::create(dir.path(), QStringLiteral("second"));
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    pristine = QSslConfiguration::defaultConfiguration();
}

void tst_TlsTrust::init()
{
    QSslConfiguration::setDefaultConfiguration(pristine);
}

void tst_TlsTrust::add_data()
{
    QTest::addColumn<QByteArray>("pem");
    QTest::addColumn<int>("added");
    QTest::newRow("one authority") << first.caPem << 1;
    QTest::newRow("two in one file") << first.caPem + second.caPem << 2;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("not PEM") << QByteArray("-----BEGIN CERTIFICATE-----\nnot base64\n") << 0;
    QTest::newRow("a key is no authority") << first.keyPem << 0;
}

void tst_TlsTrust::add()
{
    QFETCH(QByteArray, pem);
    QFETCH(int, added);
    const QList<QSslCertificate> before = QSslConfiguration::defaultConfiguration().caCertificates();
    QCOMPARE(addTrustedCertificates(pem), added);
    const QList<QSslCertificate> after = QSslConfiguration::defaultConfiguration().caCertificates();
    if (added == 0) {
        // Nothing usable: the configuration, and with it on-demand loading, stays.
        QCOMPARE(after, before);
        return;
    }
    // An explicit list ends Qt's on-demand loading, so the system's authorities
    // must be in it, or every public server would stop being trusted.
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QCOMPARE(after.size(), system.size() + added);
    for (const QSslCertificate &certificate : system)
        QVERIFY(after.contains(certificate));
    for (const QSslCertificate &certificate : QSslCertificate::fromData(pem))
        QVERIFY(after.contains(certificate));
}

void tst_TlsTrust::addKeepsEarlierAuthorities()
{
    QCOMPARE(addTrustedCertificates(first.caPem), 1);
    QCOMPARE(addTrustedCertificates(second.caPem), 1);
    const QList<QSslCertificate> after = QSslConfiguration::defaultConfiguration().caCertificates();
    QCOMPARE(after.size(), QSslConfiguration::systemCaCertificates().size() + 2);
    QVERIFY(after.contains(QSslCertificate::fromData(first.caPem).first()));
    QVERIFY(after.contains(QSslCertificate::fromData(second.caPem).first()));
}

QTEST_GUILESS_MAIN(tst_TlsTrust)
#include "tst_tlstrust.moc"
