#ifndef NETWORKPOLICY_H
#define NETWORKPOLICY_H

#include <QNetworkRequest>

class QNetworkReply;

/*!
    How every request of the tool goes out: a stall time-out, redirects
    followed (at most MaxRedirects, never from https to http), and the
    system's proxy. One place, so that the check and the downloads agree.
*/
class NetworkPolicy
{
public:
    /*! A request for \a url with the time-out and the redirect policy set. */
    static QNetworkRequest request(const QUrl &url);

    /*! A transfer that receives nothing for this long fails; tests shorten it. */
    static int stallTimeoutMs();
    static void setStallTimeoutMs(int milliseconds);

    /*! True when \a reply ended because the server stopped sending. */
    static bool stalled(const QNetworkReply *reply);
    /*! The reason to show for a stall. */
    static QString stallMessage();

    /*! Uses the system's proxy settings for every request; called once at start-up. */
    static void useSystemProxy();

    static constexpr int MaxRedirects = 5;
    // Far beyond any real manifest; the check reads no more than this.
    static constexpr qint64 MaxManifestSize = qint64(1) << 20;
};

#endif // NETWORKPOLICY_H
