#ifndef S3SIGNER_H
#define S3SIGNER_H

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

class QNetworkRequest;
class QUrl;

/*!
    Signs requests to S3 and the services that speak its protocol with AWS
    Signature Version 4, in the Authorization header: the canonical request
    (method, path, query, the headers signed, the payload's SHA-256), the
    string to sign under the day's scope, and the key derived from the
    secret for that day, region and service.
*/
class S3Signer
{
public:
    struct Credentials
    {
        QString accessKey;
        QString secretKey;
        QString sessionToken; // empty unless the credentials are temporary
        QString region = QStringLiteral("us-east-1");
    };
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    explicit S3Signer(const Credentials &credentials, const QString &service = QStringLiteral("s3"));

    /*!
        Signs \a request for \a method with a payload whose SHA-256 is
        \a payloadSha256 (hex): adds x-amz-date, x-amz-content-sha256, the
        session token when there is one, and Authorization. Every raw header
        already set on \a request is signed with them.
    */
    void sign(QNetworkRequest *request, const QByteArray &method, const QByteArray &payloadSha256,
              const QDateTime &when = QDateTime::currentDateTimeUtc()) const;

    /*!
        The Authorization value for \a method on \a url with \a headers (the
        host among them), at \a when: what sign() adds, for any request.
    */
    QByteArray authorization(const QByteArray &method, const QUrl &url, const Headers &headers,
                             const QByteArray &payloadSha256, const QDateTime &when) const;

    /*! \a text percent-encoded as the canonical request wants it; '/' kept when \a path. */
    static QByteArray encode(const QByteArray &text, bool path);
    /*! The hex SHA-256 of an empty payload. */
    static QByteArray emptyPayload();

private:
    Credentials credentials;
    QString service;
};

#endif // S3SIGNER_H
