#include "app/instancechannel.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <unistd.h>

namespace {

constexpr int kConnectMs = 2000;
// The editor may be busy for a while opening a large scene.
constexpr int kAnswerMs = 60000;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

bool showsNothingToAUser(const QString& platform)
{
    return !platform.isEmpty() && !platform.startsWith(QLatin1String("xcb"))
        && !platform.startsWith(QLatin1String("wayland"));
}

} // namespace

QString instanceChannelName(const QString& platformOption)
{
    const QString overridden = qEnvironmentVariable("TESK_INSTANCE_NAME");
    if (!overridden.isEmpty())
        return overridden;
    const QString platform = platformOption.isEmpty() ? qEnvironmentVariable("QT_QPA_PLATFORM") : platformOption;
    if (showsNothingToAUser(platform))
        return {};
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty() || platform.startsWith(QLatin1String("xcb")))
        display = qEnvironmentVariable("DISPLAY");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    }
    // The runtime folder is the user's own; /tmp is shared, hence the uid.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return QStringLiteral("%1/tesk-%2-%3").arg(folder).arg(::getuid()).arg(display);
}

std::optional<QStringList> handOverFiles(const QString& name, const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectMs))
        return std::nullopt;
    {
        QDataStream out(&socket);
        out.setVersion(kStreamVersion);
        out << files;
    }
    QDataStream in(&socket);
    in.setVersion(kStreamVersion);
    for (;;) {
        in.startTransaction();
        QStringList failures;
        in >> failures;
        if (in.commitTransaction())
            return failures;
        if (!socket.waitForReadyRead(kAnswerMs))
            return QStringList{QStringLiteral("the running editor did not answer (%1)").arg(socket.errorString())};
    }
}

CInstanceServer::CInstanceServer(OpenFiles open, QObject* parent)
    : QObject(parent)
    , m_open(std::move(open))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::onNewConnection);
}

CInstanceServer::~CInstanceServer() = default;

bool CInstanceServer::Listen(const QString& name, QString* error)
{
    if (m_server->listen(name))
        return true;
    // Nobody answered on this name before we got here: what is there is
    // the socket of an editor that did not end cleanly.
    if (m_server->serverError() == QAbstractSocket::AddressInUseError && QLocalServer::removeServer(name)
        && m_server->listen(name))
        return true;
    if (error)
        *error = m_server->errorString();
    return false;
}

void CInstanceServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void CInstanceServer::onReadyRead(QLocalSocket* socket)
{
    QDataStream in(socket);
    in.setVersion(kStreamVersion);
    in.startTransaction();
    QStringList files;
    in >> files;
    if (!in.commitTransaction())
        return;
    // Opening may run the event loop (a message box); the sender may be gone after it.
    const QPointer<QLocalSocket> alive(socket);
    const QStringList failures = m_open(files);
    if (!alive)
        return;
    QDataStream out(socket);
    out.setVersion(kStreamVersion);
    out << failures;
    socket->disconnectFromServer();
}
