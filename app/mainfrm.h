#pragma once

#include "framework/gui/mdiframewnd.h"

#include <QMetaObject>
#include <QStringList>
#include <memory>
#include <vector>

class COpenProgress;
class CSettingsWriter;
class QAction;
class QLabel;
class QMenu;
class QToolBar;

// tesk's main window: the menu bar, accelerators, toolbar and five-pane
// status bar of IDR_MAIN around the MDI area of scene windows.
//
// Created and owned by the application. Every menu item, toolbar button and key
// carries its command id and runs it through RouteCommand when its command
// is enabled. Command states are asked along the route before a menu opens
// and, for the toolbar, each time the event loop goes idle.
// Status bar: pane 0 shows "Ready" or the prompt of the hovered command;
// pane 1 is written only by SetStatusText (the active view's object count)
// and cleared when no scene window is active; panes 2 to 4 show "CAP",
// "NUM" and "SCRL" while their lock key is on, refreshed after every lock
// key and whenever the application becomes active, and stay empty where the
// windowing system cannot tell (anything but X11). Before the panes, a long
// open shows its progress (COpenProgress, filled by CSceneOpener).
// Title: "TESK - Main Frame", then " - " and the active scene's title. While
// the active scene window is maximised the title is "TESK - Main Frame" and
// Qt adds " - [window title]", as the system does for maximised document
// windows.
// Closing asks the application (fw::WinApp) to save modified scenes first,
// then keeps the window's place and bars in the settings; dropped files
// are handed to the application to open.
// Settings: it owns the application's settings writer, which the scene
// files share; destroying the window waits for the writes handed to it.
// Focus: after every command, drop and switch of scene window, the keyboard
// focus returns to the active scene window's tree.
class CMainFrame : public fw::MdiFrameWnd {
    Q_OBJECT

public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    void SetStatusText(const QString& text) override;
    QString GetPaneText(int index) const;

    QToolBar* GetToolBar() const { return m_wndToolBar; }
    COpenProgress& GetOpenProgress() const { return *m_openProgress; }
    CSettingsWriter& GetSettingsWriter() const { return *m_settingsWriter; }

    // Before the first show: the place, size, maximised state and bars of
    // the last run (kept in the application's QSettings when the window
    // closes), moved and shrunk, frame included, into the screens present
    // now. A first start gets a size that fits the primary screen, centred.
    void RestoreWindowState();

    // Replaces the recent-file entries of the File menu with `captions`;
    // an empty list shows the grayed "Recent File" item instead.
    void SetRecentFileCaptions(const QStringList& captions);

    bool OnCmdMsg(int id, fw::CmdUI* ui) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The toolbar area gets no context menu of its own.
    QMenu* createPopupMenu() override { return nullptr; }
    // Watches the whole application for lock keys and activation.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createMenus();
    void createAccelerators();
    void createToolBar();
    void createStatusBar();
    QAction* createCommandAction(int id, const QString& text);
    void executeCommand(int id);
    void updateActionStates(const QList<QAction*>& actions);
    void onIdle();
    void onActiveViewChanged();
    void updateFrameTitle();
    void updateLockKeyPanes();
    void focusActiveView();

    QWidget* controlBar(int id) const;
    void OnBarCheck(int id);
    void OnUpdateControlBarMenu(fw::CmdUI& ui);

    QToolBar* m_wndToolBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentFilePlaceholder = nullptr;
    std::vector<QAction*> m_recentFileActions;
    QLabel* m_paneMessage = nullptr;
    COpenProgress* m_openProgress = nullptr;
    std::unique_ptr<CSettingsWriter> m_settingsWriter;
    std::vector<QLabel*> m_panes;
    QMetaObject::Connection m_titleConnection;
    QMetaObject::Connection m_stateConnection;
};
