#include "app/instancechannel.h"

#include "app/display.h"
#include "framework/core/posix.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>

namespace {

constexpr int kConnectMs = 2000;
// The editor may be busy for a while opening a large scene.
constexpr int kAnswerMs = 60000;
// A hand-over is a few file names: a sender that goes on beyond this is cut off.
constexpr qint64 kMaxMessage = qint64(16) << 20;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

// The user's own folder for the socket where there is no runtime folder.
QString userFolder() { return QDir::temp().filePath(QStringLiteral("tesk-%1").arg(::getuid())); }

// The socket file of `name`: a name without a folder lives in the user's folder.
QString socketPath(const QString& name) { return QDir::isAbsolutePath(name) ? name : QDir(userFolder()).filePath(name); }

// Whether `folder` is this user's alone: a folder, not a link to one, that
// the user owns and nobody else may enter. With `create`, a missing folder
// is made so first. Otherwise the reason is in `reason`.
bool isUsersAlone(const QString& folder, bool create, QString* reason)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat status {};
    const bool made = !create || ::mkdir(path.constData(), S_IRWXU) == 0 || errno == EEXIST;
    if (!made || ::lstat(path.constData(), &status) != 0) {
        *reason = QStringLiteral("%1: %2").arg(folder, fw::errnoText(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *reason = QStringLiteral("%1 is not a folder of this user's alone").arg(folder);
        return false;
    }
    return true;
}

// The user that the process at the other end of `socket` runs as, or -1.
uid_t peerUser(const QLocalSocket& socket)
{
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return uid_t(-1);
    return peer.uid;
}

QByteArray encode(const QStringList& list)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << list;
    return bytes;
}

// The list that `device` has received whole, or nothing while it is incomplete.
std::optional<QStringList> decode(QIODevice* device)
{
    QDataStream in(device);
    in.setVersion(kStreamVersion);
    in.startTransaction();
    QStringList list;
    in >> list;
    if (!in.commitTransaction())
        return std::nullopt;
    return list;
}

QStringList notAnswered(const QString& reason)
{
    return QStringList{QStringLiteral("the running editor did not answer (%1)").arg(reason)};
}

} // namespace

QString instanceChannelName(const QString& platformOption)
{
    const QString overridden = qEnvironmentVariable("TESK_INSTANCE_NAME");
    if (!overridden.isEmpty())
        return socketPath(overridden);
    const QString platform = displayPlatform(platformOption);
    if (!isInteractive(platform))
        return {};
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty() || platform.startsWith(QLatin1String("xcb")))
        display = qEnvironmentVariable("DISPLAY");
    for (QChar& c : display) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('_');
    }
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = userFolder();
    return QStringLiteral("%1/tesk-%2-%3").arg(folder).arg(::getuid()).arg(display);
}

std::optional<QStringList> handOverFiles(const QString& name, const QStringList& files, uid_t user)
{
    const QString path = socketPath(name);
    QString reason;
    if (!isUsersAlone(QFileInfo(path).path(), false, &reason))
        return std::nullopt;
    // An editor too busy to take the connection counts as none, and so does
    // one of another user, who must never learn the names.
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kConnectMs) || peerUser(socket) != user)
        return std::nullopt;
    socket.write(encode(files));
    for (;;) {
        if (std::optional<QStringList> failures = decode(&socket))
            return failures;
        if (socket.bytesAvailable() > kMaxMessage)
            return notAnswered(QStringLiteral("its answer is too long"));
        if (!socket.waitForReadyRead(kAnswerMs)) {
            if (socket.error() == QLocalSocket::SocketTimeoutError)
                return notAnswered(QStringLiteral("no answer within %1 s").arg(kAnswerMs / 1000));
            if (socket.error() == QLocalSocket::PeerClosedError)
                return notAnswered(QStringLiteral("it closed the connection"));
            return notAnswered(socket.errorString());
        }
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

bool CInstanceServer::Listen(const QString& name, QString* error)
{
    const QString path = socketPath(name);
    const QString folder = QFileInfo(path).path();
    QString reason;
    if (!isUsersAlone(folder, folder == userFolder(), &reason)) {
        *error = reason;
        return false;
    }
    // Someone's socket may be in the way: an editor's that did not end
    // cleanly if nobody answers on it, and then it is replaced.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kConnectMs)) {
        *error = QStringLiteral("another editor listens on %1").arg(path);
        return false;
    }
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        *error = m_server->errorString();
        return false;
    }
    return true;
}

void CInstanceServer::onNewConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadable(socket); });
    }
}

void CInstanceServer::onReadable(QLocalSocket* socket)
{
    const std::optional<QStringList> files = decode(socket);
    if (!files) {
        if (socket->bytesAvailable() > kMaxMessage)
            socket->abort();
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    // Opening may run the event loop (a message box), which may end the
    // socket or this server: it runs from the event loop, not from within
    // the socket's signal, and answers only a socket that is still there.
    QMetaObject::invokeMethod(
        this,
        [open = m_open, sender = QPointer<QLocalSocket>(socket), files = *files] {
            const QStringList failures = open(files);
            if (!sender)
                return;
            sender->write(encode(failures));
            sender->disconnectFromServer();
        },
        Qt::QueuedConnection);
}
