#include "downloader.h"
#include "launchparams.h"
#include "updaterdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class tst_UpdaterDialog : public QObject
{
    Q_OBJECT

private slots:
    void prefilledFromLaunchParameters_data();
    void prefilledFromLaunchParameters();
    void initialState();
    void form();
    void lineEditsKeepTheirWidth();
    void metaObject();
    void downloaderMessagesReachTheReport_data();
    void downloaderMessagesReachTheReport();
};

void tst_UpdaterDialog::prefilledFromLaunchParameters_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("version");
    QTest::newRow("no arguments") << QStringList{ "updater" } << "" << "0";
    QTest::newRow("name only") << QStringList{ "updater", "Foo" } << "Foo" << "";
    QTest::newRow("name and version") << QStringList{ "updater", "My App", "1.2.3", "5", "6" } << "My App" << "1.2.3";
}

void tst_UpdaterDialog::prefilledFromLaunchParameters()
{
    QFETCH(QStringList, args);
    QFETCH(QString, name);
    QFETCH(QString, version);
    applyLaunchArguments(args);
    UpdaterDialog dialog;
    QCOMPARE(dialog.findChild<QLineEdit *>("appNameInput")->text(), name);
    QCOMPARE(dialog.findChild<QLineEdit *>("versionInput")->text(), version);
}

void tst_UpdaterDialog::initialState()
{
    UpdaterDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("UpdaterDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Updater"));
    QCOMPARE(dialog.size(), QSize(578, 606));
    QVERIFY(!dialog.findChild<QPushButton *>("btn_update")->isEnabled());
    QVERIFY(!dialog.findChild<QPushButton *>("btn_update_patch")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("btn_check")->isEnabled());
    QVERIFY(dialog.findChild<QPushButton *>("btn_cancel")->isEnabled());
    auto report = dialog.findChild<QPlainTextEdit *>("show");
    QVERIFY(!report->isEnabled());
    QVERIFY(!report->isReadOnly()); // disabled, not read-only
    QVERIFY(report->toPlainText().isEmpty());
    QCOMPARE(dialog.findChild<QLabel *>("label_2")->text(), QString());
    QCOMPARE(dialog.findChild<QLabel *>("label_3")->text(), QString());
    auto bar = dialog.findChild<QProgressBar *>("progressBar");
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(dialog.findChildren<Downloader *>().size(), 1);
    QCOMPARE(dialog.findChild<Downloader *>()->parent(), &dialog);
    QCOMPARE(dialog.findChildren<QNetworkAccessManager *>(QString(), Qt::FindDirectChildrenOnly).size(), 0);
}

void tst_UpdaterDialog::form()
{
    UpdaterDialog dialog;
    struct Expected { const char *name; const char *cls; const char *text; };
    const Expected widgets[] = {
        { "label_5", "QLabel", "AppName:" },          { "appNameInput", "QLineEdit", nullptr },
        { "label", "QLabel", "Version:" },            { "versionInput", "QLineEdit", nullptr },
        { "btn_check", "QPushButton", "check" },      { "label_2", "QLabel", nullptr },
        { "progressBar", "QProgressBar", nullptr },   { "label_3", "QLabel", nullptr },
        { "btn_cancel", "QPushButton", "cancel" },    { "btn_update_patch", "QPushButton", "update-patch" },
        { "btn_update", "QPushButton", "update-full" },
    };
    for (const Expected &e : widgets) {
        QWidget *w = dialog.findChild<QWidget *>(QLatin1String(e.name));
        QVERIFY2(w, e.name);
        QCOMPARE(w->metaObject()->className(), e.cls);
        QCOMPARE(w->parent(), &dialog);
        QCOMPARE(w->font().family(), QStringLiteral("Times New Roman"));
        QCOMPARE(w->font().pointSize(), 12);
        QCOMPARE(w->font().weight(), 75);
        if (e.text)
            QCOMPARE(w->property("text").toString(), QLatin1String(e.text));
        if (qstrcmp(e.cls, "QPushButton") == 0) {
            QCOMPARE(w->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
            QCOMPARE(w->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        }
    }
    for (const char *name : { "label_5", "label" }) {
        auto label = dialog.findChild<QLabel *>(QLatin1String(name));
        QCOMPARE(label->alignment(), Qt::AlignCenter);
        QCOMPARE(label->minimumWidth(), 100);
    }
    auto report = dialog.findChild<QPlainTextEdit *>("show");
    // 11 points: the report's own lines (the rule of 38 "=") fit its width with a scroll bar shown.
    QCOMPARE(report->font().pointSize(), 11);
    QVERIFY(report->font().family() != QStringLiteral("Times New Roman"));
    QCOMPARE(report->font().weight(), int(QFont::Normal));

    // The vertical order of the form.
    const char *order[] = { "appNameInput", "versionInput", "show", "label_2", "progressBar", "label_3", "btn_update" };
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    int y = -1;
    for (const char *name : order) {
        const int top = dialog.findChild<QWidget *>(QLatin1String(name))->geometry().top();
        QVERIFY2(top > y, name);
        y = top;
    }
    // The bottom row, left to right.
    QVERIFY(dialog.findChild<QWidget *>("btn_cancel")->x() < dialog.findChild<QWidget *>("btn_update_patch")->x());
    QVERIFY(dialog.findChild<QWidget *>("btn_update_patch")->x() < dialog.findChild<QWidget *>("btn_update")->x());
}

void tst_UpdaterDialog::lineEditsKeepTheirWidth()
{
    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int width : { 578, 1200 }) {
        dialog.resize(width, 606);
        QTRY_COMPARE(dialog.width(), width);
        QTRY_COMPARE(dialog.findChild<QLineEdit *>("appNameInput")->width(), 200);
        QCOMPARE(dialog.findChild<QLineEdit *>("versionInput")->width(), 200);
    }
    // The spare width went to the check button.
    QVERIFY(dialog.findChild<QPushButton *>("btn_check")->width() > 500);
}

void tst_UpdaterDialog::metaObject()
{
    const QMetaObject &meta = UpdaterDialog::staticMetaObject;
    QCOMPARE(meta.className(), "UpdaterDialog");
    QStringList slotList;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        slotList << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(slotList, QStringList({ "on_btn_check_clicked()", "onCheckReply(QNetworkReply*)",
                                  "on_btn_update_clicked()", "on_btn_cancel_clicked()",
                                  "onDownloadFinished()", "on_btn_update_patch_clicked()" }));
    const QMetaObject &dl = Downloader::staticMetaObject;
    QStringList signalList;
    for (int i = dl.methodOffset(); i < dl.methodCount(); ++i)
        signalList << QString::fromLatin1(dl.method(i).methodSignature());
    QCOMPARE(signalList.mid(0, 4), QStringList({ "doProgress(qlonglong,qlonglong)", "onError(QNetworkReply::NetworkError)",
                                                 "doFinished()", "doShowInfo(QString)" }));
}

void tst_UpdaterDialog::downloaderMessagesReachTheReport_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("paragraph");
    QTest::newRow("named error") << int(QNetworkReply::ContentNotFoundError) << "ContentNotFoundError";
    QTest::newRow("TLS error") << int(QNetworkReply::SslHandshakeFailedError) << "SslHandshakeFailedError";
    QTest::newRow("no error") << int(QNetworkReply::NoError) << "NoError";
    QTest::newRow("value without a name") << 450 << "";
}

void tst_UpdaterDialog::downloaderMessagesReachTheReport()
{
    QFETCH(int, code);
    QFETCH(QString, paragraph);
    UpdaterDialog dialog;
    auto report = dialog.findChild<QPlainTextEdit *>("show");
    Downloader *downloader = dialog.findChild<Downloader *>();
    emit downloader->doShowInfo(QStringLiteral("first"));
    emit downloader->onError(QNetworkReply::NetworkError(code));
    QCOMPARE(report->toPlainText(), QStringLiteral("first\n") + paragraph);
    QCOMPARE(report->document()->blockCount(), 2);
}

QTEST_MAIN(tst_UpdaterDialog)
#include "tst_updaterdialog.moc"
