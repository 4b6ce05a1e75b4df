#ifndef MOTOSERVER_H
#define MOTOSERVER_H

#include <QProcess>
#include <QString>

/*!
    An S3-compatible service on 127.0.0.1: moto's server, started so that
    after its first \a openActions requests every request must carry a valid
    Signature Version 4 of a user it knows. Stopped by the destructor.
*/
class MotoServer
{
public:
    MotoServer() = default;
    ~MotoServer();

    /*! False (with errorString()) when moto_server is not installed or does not start. */
    bool start(int openActions);
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString errorString() const { return error; }

private:
    QProcess process;
    quint16 port = 0;
    QString error;
};

#endif // MOTOSERVER_H
