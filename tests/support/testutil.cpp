#include "testutil.h"

#include <private/qobject_p.h>
#include <private/qthread_p.h>
#include <private/qzipwriter_p.h>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QBuffer>
#include <QEventLoop>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <zlib.h>

QuestionAnswerer::QuestionAnswerer(QMessageBox::StandardButton button, QObject *parent)
    : QObject(parent), answer(button)
{
    auto timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &QuestionAnswerer::poll);
    timer->start(20);
}

void QuestionAnswerer::poll()
{
    auto box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    ++asked;
    title = box->windowTitle();
    text = box->text();
    buttons = box->standardButtons();
    defaultButton = box->defaultButton();
    if (box->parentWidget()) {
        if (auto show = box->parentWidget()->findChild<QPlainTextEdit *>(QStringLiteral("show")))
            reportWhenAsked = show->toPlainText();
    }
    if (QAbstractButton *b = box->button(answer))
        b->click();
    else
        box->reject();
}

bool waitForQuit(int timeoutMs)
{
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, [&loop] { loop.exit(1); });
    const int code = loop.exec();
    // quit() leaves the thread refusing new event loops; undo that for the next test.
    QObjectPrivate::get(qApp)->threadData.loadRelaxed()->quitNow = false;
    // -1: quit() was called while no event loop ran, so this one did not start.
    return code == 0 || code == -1;
}

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool waitForListening(quint16 port, const QProcess &server, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
        if (server.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(50);
    }
    return false;
}

QByteArray gzip(const QByteArray &data, int times)
{
    z_stream stream {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    char chunk[64 * 1024];
    for (int i = 0; i < times; ++i) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        stream.avail_in = uInt(data.size());
        const int flush = i + 1 == times ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(chunk);
            stream.avail_out = sizeof chunk;
            result = deflate(&stream, flush);
            out.append(chunk, int(sizeof chunk - stream.avail_out));
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    deflateEnd(&stream);
    return out;
}

QByteArray makeZip(const QList<QPair<QString, QByteArray>> &entries, bool executable)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QZipWriter writer(&buffer);
    if (executable)
        writer.setCreationPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                      | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::ExeOther);
    for (const auto &entry : entries) {
        if (entry.first.endsWith(QLatin1Char('/')))
            writer.addDirectory(entry.first);
        else
            writer.addFile(entry.first, entry.second);
    }
    writer.close();
    return buffer.data();
}

void clearApplicationDir()
{
    QDir dir(QCoreApplication::applicationDirPath());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (name == self)
            continue;
        if (QFileInfo(dir.filePath(name)).isDir())
            QDir(dir.filePath(name)).removeRecursively();
        else
            QFile::remove(dir.filePath(name));
    }
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray markerScript(const QString &markerPath, const QString &text)
{
    return "#!/bin/sh\necho '" + text.toUtf8() + "' > '" + markerPath.toUtf8() + "'\n";
}

qint64 peakResidentKiB()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return qint64(counters.PeakWorkingSetSize / 1024);
#else
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
#endif
}
