#include "text/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

// The resources live in a static library: pulled in by hand, once.
static void initResources()
{
    Q_INIT_RESOURCE(translations);
}

namespace {

const QString Folder = QStringLiteral(":/i18n/");

QTranslator *ours = nullptr;
QTranslator *qts = nullptr;

} // namespace

QStringList Translations::shipped()
{
    static const bool initialised = (initResources(), true);
    Q_UNUSED(initialised)
    QStringList languages;
    for (const QString &file : QDir(Folder).entryList({ QStringLiteral("updater_*.qm") }, QDir::Files, QDir::Name))
        languages << file.mid(8).chopped(3);
    return languages;
}

QString Translations::choose(const QStringList &uiLanguages)
{
    const QStringList available = shipped();
    for (const QString &tag : uiLanguages) {
        const QLocale locale(tag);
        if (locale.language() == QLocale::English || locale.language() == QLocale::C)
            return QString();
        // "de-AT" reads German; "pt-PT" Brazilian Portuguese; "zh-Hant" no Simplified Chinese.
        const QString name = locale.name();
        const QString language = name.section(QLatin1Char('_'), 0, 0);
        if (available.contains(name))
            return name;
        if (locale.language() == QLocale::Chinese) {
            if (locale.script() == QLocale::SimplifiedHanScript && available.contains(QStringLiteral("zh_CN")))
                return QStringLiteral("zh_CN");
            continue;
        }
        if (available.contains(language))
            return language;
        for (const QString &candidate : available) {
            if (candidate.startsWith(language + QLatin1Char('_')))
                return candidate;
        }
    }
    return QString();
}

bool Translations::install(const QString &language)
{
    for (QTranslator **translator : { &ours, &qts }) {
        if (*translator) {
            QCoreApplication::removeTranslator(*translator);
            delete *translator;
            *translator = nullptr;
        }
    }
    if (language.isEmpty() || !shipped().contains(language))
        return false;
    ours = new QTranslator(QCoreApplication::instance());
    if (!ours->load(Folder + QStringLiteral("updater_") + language + QStringLiteral(".qm")))
        return false;
    QCoreApplication::installTranslator(ours);
    // Qt's own, for the buttons of the question; compiled in when the build found them.
    qts = new QTranslator(QCoreApplication::instance());
    if (qts->load(Folder + QStringLiteral("qtbase_") + language + QStringLiteral(".qm")))
        QCoreApplication::installTranslator(qts);
    return true;
}
