#include "s3signer.h"

#include "crypto/crypto.h"

#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

S3Signer::S3Signer(const Credentials &credentials, const QString &service)
    : credentials(credentials)
    , service(service)
{
}

QByteArray S3Signer::encode(const QByteArray &text, bool path)
{
    QByteArray out;
    for (const char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                || c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved || (path && c == '/'))
            out.append(c);
        else
            out.append('%').append(QByteArray::number(uchar(c), 16).rightJustified(2, '0').toUpper());
    }
    return out;
}

QByteArray S3Signer::emptyPayload()
{
    return Crypto::Sha256::hash(QByteArray()).toHex();
}

QByteArray S3Signer::authorization(const QByteArray &method, const QUrl &url, const Headers &headers,
                                   const QByteArray &payloadSha256, const QDateTime &when) const
{
    const QByteArray date = when.toUTC().toString(QStringLiteral("yyyyMMdd")).toLatin1();
    const QByteArray moment = when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1();
    // The query's names and values, each encoded, sorted by name then value.
    QList<QPair<QByteArray, QByteArray>> query;
    for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        query.append({ encode(item.first.toUtf8(), false), encode(item.second.toUtf8(), false) });
    std::sort(query.begin(), query.end());
    QByteArrayList queryParts;
    for (const auto &item : qAsConst(query))
        queryParts << item.first + '=' + item.second;
    Headers sorted;
    for (const auto &header : headers)
        sorted.append({ header.first.toLower(), header.second.simplified() });
    std::sort(sorted.begin(), sorted.end());
    QByteArray canonicalHeaders;
    QByteArrayList names;
    for (const auto &header : qAsConst(sorted)) {
        canonicalHeaders += header.first + ':' + header.second + '\n';
        names << header.first;
    }
    const QByteArray signedHeaders = names.join(';');
    const QByteArray path = url.path(QUrl::FullyDecoded).toUtf8();
    const QByteArray canonical = method + '\n' + encode(path.isEmpty() ? QByteArray("/") : path, true) + '\n'
            + queryParts.join('&') + '\n' + canonicalHeaders + '\n' + signedHeaders + '\n' + payloadSha256;
    const QByteArray scope = date + '/' + credentials.region.toUtf8() + '/' + service.toUtf8() + "/aws4_request";
    const QByteArray toSign = "AWS4-HMAC-SHA256\n" + moment + '\n' + scope + '\n'
            + Crypto::Sha256::hash(canonical).toHex();
    QByteArray key = Crypto::hmacSha256("AWS4" + credentials.secretKey.toUtf8(), date);
    key = Crypto::hmacSha256(key, credentials.region.toUtf8());
    key = Crypto::hmacSha256(key, service.toUtf8());
    key = Crypto::hmacSha256(key, "aws4_request");
    const QByteArray signature = Crypto::hmacSha256(key, toSign).toHex();
    return "AWS4-HMAC-SHA256 Credential=" + credentials.accessKey.toUtf8() + '/' + scope
            + ",SignedHeaders=" + signedHeaders + ",Signature=" + signature;
}

void S3Signer::sign(QNetworkRequest *request, const QByteArray &method, const QByteArray &payloadSha256,
                    const QDateTime &when) const
{
    const QUrl url = request->url();
    request->setRawHeader("x-amz-date", when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")).toLatin1());
    request->setRawHeader("x-amz-content-sha256", payloadSha256);
    if (!credentials.sessionToken.isEmpty())
        request->setRawHeader("x-amz-security-token", credentials.sessionToken.toUtf8());
    Headers headers;
    // The host as the request will carry it: the port only when it is not the scheme's.
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : 80;
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (url.port() != -1 && url.port() != defaultPort)
        host += ':' + QByteArray::number(url.port());
    headers.append({ "host", host });
    for (const QByteArray &name : request->rawHeaderList())
        headers.append({ name, request->rawHeader(name) });
    request->setRawHeader("Authorization", authorization(method, url, headers, payloadSha256, when));
}
