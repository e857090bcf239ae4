#pragma once

#include "framework/core/filestamp.h"
#include "journal/journalreader.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class C3dObject;

// One scene's open recovery journal file: appends a record per change and
// holds an exclusive advisory lock (flock) on the file for as long as it is
// open, so that other editors know it is alive and never offer it.
//
// Ownership: one document owns it (through CDocJournal), and every call
// comes from the thread that owns it. Start's file is made by CreationWork
// on any thread, and Compact's disk work goes through fw::RunDiskWork; both
// touch only what was handed to them, and change records that come
// meanwhile wait in memory in their order and are written once the file is
// in place (FinishCreation, or the end of Compact). Otherwise every Record
// call hands the record to the kernel before it returns, so a killed
// process loses no completed change. Sync() makes what was written durable
// (fdatasync, and after the journal was made an fsync of its folder); the
// owner calls it (or Flush of TakeSyncHandle's handle, off the GUI thread)
// at most every second or so and before a save, never per change.
// Errors: a write or flush that fails stops the journal (failed(), with
// the system's reason in failureReason()); a record that failed part-way
// is cut off, so that every change before it stays recoverable.
// Compact rewrites the journal as a fresh one that holds the scene as it
// is: a new file under a hidden name, flushed, then renamed over the old
// one and the rename made durable, so that the name always holds a whole
// journal with every change flushed before.
class CSceneJournal {
public:
    // Change records of at most this many bytes are never compacted away:
    // a small scene's journal is not rewritten every few changes.
    static constexpr std::uint64_t kCompactFloor = std::uint64_t(1) << 20;

    ~CSceneJournal();
    CSceneJournal(const CSceneJournal&) = delete;
    CSceneJournal& operator=(const CSceneJournal&) = delete;

    // Starts a new journal in `folder` (created with mode 0700 where
    // missing) for a scene that builds on the file `basePath` as `base`
    // records it (no file: an invalid stamp and empty path). With
    // `snapshot`, the journal also holds that whole scene, so that it can
    // be recovered without its base. Start builds the journal's first bytes
    // here and returns a journal whose file is still to be made by
    // CreationWork.
    static std::unique_ptr<CSceneJournal> Start(const QString& folder, const QString& basePath, const fw::FileStamp& base,
                                                const std::vector<std::unique_ptr<C3dObject>>* snapshot);
    // While creating(): the making of Start's file (folder, write, lock,
    // rename), to run once on any thread, and a wait, for any thread, that
    // returns once it has run.
    std::function<void()> CreationWork() const;
    std::function<void()> CreationWait() const;
    // Whether Start's file is still to be taken in by FinishCreation.
    bool creating() const { return m_creation != nullptr; }
    // Waits for CreationWork and takes its file in, writing the records that
    // waited. False when no file could be made: the journal stopped, and
    // failureReason() says why.
    bool FinishCreation();
    // Continues the journal at `path`, read as `contents`, whose open
    // descriptor `fd` (read and write) already holds the lock: cuts the
    // file to `validLength`, its whole records, and appends after them.
    // Takes `fd` over; null when the file cannot be cut.
    static std::unique_ptr<CSceneJournal> Adopt(int fd, const QString& path, const JournalContents& contents,
                                                std::uint64_t validLength);

    // Records one change: `object` was added or changed at `position`, or
    // (null, for a removal) the object there was removed.
    void Record(journal::Kind kind, std::size_t position, const C3dObject* object);

    // Whether the change records outgrow a scene of `objectCount` objects,
    // as its object records written so far measure one: then Compact is due.
    bool NeedsCompaction(std::size_t objectCount) const
    {
        const std::uint64_t changes = m_length - m_startLength;
        return changes > kCompactFloor && changes > objectCount * (m_objectBytes / (m_objectRecords + 1));
    }
    // Replaces the journal by a fresh one of the same base and name that
    // holds `objects`, the scene after the last change recorded. On failure
    // the journal stops and the old file stays as it was.
    void Compact(const std::vector<std::unique_ptr<C3dObject>>& objects);

    bool NeedsSync() const { return m_unsynced || m_nameUnsynced; }
    // Flushes what was written to the disk, and the journal's name while
    // it is not yet durable.
    void Sync();
    // What a flush on another thread needs: a descriptor of its own on
    // which fdatasync covers everything written so far (-1 when there is
    // nothing to flush), and the folder to fsync when the journal's name is
    // not yet durable (empty otherwise).
    struct SyncHandle {
        int fd = -1;
        std::string folder;
    };
    SyncHandle TakeSyncHandle();
    // Runs the flush of `handle` on any thread and closes its descriptor;
    // 0, or the errno of the failure.
    static int Flush(SyncHandle& handle);
    // Deletes the file (once it is made), makes its removal durable and
    // releases the lock: the scene no longer needs it.
    void Remove();

    // Stops the journal for the errno value `error`: a flush of it failed elsewhere.
    void Fail(int error);

    const QString& path() const { return m_path; }
    // Bytes of whole records in the file.
    std::uint64_t length() const { return m_length; }
    bool failed() const { return m_failed; }
    // Why the journal stopped, in plain words; empty while it runs.
    const QString& failureReason() const { return m_reason; }

private:
    CSceneJournal(int fd, QString path, QString basePath, const fw::FileStamp& base);
    // The header, base record and, with `snapshot`, the scene's copy.
    std::string freshBytes(const std::vector<std::unique_ptr<C3dObject>>* snapshot, bool compacted) const;
    // Writes the records that waited in memory; false when that failed.
    bool writeQueue();

    int m_fd;
    QString m_path;
    // What the journal builds on: a file (path and stamp) or, with an
    // invalid stamp, an empty scene.
    QString m_basePath;
    fw::FileStamp m_base;
    std::uint64_t m_length = 0;
    // Bytes of the header, base record and snapshot: where changes start.
    std::uint64_t m_startLength = 0;
    // Bytes and number of the object records written, for the size of a scene.
    std::uint64_t m_objectBytes = 0;
    std::uint64_t m_objectRecords = 0;
    bool m_unsynced = false;
    // The journal's name (made or renamed) is not yet durable.
    bool m_nameUnsynced = false;
    bool m_failed = false;
    QString m_reason;
    // The file Start asked for, until FinishCreation takes it in.
    struct Creation;
    std::shared_ptr<Creation> m_creation;
    // Records wait here, in order, while the file is made or compacted.
    bool m_queueing = false;
    std::string m_queue;
};
