#include "check/manifestcheck.h"

#include "check/keptmanifest.h"
#include "manifest/manifestfreshness.h"
#include "manifest/manifestsignature.h"
#include "network/networkpolicy.h"
#include "network/tlstrust.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

// What a check's requests carry, so that each reply knows its check.
// The manifest a signature's request is to vouch for.
const auto SignedBody = QNetworkRequest::User;
// When the check as a whole must end, carried from the manifest's request to the signature's.
const auto CheckDeadline = QNetworkRequest::Attribute(QNetworkRequest::User + 1);
// Which update host answers: its index in the list of URLs.
const auto CheckHost = QNetworkRequest::Attribute(QNetworkRequest::User + 2);
// The newest signed manifest an earlier host gave in this check, and which host that was.
const auto BestManifest = QNetworkRequest::Attribute(QNetworkRequest::User + 3);
const auto BestHost = QNetworkRequest::Attribute(QNetworkRequest::User + 4);
// The manifest's validators (ETag, Last-Modified), carried to its signature's request.
const auto Validators = QNetworkRequest::Attribute(QNetworkRequest::User + 5);
// Asked without the kept copy's validators: a 304 to it is no answer.
const auto Unconditional = QNetworkRequest::Attribute(QNetworkRequest::User + 6);

QString hostOf(const QString &url)
{
    return QUrl(url, QUrl::TolerantMode).authority();
}

// The paragraph after "check error": what went wrong on the way.
QString checkErrorReason(QNetworkReply *reply, bool tooLarge, bool signatureRequest)
{
    if (tooLarge)
        return QStringLiteral("the server's answer is larger than %1 bytes; no manifest is")
                       .arg(NetworkPolicy::MaxManifestSize) + QStringLiteral(" that large");
    QString reason = NetworkPolicy::failureReason(reply);
    const QString status = NetworkPolicy::statusReason(reply);
    // A busy server says so; any other failure of the signature's request is a missing signature.
    const bool busy = !status.isEmpty() && !status.startsWith(QLatin1String("HTTP status"));
    if (reason.isEmpty() && signatureRequest && !busy)
        reason = QStringLiteral("manifest signature missing: ") + reply->errorString();
    if (reason.isEmpty())
        reason = !status.isEmpty() ? status : reply->errorString();
    return reason;
}

// Signed is not enough: it must not have expired, it must be this application's,
// and not older than what was seen.
QString trustOverTime(const ManifestRecord &record, const QString &appName)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QString why = ManifestSignature::checkExpiry(record.expires, now);
    if (why.isEmpty())
        why = ManifestFreshness(appName).check(record.name, record.issued, now);
    return why;
}

// True when the signed manifest \a candidate was issued after \a best (a dated one after an undated one).
bool issuedLater(const ManifestRecord &candidate, const QByteArray &best, const QString &platform)
{
    ManifestRecord than;
    parseManifest(best, platform, &than);
    const QDateTime when = ManifestFreshness::parseIssued(candidate.issued);
    const QDateTime bestWhen = ManifestFreshness::parseIssued(than.issued);
    return when.isValid() && (!bestWhen.isValid() || when > bestWhen);
}

} // namespace

ManifestCheck::ManifestCheck(QObject *parent)
    : QObject(parent)
{
}

void ManifestCheck::start(QNetworkAccessManager *accessManager, const QString &name, const QStringList &manifestUrls,
                          const QString &platformKey)
{
    manager = accessManager;
    appName = name;
    urls = manifestUrls;
    platform = platformKey;
    if (!ManifestSignature::trustedKeys().isEmpty()) {
        const QString distrusted = ManifestFreshness(appName).distrustedMark(QDateTime::currentDateTimeUtc());
        if (!distrusted.isEmpty())
            emit doShowInfo(distrusted);
    }
    installCompiledCertificates();
    askHost(0, QByteArray(), 0);
}

void ManifestCheck::send(const QNetworkRequest &request)
{
    QNetworkReply *reply = manager->get(request);
    NetworkPolicy::limitDuration(reply, int(request.attribute(CheckDeadline).toLongLong()
                                            - QDateTime::currentMSecsSinceEpoch()));
    // A manifest is small; a body beyond the cap is not read, however fast it arrives.
    NetworkPolicy::limitBody(reply, NetworkPolicy::MaxManifestSize);
}

void ManifestCheck::handleReply(QNetworkReply *reply)
{
    const QVariant signedBody = reply->request().attribute(SignedBody);
    const int host = reply->request().attribute(CheckHost).toInt();
    bool tooLarge = false;
    QByteArray body = NetworkPolicy::limitedBody(reply, &tooLarge);
    // The manifest's validators: of this answer, or carried from the manifest to its signature's request.
    QVariantList validators = signedBody.isValid() ? reply->request().attribute(Validators).toList()
                                                   : QVariantList { reply->rawHeader("ETag"),
                                                                    reply->rawHeader("Last-Modified") };
    const bool notModified = !signedBody.isValid()
            && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 304;
    const bool asked = !reply->request().attribute(Unconditional).toBool();
    KeptManifest kept(appName, urls.value(host));
    if (notModified && asked && kept.load()) {
        // Not modified: the kept copy, checked below as if it had just arrived.
        body = kept.body;
        validators = { kept.etag, kept.lastModified };
    } else if (notModified && asked) {
        // Nothing usable kept: asked again, without validators.
        askHost(host, reply->request().attribute(BestManifest).toByteArray(),
                reply->request().attribute(BestHost).toInt(), false);
        return;
    } else if (notModified || reply->error() != QNetworkReply::NoError || tooLarge) {
        const QString reason = notModified ? QStringLiteral("HTTP status 304 to a request that kept nothing to compare")
                                           : checkErrorReason(reply, tooLarge, signedBody.isValid());
        if (!askNextHost(reply, reason))
            finishWith({ QStringLiteral("check error"), reason });
        return;
    }
    const QList<QByteArray> keys = ManifestSignature::trustedKeys();
    QString distrust;
    QByteArray signedBytes;
    QByteArray signatures;
    if (!keys.isEmpty() && signedBody.isValid()) {
        // The signature file of a manifest that carries none inside.
        distrust = ManifestSignature::check(signedBody.toByteArray(), body, keys);
        body = signedBody.toByteArray();
    } else if (!keys.isEmpty() && ManifestSignature::extract(body, &signedBytes, &signatures)) {
        // Signed inside: a cache cannot pair it with another manifest's signature file.
        distrust = ManifestSignature::check(signedBytes, signatures, keys);
    } else if (!keys.isEmpty()) {
        QNetworkRequest request = NetworkPolicy::compressibleRequest(
                QUrl(ManifestSignature::signatureUrl(reply->request().url().toString())));
        request.setAttribute(SignedBody, body);
        request.setAttribute(Validators, validators);
        for (const auto carried : { CheckDeadline, CheckHost, BestManifest, BestHost })
            request.setAttribute(carried, reply->request().attribute(carried));
        send(request);
        return;
    }
    ManifestRecord record;
    if (distrust.isEmpty() && !parseManifest(body, platform, &record)) {
        if (!askNextHost(reply, QStringLiteral("its manifest is not JSON")))
            finishWith({ QStringLiteral("reply doc is null") });
        return;
    }
    if (distrust.isEmpty() && !keys.isEmpty())
        distrust = trustOverTime(record, appName);
    if (!distrust.isEmpty()) {
        if (!askNextHost(reply, distrust))
            finishWith({ QStringLiteral("check error"), distrust });
        return;
    }
    // Passed every check: next time this host may answer 304.
    KeptManifest(appName, urls.value(host)).store(body, validators.value(0).toByteArray(),
                                                  validators.value(1).toByteArray());
    const QVariant best = reply->request().attribute(BestManifest);
    const bool later = !best.isValid() || issuedLater(record, best.toByteArray(), platform);
    const QByteArray winner = later ? body : best.toByteArray();
    const int winnerHost = later ? host : reply->request().attribute(BestHost).toInt();
    // Signed manifests: every host is asked and the newest wins.
    if (!keys.isEmpty() && host + 1 < urls.size())
        askHost(host + 1, winner, winnerHost);
    else
        accept(winner, winnerHost);
}

// One broken or hostile update host cannot block updates: the next one in the list is asked.
// After the last, a usable manifest from an earlier host is taken.
bool ManifestCheck::askNextHost(QNetworkReply *reply, const QString &reason)
{
    const int host = reply->request().attribute(CheckHost).toInt();
    const QVariant best = reply->request().attribute(BestManifest);
    if (host + 1 >= urls.size()) {
        if (!best.isValid())
            return false;
        emit doShowInfo(QStringLiteral("the update host %1 gave no usable manifest (%2)")
                                .arg(hostOf(urls.value(host)), reason));
        accept(best.toByteArray(), reply->request().attribute(BestHost).toInt());
        return true;
    }
    emit doShowInfo(QStringLiteral("the update host %1 gave no usable manifest (%2); asking %3")
                            .arg(hostOf(urls.value(host)), reason, hostOf(urls.at(host + 1))));
    askHost(host + 1, best.toByteArray(), reply->request().attribute(BestHost).toInt());
    return true;
}

void ManifestCheck::askHost(int host, const QByteArray &best, int bestHost, bool conditional)
{
    QNetworkRequest request = NetworkPolicy::compressibleRequest(QUrl(urls.at(host), QUrl::TolerantMode));
    // With the kept copy's validators, an unchanged manifest costs a 304.
    KeptManifest kept(appName, urls.at(host));
    if (!conditional) {
        request.setAttribute(Unconditional, true);
    } else if (kept.load()) {
        if (!kept.etag.isEmpty())
            request.setRawHeader("If-None-Match", kept.etag);
        if (!kept.lastModified.isEmpty())
            request.setRawHeader("If-Modified-Since", kept.lastModified);
    }
    // Each host has the whole time of a check: a slow first one does not starve the next.
    request.setAttribute(CheckDeadline, QDateTime::currentMSecsSinceEpoch() + NetworkPolicy::checkTimeoutMs());
    request.setAttribute(CheckHost, host);
    if (!best.isEmpty()) {
        request.setAttribute(BestManifest, best);
        request.setAttribute(BestHost, bestHost);
    }
    send(request);
}

// The manifest that won the check: its moment remembered when it is signed.
void ManifestCheck::accept(const QByteArray &body, int host)
{
    CheckResult result;
    parseManifest(body, platform, &result.record);
    if (!ManifestSignature::trustedKeys().isEmpty())
        ManifestFreshness(appName).remember(result.record.issued, &result.settingsProblem);
    if (host > 0)
        result.source = QStringLiteral("the manifest came from the update host %1 (number %2 of %3)")
                .arg(hostOf(urls.value(host))).arg(host + 1).arg(urls.size());
    emit doFinished(result);
}

void ManifestCheck::finishWith(const QStringList &failure)
{
    CheckResult result;
    result.failure = failure;
    emit doFinished(result);
}
