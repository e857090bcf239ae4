#include "journal/docjournal.h"

#include "document/teskdoc.h"
#include "framework/core/diskwork.h"
#include "journal/scenejournal.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

namespace {

// Makes and removes every scene's journal file, one at a time in the order
// asked for, so that a journal's removal comes after its making.
QThreadPool& diskWorker()
{
    struct Worker : QThreadPool {
        Worker() { setMaxThreadCount(1); }
    };
    static Worker worker;
    return worker;
}

} // namespace

CDocJournal::CDocJournal(CTeskDoc& doc, QString folder)
    : QObject(&doc)
    , m_doc(doc)
    , m_folder(std::move(folder))
{
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushDelayMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CDocJournal::Flush);
    connect(&doc, &CTeskDoc::sceneChanging, this, &CDocJournal::beforeChange);
    connect(&doc, &CTeskDoc::objectAdded, this,
            [this](std::size_t position, const C3dObject* object) { record(journal::Kind::Add, position, object); });
    connect(&doc, &CTeskDoc::objectEdited, this,
            [this](std::size_t position, const C3dObject* object) { record(journal::Kind::Change, position, object); });
    connect(&doc, &CTeskDoc::objectRemoved, this, [this](std::size_t position) { record(journal::Kind::Remove, position, nullptr); });
    // A journal that survives a save holds nothing older than the file.
    connect(&doc, &fw::Document::aboutToWrite, this, &CDocJournal::syncBeforeSave);
    connect(&doc, &fw::Document::modifiedChanged, this, [this](bool modified) {
        if (!modified)
            Drop();
    });
}

CDocJournal* CDocJournal::Attach(CTeskDoc& doc, const QString& folder) { return new CDocJournal(doc, folder); }

CDocJournal* CDocJournal::Of(const CTeskDoc& doc) { return doc.findChild<CDocJournal*>(QString(), Qt::FindDirectChildrenOnly); }

CDocJournal::~CDocJournal()
{
    // No waiting here: the document is being destroyed around it.
    if (m_journal)
        diskWorker().start([journal = std::shared_ptr<CSceneJournal>(std::move(m_journal))] { journal->Remove(); });
}

void CDocJournal::WaitForDiskWork() { diskWorker().waitForDone(); }

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
    m_journal = CSceneJournal::Start(m_folder, hasFile ? m_doc.GetPathName() : QString(), hasFile ? stamp : fw::FileStamp(),
                                     snapshot ? &objects : nullptr);
    // The file is made on the worker, never inside the change; its records
    // wait in memory meanwhile.
    QPointer<CDocJournal> self(this);
    const quint64 generation = ++m_generation;
    diskWorker().start([work = m_journal->CreationWork(), self, generation] {
        work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation] {
                if (self && self->m_generation == generation)
                    self->settleCreation();
            },
            Qt::QueuedConnection);
    });
}

void CDocJournal::settleCreation()
{
    if (!m_journal || !m_journal->creating())
        return;
    if (m_journal->FinishCreation()) {
        recorded();
        return;
    }
    // Without a journal the scene goes on as before journals; trying again
    // at every change would copy a big scene each time in vain.
    m_unavailable = true;
    const QString reason = m_journal->failureReason();
    m_journal.reset();
    report(reason);
}

void CDocJournal::compact()
{
    m_compactionDue = false;
    if (!m_journal || m_journal->failed() || !m_journal->NeedsCompaction(m_doc.GetObjects().size()))
        return;
    m_journal->Compact(m_doc.GetObjects());
    if (m_journal && m_journal->failed())
        report(m_journal->failureReason());
}

void CDocJournal::record(journal::Kind kind, std::size_t position, const C3dObject* object)
{
    if (!m_journal)
        return;
    m_journal->Record(kind, position, object);
    recorded();
}

void CDocJournal::Drop()
{
    m_unavailable = false;
    m_told = false;
    ++m_generation;
    m_flushTimer.stop();
    // Detached first: nothing on this thread reaches it while the disk work runs.
    const std::unique_ptr<CSceneJournal> journal = std::move(m_journal);
    if (journal)
        fw::RunDiskWork([&journal] { journal->Remove(); });
}

void CDocJournal::Keep()
{
    m_flushTimer.stop();
    settleCreation();
    if (m_journal)
        m_journal->Sync();
    m_journal.reset();
}

void CDocJournal::Adopt(std::unique_ptr<CSceneJournal> journal)
{
    Drop();
    m_journal = std::move(journal);
}

void CDocJournal::syncBeforeSave()
{
    if (m_journal && m_journal->creating()) {
        const quint64 generation = m_generation;
        fw::RunDiskWork(m_journal->CreationWait());
        if (generation == m_generation)
            settleCreation();
    }
    if (!m_journal)
        return;
    m_flushTimer.stop();
    // The flush runs on a descriptor of its own, so the journal itself is
    // left to this thread while the disk work runs.
    CSceneJournal::SyncHandle handle = m_journal->TakeSyncHandle();
    const quint64 generation = m_generation;
    int error = 0;
    if (handle.fd >= 0)
        fw::RunDiskWork([&handle, &error] { error = CSceneJournal::Flush(handle); });
    if (generation != m_generation || !m_journal)
        return;
    if (error != 0)
        m_journal->Fail(error);
    if (m_journal->failed())
        report(m_journal->failureReason());
}

void CDocJournal::recorded()
{
    // On a later turn of the event loop: a wait for the disk here, inside
    // the change, would let views paint a scene whose change they have
    // not yet heard of.
    if (!m_journal->failed() && !m_compactionDue && m_journal->NeedsCompaction(m_doc.GetObjects().size())) {
        m_compactionDue = true;
        QMetaObject::invokeMethod(this, &CDocJournal::compact, Qt::QueuedConnection);
    }
    if (m_journal->failed()) {
        report(m_journal->failureReason());
        return;
    }
    if (m_journal->NeedsSync() && !m_flushTimer.isActive())
        m_flushTimer.start();
}

void CDocJournal::Flush()
{
    // On a pool thread, so that a slow disk never holds up the editor; the
    // descriptor of its own stays valid if the journal closes meanwhile.
    CSceneJournal::SyncHandle handle = m_journal ? m_journal->TakeSyncHandle() : CSceneJournal::SyncHandle();
    if (handle.fd < 0)
        return;
    // The guard is only copied on the pool thread and read on this one.
    QPointer<CDocJournal> self(this);
    const quint64 generation = m_generation;
    QThreadPool::globalInstance()->start([handle, self, generation]() mutable {
        const int error = CSceneJournal::Flush(handle);
        if (error == 0)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, generation, error] {
                if (self)
                    self->flushed(generation, error);
            },
            Qt::QueuedConnection);
    });
}

void CDocJournal::flushed(quint64 generation, int error)
{
    if (generation != m_generation || !m_journal)
        return;
    m_journal->Fail(error);
    report(m_journal->failureReason());
}

void CDocJournal::report(const QString& reason)
{
    m_flushTimer.stop();
    if (m_told)
        return;
    m_told = true;
    emit failed(reason);
}
