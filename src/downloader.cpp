#include "downloader.h"

#include "manifest/releasefilenames.h"
#include "names/downloadname.h"
#include "names/workingnames.h"
#include "network/networkpolicy.h"
#include "network/proxycredentials.h"
#include "network/resumestate.h"
#include "platform/filesystem.h"

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

// An existing file of the final name goes to "<name>_yyyy-MM-dd". One backup
// of a name is kept: when one exists already (of any day), the file is an
// earlier copy of a retried download, and the new one replaces it instead.
void moveAside(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isSymLink())
        return;
    const QStringList earlier = info.dir().entryList({ info.fileName() + QStringLiteral("_\?\?\?\?-\?\?-\?\?") },
                                                     QDir::Files | QDir::Hidden | QDir::System);
    if (!earlier.isEmpty())
        return;
    QFile::rename(path, path + QStringLiteral("_") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")));
}


} // namespace

Downloader::Downloader(QObject *parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , downloadDir(QCoreApplication::applicationDirPath())
{
    ProxyCredentials::attach(manager);
}

bool Downloader::setFileName(const QString &name)
{
    // The running transfer keeps the name it was started with.
    if (isDownloading())
        return false;
    downloadName = name;
    return true;
}

bool Downloader::setVerification(qint64 size, const QByteArray &sha256)
{
    if (isDownloading())
        return false;
    expectedSize = size;
    expectedSha256 = sha256;
    return true;
}

bool Downloader::setMirrors(const QStringList &urls)
{
    if (isDownloading())
        return false;
    mirrors = urls;
    return true;
}

void Downloader::setUrl(const QString &text)
{
    url.setUrl(text, QUrl::TolerantMode);
}

QString Downloader::partPath() const
{
    return downloadDir.filePath(downloadName + QLatin1String(WorkingNames::PartSuffix));
}

void Downloader::startDownload(QString text)
{
    if (isDownloading())
        return;
    state = State::Receiving;
    failure.clear();
    written = 0;
    hash.reset();
    resumeOffset = 0;
    validator.clear();

    if (!text.isEmpty())
        url.setUrl(text, QUrl::TolerantMode);
    if (downloadName.isEmpty())
        downloadName = url.fileName();
    requestedName = downloadName;
    // Whatever composed the name, the file stays a plain file of our folder.
    const QString nameProblem = ReleaseFileNames::problem(downloadName);
    if (!nameProblem.isEmpty()) {
        refuse(QStringLiteral("the file name cannot be used: ") + nameProblem);
        return;
    }

    if (!downloadDir.exists())
        downloadDir.mkpath(QStringLiteral("."));
    if (!continueKeptBytes()) {
        QFile::remove(ResumeState::sidePath(downloadDir.path(), requestedName));
        hash.reset();
        // A file already under the final name stays until the new one is complete.
        QFile::remove(partPath());
    }
    sendRequest();
}

// What an earlier try of this very download kept is continued. The side file
// is checked, never obeyed: it must name this download's own part file and
// expectations, or it alone is removed.
bool Downloader::continueKeptBytes()
{
    ResumeState saved;
    if (!saved.load(ResumeState::sidePath(downloadDir.path(), requestedName))
        || saved.partName != requestedName + QLatin1String(WorkingNames::PartSuffix) || !saved.resumable()
        || !saved.continues(url.toString(), expectedSize, expectedSha256)
        || QFileInfo(partPath()).isSymLink() || QFileInfo(partPath()).size() != saved.kept)
        return false;
    // A continued download is verified over the kept bytes too.
    if (verifies() && !hash.addFile(partPath(), saved.kept))
        return false;
    resumeOffset = saved.kept;
    validator = saved.validator;
    written = resumeOffset; // the part file is appended to
    return true;
}

void Downloader::refuse(const QString &message)
{
    failure = message;
    state = State::Stopping;
    // Like every transfer, it ends after startDownload() has returned.
    QTimer::singleShot(0, this, [this] {
        emit doShowInfo(QStringLiteral("download failed: ") + failure);
        finish();
    });
}

void Downloader::sendRequest()
{
    announced = -1;
    QNetworkRequest request = NetworkPolicy::request(url);
    if (resumeOffset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(resumeOffset) + '-');
        if (!validator.isEmpty())
            request.setRawHeader("If-Range", validator);
    }
    reply = manager->get(request);
    reply->setReadBufferSize(ReadBufferSize);
    NetworkPolicy::watchRate(reply);
    // Earlier replies stay connected; only the current one may act.
    QNetworkReply *current = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [this, current](qint64 received, qint64 total) {
        if (current == reply)
            handleProgress(received, total);
    });
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

void Downloader::restartFromZero()
{
    // The kept bytes do not fit what the server answers: fetch it all again.
    state = State::Restarting;
    NetworkPolicy::stopLater(reply);
}

void Downloader::sendWholeAgain()
{
    downloadFile.close();
    QFile::remove(partPath());
    QFile::remove(ResumeState::sidePath(downloadDir.path(), requestedName));
    resumeOffset = 0;
    written = 0;
    validator.clear();
    hash.reset();
    state = State::Receiving;
    sendRequest();
}

bool Downloader::keepForResume()
{
    // Only the download's own part file is ever continued; one under a server's name is not.
    if (downloadName != requestedName)
        return false;
    ResumeState resume;
    resume.url = url.toString();
    resume.validator = validator;
    resume.expectedSize = expectedSize;
    resume.expectedSha256 = expectedSha256;
    resume.partName = downloadName + QLatin1String(WorkingNames::PartSuffix);
    resume.kept = qMin(written, QFileInfo(partPath()).size());
    return resume.resumable() && resume.save(ResumeState::sidePath(downloadDir.path(), requestedName));
}

Downloader::~Downloader()
{
    if (!isDownloading())
        return;
    if (downloadFile.isOpen()) {
        downloadFile.flush();
        downloadFile.close();
    }
    if (state == State::Receiving)
        keepForResume();
}

void Downloader::handleProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    if (state != State::Receiving && state != State::Stopping)
        return;
    if (bytesTotal > 0)
        announced = bytesTotal;
    // The whole file counts, kept bytes included, so that the bar never jumps back.
    emit doProgress(bytesReceived + resumeOffset, bytesTotal > 0 ? bytesTotal + resumeOffset : bytesTotal);
    writeAvailable();
}

void Downloader::handleMetaData()
{
    if (state != State::Receiving)
        return;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        // A redirect is followed by the access manager; its final answer counts.
        const bool redirect = code >= 300 && code <= 399 && reply->hasRawHeader("Location");
        if (redirect)
            return;
        if (resumeOffset > 0) {
            // 206 continues the kept bytes only when it starts right after them;
            // 200 is the whole file again (it changed, or ranges are not served).
            const QByteArray range = reply->rawHeader("Content-Range");
            const bool continues = code == 206 && range.startsWith("bytes ")
                    && range.mid(6, range.indexOf('-') - 6).toLongLong() == resumeOffset;
            if (code == 200) {
                resumeOffset = 0;
                written = 0;
                hash.reset();
            } else if (!continues) {
                restartFromZero();
                return;
            }
        } else if (code == 206) {
            fail(QStringLiteral("the server sent part of the file, unasked"));
            return;
        }
        // A strong validator lets the next try continue a cut download.
        const QByteArray etag = reply->rawHeader("ETag");
        validator = !etag.isEmpty() && !etag.startsWith("W/") ? etag : reply->rawHeader("Last-Modified");
        if (code < 200 || code > 299) {
            // An error page or a redirect is not the file; keep it out of the part file.
            fail(NetworkPolicy::statusReason(reply));
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
    // An answer that continues kept bytes continues their file: under another
    // name the file would hold only the tail, while the hash covers it all.
    if (name == downloadName || resumeOffset > 0)
        return;

    const QString oldPart = partPath();
    downloadName = name;
    if (downloadFile.isOpen()) {
        downloadFile.close();
        QFile::remove(partPath());
        if (!QFile::rename(oldPart, partPath()))
            fail(QStringLiteral("could not rename %1").arg(oldPart));
    } else {
        // Kept bytes the server answered with the whole file again are no longer wanted.
        QFile::remove(oldPart);
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
    // Kept bytes are appended to; otherwise the first open truncates, so that a
    // stale part file of the server's name never ends up in front of the new bytes.
    const QIODevice::OpenMode mode = written > 0 ? (QIODevice::WriteOnly | QIODevice::Append)
                                                 : (QIODevice::WriteOnly | QIODevice::Truncate);
    if (!downloadFile.open(mode)) {
        fail(QStringLiteral("cannot write %1: %2").arg(path, downloadFile.errorString()));
        return false;
    }
    return true;
}

void Downloader::writeAvailable()
{
    if (!reply)
        return;
    if (state == State::Stopping || state == State::Restarting) {
        if (reply->isOpen())
            reply->skip(reply->bytesAvailable()); // keep the connection draining
        return;
    }
    if (state != State::Receiving || reply->bytesAvailable() <= 0)
        return;
    if (!preparePartFile())
        return;
    if (buffer.size() != ReadBufferSize)
        buffer.resize(ReadBufferSize);
    const bool verifying = verifies();
    for (;;) {
        const qint64 n = reply->read(buffer.data(), buffer.size());
        if (n <= 0)
            break;
        // A short write carries no reason; the next one fails with it (a full disk says so).
        for (qint64 done = 0; done < n;) {
            const qint64 w = downloadFile.write(buffer.constData() + done, n - done);
            if (w <= 0) {
                fail(QStringLiteral("cannot write %1: %2").arg(downloadFile.fileName(), downloadFile.errorString()));
                return;
            }
            done += w;
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
    if (state != State::Receiving)
        return;
    failure = message;
    state = State::Stopping;
    // Stop at once rather than transfer bytes we will throw away. Deferred, so
    // that the completion step does not run inside a handler of this reply.
    if (reply && reply->isRunning())
        NetworkPolicy::stopLater(reply);
}

void Downloader::handleFinished()
{
    if (state == State::Restarting) {
        sendWholeAgain();
        return;
    }
    if (state != State::Receiving && state != State::Stopping)
        return;
    writeAvailable();
    closePartFile();
    // A cut, not a wrong answer: what arrived may be continued next time.
    const bool wasReceiving = state == State::Receiving;
    checkCompletion();
    const bool resumable = wasReceiving && state == State::Stopping;
    checkVerification();
    if (tryNextMirror(resumable))
        return;
    placeFile(resumable);
    reportVerified();
    finish();
}

// A failed place is not the end while another serves the same file.
bool Downloader::tryNextMirror(bool resumable)
{
    if (state != State::Stopping || mirrors.isEmpty())
        return false;
    const QUrl next(mirrors.takeFirst(), QUrl::TolerantMode);
    emit doShowInfo(QStringLiteral("the download from %1 failed (%2); trying %3")
                            .arg(url.authority(), failure, next.authority()));
    // Checked by its SHA-256, a cut transfer's bytes are as good from one place as from another.
    const bool keep = resumable && !expectedSha256.isEmpty() && downloadName == requestedName && written > 0
            && QFileInfo(partPath()).size() == written;
    if (!keep) {
        QFile::remove(partPath());
        written = 0;
        hash.reset();
    }
    resumeOffset = written;
    validator.clear();
    url = next;
    failure.clear();
    state = State::Receiving;
    sendRequest();
    return true;
}

bool Downloader::closePartFile()
{
    if (!downloadFile.isOpen())
        return true;
    const bool flushed = downloadFile.flush();
    if (!flushed)
        fail(QStringLiteral("cannot write %1: %2").arg(downloadFile.fileName(), downloadFile.errorString()));
    downloadFile.close();
    return flushed;
}

// The network's verdict: the reply's own error, its status and its length.
void Downloader::checkCompletion()
{
    if (state != State::Receiving)
        return;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 expected = announced >= 0 ? announced : length.isValid() ? length.toLongLong() : -1;
    const QString reason = NetworkPolicy::failureReason(reply);
    const QString status = NetworkPolicy::statusReason(reply);
    if (!reason.isEmpty())
        fail(reason);
    else if (!status.isEmpty())
        fail(status);
    else if (reply->error() != QNetworkReply::NoError)
        fail(reply->errorString());
    else if (expected >= 0 && expected + resumeOffset != written)
        fail(QStringLiteral("incomplete: received %1 of %2 bytes").arg(written).arg(expected + resumeOffset));
}

// What the manifest promised: the size and the SHA-256 of every byte, kept ones included.
void Downloader::checkVerification()
{
    if (state != State::Receiving || !verifies())
        return;
    const QByteArray actual = hash.result();
    if (expectedSize >= 0 && written != expectedSize)
        fail(QStringLiteral("size mismatch: expected %1 bytes, received %2").arg(expectedSize).arg(written));
    else if (!expectedSha256.isEmpty() && actual != expectedSha256)
        fail(QStringLiteral("SHA-256 mismatch: expected %1, received %2")
                 .arg(QString::fromLatin1(expectedSha256.toHex()), QString::fromLatin1(actual.toHex())));
}

// A finished transfer under its final name; a failed one never is: the final name keeps what it had.
void Downloader::placeFile(bool resumable)
{
    const QString part = partPath();
    const QString target = downloadDir.path() + QStringLiteral("/") + downloadName;
    const QString side = ResumeState::sidePath(downloadDir.path(), requestedName);
    if (state == State::Stopping) {
        emit doShowInfo(QStringLiteral("download failed: ") + failure);
        if (resumable && keepForResume()) {
            emit doShowInfo(QStringLiteral("the %1 bytes received are kept; the next download continues from there")
                                    .arg(written));
        } else {
            QFile::remove(part);
            QFile::remove(side);
        }
        return;
    }
    if (!QFile::exists(part)) {
        emit doShowInfo(QStringLiteral("not exits"));
        emit doShowInfo(QStringLiteral("rename file failed"));
        fail(QStringLiteral("nothing was received"));
        return;
    }
    QFile::remove(side);
    moveAside(target);
    QString why;
    if (!Platform::replaceFile(part, target, &why)) {
        emit doShowInfo(QStringLiteral("rename file failed"));
        fail(QStringLiteral("cannot rename %1 to %2: %3").arg(part, target, why));
    }
}

void Downloader::reportVerified()
{
    if (state != State::Receiving || !verifies())
        return;
    QString what;
    if (expectedSize >= 0)
        what = QStringLiteral("%1 bytes").arg(written);
    // The hash in two halves on lines of their own: no report area is wide enough for 64 digits.
    if (!expectedSha256.isEmpty()) {
        const QString hex = QString::fromLatin1(expectedSha256.toHex());
        what += (what.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("SHA-256\n    ")
                + hex.left(32) + QStringLiteral("\n    ") + hex.mid(32);
    }
    emit doShowInfo(QStringLiteral("download verified: ") + what);
}

void Downloader::finish()
{
    // Each transfer states its own expectations.
    expectedSize = -1;
    expectedSha256.clear();
    mirrors.clear();
    downloadFile.setFileName(downloadDir.filePath(downloadName));
    state = state == State::Receiving ? State::Succeeded : State::Failed;
    emit doFinished();
}
