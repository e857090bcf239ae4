#include "framework/gui/framewindow.h"

#include "framework/core/document.h"
#include "framework/core/view.h"
#include "framework/gui/winapp.h"

#include <QCloseEvent>

namespace fw {

FrameWindow::FrameWindow(QWidget* parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

FrameWindow::~FrameWindow()
{
    // Deleted without a close (CloseAllDocuments, the main frame going):
    // whoever tracks this window must let go of its view before the view
    // dies, since the MDI area still reports activation changes from the
    // QMdiSubWindow destructor.
    if (!m_bCloseAnnounced)
        emit aboutToClose(this);
    m_pView = nullptr;
    delete widget();
}

void FrameWindow::SetView(QWidget* viewWidget)
{
    m_pView = dynamic_cast<View*>(viewWidget);
    Q_ASSERT(m_pView);
    setWidget(viewWidget);
    setFocusProxy(viewWidget);
}

View* FrameWindow::GetActiveView() const { return m_pView; }

Document* FrameWindow::GetActiveDocument() const { return m_pView ? m_pView->GetDocument() : nullptr; }

void FrameWindow::UpdateFrameTitle(int number)
{
    const Document* doc = GetActiveDocument();
    QString title = doc->GetTitle();
    if (number > 0)
        title += QLatin1Char(':') + QString::number(number);
    setWindowTitle(title + QStringLiteral("[*]"));
    setWindowModified(doc->IsModified());
}

void FrameWindow::closeEvent(QCloseEvent* event)
{
    Document* doc = GetActiveDocument();
    const bool lastWindow = doc && doc->GetViews().size() == 1;
    if (lastWindow && WinApp::instance() && !WinApp::instance()->SaveModified(doc)) {
        event->ignore();
        return;
    }
    m_bCloseAnnounced = true;
    emit aboutToClose(this);
    QMdiSubWindow::closeEvent(event);
}

} // namespace fw
