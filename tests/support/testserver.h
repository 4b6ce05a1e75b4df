#ifndef TESTSERVER_H
#define TESTSERVER_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QTcpServer>

/*! One canned answer of the loopback server. */
struct TestResponse
{
    enum Framing { ContentLength, Chunked, CloseDelimited };
    // How a request with "Range: bytes=N-" is answered.
    enum Ranges { NoRanges, ServeRanges, IgnoreRanges, Unsatisfiable, WrongStart };

    int status = 200;
    QByteArray reason = "OK";
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    qint64 generatedSize = -1; // when >= 0, stream this many pattern bytes instead of body
    Framing framing = ContentLength;
    qint64 announcedLength = -1; // a Content-Length other than the body's, when >= 0
    qint64 cutAfter = -1;        // close the connection after this many body bytes
    bool closeInHeaders = false; // close half-way through the status line and headers
    int chunkSize = 64 * 1024;
    int chunkDelayMs = 0;        // slow delivery: pause between chunks
    qint64 stallAfter = -1;      // after this many body bytes, send nothing more and keep the connection open
    bool stallBeforeHeaders = false; // accept the request, then send nothing at all
    Ranges ranges = NoRanges;    // ServeRanges honours If-Range against the "ETag" header

    static TestResponse ok(const QByteArray &body);
    static TestResponse error(int code, const QByteArray &reason, const QByteArray &body = QByteArray());
    TestResponse &header(const QByteArray &name, const QByteArray &value);
    /*! The SHA-256 of the full body (the generated one included), lower-case hex, for a manifest's keys. */
    QByteArray sha256Hex() const;
};

/*!
    A loopback HTTP or HTTPS server for the tests: canned responses by path,
    bodies cut short, chunked or slow, and streamed bodies of any size.
*/
class TestServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit TestServer(QObject *parent = nullptr);

    bool start();
    bool startTls(const QSslCertificate &certificate, const QSslKey &key);
    /*! "http://127.0.0.1:<port>" or "https://...". */
    QString origin() const;

    void setResponse(const QString &path, const TestResponse &response);
    /*!
        Answers as a proxy that asks for basic credentials would: a request
        without "Proxy-Authorization" for \a user and \a password gets 407.
        A stand-in for a real proxy where none can run (under Wine); a request
        through it names its URL whole, so its response is set under the URL.
    */
    void requireProxyCredentials(const QByteArray &user, const QByteArray &password)
    {
        proxyCredentials = "Basic " + (user + ':' + password).toBase64();
    }
    QStringList requests() const { return requestedPaths; }
    int requestCount(const QString &path) const { return requestedPaths.count(path); }
    void clearRequests() { requestedPaths.clear(); requestHeaders.clear(); sentBytes.clear(); }
    /*! The raw header block of every request, in order. */
    QList<QByteArray> headersOfRequests() const { return requestHeaders; }
    /*! Body bytes sent for \a path, over all its requests. */
    qint64 bodyBytesSent(const QString &path) const { return sentBytes.value(path); }

    /*! The byte at \a offset of every generated body. */
    static char patternByte(qint64 offset) { return char(offset % 251); }
    static bool isPattern(const QByteArray &data, qint64 offset = 0);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    friend class TestConnection;
    TestResponse responseFor(const QString &path);

    QHash<QString, TestResponse> responses;
    QStringList requestedPaths;
    QList<QByteArray> requestHeaders;
    QHash<QString, qint64> sentBytes;
    QByteArray proxyCredentials;
    bool tls = false;
    QSslCertificate certificate;
    QSslKey key;
};

Q_DECLARE_METATYPE(TestResponse)

#endif // TESTSERVER_H
