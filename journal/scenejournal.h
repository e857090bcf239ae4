#pragma once

#include "framework/core/filestamp.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class C3dObject;

// One scene's open recovery journal file: appends a record per change and
// holds an exclusive advisory lock (flock) on the file for as long as it is
// open, so that other editors know it is alive and never offer it.
//
// Ownership: one document owns it (through CDocJournal). Every Record* call
// hands the record to the kernel before it returns, so a killed process loses
// no completed change; Sync() makes what was written durable (fdatasync) and
// (or an fdatasync on TakeSyncHandle's descriptor, off the GUI thread) is
// called by the owner at most every second or so, never per change.
// Errors: a write that fails cuts the file back to its last whole record
// and stops the journal (failed()); what it holds stays recoverable.
class CSceneJournal {
public:
    ~CSceneJournal();
    CSceneJournal(const CSceneJournal&) = delete;
    CSceneJournal& operator=(const CSceneJournal&) = delete;

    // Starts a new journal in `folder` (created with mode 0700 where
    // missing) for a scene that builds on the file `basePath` as `base`
    // records it (no file: an invalid stamp and empty path). With
    // `snapshot`, the journal also holds that whole scene, so that it can
    // be recovered without its base. Returns null with the reason in
    // `error` on failure.
    static std::unique_ptr<CSceneJournal> Create(const QString& folder, const QString& basePath, const fw::FileStamp& base,
                                                 const std::vector<std::unique_ptr<C3dObject>>* snapshot, QString* error);
    // Continues the journal at `path`, whose open descriptor `fd` (read and
    // write) already holds the lock: cuts the file to `validLength`, its
    // whole records, and appends after them. Takes `fd` over.
    static std::unique_ptr<CSceneJournal> Adopt(int fd, const QString& path, std::uint64_t validLength, QString* error);

    void RecordAdd(std::size_t position, const C3dObject& object);
    void RecordChange(std::size_t position, const C3dObject& object);
    void RecordRemove(std::size_t position);

    bool NeedsSync() const { return m_unsynced; }
    // Flushes what was written to the disk.
    void Sync();
    // For a flush on another thread: a descriptor of its own (the caller
    // closes it) on which fdatasync covers everything written so far; -1
    // when there is nothing to flush.
    int TakeSyncHandle();
    // Deletes the file and releases the lock: the scene no longer needs it.
    void Remove();

    const QString& path() const { return m_path; }
    bool failed() const { return m_failed; }

private:
    CSceneJournal(int fd, QString path, std::uint64_t length);
    void recordObject(int kind, std::size_t position, const C3dObject* object);
    void append(int kind);

    int m_fd;
    QString m_path;
    // Bytes of whole records in the file.
    std::uint64_t m_length;
    bool m_unsynced = false;
    bool m_failed = false;
    // The payload of the record being written, reused between records.
    std::string m_payload;
    std::string m_record;
};
