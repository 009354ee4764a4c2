#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <unistd.h>

namespace {
constexpr int kWaitMs = 3000;
// What the running KELBO answers once it has the request.
constexpr char kTaken = 'K';
// A command line longer than this is no KELBO's.
constexpr quint32 kMaxRequest = 1 << 20;
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
    socket.write(encodeRequest(arguments, currentDir));
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

QByteArray SingleInstance::encodeRequest(const QStringList& arguments, const QString& currentDir)
{
    // File names hold no zero byte: the texts are UTF-8, each ended by one, after a length of four bytes.
    QByteArray payload = currentDir.toUtf8() + '\0';
    for (const QString& a : arguments) {
        payload += a.toUtf8() + '\0';
    }
    QByteArray frame(4, '\0');
    const auto size = static_cast<quint32>(payload.size());
    for (int i = 0; i < 4; ++i) {
        frame[i] = static_cast<char>(size >> (8 * (3 - i)) & 0xff);
    }
    return frame + payload;
}

std::optional<std::pair<QStringList, QString>> SingleInstance::decodeRequest(const QByteArray& payload)
{
    if (payload.isEmpty() || !payload.endsWith('\0')) {
        return std::nullopt;
    }
    QList<QByteArray> parts = payload.chopped(1).split('\0');
    QStringList arguments;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        arguments << QString::fromUtf8(parts[i]);
    }
    return std::make_pair(arguments, QString::fromUtf8(parts.front()));
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
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { takeRequest(socket); });
        }
    });
    return true;
}

void SingleInstance::takeRequest(QLocalSocket* socket)
{
    if (socket->bytesAvailable() < 4) {
        return;
    }
    const QByteArray head = socket->peek(4);
    quint32 size = 0;
    for (char c : head) {
        size = size << 8 | static_cast<unsigned char>(c);
    }
    if (size > kMaxRequest) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 4 + static_cast<qint64>(size)) {
        return; // the rest is on its way
    }
    socket->read(4);
    const auto request = decodeRequest(socket->read(size));
    if (!request) {
        socket->abort();
        return;
    }
    socket->write(QByteArray(1, kTaken));
    socket->flush();
    emit started(request->first, request->second);
}
