#pragma once

#include "framework/core/doctemplate.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace fw {

class Document;
struct FileError;
class FrameWindow;
class MdiFrameWnd;

// Makes documents of one kind and their windows inside a main frame.
//
// Ownership: the template owns its open documents. A document is destroyed
// (deferred to the event loop) once its last view is gone. Frames belong to
// the main frame's MDI area; each frame owns its view.
// Titles: a document with several windows numbers them ":1", ":2", ...;
// titles follow the document's title and modified flag.
// Showing: a document's first frame is shown and activated in the turn
// that fills its view. A further frame on a document already shown (Add
// view) is filled at once but shown and activated two turns of the event
// loop later, so that the input of the turn between is handled before its
// view lays out its rows; the frame goes with its document if that closes
// first.
class MultiDocTemplate : public QObject, public DocTemplate {
public:
    using DocumentFactory = std::function<std::unique_ptr<Document>()>;
    using FrameFactory = std::function<FrameWindow*()>;
    using ViewFactory = std::function<QWidget*()>;

    MultiDocTemplate(MdiFrameWnd* mainFrame, DocumentFactory createDocument, FrameFactory createFrame,
                     ViewFactory createView);
    ~MultiDocTemplate() override;

    void SetMainFrame(MdiFrameWnd* mainFrame) { m_mainFrame = mainFrame; }

    // Opens `path` (a new, untitled document when empty) in a new window.
    // On failure returns null with the failure in `error`; nothing is left open.
    Document* OpenDocumentFile(const QString& path, FileError* error);
    // Makes a document, lets `fill` give it its contents (a file read
    // elsewhere, say) and opens it in a new window; when `fill` returns
    // false the document is dropped, nothing is left open and null returned.
    Document* OpenDocument(const std::function<bool(Document&)>& fill);

    FrameWindow* CreateNewFrame(Document* doc, FrameWindow* other) override;
    void InitialUpdateFrame(FrameWindow* frame, Document* doc) override;

    std::vector<Document*> documents() const;
    // The frames showing `doc`, in the order they were created.
    std::vector<FrameWindow*> framesOf(const Document* doc) const;
    // Closes every document without asking; used when the application ends.
    void CloseAllDocuments();

private:
    void updateTitles(const Document* doc);
    void frameGone(FrameWindow* frame);

    MdiFrameWnd* m_mainFrame;
    DocumentFactory m_createDocument;
    FrameFactory m_createFrame;
    ViewFactory m_createView;
    std::vector<std::unique_ptr<Document>> m_documents;
    std::vector<FrameWindow*> m_frames;
};

} // namespace fw
