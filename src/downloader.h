#ifndef DOWNLOADER_H
#define DOWNLOADER_H

#include "crypto/streamhasher.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class QNetworkAccessManager;

/*!
    Fetches one URL at a time into the application's directory. The bytes go
    into "<name>.part" as they arrive; only a transfer that completed cleanly
    (no network error, a 2xx status, every announced byte written) is moved to
    its final name. A transfer cut by the network keeps its part file when the
    server gave a validator or the caller a SHA-256 (ResumeState), and the next
    transfer of the same URL asks only for the rest. Every transfer ends with doFinished(), whatever happened;
    succeeded() and errorString() tell the outcome.
*/
class Downloader : public QObject
{
    Q_OBJECT

public:
    explicit Downloader(QObject *parent = nullptr);
    /*! A transfer still running (the tool quits) keeps what it has for the next try, when it can. */
    ~Downloader() override;

    /*! Sets the local file name. Refused (returns false) while a transfer runs. */
    bool setFileName(const QString &name);
    /*! Starts a transfer of \a url; an empty text reuses the previous URL. Ignored while one runs. */
    void startDownload(QString url);

    const QString &fileName() const { return downloadName; }
    QFile *file() { return &downloadFile; }
    void setUrl(const QString &url);
    /*!
        What the next transfer must be: its size in bytes (-1: unknown) and its
        SHA-256 (empty: unknown). The bytes are hashed as they stream; a body
        larger than the size is stopped at once, and a mismatch at completion
        fails the transfer. Applies to the next transfer only; refused while one runs.
    */
    bool setVerification(qint64 size, const QByteArray &sha256);
    /*!
        Other places that serve the same file, asked in order when a place
        fails (no connection, an HTTP error, a stall, a rate below the
        minimum, a size or SHA-256 mismatch); each failure is reported in one
        line. With a SHA-256 to check, the bytes of a cut transfer are kept and
        the next place is asked only for the rest. Next transfer only.
    */
    bool setMirrors(const QStringList &urls);
    QDir *directory() { return &downloadDir; }
    /*!
        Names a server's file name may never take (the application's program);
        the tool's own file name is always among them.
    */
    void setReservedNames(const QStringList &names) { reservedNames = names; }

    bool isDownloading() const { return state == State::Receiving || state == State::Restarting
                || state == State::Stopping; }
    /*! True when the latest transfer ended with its file under the final name. */
    bool succeeded() const { return state == State::Succeeded; }
    /*! Why the latest transfer failed; empty after a success. */
    QString errorString() const { return failure; }
    qint64 bytesWritten() const { return written; }

signals:
    void doProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onError(QNetworkReply::NetworkError code);
    void doFinished();
    void doShowInfo(const QString &message);

private:
    // Where a transfer is in its life; every handler begins with a guard on it.
    enum class State {
        Idle,       // nothing started yet
        Receiving,  // the reply runs; its bytes go into the part file
        Restarting, // the kept bytes do not fit the server's answer: the reply stops, a whole fetch follows
        Stopping,   // the transfer failed (failure says why): the reply stops, its bytes are thrown away
        Succeeded,  // ended with the file under its final name
        Failed      // ended without it; errorString() says why
    };

    void handleProgress(qint64 bytesReceived, qint64 bytesTotal);
    void handleMetaData();
    void handleFinished();
    void writeAvailable();
    bool preparePartFile();
    void fail(const QString &message);
    void refuse(const QString &message);
    QString partPath() const;
    void sendRequest();
    void restartFromZero();
    void sendWholeAgain();
    bool continueKeptBytes();
    bool keepForResume();
    bool verifies() const { return expectedSize >= 0 || !expectedSha256.isEmpty(); }
    bool tryNextMirror(bool resumable);
    bool closePartFile();
    void checkCompletion();
    void checkVerification();
    void placeFile(bool resumable);
    void reportVerified();
    void finish();

    QNetworkAccessManager *manager;
    QNetworkReply *reply = nullptr;
    State state = State::Idle;
    QUrl url;
    QString downloadName = QString("");
    QFile downloadFile;
    QDir downloadDir;

    QString requestedName; // the caller's name, kept when the server's is unusable
    QStringList reservedNames;
    QString failure;
    qint64 written = 0;
    QByteArray buffer;
    qint64 expectedSize = -1;
    QByteArray expectedSha256;
    StreamHasher hash;
    QStringList mirrors; // the places still to ask, in order
    // Continuing a cut download: the bytes kept from the earlier try and the server's validator.
    qint64 resumeOffset = 0;
    // The current answer's own length, as its progress reports it (-1: not known). After a
    // redirect the reply's Content-Length header can still be the redirect's.
    qint64 announced = -1;
    QByteArray validator;
};

#endif // DOWNLOADER_H
