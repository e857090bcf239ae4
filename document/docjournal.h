#pragma once

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
// Owned by its document, which calls BeforeChange before it changes its
// list and the Record* function after. (A changed object's fields are
// already written when BeforeChange comes: a copy of the whole scene taken
// then holds them, and the change record repeating them is harmless.)
// The first change after an open, a save or a discard starts a journal in
// `folder` that builds on the document's file as its stamp records it (or
// on an empty scene); the whole scene goes in too where that is cheap or
// there is no file to build on. A journal that cannot be started (no
// writable state folder) is not tried again until the scene is saved or
// discarded. What is written reaches the disk (fdatasync, on a pool thread)
// within a second, by a timer, never per change. The journal is removed by
// Drop (the scene was saved or its changes discarded) and when this keeper
// is destroyed (the scene's window closed); Keep closes it and leaves the
// file for the next start.
class CDocJournal : public QObject {
    Q_OBJECT

public:
    // Scenes of at most this many objects are copied whole into their journal.
    static constexpr std::size_t kSnapshotLimit = 10000;
    // Longest time a written change waits for its flush.
    static constexpr int kFlushDelayMs = 1000;

    CDocJournal(CTeskDoc& doc, QString folder);
    ~CDocJournal() override;

    void BeforeChange();
    void RecordAdd(std::size_t position, const C3dObject& object);
    void RecordChange(std::size_t position, const C3dObject& object);
    void RecordRemove(std::size_t position);

    void Drop();
    void Keep();
    // Continues `journal` (one recovered into the document) from here on.
    void Adopt(std::unique_ptr<CSceneJournal> journal);

    // The open journal, or null while the scene has none.
    CSceneJournal* journal() const { return m_journal.get(); }

private:
    void written();
    void flush();

    CTeskDoc& m_doc;
    QString m_folder;
    std::unique_ptr<CSceneJournal> m_journal;
    // Starting a journal failed; tried again after the next Drop.
    bool m_unavailable = false;
    QTimer m_flushTimer;
};
