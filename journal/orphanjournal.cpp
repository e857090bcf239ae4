#include "journal/orphanjournal.h"

#include "document/teskdoc.h"
#include "framework/core/filereader.h"
#include "framework/core/systemcalls.h"
#include "journal/docjournal.h"
#include "journal/scenejournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <utility>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

COrphanJournal::COrphanJournal(int fd, QString path, QByteArray data, QDateTime lastChange)
    : m_fd(fd)
    , m_path(std::move(path))
    , m_data(std::move(data))
    , m_lastChange(std::move(lastChange))
{
}

QString COrphanJournal::Folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/tesk/recovery");
}

std::vector<std::unique_ptr<COrphanJournal>> COrphanJournal::FindAll(const QString& folder, const QString& file)
{
    std::vector<std::unique_ptr<COrphanJournal>> found;
    const QDir dir(folder);
    const QString suffix = QLatin1String(journal::kSuffix.data(), journal::kSuffix.size());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks)) {
        const bool started = name.startsWith(QLatin1Char('.'));
        if (!started && !name.endsWith(suffix))
            continue;
        const QString path = dir.filePath(name);
        const QByteArray native = QFile::encodeName(path);
        const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat st {};
        // Held by a running editor, or not ours to read.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(fd);
            continue;
        }
        fw::FileReader reader;
        QByteArray data;
        if (reader.OpenDescriptor(fd, nullptr))
            reader.ReadAll(data, nullptr);
        const QDateTime changed = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).addMSecs(st.st_mtim.tv_nsec / 1000000);
        std::unique_ptr<COrphanJournal> orphan(new COrphanJournal(fd, path, std::move(data), changed));
        const bool read = ReadJournal(std::span<const char>(orphan->m_data.constData(), static_cast<std::size_t>(orphan->m_data.size())),
                                      orphan->m_contents, nullptr);
        // A journal left while it was being started, or one that never got
        // past its first records, holds no change to give back; a compacted
        // one holds its changes in its snapshot.
        if (started || !read || (orphan->m_contents.changes.empty() && !orphan->m_contents.base.compacted)) {
            orphan->Discard();
            continue;
        }
        if (!file.isEmpty() && !orphan->BuildsOn(file))
            continue;
        found.push_back(std::move(orphan));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a->m_lastChange < b->m_lastChange; });
    return found;
}

QString COrphanJournal::sceneName() const
{
    return m_contents.base.hasFile ? QFileInfo(m_contents.base.path).fileName() : QStringLiteral("Untitled");
}

bool COrphanJournal::BuildsOn(const QString& path) const
{
    return m_contents.base.hasFile && QFileInfo(m_contents.base.path) == QFileInfo(path);
}

RecoveredScene COrphanJournal::Recover() const { return RecoverScene(m_contents, m_contents.base.path); }

void COrphanJournal::ContinueIn(CTeskDoc& doc, RecoveredScene& scene)
{
    if (m_contents.base.hasFile) {
        doc.SetPathName(m_contents.base.path);
        doc.SetFileStamp(m_contents.base.stamp);
    }
    doc.SetModifiedFlag(true);
    if (CDocJournal* keeper = CDocJournal::Of(doc); keeper && m_fd.get() >= 0) {
        std::unique_ptr<CSceneJournal> continued = CSceneJournal::Adopt(m_fd.release(), m_path, m_contents, scene.validLength);
        keeper->Adopt(std::move(continued));
    }
    doc.ReplaceObjects(std::exchange(scene.objects, {}));
}

QStringList COrphanJournal::RecoverAll(const std::vector<std::unique_ptr<COrphanJournal>>& journals,
                                       const std::function<CTeskDoc*()>& newScene)
{
    QStringList notes;
    for (const auto& journal : journals) {
        RecoveredScene scene = journal->Recover();
        if (const QString note = DescribeRecovery(scene, journal->sceneName()); !note.isEmpty())
            notes << note;
        if (!scene.recovered)
            continue;
        if (CTeskDoc* doc = newScene())
            journal->ContinueIn(*doc, scene);
    }
    return notes;
}

void COrphanJournal::Discard()
{
    if (m_fd.get() < 0)
        return;
    fw::systemCalls().unlink(QFile::encodeName(m_path).constData());
    fw::SyncFolder(QFile::encodeName(QFileInfo(m_path).path()).toStdString());
    ::close(m_fd.release());
}
