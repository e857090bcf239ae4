#pragma once

#include "framework/gui/winapp.h"

#include <QString>
#include <memory>

class CMainFrame;
class CSceneFiles;
class QSessionManager;
struct CommandLine;

namespace fw {
class AnsweringDiskWork;
class Document;
class MultiDocTemplate;
} // namespace fw

// The application: start-up, the one document template, the main frame and
// the command route's last stop.
//
// One instance, made after the QApplication and alive until after the
// event loop ends. It owns the main frame and the scene files (CSceneFiles,
// the open and save policy); the framework owns the template
// (m_pDocTemplate is a plain reference to it).
// Commands it handles (last stop of the route): New, Open, Save, Save As,
// the recent files, Exit and About; the file commands go to the scene
// files. Save and Save As act on the active view's scene and are disabled
// without one. A scene whose recovery journal fails is reported once per
// failure (see CDocJournal::failed).
class CTeskApp : public fw::WinApp {
public:
    CTeskApp();
    ~CTeskApp() override;

    // Start-up with the parsed `commandLine`: no file opens a new scene,
    // each named file is opened instead. Returns false when the program is
    // to end (a named file could not be opened; see
    // CSceneFiles::OpenAtStart).
    bool InitInstance(const CommandLine& commandLine);

    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

    bool SaveModified(fw::Document* doc) override;
    fw::Document* OpenDocumentFile(const QString& path) override;

    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    CSceneFiles& GetSceneFiles() const { return *m_pSceneFiles; }

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
    // at `proposed`; empty when cancelled. CSceneFiles::AskFileName by
    // default.
    virtual QString DoPromptFileName(const QString& proposed, bool open);

private:
    // Tells that the recovery journal of the scene `name` stopped, for
    // `reason`, without waiting for an answer.
    void showJournalFailure(const QString& name, const QString& reason) const;
    void commitData(QSessionManager& manager);

    // Saves write on a thread of their own while the windows keep answering.
    std::unique_ptr<fw::AnsweringDiskWork> m_pDiskWork;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    std::unique_ptr<CSceneFiles> m_pSceneFiles;
};
