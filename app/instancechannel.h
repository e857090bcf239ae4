#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// One editor per user and display: a second `tesk FILE...` hands its files
// to the editor already running over a local socket and ends.
//
// The socket is named after the user and the display, in the user's runtime
// folder; TESK_INSTANCE_NAME overrides the name (tests give each their own),
// a name without a folder standing for one in the temporary folder. The
// socket is the user's alone (mode 0600). Plain POSIX sockets: the editor
// does not load Qt's network library and its dependencies for this.
// Without that variable, a platform that shows nothing to a user (see
// isInteractive) runs no channel at all, so that tests never meet each other.
// Message: the sender writes the absolute file names (a QStringList in a
// QDataStream); the editor opens them and answers with one line per file it
// could not open, an empty list when all went well.

// The socket name for this user and display, or empty when this process
// should run an editor of its own. `platformOption` is the -platform value.
QString instanceChannelName(const QString& platformOption);

// Hands `files` (absolute names; none means a new scene) to the editor
// listening on `name`. Returns nothing when no editor listens there;
// otherwise the failure lines it answered, or the reason it did not answer.
std::optional<QStringList> handOverFiles(const QString& name, const QStringList& files);

// The running editor's end: listens on the channel and answers each
// hand-over with what `open` returns for the files. Lives on the GUI
// thread, whose event loop tells it of connections and data; owns its
// sockets, and removes the socket file when destroyed.
class CInstanceServer : public QObject {
    Q_OBJECT

public:
    using OpenFiles = std::function<QStringList(const QStringList& files)>;

    explicit CInstanceServer(OpenFiles open, QObject* parent = nullptr);
    ~CInstanceServer() override;

    // Starts listening on `name`. A socket left behind by an editor that
    // crashed is replaced; one that an editor listens on is left alone.
    // Returns false with the reason in `error`.
    bool Listen(const QString& name, QString* error);

private:
    struct Connection;

    void onNewConnection();
    void onReadable(Connection* connection);
    void drop(Connection* connection);

    OpenFiles m_open;
    int m_listener = -1;
    QByteArray m_path; // the socket file, once listening
    QSocketNotifier* m_notifier = nullptr;
    std::vector<std::unique_ptr<Connection>> m_connections;
};
