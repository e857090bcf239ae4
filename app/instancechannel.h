#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// One editor per user and display: a second `tesk FILE...` hands its files
// to the editor already running over a local socket and ends.
//
// The socket is named after the user and the display, in the user's runtime
// folder; TESK_INSTANCE_NAME overrides the name (tests give each their own).
// Without that variable, a platform that shows nothing to a user (offscreen,
// minimal, ...) runs no channel at all, so that tests never meet each other.
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
// thread; owns its sockets.
class CInstanceServer : public QObject {
    Q_OBJECT

public:
    using OpenFiles = std::function<QStringList(const QStringList& files)>;

    explicit CInstanceServer(OpenFiles open, QObject* parent = nullptr);
    ~CInstanceServer() override;

    // Starts listening on `name`. A socket left behind by an editor that
    // crashed is removed first. Returns false with the reason in `error`.
    bool Listen(const QString& name, QString* error);

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket* socket);

    OpenFiles m_open;
    QLocalServer* m_server;
};
