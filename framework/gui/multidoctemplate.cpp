#include "framework/gui/multidoctemplate.h"

#include "framework/core/document.h"
#include "framework/core/view.h"
#include "framework/gui/framewindow.h"
#include "framework/gui/mdiframewnd.h"

#include <QTimer>

namespace fw {

MultiDocTemplate::MultiDocTemplate(MdiFrameWnd* mainFrame, DocumentFactory createDocument, FrameFactory createFrame,
                                   ViewFactory createView)
    : m_mainFrame(mainFrame)
    , m_createDocument(std::move(createDocument))
    , m_createFrame(std::move(createFrame))
    , m_createView(std::move(createView))
{
}

MultiDocTemplate::~MultiDocTemplate()
{
    for (FrameWindow* frame : m_frames)
        disconnect(frame, nullptr, this, nullptr);
}

Document* MultiDocTemplate::OpenDocumentFile(const QString& path, FileError* error)
{
    return OpenDocument([&](Document& doc) { return path.isEmpty() ? doc.OnNewDocument() : doc.OnOpenDocument(path, error); });
}

Document* MultiDocTemplate::OpenDocument(const std::function<bool(Document&)>& fill)
{
    std::unique_ptr<Document> doc = m_createDocument();
    doc->SetDocTemplate(this);
    if (!fill(*doc))
        return nullptr;
    Document* raw = doc.get();
    m_documents.push_back(std::move(doc));
    connect(raw, &Document::titleChanged, this, [this, raw] { updateTitles(raw); });
    connect(raw, &Document::modifiedChanged, this, [this, raw] { updateTitles(raw); });
    FrameWindow* frame = CreateNewFrame(raw, nullptr);
    InitialUpdateFrame(frame, raw);
    return raw;
}

FrameWindow* MultiDocTemplate::CreateNewFrame(Document* doc, FrameWindow* other)
{
    FrameWindow* frame = m_createFrame();
    frame->SetView(m_createView());
    doc->AddView(frame->GetActiveView());
    m_frames.push_back(frame);
    connect(frame, &QObject::destroyed, this, [this, frame] { frameGone(frame); });
    if (other)
        frame->resize(other->size());
    if (m_mainFrame)
        m_mainFrame->AddFrame(frame);
    return frame;
}

void MultiDocTemplate::InitialUpdateFrame(FrameWindow* frame, Document* doc)
{
    frame->GetActiveView()->OnInitialUpdate();
    updateTitles(doc);
    if (!m_mainFrame)
        return;
    if (doc->GetViews().size() < 2) {
        m_mainFrame->ActivateFrame(frame);
        return;
    }
    // The view lays its rows out when its frame shows and takes the focus:
    // not in the turn that filled it, nor in the next, which handles input.
    // A zero timer that restarts itself runs once per turn of the event loop.
    auto* countdown = new QTimer(frame);
    countdown->setSingleShot(true);
    connect(countdown, &QTimer::timeout, frame, [this, frame, countdown, turns = 2]() mutable {
        if (--turns > 0) {
            countdown->start(0);
            return;
        }
        countdown->deleteLater();
        m_mainFrame->ActivateFrame(frame);
    });
    countdown->start(0);
}

std::vector<Document*> MultiDocTemplate::documents() const
{
    std::vector<Document*> docs;
    docs.reserve(m_documents.size());
    for (const auto& doc : m_documents)
        docs.push_back(doc.get());
    return docs;
}

std::vector<FrameWindow*> MultiDocTemplate::framesOf(const Document* doc) const
{
    std::vector<FrameWindow*> frames;
    for (FrameWindow* frame : m_frames) {
        if (frame->GetActiveDocument() == doc)
            frames.push_back(frame);
    }
    return frames;
}

void MultiDocTemplate::CloseAllDocuments()
{
    const std::vector<FrameWindow*> frames = m_frames;
    for (FrameWindow* frame : frames)
        delete frame;
}

void MultiDocTemplate::updateTitles(const Document* doc)
{
    const std::vector<FrameWindow*> frames = framesOf(doc);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i]->UpdateFrameTitle(frames.size() > 1 ? static_cast<int>(i + 1) : 0);
}

void MultiDocTemplate::frameGone(FrameWindow* frame)
{
    // The frame's view has already left its document when this runs.
    std::erase(m_frames, frame);
    std::erase_if(m_documents, [](const std::unique_ptr<Document>& doc) { return doc->GetViews().empty(); });
    for (const auto& doc : m_documents)
        updateTitles(doc.get());
}

} // namespace fw
