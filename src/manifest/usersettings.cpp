#include "manifest/usersettings.h"

#include <QDir>
#include <QSettings>
#include <QUrl>

namespace UserSettings {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("updater"),
                                       QStringLiteral("updater"));
}

QString location()
{
    return QDir::toNativeSeparators(open()->fileName());
}

bool store(QSettings *settings, QString *why)
{
    settings->sync();
    if (settings->status() == QSettings::NoError)
        return true;
    if (why)
        *why = QStringLiteral("the settings %1 cannot be written: the newest manifest accepted and the rollout "
                              "number are not kept from one check to the next")
                       .arg(QDir::toNativeSeparators(settings->fileName()));
    return false;
}

QString key(const QString &appName, const QString &item)
{
    return QStringLiteral("applications/%1/%2").arg(QString::fromLatin1(QUrl::toPercentEncoding(appName)), item);
}

} // namespace UserSettings
