#pragma once

#include "framework/core/commandtarget.h"
#include "framework/core/fileerror.h"
#include "framework/core/filestamp.h"

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

namespace fw {

class Archive;
class DocTemplate;
struct ReadWatch;
class Object;
class View;

// The outcome of reading a document's file apart from any document: whether
// the load succeeded, why not (or that its watcher stopped it), and the
// stamp of what was read. What was loaded lives wherever the load function
// put it.
struct FileLoad {
    bool ok = false;
    bool cancelled = false;
    FileError error;
    FileStamp stamp;
};

// Base of a document: the data behind one or more views, with its file
// path, title and modified flag.
//
// Ownership: the document does not own its views; the GUI's frames do and
// unregister them before they die. The template that created the document
// is referenced, not owned.
// Broadcasts: UpdateAllViews calls every registered view's OnUpdate in
// registration order; modifiedChanged and titleChanged signal the GUI;
// aboutToWrite comes before a save writes the file.
// Files: a document class opens a regular file in two halves that a caller
// may also run apart: LoadFile reads the file (on any thread: it touches no
// document and no QObject) and AdoptFile records the outcome in the
// document; on failure the contents are unchanged and the FileError is
// returned. OnSaveDocument turns the document into bytes
// (Serialize) and writes them through WriteFileKeepingItsKind, both run by
// RunDiskWork, so Serialize may run on another thread while the caller waits
// and must only read the document: the old file survives a failed
// save, and its owner, group, mode and links survive a successful one. Both
// record the file's stamp; OnNewDocument clears it.
class Document : public QObject, public CommandTarget {
    Q_OBJECT

public:
    Document();
    ~Document() override;

    void AddView(View* view);
    void RemoveView(View* view);
    const std::vector<View*>& GetViews() const { return m_views; }
    View* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }
    void UpdateAllViews(View* sender, int hint = 0, Object* object = nullptr);

    bool IsModified() const { return m_modified; }
    void SetModifiedFlag(bool modified = true);

    const QString& GetPathName() const { return m_pathName; }
    void SetPathName(const QString& path);
    // The file name without folder, or the generic "Untitled" for a new document.
    const QString& GetTitle() const { return m_title; }
    void SetTitle(const QString& title);

    // What the document's file was when it was last opened or saved; invalid
    // for a document without a file. The hash covers the bytes the load read:
    // the whole file, unless more than a buffer of bytes follows the last
    // record, which the load leaves unread.
    const FileStamp& GetFileStamp() const { return m_fileStamp; }
    void SetFileStamp(const FileStamp& stamp) { m_fileStamp = stamp; }

    DocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    void SetDocTemplate(DocTemplate* docTemplate) { m_pDocTemplate = docTemplate; }

    // Empties the document for a new, untitled scene.
    virtual bool OnNewDocument();
    // Loads `path` (through LoadFile and AdoptFile). On failure returns
    // false with the failure in `error` and leaves the document as it was.
    virtual bool OnOpenDocument(const QString& path, FileError* error) = 0;
    // Saves to `path`. On failure returns false with the failure in `error`;
    // the previous file at `path` is untouched and the document stays modified.
    virtual bool OnSaveDocument(const QString& path, FileError* error);

    // The load half of an open: opens `path` for loading and runs
    // `load` on its archive, which reads the contents wherever it keeps them
    // and throws as Serialize does. Safe on any thread. A `watch` sees the
    // bytes read and may stop the load: it then fails as cancelled.
    static FileLoad LoadFile(const QString& path, const std::function<void(Archive&)>& load,
                             ReadWatch* watch = nullptr);
    // The adopt half: on success takes `path` as the document's file, its
    // stamp, and clears the modified flag; on failure returns false with the
    // load's failure in `error` and changes nothing. The contents are the
    // caller's to have put in place.
    bool AdoptFile(const QString& path, const FileLoad& load, FileError* error);

    // Loading from an archive, for callers that also want to ask the
    // archive what it met (its stored schemas): loads from a loading archive
    // through Serialize. Returns false with the reason in `error` on
    // malformed data, a read error or an allocation failure ("out of
    // memory"), and then leaves the contents as they were. Touches neither
    // the path name, the modified flag nor the stamp.
    bool LoadFrom(Archive& ar, QString* error);
    // Removes the whole contents.
    virtual void DeleteContents() {}
    virtual void Serialize(Archive& ar) = 0;

signals:
    void modifiedChanged(bool modified);
    // A save is about to write the document's file.
    void aboutToWrite();
    void titleChanged(const QString& title);

private:
    std::vector<View*> m_views;
    bool m_modified = false;
    QString m_pathName;
    QString m_title;
    FileStamp m_fileStamp;
    DocTemplate* m_pDocTemplate = nullptr;
};

} // namespace fw
