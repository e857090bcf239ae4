#include "journal/docjournal.h"

#include "document/teskdoc.h"
#include "journal/scenejournal.h"

#include <QThreadPool>
#include <cerrno>
#include <unistd.h>

CDocJournal::CDocJournal(CTeskDoc& doc, QString folder)
    : QObject(&doc)
    , m_doc(doc)
    , m_folder(std::move(folder))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CDocJournal::flush);
    connect(&doc, &CTeskDoc::sceneChanging, this, &CDocJournal::beforeChange);
    connect(&doc, &CTeskDoc::objectAdded, this, &CDocJournal::recordAdd);
    connect(&doc, &CTeskDoc::objectEdited, this, &CDocJournal::recordChange);
    connect(&doc, &CTeskDoc::objectRemoved, this, &CDocJournal::recordRemove);
    connect(&doc, &fw::Document::modifiedChanged, this, [this](bool modified) {
        if (!modified)
            Drop();
    });
}

CDocJournal* CDocJournal::Attach(CTeskDoc& doc, const QString& folder) { return new CDocJournal(doc, folder); }

CDocJournal* CDocJournal::Of(const CTeskDoc& doc) { return doc.findChild<CDocJournal*>(QString(), Qt::FindDirectChildrenOnly); }

CDocJournal::~CDocJournal() { Drop(); }

void CDocJournal::beforeChange()
{
    if (m_journal || m_unavailable)
        return;
    const fw::FileStamp& stamp = m_doc.GetFileStamp();
    const bool hasFile = stamp.isValid() && !m_doc.GetPathName().isEmpty();
    const auto& objects = m_doc.GetObjects();
    // A scene that already differs from its file without a journal (one
    // that could not be made or continued) has only itself to build on.
    const bool snapshot = m_doc.IsModified() || (hasFile ? objects.size() <= kSnapshotLimit : !objects.empty());
    m_journal = CSceneJournal::Create(m_folder, hasFile ? m_doc.GetPathName() : QString(), hasFile ? stamp : fw::FileStamp(),
                                      snapshot ? &objects : nullptr, nullptr);
    // Without a journal the scene goes on as before journals; trying again
    // at every change would copy a big scene each time in vain.
    m_unavailable = !m_journal;
    if (m_journal)
        written();
}

void CDocJournal::recordAdd(std::size_t position, const C3dObject* object)
{
    if (!m_journal)
        return;
    m_journal->RecordAdd(position, *object);
    written();
}

void CDocJournal::recordChange(std::size_t position, const C3dObject* object)
{
    if (!m_journal)
        return;
    m_journal->RecordChange(position, *object);
    written();
}

void CDocJournal::recordRemove(std::size_t position)
{
    if (!m_journal)
        return;
    m_journal->RecordRemove(position);
    written();
}

void CDocJournal::Drop()
{
    m_unavailable = false;
    m_flushTimer.stop();
    if (m_journal)
        m_journal->Remove();
    m_journal.reset();
}

void CDocJournal::Keep()
{
    m_flushTimer.stop();
    if (m_journal)
        m_journal->Sync();
    m_journal.reset();
}

void CDocJournal::Adopt(std::unique_ptr<CSceneJournal> journal)
{
    Drop();
    m_journal = std::move(journal);
}

void CDocJournal::written()
{
    if (m_journal->NeedsSync() && !m_flushTimer.isActive())
        m_flushTimer.start();
}

void CDocJournal::flush()
{
    // On a pool thread, so that a slow disk never holds up the editor; the
    // descriptor of its own stays valid if the journal closes meanwhile.
    const int fd = m_journal ? m_journal->TakeSyncHandle() : -1;
    if (fd < 0)
        return;
    QThreadPool::globalInstance()->start([fd] {
        while (::fdatasync(fd) != 0 && errno == EINTR) {
        }
        ::close(fd);
    });
}
