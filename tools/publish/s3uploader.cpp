#include "s3uploader.h"

#include "crypto/crypto.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>

namespace {

// A published file is never changed under its name: caches may keep it for a year.
const QByteArray ReleaseCacheControl = "public, max-age=31536000, immutable";
// A larger part costs memory, a smaller one requests: 10,000 parts of 64 MiB are 625 GiB.
constexpr qint64 PartSize = qint64(64) << 20;
// The manifest says what is current: a cache asks again every time.
const QByteArray ManifestCacheControl = "no-cache";
constexpr int TransferTimeoutMs = 60000;

bool isManifest(const QString &name)
{
    return name == QLatin1String("updates.json") || name == QLatin1String("updates.json.sig");
}

// The publisher's own working files never leave the output.
bool isWorkingFile(const QString &name)
{
    return name.startsWith(QLatin1Char('.')) || name.endsWith(QLatin1String(".publishing"));
}

QByteArray xmlValue(const QByteArray &xml, const char *tag)
{
    const QRegularExpression pattern(QStringLiteral("<%1>([^<]*)</%1>").arg(QLatin1String(tag)));
    return pattern.match(QString::fromUtf8(xml)).captured(1).toUtf8();
}

} // namespace

S3Uploader::S3Uploader(QObject *parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
{
}

S3Uploader::~S3Uploader() = default;

bool S3Uploader::fail(const QString &message)
{
    error = message;
    return false;
}

S3Signer::Credentials S3Uploader::credentialsFromEnvironment()
{
    S3Signer::Credentials credentials;
    credentials.accessKey = qEnvironmentVariable("AWS_ACCESS_KEY_ID");
    credentials.secretKey = qEnvironmentVariable("AWS_SECRET_ACCESS_KEY");
    credentials.sessionToken = qEnvironmentVariable("AWS_SESSION_TOKEN");
    credentials.region = qEnvironmentVariable("AWS_REGION", QStringLiteral("us-east-1"));
    return credentials;
}

QUrl S3Uploader::urlFor(const QString &key, const QString &query) const
{
    QUrl url = endpoint;
    const QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
    QByteArray full = (path.endsWith('/') ? path : path + '/') + S3Signer::encode(bucket.toUtf8(), false);
    if (!key.isEmpty())
        full += '/' + S3Signer::encode(key.toUtf8(), true);
    url.setPath(QString::fromLatin1(full), QUrl::StrictMode);
    if (!query.isEmpty())
        url.setQuery(query);
    return url;
}

S3Uploader::Answer S3Uploader::send(const QByteArray &method, const QString &key,
                                    const QList<QPair<QByteArray, QByteArray>> &headers, QIODevice *body,
                                    const QByteArray &payloadSha256, QByteArray *readSha256)
{
    const int at = key.indexOf(QLatin1Char('?'));
    QNetworkRequest request(urlFor(at < 0 ? key : key.left(at), at < 0 ? QString() : key.mid(at + 1)));
    request.setTransferTimeout(TransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    signer.sign(&request, method, payloadSha256);
    QNetworkReply *reply = network->sendCustomRequest(request, method, body);
    Crypto::Sha256 hash;
    Answer answer;
    qint64 received = 0;
    if (readSha256) {
        connect(reply, &QNetworkReply::readyRead, reply, [&] {
            const QByteArray bytes = reply->readAll();
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
                hash.addData(bytes);
                received += bytes.size();
            } else {
                answer.body += bytes;
            }
        });
    }
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body += reply->readAll();
    answer.etag = reply->rawHeader("ETag");
    answer.sha256 = reply->rawHeader("x-amz-meta-sha256");
    answer.length = reply->header(QNetworkRequest::ContentLengthHeader).isValid()
            ? reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() : -1;
    if (answer.status == 0)
        answer.networkError = reply->errorString();
    if (readSha256) {
        if (answer.status == 200)
            hash.addData(answer.body);
        received += answer.status == 200 ? answer.body.size() : 0;
        *readSha256 = hash.result();
        answer.length = received;
    }
    reply->deleteLater();
    return answer;
}

// Why \a answer is not a success, in the service's own words where it gives them.
QString S3Uploader::reason(const Answer &answer) const
{
    if (!answer.networkError.isEmpty())
        return QStringLiteral("cannot reach %1: %2").arg(endpoint.toString(), answer.networkError);
    const QByteArray code = xmlValue(answer.body, "Code");
    const QByteArray message = xmlValue(answer.body, "Message");
    QString why = QStringLiteral("HTTP status %1").arg(answer.status);
    if (!code.isEmpty())
        why += QStringLiteral(" (%1%2)").arg(QString::fromUtf8(code),
                                             message.isEmpty() ? QString() : QStringLiteral(": ") + QString::fromUtf8(message));
    if (answer.status == 403)
        why += QStringLiteral("; check AWS_ACCESS_KEY_ID, AWS_SECRET_ACCESS_KEY and AWS_REGION");
    return why;
}

// One release file: skipped when the object holds its bytes, refused when it holds others.
bool S3Uploader::putFile(const QString &path, const QString &key, const QList<QPair<QByteArray, QByteArray>> &headers,
                         bool *skipped)
{
    QFile file(path);
    QByteArray sha256;
    qint64 size = 0;
    if (!file.open(QIODevice::ReadOnly) || !Crypto::Sha256::hashDevice(&file, &sha256, &size) || !file.seek(0))
        return fail(QStringLiteral("cannot read %1").arg(path));
    const QByteArray hex = sha256.toHex();
    const QString where = QStringLiteral("s3://%1/%2").arg(bucket, key);
    const Answer there = send("HEAD", key, {}, nullptr, S3Signer::emptyPayload());
    *skipped = false;
    if (there.status == 200) {
        if (there.sha256 == hex && there.length == size) {
            *skipped = true;
            return true;
        }
        return fail(QStringLiteral("%1 already holds other bytes (%2 bytes, SHA-256 %3) than %4 (%5 bytes, SHA-256 %6); "
                                   "a published file never changes under its name, nothing after it was written")
                            .arg(where).arg(there.length).arg(QString::fromLatin1(there.sha256.isEmpty() ? "unknown" : there.sha256),
                                                              path).arg(size).arg(QString::fromLatin1(hex)));
    }
    if (there.status != 404)
        return fail(QStringLiteral("cannot look at %1: %2").arg(where, reason(there)));
    QList<QPair<QByteArray, QByteArray>> all = headers;
    all.append({ "x-amz-meta-sha256", hex });
    if (size > singlePutMax)
        return putParts(&file, key, all);
    const Answer put = send("PUT", key, all, &file, hex);
    if (put.status != 200)
        return fail(QStringLiteral("cannot write %1: %2").arg(where, reason(put)));
    return true;
}

// A file larger than one request puts, in parts of PartSize: the object appears only when every part
// is there. An upload that fails is aborted, so that no part is kept (and paid for).
bool S3Uploader::putParts(QFile *file, const QString &key, const QList<QPair<QByteArray, QByteArray>> &headers)
{
    const QString where = QStringLiteral("s3://%1/%2").arg(bucket, key);
    const Answer created = send("POST", key + QStringLiteral("?uploads="), headers, nullptr, S3Signer::emptyPayload());
    const QString uploadId = QString::fromUtf8(xmlValue(created.body, "UploadId"));
    if (created.status != 200 || uploadId.isEmpty())
        return fail(QStringLiteral("cannot start writing %1: %2").arg(where, reason(created)));
    const QString upload = QStringLiteral("uploadId=") + QString::fromLatin1(QUrl::toPercentEncoding(uploadId));
    QByteArray parts;
    QByteArray chunk;
    for (int number = 1; !file->atEnd(); ++number) {
        chunk = file->read(PartSize);
        QBuffer body(&chunk);
        body.open(QIODevice::ReadOnly);
        const Answer part = send("PUT", key + QStringLiteral("?partNumber=%1&%2").arg(number).arg(upload), {}, &body,
                                 Crypto::Sha256::hash(chunk).toHex());
        if (part.status != 200 || chunk.isEmpty()) {
            send("DELETE", key + QLatin1Char('?') + upload, {}, nullptr, S3Signer::emptyPayload());
            return fail(QStringLiteral("cannot write part %1 of %2: %3").arg(number).arg(where, reason(part)));
        }
        parts += "<Part><PartNumber>" + QByteArray::number(number) + "</PartNumber><ETag>" + QString::fromLatin1(part.etag).toHtmlEscaped().toLatin1()
                + "</ETag></Part>";
    }
    QByteArray list = "<CompleteMultipartUpload>" + parts + "</CompleteMultipartUpload>";
    QBuffer body(&list);
    body.open(QIODevice::ReadOnly);
    const Answer completed = send("POST", key + QLatin1Char('?') + upload, { { "Content-Type", "application/xml" } },
                                  &body, Crypto::Sha256::hash(list).toHex());
    // The service may answer 200 and an error in the body.
    if (completed.status != 200 || !xmlValue(completed.body, "Code").isEmpty()) {
        send("DELETE", key + QLatin1Char('?') + upload, {}, nullptr, S3Signer::emptyPayload());
        return fail(QStringLiteral("cannot finish writing %1: %2").arg(where, reason(completed)));
    }
    return true;
}

bool S3Uploader::upload(const UploadRequest &r)
{
    error.clear();
    lines.clear();
    const QRegularExpression target(QStringLiteral("^s3://([a-z0-9][a-z0-9.-]{1,61}[a-z0-9])(/(.*))?$"));
    const QRegularExpressionMatch match = target.match(r.target);
    if (!match.hasMatch())
        return fail(QStringLiteral("\"%1\" is not s3://BUCKET/PREFIX").arg(r.target));
    bucket = match.captured(1);
    prefix = match.captured(3);
    if (!prefix.isEmpty() && !prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    if (r.credentials.accessKey.isEmpty() || r.credentials.secretKey.isEmpty())
        return fail(QStringLiteral("no credentials: set AWS_ACCESS_KEY_ID and AWS_SECRET_ACCESS_KEY"));
    signer = S3Signer(r.credentials);
    endpoint = QUrl(r.endpoint.isEmpty() ? QStringLiteral("https://s3.%1.amazonaws.com").arg(r.credentials.region)
                                         : r.endpoint);
    if (!endpoint.isValid() || (endpoint.scheme() != QLatin1String("https") && endpoint.scheme() != QLatin1String("http")))
        return fail(QStringLiteral("the endpoint \"%1\" is not an http(s) URL").arg(r.endpoint));
    const QDir output(r.output);
    if (!output.exists())
        return fail(QStringLiteral("the output \"%1\" is not a folder").arg(r.output));

    QStringList releaseFiles;
    QStringList manifests;
    for (QDirIterator it(output.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (QFileInfo(path).isSymLink() || isWorkingFile(name))
            continue;
        (isManifest(name) ? manifests : releaseFiles) << output.relativeFilePath(path);
    }
    releaseFiles.sort();
    manifests.sort();
    // The signature before its manifest: a client that reads both never finds a new manifest beside an old one.
    std::sort(manifests.begin(), manifests.end(), [](const QString &a, const QString &b) {
        const QString folderA = QFileInfo(a).path();
        const QString folderB = QFileInfo(b).path();
        return folderA != folderB ? folderA < folderB
                                  : a.endsWith(QLatin1String(".sig")) && !b.endsWith(QLatin1String(".sig"));
    });

    // The first request tells wrong credentials, a missing bucket or an unreachable service.
    const Answer listed = send("GET", QStringLiteral("?list-type=2&max-keys=1"), {}, nullptr, S3Signer::emptyPayload());
    if (listed.status != 200)
        return fail(QStringLiteral("cannot use the bucket %1 at %2: %3; nothing was written")
                            .arg(bucket, endpoint.toString(), reason(listed)));
    // What each manifest replaces, so that another publisher's write in between is not lost.
    QHash<QString, QByteArray> replaces;
    for (const QString &manifest : qAsConst(manifests)) {
        const Answer there = send("HEAD", prefix + manifest, {}, nullptr, S3Signer::emptyPayload());
        if (there.status != 200 && there.status != 404)
            return fail(QStringLiteral("cannot look at s3://%1/%2%3: %4").arg(bucket, prefix, manifest, reason(there)));
        replaces.insert(manifest, there.status == 200 ? there.etag : QByteArray());
    }

    QStringList written;
    for (const QString &file : qAsConst(releaseFiles)) {
        bool skipped = false;
        const qint64 size = QFileInfo(output.filePath(file)).size();
        if (!putFile(output.filePath(file), prefix + file,
                     { { "Cache-Control", ReleaseCacheControl }, { "Content-Type", "application/octet-stream" } },
                     &skipped))
            return false;
        lines << QStringLiteral("%1  %2 bytes  %3").arg(file).arg(size)
                         .arg(skipped ? QStringLiteral("already there") : QStringLiteral("uploaded"));
        if (!skipped)
            written << file;
    }
    if (!readBack(output, written))
        return false;
    emit releaseFilesPlaced();

    return putManifests(output, manifests, replaces);
}

// Read back: what clients will download is what was published.
bool S3Uploader::readBack(const QDir &output, const QStringList &written)
{
    for (const QString &file : qAsConst(written)) {
        QFile local(output.filePath(file));
        QByteArray sha256;
        qint64 size = 0;
        if (!local.open(QIODevice::ReadOnly) || !Crypto::Sha256::hashDevice(&local, &sha256, &size))
            return fail(QStringLiteral("cannot read %1").arg(local.fileName()));
        QByteArray remote;
        const Answer back = send("GET", prefix + file, {}, nullptr, S3Signer::emptyPayload(), &remote);
        if (back.status != 200 || back.length != size || remote != sha256)
            return fail(QStringLiteral("s3://%1/%2%3 does not read back as written (%4); the manifests were not written")
                                .arg(bucket, prefix, file,
                                     back.status != 200 ? reason(back)
                                                        : QStringLiteral("%1 bytes, SHA-256 %2")
                                                                  .arg(back.length).arg(QString::fromLatin1(remote.toHex()))));
    }
    if (!written.isEmpty())
        lines << QStringLiteral("read back: %1 file(s), sizes and SHA-256 as published").arg(written.size());
    return true;
}

// Each signature file, then its manifest, the manifest only over the one it replaces (\a replaces: the
// ETag each had when the upload began, empty for none).
bool S3Uploader::putManifests(const QDir &output, const QStringList &manifests, const QHash<QString, QByteArray> &replaces)
{
    for (const QString &manifest : qAsConst(manifests)) {
        QFile file(output.filePath(manifest));
        QByteArray sha256;
        qint64 size = 0;
        if (!file.open(QIODevice::ReadOnly) || !Crypto::Sha256::hashDevice(&file, &sha256, &size) || !file.seek(0))
            return fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        QList<QPair<QByteArray, QByteArray>> headers { { "Cache-Control", ManifestCacheControl },
                                                       { "Content-Type", manifest.endsWith(QLatin1String(".sig"))
                                                                 ? QByteArray("text/plain") : QByteArray("application/json") } };
        const bool isJson = !manifest.endsWith(QLatin1String(".sig"));
        if (isJson) {
            const QByteArray etag = replaces.value(manifest);
            headers.append(etag.isEmpty() ? qMakePair(QByteArray("If-None-Match"), QByteArray("*"))
                                           : qMakePair(QByteArray("If-Match"), etag));
        }
        const Answer put = send("PUT", prefix + manifest, headers, &file, sha256.toHex());
        if (put.status == 412)
            return fail(QStringLiteral("s3://%1/%2%3 changed since this upload began (another publisher?); it was not "
                                       "overwritten: publish again from the latest manifest")
                                .arg(bucket, prefix, manifest));
        if (put.status != 200)
            return fail(QStringLiteral("cannot write s3://%1/%2%3: %4").arg(bucket, prefix, manifest, reason(put)));
        lines << QStringLiteral("%1  %2 bytes  uploaded%3").arg(manifest).arg(size)
                         .arg(isJson ? QStringLiteral(", last") : QString());
    }
    return true;
}
