#ifndef FILEMODE_H
#define FILEMODE_H

#include <QFile>
#include <QString>

/*! The mode a file staged for an install gets: one rule for patches and deltas. */
namespace FileMode {

/*! Qt's permissions for the Unix permission bits \a mode (set-ID, sticky and world-writable never apply). */
QFile::Permissions fromMode(quint32 mode);

/*!
    The permissions of a staged file whose archive gives \a mode (0: none,
    made on Windows) and that replaces \a installed: the mode when given;
    else a replaced file keeps its own, so that the program stays
    executable; else a new file is readable by all, and executable when it
    is the application's program (\a program).
*/
QFile::Permissions forStagedFile(quint32 mode, const QString &installed, bool program);

} // namespace FileMode

#endif // FILEMODE_H
