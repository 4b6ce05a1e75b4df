#include "dialogdriver.h"

#include "launchparams.h"
#include "updaterdialog.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace DialogDriver {

const QString ServerPath = QStringLiteral("/Vornek/deploy/raw/branch/master/");

QString appPath(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

QString report(UpdaterDialog *dialog)
{
    return dialog->findChild<QPlainTextEdit *>(QStringLiteral("show"))->toPlainText();
}

QPushButton *button(UpdaterDialog *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

void typeAndCheck(UpdaterDialog *dialog, const QString &name, const QString &version)
{
    dialog->findChild<QLineEdit *>(QStringLiteral("appNameInput"))->setText(name);
    dialog->findChild<QLineEdit *>(QStringLiteral("versionInput"))->setText(version);
    button(dialog, "btn_check")->click();
}

void pointAt(const QString &origin, const QString &modifyTime, const QString &modifyCount)
{
    baseUrl = origin + ServerPath;
    currentModifyTime = modifyTime;
    currentModifyCnt = modifyCount;
}

} // namespace DialogDriver
