#include "network/proxycredentials.h"

#include <QAuthenticator>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSet>
#include <QUrl>

namespace {

struct Answer
{
    QString user;
    QString password;
};

ProxyCredentials::Prompt &prompt()
{
    static ProxyCredentials::Prompt function;
    return function;
}

// In memory only, for as long as the tool runs.
QHash<QString, Answer> &answers()
{
    static QHash<QString, Answer> map;
    return map;
}

QSet<QString> &asked()
{
    static QSet<QString> set;
    return set;
}

void answer(const QNetworkProxy &proxy, QAuthenticator *authenticator)
{
    const QString name = ProxyCredentials::nameOf(proxy);
    const auto known = answers().constFind(name);
    // An answer given before, not yet tried on this request.
    if (known != answers().constEnd() && authenticator->user() != known->user) {
        authenticator->setUser(known->user);
        authenticator->setPassword(known->password);
        return;
    }
    // The user is asked once per proxy: a refused answer is not asked for again and again.
    if (asked().contains(name) || !prompt())
        return;
    asked().insert(name);
    Answer given;
    if (!prompt()(name, &given.user, &given.password) || given.user.isEmpty())
        return;
    answers().insert(name, given);
    authenticator->setUser(given.user);
    authenticator->setPassword(given.password);
}

} // namespace

void ProxyCredentials::setPrompt(const Prompt &function)
{
    prompt() = function;
}

void ProxyCredentials::attach(QNetworkAccessManager *manager)
{
    QObject::connect(manager, &QNetworkAccessManager::proxyAuthenticationRequired, manager, &answer);
}

void ProxyCredentials::forget()
{
    answers().clear();
    asked().clear();
}

QString ProxyCredentials::nameOf(const QNetworkProxy &proxy)
{
    return QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
}

QString ProxyCredentials::proxyFor(const QUrl &url)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy &proxy : proxies) {
        if (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy)
            return nameOf(proxy);
    }
    const QNetworkProxy application = QNetworkProxy::applicationProxy();
    return application.type() == QNetworkProxy::NoProxy || application.type() == QNetworkProxy::DefaultProxy
            ? QString() : nameOf(application);
}
