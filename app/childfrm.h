#pragma once

#include "framework/gui/framewindow.h"

// The window of one view on a scene inside the main frame. The document
// template creates one per window (new scene, open, "Add view"); it shows
// the document icon and takes the scene's title from the framework.
class CChildFrame : public fw::FrameWindow {
    Q_OBJECT

public:
    explicit CChildFrame(QWidget* parent = nullptr);

    // A new window opens at three quarters of the MDI area, as the system
    // sizes a new document window; one modelled on another keeps that size.
    QSize sizeHint() const override;
};
