#pragma once

#include "framework/core/posix.h"
#include "journal/journalreader.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class CTeskDoc;

// A recovery journal whose editor is no longer running, found at start-up
// or when a file is opened. While this object lives it holds the journal's
// lock, so no other editor offers it at the same time.
//
// The application asks the user and then decides its fate: ContinueIn
// continues it as the journal of the recovered scene, Discard deletes it,
// and letting it go keeps it for the next start.
class COrphanJournal {
public:
    // The folder of recovery journals: $XDG_STATE_HOME/tesk/recovery, where
    // XDG_STATE_HOME defaults to ~/.local/state and counts only when it is
    // an absolute path.
    static QString Folder();

    // Every orphaned journal in `folder`, oldest change first; only those
    // whose changes build on `file` when one is named. Journals of running
    // editors are passed over; leftovers that hold no change (an editor
    // that died while starting one) are deleted.
    static std::vector<std::unique_ptr<COrphanJournal>> FindAll(const QString& folder, const QString& file = QString());

    // The scene's file name, or "Untitled" for a scene without a file.
    QString sceneName() const;
    // Whether its changes build on the file `path` (the same file, by any name).
    bool BuildsOn(const QString& path) const;
    QDateTime lastChange() const { return m_lastChange; }
    std::size_t changeCount() const { return m_contents.changes.size(); }

    // Rebuilds the scene as after the last change the journal holds
    // (see RecoverScene).
    RecoveredScene Recover() const;
    // Makes `doc`, a new empty scene, the recovered `scene`: its objects
    // move in, it is bound to the journal's base file (with the stamp the journal
    // recorded, so that a file changed since is noticed on save) and marked
    // modified, and its journal continues this one from here on.
    void ContinueIn(CTeskDoc& doc, RecoveredScene& scene);
    void Discard();

    // Recovers each of `journals` in turn: a scene that can be rebuilt
    // continues in a new scene from `newScene` (null when none can be made).
    // Returns a note, one paragraph each, on every recovery that met trouble.
    static QStringList RecoverAll(const std::vector<std::unique_ptr<COrphanJournal>>& journals,
                                  const std::function<CTeskDoc*()>& newScene);

private:
    COrphanJournal(int fd, QString path, QByteArray data, QDateTime lastChange);

    fw::Descriptor m_fd;
    QString m_path;
    QByteArray m_data;
    QDateTime m_lastChange;
    JournalContents m_contents;
};
