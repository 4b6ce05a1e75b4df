#include "proxyprompt.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

ProxyPrompt::ProxyPrompt(const QString &proxy, QWidget *parent)
    : QDialog(parent)
    , userInput(new QLineEdit(this))
    , passwordInput(new QLineEdit(this))
{
    setObjectName(QStringLiteral("proxyPrompt"));
    setWindowTitle(tr("proxy"));
    userInput->setObjectName(QStringLiteral("proxyUser"));
    passwordInput->setObjectName(QStringLiteral("proxyPassword"));
    passwordInput->setEchoMode(QLineEdit::Password);
    auto *text = new QLabel(tr("The proxy at %1 asks for a user name and password.").arg(proxy), this);
    text->setWordWrap(true);
    auto *form = new QFormLayout;
    form->addRow(tr("user name:"), userInput);
    form->addRow(tr("password:"), passwordInput);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addWidget(buttons);
    userInput->setAccessibleName(tr("user name:"));
    passwordInput->setAccessibleName(tr("password:"));
}

bool ProxyPrompt::ask(QWidget *parent, const QString &proxy, QString *user, QString *password)
{
    ProxyPrompt prompt(proxy, parent);
    if (prompt.exec() != QDialog::Accepted)
        return false;
    *user = prompt.userInput->text();
    *password = prompt.passwordInput->text();
    return true;
}
