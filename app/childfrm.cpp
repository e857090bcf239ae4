#include "app/childfrm.h"

#include "app/resources.h"

#include "app/iconset.h"

#include <QMdiArea>

CChildFrame::CChildFrame(QWidget* parent)
    : fw::FrameWindow(parent)
{
    setWindowIcon(iconSet(res::docIconPath()));
}

QSize CChildFrame::sizeHint() const
{
    if (const QMdiArea* area = mdiArea())
        return area->viewport()->size() * 3 / 4;
    return fw::FrameWindow::sizeHint();
}
