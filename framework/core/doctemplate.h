#pragma once

namespace fw {

class Document;
class FrameWindow;

// Binds a document class to the frame and view classes that show it. The
// core only asks it for more windows on an existing document; the GUI
// implements it.
class DocTemplate {
public:
    virtual ~DocTemplate() = default;
    // Creates a new frame with a new view on `doc`, modelled on `other`
    // (may be null). Returns null on failure.
    virtual FrameWindow* CreateNewFrame(Document* doc, FrameWindow* other) = 0;
    // Gives the frame's view its initial update and shows the frame: at
    // once, or a few turns of the event loop later for a further frame on
    // a document already shown.
    virtual void InitialUpdateFrame(FrameWindow* frame, Document* doc) = 0;
};

} // namespace fw
