#ifndef NAMESET_H
#define NAMESET_H

#include <QHash>
#include <QSet>
#include <QString>

/*!
    The relative names of one update (an archive's entries, a delta's files,
    a journal's paths, a patch folder), as Windows tells files apart: a name
    listed twice, two names of one file ("Demo" and "demo", "a.txt" and
    "a.txt."), and a name that is a file and the folder of another are
    refused the same way wherever names are gathered.
*/
class NameSet
{
public:
    /*! Adds \a name (a folder when \a isFolder); why it is a file already added, or an empty string. */
    QString add(const QString &name, bool isFolder = false);
    /*! Once every name is added: why one of them is both a file and a folder, or an empty string. */
    QString fileFolderClash() const;

private:
    QHash<QString, QString> names; // folded name -> the name as added
    QSet<QString> files;           // folded names of files
};

#endif // NAMESET_H
