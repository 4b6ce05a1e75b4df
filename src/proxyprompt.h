#ifndef PROXYPROMPT_H
#define PROXYPROMPT_H

#include <QDialog>

class QLineEdit;

/*!
    The small modal question a proxy's 407 brings: its user name and password,
    the password masked. Translated like the rest of the window.
*/
class ProxyPrompt : public QDialog
{
    Q_OBJECT

public:
    ProxyPrompt(const QString &proxy, QWidget *parent = nullptr);

    /*! Asks for \a proxy's credentials; false when the user cancels. */
    static bool ask(QWidget *parent, const QString &proxy, QString *user, QString *password);

private:
    QLineEdit *userInput;
    QLineEdit *passwordInput;
};

#endif // PROXYPROMPT_H
