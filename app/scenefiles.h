#pragma once

#include "app/desktoprecent.h"
#include "app/recentfilelist.h"
#include "app/sceneopener.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class CMainFrame;
class CSettingsWriter;
class QFileDialog;

namespace fw {
class Document;
class MultiDocTemplate;
struct FileError;
} // namespace fw

// The editor's policy for scene files: which window a file opens in, where a
// scene is saved, when a save is refused or asked about, what the user is
// told when an open or a save fails, the recent-file list and the offer of
// scenes that recovery journals can give back.
//
// Made by CTeskApp once its template and main frame exist, and owned by it;
// both are plain references and outlive it. The application's file
// commands, the main frame's drops and closing, the instance channel and
// start-up all come here. File names are asked through `prompt` (the
// application's DoPromptFileName), which AskFileName serves by default.
// Errors: a file that cannot be opened or saved is reported with its name
// and the reason; nothing changes then (an open scene stays modified, a file
// on disk stays as it was). Every open or save that succeeds puts its file
// at the top of the recent-file list, which is written back at once, and
// into the desktop's recent files (CDesktopRecent).
// Opens read their file through CSceneOpener: off the GUI thread, with the
// progress of a long one shown and the user free to cancel it. A cancelled
// open leaves nothing behind (no window, no recent-file entry) and is not
// reported as a failure.
class CSceneFiles {
public:
    // Asks for a file name in the Open (`open`) or Save As dialog, starting
    // at `proposed`; empty when cancelled.
    using Prompt = std::function<QString(const QString& proposed, bool open)>;

    // `recoverAll` (--recover) recovers orphaned journals without asking.
    CSceneFiles(fw::MultiDocTemplate& docTemplate, CMainFrame& mainFrame, bool recoverAll, Prompt prompt);

    const CRecentFileList& RecentFiles() const { return m_recentFiles; }
    CSceneOpener& Opener() { return m_opener; }

    // Opens the command line's files at start-up, showing the main window
    // when a long open shows its progress. A cancelled file is skipped. Stops at the first file that cannot be opened and returns
    // false; the reason went to stderr and, on an interactive display, to a
    // message box.
    bool OpenAtStart(const QStringList& files);
    // Opens `path` in a new window, or activates the window of the scene
    // already open from that file. Shows a message on failure.
    fw::Document* Open(const QString& path);
    // File > Open: asks for a file, offers what recovery journals hold of
    // it, then opens it.
    void OpenAsked();
    // Opens entry `index` of the recent-file list; a file that can no longer
    // be opened leaves the list.
    void OpenRecent(int index);
    // Opens files that another `tesk` handed over (a new scene when there
    // are none) and brings the main window forward. Returns one line per
    // file that could not be opened; each is also shown, without waiting.
    QStringList OpenHandedOver(const QStringList& files);

    // Saves `doc` to its file, asking for a name when it has none or when
    // its file is read-only (telling why first).
    bool Save(fw::Document* doc);
    // Saves `doc` to `path`; an empty `path` asks for a name (Save As).
    // Refuses a file that another open scene holds, and asks before
    // overwriting the scene's own file when another program has changed or
    // deleted it since it was opened or saved.
    bool SaveAs(fw::Document* doc, const QString& path);
    // The save prompt for a modified scene: Save saves (and fails like Save
    // does), Discard closes unsaved, Cancel keeps the scene open.
    bool SaveModified(fw::Document* doc);

    // Offers the scenes that recovery journals of editors no longer running
    // can give back (only those of `file`, when one is named): asks Recover,
    // Discard or Later, or recovers them all unasked after --recover. At
    // start-up on a display nobody can answer (offscreen), and without
    // --recover, it leaves them.
    void OfferRecovery(const QString& file = QString());

    // The file dialog behind `prompt`: it starts in the active scene's
    // folder, else where a file dialog was last accepted (kept between
    // runs), else the home folder, and remembers the chosen file's folder.
    // One dialog serves every call: building a file dialog and closing one
    // (Qt writes the dialog's state to its settings file then) both hold the
    // GUI thread, so it is built at the first call and closed with the main
    // frame.
    QString AskFileName(const QString& proposed, bool open);

private:
    // The outcome of an open: the scene, or null with why.
    struct Opened {
        fw::Document* doc = nullptr;
        bool cancelled = false;
        fw::FileError error;
    };
    Opened open(const QString& path);
    // True when `target` may be written: it is not `doc`'s own file, or that
    // file is as `doc` last read or wrote it, or the user chose Overwrite.
    bool confirmOverwriteChanged(const fw::Document* doc, const QString& target) const;
    void addToRecentFileList(const QString& path);
    void updateRecentFileMenu();
    void showError(const QString& text) const;

    fw::MultiDocTemplate& m_docTemplate;
    CMainFrame& m_mainFrame;
    bool m_recoverAll;
    Prompt m_prompt;
    // The main frame's: writes the recent-file list and the last folder off the GUI thread.
    CSettingsWriter& m_settingsWriter;
    CRecentFileList m_recentFiles;
    // Where a file dialog was last accepted, as read at start-up and kept
    // since (written back through m_settingsWriter).
    QString m_lastFolder;
    // The desktop's recent files, told of the same opens and saves.
    CDesktopRecent m_desktopRecent;
    CSceneOpener m_opener;
    // The dialog of AskFileName, a child of the main frame.
    QPointer<QFileDialog> m_fileDialog;
};
