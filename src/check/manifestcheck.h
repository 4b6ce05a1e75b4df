#ifndef MANIFESTCHECK_H
#define MANIFESTCHECK_H

#include "manifest/manifest.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

/*! How a check ended: the manifest's record, or the lines that say why there is none. */
struct CheckResult
{
    QStringList failure;     // "check error" and why, or "reply doc is null"; empty when a manifest was taken
    ManifestRecord record;
    QString source;          // which update host gave it, when it was not the first
    QString settingsProblem; // why its moment could not be kept in the user's settings
};

/*!
    Runs the update check: the manifest of each update host in order, its
    signature when keys are built in, its expiry, application name and issue
    moment; the record read from it. A host that gives no usable manifest is
    passed over for the next, each said in a line (doShowInfo). With keys
    built in every host is asked and the newest signed manifest wins, so that
    one stale or hostile host cannot hide a release another one serves.

    The requests go through the caller's access manager, whose finished
    replies come back through handleReply(); several checks may run at once,
    each carried by its requests. It touches no widget.
*/
class ManifestCheck : public QObject
{
    Q_OBJECT

public:
    explicit ManifestCheck(QObject *parent = nullptr);

    /*!
        Starts a check of \a appName's manifest, \a platform's record, at \a urls
        (one per update host, in order), through \a manager.
    */
    void start(QNetworkAccessManager *manager, const QString &appName, const QStringList &urls,
               const QString &platform);
    /*! Takes a finished reply of a check's request; the check's end is doFinished(). */
    void handleReply(QNetworkReply *reply);

signals:
    void doShowInfo(const QString &line);
    void doFinished(const CheckResult &result);

private:
    void send(const QNetworkRequest &request);
    bool askNextHost(QNetworkReply *reply, const QString &reason);
    void askHost(int host, const QByteArray &best, int bestHost, bool conditional = true);
    void accept(const QByteArray &body, int host);
    void finishWith(const QStringList &failure);

    QNetworkAccessManager *manager = nullptr;
    QString appName;
    QStringList urls;
    QString platform;
};

#endif // MANIFESTCHECK_H
