#ifndef WINDOWSNAMES_H
#define WINDOWSNAMES_H

#include <QString>

/*!
    \a name as Windows tells names apart: case folded, each part without its
    trailing dots and spaces. Two names with the same folded form are one file there.
*/
QString windowsFoldedName(const QString &name);

/*! True when \a part is a device name on Windows (CON, nul.txt, COM1.dll): the part before its first dot counts. */
bool isWindowsDeviceName(const QString &part);

#endif // WINDOWSNAMES_H
