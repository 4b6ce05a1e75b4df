#ifndef ROLLOUTDRAW_H
#define ROLLOUTDRAW_H

#include <QString>

/*!
    The number that places one user's installation of one application in a
    staged rollout: drawn once at random, from 0 to 9999, and kept in the
    user's settings (the registry on Windows, the configuration folder
    elsewhere). A release rolled out to a percentage is offered when the
    number falls below it, so the same user always gets the same answer for
    the same percentage, and a larger percentage never takes the offer away.
*/
class RolloutDraw
{
public:
    explicit RolloutDraw(const QString &appName);

    /*!
        This installation's number; drawn and kept the first time it is asked
        for. When it cannot be kept, it is derived from this user, computer and
        application instead, never drawn afresh, and \a unstored says why.
    */
    int number(QString *unstored = nullptr) const;
    /*! True when a release rolled out to \a percent (0 to 100) is offered here. */
    bool offered(int percent, QString *unstored = nullptr) const { return number(unstored) < percent * 100; }

    static constexpr int Range = 10000;

private:
    QString key;
    QString appName;
};

#endif // ROLLOUTDRAW_H
