#ifndef TESTUTIL_H
#define TESTUTIL_H

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>

class QProcess;

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
    QString reportWhenAsked; // the dialog's report area at the moment of the question

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

/*!
    \a data, \a times over, gzip-compressed as a server sends it with
    "Content-Encoding: gzip" (compressed as it streams: a bomb of gigabytes costs only its output).
*/
QByteArray gzip(const QByteArray &data, int times = 1);

/*! A zip archive with the given (name, data) entries; names ending in "/" are folders. */
QByteArray makeZip(const QList<QPair<QString, QByteArray>> &entries, bool executable = false);

/*! Empties the test binary's own folder (the download folder), all but the binary. */
void clearApplicationDir();

/*! A loopback port no one listens on right now, for a server the test starts. */
quint16 freeLoopbackPort();
/*! Waits up to \a timeoutMs for \a port on loopback to accept, while \a server runs; false when it does not. */
bool waitForListening(quint16 port, const QProcess &server, int timeoutMs);

/*! The process's peak resident memory so far, in KiB. */
qint64 peakResidentKiB();

bool writeFile(const QString &path, const QByteArray &data);
QByteArray readFile(const QString &path);

/*! A shell script that writes \a text into \a markerPath when it runs. */
QByteArray markerScript(const QString &markerPath, const QString &text);

// What the Windows build cannot do here; the tests that need it skip
// themselves there, saying why.
#ifdef Q_OS_WIN
#define SKIP_ON_WINDOWS(why) QSKIP(why)
#else
#define SKIP_ON_WINDOWS(why) do { } while (false)
#endif
#define SKIP_WITHOUT_PRIVATE_CA() SKIP_ON_WINDOWS("needs a private CA made with the openssl command line and trusted " \
                                                  "at run time, which Secure Channel under Wine does not honour")
#define SKIP_WITHOUT_SHELL_SCRIPTS() SKIP_ON_WINDOWS("starts a shell script as the program; tst_windowsroad " \
                                                     "covers this road with a real .exe")
#define SKIP_WITHOUT_MODE_BITS() SKIP_ON_WINDOWS("Windows files have no executable bit")
#define SKIP_WITHOUT_LINKS() SKIP_ON_WINDOWS("symbolic links need privileges on Windows")

#endif // TESTUTIL_H
