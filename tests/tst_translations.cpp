#include "launchparams.h"
#include "network/networkpolicy.h"
#include "testserver.h"
#include "testutil.h"
#include "text/translations.h"
#include "updaterdialog.h"

#include <QAccessible>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString ServerPath = QStringLiteral("/Vornek/deploy/raw/branch/master/");

} // namespace

// The dialog in every shipped language, at the scale the test runs at
// (ctest runs it at 1, 1.5 and 2): translated, nothing clipped, every control
// named for a screen reader, the report's own lines unwrapped.
class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void choosesTheLanguage_data();
    void choosesTheLanguage();
    void translationsKeepTheirPlaceholders();
    void dialogInEveryLanguage_data();
    void dialogInEveryLanguage();
    void reportLinesDoNotWrap_data();
    void reportLinesDoNotWrap();

private:
    TestServer server;
};

void tst_Translations::initTestCase()
{
    QCOMPARE(Translations::shipped(), QStringList({ "de", "es", "fr", "it", "ja", "ko", "pl", "pt_BR", "ru", "tr", "zh_CN" }));
    QVERIFY(server.start());
    baseUrl = server.origin() + ServerPath;
}

void tst_Translations::cleanup()
{
    Translations::install(QString());
    clearApplicationDir();
}

void tst_Translations::choosesTheLanguage_data()
{
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("German") << QStringList { "de-DE", "en-US" } << "de";
    QTest::newRow("English first, German second: English") << QStringList { "en-US", "de-DE" } << "";
    QTest::newRow("Austrian German") << QStringList { "de-AT" } << "de";
    QTest::newRow("Portuguese of Portugal: the Brazilian one") << QStringList { "pt-PT" } << "pt_BR";
    QTest::newRow("Simplified Chinese by script") << QStringList { "zh-Hans-CN" } << "zh_CN";
    QTest::newRow("Traditional Chinese is not shipped: the next one") << QStringList { "zh-Hant-TW", "ja-JP" } << "ja";
    QTest::newRow("a language we do not ship, then French") << QStringList { "sv-SE", "fr-CA" } << "fr";
    QTest::newRow("nothing we ship") << QStringList { "sv-SE", "fi-FI" } << "";
}

void tst_Translations::choosesTheLanguage()
{
    QFETCH(QStringList, uiLanguages);
    QFETCH(QString, chosen);
    QCOMPARE(Translations::choose(uiLanguages), chosen);
}

// What lrelease cannot see: a translation that lost a placeholder or a leading line break.
void tst_Translations::translationsKeepTheirPlaceholders()
{
    const QRegularExpression placeholder(QStringLiteral("%\\d"));
    const auto placeholders = [&](const QString &text) {
        QStringList found;
        auto it = placeholder.globalMatch(text);
        while (it.hasNext())
            found << it.next().captured();
        found.sort();
        return found;
    };
    const QStringList files = QDir(QStringLiteral(TRANSLATIONS_DIR)).entryList({ "updater_*.ts" });
    QCOMPARE(files.size(), Translations::shipped().size());
    for (const QString &name : files) {
        QFile file(QStringLiteral(TRANSLATIONS_DIR) + "/" + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString source;
        int messages = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                const QString translation = xml.readElementText();
                ++messages;
                QVERIFY2(!translation.isEmpty(), qPrintable(name + ": " + source));
                QCOMPARE(placeholders(translation), placeholders(source));
                QCOMPARE(translation.startsWith('\n'), source.startsWith('\n'));
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(name + ": " + xml.errorString()));
        QVERIFY(messages > 40);
    }
}

void tst_Translations::dialogInEveryLanguage_data()
{
    QTest::addColumn<QString>("language");
    for (const QString &language : Translations::shipped())
        QTest::newRow(qPrintable(language)) << language;
}

void tst_Translations::dialogInEveryLanguage()
{
    QFETCH(QString, language);
    QVERIFY(Translations::install(language));
    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.findChild<QPushButton *>("btn_check")->text() != QLatin1String("check"));
    QVERIFY(dialog.findChild<QPushButton *>("btn_update_patch")->text() != QLatin1String("update-patch"));

    // No text is cut: every label and button is at least as wide as its text needs.
    for (QWidget *widget : dialog.findChildren<QWidget *>()) {
        if (!qobject_cast<QLabel *>(widget) && !qobject_cast<QPushButton *>(widget))
            continue;
        QVERIFY2(widget->width() >= widget->sizeHint().width(),
                 qPrintable(QStringLiteral("%1: %2 wide for a text that needs %3")
                                    .arg(widget->objectName()).arg(widget->width()).arg(widget->sizeHint().width())));
    }
    // Every control a screen reader reaches has a translated name and description; the labels name their fields.
    for (const char *name : { "appNameInput", "versionInput", "btn_check", "show", "progressBar", "btn_cancel",
                              "btn_update_patch", "btn_update" }) {
        QWidget *widget = dialog.findChild<QWidget *>(name);
        QVERIFY2(!widget->accessibleName().isEmpty() && !widget->accessibleDescription().isEmpty(), name);
    }
    QVERIFY(dialog.findChild<QLineEdit *>("appNameInput")->accessibleName() != QLatin1String("Application name"));
    QCOMPARE(dialog.findChild<QLabel *>("label_5")->buddy(), dialog.findChild<QWidget *>("appNameInput"));
    QCOMPARE(dialog.findChild<QLabel *>("label")->buddy(), dialog.findChild<QWidget *>("versionInput"));
    // Enter checks; the tab order follows the layout.
    QVERIFY(dialog.findChild<QPushButton *>("btn_check")->isDefault());
    QStringList order;
    QWidget *widget = dialog.findChild<QWidget *>("appNameInput");
    for (int i = 0; i < 6; ++i, widget = widget->nextInFocusChain()) {
        while (!(widget->focusPolicy() & Qt::TabFocus))
            widget = widget->nextInFocusChain();
        order << widget->objectName();
    }
    QCOMPARE(order, QStringList({ "appNameInput", "versionInput", "btn_check", "btn_cancel", "btn_update_patch",
                                  "btn_update" }));
}

void tst_Translations::reportLinesDoNotWrap_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QString();
    for (const QString &language : Translations::shipped())
        QTest::newRow(qPrintable(language)) << language;
}

void tst_Translations::reportLinesDoNotWrap()
{
    QFETCH(QString, language);
    Translations::install(language);
    const QByteArray patch = QByteArray(300000, 'p');
    const QByteArray log = "Starts twice as fast; fixes the crash on exit; " + QByteArray(300, 'w').replace('w', "word ");
    server.setResponse("/files/Wrap/Wrap-patch-v1.1.0.zip", TestResponse::ok(patch));
    server.setResponse(ServerPath + "Wrap/updates.json", TestResponse::ok(
            "{\"updates\":{\"windows\":{\"changelog\":\"" + log + "\",\"patch-version\":\"1.1.0\","
            "\"full-version\":\"1.1.0\",\"modify-time\":\"1765180800\",\"modifyCnt\":\"12\",\"patch-url\":\""
            + (server.origin() + "/files/").toUtf8() + "\",\"full-url\":\"https://x/\",\"patch-size\":\"300000\","
            "\"patch-sha256\":\"" + TestResponse::ok(patch).sha256Hex() + "\"}}}"));
    currentModifyTime = QStringLiteral("1765000000");
    currentModifyCnt = QStringLiteral("11");

    UpdaterDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.findChild<QLineEdit *>("appNameInput")->setText("Wrap");
    dialog.findChild<QLineEdit *>("versionInput")->setText("1.0.12");
    dialog.findChild<QPushButton *>("btn_check")->click();
    auto *report = dialog.findChild<QPlainTextEdit *>("show");
    QTRY_VERIFY(dialog.findChild<QPushButton *>("btn_update_patch")->isEnabled());
    QuestionAnswerer answerer(QMessageBox::No);
    dialog.findChild<QPushButton *>("btn_update_patch")->click();
    QTRY_COMPARE(answerer.asked, 1);

    // Every line the tool writes itself fits, with a scroll bar shown and room to spare for
    // a screen or font a little wider than this one; only the change log wraps, as text does.
    const QScrollBar *scrollBar = report->verticalScrollBar();
    const double room = 0.95 * (report->viewport()->width() - (scrollBar->isVisible() ? 0 : scrollBar->sizeHint().width())
                                - 2 * report->document()->documentMargin());
    QStringList wrapped;
    for (QTextBlock block = report->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().contains(QLatin1String("Starts twice as fast")))
            continue;
        if (block.layout()->lineCount() > 1 || QFontMetrics(report->font()).horizontalAdvance(block.text()) > room)
            wrapped << block.text();
    }
    QVERIFY2(wrapped.isEmpty(), qPrintable(wrapped.join('\n')));
    QVERIFY(report->toPlainText().contains("download verified"));
    // What a screen reader reads: the report's lines under its name, the bar's value as it moves.
    // (The headless platform has no screen reader to send Qt's insert and value events to.)
    QAccessibleInterface *text = QAccessible::queryAccessibleInterface(report);
    QVERIFY(text && text->textInterface());
    QCOMPARE(text->text(QAccessible::Name), report->accessibleName());
    QVERIFY(text->textInterface()->text(0, text->textInterface()->characterCount()).contains("download verified"));
    QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(dialog.findChild<QProgressBar *>("progressBar"));
    QVERIFY(bar && bar->valueInterface());
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), 100);
}

int main(int argc, char **argv)
{
    // As the tool starts: scaled by the screen, 150 % as 150 % (ctest sets QT_SCALE_FACTOR).
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication app(argc, argv);
    loadStyleSheet();
    tst_Translations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
