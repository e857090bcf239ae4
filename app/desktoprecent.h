#pragma once

#include <QDateTime>
#include <QString>
#include <QThreadPool>

// The desktop's recent files, which GTK's file chooser, GNOME Files and
// other applications show: the desktop-bookmark file
// $XDG_DATA_HOME/recently-used.xbel. tesk's own list of recent files is
// CRecentFileList; this class only tells the desktop.
//
// CSceneFiles calls Add after each open and each save of a scene. The file is
// updated on a thread of this object's own, one update after another, so a
// slow disk never holds up the editor; the destructor waits for the updates
// still queued. A failed update is told on stderr in one line and changes
// nothing: the open or save itself succeeded.
class CDesktopRecent {
public:
    // Takes the file's location from the environment now.
    CDesktopRecent();

    // Queues the record of `scene` (an absolute path) as used by tesk now.
    void Add(const QString& scene);

    // $XDG_DATA_HOME/recently-used.xbel; XDG_DATA_HOME counts only when it
    // is an absolute path, else ~/.local/share.
    static QString Path();

    // Records in the bookmark file `xbel` that tesk used `scene` at `when`:
    // its bookmark (URI, MIME type application/x-tesk-scene, tesk as an
    // application with its command and a use count) is added or updated, and
    // everything else in the file is kept. A missing or empty file is
    // started. The file is written whole and renamed into place (see
    // fw::WriteFileKeepingItsKind), under a lock that other tesk processes
    // take too; a file changed by another writer while the new one was made
    // is read again. Returns false with the reason in `error`, the file left
    // as it was, when the file does not parse as XBEL, is not a regular
    // file, or cannot be written.
    static bool Record(const QString& xbel, const QString& scene, const QDateTime& when, QString* error);

private:
    QString m_path;
    // Its destructor waits for the updates still queued.
    QThreadPool m_pool;
};
