#include "journal/orphanrecovery.h"

#include "document/teskdoc.h"

#include <QDir>

QString COrphanRecovery::Folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tesk/recovery");
}

COrphanRecovery::COrphanRecovery(const QString& file)
    : m_journals(COrphanJournal::FindAll(Folder()))
{
    if (!file.isEmpty()) {
        std::erase_if(m_journals, [&file](const std::unique_ptr<COrphanJournal>& orphan) {
            return !orphan->BuildsOn(file);
        });
    }
}

void COrphanRecovery::Discard()
{
    for (const auto& orphan : m_journals)
        orphan->Discard();
}

QStringList COrphanRecovery::Recover(const std::function<CTeskDoc*()>& newScene)
{
    QStringList notes;
    for (const auto& orphan : m_journals) {
        RecoveredScene scene = orphan->Recover();
        if (const QString note = DescribeRecovery(scene, orphan->sceneName()); !note.isEmpty())
            notes << note;
        if (!scene.recovered)
            continue;
        if (CTeskDoc* doc = newScene())
            orphan->ContinueIn(*doc, scene);
    }
    return notes;
}
