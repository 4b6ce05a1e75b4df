#include "network/networkpolicy.h"

#include "network/proxycredentials.h"
#include "text/progresstext.h"

#include <QBuffer>
#include <QDateTime>
#include <QLocale>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QTimer>

#include <memory>

#include <zlib.h>

namespace {

int stallTimeout = 30000;
int checkTimeout = 60000;
int minimumBytesPerSecond = 1024;
int slowWindow = 60000;

const char *const TooSlow = "tooSlow";
const char *const TooLarge = "tooLarge";
const char *const BodyName = "limitedBody";
// What a limited reply may hold before it is drained into its body.
constexpr qint64 ReadWindow = 64 * 1024;
const char *const TooLong = "tooLong";
// Stopped by the tool itself: no use for the rest, or too large.
const char *const StoppedHere = "stoppedHere";

// Inflates the gzip \a data into \a out, stopping as soon as it would pass
// \a maximum bytes (\a tooLarge then). False when \a data is not gzip.
bool gunzip(const QByteArray &data, qint64 maximum, QByteArray *out, bool *tooLarge)
{
    z_stream stream {};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    char chunk[64 * 1024];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        result = inflate(&stream, Z_NO_FLUSH);
        out->append(chunk, int(sizeof chunk - stream.avail_out));
        if (out->size() > maximum) {
            *tooLarge = true;
            break;
        }
        if (result == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the body ends before the stream does
    }
    inflateEnd(&stream);
    return *tooLarge || result == Z_STREAM_END;
}

} // namespace

QNetworkRequest NetworkPolicy::compressibleRequest(const QUrl &url)
{
    QNetworkRequest compressible = request(url);
    compressible.setRawHeader("Accept-Encoding", "gzip");
    return compressible;
}

QNetworkRequest NetworkPolicy::request(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(stallTimeout);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    return request;
}

int NetworkPolicy::stallTimeoutMs()
{
    return stallTimeout;
}

void NetworkPolicy::setStallTimeoutMs(int milliseconds)
{
    stallTimeout = milliseconds;
}

int NetworkPolicy::checkTimeoutMs()
{
    return checkTimeout;
}

void NetworkPolicy::setCheckTimeoutMs(int milliseconds)
{
    checkTimeout = milliseconds;
}

void NetworkPolicy::setSlowTransferRule(int bytesPerSecond, int windowMs)
{
    minimumBytesPerSecond = bytesPerSecond;
    slowWindow = windowMs;
}

int NetworkPolicy::minimumRate()
{
    return minimumBytesPerSecond;
}

int NetworkPolicy::slowWindowMs()
{
    return slowWindow;
}

void NetworkPolicy::watchRate(QNetworkReply *reply)
{
    // Every window must bring its share; the stall time-out restarts on each byte, this does not.
    auto *timer = new QTimer(reply);
    const qint64 needed = qint64(minimumBytesPerSecond) * slowWindow / 1000;
    auto received = std::make_shared<qint64>(0);
    auto atLastTick = std::make_shared<qint64>(0);
    QObject::connect(reply, &QNetworkReply::downloadProgress, timer, [received](qint64 bytes, qint64) {
        *received = bytes;
    });
    QObject::connect(timer, &QTimer::timeout, reply, [reply, received, atLastTick, needed] {
        if (*received - *atLastTick < needed && reply->isRunning()) {
            reply->setProperty(TooSlow, true);
            reply->abort();
        }
        *atLastTick = *received;
    });
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    timer->start(slowWindow);
}

void NetworkPolicy::limitDuration(QNetworkReply *reply, int milliseconds)
{
    QTimer::singleShot(qMax(0, milliseconds), reply, [reply] {
        if (reply->isRunning()) {
            reply->setProperty(TooLong, true);
            reply->abort();
        }
    });
}

void NetworkPolicy::limitBody(QNetworkReply *reply, qint64 maximum)
{
    reply->setReadBufferSize(ReadWindow);
    auto *body = new QBuffer(reply);
    body->setObjectName(QLatin1String(BodyName));
    body->setProperty("maximum", maximum);
    body->open(QIODevice::WriteOnly);
    const auto drain = [reply, body, maximum] {
        if (body->size() <= maximum)
            body->write(reply->readAll());
        const QVariant total = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->isRunning() && (body->size() > maximum || (total.isValid() && total.toLongLong() > maximum))) {
            reply->setProperty(StoppedHere, true);
            reply->setProperty(TooLarge, true);
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, body, drain);
    QObject::connect(reply, &QIODevice::readyRead, body, drain);
}

QByteArray NetworkPolicy::limitedBody(QNetworkReply *reply, bool *tooLarge)
{
    auto *body = reply->findChild<QBuffer *>(QLatin1String(BodyName), Qt::FindDirectChildrenOnly);
    const qint64 maximum = body->property("maximum").toLongLong();
    if (body->size() <= maximum)
        body->write(reply->readAll());
    *tooLarge = reply->property(TooLarge).toBool() || body->size() > maximum;
    if (*tooLarge)
        return QByteArray();
    if (reply->rawHeader("Content-Encoding").trimmed().toLower() != "gzip")
        return body->data();
    QByteArray inflated;
    // Damaged gzip reads as no document at all: the caller reports that as it would any other.
    if (!gunzip(body->data(), maximum, &inflated, tooLarge))
        return QByteArray();
    return *tooLarge ? QByteArray() : inflated;
}

bool NetworkPolicy::stalled(const QNetworkReply *reply)
{
    // Qt ends a request whose transfer time-out fired as "cancelled"; ours
    // carry a property when the tool itself stopped them.
    return reply->error() == QNetworkReply::OperationCanceledError && !reply->property(StoppedHere).toBool()
            && !reply->property(TooSlow).toBool() && !reply->property(TooLong).toBool();
}

void NetworkPolicy::stopLater(QNetworkReply *reply)
{
    reply->setProperty(StoppedHere, true);
    QTimer::singleShot(0, reply, [reply] { reply->abort(); });
}

QString NetworkPolicy::statusReason(const QNetworkReply *reply)
{
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = code.toInt();
    if (!code.isValid() || (status >= 200 && status <= 299))
        return QString();
    if (status != 503 && status != 429)
        return QStringLiteral("HTTP status %1").arg(status);
    constexpr qint64 Day = 24 * 60 * 60;
    const QByteArray after = reply->rawHeader("Retry-After").trimmed();
    bool number = false;
    const qint64 seconds = after.toLongLong(&number);
    qint64 retrySeconds = -1;
    if (number && seconds >= 0) {
        retrySeconds = qMin(seconds, Day);
    } else if (!after.isEmpty()) {
        // An HTTP date, as RFC 9110 writes it: "Wed, 21 Oct 2026 07:28:00 GMT".
        QDateTime when = QLocale::c().toDateTime(QString::fromLatin1(after), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
        if (when.isValid()) {
            when.setTimeSpec(Qt::UTC);
            retrySeconds = qBound<qint64>(0, QDateTime::currentDateTimeUtc().secsTo(when), Day);
        }
    }
    return serverBusyText(status, retrySeconds);
}

QString NetworkPolicy::stallMessage()
{
    return QStringLiteral("the server stopped sending (nothing for %1 s)").arg(stallTimeout / 1000.0);
}

QString NetworkPolicy::failureReason(const QNetworkReply *reply)
{
    if (reply->property(TooSlow).toBool())
        return QStringLiteral("the server is sending too slowly (less than %1 bytes/s over %2 s)")
                .arg(minimumBytesPerSecond).arg(slowWindow / 1000.0);
    if (reply->property(TooLong).toBool())
        return QStringLiteral("the server did not answer within %1 s").arg(checkTimeout / 1000.0);
    if (stalled(reply))
        return stallMessage();
    switch (reply->error()) {
    case QNetworkReply::TooManyRedirectsError:
        return QStringLiteral("the server redirected more than %1 times (a redirect loop?); not followed further")
                .arg(MaxRedirects);
    case QNetworkReply::InsecureRedirectError:
        return QStringLiteral("the server redirected from https to plain http; not followed");
    case QNetworkReply::ProtocolUnknownError:
        // Our own requests are all http(s): an unknown scheme came from a redirect.
        return QStringLiteral("the server redirected to an address that is not http or https; not followed");
    case QNetworkReply::ProxyAuthenticationRequiredError: {
        const QString proxy = ProxyCredentials::proxyFor(reply->url());
        return QStringLiteral("the proxy at %1 asks for credentials, and none it accepts were given")
                .arg(proxy.isEmpty() ? QStringLiteral("the system's settings") : proxy);
    }
    default:
        return QString();
    }
}

void NetworkPolicy::useSystemProxy()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}
