#pragma once

#include "journal/journalformat.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstddef>
#include <memory>

class C3dObject;
class CSceneJournal;
class CTeskDoc;

// Keeps the recovery journal of one scene while it has unsaved changes.
//
// A child of its document (Attach), alive as long as the scene is open. It
// follows the document's change signals as views follow its broadcasts:
// sceneChanging before a change, objectAdded, objectEdited or
// objectRemoved after it. (A changed object's fields are already written
// when sceneChanging comes: a copy of the whole scene taken then holds them,
// and the change record repeating them is harmless.)
//
// Threads. The GUI thread only builds bytes and hands records to the
// kernel; it never waits for the disk inside a change:
// - The first change after an open, a save or a discard starts a journal
//   in `folder` that builds on the document's file as its stamp records it
//   (or on an empty scene); the whole scene goes in too where that is cheap
//   or there is no file to build on. The GUI thread builds those first
//   bytes; the file is made (folder, write, rename) on a worker thread
//   shared by all keepers, which makes and removes journal files one at a
//   time in the order asked for. Its outcome comes back queued to this
//   thread; change records made meanwhile wait in memory, in order, and are
//   written once the file is in place.
// - When the change records outgrow the scene, the journal is compacted
//   to the scene as it is on a later turn of the event loop, its disk work
//   through fw::RunDiskWork (whose runner holds user input, so that the
//   scene is neither saved nor closed meanwhile).
// - What is written reaches the disk (fdatasync, on a pool thread) within
//   a second, by a timer, never per change, and before a save writes the
//   file (aboutToWrite, through fw::RunDiskWork like the save's own write),
//   so that a journal that survives the save holds nothing older than the
//   file.
// What waits for what: the timer and a compaction start only once the file
// is in place; the flush before a save waits for the file's making through
// fw::RunDiskWork; Drop's removal (through fw::RunDiskWork) and the
// destructor's (on the worker) come after it; Keep waits for it on the
// calling thread. WaitForDiskWork waits for the worker, so that the program
// never exits with a journal half made or half removed.
//
// Failures: a journal that cannot be started, written or flushed is
// reported once by `failed` with the system's reason, on this thread; one
// that cannot be started (no writable state folder) is not tried again
// until the scene is saved or discarded. Drop starts afresh, so that a
// later failure is reported again.
// The journal is removed by Drop (the scene was saved or its changes
// discarded) and when this keeper is destroyed (the scene's window closed).
// Keep closes it and leaves the file for the next start. A scene that
// matches its file again (its modified flag cleared) drops its journal.
class CDocJournal : public QObject {
    Q_OBJECT

public:
    // Scenes of at most this many objects are copied whole into their journal.
    static constexpr std::size_t kSnapshotLimit = 10000;
    // Longest time a written change waits for its flush.
    static constexpr int kFlushDelayMs = 1000;

    // Starts keeping `doc`'s journal in `folder`; `doc` owns the keeper.
    static CDocJournal* Attach(CTeskDoc& doc, const QString& folder);
    // The keeper attached to `doc`, or null.
    static CDocJournal* Of(const CTeskDoc& doc);
    ~CDocJournal() override;

    void Drop();
    void Keep();
    // Continues `journal` (one recovered into the document) from here on.
    void Adopt(std::unique_ptr<CSceneJournal> journal);

    // Returns once every journal file's making and removal asked for so
    // far has run; the program waits for them before it exits.
    static void WaitForDiskWork();

    // Starts the flush of what was written; the timer calls it within
    // kFlushDelayMs of a change. Its outcome comes back on this thread.
    void Flush();

    // The open journal, or null while the scene has none.
    CSceneJournal* journal() const { return m_journal.get(); }

signals:
    // The scene's changes are no longer kept, for `reason` (in plain words).
    void failed(const QString& reason);

private:
    CDocJournal(CTeskDoc& doc, QString folder);

    void beforeChange();
    void settleCreation();
    void compact();
    void syncBeforeSave();
    void record(journal::Kind kind, std::size_t position, const C3dObject* object);
    void recorded();
    void flushed(quint64 generation, int error);
    // The journal stopped: no more flushes, and `failed` once since the last Drop.
    void report(const QString& reason);

    CTeskDoc& m_doc;
    QString m_folder;
    std::unique_ptr<CSceneJournal> m_journal;
    // Starting a journal failed; tried again after the next Drop.
    bool m_unavailable = false;
    // A compaction waits for its turn of the event loop.
    bool m_compactionDue = false;
    // `failed` was emitted since the last Drop.
    bool m_told = false;
    // Counts the journals started and dropped, so that the outcome of disk
    // work for a journal since gone is ignored.
    quint64 m_generation = 0;
    QTimer m_flushTimer;
};
