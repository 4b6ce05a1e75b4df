#ifndef DOWNLOADNAME_H
#define DOWNLOADNAME_H

#include <QByteArray>
#include <QString>
#include <QStringList>

/*!
    Extracts the file name from a Content-Disposition header value: the value is
    percent-decoded, read as UTF-8 up to the first NUL, and matched greedily
    against (.*)filename="(?<filename>.*)". Returns an empty string when it
    does not match.
*/
QString contentDispositionFileName(const QByteArray &headerValue);

/*!
    Reduces a name a server sent to a bare file name that stays inside the
    download directory: everything up to the last '/', '\\' or ':' (directories,
    a drive prefix) goes, and control characters make it unusable. Returns an
    empty string when nothing usable remains ("", ".", "..").
*/
QString safeFileName(const QString &name);

/*!
    True when \a name, a cleaned name from the server, may replace the
    caller's \a requested name: it ends in the same extension (".exe", ".zip",
    compared without case), is none of \a reserved (the application's program,
    the tool itself), and names nothing that exists in \a directory. Otherwise
    a server could have the download replace the program, the tool, a data
    file of the application or a whole folder.
*/
bool acceptableServerFileName(const QString &name, const QString &requested, const QStringList &reserved,
                              const QString &directory);

#endif // DOWNLOADNAME_H
