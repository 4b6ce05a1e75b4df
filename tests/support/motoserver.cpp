#include "motoserver.h"

#include "testutil.h"

#include <QProcessEnvironment>
#include <QStandardPaths>

MotoServer::~MotoServer()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool MotoServer::start(int openActions)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("moto_server"));
    if (program.isEmpty()) {
        error = QStringLiteral("moto's server is not installed (pip install 'moto[server]')");
        return false;
    }
    port = freeLoopbackPort();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("INITIAL_NO_AUTH_ACTION_COUNT"), QString::number(openActions));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                             QString::number(port) });
    if (waitForListening(port, process, 60000))
        return true;
    error = QStringLiteral("moto_server did not start: %1").arg(QString::fromLocal8Bit(process.readAll()));
    return false;
}
