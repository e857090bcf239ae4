#include "framework/gui/mdiframewnd.h"

#include "framework/core/document.h"
#include "framework/core/view.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/winapp.h"

#include <QMdiArea>
#include <QStyle>

namespace fw {
namespace {

MdiFrameWnd* g_mainFrame = nullptr;

} // namespace

MdiFrameWnd::MdiFrameWnd(QWidget* parent)
    : QMainWindow(parent)
    , m_mdiArea(new QMdiArea(this))
{
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &MdiFrameWnd::onSubWindowActivated);
}

MdiFrameWnd::~MdiFrameWnd()
{
    disconnect(m_mdiArea, nullptr, this, nullptr);
    if (g_mainFrame == this)
        g_mainFrame = nullptr;
}

MdiFrameWnd* MdiFrameWnd::mainFrame() { return g_mainFrame; }

void MdiFrameWnd::SetAsMainWindow() { g_mainFrame = this; }

FrameWindow* MdiFrameWnd::MDIGetActive() const { return m_activeFrame; }

View* MdiFrameWnd::GetActiveView() const { return m_activeFrame ? m_activeView : nullptr; }

Document* MdiFrameWnd::GetActiveDocument() const
{
    const View* view = GetActiveView();
    return view ? view->GetDocument() : nullptr;
}

void MdiFrameWnd::AddFrame(FrameWindow* frame)
{
    m_mdiArea->addSubWindow(frame);
    placeNewFrame(frame);
    connect(frame, &FrameWindow::aboutToClose, this, [this](FrameWindow* closing) {
        if (closing == m_activeFrame) {
            // The closing window's view must not be addressed once it is gone.
            View* old = m_activeView;
            m_activeFrame = nullptr;
            m_activeView = nullptr;
            if (old)
                old->OnActivateView(false, nullptr, old);
            emit activeViewChanged(nullptr);
        }
    });
}

void MdiFrameWnd::placeNewFrame(FrameWindow* frame)
{
    // One title bar down and right of the window added before it, while it
    // still shows; back to the corner where the window would leave the area.
    const int step = frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame);
    QPoint at(0, 0);
    if (m_lastPlaced && m_lastPlaced->isVisible() && !m_lastPlaced->isMaximized())
        at = m_lastPlaced->pos() + QPoint(step, step);
    const QSize size = frame->testAttribute(Qt::WA_Resized) ? frame->size() : frame->sizeHint();
    const QSize room = m_mdiArea->viewport()->size();
    if (at.x() + size.width() > room.width() || at.y() + size.height() > room.height())
        at = QPoint(0, 0);
    frame->move(at);
    m_lastPlaced = frame;
}

void MdiFrameWnd::ActivateFrame(FrameWindow* frame)
{
    frame->show();
    m_mdiArea->setActiveSubWindow(frame);
    // setActiveSubWindow does nothing visible while the main window is hidden
    // or inactive; the route must follow the user's choice all the same.
    onSubWindowActivated(frame);
}

void MdiFrameWnd::onSubWindowActivated(QMdiSubWindow* window)
{
    // The area reports "none" when the main window itself loses activation;
    // the current document window stays current then.
    if (!window)
        window = m_mdiArea->currentSubWindow();
    auto* frame = qobject_cast<FrameWindow*>(window);
    if (frame == m_activeFrame)
        return;
    View* oldView = m_activeFrame ? m_activeView : nullptr;
    View* newView = frame ? frame->GetActiveView() : nullptr;
    m_activeFrame = frame;
    m_activeView = newView;
    if (oldView)
        oldView->OnActivateView(false, newView, oldView);
    if (newView)
        newView->OnActivateView(true, newView, oldView);
    emit activeViewChanged(newView);
}

void MdiFrameWnd::SetStatusText(const QString&) {}

bool MdiFrameWnd::RouteCommand(int id, CmdUI* ui)
{
    if (ui)
        ui->id = id;
    View* view = GetActiveView();
    Document* doc = view ? view->GetDocument() : nullptr;
    CommandTarget* route[] = {view, doc, m_activeFrame.data(), this, WinApp::instance()};
    for (CommandTarget* target : route) {
        if (target && target->OnCmdMsg(id, ui))
            return true;
    }
    if (ui)
        ui->Enable(false);
    return false;
}

CmdUI MdiFrameWnd::CommandState(int id)
{
    CmdUI ui;
    RouteCommand(id, &ui);
    return ui;
}

} // namespace fw
