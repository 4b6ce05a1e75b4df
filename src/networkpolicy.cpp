#include "networkpolicy.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>

namespace {

int stallTimeout = 30000;

} // namespace

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

bool NetworkPolicy::stalled(const QNetworkReply *reply)
{
    // Qt ends a request whose transfer time-out fired as "cancelled"; ours
    // carry a property when the tool itself stopped them.
    return reply->error() == QNetworkReply::OperationCanceledError && !reply->property("stoppedByUs").toBool();
}

QString NetworkPolicy::stallMessage()
{
    return QStringLiteral("the server stopped sending (nothing for %1 s)").arg(stallTimeout / 1000.0);
}

void NetworkPolicy::useSystemProxy()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}
