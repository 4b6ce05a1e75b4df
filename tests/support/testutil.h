#ifndef TESTUTIL_H
#define TESTUTIL_H

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

/*!
    Answers the next question box with \a button as soon as it shows, and
    remembers what it asked.
*/
class QuestionAnswerer : public QObject
{
public:
    explicit QuestionAnswerer(QMessageBox::StandardButton button, QObject *parent = nullptr);

    int asked = 0;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QAbstractButton *defaultButton = nullptr;

private:
    void poll();
    QMessageBox::StandardButton answer;
};

/*!
    Runs the event loop until QCoreApplication::quit() is called or \a timeoutMs
    pass. Returns true when the application was told to quit. Afterwards the
    thread can run event loops again, so one test binary can see many quits.
*/
bool waitForQuit(int timeoutMs);

/*! A zip archive with the given (name, data) entries; names ending in "/" are folders. */
QByteArray makeZip(const QList<QPair<QString, QByteArray>> &entries, bool executable = false);

/*! Empties the test binary's own folder (the download folder), all but the binary. */
void clearApplicationDir();

bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

/*! A shell script that writes \a text into \a markerPath when it runs. */
QByteArray markerScript(const QString &markerPath, const QString &text);

#endif // TESTUTIL_H
