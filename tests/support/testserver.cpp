#include "testserver.h"

#include <QCryptographicHash>

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray &patternBlock()
{
    // 256 periods of 251 bytes: repeating the block keeps offset % 251.
    static const QByteArray block = [] {
        QByteArray b(251 * 256, Qt::Uninitialized);
        for (int i = 0; i < b.size(); ++i)
            b[i] = TestServer::patternByte(i);
        return b;
    }();
    return block;
}

} // namespace

TestResponse TestResponse::ok(const QByteArray &body)
{
    TestResponse r;
    r.body = body;
    return r;
}

TestResponse TestResponse::error(int code, const QByteArray &reason, const QByteArray &body)
{
    TestResponse r;
    r.status = code;
    r.reason = reason;
    r.body = body;
    return r;
}

TestResponse &TestResponse::header(const QByteArray &name, const QByteArray &value)
{
    headers.append(qMakePair(name, value));
    return *this;
}

bool TestServer::isPattern(const QByteArray &data, qint64 offset)
{
    for (int i = 0; i < data.size(); ++i) {
        if (data.at(i) != patternByte(offset + i))
            return false;
    }
    return true;
}

class TestConnection : public QObject
{
public:
    TestConnection(TestServer *server, QTcpSocket *socket)
        : QObject(socket), server(server), socket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, &TestConnection::readRequest);
        connect(socket, &QTcpSocket::bytesWritten, this, &TestConnection::pump);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A client that went away must not keep a large answer pumping into nothing.
        connect(socket, &QAbstractSocket::errorOccurred, this, [this] {
            finished = true;
            this->socket->abort();
        });
        if (auto ssl = qobject_cast<QSslSocket *>(socket))
            connect(ssl, &QSslSocket::encryptedBytesWritten, this, &TestConnection::pump);
    }

private:
    void readRequest()
    {
        if (started)
            return;
        request += socket->readAll();
        const int end = request.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        started = true;
        const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
        const QString path = line.size() > 1 ? QString::fromUtf8(line.at(1)) : QString();
        server->requestedPaths.append(path);
        server->requestHeaders.append(request.left(end));
        this->path = path;
        response = server->responseFor(path);
        if (!server->proxyCredentials.isEmpty()
            && headerValue(request.left(end), "Proxy-Authorization") != server->proxyCredentials)
            response = TestResponse::error(407, "Proxy Authentication Required")
                               .header("Proxy-Authenticate", "Basic realm=\"tests\"");
        applyValidators(request.left(end));
        applyRange(request.left(end));
        respond();
    }

    static QByteArray headerValue(const QByteArray &head, const QByteArray &name)
    {
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith(name.toLower() + ':'))
                return line.mid(name.size() + 1).trimmed();
        }
        return QByteArray();
    }

    // A static file server's answer to a request that names the answer's own ETag: 304, no body.
    void applyValidators(const QByteArray &head)
    {
        const QByteArray ifNoneMatch = headerValue(head, "If-None-Match");
        for (const auto &h : qAsConst(response.headers)) {
            if (h.first == "ETag" && !ifNoneMatch.isEmpty() && ifNoneMatch == h.second && response.status == 200) {
                response.status = 304;
                response.reason = "Not Modified";
                response.body.clear();
                response.generatedSize = -1;
            }
        }
    }

    // Turns the canned answer into the one a range request gets.
    void applyRange(const QByteArray &head)
    {
        const QByteArray range = headerValue(head, "Range");
        if (response.ranges == TestResponse::NoRanges || response.ranges == TestResponse::IgnoreRanges
            || !range.startsWith("bytes="))
            return;
        const qint64 full = response.generatedSize >= 0 ? response.generatedSize : response.body.size();
        const qint64 start = range.mid(6, range.indexOf('-') - 6).toLongLong();
        QByteArray etag;
        for (const auto &h : qAsConst(response.headers)) {
            if (h.first == "ETag")
                etag = h.second;
        }
        const QByteArray ifRange = headerValue(head, "If-Range");
        if (!ifRange.isEmpty() && ifRange != etag)
            return; // changed: the whole file
        if (response.ranges == TestResponse::Unsatisfiable || start >= full) {
            response.status = 416;
            response.reason = "Range Not Satisfiable";
            response.body.clear();
            response.generatedSize = -1;
            response.headers.append({ "Content-Range", "bytes */" + QByteArray::number(full) });
            return;
        }
        if (response.ranges == TestResponse::ServeRanges)
            offset = start;
        response.status = 206;
        response.reason = "Partial Content";
        response.headers.append({ "Content-Range", "bytes " + QByteArray::number(offset) + '-'
                                          + QByteArray::number(full - 1) + '/' + QByteArray::number(full) });
    }

    void respond()
    {
        if (response.stallBeforeHeaders)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
        total = (response.generatedSize >= 0 ? response.generatedSize : response.body.size()) - offset;
        if (response.framing == TestResponse::ContentLength) {
            const qint64 announced = response.announcedLength >= 0 ? response.announcedLength : total;
            head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
        } else if (response.framing == TestResponse::Chunked) {
            head += "Transfer-Encoding: chunked\r\n";
        }
        for (const auto &h : qAsConst(response.headers))
            head += h.first + ": " + h.second + "\r\n";
        head += "Connection: close\r\n\r\n";
        if (response.closeInHeaders) {
            socket->write(head.left(head.size() / 2));
            socket->disconnectFromHost();
            return;
        }
        socket->write(head);
        pump();
    }

    void pump()
    {
        if (!started || finished || waiting || socket->state() != QAbstractSocket::ConnectedState)
            return;
        // Keep little in flight, so that a streamed body never sits in memory.
        while (socket->bytesToWrite() < 256 * 1024) {
            const qint64 limit = response.cutAfter >= 0 ? qMin(total, response.cutAfter) : total;
            if (response.stallAfter >= 0 && sent >= response.stallAfter)
                return;
            if (sent >= limit) {
                if (response.framing == TestResponse::Chunked && response.cutAfter < 0)
                    socket->write("0\r\n\r\n");
                finished = true;
                socket->disconnectFromHost();
                return;
            }
            qint64 n = qMin<qint64>(response.chunkSize, limit - sent);
            if (response.stallAfter >= 0)
                n = qMin(n, response.stallAfter - sent);
            QByteArray chunk;
            if (response.generatedSize >= 0) {
                const QByteArray &block = patternBlock();
                const qint64 start = (offset + sent) % block.size();
                chunk = block.mid(int(start), int(qMin<qint64>(n, block.size() - start)));
            } else {
                chunk = response.body.mid(int(offset + sent), int(n));
            }
            if (response.framing == TestResponse::Chunked)
                socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            else
                socket->write(chunk);
            sent += chunk.size();
            server->sentBytes[path] += chunk.size();
            if (response.chunkDelayMs > 0) {
                waiting = true;
                QTimer::singleShot(response.chunkDelayMs, this, [this] {
                    waiting = false;
                    pump();
                });
                return;
            }
        }
    }

    TestServer *server;
    QTcpSocket *socket;
    QByteArray request;
    TestResponse response;
    QString path;
    qint64 offset = 0; // where a range answer starts in the body
    qint64 total = 0;
    qint64 sent = 0;
    bool started = false;
    bool finished = false;
    bool waiting = false;
};

TestServer::TestServer(QObject *parent)
    : QTcpServer(parent)
{
}

bool TestServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

bool TestServer::startTls(const QSslCertificate &cert, const QSslKey &privateKey)
{
    tls = true;
    certificate = cert;
    key = privateKey;
    return start();
}

QString TestServer::origin() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
            .arg(serverPort());
}

void TestServer::setResponse(const QString &path, const TestResponse &response)
{
    responses.insert(path, response);
}

TestResponse TestServer::responseFor(const QString &path)
{
    return responses.value(path, TestResponse::error(404, "Not Found", "<html>not found</html>"));
}

void TestServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket;
    if (tls) {
        auto ssl = new QSslSocket(this);
        ssl->setSocketDescriptor(descriptor);
        ssl->setLocalCertificate(certificate);
        ssl->setPrivateKey(key);
        ssl->startServerEncryption();
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
        socket->setSocketDescriptor(descriptor);
    }
    new TestConnection(this, socket);
}

QByteArray TestResponse::sha256Hex() const
{
    if (generatedSize < 0)
        return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk;
    for (qint64 at = 0; at < generatedSize; at += chunk.size()) {
        chunk.resize(int(qMin<qint64>(generatedSize - at, 1 << 20)));
        for (int i = 0; i < chunk.size(); ++i)
            chunk[i] = char(TestServer::patternByte(at + i));
        hash.addData(chunk);
    }
    return hash.result().toHex();
}
