#include "downloader.h"

#include "downloadname.h"
#include "networkpolicy.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

namespace {

// Bounds the memory a transfer takes whatever the file's size: the reply holds
// at most this much, and we drain it at every readyRead.
constexpr qint64 ReadBufferSize = 1 << 20;

// An existing file of the final name goes to "<name>_yyyy-MM-dd"; when that
// backup exists already (same name, same day), the older backup is kept and
// the file is removed instead.
void moveAside(const QString &path)
{
    if (!QFile::exists(path))
        return;
    const QString backup = path + QStringLiteral("_")
            + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
    if (!QFile::rename(path, backup))
        QFile::remove(path);
}

} // namespace

Downloader::Downloader(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , downloadDir(QCoreApplication::applicationDirPath())
{
}

bool Downloader::setFileName(const QString &name)
{
    // The running transfer keeps the name it was started with.
    if (downloading)
        return false;
    downloadName = name;
    return true;
}

bool Downloader::setVerification(qint64 size, const QByteArray &sha256)
{
    if (downloading)
        return false;
    expectedSize = size;
    expectedSha256 = sha256;
    return true;
}

void Downloader::setUrl(const QString &text)
{
    url.setUrl(text, QUrl::TolerantMode);
}

QString Downloader::partPath() const
{
    return downloadDir.filePath(downloadName + QStringLiteral(".part"));
}

void Downloader::startDownload(QString text)
{
    if (downloading)
        return;
    downloading = true;
    ok = false;
    failure.clear();
    partOpened = false;
    written = 0;
    hash.reset();
    verifying = expectedSize >= 0 || !expectedSha256.isEmpty();

    if (!text.isEmpty())
        url.setUrl(text, QUrl::TolerantMode);
    if (downloadName.isEmpty())
        downloadName = url.fileName();
    requestedName = downloadName;

    if (!downloadDir.exists())
        downloadDir.mkpath(QStringLiteral("."));
    // A file already under the final name stays until the new one is complete.
    QFile::remove(partPath());

    reply = manager->get(NetworkPolicy::request(url));
    reply->setReadBufferSize(ReadBufferSize);
    connect(reply, &QNetworkReply::downloadProgress, this, &Downloader::handleProgress);
    // Earlier replies stay connected; only the current one may act.
    QNetworkReply *current = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, current] {
        if (current == reply)
            handleMetaData();
    });
    connect(reply, &QNetworkReply::finished, this, [this, current] {
        if (current == reply)
            handleFinished();
    });
    connect(reply, SIGNAL(errorOccurred(QNetworkReply::NetworkError)),
            this, SIGNAL(onError(QNetworkReply::NetworkError)));
    connect(reply, &QIODevice::readyRead, this, &Downloader::writeAvailable);
}

void Downloader::handleProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    emit doProgress(bytesReceived, bytesTotal);
    writeAvailable();
}

void Downloader::handleMetaData()
{
    if (!downloading)
        return;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        // A redirect is followed by the access manager; its final answer counts.
        const bool redirect = code >= 300 && code <= 399 && reply->hasRawHeader("Location");
        if (!redirect && (code < 200 || code > 299)) {
            // An error page or a redirect is not the file; keep it out of the part file.
            fail(QStringLiteral("HTTP status %1").arg(code));
            return;
        }
    }

    const QVariant header = reply->header(QNetworkRequest::ContentDispositionHeader);
    if (!header.isValid())
        return;
    QString name = safeFileName(contentDispositionFileName(header.toByteArray()));
    const QStringList reserved = reservedNames
            + QStringList { QFileInfo(QCoreApplication::applicationFilePath()).fileName() };
    if (name.isEmpty() || !acceptableServerFileName(name, requestedName, reserved, downloadDir.path()))
        name = requestedName;
    if (name == downloadName)
        return;

    const QString oldPart = partPath();
    downloadName = name;
    if (downloadFile.isOpen()) {
        downloadFile.close();
        QFile::remove(partPath());
        if (!QFile::rename(oldPart, partPath()))
            fail(QStringLiteral("could not rename %1").arg(oldPart));
    }
}

bool Downloader::preparePartFile()
{
    const QString path = partPath();
    if (downloadFile.fileName() != path) {
        downloadFile.close();
        downloadFile.setFileName(path);
    }
    if (downloadFile.isOpen())
        return true;
    // The first open of a transfer truncates: a stale part file of the server's
    // name must not end up in front of the new bytes.
    const QIODevice::OpenMode mode = partOpened ? (QIODevice::WriteOnly | QIODevice::Append)
                                                : (QIODevice::WriteOnly | QIODevice::Truncate);
    if (!downloadFile.open(mode)) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, downloadFile.errorString()));
        return false;
    }
    partOpened = true;
    return true;
}

void Downloader::writeAvailable()
{
    if (!reply || !downloading)
        return;
    if (!failure.isEmpty()) {
        if (reply->isOpen())
            reply->skip(reply->bytesAvailable()); // keep the connection draining
        return;
    }
    if (reply->bytesAvailable() <= 0)
        return;
    if (!preparePartFile())
        return;
    if (buffer.size() != ReadBufferSize)
        buffer.resize(ReadBufferSize);
    for (;;) {
        const qint64 n = reply->read(buffer.data(), buffer.size());
        if (n <= 0)
            break;
        if (downloadFile.write(buffer.constData(), n) != n) {
            fail(QStringLiteral("cannot write %1: %2").arg(downloadFile.fileName(),
                                                           downloadFile.errorString()));
            return;
        }
        written += n;
        if (verifying) {
            hash.addData(buffer.constData(), n);
            if (expectedSize >= 0 && written > expectedSize) {
                fail(QStringLiteral("larger than the announced %1 bytes").arg(expectedSize));
                return;
            }
        }
    }
}

void Downloader::fail(const QString &message)
{
    if (!failure.isEmpty())
        return;
    failure = message;
    // Stop at once rather than transfer bytes we will throw away. Deferred, so
    // that the completion step does not run inside a handler of this reply.
    if (reply && reply->isRunning()) {
        QNetworkReply *running = reply;
        running->setProperty("stoppedByUs", true);
        QTimer::singleShot(0, running, [running] { running->abort(); });
    }
}

void Downloader::handleFinished()
{
    if (!downloading)
        return;

    writeAvailable();
    if (downloadFile.isOpen()) {
        if (!downloadFile.flush())
            fail(QStringLiteral("cannot write %1: %2").arg(downloadFile.fileName(),
                                                           downloadFile.errorString()));
        downloadFile.close();
    }

    if (failure.isEmpty()) {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
            fail(QStringLiteral("HTTP status %1").arg(status.toInt()));
        else if (reply->error() != QNetworkReply::NoError)
            fail(NetworkPolicy::stalled(reply) ? NetworkPolicy::stallMessage() : reply->errorString());
        else if (length.isValid() && length.toLongLong() != written)
            fail(QStringLiteral("incomplete: received %1 of %2 bytes")
                     .arg(written).arg(length.toLongLong()));
    }

    if (failure.isEmpty() && verifying) {
        const QByteArray actual = hash.result();
        if (expectedSize >= 0 && written != expectedSize)
            fail(QStringLiteral("size mismatch: expected %1 bytes, received %2").arg(expectedSize).arg(written));
        else if (!expectedSha256.isEmpty() && actual != expectedSha256)
            fail(QStringLiteral("SHA-256 mismatch: expected %1, received %2")
                     .arg(QString::fromLatin1(expectedSha256.toHex()), QString::fromLatin1(actual.toHex())));
    }

    const QString part = partPath();
    const QString target = downloadDir.path() + QStringLiteral("/") + downloadName;
    if (!failure.isEmpty()) {
        // Never promote a failed transfer: the final name keeps what it had.
        QFile::remove(part);
        emit doShowInfo(QStringLiteral("download failed: ") + failure);
    } else if (!QFile::exists(part)) {
        emit doShowInfo(QStringLiteral("not exits"));
        emit doShowInfo(QStringLiteral("rename file failed"));
        failure = QStringLiteral("nothing was received");
    } else {
        moveAside(target);
        if (!QFile::rename(part, target)) {
            emit doShowInfo(QStringLiteral("rename file failed"));
            failure = QStringLiteral("cannot rename %1 to %2").arg(part, target);
        }
    }

    if (failure.isEmpty() && verifying) {
        QString what;
        if (expectedSize >= 0)
            what = QStringLiteral("%1 bytes").arg(written);
        if (!expectedSha256.isEmpty())
            what += (what.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("SHA-256 ")
                    + QString::fromLatin1(expectedSha256.toHex());
        emit doShowInfo(QStringLiteral("download verified: ") + what);
    }
    // Each transfer states its own expectations.
    expectedSize = -1;
    expectedSha256.clear();

    downloadFile.setFileName(downloadDir.filePath(downloadName));
    ok = failure.isEmpty();
    downloading = false;
    emit doFinished();
}
