#include "launchparams.h"
#include "updaterdialog.h"

#include <QApplication>

int main(int argc, char **argv)
{
    // The resources live in a static library, so they must be pulled in by hand.
    Q_INIT_RESOURCE(theme);
    Q_INIT_RESOURCE(icons);

    QApplication app(argc, argv);
    loadStyleSheet();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromUtf8(argv[i]));
    applyLaunchArguments(arguments);
    checkUrl = composeCheckUrl(appName);

    UpdaterDialog dialog;
    dialog.show();
    return app.exec();
}
