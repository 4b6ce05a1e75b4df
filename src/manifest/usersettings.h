#ifndef USERSETTINGS_H
#define USERSETTINGS_H

#include <QString>

#include <memory>

class QSettings;

/*!
    Where the tool keeps what it remembers per user and application: the
    registry on Windows, the user's configuration folder elsewhere. Only
    decisions about manifests live there, never credentials.
*/
namespace UserSettings {

std::unique_ptr<QSettings> open();
/*! The key of \a item for the application \a appName; any name is one key (percent-encoded). */
QString key(const QString &appName, const QString &item);

} // namespace UserSettings

#endif // USERSETTINGS_H
