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
/*! Where they are, as the user would look for them (a file, or a registry key). */
QString location();
/*!
    Writes \a settings out; false, with a sentence for the report in \a why
    (when given), when they cannot be stored.
*/
bool store(QSettings *settings, QString *why);
/*! The key of \a item for the application \a appName; any name is one key (percent-encoded). */
QString key(const QString &appName, const QString &item);

} // namespace UserSettings

#endif // USERSETTINGS_H
