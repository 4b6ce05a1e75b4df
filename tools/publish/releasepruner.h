#ifndef RELEASEPRUNER_H
#define RELEASEPRUNER_H

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

struct PruneRequest
{
    QString store;
    QString output;  // the folder served at the manifest's base URL
    QString name;
    int keep = 3;    // the newest releases kept whatever else
    bool dryRun = false;
};

/*!
    Sets aside what no client can still be offered: the releases of the
    store beyond the newest few, and the files of the output that neither
    those releases nor any manifest still in use name. A manifest is in use
    while it is the output's, and after it was replaced until its "expires"
    (or for Grace when it has none): caches and clients may hold it that long.

    What is set aside moves into the store's trash/<date>/, and is deleted
    from there by a later prune once Grace has passed.
*/
class ReleasePruner
{
public:
    static constexpr int GraceDays = 14;

    /*! Prunes as \a request says, at \a now; false, with errorString(), when it cannot. */
    bool prune(const PruneRequest &request, const QDateTime &now = QDateTime::currentDateTimeUtc());

    /*! One line for each thing kept, moved and deleted. */
    QStringList report() const { return lines; }
    QString errorString() const { return error; }

private:
    bool fail(const QString &message);
    bool setAside(const QString &path, const QString &trashed, bool dryRun);
    bool setAsideUnneeded(const QString &root, const QSet<QByteArray> &keptObjects, const QString &trash, bool dryRun);
    bool emptyTrash(const QString &root, const QDate &today, bool dryRun);

    QString error;
    QStringList lines;
};

#endif // RELEASEPRUNER_H
