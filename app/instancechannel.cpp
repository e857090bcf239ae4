#include "app/instancechannel.h"

#include "app/display.h"
#include "framework/core/posix.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kConnectMs = 2000;
// The editor may be busy for a while opening a large scene.
constexpr int kAnswerMs = 60000;
// A hand-over is a few file names: a sender that goes on beyond this is cut off.
constexpr qsizetype kMaxMessage = qsizetype(16) << 20;
constexpr int kRetryAcceptMs = 200;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

// The socket file of `name`: a name without a folder lives in the temporary folder.
QByteArray socketPath(const QString& name)
{
    return QFile::encodeName(QDir::isAbsolutePath(name) ? name : QDir::temp().filePath(name));
}

bool socketAddress(const QByteArray& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || path.size() >= qsizetype(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    return true;
}

bool connectTo(int fd, const sockaddr_un& address)
{
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
}

QByteArray encode(const QStringList& list)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << list;
    return bytes;
}

// The list that `bytes` begin with, or nothing while it is incomplete.
std::optional<QStringList> decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    in.startTransaction();
    QStringList list;
    in >> list;
    if (!in.commitTransaction())
        return std::nullopt;
    return list;
}

bool sendAll(int fd, const QByteArray& bytes)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t wrote = ::send(fd, bytes.constData() + sent, std::size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        sent += wrote;
    }
    return true;
}

QString notAnswered(const QString& reason)
{
    return QStringLiteral("the running editor did not answer (%1)").arg(reason);
}

} // namespace

QString instanceChannelName(const QString& platformOption)
{
    const QString overridden = qEnvironmentVariable("TESK_INSTANCE_NAME");
    if (!overridden.isEmpty())
        return overridden;
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
    // The runtime folder is the user's own; /tmp is shared, hence the uid.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return QStringLiteral("%1/tesk-%2-%3").arg(folder).arg(::getuid()).arg(display);
}

std::optional<QStringList> handOverFiles(const QString& name, const QStringList& files)
{
    sockaddr_un address;
    if (!socketAddress(socketPath(name), address))
        return std::nullopt;
    const fw::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return std::nullopt;
    // An editor too busy to take the connection counts as none.
    const timeval connectLimit{kConnectMs / 1000, 0};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &connectLimit, sizeof(connectLimit));
    if (!connectTo(socket.get(), address))
        return std::nullopt;
    if (!sendAll(socket.get(), encode(files)))
        return QStringList{notAnswered(fw::errnoText(errno))};
    QByteArray answer;
    for (;;) {
        if (std::optional<QStringList> failures = decode(answer))
            return failures;
        pollfd readable{socket.get(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, kAnswerMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return QStringList{notAnswered(QStringLiteral("no answer within %1 s").arg(kAnswerMs / 1000))};
        char buffer[4096];
        const ssize_t got = ready < 0 ? -1 : ::read(socket.get(), buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return QStringList{notAnswered(fw::errnoText(errno))};
        if (got == 0)
            return QStringList{notAnswered(QStringLiteral("it closed the connection"))};
        if (answer.size() > kMaxMessage)
            return QStringList{notAnswered(QStringLiteral("its answer is too long"))};
        answer.append(buffer, got);
    }
}

// One sender's connection: what it has sent so far.
struct CInstanceServer::Connection {
    explicit Connection(int fd)
        : socket(fd)
    {
    }

    fw::Descriptor socket;
    QSocketNotifier* notifier = nullptr;
    QByteArray received;
};

CInstanceServer::CInstanceServer(OpenFiles open, QObject* parent)
    : QObject(parent)
    , m_open(std::move(open))
{
}

CInstanceServer::~CInstanceServer()
{
    if (m_listener < 0)
        return;
    ::close(m_listener);
    ::unlink(m_path.constData());
}

bool CInstanceServer::Listen(const QString& name, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QByteArray path = socketPath(name);
    sockaddr_un address;
    if (!socketAddress(path, address))
        return fail(QStringLiteral("the socket name %1 is too long").arg(QFile::decodeName(path)));
    // Bound in a folder of its own and made the user's alone there, then
    // moved into place: nobody else can ever connect to it.
    QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(path)).absolutePath()) + "/.tesk-XXXXXX";
    if (!::mkdtemp(folder.data()))
        return fail(fw::errnoText(errno));
    const QByteArray bound = folder + "/s";
    sockaddr_un boundAddress;
    fw::Descriptor listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    bool ok = listener.get() >= 0 && socketAddress(bound, boundAddress)
              && ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&boundAddress), sizeof(boundAddress)) == 0
              && ::chmod(bound.constData(), S_IRUSR | S_IWUSR) == 0 && ::listen(listener.get(), SOMAXCONN) == 0;
    if (ok && ::renameat2(AT_FDCWD, bound.constData(), AT_FDCWD, path.constData(), RENAME_NOREPLACE) != 0) {
        ok = errno == EEXIST;
        // Someone's socket is in the way: an editor's that did not end
        // cleanly if nobody answers on it, and then it is replaced.
        const fw::Descriptor probe(ok ? ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1);
        if (ok && probe.get() >= 0 && connectTo(probe.get(), address)) {
            errno = EADDRINUSE;
            ok = false;
        } else if (ok) {
            ok = ::rename(bound.constData(), path.constData()) == 0;
        }
    }
    const int saved = errno;
    ::unlink(bound.constData());
    ::rmdir(folder.constData());
    if (!ok)
        return fail(fw::errnoText(saved));
    m_listener = listener.release();
    m_path = path;
    m_notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CInstanceServer::onNewConnection);
    return true;
}

void CInstanceServer::onNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 && (errno == EINTR || errno == ECONNABORTED))
            continue;
        if (fd < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Out of descriptors or memory: the waiting sender stays queued.
            // Listening goes on a little later instead of at once, which
            // would only spin on the same error.
            m_notifier->setEnabled(false);
            QTimer::singleShot(kRetryAcceptMs, m_notifier, [notifier = m_notifier] { notifier->setEnabled(true); });
        }
        if (fd < 0)
            return;
        auto connection = std::make_unique<Connection>(fd);
        Connection* raw = connection.get();
        raw->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(raw->notifier, &QSocketNotifier::activated, this, [this, raw] { onReadable(raw); });
        m_connections.push_back(std::move(connection));
    }
}

void CInstanceServer::onReadable(Connection* connection)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(connection->socket.get(), buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (got <= 0 || connection->received.size() > kMaxMessage) {
            drop(connection);
            return;
        }
        connection->received.append(buffer, got);
    }
    const std::optional<QStringList> files = decode(connection->received);
    if (!files)
        return;
    connection->notifier->setEnabled(false);
    // Opening may run the event loop (a message box), and this server may be gone after it.
    const QPointer<CInstanceServer> alive(this);
    const QStringList failures = m_open(*files);
    if (!alive)
        return;
    // The sender may be gone meanwhile: then the answer goes nowhere.
    sendAll(connection->socket.get(), encode(failures));
    drop(connection);
}

void CInstanceServer::drop(Connection* connection)
{
    connection->notifier->setEnabled(false);
    connection->notifier->deleteLater();
    std::erase_if(m_connections, [connection](const std::unique_ptr<Connection>& held) { return held.get() == connection; });
}
