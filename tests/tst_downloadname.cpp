#include "names/downloadname.h"

#include <QtTest>

class tst_DownloadName : public QObject
{
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void clean_data();
    void clean();
};

void tst_DownloadName::extract_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("name");
    QTest::newRow("attachment") << QByteArray(R"(attachment; filename="Foo-1.2.exe")") << "Foo-1.2.exe";
    QTest::newRow("percent escape decoded first") << QByteArray(R"(attachment; filename="My%20App.exe")") << "My App.exe";
    QTest::newRow("greedy: last quote ends the name")
        << QByteArray(R"(attachment; filename="a.exe"; x="b")") << R"(a.exe"; x="b)";
    QTest::newRow("greedy: last filename= wins")
        << QByteArray(R"(filename="a.exe"; filename="b.exe")") << "b.exe";
    QTest::newRow("no quotes: no match") << QByteArray("attachment; filename=a.exe") << "";
    QTest::newRow("no filename") << QByteArray("inline") << "";
    QTest::newRow("NUL ends the text") << QByteArray(R"(filename="a.exe"%00filename="b.exe")") << "a.exe";
    QTest::newRow("utf-8") << QByteArray("filename=\"gr\xC3\xBC\xC3\x9F.exe\"") << QString::fromUtf8("gr\xC3\xBC\xC3\x9F.exe");
}

void tst_DownloadName::extract()
{
    QFETCH(QByteArray, header);
    QFETCH(QString, name);
    QCOMPARE(contentDispositionFileName(header), name);
}

void tst_DownloadName::clean_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("bare name kept") << "Foo-1.2.exe" << "Foo-1.2.exe";
    QTest::newRow("spaces kept") << "My App.exe" << "My App.exe";
    QTest::newRow("parent traversal") << "../../x.exe" << "x.exe";
    QTest::newRow("absolute unix path") << "/etc/x" << "x";
    QTest::newRow("windows drive path") << "C:\\x.exe" << "x.exe";
    QTest::newRow("drive relative") << "C:x.exe" << "x.exe";
    QTest::newRow("backslash traversal") << "..\\..\\Windows\\x.exe" << "x.exe";
    QTest::newRow("mixed separators") << "a/b\\c.exe" << "c.exe";
    QTest::newRow("dot dot alone") << ".." << "";
    QTest::newRow("dot alone") << "." << "";
    QTest::newRow("ends in a separator") << "dir/" << "";
    QTest::newRow("ends in dot dot") << "a/.." << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("control character") << "a\nb.exe" << "";
    QTest::newRow("hidden name kept") << ".env" << ".env";
}

void tst_DownloadName::clean()
{
    QFETCH(QString, name);
    QFETCH(QString, cleaned);
    const QString result = safeFileName(name);
    QCOMPARE(result, cleaned);
    QVERIFY(!result.contains(QLatin1Char('/')) && !result.contains(QLatin1Char('\\')));
}

QTEST_APPLESS_MAIN(tst_DownloadName)
#include "tst_downloadname.moc"
