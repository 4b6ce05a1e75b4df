#ifndef NETWORKPOLICY_H
#define NETWORKPOLICY_H

#include <QNetworkRequest>

class QNetworkReply;

/*!
    How every request of the tool goes out: a stall time-out, redirects
    followed (at most MaxRedirects, never from https to http), and the
    system's proxy; and how a slow server is ended. One place, so that the
    check, the downloads and updater-publish verify agree.
*/
class NetworkPolicy
{
public:
    /*! A request for \a url with the time-out and the redirect policy set. */
    static QNetworkRequest request(const QUrl &url);

    /*! A transfer that receives nothing for this long fails; tests shorten it. */
    static int stallTimeoutMs();
    static void setStallTimeoutMs(int milliseconds);

    /*! The check as a whole (manifest and signature) ends within this; tests shorten it. */
    static int checkTimeoutMs();
    static void setCheckTimeoutMs(int milliseconds);

    /*!
        A download that receives less than \a bytesPerSecond on average over
        any window of \a windowMs fails: a server dripping a byte now and then
        would otherwise hold it for ever. Tests shorten them.
    */
    static void setSlowTransferRule(int bytesPerSecond, int windowMs);
    static int minimumRate();
    static int slowWindowMs();

    /*! Ends \a reply when it falls below the minimum rate. */
    static void watchRate(QNetworkReply *reply);
    /*! Ends \a reply when it is still running after \a milliseconds. */
    static void limitDuration(QNetworkReply *reply, int milliseconds);

    /*!
        A request for a small document (the manifest) that a server may send
        gzip-compressed. Asked for by us, so that Qt hands over the compressed
        bytes rather than inflating ahead of any limit; limitedBody() inflates them.
    */
    static QNetworkRequest compressibleRequest(const QUrl &url);

    /*!
        Keeps at most \a maximum bytes of \a reply's body, whatever the timing:
        the reply buffers a small window only, drained at every readyRead, and
        it is stopped as soon as the body passes \a maximum.
    */
    static void limitBody(QNetworkReply *reply, qint64 maximum);
    /*!
        The body that limitBody() kept, inflated when the server sent it with
        "Content-Encoding: gzip"; \a tooLarge tells when the answer, or what it
        inflates to, passed the limit (a gzip bomb is stopped at the limit).
    */
    static QByteArray limitedBody(QNetworkReply *reply, bool *tooLarge);

    /*! True when \a reply ended because the server stopped sending. */
    static bool stalled(const QNetworkReply *reply);
    /*!
        Stops \a reply because the tool has no use for the rest (not a stall),
        on the next turn of the event loop: its handlers do not run inside the
        caller's.
    */
    static void stopLater(QNetworkReply *reply);
    /*! The reason to show for a stall. */
    static QString stallMessage();
    /*!
        Why \a reply's HTTP status is no answer, or an empty string for a 2xx
        (or none): "HTTP status 404", or for a busy server (503, 429) that it
        is busy and when to try again, from its Retry-After (a number of
        seconds or an HTTP date, at most a day), in the user's language.
    */
    static QString statusReason(const QNetworkReply *reply);
    /*!
        Why \a reply failed when the network or the server's behaviour is the
        cause: a stall, a slow or endless server, a redirect loop, a redirect
        to another kind of address. Empty for other failures (an HTTP status).
    */
    static QString failureReason(const QNetworkReply *reply);

    /*! Uses the system's proxy settings for every request; called once at start-up. */
    static void useSystemProxy();

    static constexpr int MaxRedirects = 5;
    // Far beyond any real manifest; the check reads no more than this.
    static constexpr qint64 MaxManifestSize = qint64(1) << 20;
};

#endif // NETWORKPOLICY_H
