#ifndef MANIFESTFRESHNESS_H
#define MANIFESTFRESHNESS_H

#include <QDateTime>
#include <QString>

/*!
    Trust in signed manifests over time, per user and application. A signed
    manifest names its application ("name") and the moment it was signed
    ("issued", UTC). A manifest for another application, one issued more than
    a day ahead of this computer's clock, and one older than the newest this
    user has accepted (a replay of an outdated release) are refused. The
    newest accepted moment is kept in the user's settings (the registry on
    Windows, the configuration folder elsewhere). A manifest without "issued"
    is accepted until a dated one has been seen.
*/
class ManifestFreshness
{
public:
    explicit ManifestFreshness(const QString &appName);

    /*! Why a manifest with \a name and \a issued must be refused at \a now, or an empty string. */
    QString check(const QString &name, const QString &issued, const QDateTime &now) const;
    /*!
        Remembers \a issued when it is newer than what was seen (or what was
        seen is not believed); an empty one changes nothing. False, with the
        reason in \a unstored, when the settings cannot be written.
    */
    bool remember(const QString &issued, QString *unstored = nullptr);
    /*! The newest issue moment accepted so far; invalid when none. */
    QDateTime newestSeen() const;
    /*!
        A kept moment later than \a now plus the day a clock may be ahead is
        not believed (a hand-edited setting would refuse every manifest for
        ever): what to say about it, or an empty string when it is believed.
    */
    QString distrustedMark(const QDateTime &now) const;
    /*! Forgets what was seen, for tests that start from a new user. */
    void forget();

    static constexpr qint64 MaxClockAheadSeconds = 24 * 60 * 60;

    /*! Reads a manifest's "issued" as UTC; invalid when it is not ISO 8601. */
    static QDateTime parseIssued(const QString &issued);

private:
    QString key;
    QString appName;
};

#endif // MANIFESTFRESHNESS_H
