#ifndef NAMERULES_H
#define NAMERULES_H

#include <QString>

/*!
    Returns why \a name (a relative path: an archive's entry, a delta's file,
    a journal's path) cannot be written safely into the application's folder,
    or an empty string when it can: no absolute path, drive, backslash,
    control character, empty, "." or ".." part; nothing Windows cannot hold as
    given (the characters <>:"|?*, a part that ends in a dot or a space, a
    device name such as CON or COM1 with any extension), on every platform,
    since the same patch serves Windows; and none of the tool's working names.
*/
QString unsafeEntryReason(const QString &name);

#endif // NAMERULES_H
