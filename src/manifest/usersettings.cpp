#include "manifest/usersettings.h"

#include <QSettings>
#include <QUrl>

namespace UserSettings {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("updater"),
                                       QStringLiteral("updater"));
}

QString key(const QString &appName, const QString &item)
{
    return QStringLiteral("applications/%1/%2").arg(QString::fromLatin1(QUrl::toPercentEncoding(appName)), item);
}

} // namespace UserSettings
