#pragma once

#include "framework/core/commandtarget.h"

#include <QMainWindow>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;

namespace fw {

class Document;
class FrameWindow;
class View;

// The main window: an MDI area of document windows, and the command router.
//
// Routing: RouteCommand offers a command to the active view, its document,
// the active document window, this frame and the application, in that
// order; the first that handles it wins. For a state query nobody answers,
// the command is disabled.
// Activation: when another document window becomes active, the view losing
// activation hears OnActivateView(false, ...) before the gaining one hears
// OnActivateView(true, ...); GetActiveView already names the new view then.
// Broadcasts: activeViewChanged after every switch (also to none).
// Placing: each document window added is cascaded from the one added
// before it, as long as that one still shows and the new one fits.
class MdiFrameWnd : public QMainWindow, public CommandTarget {
    Q_OBJECT

public:
    explicit MdiFrameWnd(QWidget* parent = nullptr);
    ~MdiFrameWnd() override;

    // The application's main window, if one was made main (see SetAsMainWindow).
    static MdiFrameWnd* mainFrame();
    void SetAsMainWindow();

    QMdiArea* mdiArea() const { return m_mdiArea; }
    FrameWindow* MDIGetActive() const;
    View* GetActiveView() const;
    Document* GetActiveDocument() const;
    void AddFrame(FrameWindow* frame);
    void ActivateFrame(FrameWindow* frame);

    // Shows the object-count text; the main frame of the application overrides it.
    virtual void SetStatusText(const QString& text);

    bool RouteCommand(int id, CmdUI* ui);
    // Runs command `id` along the route; returns whether anybody handled it.
    bool OnCommand(int id) { return RouteCommand(id, nullptr); }
    // The state of command `id` along the route.
    CmdUI CommandState(int id);

signals:
    void activeViewChanged(fw::View* view);

private:
    void onSubWindowActivated(QMdiSubWindow* window);
    void placeNewFrame(FrameWindow* frame);

    QMdiArea* m_mdiArea;
    QPointer<FrameWindow> m_activeFrame;
    QPointer<FrameWindow> m_lastPlaced;
    View* m_activeView = nullptr;
};

} // namespace fw
