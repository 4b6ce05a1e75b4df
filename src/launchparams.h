#ifndef LAUNCHPARAMS_H
#define LAUNCHPARAMS_H

#include <QString>
#include <QStringList>

// Process-wide launch parameters and server constants. Only the GUI thread
// touches them.
extern QString checkUrl;
extern QString baseUrl;
// The other update hosts' base URLs, asked in order when the one before fails (a build-time list).
extern QStringList otherBaseUrls;
extern QString platformKey;
extern QString appVersion;
extern QString appName;
extern QString currentModifyTime;
extern QString currentModifyCnt;

/*!
    Stores the command line in the launch parameters. \a arguments holds the
    program name first, as argv does. Missing positions become empty strings;
    arguments after the fourth are ignored.
*/
void applyLaunchArguments(const QStringList &arguments);

/*! Returns baseUrl + name + "/updates.json", by plain concatenation. */
QString composeCheckUrl(const QString &name);

/*!
    Applies the compiled-in dark style sheet to the application, or prints
    "Unable to set stylesheet, file not found" when the resource is missing.
*/
void loadStyleSheet();

#endif // LAUNCHPARAMS_H
