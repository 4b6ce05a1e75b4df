#ifndef DIALOGDRIVER_H
#define DIALOGDRIVER_H

#include <QString>

class QPushButton;
class UpdaterDialog;

/*!
    The dialog as a user drives it, installed in the test binary's own folder
    (the application's folder, as the tool's is): what the suites that walk
    the whole road share.
*/
namespace DialogDriver {

/*! Where the manifests lie under a server's origin. */
extern const QString ServerPath;

/*! A file of the application's folder. */
QString appPath(const QString &name);
/*! The report area's text. */
QString report(UpdaterDialog *dialog);
QPushButton *button(UpdaterDialog *dialog, const char *name);
/*! Types \a name and \a version into the form and clicks check. */
void typeAndCheck(UpdaterDialog *dialog, const QString &name, const QString &version);
/*! Points the tool at the manifests of \a origin, with the installed modify time and count. */
void pointAt(const QString &origin, const QString &modifyTime, const QString &modifyCount);

} // namespace DialogDriver

#endif // DIALOGDRIVER_H
