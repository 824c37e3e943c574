#include "model/SingleInstance.h"

#include "log/AppLogger.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace tess {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr char kReopen[] = "reopen\n";

}  // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(socketPath.isEmpty() ? socketPathForUser() : std::move(socketPath))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPathForUser()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return runtime + QStringLiteral("/app.quenby.Tessaline.sock");
    }
    return QDir::tempPath() + QStringLiteral("/app.quenby.Tessaline-%1.sock").arg(::getuid());
}

bool SingleInstance::claim()
{
    if (askRunningInstance()) {
        return false;
    }
    // Nobody answers: a socket file left behind is stale.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        TESS_LOG_WARN("Single instance: cannot listen on " + m_socketPath.toStdString() + ": "
            + m_server->errorString().toStdString());
        return true;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().contains('\n')) {
                    emit reopenRequested();
                }
                client->disconnectFromServer();
            });
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        }
    });
    return true;
}

bool SingleInstance::askRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(kReopen);
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

}  // namespace tess
