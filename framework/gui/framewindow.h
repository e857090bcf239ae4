#pragma once

#include "framework/core/commandtarget.h"

#include <QMdiSubWindow>

namespace fw {

class Document;
class View;

// A document window inside the main frame's MDI area, holding exactly one
// view widget (which it owns, as the sub-window's widget).
//
// Closing: a close request asks the application whether the document may
// close (the save prompt when this is its last window) and is ignored when
// the answer is no. `aboutToClose` is emitted once the close is certain, or
// from the destructor when the window is deleted without a close.
class FrameWindow : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT

public:
    explicit FrameWindow(QWidget* parent = nullptr);
    // Destroys the view first, so that it has left its document before the
    // frame's `destroyed` signal reaches the template.
    ~FrameWindow() override;

    // Takes ownership of `viewWidget`, which must also be a fw::View.
    void SetView(QWidget* viewWidget);
    View* GetActiveView() const;
    Document* GetActiveDocument() const;

    // Sets the title from the document's title; `number` > 0 appends ":number".
    // The template calls it for frames that show one of its documents.
    void UpdateFrameTitle(int number);

signals:
    void aboutToClose(fw::FrameWindow* frame);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    View* m_pView = nullptr;
    bool m_bCloseAnnounced = false;
};

} // namespace fw
