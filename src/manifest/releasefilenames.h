#ifndef RELEASEFILENAMES_H
#define RELEASEFILENAMES_H

#include <QString>

/*!
    The names of a release's files, as the client saves them, the publisher
    writes them and the verifier looks for them:
    "<name>-patch-v<version>.zip", "<name>-full-v<version>.exe" and the
    delta "<name>-delta-v<from>-v<version>.zip" (saved by the client as
    "<name>-delta-v<version>.zip"). A version from a manifest goes into a file
    name, so it must be one plain part of a name; how it compares is the
    version decision's business.
*/
namespace ReleaseFileNames {

QString patch(const QString &appName, const QString &version);
QString full(const QString &appName, const QString &version);
/*! The delta from \a from to \a version, as published. */
QString publishedDelta(const QString &appName, const QString &from, const QString &version);
/*! The delta to \a version, as the client saves it. */
QString savedDelta(const QString &appName, const QString &version);

/*! True when \a version is dot-separated decimal parts that each fit 32 bits. */
bool isVersion(const QString &version);
/*!
    Why \a version cannot be one plain part of a file name (empty, a path
    separator, "." or ".." alone, a control character, a character Windows
    forbids, a trailing dot or space, more than MaxVersionLength characters),
    or an empty string. "v1.3" and "2.0-rc1" are fine.
*/
QString versionProblem(const QString &version);
constexpr int MaxVersionLength = 64;
/*! True when \a text is 1 to 10 decimal digits whose value fits 32 bits. */
bool isDecimal32(const QString &text);

/*!
    Why the composed file name \a name cannot be a plain file of the
    application's folder (a separator, a climb, a working name of the tool,
    a name Windows refuses), or an empty string.
*/
QString problem(const QString &name);

} // namespace ReleaseFileNames

#endif // RELEASEFILENAMES_H
