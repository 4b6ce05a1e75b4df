#include "transaction/installtransaction.h"
#include "launchparams.h"
#include "network/networkpolicy.h"
#include "text/translations.h"
#include "transaction/updatelock.h"
#include "updaterdialog.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>

int main(int argc, char **argv)
{
    // The resources live in a static library, so they must be pulled in by hand.
    Q_INIT_RESOURCE(theme);
    Q_INIT_RESOURCE(icons);

    // Scaled as the screen asks, 150 % as 150 %: before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/update.ico")));
    Translations::install(Translations::choose(QLocale::system().uiLanguages()));
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
