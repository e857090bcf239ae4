#pragma once

#include "app/recentfilelist.h"
#include "framework/gui/winapp.h"

#include <QCoreApplication>
#include <QStringList>
#include <memory>

class CMainFrame;
class QSessionManager;
class QWidget;
struct FileFailure;

namespace fw {
class Document;
class MultiDocTemplate;
} // namespace fw

// The application: start-up, the one document template, the main frame,
// the file commands with their save prompts, the recent-file list and the
// about box.
//
// One instance, made after the QApplication and alive until after the
// event loop ends. It owns the main frame; the framework owns the template
// (m_pDocTemplate is a plain reference to it).
// Commands it handles (last stop of the route): New, Open, Save, Save As,
// the recent files, Exit and About. Save and Save As act on the active
// view's scene and are disabled without one.
// Errors: a file that cannot be opened or saved is reported with its name
// and the reason; nothing changes then (an open scene stays modified, a
// file on disk stays as it was). A scene whose recovery journal fails is
// reported once per failure (see CDocJournal::failed).
class CTeskApp : public fw::WinApp {
public:
    CTeskApp();
    ~CTeskApp() override;

    // Start-up. `arguments` is the command line, program name first: no
    // file opens a new scene, each named file is opened instead. Returns
    // false when the program is to end (a named file could not be opened;
    // the reason went to stderr and, on an interactive display, to a
    // message box). `preload`, when given, is already reading the named
    // files: their opens adopt its loads instead of reading again, with the
    // same outcome. It is used only during the call.
    bool InitInstance(const QStringList& arguments = QCoreApplication::arguments());

    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

    // The save prompt for a modified scene: Save saves (and fails like Save
    // does), Discard closes unsaved, Cancel keeps the scene open.
    bool SaveModified(fw::Document* doc) override;
    // Opens `path` in a new window, or activates the window of the scene
    // already open from that file. Shows a message on failure.
    fw::Document* OpenDocumentFile(const QString& path) override;
    // Opens files that another `tesk` handed over (a new scene when there
    // are none) and brings the main window forward. Returns one line per
    // file that could not be opened; each is also shown, without waiting.
    QStringList OpenHandedOverFiles(const QStringList& files);
    // Saves `doc` to its file, asking for a name when it has none.
    bool DoFileSave(fw::Document* doc);
    // Saves `doc` to `path`; an empty `path` asks for a name (Save As).
    // Refuses a file that another open scene holds, and asks before
    // overwriting the scene's own file when another program has changed or
    // deleted it since it was opened or saved.
    bool DoSave(fw::Document* doc, const QString& path);

    // Offers the scenes that recovery journals of editors no longer running
    // can give back (only those of `file`, when one is named): asks Recover,
    // Discard or Later, or recovers them all unasked after --recover. At
    // start-up on a display nobody can answer (offscreen), and without
    // --recover, it leaves them.
    void OfferRecovery(const QString& file = QString());
    // The folder of recovery journals: $XDG_STATE_HOME/tesk/recovery, where
    // XDG_STATE_HOME defaults to ~/.local/state.
    static QString RecoveryFolder();

    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    const CRecentFileList& GetRecentFileList() const { return m_recentFiles; }

    void OnFileNew(int id);
    void OnFileOpen(int id);
    void OnFileSave(int id);
    void OnFileSaveAs(int id);
    void OnOpenRecentFile(int id);
    void OnAppExit(int id);
    void OnAppAbout(int id);
    void OnUpdateFileSave(fw::CmdUI& ui);
    void OnUpdateRecentFileMenu(fw::CmdUI& ui);

    fw::MultiDocTemplate* m_pDocTemplate = nullptr;

protected:
    // Asks for a file name in the Open (`open`) or Save As dialog, starting
    // at `proposed` in fileDialogFolder(). Returns the chosen name, or empty
    // when cancelled; the chosen name's folder is remembered in the settings.
    virtual QString DoPromptFileName(const QString& proposed, bool open);

private:
    fw::Document* openFile(const QString& path, QString* error);
    bool processShellCommand(const QStringList& arguments);
    void addToRecentFileList(const QString& path);
    void updateRecentFileMenu();
    // The active scene's folder, else the folder where a file dialog was
    // last accepted (kept between runs), else the home folder.
    QString fileDialogFolder() const;
    static void showFailure(const FileFailure& failure, QWidget* parent);
    // Tells that the recovery journal of the scene `name` stopped, for
    // `reason`, without waiting for an answer.
    void showJournalFailure(const QString& name, const QString& reason) const;
    void showError(const QString& text) const;
    // True when `target` may be written: it is not `doc`'s own file, or that
    // file is as `doc` last read or wrote it, or the user chose Overwrite.
    bool confirmOverwriteChanged(const fw::Document* doc, const QString& target) const;
    void commitData(QSessionManager& manager);

    std::unique_ptr<CMainFrame> m_pMainFrame;
    CRecentFileList m_recentFiles;
    // --recover: recover every orphaned journal without asking.
    bool m_recoverAll = false;
};
