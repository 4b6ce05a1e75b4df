#include "launchparams.h"

#include <QApplication>
#include <QFile>
#include <QtTest>

class tst_LaunchParams : public QObject
{
    Q_OBJECT

private slots:
    void initialValues();
    void arguments_data();
    void arguments();
    void checkUrlConcatenates_data();
    void checkUrlConcatenates();
    void styleSheet();
};

void tst_LaunchParams::initialValues()
{
    QCOMPARE(checkUrl, baseUrl);
    QVERIFY(baseUrl.startsWith(QLatin1String("https://")));
    QVERIFY(baseUrl.endsWith(QLatin1String("/Vornek/deploy/raw/branch/master/")));
    QCOMPARE(platformKey, QStringLiteral("windows"));
    QCOMPARE(currentModifyTime, QStringLiteral("0"));
    QCOMPARE(currentModifyCnt, QStringLiteral("0"));
    QVERIFY(appName.isEmpty());
    QVERIFY(appVersion.isEmpty());
}

void tst_LaunchParams::arguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("expected"); // name, version, time, count

    const QString p = QStringLiteral("updater");
    QTest::newRow("no arguments: empty name, version 0")
        << QStringList{ p } << QStringList{ "", "0", "0", "0" };
    QTest::newRow("name only: the rest empty, not 0")
        << QStringList{ p, "Foo" } << QStringList{ "Foo", "", "", "" };
    QTest::newRow("name and version")
        << QStringList{ p, "Foo", "1.2.3" } << QStringList{ "Foo", "1.2.3", "", "" };
    QTest::newRow("three arguments")
        << QStringList{ p, "Foo", "1.2.3", "1700000000" } << QStringList{ "Foo", "1.2.3", "1700000000", "" };
    QTest::newRow("all four")
        << QStringList{ p, "Foo", "1.2.3", "17", "4" } << QStringList{ "Foo", "1.2.3", "17", "4" };
    QTest::newRow("a fifth is ignored")
        << QStringList{ p, "Foo", "1", "2", "3", "extra" } << QStringList{ "Foo", "1", "2", "3" };
    QTest::newRow("name with spaces and slashes kept as is")
        << QStringList{ p, "My App/../x", " 1 " } << QStringList{ "My App/../x", " 1 ", "", "" };
}

void tst_LaunchParams::arguments()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, expected);
    // Each row starts from the initial values of a fresh process.
    appName = QString("");
    appVersion = QString("");
    currentModifyTime = QStringLiteral("0");
    currentModifyCnt = QStringLiteral("0");

    applyLaunchArguments(args);
    QCOMPARE(appName, expected.at(0));
    QCOMPARE(appVersion, expected.at(1));
    QCOMPARE(currentModifyTime, expected.at(2));
    QCOMPARE(currentModifyCnt, expected.at(3));
    QVERIFY(!appVersion.isNull());
}

void tst_LaunchParams::checkUrlConcatenates_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty name gives a double slash") << QString();
    QTest::newRow("plain") << QStringLiteral("Foo");
    QTest::newRow("spaces and slashes untouched") << QStringLiteral("a b/c");
}

void tst_LaunchParams::checkUrlConcatenates()
{
    QFETCH(QString, name);
    QCOMPARE(composeCheckUrl(name), baseUrl + name + QStringLiteral("/updates.json"));
    if (name.isEmpty())
        QVERIFY(composeCheckUrl(name).endsWith(QLatin1String("master//updates.json")));
}

void tst_LaunchParams::styleSheet()
{
    // Without the theme collection the tool runs unstyled.
    Q_CLEANUP_RESOURCE(theme);
    QVERIFY(!QFile::exists(QStringLiteral(":qdarkstyle/dark/darkstyle.qss")));
    loadStyleSheet();
    QVERIFY(qApp->styleSheet().isEmpty());

    Q_INIT_RESOURCE(theme);
    Q_INIT_RESOURCE(icons);
    for (const char *icon : { ":/update.ico", ":/update.svg", ":/update-small.ico", ":/update.png" })
        QVERIFY2(QFile::exists(QString::fromLatin1(icon)), icon);

    QFile raw(QStringLiteral(":qdarkstyle/dark/darkstyle.qss"));
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().startsWith("\xEF\xBB\xBF"));

    loadStyleSheet();
    const QString sheet = qApp->styleSheet();
    QVERIFY(!sheet.startsWith(QChar(0xFEFF)));
    for (const char *rule : { "#MainWindow", "QWidget {", "QComboBox {", "QComboBox:disabled",
                              "QLineEdit {", "QLineEdit:disabled", "QLabel", "QPushButton {",
                              "QPushButton:hover", "QPushButton:pressed", "QPushButton:disabled" })
        QVERIFY2(sheet.contains(QLatin1String(rule)), rule);
    for (const char *colour : { "#161929", "#1677ff", "#9a9a9a", "#045dd8", "#01347b", "#8a8f92", "#E0E1E3" })
        QVERIFY2(sheet.contains(QLatin1String(colour)), colour);
}

// The missing-sheet message goes to standard output, so check it from a child.
int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--load-missing-sheet") == 0) {
        QApplication app(argc, argv);
        Q_CLEANUP_RESOURCE(theme);
        loadStyleSheet();
        return 0;
    }
    QApplication app(argc, argv);
    {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), { "--load-missing-sheet" });
        if (!child.waitForFinished(30000)
            // Windows' standard output ends lines with "\r\n".
            || child.readAllStandardOutput().replace("\r\n", "\n") != "Unable to set stylesheet, file not found\n") {
            qCritical("the missing style sheet was not reported on standard output");
            return 1;
        }
    }
    tst_LaunchParams test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launchparams.moc"
