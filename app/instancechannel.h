#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <unistd.h>

class QLocalServer;
class QLocalSocket;

// One editor per user and display: a second `tesk FILE...` hands its files
// to the editor already running over a local socket and ends.
//
// The socket is named after the user and the display, in the user's runtime
// folder or, without one, in a folder of the user's own under the temporary
// folder (tesk-UID, mode 0700). TESK_INSTANCE_NAME overrides the name (tests
// give each their own), a name without a folder standing for one in that
// folder of the user's own. A socket is used only in a folder that is the
// user's alone, and a sender hands files only to a listener of its own user:
// a listener of anybody else counts as no editor running.
// Without that variable, a platform that shows nothing to a user (see
// isInteractive) runs no channel at all, so that tests never meet each other.
// Message: the sender writes the absolute file names (a QStringList in a
// QDataStream); the editor opens them and answers with one line per file it
// could not open, an empty list when all went well.

// The socket's full path for this user and display, or empty when this
// process should run an editor of its own. `platformOption` is the -platform value.
QString instanceChannelName(const QString& platformOption);

// Hands `files` (absolute names; none means a new scene) to the editor
// listening on `name`, if that editor runs as `user`. Returns nothing when no
// editor of `user` listens there; otherwise the failure lines it answered,
// or the reason it did not answer.
std::optional<QStringList> handOverFiles(const QString& name, const QStringList& files, uid_t user = ::getuid());

// The running editor's end: listens on the channel and answers each
// hand-over with what `open` returns for the files. Lives on the GUI
// thread, whose event loop tells it of connections and data; owns its
// sockets, and removes the socket file when destroyed.
class CInstanceServer : public QObject {
    Q_OBJECT

public:
    using OpenFiles = std::function<QStringList(const QStringList& files)>;

    explicit CInstanceServer(OpenFiles open, QObject* parent = nullptr);

    // Starts listening on `name`. A socket left behind by an editor that
    // crashed is replaced; one that an editor listens on is left alone.
    // Returns false with the reason in `error`.
    bool Listen(const QString& name, QString* error);

private:
    void onNewConnection();
    void onReadable(QLocalSocket* socket);

    OpenFiles m_open;
    QLocalServer* m_server;
};
