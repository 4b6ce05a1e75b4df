#ifndef DOWNLOADNAME_H
#define DOWNLOADNAME_H

#include <QByteArray>
#include <QString>

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

#endif // DOWNLOADNAME_H
