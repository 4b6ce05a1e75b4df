#ifndef PROXYCREDENTIALS_H
#define PROXYCREDENTIALS_H

#include <QString>

#include <functional>

class QNetworkAccessManager;
class QNetworkProxy;
class QUrl;

/*!
    Credentials for the proxies that ask for them (407). Qt sends the user and
    password the system's proxy settings carry (the proxy URL's user part),
    and on Windows its integrated NTLM and Negotiate the logged-on user's.
    When a proxy still asks, the prompt asks the user, once per proxy; the
    answer is kept in memory only while the tool runs and is never written
    anywhere. A refused or cancelled prompt lets the request fail.
*/
class ProxyCredentials
{
public:
    /*! Asks for a user name and password for \a proxy ("host:port"); false when cancelled. */
    using Prompt = std::function<bool(const QString &proxy, QString *user, QString *password)>;

    static void setPrompt(const Prompt &prompt);
    /*! Answers, for every request of \a manager, the proxies that ask for credentials. */
    static void attach(QNetworkAccessManager *manager);
    /*! Forgets every answer, for tests that start again. */
    static void forget();

    /*! The proxy a request for \a url goes through, as "host:port"; empty when none. */
    static QString proxyFor(const QUrl &url);
    static QString nameOf(const QNetworkProxy &proxy);
};

#endif // PROXYCREDENTIALS_H
