#ifndef S3UPLOADER_H
#define S3UPLOADER_H

#include "s3signer.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QDir;
class QFile;
class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

struct UploadRequest
{
    QString output;   // the folder the publisher wrote
    QString target;   // s3://BUCKET/PREFIX
    QString endpoint; // an S3-compatible service's URL; AWS's for the region when empty
    S3Signer::Credentials credentials;
};

/*!
    Puts a published output into an S3 bucket in the order that keeps every
    client whole: every release file first (streamed, each with its SHA-256
    as metadata and cached for a year; one already there with the same
    SHA-256 is skipped, one with other bytes refused; above 5 GiB in parts),
    each read back and
    checked, then each signature file and manifest last, the manifest
    written only if it is still the one it replaces (If-Match on its ETag, or
    If-None-Match for the first), so that two publishers at once cannot
    overwrite each other unseen. Path-style addressing, so that any
    S3-compatible service serves.
*/
class S3Uploader : public QObject
{
    Q_OBJECT

public:
    explicit S3Uploader(QObject *parent = nullptr);
    ~S3Uploader() override;

    /*! Uploads as \a request says; false, with errorString(), at the first thing that fails. */
    bool upload(const UploadRequest &request);

    /*! Files above \a bytes go in parts (default 5 GiB, the most one request puts; parts are 64 MiB). */
    void setSinglePutMax(qint64 bytes) { singlePutMax = bytes; }

    /*! The credentials and region from the environment every S3 tool reads. */
    static S3Signer::Credentials credentialsFromEnvironment();

    QStringList report() const { return lines; }
    QString errorString() const { return error; }

signals:
    /*! Every release file is in place and checked; the manifests come next. */
    void releaseFilesPlaced();

private:
    struct Answer
    {
        int status = 0;
        QByteArray body;
        QByteArray etag;
        QByteArray sha256;    // the object's x-amz-meta-sha256
        qint64 length = -1;
        QString networkError; // empty when an HTTP answer came
    };
    bool fail(const QString &message);
    QUrl urlFor(const QString &key, const QString &query = QString()) const;
    Answer send(const QByteArray &method, const QString &key, const QList<QPair<QByteArray, QByteArray>> &headers,
                QIODevice *body, const QByteArray &payloadSha256, QByteArray *readSha256 = nullptr);
    QString reason(const Answer &answer) const;
    bool putFile(const QString &path, const QString &key, const QList<QPair<QByteArray, QByteArray>> &headers,
                 bool *skipped);
    bool readBack(const QDir &output, const QStringList &written);
    bool putManifests(const QDir &output, const QStringList &manifests, const QHash<QString, QByteArray> &replaces);
    bool putParts(QFile *file, const QString &key, const QList<QPair<QByteArray, QByteArray>> &headers);

    QNetworkAccessManager *network = nullptr;
    qint64 singlePutMax = qint64(5) << 30;
    S3Signer signer = S3Signer(S3Signer::Credentials());
    QUrl endpoint;
    QString bucket;
    QString prefix;
    QStringList lines;
    QString error;
};

#endif // S3UPLOADER_H
