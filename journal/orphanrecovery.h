#pragma once

#include "journal/orphanjournal.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class CTeskDoc;

// The scenes that recovery journals of editors no longer running can give
// back, found in Folder() when this is made (oldest change first). While it
// lives it holds their journals' locks, so no other editor offers them at
// the same time.
//
// The application asks the user and then decides their fate: Recover
// continues each in a new scene, Discard deletes them all, and letting this
// go keeps them for the next start.
class COrphanRecovery {
public:
    // The folder of recovery journals: $XDG_STATE_HOME/tesk/recovery, where
    // XDG_STATE_HOME defaults to ~/.local/state and counts only when it is
    // an absolute path.
    static QString Folder();

    // The orphaned journals in Folder(); only those whose changes build on
    // `file` when one is named.
    explicit COrphanRecovery(const QString& file = QString());

    const std::vector<std::unique_ptr<COrphanJournal>>& journals() const { return m_journals; }

    // Deletes every journal.
    void Discard();
    // Rebuilds each journal's scene and continues it in a new scene that
    // `newScene` makes (a journal whose scene cannot be rebuilt, or gets no
    // new scene, is left). Returns what the user should read about the
    // recoveries that met trouble (DescribeRecovery), one paragraph each.
    QStringList Recover(const std::function<CTeskDoc*()>& newScene);

private:
    std::vector<std::unique_ptr<COrphanJournal>> m_journals;
};
