#include "installtransaction.h"
#include "launchparams.h"
#include "networkpolicy.h"
#include "updatelock.h"
#include "updaterdialog.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The resources live in a static library, so they must be pulled in by hand.
    Q_INIT_RESOURCE(theme);
    Q_INIT_RESOURCE(icons);

    QApplication app(argc, argv);
    loadStyleSheet();
    NetworkPolicy::useSystemProxy();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromUtf8(argv[i]));
    applyLaunchArguments(arguments);
    checkUrl = composeCheckUrl(appName);

    // An update that a crash or power loss interrupted is undone before
    // anything else, unless another instance is installing right now.
    QString recovered;
    UpdateLock lock(QCoreApplication::applicationDirPath());
    if (lock.tryLock()) {
        recovered = InstallTransaction::recover(QCoreApplication::applicationDirPath());
        if (!lock.takenOver().isEmpty())
            recovered = lock.takenOver() + (recovered.isEmpty() ? QString() : QStringLiteral("; ") + recovered);
        lock.unlock();
    }

    UpdaterDialog dialog;
    dialog.reportStartup(recovered);
    dialog.show();
    return app.exec();
}
