#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {
constexpr int kWaitMs = 3000;
// What the running KELBO answers once it has the request.
constexpr char kTaken = 'K';
} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return QDir(runtime).filePath(QStringLiteral("kelbo.instance"));
    }
    return QDir(QDir::tempPath()).filePath(QStringLiteral("kelbo-%1.instance").arg(::getuid()));
}

bool SingleInstance::handOff(const QString& name, const QStringList& arguments, const QString& currentDir)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kWaitMs)) {
        return false;
    }
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << arguments << currentDir;
    QByteArray framed;
    QDataStream frame(&framed, QIODevice::WriteOnly);
    frame << request;
    socket.write(framed);
    if (!socket.waitForBytesWritten(kWaitMs)) {
        return false;
    }
    // Taken only once the running KELBO says so: a socket whose KELBO hangs must not swallow the start.
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(kWaitMs)) {
            return false;
        }
    }
    return socket.read(1) == QByteArray(1, kTaken);
}

bool SingleInstance::listen(const QString& name)
{
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // Nobody answered there (handOff came first), so the socket is one left behind by a KELBO that ended.
        QLocalServer::removeServer(name);
        if (!m_server->listen(name)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QDataStream frame(socket);
                frame.setVersion(QDataStream::Qt_6_0);
                frame.startTransaction();
                QByteArray request;
                frame >> request;
                if (!frame.commitTransaction()) {
                    return; // the rest is on its way
                }
                QDataStream in(request);
                in.setVersion(QDataStream::Qt_6_0);
                QStringList arguments;
                QString currentDir;
                in >> arguments >> currentDir;
                if (in.status() != QDataStream::Ok) {
                    socket->disconnectFromServer();
                    return;
                }
                socket->write(QByteArray(1, kTaken));
                socket->flush();
                emit started(arguments, currentDir);
            });
        }
    });
    return true;
}
