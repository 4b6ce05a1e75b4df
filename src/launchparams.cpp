#include "launchparams.h"

#include "buildconfig.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>

// Definition order is initialisation order; checkUrl holds the base URL until
// main composes it.
QString checkUrl = QStringLiteral(UPDATER_BASE_URL);
QString baseUrl = QStringLiteral(UPDATER_BASE_URL);
QStringList otherBaseUrls = QStringLiteral(UPDATER_OTHER_BASE_URLS).split(QLatin1Char(';'), Qt::SkipEmptyParts);
QString platformKey = QStringLiteral("windows");
QString appVersion = QString(""); // empty but not null
QString appName = QString("");
QString currentModifyTime = QStringLiteral("0");
QString currentModifyCnt = QStringLiteral("0");

void applyLaunchArguments(const QStringList &arguments)
{
    if (arguments.size() < 2) {
        appName = QString("");
        appVersion = QStringLiteral("0");
        return;
    }
    QString *const targets[] = { &appName, &appVersion, &currentModifyTime, &currentModifyCnt };
    for (int position = 1; position <= 4; ++position) {
        *targets[position - 1] = position < arguments.size() ? arguments.at(position) : QString("");
    }
}

QString composeCheckUrl(const QString &name)
{
    return baseUrl + name + QStringLiteral("/updates.json");
}

void loadStyleSheet()
{
    QFile file(QStringLiteral(":qdarkstyle/dark/darkstyle.qss"));
    if (!file.exists()) {
        std::printf("Unable to set stylesheet, file not found\n");
        std::fflush(stdout);
        return;
    }
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream stream(&file);
    qApp->setStyleSheet(stream.readAll());
}
