#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr int kAnswerMs = 1000;
const QByteArray kForward = "forward\n";
} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName(const QString &settingsDirectory)
{
    const QString path = QDir::cleanPath(QDir(settingsDirectory).absolutePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(20);
    return QStringLiteral("fernhop-%1-%2").arg(QString::number(::getuid()), QString::fromLatin1(hash));
}

bool SingleInstance::AskRunningWindowForward(const QString &serverName)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kAnswerMs))
        return false;
    socket.write(kForward);
    socket.waitForBytesWritten(kAnswerMs);
    // The first window answers once it has come forward; a listener that never answers is
    // still a window of ours.
    socket.waitForReadyRead(kAnswerMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen(const QString &serverName)
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName)) {
        // Nobody answered on it (checked before), so the name is a crashed window's leftover.
        QLocalServer::removeServer(serverName);
        if (!server_->listen(serverName))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().contains(kForward))
                    return;
                emit forwardRequested();
                socket->write("ok\n");
                socket->flush();
            });
        }
    });
    return true;
}
